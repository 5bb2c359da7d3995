#pragma once

#include "ui/PreviewCanvas.h"

#include <QImage>
#include <QWidget>

class DocumentModel;

// The view of the open picture: shows the model's document (with the
// working caption of an open caption dialog) scaled into the widget by
// fitCanvas, and follows the model's signals by itself. It keeps the
// full-size canvas until the document or the working caption changes, and
// the composed view until the canvas, its size or the screen's device pixel
// ratio changes, so a paint without a change only copies pixels. While a
// working caption is shown, the document's own canvas is kept, and clearing
// the working caption brings the earlier view back unchanged. It takes no
// input of its own.
class CImageControl : public QWidget {
    Q_OBJECT

public:
    // `model` must outlive the view.
    explicit CImageControl(const DocumentModel* model, QWidget* parent = nullptr);

    const DocumentModel* model() const { return model_; }

    // Draws what the view shows at its current size into `target`, which
    // must be at least that large, at the target's device pixel ratio: the
    // workspace colour, and the canvas fitted into it when there is a picture.
    void paintView(QImage& target);

    // How many times the view has brought a full-size canvas up to date
    // (rendered whole, or drawn again where a working caption reaches).
    int canvasRenders() const { return canvasRenders_; }

protected:
    void paintEvent(QPaintEvent* event) override;

private:
    void documentChanged();
    void workingCaptionChanged();
    // The canvas to show, rendered when the one kept is out of date; null
    // when there is no picture or it could not be made.
    const QImage& canvas();
    const QImage& documentCanvas();
    // The whole view composed at `size` (logical pixels) and `ratio`.
    const QImage& composed(QSize size, qreal ratio);

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
};
