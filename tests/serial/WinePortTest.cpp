// The Windows serial device under Wine, against vemor-sim's pseudo-terminal as COM10: open
// and settings, reads with the port's time-outs, writes, the stop signal, and the lost line.
// Wine leaves such a terminal at 38400 when asked for 62500 and has no modem lines on it;
// nothing here depends on either.
#include "SerialKit.h"

#include "vemor/Packet.h"

namespace vemor::test {
namespace {

class WinePort : public ::testing::Test {
protected:
    void SetUp() override {
        if (!SimPeer::Available()) {
            GTEST_SKIP() << "needs Wine, with vemor-sim built for Linux";
        }
    }
    std::unique_ptr<ThreadIO> Open() {
        auto link = std::make_unique<ThreadIO>(true, 10, 62500, &posts);
        EXPECT_NE(link->GetPortHandle(), InvalidPortHandle)
            << (boxes.shown.empty() ? "" : boxes.shown[0].text);
        return link;
    }
    // Everything queued, drained as the window does.
    static std::vector<std::uint8_t> Drain(ThreadIO& link) {
        std::vector<std::uint8_t> all;
        std::uint8_t buf[8192];
        while (const std::uint32_t n = link.ReadQueue(buf, sizeof buf)) {
            all.insert(all.end(), buf, buf + n);
        }
        return all;
    }
    void ExpectChunksOf1To64() {
        for (const Recorder::Message& m : posts.Of(WM_RXDATA)) {
            ASSERT_GE(m.wParam, 1u);
            ASSERT_LE(m.wParam, ThreadIO::ReadSize);
        }
    }

