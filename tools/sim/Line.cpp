#include "vemor/sim/Line.h"

#include "vemor/sim/Options.h"

#include <cerrno>
#include <climits>
#include <cstdio>
#include <fcntl.h>
#include <filesystem>
#include <stdexcept>
#include <sys/ioctl.h>
#include <sys/stat.h>
#include <system_error>
#include <termios.h>
#include <unistd.h>

namespace vemor::sim {

namespace {

constexpr std::uint8_t PacketStart = 0x2B;

std::string Hex(const std::uint8_t* p, std::size_t n) {
    std::string s;
    char b[4];
    for (std::size_t i = 0; i < n; ++i) {
        std::snprintf(b, sizeof b, i == 0 ? "%02X" : " %02X", p[i]);
        s += b;
    }
    return s;
}

} // namespace

namespace {
constexpr speed_t IdleSpeed = B1200;
constexpr std::uint32_t IdleBaud = 1200;
} // namespace

Pty::Pty(bool anyBaud) {
    master_ = posix_openpt(O_RDWR | O_NOCTTY | O_CLOEXEC);
    if (master_ < 0) {
        throw std::system_error(errno, std::generic_category(), "posix_openpt");
    }
    char name[PATH_MAX];
    if (grantpt(master_) != 0 || unlockpt(master_) != 0 ||
        ptsname_r(master_, name, sizeof name) != 0) {
        const int err = errno;
        close(master_);
        throw std::system_error(err, std::generic_category(), "pseudo-terminal setup");
    }
    path_ = name;
    slave_ = open(name, O_RDWR | O_NOCTTY | O_CLOEXEC);
    termios t{};
    if (slave_ < 0 || tcgetattr(slave_, &t) != 0) {
        const int err = errno;
        if (slave_ >= 0) {
            close(slave_);
        }
        close(master_);
        throw std::system_error(err, std::generic_category(), "open " + path_);
    }
    cfmakeraw(&t);
    cfsetspeed(&t, anyBaud ? IdleSpeed : B38400);
    tcsetattr(slave_, TCSANOW, &t);
    fcntl(master_, F_SETFL, fcntl(master_, F_GETFL) | O_NONBLOCK);
}

Pty::~Pty() {
    close(slave_);
    close(master_);
}

int Pty::Unread() const {
    int n = 0;
    return ioctl(slave_, FIONREAD, &n) == 0 ? n : 0;
}

void Pty::DiscardUnread() const {
    tcflush(slave_, TCIFLUSH);
}

std::string PortLinkPath(int port) {
    return PortsFolder() + "/com" + std::to_string(port);
}

void PortLink::PointAt(const std::string& target) {
    namespace fs = std::filesystem;
    std::error_code ec;
    fs::create_directories(fs::path(path_).parent_path(), ec);
    struct stat st {};
    if (lstat(path_.c_str(), &st) == 0 && !S_ISLNK(st.st_mode)) {
        throw std::runtime_error(path_ + ": exists and is not a link; not replacing it");
    }
    const std::string temp = path_ + ".new-" + std::to_string(getpid());
    unlink(temp.c_str());
    if (symlink(target.c_str(), temp.c_str()) != 0) {
        throw std::system_error(errno, std::generic_category(), "symlink " + temp);
    }
    if (rename(temp.c_str(), path_.c_str()) != 0) {
        const int err = errno;
        unlink(temp.c_str());
        throw std::system_error(err, std::generic_category(), "rename to " + path_);
    }
    target_ = target;
}

bool PortLink::RemoveIfOurs() {
    if (target_.empty()) {
        return false;
    }
    char buf[PATH_MAX];
    const ssize_t n = readlink(path_.c_str(), buf, sizeof buf - 1);
    if (n < 0 || std::string(buf, static_cast<std::size_t>(n)) != target_) {
        return false;
    }
    target_.clear();
    return unlink(path_.c_str()) == 0;
}

std::string PortLink::LiveTarget() const {
    char buf[PATH_MAX];
    const ssize_t n = readlink(path_.c_str(), buf, sizeof buf - 1);
    struct stat st {};
    if (n < 0 || stat(path_.c_str(), &st) != 0) {
        return {};
    }
    return std::string(buf, static_cast<std::size_t>(n));
}

bool MonitorReady(const LineTermios& t, bool anyBaud) {
    const bool eightN1 = (t.c_cflag & CSIZE) == CS8 && (t.c_cflag & (PARENB | CSTOPB)) == 0;
    const bool raw = (t.c_lflag & (ICANON | ECHO | ISIG | IEXTEN)) == 0 &&
                     (t.c_iflag & (IXON | ICRNL | INLCR | IGNCR | ISTRIP)) == 0;
    const bool speed = anyBaud
                           ? t.c_ospeed != IdleBaud
                           : t.c_ospeed == LineBaud && (t.c_ispeed == LineBaud || t.c_ispeed == 0);
    return eightN1 && raw && speed;
}

bool MonitorReady(int master, bool anyBaud) {
    LineTermios t{};
    return GetLineTermios(master, t) == 0 && MonitorReady(t, anyBaud);
}

std::vector<std::string> PacketPrinter::Feed(const std::uint8_t* p, std::size_t n) {
    pending_.insert(pending_.end(), p, p + n);
    std::vector<std::string> lines;
    std::size_t at = 0;
    while (at < pending_.size()) {
        if (pending_[at] != PacketStart) {
            std::size_t end = at;
            while (end < pending_.size() && pending_[end] != PacketStart) {
                ++end;
            }
            lines.push_back(Hex(&pending_[at], end - at) + " (no packet)");
            at = end;
            continue;
        }
        if (pending_.size() - at < 2) {
            break;
        }
        const std::size_t length = pending_[at + 1];
        if (length < 3) {
            lines.push_back(Hex(&pending_[at], 2) + " (no packet)");
            at += 2;
            continue;
        }
        if (pending_.size() - at < length) {
            break;
        }
        std::uint8_t sum = 0;
        for (std::size_t i = 0; i < length; ++i) {
            sum = static_cast<std::uint8_t>(sum + pending_[at + i]);
        }
        lines.push_back(Hex(&pending_[at], length) + (sum == 0 ? "" : " (checksum wrong)"));
        at += length;
    }
    pending_.erase(pending_.begin(), pending_.begin() + static_cast<std::ptrdiff_t>(at));
    return lines;
}

std::string PacketPrinter::Flush() {
    if (pending_.empty()) {
        return {};
    }
    std::string line = Hex(pending_.data(), pending_.size()) + " (incomplete packet)";
    pending_.clear();
    return line;
}

} // namespace vemor::sim
