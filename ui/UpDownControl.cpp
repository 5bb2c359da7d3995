#include "ui/UpDownControl.h"

#include "ui/NumberText.h"

#include <QKeyEvent>
#include <QLineEdit>
#include <QToolButton>

#include <algorithm>

namespace {

QToolButton* makeArrow(Qt::ArrowType type, QWidget* parent) {
    auto* arrow = new QToolButton(parent);
    arrow->setArrowType(type);
    arrow->setFocusPolicy(Qt::NoFocus);
    // Held down, an arrow keeps stepping, as a spin box does.
    arrow->setAutoRepeat(true);
    return arrow;
}

} // namespace

UpDownControl::UpDownControl(QWidget* parent)
    : QWidget(parent), up_(makeArrow(Qt::UpArrow, this)), down_(makeArrow(Qt::DownArrow, this)) {
    setFocusPolicy(Qt::NoFocus);
    connect(up_, &QToolButton::clicked, this, &UpDownControl::stepUp);
    connect(down_, &QToolButton::clicked, this, &UpDownControl::stepDown);
}

void UpDownControl::setBuddy(QLineEdit* edit) {
    if (buddy_)
        buddy_->removeEventFilter(this);
    buddy_ = edit;
    if (!buddy_)
        return;
    buddy_->installEventFilter(this);
    const QRect box = buddy_->geometry();
    const int width = std::min(this->width(), box.width());
    buddy_->resize(box.width() - width, box.height());
    setGeometry(box.right() - width + 1, box.top(), width, box.height());
}

void UpDownControl::setRange(int minimum, int maximum) {
    minimum_ = minimum;
    maximum_ = maximum;
}

void UpDownControl::step(int direction) {
    if (!buddy_)
        return;
    const int low = std::min(minimum_, maximum_);
    const int high = std::max(minimum_, maximum_);
    const int towards = maximum_ >= minimum_ ? direction : -direction;
    const int current = std::clamp<int>(numberFromText(buddy_->text()), low, high);
    const QString next = QString::number(std::clamp(current + towards, low, high));
    if (next != buddy_->text())
        buddy_->setText(next);
}

bool UpDownControl::eventFilter(QObject* watched, QEvent* event) {
    if (watched == buddy_ && event->type() == QEvent::KeyPress) {
        const auto* key = static_cast<QKeyEvent*>(event);
        if (key->key() == Qt::Key_Up || key->key() == Qt::Key_Down) {
            step(key->key() == Qt::Key_Up ? +1 : -1);
            return true;
        }
    }
    return QWidget::eventFilter(watched, event);
}

void UpDownControl::resizeEvent(QResizeEvent*) {
    const int half = height() / 2;
    up_->setGeometry(0, 0, width(), half);
    down_->setGeometry(0, half, width(), height() - half);
}
