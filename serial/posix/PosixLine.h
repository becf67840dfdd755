#pragma once
// The POSIX side of the serial link: the kernel's termios2 record, the ports folder that
// maps COM numbers to devices, and the device made with a read-back of its own. Linux only.

#include <cstdint>
#include <functional>
#include <memory>
#include <string>

namespace vemor {

// The kernel's termios2 record, mirrored so that users need not include <asm/termbits.h>
// (which clashes with <termios.h>). Flag values are the same as those of <termios.h>.
struct LineTermios {
    std::uint32_t c_iflag;
    std::uint32_t c_oflag;
    std::uint32_t c_cflag;
    std::uint32_t c_lflag;
    std::uint8_t c_line;
    std::uint8_t c_cc[19];
    std::uint32_t c_ispeed;
    std::uint32_t c_ospeed;
};
inline constexpr std::uint32_t LineBother = 0010000; // BOTHER: the speeds are given in Hz

// Each returns 0 or the errno of the failure.
int GetLineTermios(int fd, LineTermios& out);      // TCGETS2
int SetLineTermios(int fd, const LineTermios& in); // TCSETS2
int FlushLine(int fd);                             // discards both directions
// Raw binary, 8N1, receiver on, modem control off, exact baud; hardware flow control kept.
// A read is ready once `readSize` bytes are there (VMIN), so a wait for it wakes once per
// full read rather than at every byte that arrives.
LineTermios MakeWorkingTermios(const LineTermios& saved, int baudRate, std::uint8_t readSize = 0);

struct DeviceOptions;
class SerialDevice;
// Reads the line settings back after they were set, to learn the rate the driver took; 0 or
// the errno. Called on the thread that opens or reopens the line.
using LineReadBack = std::function<int(int fd, LineTermios& out)>;
// The Linux device, reading the rate back through readBack; tests put in a driver that
// settles on another rate. SerialDevice::Create gives the same with GetLineTermios.
std::unique_ptr<SerialDevice> CreatePosixDevice(DeviceOptions options,
                                                LineReadBack readBack = &GetLineTermios);

// $XDG_CONFIG_HOME/vemor/ports, or ~/.config/vemor/ports.
std::string PortsFolder();
// The node that port n opens: the link "com<n>" in PortsFolder() if present, else
// /dev/ttyS<n-1>. Empty for n < 1, which names no device.
std::string ResolvePortDevice(int portNumber);

} // namespace vemor
