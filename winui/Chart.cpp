#include "Chart.h"

#include <windowsx.h>

#include <algorithm>
#include <chrono>
#include <cmath>
#include <string>

namespace vemor {

namespace {

constexpr char ClassName[] = "VemorStripChart";
constexpr UINT_PTR PaintTimer = 1;
constexpr UINT PaintNowMessage = WM_APP + 2;

std::int64_t NowMs() {
    return std::chrono::duration_cast<std::chrono::milliseconds>(
               std::chrono::steady_clock::now().time_since_epoch())
        .count();
}
constexpr COLORREF Black = RGB(0, 0, 0);
constexpr COLORREF Silver = RGB(192, 192, 192);
constexpr int DragThreshold = 4; // pixels a drag must cover to count as a zoom

} // namespace

StripChart::StripChart(HWND parent, int id, const std::array<ChartSeries, Count>& series,
                       HFONT font, const std::array<SeriesHistory, Count>& history,
                       const std::deque<ChartLine>& lines)
    : canvas_(font, series), history_(history), lines_(lines) {
    window_ = CreateChartWindow(ClassName, parent, id, this, &StripChart::Proc);
}

StripChart::~StripChart() {
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
    if (const auto wait = pacer_.Request(NowMs())) {
        if (*wait == 0) {
            // after the rest of the messages at hand, the other frames of this drain
            PostMessageA(window_, PaintNowMessage, 0, 0);
        } else {
            SetTimer(window_, PaintTimer,
                     std::max<UINT>(static_cast<UINT>(*wait), USER_TIMER_MINIMUM), nullptr);
        }
    }
}

void StripChart::PaintTick() {
    KillTimer(window_, PaintTimer);
    if (!pacer_.Pending()) {
        return; // a tick already served
    }
    pacer_.Painted(NowMs());
    if (OnPaintTick) {
        OnPaintTick();
    }
    InvalidateRect(window_, nullptr, FALSE);
}

HDC StripChart::Render() {
    if (canvas_.Fit(window_)) {
        stale_ = true;
    }
    if (stale_) {
        if (canvas_.DrawFrame(bottom_, left_)) {
            DrawTraces(canvas_.Dc());
        }
        stale_ = false;
    }
    return canvas_.Dc();
}

void StripChart::DrawTraces(HDC dc) {
    const RECT plot = canvas_.Plot();
    const int saved = SaveDC(dc);
    IntersectClipRect(dc, plot.left, plot.top, plot.right + 1, plot.bottom + 1);
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
        const ChartSeries& style = Series(s);
        points.clear();
        for (std::int64_t x = from; x <= to; ++x) {
            const POINT p = ToPixel(static_cast<double>(x), h.At(x));
            if (style.Stairs && !points.empty()) {
                points.push_back({p.x, points.back().y});
            }
            points.push_back(p);
        }
        // Two pixels wide as three one-pixel lines side by side: a wide pen builds a polygon
        // per segment, many times dearer where the traces jump.
        ScopedPen pen(dc, PS_SOLID, 1, style.Colour);
        if (points.size() == 1) {
            points.push_back({points[0].x + 1, points[0].y});
        }
        for (const POINT at : {POINT{0, 0}, POINT{1, 0}, POINT{0, 1}}) {
            SetViewportOrgEx(dc, at.x, at.y, nullptr); // the clip stays where it is
            Polyline(dc, points.data(), static_cast<int>(points.size()));
        }
        SetViewportOrgEx(dc, 0, 0, nullptr);
    }
    // The first frame after each outage, and the marks; a dotted pen's gaps stay unpainted.
    SetBkMode(dc, TRANSPARENT);
    for (const ChartLine& line : lines_) {
        if (line.X >= bottom_.Min && line.X <= bottom_.Max) {
            ScopedPen pen(dc, chart::LineDashed(line.Kind) ? PS_DOT : PS_SOLID, 1,
                          ToColorRef(chart::LineColour(line.Kind)));
            const LONG px = ToPixel(static_cast<double>(line.X), left_.Min).x;
            DrawLine(dc, px, plot.top, px, plot.bottom);
        }
    }
    RestoreDC(dc, saved);
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
    const RECT plot = canvas_.Plot();
    if (plot.right <= plot.left || plot.bottom <= plot.top) {
        return;
    }
    if (OnOperatorZoom) {
        OnOperatorZoom({canvas_.XAt(dragFrom_.x), canvas_.XAt(at.x)},
                       {canvas_.YAt(at.y), canvas_.YAt(dragFrom_.y)});
    }
    RequestRepaint();
}

LRESULT StripChart::OnMessage(UINT message, WPARAM w, LPARAM l) {
    switch (message) {
    case WM_MOUSEWHEEL: {
        // The time axis zooms about the pointer, out into the history too.
        POINT at{GET_X_LPARAM(l), GET_Y_LPARAM(l)};
        ScreenToClient(window_, &at);
        const RECT plot = canvas_.Plot();
        if (OnOperatorZoom && plot.right > plot.left) {
            const double steps = GET_WHEEL_DELTA_WPARAM(w) / static_cast<double>(WHEEL_DELTA);
            OnOperatorZoom(ZoomedAbout(bottom_, canvas_.XAt(at.x), steps), left_);
            RequestRepaint();
        }
        return 0;
    }
    case WM_ERASEBKGND:
        return 1; // every pixel comes from the bitmap
    case WM_SIZE:
        if (canvas_.Fit(window_)) {
            stale_ = true;
        }
        InvalidateRect(window_, nullptr, FALSE);
        return 0;
    case WM_TIMER:
        if (w == PaintTimer) {
            PaintTick();
            return 0;
        }
        break;
    case PaintNowMessage:
        PaintTick();
        return 0;
    case WM_PAINT: {
        PAINTSTRUCT ps;
        HDC dc = BeginPaint(window_, &ps);
        Render();
        canvas_.Paint(dc, ps.rcPaint);
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
