// The serial device on Linux: a tty node opened non-blocking, the kernel's termios2 record,
// an eventfd as the stop signal and ppoll for every wait.
#include "PortList.h"
#include "PosixLine.h"
#include "SerialDevice.h"
#include "Threadio.h" // SystemErrorText

#include <algorithm>
#include <cerrno>
#include <climits>
#include <cstdlib>
#include <cstring>
#include <fcntl.h>
#include <grp.h>
#include <linux/serial.h>
#include <poll.h>
#include <pthread.h>
#include <pwd.h>
#include <sys/eventfd.h>
#include <sys/file.h>
#include <sys/ioctl.h>
#include <sys/stat.h>
#include <unistd.h>

namespace vemor {

namespace {

using Clock = std::chrono::steady_clock;

// A start bit, eight data bits and a stop bit.
constexpr std::int64_t BitsPerByte = 10;
// How many bytes' time more a sleeping read waits than the rest of a read needs, so that
// pieces that arrive a little late are there when it wakes.
constexpr std::int64_t SleepSlackBytes = 16;

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

int Fd(PortHandleValue handle) {
    return static_cast<int>(handle);
}

// Where path leads: through a link, to a device node.
void FollowName(const std::string& path, OpenFacts& facts) {
    struct stat st {};
    if (lstat(path.c_str(), &st) != 0 || !S_ISLNK(st.st_mode)) {
        facts.Device = path;
        return;
    }
    facts.Link = path;
    char resolved[PATH_MAX];
    if (realpath(path.c_str(), resolved) != nullptr) {
        facts.Device = resolved;
        return;
    }
    // Dangling: name the target the link gives.
    char target[PATH_MAX];
    const ssize_t n = readlink(path.c_str(), target, sizeof target - 1);
    if (n > 0) {
        target[n] = '\0';
        const std::string dir = path.substr(0, path.rfind('/') + 1);
        facts.Device = target[0] == '/' ? std::string(target) : dir + target;
    }
}

bool RunsInGroup(gid_t gid) {
    if (getegid() == gid) {
        return true;
    }
    gid_t groups[NGROUPS_MAX];
    const int n = std::max(getgroups(NGROUPS_MAX, groups), 0);
    return std::find(groups, groups + n, gid) != groups + n;
}

void DescribeAccess(const std::string& path, OpenFacts& facts) {
    struct stat st {};
    if (stat(path.c_str(), &st) != 0) {
        return;
    }
    group entry{};
    group* found = nullptr;
    char buf[4096];
    if (getgrgid_r(st.st_gid, &entry, buf, sizeof buf, &found) == 0 && found != nullptr) {
        facts.Group = found->gr_name;
    } else {
        facts.Group = std::to_string(st.st_gid);
    }
    facts.GroupMayUse = (st.st_mode & (S_IRGRP | S_IWGRP)) == (S_IRGRP | S_IWGRP);
    facts.InGroup = RunsInGroup(st.st_gid);
}

class PosixDevice final : public SerialDevice {
public:
    PosixDevice(DeviceOptions options, LineReadBack readBack)
        : SerialDevice(std::move(options)), readBack_(std::move(readBack)) {}
    ~PosixDevice() override {
        if (stop_ >= 0) {
            close(stop_);
        }
    }

    int MakeStopSignal() override {
        stop_ = eventfd(0, EFD_CLOEXEC | EFD_NONBLOCK);
        return stop_ < 0 ? errno : 0;
    }

    void SignalStop() override {
        const std::uint64_t one = 1;
        [[maybe_unused]] const ssize_t n = write(stop_, &one, sizeof one);
    }

    bool WaitForStop(int milliseconds) override {
        pollfd stop{stop_, POLLIN, 0};
        return PollUntil(&stop, 1, Clock::now() + std::chrono::milliseconds(milliseconds)) != 0;
    }

    void NameReaderThread() override { pthread_setname_np(pthread_self(), "vemor-reader"); }

