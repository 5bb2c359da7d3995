#include "ui/ColorBox.h"

#include "captions/Caption.h"

#include <QPainter>

CColorBox::CColorBox(QWidget* parent) : QWidget(parent) {
    // Every pixel is painted, so nothing needs erasing first.
    setAttribute(Qt::WA_OpaquePaintEvent);
}

void CColorBox::setColor(std::uint32_t color) {
    color_ = color;
    repaint();
}

QColor CColorBox::shownColor(std::uint32_t color) {
    return captionColor(color);
}

void CColorBox::paintEvent(QPaintEvent*) {
    QPainter painter(this);
    const QRect box = rect();
    painter.fillRect(box, shownColor(color_));
    painter.setPen(Qt::black);
    painter.setBrush(Qt::NoBrush);
    painter.drawRect(box.adjusted(0, 0, -1, -1));
}
