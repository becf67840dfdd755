#pragma once
// What the serial link's two halves and the windows share: the notifications and their
// target, port handles, time-outs, how an open failed, port names and the ports present.
// Neither ThreadIO nor a device is needed to use them.

#include <chrono>
#include <cstddef>
#include <cstdint>
#include <string>
#include <vector>

namespace vemor {

#ifndef WM_USER // <windows.h> has its own, of the same value
constexpr unsigned WM_USER = 1024;
#endif
// Posted once per queued chunk. WParam: bytes of that chunk (1 to 64). LParam: bytes waiting
// in the queue just after the append.
constexpr unsigned WM_RXDATA = WM_USER + 100;
// The device went away while open; posted once per loss, nothing is queued for it.
// WParam: the platform error that showed the loss. LParam: the port number.
constexpr unsigned WM_LINELOST = WM_USER + 101;
// The port's name opened again with the working settings; reading goes on.
// WParam: 0. LParam: the port number.
constexpr unsigned WM_LINEBACK = WM_USER + 102;
// The reader met failures (out of memory) and went on; posted when it can, after them.
// WParam: failures so far. LParam: received bytes dropped so far. Bytes queued meanwhile
// wait for this or the next notification.
constexpr unsigned WM_READERFAULT = WM_USER + 103;

// A port handle: a file descriptor or a Windows HANDLE. All bits set: no port.
using PortHandleValue = std::intptr_t;
constexpr PortHandleValue InvalidPortHandle = -1;
#ifndef INVALID_HANDLE_VALUE // <windows.h> has its own, of the same value
constexpr PortHandleValue INVALID_HANDLE_VALUE = InvalidPortHandle;
#endif

// The most bytes one read takes, and so the most one queued chunk holds.
constexpr std::uint32_t ReadSize = 64;
// A read ends this long after it began at the latest, with what has arrived by then.
constexpr std::uint32_t ReadTimeoutMs = 20;
// The pause that lets a line settle after it is opened, after the purge that follows and
// before it is closed.
constexpr std::chrono::milliseconds SettleTime{60};

class ThreadIO;

struct PostedMessage {
    unsigned Message;
    std::uintptr_t WParam;
    std::intptr_t LParam;
};

// Posts each of posts[0..count) through window.Post, in order.
template <class Window>
void PostEach(Window& window, const PostedMessage* posts, std::size_t count) {
    for (std::size_t i = 0; i < count; ++i) {
        window.Post(posts[i].Message, posts[i].WParam, posts[i].LParam);
    }
}

// The window that receives the notifications. Post and PostAll are called on the reader
// thread: they must be thread-safe and must not block; a failure they throw is counted, not
// spread.
class NotifyHandle {
public:
    virtual ~NotifyHandle() = default;
    virtual void Post(unsigned message, std::uintptr_t wParam, std::intptr_t lParam) = 0;
    // Several messages of one kind, to be handled in this order; a window may take them in one
    // wake-up.
    virtual void PostAll(const PostedMessage* posts, std::size_t count) {
        PostEach(*this, posts, count);
    }
    // Called on the thread that destroys `link`, once its reader has stopped and before its
    // queue is freed: the last chance to take what the reader queued, with ReadQueue.
    virtual void Stopped(ThreadIO& link) { (void)link; }
    // The link's message box ("GetLastError" for a failed open), on the thread that creates
    // the link, which it blocks until the operator closes it. The default writes
    // "<caption>: <text>" to standard error.
    virtual void ShowBox(const std::string& text, const std::string& caption) {
        DefaultBox(text, caption);
    }
    static void DefaultBox(const std::string& text, const std::string& caption);
};

struct CommTimeouts {
    std::uint32_t ReadIntervalTimeout;
    std::uint32_t ReadTotalTimeoutMultiplier;
    std::uint32_t ReadTotalTimeoutConstant;
    std::uint32_t WriteTotalTimeoutMultiplier;
    std::uint32_t WriteTotalTimeoutConstant;
};

enum class OpenStep {
    None,
    StopSignal,
    Open,
    Lock,
    GetSettings,
    GetTimeouts,
    SetSettings,
    ModemLines
};
const char* OpenStepName(OpenStep step);

struct OpenFailure {
    OpenStep Step = OpenStep::None;
    int Error = 0; // platform error code
};

// "\\.\com<n>": the port's device name as the operator knows it.
std::string DeviceName(int portNumber);

// A serial device that is present now.
struct PresentPort {
    std::string Path;                   // the name that opens it, the most stable one there is
    std::string Kernel;                 // the system's current name for it ("ttyUSB0")
    std::string Product, Maker, Serial; // what it says of itself; any may be empty
    bool operator==(const PresentPort&) const = default;
};
// The serial devices present now, most stable names first. Any thread.
std::vector<PresentPort> ListPorts();

} // namespace vemor
