// The recent record's bounds: a ring that wraps keeps the newest bytes in order, the times of
// the batches cut a span, and the port's and the line's state outlives the events forgotten.
#include "vemor/capture/RecentRecord.h"
#include "vemor/capture/Journal.h"
#include "vemor/capture/JournalRecord.h"

#include <gtest/gtest.h>

#include <numeric>
#include <vector>

namespace vemor {
namespace {

using Bytes = std::vector<std::uint8_t>;

WallTime Noon() {
    return {2026, 12, 10, 12, 0, 0, 0};
}

// Batches of `size` counting bytes, one each `everyMs` from 0.
std::uint64_t Feed(RecentRecord& record, int batches, std::size_t size, std::int64_t everyMs,
                   std::uint64_t from = 0) {
    for (int i = 0; i < batches; ++i) {
        Bytes b(size);
        std::iota(b.begin(), b.end(), static_cast<std::uint8_t>(from));
        from += size;
        record.Add(b.data(), b.size(), i * everyMs, Noon);
    }
    return from;
}

Bytes Counting(std::uint64_t from, std::uint64_t to) {
    Bytes b;
    for (std::uint64_t p = from; p < to; ++p) {
        b.push_back(static_cast<std::uint8_t>(p));
    }
    return b;
}

TEST(RecentRecordTest, TheSpanIsTheNewestBytesFromTheFirstBatchInIt) {
    struct Case {
        const char* what;
        std::size_t capacity;
        int batches;
        std::size_t size;
        std::int64_t everyMs, fromMs;
        std::uint64_t first; // position of the first byte expected
    };
    const Case cases[] = {
        {"the whole of a ring not yet full", 1000, 10, 64, 100, 0, 0},
        {"a wrapped ring: what it still holds", 1000, 25, 64, 100, 0, 25 * 64 - 1000},
        {"a wrapped ring, cut inside", 1000, 25, 64, 100, 2000, 20 * 64},
        {"a batch larger than the ring", 100, 1, 250, 100, 0, 150},
        {"batches close in time share the first one's", 1000, 10, 64, 10, 30, 5 * 64},
        {"nothing since the cut", 1000, 10, 64, 100, 5000, 10 * 64},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.what);
        RecentRecord record(c.capacity);
        const std::uint64_t end = Feed(record, c.batches, c.size, c.everyMs);
        EXPECT_EQ(record.Since(c.fromMs, {5000, 1000}).Body, Counting(c.first, end));
    }
}

TEST(RecentRecordTest, TheStateAtTheCutOutlivesTheEventsForgottenAndTimeIsBounded) {
    RecentRecord record(1000);
    record.Note(0, 0, Noon(), journal::PortOpened, "COM3");
    record.Note(0, 0, Noon(), journal::Start, "TMP1.$$$");  // a capture's own: passed over
    record.Note(0, 0, Noon(), journal::PortOpened, "COM3"); // repeated for a capture
    record.Note(0, 1, Noon(), journal::LineLost, "gone");
    // A line that comes and goes all day: its events do not pile up.
    for (int i = 0; i < 3 * static_cast<int>(RecentRecord::MaxEvents); ++i) {
        record.Note(0, 2 + i, Noon(), journal::Mark, std::to_string(i));
    }
    // Bytes every 500 ms for two spans, silent for 2.5 s before the last two.
    const std::int64_t later = 2 * RecentRecord::SpanMs;
    Feed(record, 1, 10, 0);
    for (std::int64_t ms = 500; ms <= later; ms += 500) {
        const std::uint8_t b = 0;
        if (ms <= later - 3000 || ms >= later - 500) {
            record.Add(&b, 1, ms, Noon);
        }
    }
    EXPECT_LE(record.HeldBytes(), 1000 + RecentRecord::SpanMs / 500 * 64 + 64 * 1024)
        << "the batches or events outgrew their bounds";
    const RecentPiece piece = record.Since(later - 10'000, {5000, 1000});
    ASSERT_EQ(piece.Body.size(), 17u);
    std::vector<std::pair<std::uint64_t, std::string>> events;
    for (const RecentEvent& e : piece.Events) {
        events.emplace_back(e.Offset, e.Event + " " + e.Detail);
    }
    EXPECT_EQ(events, (std::vector<std::pair<std::uint64_t, std::string>>{{0, "port-opened COM3"},
                                                                          {0, "line-lost gone"},
                                                                          {11, "time "},
                                                                          {15, "time "},
                                                                          {15, "time "}}));
    ASSERT_EQ(piece.Events.size(), 5u);
    EXPECT_EQ(WallMs(piece.Events[3].At), WallMs(Noon()) - 2500) << "when the silence began";
}

} // namespace
} // namespace vemor
