#pragma once

#include "PosixLine.h"
#include "Threadio.h"

#include <gtest/gtest.h>

#include <chrono>
#include <cstdlib>
#include <filesystem>
#include <functional>
#include <mutex>
#include <string>
#include <thread>
#include <vector>

namespace vemor::test {

using namespace std::chrono_literals;
using Clock = std::chrono::steady_clock;

inline double MsSince(Clock::time_point start) {
    return std::chrono::duration<double, std::milli>(Clock::now() - start).count();
}

// Catches what ReportLastError shows; test thread only.
struct BoxCapture {
    struct Box {
        std::string text, caption;
    };
    std::vector<Box> shown;
    MessageBoxFn previous;
    BoxCapture() {
        previous = SetMessageBox([this](const std::string& text, const std::string& caption) {
            shown.push_back({text, caption});
        });
    }
    ~BoxCapture() { SetMessageBox(previous); }
};

// Records every post; Post runs on the reader thread, the rest on the test thread.
class Recorder : public NotifyHandle {
public:
    struct Message {
        unsigned number;
        std::uintptr_t wParam;
        std::intptr_t lParam;
    };
    void Post(unsigned message, std::uintptr_t wParam, std::intptr_t lParam) override {
        std::lock_guard lock(lock_);
        messages_.push_back({message, wParam, lParam});
    }
    std::vector<Message> Of(unsigned number) {
        std::lock_guard lock(lock_);
        std::vector<Message> out;
        for (const Message& m : messages_) {
            if (m.number == number) {
                out.push_back(m);
            }
        }
        return out;
    }
    std::size_t RxBytes() {
        std::size_t sum = 0;
        for (const Message& m : Of(WM_RXDATA)) {
            sum += m.wParam;
        }
        return sum;
    }
    // Polls done() until it holds or the time runs out.
    static bool WaitUntil(const std::function<bool()>& done, std::chrono::milliseconds limit = 3s) {
        const auto end = Clock::now() + limit;
        while (!done()) {
            if (Clock::now() > end) {
                return false;
            }
            std::this_thread::sleep_for(2ms);
        }
        return true;
    }

private:
    std::mutex lock_;
    std::vector<Message> messages_; // guarded by lock_
};

// A private ports folder: XDG_CONFIG_HOME points at a fresh temporary folder.
class PortsDir {
public:
    PortsDir() {
        char tmpl[] = "/tmp/vemor-serial-XXXXXX";
        root_ = mkdtemp(tmpl);
        setenv("XDG_CONFIG_HOME", root_.c_str(), 1);
        std::filesystem::create_directories(Folder());
    }
    ~PortsDir() {
        unsetenv("XDG_CONFIG_HOME");
        std::error_code ec;
        std::filesystem::remove_all(root_, ec);
    }
    std::filesystem::path Folder() const { return root_ / "vemor" / "ports"; }
    std::filesystem::path Root() const { return root_; }
    // Points com<n> at target, replacing any earlier link.
    void Link(int n, const std::string& target) const {
        const auto link = Folder() / ("com" + std::to_string(n));
        std::filesystem::remove(link);
        std::filesystem::create_symlink(target, link);
    }

private:
    std::filesystem::path root_;
};

} // namespace vemor::test
