#pragma once
// When the live window paints: one screen update per paint tick, the labels and the chart in
// it together, at most one every IntervalMs. A request that comes IntervalMs or more after
// the last paint is served at once, in the wake-up of the data that asked for it; an earlier
// one waits for the rest of the interval, and the requests until then ride on it. Each screen
// update costs a round trip to the display and a flush whatever it draws, and figures that
// change faster than this cannot be read anyway. GUI thread only.

#include <algorithm>
#include <cstdint>
#include <optional>

namespace vemor {

class PaintPacer {
public:
    static constexpr int IntervalMs = 40;
    // A line that streams is taken off the driver once this often, and painted then: 20.4
    // times a second, just over the 20 chart moves a second the eye wants, since every
    // screen update costs about the same whatever it draws; and longer than the interval, so
    // that the paint it brings is served at once.
    static constexpr int StreamPeriodMs = 49;

    // A paint is wanted at nowMs (any steady clock in milliseconds). Returns how long to wait
    // for it (0: paint now) when the painter must set its timer, nothing when the paint
    // already set comes soon enough.
    std::optional<int> Request(std::int64_t nowMs) {
        const std::int64_t due = painted_ ? std::max(nowMs, last_ + IntervalMs) : nowMs;
        if (pending_ && due_ <= due) {
            return std::nullopt;
        }
        pending_ = true;
        due_ = due;
        return static_cast<int>(due - nowMs);
    }
    // The paint happened at nowMs; the next request is paced from it.
    void Painted(std::int64_t nowMs) {
        pending_ = false;
        painted_ = true;
        last_ = nowMs;
    }
    bool Pending() const { return pending_; }

private:
    bool pending_ = false;
    bool painted_ = false;
    std::int64_t last_ = 0;
    std::int64_t due_ = 0;
};

} // namespace vemor
