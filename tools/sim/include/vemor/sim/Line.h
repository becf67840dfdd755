#pragma once
// The simulator's end of the line: a pseudo-terminal, the ports link that names it, the test
// for a monitor that has set the line up, and the printing of what the monitor sends.

#include "PosixLine.h"
#include "Threadio.h"

#include <cstddef>
#include <cstdint>
#include <string>
#include <vector>

namespace vemor::sim {

// One pseudo-terminal. We keep a descriptor of the slave open ourselves, so the master never
// sees a hang-up (EIO) while no monitor has the line open. The slave starts raw at 38400
// baud, so that nothing is echoed back to us before or after a monitor; at 1200 baud when
// the monitor's speed cannot tell it (anyBaud), so that a change of speed still can.
class Pty {
public:
    explicit Pty(bool anyBaud = false); // throws std::system_error
    ~Pty();
    Pty(const Pty&) = delete;
    Pty& operator=(const Pty&) = delete;

    int Master() const { return master_; } // non-blocking
    int Slave() const { return slave_; }
    const std::string& Path() const { return path_; }
    // Bytes written to the master that the monitor has not read yet, as far as the slave's
    // input queue shows them.
    int Unread() const;
    void DiscardUnread() const;

private:
    int master_ = -1;
    int slave_ = -1;
    std::string path_;
};

// The ports link com<N>.
std::string PortLinkPath(int port);

class PortLink {
public:
    explicit PortLink(std::string path) : path_(std::move(path)) {}
    PortLink(const PortLink&) = delete;
    PortLink& operator=(const PortLink&) = delete;

    // Points the link at target, replacing an earlier link in one step and creating the
    // folder if needed. Throws std::runtime_error when something else than a link has the name.
    void PointAt(const std::string& target);
    // Removes the link only if it still points where we pointed it last: another simulator
    // may have taken the name over since.
    bool RemoveIfOurs();
    // Where the link points when that is an existing file (another simulator's terminal,
    // a real device); empty for no link or a stale one.
    std::string LiveTarget() const;
    const std::string& Path() const { return path_; }

private:
    std::string path_;
    std::string target_;
};

// What a monitor leaves on the line once its open is complete: raw 8N1 at 62500 baud, or
// with anyBaud at any speed but the idle 1200 of the terminal.
bool MonitorReady(const LineTermios& t, bool anyBaud = false);
// Reads the slave's settings through the master.
bool MonitorReady(int master, bool anyBaud = false);

// Cuts what the monitor sends into printable lines: a packet ('+', length L, content,
// checksum) whole once its L bytes are in, other bytes as they come.
class PacketPrinter {
public:
    std::vector<std::string> Feed(const std::uint8_t* p, std::size_t n);
    // The bytes of a packet that never completed, as a line; empty when there are none.
    std::string Flush();
    bool Pending() const { return !pending_.empty(); }

private:
    std::vector<std::uint8_t> pending_;
};

} // namespace vemor::sim
