#include "FormDisplay.h"

#include "ChartStyle.h"
#include "StripChart.h"

#include "vemor/Values.h"

#include <QFrame>
#include <QLabel>
#include <QPainter>
#include <qcustomplot.h>

#include <algorithm>
#include <cmath>

namespace vemor {

namespace {

// The narrowest window the operator can zoom to, on either axis.
constexpr double MinimumSpan = 1;

// r kept inside [lo, hi], at most as wide and at least minSpan wide where the bounds allow.
QCPRange Bound(const QCPRange& r, double lo, double hi, double minSpan) {
    if (r.lower >= lo && r.upper <= hi && r.size() >= minSpan) {
        return r;
    }
    const double size = std::clamp(r.size(), std::min(minSpan, hi - lo), hi - lo);
    const double lower = std::clamp(r.center() - size / 2, lo, hi - size);
    return QCPRange(lower, lower + size);
}

QSize TextSize(const QFontMetrics& metrics, const QString& text) {
    return metrics.boundingRect(QRect(0, 0, 4000, 400), Qt::AlignLeft | Qt::AlignVCenter, text)
        .size();
}

} // namespace

FormDisplay::FormDisplay(std::array<QLabel*, 5> labels, QCustomPlot* chart, QObject* parent)
    : QObject(parent), labels_(labels),
      chart_(chart), history_{SeriesHistory(HistoryPoints), SeriesHistory(HistoryPoints),
                              SeriesHistory(HistoryPoints), SeriesHistory(HistoryPoints),
                              SeriesHistory(HistoryPoints), SeriesHistory(HistoryPoints)},
      strip_(new StripChart(chart, history_, outages_)),
      bottom_(chart->xAxis->range().lower, chart->xAxis->range().upper),
      paint_(
          PaintSoonMs, PaintLatestMs, [this] { Paint(); }, this) {
    for (std::size_t i = 0; i < labels_.size(); ++i) {
        captions_[i] = labels_[i]->text();
        labels_[i]->installEventFilter(this);
    }
    SetDecimalSeparator('.');
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
    connect(chart_->yAxis, qOverload<const QCPRange&>(&QCPAxis::rangeChanged), this,
            [this](const QCPRange& range) {
                if (!applying_) {
                    OnOperatorYRange(range);
                }
            });
    // The rectangle being dragged is drawn by the chart, so the chart shows while it is.
    QCPSelectionRect* rect = chart_->selectionRect();
    connect(rect, &QCPSelectionRect::started, this, [this] {
        selecting_ = true;
        ShowView();
    });
    const auto ended = [this] {
        selecting_ = false;
        ShowView();
    };
    connect(rect, &QCPSelectionRect::accepted, this, ended);
    connect(rect, &QCPSelectionRect::canceled, this, ended);
}

void FormDisplay::SetDecimalSeparator(char sep) {
    for (std::size_t i = 0; i < labels_.size(); ++i) {
        QLabel* l = labels_[i];
        const QFontMetrics metrics(l->font());
        QSize size = TextSize(metrics, captions_[i]);
        for (int b = 0; b < 256; ++b) {
            const std::string text =
                LabelText(static_cast<Label>(i), static_cast<std::uint8_t>(b), sep);
            size = size.expandedTo(TextSize(
                metrics, QString::fromLatin1(text.data(), static_cast<qsizetype>(text.size()))));
        }
        l->setFixedSize(size);
        layouts_[i].clear();
        // A label inside its panel's frame fills its own ground, so that a new text repaints
        // the label alone; one that reaches onto the frame lets the frame show through.
        const auto* frame = qobject_cast<const QFrame*>(l->parentWidget());
        const bool inside = frame == nullptr || frame->contentsRect().contains(l->geometry());
        l->setAutoFillBackground(inside);
        QPalette palette = l->palette();
        palette.setBrush(QPalette::Disabled, QPalette::Window,
                         palette.brush(QPalette::Active, QPalette::Window));
        l->setPalette(palette);
    }
}

bool FormDisplay::eventFilter(QObject* watched, QEvent* event) {
    if (event->type() == QEvent::Paint) {
        for (std::size_t i = 0; i < labels_.size(); ++i) {
            if (watched == labels_[i]) {
                PaintLabel(i);
                return true;
            }
        }
    }
    return QObject::eventFilter(watched, event);
}

void FormDisplay::PaintLabel(std::size_t i) {
    QLabel* l = labels_[i];
    auto known = layouts_[i].constFind(l->text());
    if (known == layouts_[i].constEnd()) {
        LaidOut text{QStaticText(l->text()), {}};
        text.layout.setTextFormat(Qt::PlainText);
        text.layout.prepare(QTransform(), l->font());
        // Where the label's own drawing would put it.
        text.at = QFontMetricsF(l->font())
                      .boundingRect(QRectF(l->contentsRect()), Qt::AlignLeft | Qt::AlignVCenter,
                                    l->text())
                      .topLeft();
        known = layouts_[i].insert(l->text(), text);
    }
    QPainter p(l);
    p.setFont(l->font());
    p.setPen(l->palette().color(l->isEnabled() ? QPalette::Active : QPalette::Disabled,
                                l->foregroundRole()));
    p.drawStaticText(known->at, known->layout);
}

void FormDisplay::SetLabelText(Label label, const std::string& text) {
    const auto i = static_cast<std::size_t>(label);
    if (pending_[i] == text) {
        return;
    }
    pending_[i] = text;
    changed_ |= 1u << i;
    RequestRepaint();
}

void FormDisplay::AppendY(int series, double y) {
    const auto s = static_cast<std::size_t>(series);
    SeriesHistory& h = history_[s];
    const auto x = h.Count();
    h.Append(y);
    if (series == 0) {
        if (lineLost_) {
            SetLineLost(false); // frames again after a close and a new open
        }
        if (markNext_) {
            markNext_ = false;
            MarkOutage(x);
        }
        while (!outages_.empty() && outages_.front() < h.FirstX()) {
            outages_.pop_front();
            chart_->removeItem(outageLines_.front());
            outageLines_.pop_front();
        }
    }
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

void FormDisplay::LoadTails() {
    for (int i = 0; i < static_cast<int>(history_.size()); ++i) {
        const std::int64_t count = History(i).Count();
        LoadGraph(i, count - TailPoints, count);
    }
    showingPast_ = false;
}

void FormDisplay::OnOperatorRange(const QCPRange& wanted) {
    // No further out than the history reaches and the newest frame.
    const double oldest = std::min(static_cast<double>(history_[0].FirstX()), bottom_.Minimum());
    const QCPRange range = Bound(wanted, oldest, bottom_.Maximum(), MinimumSpan);
    if (range != wanted) {
        applying_ = true;
        chart_->xAxis->setRange(range);
        applying_ = false;
    }
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
    ShowView();
}

void FormDisplay::OnOperatorYRange(const QCPRange& wanted) {
    const QCPRange range =
        Bound(wanted, chart::LeftAxisMinimum, chart::LeftAxisMaximum, MinimumSpan);
    if (range != wanted) {
        applying_ = true;
        chart_->yAxis->setRange(range);
        applying_ = false;
    }
}

void FormDisplay::ClearBottomAxisAutomatic() {
    automatic_ = false;
    ApplyRange();
    ShowView();
}

void FormDisplay::SetBottomAxisMaximum(double value) {
    bottom_.SetMaximum(value);
    ApplyRange();
}

void FormDisplay::SetBottomAxisMinimum(double value) {
    bottom_.SetMinimum(value);
    ApplyRange();
}

void FormDisplay::ApplyRange() {
    if (!bottom_.Showable()) {
        return;
    }
    applying_ = true;
    chart_->xAxis->setRange(bottom_.Minimum(), bottom_.Maximum());
    applying_ = false;
    RequestRepaint();
}

void FormDisplay::UndoZoom() {
    automatic_ = false;
    applying_ = true;
    chart_->yAxis->setRange(chart::LeftAxisMinimum, chart::LeftAxisMaximum);
    applying_ = false;
    // The graphs may hold a stretch of the past; the frame window needs the newest points.
    if (showingPast_) {
        LoadTails();
    }
    ApplyRange();
    ShowView();
    chart_->replot(QCustomPlot::rpQueuedReplot);
}

void FormDisplay::ShowView() {
    const bool live = Live();
    if (live != strip_->isHidden()) {
        return;
    }
    if (live) {
        strip_->Follow();
        strip_->show();
        chart_->replot(QCustomPlot::rpQueuedReplot); // the left axis as it is now
    } else {
        strip_->hide();
        chart_->replot(QCustomPlot::rpQueuedRefresh);
    }
}

void FormDisplay::SetLineLost(bool lost) {
    if (lost == lineLost_) {
        return;
    }
    lineLost_ = lost;
    for (QLabel* l : labels_) {
        l->setEnabled(!lost);
    }
    markNext_ = !lost;
}

void FormDisplay::MarkOutage(std::int64_t x) {
    outages_.push_back(x);
    auto* line = new QCPItemStraightLine(chart_);
    line->setPen(chart::OutagePen());
    line->point1->setCoords(static_cast<double>(x), 0);
    line->point2->setCoords(static_cast<double>(x), 1);
    outageLines_.push_back(line);
}

void FormDisplay::Paint() {
    for (std::size_t i = 0; i < labels_.size(); ++i) {
        if ((changed_ & (1u << i)) != 0) {
            const std::string& t = pending_[i];
            labels_[i]->setText(QString::fromLatin1(t.data(), static_cast<qsizetype>(t.size())));
        }
    }
    changed_ = 0;
    // The chart moves at most every ChartIntervalMs; a fold that leaves it behind asks for
    // the next one.
    if (sinceChart_.isValid() && sinceChart_.elapsed() < ChartIntervalMs) {
        RequestRepaint();
        return;
    }
    sinceChart_.start();
    if (Live()) {
        strip_->Follow();
    } else {
        chart_->replot(QCustomPlot::rpQueuedRefresh);
    }
}

PaintFold::PaintFold(int soonMs, int latestMs, std::function<void()> paint, QObject* parent)
    : QObject(parent), soonMs_(soonMs), latestMs_(latestMs), paint_(std::move(paint)) {
    timer_.setSingleShot(true);
    connect(&timer_, &QTimer::timeout, this, &PaintFold::Paint);
    since_.start();
}

void PaintFold::Request() {
    const qint64 since = since_.elapsed();
    const qint64 wait = since >= soonMs_ ? 0 : latestMs_ - since;
    if (timer_.isActive() && timer_.remainingTime() <= wait) {
        return;
    }
    timer_.start(static_cast<int>(wait));
}

void PaintFold::Paint() {
    since_.restart();
    paint_();
}

} // namespace vemor
