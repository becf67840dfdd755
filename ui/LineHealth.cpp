#include "LineHealth.h"

#include "Threadio.h"

namespace vemor {

LineHealthField::LineHealthField(QStatusBar* bar) : StatusField(bar) {
    setObjectName(QStringLiteral("LineHealth"));
    setContentsMargins(12, 0, 0, 0); // apart from the field before it
    setToolTip(QStringLiteral(
        "The open line: frames per second, frames of the wrong length since it opened, and the "
        "receive errors the driver counted (framing, parity, overrun of the UART and of the "
        "driver's buffer), where it counts them."));
    timer_.setInterval(IntervalMs);
    connect(&timer_, &QTimer::timeout, this, &LineHealthField::Update);
}

void LineHealthField::Watch(ThreadIO* link, int wantedRate) {
    link_ = link;
    wantedRate_ = wantedRate;
    if (link == nullptr) {
        timer_.stop();
        Show(QString());
        return;
    }
    clock_.start();
    meter_.Reset(0);
    timer_.start();
}

void LineHealthField::Update() {
    if (link_ == nullptr) {
        return;
    }
    LineErrors errors;
    const bool counted = link_->GetLineErrors(errors);
    Show(QString::fromStdString(meter_.Tick(clock_.elapsed(), counted ? &errors : nullptr,
                                            wantedRate_, link_->ActualBaudRate())));
}

} // namespace vemor
