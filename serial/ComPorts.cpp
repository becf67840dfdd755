#include "ComPorts.h"

#include "vemor/PortAdvice.h"

#include <algorithm>
#include <map>

namespace vemor {

namespace {

constexpr std::string_view kDevicePrefix = "\\\\.\\";

char Upper(char c) {
    return c >= 'a' && c <= 'z' ? static_cast<char>(c - 'a' + 'A') : c;
}

bool SameText(std::string_view a, std::string_view b) {
    return a.size() == b.size() && std::equal(a.begin(), a.end(), b.begin(),
                                              [](char x, char y) { return Upper(x) == Upper(y); });
}

bool ContainsText(std::string_view text, std::string_view part) {
    if (part.size() > text.size()) {
        return false;
    }
    for (std::size_t at = 0; at + part.size() <= text.size(); ++at) {
        if (SameText(text.substr(at, part.size()), part)) {
            return true;
        }
    }
    return false;
}

std::string_view Trimmed(std::string_view s) {
    const auto blank = [](char c) { return c == ' ' || c == '\t'; };
    while (!s.empty() && blank(s.front())) {
        s.remove_prefix(1);
    }
    while (!s.empty() && blank(s.back())) {
        s.remove_suffix(1);
    }
    return s;
}

// "COM" and digits, in any case.
bool ComShaped(std::string_view name) {
    return name.size() > 3 && SameText(name.substr(0, 3), "COM") &&
           name.find_first_not_of("0123456789", 3) == std::string_view::npos;
}

// n of "COMn", n from 1 to MaxComPort; 0 for any other text.
int ComNumber(std::string_view name) {
    if (!ComShaped(name) || name.size() > 3 + 6) {
        return 0;
    }
    int n = 0;
    for (const char c : name.substr(3)) {
        n = n * 10 + (c - '0');
    }
    return n <= MaxComPort ? n : 0;
}

std::string ComName(int n) {
    return "COM" + std::to_string(n);
}

void Fill(std::string& field, const std::string& from) {
    if (field.empty()) {
        field = from;
    }
}

// "USB Serial Port (COM23)" without " (COM23)".
std::string WithoutPortName(std::string_view friendly, std::string_view port) {
    friendly = Trimmed(friendly);
    const std::size_t open = friendly.rfind('(');
    if (open != std::string_view::npos && friendly.back() == ')' &&
        SameText(Trimmed(friendly.substr(open + 1, friendly.size() - open - 2)), port)) {
        friendly = Trimmed(friendly.substr(0, open));
    }
    return std::string(friendly);
}

} // namespace

std::string ComDevicePath(std::string_view typed) {
    std::string_view text = Trimmed(typed);
    const bool device = text.substr(0, kDevicePrefix.size()) == kDevicePrefix;
    const std::string_view name = device ? text.substr(kDevicePrefix.size()) : text;
    if (const int n = ComNumber(name); n > 0) {
        return std::string(kDevicePrefix) + ComName(n);
    }
    // A port number out of range names no port, with or without the prefix.
    if (device && !name.empty() && !ComShaped(name)) {
        return std::string(text);
    }
    return {};
}

std::string ComPortName(std::string_view devicePath) {
    if (devicePath.substr(0, kDevicePrefix.size()) == kDevicePrefix) {
        if (const int n = ComNumber(devicePath.substr(kDevicePrefix.size())); n > 0) {
            return ComName(n);
        }
    }
    return std::string(devicePath);
}

std::vector<PresentPort> ComPortList(const std::vector<ComDevice>& devices) {
    std::map<int, PresentPort> ports; // by number
    for (const ComDevice& d : devices) {
        const int n = ComNumber(Trimmed(d.Port));
        if (n == 0) {
            continue;
        }
        PresentPort& p = ports[n];
        p.Kernel = ComName(n);
        p.Path = std::string(kDevicePrefix) + p.Kernel;
        Fill(p.Product, WithoutPortName(d.FriendlyName, p.Kernel));
        const std::string_view maker = Trimmed(d.Maker);
        if (!(maker.size() > 1 && maker.front() == '(' && maker.back() == ')')) {
            Fill(p.Maker, std::string(maker));
        }
        Fill(p.Serial, std::string(Trimmed(d.Serial)));
    }
    std::vector<PresentPort> list;
    for (auto& [n, p] : ports) {
        list.push_back(std::move(p));
    }
    return list;
}

std::string ComPortLabel(const PresentPort& port) {
    std::string label = port.Kernel.empty() ? ShownDeviceText(port.Path) : port.Kernel;
    if (!port.Product.empty()) {
        label += " - " + ShownDeviceText(port.Product);
    }
    std::string more;
    if (!port.Maker.empty() && !ContainsText(port.Product, port.Maker)) {
        more = ShownDeviceText(port.Maker);
    }
    if (!port.Serial.empty()) {
        more += (more.empty() ? "" : ", ") + ShownDeviceText(port.Serial);
    }
    return more.empty() ? label : label + " (" + more + ")";
}

std::string SerialFromInstanceId(std::string_view id) {
    const std::size_t first = id.find('\\');
    const std::size_t last = id.rfind('\\');
    if (first == std::string_view::npos || first == last || !SameText(id.substr(0, first), "USB")) {
        return {};
    }
    const std::string_view serial = id.substr(last + 1);
    if (serial.empty() || serial.find('&') != std::string_view::npos) {
        return {};
    }
    return std::string(serial);
}

} // namespace vemor
