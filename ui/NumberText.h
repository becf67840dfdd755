#pragma once
// Texts of figures and a few fixed words, as the live labels and the bottom axis show them,
// drawn without laying out each new text: the figures are placed from their characters, laid
// out once each, and the words after them (" V Batt") are laid out once per wording. Figures
// keep their widths side by side and a blank parts them from the words, so a text falls
// exactly as when laid out whole. GUI thread only.

#include <QFont>
#include <QHash>
#include <QPointF>
#include <QSizeF>
#include <QStaticText>
#include <QString>

#include <array>

class QPainter;

namespace vemor {

class NumberText {
public:
    // A text measured for drawing.
    struct Laid {
        QString text;
        qsizetype figures = 0; // the characters before the words, placed one by one
        QStaticText words;     // the rest, laid out
        QSizeF size;
    };

    // Forgets what was laid out in another font.
    void SetFont(const QFont& font);
    Laid Lay(const QString& text);
    // Draws with the text's top left at `at`, in the painter's pen; sets the painter's font
    // to this one, which the laid-out texts must be drawn in.
    void Draw(QPainter& p, QPointF at, const Laid& text) const;

private:
    struct Glyph {
        QStaticText text;
        qreal advance = -1; // -1: not laid out yet
    };
    const Glyph& GlyphOf(QChar c);

    QFont font_;
    std::array<Glyph, 256> glyphs_;     // by Latin-1 code
    QHash<QString, QStaticText> words_; // the wordings laid out so far
};

} // namespace vemor
