#include "vemor/PortAdvice.h"

#include <gtest/gtest.h>

namespace vemor {
namespace {

const std::string kFolder = "/home/ann/.config/vemor/ports";
const std::string kFtdi = "/dev/serial/by-id/usb-FTDI_FT232R_USB_UART_A50285BI-if00-port0";

OpenFacts Com(int n, OpenCause cause, std::string device, std::string link = {}) {
    OpenFacts f;
    f.Name = "COM" + std::to_string(n);
    f.PortNumber = n;
    f.Cause = cause;
    f.Device = std::move(device);
    f.Link = std::move(link);
    f.PortsFolder = kFolder;
    return f;
}

OpenFacts Path(const std::string& path, OpenCause cause, std::string device = {}) {
    OpenFacts f;
    f.Name = path;
    f.Cause = cause;
    f.Device = device.empty() ? path : std::move(device);
    return f;
}

template <class Change>
OpenFacts With(OpenFacts f, Change change) {
    change(f);
    return f;
}

// As Windows explains a failure: ports by COM name, no ports folder.
OpenFacts OnWindows(OpenFacts f) {
    f.ComNames = true;
    f.PortsFolder.clear();
    return f;
}

struct AdviceCase {
    const char* name;
    OpenFacts facts;
    std::vector<std::string> has;
    std::vector<std::string> lacks;
};

TEST(OpenFailureAdvice, NamesTheDeviceTriedAndTheFixForEachCause) {
    const AdviceCase cases[] = {
        {"COM N without a link, one adapter plugged in",
         With(Com(3, OpenCause::NoDevice, "/dev/ttyS2"),
              [](OpenFacts& f) { f.Adapters = {kFtdi}; }),
         {"COM3 -> /dev/ttyS2\n\n", "There is no link com3 in " + kFolder,
          "/dev/ttyS2, which is not there", "\n    mkdir -p " + kFolder + "\n",
          "\n    ln -sfn " + kFtdi + " " + kFolder + "/com3\n"},
         {}},
        {"COM N without a link, none plugged in, a folder that needs quoting",
         With(Com(3, OpenCause::NoDevice, "/dev/ttyS2"),
              [](OpenFacts& f) {
                  f.PortsFolder = "/home/ann/my cfg/vemor/ports";
                  f.Exists = true;
              }),
         {"where no serial port answers", "mkdir -p '/home/ann/my cfg/vemor/ports'",
          "ln -sfn /dev/ttyUSB0 '/home/ann/my cfg/vemor/ports/com3'",
          "No serial adapter is plugged in now"},
         {}},
        {"COM N through a link to an unplugged adapter",
         With(Com(10, OpenCause::NoDevice, "/dev/ttyUSB0", kFolder + "/com10"),
              [](OpenFacts& f) { f.Adapters = {kFtdi}; }),
         {"COM10 -> " + kFolder + "/com10 -> /dev/ttyUSB0\n",
          "The link " + kFolder + "/com10 leads to /dev/ttyUSB0, which is not there",
          "ln -sfn " + kFtdi + " " + kFolder + "/com10"},
         {"mkdir"}},
        {"a typed path, two adapters plugged in",
         With(Path("/dev/ttyUSB5", OpenCause::NoDevice),
              [](OpenFacts& f) {
                  f.Adapters = {kFtdi, "/dev/ttyACM0"};
              }),
         {"/dev/ttyUSB5\n\n/dev/ttyUSB5 is not there",
          "The adapters plugged in now are listed below COM16"},
         {"ln -sfn", " -> "}},
        {"nothing chosen",
         With(Com(0, OpenCause::NoDevice, ""), [](OpenFacts&) {}),
         {"COM0\n\nNothing in the list is chosen"},
         {"link"}},
        {"a port without a ports folder",
         With(Com(3, OpenCause::NoDevice, "\\\\.\\com3"),
              [](OpenFacts& f) { f.PortsFolder.clear(); }),
         {"COM3 -> \\\\.\\com3\n\n\\\\.\\com3 is not there"},
         {"link"}},
        {"denied, the group may use it",
         With(Path("/dev/serial/by-id/usb-x", OpenCause::Denied, "/dev/ttyUSB0"),
              [](OpenFacts& f) {
                  f.Group = "uucp";
                  f.GroupMayUse = true;
              }),
         {"/dev/serial/by-id/usb-x -> /dev/ttyUSB0\n\n",
          "Only the members of the group uucp may use /dev/ttyUSB0",
          "\n    sudo adduser $USER uucp\n", "log in again"},
         {}},
        {"denied, already in the group",
         With(Path("/dev/ttyUSB0", OpenCause::Denied),
              [](OpenFacts& f) {
                  f.Group = "dialout";
                  f.GroupMayUse = true;
                  f.InGroup = true;
              }),
         {"runs in the group dialout"},
         {"adduser"}},
        {"denied, not even the group may use it",
         With(Path("/dev/ttyUSB0", OpenCause::Denied), [](OpenFacts& f) { f.Group = "root"; }),
         {"belongs to the group root, which may not use it either", "administrator"},
         {"adduser"}},
        {"busy, the holder known",
         With(Com(10, OpenCause::Busy, "/dev/ttyUSB0", kFolder + "/com10"),
              [](OpenFacts& f) {
                  f.Holder = "ModemManager";
                  f.HolderPid = 812;
              }),
         {"/dev/ttyUSB0 is in use by ModemManager (process 812)"},
         {}},
        {"busy, the holder hidden",
         Path("/dev/ttyUSB0", OpenCause::Busy),
         {"Another program has /dev/ttyUSB0 open"},
         {}},
        {"no serial line behind the name",
         Path("/dev/null", OpenCause::NotTerminal),
         {"/dev/null is not a serial port", "No serial adapter is plugged in now"},
         {"in use by"}},
        {"Windows: a COM item not present, two ports present",
         With(OnWindows(Com(10, OpenCause::NoDevice, "\\\\.\\com10")),
              [](OpenFacts& f) {
                  f.Adapters = {"COM1 - Communications Port",
                                "COM23 - USB Serial Port (FTDI, A50285BI)"};
              }),
         {"COM10 -> \\\\.\\com10\n\nCOM10 is not present: plug the adapter in, or pick one "
          "of the ports listed below COM16 in the chooser.\n",
          "\nThe ports present now:\n    COM1 - Communications Port\n    COM23 - USB Serial Port "
          "(FTDI, A50285BI)"},
         {"ln -sfn", "/dev/", "No serial port"}},
        {"Windows: a typed port name, no port present",
         OnWindows(Path("COM23", OpenCause::NoDevice, "\\\\.\\COM23")),
         {"COM23 -> \\\\.\\COM23\n\nCOM23 is not present", "\nNo serial port is present now."},
         {"ports present now", "/dev/"}},
        {"Windows: a port the system lists that does not open",
         With(OnWindows(Path("COM23", OpenCause::NoDevice, "\\\\.\\COM23")),
              [](OpenFacts& f) {
                  f.Exists = true;
                  f.Adapters = {"COM23 - USB Serial Port"};
              }),
         {"\n\nWindows lists COM23, yet nothing answers under that name: unplug the adapter and "
          "plug it in again;",
          "Device Manager", "\nThe ports present now:\n    COM23 - USB Serial Port"},
         {"not present"}},
        {"Windows: typed text that names no port",
         OnWindows(Com(0, OpenCause::NoDevice, "")),
         {"COM0\n\nNothing in the list is chosen, and the typed text names no port.",
          "COM1 to COM255, or a device name that begins with \\\\.\\ as"},
         {"/dev/", "begins with /", "not present"}},
        {"Windows: the driver did not take the settings",
         With(OnWindows(Com(1, OpenCause::Refused, "\\\\.\\com1")),
              [](OpenFacts& f) {
                  f.Step = "writing the line settings";
                  f.BaudRate = 62500;
              }),
         {"COM1 -> \\\\.\\com1: writing the line settings failed\n\nThe driver of "
          "\\\\.\\com1 did not take the line settings: 62500 baud, 8 data bits, no parity, 1 "
          "stop bit.",
          "\nUse an adapter that can make 62500 baud."},
         {}},
        {"a later step failed",
         With(Path("/dev/ttyUSB0", OpenCause::Other),
              [](OpenFacts& f) { f.Step = "writing the line settings"; }),
         {"/dev/ttyUSB0: writing the line settings failed"},
         {"\n"}},
    };
    for (const AdviceCase& c : cases) {
        const std::string text = OpenFailureAdvice(c.facts);
        for (const std::string& part : c.has) {
            EXPECT_NE(text.find(part), std::string::npos) << c.name << ": lacks " << part << "\n"
                                                          << text;
        }
        for (const std::string& part : c.lacks) {
            EXPECT_EQ(text.find(part), std::string::npos) << c.name << ": has " << part << "\n"
                                                          << text;
        }
        // Access is a matter of groups, never of loosening the device or running as root.
        EXPECT_EQ(text.find("chmod"), std::string::npos) << c.name;
        EXPECT_EQ(text.find("sudo vemor"), std::string::npos) << c.name;
    }
}

TEST(RateCheck, MoreThanTwoPercentOffIsTold) {
    const std::tuple<int, int, bool> cases[] = {
        {62500, 57600, true},  {62500, 64000, true}, {62500, 63500, false},
        {62500, 61250, false}, {62500, 61249, true}, {62500, 0, false}, // 0: the driver cannot say
    };
    for (const auto& [wanted, actual, off] : cases) {
        EXPECT_EQ(RateIsOff(wanted, actual), off) << actual;
    }
    EXPECT_EQ(RateWarning("COM10 -> /dev/ttyS0", 62500, 57600),
              "COM10 -> /dev/ttyS0 runs at 57600 baud, not 62500: its adapter cannot make 62500 "
              "baud (7.8 % off), so the frames arrive garbled.\nUse an adapter that can make "
              "62500 baud.");
}

TEST(ShellWord, QuotesOnlyWhatTheShellWouldSplitOrExpand) {
    const std::pair<const char*, const char*> cases[] = {
        {"/dev/serial/by-id/usb-FTDI_A5-if00-port0", "/dev/serial/by-id/usb-FTDI_A5-if00-port0"},
        {"/home/ann/my cfg", "'/home/ann/my cfg'"},
        {"ann's", "'ann'\\''s'"},
        {"$HOME", "'$HOME'"},
        {"", "''"},
    };
    for (const auto& [in, out] : cases) {
        EXPECT_EQ(ShellWord(in), out);
    }
}

TEST(ShownDeviceText, ControlAndReorderingCharactersAreShownAsEscapes) {
    const std::pair<std::string, std::string> cases[] = {
        {"FT232R USB UART", "FT232R USB UART"},
        {"Gr\xC3\xBC\xC3\x9F"
         "e",
         "Gr\xC3\xBC\xC3\x9F"
         "e"}, // letters beyond ASCII stay
        {"A\nB\x1B[2J\x7F", "A\\x0aB\\x1b[2J\\x7f"},
        {"usb\xE2\x80\xAEtxt.exe", "usb\\u{202E}txt.exe"},
        {"\xE2\x81\xA6x\xE2\x81\xA9\xE2\x80\x8F\xD8\x9C", "\\u{2066}x\\u{2069}\\u{200F}\\u{061C}"},
        {"\xE2\x80\x94 dash", "\xE2\x80\x94 dash"}, // U+2014 is no control
    };
    for (const auto& [raw, shown] : cases) {
        EXPECT_EQ(ShownDeviceText(raw), shown);
    }
}

} // namespace
} // namespace vemor
