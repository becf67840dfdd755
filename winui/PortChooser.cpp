#include "PortChooser.h"

#include "WindowText.h"

#include "ComPorts.h"

#include <algorithm>

namespace vemor {

namespace {

constexpr int MostRows = 30;  // the list shows this many items before it scrolls
constexpr int ListBorder = 4; // above and below the list's rows

} // namespace

PortChooser::PortChooser(HWND combo) : combo_(combo) {
    for (int i = 1; i < ComItems; ++i) {
        const std::string item = "COM" + std::to_string(i);
        SendMessageA(combo_, CB_ADDSTRING, 0, reinterpret_cast<LPARAM>(item.c_str()));
    }
    SendMessageA(combo_, CB_ADDSTRING, 0, reinterpret_cast<LPARAM>(""));
}

std::string PortChooser::Item(int index) const {
    const auto length = std::max<LRESULT>(SendMessageA(combo_, CB_GETLBTEXTLEN, index, 0), 0);
    std::string item(static_cast<std::size_t>(length) + 1, '\0');
    SendMessageA(combo_, CB_GETLBTEXT, index, reinterpret_cast<LPARAM>(item.data()));
    item.resize(static_cast<std::size_t>(length));
    return item;
}

int PortChooser::SelectedIndex() const {
    const auto index = static_cast<int>(SendMessageA(combo_, CB_GETCURSEL, 0, 0));
    if (index < 0) {
        return -1;
    }
    return WindowText(combo_) == Item(index) ? index : -1;
}

PortChoice PortChooser::Chosen() const {
    const int index = SelectedIndex();
    if (index >= 0 && index < ComItems) {
        return {index + 1, {}};
    }
    const auto listed = static_cast<std::size_t>(index - ComItems);
    if (index >= ComItems && listed < listed_.size()) {
        return {0, listed_[listed].Path};
    }
    const std::string text = WindowText(combo_);
    const auto label = std::find(labels_.begin(), labels_.end(), text);
    if (label != labels_.end()) {
        return {0, listed_[static_cast<std::size_t>(label - labels_.begin())].Path};
    }
    return {0, ComDevicePath(text)};
}

void PortChooser::Refresh() {
    std::vector<PresentPort> ports = source_();
    if (ports != listed_) {
        const int index = SelectedIndex();
        const std::string text = WindowText(combo_);
        const std::string chosenPath = index >= ComItems ? Chosen().Path : std::string();
        while (SendMessageA(combo_, CB_GETCOUNT, 0, 0) > ComItems) {
            SendMessageA(combo_, CB_DELETESTRING, SendMessageA(combo_, CB_GETCOUNT, 0, 0) - 1, 0);
        }
        labels_.clear();
        for (const PresentPort& p : ports) {
            labels_.push_back(ComPortLabel(p));
            SendMessageA(combo_, CB_ADDSTRING, 0, reinterpret_cast<LPARAM>(labels_.back().c_str()));
        }
        listed_ = std::move(ports);
        if (index < 0) {
            SetWindowTextA(combo_, text.c_str());
        } else if (index >= ComItems) {
            // The port chosen stays chosen, in the list if it is still there.
            const auto it = std::find_if(listed_.begin(), listed_.end(), [&](const PresentPort& p) {
                return p.Path == chosenPath;
            });
            if (it != listed_.end()) {
                SendMessageA(combo_, CB_SETCURSEL, ComItems + (it - listed_.begin()), 0);
            } else {
                SendMessageA(combo_, CB_SETCURSEL, static_cast<WPARAM>(-1), 0);
                SetWindowTextA(combo_, ComPortName(chosenPath).c_str());
            }
        }
    }
    Fit();
}

void PortChooser::ShowChosenName() {
    const int index = SelectedIndex();
    const auto listed = static_cast<std::size_t>(index - ComItems);
    if (index >= ComItems && listed < listed_.size()) {
        SetWindowTextA(combo_, listed_[listed].Kernel.c_str());
        SendMessageA(combo_, CB_SETEDITSEL, 0, MAKELPARAM(0, -1));
    }
}

// The list wide enough for its longest label and tall enough for every item, within limits.
void PortChooser::Fit() {
    RECT field{};
    GetWindowRect(combo_, &field);
    int widest = field.right - field.left;
    HDC dc = GetDC(combo_);
    const HGDIOBJ old =
        SelectObject(dc, reinterpret_cast<HGDIOBJ>(SendMessageA(combo_, WM_GETFONT, 0, 0)));
    for (const std::string& label : labels_) {
        SIZE size{};
        GetTextExtentPoint32A(dc, label.c_str(), static_cast<int>(label.size()), &size);
        widest = std::max<int>(widest, size.cx + GetSystemMetrics(SM_CXVSCROLL) + 8);
    }
    SelectObject(dc, old);
    ReleaseDC(combo_, dc);
    MONITORINFO monitor{};
    monitor.cbSize = sizeof monitor;
    if (GetMonitorInfoA(MonitorFromWindow(combo_, MONITOR_DEFAULTTONEAREST), &monitor)) {
        widest = std::min<int>(widest, monitor.rcWork.right - monitor.rcWork.left - 16);
    }
    SendMessageA(combo_, CB_SETDROPPEDWIDTH, static_cast<WPARAM>(widest), 0);

    // The height given to a drop-down combo box is its field's and its list's; the window
    // rect is the field's alone.
    const auto row = static_cast<int>(SendMessageA(combo_, CB_GETITEMHEIGHT, 0, 0));
    const int rows =
        std::clamp(static_cast<int>(SendMessageA(combo_, CB_GETCOUNT, 0, 0)), ComItems, MostRows);
    SetWindowPos(combo_, nullptr, 0, 0, field.right - field.left,
                 field.bottom - field.top + rows * row + ListBorder,
                 SWP_NOMOVE | SWP_NOZORDER | SWP_NOACTIVATE);
}

} // namespace vemor
