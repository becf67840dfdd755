#pragma once
// The application object. Handlers guard themselves; an error that still escapes into the
// event delivery is shown in the error display and the loop goes on. SIGTERM, SIGHUP and
// SIGINT end the loop as closing the window does, so that whoever runs the program after it
// (main) finishes a running capture.

#include <QApplication>

class QSocketNotifier;

class TApplication : public QApplication {
public:
    TApplication(int& argc, char** argv);
    ~TApplication() override;

    bool notify(QObject* receiver, QEvent* event) override;

private:
    QSocketNotifier* endings_ = nullptr; // GUI thread; reads what the signal handler wrote
};
