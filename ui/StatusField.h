#pragma once
// A field of the status bar: the message field, which takes the room left, and the fields
// that stand side by side at the bar's right end. A field with nothing to say takes no room;
// one too narrow for its text ends it with "..." and shows the whole text as its tooltip.
// GUI thread only.

#include <QStatusBar>
#include <QString>
#include <QWidget>

namespace vemor {

// Not a QLabel: a label's every new text asks the status bar for a new layout, and the fields
// change twice a second while a capture runs. Here only a change of the text's width does.
class StatusField : public QWidget {
public:
    enum class Place { Message, Right };
    // Adds the field to the bar, after the fields already there.
    explicit StatusField(QStatusBar* bar, Place place = Place::Right);

    void Show(const QString& text);
    const QString& text() const { return text_; }
    // What the field tells beside its text (what it means, where the capture goes): its
    // tooltip while the text is whole, after the text when it is cut.
    void SetTip(const QString& tip);
    QSize sizeHint() const override;
    QSize minimumSizeHint() const override;

protected:
    void paintEvent(QPaintEvent* event) override;
    void resizeEvent(QResizeEvent* event) override;
    void changeEvent(QEvent* event) override;

private:
    bool Cut() const { return textWidth_ > contentsRect().width(); }
    // Takes the text's width; a new one asks the bar for a layout.
    void Measure();
    void UpdateTip();

    QString text_;
    QString tip_;
    int textWidth_ = 0; // the whole text's advance in the field's font
};

} // namespace vemor
