// The monitor's session against a recording window and a scripted line: the operator's
// commands, the drain into the capture and the display, and what the status bar says. The
// same suite runs on Linux and, cross-built, under Wine.
#include "../serial/SerialKit.h"
#include "../support/FakeWindow.h"
#include "../support/Files.h"
#include "../support/Frames.h"
#include "../support/TempDir.h"

#include "vemor/Capture.h"
#include "vemor/Messages.h"
#include "vemor/Packet.h"
#include "vemor/Values.h"
#include "vemor/capture/JournalRecord.h"

#include <gtest/gtest.h>

#include <filesystem>
#include <sstream>

namespace vemor::testing {
namespace {

class SessionTest : public ::testing::Test {
protected:
    void SetUp() override { Session::CaptureNames().SetCounter(0); }
    void TearDown() override { session.Shutdown(); }

    // Each open makes a link on a scripted device of its own; device is the newest.
    Session::LinkMaker Maker() {
        return [this](const PortChoice& port, NotifyHandle* notify) {
            auto owned = std::make_unique<test::ScriptedDevice>();
            device = owned.get();
            owned->With([&](test::ScriptedDevice::State& s) {
                s.present = present;
                s.saveError = saveError;
                s.releaseWrite = true;
            });
            ++links;
            return std::make_unique<ThreadIO>(true, port.Number, Session::BaudRate, notify,
                                              std::move(owned));
        };
    }
    // The line delivers bytes in reads of up to 64, as the device would.
    void Deliver(const Bytes& bytes) {
        device->With([&](test::ScriptedDevice::State& s) {
            for (std::size_t at = 0; at < bytes.size(); at += ThreadIO::ReadSize) {
                const std::size_t n = std::min<std::size_t>(ThreadIO::ReadSize, bytes.size() - at);
                s.reads.emplace_back(bytes.begin() + static_cast<long>(at),
                                     bytes.begin() + static_cast<long>(at + n));
            }
        });
    }
    // Delivered and drained through the notifications.
    void Receive(const Bytes& bytes) {
        const std::size_t before = window.display.series[0].size();
        const std::size_t frames = Parse(bytes).frames.size();
        Deliver(bytes);
        ASSERT_TRUE(window.PumpUntil(session, [&] {
            return window.display.series[0].size() == before + frames &&
                   SerialThread->GetQueuedBytes() == 0;
        }));
    }
    void Open() {
        ASSERT_EQ(window.caption, "Open");
        session.OpenOrClose();
        ASSERT_EQ(window.caption, "Close");
    }

