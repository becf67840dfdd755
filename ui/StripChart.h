#pragma once
// The live part of a chart: the newest window of the six traces with the bottom axis, drawn
// over the chart's plot area. When the window moves it shifts the image it has by whole
// pixels and draws only the columns that came into view, so a frame costs a few columns
// instead of a whole chart. It mirrors the chart's geometry, axes and graph pens; the chart
// keeps the left axis and the legend. GUI thread only.

#include "NumberText.h"

#include "vemor/History.h"
#include "vemor/LiveDisplay.h"

#include <QColor>
#include <QFont>
#include <QHash>
#include <QPen>
#include <QVector>
#include <QWidget>

#include <array>
#include <cstdint>
#include <deque>
#include <vector>

class QCustomPlot;

namespace vemor {

class StripChart final : public QWidget {
public:
    // Draws the points of `series` and each of `lines`; both outlive it.
    StripChart(QCustomPlot* chart, const std::array<SeriesHistory, 6>& series,
               const std::deque<ChartLine>& lines);

    // Takes the chart's layout (after the chart was laid out); draws anew when it changed.
    void Relayout();
    // Shows the chart's bottom-axis window as it is now.
    void Follow();
    // Draws the whole strip anew at the next paint.
    void UpdateAll();
    // The X at the right edge.
    std::int64_t Right() const { return right_; }
    void setVisible(bool visible) override;

protected:
    void paintEvent(QPaintEvent* event) override;
    bool eventFilter(QObject* watched, QEvent* event) override;

private:
    struct Layout {
        QRect plot; // the chart's axis rect, in chart coordinates
        int axisHeight = 0;
        double yLower = 0;
        double yUpper = 0;
        bool operator==(const Layout&) const = default;
    };
    void TakeSpan(double span);
    void PaintRect(QPainter& p, const QRect& r);
    // The bottom axis labels that reach into r, which may lie beside the strip.
    void PaintLabels(QPainter& p, const QRect& r);
    QRect LabelRect(double x);
    bool Whole(const QRect& label) const;
    // A bottom axis label's text, measured once.
    const NumberText::Laid& TickLabel(double x);
    // Pixel column of X, absolute and in the widget.
    std::int64_t Absolute(double x) const;
    int Column(double x) const;
    // X shown at a widget column.
    double XAt(int column) const;
    int Row(double y) const;

    QCustomPlot* chart_;
    const std::array<SeriesHistory, 6>& series_;
    const std::deque<ChartLine>& chartLines_;
    // The bottom axis band left and right of the plot, where labels reach beyond it.
    std::array<QWidget*, 2> caps_{};

    Layout layout_;
    double span_ = 0;        // X units across the plot
    double pixelsPerX_ = 1;  // plot width / span
    std::int64_t right_ = 0; // X at the right edge
    std::int64_t last_ = -1; // the newest X drawn
    double xStep_ = 1;       // between ticks
    int xSubTicks_ = 0;      // between two ticks
    QVector<double> yTicks_; // inside the left axis range
    QVector<double> ySubTicks_;
    std::array<QPen, 6> pens_;
    std::array<bool, 6> stairs_{};
    QPen basePen_, tickPen_, subTickPen_, gridPen_, zeroPen_;
    int tickIn_ = 0, subTickIn_ = 0, labelPadding_ = 0;
    QFont labelFont_;
    NumberText tickText_;
    QHash<std::int64_t, NumberText::Laid> labels_; // by tick number
    std::vector<QPoint> dots_; // kept between paints, so that no paint allocates
    QVector<QLine> lines_;
    QColor labelColour_;
    QColor background_;
};

} // namespace vemor
