#include "Application.h"

#include "ErrorDisplay.h"

TApplication::TApplication(int& argc, char** argv) : QApplication(argc, argv) {}

bool TApplication::notify(QObject* receiver, QEvent* event) {
    bool result = false;
    vemor::RunHandler([&] { result = QApplication::notify(receiver, event); });
    return result;
}
