#include "ui/ImageControl.h"

#include "captions/CaptionRenderer.h"
#include "ui/CanvasFit.h"

#include <QPainter>

CImageControl::CImageControl(QWidget* parent) : QWidget(parent) {
    setObjectName(QStringLiteral("Lumora.Image.ID6123683"));
    // Every pixel is painted here, so Qt need not clear the widget first:
    // no flicker while captions are edited.
    setAttribute(Qt::WA_OpaquePaintEvent);
}

void CImageControl::paintView(QImage& target) {
    const int cw = width();
    const int ch = height();
    QPainter painter(&target);
    painter.fillRect(QRect(0, 0, cw, ch), palette().color(QPalette::Dark));
    if (!document_.hasPicture() || cw <= 0 || ch <= 0)
        return;
    const QImage canvas = renderCaptions(document_);
    // The canvas's own height counts: it includes the bands. A canvas that
    // could not be made reads as 0 high and nothing is drawn.
    const QRect fitted = fitCanvas(document_.width, canvas.isNull() ? 0 : canvas.height(), cw, ch);
    if (fitted.isEmpty())
        return;
    painter.setRenderHint(QPainter::SmoothPixmapTransform);
    painter.drawImage(fitted, canvas);
}

void CImageControl::paintEvent(QPaintEvent*) {
    if (width() <= 0 || height() <= 0)
        return;
    // Drawn whole into a buffer first, then shown in one copy.
    QImage buffer(size() * devicePixelRatio(), QImage::Format_RGB32);
    buffer.setDevicePixelRatio(devicePixelRatio());
    paintView(buffer);
    QPainter(this).drawImage(0, 0, buffer);
}
