#pragma once
// The chart of a capture viewer on Win32: in the canvas every chart shares, the traces of the
// stretch the model has in view, the rejected stretches as red strokes below zero and the
// cursor as a dashed line. The mouse and the keys move through the capture by the model: a
// click reads a frame, a drag pans, Ctrl and a dragged rectangle zoom in, the wheel zooms
// around the pointer, a double-click and Home show everything, the arrow keys step the
// cursor. GUI thread only.

#include "ChartCanvas.h"

#include "vemor/capture/Viewer.h"

#include <windows.h>

#include <functional>

namespace vemor {

class ViewerChart {
public:
    ViewerChart(HWND parent, int id, HFONT font, decode::ViewerModel& model);
    ~ViewerChart();
    ViewerChart(const ViewerChart&) = delete;
    ViewerChart& operator=(const ViewerChart&) = delete;

    HWND Handle() const { return window_; }
    // After the operator moved the view or the cursor.
    std::function<void()> OnChanged;
    // The model changed: the next paint draws it.
    void Refresh();
    // Draws the picture now and returns its device context, for tests that read its pixels.
    HDC Render();
    RECT PlotArea() const { return canvas_.Plot(); }
    POINT ToPixel(double x, double y) const { return canvas_.ToPixel(x, y); }

private:
    static LRESULT CALLBACK Proc(HWND window, UINT message, WPARAM w, LPARAM l);
    LRESULT OnMessage(UINT message, WPARAM w, LPARAM l);
    void DrawTraces(HDC dc);
    void DrawJournal(HDC dc, const decode::View& view);
    double PlotX(LONG x) const { return x - canvas_.Plot().left; }
    void Changed();
    void Release(POINT at);

    HWND window_ = nullptr;
    ChartCanvas canvas_;
    decode::ViewerModel& model_;
    bool stale_ = true;
    bool pressed_ = false;
    bool rectangle_ = false; // Ctrl was down at the press
    POINT from_{};
    POINT to_{};
};

} // namespace vemor
