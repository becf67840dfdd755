// The adapter pulled out and put back again and again during a capture.
#include "../tools/SimKit.h"
#include "../ui/UiKit.h"

#include <QPushButton>
#include <QStatusBar>

#include <clocale>
#include <csignal>

namespace vemor::e2e {
namespace {

using simtest::Bytes;
using simtest::Child;
using vemor::testing::ReadBytes;

// Counts the serial layer's line notifications as the window receives them.
struct LineEvents : QObject {
    int lost = 0;
    int back = 0;
    QStringList shown;
    bool eventFilter(QObject*, QEvent* e) override {
        const auto type = static_cast<unsigned>(e->type());
        if (type == WM_LINELOST) {
            ++lost;
        } else if (type == WM_LINEBACK) {
            ++back;
        } else {
            return false;
        }
        // The status bar text is set by the window's own handling, right after this filter.
        QTimer::singleShot(0, [this] { shown << Form1->StatusBar1->currentMessage(); });
        return false;
    }
};

using Unplug = uitest::WindowTest;

TEST_F(Unplug, TwentyUnplugsAreToldAndTheCaptureHoldsEveryByteReadWhileUp) {
    std::setlocale(LC_TIME, "C");
    const int cycles = 20;
    const std::string sentPath = (work_ / "sent.bin").string();
    Child sim(VEMOR_SIM_EXE,
              {"--speed", "4", "--seed", "7", "--unplug-after", "0.25", "--replug-after", "0.2",
               "--cycles", std::to_string(cycles), "--hold", "--sent", sentPath});
    ASSERT_TRUE(QTest::qWaitFor([&] { return sim.Line("link: ").has_value(); }, 10000));
    LineEvents events;
    Form1->installEventFilter(&events);
    Click(Form1->Button1);
    ASSERT_EQ(Form1->Button1->text(), QStringLiteral("Close"));
    Click(Form1->Button2);
    ASSERT_TRUE(Form1->CaptureStream);
    const std::string capture = Form1->CaptureStream->Name();
    ASSERT_TRUE(QTest::qWaitFor([&] { return sim.Line("held: ").has_value(); }, 10000));
    sim.Signal(SIGUSR1);

    ASSERT_TRUE(QTest::qWaitFor([&] { return events.back == cycles; }, 60000))
        << events.lost << " lost, " << events.back << " back\n"
        << sim.Output();
    // Some reading after the last return, then the ECU stops.
    const auto before = Form1->CaptureStream->BodyBytes();
    ASSERT_TRUE(QTest::qWaitFor([&] { return Form1->CaptureStream->BodyBytes() > before + 1000; }));
    EXPECT_EQ(events.lost, cycles);
    sim.Signal(SIGTERM);
    ASSERT_TRUE(QTest::qWaitFor([&] { return sim.Exited().has_value(); }, 10000));
    // The simulator's end takes its terminal away too: one loss more, told like the others.
    ASSERT_TRUE(QTest::qWaitFor([&] { return events.lost == cycles + 1; }, 5000));
    QTest::qWait(50);

    EXPECT_EQ(events.back, cycles);
    EXPECT_EQ(events.shown.filter(QStringLiteral("line is lost")).size(), cycles + 1);
    EXPECT_EQ(events.shown.filter(QStringLiteral("line is back")).size(), cycles);
    EXPECT_EQ(Form1->Button1->text(), QStringLiteral("Close")); // no operator action needed

    delete Form1;
    Form1 = nullptr;
    const Bytes sent = ReadBytes(sentPath);
    const Bytes file = ReadBytes(capture);
    ASSERT_GE(file.size(), CaptureHeaderLength);
    EXPECT_GT(sent.size(), 20000u);
    EXPECT_EQ(Bytes(file.begin() + CaptureHeaderLength, file.end()), sent)
        << "the capture differs from the bytes written while the line was up";
}

} // namespace
} // namespace vemor::e2e
