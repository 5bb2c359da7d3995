#pragma once

#include "captions/PictureDocument.h"
#include "captions/Placeholders.h"

#include <QColor>
#include <QImage>
#include <QRectF>
#include <QString>

#include <cstdint>
#include <limits>
#include <vector>

// A caption still being set up in the caption dialog, shown with the listed
// ones: in place of the listed caption `replaces`, or after the last one
// when `replaces` names no listed caption (-1). No caption: the list alone.
struct WorkingCaption {
    const Caption* caption = nullptr;
    std::int32_t replaces = -1;
};

// The description a save of the document carries: the text of the last
// caption marked useTextAsDescription with its placeholders filled in from
// the document's facts, or, without one, the picture's own description as
// it was opened. A pure function of its inputs.
QString savedDescription(const PictureDocument& document, WorkingCaption working = {});

// Builds the full-size canvas of the document: the picture, a strip above it
// for every top-band caption and below it for every bottom-band caption (in
// list order), and every caption's text drawn in. A pure function of the
// document and the working caption: it measures and draws afresh and
// changes nothing. A caption marked useTextAsDescription is not drawn; one
// marked useDescriptionAsText shows savedDescription(). Returns a null image
// when the document has no picture or the canvas cannot be allocated.
QImage renderCaptions(const PictureDocument& document, WorkingCaption working = {});
// The same canvas, drawn into `recycled` when that is an unshared RGB32
// image of the canvas's size: a view that renders again and again passes
// its previous canvas and spares allocating a new one.
QImage renderCaptions(const PictureDocument& document, WorkingCaption working, QImage recycled);

// Where the photo sits in the canvas: the rows of band strips above it and
// below it, and the background of the topmost band (what a copy adds above
// it to make the bands a whole number of JPEG block rows).
struct CanvasBands {
    int above = 0;
    std::int64_t below = 0;
    QColor topmostColor;
};
CanvasBands canvasBands(const PictureDocument& document, WorkingCaption working = {});

// The captions a canvas shows, in drawing order: the listed ones with the
// working caption in its place. The pointers live as long as the document's
// captions and the working caption.
std::vector<const Caption*> shownCaptions(const PictureDocument& document, WorkingCaption working);
// The canvas of exactly these captions over the document's picture; with
// `end`, the same canvas (its size and band strips measured from the whole
// list) with only captions [0, end) drawn.
QImage renderCaptionList(const PictureDocument& document,
                         const std::vector<const Caption*>& captions, QImage recycled = {},
                         std::size_t end = std::numeric_limits<std::size_t>::max());

// Drawing part of a canvas again, for a preview that changes one on-image
// caption at a time. inkReach() is the rectangle of the canvas that caption
// `index` of the list can put ink on (its layout widened for overhanging
// glyphs, within its clip, with its outline, its shadow at its offset and
// blur, and its box); empty for a caption that draws nothing there
// and for band and description captions. redrawCaptions() draws captions
// [first, end) of the list again inside `area` only; the pixels of `area`
// must be those the canvas had before caption `first` was drawn. Both give
// exactly the pixels a whole render of the list gives.
QRect inkReach(const PictureDocument& document, const std::vector<const Caption*>& captions,
               std::size_t index);
void redrawCaptions(QImage& canvas, const PictureDocument& document,
                    const std::vector<const Caption*>& captions, std::size_t first,
                    const QRect& area);

// The strip caption `index` of the list fills as a band (empty for a caption
// with none) and the height of the whole canvas: while both stay the same,
// a change of that caption alone changes no pixel outside its strip, which
// redrawCaptions() over the strip (cleared to black) brings up to date.
struct BandStrip {
    QRect strip;
    std::int64_t canvasHeight = 0;
    int topBand = 0;

    bool operator==(const BandStrip&) const = default;
};
BandStrip bandStripOf(const PictureDocument& document, const std::vector<const Caption*>& captions,
                      std::size_t index);

// What a caption shows: its text with its placeholders filled in from
// `values`, or the description when it asks for it, with CR LF (or a lone
// CR) turned into one line break.
QString displayedText(const Caption& caption, const QString& description,
                      const PlaceholderValues& values = {});
// The em in pixels a caption's text is drawn at on a picture of this size:
// for a relative size, round(shorter side x sizePercent / 100); else the
// font's own height (pixelSizeOf). Always 1 to kMaxCaptionPixelSize.
int captionEmPixels(const Caption& caption, QSize picture);
// The em a caption is drawn at in a room `width` pixels wide: `em`, or for
// a caption that shrinks to fit, the largest em from 40% of `em` up at which
// every line of `text` fits the width unwrapped (the floor when none does;
// the text then wraps).
int fittedEmPixels(const Caption& caption, const QString& text, int em, double width);
// The caption's drawing font on a picture of this size.
QFont captionFont(const Caption& caption, QSize picture);
// Qt alignment and wrapping flags of a caption; the vertical alignment
// applies only to captions on the image.
int textFlags(const Caption& caption, bool onImage);
// Height of the text wrapped inside the box as Qt measures drawText's
// layout (the renderer's own layout of a caption gives the same height):
// 0 for an empty text, never more than the box's height.
double measureTextHeight(const QString& text, const QFont& font, const QRectF& box, int flags);
// A band height rounded up to whole pixels: ceiling, then float, then int.
int roundBandHeight(double height);
