#include "ErrorDisplay.h"

#include "vemor/Messages.h"

#include <QCoreApplication>
#include <QMessageBox>

namespace vemor {

namespace {

void ModalStopBox(const QString& title, const QString& text) {
    QMessageBox box(QMessageBox::Critical, title, text, QMessageBox::Ok);
    box.exec();
}

ErrorBox& CurrentBox() {
    static ErrorBox box = ModalStopBox; // GUI thread only
    return box;
}

} // namespace

void ShowErrorDisplay(const QString& message) {
    const QByteArray raw = message.toLocal8Bit();
    const std::string text = WithFullStop(std::string_view(raw.data(), raw.size()));
    CurrentBox()(QCoreApplication::applicationName(),
                 QString::fromLocal8Bit(text.data(), static_cast<qsizetype>(text.size())));
}

void ShowErrorDisplay(const std::exception& error) {
    ShowErrorDisplay(QString::fromLocal8Bit(error.what()));
}

ErrorBox SetErrorBox(ErrorBox box) {
    ErrorBox previous = std::move(CurrentBox());
    CurrentBox() = std::move(box);
    return previous;
}

} // namespace vemor
