#pragma once
// What every Win32 chart of the six traces draws around its traces, whatever they come from:
// an off-screen bitmap of the window's size, the black background, the grid, both axes with
// their tick labels, a title under the bottom axis where there is one, and the legend below.
// The live chart and the capture viewer's chart draw their traces into its plot area.
// GUI thread only.

#include "vemor/ChartLook.h"
#include "vemor/LiveDisplay.h"

#include <windows.h>

#include <array>
#include <string>

namespace vemor {

struct ChartSeries {
    std::string Title; // empty: the legend shows the colour alone
    COLORREF Colour;
    bool Stairs; // each point joined to the next by a horizontal, then a vertical segment
};

using ChartRange = AxisRange;

inline COLORREF ToColorRef(chart::Rgb c) {
    return RGB(c.R, c.G, c.B);
}

// The six traces as the chart look has them.
std::array<ChartSeries, chart::SeriesCount> TraceSeries();

void DrawLine(HDC dc, int x0, int y0, int x1, int y1);

// A chart's child window of its class (registered on first use: cross cursor, double
// clicks), its messages handed to proc with owner in the window's user data.
HWND CreateChartWindow(const char* className, HWND parent, int id, void* owner, WNDPROC proc);

// A pen selected into a device context for the scope.
class ScopedPen {
public:
    ScopedPen(HDC dc, int style, int width, COLORREF colour)
        : dc_(dc), pen_(CreatePen(style, width, colour)), old_(SelectObject(dc, pen_)) {}
    ~ScopedPen() {
        SelectObject(dc_, old_);
        DeleteObject(pen_);
    }
    ScopedPen(const ScopedPen&) = delete;
    ScopedPen& operator=(const ScopedPen&) = delete;

private:
    HDC dc_;
    HPEN pen_;
    HGDIOBJ old_;
};

class ChartCanvas {
public:
    ChartCanvas(HFONT font, const std::array<ChartSeries, chart::SeriesCount>& series);
    ~ChartCanvas();
    ChartCanvas(const ChartCanvas&) = delete;
    ChartCanvas& operator=(const ChartCanvas&) = delete;

    // The text font, after a change of the screen's scale; the caller keeps it alive.
    void SetFont(HFONT font) { font_ = font; }
    HFONT Font() const { return font_; }
    // Sizes the bitmap to the window's client area; true when it changed.
    bool Fit(HWND window);
    HDC Dc() const { return memory_; }

    // Bottom-axis labels: whole numbers, with up to three decimals, or the time of day of
    // seconds counted from clockOrigin, the second of the day at 0.
    enum class Labels { Whole, Decimal, Clock };
    // Draws everything but the traces for the ranges; false when no plot area fits.
    bool DrawFrame(ChartRange bottom, ChartRange left, Labels labels = Labels::Whole,
                   const std::string& bottomTitle = {}, double clockOrigin = 0);
    // Copies the picture to a window's paint.
    void Paint(HDC dc, const RECT& area) const;

    const std::array<ChartSeries, chart::SeriesCount>& Series() const { return series_; }
    RECT Plot() const { return plot_; }
    // Where an (x, y) of the data is drawn, far outside points pulled in for GDI; and the X
    // of a pixel column.
    POINT ToPixel(double x, double y) const;
    double XAt(double px) const;
    double YAt(double py) const;

private:
    void DrawLegend(HDC dc, int width, int top);

    HFONT font_;
    std::array<ChartSeries, chart::SeriesCount> series_;
    ChartRange bottom_{0, 1};
    ChartRange left_{0, 1};
    RECT plot_{};
    HDC memory_ = nullptr;
    HBITMAP bitmap_ = nullptr;
    HGDIOBJ oldBitmap_ = nullptr;
    int width_ = 0;
    int height_ = 0;
};

} // namespace vemor
