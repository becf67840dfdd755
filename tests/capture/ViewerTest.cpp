// The viewer's model, as every window shows it: what its cursor reads and its summary says
// against the decoder's own CSV and counts, export and its refusals, the load-again question,
// and moving through a capture with the wheel, a drag, a rectangle, Home and the arrow keys.
#include "GoldenCaptures.h"
#include "TestFiles.h"

#include "../support/Decoded.h"

#include "vemor/capture/CaptureFile.h"
#include "vemor/capture/Journal.h"
#include "vemor/capture/Viewer.h"

#include <gtest/gtest.h>

#include <chrono>
#include <thread>

namespace vemor::decode::testing {
namespace {

using vemor::testing::Decoded;
using Outcome = ViewerModel::Outcome;

// Polls as a window's timer would, until the loading or the export has finished.
ViewerModel::Event Finished(ViewerModel& m) {
    const auto until = std::chrono::steady_clock::now() + std::chrono::seconds(20);
    while (std::chrono::steady_clock::now() < until) {
        ViewerModel::Event e = m.Poll();
        if (e.what != Outcome::None) {
            return e;
        }
        std::this_thread::sleep_for(std::chrono::milliseconds(2));
    }
    ADD_FAILURE() << "nothing finished";
    return {};
}

class Viewer : public ::testing::Test {
protected:
    TempDir dir_;
    std::unique_ptr<ViewerModel> Open(const Bytes& capture, const std::string& name = "TMP1.$$$",
                                      int width = 800) {
        WriteFile(dir_.File(name), capture);
        auto m = std::make_unique<ViewerModel>(dir_.File(name));
        m->SetPlotWidth(width);
        m->StartLoading();
        EXPECT_EQ(Finished(*m).what, Outcome::Loaded);
        return m;
    }
};

std::string Grouped(std::uint64_t n) {
    std::string text = std::to_string(n);
    for (auto at = static_cast<std::ptrdiff_t>(text.size()) - 3; at > 0; at -= 3) {
        text.insert(static_cast<std::size_t>(at), "'");
    }
    return text;
}

TEST_F(Viewer, CursorAndSummaryReadWhatTheDecoderWrites) {
    std::vector<GoldenCapture> samples = GoldenCaptures();
    samples.push_back({"random", "", RandomCapture(5, 3000)});
    for (const GoldenCapture& s : samples) {
        SCOPED_TRACE(s.name);
        const auto m = Open(s.bytes);
        const std::string summary = m->SummaryText(Grouped);
        for (const std::string& line : Split(Decoded(s.bytes, {.info = true}), '\n')) {
            const std::string key = line.substr(0, line.find(':'));
            const std::string value = line.substr(line.find(':') + 2);
            const std::map<std::string, std::string> shown = {
                {"start", "Start "},
                {"stop", "Stop "},
                {"frames", "Frames "},
                {"dropped", "Rejected stretches "},
                {"dropped_bytes", "Dropped bytes "},
                {"partial_start_bytes", "Partial frames: "},
                {"partial_end_bytes", "bytes at the start, "}};
            if (shown.count(key) == 0) {
                continue;
            }
            const std::string number = key == "start" ? value
                                       : key == "stop"
                                           ? (value.empty() ? "(none: not finished)" : value)
                                           : Grouped(std::stoull(value));
            EXPECT_NE(summary.find(shown.at(key) + number + " "), std::string::npos)
                << key << " " << value << " in " << summary;
        }
        const auto rows = Rows(Decoded(s.bytes));
        for (std::size_t f = 0; f<rows.size(); f += rows.size()> 50 ? 37 : 1) {
            const auto& row = rows[f];
            for (char sep : {'.', ','}) {
                m->SetDecimalSeparator(sep);
                m->SetCursorFrame(f);
                const auto r = m->CursorReading();
                ASSERT_TRUE(r.has_value());
                const auto local = [sep](std::string number) {
                    std::replace(number.begin(), number.end(), '.', sep);
                    return number;
                };
                EXPECT_EQ(r->labels, vemor::testing::LabelsOf(row, sep)) << f;
                EXPECT_TRUE(r->detail.starts_with("MAP " + row.at("map") + "   RPM ")) << r->detail;
                for (const auto& [name, column] :
                     {std::pair{"O2", "o2"}, {"TPS", "tps"}, {"byte14", "byte14"}}) {
                    const std::string part = std::string("   ") + name + " " + row.at(column) + " ";
                    EXPECT_NE(r->detail.find(part), std::string::npos) << part << r->detail;
                }
                EXPECT_TRUE(r->detail.ends_with("   frame " + row.at("frame") + "   offset " +
                                                row.at("offset") + "   time " +
                                                local(row.at("time_s")) + " s"))
                    << r->detail;
            }
        }
    }
}

TEST_F(Viewer, ExportWritesTheDecoderCsvOfTheWholeCaptureOrOfTheFramesInView) {
    const Bytes capture = RandomCapture(9, 2000);
    const auto m = Open(capture);
    const std::string csv = Decoded(capture);
    const auto lines = Split(csv, '\n');
    const std::string out = dir_.File("out.csv");
    struct Case {
        std::uint64_t first, last; // frames in view
        bool visibleOnly;
        std::string question;
    };
    const Case cases[] = {
        {0, 1999, false, ""},
        {100, 160, true,
         "Export the whole capture (2000 frames) or the frames in view (100 to 160)?"},
        {100, 160, false,
         "Export the whole capture (2000 frames) or the frames in view (100 to 160)?"},
        {1990, 1999, true,
         "Export the whole capture (2000 frames) or the frames in view (1990 to 1999)?"},
    };
    for (XUnit unit : {XUnit::Frames, XUnit::Seconds}) {
        m->SetUnit(unit);
        for (const Case& c : cases) {
            SCOPED_TRACE(std::to_string(c.first) + ".." + std::to_string(c.last) +
                         (c.visibleOnly ? " in view" : " whole"));
            m->ShowRange(FrameX(*m->Index(), c.first, unit), FrameX(*m->Index(), c.last, unit));
            EXPECT_EQ(m->ExportQuestion(), c.question);
            std::string want = csv;
            if (c.visibleOnly) {
                want = lines.at(0) + "\n";
                for (std::uint64_t f = c.first; f <= c.last; ++f) {
                    want += lines.at(f + 1) + "\n";
                }
            }
            ASSERT_EQ(m->StartExport(out, c.visibleOnly), "");
            EXPECT_EQ(m->WritingStatus(), "Writing " + out);
            const auto done = Finished(*m);
            EXPECT_EQ(done.what, Outcome::Exported);
            EXPECT_EQ(done.text, "Wrote " + out);
            EXPECT_EQ(ReadText(out), want);
        }
    }
    // Never over a capture: the one shown, even moved, nor any named like one.
    std::filesystem::rename(dir_.File("TMP1.$$$"), dir_.File("moved"));
    for (const auto& [target, reason] :
         {std::pair{dir_.File("moved"), "that is the capture shown, which it would replace"},
          {dir_.File("TMP7.$$$"),
           "that name is a capture's (TMP<n>.$$$), and a capture is never replaced"}}) {
        EXPECT_EQ(m->StartExport(target, false),
                  "Cannot export the CSV to " + target + ": " + reason + ". Choose another name");
        EXPECT_FALSE(m->Exporting());
    }
    EXPECT_EQ(vemor::testing::ReadBytes(dir_.File("moved")), capture);
}

// A capture that changed while it was read is offered again, and loads when taken; what is
// no capture is refused with its reason.
TEST_F(Viewer, ChangedFileIsOfferedAgainAndWhatIsNoCaptureRefused) {
    const std::string path = dir_.File("TMP2.$$$");
    WriteFile(path, RandomCapture(4, 100));
    int loads = 0;
    ViewerModel m(path, [&loads](const std::string& file, Progress* progress) {
        return ++loads == 1 ? Loaded{{Status::Changed, file + ": " + ChangedReason}, {}}
                            : LoadCapture(file, progress);
    });
    m.StartLoading();
    const auto asked = Finished(m);
    EXPECT_EQ(asked.what, Outcome::AskLoadAgain);
    EXPECT_EQ(ViewerModel::LoadAgainQuestion(asked.text),
              path + ": " + ChangedReason + ".\nLoad it again?");
    EXPECT_EQ(m.Index(), nullptr);
    m.StartLoading();
    EXPECT_EQ(Finished(m).what, Outcome::Loaded);
    ASSERT_NE(m.Index(), nullptr);
    EXPECT_EQ(m.Index()->Frames(), 100u);
    EXPECT_EQ(m.Title(), "TMP2.$$$ - Vemor");

    ViewerModel missing(dir_.File("missing"));
    missing.StartLoading();
    const auto refused = Finished(missing);
    EXPECT_EQ(refused.what, Outcome::Refused);
    EXPECT_EQ(refused.text, "Cannot show " + dir_.File("missing") + " as a capture: " +
                                dir_.File("missing") + ": No such file or directory");
}

// The wheel zooms around the pointer, a drag pans by what it covered, a rectangle zooms to
// its stretch, Home shows everything; the view stays on the capture and some frames wide,
// and the arrow keys carry it along at its edge.
TEST_F(Viewer, NavigationKeepsTheViewOnTheCapture) {
    const auto m = Open(RandomCapture(21, 4000), "TMP1.$$$", 1000);
    const double full = FullWidth(*m->Index(), XUnit::Frames);
    const double pad = full * 0.02;
    EXPECT_DOUBLE_EQ(m->Lo(), 0);
    EXPECT_DOUBLE_EQ(m->Hi(), full);

    struct Move {
        const char* what;
        double lo, hi; // shown before
        std::function<void(ViewerModel&)> act;
        double wantLo, wantHi;
    };
    const Move moves[] = {
        {"wheel in", 1000, 2000, [](ViewerModel& v) { v.Wheel(250, 1); }, 1250 - 250 * 0.85,
         1250 + 750 * 0.85},
        {"wheel out", 1000, 2000, [](ViewerModel& v) { v.Wheel(500, -2); },
         1500 - 500 / 0.85 / 0.85, 1500 + 500 / 0.85 / 0.85},
        {"drag right", 1000, 2000, [](ViewerModel& v) { v.StartDrag(500), v.DragTo(600); }, 900,
         1900},
        {"drag past the start and back", 100, 1100,
         [](ViewerModel& v) { v.StartDrag(500), v.DragTo(900), v.DragTo(450); }, 150, 1150},
        {"drag past the end", 2500, 3500, [](ViewerModel& v) { v.StartDrag(0), v.DragTo(-5000); },
         full + pad - 1000, full + pad},
        {"rectangle", 1000, 2000, [](ViewerModel& v) { v.ZoomToPixels(300, 100); }, 1100, 1300},
        {"rectangle of a pixel", 1000, 2000, [](ViewerModel& v) { v.ZoomToPixels(500, 501); },
         1500.5 - ViewerModel::FewestFrames / 2, 1500.5 + ViewerModel::FewestFrames / 2},
        {"zoomed far out", 1000, 2000, [](ViewerModel& v) { v.Wheel(0, -40); }, -pad, full + pad},
        {"Home", 1000, 2000, [](ViewerModel& v) { v.ShowAll(); }, 0, full},
    };
    for (const Move& mv : moves) {
        SCOPED_TRACE(mv.what);
        m->ShowRange(mv.lo, mv.hi);
        mv.act(*m);
        EXPECT_NEAR(m->Lo(), mv.wantLo, 1e-6);
        EXPECT_NEAR(m->Hi(), mv.wantHi, 1e-6);
    }

    // A click reads the nearest frame; the keys step it, and the view follows at its edge.
    m->ShowRange(1000, 1100);
    m->Click(m->PixelOf(1042.4));
    EXPECT_EQ(m->CursorFrame(), 1042u);
    for (int step : {1, 1, -1}) {
        m->StepCursor(step);
    }
    EXPECT_EQ(m->CursorFrame(), 1043u);
    m->SetCursorFrame(1099);
    m->StepCursor(1);
    EXPECT_EQ(m->CursorFrame(), 1100u);
    EXPECT_GT(m->Hi(), 1100);
    EXPECT_NEAR(m->Hi() - m->Lo(), 100, 1e-9);
    m->SetCursorFrame(99999);
    EXPECT_EQ(m->CursorFrame(), 3999u);

    // The same frames stay in view in seconds, where a frame lies at its offset / 6250.
    const CaptureIndex& index = *m->Index();
    m->ShowRange(200, 400);
    m->SetCursorFrame(300);
    m->SetUnit(XUnit::Seconds);
    EXPECT_DOUBLE_EQ(m->Lo(), static_cast<double>(index.End(200)) / 6250);
    EXPECT_DOUBLE_EQ(m->Hi(), static_cast<double>(index.End(400)) / 6250);
    EXPECT_EQ(m->AxisTitle(), "seconds from the start (offset / 6250)");
    EXPECT_DOUBLE_EQ(m->CursorX(), static_cast<double>(index.End(300)) / 6250);
    m->SetUnit(XUnit::Frames);
    EXPECT_DOUBLE_EQ(m->Lo(), 200);
    EXPECT_EQ(m->AxisTitle(), "frame");
}

// A capture with its journal: the seconds run by the journal's clock in time of day, the lost
// line is a band of its length, the marks are lines and a list to step through, and the
// duration is the journal's. A journal that holds no event is said to be unread.
TEST_F(Viewer, TheJournalGivesTimeOfDayOutagesAndMarks) {
    const auto [capture, journal] = OutageCapture();
    WriteFile(dir_.File("TMP1.$$$.txt"), journal);
    const auto m = Open(capture);
    const CaptureIndex& index = *m->Index();

    EXPECT_EQ(m->UnitChoice(XUnit::Seconds), "X in time of day");
    m->SetUnit(XUnit::Seconds);
    EXPECT_EQ(m->TickOrigin(), 43200.0);
    EXPECT_NEAR(OffsetSeconds(index, 4950), 0.792, 1e-9);
    EXPECT_NEAR(OffsetSeconds(index, 4950 + 1650), 11.056, 1e-9);
    const std::uint64_t after = index.FirstEndingAtOrAfter(4951);
    EXPECT_GT(FrameX(index, after, XUnit::Seconds) - FrameX(index, after - 1, XUnit::Seconds),
              10.0);
    EXPECT_EQ(FrameNear(index, 5.0, XUnit::Seconds) + 1, after); // in the outage: before it
    EXPECT_NEAR(FullWidth(index, XUnit::Seconds), 11.584, 1e-9);
    const std::string summary = m->SummaryText(Grouped);
    EXPECT_NE(summary.find("Duration 0:00:11.58   Marks 2   Line lost 1   Port closed 0"),
              std::string::npos)
        << summary;
    m->SetDecimalSeparator(','); // one decimal mark in every text
    EXPECT_NE(m->SummaryText(Grouped).find("Duration 0:00:11,58"), std::string::npos);
    m->SetDecimalSeparator('.');

    for (const XUnit unit : {XUnit::Seconds, XUnit::Frames}) {
        m->SetUnit(unit);
        m->ShowAll();
        const View view = m->Picture();
        ASSERT_EQ(view.bands.size(), 1u);
        EXPECT_EQ(view.bands[0].text, "line lost 0:00:10.00");
        EXPECT_EQ(view.bands[0].to - view.bands[0].from, unit == XUnit::Seconds ? 10.0 : 0.0);
        ASSERT_EQ(view.marks.size(), 2u);
        EXPECT_EQ(view.marks[1].note, "a note, with a comma");
    }

    // Stepping from the middle of the view, then from the cursor; the cursor reads the clock.
    ASSERT_EQ(m->Marks().size(), 2u);
    const std::string first = "Mark 1 at " + TimeText({12, 0, 11}, TimeFormatFromLocale());
    const std::string second =
        "Mark 2 at " + TimeText({12, 0, 11}, TimeFormatFromLocale()) + ": a note, with a comma";
    const std::pair<int, std::string> steps[] = {{1, first},
                                                 {1, second},
                                                 {1, ViewerModel::NoMarkText},
                                                 {-1, first},
                                                 {-1, ViewerModel::NoMarkText}};
    for (const auto& [direction, text] : steps) {
        EXPECT_EQ(m->StepMark(direction), text);
    }
    EXPECT_EQ(m->CursorFrame(), index.FirstEndingAtOrAfter(6600));
    m->SetUnit(XUnit::Seconds);
    EXPECT_NE(m->CursorReading()->detail.find("time 12:00:11.0"), std::string::npos);

    WriteFile(dir_.File("TMP2.$$$.txt"), "not a journal\n");
    const auto unread = Open(capture, "TMP2.$$$");
    EXPECT_EQ(unread->UnitChoice(XUnit::Seconds), UnitChoices[1]);
    EXPECT_NE(unread->SummaryText(Grouped).find("Journal not read: " + dir_.File("TMP2.$$$.txt") +
                                                ": holds no event"),
              std::string::npos);
}

// Playback runs on the capture's own clock: through the lost line's ten seconds as they were,
// faster and slower by doublings within the limits, to the end where it stops; navigation
// pauses it.
TEST_F(Viewer, PlaybackFollowsTheRecordedClock) {
    const auto [capture, journal] = OutageCapture();
    WriteFile(dir_.File("TMP1.$$$.txt"), journal);
    const auto m = Open(capture);
    const CaptureIndex& index = *m->Index();
    const auto lastBy = [&index](double seconds) {
        std::uint64_t f = 0;
        while (f + 1 < index.Frames() && OffsetSeconds(index, index.End(f + 1)) <= seconds) {
            ++f;
        }
        return f;
    };
    m->SetCursorFrame(0);
    const double start = OffsetSeconds(index, index.End(0));
    struct Step {
        std::int64_t at;
        int doublings;
        double played; // recorded seconds since the start of play
        bool playing;
    };
    m->TogglePlay(0);
    for (const Step& s : {Step{500, 0, 0.5, true},
                          {5000, 0, 5, true},
                          {5000, 2, 5, true},
                          {6000, 0, 9, true},
                          {7000, 0, 13, false}}) {
        SCOPED_TRACE(s.at);
        m->ChangeSpeed(s.doublings, s.at);
        m->Advance(s.at);
        EXPECT_EQ(m->CursorFrame(), lastBy(start + s.played));
        EXPECT_EQ(m->Playing(), s.playing);
    }
    EXPECT_EQ(m->CursorFrame(), index.Frames() - 1);
    EXPECT_EQ(m->SpeedText(), "Space plays at 4x");
    m->ChangeSpeed(-10, 0);
    EXPECT_EQ(m->SpeedText(), "Space plays at 1/4x");
    m->ChangeSpeed(20, 0);
    m->TogglePlay(0); // at the end: again from the start
    EXPECT_EQ(m->CursorFrame(), 0u);
    EXPECT_EQ(m->SpeedText(), "Playing at 64x");
    m->StepCursor(1);
    EXPECT_FALSE(m->Playing());
}

// A capture that grows while it is viewed, in pieces cut anywhere (in the header's wake, in a
// frame, in a rejected stretch), then finished: rewritten whole each time, or recorded by this
// process's own writer with its journal (on Windows open to the writer alone). After each
// growth the counts and the newest frame's readout are the decoder's of the file as it then
// is, the journal's marks are there, and a view of everything still shows everything, one of
// the newest frames still shows the newest.
TEST_F(Viewer, AFollowedCaptureGrowsAsTheDecoderReadsIt) {
    const Bytes whole = RandomCapture(33, 3000);
    Bytes unfinished = whole;
    std::fill(unfinished.begin() + CaptureStopOffset, unfinished.begin() + CaptureHeaderLength, 0);
    const std::size_t size = whole.size();
    struct Case {
        const char* what;
        bool recorded;
        bool newest; // the view shows the newest 40 frames, not everything
    };
    for (const Case c : {Case{"rewritten", false, false}, Case{"recorded here", true, true}}) {
        SCOPED_TRACE(c.what);
        TempDir here("vemor-follow", TempDir::Enter::Yes);
        const std::string path = here.File("TMP1.$$$");
        std::unique_ptr<CaptureFile> writer;
        std::unique_ptr<Journal> journal;
        if (c.recorded) {
            writer = std::make_unique<CaptureFile>("TMP1.$$$", "14:03:07");
            journal = std::make_unique<Journal>("TMP1.$$$");
        } else {
            WriteFile(path, Bytes(unfinished.begin(), unfinished.begin() + CaptureHeaderLength));
        }
        ViewerModel m(path);
        m.SetPlotWidth(800);
        m.StartLoading();
        ASSERT_EQ(Finished(m).what, Outcome::Loaded);
        EXPECT_EQ(m.Follow(), ViewerModel::Growth::Same);
        std::size_t written = CaptureHeaderLength;
        std::size_t marks = 0;
        for (const std::size_t cut : {std::size_t{1000}, size / 3, size / 3 + 1, size - 7, size}) {
            SCOPED_TRACE(cut);
            const Bytes& source = cut == size ? whole : unfinished;
            const Bytes file(source.begin(), source.begin() + static_cast<long>(cut));
            if (c.recorded) {
                ASSERT_TRUE(writer->Append(whole.data() + written, cut - written));
                ASSERT_TRUE(journal->Write(cut - CaptureHeaderLength,
                                           {2026, 12, 9, 14, 3, static_cast<int>(8 + marks), 0},
                                           journal::Mark, std::to_string(++marks)));
                if (cut == size) {
                    ASSERT_TRUE(writer->Finish("14:05:11"));
                    journal.reset();
                }
            } else {
                WriteFile(path, file);
            }
            written = cut;
            const bool all = m.Lo() <= 0;
            const double width = m.Hi() - m.Lo();
            ASSERT_EQ(m.Follow(), ViewerModel::Growth::Changed);
            const double full = FullWidth(*m.Index(), XUnit::Frames);
            EXPECT_GE(m.Hi(), full);
            EXPECT_EQ(m.VisibleFrames().second, m.Index()->Frames());
            if (all) {
                EXPECT_LE(m.Lo(), 0);
            } else {
                EXPECT_NEAR(m.Hi() - m.Lo(), width, 1e-9 * width);
            }
            const std::string info = Decoded(file, {.info = true});
            const Summary& counts = m.Index()->Counts();
            EXPECT_NE(info.find("frames: " + std::to_string(counts.frames) + "\n"),
                      std::string::npos);
            EXPECT_NE(info.find("dropped: " + std::to_string(counts.dropped) + "\n"),
                      std::string::npos);
            EXPECT_NE(
                info.find("partial_end_bytes: " + std::to_string(counts.PartialEndBytes()) + "\n"),
                std::string::npos);
            EXPECT_EQ(m.Index()->Frames(), counts.frames);
            EXPECT_EQ(m.Marks().size(), marks);
            const auto rows = Rows(Decoded(file));
            ASSERT_EQ(rows.size(), counts.frames);
            m.SetCursorFrame(counts.frames - 1);
            const auto reading = m.CursorReading();
            EXPECT_EQ(reading->labels, vemor::testing::LabelsOf(rows.back(), '.'));
            EXPECT_NE(reading->detail.find("offset " + rows.back().at("offset")),
                      std::string::npos);
            if (c.newest) {
                m.ShowRange(full - 40, full);
            } else {
                m.ShowAll();
            }
        }
        EXPECT_NE(m.SummaryText(Grouped).find("Stop 14:05:11"), std::string::npos);
        EXPECT_EQ(ReadText(path), std::string(whole.begin(), whole.end()));
        WriteFile(path, Bytes(whole.begin(), whole.begin() + 100));
        std::string why;
        EXPECT_EQ(m.Follow(&why), ViewerModel::Growth::Refused);
        EXPECT_EQ(why, path + ": " + ChangedReason);
        EXPECT_EQ(m.Follow(), ViewerModel::Growth::Same) << "not tried again";
    }
}

// A new viewer opens down and right of its opener, past the viewers already there, and back
// near the screen's corner where it would leave the screen.
TEST(NewViewerPlace, CascadesFromItsOpenerWithinTheScreen) {
    const ScreenRect screen{0, 0, 1920, 1080};
    const ScreenRect monitor{56, 39, 921, 620};
    struct Case {
        ScreenRect opener;
        std::vector<std::pair<int, int>> taken;
        std::pair<int, int> want;
    };
    const Case cases[] = {
        {monitor, {}, {88, 71}},
        {monitor, {{88, 71}}, {120, 103}},
        {monitor, {{88, 71}, {120, 103}}, {152, 135}},
        {{900, 500, 1000, 620}, {}, {0, 0}},
        {{900, 500, 1000, 620}, {{0, 0}}, {32, 32}},
    };
    for (const Case& c : cases) {
        EXPECT_EQ(NewViewerPlace(c.opener, screen, 1000, 620, c.taken), c.want)
            << c.opener.left << "," << c.opener.top << " with " << c.taken.size() << " taken";
    }
}

} // namespace
} // namespace vemor::decode::testing
