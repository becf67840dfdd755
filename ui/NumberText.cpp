#include "NumberText.h"

#include <QFontMetricsF>
#include <QPainter>
#include <QStaticText>
#include <QTextLayout>

#include <algorithm>

namespace vemor {

namespace {

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

// Adds `from`, moved right by dx, to the run of its font in `to`.
void Append(QList<QGlyphRun>& to, const QList<QGlyphRun>& from, qreal dx) {
    for (const QGlyphRun& run : from) {
        auto same = std::find_if(to.begin(), to.end(), [&](const QGlyphRun& r) {
            return r.rawFont() == run.rawFont() && r.flags() == run.flags();
        });
        if (same == to.end()) {
            same = to.insert(to.end(), run);
            same->setGlyphIndexes({});
            same->setPositions({});
        }
        QList<quint32> indexes = same->glyphIndexes();
        QList<QPointF> positions = same->positions();
        indexes += run.glyphIndexes();
        for (const QPointF& at : run.positions()) {
            positions.append(at + QPointF(dx, 0));
        }
        same->setGlyphIndexes(indexes);
        same->setPositions(positions);
    }
}

} // namespace

void NumberText::SetFont(const QFont& font) {
    font_ = font;
    glyphs_ = {};
    words_.clear();
}

// Laid out as a static text lays it out, one line that leads with the font's leading.
NumberText::Piece NumberText::LaidOut(const QString& text) const {
    QStaticText whole(text);
    whole.setTextFormat(Qt::PlainText);
    whole.prepare(QTransform(), font_);
    QTextLayout layout(text, font_);
    layout.beginLayout();
    QTextLine line = layout.createLine();
    if (line.isValid()) {
        line.setLeadingIncluded(true);
        line.setPosition(QPointF(0, QFontMetricsF(font_).leading()));
    }
    layout.endLayout();
    return {layout.glyphRuns(), whole.size(), whole.size().width()};
}

const NumberText::Piece& NumberText::GlyphOf(QChar c) {
    Piece& g = glyphs_[c.unicode()];
    if (g.advance < 0) {
        g = LaidOut(QString(c));
        g.advance = QFontMetricsF(font_).horizontalAdvance(c);
    }
    return g;
}

NumberText::Laid NumberText::Lay(const QString& text) {
    Laid laid{text, {}, {}};
    const qsizetype figures = Figures(text);
    qreal width = 0;
    qreal height = 0;
    for (qsizetype i = 0; i < figures; ++i) {
        const Piece& g = GlyphOf(text[i]);
        Append(laid.runs, g.runs, width);
        width += g.advance;
        height = std::max(height, g.size.height());
    }
    if (figures < text.size()) {
        const QString words = text.mid(figures);
        auto known = words_.constFind(words);
        if (known == words_.constEnd()) {
            if (words_.size() >= 64) {
                words_.clear(); // numbers in another notation, each its own wording
            }
            known = words_.insert(words, LaidOut(words));
        }
        Append(laid.runs, known->runs, width);
        width += known->size.width();
        height = std::max(height, known->size.height());
    }
    laid.size = {width, height};
    return laid;
}

void NumberText::Draw(QPainter& p, QPointF at, const Laid& text) const {
    for (const QGlyphRun& run : text.runs) {
        p.drawGlyphRun(at, run);
    }
}

} // namespace vemor
