// The serial device on Windows: \\.\COMn opened alone and overlapped, a DCB for the line
// settings, the port's own time-outs for reads, and events for the stop signal and for each
// transfer.
#include "ComPorts.h"
#include "PortList.h"
#include "SerialDevice.h"
#include "Threadio.h" // SystemErrorText

#include <windows.h>

#include <algorithm>

namespace vemor {

namespace {

using Clock = std::chrono::steady_clock;

HANDLE Handle(PortHandleValue handle) {
    return reinterpret_cast<HANDLE>(handle);
}

int LastError() {
    return static_cast<int>(GetLastError());
}

// Failures that mean the device is gone (a pseudo-terminal under Wine reports a hang-up as a
// broken pipe; a USB adapter pulled out gives one of the others), as against a quiet line.
bool DeviceGone(DWORD err) {
    switch (err) {
    case ERROR_BROKEN_PIPE:
    case ERROR_DEVICE_NOT_CONNECTED:
    case ERROR_DEVICE_REMOVED:
    case ERROR_BAD_COMMAND:
    case ERROR_ACCESS_DENIED:
    case ERROR_INVALID_HANDLE:
    case ERROR_GEN_FAILURE:
    case ERROR_NOT_READY:
    case ERROR_FILE_NOT_FOUND:
    case ERROR_HANDLE_EOF:
        return true;
    default:
        return false;
    }
}

class Win32Device final : public SerialDevice {
public:
    explicit Win32Device(DeviceOptions options) : SerialDevice(std::move(options)) {}
    ~Win32Device() override {
        for (HANDLE event : {stop_, readEvent_}) {
            if (event != nullptr) {
                CloseHandle(event);
            }
        }
    }

    int MakeStopSignal() override {
        // The reader's event is made here too, so that the reader itself can no longer fail.
        stop_ = CreateEventA(nullptr, TRUE, FALSE, nullptr);
        if (stop_ == nullptr) {
            return LastError();
        }
        readEvent_ = CreateEventA(nullptr, FALSE, FALSE, nullptr);
        return readEvent_ == nullptr ? LastError() : 0;
    }

    void SignalStop() override { SetEvent(stop_); }

    bool WaitForStop(int milliseconds) override {
        return WaitForSingleObject(stop_, static_cast<DWORD>(std::max(milliseconds, 0))) ==
               WAIT_OBJECT_0;
    }

    // Every number gets its name, 0 and 17 too: the system then says that there is no such
    // port, in its own words.
    std::string DevicePath(int portNumber) override { return DeviceName(portNumber); }

    OpenFacts Explain(const std::string& path, OpenStep step, int err) override {
        OpenFacts facts = SerialDevice::Explain(path, step, err);
        facts.ComNames = true;
        if (step == OpenStep::Open) {
            switch (err) {
            case ERROR_FILE_NOT_FOUND:
            case ERROR_PATH_NOT_FOUND:
                facts.Cause = OpenCause::NoDevice;
                for (const PresentPort& port : Present()) {
                    facts.Adapters.push_back(ComPortLabel(port));
                    facts.Exists = facts.Exists || port.Path == ComDevicePath(path);
                }
                break;
            // A port opens for one program at a time: denied means another one has it.
            case ERROR_ACCESS_DENIED:
            case ERROR_SHARING_VIOLATION:
                facts.Cause = OpenCause::Busy;
                break;
            default:
                break;
            }
        } else if (step == OpenStep::SetSettings) {
            facts.Cause = OpenCause::Refused;
        }
        return facts;
    }

    std::vector<PresentPort> Present() override { return ComPortList(ReadComDevices()); }

