#include "vemor/Assembler.h"
#include "vemor/ChartLook.h"
#include "vemor/Display.h"

#include "../support/FakeDisplay.h"

#include <gtest/gtest.h>

#include <array>

namespace vemor {
namespace {

using testing::FakeDisplay;

std::array<std::uint8_t, 33> Frame(std::uint8_t seed) {
    std::array<std::uint8_t, 33> f{};
    for (int i = 0; i < PayloadLength; ++i) {
        f[static_cast<std::size_t>(i)] = static_cast<std::uint8_t>(seed + i);
    }
    f[31] = 0xFF;
    return f;
}

TEST(ShowFrame, CallsLabelsThenSixAppendsThenMaximumBeforeMinimum) {
    FakeDisplay d;
    d.automatic = true;
    ShowFrame(Frame(1).data(), d, '.');
    const std::vector<std::string> expected{
        "label 0",  "label 1",  "label 2",  "label 3",  "label 4", "append 0", "append 1",
        "append 2", "append 3", "append 4", "append 5", "manual",  "max",      "min"};
    EXPECT_EQ(d.calls, expected);
}

TEST(ShowFrame, ManualAxisIsNotSwitchedAgain) {
    FakeDisplay d;
    ShowFrame(Frame(1).data(), d, '.');
    EXPECT_EQ(std::count(d.calls.begin(), d.calls.end(), "manual"), 0);
}

TEST(ShowFrame, AxisWindowFollowsTheNewestPoint) {
    FakeDisplay d;
    ShowFrame(Frame(0).data(), d, '.');
    EXPECT_EQ(d.bottom.Minimum(), -150);
    EXPECT_EQ(d.bottom.Maximum(), 0);
    for (int n = 1; n < 200; ++n) {
        ShowFrame(Frame(static_cast<std::uint8_t>(n)).data(), d, '.');
    }
    EXPECT_EQ(d.bottom.Minimum(), 49);
    EXPECT_EQ(d.bottom.Maximum(), 199);
    for (const auto& s : d.series) {
        EXPECT_EQ(s.size(), 200u);
    }
}

TEST(ShowFrame, ZoomedAxisIsTakenBackByTheNextFrame) {
    FakeDisplay d;
    for (int n = 0; n < 10; ++n) {
        ShowFrame(Frame(1).data(), d, '.');
    }
    d.automatic = true;
    d.bottom = AxisBounds(2, 5);
    ShowFrame(Frame(1).data(), d, '.');
    EXPECT_FALSE(d.automatic);
    EXPECT_EQ(d.bottom.Minimum(), -140);
    EXPECT_EQ(d.bottom.Maximum(), 10);
}

TEST(ShowFrame, LabelsAndPointsComeFromTheFrameBytes) {
    FakeDisplay d;
    auto f = Frame(0);
    f[3] = 77;
    f[4] = 244;
    f[5] = 63;
    f[6] = 2;
    f[7] = 130;
    f[9] = 100;
    f[12] = 12;
    f[14] = 1;
    f[19] = 25;
    ShowFrame(f.data(), d, ',');
    EXPECT_EQ(d.labels[0], "781 RPM");
    EXPECT_EQ(d.labels[1], "0,13 V Batt");
    EXPECT_EQ(d.labels[2], "100 \xB0"
                           "C CLT");
    EXPECT_EQ(d.labels[3], "-1 \xB0"
                           "C IAT");
    EXPECT_EQ(d.labels[4], "2,5 PW ");
    const std::array<double, 6> y{77, 156, 25, 130, 12, 1};
    for (std::size_t i = 0; i < 6; ++i) {
        EXPECT_EQ(d.series[i].back(), y[i]) << "series " << i;
    }
}

TEST(ShowFrame, AssemblerFeedsTheDisplayOncePerAcceptedFrame) {
    FakeDisplay d;
    FrameAssembler a;
    std::vector<std::uint8_t> stream;
    for (int n = 0; n < 3; ++n) {
        auto f = Frame(static_cast<std::uint8_t>(n * 40));
        AppendLineFrame(stream, f.data());
        stream.push_back(0x42); // noise: makes the next frame 34 bytes long
    }
    for (std::uint8_t b : stream) {
        a.AssembleByte(b, [&](const std::uint8_t* f) { ShowFrame(f, d, '.'); });
    }
    EXPECT_EQ(d.series[0].size(), 1u); // only the first frame has 33 bytes
}

// Each bound is set alone; one that would cross the other is refused and changes nothing, but
// meeting it is allowed (a window of zero width exists between the two settings).
TEST(AxisBounds, ABoundThatWouldCrossTheOtherIsRefusedAndChangesNothing) {
    struct Case {
        bool maximum; // which bound is set
        double value;
        bool refused;
        double minimum, maximumAfter;
        bool showable;
    };
    const Case cases[] = {
        {true, 20, false, 10, 20, true},   {true, 10, false, 10, 10, false},
        {true, 9.5, true, 10, 15, true},   {false, 15, false, 15, 15, false},
        {false, 15.5, true, 10, 15, true}, {false, -3, false, -3, 15, true},
    };
    for (const Case& c : cases) {
        AxisBounds b(10, 15);
        const auto set = [&] { c.maximum ? b.SetMaximum(c.value) : b.SetMinimum(c.value); };
        if (c.refused) {
            EXPECT_THROW(set(), AxisError) << c.value;
        } else {
            EXPECT_NO_THROW(set()) << c.value;
        }
        EXPECT_EQ(b.Minimum(), c.minimum) << c.value;
        EXPECT_EQ(b.Maximum(), c.maximumAfter) << c.value;
        EXPECT_EQ(b.Showable(), c.showable) << c.value;
    }
}

// Both front ends draw the traces from this table; the two without a design colour take the
// palette's first free ones (red, then dark green), never black or white.
TEST(ChartLook, TracesWithoutADesignColourTakeThePalettesFirstFreeOnes) {
    struct Expected {
        const char* title;
        chart::Rgb colour;
        bool stairs;
    };
    const Expected expected[chart::SeriesCount] = {
        {"MAP", {255, 255, 255}, false}, {"RPM", {255, 255, 0}, false}, {"PW", {255, 0, 0}, false},
        {"O2", {0, 255, 0}, false},      {"TPS", {0, 0, 255}, false},   {"", {0, 128, 0}, true},
    };
    for (std::size_t i = 0; i < chart::Traces().size(); ++i) {
        const chart::TraceLook& look = chart::Traces()[i];
        EXPECT_STREQ(look.Title, expected[i].title) << i;
        EXPECT_EQ(look.Colour, expected[i].colour) << i;
        EXPECT_EQ(look.Stairs, expected[i].stairs) << i;
        EXPECT_EQ(look.Name, "Series" + std::to_string(i + 1));
    }
}

} // namespace
} // namespace vemor
