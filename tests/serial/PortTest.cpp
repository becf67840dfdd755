// ThreadIO against real pseudo-terminals: the test holds the master side, the link the slave.
#include "SerialKit.h"

#include "../support/Proc.h"

#include <cerrno>
#include <cstring>
#include <fcntl.h>
#include <memory>
#include <poll.h>
#include <pthread.h>
#include <signal.h>
#include <sys/prctl.h>
#include <sys/wait.h>
#include <thread>
#include <unistd.h>

namespace vemor::test {
namespace {

constexpr int kPort = 7;

using vemor::testing::PtyLine;

// The line as the link left it.
LineTermios Settings(const PtyLine& pty) {
    LineTermios t{};
    EXPECT_EQ(GetLineTermios(pty.Master(), t), 0);
    return t;
}

std::vector<std::uint8_t> Sequence(std::size_t n, std::uint8_t first = 0) {
    std::vector<std::uint8_t> v(n);
    for (auto& b : v) {
        b = first++;
    }
    return v;
}

double ThreadCpuMs(ThreadIO& link) {
    clockid_t id{};
    timespec ts{};
    EXPECT_EQ(pthread_getcpuclockid(link.ThreadHandle(), &id), 0);
    clock_gettime(id, &ts);
    return static_cast<double>(ts.tv_sec) * 1e3 + static_cast<double>(ts.tv_nsec) / 1e6;
}

class PortTest : public ::testing::Test {
protected:
    PortsDir ports;
    Recorder window;
    BoxCapture& boxes = window;
    PtyLine pty{PtyLine::Slave::Closed};

