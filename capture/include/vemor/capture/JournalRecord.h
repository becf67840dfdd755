#pragma once
// A capture's journal as read back: its events in order, the marks, the spells in which the
// line was lost or the port closed, and the body offset's time of day. Lines that are no
// event (a heading, a line cut short by a crash) are passed over and counted, so that what
// a journal holds is read whatever else it holds.

#include "vemor/Capture.h"

#include <cmath>
#include <cstddef>
#include <cstdint>
#include <optional>
#include <string>
#include <string_view>
#include <vector>

namespace vemor {

// Milliseconds of the local calendar since 1970-01-01 00:00:00.000, and back.
std::int64_t WallMs(const WallTime& t);
WallTime WallTimeAt(std::int64_t ms);
// "2026-12-09 17:09:41.123", the date and time columns of a CSV row.
std::string WallText(std::int64_t ms);
// The same written at out, for rows written by the million; returns the end. Room for at
// most WallTextRoom bytes (23 for years 0 to 9999).
inline constexpr std::size_t WallTextRoom = 40;
char* PutWallText(char* out, std::int64_t ms);
// "0:01:22.50": hours, minutes, seconds and hundredths.
std::string DurationText(std::int64_t ms, char sep = '.');

std::string UnescapeJournalText(std::string_view text);

struct JournalEntry {
    std::uint64_t offset = 0;
    std::int64_t ms = 0; // WallMs of its time
    std::string event;
    std::string detail;
};

struct JournalMark {
    std::uint64_t offset = 0;
    std::int64_t ms = 0;
    std::string number; // as the journal gives it
    std::string note;
};

// Time in which no byte could come: the line lost until it was back, or the port closed
// until it was opened again (or the capture's end).
struct JournalSpell {
    enum class Kind { LineLost, PortClosed };
    Kind kind = Kind::LineLost;
    std::uint64_t offset = 0;
    std::int64_t fromMs = 0;
    std::int64_t toMs = 0;
    // "line lost 0:00:12.30", "port closed 0:00:05.00"
    std::string Text(char sep = '.') const;
};

class JournalRecord {
public:
    // A journal's whole text. Events whose offset runs backwards are passed over.
    explicit JournalRecord(std::string_view text);

    const std::vector<JournalEntry>& Entries() const { return entries_; }
    std::size_t PassedOver() const { return passedOver_; }
    bool Empty() const { return entries_.empty(); }
    const std::vector<JournalMark>& Marks() const { return marks_; }
    const std::vector<JournalSpell>& Spells() const { return spells_; }

    // The local time of the body offset: the time at which the byte before it arrived, found
    // between the events around it. At an offset that several events share (the line lost
    // there, then back), the earliest of their times.
    std::int64_t MsAt(std::uint64_t offset) const { return std::llround(ExactMsAt(offset)); }
    double ExactMsAt(std::uint64_t offset) const;
    // MsAt for offsets that never decrease from one call to the next, walking on from next
    // (0 at first) instead of searching, so that rows in order cost no search.
    std::int64_t MsAt(std::uint64_t offset, std::size_t& next) const;
    // The smallest offset whose time is at least ms.
    std::uint64_t OffsetAt(double ms) const;
    std::int64_t FirstMs() const { return entries_.front().ms; }
    std::int64_t LastMs() const { return entries_.back().ms; }
    // From the start to the stop, or to the last event of a capture not finished.
    std::int64_t SpanMs() const { return Empty() ? 0 : LastMs() - FirstMs(); }

private:
    // ExactMsAt of an offset, next being the first event at or after it.
    double ExactMsBefore(std::size_t next, std::uint64_t offset) const;

    std::vector<JournalEntry> entries_; // offsets and times never decreasing
    std::vector<JournalMark> marks_;
    std::vector<JournalSpell> spells_;
    std::size_t passedOver_ = 0;
};

// The journal beside the capture, when there is one that can be read; error says why one
// that is there cannot be read.
std::optional<JournalRecord> ReadJournalOf(const std::string& capturePath,
                                           std::string* error = nullptr);

} // namespace vemor
