#include "Threadio.h"

#include <algorithm>
#include <cerrno>
#include <chrono>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <fcntl.h>
#include <new>
#include <poll.h>
#include <pwd.h>
#include <sys/eventfd.h>
#include <sys/file.h>
#include <sys/ioctl.h>
#include <sys/stat.h>
#include <thread>
#include <unistd.h>

namespace vemor {

namespace {

using Clock = std::chrono::steady_clock;

// The pause that lets a line settle after opening, purging and before closing.
std::atomic<int> settleMs{60};
constexpr int kFirstRetryMs = 100;
constexpr int kLastRetryMs = 1000;

std::mutex boxLock;
MessageBoxFn messageBox = [](const std::string& text, const std::string& caption) {
    std::fprintf(stderr, "%s: %s\n", caption.c_str(), text.c_str());
};

std::atomic<int> failAllocations{0};

bool TakeInjectedFailure() {
    int n = failAllocations.load();
    while (n > 0 && !failAllocations.compare_exchange_weak(n, n - 1)) {
    }
    return n > 0;
}

// ppoll until something is ready or the deadline passes; Clock::time_point::max() waits
// without limit. Returns what ppoll returns.
int PollUntil(pollfd* fds, nfds_t count, Clock::time_point deadline) {
    for (;;) {
        timespec ts{};
        timespec* limit = nullptr;
        if (deadline != Clock::time_point::max()) {
            const auto left = std::max(Clock::duration::zero(), deadline - Clock::now());
            const auto ns = std::chrono::duration_cast<std::chrono::nanoseconds>(left).count();
            ts.tv_sec = static_cast<time_t>(ns / 1'000'000'000);
            ts.tv_nsec = static_cast<long>(ns % 1'000'000'000);
            limit = &ts;
        }
        const int ready = ppoll(fds, count, limit, nullptr);
        if (ready >= 0 || errno != EINTR) {
            return ready;
        }
    }
}

int RaiseModemLines(int fd) {
    int bits = TIOCM_DTR | TIOCM_RTS;
    if (ioctl(fd, TIOCMBIS, &bits) != 0 && errno != ENOTTY && errno != EINVAL) {
        return errno;
    }
    return 0;
}

} // namespace

std::string DeviceName(int portNumber) {
    char name[32];
    std::snprintf(name, sizeof name, "\\\\.\\com%d", portNumber);
    return name;
}

std::string PortsFolder() {
    const char* xdg = std::getenv("XDG_CONFIG_HOME");
    std::string base;
    if (xdg != nullptr && xdg[0] == '/') {
        base = xdg;
    } else {
        const char* home = std::getenv("HOME");
        if (home != nullptr && home[0] != '\0') {
            base = home;
        } else {
            passwd entry{};
            passwd* found = nullptr;
            char buf[4096];
            if (getpwuid_r(getuid(), &entry, buf, sizeof buf, &found) == 0 && found != nullptr) {
                base = found->pw_dir;
            }
        }
        base += "/.config";
    }
    return base + "/vemor/ports";
}

std::string ResolvePortDevice(int portNumber) {
    if (portNumber < 1) {
        return {};
    }
    const std::string link = PortsFolder() + "/com" + std::to_string(portNumber);
    struct stat st {};
    if (lstat(link.c_str(), &st) == 0) {
        return link;
    }
    return "/dev/ttyS" + std::to_string(portNumber - 1);
}

MessageBoxFn SetMessageBox(MessageBoxFn box) {
    std::lock_guard lock(boxLock);
    std::swap(messageBox, box);
    return box;
}

void ReportLastError(int err) {
    char buf[256];
    const char* text = strerror_r(err, buf, sizeof buf);
    std::string message = text != nullptr && text[0] != '\0'
                              ? std::string(text)
                              : "Unknown error " + std::to_string(err);
    MessageBoxFn box;
    {
        std::lock_guard lock(boxLock);
        box = messageBox;
    }
    if (box) {
        box(message, "GetLastError");
    }
}

const char* OpenStepName(OpenStep step) {
    switch (step) {
    case OpenStep::None:
        return "none";
    case OpenStep::StopSignal:
        return "stop signal";
    case OpenStep::Open:
        return "open";
    case OpenStep::Lock:
        return "exclusive lock";
    case OpenStep::GetSettings:
        return "reading the line settings";
    case OpenStep::SetSettings:
        return "writing the line settings";
    case OpenStep::ModemLines:
        return "raising DTR and RTS";
    }
    return "?";
}

void ThreadIO::SetSettleTime(int milliseconds) {
    settleMs.store(milliseconds);
}

void ThreadIO::FailChunkAllocations(int n) {
    failAllocations.store(n);
}

ThreadIO::ThreadIO(bool /*createSuspended*/, int portNumber, int baudRate,
                   NotifyHandle* notifyWindow)
    : PortNumber(portNumber), baudRate_(baudRate), NotifyWindow(notifyWindow) {
    stopSignal_ = eventfd(0, EFD_CLOEXEC | EFD_NONBLOCK);
    if (stopSignal_ < 0) {
        Fail(OpenStep::StopSignal, errno, true);
        return;
    }
    OpenStep step = OpenStep::Open;
    int err = 0;
    const int fd = OpenDevice(step, err);
    if (fd < 0) {
        Fail(step, err, true);
        return;
    }
    PortHandle.store(fd);

    std::this_thread::sleep_for(std::chrono::milliseconds(settleMs.load()));
    FlushLine(fd);
    std::this_thread::sleep_for(std::chrono::milliseconds(settleMs.load()));

    err = GetLineTermios(fd, SavedSettings.Termios);
    if (err != 0) {
        Fail(OpenStep::GetSettings, err, false);
        return;
    }
    int lines = 0;
    if (ioctl(fd, TIOCMGET, &lines) == 0) {
        SavedSettings.HasModemLines = true;
        SavedSettings.ModemLines = lines;
    }

    Timeouts = CommTimeouts{};
    Timeouts.ReadTotalTimeoutConstant = 20;

    working_ = MakeWorkingTermios(SavedSettings.Termios, baudRate);
    err = baudRate < 1 ? EINVAL : SetLineTermios(fd, working_);
    if (err != 0) {
        Fail(OpenStep::SetSettings, err, true);
        return;
    }
    err = RaiseModemLines(fd);
    if (err != 0) {
        // the line must not be left changed by a failed open
        SetLineTermios(fd, SavedSettings.Termios);
        Fail(OpenStep::ModemLines, err, true);
        return;
    }

    std::this_thread::sleep_for(std::chrono::milliseconds(settleMs.load()));
    StopEvent.store(stopSignal_);
    Start();
}

ThreadIO::~ThreadIO() {
    if (StopEvent.load() != -1) {
        const std::uint64_t one = 1;
        [[maybe_unused]] const ssize_t n = write(stopSignal_, &one, sizeof one);
        // A condition variable rather than atomic wait: libstdc++ 12's atomic wait can miss
        // the reader's last notification and hang here.
        std::unique_lock lock(stopLock_);
        stopped_.wait(lock, [this] { return StopEvent.load() == -1; });
    }
    WaitFor();
    ClearQueue();
    const int fd = PortHandle.load();
    if (fd != INVALID_HANDLE_VALUE) {
        SetLineTermios(fd, SavedSettings.Termios);
        if (SavedSettings.HasModemLines) {
            int on = SavedSettings.ModemLines & (TIOCM_DTR | TIOCM_RTS);
            int off = (TIOCM_DTR | TIOCM_RTS) & ~on;
            ioctl(fd, TIOCMBIS, &on);
            ioctl(fd, TIOCMBIC, &off);
        }
        std::this_thread::sleep_for(std::chrono::milliseconds(settleMs.load()));
        CloseDevice(fd);
        PortHandle.store(INVALID_HANDLE_VALUE);
    }
    if (stopSignal_ >= 0) {
        close(stopSignal_);
    }
}

void ThreadIO::Fail(OpenStep step, int err, bool report) {
    openError_ = {step, err};
    if (report) {
        ReportLastError(err);
    }
    const int fd = PortHandle.exchange(INVALID_HANDLE_VALUE);
    if (fd != INVALID_HANDLE_VALUE) {
        CloseDevice(fd);
    }
}

int ThreadIO::OpenDevice(OpenStep& step, int& err) {
    step = OpenStep::Open;
    const std::string path = ResolvePortDevice(PortNumber);
    if (path.empty()) {
        err = ENOENT;
        return INVALID_HANDLE_VALUE;
    }
    const int fd = open(path.c_str(), O_RDWR | O_NOCTTY | O_NONBLOCK | O_CLOEXEC);
    if (fd < 0) {
        err = errno;
        return INVALID_HANDLE_VALUE;
    }
    // TIOCEXCL does not stop root, so the lock is what keeps a second opener of ours out
    if (flock(fd, LOCK_EX | LOCK_NB) != 0) {
        step = OpenStep::Lock;
        err = errno == EWOULDBLOCK ? EBUSY : errno;
        close(fd);
        return INVALID_HANDLE_VALUE;
    }
    ioctl(fd, TIOCEXCL);
    return fd;
}

void ThreadIO::CloseDevice(int fd) {
    ioctl(fd, TIOCNXCL);
    close(fd);
}

std::uint32_t ThreadIO::GetHeadOffset() {
    std::lock_guard lock(QueueLock);
    return HeadOffset;
}

bool ThreadIO::AppendChunk(const std::uint8_t* data, std::uint32_t count) {
    if (count == 0 || count > ReadSize) {
        return false;
    }
    std::lock_guard lock(QueueLock);
    auto* chunk = new (std::nothrow) RxChunk{nullptr, count, nullptr};
    if (chunk == nullptr) {
        return false;
    }
    chunk->Data = TakeInjectedFailure() ? nullptr : new (std::nothrow) std::uint8_t[count];
    if (chunk->Data == nullptr) {
        delete chunk;
        return false;
    }
    std::memcpy(chunk->Data, data, count);
    if (QueueHead.load() == nullptr) {
        QueueHead.store(chunk);
    } else {
        QueueTail->Next = chunk;
    }
    QueueTail = chunk;
    QueuedBytes.fetch_add(count);
    return true;
}

std::uint32_t ThreadIO::ReadQueue(std::uint8_t* dest, std::uint32_t max) {
    if (QueueHead.load() == nullptr) {
        return 0;
    }
    std::lock_guard lock(QueueLock);
    std::uint32_t copied = 0;
    std::uint32_t remaining = max;
    RxChunk* head = QueueHead.load();
    while (head != nullptr) {
        const std::uint32_t available = head->Length - HeadOffset;
        if (remaining < available) {
            if (remaining > 0) {
                std::memcpy(dest + copied, head->Data + HeadOffset, remaining);
            }
            HeadOffset += remaining;
            copied += remaining;
            QueuedBytes.fetch_sub(remaining);
            break;
        }
        std::memcpy(dest + copied, head->Data + HeadOffset, available);
        copied += available;
        remaining -= available;
        QueuedBytes.fetch_sub(available);
        RxChunk* next = head->Next;
        delete[] head->Data;
        delete head;
        head = next;
        HeadOffset = 0;
        QueueHead.store(head);
        if (remaining == 0) {
            break;
        }
    }
    return copied;
}

void ThreadIO::ClearQueue() {
    std::lock_guard lock(QueueLock);
    for (RxChunk* chunk = QueueHead.load(); chunk != nullptr;) {
        RxChunk* next = chunk->Next;
        delete[] chunk->Data;
        delete chunk;
        chunk = next;
    }
    QueueHead.store(nullptr);
    QueueTail = nullptr;
    QueuedBytes.store(0);
    HeadOffset = 0;
}

bool ThreadIO::WritePort(const std::uint8_t* buf, std::int32_t count, std::uint32_t* written) {
    const auto size = static_cast<std::uint32_t>(count);
    std::uint32_t done = 0;
    bool failed = count < 0;
    if (!failed) {
        std::uint64_t limitMs = std::uint64_t{Timeouts.WriteTotalTimeoutMultiplier} * size +
                                Timeouts.WriteTotalTimeoutConstant;
        if (limitMs == 0) {
            // No time-out set: still never wait for ever on the GUI thread (a peer that holds
            // CTS low, or reads nothing), but allow twice the bytes' time on the line.
            limitMs =
                2 * (std::uint64_t{size} * 10 * 1000 / static_cast<std::uint64_t>(baudRate_)) + 500;
        }
        const auto deadline = Clock::now() + std::chrono::milliseconds(limitMs);
        std::lock_guard lock(PortLock);
        const int fd = PortHandle.load();
        failed = fd == INVALID_HANDLE_VALUE;
        while (!failed && done < size) {
            const ssize_t n = write(fd, buf + done, size - done);
            if (n > 0) {
                done += static_cast<std::uint32_t>(n);
                continue;
            }
            if (n < 0 && errno == EINTR) {
                continue;
            }
            if (n == 0 || errno != EAGAIN) {
                failed = true;
                break;
            }
            pollfd out{fd, POLLOUT, 0};
            failed = PollUntil(&out, 1, deadline) <= 0 ||
                     (out.revents & (POLLERR | POLLHUP | POLLNVAL)) != 0;
        }
    }
    if (written != nullptr) {
        *written = done;
    }
    return !failed && done == size;
}

void ThreadIO::Execute() {
    ReceiveLoop();
}

void ThreadIO::Notify(unsigned message, std::uintptr_t wParam, std::intptr_t lParam) {
    if (NotifyWindow != nullptr) {
        NotifyWindow->Post(message, wParam, lParam);
    }
}

bool ThreadIO::WaitForStop(int milliseconds) {
    pollfd stop{stopSignal_, POLLIN, 0};
    return PollUntil(&stop, 1, Clock::now() + std::chrono::milliseconds(milliseconds)) != 0;
}

void ThreadIO::ReceiveLoop() {
    std::uint8_t buf[ReadSize];
    int retryMs = kFirstRetryMs;
    for (;;) {
        if (PortHandle.load() == INVALID_HANDLE_VALUE) {
            if (WaitForStop(retryMs)) {
                break;
            }
            if (Reopen()) {
                retryMs = kFirstRetryMs;
                Notify(WM_LINEBACK, 0, PortNumber);
            } else {
                retryMs = std::min(retryMs * 2, kLastRetryMs);
            }
            continue;
        }
        std::uint32_t count = 0;
        int lostErr = 0;
        const ReadEnd end = ReadOnce(PortHandle.load(), buf, count, lostErr);
        if (end == ReadEnd::Stop) {
            break;
        }
        // A read that ends in a hang-up may still hold what arrived before it.
        if (count > 0 && AppendChunk(buf, count)) {
            Notify(WM_RXDATA, count, static_cast<std::intptr_t>(QueuedBytes.load()));
        }
        if (end == ReadEnd::Lost) {
            LoseLine(lostErr);
            retryMs = kFirstRetryMs;
        }
    }
    {
        std::lock_guard lock(stopLock_);
        StopEvent.store(-1);
    }
    stopped_.notify_all();
}

// One read: ends when ReadSize bytes have arrived or the total time-out has passed since it
// began, with what has arrived, possibly nothing.
ThreadIO::ReadEnd ThreadIO::ReadOnce(int fd, std::uint8_t* buf, std::uint32_t& count,
                                     int& lostErr) {
    count = 0;
    const std::uint32_t totalMs =
        Timeouts.ReadTotalTimeoutMultiplier * ReadSize + Timeouts.ReadTotalTimeoutConstant;
    const auto deadline =
        totalMs == 0 ? Clock::time_point::max() : Clock::now() + std::chrono::milliseconds(totalMs);
    // cleared when the port claims data but gives none, so the read ends without spinning
    nfds_t watched = 2;
    for (;;) {
        pollfd fds[2] = {{stopSignal_, POLLIN, 0}, {fd, POLLIN, 0}};
        const int ready = PollUntil(fds, watched, deadline);
        if (ready < 0) {
            lostErr = errno;
            return ReadEnd::Lost;
        }
        if (fds[0].revents != 0) {
            return ReadEnd::Stop;
        }
        if (ready == 0) {
            return ReadEnd::Done;
        }
        if ((fds[1].revents & POLLNVAL) != 0) {
            lostErr = EBADF;
            return ReadEnd::Lost;
        }
        const ssize_t n = read(fd, buf + count, ReadSize - count);
        if (n > 0) {
            count += static_cast<std::uint32_t>(n);
            if (count == ReadSize) {
                return ReadEnd::Done;
            }
            // Let the rest gather for about the time it needs on the line (10 bits a byte)
            // rather than waking for every byte.
            const auto fill = std::chrono::microseconds((ReadSize - count) * 10'000'000LL /
                                                        std::max(baudRate_, 1));
            pollfd stop{stopSignal_, POLLIN, 0};
            if (PollUntil(&stop, 1, std::min(Clock::now() + fill, deadline)) > 0) {
                return ReadEnd::Stop;
            }
            continue;
        }
        if (n == 0 || (errno != EAGAIN && errno != EINTR)) {
            // readable yet empty: the other side hung up
            lostErr = n == 0 ? EIO : errno;
            return ReadEnd::Lost;
        }
        watched = 1;
    }
}

void ThreadIO::LoseLine(int err) {
    Notify(WM_LINELOST, static_cast<std::uintptr_t>(err), PortNumber);
    int fd = INVALID_HANDLE_VALUE;
    {
        std::lock_guard lock(PortLock);
        fd = PortHandle.exchange(INVALID_HANDLE_VALUE);
    }
    CloseDevice(fd);
}

// Opens the port's name again (the ports link may point somewhere new) with the working
// settings. The saved settings stay those read at the first open.
bool ThreadIO::Reopen() {
    OpenStep step = OpenStep::Open;
    int err = 0;
    const int fd = OpenDevice(step, err);
    if (fd < 0) {
        return false;
    }
    const int settle = settleMs.load();
    bool ok = !WaitForStop(settle);
    if (ok) {
        FlushLine(fd);
        ok = !WaitForStop(settle) && SetLineTermios(fd, working_) == 0 && RaiseModemLines(fd) == 0;
    }
    if (!ok) {
        CloseDevice(fd);
        return false;
    }
    {
        std::lock_guard lock(PortLock);
        PortHandle.store(fd);
    }
    WaitForStop(settle);
    return true;
}

} // namespace vemor
