#include "ui/ImageControl.h"

#include "document/DocumentModel.h"
#include "render/CaptionRenderer.h"
#include "ui/CanvasFit.h"

#include <QMouseEvent>
#include <QPainter>
#include <QScrollBar>
#include <QWheelEvent>
#include <QtConcurrent/QtConcurrentRun>

#include <algorithm>
#include <array>
#include <cmath>

namespace {

// The zooms a step in or out lands on.
constexpr std::array<double, 17> kZoomSteps{1.0 / 16, 1.0 / 12, 1.0 / 8, 1.0 / 6, 1.0 / 4, 1.0 / 3,
                                            1.0 / 2,  2.0 / 3,  1.0,     1.5,     2.0,     3.0,
                                            4.0,      6.0,      8.0,     12.0,    16.0};

QSize deviceSize(QSize size, qreal ratio) {
    return {static_cast<int>(std::ceil(size.width() * ratio)),
            static_cast<int>(std::ceil(size.height() * ratio))};
}

} // namespace

CImageControl::CImageControl(const DocumentModel* model, QWidget* parent)
    : QWidget(parent), model_(model) {
    setObjectName(QStringLiteral("Lumora.Image.ID6123683"));
    // Every pixel is painted here, so Qt need not clear the widget first:
    // no flicker while captions are edited.
    setAttribute(Qt::WA_OpaquePaintEvent);
    horizontal_ = new QScrollBar(Qt::Horizontal, this);
    vertical_ = new QScrollBar(Qt::Vertical, this);
    horizontal_->hide();
    vertical_->hide();
    connect(horizontal_, &QScrollBar::valueChanged, this, &CImageControl::viewChanged);
    connect(vertical_, &QScrollBar::valueChanged, this, &CImageControl::viewChanged);
    connect(model_, &DocumentModel::canvasChanged, this, &CImageControl::documentChanged);
    connect(model_, &DocumentModel::workingCaptionChanged, this,
            &CImageControl::workingCaptionChanged);
    connect(model_, &DocumentModel::firstViewChanged, this, &CImageControl::viewChanged);
    connect(&rendering_, &QFutureWatcher<QImage>::finished, this,
            &CImageControl::backgroundRendered);
}

CImageControl::~CImageControl() {
    rendering_.waitForFinished();
}

