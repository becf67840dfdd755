#include "StatusField.h"

#include <QPainter>
#include <QStyle>

namespace vemor {

StatusField::StatusField(QStatusBar* bar, Place place) : QLabel(bar) {
    setTextFormat(Qt::PlainText);
    if (place == Place::Message) {
        bar->addWidget(this, 1);
    } else {
        bar->addPermanentWidget(this);
    }
    setVisible(false);
}

void StatusField::Show(const QString& text) {
    if (text != this->text()) {
        setText(text);
        UpdateTip();
        update();
    }
    setVisible(!text.isEmpty());
}

QSize StatusField::minimumSizeHint() const {
    // Room for a word and the dots: the bar shares out the rest.
    const QSize natural = QLabel::minimumSizeHint();
    return {std::min(natural.width(), fontMetrics().horizontalAdvance(QStringLiteral("Xxxxx..."))),
            natural.height()};
}

void StatusField::paintEvent(QPaintEvent*) {
    QPainter p(this);
    const QRect r = contentsRect();
    p.setPen(palette().color(foregroundRole()));
    p.drawText(r, static_cast<int>(alignment()),
               fontMetrics().elidedText(text(), Qt::ElideRight, r.width()));
}

void StatusField::resizeEvent(QResizeEvent* event) {
    QLabel::resizeEvent(event);
    UpdateTip();
}

void StatusField::UpdateTip() {
    const bool cut = fontMetrics().horizontalAdvance(text()) > contentsRect().width();
    setToolTip(cut ? text() : QString());
}

} // namespace vemor
