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

// Texts kept drawn per label: an engine's figures wander among fewer most of the time; at the
// usual sizes these take about half a megabyte a label.
constexpr std::size_t LabelImages = 64;

QSize TextSize(const QFontMetrics& metrics, const QString& text) {
    return metrics.boundingRect(QRect(0, 0, 4000, 400), Qt::AlignLeft | Qt::AlignVCenter, text)
        .size();
}

std::array<std::string, LiveDisplay::LabelCount> Captions(const std::array<QLabel*, 5>& labels) {
    std::array<std::string, LiveDisplay::LabelCount> out;
    for (std::size_t i = 0; i < labels.size(); ++i) {
        out[i] = labels[i]->text().toLatin1().toStdString();
    }
    return out;
}

} // namespace

FormDisplay::FormDisplay(std::array<QLabel*, 5> labels, QCustomPlot* chart, QObject* parent)
    : QObject(parent), LiveDisplay(Captions(labels)), labels_(labels), chart_(chart),
      strip_(new StripChart(chart, Histories(), Lines())), paint_([this] { Paint(); }, this) {
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
        images_[i].assign(LabelImages, {});
        texts_[i].SetFont(l->font());
        places_[i] = {};
        // A label inside its panel's frame fills its own ground; one that reaches onto the
        // frame paints the panel's drawing there, taken once, as its ground. Either way a new
        // text repaints the label alone, not the panel under it.
        const auto* frame = qobject_cast<const QFrame*>(l->parentWidget());
        inside_[i] = frame == nullptr || frame->contentsRect().contains(l->geometry());
        l->setAutoFillBackground(false);
        l->setAttribute(Qt::WA_OpaquePaintEvent); // its image covers it
        grounds_[i] = QPixmap();
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
    const qreal ratio = l->devicePixelRatioF();
    const QSize pixels = l->size() * ratio;
    // Taken again when the panel was resized: its frame's corners move.
    if (!inside_[i] && (grounds_[i].isNull() || groundOf_[i] != l->parentWidget()->size() ||
                        grounds_[i].size() != pixels)) {
        groundOf_[i] = l->parentWidget()->size();
        grounds_[i] = QPixmap(pixels);
        grounds_[i].setDevicePixelRatio(ratio);
        grounds_[i].fill(l->palette().color(QPalette::Window));
        l->parentWidget()->render(&grounds_[i], QPoint(), QRegion(l->geometry()),
                                  QWidget::DrawWindowBackground);
        images_[i].assign(LabelImages, {}); // drawn on the old ground
    }
    const bool enabled = l->isEnabled();
    const QString shown = l->text();
    Drawn* slot = &images_[i].front();
    for (Drawn& d : images_[i]) {
        if (!d.image.isNull() && d.enabled == enabled && d.text == shown) {
            slot = &d;
            break;
        }
        slot = d.shown < slot->shown ? &d : slot;
    }
    slot->shown = ++shown_;
    if (slot->text == shown && slot->enabled == enabled && slot->image.size() == pixels &&
        slot->image.devicePixelRatio() == ratio) {
        QPainter(l).drawPixmap(0, 0, slot->image);
        return;
    }
    auto known = layouts_[i].constFind(shown);
    if (known == layouts_[i].constEnd()) {
        LaidOut text{texts_[i].Lay(shown), {}};
        // Where the label's own drawing would put it; the same for every text of a line's
        // height, so measured once per height.
        Place& place = places_[i];
        const qreal height = text.text.size.height();
        if (place.height != height) {
            place = {height, QFontMetricsF(l->font())
                                 .boundingRect(QRectF(l->contentsRect()),
                                               Qt::AlignLeft | Qt::AlignVCenter, shown)
                                 .topLeft()};
        }
        text.at = place.at;
        known = layouts_[i].insert(shown, text);
    }
    if (slot->image.size() != pixels || slot->image.devicePixelRatio() != ratio) {
        slot->image = QPixmap(pixels);
        slot->image.setDevicePixelRatio(ratio);
    }
    slot->text = shown;
    slot->enabled = enabled;
    {
        QPainter p(&slot->image);
        if (inside_[i]) {
            p.fillRect(l->rect(), l->palette().brush(QPalette::Active, l->backgroundRole()));
        } else {
            p.drawPixmap(0, 0, grounds_[i]);
        }
        p.setPen(l->palette().color(enabled ? QPalette::Active : QPalette::Disabled,
                                    l->foregroundRole()));
        texts_[i].Draw(p, known->at, known->text);
    }
    QPainter(l).drawPixmap(0, 0, slot->image);
}

