// The adapter pulled out and put back again and again during a capture.
#include "../tools/SimKit.h"
#include "../ui/UiKit.h"

#include <QPushButton>
#include <QStatusBar>

#include "vemor/capture/Journal.h"
#include "vemor/capture/JournalRecord.h"
#include "vemor/capture/View.h"

#include <clocale>
#include <csignal>
#include <regex>

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
        QTimer::singleShot(0, [this] { shown << Form1->MessageField->text(); });
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

// The simulator's "unplugged: after N bytes" counts, in order.
std::vector<std::uint64_t> UnplugOffsets(const std::string& output) {
    std::vector<std::uint64_t> offsets;
    const std::regex unplugged("unplugged: after ([0-9]+) bytes");
    for (std::sregex_iterator m(output.begin(), output.end(), unplugged), end; m != end; ++m) {
        offsets.push_back(std::stoull((*m)[1]));
    }
    return offsets;
}

int HeaderSeconds(const Bytes& file, std::size_t at) {
    int h = 0, m = 0, s = 0;
    const std::string text(reinterpret_cast<const char*>(file.data()) + at, 8);
    EXPECT_EQ(std::sscanf(text.c_str(), "%d:%d:%d", &h, &m, &s), 3) << text;
    return (h * 60 + m) * 60 + s;
}

TEST_F(Unplug, TheJournalPlacesUnplugsACloseAndMarksWhereTheBytesSay) {
    std::setlocale(LC_TIME, "C");
    const std::string sentPath = (work_ / "sent.bin").string();
    Child sim(VEMOR_SIM_EXE, {"--speed", "2", "--seed", "3", "--unplug-after", "0.6",
                              "--replug-after", "0.5", "--cycles", "2", "--sent", sentPath});
    ASSERT_TRUE(QTest::qWaitFor([&] { return sim.Line("link: ").has_value(); }, 10000));
    LineEvents events;
    Form1->installEventFilter(&events);
    Click(Form1->Button1);
    Click(Form1->Button2);
    ASSERT_TRUE(Form1->CaptureStream);
    const std::string capture = Form1->CaptureStream->Name();
    ASSERT_TRUE(QTest::qWaitFor([&] { return events.back == 2; }, 20000)) << sim.Output();
    QTest::qWait(300);
    Form1->Mark1Click(Form1->Mark1);
    QTest::qWait(300);
    Form1->MarkWithNote1Click(Form1->MarkWithNote1,
                              [] { return std::optional<std::string>("kick back,\t3000 rpm"); });
    QTest::qWait(300);
    Click(Form1->Button1); // Close
    ASSERT_TRUE(QTest::qWaitFor([&] { return sim.Line("line down: ").has_value(); }, 5000));
    QTest::qWait(400);
    Click(Form1->Button1); // Open again
    ASSERT_EQ(Form1->Button1->text(), QStringLiteral("Close"));
    QTest::qWait(600);
    Form1->StopCapture1Click(Form1->StopCapture1);
    ASSERT_FALSE(Form1->CaptureStream);
    sim.Signal(SIGTERM);
    ASSERT_TRUE(QTest::qWaitFor([&] { return sim.Exited().has_value(); }, 10000));

    const Bytes file = ReadBytes(capture);
    const Bytes sent = ReadBytes(sentPath);
    ASSERT_GE(file.size(), CaptureHeaderLength);
    const std::uint64_t body = file.size() - CaptureHeaderLength;
    const std::optional<JournalRecord> journal = ReadJournalOf(capture);
    ASSERT_TRUE(journal);
    EXPECT_EQ(journal->PassedOver(), 0u);
    std::vector<std::string> events_;
    std::vector<std::uint64_t> lost, back, closed, opened;
    for (const JournalEntry& e : journal->Entries()) {
        if (e.event != journal::Time) {
            events_.push_back(e.event);
        }
        auto* list = e.event == journal::LineLost     ? &lost
                     : e.event == journal::LineBack   ? &back
                     : e.event == journal::PortClosed ? &closed
                     : e.event == journal::PortOpened ? &opened
                                                      : nullptr;
        if (list != nullptr) {
            list->push_back(e.offset);
        }
    }
    EXPECT_EQ(events_, (std::vector<std::string>{"start", "port-opened", "line-lost", "line-back",
                                                 "line-lost", "line-back", "mark", "mark",
                                                 "port-closed", "port-opened", "stop"}));
    // Every byte the simulator wrote while the port was open and the line up is in the body,
    // and each loss lies where the simulator pulled the plug.
    const std::vector<std::uint64_t> unplugs = UnplugOffsets(sim.Output());
    ASSERT_EQ(unplugs.size(), 2u) << sim.Output();
    EXPECT_EQ(lost, unplugs);
    EXPECT_EQ(back, unplugs);
    ASSERT_EQ(closed.size(), 1u);
    EXPECT_EQ(opened, (std::vector<std::uint64_t>{0, closed[0]}));
    EXPECT_EQ(journal->Entries().back().offset, body);
    EXPECT_EQ(Bytes(file.begin() + CaptureHeaderLength,
                    file.begin() + CaptureHeaderLength + static_cast<long>(closed[0])),
              Bytes(sent.begin(), sent.begin() + static_cast<long>(closed[0])));
    ASSERT_EQ(journal->Marks().size(), 2u);
    EXPECT_EQ(journal->Marks()[1].note, "kick back,\t3000 rpm");
    EXPECT_GT(journal->Marks()[0].offset, unplugs[1]);
    EXPECT_LE(journal->Marks()[1].offset, closed[0]);

    // The journal's span is the header's, to the header's whole seconds.
    const int headerSpan = HeaderSeconds(file, 8) - HeaderSeconds(file, 0);
    EXPECT_NEAR(static_cast<double>(journal->SpanMs()) / 1000, headerSpan, 1.0);
    ASSERT_EQ(journal->Spells().size(), 3u);
    EXPECT_GT(journal->Spells()[0].toMs - journal->Spells()[0].fromMs, 300);

    // The viewer's X runs by the journal's clock: to the header's span, with a band for
    // each spell and a line for each mark.
    const decode::Loaded loaded = decode::LoadCapture(capture);
    ASSERT_EQ(loaded.result.status, decode::Status::Ok) << loaded.result.message;
    const double full = decode::FullWidth(*loaded.index, decode::XUnit::Seconds);
    EXPECT_NEAR(full, headerSpan, 1.0);
    const decode::View view =
        decode::BuildView(*loaded.index, decode::XUnit::Seconds, 0, full, 800);
    EXPECT_EQ(view.bands.size(), 3u);
    EXPECT_EQ(view.marks.size(), 2u);
}

} // namespace
} // namespace vemor::e2e