    PortHandleValue Open(const std::string& path, Reason, OpenStep& step, int& err) override {
        step = OpenStep::Open;
        const HANDLE h =
            CreateFileA(path.c_str(), GENERIC_READ | GENERIC_WRITE, 0, nullptr, OPEN_EXISTING,
                        FILE_ATTRIBUTE_NORMAL | FILE_FLAG_OVERLAPPED, nullptr);
        if (h == INVALID_HANDLE_VALUE) {
            err = LastError();
            return InvalidPortHandle;
        }
        return reinterpret_cast<PortHandleValue>(h);
    }

    void Close(PortHandleValue handle) override { CloseHandle(Handle(handle)); }

    void Purge(PortHandleValue handle) override {
        PurgeComm(Handle(handle), PURGE_TXABORT | PURGE_RXABORT | PURGE_TXCLEAR | PURGE_RXCLEAR);
    }

    int SaveSettings(PortHandleValue handle) override {
        saved_ = DCB{};
        saved_.DCBlength = sizeof saved_;
        return GetCommState(Handle(handle), &saved_) ? 0 : LastError();
    }

    int GetTimeouts(PortHandleValue handle, CommTimeouts& out) override {
        COMMTIMEOUTS t{};
        if (!GetCommTimeouts(Handle(handle), &t)) {
            return LastError();
        }
        out = {t.ReadIntervalTimeout, t.ReadTotalTimeoutMultiplier, t.ReadTotalTimeoutConstant,
               t.WriteTotalTimeoutMultiplier, t.WriteTotalTimeoutConstant};
        return 0;
    }

    void SetTimeouts(PortHandleValue handle, const CommTimeouts& in) override {
        COMMTIMEOUTS t{in.ReadIntervalTimeout, in.ReadTotalTimeoutMultiplier,
                       in.ReadTotalTimeoutConstant, in.WriteTotalTimeoutMultiplier,
                       in.WriteTotalTimeoutConstant};
        SetCommTimeouts(Handle(handle), &t);
    }

    // DTR_CONTROL_ENABLE and RTS_CONTROL_ENABLE raise both lines as the settings take effect
    // and keep them up while the port is open; the saved record lowers them again at close.
    int ApplyWorking(PortHandleValue handle, int baudRate, OpenStep& step) override {
        step = OpenStep::SetSettings;
        if (baudRate < 1) {
            return ERROR_INVALID_PARAMETER;
        }
        DCB working = saved_;
        working.BaudRate = static_cast<DWORD>(baudRate);
        working.ByteSize = 8;
        working.Parity = NOPARITY;
        working.StopBits = ONESTOPBIT;
        working.fDtrControl = DTR_CONTROL_ENABLE;
        working.fRtsControl = RTS_CONTROL_ENABLE;
        return SetCommState(Handle(handle), &working) ? 0 : LastError();
    }

    void Restore(PortHandleValue handle) override { SetCommState(Handle(handle), &saved_); }

    ReadEnd Read(PortHandleValue handle, const CommTimeouts& /*timeouts: the port's own*/,
                 std::uint8_t* buf, std::uint32_t& count, int& lostErr) override {
        return ReadUpTo(Handle(handle), buf, ReadSize, count, lostErr);
    }

    bool CanRest() const override { return true; }

    bool Rest(Clock::time_point until) override {
        const auto left = std::chrono::ceil<std::chrono::milliseconds>(until - Clock::now());
        return left.count() <= 0 || !WaitForStop(static_cast<int>(left.count()));
    }

    // A read of no more than the driver holds ends at once under the port's time-outs.
    ReadEnd TakeWaiting(PortHandleValue handle, std::uint8_t* buf, std::uint32_t size,
                        std::uint32_t& count, int& lostErr) override {
        const HANDLE port = Handle(handle);
        count = 0;
        DWORD errors = 0;
        COMSTAT status{};
        if (!ClearCommError(port, &errors, &status)) {
            const DWORD err = GetLastError();
            if (DeviceGone(err)) {
                lostErr = static_cast<int>(err);
                return ReadEnd::Lost;
            }
            return ReadEnd::Done;
        }
        const std::uint32_t there = std::min<std::uint32_t>(status.cbInQue, size);
        return there == 0 ? ReadEnd::Done : ReadUpTo(port, buf, there, count, lostErr);
    }