void CImageControl::documentChanged() {
    documentCanvasStale_ = true;
    if (renderPending_)
        renderAgain_ = true;
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

void CImageControl::viewChanged() {
    composedStale_ = true;
    update();
}

void CImageControl::renderInBackground() {
    std::shared_ptr<const PictureDocument> snapshot = snapshotOf(model_->document());
    renderingKey_ = snapshot->picture.cacheKey();
    renderPending_ = true;
    rendering_.setFuture(QtConcurrent::run([snapshot] { return renderCaptions(*snapshot); }));
}

void CImageControl::backgroundRendered() {
    QImage rendered = rendering_.result();
    if (renderAgain_) {
        // The document changed meanwhile: this canvas is already old.
        renderAgain_ = false;
        renderInBackground();
        return;
    }
    renderPending_ = false;
    documentCanvas_ = std::move(rendered);
    canvasKey_ = renderingKey_;
    documentCanvasStale_ = false;
    ++canvasRenders_;
    workingCanvasStale_ = true;
    preview_.invalidate();
    viewChanged();
}

const QImage& CImageControl::documentCanvas() {
    const PictureDocument& document = model_->document();
    if (documentCanvasStale_ && !model_->workingCaption().caption &&
        static_cast<std::int64_t>(document.width()) * document.height() >= backgroundPixels_) {
        // The kept canvas, or the bare picture, shows until the new one is
        // ready; a canvas of another picture is not shown.
        if (!renderPending_)
            renderInBackground();
        if (canvasKey_ != document.picture.cacheKey()) {
            documentCanvas_ = document.picture;
            canvasKey_ = document.picture.cacheKey();
        }
        return documentCanvas_;
    }
    if (documentCanvasStale_) {
        canvasKey_ = document.picture.cacheKey();
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

const QImage* CImageControl::shown(QSize& canvasSize) {
    const FirstView& first = model_->firstView();
    if (!first.picture.isNull()) {
        canvasSize = first.fullSize;
        return &first.picture;
    }
    if (!model_->document().hasPicture())
        return nullptr;
    const QImage& shown = canvas();
    // The canvas's own height counts: it includes the bands. A canvas that
    // could not be made reads as 0 high and nothing is drawn.
    canvasSize =
        QSize(static_cast<int>(model_->document().width()), shown.isNull() ? 0 : shown.height());
    return &shown;
}

QSize CImageControl::viewport() const {
    if (isFit())
        return size();
    return {std::max(0, width() - vertical_->sizeHint().width()),
            std::max(0, height() - horizontal_->sizeHint().height())};
}

double CImageControl::zoom() const {
    if (zoom_)
        return *zoom_;
    // The fitted zoom.
    QSize canvasSize;
    const QImage* image = const_cast<CImageControl*>(this)->shown(canvasSize);
    if (image == nullptr || canvasSize.isEmpty())
        return 1.0;
    const QSize device = deviceSize(size(), devicePixelRatioF());
    const QRect fitted =
        fitCanvas(static_cast<std::uint32_t>(canvasSize.width()),
                  static_cast<std::uint32_t>(canvasSize.height()), device.width(), device.height());
    return fitted.isEmpty() ? 1.0 : static_cast<double>(fitted.width()) / canvasSize.width();
}

QSize CImageControl::zoomedSize() const {
    if (!zoom_)
        return {};
    QSize canvasSize;
    const QImage* image = const_cast<CImageControl*>(this)->shown(canvasSize);
    if (image == nullptr)
        return {};
    return {static_cast<int>(std::lround(canvasSize.width() * *zoom_)),
            static_cast<int>(std::lround(canvasSize.height() * *zoom_))};
}

void CImageControl::updateBars() {
    const bool zoomed = !isFit();
    horizontal_->setVisible(zoomed);
    vertical_->setVisible(zoomed);
    if (!zoomed)
        return;
    const int barHeight = horizontal_->sizeHint().height();
    const int barWidth = vertical_->sizeHint().width();
    horizontal_->setGeometry(0, height() - barHeight, std::max(0, width() - barWidth), barHeight);
    vertical_->setGeometry(width() - barWidth, 0, barWidth, std::max(0, height() - barHeight));
    const QSize view = deviceSize(viewport(), devicePixelRatioF());
    const QSize content = zoomedSize();
    const QSignalBlocker blockHorizontal(horizontal_);
    const QSignalBlocker blockVertical(vertical_);
    horizontal_->setRange(0, std::max(0, content.width() - view.width()));
    vertical_->setRange(0, std::max(0, content.height() - view.height()));
    horizontal_->setPageStep(std::max(1, view.width()));
    vertical_->setPageStep(std::max(1, view.height()));
    horizontal_->setSingleStep(std::max(1, view.width() / 10));
    vertical_->setSingleStep(std::max(1, view.height() / 10));
}

QPoint CImageControl::scrollPosition() const {
    return {horizontal_->value(), vertical_->value()};
}

void CImageControl::scrollTo(QPoint position) {
    horizontal_->setValue(position.x());
    vertical_->setValue(position.y());
}

void CImageControl::zoomToFit() {
    if (isFit())
        return;
    zoom_.reset();
    updateBars();
    viewChanged();
    emit zoomChanged();
}

void CImageControl::zoomTo(double zoom, std::optional<QPointF> anchor) {
    zoom = std::clamp(zoom, kZoomSteps.front(), kZoomSteps.back());
    const qreal ratio = devicePixelRatioF();
    const QSizeF view = QSizeF(viewport()) * ratio;
    // The anchor in device pixels of the view, and the canvas point under it.
    const QPointF at = anchor ? *anchor * ratio : QPointF(view.width() / 2, view.height() / 2);
    const double before = this->zoom();
    const QSize contentBefore = isFit() ? QSize() : zoomedSize();
    QPointF offset; // where the canvas's top left lies in the view
    if (isFit()) {
        QSize canvasSize;
        if (shown(canvasSize) != nullptr) {
            const QSize device = deviceSize(size(), ratio);
            offset = fitCanvas(static_cast<std::uint32_t>(canvasSize.width()),
                               static_cast<std::uint32_t>(canvasSize.height()), device.width(),
                               device.height())
                         .topLeft();
        }
    } else {
        offset = QPointF(
            contentBefore.width() < view.width() ? (view.width() - contentBefore.width()) / 2
                                                 : -horizontal_->value(),
            contentBefore.height() < view.height() ? (view.height() - contentBefore.height()) / 2
                                                   : -vertical_->value());
    }
    const QPointF point = (at - offset) / before;
    zoom_ = zoom;
    updateBars();
    scrollTo((point * zoom - at).toPoint());
    viewChanged();
    emit zoomChanged();
}

void CImageControl::zoomIn(std::optional<QPointF> anchor) {
    const double now = zoom();
    for (const double step : kZoomSteps) {
        if (step > now * 1.001) {
            zoomTo(step, anchor);
            return;
        }
    }
}

void CImageControl::zoomOut(std::optional<QPointF> anchor) {
    const double now = zoom();
    for (auto step = kZoomSteps.rbegin(); step != kZoomSteps.rend(); ++step) {
        if (*step < now / 1.001) {
            zoomTo(*step, anchor);
            return;
        }
    }
}

const QImage& CImageControl::composed(QSize size, qreal ratio) {
    const QSize device = deviceSize(size, ratio);
    const QColor workspace = palette().color(QPalette::Dark);
    if (!composedStale_ && composed_.size() == device && composed_.devicePixelRatio() == ratio &&
        composedWorkspace_ == workspace)
        return composed_;
    composedWorkspace_ = workspace;
    composed_ = QImage(device, QImage::Format_RGB32);
    composed_.fill(workspace);
    QSize canvasSize;
    const QImage* image = shown(canvasSize);
    if (image != nullptr && !image->isNull() && !canvasSize.isEmpty()) {
        QPainter painter(&composed_);
        painter.setRenderHint(QPainter::SmoothPixmapTransform);
        if (isFit()) {
            // The fit is in device pixels, so a high-density screen shows
            // the canvas at its own resolution.
            const QRect fitted = fitCanvas(static_cast<std::uint32_t>(canvasSize.width()),
                                           static_cast<std::uint32_t>(canvasSize.height()),
                                           device.width(), device.height());
            if (!fitted.isEmpty())
                painter.drawImage(fitted, *image);
        } else {
            updateBars();
            // Only the part of the canvas that shows is drawn.
            const QSize view = deviceSize(viewport(), ratio);
            const QSize content = zoomedSize();
            const QPoint offset(
                content.width() < view.width() ? (view.width() - content.width()) / 2
                                               : -horizontal_->value(),
                content.height() < view.height() ? (view.height() - content.height()) / 2
                                                 : -vertical_->value());
            const QRect target = QRect(offset, content).intersected(QRect(QPoint(0, 0), view));
            if (!target.isEmpty()) {
                // Canvas pixels per device pixel, and the image's pixels per
                // canvas pixel (a first view is smaller than the canvas).
                const double sx = static_cast<double>(image->width()) / content.width();
                const double sy = static_cast<double>(image->height()) / content.height();
                const QRectF source((target.x() - offset.x()) * sx, (target.y() - offset.y()) * sy,
                                    target.width() * sx, target.height() * sy);
                if (source.size() == QSizeF(target.size()) &&
                    source.topLeft().toPoint() == source.topLeft()) {
                    painter.setCompositionMode(QPainter::CompositionMode_Source);
                    painter.drawImage(target.topLeft(), *image, source.toRect());
                } else {
                    painter.drawImage(QRectF(target), *image, source);
                }
            }
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

void CImageControl::resizeEvent(QResizeEvent*) {
    updateBars();
}

void CImageControl::wheelEvent(QWheelEvent* event) {
    const int steps = event->angleDelta().y() / 120;
    if (event->modifiers() & Qt::ControlModifier) {
        event->accept();
        for (int i = 0; i < std::abs(steps); ++i) {
            if (steps > 0)
                zoomIn(event->position());
            else
                zoomOut(event->position());
        }
        return;
    }
    if (isFit()) {
        event->ignore();
        return;
    }
    event->accept();
    QScrollBar* bar = event->modifiers() & Qt::ShiftModifier ? horizontal_ : vertical_;
    bar->setValue(bar->value() - steps * bar->singleStep());
}

void CImageControl::mousePressEvent(QMouseEvent* event) {
    if (event->button() == Qt::LeftButton && !isFit()) {
        dragFrom_ = event->position();
        setCursor(Qt::ClosedHandCursor);
    }
}

void CImageControl::mouseMoveEvent(QMouseEvent* event) {
    if (!dragFrom_)
        return;
    const QPointF moved = (event->position() - *dragFrom_) * devicePixelRatioF();
    dragFrom_ = event->position();
    scrollTo(scrollPosition() - moved.toPoint());
}

void CImageControl::mouseReleaseEvent(QMouseEvent*) {
    if (dragFrom_) {
        dragFrom_.reset();
        unsetCursor();
    }
}
