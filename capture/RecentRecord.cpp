#include "vemor/capture/RecentRecord.h"

#include "vemor/capture/Journal.h"
#include "vemor/capture/JournalRecord.h"

#include <algorithm>
#include <limits>

namespace vemor {

RecentRecord::RecentRecord(std::size_t capacity) : capacity_(std::max<std::size_t>(capacity, 1)) {}

void RecentRecord::State::Apply(const RecentEvent& e) {
    if (e.Event == journal::PortOpened) {
        PortOpen = true;
        Port = e.Detail;
    } else if (e.Event == journal::PortClosed) {
        PortOpen = false;
        LineLost = false;
    } else if (e.Event == journal::LineLost) {
        LineLost = true;
        Lost = e.Detail;
    } else if (e.Event == journal::LineBack) {
        LineLost = false;
    }
}

std::uint64_t RecentRecord::Oldest() const {
    return received_ > capacity_ ? received_ - capacity_ : 0;
}

void RecentRecord::Add(const std::uint8_t* data, std::size_t count, std::int64_t ms,
                       WallTime (*wallClock)()) {
    if (count == 0) {
        return;
    }
    if (ring_.empty()) {
        ring_.resize(capacity_);
    }
    if (batches_.empty() || ms - batches_.back().Ms >= BatchMs) {
        batches_.push_back({received_, ms, ms, WallMs(wallClock())});
    }
    batches_.back().LastMs = ms;
    // Only the newest capacity_ bytes of a batch larger than the ring could stay.
    const std::size_t skip = count > capacity_ ? count - capacity_ : 0;
    received_ += skip;
    for (std::size_t done = skip; done < count;) {
        const std::size_t at = static_cast<std::size_t>(received_ % capacity_);
        const std::size_t n = std::min(count - done, capacity_ - at);
        std::copy_n(data + done, n, ring_.begin() + static_cast<std::ptrdiff_t>(at));
        done += n;
        received_ += n;
    }
    Forget(ms);
}

void RecentRecord::Note(std::uint64_t position, std::int64_t ms, const WallTime& at,
                        std::string_view event, std::string_view detail) {
    static const std::string_view kept[] = {journal::PortOpened, journal::PortClosed,
                                            journal::LineLost, journal::LineBack, journal::Mark};
    // A capture started on an open port says so again in its own journal.
    if (std::find(std::begin(kept), std::end(kept), event) == std::end(kept) ||
        (event == journal::PortOpened && now_.PortOpen)) {
        return;
    }
    events_.push_back({position, ms, at, std::string(event),
                       std::string(detail.substr(0, std::min(detail.size(), MaxDetail)))});
    now_.Apply(events_.back());
    Forget(ms);
}

// Drops what no span of SpanMs up to nowMs can reach, and what the ring wrote over.
void RecentRecord::Forget(std::int64_t nowMs) {
    const std::int64_t from = nowMs - SpanMs;
    while (!batches_.empty() && batches_.front().Ms < from) {
        batches_.pop_front();
    }
    while (batches_.size() > 1 && batches_[1].Start <= Oldest()) {
        batches_.pop_front();
    }
    if (!batches_.empty() && batches_.front().Start < Oldest()) {
        batches_.front().Start = Oldest();
    }
    while (!events_.empty() && (events_.front().Ms < from || events_.size() > MaxEvents)) {
        before_.Apply(events_.front());
        events_.pop_front();
    }
}

RecentPiece RecentRecord::Since(std::int64_t fromMs, const TimeMarks& marks) const {
    RecentPiece piece;
    const auto first = std::partition_point(batches_.begin(), batches_.end(),
                                            [&](const Batch& b) { return b.Ms < fromMs; });
    if (first == batches_.end()) {
        return piece;
    }
    const std::uint64_t start = std::max(first->Start, Oldest());
    piece.Body.resize(static_cast<std::size_t>(received_ - start));
    for (std::uint64_t p = start; p < received_;) {
        const std::size_t at = static_cast<std::size_t>(p % capacity_);
        const std::size_t n =
            std::min<std::size_t>(static_cast<std::size_t>(received_ - p), capacity_ - at);
        std::copy_n(ring_.begin() + static_cast<std::ptrdiff_t>(at), n,
                    piece.Body.begin() + static_cast<std::ptrdiff_t>(p - start));
        p += n;
    }
    piece.FirstMs = first->Ms;
    piece.FirstAt = WallTimeAt(first->WallMs);
    piece.StartAt = piece.FirstAt;

    State state = before_;
    std::int64_t earliest = first->Ms;
    for (const RecentEvent& e : events_) {
        if (e.Ms < fromMs) {
            state.Apply(e);
        } else {
            piece.Events.push_back(e);
            piece.Events.back().Offset = std::max(e.Offset, start) - start;
            if (e.Ms < earliest) {
                earliest = e.Ms;
                piece.StartAt = e.At;
            }
        }
    }
    // The state the span begins in, before everything else at offset 0.
    constexpr std::int64_t before = std::numeric_limits<std::int64_t>::min();
    if (state.PortOpen) {
        piece.Events.push_back({0, before, piece.StartAt, journal::PortOpened, state.Port});
    }
    if (state.PortOpen && state.LineLost) {
        piece.Events.push_back({0, before, piece.StartAt, journal::LineLost, state.Lost});
    }
    AddTimeMarks(first, start, earliest, marks, piece);
    std::stable_sort(piece.Events.begin(), piece.Events.end(),
                     [](const RecentEvent& a, const RecentEvent& b) {
                         return a.Offset != b.Offset ? a.Offset < b.Offset : a.Ms < b.Ms;
                     });
    return piece;
}

// As the session writes them into a running capture's journal.
void RecentRecord::AddTimeMarks(BatchAt first, std::uint64_t start, std::int64_t startMs,
                                const TimeMarks& marks, RecentPiece& piece) const {
    std::vector<std::int64_t> eventMs;
    for (const RecentEvent& e : piece.Events) {
        eventMs.push_back(e.Ms);
    }
    std::sort(eventMs.begin(), eventMs.end());
    auto nextEvent = eventMs.begin();
    std::int64_t lastKnown = startMs; // bytes taken or an event
    std::int64_t lastMark = startMs;
    const auto mark = [&](std::uint64_t offset, std::int64_t ms, std::int64_t wallMs) {
        piece.Events.push_back({offset - start, ms, WallTimeAt(wallMs), journal::Time, {}});
    };
    for (auto b = first; b != batches_.end(); ++b) {
        for (; nextEvent != eventMs.end() && *nextEvent <= b->Ms; ++nextEvent) {
            lastKnown = std::max(lastKnown, *nextEvent);
        }
        if (b->Ms - lastKnown >= marks.SilenceMs) {
            mark(b->Start, lastKnown, b->WallMs - (b->Ms - lastKnown));
            mark(b->Start, b->Ms, b->WallMs);
            lastMark = b->Ms;
        } else if (b->Ms - lastMark >= marks.EveryMs) {
            mark(b + 1 == batches_.end() ? received_ : (b + 1)->Start, b->Ms, b->WallMs);
            lastMark = b->Ms;
        }
        lastKnown = b->LastMs;
    }
}

std::size_t RecentRecord::HeldBytes() const {
    std::size_t details = 0;
    for (const RecentEvent& e : events_) {
        details += e.Event.capacity() + e.Detail.capacity();
    }
    return ring_.capacity() + batches_.size() * sizeof(Batch) +
           events_.size() * sizeof(RecentEvent) + details;
}

} // namespace vemor
