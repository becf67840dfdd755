#include "vemor/PortAdvice.h"

#include "vemor/Values.h"

#include <cstdint>
#include <cstdio>
#include <cstdlib>

namespace vemor {

namespace {

const char* const kListed = "below COM16 in the chooser";
const char* const kExample = "/dev/ttyUSB0";

// Where the name led in the end.
const std::string& Target(const OpenFacts& f) {
    return f.Device.empty() ? f.Name : f.Device;
}

// The adapters plugged in now; `example` is the name a command above used for one of them.
std::string AdaptersPresent(const std::vector<std::string>& adapters, const char* example) {
    const std::string instead =
        example != nullptr ? std::string(": use it in place of ") + example : std::string();
    if (adapters.empty()) {
        return std::string("No serial adapter is plugged in now. Once one is, it is listed ") +
               kListed + (example != nullptr ? " under its stable name" + instead : "") + ".";
    }
    if (adapters.size() == 1) {
        return "The adapter plugged in now is " + adapters[0] + ", also listed " + kListed + ".";
    }
    return std::string("The adapters plugged in now are listed ") + kListed +
           (example != nullptr ? ": use the one you want in place of " + std::string(example)
                               : "") +
           ".";
}

// Windows: the port goes by its COM name alone, and every port present is listed.
std::string NoComPort(const OpenFacts& f) {
    if (f.PortNumber <= 0 && f.Device.empty()) {
        return "Nothing in the list is chosen, and the typed text names no port. Choose one of "
               "COM1 to COM16 or a port listed below them, or type the name of a port: COM1 to "
               "COM255, or a device name that begins with \\\\.\\ as its driver gives it.";
    }
    std::string text;
    if (f.Exists) {
        text = "Windows lists " + f.Name +
               ", yet nothing answers under that name: unplug the adapter and plug it in again; "
               "if that does not help, see what the Device Manager says of it.";
    } else {
        text = f.Name + " is not present: plug the adapter in, or pick one of the ports listed " +
               kListed + ".";
    }
    if (f.Adapters.empty()) {
        return text + "\nNo serial port is present now.";
    }
    text += "\nThe ports present now:";
    for (const std::string& port : f.Adapters) {
        text += "\n    " + port;
    }
    return text;
}

std::string NoDevice(const OpenFacts& f) {
    if (f.ComNames) {
        return NoComPort(f);
    }
    const std::string& dev = Target(f);
    const bool one = f.Adapters.size() == 1;
    const std::string adapter = one ? f.Adapters[0] : kExample;
    const char* example = one ? nullptr : kExample;
    if (f.PortNumber <= 0 && f.Device.empty() && f.Link.empty()) {
        return std::string("Nothing in the list is chosen, and a typed name opens a device only "
                           "when it is a path (it begins with /). Choose one of COM1 to COM16 or "
                           "an adapter listed below them, or type the path of a device, such as ") +
               kExample + ".";
    }
    if (f.PortNumber > 0 && !f.PortsFolder.empty() && f.Link.empty()) {
        const std::string com = "com" + std::to_string(f.PortNumber);
        return "There is no link " + com + " in " + f.PortsFolder + ", so " + f.Name +
               " stands for " + dev +
               (f.Exists ? ", where no serial port answers." : ", which is not there.") +
               "\nTo use a USB serial adapter as " + f.Name + ", link it there:\n    mkdir -p " +
               ShellWord(f.PortsFolder) + "\n    ln -sfn " + ShellWord(adapter) + " " +
               ShellWord(f.PortsFolder + "/" + com) + "\n" + AdaptersPresent(f.Adapters, example);
    }
    if (!f.Link.empty() && f.Link != dev) {
        std::string text = "The link " + f.Link + " leads to " + dev +
                           (f.Exists ? ", where no serial port answers."
                                     : ", which is not there: is the adapter plugged in?");
        if (f.PortNumber > 0) {
            return text + "\nTo " +
                   (one ? "make " + f.Name + " the adapter plugged in now"
                        : "point " + f.Name + " at another adapter") +
                   ":\n    ln -sfn " + ShellWord(adapter) + " " + ShellWord(f.Link) + "\n" +
                   AdaptersPresent(f.Adapters, example);
        }
        return text + "\n" + AdaptersPresent(f.Adapters, nullptr);
    }
    return (f.Exists ? "No serial port answers at " + dev + "."
                     : dev + " is not there: is the adapter plugged in?") +
           "\n" + AdaptersPresent(f.Adapters, nullptr);
}

std::string Denied(const OpenFacts& f) {
    const std::string& dev = Target(f);
    if (f.Group.empty()) {
        return "You may not use " + dev + ".";
    }
    if (!f.GroupMayUse) {
        return dev + " belongs to the group " + f.Group +
               ", which may not use it either. Ask the system's administrator to give it to the "
               "group for serial ports (dialout on Debian and Ubuntu).";
    }
    if (f.InGroup) {
        return "This program runs in the group " + f.Group + ", which may use " + dev +
               ", so something else denies it, such as a sandbox or a security policy.";
    }
    return "Only the members of the group " + f.Group + " may use " + dev +
           ". To join it:\n    sudo adduser $USER " + f.Group + "\n(or: sudo usermod -aG " +
           f.Group +
           " $USER)\nthen log out and log in again: the membership takes effect at the "
           "next login.";
}

std::string NotTerminal(const OpenFacts& f) {
    return Target(f) + " is not a serial port.\n" + AdaptersPresent(f.Adapters, nullptr);
}

std::string Busy(const OpenFacts& f) {
    const std::string& dev = Target(f);
    if (f.Holder.empty()) {
        return "Another program has " + dev + " open. Close that program, then press Open again.";
    }
    return dev + " is in use by " + f.Holder + " (process " + std::to_string(f.HolderPid) +
           "). Close that program, then press Open again.";
}

std::string Refused(const OpenFacts& f) {
    if (f.BaudRate <= 0) {
        return "The driver of " + Target(f) + " did not take the line settings.";
    }
    const std::string rate = std::to_string(f.BaudRate);
    return "The driver of " + Target(f) + " did not take the line settings: " + rate +
           " baud, 8 data bits, no parity, 1 stop bit. Most likely its adapter cannot make " +
           rate + " baud, as the ports built into a PC cannot.\nUse an adapter that can make " +
           rate + " baud.";
}

} // namespace

std::string TriedText(const OpenFacts& facts) {
    std::string text = facts.Name;
    const std::string* last = &facts.Name;
    for (const std::string* step : {&facts.Link, &facts.Device}) {
        if (!step->empty() && *step != *last) {
            text += " -> " + *step;
            last = step;
        }
    }
    return text;
}

std::string OpenFailureAdvice(const OpenFacts& facts) {
    std::string text = TriedText(facts);
    if (!facts.Step.empty()) {
        text += ": " + facts.Step + " failed";
    }
    switch (facts.Cause) {
    case OpenCause::NoDevice:
        return text + "\n\n" + NoDevice(facts);
    case OpenCause::Denied:
        return text + "\n\n" + Denied(facts);
    case OpenCause::Busy:
        return text + "\n\n" + Busy(facts);
    case OpenCause::NotTerminal:
        return text + "\n\n" + NotTerminal(facts);
    case OpenCause::Refused:
        return text + "\n\n" + Refused(facts);
    case OpenCause::Other:
        break;
    }
    return text;
}

bool RateIsOff(int wanted, int actual) {
    if (actual <= 0 || wanted <= 0) {
        return false;
    }
    return std::llabs(std::int64_t{actual} - wanted) * 50 > std::int64_t{wanted};
}

std::string RateWarning(std::string_view tried, int wanted, int actual) {
    const std::int64_t off = std::llabs(std::int64_t{actual} - wanted);
    const std::string w = std::to_string(wanted);
    return std::string(tried) + " runs at " + std::to_string(actual) + " baud, not " + w +
           ": its adapter cannot make " + w + " baud (" + FormatFixed(off * 100, wanted, 1, '.') +
           " % off), so the frames arrive garbled.\nUse an adapter that can make " + w + " baud.";
}

std::string ShownDeviceText(std::string_view text) {
    std::string out;
    for (std::size_t i = 0; i < text.size(); ++i) {
        const auto b = static_cast<unsigned char>(text[i]);
        if (b < 0x20 || b == 0x7F) {
            const char* hex = "0123456789abcdef";
            out += "\\x";
            out += hex[b >> 4];
            out += hex[b & 15];
            continue;
        }
        // U+061C, U+200E-200F, U+202A-202E and U+2066-2069 in UTF-8.
        const auto at = [&](std::size_t k) {
            return i + k < text.size() ? static_cast<unsigned char>(text[i + k]) : 0;
        };
        unsigned code = 0;
        if (b == 0xD8 && at(1) == 0x9C) {
            code = 0x061C;
        } else if (b == 0xE2 && at(1) == 0x80 &&
                   (at(2) == 0x8E || at(2) == 0x8F || (at(2) >= 0xAA && at(2) <= 0xAE))) {
            code = 0x2000 + (at(2) - 0x80);
        } else if (b == 0xE2 && at(1) == 0x81 && at(2) >= 0xA6 && at(2) <= 0xA9) {
            code = 0x2040 + (at(2) - 0x80);
        }
        if (code != 0) {
            char buf[16];
            std::snprintf(buf, sizeof buf, "\\u{%04X}", code);
            out += buf;
            i += code == 0x061C ? 1 : 2;
            continue;
        }
        out += text[i];
    }
    return out;
}

std::string ShellWord(std::string_view word) {
    bool plain = !word.empty();
    for (const char c : word) {
        const bool safe = (c >= 'a' && c <= 'z') || (c >= 'A' && c <= 'Z') ||
                          (c >= '0' && c <= '9') ||
                          std::string_view("/._-+:@%=,").find(c) != std::string_view::npos;
        plain = plain && safe;
    }
    if (plain) {
        return std::string(word);
    }
    std::string quoted = "'";
    for (const char c : word) {
        quoted += c == '\'' ? std::string("'\\''") : std::string(1, c);
    }
    return quoted + "'";
}

} // namespace vemor
