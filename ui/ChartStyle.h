#pragma once
// How a chart of the six traces looks, in one place for every window that shows them: the
// live window and a window showing a whole recording. GUI thread only.

#include <QColor>
#include <QFont>
#include <QPen>
#include <QString>

#include <array>

class QCPGraph;
class QCustomPlot;

namespace vemor::chart {

inline constexpr int SeriesCount = 6;
inline constexpr double LeftAxisMinimum = -22;
inline constexpr double LeftAxisMaximum = 260;
inline constexpr double BottomAxisDesignMaximum = 150;

inline const QColor Background(0, 0, 0);
inline const QColor BackWall(255, 255, 255); // not filled; only the palette rule sees it
inline const QColor Silver(192, 192, 192);

struct SeriesLook {
    const char* Name;  // Series1..Series6
    const char* Title; // the legend text
    QColor Colour;     // a design colour, or the palette's first free one
    bool Stairs;       // joined by a horizontal then a vertical segment
};

// The six traces in chart order, their colours resolved.
const std::array<SeriesLook, SeriesCount>& Series();

// The colour a trace without a design colour gets: the palette's first colour that no other
// trace uses and that is neither the background nor the back wall.
QColor FirstFreeColour(const QColor* used, std::size_t count);

// The five value labels shown with the chart: "MS Sans Serif", 12 points, bold.
QFont ValueFont();

// The thin vertical line at the first frame after the line came back.
QPen OutagePen();

// Background, axes, legend below the plot and the six graphs, in order; the live window's
// interactions are not part of the look.
std::array<QCPGraph*, SeriesCount> Apply(QCustomPlot* chart);

} // namespace vemor::chart
