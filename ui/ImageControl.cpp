#include "ui/ImageControl.h"

#include "captions/CaptionRenderer.h"
#include "captions/DocumentModel.h"
#include "ui/CanvasFit.h"

#include <QPainter>

#include <cmath>

CImageControl::CImageControl(const DocumentModel* model, QWidget* parent)
    : QWidget(parent), model_(model) {
    setObjectName(QStringLiteral("Lumora.Image.ID6123683"));
    // Every pixel is painted here, so Qt need not clear the widget first:
    // no flicker while captions are edited.
    setAttribute(Qt::WA_OpaquePaintEvent);
    connect(model_, &DocumentModel::canvasChanged, this, &CImageControl::documentChanged);
    connect(model_, &DocumentModel::workingCaptionChanged, this,
            &CImageControl::workingCaptionChanged);
    connect(model_, &DocumentModel::firstViewChanged, this, [this] {
        composedStale_ = true;
        update();
    });
}

void CImageControl::documentChanged() {
    documentCanvasStale_ = true;
    workingCanvasStale_ = true;
    preview_.invalidate();
    composedStale_ = true;
    // Several changes before the next paint cost one render.
    update();
}

void CImageControl::workingCaptionChanged() {
    workingCanvasStale_ = true;
    composedStale_ = true;
    if (model_->workingCaption().caption == nullptr)
        preview_.clear();
    update();
}

const QImage& CImageControl::documentCanvas() {
    if (documentCanvasStale_) {
        // The previous canvas is drawn over when its size still fits.
        documentCanvas_ = renderCaptions(model_->document(), {}, std::move(documentCanvas_));
        documentCanvasStale_ = false;
        ++canvasRenders_;
    }
    return documentCanvas_;
}

const QImage& CImageControl::canvas() {
    const WorkingCaption working = model_->workingCaption();
    if (working.caption == nullptr)
        return documentCanvas();
    if (workingCanvasStale_) {
        workingCanvas_ = &preview_.update(model_->document(), working,
                                          [this]() -> const QImage& { return documentCanvas(); });
        workingCanvasStale_ = false;
        ++canvasRenders_;
    }
    return *workingCanvas_;
}

const QImage& CImageControl::composed(QSize size, qreal ratio) {
    const QSize device(static_cast<int>(std::ceil(size.width() * ratio)),
                       static_cast<int>(std::ceil(size.height() * ratio)));
    const QColor workspace = palette().color(QPalette::Dark);
    if (!composedStale_ && composed_.size() == device && composed_.devicePixelRatio() == ratio &&
        composedWorkspace_ == workspace)
        return composed_;
    composedWorkspace_ = workspace;
    composed_ = QImage(device, QImage::Format_RGB32);
    composed_.fill(workspace);
    const FirstView& first = model_->firstView();
    if (!first.picture.isNull()) {
        // The photo being opened, where its whole picture will be.
        const QRect fitted = fitCanvas(static_cast<std::uint32_t>(first.fullSize.width()),
                                       static_cast<std::uint32_t>(first.fullSize.height()),
                                       device.width(), device.height());
        if (!fitted.isEmpty()) {
            QPainter painter(&composed_);
            painter.setRenderHint(QPainter::SmoothPixmapTransform);
            painter.drawImage(fitted, first.picture);
        }
    } else if (model_->document().hasPicture()) {
        const QImage& shown = canvas();
        // The canvas's own height counts: it includes the bands. A canvas
        // that could not be made reads as 0 high and nothing is drawn. The
        // fit is in device pixels, so a high-density screen shows the
        // canvas at its own resolution.
        const QRect fitted =
            fitCanvas(model_->document().width, shown.isNull() ? 0 : shown.height(), device.width(),
                      device.height());
        if (!fitted.isEmpty()) {
            QPainter painter(&composed_);
            painter.setRenderHint(QPainter::SmoothPixmapTransform);
            painter.drawImage(fitted, shown);
        }
    }
    composed_.setDevicePixelRatio(ratio);
    composedStale_ = false;
    return composed_;
}

void CImageControl::paintView(QImage& target) {
    if (width() <= 0 || height() <= 0)
        return;
    const QImage& view = composed(size(), target.devicePixelRatio());
    QPainter painter(&target);
    painter.drawImage(QPointF(0, 0), view);
}

void CImageControl::paintEvent(QPaintEvent*) {
    if (width() <= 0 || height() <= 0)
        return;
    QPainter(this).drawImage(QPointF(0, 0), composed(size(), devicePixelRatioF()));
}