    TempDir dir{"vemor-session", TempDir::Enter::Yes};
    FakeWindow window;
    std::int64_t now = 0;
    Session session{window, [this] { return now; }, Maker()};
    test::ScriptedDevice* device = nullptr; // the newest link's; valid while it lives
    int links = 0;
    bool present = true;
    int saveError = 0;
};

TEST_F(SessionTest, OpenCloseOpenBuildsANewLinkEachTimeAndSetsTheCommands) {
    for (int round = 1; round <= 2; ++round) {
        SCOPED_TRACE(round);
        Open();
        EXPECT_NE(SerialThread, nullptr);
        EXPECT_EQ(links, round);
        EXPECT_TRUE(window.enabled[Command::SaveFile]);
        EXPECT_TRUE(window.enabled[Command::Test]);
        EXPECT_TRUE(window.ticking) << "the health field follows an open line";
        session.OpenOrClose();
        EXPECT_EQ(window.caption, "Open");
        EXPECT_EQ(SerialThread, nullptr);
        EXPECT_FALSE(window.enabled[Command::SaveFile]);
        EXPECT_FALSE(window.enabled[Command::Test]);
        EXPECT_FALSE(window.ticking);
        EXPECT_EQ(window.healthField, "");
    }
}

TEST_F(SessionTest, FailedOpenLeavesThePortClosedAndSaysWhatTheBoxDoesNot) {
    struct Case {
        const char* what;
        bool present;
        int saveError;
        std::size_t boxes;
        const char* status; // the start of the status text
    };
    const Case cases[] = {
        {"no device", false, 0, 1, ""},
        {"settings unreadable", true, 25, 0, "COM7: the line settings cannot be read ("},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.what);
        present = c.present;
        saveError = c.saveError;
        window.boxes.clear();
        session.OpenOrClose();
        EXPECT_EQ(window.caption, "Open");
        EXPECT_EQ(SerialThread, nullptr);
        EXPECT_FALSE(window.enabled[Command::SaveFile]);
        EXPECT_EQ(window.boxes.size(), c.boxes);
        EXPECT_EQ(window.status.rfind(c.status, 0), 0u) << window.status;
    }
}

TEST_F(SessionTest, FramesReachTheDisplayAndEveryByteTheCapture) {
    Open();
    session.SaveFile();
    ASSERT_NE(session.CaptureStream, nullptr);
    EXPECT_EQ(session.CaptureStream->Name(), "TMP1.$$$");
    // A broken frame first, a frame split across reads on the way.
    Bytes line = {0x10, 0x20, 0xFF, 0x00};
    const Bytes frames = CountingFrames(40);
    line.insert(line.end(), frames.begin(), frames.end());
    Receive(line);
    EXPECT_EQ(window.display.series[0].size(), 40u);
    const FrameTexts last = LabelTexts(frames.data() + frames.size() - FrameLength, '.');
    EXPECT_EQ(window.display.labels[static_cast<int>(Label::RPM)], last.Rpm);
    EXPECT_EQ(session.Health().Rejected(), 0u) << "the line was joined in a frame";
    session.Shutdown();
    const Bytes file = ReadBytes(dir / "TMP1.$$$");
    ASSERT_EQ(file.size(), CaptureHeaderLength + line.size());
    EXPECT_TRUE(std::equal(line.begin(), line.end(), file.begin() + CaptureHeaderLength));
    EXPECT_NE(file[CaptureStopOffset], 0) << "no stop time";
}

// What the reader had queued when it stopped is drained, not dropped with the queue.
// Frames of the wrong length are counted as the line's faults, except the one the monitor
// made itself: the rest of a frame it joined at Open, or cut with Save File.
TEST_F(SessionTest, OnlyTheLinesFaultsAreCountedAsRejected) {
    const Bytes frame = CountingFrames(1);
    const Bytes half(frame.begin(), frame.begin() + 15);
    const Bytes rest(frame.begin() + 15, frame.end());
    const Bytes broken = {1, 2, 3, 0xFF, 0x00};
    struct Case {
        const char* what;
        std::vector<Bytes> before, after; // around a Save File
        std::uint64_t rejected;
    };
    const Case cases[] = {
        {"joined in a frame", {rest, frame}, {}, 0},
        {"a short frame on the line", {frame, broken, frame}, {}, 1},
        {"Save File in a frame", {frame, half}, {rest, frame}, 0},
        {"Save File between frames, then a short one", {frame}, {frame, broken}, 1},
        {"joined in a frame, then a short one", {rest, broken}, {}, 1},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.what);
        Open();
        for (const Bytes& b : c.before) {
            session.FeedBytes(b.data(), b.size());
        }
        if (!c.after.empty()) {
            session.SaveFile();
        }
        for (const Bytes& b : c.after) {
            session.FeedBytes(b.data(), b.size());
        }
        EXPECT_EQ(session.Health().Rejected(), c.rejected);
        session.OpenOrClose();
        session.StopCapture();
    }
}

TEST_F(SessionTest, BytesQueuedWhenTheLinkEndsReachTheCaptureAndTheDisplay) {
    for (const bool shutdown : {false, true}) {
        SCOPED_TRACE(shutdown ? "window destroyed" : "Close");
        Open();
        session.SaveFile();
        const std::string name = session.CaptureStream->Name();
        const Bytes line = CountingFrames(50);
        Deliver(line);
        ASSERT_TRUE(test::Recorder::WaitUntil(
            [&] { return SerialThread->GetQueuedBytes() == line.size(); }));
        const std::size_t shownBefore = window.display.series[0].size();
        if (shutdown) {
            session.Shutdown();
        } else {
            session.OpenOrClose();
            EXPECT_NE(session.CaptureStream, nullptr) << "Close ends no capture";
            session.StopCapture();
        }
        EXPECT_EQ(window.display.series[0].size(), shownBefore + 50);
        const Bytes file = ReadBytes(dir / name);
        ASSERT_EQ(file.size(), CaptureHeaderLength + line.size());
        EXPECT_TRUE(std::equal(line.begin(), line.end(), file.begin() + CaptureHeaderLength));
    }
}

