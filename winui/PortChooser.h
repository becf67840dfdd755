#pragma once
// The port chooser on Win32: COM1 to COM16 and an empty item, then the ports present, listed
// afresh each time the list drops down. A typed COMn or "\\.\" name opens that port. GUI
// thread only, like the combo box it fills.

#include "vemor/Session.h"

#include <windows.h>

#include <functional>
#include <string>
#include <vector>

namespace vemor {

class PortChooser {
public:
    static constexpr int ComItems = 17; // "COM1" ... "COM16", ""

    // Fills `combo`, a drop-down combo box the window made and owns, with the COM items.
    explicit PortChooser(HWND combo);

    // The selected item's index, or -1 when the text was typed by hand.
    int SelectedIndex() const;
    // Item index + 1 for the COM items; 0 for anything else, with the device path of the
    // listed port or of the typed name beside it (none when the text names no port).
    PortChoice Chosen() const;

    // Lists the ports present now below the COM items; what was chosen or typed stays. The
    // window calls it when the list drops down (CBN_DROPDOWN).
    void Refresh();

    // The window posts this to itself when the selection changes (CBN_SELCHANGE) and then
    // calls ShowChosenName, once the box has put the item's text in its field.
    static constexpr UINT ShowNameMessage = WM_APP + 1;
    // A listed port chosen shows its name alone in the field, which is too narrow for the
    // label; the name opens the same port.
    void ShowChosenName();

    // Where the ports come from; tests give fixed lists.
    using Source = std::function<std::vector<PresentPort>()>;
    void SetSource(Source source) { source_ = std::move(source); }

private:
    std::string Item(int index) const;
    void Fit();

    HWND combo_;
    Source source_ = &ListPorts;
    std::vector<PresentPort> listed_;
    std::vector<std::string> labels_; // the items of listed_, in order
};

} // namespace vemor
