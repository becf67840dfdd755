#include "FormDisplay.h"

#include <QLabel>
#include <qcustomplot.h>

#include <algorithm>
#include <cmath>

namespace vemor {

FormDisplay::FormDisplay(std::array<QLabel*, 5> labels, QCustomPlot* chart, QObject* parent)
    : QObject(parent), labels_(labels),
      chart_(chart), history_{SeriesHistory(HistoryPoints), SeriesHistory(HistoryPoints),
                              SeriesHistory(HistoryPoints), SeriesHistory(HistoryPoints),
                              SeriesHistory(HistoryPoints), SeriesHistory(HistoryPoints)},
      minimum_(chart->xAxis->range().lower), maximum_(chart->xAxis->range().upper),
      paint_(
          PaintIntervalMs, [this] { Paint(); }, this) {
    for (int i = 0; i < chart_->graphCount(); ++i) {
        // Trimming is done here in place; the container's own squeezing would reallocate.
        chart_->graph(i)->data()->setAutoSqueeze(false);
    }
    connect(chart_->xAxis, qOverload<const QCPRange&>(&QCPAxis::rangeChanged), this,
            [this](const QCPRange& range) {
                if (!applying_) {
                    OnOperatorRange(range);
                }
            });
}

void FormDisplay::SetLabelText(Label label, const std::string& text) {
    const auto i = static_cast<std::size_t>(label);
    QLabel* l = labels_[i];
    const QString t = QString::fromLatin1(text.data(), static_cast<qsizetype>(text.size()));
    if (l->text() == t) {
        return;
    }
    // The text is there at once; painting waits for the next folded repaint.
    l->setUpdatesEnabled(false);
    l->setText(t);
    auto known = labelSizes_[i].constFind(t);
    if (known == labelSizes_[i].constEnd()) {
        known = labelSizes_[i].insert(t, l->sizeHint());
    }
    if (l->size() != *known) {
        l->resize(*known);
    }
    RequestRepaint();
}

void FormDisplay::AppendY(int series, double y) {
    const auto s = static_cast<std::size_t>(series);
    SeriesHistory& h = history_[s];
    const auto x = h.Count();
    h.Append(y);
    QCPGraph* graph = chart_->graph(series);
    if (showingPast_) {
        LoadGraph(series, x + 1 - TailPoints, x + 1);
        if (series == static_cast<int>(history_.size()) - 1) {
            showingPast_ = false;
        }
    } else {
        graph->addData(static_cast<double>(x), y);
        // Trim in steps; the squeeze moves the points to the front of the same allocation.
        if (graph->dataCount() > TailPoints + 512) {
            graph->data()->removeBefore(static_cast<double>(x + 1 - TailPoints));
            graph->data()->squeeze(true, false);
        }
    }
    RequestRepaint();
}

double FormDisplay::LastX(int series) const {
    return static_cast<double>(history_[static_cast<std::size_t>(series)].Count() - 1);
}

void FormDisplay::LoadGraph(int series, std::int64_t from, std::int64_t to) {
    const SeriesHistory& h = history_[static_cast<std::size_t>(series)];
    from = std::max(from, h.FirstX());
    to = std::min(to, h.Count());
    QVector<QCPGraphData> points;
    points.reserve(static_cast<qsizetype>(std::max<std::int64_t>(0, to - from)));
    for (std::int64_t x = from; x < to; ++x) {
        points.append(QCPGraphData(static_cast<double>(x), h.At(x)));
    }
    chart_->graph(series)->data()->set(points, true);
    chart_->graph(series)->data()->squeeze(true, true);
}

void FormDisplay::OnOperatorRange(const QCPRange& range) {
    automatic_ = true;
    // Scrolled or zoomed out past what the graphs hold: bring that stretch from the history.
    const QCPGraph* graph = chart_->graph(0);
    const double held = graph->dataCount() > 0 ? graph->data()->constBegin()->key : 0;
    if (range.lower < held && history_[0].Count() > 0 && held > history_[0].FirstX()) {
        const auto from = static_cast<std::int64_t>(std::floor(range.lower)) - 1;
        const auto to = static_cast<std::int64_t>(std::ceil(range.upper)) + 2;
        for (int i = 0; i < static_cast<int>(history_.size()); ++i) {
            LoadGraph(i, from, to);
        }
        showingPast_ = true;
    }
}

void FormDisplay::ClearBottomAxisAutomatic() {
    automatic_ = false;
    ApplyRange();
}

void FormDisplay::SetBottomAxisMaximum(double value) {
    if (value < minimum_) {
        throw AxisError("Axis maximum value must be greater than or equal to its minimum");
    }
    maximum_ = value;
    ApplyRange();
}

void FormDisplay::SetBottomAxisMinimum(double value) {
    if (value > maximum_) {
        throw AxisError("Axis minimum value must be less than or equal to its maximum");
    }
    minimum_ = value;
    ApplyRange();
}

void FormDisplay::ApplyRange() {
    // A window of zero width cannot be shown; it only exists between the two settings.
    if (maximum_ <= minimum_) {
        return;
    }
    applying_ = true;
    chart_->xAxis->setRange(minimum_, maximum_);
    applying_ = false;
    RequestRepaint();
}

void FormDisplay::UndoZoom() {
    automatic_ = false;
    applying_ = true;
    chart_->yAxis->setRange(-22, 260);
    applying_ = false;
    ApplyRange();
}

void FormDisplay::Paint() {
    for (QLabel* l : labels_) {
        if (!l->updatesEnabled()) {
            l->setUpdatesEnabled(true);
        }
    }
    chart_->replot(QCustomPlot::rpQueuedRefresh);
}

PaintFold::PaintFold(int intervalMs, std::function<void()> paint, QObject* parent)
    : QObject(parent), intervalMs_(intervalMs), paint_(std::move(paint)) {
    timer_.setSingleShot(true);
    connect(&timer_, &QTimer::timeout, this, &PaintFold::Paint);
    since_.start();
}

void PaintFold::Request() {
    if (timer_.isActive()) {
        return;
    }
    const qint64 wait = intervalMs_ - since_.elapsed();
    timer_.start(static_cast<int>(std::max<qint64>(0, wait)));
}

void PaintFold::Paint() {
    since_.restart();
    paint_();
}

} // namespace vemor
