#include "FormDisplay.h"

namespace vemor {

FormDisplay::FormDisplay(std::array<HWND, 5> labels, StripChart& chart)
    : labels_(labels), chart_(chart), bottom_(chart.Bottom().Min, chart.Bottom().Max) {
    for (std::size_t i = 0; i < labels_.size(); ++i) {
        char caption[64];
        GetWindowTextA(labels_[i], caption, sizeof caption);
        texts_[i] = caption; // the design caption, until the first frame
        changed_[i] = true;
    }
    ShowLabels(); // labels size themselves to their text, the design captions too
    chart_.OnPaintTick = [this] { ShowLabels(); };
    chart_.OnOperatorZoom = [this] { automatic_ = true; };
    chart_.OnUndoZoom = [this] { UndoZoom(); };
}

void FormDisplay::SetLabelText(Label label, const std::string& text) {
    const auto i = static_cast<std::size_t>(label);
    if (texts_[i] == text) {
        return;
    }
    texts_[i] = text;
    changed_[i] = true;
    chart_.RequestRepaint();
}

void FormDisplay::ShowLabels() {
    for (std::size_t i = 0; i < labels_.size(); ++i) {
        if (!changed_[i]) {
            continue;
        }
        changed_[i] = false;
        HWND label = labels_[i];
        const std::string& text = texts_[i];
        SetWindowTextA(label, text.c_str());
        // Labels size themselves to their text.
        HDC dc = GetDC(label);
        HGDIOBJ old =
            SelectObject(dc, reinterpret_cast<HFONT>(SendMessageA(label, WM_GETFONT, 0, 0)));
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
}

void FormDisplay::AppendY(int series, double y) {
    chart_.Append(series, y);
    chart_.RequestRepaint();
}

double FormDisplay::LastX(int series) const {
    return static_cast<double>(chart_.History(series).Count() - 1);
}

void FormDisplay::ClearBottomAxisAutomatic() {
    automatic_ = false;
    ApplyRange();
}

void FormDisplay::SetBottomAxisMaximum(double value) {
    bottom_.SetMaximum(value);
    ApplyRange();
}

void FormDisplay::SetBottomAxisMinimum(double value) {
    bottom_.SetMinimum(value);
    ApplyRange();
}

void FormDisplay::ApplyRange() {
    if (!bottom_.Showable()) {
        return;
    }
    chart_.SetBottom({bottom_.Minimum(), bottom_.Maximum()});
    chart_.RequestRepaint();
}

void FormDisplay::UndoZoom() {
    automatic_ = false;
    chart_.SetLeft({-22, 260});
    ApplyRange();
}

} // namespace vemor
