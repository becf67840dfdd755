#pragma once
// The frame-to-display operations on the real labels and chart. GUI thread only.

#include "vemor/Display.h"
#include "vemor/History.h"

#include <QElapsedTimer>
#include <QHash>
#include <QObject>
#include <QSize>
#include <QString>
#include <QTimer>

#include <array>
#include <cstdint>
#include <functional>

class QCustomPlot;
class QLabel;
struct QCPRange;

namespace vemor {

// Folds paint requests into at most one paint per interval; a request after a quiet spell is
// served at once. GUI thread only.
class PaintFold final : public QObject {
public:
    PaintFold(int intervalMs, std::function<void()> paint, QObject* parent);
    void Request();

private:
    void Paint();

    const int intervalMs_;
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
    // The labels and the chart are painted together, at most once per interval: 25 times a
    // second, as a strip chart needs, and one screen update rather than two.
    static constexpr int PaintIntervalMs = 40;

    FormDisplay(std::array<QLabel*, 5> labels, QCustomPlot* chart, QObject* parent);

    void SetLabelText(Label label, const std::string& text) override;
    void AppendY(int series, double y) override;
    double LastX(int series) const override;
    bool BottomAxisAutomatic() const override { return automatic_; }
    void ClearBottomAxisAutomatic() override;
    void SetBottomAxisMaximum(double value) override;
    double BottomAxisMaximum() const override { return maximum_; }
    void SetBottomAxisMinimum(double value) override;

    // Asks for a repaint of the labels and the chart; requests fold until the next one.
    void RequestRepaint() { paint_.Request(); }
    const SeriesHistory& History(int series) const {
        return history_[static_cast<std::size_t>(series)];
    }
    // The chart as a frame last placed it, undoing a mouse zoom.
    void UndoZoom();

private:
    void ApplyRange();
    void Paint();
    // Fills a graph from the history with the points of [from, to).
    void LoadGraph(int series, std::int64_t from, std::int64_t to);
    void OnOperatorRange(const QCPRange& range);

    std::array<QLabel*, 5> labels_;
    // Each label's size for each text it has shown. A text follows from one frame byte, so
    // there are at most 256 per label; laying text out anew for every frame would cost more
    // than all the rest of the frame.
    std::array<QHash<QString, QSize>, 5> labelSizes_;
    QCustomPlot* chart_;
    std::array<SeriesHistory, 6> history_;
    bool showingPast_ = false; // the graphs hold an operator-chosen stretch, not the tail
    bool automatic_ = false;   // set when the operator zooms or drags the bottom axis
    double minimum_;
    double maximum_;
    bool applying_ = false; // our own range changes are not the operator's
    PaintFold paint_;
};

} // namespace vemor
