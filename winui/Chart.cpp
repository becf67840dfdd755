#include "Chart.h"

#include <windowsx.h>

#include <algorithm>
#include <cmath>
#include <string>

namespace vemor {

namespace {

constexpr char ClassName[] = "VemorStripChart";
constexpr UINT_PTR PaintTimer = 1;
constexpr COLORREF Black = RGB(0, 0, 0);
constexpr COLORREF Silver = RGB(192, 192, 192);
constexpr COLORREF Grid = RGB(80, 80, 80);
constexpr COLORREF AxisLine = RGB(128, 128, 128);
constexpr int SymbolWidth = 30; // the legend's colour line
constexpr int TickLength = 4;
constexpr int DragThreshold = 4; // pixels a drag must cover to count as a zoom

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

// Bottom axis labels: whole numbers without grouping.
std::string WholeNumber(double v) {
    return std::to_string(std::llround(v));
}

// Left axis labels: up to three decimals, trailing zeros dropped.
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

SIZE TextSize(HDC dc, const std::string& text) {
    SIZE s{};
    GetTextExtentPoint32A(dc, text.c_str(), static_cast<int>(text.size()), &s);
    return s;
}

void Text(HDC dc, int x, int y, const std::string& text) {
    TextOutA(dc, x, y, text.c_str(), static_cast<int>(text.size()));
}

void Line(HDC dc, int x0, int y0, int x1, int y1) {
    MoveToEx(dc, x0, y0, nullptr);
    LineTo(dc, x1, y1);
}

void RegisterClassOnce() {
    static const bool done = [] {
        WNDCLASSA c{};
        c.style = CS_DBLCLKS;
        c.lpfnWndProc = DefWindowProcA; // replaced per window once the object is attached
        c.hInstance = GetModuleHandleA(nullptr);
        c.hCursor = LoadCursor(nullptr, IDC_CROSS);
        c.lpszClassName = ClassName;
        return RegisterClassA(&c) != 0;
    }();
    (void)done;
}

} // namespace

StripChart::StripChart(HWND parent, int id, const std::array<ChartSeries, Count>& series,
                       HFONT font, const std::array<SeriesHistory, Count>& history,
                       const std::deque<std::int64_t>& outages)
    : font_(font), series_(series), history_(history), outages_(outages) {
    RegisterClassOnce();
    window_ = CreateWindowExA(0, ClassName, "", WS_CHILD | WS_VISIBLE | WS_TABSTOP, 0, 0, 0, 0,
                              parent, reinterpret_cast<HMENU>(static_cast<INT_PTR>(id)),
                              GetModuleHandleA(nullptr), nullptr);
    SetWindowLongPtrA(window_, GWLP_USERDATA, reinterpret_cast<LONG_PTR>(this));
    SetWindowLongPtrA(window_, GWLP_WNDPROC, reinterpret_cast<LONG_PTR>(&StripChart::Proc));
}

StripChart::~StripChart() {
    if (memory_ != nullptr) {
        SelectObject(memory_, oldBitmap_);
        DeleteObject(bitmap_);
        DeleteDC(memory_);
    }
    if (IsWindow(window_)) {
        SetWindowLongPtrA(window_, GWLP_WNDPROC, reinterpret_cast<LONG_PTR>(DefWindowProcA));
        KillTimer(window_, PaintTimer);
    }
}

LRESULT CALLBACK StripChart::Proc(HWND window, UINT message, WPARAM w, LPARAM l) {
    auto* chart = reinterpret_cast<StripChart*>(GetWindowLongPtrA(window, GWLP_USERDATA));
    return chart != nullptr ? chart->OnMessage(message, w, l)
                            : DefWindowProcA(window, message, w, l);
}

void StripChart::SetBottom(ChartRange range) {
    bottom_ = range;
    stale_ = true;
}

void StripChart::SetLeft(ChartRange range) {
    left_ = range;
    stale_ = true;
}

void StripChart::RequestRepaint() {
    stale_ = true;
    const int wait = PaintPacing::WaitMs(static_cast<std::int64_t>(GetTickCount() - lastPaint_));
    if (paintPending_ && paintWait_ <= wait) {
        return;
    }
    paintPending_ = true;
    paintWait_ = wait;
    SetTimer(window_, PaintTimer, std::max<UINT>(static_cast<UINT>(wait), USER_TIMER_MINIMUM),
             nullptr);
}

void StripChart::PaintTick() {
    KillTimer(window_, PaintTimer);
    paintPending_ = false;
    lastPaint_ = GetTickCount();
    if (OnPaintTick) {
        OnPaintTick();
    }
    // The labels went out with this paint; a chart that moved too lately waits for the next.
    const DWORD now = GetTickCount();
    if (chartDrawn_ && !PaintPacing::ChartDue(static_cast<std::int64_t>(now - lastChart_))) {
        RequestRepaint();
        return;
    }
    chartDrawn_ = true;
    lastChart_ = now;
    InvalidateRect(window_, nullptr, FALSE);
}

POINT StripChart::ToPixel(double x, double y) const {
    const double w = plot_.right - plot_.left;
    const double h = plot_.bottom - plot_.top;
    const double bx =
        bottom_.Max > bottom_.Min ? (x - bottom_.Min) / (bottom_.Max - bottom_.Min) : 0;
    const double ly = left_.Max > left_.Min ? (y - left_.Min) / (left_.Max - left_.Min) : 0;
    // Far outside points are pulled in, so that GDI never meets a coordinate it cannot draw.
    const auto clamp = [](double v) { return static_cast<LONG>(std::clamp(v, -1e6, 1e6)); };
    return {clamp(plot_.left + bx * w), clamp(plot_.bottom - ly * h)};
}

void StripChart::Resize() {
    RECT r{};
    GetClientRect(window_, &r);
    const int width = std::max<int>(r.right, 1);
    const int height = std::max<int>(r.bottom, 1);
    if (memory_ != nullptr && width == width_ && height == height_) {
        return;
    }
    HDC screen = GetDC(window_);
    if (memory_ == nullptr) {
        memory_ = CreateCompatibleDC(screen);
    } else {
        SelectObject(memory_, oldBitmap_);
        DeleteObject(bitmap_);
    }
    bitmap_ = CreateCompatibleBitmap(screen, width, height);
    oldBitmap_ = SelectObject(memory_, bitmap_);
    ReleaseDC(window_, screen);
    width_ = width;
    height_ = height;
    stale_ = true;
}

HDC StripChart::Render() {
    Resize();
    if (stale_) {
        Draw(memory_, width_, height_);
        stale_ = false;
    }
    return memory_;
}

void StripChart::Draw(HDC dc, int width, int height) {
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

    // Room for the widest left label, the bottom labels and the legend.
    const double leftStep =
        NiceStep(left_.Max - left_.Min, std::max(height - 4 * line, 1), 2.0 * line);
    int labelWidth = 0;
    for (double v = std::ceil(left_.Min / leftStep) * leftStep; v <= left_.Max + 1e-9;
         v += leftStep) {
        labelWidth = std::max<int>(labelWidth, TextSize(dc, AxisNumber(v)).cx);
    }
    plot_ = {8 + labelWidth + TickLength + 2, line / 2 + 4, width - 12,
             height - (2 * line + TickLength + 12)};
    if (plot_.right <= plot_.left || plot_.bottom <= plot_.top) {
        SelectObject(dc, oldFont);
        return;
    }

    HPEN gridPen = CreatePen(PS_DOT, 1, Grid);
    HPEN axisPen = CreatePen(PS_SOLID, 1, AxisLine);
    HGDIOBJ oldPen = SelectObject(dc, gridPen);

    // Left axis: grid lines and labels.
    for (double v = std::ceil(left_.Min / leftStep) * leftStep; v <= left_.Max + 1e-9;
         v += leftStep) {
        const int y = ToPixel(bottom_.Min, v).y;
        SelectObject(dc, gridPen);
        Line(dc, plot_.left, y, plot_.right, y);
        SelectObject(dc, axisPen);
        Line(dc, plot_.left - TickLength, y, plot_.left, y);
        const std::string text = AxisNumber(v);
        const SIZE s = TextSize(dc, text);
        Text(dc, plot_.left - TickLength - 2 - s.cx, y - s.cy / 2, text);
    }
    // Bottom axis: whole numbers only.
    const SIZE widest =
        TextSize(dc, WholeNumber(-std::max(std::fabs(bottom_.Min), std::fabs(bottom_.Max))));
    const double bottomStep = std::max(
        1.0, NiceStep(bottom_.Max - bottom_.Min, plot_.right - plot_.left, widest.cx + 16.0));
    for (double v = std::ceil(bottom_.Min / bottomStep) * bottomStep; v <= bottom_.Max + 1e-9;
         v += bottomStep) {
        const int x = ToPixel(v, left_.Min).x;
        SelectObject(dc, gridPen);
        Line(dc, x, plot_.top, x, plot_.bottom);
        SelectObject(dc, axisPen);
        Line(dc, x, plot_.bottom, x, plot_.bottom + TickLength);
        const std::string text = WholeNumber(v);
        const SIZE s = TextSize(dc, text);
        Text(dc, x - s.cx / 2, plot_.bottom + TickLength + 1, text);
    }
    SelectObject(dc, axisPen);
    Line(dc, plot_.left, plot_.top, plot_.left, plot_.bottom);
    Line(dc, plot_.left, plot_.bottom, plot_.right, plot_.bottom);
    SelectObject(dc, oldPen);
    DeleteObject(gridPen);
    DeleteObject(axisPen);

    DrawTraces(dc);
    DrawLegend(dc, width, plot_.bottom + TickLength + line + 6);
    SelectObject(dc, oldFont);
}

void StripChart::DrawTraces(HDC dc) {
    const int saved = SaveDC(dc);
    IntersectClipRect(dc, plot_.left, plot_.top, plot_.right + 1, plot_.bottom + 1);
    std::vector<POINT> points;
    for (int s = 0; s < Count; ++s) {
        const SeriesHistory& h = history_[static_cast<std::size_t>(s)];
        if (h.Count() == 0) {
            continue;
        }
        // The points in view and one beyond each edge, so that lines run out of the picture.
        const auto from = std::max<std::int64_t>(
            h.FirstX(), static_cast<std::int64_t>(std::floor(bottom_.Min)) - 1);
        const auto to = std::min<std::int64_t>(
            h.Count() - 1, static_cast<std::int64_t>(std::ceil(bottom_.Max)) + 1);
        if (from > to) {
            continue;
        }
        const ChartSeries& style = series_[static_cast<std::size_t>(s)];
        points.clear();
        for (std::int64_t x = from; x <= to; ++x) {
            const POINT p = ToPixel(static_cast<double>(x), h.At(x));
            if (style.Stairs && !points.empty()) {
                points.push_back({p.x, points.back().y});
            }
            points.push_back(p);
        }
        HPEN pen = CreatePen(PS_SOLID, 2, style.Colour);
        HGDIOBJ old = SelectObject(dc, pen);
        if (points.size() == 1) {
            Line(dc, points[0].x, points[0].y, points[0].x + 1, points[0].y);
        } else {
            Polyline(dc, points.data(), static_cast<int>(points.size()));
        }
        SelectObject(dc, old);
        DeleteObject(pen);
    }
    // The first frame after each outage.
    HPEN outagePen = CreatePen(
        PS_SOLID, 1, RGB(chart::OutageColour.R, chart::OutageColour.G, chart::OutageColour.B));
    HGDIOBJ oldPen = SelectObject(dc, outagePen);
    for (const std::int64_t x : outages_) {
        if (x >= bottom_.Min && x <= bottom_.Max) {
            const LONG px = ToPixel(static_cast<double>(x), left_.Min).x;
            Line(dc, px, plot_.top, px, plot_.bottom);
        }
    }
    SelectObject(dc, oldPen);
    DeleteObject(outagePen);
    RestoreDC(dc, saved);
}

void StripChart::DrawLegend(HDC dc, int width, int top) {
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
        HPEN pen = CreatePen(PS_SOLID, 2, s.Colour);
        HGDIOBJ old = SelectObject(dc, pen);
        Line(dc, x, top + textHeight / 2, x + SymbolWidth, top + textHeight / 2);
        SelectObject(dc, old);
        DeleteObject(pen);
        x += SymbolWidth;
        if (!s.Title.empty()) {
            x += Gap;
            Text(dc, x, top, s.Title);
            x += TextSize(dc, s.Title).cx;
        }
        x += Between;
    }
}

