#include "Threadio.h"

#include "ComPorts.h"
#include "SerialDevice.h"

#include "vemor/PaintPacer.h"
#include "vemor/PortAdvice.h"

#include <algorithm>
#include <chrono>
#include <cstdio>
#include <cstring>
#include <new>
#include <thread>
#include <utility>

namespace vemor {

namespace {

using Clock = std::chrono::steady_clock;

constexpr int kFirstRetryMs = 100;
constexpr int kLastRetryMs = 1000;

void ShowBox(NotifyHandle* window, const std::string& text, const std::string& caption) {
    if (window != nullptr) {
        window->ShowBox(text, caption);
    } else {
        NotifyHandle::DefaultBox(text, caption); // a link without a window
    }
}

} // namespace

void ReportLastError(NotifyHandle* window, int err, const std::string& detail) {
    std::string message = SystemErrorText(err);
    if (message.empty()) {
        message = "Unknown error " + std::to_string(err);
    }
    if (!detail.empty()) {
        message += '\n';
        message += detail;
    }
    ShowBox(window, message, "GetLastError");
}

ThreadIO::ThreadIO(bool createSuspended, int portNumber, int baudRate, NotifyHandle* notifyWindow,
                   std::string devicePath)
    : ThreadIO(createSuspended, portNumber, baudRate, notifyWindow, SerialDevice::Create(),
               std::move(devicePath)) {}

ThreadIO::ThreadIO(bool /*createSuspended*/, int portNumber, int baudRate,
                   NotifyHandle* notifyWindow, std::unique_ptr<SerialDevice> device,
                   std::string devicePath)
    : PortNumber(portNumber), baudRate_(baudRate), devicePath_(std::move(devicePath)),
      portName_(devicePath_.empty() ? "COM" + std::to_string(portNumber)
                                    : ComPortName(devicePath_)),
      NotifyWindow(notifyWindow), device_(std::move(device)) {
    const std::string path = PathToOpen();
    int err = device_->MakeStopSignal();
    if (err != 0) {
        Fail(OpenStep::StopSignal, err, true, path);
        return;
    }
    OpenStep step = OpenStep::Open;
    const PortHandleValue handle = device_->Open(path, SerialDevice::Reason::Operator, step, err);
    if (handle == InvalidPortHandle) {
        Fail(step, err, true, path);
        return;
    }
    PortHandle.store(handle);

    Settle();
    device_->Purge(handle);
    Settle();

    err = device_->SaveSettings(handle);
    if (err != 0) {
        Fail(OpenStep::GetSettings, err, false, path);
        return;
    }
    Timeouts = CommTimeouts{};
    err = device_->GetTimeouts(handle, Timeouts);
    if (err != 0) {
        Fail(OpenStep::GetTimeouts, err, true, path);
        return;
    }
    Timeouts.ReadTotalTimeoutConstant = ReadTimeoutMs;
    device_->SetTimeouts(handle, Timeouts);

    step = OpenStep::SetSettings;
    err = device_->ApplyWorking(handle, baudRate, step);
    if (err != 0) {
        Fail(step, err, true, path);
        return;
    }
    actualRate_.store(device_->ActualBaudRate(handle));

    Settle();
    StopEvent.store(true);
    Start();
    // Told once the reader runs, so that nothing waits behind the box.
    if (RateIsOff(baudRate, actualRate_.load())) {
        ShowBox(
            NotifyWindow,
            RateWarning(TriedText(Facts(path, OpenStep::None, 0)), baudRate, actualRate_.load()),
            "Baud rate");
    }
}

ThreadIO::~ThreadIO() {
    if (StopEvent.load()) {
        device_->SignalStop();
        // A condition variable rather than atomic wait: libstdc++ 12's atomic wait can miss
        // the reader's last notification and hang here.
        std::unique_lock lock(stopLock_);
        stopped_.wait(lock, [this] { return !StopEvent.load(); });
    }
    WaitFor();
    if (NotifyWindow != nullptr) {
        try {
            NotifyWindow->Stopped(*this);
        } catch (...) {
            // What the window could not take goes with the queue; the close goes on.
        }
    }
    ClearQueue();
    const PortHandleValue handle = PortHandle.load();
    if (handle != InvalidPortHandle) {
        device_->Restore(handle);
        Settle();
        device_->Close(handle);
        PortHandle.store(InvalidPortHandle);
    }
}

void ThreadIO::Settle() {
    std::this_thread::sleep_for(device_->Options().Settle);
}

void ThreadIO::Fail(OpenStep step, int err, bool report, const std::string& path) {
    openError_ = {step, err};
    const PortHandleValue handle = PortHandle.exchange(InvalidPortHandle);
    if (handle != InvalidPortHandle) {
        device_->Close(handle);
    }
    if (report) {
        ReportLastError(NotifyWindow, err, OpenFailureAdvice(Facts(path, step, err)));
    }
}

std::string ThreadIO::PathToOpen() {
    return devicePath_.empty() ? device_->DevicePath(PortNumber) : devicePath_;
}

OpenFacts ThreadIO::Facts(const std::string& path, OpenStep step, int err) {
    OpenFacts facts = device_->Explain(path, step, err);
    facts.Name = portName_;
    facts.PortNumber = devicePath_.empty() ? PortNumber : 0;
    facts.BaudRate = baudRate_;
    if (devicePath_.empty() && PortNumber <= 0) {
        facts.Device.clear(); // whatever the platform made of port 0, nothing was chosen
    }
    if (step != OpenStep::None && step != OpenStep::Open && step != OpenStep::Lock) {
        facts.Step = OpenStepName(step);
    }
    return facts;
}

bool ThreadIO::GetLineErrors(LineErrors& out) {
    std::lock_guard lock(PortLock);
    const PortHandleValue handle = PortHandle.load();
    return handle != InvalidPortHandle && device_->GetLineErrors(handle, out);
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
    const std::function<bool()>& fail = device_->Options().FailAllocation;
    chunk->Data = fail && fail() ? nullptr : new (std::nothrow) std::uint8_t[count];
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
            limitMs = 2 * (std::uint64_t{size} * 10 * 1000 /
                           static_cast<std::uint64_t>(std::max(baudRate_, 1))) +
                      500;
        }
        const auto deadline = Clock::now() + std::chrono::milliseconds(limitMs);
        // The lock only while the handle is taken and given back: a write may wait up to its
        // deadline, and the reader must be free to give up a lost line meanwhile.
        PortHandleValue handle = InvalidPortHandle;
        {
            std::lock_guard lock(PortLock);
            handle = PortHandle.load();
            writing_ = handle != InvalidPortHandle;
        }
        failed =
            handle == InvalidPortHandle || device_->Write(handle, buf, size, done, deadline) != 0;
        if (handle != InvalidPortHandle) {
            PortHandleValue retired = InvalidPortHandle;
            {
                std::lock_guard lock(PortLock);
                writing_ = false;
                std::swap(retired, retired_);
            }
            if (retired != InvalidPortHandle) {
                device_->Close(retired);
            }
        }
    }
    if (written != nullptr) {
        *written = done;
    }
    return !failed && done == size;
}

