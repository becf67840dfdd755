#pragma once
// What is present on a Linux system: the serial adapters plugged in, and which process has a
// device open. Read from sysfs, /dev and /proc directly.

#include "Link.h"

#include <optional>
#include <string>
#include <vector>

namespace vemor {

// Each USB adapter under its /dev/serial/by-id name, then the ttyACM and ttyUSB devices that
// have none, labelled with what sysfs says of them. root is "/" but for tests.
std::vector<PresentPort> ListPresentPorts(const std::string& root = "/");

// False only when path is known to lead to no terminal: to something other than a character
// device, or to one whose kernel subsystem is not tty (/dev/null). Unknown is true: the open
// tells. Nothing is opened. root is "/" but for tests.
bool MayBeTerminal(const std::string& path, const std::string& root = "/");

struct PortHolder {
    std::string Name; // the program's name as the kernel keeps it
    long Pid = 0;
};
// A process other than skipPid that has the device behind path open. A process that may not
// be inspected is skipped, and so is the one at the other end of a pseudo-terminal (it holds
// the master): that is the line itself, not a second reader.
std::optional<PortHolder> FindHolder(const std::string& path, long skipPid,
                                     const std::string& procRoot = "/proc");

} // namespace vemor
