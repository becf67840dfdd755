#include "vemor/LineHealth.h"

#include <gtest/gtest.h>

#include <iterator>
#include <optional>

namespace vemor {
namespace {

TEST(LineHealthMeter, CountsFramesRejectsDriverErrorsAndSilence) {
    struct Step {
        std::int64_t at;
        std::size_t bytes, frames, rejected;
        std::optional<LineErrors> driver;
        int actualRate;
        const char* text;
    };
    const char* const none = "; line errors: 0 framing, 0 parity, 0 overrun, 0 buffer overrun";
    const Step steps[] = {
        {500, 3300, 95, 0, std::nullopt, 62500, "190 frames/s, 0 rejected"},
        {1000, 3300, 94, 1, LineErrors{7, 1, 0, 0}, 0, "189 frames/s, 1 rejected"},
        // silence below a second still shows a rate, counted over the last ticks
        {1500, 0, 0, 0, LineErrors{9, 1, 2, 0}, 0, "126 frames/s, 1 rejected"},
        {2100, 0, 0, 0, LineErrors{0, 0, 0, 1}, 0, "no data for 1 s, 1 rejected"}, // restarted
        {3000, 0, 0, 0, std::nullopt, 57600, "no data for 2 s, 1 rejected"},
        {3500, 660, 19, 2, LineErrors{1, 0, 0, 1}, 57600, "59 frames/s, 3 rejected"},
    };
    const std::string driverTexts[] = {
        "",
        none,
        "; line errors: 2 framing, 0 parity, 2 overrun, 0 buffer overrun",
        "; line errors: 2 framing, 0 parity, 2 overrun, 1 buffer overrun",
        "",
        "; line errors: 3 framing, 0 parity, 2 overrun, 1 buffer overrun"};
    LineHealthMeter meter;
    meter.Reset(0);
    for (std::size_t i = 0; i < std::size(steps); ++i) {
        const Step& s = steps[i];
        meter.Add(s.bytes, s.frames, s.rejected);
        std::string expected = std::string(s.text) + driverTexts[i];
        if (s.actualRate == 57600) {
            expected += "; the line runs at 57600 baud";
        }
        EXPECT_EQ(meter.Tick(s.at, s.driver ? &*s.driver : nullptr, 62500, s.actualRate), expected)
            << "at " << s.at;
    }
    meter.Reset(4000);
    EXPECT_EQ(meter.Tick(4500, nullptr, 62500, 0), "0 frames/s, 0 rejected");
}

// A steady line of 189.4 frames a second, read in batches that fall unevenly between ticks
// that come 400 to 600 ms apart, reads within a frame or two of its rate once the window is
// full; a tick's own count would read from 140 to 260.
TEST(LineHealthMeter, ASteadyLineReadsSteadily) {
    LineHealthMeter meter;
    meter.Reset(0);
    std::int64_t at = 0;
    std::uint64_t sent = 0;
    for (int tick = 1; tick <= 40; ++tick) {
        at += tick % 3 == 0 ? 400 : tick % 3 == 1 ? 600 : 500;
        const auto due = static_cast<std::uint64_t>(static_cast<double>(at) * 0.1894);
        meter.Add((due - sent) * 33, due - sent, 0);
        sent = due;
        const std::string text = meter.Tick(at, nullptr, 62500, 0);
        if (tick > 8) {
            const long rate = std::stol(text);
            EXPECT_GE(rate, 188) << text << " at " << at;
            EXPECT_LE(rate, 191) << text << " at " << at;
        }
    }
}

} // namespace
} // namespace vemor
