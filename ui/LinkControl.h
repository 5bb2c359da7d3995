#pragma once

#include <QColor>
#include <QFont>
#include <QRect>
#include <QString>
#include <QWidget>

// A hyperlink drawn by hand: its text is the address, drawn in link blue
// with a line under it on the button-face colour, in its own Verdana font
// whatever font it is given. Over the text the pointer is a hand, and a
// left-button release there opens the address, once per release.
class CLinkControl : public QWidget {
    Q_OBJECT

public:
    explicit CLinkControl(QWidget* parent = nullptr);

    void setText(const QString& text);
    QString text() const { return text_; }

    // Where the text answers the pointer: from the control's top left, as
    // wide as the text and two pixels taller, so that the underline is
    // inside. Measured at every paint; empty before the first one.
    QRect textRect() const { return textRect_; }

    // The font the text is drawn in, which setFont() does not change.
    QFont linkFont() const { return font_; }
    static QColor linkColour();

    QSize sizeHint() const override;

protected:
    void paintEvent(QPaintEvent* event) override;
    void mouseMoveEvent(QMouseEvent* event) override;
    void mouseReleaseEvent(QMouseEvent* event) override;
    void leaveEvent(QEvent* event) override;

private:
    void measureText();
    void drawInto(QPainter& painter) const;

    QString text_;
    QFont font_;
    // Built from a position and a size, so that contains() treats its right
    // and bottom edges as outside.
    QRect textRect_;
};
