#pragma once
// The application object. Handlers guard themselves; an error that still escapes into the
// event delivery is shown in the error display and the loop goes on.

#include <QApplication>

class TApplication : public QApplication {
public:
    TApplication(int& argc, char** argv);

    bool notify(QObject* receiver, QEvent* event) override;
};
