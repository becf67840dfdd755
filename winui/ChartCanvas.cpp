#include "ChartCanvas.h"

#include <algorithm>
#include <cmath>
#include <cstdio>

namespace vemor {

namespace {

constexpr COLORREF Black = RGB(0, 0, 0);
constexpr COLORREF Silver = RGB(192, 192, 192);
constexpr COLORREF Grid = RGB(80, 80, 80);
constexpr COLORREF AxisLine = RGB(128, 128, 128);
constexpr int SymbolWidth = 30; // the legend's colour line
constexpr int TickLength = 4;

// The smallest step of 1, 2 or 5 times a power of ten that puts `spacing` pixels or more
// between two ticks.
double NiceStep(double range, double pixels, double spacing) {
    if (range <= 0 || pixels <= 0) {
        return 1;
    }
    const double raw = range * spacing / pixels;
    const double power = std::pow(10.0, std::floor(std::log10(raw)));
    for (const double m : {1.0, 2.0, 5.0, 10.0}) {
        if (m * power >= raw) {
            return m * power;
        }
    }
    return 10 * power;
}

// Whole numbers without grouping.
std::string WholeNumber(double v) {
    return std::to_string(std::llround(v));
}

// Up to three decimals, trailing zeros dropped.
std::string AxisNumber(double v) {
    const long long thousandths = std::llround(v * 1000);
    std::string text = thousandths < 0 ? "-" : "";
    const unsigned long long magnitude = thousandths < 0
                                             ? 0ULL - static_cast<unsigned long long>(thousandths)
                                             : static_cast<unsigned long long>(thousandths);
    text += std::to_string(magnitude / 1000);
    std::string fraction = std::to_string(1000 + magnitude % 1000).substr(1);
    while (!fraction.empty() && fraction.back() == '0') {
        fraction.pop_back();
    }
    if (!fraction.empty()) {
        text += '.' + fraction;
    }
    return text == "-0" ? "0" : text;
}

// The smallest step of whole clock units (a 1-2-5 series below a second) that puts
// `spacing` pixels or more between two ticks.
double ClockStep(double range, double pixels, double spacing) {
    constexpr double Steps[] = {0.001, 0.002, 0.005, 0.01, 0.02, 0.05,  0.1,   0.2,  0.5,
                                1,     2,     5,     10,   15,   30,    60,    120,  300,
                                600,   900,   1800,  3600, 7200, 10800, 21600, 43200};
    const double raw = pixels > 0 ? range * spacing / pixels : range;
    for (const double step : Steps) {
        if (step >= raw) {
            return step;
        }
    }
    return 86400 * std::ceil(raw / 86400);
}

// 17:09:40, with milliseconds where the ticks are closer than a second.
std::string ClockText(double secondOfDay, bool milliseconds) {
    const long long ms =
        std::llround(std::fmod(std::fmod(secondOfDay, 86400) + 86400, 86400) * 1000);
    char text[32];
    std::snprintf(text, sizeof text, "%02lld:%02lld:%02lld", ms / 3600000 % 24, ms / 60000 % 60,
                  ms / 1000 % 60);
    std::string out = text;
    if (milliseconds) {
        std::snprintf(text, sizeof text, ".%03lld", ms % 1000);
        out += text;
    }
    return out;
}

SIZE TextSize(HDC dc, const std::string& text) {
    SIZE s{};
    GetTextExtentPoint32A(dc, text.c_str(), static_cast<int>(text.size()), &s);
    return s;
}

void Text(HDC dc, int x, int y, const std::string& text) {
    TextOutA(dc, x, y, text.c_str(), static_cast<int>(text.size()));
}

} // namespace

std::array<ChartSeries, chart::SeriesCount> TraceSeries() {
    std::array<ChartSeries, chart::SeriesCount> series;
    for (std::size_t i = 0; i < series.size(); ++i) {
        const chart::TraceLook& look = chart::Traces()[i];
        series[i] = {look.Title, ToColorRef(look.Colour), look.Stairs};
    }
    return series;
}

void DrawLine(HDC dc, int x0, int y0, int x1, int y1) {
    MoveToEx(dc, x0, y0, nullptr);
    LineTo(dc, x1, y1);
}

HWND CreateChartWindow(const char* className, HWND parent, int id, void* owner, WNDPROC proc) {
    WNDCLASSA c{};
    if (GetClassInfoA(GetModuleHandleA(nullptr), className, &c) == 0) {
        c.style = CS_DBLCLKS;
        c.lpfnWndProc = DefWindowProcA; // replaced per window once the owner is attached
        c.hInstance = GetModuleHandleA(nullptr);
        c.hCursor = LoadCursor(nullptr, IDC_CROSS);
        c.lpszClassName = className;
        RegisterClassA(&c);
    }
    HWND window = CreateWindowExA(0, className, "", WS_CHILD | WS_VISIBLE | WS_TABSTOP, 0, 0, 0, 0,
                                  parent, reinterpret_cast<HMENU>(static_cast<INT_PTR>(id)),
                                  GetModuleHandleA(nullptr), nullptr);
    SetWindowLongPtrA(window, GWLP_USERDATA, reinterpret_cast<LONG_PTR>(owner));
    SetWindowLongPtrA(window, GWLP_WNDPROC, reinterpret_cast<LONG_PTR>(proc));
    return window;
}

ChartCanvas::ChartCanvas(HFONT font, const std::array<ChartSeries, chart::SeriesCount>& series)
    : font_(font), series_(series) {}

ChartCanvas::~ChartCanvas() {
    if (memory_ != nullptr) {
        SelectObject(memory_, oldBitmap_);
        DeleteObject(bitmap_);
        DeleteDC(memory_);
    }
}

bool ChartCanvas::Fit(HWND window) {
    RECT r{};
    GetClientRect(window, &r);
    const int width = std::max<int>(r.right, 1);
    const int height = std::max<int>(r.bottom, 1);
    if (memory_ != nullptr && width == width_ && height == height_) {
        return false;
    }
    HDC screen = GetDC(window);
    if (memory_ == nullptr) {
        memory_ = CreateCompatibleDC(screen);
    } else {
        SelectObject(memory_, oldBitmap_);
        DeleteObject(bitmap_);
    }
    bitmap_ = CreateCompatibleBitmap(screen, width, height);
    oldBitmap_ = SelectObject(memory_, bitmap_);
    ReleaseDC(window, screen);
    width_ = width;
    height_ = height;
    return true;
}

void ChartCanvas::Paint(HDC dc, const RECT& area) const {
    BitBlt(dc, area.left, area.top, area.right - area.left, area.bottom - area.top, memory_,
           area.left, area.top, SRCCOPY);
}

POINT ChartCanvas::ToPixel(double x, double y) const {
    const double w = plot_.right - plot_.left;
    const double h = plot_.bottom - plot_.top;
    const double bx =
        bottom_.Max > bottom_.Min ? (x - bottom_.Min) / (bottom_.Max - bottom_.Min) : 0;
    const double ly = left_.Max > left_.Min ? (y - left_.Min) / (left_.Max - left_.Min) : 0;
    // Far outside points are pulled in, so that GDI never meets a coordinate it cannot draw.
    const auto clamp = [](double v) { return static_cast<LONG>(std::clamp(v, -1e6, 1e6)); };
    return {clamp(plot_.left + bx * w), clamp(plot_.bottom - ly * h)};
}

double ChartCanvas::XAt(double px) const {
    const double w = std::max<double>(plot_.right - plot_.left, 1);
    return bottom_.Min + (px - plot_.left) / w * (bottom_.Max - bottom_.Min);
}

double ChartCanvas::YAt(double py) const {
    const double h = std::max<double>(plot_.bottom - plot_.top, 1);
    return left_.Min + (plot_.bottom - py) / h * (left_.Max - left_.Min);
}

bool ChartCanvas::DrawFrame(ChartRange bottom, ChartRange left, Labels labels,
                            const std::string& bottomTitle, double clockOrigin) {
    bottom_ = bottom;
    left_ = left;
    HDC dc = memory_;
    const int width = width_;
    const int height = height_;
    const RECT all{0, 0, width, height};
    HBRUSH black = CreateSolidBrush(Black);
    FillRect(dc, &all, black);
    DeleteObject(black);
    HGDIOBJ oldFont = SelectObject(dc, font_);
    SetBkMode(dc, TRANSPARENT);
    SetTextColor(dc, Silver);

    TEXTMETRICA tm{};
    GetTextMetricsA(dc, &tm);
    const int line = tm.tmHeight;
    const int titleLines = bottomTitle.empty() ? 0 : 1;

    // Room for the widest left label, the bottom labels, the title and the legend.
    const double leftStep =
        NiceStep(left_.Max - left_.Min, std::max(height - 4 * line, 1), 2.0 * line);
    int labelWidth = 0;
    for (double v = std::ceil(left_.Min / leftStep) * leftStep; v <= left_.Max + 1e-9;
         v += leftStep) {
        labelWidth = std::max<int>(labelWidth, TextSize(dc, AxisNumber(v)).cx);
    }
    plot_ = {8 + labelWidth + TickLength + 2, line / 2 + 4, width - 12,
             height - ((2 + titleLines) * line + TickLength + 12)};
    if (plot_.right <= plot_.left || plot_.bottom <= plot_.top) {
        SelectObject(dc, oldFont);
        return false;
    }

    HPEN gridPen = CreatePen(PS_DOT, 1, Grid);
    HPEN axisPen = CreatePen(PS_SOLID, 1, AxisLine);
    HGDIOBJ oldPen = SelectObject(dc, gridPen);

    // Left axis: grid lines and labels.
    for (double v = std::ceil(left_.Min / leftStep) * leftStep; v <= left_.Max + 1e-9;
         v += leftStep) {
        const int y = ToPixel(bottom_.Min, v).y;
        SelectObject(dc, gridPen);
        DrawLine(dc, plot_.left, y, plot_.right, y);
        SelectObject(dc, axisPen);
        DrawLine(dc, plot_.left - TickLength, y, plot_.left, y);
        const std::string text = AxisNumber(v);
        const SIZE s = TextSize(dc, text);
        Text(dc, plot_.left - TickLength - 2 - s.cx, y - s.cy / 2, text);
    }
    // Bottom axis: whole numbers, steps below one where decimals are asked for, or clock
    // times on whole clock steps.
    const bool whole = labels == Labels::Whole;
    const bool clock = labels == Labels::Clock;
    const double origin = clock ? clockOrigin : 0;
    const double range = bottom_.Max - bottom_.Min;
    const double pixels = plot_.right - plot_.left;
    const double extreme = std::max(std::fabs(bottom_.Min), std::fabs(bottom_.Max));
    const double bottomStep =
        clock ? ClockStep(range, pixels, TextSize(dc, "00:00:00.000").cx + 16.0)
              : std::max(whole ? 1.0 : 0.001,
                         NiceStep(range, pixels,
                                  TextSize(dc, (whole ? WholeNumber(-extreme)
                                                      : AxisNumber(-extreme) + ".000"))
                                          .cx +
                                      16.0));
    const auto number = [&](double v) {
        return clock ? ClockText(v + origin, bottomStep < 1)
                     : (whole ? WholeNumber(v) : AxisNumber(v));
    };
    for (double v = std::ceil((bottom_.Min + origin) / bottomStep) * bottomStep - origin;
         v <= bottom_.Max + 1e-9; v += bottomStep) {
        const int x = ToPixel(v, left_.Min).x;
        SelectObject(dc, gridPen);
        DrawLine(dc, x, plot_.top, x, plot_.bottom);
        SelectObject(dc, axisPen);
        DrawLine(dc, x, plot_.bottom, x, plot_.bottom + TickLength);
        const std::string text = number(v);
        const SIZE s = TextSize(dc, text);
        // Whole or not at all: a label cut at the picture's edge reads as another number.
        if (x - s.cx / 2 >= 0 && x - s.cx / 2 + s.cx <= width) {
            Text(dc, x - s.cx / 2, plot_.bottom + TickLength + 1, text);
        }
    }
    SelectObject(dc, axisPen);
    DrawLine(dc, plot_.left, plot_.top, plot_.left, plot_.bottom);
    DrawLine(dc, plot_.left, plot_.bottom, plot_.right, plot_.bottom);
    SelectObject(dc, oldPen);
    DeleteObject(gridPen);
    DeleteObject(axisPen);

    if (titleLines > 0) {
        const SIZE s = TextSize(dc, bottomTitle);
        Text(dc, (plot_.left + plot_.right - s.cx) / 2, plot_.bottom + TickLength + line + 3,
             bottomTitle);
    }
    DrawLegend(dc, width, plot_.bottom + TickLength + (1 + titleLines) * line + 6);
    SelectObject(dc, oldFont);
    return true;
}

void ChartCanvas::DrawLegend(HDC dc, int width, int top) {
    constexpr int Gap = 4;
    constexpr int Between = 14;
    int total = 0;
    for (const ChartSeries& s : series_) {
        total += SymbolWidth + (s.Title.empty() ? 0 : Gap + TextSize(dc, s.Title).cx) + Between;
    }
    total -= Between;
    int x = std::max(4, (width - total) / 2);
    const int textHeight = TextSize(dc, "Xg").cy;
    for (const ChartSeries& s : series_) {
        {
            ScopedPen pen(dc, PS_SOLID, 2, s.Colour);
            DrawLine(dc, x, top + textHeight / 2, x + SymbolWidth, top + textHeight / 2);
        }
        x += SymbolWidth;
        if (!s.Title.empty()) {
            x += Gap;
            Text(dc, x, top, s.Title);
            x += TextSize(dc, s.Title).cx;
        }
        x += Between;
    }
}

} // namespace vemor
