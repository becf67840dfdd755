// vemor-sim as a process on a real pseudo-terminal: it waits for the monitor's settings,
// paces, records what it sends, survives the monitor going, unplugs and replugs, prints the
// monitor's packets, and leaves no link behind however it ends.
#include "SimKit.h"

#include "../serial/SerialKit.h"
#include "../support/Frames.h"
#include "../support/TempDir.h"

#include <gtest/gtest.h>

#include <filesystem>
#include <fstream>
#include <string>
#include <termios.h>
#include <thread>
#include <vector>

namespace vemor::simtest {
namespace {

namespace fs = std::filesystem;

std::size_t CountFrames(const Bytes& line) {
    return vemor::testing::Parse(line).frames.size();
}

// Stops the simulator the way an operator would, reading on meanwhile so that it can hand
// over what it still has; returns what was read.
Bytes StopWhileReading(Child& sim, FakeMonitor& monitor, int sig = SIGTERM) {
    sim.Signal(sig);
    Bytes got;
    const auto end = Clock::now() + 5s;
    while (!sim.Exited() && Clock::now() < end) {
        const Bytes more = monitor.Read(20ms);
        got.insert(got.end(), more.begin(), more.end());
    }
    return got;
}

class SimProcessTest : public ::testing::Test {
protected:
    std::unique_ptr<Child> Start(std::vector<std::string> args) {
        auto child = std::make_unique<Child>(VEMOR_SIM_EXE, args);
        EXPECT_TRUE(child->WaitLine("link: ")) << child->Output();
        return child;
    }
    fs::path Link(int n = 10) const { return ports_.Folder() / ("com" + std::to_string(n)); }
    bool LinkExists(int n = 10) const { return fs::exists(fs::symlink_status(Link(n))); }
    std::string File(const std::string& name) const { return dir_.File(name); }

