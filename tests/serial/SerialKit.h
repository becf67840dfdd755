#pragma once

#include "SerialDevice.h"
#include "Threadio.h"
#ifndef _WIN32
#include "PosixLine.h"
#elif defined(VEMOR_SIM_EXE)
#include <windows.h>
#endif
#include "../support/Files.h"
#include "../support/Pty.h"

#include <gtest/gtest.h>

#include <atomic>
#include <cerrno>
#include <chrono>
#include <condition_variable>
#include <cstdlib>
#include <deque>
#include <filesystem>
#include <fstream>
#include <functional>
#include <iterator>
#include <memory>
#include <mutex>
#include <stdexcept>
#include <string>
#include <thread>
#include <utility>
#include <vector>

namespace vemor::test {

using namespace std::chrono_literals;
using Clock = std::chrono::steady_clock;

inline double MsSince(Clock::time_point start) {
    return std::chrono::duration<double, std::milli>(Clock::now() - start).count();
}

// Catches the boxes a link shows, as its notification target or, for a window that shows
// them, through Hook(). Test thread only.
class BoxCapture : public NotifyHandle {
public:
    struct Box {
        std::string text, caption;
        // The system's text; what follows it names the device and the fix.
        std::string FirstLine() const { return text.substr(0, text.find('\n')); }
    };
    std::vector<Box> shown;
    void Post(unsigned, std::uintptr_t, std::intptr_t) override {}
    void ShowBox(const std::string& text, const std::string& caption) override {
        shown.push_back({text, caption});
    }
    std::function<void(const std::string&, const std::string&)> Hook() {
        return
            [this](const std::string& text, const std::string& caption) { ShowBox(text, caption); };
    }
};

// A device's options with a pause at open and close that is short: for tests where the cycles,
// not the pauses, are under test.
inline DeviceOptions Quick() {
    DeviceOptions options;
    options.Settle = 1ms;
    return options;
}

// Fails the next n chunk allocations of the links whose device options got its Hook. Any
// thread; the counter lives as long as the last hook.
class AllocationFailures {
public:
    void Next(int n) { left_->store(n); }
    std::function<bool()> Hook() const {
        return [left = left_] {
            int n = left->load();
            while (n > 0 && !left->compare_exchange_weak(n, n - 1)) {
            }
            return n > 0;
        };
    }
    DeviceOptions Options() const {
        DeviceOptions options = Quick();
        options.FailAllocation = Hook();
        return options;
    }

private:
    std::shared_ptr<std::atomic<int>> left_ = std::make_shared<std::atomic<int>>(0);
};

// Records every post; Post runs on the reader thread, the rest on the test thread.
class Recorder : public BoxCapture {
public:
    struct Message {
        unsigned number;
        std::uintptr_t wParam;
        std::intptr_t lParam;
        Clock::time_point at; // when it was posted
    };
    void Post(unsigned message, std::uintptr_t wParam, std::intptr_t lParam) override {
        if (failPosts.load() > 0) {
            failPosts.fetch_sub(1);
            throw std::bad_alloc();
        }
        std::lock_guard lock(lock_);
        messages_.push_back({message, wParam, lParam, Clock::now()});
    }
    std::atomic<int> failPosts{0}; // the next n posts throw, as an allocation failure would
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

// A device whose reads, losses and writes the test scripts; every member may be called from
// the reader thread and the test thread at once.
class ScriptedDevice final : public SerialDevice {
public:
    struct State {
        std::deque<std::vector<std::uint8_t>> reads; // each delivered by one read
        bool lose = false;                           // the next read ends in a loss
        bool present = true;                         // Open finds the device
        int throwNames = 0;                          // the next n DevicePath calls throw
        int opens = 0;                               // attempts; handle 100 + n for the nth
        std::vector<PortHandleValue> closed;
        bool writing = false;              // a Write is waiting
        bool releaseWrite = false;         // lets a waiting Write finish
        std::vector<std::uint8_t> written; // what released writes took
        int saveError = 0;                 // SaveSettings fails with it
        bool closedWhileWriting = false;
        bool stop = false;
    };

