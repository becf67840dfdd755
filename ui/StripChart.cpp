#include "StripChart.h"

#include "ChartStyle.h"

#include <QPaintEvent>
#include <QPainter>
#include <qcustomplot.h>

#include <algorithm>
#include <cmath>
#include <vector>

namespace vemor {

namespace {

// Columns at the plot's left edge that carry the left axis over the traces; drawn again
// whenever the image moves.
constexpr int AxisBand = 8;
// Columns left of those that came into view that a move draws again: the newest segment
// starts there, two pixels wide.
constexpr int SeamColumns = 2;
// Columns beyond a drawn rectangle whose ticks may still put a label into it.
constexpr int LabelReach = 60;
// A dotted line: one pixel on, two off.
constexpr int DotPeriod = 3;

// Calls f with every multiple of step in [from, to].
template <class F>
void ForSteps(double from, double to, double step, F f) {
    for (auto i = static_cast<std::int64_t>(std::ceil(from / step)); i * step <= to; ++i) {
        f(static_cast<double>(i) * step);
    }
}

int Mod(std::int64_t a, int n) {
    const auto m = static_cast<int>(a % n);
    return m < 0 ? m + n : m;
}

} // namespace

StripChart::StripChart(QCustomPlot* chart, const std::array<SeriesHistory, 6>& series,
                       const std::deque<ChartLine>& lines)
    : QWidget(chart), chart_(chart), series_(series), chartLines_(lines) {
    // Every pixel is painted here; the operator's mouse goes to the chart underneath.
    setAttribute(Qt::WA_OpaquePaintEvent);
    setAttribute(Qt::WA_TransparentForMouseEvents);
    setGeometry(QRect());
    for (QWidget*& cap : caps_) {
        cap = new QWidget(chart);
        cap->setAttribute(Qt::WA_TransparentForMouseEvents);
        cap->setAttribute(Qt::WA_OpaquePaintEvent);
        cap->setGeometry(QRect());
        cap->installEventFilter(this);
    }
    connect(chart, &QCustomPlot::afterReplot, this, &StripChart::Relayout);
}

void StripChart::setVisible(bool visible) {
    QWidget::setVisible(visible);
    for (QWidget* cap : caps_) {
        cap->setVisible(visible);
    }
}

void StripChart::Relayout() {
    const QCPAxisRect* rect = chart_->axisRect();
    const QCPRange y = chart_->yAxis->range();
    const Layout l{rect->rect(), rect->margins().bottom(), y.lower, y.upper};
    if (l == layout_) {
        return;
    }
    layout_ = l;
    const QRect plot = l.plot;
    setGeometry(plot.left(), plot.top(), plot.width(), plot.height() + l.axisHeight);
    // The bottom axis band beside the plot: the chart's own labels there would stay behind
    // while this strip moves.
    caps_[0]->setGeometry(0, plot.bottom() + 1, plot.left(), l.axisHeight);
    caps_[1]->setGeometry(plot.right() + 1, plot.bottom() + 1, chart_->width() - plot.right() - 1,
                          l.axisHeight);

    const QCPAxis* xAxis = chart_->xAxis;
    const QCPAxis* yAxis = chart_->yAxis;
    QVector<double> ticks;
    QVector<QString> labels;
    yAxis->ticker()->generate(y, chart_->locale(), yAxis->numberFormat().at(0),
                              yAxis->numberPrecision(), ticks, &ySubTicks_, &labels);
    yTicks_.clear();
    for (double t : ticks) {
        if (y.contains(t)) {
            yTicks_.append(t);
        }
    }
    for (int i = 0; i < chart_->graphCount() && i < static_cast<int>(pens_.size()); ++i) {
        const QCPGraph* g = chart_->graph(i);
        pens_[static_cast<std::size_t>(i)] = g->pen();
        stairs_[static_cast<std::size_t>(i)] = g->lineStyle() == QCPGraph::lsStepLeft;
    }
    basePen_ = xAxis->basePen();
    tickPen_ = xAxis->tickPen();
    subTickPen_ = xAxis->subTickPen();
    gridPen_ = xAxis->grid()->pen();
    zeroPen_ = xAxis->grid()->zeroLinePen();
    tickIn_ = xAxis->tickLengthIn();
    subTickIn_ = xAxis->subTickLengthIn();
    labelPadding_ = xAxis->tickLabelPadding();
    labelFont_ = xAxis->tickLabelFont();
    labelColour_ = xAxis->tickLabelColor();
    background_ = chart::ToQColor(chart::Background);
    labels_.clear();
    tickText_.SetFont(labelFont_);

    span_ = 0; // taken anew below, with the new width
    Follow();
    UpdateAll();
}

void StripChart::UpdateAll() {
    update();
    for (QWidget* cap : caps_) {
        cap->update();
    }
}

void StripChart::TakeSpan(double span) {
    span_ = span;
    labels_.clear();
    pixelsPerX_ = layout_.plot.width() > 0 ? layout_.plot.width() / span : 1;
    QVector<double> ticks;
    QVector<double> subTicks;
    const QCPAxis* x = chart_->xAxis;
    x->ticker()->generate(QCPRange(0, span), chart_->locale(), x->numberFormat().at(0),
                          x->numberPrecision(), ticks, &subTicks, nullptr);
    xStep_ = ticks.size() >= 2 ? ticks[1] - ticks[0] : span;
    xSubTicks_ = 0;
    if (ticks.size() >= 2) {
        for (double s : subTicks) {
            xSubTicks_ += s > ticks[0] && s < ticks[1] ? 1 : 0;
        }
    }
}

void StripChart::Follow() {
    const QCPRange x = chart_->xAxis->range();
    const std::int64_t right = std::llround(x.upper);
    const std::int64_t drawn = last_;
    last_ = std::min(series_[0].Count() - 1, right);
    if (span_ <= 0 || std::abs(x.size() - span_) > 1e-9) {
        TakeSpan(x.size());
        right_ = right;
        UpdateAll();
        return;
    }
    if (right == right_ && last_ == drawn) {
        return;
    }
    const std::int64_t dx =
        Absolute(static_cast<double>(right)) - Absolute(static_cast<double>(right_));
    right_ = right;
    const int w = width();
    const int h = height();
    if (isHidden() || w <= 0) {
        return; // showing it draws it whole
    }
    // Everything from the newest point drawn so far is new.
    const int from = std::max(Column(static_cast<double>(drawn)), 0) - SeamColumns;
    if (dx < 0 || dx >= w - AxisBand || from <= AxisBand) {
        UpdateAll();
        return;
    }
    if (dx > 0) {
        scroll(-static_cast<int>(dx), 0, QRect(0, 0, w, h));
    }
    update(QRect(from, 0, w - from, h));
    // The axis labels below the band moved with the image.
    update(QRect(0, 0, AxisBand, layout_.plot.height()));
    // A cap shows the part of a label that reaches past the plot's edge, before or after the
    // move.
    const auto shift = static_cast<int>(dx);
    for (QWidget* cap : caps_) {
        const QRect area = cap->geometry().translated(-pos());
        bool touched = false;
        ForSteps(XAt(area.left() - LabelReach - shift), XAt(area.right() + LabelReach), xStep_,
                 [&](double t) {
                     const QRect label = LabelRect(t);
                     touched = touched || label.intersects(area) ||
                               label.translated(shift, 0).intersects(area);
                 });
        if (touched) {
            cap->update();
        }
    }
    // A label that the move took past the chart's left edge goes from the strip as well.
    ForSteps(XAt(-LabelReach), XAt(LabelReach), xStep_, [&](double t) {
        const QRect label = LabelRect(t);
        if (!Whole(label) && label.right() >= 0) {
            update(label.intersected(rect()));
        }
    });
    // One that the move brought whole into view at the right edge is drawn whole, also over
    // the columns drawn while it was still cut there and left without it.
    ForSteps(XAt(w - 1 - LabelReach), XAt(w - 1 + LabelReach), xStep_, [&](double t) {
        const QRect label = LabelRect(t);
        if (Whole(label) && !Whole(label.translated(shift, 0))) {
            update(label.intersected(rect()));
        }
    });
}

std::int64_t StripChart::Absolute(double x) const {
    return std::llround(x * pixelsPerX_);
}

int StripChart::Column(double x) const {
    const std::int64_t c = (width() - 1) - (Absolute(static_cast<double>(right_)) - Absolute(x));
    return static_cast<int>(std::clamp<std::int64_t>(c, -(1 << 20), 1 << 20));
}

double StripChart::XAt(int column) const {
    return static_cast<double>(right_) - (width() - 1 - column) / pixelsPerX_;
}

int StripChart::Row(double y) const {
    const int h = layout_.plot.height();
    const double range = layout_.yUpper - layout_.yLower;
    return static_cast<int>(std::lround(h - 1 - (y - layout_.yLower) * h / range));
}

void StripChart::PaintLabels(QPainter& p, const QRect& r) {
    const int h = layout_.plot.height();
    if (r.bottom() <= h - 1 || span_ <= 0) {
        return;
    }
    p.setFont(labelFont_);
    p.setPen(labelColour_);
    ForSteps(XAt(r.left() - LabelReach), XAt(r.right() + LabelReach), xStep_, [&](double t) {
        const QRect label = LabelRect(t);
        if (label.intersects(r) && Whole(label)) {
            tickText_.Draw(p, label.topLeft(), TickLabel(t));
        }
    });
}

QRect StripChart::LabelRect(double x) {
    const QSizeF text = TickLabel(x).size;
    const QSize size(static_cast<int>(std::ceil(text.width())),
                     static_cast<int>(std::ceil(text.height())));
    return {QPoint(Column(x) - size.width() / 2, layout_.plot.height() - 1 + labelPadding_), size};
}

// A label is drawn whole or not at all: within the chart, from its left edge (the left cap's)
// to its right edge (the right cap's), in the strip's coordinates.
bool StripChart::Whole(const QRect& label) const {
    return label.left() >= -layout_.plot.left() &&
           label.right() <= chart_->width() - layout_.plot.left() - 1;
}

const NumberText::Laid& StripChart::TickLabel(double x) {
    const auto key = std::llround(x / xStep_);
    auto known = labels_.constFind(key);
    if (known != labels_.constEnd()) {
        return *known;
    }
    if (labels_.size() > 64) {
        // The ticks the strip has moved past go; those in view stay laid out.
        const auto oldest = std::llround(XAt(-LabelReach) / xStep_) - 1;
        labels_.removeIf([&](const auto& tick) { return tick.key() < oldest; });
        if (labels_.size() > 64) {
            labels_.clear();
        }
    }
    return *labels_.insert(key, tickText_.Lay(chart_->locale().toString(
                                    x, chart_->xAxis->numberFormat().at(0).toLatin1(),
                                    chart_->xAxis->numberPrecision())));
}

bool StripChart::eventFilter(QObject* watched, QEvent* event) {
    auto* cap = qobject_cast<QWidget*>(watched);
    if (event->type() != QEvent::Paint || cap == nullptr) {
        return QWidget::eventFilter(watched, event);
    }
    // In the strip's coordinates, so that labels continue across the edge.
    QPainter p(cap);
    p.fillRect(cap->rect(), background_);
    const QPoint offset = cap->pos() - pos();
    p.translate(-offset);
    PaintLabels(p, cap->rect().translated(offset));
    return true;
}

void StripChart::paintEvent(QPaintEvent* event) {
    QPainter p(this);
    for (const QRect& r : event->region()) {
        PaintRect(p, r);
    }
}

void StripChart::PaintRect(QPainter& p, const QRect& r) {
    p.setClipRect(r);
    p.fillRect(r, background_);
    const int h = layout_.plot.height();
    if (h <= 0 || span_ <= 0) {
        return;
    }
    const int c0 = r.left();
    const int c1 = r.right();
    const int top = std::max(r.top(), 0);
    const int bottom = std::min(r.bottom(), h - 1);
    const std::int64_t absolute0 = Absolute(static_cast<double>(right_)) - (width() - 1);
    const double lower = static_cast<double>(right_) - span_;
    const double upper = static_cast<double>(right_);
    const double xFrom = XAt(c0);
    const double xTo = XAt(c1);

    // Grid: dotted lines at the ticks, solid through zero when zero is inside the range.
    std::vector<QPoint>& dots = dots_;
    dots.clear();
    const auto inside = [&](int c) { return c >= c0 && c <= c1; };
    ForSteps(xFrom, xTo, xStep_, [&](double t) {
        const int c = Column(t);
        if (!inside(c)) {
            return;
        }
        if (t == 0 && lower < 0 && upper > 0) {
            p.setPen(zeroPen_);
            p.drawLine(c, 0, c, h - 1);
            return;
        }
        // Dotted from the bottom up, as a line drawn upwards.
        for (int row = h - 1; row >= top; row -= DotPeriod) {
            if (row <= bottom) {
                dots.emplace_back(c, row);
            }
        }
    });
    for (double v : yTicks_) {
        const int row = Row(v);
        if (row < top || row > bottom) {
            continue;
        }
        if (v == 0 && layout_.yLower < 0 && layout_.yUpper > 0) {
            p.setPen(zeroPen_);
            p.drawLine(c0, row, c1, row);
            continue;
        }
        for (int c = c0 + Mod(-(absolute0 + c0), DotPeriod); c <= c1; c += DotPeriod) {
            dots.emplace_back(c, row);
        }
    }
    p.setPen(QPen(gridPen_.color(), 0));
    p.drawPoints(dots.data(), static_cast<int>(dots.size()));

    // Traces: each segment two one-pixel lines side by side, which draws several times
    // faster than a two-pixel pen and covers the same pixels.
    const std::int64_t first = std::max<std::int64_t>(series_[0].FirstX(), 0);
    const std::int64_t last = std::min(series_[0].Count() - 1, right_);
    const std::int64_t xa =
        std::max(first, static_cast<std::int64_t>(std::floor(XAt(c0 - SeamColumns - 1))));
    const std::int64_t xb =
        std::min(last, static_cast<std::int64_t>(std::ceil(XAt(c1 + SeamColumns + 1))));
    QVector<QLine>& lines = lines_;
    for (std::size_t s = 0; s < series_.size() && xa < xb; ++s) {
        const SeriesHistory& history = series_[s];
        const int widthPx = std::max(1, pens_[s].width());
        const auto add = [&](QPoint a, QPoint b) {
            const bool flat = std::abs(b.x() - a.x()) >= std::abs(b.y() - a.y());
            const QPoint step = flat ? QPoint(0, -1) : QPoint(-1, 0);
            for (int k = 0; k < widthPx; ++k) {
                lines.append(QLine(a + step * k, b + step * k));
            }
        };
        lines.clear();
        QPoint prev(Column(static_cast<double>(xa)), Row(history.At(xa)));
        for (std::int64_t x = xa + 1; x <= xb; ++x) {
            const QPoint cur(Column(static_cast<double>(x)), Row(history.At(x)));
            if (stairs_[s]) {
                const QPoint corner(cur.x(), prev.y());
                add(prev, corner);
                add(corner, cur);
            } else {
                add(prev, cur);
            }
            prev = cur;
        }
        p.setPen(QPen(pens_[s].color(), 0));
        p.drawLines(lines);
    }

    // The first frame after each outage, and the marks.
    for (const ChartLine& line : chartLines_) {
        const int c = Column(static_cast<double>(line.X));
        if (line.X <= right_ && inside(c)) {
            p.setPen(chart::LinePen(line.Kind));
            p.drawLine(c, 0, c, h - 1);
        }
    }

    // Bottom axis: line, ticks into the plot, labels below it.
    p.setPen(basePen_);
    p.drawLine(c0, h - 1, c1, h - 1);
    const auto ticks = [&](double step, int length, const QPen& pen) {
        lines.clear();
        ForSteps(XAt(c0 - 1), XAt(c1 + 1), step, [&](double t) {
            lines.append(QLine(Column(t), h - 1, Column(t), h - 1 - length));
        });
        p.setPen(pen);
        p.drawLines(lines);
    };
    ticks(xStep_ / (xSubTicks_ + 1), subTickIn_, subTickPen_);
    ticks(xStep_, tickIn_, tickPen_);
    PaintLabels(p, r);

    // Left axis over the traces.
    if (c0 < AxisBand) {
        p.setPen(basePen_);
        p.drawLine(0, 0, 0, h - 1);
        const auto rows = [&](const QVector<double>& at, int length, const QPen& pen) {
            lines.clear();
            for (double v : at) {
                const int row = Row(v);
                if (row >= 0 && row < h) {
                    lines.append(QLine(0, row, length, row));
                }
            }
            p.setPen(pen);
            p.drawLines(lines);
        };
        rows(ySubTicks_, subTickIn_, subTickPen_);
        rows(yTicks_, tickIn_, tickPen_);
    }
}

} // namespace vemor
