#include "FormDisplay.h"

namespace vemor {

namespace {

std::array<std::string, LiveDisplay::LabelCount> Captions(const std::array<HWND, 5>& labels) {
    std::array<std::string, LiveDisplay::LabelCount> out;
    for (std::size_t i = 0; i < labels.size(); ++i) {
        char caption[64];
        const int n = GetWindowTextA(labels[i], caption, sizeof caption);
        out[i].assign(caption, static_cast<std::size_t>(n > 0 ? n : 0));
    }
    return out;
}

} // namespace

FormDisplay::FormDisplay(std::array<HWND, 5> labels, HWND parent, int chartId,
                         const std::array<ChartSeries, StripChart::Count>& series, HFONT font)
    : LiveDisplay(Captions(labels)), labels_(labels),
      chart_(std::make_unique<StripChart>(parent, chartId, series, font, Histories(), Lines())) {
    chart_->SetBottom(Bottom());
    chart_->OnPaintTick = [this] { ShowLabels(); };
    chart_->OnOperatorZoom = [this](ChartRange bottom, ChartRange left) {
        chart_->SetBottom(OperatorBottom(bottom));
        chart_->SetLeft(OperatorLeft(left));
    };
    chart_->OnUndoZoom = [this] { UndoZoom(); };
    // Labels size themselves to their text, the design captions too.
    for (std::size_t i = 0; i < labels_.size(); ++i) {
        PutLabel(i);
    }
}

void FormDisplay::ShowLabels() {
    for (std::size_t i = 0; i < labels_.size(); ++i) {
        if ((Changed() & (1u << i)) != 0) {
            PutLabel(i);
        }
    }
    ClearChanged();
}

void FormDisplay::PutLabel(std::size_t i) {
    PutLabelText(labels_[i], NewestText(static_cast<int>(i)));
}

void PutLabelText(HWND label, const std::string& text) {
    SetWindowTextA(label, text.c_str());
    HDC dc = GetDC(label);
    HGDIOBJ old = SelectObject(dc, reinterpret_cast<HFONT>(SendMessageA(label, WM_GETFONT, 0, 0)));
    SIZE size{};
    GetTextExtentPoint32A(dc, text.c_str(), static_cast<int>(text.size()), &size);
    SelectObject(dc, old);
    ReleaseDC(label, dc);
    RECT r{};
    GetClientRect(label, &r);
    if (r.right != size.cx || r.bottom != size.cy) {
        SetWindowPos(label, nullptr, 0, 0, size.cx, size.cy,
                     SWP_NOMOVE | SWP_NOZORDER | SWP_NOACTIVATE);
    }
}

void FormDisplay::LeftReset() {
    chart_->SetLeft({chart::LeftAxisMinimum, chart::LeftAxisMaximum});
    chart_->RequestRepaint();
}

void FormDisplay::StaleChanged(bool stale) {
    for (HWND l : labels_) {
        EnableWindow(l, stale ? FALSE : TRUE);
    }
}

} // namespace vemor
