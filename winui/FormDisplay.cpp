#include "FormDisplay.h"

#include "vemor/Values.h"

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
    : LiveDisplay(Captions(labels)), labels_(labels), captions_(Captions(labels)),
      chart_(std::make_unique<StripChart>(parent, chartId, series, font, Histories(), Lines())) {
    chart_->SetBottom(Bottom());
    chart_->OnPaintTick = [this] {
        PaintTicked();
        ShowLabels();
    };
    chart_->OnOperatorZoom = [this](ChartRange bottom, ChartRange left) {
        chart_->SetBottom(OperatorBottom(bottom));
        chart_->SetLeft(OperatorLeft(left));
    };
    chart_->OnUndoZoom = [this] { UndoZoom(); };
    FitLabels('.');
}

void FormDisplay::FitLabels(char separator) {
    for (std::size_t i = 0; i < labels_.size(); ++i) {
        HWND label = labels_[i];
        HDC dc = GetDC(label);
        HGDIOBJ old =
            SelectObject(dc, reinterpret_cast<HFONT>(SendMessageA(label, WM_GETFONT, 0, 0)));
        SIZE most{};
        const auto fit = [&](const std::string& text) {
            SIZE size{};
            GetTextExtentPoint32A(dc, text.c_str(), static_cast<int>(text.size()), &size);
            most.cx = std::max(most.cx, size.cx);
            most.cy = std::max(most.cy, size.cy);
        };
        fit(captions_[i]);
        for (int b = 0; b < 256; ++b) {
            fit(LabelText(static_cast<Label>(i), static_cast<std::uint8_t>(b), separator));
        }
        SelectObject(dc, old);
        ReleaseDC(label, dc);
        SetWindowPos(label, nullptr, 0, 0, most.cx, most.cy,
                     SWP_NOMOVE | SWP_NOZORDER | SWP_NOACTIVATE);
        SetWindowTextA(label, NewestText(static_cast<int>(i)).c_str());
    }
    ClearChanged(); // every label shows its newest text
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
    SetWindowTextA(labels_[i], NewestText(static_cast<int>(i)).c_str());
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
