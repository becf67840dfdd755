#pragma once
// Texts of figures and a few fixed words, as the live labels and the bottom axis show them,
// drawn without laying out each new text: the figures are placed from their characters, laid
// out once each, and the words after them (" V Batt") are laid out once per wording. Figures
// keep their widths side by side and a blank parts them from the words, so a text falls
// exactly as when laid out whole. The glyphs of a text are gathered into one run per font,
// so that a text costs one draw instead of one per character. GUI thread only.

#include <QFont>
#include <QGlyphRun>
#include <QHash>
#include <QList>
#include <QPointF>
#include <QSizeF>
#include <QString>

#include <array>

class QPainter;

namespace vemor {

class NumberText {
public:
    // A text measured for drawing.
    struct Laid {
        QString text;
        QList<QGlyphRun> runs; // placed from the text's top left
        QSizeF size;
    };

    // Forgets what was laid out in another font.
    void SetFont(const QFont& font);
    Laid Lay(const QString& text);
    // Draws with the text's top left at `at`, in the painter's pen.
    void Draw(QPainter& p, QPointF at, const Laid& text) const;

private:
    // A character or a wording laid out.
    struct Piece {
        QList<QGlyphRun> runs;
        QSizeF size;
        qreal advance = -1; // -1: not laid out yet
    };
    const Piece& GlyphOf(QChar c);
    Piece LaidOut(const QString& text) const;

    QFont font_;
    std::array<Piece, 256> glyphs_; // by Latin-1 code
    QHash<QString, Piece> words_;   // the wordings laid out so far
};

} // namespace vemor
