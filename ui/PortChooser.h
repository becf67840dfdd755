#pragma once
// The port chooser: COM1 to COM16 and an empty item, then the serial devices present, listed
// afresh each time the list drops down. A text that begins with "/" names a device to open
// as it is. GUI thread.

#include "Threadio.h"

#include <QComboBox>

#include <functional>
#include <string>
#include <vector>

namespace vemor {

class PortChooser : public QComboBox {
    Q_OBJECT
public:
    static constexpr int ComItems = 17; // "COM1" ... "COM16", ""

    explicit PortChooser(QWidget* parent);

    // The selected item's index, or -1 when the text was typed or a device chosen.
    int SelectedIndex() const;
    // The port number to open: item index + 1 for the COM items, 0 for anything else. For a
    // text that begins with "/", the device path beside it.
    struct Choice {
        int Number = 0;
        std::string Path;
    };
    Choice Chosen() const;

    // Lists the devices present now below the COM items; what was chosen or typed stays.
    void Refresh();
    void showPopup() override;

    // Where the devices come from; tests give fixed lists.
    using Source = std::function<std::vector<PresentPort>()>;
    void SetSource(Source source) { source_ = std::move(source); }

protected:
    // The tooltip is made as it is shown: where a name leads can change at any time.
    bool event(QEvent* e) override;

private:
    void ShowDetails();
    // The path of the listed device whose whole line this is; empty for any other text.
    QString ListedPath(const QString& line) const;

    Source source_ = &ListPorts;
    std::vector<PresentPort> listed_;
};

} // namespace vemor
