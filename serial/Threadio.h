#pragma once
// The serial link: one open port and the thread that reads it into the receive queue. This
// header is the same on every platform; the platform's device sits behind SerialDevice.

#include "Link.h"
#include "TThread.h"

#include "vemor/LineHealth.h"
#include "vemor/SystemText.h" // SystemErrorText, for the texts ReportLastError shows

#include <array>
#include <atomic>
#include <chrono>
#include <condition_variable>
#include <cstdint>
#include <functional>
#include <memory>
#include <mutex>
#include <string>

namespace vemor {

// Node of the receive queue; owned by the queue.
struct RxChunk {
    RxChunk* Next;
    std::uint32_t Length; // 1 to 64
    std::uint8_t* Data;   // exactly Length bytes
};

// Shows the system's text for a platform error code under the caption "GetLastError", and
// below it the detail when there is one, in the box of `window` (standard error without one).
void ReportLastError(NotifyHandle* window, int err, const std::string& detail = {});

class SerialDevice;
enum class ReadEnd;
struct OpenFacts;

// One open serial port and the thread that reads it into the receive queue.
class ThreadIO final : public TThread {
public:
    static constexpr std::uint32_t ReadSize = vemor::ReadSize;

    // Opens and configures the port and starts the reader; on failure reports it (except a
    // failure to read the line settings) and leaves PortHandle invalid. The reader starts only
    // once the port is ready, whatever createSuspended says. A devicePath is opened as it is,
    // instead of port n's device, also when the line comes back after a loss.
    ThreadIO(bool createSuspended, int portNumber, int baudRate, NotifyHandle* notifyWindow,
             std::string devicePath = {});
    // The same on the given device: the platform's with options of its own, or a test's.
    ThreadIO(bool createSuspended, int portNumber, int baudRate, NotifyHandle* notifyWindow,
             std::unique_ptr<SerialDevice> device, std::string devicePath = {});
    // Stops the reader, lets the window take what it queued (NotifyHandle::Stopped), frees the
    // queue, restores the saved settings and closes the port.
    ~ThreadIO() override;

    // GUI thread: moves up to max of the oldest queued bytes to dest.
    std::uint32_t ReadQueue(std::uint8_t* dest, std::uint32_t max);
    // Frees every chunk; only once the reader has stopped (or never ran).
    void ClearQueue();
    // GUI thread: writes the block synchronously; true only if every byte was written.
    bool WritePort(const std::uint8_t* buf, std::int32_t count, std::uint32_t* written);
    // Reader thread; also usable on an object without a running reader. Queues a copy of
    // 1 to 64 bytes; false (bytes dropped) if count is out of range or memory ran out.
    bool AppendChunk(const std::uint8_t* data, std::uint32_t count);