    // Runs f on the state under the lock and wakes every wait.
    template <class F>
    auto With(F f) {
        std::lock_guard lock(lock_);
        struct Wake {
            std::condition_variable& cv;
            ~Wake() { cv.notify_all(); }
        } wake{changed_};
        return f(state_);
    }

    explicit ScriptedDevice(DeviceOptions options = Quick()) : SerialDevice(std::move(options)) {}

    int MakeStopSignal() override { return 0; }
    void SignalStop() override {
        With([](State& s) { s.stop = true; });
    }
    bool WaitForStop(int ms) override {
        std::unique_lock lock(lock_);
        return changed_.wait_for(lock, std::chrono::milliseconds(ms), [&] { return state_.stop; });
    }
    std::string DevicePath(int) override {
        return With([](State& s) {
            if (s.throwNames > 0) {
                --s.throwNames;
                throw std::bad_alloc();
            }
            return std::string("scripted");
        });
    }
    PortHandleValue Open(const std::string&, Reason, OpenStep& step, int& err) override {
        return With([&](State& s) -> PortHandleValue {
            step = OpenStep::Open;
            err = ENOENT;
            const int n = s.opens++;
            return s.present ? 100 + n : InvalidPortHandle;
        });
    }
    void Close(PortHandleValue handle) override {
        With([&](State& s) {
            s.closedWhileWriting = s.closedWhileWriting || s.writing;
            s.closed.push_back(handle);
        });
    }
    void Purge(PortHandleValue) override {}
    int SaveSettings(PortHandleValue) override {
        return With([](State& s) { return s.saveError; });
    }
    int GetTimeouts(PortHandleValue, CommTimeouts& out) override {
        out = CommTimeouts{};
        return 0;
    }
    void SetTimeouts(PortHandleValue, const CommTimeouts&) override {}
    int ApplyWorking(PortHandleValue, int, OpenStep&) override { return 0; }
    void Restore(PortHandleValue) override {}
    ReadEnd Read(PortHandleValue, const CommTimeouts&, std::uint8_t* buf, std::uint32_t& count,
                 int& lostErr) override {
        std::unique_lock lock(lock_);
        count = 0;
        changed_.wait_for(lock, 20ms,
                          [&] { return state_.stop || state_.lose || !state_.reads.empty(); });
        if (state_.stop) {
            return ReadEnd::Stop;
        }
        if (state_.lose) {
            state_.lose = false;
            state_.present = false;
            lostErr = EIO;
            return ReadEnd::Lost;
        }
        if (!state_.reads.empty()) {
            const std::vector<std::uint8_t> bytes = std::move(state_.reads.front());
            state_.reads.pop_front();
            std::copy(bytes.begin(), bytes.end(), buf);
            count = static_cast<std::uint32_t>(bytes.size());
        }
        return ReadEnd::Done;
    }
    // Waits until released or the deadline; then everything counts as written.
    int Write(PortHandleValue, const std::uint8_t* buf, std::uint32_t size, std::uint32_t& done,
              Clock::time_point deadline) override {
        std::unique_lock lock(lock_);
        state_.writing = true;
        changed_.notify_all();
        const bool released =
            changed_.wait_until(lock, deadline, [&] { return state_.releaseWrite; });
        state_.writing = false;
        if (released) {
            state_.written.insert(state_.written.end(), buf + done, buf + size);
        }
        done = released ? size : 0;
        return released ? 0 : ETIMEDOUT;
    }

