#pragma once
// The frame-to-display operations on the real labels and chart. GUI thread only.

#include "vemor/Display.h"
#include "vemor/History.h"

#include <QElapsedTimer>
#include <QHash>
#include <QObject>
#include <QPointF>
#include <QStaticText>
#include <QString>
#include <QTimer>

#include <array>
#include <cstdint>
#include <deque>
#include <functional>
#include <string>

class QCPItemStraightLine;
class QCustomPlot;
class QLabel;
struct QCPRange;

namespace vemor {

class StripChart;

// Folds paint requests. A request at least soonMs after the last paint is served as soon as
// the event loop is free, in the same wake-up as the data that asked for it; an earlier one
// waits for a later request to serve it, or at most until latestMs after the last paint. Data
// arriving at a steady pace thus paints without wake-ups of its own. GUI thread only.
class PaintFold final : public QObject {
public:
    PaintFold(int soonMs, int latestMs, std::function<void()> paint, QObject* parent);
    void Request();

private:
    void Paint();

    const int soonMs_;
    const int latestMs_;
    std::function<void()> paint_;
    QTimer timer_;
    QElapsedTimer since_;
};

class FormDisplay final : public QObject, public Display {
    Q_OBJECT
public:
    // Newest points kept per series: ten minutes at the line's 189 frames per second.
    static constexpr std::int64_t HistoryPoints = 113400;
    // Points the chart's own containers hold while frames arrive: the visible window and
    // room to zoom out a little. Older points come from the history when the operator
    // scrolls back.
    static constexpr std::int64_t TailPoints = 2048;
    // The labels and the chart are painted together: about every second read at the line's
    // rate (a read completes every 10 ms), never later than PaintLatestMs after a change.
    static constexpr int PaintSoonMs = 12;
    static constexpr int PaintLatestMs = 25;
    // The chart moves on every second such paint.
    static constexpr int ChartIntervalMs = 36;

    FormDisplay(std::array<QLabel*, 5> labels, QCustomPlot* chart, QObject* parent);

    // The text waits for the next paint, which sets only the newest one.
    void SetLabelText(Label label, const std::string& text) override;
    void AppendY(int series, double y) override;
    double LastX(int series) const override;
    bool BottomAxisAutomatic() const override { return automatic_; }
    void ClearBottomAxisAutomatic() override;
    void SetBottomAxisMaximum(double value) override;
    double BottomAxisMaximum() const override { return bottom_.Maximum(); }
    void SetBottomAxisMinimum(double value) override;

    // Sizes each label once to fit every text it can show with this separator.
    void SetDecimalSeparator(char sep);
    // Asks for a repaint of the labels and the chart; requests fold until the next one.
    void RequestRepaint() { paint_.Request(); }
    const SeriesHistory& History(int series) const {
        return history_[static_cast<std::size_t>(series)];
    }
    // The chart as a frame last placed it, undoing a mouse zoom.
    void UndoZoom();
    // While the line is lost the labels are greyed; the first frame after it is marked on
    // the chart.
    void SetLineLost(bool lost);
    // X of the first frame after each outage still in the history.
    const std::deque<std::int64_t>& Outages() const { return outages_; }
    StripChart* Strip() const { return strip_; }

protected:
    // Paints the labels from text laid out once per text.
    bool eventFilter(QObject* watched, QEvent* event) override;

private:
    void PaintLabel(std::size_t i);
    void ApplyRange();
    void Paint();
    // The strip shows the live window; the chart itself serves zooms and the past.
    bool Live() const { return !automatic_ && !selecting_; }
    void ShowView();
    // Fills a graph from the history with the points of [from, to).
    void LoadGraph(int series, std::int64_t from, std::int64_t to);
    void LoadTails();
    void OnOperatorRange(const QCPRange& range);
    void OnOperatorYRange(const QCPRange& range);
    void MarkOutage(std::int64_t x);

    std::array<QLabel*, 5> labels_;
    std::array<QString, 5> captions_; // the design texts, shown until the first frame
    std::array<std::string, 5> pending_;
    struct LaidOut {
        QStaticText layout;
        QPointF at;
    };
    std::array<QHash<QString, LaidOut>, 5> layouts_; // at most 256 texts and the caption
    unsigned changed_ = 0; // one bit per label whose pending text is not shown yet
    QCustomPlot* chart_;
    std::array<SeriesHistory, 6> history_;
    std::deque<std::int64_t> outages_;
    std::deque<QCPItemStraightLine*> outageLines_; // the same, for the chart itself
    StripChart* strip_;
    bool showingPast_ = false; // the graphs hold an operator-chosen stretch, not the tail
    bool automatic_ = false;   // set when the operator zooms or drags the bottom axis
    bool selecting_ = false;   // the operator drags a zoom rectangle
    bool lineLost_ = false;
    bool markNext_ = false; // the next frame is the first after an outage
    AxisBounds bottom_;
    bool applying_ = false; // our own range changes are not the operator's
    PaintFold paint_;
    QElapsedTimer sinceChart_;
};

} // namespace vemor