void ThreadIO::Execute() {
    device_->NameReaderThread();
    ReceiveLoop();
}

bool ThreadIO::Notify(unsigned message, std::uintptr_t wParam, std::intptr_t lParam) noexcept {
    if (message != WM_RXDATA) {
        PostHeld(); // in the order of the reads and events
    }
    if (NotifyWindow == nullptr) {
        return true;
    }
    try {
        NotifyWindow->Post(message, wParam, lParam);
        return true;
    } catch (...) {
        // A lost WM_RXDATA only defers its bytes: the next notification drains them.
        faults_.fetch_add(1);
        return false;
    }
}

// A line that streams fills read after read; their messages go to the window together, once
// the window's paint interval has passed since the last went, so that the window wakes once
// to take them and to paint what they brought, not once per read and again to paint. Each
// read keeps a message of its own. A read that did not fill, the line pausing, posts at once.
void ThreadIO::NotifyRead(std::uint32_t count, std::intptr_t queued) noexcept {
    Hold(count, queued);
    const auto now = Clock::now();
    if (count < ReadSize || heldCount_ == held_.size() ||
        now - lastPost_ >= std::chrono::milliseconds(PaintPacer::IntervalMs)) {
        lastPost_ = now;
        PostHeld();
    }
}

void ThreadIO::Hold(std::uint32_t count, std::intptr_t queued) noexcept {
    if (heldCount_ == held_.size()) {
        PostHeld();
    }
    held_[heldCount_++] = {count, queued};
}

void ThreadIO::PostHeld() noexcept {
    const std::size_t n = std::exchange(heldCount_, 0);
    if (n == 0 || NotifyWindow == nullptr) {
        return;
    }
    std::array<PostedMessage, HeldReads> posts;
    for (std::size_t i = 0; i < n; ++i) {
        posts[i] = {WM_RXDATA, held_[i].count, held_[i].queued};
    }
    try {
        NotifyWindow->PostAll(posts.data(), n);
    } catch (...) {
        faults_.fetch_add(1); // as a lost single post: the next one drains the bytes
    }
}

void ThreadIO::TellFaults() noexcept {
    const std::uint32_t faults = faults_.load();
    if (faults != faultsTold_ &&
        Notify(WM_READERFAULT, faults, static_cast<std::intptr_t>(droppedBytes_.load()))) {
        faultsTold_ = faults;
    }
}

void ThreadIO::ReceiveLoop() {
    std::uint8_t buf[ReadSize];
    int retryMs = kFirstRetryMs;
    for (;;) {
        bool go = true;
        try {
            go = ReceiveStep(buf, retryMs);
        } catch (...) {
            // Out of memory, most likely. The process must not end here, nor the loop while
            // it can go on; a pause keeps a lasting shortage from spinning.
            faults_.fetch_add(1);
            go = !device_->WaitForStop(kFirstRetryMs);
        }
        if (!go) {
            break;
        }
        TellFaults();
    }
    {
        std::lock_guard lock(stopLock_);
        StopEvent.store(false);
    }
    stopped_.notify_all();
}

