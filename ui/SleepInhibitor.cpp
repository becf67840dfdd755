#include "SleepInhibitor.h"

#include <QDBusConnection>
#include <QDBusMessage>
#include <QDBusPendingCallWatcher>
#include <QDBusPendingReply>

namespace vemor {

void SleepInhibitor::Hold(bool on) {
    wanted_ = on;
    if (!on) {
        lock_ = QDBusUnixFileDescriptor();
        return;
    }
    if (Held() || pending_ != nullptr) {
        return;
    }
    QDBusMessage call = QDBusMessage::createMethodCall(
        QStringLiteral("org.freedesktop.login1"), QStringLiteral("/org/freedesktop/login1"),
        QStringLiteral("org.freedesktop.login1.Manager"), QStringLiteral("Inhibit"));
    // "idle" holds off the idle timer only: a suspend the user asks for still happens.
    call << QStringLiteral("idle") << QStringLiteral("vemor")
         << QStringLiteral("Recording a capture") << QStringLiteral("block");
    pending_ = new QDBusPendingCallWatcher(QDBusConnection::systemBus().asyncCall(call), this);
    connect(pending_, &QDBusPendingCallWatcher::finished, this, &SleepInhibitor::Answered);
}

void SleepInhibitor::Answered(QDBusPendingCallWatcher* call) {
    pending_ = nullptr;
    call->deleteLater();
    const QDBusPendingReply<QDBusUnixFileDescriptor> reply = *call;
    if (reply.isError()) {
        return;
    }
    if (wanted_) {
        lock_ = reply.value();
    }
    // Wanted again after a release while this was in flight: the lock just granted serves.
    // Not wanted: dropping the reply closes its descriptor, which ends the lock.
}

} // namespace vemor
