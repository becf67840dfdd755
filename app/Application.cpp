#include "Application.h"

#include "ErrorDisplay.h"

#include <QSocketNotifier>

#include <csignal>
#include <fcntl.h>
#include <sys/socket.h>
#include <unistd.h>

namespace {

// The handler's end and the loop's end of a socket pair: a signal handler may only write.
int endingFds[2] = {-1, -1};
constexpr int EndingSignals[] = {SIGTERM, SIGHUP, SIGINT};

void OnEndingSignal(int sig) {
    const char byte = static_cast<char>(sig);
    [[maybe_unused]] const ssize_t n = ::write(endingFds[0], &byte, 1);
}

} // namespace

TApplication::TApplication(int& argc, char** argv) : QApplication(argc, argv) {
    if (socketpair(AF_UNIX, SOCK_STREAM | SOCK_CLOEXEC | SOCK_NONBLOCK, 0, endingFds) != 0) {
        return; // the signals keep their default: the program ends at once
    }
    endings_ = new QSocketNotifier(endingFds[1], QSocketNotifier::Read, this);
    connect(endings_, &QSocketNotifier::activated, this, [] {
        char byte = 0;
        while (::read(endingFds[1], &byte, 1) > 0) {
        }
        // exit ends every loop that runs, that of an open box too.
        QCoreApplication::exit(0);
    });
    struct sigaction ending {};
    ending.sa_handler = OnEndingSignal;
    sigemptyset(&ending.sa_mask);
    ending.sa_flags = SA_RESTART;
    for (const int sig : EndingSignals) {
        sigaction(sig, &ending, nullptr);
    }
}

TApplication::~TApplication() {
    if (endings_ == nullptr) {
        return;
    }
    // A signal from here on ends the program at once, as before the loop ran.
    for (const int sig : EndingSignals) {
        std::signal(sig, SIG_DFL);
    }
    delete endings_;
    ::close(endingFds[0]);
    ::close(endingFds[1]);
    endingFds[0] = endingFds[1] = -1;
}

bool TApplication::notify(QObject* receiver, QEvent* event) {
    bool result = false;
    vemor::RunHandler([&] { result = QApplication::notify(receiver, event); });
    return result;
}
