#pragma once
// The status bar's line-health field: while a port is open, frames per second, frames of the
// wrong length, the driver's line errors and silence, twice a second. GUI thread.

#include "StatusField.h"

#include "vemor/LineHealth.h"

#include <QElapsedTimer>
#include <QTimer>

namespace vemor {

class ThreadIO;

class LineHealthField : public StatusField {
public:
    static constexpr int IntervalMs = 500;

    explicit LineHealthField(QStatusBar* bar);

    // Starts watching an open port; null: the port closed, and the field empties.
    void Watch(ThreadIO* link, int wantedRate);
    // One decoded batch; a few additions, whatever the line rate.
    void Add(std::size_t bytes, std::size_t frames, std::size_t rejected) {
        meter_.Add(bytes, frames, rejected);
    }
    // Shows the counts as they are now; the timer calls it.
    void Update();

private:
    LineHealthMeter meter_;
    QTimer timer_;
    QElapsedTimer clock_;
    ThreadIO* link_ = nullptr; // not owned; Watch(nullptr) before it goes
    int wantedRate_ = 0;
};

} // namespace vemor