void StripChart::EndDrag(POINT at) {
    dragging_ = false;
    ReleaseCapture();
    InvalidateRect(window_, nullptr, FALSE);
    const int dx = at.x - dragFrom_.x;
    const int dy = at.y - dragFrom_.y;
    if (std::abs(dx) < DragThreshold && std::abs(dy) < DragThreshold) {
        return;
    }
    if (dx < 0 || dy < 0) {
        if (OnUndoZoom) {
            OnUndoZoom();
        }
        return;
    }
    const double w = plot_.right - plot_.left;
    const double h = plot_.bottom - plot_.top;
    if (w <= 0 || h <= 0) {
        return;
    }
    const auto xAt = [&](LONG px) {
        return bottom_.Min + (px - plot_.left) / w * (bottom_.Max - bottom_.Min);
    };
    const auto yAt = [&](LONG py) {
        return left_.Min + (plot_.bottom - py) / h * (left_.Max - left_.Min);
    };
    if (OnOperatorZoom) {
        OnOperatorZoom({xAt(dragFrom_.x), xAt(at.x)}, {yAt(at.y), yAt(dragFrom_.y)});
    }
    RequestRepaint();
}

LRESULT StripChart::OnMessage(UINT message, WPARAM w, LPARAM l) {
    switch (message) {
    case WM_ERASEBKGND:
        return 1; // every pixel comes from the bitmap
    case WM_SIZE:
        Resize();
        InvalidateRect(window_, nullptr, FALSE);
        return 0;
    case WM_TIMER:
        if (w == PaintTimer) {
            PaintTick();
            return 0;
        }
        break;
    case WM_PAINT: {
        PAINTSTRUCT ps;
        HDC dc = BeginPaint(window_, &ps);
        HDC picture = Render();
        BitBlt(dc, ps.rcPaint.left, ps.rcPaint.top, ps.rcPaint.right - ps.rcPaint.left,
               ps.rcPaint.bottom - ps.rcPaint.top, picture, ps.rcPaint.left, ps.rcPaint.top,
               SRCCOPY);
        if (dragging_) {
            const RECT band{std::min(dragFrom_.x, dragTo_.x), std::min(dragFrom_.y, dragTo_.y),
                            std::max(dragFrom_.x, dragTo_.x), std::max(dragFrom_.y, dragTo_.y)};
            SetTextColor(dc, Silver);
            SetBkColor(dc, Black);
            DrawFocusRect(dc, &band);
        }
        EndPaint(window_, &ps);
        return 0;
    }
    case WM_LBUTTONDOWN:
        SetFocus(window_);
        dragging_ = true;
        dragFrom_ = dragTo_ = {GET_X_LPARAM(l), GET_Y_LPARAM(l)};
        SetCapture(window_);
        return 0;
    case WM_MOUSEMOVE:
        if (dragging_) {
            dragTo_ = {GET_X_LPARAM(l), GET_Y_LPARAM(l)};
            InvalidateRect(window_, nullptr, FALSE);
        }
        return 0;
    case WM_LBUTTONUP:
        if (dragging_) {
            EndDrag({GET_X_LPARAM(l), GET_Y_LPARAM(l)});
        }
        return 0;
    case WM_CAPTURECHANGED:
        if (dragging_ && reinterpret_cast<HWND>(l) != window_) {
            dragging_ = false;
            InvalidateRect(window_, nullptr, FALSE);
        }
        return 0;
    case WM_LBUTTONDBLCLK:
        if (OnUndoZoom) {
            OnUndoZoom();
        }
        return 0;
    default:
        break;
    }
    return DefWindowProcA(window_, message, w, l);
}

} // namespace vemor
