#include "vemor/History.h"
#include "vemor/LiveDisplay.h"

#include <gtest/gtest.h>

namespace vemor {
namespace {

TEST(SeriesHistory, KeepsTheNewestPointsWithTheirNumbers) {
    SeriesHistory h(100);
    for (int i = 0; i < 1000; ++i) {
        h.Append(i % 257);
        const std::int64_t first = h.FirstX();
        ASSERT_EQ(first, i < 100 ? 0 : i + 1 - 100);
        ASSERT_EQ(h.At(first), static_cast<double>(first % 257));
        ASSERT_EQ(h.At(i), static_cast<double>(i % 257));
    }
    EXPECT_EQ(h.Count(), 1000);
    EXPECT_EQ(h.Capacity(), 100u);
}

TEST(SeriesHistory, ByteValuesSurviveExactly) {
    SeriesHistory h(300);
    for (int v = 0; v <= 256; ++v) {
        h.Append(v);
    }
    for (int v = 0; v <= 256; ++v) {
        EXPECT_EQ(h.At(v), v);
    }
}

class Model final : public LiveDisplay {
public:
    Model() : LiveDisplay({}) {}
    void Frames(std::int64_t n) {
        for (std::int64_t i = 0; i < n; ++i) {
            for (int s = 0; s < chart::SeriesCount; ++s) {
                AppendY(s, 1);
            }
        }
    }
    int changes = 0;

private:
    void RequestPaint() override {}
    void LinesChanged() override { ++changes; }
};

TEST(LiveDisplay, KeepsMarksAndOutagesByXUntilTheyLeaveTheHistory) {
    using L = std::deque<ChartLine>;
    constexpr auto Mark = chart::LineKind::Mark;
    constexpr auto Outage = chart::LineKind::Outage;
    Model m;
    m.AddMark(m.LastX(0)); // nothing shown yet: no line
    EXPECT_TRUE(m.Lines().empty());
    m.Frames(5);
    m.AddMark(m.LastX(0));
    m.SetLineLost(true);
    m.SetLineLost(false);
    m.Frames(5);
    m.AddMark(3); // a mark whose note came after the outage
    EXPECT_EQ(m.Lines(), (L{{3, Mark}, {4, Mark}, {5, Outage}}));
    EXPECT_EQ(m.changes, 3);

    m.Frames(LiveDisplay::HistoryPoints - 10 + 4); // X 0..3 have left the history
    EXPECT_EQ(m.Lines(), (L{{4, Mark}, {5, Outage}}));
    m.AddMark(3);
    EXPECT_EQ(m.Lines().size(), 2u) << "a mark already out of the history";
    m.Frames(2);
    EXPECT_TRUE(m.Lines().empty());
    EXPECT_EQ(m.changes, 6); // each line its own change as it left
}

// A label is to be painted while its newest text differs from the one it was last painted
// with: a figure that goes and comes back between two paints costs no repaint.
TEST(LiveDisplay, LabelIsChangedWhileItsTextDiffersFromThePaintedOne) {
    struct Step {
        const char* text; // set on the RPM label; nullptr: a paint
        bool changed;     // the label's bit afterwards
    };
    const Step steps[] = {{"100 RPM", true},  {nullptr, false},  {"200 RPM", true},
                          {"100 RPM", false}, {"200 RPM", true}, {nullptr, false},
                          {"200 RPM", false}, {"300 RPM", true}, {"400 RPM", true},
                          {nullptr, false},   {"", true},        {nullptr, false}};
    Model m;
    for (std::size_t n = 0; n < std::size(steps); ++n) {
        const Step& s = steps[n];
        if (s.text != nullptr) {
            m.SetLabelText(Label::RPM, s.text);
        } else {
            m.ClearChanged();
        }
        EXPECT_EQ((m.Changed() & 1u) != 0, s.changed) << "step " << n;
    }
}

// Requests in the order made, each with the wait the pacer answers (-1: none, the paint
// already set serves it); the paint follows once the time is past the wait.
TEST(PaintPacer, PaintsAtMostOncePerIntervalAndLetsRequestsRideOnThePaintSet) {
    struct Step {
        std::int64_t at;
        int wait;
    };
    const Step steps[] = {
        {0, 0},              // the first request paints at once
        {10, 30},            // too soon after it: waits for the interval's end
        {20, -1},            // rides on the paint set for 40
        {39, -1},  {100, 0}, // long after the last paint: at once, in the data's own wake-up
        {100, -1}, {139, 1},
    };
    PaintPacer pacer;
    std::int64_t paintAt = -1;
    for (const Step& s : steps) {
        if (paintAt >= 0 && s.at > paintAt) {
            pacer.Painted(paintAt);
            paintAt = -1;
        }
        const auto wait = pacer.Request(s.at);
        EXPECT_EQ(wait.value_or(-1), s.wait) << "request at " << s.at;
        if (wait) {
            paintAt = s.at + *wait;
        }
        EXPECT_TRUE(pacer.Pending());
    }
    pacer.Painted(140);
    EXPECT_FALSE(pacer.Pending());
}

} // namespace
} // namespace vemor