    test::PortsDir ports_;
    vemor::testing::TempDir dir_{"vemor-simcli"};
};

TEST_F(SimProcessTest, SendsNothingUntilTheMonitorHasSetTheLine) {
    auto sim = Start({"--frames", "50", "--speed", "0"});
    EXPECT_TRUE(sim->Line("device: /dev/pts/"));
    EXPECT_TRUE(sim->WaitLine("waiting: "));
    FakeMonitor monitor(Link().string());
    EXPECT_TRUE(monitor.Read(300ms).empty()) << "sent before the monitor set the line";
    monitor.SetUp(9600);
    EXPECT_TRUE(monitor.Read(300ms).empty()) << "sent at the wrong speed";
    monitor.SetUp();
    const Bytes got = monitor.Read(3s);
    EXPECT_EQ(CountFrames(got), 50u);
    EXPECT_EQ(sim->Wait(), 0);
    EXPECT_TRUE(sim->Line("sent: " + std::to_string(got.size()) + " bytes, 50 frames"))
        << sim->Output();
}

TEST_F(SimProcessTest, AnyBaudStartsAtTheMonitorsSpeedWhateverItIsBehindTheGivenLink) {
    const std::string link = File("com10");
    auto sim = Start({"--frames", "20", "--speed", "0", "--any-baud", "--link", link});
    EXPECT_FALSE(LinkExists()) << "the ports folder was used despite --link";
    ASSERT_TRUE(sim->WaitLine("waiting: ")) << sim->Output();
    FakeMonitor monitor(link);
    EXPECT_TRUE(monitor.Read(300ms).empty()) << "sent before the monitor set the line";
    monitor.SetUp(38400); // what Wine leaves on a pseudo-terminal asked for 62500
    EXPECT_EQ(CountFrames(monitor.Read(3s)), 20u);
    EXPECT_EQ(sim->Wait(), 0);
    EXPECT_FALSE(fs::exists(fs::symlink_status(link))) << "link left behind";
}

TEST_F(SimProcessTest, MonitorThatStopsReadingNeitherStallsNorDeafensIt) {
    auto sim = Start({"--speed", "20"});
    FakeMonitor monitor(Link().string());
    monitor.SetUp();
    ASSERT_FALSE(monitor.Read(300ms).empty());
    std::this_thread::sleep_for(2500ms); // the terminal's buffer fills; the pacing falls behind
    EXPECT_FALSE(monitor.Read(300ms).empty()) << "no bytes once the monitor read again";
    sim->Signal(SIGTERM);
    EXPECT_TRUE(sim->Wait(5s).has_value()) << "SIGTERM not taken";
}

TEST_F(SimProcessTest, HoldWaitsForUsr1AfterTheMonitorIsReady) {
    auto sim = Start({"--frames", "20", "--speed", "0", "--hold"});
    FakeMonitor monitor(Link().string());
    monitor.SetUp();
    ASSERT_TRUE(sim->WaitLine("held: ")) << sim->Output();
    EXPECT_TRUE(monitor.Read(300ms).empty()) << "sent while held";
    sim->Signal(SIGUSR1);
    EXPECT_EQ(CountFrames(monitor.Read(3s)), 20u);
    EXPECT_EQ(sim->Wait(), 0);
}

TEST_F(SimProcessTest, PacesAtTheLineRate) {
    auto sim = Start({"--speed", "1"});
    FakeMonitor monitor(Link().string());
    monitor.SetUp();
    ASSERT_FALSE(monitor.Read(2s, 1).empty());
    const auto start = Clock::now();
    const Bytes got = monitor.Read(1500ms);
    const double rate = static_cast<double>(got.size()) / test::MsSince(start) * 1000;
    EXPECT_GT(rate, 6250 * 0.75);
    EXPECT_LT(rate, 6250 * 1.25);
    StopWhileReading(*sim, monitor, SIGINT);
    EXPECT_EQ(sim->Wait(), 0);
}

TEST_F(SimProcessTest, RecordsEveryByteSentAndTheSameSeedSendsTheSameBytes) {
    auto run = [&](const std::string& seed, const std::string& sent) {
        auto sim = Start({"--frames", "300", "--speed", "0", "--seed", seed, "--sent", File(sent)});
        FakeMonitor monitor(Link().string());
        monitor.SetUp();
        const Bytes got = monitor.Read(5s, 1 << 20);
        EXPECT_EQ(sim->Wait(), 0);
        EXPECT_EQ(got, ReadBytes(File(sent))) << "the record differs from the line";
        EXPECT_EQ(CountFrames(got), 300u);
        return got;
    };
    const Bytes a = run("5", "a.bin");
    EXPECT_EQ(run("5", "b.bin"), a);
    EXPECT_NE(run("6", "c.bin"), a);
}

TEST_F(SimProcessTest, RemovesItsLinkAtTheEndAndOnEverySignal) {
    {
        auto sim = Start({"--frames", "5", "--speed", "0"});
        FakeMonitor monitor(Link().string());
        monitor.SetUp();
        EXPECT_EQ(CountFrames(monitor.Read(3s)), 5u);
        EXPECT_TRUE(monitor.HungUp());
        EXPECT_EQ(sim->Wait(), 0);
        EXPECT_FALSE(LinkExists()) << "after the last frame";
    }
    for (int sig : {SIGTERM, SIGINT, SIGHUP}) {
        auto sim = Start({"--port", "4"});
        ASSERT_TRUE(LinkExists(4));
        sim->Signal(sig);
        EXPECT_EQ(sim->Wait(), 0) << "signal " << sig;
        EXPECT_FALSE(LinkExists(4)) << "signal " << sig;
        EXPECT_TRUE(sim->Line("sent: 0 bytes, 0 frames")) << sim->Output();
    }
    {
        auto sim = Start({"--speed", "0"});
        FakeMonitor monitor(Link().string());
        monitor.SetUp();
        ASSERT_FALSE(monitor.Read(2s, 1).empty());
        StopWhileReading(*sim, monitor);
        EXPECT_EQ(sim->Wait(), 0);
        EXPECT_FALSE(LinkExists()) << "while sending";
    }
}

TEST_F(SimProcessTest, LeavesALinkThatSomeoneElseTookOver) {
    auto sim = Start({});
    ports_.Link(10, "/dev/null");
    sim->Signal(SIGTERM);
    EXPECT_EQ(sim->Wait(), 0);
    ASSERT_TRUE(LinkExists());
    EXPECT_EQ(fs::read_symlink(Link()), "/dev/null");
}

TEST_F(SimProcessTest, NeverTakesOverALinkToAnExistingDeviceButReplacesAStaleOne) {
    ports_.Link(10, "/dev/null");
    Child refused(VEMOR_SIM_EXE, {});
    EXPECT_EQ(refused.Wait(), 1);
    EXPECT_NE(refused.Output().find("already points at /dev/null"), std::string::npos)
        << refused.Output();
    EXPECT_EQ(fs::read_symlink(Link()), "/dev/null");

    ports_.Link(10, "/dev/pts/nonexistent");
    auto sim = Start({});
    EXPECT_EQ(fs::read_symlink(Link()).string().rfind("/dev/pts/", 0), 0u);
    EXPECT_TRUE(fs::exists(Link()));
    sim->Signal(SIGTERM);
    EXPECT_EQ(sim->Wait(), 0);
    EXPECT_FALSE(LinkExists());
}

TEST_F(SimProcessTest, RefusesAReplayFileThatIsTooShortAndLeavesNoLink) {
    std::ofstream(File("short.cap")) << "14:03:07";
    Child sim(VEMOR_SIM_EXE, {"--replay", File("short.cap")});
    EXPECT_EQ(sim.Wait(), 1);
    EXPECT_NE(sim.Output().find("short.cap: file is shorter than the 16-byte header"),
              std::string::npos)
        << sim.Output();
    EXPECT_FALSE(LinkExists());
}

TEST_F(SimProcessTest, ReplaysTheBodyOfACapture) {
    Bytes capture = {'1', '4', ':', '0', '3', ':', '0', '7',
                     '1', '4', ':', '0', '5', ':', '1', '1'};
    for (int i = 0; i < 5000; ++i) {
        capture.push_back(static_cast<std::uint8_t>(i * 13 + i / 7));
    }
    std::ofstream(File("drive.cap"), std::ios::binary)
        .write(reinterpret_cast<const char*>(capture.data()),
               static_cast<std::streamsize>(capture.size()));
    auto sim = Start({"--replay", File("drive.cap"), "--speed", "0"});
    FakeMonitor monitor(Link().string());
    monitor.SetUp();
    EXPECT_EQ(monitor.Read(5s, capture.size() - 16), Bytes(capture.begin() + 16, capture.end()));
    EXPECT_EQ(sim->Wait(), 0);
    EXPECT_TRUE(sim->Line("sent: 5000 bytes")) << sim->Output();
}

TEST_F(SimProcessTest, FaultsCostFramesButTheFrameCountIsMet) {
    auto sim = Start(
        {"--frames", "600", "--speed", "0", "--faults", "--seed", "2", "--sent", File("sent.bin")});
    FakeMonitor monitor(Link().string());
    monitor.SetUp();
    Bytes got;
    const auto end = Clock::now() + 10s;
    while (!sim->Exited() && Clock::now() < end) {
        const Bytes more = monitor.Read(50ms);
        got.insert(got.end(), more.begin(), more.end());
    }
    const Bytes rest = monitor.Read(100ms);
    got.insert(got.end(), rest.begin(), rest.end());
    EXPECT_EQ(sim->Wait(), 0);
    const vemor::testing::Parsed parsed = vemor::testing::Parse(got);
    EXPECT_EQ(parsed.frames.size(), 600u);
    EXPECT_GT(parsed.dropped, 0u);
    EXPECT_EQ(got, ReadBytes(File("sent.bin")));
    EXPECT_TRUE(sim->Line("faults: ")) << sim->Output();
}

TEST_F(SimProcessTest, PrintsThePacketsTheMonitorSendsWhileItStreams) {
    auto sim = Start({"--speed", "0"});
    FakeMonitor monitor(Link().string());
    monitor.SetUp();
    ASSERT_FALSE(monitor.Read(2s, 1).empty());
    monitor.Write({0x2B, 0x0D, 0x01, 0x08, 0x00, 0x01, 0x02, 0x03, 0x04, 0x05, 0x06, 0x07, 0xA3});
    // Reading on, as the monitor's reader does, so the simulator never has to wait to write.
    const auto end = Clock::now() + 3s;
    while (!sim->Line("rx: ") && Clock::now() < end) {
        (void)monitor.Read(10ms);
    }
    EXPECT_TRUE(sim->Line("rx: 2B 0D 01 08 00 01 02 03 04 05 06 07 A3")) << sim->Output();
    StopWhileReading(*sim, monitor);
    EXPECT_EQ(sim->Wait(), 0);
}

// A monitor that closes the port must not end the simulator; it waits and goes on for the
// next one, which gets frames again.
TEST_F(SimProcessTest, OutlivesAMonitorThatClosesThePort) {
    auto sim = Start({"--speed", "0"});
    {
        FakeMonitor first(Link().string());
        first.SetUp();
        ASSERT_FALSE(first.Read(2s, 1000).empty());
        first.Restore();
    }
    ASSERT_TRUE(sim->WaitLine("line down: ")) << sim->Output();
    EXPECT_FALSE(sim->Exited());
    std::this_thread::sleep_for(100ms);
    FakeMonitor second(Link().string());
    tcflush(second.Fd(), TCIFLUSH);
    second.SetUp();
    const Bytes got = second.Read(2s, 2000);
    EXPECT_GE(CountFrames(got), 10u);
    StopWhileReading(*sim, second);
    EXPECT_EQ(sim->Wait(), 0);
}

// What a test of line loss needs: each unplug ends the line for the monitor, a replug brings a
// new device under the same name, and what the monitor read over all the plugged stretches
// is exactly what the simulator recorded as sent.
TEST_F(SimProcessTest, UnplugsAndReplugsUnderTheSameLinkLosingNothingInBetween) {
    auto sim = Start({"--speed", "0.5", "--unplug-after", "0.3", "--replug-after", "0.2",
                      "--cycles", "3", "--sent", File("sent.bin")});
    Bytes got;
    for (int round = 0; round < 4; ++round) {
        ASSERT_TRUE(test::Recorder::WaitUntil(
            [&] {
                std::error_code ec;
                const auto target = fs::read_symlink(Link(), ec).string();
                return !ec && target.find("(unplugged)") == std::string::npos;
            },
            3s))
            << "round " << round;
        FakeMonitor monitor(Link().string());
        monitor.SetUp();
        if (round == 3) {
            // After the last cycle it goes on sending until it is stopped.
            Bytes part = monitor.Read(500ms);
            const Bytes rest = StopWhileReading(*sim, monitor);
            part.insert(part.end(), rest.begin(), rest.end());
            got.insert(got.end(), part.begin(), part.end());
            break;
        }
        const Bytes part = monitor.Read(3s);
        EXPECT_TRUE(monitor.HungUp()) << "round " << round;
        got.insert(got.end(), part.begin(), part.end());
        // Until the replug the name leads nowhere.
        std::error_code ec;
        const std::string target = fs::read_symlink(Link(), ec).string();
        EXPECT_TRUE(target.find("(unplugged)") != std::string::npos || fs::exists(target))
            << target;
    }
    EXPECT_EQ(sim->Wait(), 0);
    const std::string out = sim->Output();
    EXPECT_NE(out.find("unplugged: after"), std::string::npos) << out;
    EXPECT_EQ(got, ReadBytes(File("sent.bin")));
    EXPECT_GT(got.size(), 3000u);
    EXPECT_FALSE(LinkExists());
}

} // namespace
} // namespace vemor::simtest
