#include "NumberText.h"

#include <QFontMetricsF>
#include <QPainter>

#include <algorithm>

namespace vemor {

namespace {

QStaticText LaidOut(const QString& text, const QFont& font) {
    QStaticText out(text);
    out.setTextFormat(Qt::PlainText);
    out.prepare(QTransform(), font);
    return out;
}

// Where the words begin: at the blank before the first letter. A text whose letters touch
// its figures (1e+05), or with characters beyond Latin-1, is laid out whole.
qsizetype Figures(const QString& text) {
    for (qsizetype i = 0; i < text.size(); ++i) {
        if (text[i].unicode() > 0xFF) {
            return 0;
        }
        if (text[i].isLetter()) {
            const qsizetype blank = text.lastIndexOf(QLatin1Char(' '), i);
            return blank < 0 ? 0 : blank;
        }
    }
    return text.size();
}

} // namespace

void NumberText::SetFont(const QFont& font) {
    font_ = font;
    glyphs_ = {};
    words_.clear();
}

const NumberText::Glyph& NumberText::GlyphOf(QChar c) {
    Glyph& g = glyphs_[c.unicode()];
    if (g.advance < 0) {
        g.text = LaidOut(QString(c), font_);
        g.advance = QFontMetricsF(font_).horizontalAdvance(c);
    }
    return g;
}

NumberText::Laid NumberText::Lay(const QString& text) {
    Laid laid{text, Figures(text), {}, {}};
    qreal width = 0;
    qreal height = 0;
    for (qsizetype i = 0; i < laid.figures; ++i) {
        const Glyph& g = GlyphOf(text[i]);
        width += g.advance;
        height = std::max(height, g.text.size().height());
    }
    if (laid.figures < text.size()) {
        const QString words = text.mid(laid.figures);
        auto known = words_.constFind(words);
        if (known == words_.constEnd()) {
            if (words_.size() >= 64) {
                words_.clear(); // numbers in another notation, each its own wording
            }
            known = words_.insert(words, LaidOut(words, font_));
        }
        laid.words = *known;
        width += laid.words.size().width();
        height = std::max(height, laid.words.size().height());
    }
    laid.size = {width, height};
    return laid;
}

void NumberText::Draw(QPainter& p, QPointF at, const Laid& text) const {
    p.setFont(font_);
    for (qsizetype i = 0; i < text.figures; ++i) {
        const Glyph& g = glyphs_[text.text[i].unicode()];
        p.drawStaticText(at, g.text);
        at.rx() += g.advance;
    }
    if (text.figures < text.text.size()) {
        p.drawStaticText(at, text.words);
    }
}

} // namespace vemor
