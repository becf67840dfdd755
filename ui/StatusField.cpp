#include "StatusField.h"

#include <QEvent>
#include <QPainter>

#include <algorithm>

namespace vemor {

namespace {
constexpr auto Alignment = Qt::AlignLeft | Qt::AlignVCenter;
}

StatusField::StatusField(QStatusBar* bar, Place place) : QWidget(bar) {
    if (place == Place::Message) {
        bar->addWidget(this, 1);
    } else {
        bar->addPermanentWidget(this);
    }
    setVisible(false);
}

void StatusField::Show(const QString& text) {
    if (text != text_) {
        text_ = text;
        Measure();
        // Screen readers read the field by its name.
        setAccessibleName(text_);
        UpdateTip();
        update();
    }
    setVisible(!text_.isEmpty());
}

void StatusField::SetTip(const QString& tip) {
    if (tip != tip_) {
        tip_ = tip;
        UpdateTip();
    }
}

QSize StatusField::sizeHint() const {
    const QMargins m = contentsMargins();
    return {textWidth_ + m.left() + m.right(), fontMetrics().height() + m.top() + m.bottom()};
}

QSize StatusField::minimumSizeHint() const {
    // Room for a word and the dots: the bar shares out the rest.
    const QSize natural = sizeHint();
    const int dots = fontMetrics().horizontalAdvance(QStringLiteral("Xxxxx..."));
    return {natural.width() - textWidth_ + std::min(textWidth_, dots), natural.height()};
}

void StatusField::paintEvent(QPaintEvent*) {
    QPainter p(this);
    const QRect r = contentsRect();
    p.setPen(palette().color(foregroundRole()));
    p.drawText(r, static_cast<int>(Alignment),
               Cut() ? fontMetrics().elidedText(text_, Qt::ElideRight, r.width()) : text_);
}

void StatusField::resizeEvent(QResizeEvent* event) {
    QWidget::resizeEvent(event);
    UpdateTip();
}

void StatusField::changeEvent(QEvent* event) {
    QWidget::changeEvent(event);
    if (event->type() == QEvent::FontChange) {
        Measure();
        UpdateTip();
    }
}

void StatusField::Measure() {
    const int width = fontMetrics().horizontalAdvance(text_);
    if (width != textWidth_) {
        textWidth_ = width;
        updateGeometry();
    }
}

void StatusField::UpdateTip() {
    QString tip = tip_;
    if (Cut()) {
        tip = tip.isEmpty() ? text_ : text_ + QLatin1Char('\n') + tip;
    }
    if (tip != toolTip()) {
        setToolTip(tip);
    }
}

} // namespace vemor