TEST_F(SessionTest, CloseKeepsTheCaptureAndTheNextOpenAppendsToIt) {
    Open();
    session.SaveFile();
    const Bytes first = CountingFrames(3);
    Receive(first);
    session.OpenOrClose();
    EXPECT_TRUE(window.ticking) << "the capture field still counts";
    Open();
    const Bytes second = CountingFrames(4, 100);
    Receive(second);
    session.SaveFile(); // finishes TMP1, starts TMP2
    Bytes both = first;
    both.insert(both.end(), second.begin(), second.end());
    const Bytes file = ReadBytes(dir / "TMP1.$$$");
    ASSERT_EQ(file.size(), CaptureHeaderLength + both.size());
    EXPECT_TRUE(std::equal(both.begin(), both.end(), file.begin() + CaptureHeaderLength));
}

TEST_F(SessionTest, SaveFileTwiceSharesOneTimeTextAndSkipsNamesInUse) {
    std::ofstream(dir / "TMP1.$$$") << "earlier run";
    std::filesystem::create_directory(dir / "TMP2.$$$");
    Open();
    session.SaveFile();
    EXPECT_TRUE(window.enabled[Command::StopCapture]);
    session.SaveFile();
    session.StopCapture();
    EXPECT_FALSE(window.enabled[Command::StopCapture]);
    EXPECT_EQ(session.CaptureStream, nullptr) << "Stop Capture starts none";
    EXPECT_EQ(ReadBytes(dir / "TMP1.$$$").size(), 11u) << "a file of an earlier run changed";
    const Bytes a = ReadBytes(dir / "TMP3.$$$");
    const Bytes b = ReadBytes(dir / "TMP4.$$$");
    ASSERT_EQ(a.size(), 16u);
    ASSERT_EQ(b.size(), 16u);
    EXPECT_TRUE(std::equal(a.begin() + 8, a.end(), b.begin()))
        << "stop time and next start time differ";
    EXPECT_TRUE(window.errors.empty());
}

TEST_F(SessionTest, NotificationsWithoutBytesOrAfterCloseChangeNothing) {
    session.OnRxData(33); // no link
    Open();
    session.SaveFile();
    const Bytes frame = CountingFrames(1);
    ASSERT_TRUE(SerialThread->AppendChunk(frame.data(), static_cast<std::uint32_t>(frame.size())));
    session.OnRxData(0);
    EXPECT_EQ(SerialThread->GetQueuedBytes(), frame.size()) << "a count of 0 drains nothing";
    session.OnRxData(33);
    EXPECT_EQ(window.display.series[0].size(), 1u);
    EXPECT_EQ(session.CaptureStream->BodyBytes(), frame.size());
}

TEST_F(SessionTest, LinkMessagesAreToldAndGreyTheLabels) {
    Open();
    struct Case {
        unsigned message;
        std::uintptr_t wParam;
        std::intptr_t lParam;
        bool lost;
        const char* status;
    };
    const std::string lostText = "COM7: the line is lost (" + SystemText(5) +
                                 "). Waiting for the device to return; Close stops waiting.";
    const Case cases[] = {
        {WM_LINELOST, 5, 7, true, lostText.c_str()},
        {WM_LINEBACK, 0, 7, false, "COM7: the line is back; reading goes on."},
        {WM_READERFAULT, 2, 0, false,
         "COM7: the reader ran out of memory (2 times so far) and goes on; no received byte "
         "was lost."},
        {WM_READERFAULT, 3, 64, false,
         "COM7: the reader ran out of memory (3 times so far) and goes on; 64 received bytes "
         "were lost."},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.status);
        EXPECT_TRUE(session.OnLinkMessage(c.message, c.wParam, c.lParam));
        EXPECT_EQ(window.status, c.status);
        EXPECT_EQ(window.lineLost, c.lost);
    }
    // A fault's notification drains what waited behind the notifications that failed.
    const Bytes frame = CountingFrames(1);
    ASSERT_TRUE(SerialThread->AppendChunk(frame.data(), static_cast<std::uint32_t>(frame.size())));
    session.OnLinkMessage(WM_READERFAULT, 4, 0);
    EXPECT_EQ(SerialThread->GetQueuedBytes(), 0u);
    EXPECT_FALSE(session.OnLinkMessage(WM_RXDATA + 50, 0, 0)) << "not the link's";
    // Close: what the line said goes, and what it posted just before it.
    window.Post(WM_LINELOST, 5, 7);
    session.OpenOrClose();
    window.Pump(session);
    EXPECT_EQ(window.status, "");
    EXPECT_EQ(window.Queued(), 0u);
}

