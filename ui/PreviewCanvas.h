#pragma once

#include "render/CaptionRenderer.h"

#include <QImage>
#include <QRect>

#include <functional>

// The canvas with the caption dialog's working caption, for the view. While
// the working caption lies on the image and sets no description, the band
// strips and the other captions' texts stay as they are, so a change only
// puts back, from a base canvas without the working caption, the pixels it
// reached before and reaches now, and draws it (and the captions after it)
// again there: the same pixels as a whole render at a fraction of the cost.
// While a band working caption keeps its strip and the canvas its height,
// only that strip is drawn again (the photo and the other strips stay).
// Any other change renders the whole canvas.
class PreviewCanvas {
public:
    // Brings the canvas up to date for `working` and returns it. For a
    // working caption added after the list, the base is the document's own
    // canvas, which `documentCanvas` gives; for one in place of a listed
    // caption, a base with the captions before it is rendered once.
    const QImage& update(const PictureDocument& document, WorkingCaption working,
                         const std::function<const QImage&()>& documentCanvas);
    // The document changed: nothing kept still holds.
    void invalidate();
    // Releases the canvases.
    void clear();

private:
    QImage canvas_;
    // canvas_ is the whole canvas; dirty_ is where the working caption may
    // have drawn over the base.
    bool fromBase_ = false;
    QRect dirty_;
    QImage ownBase_;
    // The listed caption ownBase_ leaves out; -1 when there is none.
    std::int32_t ownBaseOmits_ = -1;
    // canvas_ is the whole canvas with the band working caption at index
    // bandIndex_ of the shown captions, in the strip bandStrip_ gives.
    bool fromBand_ = false;
    std::size_t bandIndex_ = 0;
    BandStrip bandStrip_;
};
