#pragma once
// POSIX only: the ECU's end of a serial line, a pseudo-terminal whose master side the test
// holds, and a private ports folder whose comN links lead to such lines.

#ifndef _WIN32
#include "TempDir.h"

#include <cerrno>
#include <chrono>
#include <cstdint>
#include <cstdlib>
#include <cstring>
#include <fcntl.h>
#include <filesystem>
#include <poll.h>
#include <pty.h>
#include <stdexcept>
#include <string>
#include <unistd.h>
#include <vector>

namespace vemor::testing {

// XDG_CONFIG_HOME points at a fresh folder while it lives.
class PortsDir {
public:
    PortsDir() {
        setenv("XDG_CONFIG_HOME", root_.Path().c_str(), 1);
        std::filesystem::create_directories(Folder());
    }
    ~PortsDir() { unsetenv("XDG_CONFIG_HOME"); }

    std::filesystem::path Folder() const { return root_ / "vemor" / "ports"; }
    const std::filesystem::path& Root() const { return root_.Path(); }
    // Points com<n> at target, replacing any earlier link.
    void Link(int n, const std::string& target) const {
        const auto link = Folder() / ("com" + std::to_string(n));
        std::filesystem::remove(link);
        std::filesystem::create_symlink(target, link);
    }

private:
    TempDir root_{"vemor-ports"};
};

// Owner: the test thread; Write may also run on one other thread.
class PtyLine {
public:
    // Held: the test keeps the slave side open as well, so the line does not hang up before
    // the monitor opens it, nor when the monitor closes it.
    enum class Slave { Held, Closed };

    explicit PtyLine(Slave slave = Slave::Held) {
        char name[128] = {};
        if (openpty(&master_, &slave_, name, nullptr, nullptr) != 0) {
            throw std::runtime_error(std::string("openpty: ") + std::strerror(errno));
        }
        name_ = name;
        if (slave == Slave::Closed) {
            ::close(slave_);
            slave_ = -1;
        }
        fcntl(master_, F_SETFL, fcntl(master_, F_GETFL) | O_NONBLOCK);
    }
    ~PtyLine() {
        Close();
        if (slave_ >= 0) {
            ::close(slave_);
        }
    }
    PtyLine(const PtyLine&) = delete;
    PtyLine& operator=(const PtyLine&) = delete;

    // The slave's path, which the monitor opens.
    const std::string& Name() const { return name_; }
    int Master() const { return master_; }

    // All of it, waiting while the pseudo-terminal's buffer is full.
    void Write(const std::vector<std::uint8_t>& bytes) const {
        std::size_t done = 0;
        while (done < bytes.size()) {
            const ssize_t n = ::write(master_, bytes.data() + done, bytes.size() - done);
            if (n > 0) {
                done += static_cast<std::size_t>(n);
            } else if (errno == EAGAIN || errno == EINTR) {
                pollfd p{master_, POLLOUT, 0};
                poll(&p, 1, 100);
            } else {
                throw std::runtime_error(std::string("pty write: ") + std::strerror(errno));
            }
        }
    }
    // What the monitor wrote, waiting up to `limit` for at least `want` bytes.
    std::vector<std::uint8_t>
    Read(std::size_t want, std::chrono::milliseconds limit = std::chrono::seconds(2)) const {
        std::vector<std::uint8_t> out;
        const auto end = std::chrono::steady_clock::now() + limit;
        while (out.size() < want && std::chrono::steady_clock::now() < end) {
            pollfd p{master_, POLLIN, 0};
            if (poll(&p, 1, 20) > 0) {
                std::uint8_t buf[256];
                const ssize_t n = ::read(master_, buf, sizeof buf);
                if (n > 0) {
                    out.insert(out.end(), buf, buf + n);
                }
            }
        }
        return out;
    }
    // Closes the master side: the monitor's end hangs up.
    void Close() {
        if (master_ >= 0) {
            ::close(master_);
            master_ = -1;
        }
    }

private:
    int master_ = -1;
    int slave_ = -1;
    std::string name_;
};

} // namespace vemor::testing
#endif