    std::string DevicePath(int portNumber) override { return ResolvePortDevice(portNumber); }

    PortHandleValue Open(const std::string& path, Reason why, OpenStep& step, int& err) override {
        step = OpenStep::Open;
        holder_.reset();
        if (path.empty()) {
            err = ENOENT;
            return InvalidPortHandle;
        }
        // Whoever holds a device that is no serial line does not matter.
        if (!MayBeTerminal(path)) {
            err = ENOTTY;
            return InvalidPortHandle;
        }
        // Two readers would split the stream between them, so a device that another program
        // has open is refused before it is touched. The search walks every process, so only
        // the operator's Open makes it, not the retries of a recovery.
        if (why == Reason::Operator) {
            holder_ = FindHolder(path, getpid());
        }
        if (holder_) {
            err = EBUSY;
            return InvalidPortHandle;
        }
        const int fd = open(path.c_str(), O_RDWR | O_NOCTTY | O_NONBLOCK | O_CLOEXEC);
        if (fd < 0) {
            err = errno;
            return InvalidPortHandle;
        }
        // TIOCEXCL does not stop root, so the lock is what keeps a second opener of ours out
        if (flock(fd, LOCK_EX | LOCK_NB) != 0) {
            step = OpenStep::Lock;
            err = errno == EWOULDBLOCK ? EBUSY : errno;
            close(fd);
            return InvalidPortHandle;
        }
        ioctl(fd, TIOCEXCL);
        return fd;
    }

    void Close(PortHandleValue handle) override {
        ioctl(Fd(handle), TIOCNXCL);
        close(Fd(handle));
    }

    void Purge(PortHandleValue handle) override { FlushLine(Fd(handle)); }

    int SaveSettings(PortHandleValue handle) override {
        const int err = GetLineTermios(Fd(handle), saved_);
        if (err != 0) {
            return err;
        }
        int lines = 0;
        hasModemLines_ = ioctl(Fd(handle), TIOCMGET, &lines) == 0;
        modemLines_ = lines;
        return 0;
    }

    // A tty has no time-outs of its own: Read keeps them.
    int GetTimeouts(PortHandleValue, CommTimeouts& out) override {
        out = CommTimeouts{};
        return 0;
    }
    void SetTimeouts(PortHandleValue, const CommTimeouts&) override {}

    int ApplyWorking(PortHandleValue handle, int baudRate, OpenStep& step) override {
        step = OpenStep::SetSettings;
        if (baudRate < 1) {
            return EINVAL;
        }
        working_ = MakeWorkingTermios(saved_, baudRate, ReadSize);
        int err = SetLineTermios(Fd(handle), working_);
        if (err != 0) {
            return err;
        }
        err = RaiseModemLines(Fd(handle));
        if (err != 0) {
            // the line must not be left changed by a failed open
            SetLineTermios(Fd(handle), saved_);
            step = OpenStep::ModemLines;
        }
        return err;
    }

    void Restore(PortHandleValue handle) override {
        SetLineTermios(Fd(handle), saved_);
        if (hasModemLines_) {
            int on = modemLines_ & (TIOCM_DTR | TIOCM_RTS);
            int off = (TIOCM_DTR | TIOCM_RTS) & ~on;
            ioctl(Fd(handle), TIOCMBIS, &on);
            ioctl(Fd(handle), TIOCMBIC, &off);
        }
    }

