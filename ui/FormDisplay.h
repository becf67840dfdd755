#pragma once
// The frame-to-display operations on the real labels and chart. GUI thread only.

#include "NumberText.h"

#include "vemor/LiveDisplay.h"

#include <QElapsedTimer>
#include <QHash>
#include <QObject>
#include <QPixmap>
#include <QPointF>
#include <QString>
#include <QTimer>

#include <array>
#include <cstdint>
#include <deque>
#include <functional>
#include <string>
#include <vector>

class QCPItemStraightLine;
class QCPAxis;
class QCustomPlot;
class QLabel;
struct QCPRange;

namespace vemor {

class StripChart;

// Folds paint requests by the pacer's rule onto one timer. GUI thread only.
class PaintFold final : public QObject {
public:
    PaintFold(std::function<void()> paint, QObject* parent);
    void Request();

private:
    void Paint();

    std::function<void()> paint_;
    QTimer timer_;
    QElapsedTimer clock_;
    PaintPacer pacer_;
};

class FormDisplay final : public QObject, public LiveDisplay {
    Q_OBJECT
public:
    // Points the chart's own containers hold while frames arrive: the visible window and
    // room to zoom out a little. Older points come from the history when the operator
    // scrolls back.
    static constexpr std::int64_t TailPoints = 2048;

    FormDisplay(std::array<QLabel*, 5> labels, QCustomPlot* chart, QObject* parent);

    // Sizes each label once to fit every text it can show with this separator.
    void SetDecimalSeparator(char sep);
    // Asks for a repaint of the labels and the chart; requests fold until the next one.
    void RequestRepaint() { paint_.Request(); }
    StripChart* Strip() const { return strip_; }

protected:
    // Paints the labels from text laid out once per text.
    bool eventFilter(QObject* watched, QEvent* event) override;
    void RequestPaint() override { paint_.Request(); }
    void BottomChanged() override;
    void LeftReset() override;
    void ViewChanged(ChartView before) override;
    void Appended(int series, std::int64_t x, double y) override;
    void LinesChanged() override;
    void StaleChanged(bool stale) override;

private:
    void PaintLabel(std::size_t i);
    void Paint();
    // The strip shows the live window; the chart itself serves zooms and the past.
    bool Live() const { return View() == ChartView::Following && !selecting_; }
    void ShowView();
    // Fills a graph from the history with the points of [from, to).
    void LoadGraph(int series, std::int64_t from, std::int64_t to);
    void LoadTails();
    void OnOperatorRange(const QCPRange& range);
    void OnOperatorYRange(const QCPRange& range);
    void SetRange(QCPAxis* axis, AxisRange range);

    std::array<QLabel*, 5> labels_;
    std::array<QString, 5> captions_; // the design texts, for the labels' sizes
    struct LaidOut {
        NumberText::Laid text;
        QPointF at;
    };
    std::array<NumberText, 5> texts_;                // in each label's font
    std::array<QHash<QString, LaidOut>, 5> layouts_; // at most 256 texts and the caption
    struct Place {
        qreal height = -1; // of the text's line; -1 before the first
        QPointF at;
    };
    std::array<Place, 5> places_;    // where the last text laid out was put
    std::array<bool, 5> inside_{};   // within its panel's frame: its ground is its own colour
    std::array<QPixmap, 5> grounds_; // the panel under a label that reaches onto its frame
    std::array<QSize, 5> groundOf_;  // the panel's size when its ground was taken
    // Each label's texts as last drawn, ground and text in one image: a text shown again is
    // copied, not blended anew. The one shown longest ago lends its image to a new text.
    struct Drawn {
        QString text;
        bool enabled = false;
        QPixmap image; // null: free
        std::uint64_t shown = 0;
    };
    std::array<std::vector<Drawn>, 5> images_;
    std::uint64_t shown_ = 0; // label paints so far
    QCustomPlot* chart_;
    std::deque<QCPItemStraightLine*> lines_; // the model's lines, for the chart itself
    StripChart* strip_;
    bool selecting_ = false; // the operator drags a zoom rectangle
    bool applying_ = false;  // our own range changes are not the operator's
    PaintFold paint_;
};

} // namespace vemor
