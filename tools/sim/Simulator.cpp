#include "vemor/sim/Simulator.h"

#include "vemor/sim/Line.h"
#include "vemor/sim/Source.h"

#include <algorithm>
#include <cerrno>
#include <chrono>
#include <csignal>
#include <cstring>
#include <fcntl.h>
#include <memory>
#include <optional>
#include <poll.h>
#include <stdexcept>
#include <string>
#include <unistd.h>
#include <vector>

namespace vemor::sim {

namespace {

using Clock = std::chrono::steady_clock;
using namespace std::chrono_literals;

// Set by the handlers; read by the run between its waits.
volatile std::sig_atomic_t stopRequests = 0;
volatile std::sig_atomic_t released = 0;
sigset_t waitMask; // the mask during ppoll: the process's mask without our four signals

void OnStop(int) {
    stopRequests = stopRequests + 1;
}
void OnRelease(int) {
    released = 1;
}

constexpr auto ReadyCheckEvery = 10ms;
constexpr auto MaxLag = 100ms;     // pacing never bursts more than this much behind
constexpr auto PacketIdle = 100ms; // an unfinished packet is printed after this silence
constexpr auto QuietEnd = 200ms;   // ten read time-outs of the monitor
constexpr std::size_t PacedBatch = 256;
constexpr std::size_t FreeBatch = 4096;

double Seconds(Clock::duration d) {
    return std::chrono::duration<double>(d).count();
}

Clock::duration FromSeconds(double s) {
    return std::chrono::duration_cast<Clock::duration>(std::chrono::duration<double>(s));
}

class Simulator {
public:
    Simulator(const Options& options, std::FILE* out, std::FILE* err)
        : o_(options), out_(out), err_(err),
          link_(options.Link.empty() ? PortLinkPath(options.Port) : options.Link),
          rate_(options.Speed * LineBytesPerSecond) {}
    ~Simulator();
    int Run();

private:
    enum class End { Finished, Stopped, Unplug, LineDown, Failed };

    void Say(const std::string& line);
    bool Stopping() const { return stopRequests != 0; }
    // Waits until the deadline or a signal, for the master's `events` as well; reads and
    // prints what the monitor sent meanwhile. Returns the master's revents.
    short Wait(short events, Clock::time_point deadline);
    bool WaitForMonitor();
    End Send(Clock::time_point unplugAt);
    void Refill();
    bool Written(const std::uint8_t* p, std::size_t n);
    void Drain(Clock::duration limit);
    void Quiet(Clock::duration span);
    void Plug();
    void Unplug();
    void ReadPackets();
    void Summary();

