#include "FormDisplay.h"

#include <QLabel>
#include <qcustomplot.h>

namespace vemor {

FormDisplay::FormDisplay(std::array<QLabel*, 5> labels, QCustomPlot* chart, QObject* parent)
    : QObject(parent), labels_(labels), chart_(chart), minimum_(chart->xAxis->range().lower),
      maximum_(chart->xAxis->range().upper) {
    repaintTimer_.setSingleShot(true);
    connect(&repaintTimer_, &QTimer::timeout, this, &FormDisplay::Repaint);
    sinceRepaint_.start();
    connect(chart_->xAxis, qOverload<const QCPRange&>(&QCPAxis::rangeChanged), this,
            [this](const QCPRange&) {
                if (!applying_) {
                    automatic_ = true;
                }
            });
}

void FormDisplay::SetLabelText(Label label, const std::string& text) {
    QLabel* l = labels_[static_cast<std::size_t>(label)];
    const QString t = QString::fromLatin1(text.data(), static_cast<qsizetype>(text.size()));
    if (l->text() == t) {
        return;
    }
    // The text is there at once; painting waits for the next folded repaint.
    l->setUpdatesEnabled(false);
    l->setText(t);
    l->adjustSize();
    RequestRepaint();
}

void FormDisplay::AppendY(int series, double y) {
    const auto s = static_cast<std::size_t>(series);
    QCPGraph* graph = chart_->graph(series);
    graph->addData(static_cast<double>(appended_[s]), y);
    ++appended_[s];
    // Trim in steps so that the container's front gap is reused rather than moved per point.
    if (graph->dataCount() > HistoryPoints + 1024) {
        graph->data()->removeBefore(static_cast<double>(appended_[s] - HistoryPoints));
    }
    RequestRepaint();
}

double FormDisplay::LastX(int series) const {
    return static_cast<double>(appended_[static_cast<std::size_t>(series)] - 1);
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

void FormDisplay::RequestRepaint() {
    if (repaintTimer_.isActive()) {
        return;
    }
    const qint64 wait = RepaintIntervalMs - sinceRepaint_.elapsed();
    repaintTimer_.start(static_cast<int>(std::max<qint64>(0, wait)));
}

void FormDisplay::Repaint() {
    sinceRepaint_.restart();
    ++repaints_;
    for (QLabel* l : labels_) {
        if (!l->updatesEnabled()) {
            l->setUpdatesEnabled(true);
        }
    }
    chart_->replot(QCustomPlot::rpQueuedRefresh);
}

} // namespace vemor
