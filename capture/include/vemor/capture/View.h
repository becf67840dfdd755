#pragma once
// What a chart of a capture draws for a stretch of X: one point per frame when there are no
// more frames than pixel columns, otherwise each column's smallest and largest value from the
// index's summary, so that a redraw costs the same at any zoom.

#include "vemor/capture/Index.h"

#include <array>
#include <cstdint>
#include <optional>
#include <string>
#include <utility>
#include <vector>

namespace vemor::decode {

enum class XUnit {
    Frames,  // the frame's number
    Seconds, // from the start: by the journal's clock where there is one, else offset / 6250
};

// The chart's Y of a trace (series position 0..5) for a raw byte, as the live chart has it.
double TraceValue(int trace, std::uint8_t raw);

// The seconds of a body offset from the start: the journal's time of its arrival where the
// capture has a journal, exact across pauses and outages; the line's rate otherwise.
double OffsetSeconds(const CaptureIndex& index, std::uint64_t offset);
// With a journal, the second of the day (from the start date's midnight) at 0 seconds, for
// tick labels in time of day.
std::optional<double> ClockOrigin(const CaptureIndex& index);

double FrameX(const CaptureIndex& index, std::uint64_t frame, XUnit unit);
// X of the gap before the frame (after the last one for frame == Frames()), where a rejected
// stretch is marked.
double GapX(const CaptureIndex& index, std::uint64_t frame, XUnit unit);
// From the start to the last frame, or to the end of the body in seconds.
double FullWidth(const CaptureIndex& index, XUnit unit);
// The frames whose X lies in [lo, hi], as [first, last).
std::pair<std::uint64_t, std::uint64_t> FramesIn(const CaptureIndex& index, double lo, double hi,
                                                 XUnit unit);
// The frame whose X is closest; the index must hold a frame.
std::uint64_t FrameNear(const CaptureIndex& index, double x, XUnit unit);

struct Point {
    double x, y;
};

// The values of a trace over one pixel column, widened where needed to reach the column
// before it, so that the trace has no gaps.
struct Column {
    double x, lo, hi;
};

// A spell without a line or port, from..to; in frames both are the gap it lies in.
struct Band {
    double from, to;
    JournalSpell::Kind kind;
    std::string text; // "line lost 0:00:12.30"
};

struct MarkLine {
    double x;
    std::string number;
    std::string note;
};

// The frame a mark was placed in: the one that holds the newest byte then.
std::uint64_t MarkFrame(const CaptureIndex& index, const JournalMark& mark);

struct View {
    bool eachFrame = false;
    // With eachFrame, one point per frame; otherwise one column per pixel column that holds
    // frames. Both in ascending x.
    std::array<std::vector<Point>, SeriesCount> points;
    std::array<std::vector<Column>, SeriesCount> columns;
    std::vector<double> rejects; // X of the marks of rejected stretches
    // From the journal, where they reach into the view.
    std::vector<Band> bands;
    std::vector<MarkLine> marks;
};

// X from lo to hi over `columns` pixel columns; one frame beyond each edge is included so
// that the traces reach the edges.
View BuildView(const CaptureIndex& index, XUnit unit, double lo, double hi, int columns,
               char sep = '.');

} // namespace vemor::decode
