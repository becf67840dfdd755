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
        QMessageBox box(QMessageBox::Critical, QString::fromStdString(caption),
                        QString::fromLocal8Bit(text.data(), static_cast<qsizetype>(text.size())),
                        QMessageBox::Ok | QMessageBox::Cancel);
        box.exec();
    });
}
