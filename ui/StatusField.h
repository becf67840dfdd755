#pragma once
// A field of the status bar: the message field, which takes the room left, and the fields
// that stand side by side at the bar's right end. A field with nothing to say takes no room;
// one too narrow for its text ends it with "..." and shows the whole text as its tooltip.
// GUI thread only.

#include <QLabel>
#include <QStatusBar>

namespace vemor {

class StatusField : public QLabel {
public:
    enum class Place { Message, Right };
    // Adds the field to the bar, after the fields already there.
    explicit StatusField(QStatusBar* bar, Place place = Place::Right);

    void Show(const QString& text);
    QSize minimumSizeHint() const override;

protected:
    void paintEvent(QPaintEvent* event) override;
    void resizeEvent(QResizeEvent* event) override;

private:
    void UpdateTip();
};

} // namespace vemor
