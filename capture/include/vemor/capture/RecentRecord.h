#pragma once
// The last minutes of the line in memory, whether a capture runs or not: the received bytes in
// a ring of fixed size, when each batch of them arrived, and the port's and the line's events
// among them, so that a span that nobody was recording can still be saved as a capture.

#include "vemor/Capture.h"

#include <cstddef>
#include <cstdint>
#include <deque>
#include <string>
#include <string_view>
#include <vector>

namespace vemor {

// An event of a journal, at a body offset, with the local time it happened at.
struct RecentEvent {
    std::uint64_t Offset = 0;
    std::int64_t Ms = 0; // on the record's steady clock
    WallTime At;
    std::string Event; // one of the journal:: names
    std::string Detail;
};

// What arrived in a span: the body, the time of day of its first byte, and the journal
// events between its bytes (the port's and the line's state at the span's start first, then
// the time marks and the events in order), without the start and the stop.
struct RecentPiece {
    std::vector<std::uint8_t> Body;
    std::int64_t FirstMs = 0; // the steady time the first byte arrived
    WallTime FirstAt;
    WallTime StartAt; // of the earliest byte or event of the span
    std::vector<RecentEvent> Events;
};

// Owner: GUI thread, like the session that feeds it.
class RecentRecord {
public:
    static constexpr std::int64_t SpanMs = 10 * 60 * 1000;
    // The line's ten minutes at 6250 bytes a second.
    static constexpr std::size_t DefaultCapacity = 10 * 60 * 6250;
    // Batches this close in time share one arrival time, which bounds the times kept.
    static constexpr std::int64_t BatchMs = 50;
    // Events beyond these are dropped oldest first (a line that comes and goes all day).
    static constexpr std::size_t MaxEvents = 512;
    static constexpr std::size_t MaxDetail = 1000;

    explicit RecentRecord(std::size_t capacity = DefaultCapacity);

    // A batch of received bytes at `ms`; the wall clock is read only for a new arrival time.
    void Add(const std::uint8_t* data, std::size_t count, std::int64_t ms,
             WallTime (*wallClock)() = LocalWallTime);
    // Keeps the port's and the line's events and the marks; the others (start, stop, time
    // marks, bytes given up) belong to one capture, and are passed over. `position` is
    // Received() when the event happened.
    void Note(std::uint64_t position, std::int64_t ms, const WallTime& at, std::string_view event,
              std::string_view detail);

    // Bytes ever added: the position of the next one.
    std::uint64_t Received() const { return received_; }
    // When a capture's journal gets its time marks: after the bytes that came EveryMs after
    // the last mark, and a pair before the bytes that end a silence of SilenceMs.
    struct TimeMarks {
        std::int64_t EveryMs = 0;
        std::int64_t SilenceMs = 0;
    };
    // What arrived from `fromMs` on, with its time marks. Empty Body when nothing did.
    RecentPiece Since(std::int64_t fromMs, const TimeMarks& marks) const;
    // The memory held, for the benchmarks.
    std::size_t HeldBytes() const;

private:
    struct Batch {
        std::uint64_t Start = 0; // position of its first byte
        std::int64_t Ms = 0;
        std::int64_t LastMs = 0; // of the last bytes that joined it
        std::int64_t WallMs = 0; // of its local time, kept small
    };
    using BatchAt = std::deque<Batch>::const_iterator;
    struct State {
        bool PortOpen = false;
        std::string Port;
        bool LineLost = false;
        std::string Lost;
        void Apply(const RecentEvent& e);
    };

    std::uint64_t Oldest() const; // position of the oldest byte still held
    // Adds the marks of the batches from `first` to `piece`, whose events are in.
    void AddTimeMarks(BatchAt first, std::uint64_t start, std::int64_t startMs,
                      const TimeMarks& marks, RecentPiece& piece) const;
    void Forget(std::int64_t nowMs);

    std::size_t capacity_;
    std::vector<std::uint8_t> ring_; // made at the first byte
    std::uint64_t received_ = 0;
    std::deque<Batch> batches_;
    std::deque<RecentEvent> events_; // Offset: the position
    State before_;                   // as the events forgotten left it
    State now_;                      // as all events left it
};

} // namespace vemor