void FormDisplay::Appended(int series, std::int64_t x, double y) {
    QCPGraph* graph = chart_->graph(series);
    if (View() == ChartView::ShowingPast) {
        LoadGraph(series, x + 1 - TailPoints, x + 1);
        return;
    }
    graph->addData(static_cast<double>(x), y);
    // Trim in steps; the squeeze moves the points to the front of the same allocation.
    if (graph->dataCount() > TailPoints + 512) {
        graph->data()->removeBefore(static_cast<double>(x + 1 - TailPoints));
        graph->data()->squeeze(true, false);
    }
}

// Lines come and go seldom: the chart's items are made anew, and the strip drawn whole,
// since a mark may fall on a column it has drawn already.
void FormDisplay::LinesChanged() {
    for (QCPItemStraightLine* item : lines_) {
        chart_->removeItem(item);
    }
    lines_.clear();
    for (const ChartLine& line : Lines()) {
        auto* item = new QCPItemStraightLine(chart_);
        item->setPen(chart::LinePen(line.Kind));
        item->point1->setCoords(static_cast<double>(line.X), 0);
        item->point2->setCoords(static_cast<double>(line.X), 1);
        lines_.push_back(item);
    }
    strip_->UpdateAll();
}

void FormDisplay::StaleChanged(bool stale) {
    for (QLabel* l : labels_) {
        l->setEnabled(!stale);
    }
}

void FormDisplay::LoadGraph(int series, std::int64_t from, std::int64_t to) {
    const SeriesHistory& h = History(series);
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
    for (int i = 0; i < chart::SeriesCount; ++i) {
        const std::int64_t count = History(i).Count();
        LoadGraph(i, count - TailPoints, count);
    }
}

void FormDisplay::SetRange(QCPAxis* axis, AxisRange range) {
    applying_ = true;
    axis->setRange(range.Min, range.Max);
    applying_ = false;
}

void FormDisplay::OnOperatorRange(const QCPRange& wanted) {
    const AxisRange range = OperatorBottom({wanted.lower, wanted.upper});
    if (range != AxisRange{wanted.lower, wanted.upper}) {
        SetRange(chart_->xAxis, range);
    }
    // Scrolled or zoomed out past what the graphs hold: bring that stretch from the history.
    const QCPGraph* graph = chart_->graph(0);
    const double held = graph->dataCount() > 0 ? graph->data()->constBegin()->key : 0;
    const SeriesHistory& h = History(0);
    if (range.Min < held && h.Count() > 0 && held > static_cast<double>(h.FirstX())) {
        const auto from = static_cast<std::int64_t>(std::floor(range.Min)) - 1;
        const auto to = static_cast<std::int64_t>(std::ceil(range.Max)) + 2;
        for (int i = 0; i < chart::SeriesCount; ++i) {
            LoadGraph(i, from, to);
        }
        ShowingPast();
    }
    ShowView();
}

void FormDisplay::OnOperatorYRange(const QCPRange& wanted) {
    const AxisRange range = OperatorLeft({wanted.lower, wanted.upper});
    if (range != AxisRange{wanted.lower, wanted.upper}) {
        SetRange(chart_->yAxis, range);
    }
}

void FormDisplay::BottomChanged() {
    SetRange(chart_->xAxis, Bottom());
}

void FormDisplay::LeftReset() {
    SetRange(chart_->yAxis, {chart::LeftAxisMinimum, chart::LeftAxisMaximum});
    chart_->replot(QCustomPlot::rpQueuedReplot);
}

void FormDisplay::ViewChanged(ChartView before) {
    // The graphs may hold a stretch of the past; the frame window needs the newest points.
    if (before == ChartView::ShowingPast && View() == ChartView::Following) {
        LoadTails();
    }
    ShowView();
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

void FormDisplay::Paint() {
    PaintTicked();
    for (std::size_t i = 0; i < labels_.size(); ++i) {
        if ((Changed() & (1u << i)) != 0) {
            const std::string& t = NewestText(static_cast<int>(i));
            labels_[i]->setText(QString::fromLatin1(t.data(), static_cast<qsizetype>(t.size())));
        }
    }
    ClearChanged();
    if (Live()) {
        strip_->Follow();
    } else {
        chart_->replot(QCustomPlot::rpQueuedRefresh);
    }
}

PaintFold::PaintFold(std::function<void()> paint, QObject* parent)
    : QObject(parent), paint_(std::move(paint)) {
    timer_.setSingleShot(true);
    connect(&timer_, &QTimer::timeout, this, &PaintFold::Paint);
    clock_.start();
}

void PaintFold::Request() {
    if (const auto wait = pacer_.Request(clock_.elapsed())) {
        timer_.start(*wait);
    }
}

void PaintFold::Paint() {
    pacer_.Painted(clock_.elapsed());
    paint_();
}

} // namespace vemor