TEST_F(SessionTest, StatusFieldsFollowTheCaptureAndTheLine) {
    Open();
    session.SaveFile();
    Receive(CountingFrames(189));
    now += 1000;
    session.Tick();
    EXPECT_EQ(window.captureField,
              CapturingText("TMP1.$$$", 189 * 33, 1, session.DecimalSeparator()));
    EXPECT_EQ(window.healthField.rfind("189 frames/s, 0 rejected", 0), 0u) << window.healthField;
    now += 2000;
    session.Tick();
    EXPECT_EQ(window.healthField.rfind("no data for 2 s", 0), 0u) << window.healthField;
    session.StopCapture();
    EXPECT_EQ(window.captureField, "");
    EXPECT_TRUE(window.ticking);
    session.OpenOrClose();
    EXPECT_FALSE(window.ticking);
    EXPECT_EQ(window.healthField, "");
}

// A tick nearly due is taken at a paint, and the window's ticker starts afresh from it, so
// that a streaming line's status fields change in the screen updates its frames cause.
TEST_F(SessionTest, PaintTickTakesANearlyDueTickAndRestartsTheTicker) {
    const struct {
        bool open;
        int sinceTick;
        bool taken;
    } rows[] = {
        {true, 0, false},
        {true, Session::TickMs - Session::TickEarlyMs - 1, false},
        {true, Session::TickMs - Session::TickEarlyMs, true},
        {true, 3 * Session::TickMs, true},
        {false, 3 * Session::TickMs, false}, // nothing to tick for
    };
    for (const auto& row : rows) {
        SCOPED_TRACE(::testing::Message() << row.open << " " << row.sinceTick);
        if (row.open) {
            Open();
        }
        session.Tick();
        window.healthField = "unchanged";
        const int starts = window.tickerStarts;
        now += row.sinceTick;
        session.TickAtPaint();
        EXPECT_EQ(window.healthField != "unchanged", row.taken) << window.healthField;
        EXPECT_EQ(window.tickerStarts, starts + (row.taken ? 1 : 0));
        if (row.open) {
            session.OpenOrClose();
        }
    }
}

TEST_F(SessionTest, SleepIsHeldOffFromTheFirstCaptureToTheLastAndTheFieldSaysSo) {
    for (const bool granted : {true, false}) {
        SCOPED_TRACE(granted);
        window.sleepGranted = granted;
        window.sleepHolds.clear();
        session.SaveFile();
        session.SaveFile(); // the next capture takes the hold over, without a gap
        EXPECT_EQ(window.captureField.ends_with("; sleep held off"), granted)
            << window.captureField;
        session.StopCapture();
        EXPECT_EQ(window.sleepHolds, (std::vector<bool>{true, false}));
        session.SaveFile();
        session.Shutdown();
        EXPECT_EQ(window.sleepHolds, (std::vector<bool>{true, false, true, false}));
        EXPECT_FALSE(window.sleepHeld);
    }
}

// Each event of the journal, as (offset, event), in order; the events named `withDetail`
// carry their detail after a space.
std::vector<std::pair<std::uint64_t, std::string>>
JournalEvents(const std::string& name, const std::string& withDetail = {}) {
    std::vector<std::pair<std::uint64_t, std::string>> events;
    std::istringstream lines(ReadText(name));
    std::string line;
    std::getline(lines, line); // the heading
    while (std::getline(lines, line)) {
        std::vector<std::string> columns;
        std::istringstream cells(line);
        for (std::string cell; std::getline(cells, cell, '\t');) {
            columns.push_back(cell);
        }
        EXPECT_GE(columns.size(), 4u) << line;
        if (columns.size() >= 4) {
            const bool detail = columns[3] == withDetail && columns.size() >= 5;
            events.emplace_back(std::stoull(columns[0]),
                                columns[3] + (detail ? " " + columns[4] : std::string()));
        }
    }
    return events;
}

