#pragma once
// Whether good data arrives on an open port: frames per second, frames of the wrong length,
// the driver's line-error counts and silence, as one short text.

#include <array>
#include <cstddef>
#include <cstdint>
#include <string>

namespace vemor {

// The driver's running counts of receive errors. Where they start is the driver's affair;
// only their growth matters.
struct LineErrors {
    std::uint64_t Framing = 0;
    std::uint64_t Parity = 0;
    std::uint64_t Overrun = 0;       // the UART's own receive register
    std::uint64_t BufferOverrun = 0; // the driver's receive buffer
};

// Owner: the thread that decodes (the GUI thread). Times are milliseconds on any steady clock.
class LineHealthMeter {
public:
    // A port opened at nowMs: every count starts again.
    void Reset(std::int64_t nowMs);
    // One decoded batch; costs three additions.
    void Add(std::size_t bytes, std::size_t frames, std::size_t rejected) {
        bytes_ += bytes;
        frames_ += frames;
        rejected_ += rejected;
    }
    // The text at nowMs. driver: the driver's counts now, or null when it keeps none.
    // actualRate: the rate the driver runs at, 0 when unknown.
    std::string Tick(std::int64_t nowMs, const LineErrors* driver, int wantedRate, int actualRate);

    std::uint64_t Rejected() const { return rejected_; }

private:
    std::uint64_t bytes_ = 0;
    std::uint64_t frames_ = 0;
    std::uint64_t rejected_ = 0;
    // The frame counts of the last ticks, oldest first, over which the rate is counted: a
    // steady line reads steadily though reads and ticks fall unevenly.
    static constexpr std::size_t RateTicks = 8;
    struct Sample {
        std::int64_t ms;
        std::uint64_t frames;
    };
    std::array<Sample, RateTicks + 1> samples_{};
    std::size_t sampleCount_ = 0;
    std::uint64_t bytesAtLastTick_ = 0;
    std::int64_t lastDataMs_ = 0; // the tick that first saw the newest bytes
    long framesPerSecond_ = 0;
    bool haveDriver_ = false; // driverLast_ holds a reading
    LineErrors driverLast_;
    LineErrors driverGrowth_; // since Reset, across counter restarts
};

} // namespace vemor
