#pragma once

#include <QWidget>

class QLineEdit;
class QToolButton;

// Two small arrows that step the whole number shown in a buddy edit. Each
// step reads the number from the edit, brings it into the range, moves it
// one towards `maximum` (up) or `minimum` (down) without wrapping, and
// writes it back into the edit. The range starts as minimum 100, maximum 0,
// so the up arrow lowers the number. The Up and Down keys in the buddy act
// as the arrows.
class UpDownControl : public QWidget {
    Q_OBJECT

public:
    explicit UpDownControl(QWidget* parent = nullptr);

    // Ties the control to `edit` and moves it inside the edit's right end,
    // narrowing the edit by the control's width.
    void setBuddy(QLineEdit* edit);
    QLineEdit* buddy() const { return buddy_; }

    void setRange(int minimum, int maximum);
    int minimum() const { return minimum_; }
    int maximum() const { return maximum_; }

    void stepUp() { step(+1); }
    void stepDown() { step(-1); }

    QToolButton* upArrow() const { return up_; }
    QToolButton* downArrow() const { return down_; }

protected:
    bool eventFilter(QObject* watched, QEvent* event) override;
    void resizeEvent(QResizeEvent* event) override;

private:
    // +1 moves towards maximum, -1 towards minimum.
    void step(int direction);

    QToolButton* up_ = nullptr;
    QToolButton* down_ = nullptr;
    QLineEdit* buddy_ = nullptr;
    int minimum_ = 100;
    int maximum_ = 0;
};