    // The line is reported readable only once a full read is there (VMIN), so a poll
    // returns once per read or at the total time-out. The kernel still wakes the poll at
    // every piece that arrives, only for it to find too few bytes and sleep again; on a line
    // that is talking, the thread sleeps instead for the time the rest of a full read takes
    // at the line's rate, a little more, so that it wakes about once per read.
    ReadEnd Read(PortHandleValue handle, const CommTimeouts& timeouts, std::uint8_t* buf,
                 std::uint32_t& count, int& lostErr) override {
        count = 0;
        const int fd = Fd(handle);
        const std::uint32_t totalMs =
            timeouts.ReadTotalTimeoutMultiplier * ReadSize + timeouts.ReadTotalTimeoutConstant;
        const auto start = Clock::now();
        const auto deadline =
            totalMs == 0 ? Clock::time_point::max() : start + std::chrono::milliseconds(totalMs);
        int queued = 0;
        if (talking_ && working_.c_ospeed > 0 && ioctl(fd, TIOCINQ, &queued) == 0 &&
            queued < static_cast<int>(ReadSize)) {
            const auto missing = static_cast<std::int64_t>(ReadSize) - queued + SleepSlackBytes;
            const auto rest =
                std::chrono::nanoseconds(missing * BitsPerByte * 1'000'000'000 / working_.c_ospeed);
            pollfd stop{stop_, POLLIN, 0};
            if (PollUntil(&stop, 1, std::min(deadline, start + rest)) != 0) {
                return ReadEnd::Stop;
            }
        }
        pollfd fds[2] = {{stop_, POLLIN, 0}, {fd, POLLIN, 0}};
        // A full read there already is taken without a poll.
        const int ready = queued >= static_cast<int>(ReadSize) ? 0 : PollUntil(fds, 2, deadline);
        if (ready < 0) {
            lostErr = errno;
            return ReadEnd::Lost;
        }
        if (fds[0].revents != 0) {
            return ReadEnd::Stop;
        }
        if ((fds[1].revents & POLLNVAL) != 0) {
            lostErr = EBADF;
            return ReadEnd::Lost;
        }
        // Readable, time-out or hang-up: take what is there.
        return TakeThere(fd, buf, count, lostErr);
    }

    bool CanRest() const override { return true; }

    bool Rest(Clock::time_point until) override {
        pollfd stop{stop_, POLLIN, 0};
        return PollUntil(&stop, 1, until) == 0;
    }

    // One call: a short read is all the driver held.
    ReadEnd TakeWaiting(PortHandleValue handle, std::uint8_t* buf, std::uint32_t size,
                        std::uint32_t& count, int& lostErr) override {
        const ReadEnd end = ReadOnce(Fd(handle), buf, size, count, lostErr);
        talking_ = count == size;
        return end;
    }

    int Write(PortHandleValue handle, const std::uint8_t* buf, std::uint32_t size,
              std::uint32_t& done, Clock::time_point deadline) override {
        const int fd = Fd(handle);
        while (done < size) {
            const ssize_t n = write(fd, buf + done, size - done);
            if (n > 0) {
                done += static_cast<std::uint32_t>(n);
                continue;
            }
            if (n < 0 && errno == EINTR) {
                continue;
            }
            if (n == 0 || errno != EAGAIN) {
                return n == 0 ? EIO : errno;
            }
            pollfd out{fd, POLLOUT, 0};
            const int ready = PollUntil(&out, 1, deadline);
            if (ready == 0) {
                return ETIMEDOUT;
            }
            if (ready < 0) {
                return errno;
            }
            if ((out.revents & (POLLERR | POLLHUP | POLLNVAL)) != 0) {
                return EIO;
            }
        }
        return 0;
    }

    OpenFacts Explain(const std::string& path, OpenStep step, int err) override {
        OpenFacts facts;
        facts.PortsFolder = PortsFolder();
        FollowName(path, facts);
        if (step != OpenStep::Open && step != OpenStep::Lock) {
            return facts;
        }
        switch (err) {
        case ENOENT:
        case ENXIO:
        case ENODEV:
        case EIO: // a ttyS node without a UART behind it
            facts.Cause = OpenCause::NoDevice;
            facts.Exists = !path.empty() && access(path.c_str(), F_OK) == 0;
            for (const PresentPort& port : ListPresentPorts()) {
                facts.Adapters.push_back(port.Path);
            }
            break;
        case EACCES:
        case EPERM:
            facts.Cause = OpenCause::Denied;
            DescribeAccess(path, facts);
            break;
        case ENOTTY:
            facts.Cause = OpenCause::NotTerminal;
            for (const PresentPort& port : ListPresentPorts()) {
                facts.Adapters.push_back(port.Path);
            }
            break;
        case EBUSY: {
            facts.Cause = OpenCause::Busy;
            // Refused by the lock or the kernel: look again, this process included.
            const std::optional<PortHolder> holder = holder_ ? holder_ : FindHolder(path, 0);
            if (holder) {
                facts.Holder = holder->Name;
                facts.HolderPid = holder->Pid;
            }
            break;
        }
        default:
            break;
        }
        return facts;
    }

    int ActualBaudRate(PortHandleValue handle) override {
        LineTermios t{};
        if (readBack_(Fd(handle), t) != 0) {
            return 0;
        }
        return static_cast<int>(t.c_ospeed);
    }

    bool GetLineErrors(PortHandleValue handle, LineErrors& out) override {
        serial_icounter_struct counts{};
        if (ioctl(Fd(handle), TIOCGICOUNT, &counts) != 0) {
            return false; // a pseudo-terminal keeps none
        }
        out.Framing = static_cast<unsigned>(counts.frame);
        out.Parity = static_cast<unsigned>(counts.parity);
        out.Overrun = static_cast<unsigned>(counts.overrun);
        out.BufferOverrun = static_cast<unsigned>(counts.buf_overrun);
        return true;
    }

    std::vector<PresentPort> Present() override { return ListPresentPorts(); }

private:
    // One read of the non-blocking fd: what it holds, up to size bytes (none: count 0).
    static ReadEnd ReadOnce(int fd, std::uint8_t* buf, std::uint32_t size, std::uint32_t& count,
                            int& lostErr) {
        count = 0;
        for (;;) {
            const ssize_t n = read(fd, buf, size);
            if (n > 0) {
                count = static_cast<std::uint32_t>(n);
                return ReadEnd::Done;
            }
            if (n < 0 && errno == EINTR) {
                continue;
            }
            if (n < 0 && errno == EAGAIN) {
                return ReadEnd::Done;
            }
            // the end of the file: the other side hung up
            lostErr = n == 0 ? EIO : errno;
            return ReadEnd::Lost;
        }
    }

    // Reads from the non-blocking fd what it holds, up to a full read.
    ReadEnd TakeThere(int fd, std::uint8_t* buf, std::uint32_t& count, int& lostErr) {
        for (;;) {
            std::uint32_t n = 0;
            const ReadEnd end = ReadOnce(fd, buf + count, ReadSize - count, n, lostErr);
            count += n;
            if (end != ReadEnd::Done || n == 0 || count == ReadSize) {
                talking_ = count == ReadSize; // a short read: wait for the line again
                return end;
            }
        }
    }

    const LineReadBack readBack_;
    // Found by the last Open: the creator's, then the reader's at each reopen.
    std::optional<PortHolder> holder_;
    int stop_ = -1;              // eventfd; written by any thread, polled by the reader
    LineTermios saved_{};        // as read at the first open; creator before start, then read-only
    LineTermios working_{};      // set by whoever opens, the creator or the reader at a reopen
    bool talking_ = false;       // the reader's: its last read was full
    bool hasModemLines_ = false; // false for devices without them (a pseudo-terminal)
    int modemLines_ = 0;         // TIOCM_* bits as read at open
};

} // namespace

std::unique_ptr<SerialDevice> SerialDevice::Create(DeviceOptions options) {
    return CreatePosixDevice(std::move(options));
}

std::unique_ptr<SerialDevice> CreatePosixDevice(DeviceOptions options, LineReadBack readBack) {
    return std::make_unique<PosixDevice>(std::move(options), std::move(readBack));
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

} // namespace vemor