    const Options& o_;
    std::FILE* out_;
    std::FILE* err_;
    std::unique_ptr<Source> source_;
    EngineSource* engine_ = nullptr; // source_ when it is the engine
    std::unique_ptr<Pty> pty_;
    std::string lastDevice_;
    PortLink link_;
    const double rate_; // bytes per second; 0: unpaced
    // bytes taken from the source and not yet written, from queueOff_ on
    std::vector<std::uint8_t> queue_;
    std::size_t queueOff_ = 0;
    bool sourceDone_ = false;
    int pauseNextMs_ = 0;
    FrameCounter planned_; // frames in what was queued, for --frames
    FrameCounter sent_;    // frames in what was written
    std::uint64_t bytes_ = 0;
    Clock::time_point base_; // pacing: bytes_ was baseBytes_ at base_
    std::uint64_t baseBytes_ = 0;
    int sentFd_ = -1;
    bool sentFailed_ = false;
    PacketPrinter packets_;
    Clock::time_point lastRx_;
    bool writeErrorShown_ = false;
};

Simulator::~Simulator() {
    if (sentFd_ >= 0) {
        close(sentFd_);
    }
}

void Simulator::Say(const std::string& line) {
    std::fputs(line.c_str(), out_);
    std::fputc('\n', out_);
    std::fflush(out_);
}

int Simulator::Run() {
    if (!o_.Sent.empty()) {
        sentFd_ = open(o_.Sent.c_str(), O_WRONLY | O_CREAT | O_TRUNC | O_CLOEXEC, 0644);
        if (sentFd_ < 0) {
            std::fprintf(err_, "vemor-sim: %s: %s\n", o_.Sent.c_str(), std::strerror(errno));
            return 1;
        }
    }
    try {
        if (!o_.Replay.empty()) {
            source_ = std::make_unique<ReplaySource>(o_.Replay);
        } else if (o_.Random) {
            source_ = std::make_unique<RandomSource>(o_.Seed);
        } else {
            auto engine = std::make_unique<EngineSource>(o_.Seed, o_.Faults);
            engine_ = engine.get();
            source_ = std::move(engine);
        }
        // A link that leads somewhere may be someone's device: never take it over.
        const std::string live = link_.LiveTarget();
        if (!live.empty()) {
            std::fprintf(err_,
                         "vemor-sim: %s already points at %s; remove the link or choose "
                         "another --port\n",
                         link_.Path().c_str(), live.c_str());
            return 1;
        }
        Plug();
    } catch (const std::exception& e) {
        std::fprintf(err_, "vemor-sim: %s\n", e.what());
        link_.RemoveIfOurs();
        return 1;
    }

    int status = 0;
    int unplugs = 0;
    try {
        while (!Stopping()) {
            if (!WaitForMonitor()) {
                break;
            }
            const bool mayUnplug = o_.UnplugAfter >= 0 && (o_.Cycles == 0 || unplugs < o_.Cycles);
            const End end = Send(mayUnplug ? Clock::now() + FromSeconds(o_.UnplugAfter)
                                           : Clock::time_point::max());
            if (end == End::LineDown) {
                const int unread = pty_->Unread();
                pty_->DiscardUnread();
                Say("line down: the monitor closed the port" +
                    (unread > 0
                         ? "; at least " + std::to_string(unread) + " bytes written were not read"
                         : std::string()));
                continue;
            }
            if (end == End::Failed) {
                status = 1;
                break;
            }
            if (end != End::Unplug) {
                Drain(end == End::Finished ? 3s : 1s);
                // At the end the ECU falls silent before the line goes, as a real one does
                // when it stops: a reader in the middle of a timed read finishes it first.
                if (bytes_ > 0) {
                    Quiet(QuietEnd);
                }
                break;
            }
            Drain(2s);
            Unplug();
            ++unplugs;
            const auto replugAt = o_.ReplugAfter < 0 ? Clock::time_point::max()
                                                     : Clock::now() + FromSeconds(o_.ReplugAfter);
            while (!Stopping() && Clock::now() < replugAt) {
                Wait(0, replugAt);
            }
            if (Stopping()) {
                break;
            }
            Plug();
        }
    } catch (const std::exception& e) {
        std::fprintf(err_, "vemor-sim: %s\n", e.what());
        status = 1;
    }
    link_.RemoveIfOurs();
    pty_.reset();
    Summary();
    if (sentFailed_) {
        status = 1;
    }
    return status;
}

void Simulator::Plug() {
    pty_ = std::make_unique<Pty>(o_.AnyBaud);
    link_.PointAt(pty_->Path());
    lastDevice_ = pty_->Path();
    Say("device: " + pty_->Path());
    Say("link: " + link_.Path() + " -> " + pty_->Path());
}

void Simulator::Unplug() {
    // The name goes first, so a monitor that tries again finds nothing until the replug.
    link_.PointAt(lastDevice_ + " (unplugged)");
    pty_.reset();
    Say("unplugged: after " + std::to_string(bytes_) + " bytes, " + std::to_string(sent_.Frames()) +
        " frames");
}

short Simulator::Wait(short events, Clock::time_point deadline) {
    const auto now = Clock::now();
    auto left = deadline == Clock::time_point::max() ? 1h : std::max(deadline - now, 0ns);
    if (packets_.Pending()) {
        left = std::min<Clock::duration>(left, PacketIdle);
    }
    const auto ns = std::chrono::duration_cast<std::chrono::nanoseconds>(left).count();
    timespec ts{static_cast<time_t>(ns / 1'000'000'000), static_cast<long>(ns % 1'000'000'000)};
    pollfd fd{pty_ ? pty_->Master() : -1, static_cast<short>(events | POLLIN), 0};
    const int ready = ppoll(&fd, 1, &ts, &waitMask);
    short revents = ready > 0 ? fd.revents : 0;
    if ((revents & POLLIN) != 0) {
        ReadPackets();
    }
    if ((revents & (POLLHUP | POLLERR)) != 0) {
        // Nothing to read until the other side returns: sleep instead of spinning.
        ppoll(nullptr, 0, &ts, &waitMask);
        revents = 0;
    }
    if (packets_.Pending() && Clock::now() - lastRx_ >= PacketIdle) {
        Say("rx: " + packets_.Flush());
    }
    return revents;
}

void Simulator::ReadPackets() {
    std::uint8_t buf[512];
    for (;;) {
        const ssize_t n = read(pty_->Master(), buf, sizeof buf);
        if (n <= 0) {
            return; // EAGAIN, or EIO while no slave is open
        }
        lastRx_ = Clock::now();
        for (const std::string& line : packets_.Feed(buf, static_cast<std::size_t>(n))) {
            Say("rx: " + line);
        }
    }
}

bool Simulator::WaitForMonitor() {
    bool waitingShown = false;
    bool heldShown = false;
    while (!Stopping()) {
        const bool ready = MonitorReady(pty_->Master(), o_.AnyBaud);
        if (ready && (!o_.Hold || released != 0)) {
            return true;
        }
        if (!ready && !waitingShown) {
            Say("waiting: for the monitor to open COM" + std::to_string(o_.Port) + " at " +
                (o_.AnyBaud ? std::string("any speed") : std::to_string(LineBaud) + " baud"));
            waitingShown = true;
        }
        if (ready && !heldShown) {
            Say("held: the monitor is ready; waiting for SIGUSR1");
            heldShown = true;
        }
        Wait(0, Clock::now() + ReadyCheckEvery);
    }
    return false;
}

void Simulator::Refill() {
    if (queueOff_ == queue_.size()) {
        queue_.clear();
        queueOff_ = 0;
    }
    const std::size_t batch = rate_ > 0 ? PacedBatch : FreeBatch;
    Piece piece;
    while (!sourceDone_ && pauseNextMs_ == 0 && queue_.size() - queueOff_ < batch) {
        if (!source_->Next(piece)) {
            sourceDone_ = true;
            break;
        }
        if (piece.PauseMs > 0) {
            pauseNextMs_ = piece.PauseMs;
            break;
        }
        std::size_t take = piece.Bytes.size();
        if (o_.Frames > 0) {
            const auto left = static_cast<std::uint64_t>(o_.Frames) - planned_.Frames();
            take = planned_.CutAfter(piece.Bytes.data(), take, left);
        }
        planned_.Feed(piece.Bytes.data(), take);
        queue_.insert(queue_.end(), piece.Bytes.begin(),
                      piece.Bytes.begin() + static_cast<std::ptrdiff_t>(take));
        if (o_.Frames > 0 && planned_.Frames() >= static_cast<std::uint64_t>(o_.Frames)) {
            sourceDone_ = true;
        }
    }
}

bool Simulator::Written(const std::uint8_t* p, std::size_t n) {
    bytes_ += n;
    queueOff_ += n;
    sent_.Feed(p, n);
    std::size_t done = 0;
    while (sentFd_ >= 0 && done < n) {
        const ssize_t w = write(sentFd_, p + done, n - done);
        if (w > 0) {
            done += static_cast<std::size_t>(w);
        } else if (w < 0 && errno == EINTR) {
            continue;
        } else {
            std::fprintf(err_, "vemor-sim: %s: %s; the record is incomplete\n", o_.Sent.c_str(),
                         w < 0 ? std::strerror(errno) : "nothing written");
            close(sentFd_);
            sentFd_ = -1;
            sentFailed_ = true;
            return false;
        }
    }
    return true;
}

Simulator::End Simulator::Send(Clock::time_point unplugAt) {
    if (rate_ > 0) {
        char line[64];
        std::snprintf(line, sizeof line, "sending: %.0f bytes/s", rate_);
        Say(line);
    } else {
        Say("sending: as fast as the monitor reads");
    }
    auto now = Clock::now();
    base_ = now;
    baseBytes_ = bytes_;
    auto readyChecked = now;
    Clock::time_point pauseUntil{};
    for (;;) {
        if (Stopping()) {
            return End::Stopped;
        }
        now = Clock::now();
        if (now >= unplugAt) {
            return End::Unplug;
        }
        if (now - readyChecked >= ReadyCheckEvery) {
            if (!MonitorReady(pty_->Master(), o_.AnyBaud)) {
                return End::LineDown;
            }
            readyChecked = now;
            ReadPackets(); // a monitor that keeps up never lets the writes wait
            if (packets_.Pending() && now - lastRx_ >= PacketIdle) {
                Say("rx: " + packets_.Flush());
            }
        }
        const auto nextCheck = std::min(unplugAt, readyChecked + ReadyCheckEvery);
        if (queueOff_ == queue_.size()) {
            if (pauseNextMs_ > 0) {
                pauseUntil = now + std::chrono::milliseconds(pauseNextMs_);
                pauseNextMs_ = 0;
            }
            if (now < pauseUntil) {
                Wait(0, std::min(pauseUntil, nextCheck));
                base_ = Clock::now();
                baseBytes_ = bytes_;
                continue;
            }
            Refill();
            if (queueOff_ == queue_.size()) {
                if (sourceDone_) {
                    return End::Finished;
                }
                continue;
            }
        }
        std::size_t allowed = queue_.size() - queueOff_;
        if (rate_ > 0) {
            const double due = Seconds(now - base_) * rate_;
            double behind = due - static_cast<double>(bytes_ - baseBytes_);
            if (behind > rate_ * Seconds(MaxLag)) {
                // Far behind (the monitor stopped reading): catch up by MaxLag's worth at most.
                // Going round again instead would find it behind by a hair more each time and
                // never write or wait, nor take a signal.
                base_ = now - MaxLag;
                baseBytes_ = bytes_;
                behind = rate_ * Seconds(MaxLag);
            }
            if (behind < 1) {
                // Sleep until a few bytes are due rather than waking for each one.
                const double wantBytes = std::min<double>(static_cast<double>(allowed), 16.0);
                const auto wake = now + FromSeconds((wantBytes - behind) / rate_);
                Wait(0, std::min(wake, nextCheck));
                continue;
            }
            allowed = std::min(allowed, static_cast<std::size_t>(behind));
        }
        const ssize_t n = write(pty_->Master(), queue_.data() + queueOff_, allowed);
        if (n > 0) {
            if (!Written(queue_.data() + queueOff_, static_cast<std::size_t>(n))) {
                return End::Failed;
            }
            continue;
        }
        if (n < 0 && errno == EINTR) {
            continue;
        }
        if (n < 0 && errno != EAGAIN && errno != EIO && !writeErrorShown_) {
            std::fprintf(err_, "vemor-sim: write to %s: %s\n", pty_->Path().c_str(),
                         std::strerror(errno));
            writeErrorShown_ = true;
        }
        // The monitor's side is full (or gone for a moment): wait for room, never spin.
        Wait(POLLOUT, nextCheck);
    }
}

void Simulator::Drain(Clock::duration limit) {
    if (!pty_) {
        return;
    }
    const auto end = Clock::now() + limit;
    const auto stopsBefore = stopRequests;
    int quiet = 0;
    while (Clock::now() < end && stopRequests == stopsBefore &&
           MonitorReady(pty_->Master(), o_.AnyBaud)) {
        // Two empty looks 20 ms apart: the kernel may still be moving bytes to the queue.
        quiet = pty_->Unread() == 0 ? quiet + 1 : 0;
        if (quiet == 2) {
            return;
        }
        Wait(0, Clock::now() + 20ms);
    }
    const int unread = pty_->Unread();
    if (unread > 0) {
        Say("unread: at least " + std::to_string(unread) +
            " bytes written were not read by the monitor");
    }
}

void Simulator::Quiet(Clock::duration span) {
    const auto end = Clock::now() + span;
    const auto stopsBefore = stopRequests;
    while (Clock::now() < end && stopRequests == stopsBefore) {
        Wait(0, end);
    }
}

void Simulator::Summary() {
    if (packets_.Pending()) {
        Say("rx: " + packets_.Flush());
    }
    if (engine_ != nullptr && o_.Faults) {
        int counts[5] = {};
        for (FaultKind k : engine_->Faults()) {
            ++counts[static_cast<int>(k)];
        }
        Say("faults: " + std::to_string(counts[0]) + " short frames, " + std::to_string(counts[1]) +
            " long frames, " + std::to_string(counts[2]) + " unescaped FF, " +
            std::to_string(counts[3]) + " noise bursts, " + std::to_string(counts[4]) + " pauses");
    }
    Say("sent: " + std::to_string(bytes_) + " bytes, " + std::to_string(sent_.Frames()) +
        " frames");
}

} // namespace

void InstallSignalHandlers() {
    struct sigaction stop {};
    stop.sa_handler = OnStop;
    sigemptyset(&stop.sa_mask);
    struct sigaction release {};
    release.sa_handler = OnRelease;
    sigemptyset(&release.sa_mask);
    sigaction(SIGINT, &stop, nullptr);
    sigaction(SIGTERM, &stop, nullptr);
    sigaction(SIGHUP, &stop, nullptr);
    sigaction(SIGUSR1, &release, nullptr);
    std::signal(SIGPIPE, SIG_IGN);

    sigset_t ours;
    sigemptyset(&ours);
    for (int s : {SIGINT, SIGTERM, SIGHUP, SIGUSR1}) {
        sigaddset(&ours, s);
    }
    sigprocmask(SIG_BLOCK, &ours, &waitMask);
    for (int s : {SIGINT, SIGTERM, SIGHUP, SIGUSR1}) {
        sigdelset(&waitMask, s);
    }
}

int RunSimulator(const Options& options, std::FILE* out, std::FILE* err) {
    Simulator sim(options, out, err);
    return sim.Run();
}

} // namespace vemor::sim
