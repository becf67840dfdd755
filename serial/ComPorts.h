#pragma once
// Windows port names, in rules that need no Windows to run: what a typed name opens, and how
// the ports the system lists are merged, ordered and labelled for the chooser. Any thread.

#include "Link.h"

#include <string>
#include <string_view>
#include <vector>

namespace vemor {

// Windows numbers its serial ports COM1 to COM255.
constexpr int MaxComPort = 255;

// The device name that opens what the operator typed: "\\.\COM<n>" for COMn with n from 1 to
// MaxComPort, in any case, with or without "\\.\" before it; any other name after "\\.\" as
// it is. Blanks around the text do not count. Empty when the text names no port.
std::string ComDevicePath(std::string_view typed);

// "COM10" for "\\.\COM10", the name the operator knows the port by; any other text as it is.
std::string ComPortName(std::string_view devicePath);

// One port as the system's device list or its registry gives it. Any field may be empty.
struct ComDevice {
    std::string Port;         // "COM23"
    std::string FriendlyName; // "USB Serial Port (COM23)"
    std::string Maker;        // "FTDI"
    std::string Serial;       // the USB serial number
};

// The ports to list, one for each port name, in the order of their numbers (COM2 before
// COM10). Where records name the same port, a field comes from the first record that has it.
// Records that name no port are left out. Each port's Path is its device name, Kernel its
// port name, and Product its friendly name without the "(COMn)" that repeats the port name;
// a placeholder maker such as "(Standard port types)" is dropped.
std::vector<PresentPort> ComPortList(const std::vector<ComDevice>& devices);

// "COM23 - USB Serial Port (FTDI, A50285BI)": the port name, then what the device says of
// itself, fit to show (see ShownDeviceText); a maker the friendly name already holds is not
// repeated.
std::string ComPortLabel(const PresentPort& port);

// The serial number in the instance id of a USB device ("USB\VID_0403&PID_6001\A50285BI");
// empty for any other id, and for one whose last part Windows made up (it holds an "&").
std::string SerialFromInstanceId(std::string_view id);

} // namespace vemor
