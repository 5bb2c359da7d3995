#pragma once

#include "captions/PictureDocument.h"

#include <QWidget>

// The view of the open picture: holds the run's document and shows it with
// every caption drawn, scaled into the widget by fitCanvas. Each paint
// renders the captions at full size afresh; nothing is cached. It takes no
// input of its own. After changing the document, callers repaint it.
class CImageControl : public QWidget {
    Q_OBJECT

public:
    explicit CImageControl(QWidget* parent = nullptr);

    PictureDocument& document() { return document_; }
    const PictureDocument& document() const { return document_; }

    // Draws what the view shows at its current size into `target`, which
    // must be at least that large: the workspace colour, and the canvas
    // fitted into it when there is a picture.
    void paintView(QImage& target);

protected:
    void paintEvent(QPaintEvent* event) override;

private:
    PictureDocument document_;
};
