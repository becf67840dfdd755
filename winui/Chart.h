#pragma once
// The strip chart on Win32: six series against a bottom-axis window and a left axis, with a
// grid, tick labels and the legend below (the canvas every chart shares), drawn with GDI into
// an off-screen bitmap that each paint copies to the screen. A rectangle dragged down and to the
// right zooms into it; one dragged the other way, or a double-click, gives the view back. GUI
// thread only.

#include "ChartCanvas.h"

#include "vemor/ChartLook.h"
#include "vemor/History.h"
#include "vemor/LiveDisplay.h"

#include <windows.h>

#include <array>
#include <cstdint>
#include <deque>
#include <functional>
#include <string>

namespace vemor {

class StripChart {
public:
    static constexpr int Count = chart::SeriesCount;

    // Draws the points of `history` and each of `lines`; both outlive it.
    StripChart(HWND parent, int id, const std::array<ChartSeries, Count>& series, HFONT font,
               const std::array<SeriesHistory, Count>& history, const std::deque<ChartLine>& lines);
    ~StripChart();
    StripChart(const StripChart&) = delete;
    StripChart& operator=(const StripChart&) = delete;

    HWND Handle() const { return window_; }

    const SeriesHistory& History(int series) const {
        return history_[static_cast<std::size_t>(series)];
    }
    const ChartSeries& Series(int series) const {
        return canvas_.Series()[static_cast<std::size_t>(series)];
    }

    // The ranges shown; setting one marks the picture stale.
    void SetBottom(ChartRange range);
    void SetLeft(ChartRange range);
    ChartRange Bottom() const { return bottom_; }
    ChartRange Left() const { return left_; }

    // Called with the ranges the operator dragged, to set what may be shown of them, and
    // when the operator asks for the view back.
    std::function<void(ChartRange bottom, ChartRange left)> OnOperatorZoom;
    std::function<void()> OnUndoZoom;
    // Called at each folded repaint, before the chart is drawn, for what paints with it.
    std::function<void()> OnPaintTick;

    // Asks for a repaint; requests fold by the pacing rule.
    void RequestRepaint();

    // Draws the picture into the off-screen bitmap now (a paint only copies it) and returns
    // the bitmap's device context, for tests that read its pixels.
    HDC Render();
    // Where the plot area lies in the window, and where an (x, y) of the data is drawn.
    RECT PlotArea() const { return canvas_.Plot(); }
    // The text font, after a change of the screen's scale; the caller keeps it alive.
    void SetFont(HFONT font) {
        canvas_.SetFont(font);
        RequestRepaint();
    }
    POINT ToPixel(double x, double y) const { return canvas_.ToPixel(x, y); }

private:
    static LRESULT CALLBACK Proc(HWND window, UINT message, WPARAM w, LPARAM l);
    LRESULT OnMessage(UINT message, WPARAM w, LPARAM l);
    void DrawTraces(HDC dc);
    void PaintTick();
    void EndDrag(POINT at);

    HWND window_ = nullptr;
    ChartCanvas canvas_;
    const std::array<SeriesHistory, Count>& history_;
    const std::deque<ChartLine>& lines_;
    ChartRange bottom_{0, chart::BottomAxisDesignMaximum};
    ChartRange left_{chart::LeftAxisMinimum, chart::LeftAxisMaximum};
    bool stale_ = true;
    PaintPacer pacer_;
    bool dragging_ = false;
    POINT dragFrom_{};
    POINT dragTo_{};
};

} // namespace vemor
