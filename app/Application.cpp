#include "Application.h"

#include "ErrorDisplay.h"
#include "Threadio.h"

#include <QMessageBox>

TApplication::TApplication(int& argc, char** argv) : QApplication(argc, argv) {}

bool TApplication::notify(QObject* receiver, QEvent* event) {
    bool result = false;
    vemor::RunHandler([&] { result = QApplication::notify(receiver, event); });
    return result;
}

void InstallSerialErrorBox() {
    vemor::SetMessageBox([](const std::string& text, const std::string& caption) {
        // A failure to open has OK and Cancel; a warning about an open port only OK.
        const bool failure = caption == "GetLastError";
        QMessageBox box(failure ? QMessageBox::Critical : QMessageBox::Warning,
                        QString::fromStdString(caption),
                        QString::fromLocal8Bit(text.data(), static_cast<qsizetype>(text.size())),
                        failure ? QMessageBox::Ok | QMessageBox::Cancel : QMessageBox::Ok);
        box.setTextInteractionFlags(Qt::TextSelectableByMouse); // the commands it suggests
        box.exec();
    });
}
