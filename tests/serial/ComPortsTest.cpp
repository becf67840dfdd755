// Windows port names without Windows: what a typed name opens, and the chooser's list of the
// ports the system describes.
#include "ComPorts.h"

#include <gtest/gtest.h>

namespace vemor {
namespace {

TEST(ComDevicePath, TypedComNamesAndDeviceNamesOpenTheirPort) {
    const std::pair<const char*, const char*> cases[] = {
        {"COM10", "\\\\.\\COM10"},
        {"com3 ", "\\\\.\\COM3"},
        {"\t Com255", "\\\\.\\COM255"},
        {"COM01", "\\\\.\\COM1"},
        {"\\\\.\\COM23", "\\\\.\\COM23"},
        {"\\\\.\\com7", "\\\\.\\COM7"},
        {"\\\\.\\CNCA0", "\\\\.\\CNCA0"}, // a virtual port's own name
        {"COM0", ""},
        {"COM256", ""},
        {"COM99999999999", ""},
        {"COMX", ""},
        {"COM", ""},
        {"COM3x", ""},
        {"COM 3", ""},
        {"COM-1", ""},
        {"LPT1", ""},
        {"/dev/ttyUSB0", ""},
        {"\\\\.\\", ""},
        {"\\\\.\\COM0", ""},
        {"\\\\.\\com256", ""},
        {"   ", ""},
        {"", ""},
    };
    for (const auto& [typed, path] : cases) {
        EXPECT_EQ(ComDevicePath(typed), path) << "typed: [" << typed << "]";
    }
}

TEST(ComPortName, ComDevicesGoByTheirPortName) {
    const std::pair<const char*, const char*> cases[] = {
        {"\\\\.\\COM10", "COM10"},        {"\\\\.\\com3", "COM3"}, {"\\\\.\\CNCA0", "\\\\.\\CNCA0"},
        {"/dev/ttyUSB0", "/dev/ttyUSB0"}, {"COM4", "COM4"},
    };
    for (const auto& [path, name] : cases) {
        EXPECT_EQ(ComPortName(path), name) << path;
    }
}

struct ListCase {
    const char* what;
    std::vector<ComDevice> records;
    std::vector<std::string> labels;
};

TEST(ComPortList, OnePortANumberInNumberOrderLabelledFitToShow) {
    const ListCase cases[] = {
        {"ordered by number, not by text",
         {{"COM10", "", "", ""}, {"COM2", "", "", ""}, {"COM1", "", "", ""}},
         {"COM1", "COM2", "COM10"}},
        {"friendly name, maker and serial, the repeated port name left out",
         {{"COM23", "USB Serial Port (COM23)", "FTDI", "A50285BI"}},
         {"COM23 - USB Serial Port (FTDI, A50285BI)"}},
        {"the device list and the registry merged, the device list's fields first",
         {{"COM5", "USB Serial Device (COM5)", "Microsoft", ""},
          {"COM3", "", "", ""},
          {"com5", "Other", "", "7A3F"},
          {"COM5", "", "", ""}},
         {"COM3", "COM5 - USB Serial Device (Microsoft, 7A3F)"}},
        {"missing maker or serial, or both",
         {{"COM4", "Prolific USB-to-Serial Comm Port (COM4)", "", ""},
          {"COM6", "", "", "0001"},
          {"COM7", "CH340 (COM7)", "wch.cn", ""}},
         {"COM4 - Prolific USB-to-Serial Comm Port", "COM6 (0001)", "COM7 - CH340 (wch.cn)"}},
        {"a maker the friendly name holds, or a placeholder one, not repeated",
         {{"COM4", "Prolific USB-to-Serial Comm Port (COM4)", "prolific", ""},
          {"COM1", "Communications Port (COM1)", "(Standard port types)", ""}},
         {"COM1 - Communications Port", "COM4 - Prolific USB-to-Serial Comm Port"}},
        {"another port's name in parentheses stays",
         {{"COM8", "Bridge (COM9)", "", ""}},
         {"COM8 - Bridge (COM9)"}},
        {"control and reordering characters escaped",
         {{"COM9", "Evil\x1B[2J (COM9)", "M\xE2\x80\xAE", "S\n1"}},
         {"COM9 - Evil\\x1b[2J (M\\u{202E}, S\\x0a1)"}},
        {"names that are no COM port left out",
         {{"LPT1", "ECP Printer Port (LPT1)", "", ""},
          {"", "", "", ""},
          {"COM0", "", "", ""},
          {"COM300", "", "", ""}},
         {}},
    };
    for (const ListCase& c : cases) {
        std::vector<std::string> labels;
        for (const PresentPort& p : ComPortList(c.records)) {
            EXPECT_EQ(p.Path, "\\\\.\\" + p.Kernel) << c.what;
            labels.push_back(ComPortLabel(p));
        }
        EXPECT_EQ(labels, c.labels) << c.what;
    }
}

TEST(SerialFromInstanceId, OnlyAUsbDevicesOwnSerialNumber) {
    const std::pair<const char*, const char*> cases[] = {
        {"USB\\VID_0403&PID_6001\\A50285BI", "A50285BI"},
        {"usb\\VID_2341&PID_0043\\85736323838351F0E1A1", "85736323838351F0E1A1"},
        {"USB\\VID_067B&PID_2303\\5&2B6E3A2&0&2", ""}, // made up by Windows
        {"USB\\VID_2341&PID_8036&MI_00\\6&1E0F5F1A&0&0000", ""},
        {"FTDIBUS\\VID_0403+PID_6001+A50285BIA\\0000", ""}, // its USB parent says it
        {"ACPI\\PNP0501\\1", ""},
        {"USB\\VID_0403&PID_6001\\", ""},
        {"USB", ""},
        {"", ""},
    };
    for (const auto& [id, serial] : cases) {
        EXPECT_EQ(SerialFromInstanceId(id), serial) << id;
    }
}

} // namespace
} // namespace vemor