TEST_F(SessionTest, TheJournalTellsEachEventAtItsOffsetAndAnOrphanJournalIsNeverJoined) {
    WriteFile("TMP1.$$$.txt", std::string("left from an earlier run\n"));
    Open();
    session.SaveFile();
    ASSERT_EQ(session.CaptureStream->Name(), "TMP2.$$$") << "the orphan's name was taken";
    Receive(CountingFrames(10));
    now += 3000; // silence
    Receive(CountingFrames(10));
    for (int k = 0; k < 6; ++k) { // a steady line: a time mark once 5 s have passed
        now += 900;
        Receive(CountingFrames(1));
    }
    session.OnLinkMessage(WM_LINELOST, 5, 0);
    session.OnLinkMessage(WM_LINEBACK, 0, 0);
    Receive(CountingFrames(5));
    session.OpenOrClose();
    Open();
    session.StopCapture();
    using E = std::pair<std::uint64_t, std::string>;
    EXPECT_EQ(JournalEvents("TMP2.$$$.txt"), (std::vector<E>{{0, "start"},
                                                             {0, "port-opened"},
                                                             {10 * 33, "time"},
                                                             {10 * 33, "time"},
                                                             {26 * 33, "time"},
                                                             {26 * 33, "line-lost"},
                                                             {26 * 33, "line-back"},
                                                             {31 * 33, "port-closed"},
                                                             {31 * 33, "port-opened"},
                                                             {31 * 33, "stop"}}));
    // The silence's two marks are its length apart.
    std::istringstream text(ReadText("TMP2.$$$.txt"));
    std::string line, silence;
    for (int k = 0; k < 5 && std::getline(text, line); ++k) {
        silence += k >= 3 ? line + "\n" : "";
    }
    const JournalRecord marks(silence);
    ASSERT_EQ(marks.Entries().size(), 2u) << silence;
    EXPECT_EQ(marks.SpanMs(), 3000);
    EXPECT_EQ(ReadText("TMP1.$$$.txt"), "left from an earlier run\n");
    EXPECT_FALSE(std::filesystem::exists("TMP1.$$$"));
}

TEST_F(SessionTest, MarksAreNumberedPerCaptureAtTheOffsetOfTheirAskingAndSaidWhenNotRecorded) {
    Open();
    Receive(CountingFrames(5));
    session.AddMark();
    EXPECT_TRUE(window.status.starts_with("Mark 1 at ")) << window.status;
    EXPECT_TRUE(window.status.ends_with(", not recorded: no capture runs")) << window.status;

    session.SaveFile();
    Receive(CountingFrames(10));
    session.AddMark();
    EXPECT_EQ(window.status, "Mark 1 at " + TimeText(LocalTimeOfDay(), TimeFormatFromLocale()))
        << "may differ only when the second turned in between";
    Receive(CountingFrames(2));
    const Session::MarkPlace asked = session.PlaceMark();
    Receive(CountingFrames(3)); // while the note is written
    session.AddMark(asked, "tab\there\nnext line");
    session.AddMark("plain");
    const Session::MarkPlace stale = session.PlaceMark();
    session.SaveFile();
    session.AddMark();
    session.AddMark(stale, "late");
    EXPECT_TRUE(
        window.status.ends_with(", not recorded: its capture ended before the note was given"))
        << window.status;
    session.StopCapture();

    using E = std::pair<std::uint64_t, std::string>;
    EXPECT_EQ(JournalEvents("TMP1.$$$.txt", "mark"),
              (std::vector<E>{{0, "start"},
                              {0, "port-opened"},
                              {10 * 33, "mark 1"},
                              {12 * 33, "mark 2: tab\\there\\nnext line"},
                              {15 * 33, "mark 3: plain"},
                              {15 * 33, "stop"}}));
    EXPECT_EQ(JournalEvents("TMP2.$$$.txt", "mark"),
              (std::vector<E>{{0, "start"}, {0, "port-opened"}, {0, "mark 1"}, {0, "stop"}}));
    EXPECT_EQ(window.display.marks, (std::vector<double>{4, 14, 16, 19, 19, 19}));
}

