#include "Application.h"

#include "Threadio.h"
#include "vemor/Messages.h"

#include <QMessageBox>

#include <exception>

namespace {

void ModalStopBox(const QString& title, const QString& text) {
    QMessageBox box(QMessageBox::Critical, title, text, QMessageBox::Ok);
    box.exec();
}

TApplication::ErrorBox& CurrentBox() {
    static TApplication::ErrorBox box = ModalStopBox;
    return box;
}

} // namespace

TApplication::TApplication(int& argc, char** argv) : QApplication(argc, argv) {}

bool TApplication::notify(QObject* receiver, QEvent* event) {
    try {
        return QApplication::notify(receiver, event);
    } catch (const std::exception& e) {
        ShowException(QString::fromLocal8Bit(e.what()));
    } catch (...) {
        ShowException(QStringLiteral("Unknown error"));
    }
    return false;
}

void TApplication::ShowException(const QString& message) {
    const QByteArray raw = message.toLocal8Bit();
    const std::string text = vemor::WithFullStop(std::string_view(raw.data(), raw.size()));
    CurrentBox()(QCoreApplication::applicationName(),
                 QString::fromLocal8Bit(text.data(), static_cast<qsizetype>(text.size())));
}

TApplication::ErrorBox TApplication::SetErrorBox(ErrorBox box) {
    ErrorBox previous = std::move(CurrentBox());
    CurrentBox() = std::move(box);
    return previous;
}

void InstallSerialErrorBox() {
    vemor::SetMessageBox([](const std::string& text, const std::string& caption) {
        QMessageBox box(QMessageBox::Critical, QString::fromStdString(caption),
                        QString::fromLocal8Bit(text.data(), static_cast<qsizetype>(text.size())),
                        QMessageBox::Ok | QMessageBox::Cancel);
        box.exec();
    });
}
