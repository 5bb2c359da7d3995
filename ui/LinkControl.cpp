#include "ui/LinkControl.h"

#include "captions/LogFont.h"
#include "ui/OpenAddress.h"

#include <QFontMetrics>
#include <QMouseEvent>
#include <QPainter>
#include <QPixmap>

namespace {

constexpr int kTextFlags = Qt::AlignLeft | Qt::AlignVCenter | Qt::TextSingleLine;
// Room below the measured text for the underline.
constexpr int kUnderlineRoom = 2;

QFont makeLinkFont() {
    LogFont description;
    description.height = 13; // cell height in pixels
    description.weight = 400;
    description.setFaceName(QStringLiteral("Verdana"));
    return toQFont(description);
}

} // namespace

CLinkControl::CLinkControl(QWidget* parent) : QWidget(parent), font_(makeLinkFont()) {
    setObjectName(QStringLiteral("Lumora.Link.ID6123683"));
    setAttribute(Qt::WA_OpaquePaintEvent);
    setMouseTracking(true);
}

void CLinkControl::setText(const QString& text) {
    if (text == text_)
        return;
    text_ = text;
    update();
}

QColor CLinkControl::linkColour() {
    return QColor(0, 0, 248);
}

QSize CLinkControl::sizeHint() const {
    return {210, 18};
}

void CLinkControl::paintEvent(QPaintEvent*) {
    measureText();
    const QSize size = this->size();
    if (size.isEmpty())
        return;
    // Drawn off screen first and copied in one piece, so the text never
    // flickers over a freshly cleared background.
    const qreal ratio = devicePixelRatioF();
    QPixmap buffer(size * ratio);
    buffer.setDevicePixelRatio(ratio);
    {
        QPainter painter(&buffer);
        drawInto(painter);
    }
    QPainter painter(this);
    painter.drawPixmap(0, 0, buffer);
}

void CLinkControl::measureText() {
    const QRect measured = QFontMetrics(font_).boundingRect(rect(), kTextFlags, text_);
    // The measured box keeps the client's top left: only its size counts,
    // even though the text itself is drawn centred from top to bottom.
    textRect_ = QRect(QPoint(0, 0), QSize(measured.width(), measured.height() + kUnderlineRoom));
}

void CLinkControl::drawInto(QPainter& painter) const {
    const QRect client = rect();
    painter.fillRect(client, palette().color(QPalette::Window));
    painter.setFont(font_);
    painter.setPen(linkColour());
    painter.drawText(client, kTextFlags, text_);
    // One pixel row just below the measured text, across its width.
    const int underlineY = textRect_.top() + textRect_.height() - kUnderlineRoom;
    painter.fillRect(QRect(textRect_.left(), underlineY, textRect_.width(), 1), linkColour());
}

void CLinkControl::mouseMoveEvent(QMouseEvent* event) {
    // Qt shows the cursor of whichever widget is under the pointer, so the
    // pointer need not be captured to put the arrow back when it leaves;
    // leaveEvent() resets it.
    const bool overText = textRect_.contains(event->position().toPoint());
    setCursor(overText ? Qt::PointingHandCursor : Qt::ArrowCursor);
}

void CLinkControl::mouseReleaseEvent(QMouseEvent* event) {
    if (event->button() == Qt::LeftButton && textRect_.contains(event->position().toPoint()))
        openAddress(text_);
}

void CLinkControl::leaveEvent(QEvent*) {
    setCursor(Qt::ArrowCursor);
}