bool ThreadIO::ReceiveStep(std::uint8_t* buf, int& retryMs) {
    if (PortHandle.load() == InvalidPortHandle) {
        if (device_->WaitForStop(retryMs)) {
            return false;
        }
        if (Reopen()) {
            retryMs = kFirstRetryMs;
            Notify(WM_LINEBACK, 0, PortNumber);
        } else {
            retryMs = std::min(retryMs * 2, kLastRetryMs);
        }
        return true;
    }
    std::uint32_t count = 0;
    int lostErr = 0;
    ReadEnd end = ReadEnd::Done;
    if (resting_) {
        end = TakeRested(count, lostErr);
        // Less than a read in a whole period: the line no longer streams. Many reads: it
        // brings more than the line's rate, which the driver may not hold for a period.
        resting_ = end == ReadEnd::Done && count >= ReadSize && count < HeldReads * ReadSize;
        fullReads_ = 0;
    } else {
        end = device_->Read(PortHandle.load(), Timeouts, buf, count, lostErr);
        // A read that ends in a hang-up, or is cut short by the stop, may still hold what it
        // took off the line; the window drains it when the reader has stopped.
        if (count > 0) {
            Queue(buf, count, false);
        } else {
            PostHeld(); // a quiet line: what came last is not held back
        }
        fullReads_ = end == ReadEnd::Done && count == ReadSize ? fullReads_ + 1 : 0;
        resting_ = fullReads_ >= 2 && device_->CanRest();
    }
    if (end == ReadEnd::Stop) {
        PostHeld();
        return false;
    }
    if (end == ReadEnd::Lost) {
        LoseLine(lostErr);
        retryMs = kFirstRetryMs;
    }
    return true;
}

void ThreadIO::Queue(const std::uint8_t* buf, std::uint32_t count, bool hold) noexcept {
    if (!AppendChunk(buf, count)) {
        faults_.fetch_add(1);
        droppedBytes_.fetch_add(count);
        return;
    }
    const auto queued = static_cast<std::intptr_t>(QueuedBytes.load());
    if (hold) {
        Hold(count, queued);
    } else {
        NotifyRead(count, queued);
    }
}

// The driver keeps what the line brings while the reader sleeps, so a streaming line costs a
// wake-up per post instead of one per read, and what it brought is as new as at the post.
ReadEnd ThreadIO::TakeRested(std::uint32_t& count, int& lostErr) {
    count = 0;
    // Due a period after the last, not after the last post: late wake-ups do not add up.
    const auto period = std::chrono::milliseconds(PaintPacer::StreamPeriodMs);
    nextTake_ += period;
    if (nextTake_ + period < Clock::now()) {
        nextTake_ = lastPost_ + period; // the first rest, or one long overdue
    }
    if (!device_->Rest(nextTake_)) {
        return ReadEnd::Stop;
    }
    // What the driver holds, taken in one call and queued as the reads it makes.
    std::array<std::uint8_t, HeldReads * ReadSize> taken;
    for (;;) {
        std::uint32_t n = 0;
        const ReadEnd end = device_->TakeWaiting(
            PortHandle.load(), taken.data(), static_cast<std::uint32_t>(taken.size()), n, lostErr);
        for (std::uint32_t at = 0; at < n; at += ReadSize) {
            Queue(taken.data() + at, std::min(ReadSize, n - at), true);
        }
        count += n;
        if (end != ReadEnd::Done || n < taken.size()) {
            lastPost_ = Clock::now();
            PostHeld();
            return end;
        }
    }
}

void ThreadIO::LoseLine(int err) {
    Notify(WM_LINELOST, static_cast<std::uintptr_t>(err), PortNumber);
    PortHandleValue handle = InvalidPortHandle;
    {
        std::lock_guard lock(PortLock);
        handle = PortHandle.exchange(InvalidPortHandle);
        if (writing_) {
            // Closed by the write when it ends, so that its handle cannot be reused under it.
            retired_ = handle;
            handle = InvalidPortHandle;
        }
    }
    if (handle != InvalidPortHandle) {
        device_->Close(handle);
    }
}

// Opens the port's name again (it may now lead somewhere new) with the working settings. The
// saved settings stay those read at the first open.
bool ThreadIO::Reopen() {
    OpenStep step = OpenStep::Open;
    int err = 0;
    const PortHandleValue handle =
        device_->Open(PathToOpen(), SerialDevice::Reason::Recovery, step, err);
    if (handle == InvalidPortHandle) {
        return false;
    }
    const auto settle = static_cast<int>(device_->Options().Settle.count());
    bool ok = !device_->WaitForStop(settle);
    if (ok) {
        device_->Purge(handle);
        ok = !device_->WaitForStop(settle) && device_->ApplyWorking(handle, baudRate_, step) == 0;
    }
    if (!ok) {
        device_->Close(handle);
        return false;
    }
    device_->SetTimeouts(handle, Timeouts);
    actualRate_.store(device_->ActualBaudRate(handle));
    {
        std::lock_guard lock(PortLock);
        PortHandle.store(handle);
    }
    device_->WaitForStop(settle);
    return true;
}

} // namespace vemor
