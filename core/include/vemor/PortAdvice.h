#pragma once
// What the operator is told when a port does not open, or opens at the wrong rate: the device
// that was tried and the fix for the common causes. The serial layer gathers the facts; the
// words are the same on every platform.

#include <string>
#include <string_view>
#include <vector>

namespace vemor {

enum class OpenCause {
    Other,
    NoDevice,    // nothing answers under that name
    Denied,      // the device is there, but this user may not use it
    Busy,        // another program has it open
    NotTerminal, // what the name leads to is no serial line (a file, /dev/null)
    Refused,     // the driver did not take the line settings
};

// Facts about one failed open. Fields that do not apply stay empty.
struct OpenFacts {
    OpenCause Cause = OpenCause::Other;
    std::string Name;   // what the operator chose: "COM3", or a device path
    int PortNumber = 0; // N of COM N; 0 for a device path
    std::string Link;   // the link the name went through, when there is one
    std::string Device; // the device node the name led to
    std::string Step;   // the setup step that failed; empty for the open itself
    int BaudRate = 0;   // the rate asked for
    // The system names its ports COM1 to COM255 and has no ports folder (Windows); a typed
    // COMn opens port n.
    bool ComNames = false;

    // NoDevice
    bool Exists = false;               // the node (Windows: the port) is there, yet no device
                                       // answers behind it
    std::string PortsFolder;           // where the link for COM N goes; empty: no such folder
    std::vector<std::string> Adapters; // the serial adapters present, by their stable names
                                       // (ComNames: every port present, as the chooser lists it)

    // Denied
    std::string Group;        // the group that owns the device
    bool GroupMayUse = false; // that group may read and write it
    bool InGroup = false;     // this program already runs with that group

    // Busy
    std::string Holder; // the program that has it open
    long HolderPid = 0;
};

// "COM3 -> /dev/ttyS2": the name and each step it led through.
std::string TriedText(const OpenFacts& facts);
// The lines that follow the system's text in the error box: the device tried, then the fix.
std::string OpenFailureAdvice(const OpenFacts& facts);

// A rate read back that differs from the one asked for by more than 2 %.
bool RateIsOff(int wanted, int actual);
// The warning for such a rate; `tried` is TriedText of the port.
std::string RateWarning(std::string_view tried, int wanted, int actual);

// What a device says of itself (its USB strings), fit to show: control characters as \xNN
// and the characters that reorder text (bidirectional controls) as \u{NNNN}, so that a label
// cannot pose as something else.
std::string ShownDeviceText(std::string_view text);

// A word for a shell command line, quoted only when it needs to be.
std::string ShellWord(std::string_view word);

} // namespace vemor