// Seven minutes of the line in steps of 100 ms, the line lost for 10 s, the port closed for
// 5 s and the line silent for 3 s on the way, then the last minutes saved: the body is what
// arrived in the span, the journal tells the time marks and the events at their offsets, and a
// capture running beside it stays whole.
TEST_F(SessionTest, SaveLastMinutesSavesWhatTheSpanReceivedWithItsJournal) {
    constexpr int Seconds = 7 * 60, PerStep = 625;
    const auto quiet = [](int t) {
        return (t >= 200 && t < 210) || (t >= 300 && t < 305) || (t >= 350 && t < 353);
    };
    struct Save {
        int minutes;
        int from; // the first second saved
        const char* shortText;
    };
    const Save saves[] = {{5, 120, ""}, {10, 0, "; bytes came only in the last 07:00"}};
    int names = 0;
    for (const bool capturing : {false, true}) {
        SCOPED_TRACE(capturing ? "beside a capture" : "no capture");
        now = 0;
        Session s{window, [this] { return now; }, Maker()};
        s.OpenOrClose();
        if (capturing) {
            s.SaveFile();
            ++names;
        }
        Bytes sent;
        std::vector<std::size_t> at(Seconds + 1);    // where each second's bytes begin
        std::vector<std::string> clock(Seconds + 1); // the time of day as each second began
        for (int t = 0; t < Seconds; ++t) {
            at[t] = sent.size();
            clock[t] = TimeText(LocalTimeOfDay(), TimeFormatFromLocale());
            if (t == 200) {
                s.OnLinkMessage(WM_LINELOST, 5, 7);
            } else if (t == 210) {
                s.OnLinkMessage(WM_LINEBACK, 0, 7);
            } else if (t == 300 || t == 305) {
                s.OpenOrClose();
            }
            if (t == 250) {
                s.AddMark();
            }
            for (int step = 0; step < 10; ++step, now += 100) {
                if (quiet(t)) {
                    continue;
                }
                for (int n = 0; n < PerStep; n += ThreadIO::ReadSize) {
                    std::uint8_t read[ThreadIO::ReadSize];
                    const int count = std::min<int>(ThreadIO::ReadSize, PerStep - n);
                    for (int i = 0; i < count; ++i) {
                        read[i] =
                            static_cast<std::uint8_t>((sent.size() * 131) ^ (sent.size() >> 9));
                        sent.push_back(read[i]);
                    }
                    ASSERT_TRUE(SerialThread->AppendChunk(read, static_cast<std::uint32_t>(count)));
                }
                while (SerialThread->GetQueuedBytes() > 0) {
                    s.OnRxData(ThreadIO::ReadSize);
                }
            }
        }
        at[Seconds] = sent.size();
        clock[Seconds] = TimeText(LocalTimeOfDay(), TimeFormatFromLocale());
        for (const Save& save : saves) {
            SCOPED_TRACE(save.minutes);
            const std::string before = TimeText(LocalTimeOfDay(), TimeFormatFromLocale());
            s.SaveLastMinutes(save.minutes);
            const std::string after = TimeText(LocalTimeOfDay(), TimeFormatFromLocale());
            const std::string name = "TMP" + std::to_string(++names) + ".$$$";
            const Bytes body(sent.begin() + static_cast<long>(at[save.from]), sent.end());
            EXPECT_EQ(window.status, "Saved the last " + std::to_string(save.minutes) +
                                         " minutes as " + (dir / name).string() + ", " +
                                         ByteCountText(body.size(), s.DecimalSeparator()) +
                                         save.shortText);
            const Bytes file = ReadBytes(dir / name);
            ASSERT_GE(file.size(), CaptureHeaderLength);
            EXPECT_TRUE(Bytes(file.begin() + CaptureHeaderLength, file.end()) == body)
                << "the body differs; " << file.size() - CaptureHeaderLength << " bytes of "
                << body.size();
            const std::string start(file.begin(), file.begin() + 8);
            const std::string stop(file.begin() + 8, file.begin() + 16);
            EXPECT_TRUE(start == clock[save.from].substr(0, 8) ||
                        start == clock[save.from + 1].substr(0, 8))
                << start;
            EXPECT_TRUE(stop == before.substr(0, 8) || stop == after.substr(0, 8)) << stop;

            const auto offset = [&](int t) { return at[t] - at[save.from]; };
            using E = std::pair<std::uint64_t, std::string>;
            std::vector<E> expected = {{0, "start"}, {0, "port-opened"}};
            int next = save.from + 5; // the next time mark's second, while bytes come
            for (int t = save.from + 1; t < Seconds; ++t) {
                if (t == 200) {
                    expected.insert(expected.end(),
                                    {{offset(200), "line-lost"}, {offset(200), "line-back"}});
                } else if (t == 250) {
                    expected.emplace_back(offset(250), "mark 1");
                } else if (t == 300) {
                    expected.insert(expected.end(),
                                    {{offset(300), "port-closed"}, {offset(300), "port-opened"}});
                }
                if (t == 353) { // the silence: when the bytes stopped, and when they came again
                    expected.insert(expected.end(), {{offset(t), "time"}, {offset(t), "time"}});
                    next = t + 5;
                } else if (t >= next && !quiet(t)) {
                    expected.emplace_back(offset(t) + PerStep, "time");
                    next = t + 5;
                }
            }
            expected.emplace_back(body.size(), "stop");
            EXPECT_EQ(JournalEvents(JournalName(name), "mark"), expected);
        }
        // Nothing in the span: nothing is saved.
        s.OpenOrClose();
        now += 61'000;
        s.SaveLastMinutes(1);
        EXPECT_EQ(window.status, "Nothing was received in the last 1 minute; nothing was saved.");
        EXPECT_FALSE(std::filesystem::exists(dir / ("TMP" + std::to_string(names + 1) + ".$$$")));
        if (capturing) {
            s.StopCapture();
            const Bytes file = ReadBytes(dir / ("TMP" + std::to_string(names - 2) + ".$$$"));
            EXPECT_TRUE(Bytes(file.begin() + CaptureHeaderLength, file.end()) == sent)
                << "the running capture is not whole";
        }
        EXPECT_TRUE(window.errors.empty());
        s.Shutdown();
    }
}

