#pragma once
// A window for the session that records what it is told and queues what the reader posts,
// for the test thread to hand to the session as a message loop would.

#include "FakeDisplay.h"

#include "vemor/Session.h"

#include <chrono>
#include <deque>
#include <map>
#include <mutex>
#include <string>
#include <thread>
#include <vector>

namespace vemor::testing {

class FakeWindow : public SessionWindow {
public:
    struct Message {
        unsigned number;
        std::uintptr_t wParam;
        std::intptr_t lParam;
    };

    FakeDisplay display;
    std::string caption = "Open";
    PortChoice port{7, {}};
    std::map<Command, bool> enabled{
        {Command::SaveFile, false}, {Command::Test, false}, {Command::StopCapture, false}};
    std::string status, captureField, captureTip, healthField;
    bool lineLost = false;
    int staleAsked = 0;
    bool ticking = false;
    int tickerStarts = 0;      // SetTicking(true) calls
    bool sleepGranted = false; // what the system answers
    bool sleepHeld = false;
    std::vector<bool> sleepHolds; // each request, in order
    std::vector<std::string> errors;
    struct Box {
        std::string text, caption;
    };
    std::vector<Box> boxes; // the link's

    Display& Screen() override { return display; }
    std::string Button1Caption() const override { return caption; }
    void SetButton1Caption(const std::string& c) override { caption = c; }
    void EnableCommand(Command c, bool on) override { enabled[c] = on; }
    PortChoice ChosenPort() const override { return port; }
    void ShowStatus(const std::string& text) override { status = text; }
    void ShowCaptureField(const std::string& text) override { captureField = text; }
    void ShowCaptureTip(const std::string& path) override { captureTip = path; }
    void ShowHealthField(const std::string& text) override { healthField = text; }
    void SetLineLost(bool lost) override { lineLost = lost; }
    void SetStale() override { ++staleAsked; }
    void ShowError(const std::string& text) override { errors.push_back(text); }
    void ShowBox(const std::string& text, const std::string& title) override {
        boxes.push_back({text, title});
    }
    void SetTicking(bool on) override {
        ticking = on;
        tickerStarts += on ? 1 : 0;
    }
    void HoldOffSleep(bool on) override {
        sleepHolds.push_back(on);
        sleepHeld = on && sleepGranted;
    }
    bool SleepHeldOff() const override { return sleepHeld; }
    // Reader thread.
    void Post(unsigned number, std::uintptr_t wParam, std::intptr_t lParam) override {
        std::lock_guard lock(lock_);
        queue_.push_back({number, wParam, lParam});
    }
    void DiscardLineMessages() override {
        std::lock_guard lock(lock_);
        std::erase_if(queue_, [](const Message& m) {
            return m.number == WM_LINELOST || m.number == WM_LINEBACK;
        });
    }

    // Hands what is queued to the session, as the window's message loop would.
    void Pump(Session& session) {
        for (;;) {
            Message m{};
            {
                std::lock_guard lock(lock_);
                if (queue_.empty()) {
                    return;
                }
                m = queue_.front();
                queue_.pop_front();
            }
            if (m.number == WM_RXDATA) {
                session.OnRxData(m.wParam);
            } else {
                session.OnLinkMessage(m.number, m.wParam, m.lParam);
            }
        }
    }
    // Pumps until done() holds or the time is up.
    template <class Done>
    bool PumpUntil(Session& session, Done done,
                   std::chrono::milliseconds limit = std::chrono::seconds(3)) {
        const auto end = std::chrono::steady_clock::now() + limit;
        for (;;) {
            Pump(session);
            if (done()) {
                return true;
            }
            if (std::chrono::steady_clock::now() > end) {
                return false;
            }
            std::this_thread::sleep_for(std::chrono::milliseconds(2));
        }
    }
    std::size_t Queued() {
        std::lock_guard lock(lock_);
        return queue_.size();
    }

private:
    std::mutex lock_;
    std::deque<Message> queue_; // guarded by lock_; filled on the reader thread
};

} // namespace vemor::testing
