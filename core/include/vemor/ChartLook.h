#pragma once
// How a chart of the six traces looks, whatever draws it: the traces' titles and colours, the
// left axis and the bottom axis's design window. Every window of every front end takes it
// from here.

#include <array>
#include <cstdint>

namespace vemor {
// The bottom axis always shows the newest this many X units (frames).
inline constexpr double VisibleXUnits = 150.0;
} // namespace vemor

namespace vemor::chart {

struct Rgb {
    std::uint8_t R, G, B;
    friend bool operator==(Rgb, Rgb) = default;
};

inline constexpr int SeriesCount = 6;
inline constexpr double LeftAxisMinimum = -22;
inline constexpr double LeftAxisMaximum = 260;
inline constexpr double BottomAxisDesignMaximum = VisibleXUnits;

inline constexpr Rgb Background{0, 0, 0};
inline constexpr Rgb BackWall{255, 255, 255}; // not filled; only the colour rule sees it
inline constexpr Rgb Silver{192, 192, 192};
// The thin vertical lines across the chart: magenta and solid at the first frame after the
// line came back, cyan and dashed at the operator's marks.
enum class LineKind { Outage, Mark };
inline constexpr Rgb OutageColour{255, 0, 255};
inline constexpr Rgb MarkColour{0, 255, 255};
inline constexpr Rgb LineColour(LineKind kind) {
    return kind == LineKind::Mark ? MarkColour : OutageColour;
}
inline constexpr bool LineDashed(LineKind kind) {
    return kind == LineKind::Mark;
}
// A recording's spells without data, hatched: magenta where the line was lost, grey where
// the port was closed.
inline constexpr Rgb ClosedColour{160, 160, 160};
inline constexpr Rgb BandColour(bool lineLost) {
    return lineLost ? OutageColour : ClosedColour;
}

struct TraceLook {
    const char* Name;  // Series1..Series6
    const char* Title; // the legend text; empty: the legend shows the colour alone
    Rgb Colour;
    bool Stairs; // joined by a horizontal then a vertical segment
};

// The six traces in chart order. A trace without a design colour takes the palette's first
// colour that no other trace uses and that is neither the background nor the back wall.
const std::array<TraceLook, SeriesCount>& Traces();

} // namespace vemor::chart