    int Write(PortHandleValue handle, const std::uint8_t* buf, std::uint32_t size,
              std::uint32_t& done, Clock::time_point deadline) override {
        const HANDLE port = Handle(handle);
        const HANDLE event = CreateEventA(nullptr, FALSE, FALSE, nullptr);
        if (event == nullptr) {
            return LastError();
        }
        OVERLAPPED request{};
        request.hEvent = event;
        DWORD n = 0;
        DWORD err = ERROR_SUCCESS;
        if (!WriteFile(port, buf + done, size - done, &n, &request)) {
            err = GetLastError();
            if (err == ERROR_IO_PENDING) {
                const auto left = std::chrono::ceil<std::chrono::milliseconds>(
                    std::max(Clock::duration::zero(), deadline - Clock::now()));
                const DWORD ms =
                    static_cast<DWORD>(std::min<long long>(left.count(), INFINITE - 1));
                if (WaitForSingleObject(event, ms) != WAIT_OBJECT_0) {
                    CancelIoEx(port, &request);
                    GetOverlappedResult(port, &request, &n, TRUE);
                    err = ERROR_TIMEOUT;
                } else {
                    err = GetOverlappedResult(port, &request, &n, FALSE) ? ERROR_SUCCESS
                                                                         : GetLastError();
                }
            }
        }
        CloseHandle(event);
        done += n;
        if (err == ERROR_SUCCESS && done < size) {
            err = ERROR_WRITE_FAULT; // the driver took only part and said nothing
        }
        return static_cast<int>(err);
    }

private:
    ReadEnd ReadUpTo(HANDLE port, std::uint8_t* buf, std::uint32_t size, std::uint32_t& count,
                     int& lostErr) {
        count = 0;
        OVERLAPPED request{};
        request.hEvent = readEvent_;
        DWORD n = 0;
        DWORD err = ERROR_SUCCESS;
        if (!ReadFile(port, buf, size, &n, &request)) {
            err = GetLastError();
            if (err == ERROR_IO_PENDING) {
                const HANDLE waits[2] = {stop_, readEvent_};
                if (WaitForMultipleObjects(2, waits, FALSE, INFINITE) == WAIT_OBJECT_0) {
                    // The buffer and the request belong to this call: the read must be over
                    // before they go.
                    CancelIoEx(port, &request);
                    GetOverlappedResult(port, &request, &n, TRUE);
                    count = n; // what it had taken off the line is not lost with it
                    return ReadEnd::Stop;
                }
                err =
                    GetOverlappedResult(port, &request, &n, FALSE) ? ERROR_SUCCESS : GetLastError();
            }
        }
        count = n;
        if (err == ERROR_SUCCESS || err == ERROR_TIMEOUT) {
            return ReadEnd::Done; // ERROR_TIMEOUT: Wine's word for a read time-out
        }
        if (DeviceGone(err)) {
            lostErr = static_cast<int>(err);
            return ReadEnd::Lost;
        }
        // A line error with abort-on-error set fails every read until it is cleared. Whatever
        // else failed, the next read waits one read time-out, so a failing port is never
        // read at full speed.
        DWORD errors = 0;
        ClearCommError(port, &errors, nullptr);
        return count == 0 && WaitForStop(20) ? ReadEnd::Stop : ReadEnd::Done;
    }

    HANDLE stop_ = nullptr;      // manual reset; set from any thread, waited on by the reader
    HANDLE readEvent_ = nullptr; // auto reset; the reader's read requests only
    DCB saved_{};                // as read at the first open; creator before start, then read-only
};

} // namespace

std::unique_ptr<SerialDevice> SerialDevice::Create(DeviceOptions options) {
    return std::make_unique<Win32Device>(std::move(options));
}

} // namespace vemor
