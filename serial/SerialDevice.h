#pragma once
// The platform's half of the serial link: device names, the device handle and its line
// settings, the stop signal that ends the reader's waits, and one timed read or write.
// ThreadIO drives it in the same order on every platform. Internal to the serial layer.

#include "Link.h"

#include "vemor/LineHealth.h"
#include "vemor/PortAdvice.h"

#include <chrono>
#include <cstdint>
#include <functional>
#include <memory>
#include <string>
#include <utility>
#include <vector>

namespace vemor {

// How a device behaves where the program fixes it and a test may want otherwise. Read-only
// once the device is made.
struct DeviceOptions {
    // The pause at open and close (see SettleTime).
    std::chrono::milliseconds Settle = SettleTime;
    // Asked before the bytes of each read are copied into the queue; true makes that
    // allocation fail as a shortage of memory would. Called under the queue's lock by the
    // thread that appends, the reader. Empty: allocations fail only when memory runs out.
    std::function<bool()> FailAllocation;
};

enum class ReadEnd {
    Stop, // the stop signal is set
    Done, // the read completed: ReadSize bytes arrived, or the total time-out passed
    Lost, // the device went away; count holds what arrived before
};

class SerialDevice {
public:
    // The platform's implementation.
    static std::unique_ptr<SerialDevice> Create(DeviceOptions options = {});
    explicit SerialDevice(DeviceOptions options = {}) : options_(std::move(options)) {}
    virtual ~SerialDevice() = default;
    SerialDevice(const SerialDevice&) = delete;
    SerialDevice& operator=(const SerialDevice&) = delete;

    const DeviceOptions& Options() const { return options_; }

    // The stop signal: made by the creator before the reader starts; Signal from any thread.
    virtual int MakeStopSignal() = 0; // 0 or the platform error
    virtual void SignalStop() = 0;
    // Waits up to the given time for the stop signal; true once it is set.
    virtual bool WaitForStop(int milliseconds) = 0;
    // Called on the reader thread as it starts: a name that tools listing threads show.
    virtual void NameReaderThread() {}

    // The node that port n opens; empty when n names no device.
    virtual std::string DevicePath(int portNumber) = 0;
    // Why a device is opened: the operator's Open, or the reader's recovery after a loss, which
    // retries often and must not stall on slow diagnosis.
    enum class Reason { Operator, Recovery };
    // Opens the device for this process alone. On failure returns InvalidPortHandle and says
    // at which step (Open or Lock) and why.
    virtual PortHandleValue Open(const std::string& path, Reason why, OpenStep& step, int& err) = 0;
    virtual void Close(PortHandleValue handle) = 0;
    // Discards pending transfers and buffered data; the result does not matter.
    virtual void Purge(PortHandleValue handle) = 0;
    // Reads the line settings to restore at close. 0 or the platform error.
    virtual int SaveSettings(PortHandleValue handle) = 0;
    // The port's time-outs as they are; a platform without port time-outs gives zeros.
    virtual int GetTimeouts(PortHandleValue handle, CommTimeouts& out) = 0;
    virtual void SetTimeouts(PortHandleValue handle, const CommTimeouts& timeouts) = 0;
    // The saved settings with baud, 8N1, raw binary and DTR/RTS on. 0, or the platform error
    // with the step that failed (SetSettings or ModemLines); a failure leaves the saved
    // settings on the line.
    virtual int ApplyWorking(PortHandleValue handle, int baudRate, OpenStep& step) = 0;
    // The saved settings and modem lines back, as far as the device takes them.
    virtual void Restore(PortHandleValue handle) = 0;

    // One read into buf (ReadSize bytes): ends when ReadSize bytes have arrived or the total
    // time-out of `timeouts` has passed since it began, with what has arrived, possibly
    // nothing. A read the stop signal ends early gives what it had taken. Reader thread only.
    virtual ReadEnd Read(PortHandleValue handle, const CommTimeouts& timeouts, std::uint8_t* buf,
                         std::uint32_t& count, int& lostErr) = 0;
    // Whether the reader may rest between the reads of a line that streams (Rest and
    // TakeWaiting below do what they say). Reader thread only.
    virtual bool CanRest() const { return false; }
    // Sleeps until `until`; false when the stop signal came first. Reader thread only.
    virtual bool Rest(std::chrono::steady_clock::time_point until) {
        (void)until;
        return true;
    }
    // One read of what the line holds now, without waiting: up to `size` bytes, possibly
    // none. Reader thread only.
    virtual ReadEnd TakeWaiting(PortHandleValue handle, std::uint8_t* buf, std::uint32_t size,
                                std::uint32_t& count, int& lostErr) {
        (void)handle;
        (void)buf;
        (void)size;
        (void)lostErr;
        count = 0;
        return ReadEnd::Done;
    }
    // Writes what it can of buf[done..size) by the deadline, advancing done. 0 when everything
    // is written, else the platform error (a time-out is one).
    virtual int Write(PortHandleValue handle, const std::uint8_t* buf, std::uint32_t size,
                      std::uint32_t& done, std::chrono::steady_clock::time_point deadline) = 0;

    // What the operator is told. Each has a default for a device that cannot say more.

    // Right after Open or a setup step failed with err on path: the cause and the facts its
    // fix names (where the name led, the device's group, the program holding it, the adapters
    // present). ThreadIO fills Name, PortNumber and Step. Creator's thread.
    virtual OpenFacts Explain(const std::string& path, OpenStep step, int err);
    // The rate the driver says the line runs at, read back after ApplyWorking; 0: unknown.
    virtual int ActualBaudRate(PortHandleValue handle);
    // The driver's running counts of receive errors; false when it keeps none. GUI thread,
    // while the reader may be reading.
    virtual bool GetLineErrors(PortHandleValue handle, LineErrors& out);
    // The serial devices present now, under the names that open them, most stable first.
    virtual std::vector<PresentPort> Present();

private:
    const DeviceOptions options_;
};

} // namespace vemor