    // Port 7 with the pty behind it, on the platform's device unless one is given.
    std::unique_ptr<ThreadIO> Open(int baud = 62500, std::unique_ptr<SerialDevice> device = {}) {
        ports.Link(kPort, pty.Name());
        return device ? std::make_unique<ThreadIO>(true, kPort, baud, &window, std::move(device))
                      : std::make_unique<ThreadIO>(true, kPort, baud, &window);
    }
    // Drains the queue until n bytes came out or the time runs out.
    std::vector<std::uint8_t> Drain(ThreadIO& link, std::size_t n) {
        std::vector<std::uint8_t> got;
        std::uint8_t buf[8192];
        window.WaitUntil([&] {
            const std::uint32_t k = link.ReadQueue(buf, sizeof buf);
            got.insert(got.end(), buf, buf + k);
            return got.size() >= n;
        });
        return got;
    }
};

TEST_F(PortTest, OpenConfiguresTheLineAndTakesItsPauses) {
    const auto start = Clock::now();
    auto link = Open();
    EXPECT_GE(MsSince(start), 180.0);
    ASSERT_NE(link->GetPortHandle(), INVALID_HANDLE_VALUE);
    EXPECT_FALSE(link->Suspended());
    EXPECT_TRUE(boxes.shown.empty());
    EXPECT_EQ(link->GetTimeouts().ReadTotalTimeoutConstant, 20u);
    const LineTermios t = Settings(pty);
    EXPECT_EQ(t.c_ispeed, 62500u);
    EXPECT_EQ(t.c_ospeed, 62500u);
    EXPECT_EQ(t.c_cflag & CBAUD, LineBother);
    EXPECT_EQ(t.c_cflag & (CSIZE | PARENB | CSTOPB | CREAD), static_cast<unsigned>(CS8 | CREAD));
    EXPECT_EQ(t.c_lflag & (ICANON | ECHO | ISIG | IEXTEN), 0u);
    EXPECT_EQ(t.c_iflag & (ICRNL | IXON | ISTRIP), 0u);
    EXPECT_EQ(t.c_oflag & OPOST, 0u);
    EXPECT_EQ(t.c_cc[VMIN], ThreadIO::ReadSize);
    EXPECT_EQ(t.c_cc[VTIME], 0);
    EXPECT_EQ(link->ActualBaudRate(), 62500);
    LineErrors errors;
    EXPECT_FALSE(link->GetLineErrors(errors)); // a pseudo-terminal counts none
}

// A process named "ecu-grabber" that holds the slave open (and the master too, when it is the
// line's other end) until the test ends.
class Holder {
public:
    Holder(const PtyLine& pty, bool alsoMaster) {
        int ready[2];
        if (pipe(ready) != 0) {
            throw std::runtime_error("pipe");
        }
        pid_ = fork();
        if (pid_ == 0) {
            prctl(PR_SET_NAME, "ecu-grabber");
            if (!alsoMaster) {
                close(pty.Master());
            }
            const int fd = open(pty.Name().c_str(), O_RDWR | O_NOCTTY);
            [[maybe_unused]] const ssize_t n = write(ready[1], &fd, sizeof fd);
            pause();
            _exit(0);
        }
        close(ready[1]);
        int fd = -1;
        [[maybe_unused]] const ssize_t n = read(ready[0], &fd, sizeof fd);
        close(ready[0]);
        EXPECT_GE(fd, 0);
    }
    ~Holder() {
        kill(pid_, SIGKILL);
        waitpid(pid_, nullptr, 0);
    }
    pid_t Pid() const { return pid_; }

private:
    pid_t pid_ = -1;
};

TEST_F(PortTest, DeviceThatAnotherProgramHoldsIsRefusedNamingIt) {
    for (const bool peer : {false, true}) {
        SCOPED_TRACE(peer ? "the holder is the line's other end" : "a second reader");
        boxes.shown.clear();
        Holder holder(pty, peer);
        auto link = Open(62500, SerialDevice::Create(Quick()));
        if (peer) {
            EXPECT_NE(link->GetPortHandle(), INVALID_HANDLE_VALUE);
            EXPECT_TRUE(boxes.shown.empty());
            continue;
        }
        EXPECT_EQ(link->GetPortHandle(), INVALID_HANDLE_VALUE);
        ASSERT_EQ(boxes.shown.size(), 1u);
        EXPECT_EQ(boxes.shown[0].caption, "GetLastError");
        EXPECT_EQ(boxes.shown[0].FirstLine(), std::strerror(EBUSY));
        const std::string named = "ecu-grabber (process " + std::to_string(holder.Pid()) + ")";
        EXPECT_NE(boxes.shown[0].text.find(named), std::string::npos) << boxes.shown[0].text;
        EXPECT_NE(boxes.shown[0].text.find("COM7 -> " + (ports.Folder() / "com7").string() +
                                           " -> " + pty.Name()),
                  std::string::npos)
            << boxes.shown[0].text;
    }
}

TEST_F(PortTest, RateTheDriverCannotMakeIsToldButThePortOpens) {
    const std::pair<std::uint32_t, bool> cases[] = {{57600, true}, {64000, true}, {63500, false}};
    for (const auto& [rate, told] : cases) {
        boxes.shown.clear();
        // A driver that takes the settings but runs at its own rate.
        auto link = Open(62500, CreatePosixDevice(Quick(), [rate = rate](int fd, LineTermios& t) {
                             const int err = GetLineTermios(fd, t);
                             t.c_ispeed = t.c_ospeed = rate;
                             return err;
                         }));
        EXPECT_NE(link->GetPortHandle(), INVALID_HANDLE_VALUE) << rate;
        EXPECT_EQ(link->ActualBaudRate(), static_cast<int>(rate));
        ASSERT_EQ(boxes.shown.size(), told ? 1u : 0u) << rate;
        if (told) {
            EXPECT_EQ(boxes.shown[0].caption, "Baud rate");
            EXPECT_EQ(boxes.shown[0].text.rfind("COM7 -> ", 0), 0u) << boxes.shown[0].text;
            EXPECT_NE(boxes.shown[0].text.find(std::to_string(rate) + " baud, not 62500"),
                      std::string::npos)
                << boxes.shown[0].text;
        }
    }
}

TEST_F(PortTest, DevicePathOpensAsItIsWithPortNumberZero) {
    ThreadIO link(true, 0, 62500, &window, pty.Name());
    ASSERT_NE(link.GetPortHandle(), INVALID_HANDLE_VALUE);
    EXPECT_EQ(link.GetPortNumber(), 0);
    EXPECT_EQ(link.PortName(), pty.Name());
    pty.Write(Sequence(9));
    EXPECT_EQ(Drain(link, 9), Sequence(9));

    ThreadIO missing(true, 0, 62500, &window, "/dev/vemor-none");
    EXPECT_EQ(missing.GetPortHandle(), INVALID_HANDLE_VALUE);
    ASSERT_EQ(boxes.shown.size(), 1u);
    EXPECT_EQ(boxes.shown[0].FirstLine(), std::strerror(ENOENT));
    EXPECT_NE(boxes.shown[0].text.find("\n/dev/vemor-none\n"), std::string::npos)
        << boxes.shown[0].text;
}

TEST_F(PortTest, SecondOpenerIsRefusedAsBusy) {
    auto first = Open();
    ASSERT_NE(first->GetPortHandle(), INVALID_HANDLE_VALUE);
    ThreadIO second(true, kPort, 62500, &window);
    EXPECT_EQ(second.GetPortHandle(), INVALID_HANDLE_VALUE);
    ASSERT_EQ(boxes.shown.size(), 1u);
    EXPECT_EQ(boxes.shown[0].caption, "GetLastError");
    EXPECT_EQ(boxes.shown[0].FirstLine(), std::strerror(EBUSY));
    pty.Write(Sequence(4)); // the first one still reads
    EXPECT_EQ(Drain(*first, 4), Sequence(4));
}

TEST_F(PortTest, CloseRestoresTheSavedSettings) {
    LineTermios cooked = Settings(pty);
    cooked.c_cflag = (cooked.c_cflag & ~(CBAUD | CSIZE)) | B9600 | CS7 | PARENB | CSTOPB;
    cooked.c_ispeed = cooked.c_ospeed = 9600;
    cooked.c_lflag |= ICANON | ECHO;
    cooked.c_iflag |= IXON | ICRNL;
    cooked.c_cc[VMIN] = 1;
    cooked.c_cc[VTIME] = 5;
    ASSERT_EQ(SetLineTermios(pty.Master(), cooked), 0);
    const LineTermios before = Settings(pty);

    auto link = Open();
    ASSERT_NE(link->GetPortHandle(), INVALID_HANDLE_VALUE);
    EXPECT_EQ(Settings(pty).c_ospeed, 62500u);
    const auto start = Clock::now();
    link.reset();
    EXPECT_GE(MsSince(start), 60.0);
    const LineTermios after = Settings(pty);
    EXPECT_EQ(std::memcmp(&before, &after, sizeof before), 0);
}

struct FailCase {
    const char* name;
    int port;
    const char* target; // where com7 points; nullptr: the pty, "": a regular file
    int baud;
    OpenStep step;
    int err;
    bool box;
};

void PrintTo(const FailCase& c, std::ostream* os) {
    *os << c.name;
}

class FailedOpen : public PortTest, public ::testing::WithParamInterface<FailCase> {};

TEST_P(FailedOpen, LeavesNoPortAndDiesAtOnce) {
    const FailCase& c = GetParam();
    const std::string file = (ports.Root() / "plain-file").string();
    FILE* f = std::fopen(file.c_str(), "w");
    std::fclose(f);
    const LineTermios before = Settings(pty);
    ports.Link(kPort, c.target == nullptr ? pty.Name() : *c.target ? c.target : file);

    auto link = std::make_unique<ThreadIO>(true, c.port, c.baud, &window);
    EXPECT_EQ(link->GetPortHandle(), INVALID_HANDLE_VALUE);
    EXPECT_TRUE(link->Suspended());
    EXPECT_EQ(link->OpenError().Step, c.step);
    EXPECT_EQ(link->OpenError().Error, c.err);
    ASSERT_EQ(boxes.shown.size(), c.box ? 1u : 0u);
    if (c.box) {
        EXPECT_EQ(boxes.shown[0].caption, "GetLastError");
        EXPECT_EQ(boxes.shown[0].FirstLine(), std::strerror(c.err));
        if (c.err == ENOTTY) { // whoever else holds it does not matter
            EXPECT_NE(boxes.shown[0].text.find("is not a serial port"), std::string::npos)
                << boxes.shown[0].text;
        }
    }
    const auto start = Clock::now();
    link.reset();
    EXPECT_LT(MsSince(start), 30.0);
    const LineTermios after = Settings(pty);
    EXPECT_EQ(std::memcmp(&before, &after, sizeof before), 0);
}

INSTANTIATE_TEST_SUITE_P(
    Cases, FailedOpen,
    ::testing::Values(
        FailCase{"PortZero", 0, nullptr, 62500, OpenStep::Open, ENOENT, true},
        FailCase{"MissingDevice", kPort, "/dev/vemor-none", 62500, OpenStep::Open, ENOENT, true},
        FailCase{"NotATerminal", kPort, "", 62500, OpenStep::Open, ENOTTY, true},
        FailCase{"NullDevice", kPort, "/dev/null", 62500, OpenStep::Open, ENOTTY, true},
        FailCase{"BadBaudRate", kPort, nullptr, 0, OpenStep::SetSettings, EINVAL, true}),
    [](const auto& param) { return param.param.name; });

class Pieces : public PortTest, public ::testing::WithParamInterface<std::vector<std::size_t>> {};

TEST_P(Pieces, ArriveInOrderWithChunksOf1To64) {
    auto link = Open();
    std::size_t total = 0;
    for (const std::size_t n : GetParam()) {
        pty.Write(Sequence(n, static_cast<std::uint8_t>(total)));
        total += n;
        std::this_thread::sleep_for(5ms);
    }
    ASSERT_TRUE(window.WaitUntil([&] { return window.RxBytes() == total; }));
    std::uintptr_t queued = 0;
    for (const auto& m : window.Of(WM_RXDATA)) {
        EXPECT_GE(m.wParam, 1u);
        EXPECT_LE(m.wParam, 64u);
        queued += m.wParam; // nothing drains meanwhile, so the queue only grows
        EXPECT_EQ(static_cast<std::uintptr_t>(m.lParam), queued);
    }
    EXPECT_EQ(Drain(*link, total), Sequence(total));
    EXPECT_EQ(link->GetQueueHead(), nullptr);
}

INSTANTIATE_TEST_SUITE_P(Writes, Pieces,
                         ::testing::Values(std::vector<std::size_t>{5, 64, 3},
                                           std::vector<std::size_t>{1000},
                                           std::vector<std::size_t>{1, 1, 1, 130}));

// Frames at the line's rate for a second: the reader takes them a post at a time, waking about
// once per post instead of once per read, and every byte comes out in order.
TEST_F(PortTest, StreamingLineIsTakenOncePerPostInOrder) {
    auto link = Open();
    const std::size_t frames = 189;
    const long before = vemor::testing::ThreadSleeps("vemor-reader");
    const auto start = Clock::now();
    for (std::size_t i = 0; i < frames; ++i) {
        pty.Write(Sequence(33, static_cast<std::uint8_t>(i * 33)));
        std::this_thread::sleep_until(start + (i + 1) * 5280us); // 33 bytes at 6250 a second
    }
    ASSERT_TRUE(window.WaitUntil([&] { return window.RxBytes() == frames * 33; }));
    const long sleeps = vemor::testing::ThreadSleeps("vemor-reader") - before;
    // What a rest finds is taken at once but told as the reads it makes.
    std::uintptr_t queued = 0;
    for (const auto& m : window.Of(WM_RXDATA)) {
        EXPECT_GE(m.wParam, 1u);
        EXPECT_LE(m.wParam, 64u);
        queued += m.wParam;
        EXPECT_EQ(static_cast<std::uintptr_t>(m.lParam), queued);
    }
    EXPECT_EQ(Drain(*link, frames * 33), Sequence(frames * 33));
    // 98 full reads; posts every 49 ms are about 20.
    EXPECT_GT(sleeps, 0);
    EXPECT_LT(sleeps, 45);
}

TEST_F(PortTest, QuietLinePostsNothing) {
    auto link = Open();
    std::this_thread::sleep_for(300ms);
    EXPECT_TRUE(window.Of(WM_RXDATA).empty());
    EXPECT_EQ(link->GetQueuedBytes(), 0u);
}

TEST_F(PortTest, WritePortReachesTheOtherSide) {
    auto link = Open();
    const auto packet = Sequence(13, 0x2B);
    std::uint32_t written = 0;
    EXPECT_TRUE(link->WritePort(packet.data(), 13, &written));
    EXPECT_EQ(written, 13u);
    std::vector<std::uint8_t> got(13);
    std::size_t have = 0;
    while (have < got.size()) {
        pollfd p{pty.Master(), POLLIN, 0};
        ASSERT_EQ(poll(&p, 1, 1000), 1);
        const ssize_t n = read(pty.Master(), got.data() + have, got.size() - have);
        ASSERT_GT(n, 0);
        have += static_cast<std::size_t>(n);
    }
    EXPECT_EQ(got, packet);
    EXPECT_FALSE(link->WritePort(packet.data(), -1, &written));
    EXPECT_EQ(written, 0u);
}

TEST_F(PortTest, WriteCutShortByAHangUpReportsThePart) {
    auto link = Open();
    const std::vector<std::uint8_t> block(1 << 20, 0x55); // far more than the pty buffers
    std::thread hangUp([&] {
        std::this_thread::sleep_for(300ms);
        pty.Close();
    });
    std::uint32_t written = 0;
    EXPECT_FALSE(link->WritePort(block.data(), static_cast<std::int32_t>(block.size()), &written));
    hangUp.join();
    EXPECT_GT(written, 0u);
    EXPECT_LT(written, block.size());
}

TEST_F(PortTest, WriteThatNobodyTakesGivesUpInsteadOfHanging) {
    // Nobody reads the master, so the pseudo-terminal's buffer fills and stays full.
    const int baud = 4000000;
    auto link = Open(baud);
    const auto block = Sequence(256 * 1024);
    std::uint32_t written = 0;
    const auto start = Clock::now();
    EXPECT_FALSE(link->WritePort(block.data(), static_cast<std::int32_t>(block.size()), &written));
    const double limit = 2.0 * (256 * 1024 * 10 * 1000.0 / baud) + 500;
    EXPECT_LT(MsSince(start), limit + 500);
    EXPECT_GT(written, 0u);
    EXPECT_LT(written, block.size());
}

TEST_F(PortTest, CloseIsPromptRightAfterStartAndDuringAPendingRead) {
    for (const bool terminateFirst : {false, true}) {
        for (const auto wait : {0ms, 50ms}) {
            auto link = Open();
            std::this_thread::sleep_for(wait);
            const auto start = Clock::now();
            // The window's own destruction asks the thread to terminate before deleting it,
            // possibly before the started thread has been scheduled at all.
            if (terminateFirst) {
                link->Terminate();
            }
            link.reset();
            EXPECT_LT(MsSince(start), 60.0 + 200.0)
                << "after " << wait.count() << " ms, terminate first " << terminateFirst;
        }
    }
}

// A hang-up discards what the kernel still holds for the port, so what a read has not taken
// is gone with the line; what a finished read took must never be.
TEST_F(PortTest, BytesReadBeforeAHangUpAreKept) {
    for (int round = 0; round < 10; ++round) {
        PtyLine line{PtyLine::Slave::Closed};
        ports.Link(kPort, line.Name());
        Recorder rec;
        ThreadIO link(true, kPort, 62500, &rec, SerialDevice::Create(Quick()));
        ports.Link(kPort, "/dev/vemor-gone");
        line.Write(Sequence(10));
        std::this_thread::sleep_for(60ms); // past the 20-ms read that takes these bytes
        line.Close();
        ASSERT_TRUE(rec.WaitUntil([&] { return !rec.Of(WM_LINELOST).empty(); }));
        EXPECT_EQ(rec.RxBytes(), 10u) << "round " << round;
        EXPECT_EQ(link.GetQueuedBytes(), 10u) << "round " << round;
    }
}

TEST_F(PortTest, LostLineIsToldOnceWithoutSpinning) {
    auto link = Open();
    ports.Link(kPort, "/dev/vemor-gone"); // so no other pty can take the old name's place
    pty.Write(Sequence(3));
    std::this_thread::sleep_for(50ms);
    pty.Close();
    ASSERT_TRUE(window.WaitUntil([&] { return !window.Of(WM_LINELOST).empty(); }));
    EXPECT_EQ(window.RxBytes(), 3u); // what came before the loss still arrives
    const double cpu = ThreadCpuMs(*link);
    std::this_thread::sleep_for(1s);
    EXPECT_LT(ThreadCpuMs(*link) - cpu, 50.0);
    const auto lost = window.Of(WM_LINELOST);
    ASSERT_EQ(lost.size(), 1u);
    EXPECT_EQ(lost[0].wParam, static_cast<std::uintptr_t>(EIO));
    EXPECT_EQ(lost[0].lParam, kPort);
    EXPECT_EQ(window.RxBytes(), 3u);
    EXPECT_EQ(link->GetPortHandle(), INVALID_HANDLE_VALUE);
    const auto start = Clock::now();
    link.reset();
    EXPECT_LT(MsSince(start), 200.0);
}

// The name is looked up again at each try: COM N's link, or the device path as it was given.
class LineBack : public PortTest, public ::testing::WithParamInterface<bool> {};

TEST_P(LineBack, ComesBackWhenTheNameResolvesAgain) {
    const bool byPath = GetParam();
    const std::string path = (ports.Root() / "adapter").string();
    const auto point = [&](const std::string& target) {
        if (byPath) {
            std::filesystem::remove(path);
            std::filesystem::create_symlink(target, path);
        } else {
            ports.Link(kPort, target);
        }
    };
    const LineTermios original = Settings(pty);
    point(pty.Name());
    auto link = byPath ? std::make_unique<ThreadIO>(true, 0, 62500, &window, path)
                       : std::make_unique<ThreadIO>(true, kPort, 62500, &window);
    ASSERT_NE(link->GetPortHandle(), INVALID_HANDLE_VALUE);
    point("/dev/vemor-gone");
    pty.Close();
    ASSERT_TRUE(window.WaitUntil([&] { return !window.Of(WM_LINELOST).empty(); }));
    PtyLine plugged{PtyLine::Slave::Closed};
    point(plugged.Name());
    ASSERT_TRUE(window.WaitUntil([&] { return !window.Of(WM_LINEBACK).empty(); }, 5s));
    EXPECT_EQ(Settings(plugged).c_ospeed, 62500u);
    EXPECT_NE(link->GetPortHandle(), INVALID_HANDLE_VALUE);
    plugged.Write(Sequence(10, 40));
    EXPECT_EQ(Drain(*link, 10), Sequence(10, 40));
    EXPECT_EQ(window.Of(WM_LINELOST).size(), 1u);
    link.reset();
    EXPECT_EQ(Settings(plugged).c_ospeed, original.c_ospeed); // restored where it now is
}

INSTANTIATE_TEST_SUITE_P(Names, LineBack, ::testing::Bool(),
                         [](const auto& param) { return param.param ? "DevicePath" : "ComLink"; });

} // namespace
} // namespace vemor::test
