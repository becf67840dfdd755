// A capture loaded for review against the decoder's own output: counts, cursor readings,
// export, the min/max summary and the refusal of what is not a capture.
#include "GoldenCaptures.h"
#include "TestFiles.h"

#include "../support/Decoded.h"

#include "vemor/Values.h"
#include "vemor/capture/Index.h"
#include "vemor/capture/Journal.h"
#include "vemor/capture/View.h"

#include <gtest/gtest.h>

#include <random>
#include <string>
#include <vector>

#ifndef _WIN32
#include <sys/resource.h>
#include <sys/stat.h>
#include <sys/wait.h>
#include <unistd.h>
#endif

namespace vemor::decode::testing {
namespace {

struct Sample {
    std::string name;
    Bytes bytes;
    std::string journal = {}; // beside it when not empty
};

// The golden captures, and long random ones whose rejected stretches are long enough for
// the offsets' overflow path.
std::vector<Sample> Samples() {
    std::vector<Sample> samples;
    for (GoldenCapture& g : GoldenCaptures()) {
        samples.push_back({g.name, std::move(g.bytes)});
    }
    samples.push_back({"random", RandomCapture(7, 5000)});
    samples.push_back({"random-unfinished", RandomCapture(8, 3000)});
    samples.back().bytes.resize(samples.back().bytes.size() - 20);
    return samples;
}

class Loaded {
public:
    explicit Loaded(const Sample& s) {
        WriteFile(path_, s.bytes);
        if (!s.journal.empty()) {
            WriteFile(JournalName(path_), s.journal);
        }
        auto loaded = LoadCapture(path_);
        EXPECT_EQ(loaded.result.status, Status::Ok) << loaded.result.message;
        index_ = std::move(loaded.index);
    }
    const CaptureIndex& operator*() const { return *index_; }
    const CaptureIndex* operator->() const { return index_.get(); }

private:
    TempDir dir_;
    std::string path_ = dir_.File("TMP1.$$$");
    std::unique_ptr<CaptureIndex> index_;
};

using vemor::testing::Decoded;
using vemor::testing::WithoutSuffix;

TEST(CaptureIndex, CountsAreThoseOfDecodeInfo) {
    for (const Sample& s : Samples()) {
        SCOPED_TRACE(s.name);
        Loaded index(s);
        const Summary& c = index->Counts();
        const std::string info = Decoded(s.bytes, Options{.info = true});
        for (const std::string& line :
             {"body_bytes: " + std::to_string(c.bodyBytes), "frames: " + std::to_string(c.frames),
              "dropped: " + std::to_string(c.dropped),
              "dropped_bytes: " + std::to_string(c.DroppedBytes())}) {
            EXPECT_NE(info.find("\n" + line + "\n"), std::string::npos) << line << "\n" << info;
        }
        EXPECT_EQ(index->Frames(), c.frames);
    }
}

// The cursor's texts and values for every frame against the decoder's row with the payload:
// the core's label texts and chart values of those payload bytes, the offset and the time.
TEST(CaptureIndex, CursorReadsWhatTheDecoderWritesForEveryFrame) {
    for (const Sample& s : Samples()) {
        SCOPED_TRACE(s.name);
        Loaded index(s);
        const auto rows = Rows(Decoded(s.bytes, Options{.payload = true}));
        ASSERT_EQ(rows.size(), index->Frames());
        for (std::uint64_t f = 0; f < index->Frames(); ++f) {
            const auto& row = rows[f];
            std::array<std::uint8_t, PayloadLength> payload{};
            for (int k = 0; k < PayloadLength; ++k) {
                payload[static_cast<std::size_t>(k)] =
                    static_cast<std::uint8_t>(std::stoi(row.at("p" + std::to_string(k))));
            }
            for (char sep : {'.', ','}) {
                const Readout r = ReadFrame(*index, f, sep);
                const FrameTexts want = LabelTexts(payload.data(), sep);
                ASSERT_EQ(r.labels.Rpm, want.Rpm) << f;
                ASSERT_EQ(r.labels.Batt, want.Batt) << f;
                ASSERT_EQ(r.labels.Ect, want.Ect) << f;
                ASSERT_EQ(r.labels.Mat, want.Mat) << f;
                ASSERT_EQ(r.labels.Pw, want.Pw) << f;
                ASSERT_EQ(r.traces, ChartValues(payload.data())) << f;
                ASSERT_EQ(std::to_string(r.frame), row.at("frame"));
                ASSERT_EQ(std::to_string(r.end), row.at("offset"));
                std::string seconds = row.at("time_s");
                seconds[seconds.find('.')] = sep;
                ASSERT_EQ(r.seconds, seconds);
            }
            // The label numbers are the CSV's (with '.'), so the two agree cell for cell.
            const Readout r = ReadFrame(*index, f, '.');
            ASSERT_EQ(WithoutSuffix(r.labels.Batt, " V Batt"), row.at("battery_v"));
            ASSERT_EQ(WithoutSuffix(r.labels.Pw, " PW "), row.at("pulse_width"));
        }
    }
}

TEST(CaptureIndex, ExportIsTheDecoderOutputForAnyStretch) {
    for (const Sample& s : Samples()) {
        SCOPED_TRACE(s.name);
        Loaded index(s);
        const std::string whole = Decoded(s.bytes);
        const std::vector<std::string> lines = Split(whole, '\n');
        const std::uint64_t n = index->Frames();
        const std::pair<std::uint64_t, std::uint64_t> stretches[] = {
            {0, n}, {0, n + 5}, {n / 3, n / 2}, {n, n}, {1, 2}};
        for (const auto& [first, last] : stretches) {
            StringWriter out;
            ASSERT_EQ(ExportCsv(*index, first, last, out).status, Status::Ok);
            std::string want = lines.at(0) + "\n";
            for (std::uint64_t f = first; f < std::min(last, n); ++f) {
                want += lines.at(f + 1) + "\n";
            }
            EXPECT_EQ(out.text, want) << first << ".." << last;
        }
    }
}

// With its journal, the export has the decoder's journal columns; a stretch has the marks
// of its own frames only.
TEST(CaptureIndex, ExportWithTheJournalHasItsColumns) {
    const GoldenCapture golden = GoldenCaptures().back();
    ASSERT_FALSE(golden.journal.empty());
    Loaded index({golden.name, golden.bytes, golden.journal});
    ASSERT_NE(index->Journal(), nullptr);
    const std::string whole = ReadText(GoldenPath(golden.name + ".csv"));
    const std::vector<std::string> lines = Split(whole, '\n');
    const std::pair<std::uint64_t, std::string> stretches[] = {
        {0, whole}, {1, lines.at(0) + "\n" + lines.at(2) + "\n" + lines.at(3) + "\n"}};
    for (const auto& [first, want] : stretches) {
        StringWriter out;
        ASSERT_EQ(ExportCsv(*index, first, first == 0 ? index->Frames() : 3, out).status,
                  Status::Ok);
        EXPECT_EQ(out.text, want) << first;
    }
}

TEST(CaptureIndex, ExportFileAppearsWholeOrLeavesThePreviousOne) {
    const Sample s{"random", RandomCapture(3, 2000)};
    Loaded index(s);
    TempDir dir;
    const std::string path = dir.File("out.csv");
    ASSERT_EQ(ExportCsvFile(*index, 0, index->Frames(), path).status, Status::Ok);
    EXPECT_EQ(ReadText(path), Decoded(s.bytes));

    Progress stop;
    stop.cancel = true;
    EXPECT_EQ(ExportCsvFile(*index, 0, 10, path, &stop).status, Status::Cancelled);
    EXPECT_EQ(ReadText(path), Decoded(s.bytes));
    EXPECT_EQ(ExportCsvFile(*index, 0, 10, dir.File("no/such/dir.csv")).status,
              Status::OutputError);
    std::size_t files = 0;
    for ([[maybe_unused]] const auto& e : std::filesystem::directory_iterator(dir.Path())) {
        ++files;
    }
    EXPECT_EQ(files, 1u) << "a partial file was left behind";
}

TEST(CaptureIndex, RangeSummaryEqualsABruteForceScan) {
    const Sample s{"random", RandomCapture(11, 20000)};
    Loaded index(s);
    const std::uint64_t n = index->Frames();
    std::mt19937 rng(5);
    std::vector<std::pair<std::uint64_t, std::uint64_t>> ranges = {
        {0, n}, {0, 1}, {n - 1, n}, {0, 32}, {32, 64}, {31, 33}, {0, 31}, {64, 4096}, {5, 5}};
    for (int i = 0; i < 2000; ++i) {
        const std::uint64_t a = rng() % n;
        const std::uint64_t len = i % 2 ? rng() % 100 : rng() % (n - a + 1);
        ranges.emplace_back(a, std::min(n, a + len));
    }
    for (const auto& [first, last] : ranges) {
        const Extent e = index->Range(first, last);
        ASSERT_EQ(e.Empty(), first == last);
        bool rejected = false;
        for (std::uint64_t f = first; f < last; ++f) {
            rejected = rejected || index->RejectedBefore(f);
        }
        ASSERT_EQ(e.rejected, rejected) << first << ".." << last;
        // The same stretch walked in summary pieces of at most `most` frames.
        const std::uint64_t most = 1 + rng() % 5000;
        Extent walked = index->Range(first, first);
        std::uint64_t at = first;
        while (at < last) {
            Extent piece;
            const std::uint64_t length = index->Piece(at, last, most, piece);
            ASSERT_TRUE(length == 1 || length <= most) << length << " " << most;
            at += length;
            walked.Widen(piece);
        }
        ASSERT_EQ(at, last);
        ASSERT_EQ(walked.lo, e.lo) << first << ".." << last << " in pieces of " << most;
        ASSERT_EQ(walked.hi, e.hi) << first << ".." << last << " in pieces of " << most;
        ASSERT_EQ(walked.rejected, e.rejected);
        for (int t = 0; t < SeriesCount && first < last; ++t) {
            std::uint8_t lo = 255, hi = 0;
            for (std::uint64_t f = first; f < last; ++f) {
                lo = std::min(lo, index->TraceByte(t, f));
                hi = std::max(hi, index->TraceByte(t, f));
            }
            ASSERT_EQ(e.lo[static_cast<std::size_t>(t)], lo) << t << " " << first << ".." << last;
            ASSERT_EQ(e.hi[static_cast<std::size_t>(t)], hi) << t << " " << first << ".." << last;
        }
    }
}

TEST(CaptureIndex, OffsetsFindTheirFramesBothWays) {
    const Sample s{"random", RandomCapture(13, 3000)};
    Loaded index(s);
    const std::uint64_t n = index->Frames();
    std::vector<std::uint64_t> ends;
    for (std::uint64_t f = 0; f < n; ++f) {
        ends.push_back(index->End(f));
    }
    for (std::uint64_t offset = 0; offset <= ends.back() + 40; ++offset) {
        const auto want = static_cast<std::uint64_t>(
            std::lower_bound(ends.begin(), ends.end(), offset) - ends.begin());
        ASSERT_EQ(index->FirstEndingAtOrAfter(offset), want) << offset;
    }
    for (XUnit unit : {XUnit::Frames, XUnit::Seconds}) {
        for (std::uint64_t f = 0; f < n; f += 7) {
            ASSERT_EQ(FrameNear(*index, FrameX(*index, f, unit), unit), f);
        }
    }
}

// Zoomed in, a trace is its frames; zoomed out, one column a pixel column that spans exactly
// the values in it and touches the column before it. Either way the frame just beyond each
// edge comes along, and no extreme is lost.
TEST(CaptureView, TracesFollowThePixelsAndKeepEveryExtreme) {
    const Sample s{"random", RandomCapture(17, 20000)};
    Loaded index(s);
    const std::uint64_t n = index->Frames();
    for (XUnit unit : {XUnit::Frames, XUnit::Seconds}) {
        struct Case {
            std::uint64_t first, last;
            int columns;
        };
        for (const Case& c : {Case{0, n - 1, 800}, Case{1000, 1500, 700}, Case{1000, 1500, 400},
                              Case{5000, 19000, 1}}) {
            SCOPED_TRACE(std::to_string(c.first) + ".." + std::to_string(c.last) + " on " +
                         std::to_string(c.columns));
            const View v = BuildView(*index, unit, FrameX(*index, c.first, unit),
                                     FrameX(*index, c.last, unit), c.columns);
            const std::uint64_t shown = c.last - c.first + 1;
            const std::size_t edges = (c.first > 0) + (c.last + 1 < n);
            EXPECT_EQ(v.eachFrame, shown <= static_cast<std::uint64_t>(c.columns));
            const Extent e = index->Range(c.first - (c.first > 0), c.last + 1 + (c.last + 1 < n));
            for (int t = 0; t < SeriesCount; ++t) {
                const auto i = static_cast<std::size_t>(t);
                std::vector<Column> spans;
                for (Point p : v.points[i]) {
                    spans.push_back({p.x, p.y, p.y});
                }
                spans.insert(spans.end(), v.columns[i].begin(), v.columns[i].end());
                EXPECT_EQ(spans.size(), v.eachFrame ? shown + edges : v.columns[i].size());
                EXPECT_LE(spans.size(), static_cast<std::size_t>(c.columns) + edges);
                double lo = 1e9, hi = -1e9;
                for (std::size_t k = 0; k < spans.size(); ++k) {
                    lo = std::min(lo, spans[k].lo);
                    hi = std::max(hi, spans[k].hi);
                    if (k > 0) {
                        ASSERT_LT(spans[k - 1].x, spans[k].x);
                        if (!v.eachFrame) {
                            ASSERT_LE(spans[k].lo, spans[k - 1].hi) << "a gap at " << k;
                            ASSERT_GE(spans[k].hi, spans[k - 1].lo) << "a gap at " << k;
                        }
                    }
                }
                const double a = TraceValue(t, e.lo[i]);
                const double b = TraceValue(t, e.hi[i]);
                EXPECT_EQ(lo, std::min(a, b)) << t;
                EXPECT_EQ(hi, std::max(a, b)) << t;
            }
            EXPECT_EQ(!v.rejects.empty(), index->Range(c.first, c.last + 1).rejected);
        }
    }
}

TEST(CaptureIndex, WhatIsNotACaptureIsRefusedWithItsReason) {
    TempDir dir;
    const std::string shortFile = dir.File("short");
    WriteFile(shortFile, std::string(15, '1'));
    const std::string text = dir.File("text.csv");
    WriteFile(text, std::string(CsvHeader) + "\n0,33,1,2,3\n");
    struct Case {
        std::string path;
        std::string message;
    };
    std::vector<Case> cases = {
        {shortFile, shortFile + ": file is shorter than the 16-byte header"},
        {text, text + ": not a capture file: the header's start time \"frame,of\" is not a "
                      "time text"},
        {dir.File(""), dir.File(": Is a directory")},
        {dir.File("missing"), dir.File("missing: No such file or directory")},
    };
#ifndef _WIN32
    const std::string fifo = dir.File("fifo");
    ASSERT_EQ(::mkfifo(fifo.c_str(), 0600), 0);
    cases.push_back({"/dev/null", "/dev/null: not a regular file"});
    cases.push_back({fifo, fifo + ": not a regular file"});
#endif
    for (const Case& c : cases) {
        const auto loaded = LoadCapture(c.path);
        EXPECT_EQ(loaded.result.status, Status::InputError) << c.path;
        EXPECT_EQ(loaded.result.message, c.message);
        EXPECT_EQ(loaded.index, nullptr);
    }
}

#if !defined(_WIN32) && !defined(__SANITIZE_ADDRESS__) && !defined(__SANITIZE_THREAD__)
// A capture too large for the memory the process may have is refused, not a crash.
TEST(CaptureIndex, CaptureLargerThanTheMemoryIsRefused) {
    TempDir dir;
    const std::string path = dir.File("TMP1.$$$");
    WriteFile(path, Header("14:03:07", "14:05:11"));
    ASSERT_EQ(::truncate(path.c_str(), 4LL << 30), 0); // sparse: nothing written
    const pid_t child = ::fork();
    if (child == 0) {
        const rlimit limit{512 << 20, 512 << 20};
        ::setrlimit(RLIMIT_AS, &limit);
        const auto loaded = LoadCapture(path);
        const bool refused =
            loaded.result.status == Status::InputError &&
            loaded.result.message.find("too large for the memory") != std::string::npos;
        ::_exit(refused ? 0 : 1);
    }
    int status = 0;
    ASSERT_EQ(::waitpid(child, &status, 0), child);
    EXPECT_TRUE(WIFEXITED(status) && WEXITSTATUS(status) == 0) << "status " << status;
}
#endif

TEST(CaptureIndex, LoadingStopsWhenCancelledAndReportsItsProgress) {
    TempDir dir;
    const std::string path = dir.File("TMP1.$$$");
    const Bytes capture = RandomCapture(19, 40000);
    WriteFile(path, capture);
    Progress progress;
    auto loaded = LoadCapture(path, &progress);
    ASSERT_EQ(loaded.result.status, Status::Ok);
    EXPECT_EQ(progress.done, capture.size());
    EXPECT_EQ(progress.total, capture.size());

    Progress stop;
    stop.cancel = true;
    loaded = LoadCapture(path, &stop);
    EXPECT_EQ(loaded.result.status, Status::Cancelled);
    EXPECT_EQ(loaded.index, nullptr);
}

} // namespace
} // namespace vemor::decode::testing
