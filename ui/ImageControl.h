#pragma once

#include "ui/PreviewCanvas.h"

#include <QFutureWatcher>
#include <QImage>
#include <QWidget>

#include <cstdint>
#include <optional>

class DocumentModel;
class QScrollBar;

// The view of the open picture: shows the model's document (with the
// working caption of an open caption dialog, or the first view of a photo
// being opened) fitted into the widget by fitCanvas, or at a zoom where one
// canvas pixel is `zoom()` device pixels (100% is one device pixel), panned
// by dragging, the wheel or the scroll bars. It follows the model's
// signals by itself. It keeps the full-size canvas until the document or the
// working caption changes, and the composed view until the canvas, its
// size, the zoom, the position or the screen's device pixel ratio changes,
// so a paint without a change only copies pixels; when zoomed, only the
// visible part of the canvas is composed. The canvas of a large picture
// (backgroundPixels() or more) is rendered on a worker thread so that the
// window never waits for it; the previous canvas (or the bare picture)
// shows until it is ready. While a working caption is shown,
// the document's own canvas is kept, and clearing the working caption
// brings the earlier view back unchanged.
class CImageControl : public QWidget {
    Q_OBJECT

public:
    // `model` must outlive the view.
    explicit CImageControl(const DocumentModel* model, QWidget* parent = nullptr);
    ~CImageControl() override;

    const DocumentModel* model() const { return model_; }

    // Draws what the view shows at its current size into `target`, which
    // must be at least that large, at the target's device pixel ratio: the
    // workspace colour, and the canvas fitted or zoomed into it when there
    // is a picture.
    void paintView(QImage& target);

    // How many times the view has brought a full-size canvas up to date
    // (rendered whole, or drawn again where a working caption reaches).
    int canvasRenders() const { return canvasRenders_; }
    // Pictures of at least this many pixels have their canvas rendered off
    // the window's thread.
    std::int64_t backgroundPixels() const { return backgroundPixels_; }
    void setBackgroundPixels(std::int64_t pixels) { backgroundPixels_ = pixels; }
    // Whether a canvas is being rendered off the window's thread.
    bool rendering() const { return renderPending_; }

    // Fit (the default) scales the canvas to the view; the others zoom
    // around `anchor` (a point of the widget; its centre when none), which
    // keeps the canvas point under it in place. The steps run from 1/16 to
    // 16 times.
    void zoomToFit();
    void zoomTo(double zoom, std::optional<QPointF> anchor = std::nullopt);
    void zoomIn(std::optional<QPointF> anchor = std::nullopt);
    void zoomOut(std::optional<QPointF> anchor = std::nullopt);
    bool isFit() const { return !zoom_.has_value(); }
    // Device pixels per canvas pixel, the fitted one included.
    double zoom() const;
    // The top left of what shows, in device pixels of the zoomed canvas.
    QPoint scrollPosition() const;
    void scrollTo(QPoint position);
    QScrollBar* horizontalBar() const { return horizontal_; }
    QScrollBar* verticalBar() const { return vertical_; }

signals:
    void zoomChanged();

protected:
    void paintEvent(QPaintEvent* event) override;
    void resizeEvent(QResizeEvent* event) override;
    void wheelEvent(QWheelEvent* event) override;
    void mousePressEvent(QMouseEvent* event) override;
    void mouseMoveEvent(QMouseEvent* event) override;
    void mouseReleaseEvent(QMouseEvent* event) override;

private:
    void documentChanged();
    void workingCaptionChanged();
    void viewChanged();
    // The canvas to show, rendered when the one kept is out of date; null
    // when there is no picture or it could not be made.
    const QImage& canvas();
    const QImage& documentCanvas();
    // What shows and the canvas size it stands for: the canvas, or the
    // first view of a photo being opened; null when nothing.
    const QImage* shown(QSize& canvasSize);
    // The whole view composed at `size` (logical pixels) and `ratio`.
    const QImage& composed(QSize size, qreal ratio);
    // The part of the widget the picture shows in, without the scroll bars.
    QSize viewport() const;
    // The zoomed canvas's size in device pixels; empty when fitted.
    QSize zoomedSize() const;
    void updateBars();
    void renderInBackground();
    void backgroundRendered();

    const DocumentModel* model_;
    QImage documentCanvas_;
    bool documentCanvasStale_ = true;
    PreviewCanvas preview_;
    const QImage* workingCanvas_ = nullptr;
    bool workingCanvasStale_ = true;
    QImage composed_;
    QColor composedWorkspace_;
    bool composedStale_ = true;
    int canvasRenders_ = 0;
    std::optional<double> zoom_;
    QScrollBar* horizontal_ = nullptr;
    QScrollBar* vertical_ = nullptr;
    std::optional<QPointF> dragFrom_;
    std::int64_t backgroundPixels_ = 40'000'000;
    QFutureWatcher<QImage> rendering_;
    // The document changed while a background render ran.
    bool renderAgain_ = false;
    // Started and not yet taken in.
    bool renderPending_ = false;
    // The picture the kept canvas and the running render were drawn over.
    qint64 canvasKey_ = 0;
    qint64 renderingKey_ = 0;
};
