#pragma once
// A permanent field of the status bar. Fields stand side by side at the bar's right end and
// keep their texts while transient messages come and go in the rest of the bar; a field with
// nothing to say takes no room. GUI thread only.

#include <QLabel>
#include <QStatusBar>

namespace vemor {

class StatusField : public QLabel {
public:
    // Adds the field to the bar, after the fields already there.
    explicit StatusField(QStatusBar* bar) : QLabel(bar) {
        setTextFormat(Qt::PlainText);
        bar->addPermanentWidget(this);
        setVisible(false);
    }

    void Show(const QString& text) {
        if (text != this->text()) {
            setText(text);
        }
        setVisible(!text.isEmpty());
    }
};

} // namespace vemor