// Finishing a capture says where it went, with its size in the regional decimal mark and
// its length, for a few seconds unless another word comes; the capture field's tooltip is
// the running capture's full path.
TEST_F(SessionTest, AFinishedCaptureSaysWhereItWentForAFewSeconds) {
    session.SetDecimalSeparator(',');
    Open();
    for (const bool byStop : {true, false}) {
        SCOPED_TRACE(byStop ? "Stop Capture" : "Save File");
        session.SaveFile();
        const std::string path = session.CaptureStream->FullPath();
        Receive(CountingFrames(40)); // 1320 bytes
        session.Tick();
        EXPECT_EQ(window.captureTip, path);
        now += 5000;
        byStop ? session.StopCapture() : session.SaveFile();
        EXPECT_EQ(window.status, "Saved " + path + " (1,3 kB, 00:05)");
        now += Session::SavedShownMs - 1;
        session.Tick();
        EXPECT_EQ(window.status, "Saved " + path + " (1,3 kB, 00:05)");
        now += 1;
        session.Tick();
        EXPECT_EQ(window.status, "");
        if (!byStop) {
            session.StopCapture();
        }
        EXPECT_EQ(window.captureTip, "");
    }
    session.StopCapture();
    session.SaveFile();
    session.StopCapture();
    session.OnLinkMessage(WM_LINELOST, 5, 0); // a word that stays
    now += Session::SavedShownMs;
    session.Tick();
    EXPECT_TRUE(window.status.find("the line is lost") != std::string::npos) << window.status;
}

// The labels go stale when the port is closed, when the line is lost, and after a second of
// an open line without an accepted frame; the display restores them at the next one.
TEST_F(SessionTest, OldValuesAreSaidToBeStale) {
    Open();
    Receive(CountingFrames(3));
    struct Step {
        const char* what;
        std::function<void()> act;
        int asked;
    };
    const Step steps[] = {
        {"0.9 s without a frame",
         [&] {
             now += 900;
             session.Tick();
         },
         0},
        {"a frame, then 0.9 s more",
         [&] {
             Receive(CountingFrames(1));
             now += 900;
             session.Tick();
         },
         0},
        {"1 s without a frame",
         [&] {
             now += 100;
             session.Tick();
         },
         1},
        {"the line lost", [&] { session.OnLinkMessage(WM_LINELOST, 5, 0); }, 1},
        {"the port closed", [&] { session.OpenOrClose(); }, 2},
    };
    for (const Step& s : steps) {
        s.act();
        EXPECT_EQ(window.staleAsked, s.asked) << s.what;
    }
    EXPECT_TRUE(window.lineLost);
}

TEST_F(SessionTest, TestPacketGoesOutOnlyOnAnOpenPort) {
    std::array<std::uint8_t, TestPacketLength> packet{};
    FillTestPacket(packet);
    session.SendPacket(packet.data()); // no port: only the checksum
    EXPECT_EQ(packet[12], 0xA3);
    Open();
    session.SendTestPacket();
    const Bytes expected = {0x2B, 0x0D, 0x01, 0x08, 0x00, 0x01, 0x02,
                            0x03, 0x04, 0x05, 0x06, 0x07, 0xA3};
    EXPECT_EQ(device->With([](auto& s) { return s.written; }), expected);
}

} // namespace
} // namespace vemor::testing
