#include "vemor/LineHealth.h"

#include "vemor/PortAdvice.h"

#include <algorithm>

namespace vemor {

namespace {

// Growth of a running count; a count that went back started again from zero (the device was
// opened anew).
std::uint64_t Growth(std::uint64_t before, std::uint64_t now) {
    return now >= before ? now - before : now;
}

} // namespace

void LineHealthMeter::Reset(std::int64_t nowMs) {
    *this = LineHealthMeter{};
    samples_[0] = {nowMs, 0};
    sampleCount_ = 1;
    lastDataMs_ = nowMs;
}

std::string LineHealthMeter::Tick(std::int64_t nowMs, const LineErrors* driver, int wantedRate,
                                  int actualRate) {
    if (bytes_ != bytesAtLastTick_) {
        lastDataMs_ = nowMs;
    }
    if (sampleCount_ == 0 || nowMs > samples_[sampleCount_ - 1].ms) {
        if (sampleCount_ == samples_.size()) {
            std::copy(samples_.begin() + 1, samples_.end(), samples_.begin());
            --sampleCount_;
        }
        samples_[sampleCount_++] = {nowMs, frames_};
        const Sample& oldest = samples_[0];
        const auto spanMs = static_cast<std::uint64_t>(nowMs - oldest.ms);
        if (spanMs > 0) {
            framesPerSecond_ =
                static_cast<long>(((frames_ - oldest.frames) * 1000 + spanMs / 2) / spanMs);
        }
    }
    bytesAtLastTick_ = bytes_;

    const std::int64_t quietMs = nowMs - lastDataMs_;
    std::string text = quietMs >= 1000 ? "no data for " + std::to_string(quietMs / 1000) + " s"
                                       : std::to_string(framesPerSecond_) + " frames/s";
    text += ", " + std::to_string(rejected_) + " rejected";

    if (driver != nullptr) {
        if (haveDriver_) {
            driverGrowth_.Framing += Growth(driverLast_.Framing, driver->Framing);
            driverGrowth_.Parity += Growth(driverLast_.Parity, driver->Parity);
            driverGrowth_.Overrun += Growth(driverLast_.Overrun, driver->Overrun);
            driverGrowth_.BufferOverrun += Growth(driverLast_.BufferOverrun, driver->BufferOverrun);
        }
        driverLast_ = *driver;
        haveDriver_ = true;
        text += "; line errors: " + std::to_string(driverGrowth_.Framing) + " framing, " +
                std::to_string(driverGrowth_.Parity) + " parity, " +
                std::to_string(driverGrowth_.Overrun) + " overrun, " +
                std::to_string(driverGrowth_.BufferOverrun) + " buffer overrun";
    }
    if (RateIsOff(wantedRate, actualRate)) {
        text += "; the line runs at " + std::to_string(actualRate) + " baud";
    }
    return text;
}

} // namespace vemor