    Recorder posts;
    BoxCapture& boxes = posts;
};

TEST_F(WinePort, OpenSetsTheLineAndCloseRestoresIt) {
    SimPeer sim({"--speed", "1"});
    auto link = Open();
    ASSERT_NE(link->GetPortHandle(), InvalidPortHandle);
    EXPECT_FALSE(link->Suspended());
    EXPECT_EQ(link->GetTimeouts().ReadTotalTimeoutConstant, 20u);
    // The simulator streams only once the line is raw 8N1 and off its idle speed.
    ASSERT_TRUE(sim.WaitLine("sending: ")) << sim.Output();
    EXPECT_TRUE(Recorder::WaitUntil([&] { return posts.RxBytes() >= 200; }));
    ExpectChunksOf1To64();
    link.reset();
    // Back at the saved settings, the simulator's idle speed: it sees the monitor go.
    EXPECT_TRUE(sim.WaitLine("line down: ")) << sim.Output();
    EXPECT_TRUE(boxes.shown.empty());
}

TEST_F(WinePort, EveryByteArrivesInOrderThenTheLostLineIsToldOnce) {
    SimPeer sim({"--frames", "300"});
    auto link = Open();
    // At the end the simulator closes its terminal: Wine reports a broken pipe.
    ASSERT_TRUE(sim.WaitLine("sent: ", 15s)) << sim.Output();
    ASSERT_TRUE(Recorder::WaitUntil([&] { return !posts.Of(WM_LINELOST).empty(); }));
    EXPECT_EQ(posts.Of(WM_LINELOST)[0].wParam, static_cast<std::uintptr_t>(ERROR_BROKEN_PIPE));
    EXPECT_EQ(posts.Of(WM_LINELOST)[0].lParam, 10);
    EXPECT_EQ(Drain(*link), sim.Sent());
    EXPECT_EQ(posts.RxBytes(), sim.Sent().size());
    ExpectChunksOf1To64();
    std::this_thread::sleep_for(500ms); // the name leads nowhere now: retries, no new loss
    EXPECT_EQ(posts.Of(WM_LINELOST).size(), 1u);
}

TEST_F(WinePort, WritePortReachesTheOtherSide) {
    SimPeer sim({"--hold"});
    auto link = Open();
    ASSERT_TRUE(sim.WaitLine("held: ")) << sim.Output();
    std::array<std::uint8_t, TestPacketLength> packet{};
    FillTestPacket(packet);
    ASSERT_TRUE(CompletePacket(packet.data()));
    std::uint32_t written = 0;
    EXPECT_TRUE(link->WritePort(packet.data(), TestPacketLength, &written));
    EXPECT_EQ(written, TestPacketLength);
    EXPECT_TRUE(sim.WaitLine("rx: 2B 0D 01 08 00 01 02 03 04 05 06 07 A3\n")) << sim.Output();
}

TEST_F(WinePort, QuietLinePostsNothingAndCloseEndsThePendingReadPromptly) {
    SimPeer sim({"--hold"});
    auto link = Open();
    ASSERT_TRUE(sim.WaitLine("held: ")) << sim.Output();
    std::this_thread::sleep_for(300ms); // some fifteen reads end at their time-out
    EXPECT_TRUE(posts.Of(WM_RXDATA).empty());
    const auto start = Clock::now();
    link.reset();
    // One settling pause of 60 ms, and the stop signal ends the pending read at once.
    EXPECT_LT(MsSince(start), 1000);
}

TEST_F(WinePort, LostLineComesBackWhenTheDeviceReturns) {
    SimPeer sim({"--unplug-after", "0.5", "--replug-after", "0.5"});
    auto link = Open();
    ASSERT_TRUE(Recorder::WaitUntil([&] { return !posts.Of(WM_LINEBACK).empty(); }, 10s))
        << sim.Output();
    const std::size_t before = posts.RxBytes();
    EXPECT_TRUE(Recorder::WaitUntil([&] { return posts.RxBytes() > before + 100; }))
        << "no bytes after the line came back";
    EXPECT_EQ(posts.Of(WM_LINELOST).size(), 1u);
}

TEST(WineOpen, MissingPortShowsTheSystemTextUnderGetLastError) {
    BoxCapture boxes;
    ThreadIO link(true, 77, 62500, &boxes);
    EXPECT_EQ(link.GetPortHandle(), InvalidPortHandle);
    EXPECT_EQ(link.OpenError().Step, OpenStep::Open);
    ASSERT_EQ(boxes.shown.size(), 1u);
    EXPECT_EQ(boxes.shown[0].caption, "GetLastError");
    EXPECT_EQ(boxes.shown[0].FirstLine(), SystemErrorText(ERROR_FILE_NOT_FOUND));
    EXPECT_FALSE(boxes.shown[0].text.empty());
}

TEST(WineOpen, PortDeniedIsOneThatAnotherProgramHasOpen) {
    for (const int err : {ERROR_ACCESS_DENIED, ERROR_SHARING_VIOLATION}) {
        SCOPED_TRACE(err);
        OpenFacts facts = SerialDevice::Create()->Explain(DeviceName(3), OpenStep::Open, err);
        EXPECT_EQ(facts.Cause, OpenCause::Busy);
        facts.Name = "COM3";
        EXPECT_NE(OpenFailureAdvice(facts).find("Another program has \\\\.\\com3 open"),
                  std::string::npos)
            << OpenFailureAdvice(facts);
    }
}

TEST(WineOpen, EachFailureIsExplainedByItsCause) {
    struct Case {
        OpenStep step;
        int err;
        OpenCause cause;
    };
    const Case cases[] = {
        {OpenStep::Open, ERROR_FILE_NOT_FOUND, OpenCause::NoDevice},
        {OpenStep::Open, ERROR_PATH_NOT_FOUND, OpenCause::NoDevice},
        {OpenStep::Open, ERROR_GEN_FAILURE, OpenCause::Other},
        {OpenStep::SetSettings, ERROR_INVALID_PARAMETER, OpenCause::Refused},
        {OpenStep::GetTimeouts, ERROR_INVALID_PARAMETER, OpenCause::Other},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(std::string(OpenStepName(c.step)) + " " + std::to_string(c.err));
        const OpenFacts facts = SerialDevice::Create()->Explain(DeviceName(3), c.step, c.err);
        EXPECT_EQ(facts.Cause, c.cause);
        EXPECT_TRUE(facts.ComNames);
        EXPECT_EQ(facts.Device, DeviceName(3));
    }
}

TEST_F(WinePort, TypedNameOpensItsPortAndTheLineComesBackUnderIt) {
    SimPeer sim({"--unplug-after", "0.5", "--replug-after", "0.5"});
    ThreadIO link(true, 0, 62500, &posts, "\\\\.\\COM10");
    ASSERT_NE(link.GetPortHandle(), InvalidPortHandle)
        << (boxes.shown.empty() ? "" : boxes.shown[0].text);
    EXPECT_EQ(link.PortName(), "COM10");
    ASSERT_TRUE(Recorder::WaitUntil([&] { return !posts.Of(WM_LINEBACK).empty(); }, 10s))
        << sim.Output();
    const std::size_t before = posts.RxBytes();
    EXPECT_TRUE(Recorder::WaitUntil([&] { return posts.RxBytes() > before + 100; }));
}

TEST_F(WinePort, SettingsTheDriverRefusesAreSaidSo) {
    SimPeer sim({"--hold"});
    // 0 baud is refused as a driver refuses a rate it cannot make, on the same way to the box.
    ThreadIO link(true, 10, 0, &posts);
    EXPECT_EQ(link.GetPortHandle(), InvalidPortHandle);
    EXPECT_EQ(link.OpenError().Step, OpenStep::SetSettings);
    ASSERT_EQ(boxes.shown.size(), 1u);
    EXPECT_EQ(boxes.shown[0].FirstLine(), SystemErrorText(ERROR_INVALID_PARAMETER));
    EXPECT_NE(boxes.shown[0].text.find("COM10 -> \\\\.\\com10: writing the line settings "
                                       "failed\n\nThe driver of \\\\.\\com10 did not take the "
                                       "line settings."),
              std::string::npos)
        << boxes.shown[0].text;
}

} // namespace
} // namespace vemor::test
