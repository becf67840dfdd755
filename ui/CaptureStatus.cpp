#include "CaptureStatus.h"

#include "vemor/capture/CaptureFile.h"

#include "vemor/Messages.h"

namespace vemor {

CaptureStatus::CaptureStatus(QStatusBar* bar) : StatusField(bar) {
    setObjectName(QStringLiteral("CaptureStatus"));
    // Once a second is enough for the eye, and costs nothing per received batch.
    tick_.setInterval(1000);
    connect(&tick_, &QTimer::timeout, this, [this] { Refresh(); });
}

void CaptureStatus::Began(const CaptureFile& file, char decimalSeparator) {
    file_ = &file;
    separator_ = decimalSeparator;
    since_.start();
    tick_.start();
    Refresh();
}

void CaptureStatus::Ended() {
    file_ = nullptr;
    tick_.stop();
    Refresh();
}

void CaptureStatus::Warn(const QString& text) {
    warning_ = text;
    Refresh();
}

void CaptureStatus::ClearWarning() {
    warning_.clear();
    Refresh();
}

void CaptureStatus::Refresh() {
    if (!warning_.isEmpty()) {
        Show(warning_);
    } else if (file_ != nullptr) {
        const auto seconds = static_cast<std::uint64_t>(since_.elapsed() / 1000);
        Show(QString::fromLocal8Bit(
            CapturingText(file_->Name(), file_->BodyBytes(), seconds, separator_)));
    } else {
        Show(QString());
    }
}

} // namespace vemor
