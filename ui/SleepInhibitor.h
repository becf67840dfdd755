#pragma once
// Keeps the machine from going to sleep on its idle timer: an inhibitor lock taken from the
// login manager over the system bus, held for as long as its file descriptor stays open.
// GUI thread only; the bus answers through the event loop, so nothing here blocks.

#include <QDBusUnixFileDescriptor>
#include <QObject>

class QDBusPendingCallWatcher;

namespace vemor {

class SleepInhibitor : public QObject {
    Q_OBJECT
public:
    explicit SleepInhibitor(QObject* parent = nullptr) : QObject(parent) {}

    // On asks for the lock (granted later, or never where there is no login manager); off
    // lets it go at once.
    void Hold(bool on);
    bool Held() const { return lock_.isValid(); }

private:
    void Answered(QDBusPendingCallWatcher* call);

    bool wanted_ = false;
    QDBusPendingCallWatcher* pending_ = nullptr; // the one request in flight, if any
    QDBusUnixFileDescriptor lock_;
};

} // namespace vemor
