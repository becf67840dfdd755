#include "ViewerChart.h"

#include <windowsx.h>

#include <algorithm>
#include <cstdlib>
#include <vector>

namespace vemor {

namespace {

constexpr char ClassName[] = "VemorViewerChart";
constexpr COLORREF RejectColour = RGB(255, 64, 64);
constexpr COLORREF CursorColour = RGB(0, 255, 255);

} // namespace

ViewerChart::ViewerChart(HWND parent, int id, HFONT font, decode::ViewerModel& model)
    : canvas_(font, TraceSeries()), model_(model) {
    window_ = CreateChartWindow(ClassName, parent, id, this, &ViewerChart::Proc);
}

ViewerChart::~ViewerChart() {
    if (IsWindow(window_)) {
        SetWindowLongPtrA(window_, GWLP_WNDPROC, reinterpret_cast<LONG_PTR>(DefWindowProcA));
    }
}

LRESULT CALLBACK ViewerChart::Proc(HWND window, UINT message, WPARAM w, LPARAM l) {
    auto* chart = reinterpret_cast<ViewerChart*>(GetWindowLongPtrA(window, GWLP_USERDATA));
    return chart != nullptr ? chart->OnMessage(message, w, l)
                            : DefWindowProcA(window, message, w, l);
}

void ViewerChart::Refresh() {
    stale_ = true;
    InvalidateRect(window_, nullptr, FALSE);
}

void ViewerChart::Changed() {
    Refresh();
    if (OnChanged) {
        OnChanged();
    }
}

HDC ViewerChart::Render() {
    if (canvas_.Fit(window_)) {
        stale_ = true;
    }
    if (stale_) {
        stale_ = false;
        const bool frames = model_.Unit() == decode::XUnit::Frames;
        const std::optional<double> origin = model_.TickOrigin();
        const bool drawn = canvas_.DrawFrame(
            {model_.Lo(), model_.Hi()}, {chart::LeftAxisMinimum, chart::LeftAxisMaximum},
            frames   ? ChartCanvas::Labels::Whole
            : origin ? ChartCanvas::Labels::Clock
                     : ChartCanvas::Labels::Decimal,
            model_.Index() != nullptr ? model_.AxisTitle() : std::string(), origin.value_or(0));
        const RECT plot = canvas_.Plot();
        model_.SetPlotWidth(std::max<int>(plot.right - plot.left, 1));
        if (drawn && model_.Index() != nullptr) {
            DrawTraces(canvas_.Dc());
        }
    }
    return canvas_.Dc();
}

void ViewerChart::DrawTraces(HDC dc) {
    const RECT plot = canvas_.Plot();
    const int saved = SaveDC(dc);
    IntersectClipRect(dc, plot.left, plot.top, plot.right + 1, plot.bottom + 1);
    const decode::View view = model_.Picture();
    std::vector<POINT> points;
    std::vector<DWORD> counts;
    for (std::size_t t = 0; t < view.points.size(); ++t) {
        const ChartSeries& style = canvas_.Series()[t];
        ScopedPen pen(dc, PS_SOLID, 2, style.Colour);
        points.clear();
        if (view.eachFrame) {
            for (const decode::Point& p : view.points[t]) {
                const POINT at = canvas_.ToPixel(p.x, p.y);
                if (style.Stairs && !points.empty()) {
                    points.push_back({at.x, points.back().y});
                }
                points.push_back(at);
            }
            if (points.size() == 1) {
                DrawLine(dc, points[0].x, points[0].y, points[0].x + 1, points[0].y);
            } else if (points.size() > 1) {
                Polyline(dc, points.data(), static_cast<int>(points.size()));
            }
            continue;
        }
        // Each pixel column's extent as a bar, one call for the whole trace.
        for (const decode::Column& c : view.columns[t]) {
            const POINT hi = canvas_.ToPixel(c.x, c.hi);
            const POINT lo = canvas_.ToPixel(c.x, c.lo);
            points.push_back(hi);
            points.push_back({lo.x, lo.y + 1});
        }
        counts.assign(points.size() / 2, 2);
        if (!counts.empty()) {
            PolyPolyline(dc, points.data(), counts.data(), static_cast<DWORD>(counts.size()));
        }
    }
    {
        ScopedPen pen(dc, PS_SOLID, 1, RejectColour);
        for (double x : view.rejects) {
            const POINT top = canvas_.ToPixel(x, 0);
            const POINT bottom = canvas_.ToPixel(x, chart::LeftAxisMinimum);
            DrawLine(dc, top.x, top.y, bottom.x, bottom.y);
        }
    }
    DrawJournal(dc, view);
    if (model_.CursorFrame()) {
        ScopedPen pen(dc, PS_DASH, 1, CursorColour);
        SetBkMode(dc, TRANSPARENT);
        const LONG x = canvas_.ToPixel(model_.CursorX(), 0).x;
        DrawLine(dc, x, plot.top, x, plot.bottom);
    }
    RestoreDC(dc, saved);
}

// The spells without a line or port hatched, with their length; the marks as lines with
// their numbers and notes, a row below.
void ViewerChart::DrawJournal(HDC dc, const decode::View& view) {
    const RECT plot = canvas_.Plot();
    SetBkMode(dc, TRANSPARENT);
    const HGDIOBJ oldFont = SelectObject(dc, canvas_.Font());
    TEXTMETRICA tm{};
    GetTextMetricsA(dc, &tm);
    const auto label = [&](int x, int row, COLORREF colour, const std::string& text) {
        SetTextColor(dc, colour);
        TextOutA(dc, x + 3, plot.top + 2 + row * tm.tmHeight, text.c_str(),
                 static_cast<int>(text.size()));
    };
    for (const decode::Band& b : view.bands) {
        const COLORREF colour =
            ToColorRef(chart::BandColour(b.kind == JournalSpell::Kind::LineLost));
        const LONG from = std::max(canvas_.ToPixel(b.from, 0).x, plot.left);
        const LONG to = std::min(canvas_.ToPixel(b.to, 0).x, plot.right);
        HBRUSH hatch = CreateHatchBrush(HS_BDIAGONAL, colour);
        const RECT area{from, plot.top, std::max(to, from + 1), plot.bottom};
        FillRect(dc, &area, hatch);
        DeleteObject(hatch);
        ScopedPen pen(dc, PS_SOLID, 1, colour);
        DrawLine(dc, from, plot.top, from, plot.bottom);
        DrawLine(dc, to, plot.top, to, plot.bottom);
        label(from, 0, colour, b.text);
    }
    const COLORREF markColour = ToColorRef(chart::MarkColour);
    ScopedPen pen(dc, PS_SOLID, 1, markColour);
    for (const decode::MarkLine& m : view.marks) {
        const LONG x = canvas_.ToPixel(m.x, 0).x;
        DrawLine(dc, x, plot.top, x, plot.bottom);
        label(x, 1, markColour, m.note.empty() ? m.number : m.number + ": " + m.note);
    }
    SelectObject(dc, oldFont);
}

void ViewerChart::Release(POINT at) {
    pressed_ = false;
    ReleaseCapture();
    const bool moved = std::abs(at.x - from_.x) > GetSystemMetrics(SM_CXDRAG) ||
                       std::abs(at.y - from_.y) > GetSystemMetrics(SM_CYDRAG);
    if (!moved) {
        model_.Click(PlotX(at.x));
    } else if (rectangle_) {
        model_.ZoomToPixels(PlotX(from_.x), PlotX(at.x));
    }
    rectangle_ = false;
    Changed();
}

LRESULT ViewerChart::OnMessage(UINT message, WPARAM w, LPARAM l) {
    const POINT at{GET_X_LPARAM(l), GET_Y_LPARAM(l)};
    switch (message) {
    case WM_ERASEBKGND:
        return 1; // every pixel comes from the bitmap
    case WM_SIZE:
        Refresh();
        return 0;
    case WM_PAINT: {
        PAINTSTRUCT ps;
        HDC dc = BeginPaint(window_, &ps);
        Render();
        canvas_.Paint(dc, ps.rcPaint);
        if (pressed_ && rectangle_) {
            const RECT band{std::min(from_.x, to_.x), std::min(from_.y, to_.y),
                            std::max(from_.x, to_.x), std::max(from_.y, to_.y)};
            SetTextColor(dc, RGB(192, 192, 192));
            SetBkColor(dc, RGB(0, 0, 0));
            DrawFocusRect(dc, &band);
        }
        EndPaint(window_, &ps);
        return 0;
    }
    case WM_GETDLGCODE:
        return DLGC_WANTARROWS | DLGC_WANTCHARS;
    case WM_CHAR:
        // The viewer's playback keys (Space, ] and [).
        return SendMessageA(GetParent(window_), message, w, l);
    case WM_LBUTTONDOWN:
        SetFocus(window_);
        SetCapture(window_);
        pressed_ = true;
        rectangle_ = (w & MK_CONTROL) != 0;
        from_ = to_ = at;
        if (!rectangle_) {
            model_.StartDrag(PlotX(at.x));
        }
        return 0;
    case WM_MOUSEMOVE:
        if (pressed_) {
            to_ = at;
            if (rectangle_) {
                InvalidateRect(window_, nullptr, FALSE);
            } else {
                model_.DragTo(PlotX(at.x));
                Changed();
            }
        }
        return 0;
    case WM_LBUTTONUP:
        if (pressed_) {
            Release(at);
        }
        return 0;
    case WM_CAPTURECHANGED:
        if (pressed_ && reinterpret_cast<HWND>(l) != window_) {
            pressed_ = false;
            InvalidateRect(window_, nullptr, FALSE);
        }
        return 0;
    case WM_LBUTTONDBLCLK:
        model_.ShowAll();
        Changed();
        return 0;
    case WM_MOUSEWHEEL: {
        POINT p = at; // on the screen
        ScreenToClient(window_, &p);
        model_.Wheel(PlotX(p.x), GET_WHEEL_DELTA_WPARAM(w) / static_cast<double>(WHEEL_DELTA));
        Changed();
        return 0;
    }
    case WM_KEYDOWN:
        switch (w) {
        case VK_LEFT:
        case VK_RIGHT:
            model_.StepCursor(w == VK_LEFT ? -1 : 1);
            Changed();
            return 0;
        case VK_HOME:
            model_.ShowAll();
            Changed();
            return 0;
        default:
            // The viewer's own keys (Ctrl+O, Ctrl+W, Esc).
            return SendMessageA(GetParent(window_), message, w, l);
        }
    default:
        break;
    }
    return DefWindowProcA(window_, message, w, l);
}

} // namespace vemor
