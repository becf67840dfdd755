#pragma once
// Running vemor-sim (or another tool) as a child process, and a bare-bones monitor that sets
// up the simulator's line the way the serial layer does.

#include "PosixLine.h"
#include "Threadio.h"

#include "../support/Files.h"

#include <gtest/gtest.h>

#include <algorithm>
#include <cerrno>
#include <chrono>
#include <csignal>
#include <cstdint>
#include <fcntl.h>
#include <fstream>
#include <iterator>
#include <optional>
#include <poll.h>
#include <spawn.h>
#include <stdexcept>
#include <string>
#include <sys/wait.h>
#include <thread>
#include <unistd.h>
#include <vector>

extern char** environ;

namespace vemor::simtest {

using Bytes = std::vector<std::uint8_t>;
using Clock = std::chrono::steady_clock;
using namespace std::chrono_literals;
using vemor::testing::ReadBytes;

// A child process whose standard output and error come back through one pipe, line by line.
// Owner: the test thread.
class Child {
public:
    Child(const std::string& exe, const std::vector<std::string>& args) {
        int fds[2];
        if (pipe2(fds, O_CLOEXEC) != 0) {
            throw std::runtime_error("pipe failed");
        }
        posix_spawn_file_actions_t actions;
        posix_spawn_file_actions_init(&actions);
        posix_spawn_file_actions_adddup2(&actions, fds[1], STDOUT_FILENO);
        posix_spawn_file_actions_adddup2(&actions, fds[1], STDERR_FILENO);
        std::vector<char*> argv;
        argv.push_back(const_cast<char*>(exe.c_str()));
        for (const std::string& a : args) {
            argv.push_back(const_cast<char*>(a.c_str()));
        }
        argv.push_back(nullptr);
        const int rc = posix_spawn(&pid_, exe.c_str(), &actions, nullptr, argv.data(), environ);
        posix_spawn_file_actions_destroy(&actions);
        close(fds[1]);
        out_ = fds[0];
        fcntl(out_, F_SETFL, fcntl(out_, F_GETFL) | O_NONBLOCK);
        if (rc != 0) {
            close(out_);
            throw std::runtime_error("cannot start " + exe);
        }
    }
    ~Child() {
        if (!status_) {
            kill(pid_, SIGKILL);
            int s = 0;
            waitpid(pid_, &s, 0);
        }
        close(out_);
    }
    Child(const Child&) = delete;
    Child& operator=(const Child&) = delete;

    // Takes what has been printed so far, without waiting.
    void Poll() {
        char buf[4096];
        for (;;) {
            const ssize_t n = read(out_, buf, sizeof buf);
            if (n <= 0) {
                break;
            }
            partial_.append(buf, static_cast<std::size_t>(n));
        }
        std::size_t nl = 0;
        while ((nl = partial_.find('\n')) != std::string::npos) {
            lines_.push_back(partial_.substr(0, nl));
            partial_.erase(0, nl + 1);
        }
    }
    // The first line so far that starts with prefix.
    std::optional<std::string> Line(const std::string& prefix) {
        Poll();
        for (const std::string& l : lines_) {
            if (l.rfind(prefix, 0) == 0) {
                return l;
            }
        }
        return std::nullopt;
    }
    bool WaitLine(const std::string& prefix, std::chrono::milliseconds limit = 5s) {
        const auto end = Clock::now() + limit;
        while (!Line(prefix)) {
            if (Clock::now() > end) {
                return false;
            }
            std::this_thread::sleep_for(2ms);
        }
        return true;
    }
    std::string Output() {
        Poll();
        std::string all;
        for (const std::string& l : lines_) {
            all += l + "\n";
        }
        return all + partial_;
    }
    void Signal(int sig) const { kill(pid_, sig); }
    // The exit status once the child has ended; -1 for an end by a signal.
    std::optional<int> Exited() {
        if (!status_) {
            int s = 0;
            if (waitpid(pid_, &s, WNOHANG) == pid_) {
                status_ = WIFEXITED(s) ? WEXITSTATUS(s) : -1;
            }
        }
        return status_;
    }
    std::optional<int> Wait(std::chrono::milliseconds limit = 10s) {
        const auto end = Clock::now() + limit;
        while (!Exited() && Clock::now() < end) {
            Poll();
            std::this_thread::sleep_for(2ms);
        }
        Poll();
        return status_;
    }

private:
    pid_t pid_ = -1;
    int out_ = -1;
    std::string partial_;
    std::vector<std::string> lines_;
    std::optional<int> status_;
};

// The monitor's side of the line as the serial layer leaves it after an open.
class FakeMonitor {
public:
    explicit FakeMonitor(const std::string& path) {
        fd_ = open(path.c_str(), O_RDWR | O_NOCTTY | O_NONBLOCK | O_CLOEXEC);
        if (fd_ < 0 || GetLineTermios(fd_, saved_) != 0) {
            throw std::runtime_error("cannot open " + path);
        }
    }
    ~FakeMonitor() {
        if (fd_ >= 0) {
            close(fd_);
        }
    }
    FakeMonitor(const FakeMonitor&) = delete;
    FakeMonitor& operator=(const FakeMonitor&) = delete;

    int Fd() const { return fd_; }
    void SetUp(int baud = 62500) const { SetLineTermios(fd_, MakeWorkingTermios(saved_, baud)); }
    void Restore() const { SetLineTermios(fd_, saved_); }
    void Write(const Bytes& b) const {
        ASSERT_EQ(write(fd_, b.data(), b.size()), static_cast<ssize_t>(b.size()));
    }
    // Reads for `limit`, or until `want` bytes came, or until the line hangs up.
    Bytes Read(std::chrono::milliseconds limit, std::size_t want = SIZE_MAX) {
        Bytes got;
        const auto end = Clock::now() + limit;
        while (got.size() < want && Clock::now() < end && !hungUp_) {
            pollfd p{fd_, POLLIN, 0};
            if (poll(&p, 1, 5) <= 0) {
                continue;
            }
            std::uint8_t buf[4096];
            const ssize_t n = read(fd_, buf, std::min(sizeof buf, want - got.size()));
            if (n > 0) {
                got.insert(got.end(), buf, buf + n);
            } else if (n == 0 || (errno != EAGAIN && errno != EINTR)) {
                // readable yet empty: the other side hung up, as the serial layer sees it
                hungUp_ = true;
            }
        }
        return got;
    }
    bool HungUp() const { return hungUp_; }

private:
    int fd_ = -1;
    LineTermios saved_{};
    bool hungUp_ = false;
};

} // namespace vemor::simtest
