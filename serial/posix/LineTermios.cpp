// The kernel's termios2 interface; <termios.h> must stay out of this file.
#include "PosixLine.h"

#include <asm/termbits.h>
#include <cerrno>
#include <cstddef>
#include <cstring>
#include <sys/ioctl.h>

namespace vemor {

static_assert(sizeof(LineTermios) == sizeof(termios2));
static_assert(offsetof(LineTermios, c_cc) == offsetof(termios2, c_cc));
static_assert(sizeof(LineTermios::c_cc) == sizeof(termios2::c_cc));
static_assert(offsetof(LineTermios, c_ispeed) == offsetof(termios2, c_ispeed));
static_assert(offsetof(LineTermios, c_ospeed) == offsetof(termios2, c_ospeed));
static_assert(LineBother == BOTHER);

int GetLineTermios(int fd, LineTermios& out) {
    termios2 t{};
    if (ioctl(fd, TCGETS2, &t) != 0) {
        return errno;
    }
    std::memcpy(&out, &t, sizeof t);
    return 0;
}

int SetLineTermios(int fd, const LineTermios& in) {
    termios2 t{};
    std::memcpy(&t, &in, sizeof t);
    return ioctl(fd, TCSETS2, &t) == 0 ? 0 : errno;
}

int FlushLine(int fd) {
    return ioctl(fd, TCFLSH, TCIOFLUSH) == 0 ? 0 : errno;
}

LineTermios MakeWorkingTermios(const LineTermios& saved, int baudRate, std::uint8_t readSize) {
    LineTermios t = saved;
    t.c_iflag &= ~(IGNBRK | BRKINT | PARMRK | ISTRIP | INLCR | IGNCR | ICRNL | IUCLC | IXON |
                   IXOFF | IXANY | INPCK);
    t.c_oflag &= ~OPOST;
    t.c_lflag &= ~(ICANON | ECHO | ECHOE | ECHOK | ECHONL | ISIG | IEXTEN);
    t.c_cflag &= ~(CSIZE | PARENB | PARODD | CMSPAR | CSTOPB | CBAUD | CIBAUD);
    t.c_cflag |= CS8 | CREAD | CLOCAL | BOTHER | (BOTHER << IBSHIFT);
    t.c_ispeed = static_cast<std::uint32_t>(baudRate);
    t.c_ospeed = static_cast<std::uint32_t>(baudRate);
    // Reads on the non-blocking descriptor return at once with whatever is there; VMIN only
    // decides when a poll reports the line readable.
    t.c_cc[VMIN] = readSize;
    t.c_cc[VTIME] = 0;
    return t;
}

} // namespace vemor
