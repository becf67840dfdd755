#pragma once
// How a chart of the six traces looks in Qt, in one place for every window that shows them: the
// live window and a window showing a whole recording. GUI thread only.

#include "vemor/ChartLook.h"

#include <QColor>
#include <QFont>
#include <QPen>
#include <QString>

#include <array>

class QCPGraph;
class QCustomPlot;

namespace vemor::chart {

inline QColor ToQColor(Rgb c) {
    return QColor(c.R, c.G, c.B);
}

// The five value labels shown with the chart: "MS Sans Serif", 12 points, bold.
QFont ValueFont();

// The thin vertical line at the first frame after the line came back, or at a mark.
QPen LinePen(LineKind kind);

// Background, axes, legend below the plot and the six graphs, in order; the live window's
// interactions are not part of the look.
std::array<QCPGraph*, SeriesCount> Apply(QCustomPlot* chart);

} // namespace vemor::chart
