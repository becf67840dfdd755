#pragma once
// Test rig for the Win32 window: a fresh TForm1 in a private working folder, its message
// boxes captured, and message pumping. The window needs a display (under Wine, an X server).

#include "ErrorDisplay.h"
#include "Main.h"

#include "../serial/SerialKit.h"
#include "../support/Files.h"
#include "../support/Frames.h"
#include "../support/TempDir.h"

#include <gtest/gtest.h>

#include <windows.h>

#include <filesystem>
#include <string>
#include <vector>

namespace vemor::wintest {

namespace fs = std::filesystem;
using vemor::testing::Bytes;
using vemor::testing::CountingFrames;
using vemor::testing::Payload;
using vemor::testing::ReadBytes;

inline std::string Text(HWND window) {
    char buf[256];
    const int n = GetWindowTextA(window, buf, sizeof buf);
    return std::string(buf, static_cast<std::size_t>(n));
}

// Handles every message that is there now, or until `done` holds or the time is up.
template <class Done>
bool PumpUntil(Done&& done, DWORD ms = 3000) {
    const DWORD start = GetTickCount();
    for (;;) {
        MSG m;
        while (PeekMessageA(&m, nullptr, 0, 0, PM_REMOVE)) {
            TranslateMessage(&m);
            DispatchMessageA(&m);
        }
        if (done()) {
            return true;
        }
        if (GetTickCount() - start > ms) {
            return false;
        }
        MsgWaitForMultipleObjects(0, nullptr, FALSE, 5, QS_ALLINPUT);
    }
}

inline void Pump() {
    PumpUntil([] { return true; }, 0);
}

// A window in a folder of its own, with both kinds of boxes captured.
class WindowTest : public ::testing::Test {
protected:
    vemor::testing::TempDir folder_{"vemor-winui", vemor::testing::TempDir::Enter::Yes};
    void SetUp() override {
        dir_ = folder_.Path();
        previousError_ = SetErrorBox([this](const std::string& title, const std::string& text) {
            errors.push_back({text, title});
        });
        Form1 = new TForm1(GetModuleHandleA(nullptr));
        ASSERT_NE(Form1->Handle, nullptr);
        Form1->LinkBox = boxes.Hook();
        Form1->Show(SW_SHOWNOACTIVATE);
        Pump();
    }
    void TearDown() override {
        delete Form1;
        Form1 = nullptr;
        delete SerialThread;
        SerialThread = nullptr;
        Pump();
        SetErrorBox(previousError_);
    }

    // A link object whose port failed to open, so that the test can queue bytes on it.
    ThreadIO* QueueOnly() {
        auto* link = new ThreadIO(true, 250, 62500, &boxes);
        boxes.shown.clear();
        return link;
    }
    // Queues bytes in chunks of up to 64 and posts WM_RXDATA for each, as the reader does.
    void Receive(const Bytes& bytes) {
        for (std::size_t at = 0; at < bytes.size(); at += ThreadIO::ReadSize) {
            const auto n = static_cast<std::uint32_t>(
                std::min<std::size_t>(ThreadIO::ReadSize, bytes.size() - at));
            ASSERT_TRUE(SerialThread->AppendChunk(bytes.data() + at, n));
            Form1->Notify()->Post(WM_RXDATA, n, SerialThread->GetQueuedBytes());
        }
        ASSERT_TRUE(PumpUntil([] { return SerialThread->GetQueuedBytes() == 0; }));
    }
    void Click(HWND button) { SendMessageA(button, BM_CLICK, 0, 0); }

    struct Box {
        std::string text, title;
    };
    std::vector<Box> errors;
    test::BoxCapture boxes; // the serial layer's "GetLastError" boxes
    fs::path dir_;

private:
    ErrorBox previousError_;
};

} // namespace vemor::wintest
