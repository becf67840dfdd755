#pragma once
// The live window's labels and chart as data, whatever paints them: the newest texts of the
// five labels, the six traces' last ten minutes, the lines at outages and at the operator's
// marks, the bottom axis's bounds,
// what the view shows, and when to paint. A window derives its painter from it and draws
// what it is told changed. GUI thread only.

#include "vemor/ChartLook.h"
#include "vemor/Display.h"
#include "vemor/History.h"
#include "vemor/PaintPacer.h"

#include <array>
#include <cstdint>
#include <deque>
#include <functional>
#include <string>

namespace vemor {

struct AxisRange {
    double Min = 0;
    double Max = 0;
    friend bool operator==(AxisRange, AxisRange) = default;
};

// One wheel step zooms a chart's time axis in to this share of its span.
inline constexpr double WheelZoom = 0.85;
// The range zoomed about `at` by `steps` wheel steps (negative: out).
AxisRange ZoomedAbout(AxisRange range, double at, double steps);

// `wanted` moved and sized to lie inside [lo, hi], at least minSpan wide where that fits.
AxisRange BoundRange(AxisRange wanted, double lo, double hi, double minSpan);

// A thin vertical line across the chart at a frame's X.
struct ChartLine {
    std::int64_t X = 0;
    chart::LineKind Kind = chart::LineKind::Outage;
    friend bool operator==(const ChartLine&, const ChartLine&) = default;
};

enum class ChartView {
    Following,   // the bottom axis where the newest frame put it
    Zoomed,      // the operator zoomed or scrolled; the next frame takes the view back
    ShowingPast, // zoomed onto a stretch older than what the painter keeps at hand
};

class LiveDisplay : public Display {
public:
    // Newest points kept per series: ten minutes at the line's 189 frames per second.
    static constexpr std::int64_t HistoryPoints = 113400;
    static constexpr int LabelCount = 5;
    // The narrowest window the operator can zoom to, on either axis.
    static constexpr double MinimumSpan = 1;

    // captions: the design texts, shown until the first frame.
    explicit LiveDisplay(const std::array<std::string, LabelCount>& captions);

    void SetLabelText(Label label, const std::string& text) override;
    void AppendY(int series, double y) override;
    double LastX(int series) const override;
    bool BottomAxisAutomatic() const override { return view_ != ChartView::Following; }
    void ClearBottomAxisAutomatic() override;
    void SetBottomAxisMaximum(double value) override;
    double BottomAxisMaximum() const override { return bottom_.Maximum(); }
    void SetBottomAxisMinimum(double value) override;
    // Kept while x is in the history; nothing when it has left it already.
    void AddMark(double x) override;

    // The operator dragged or zoomed the bottom axis: what may be shown of `wanted`, no
    // further out than the history and the newest frame. The view is zoomed afterwards.
    AxisRange OperatorBottom(AxisRange wanted);
    // The left axis stays inside its design range.
    static AxisRange OperatorLeft(AxisRange wanted);
    // The view as the frames place it, the left axis at its design range.
    void UndoZoom();
    // The painter could not serve a zoom from what it keeps and shows the past instead.
    void ShowingPast();

    // The first frame after a lost line is marked on the chart; the loss makes the labels stale.
    void SetLineLost(bool lost);
    bool LineLost() const { return lineLost_; }
    // The labels show old values (the port closed, the line lost, a silence): greyed, until
    // the next accepted frame.
    void SetStale();
    bool Stale() const { return stale_; }

    const SeriesHistory& History(int series) const {
        return history_[static_cast<std::size_t>(series)];
    }
    const std::array<SeriesHistory, chart::SeriesCount>& Histories() const { return history_; }
    // The lines still in the history, by X: at the first frame after each outage and at the
    // operator's marks.
    const std::deque<ChartLine>& Lines() const { return lines_; }
    AxisRange Bottom() const { return {bottom_.Minimum(), bottom_.Maximum()}; }
    ChartView View() const { return view_; }
    // The labels' newest texts; bit i of Changed() is set while label i's differs from the
    // text it was last painted with, so that a figure that went and came back between two
    // paints costs none.
    const std::string& NewestText(int i) const { return texts_[static_cast<std::size_t>(i)]; }
    unsigned Changed() const { return changed_; }
    // The labels were painted with their newest texts.
    void ClearChanged();

    // Called at the start of each paint tick, so that what else is due then changes in the
    // same screen update. GUI thread.
    std::function<void()> OnPaintTick;

protected:
    // The painter's tick begins.
    void PaintTicked() const {
        if (OnPaintTick) {
            OnPaintTick();
        }
    }
    // What the painter is told; each may be left as it is.
    virtual void RequestPaint() = 0;
    // The bottom bounds changed and can be shown (maximum above minimum).
    virtual void BottomChanged() {}
    // The left axis went back to its design range.
    virtual void LeftReset() {}
    virtual void ViewChanged(ChartView before) { (void)before; }
    // A point was appended to `series` at x.
    virtual void Appended(int series, std::int64_t x, double y) { (void)series, (void)x, (void)y; }
    // A line came or left with the history.
    virtual void LinesChanged() {}
    virtual void StaleChanged(bool stale) { (void)stale; }

private:
    void SetView(ChartView view);
    void ApplyBottom();

    std::array<std::string, LabelCount> texts_;
    std::array<std::string, LabelCount> painted_; // as the labels show them
    unsigned changed_ = 0;
    std::array<SeriesHistory, chart::SeriesCount> history_;
    std::deque<ChartLine> lines_;
    AxisBounds bottom_{0, chart::BottomAxisDesignMaximum};
    ChartView view_ = ChartView::Following;
    bool lineLost_ = false;
    bool stale_ = false;
    bool markNext_ = false; // the next frame is the first after an outage
};

} // namespace vemor