    PortHandleValue GetPortHandle() const { return PortHandle.load(); }
    int GetPortNumber() const { return PortNumber; }
    // "COM<n>", or the device path ("COM<n>" for "\\.\COM<n>").
    const std::string& PortName() const { return portName_; }
    // The rate the driver says the line runs at; 0 when it cannot say. Any thread.
    int ActualBaudRate() const { return actualRate_.load(); }
    // The driver's running counts of receive errors; false when it keeps none or the line is
    // down. GUI thread.
    bool GetLineErrors(LineErrors& out);
    const RxChunk* GetQueueHead() const { return QueueHead.load(); }
    std::uint32_t GetQueuedBytes() const { return QueuedBytes.load(); }
    std::uint32_t GetHeadOffset();
    const CommTimeouts& GetTimeouts() const { return Timeouts; }
    OpenFailure OpenError() const { return openError_; }
    // Failures the reader met and went on from, and the received bytes they cost.
    std::uint32_t ReaderFaults() const { return faults_.load(); }
    std::uint64_t DroppedBytes() const { return droppedBytes_.load(); }

protected:
    void Execute() override;

private:
    void Settle();
    void ReceiveLoop();
    bool ReceiveStep(std::uint8_t* buf, int& retryMs); // false once the stop signal is set
    // On a line that streams: rests until the next post is due, takes every read there is
    // then and posts them. Sets count to the bytes taken.
    ReadEnd TakeRested(std::uint32_t& count, int& lostErr);
    // Queues a read's bytes; its WM_RXDATA is posted by NotifyRead's rule, or held for the
    // next post.
    void Queue(const std::uint8_t* buf, std::uint32_t count, bool hold) noexcept;
    bool Notify(unsigned message, std::uintptr_t wParam, std::intptr_t lParam) noexcept;
    // Holds the WM_RXDATA of a read, or posts it with those held before it.
    void NotifyRead(std::uint32_t count, std::intptr_t queued) noexcept;
    // Holds a read's WM_RXDATA for the next post (posting those held when they fill up).
    void Hold(std::uint32_t count, std::intptr_t queued) noexcept;
    void PostHeld() noexcept;
    void TellFaults() noexcept;
    void Fail(OpenStep step, int err, bool report, const std::string& path);
    std::string PathToOpen();
    OpenFacts Facts(const std::string& path, OpenStep step, int err);
    void LoseLine(int err);
    bool Reopen();

    std::mutex QueueLock;              // guards the queue fields below and the chunks
    std::atomic<RxChunk*> QueueHead{}; // written under QueueLock; tested unlocked by ReadQueue
    RxChunk* QueueTail = nullptr;      // under QueueLock; stale once the queue was emptied
    std::atomic<std::uint32_t> QueuedBytes{}; // written under QueueLock; read unlocked for posts
    std::uint32_t HeadOffset = 0;             // under QueueLock
    const int PortNumber;
    const int baudRate_;
    const std::string devicePath_; // empty: port n's device, looked up at every (re)open
    const std::string portName_;
    std::atomic<int> actualRate_{0}; // written at open and by the reader at a reopen
    // Replaced only by the reader after start, under PortLock.
    std::atomic<PortHandleValue> PortHandle{InvalidPortHandle};
    // Held while the reader replaces PortHandle and while WritePort takes or gives back the
    // handle, never across a wait.
    std::mutex PortLock;
    bool writing_ = false; // under PortLock: WritePort is using the handle it took
    // Under PortLock: a handle the reader gave up while a write used it; the write closes it.
    PortHandleValue retired_ = InvalidPortHandle;
    // True from just before start until the reader's last action clears it.
    std::atomic<bool> StopEvent{false};
    std::mutex stopLock_;                 // the reader's last store to StopEvent happens under it
    std::condition_variable stopped_;     // notified after that store; the destructor waits on it
    NotifyHandle* const NotifyWindow;     // not owned; called on the reader thread
    CommTimeouts Timeouts{};              // set before start, read-only afterwards
    OpenFailure openError_;               // creator thread only
    std::atomic<std::uint32_t> faults_{}; // counted by the reader
    std::atomic<std::uint64_t> droppedBytes_{}; // counted by the reader
    std::uint32_t faultsTold_ = 0;              // reader thread only
    // Reader thread only: the WM_RXDATA of full reads not yet posted, and when the last went.
    struct HeldRead {
        std::uint32_t count;
        std::intptr_t queued;
    };
    static constexpr std::size_t HeldReads = 16;
    std::array<HeldRead, HeldReads> held_{};
    std::size_t heldCount_ = 0;
    std::chrono::steady_clock::time_point lastPost_{};
    // Reader thread only: full reads in a row, whether the reader rests between posts, and
    // until when it rests next.
    int fullReads_ = 0;
    bool resting_ = false;
    std::chrono::steady_clock::time_point nextTake_{};
    // The platform's device: its stop signal, saved and working settings. Set up by the
    // creator before start; afterwards the reader reads through it and WritePort writes.
    std::unique_ptr<SerialDevice> device_;
};

} // namespace vemor
