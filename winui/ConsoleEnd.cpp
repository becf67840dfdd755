#include "ConsoleEnd.h"

#include <atomic>

namespace vemor {

namespace {

std::atomic<HWND> target{nullptr}; // set by the GUI thread, read by the handler's

// The system ends the process about 5 s after a close, log-off or shutdown event.
constexpr UINT FinishWaitMs = 4000;

} // namespace

void FinishWithConsole(HWND window) {
    target = window;
    SetConsoleCtrlHandler(&OnConsoleEnd, TRUE);
}

BOOL WINAPI OnConsoleEnd(DWORD event) {
    const HWND window = target.load();
    if (window == nullptr) {
        return FALSE;
    }
    // Sent, so that the capture is finished before the handler returns; a modal box's loop
    // takes it too.
    SendMessageTimeoutA(window, WM_ENDSESSION, TRUE, 0, SMTO_NORMAL, FinishWaitMs, nullptr);
    if (event == CTRL_C_EVENT || event == CTRL_BREAK_EVENT) {
        PostMessageA(window, WM_CLOSE, 0, 0); // the process lives on unless the window ends it
    }
    return TRUE;
}

} // namespace vemor
