#pragma once
// The capture's field in the status bar: what is being recorded, how much and for how long,
// or why a recording is incomplete. GUI thread only.

#include "StatusField.h"

#include <QElapsedTimer>
#include <QTimer>

namespace vemor {

class CaptureFile;

class CaptureStatus : public StatusField {
public:
    explicit CaptureStatus(QStatusBar* bar);

    // A capture began; the field follows it about once a second until Ended.
    void Began(const CaptureFile& file, char decimalSeparator);
    // The capture ended: the field is empty unless a warning stands.
    void Ended();
    // Shown in place of the progress until ClearWarning, also after the capture has ended.
    void Warn(const QString& text);
    void ClearWarning();
    bool Warned() const { return !warning_.isEmpty(); }
    // Reads the capture's size and age again; the timer calls it.
    void Refresh();

private:
    const CaptureFile* file_ = nullptr; // the window's running capture; not owned
    QElapsedTimer since_;
    QTimer tick_;
    QString warning_;
    char separator_ = '.';
};

} // namespace vemor
