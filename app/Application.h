#pragma once
// The application object: its event delivery shows an error that escapes a handler in the
// error display and lets the loop go on.

#include <QApplication>

#include <functional>

class TApplication : public QApplication {
public:
    TApplication(int& argc, char** argv);

    bool notify(QObject* receiver, QEvent* event) override;

    // Shows `message` as the error display does: a modal box with the stop icon and OK,
    // captioned with the application's title, the full-stop rule applied.
    static void ShowException(const QString& message);

    // Replaces the box (tests capture the text); returns the previous one.
    using ErrorBox = std::function<void(const QString& title, const QString& text)>;
    static ErrorBox SetErrorBox(ErrorBox box);
};

// Installs the real "GetLastError" box of the serial layer.
void InstallSerialErrorBox();