    // Waits up to `limit` for pred(state) to hold.
    template <class Pred>
    bool WaitUntil(Pred pred, std::chrono::milliseconds limit = 3s) {
        std::unique_lock lock(lock_);
        return changed_.wait_for(lock, limit, [&] { return pred(state_); });
    }

private:
    std::mutex lock_;
    std::condition_variable changed_;
    State state_; // guarded by lock_
};

// A link on a scripted device; `device` stays usable while the link lives.
inline std::unique_ptr<ThreadIO> ScriptedLink(NotifyHandle* window, ScriptedDevice*& device,
                                              DeviceOptions options = Quick()) {
    auto owned = std::make_unique<ScriptedDevice>(std::move(options));
    device = owned.get();
    return std::make_unique<ThreadIO>(true, 7, 62500, window, std::move(owned));
}

#ifdef _WIN32
#ifdef VEMOR_SIM_EXE
// vemor-sim (a Linux program) as the other end of COM10 under Wine: its terminal is linked as
// $WINEPREFIX/dosdevices/com10. Wine starts Linux programs given by their Unix path but cannot
// wait for or end them, so the simulator is driven through its output file and kill(1).
// Owner: the test thread.
class SimPeer {
public:
    // False when this is not Wine.
    static bool Available() { return std::getenv("WINEPREFIX") != nullptr; }

    explicit SimPeer(const std::vector<std::string>& args) {
        dir_ = "/tmp/vemor-wine-" + std::to_string(GetCurrentProcessId()) + "-" +
               std::to_string(++Serial());
        std::filesystem::create_directories(Windows(dir_));
        // The test prefix's COM10 is ours: a link left by a simulator that was killed may lead
        // to someone else's terminal by now.
        const std::string link = std::string(std::getenv("WINEPREFIX")) + "/dosdevices/com10";
        std::error_code ec;
        std::filesystem::remove(Windows(link), ec);
        std::string command = std::string("'") + VEMOR_SIM_EXE + "' --any-baud --link '" + link +
                              "' --sent '" + dir_ + "/sent'";
        for (const std::string& a : args) {
            command += " '" + a + "'";
        }
        Run("/bin/sh -c \"echo $$ >'" + dir_ + "/pid'; exec " + command + " >'" + dir_ +
            "/out' 2>&1\"");
        if (!WaitLine("waiting: ")) {
            throw std::runtime_error("vemor-sim did not start: " + Output());
        }
    }
    ~SimPeer() {
        Signal("TERM");
        WaitLine("sent: ");
        std::error_code ec;
        std::filesystem::remove_all(Windows(dir_), ec);
    }
    SimPeer(const SimPeer&) = delete;
    SimPeer& operator=(const SimPeer&) = delete;

    std::string Output() const { return vemor::testing::ReadText(Windows(dir_ + "/out")); }
    std::vector<std::uint8_t> Sent() const {
        return vemor::testing::ReadBytes(Windows(dir_ + "/sent"));
    }
    // Waits for a line that starts with prefix.
    bool WaitLine(const std::string& prefix, std::chrono::milliseconds limit = 10s) const {
        return Recorder::WaitUntil(
            [&] {
                const std::string out = "\n" + Output();
                return out.find("\n" + prefix) != std::string::npos;
            },
            limit);
    }
    void Signal(const char* name) const {
        const std::string pid = vemor::testing::ReadText(Windows(dir_ + "/pid"));
        if (!pid.empty()) {
            Run("/bin/kill -" + std::string(name) + " " + pid.substr(0, pid.find('\n')));
        }
    }

private:
    // Wine's drive Z: is the Unix root.
    static std::string Windows(const std::string& unixPath) { return "Z:" + unixPath; }
    static int& Serial() {
        static int n = 0;
        return n;
    }
    static void Run(std::string command) {
        STARTUPINFOA si{};
        si.cb = sizeof si;
        PROCESS_INFORMATION pi{};
        if (!CreateProcessA(nullptr, command.data(), nullptr, nullptr, FALSE, 0, nullptr, nullptr,
                            &si, &pi)) {
            throw std::runtime_error("cannot run " + command);
        }
        // The handles of a Linux process are placeholders; closing them is all there is.
        CloseHandle(pi.hThread);
        CloseHandle(pi.hProcess);
    }

    std::string dir_; // Unix path
};
#endif
#else
using vemor::testing::PortsDir;
#endif

} // namespace vemor::test
