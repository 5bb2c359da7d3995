#pragma once

#include "captions/PictureDocument.h"

#include <QImage>
#include <QRectF>
#include <QString>

// Builds the full-size canvas of the document: the picture, a strip above it
// for every top-band caption and below it for every bottom-band caption (in
// list order), and every caption's text drawn in. Nothing is cached: each
// call measures and draws afresh. A caption marked useTextAsDescription is
// not drawn; the last such caption's text becomes the document's
// description, which stays after the call. Returns a null image when the
// document has no picture or the canvas cannot be allocated.
QImage renderCaptions(PictureDocument& document);

// What a caption shows: its text, or the description when it asks for it,
// with CR LF (or a lone CR) turned into one line break.
QString displayedText(const Caption& caption, const QString& description);
// Qt alignment and wrapping flags of a caption; the vertical alignment
// applies only to captions on the image.
int textFlags(const Caption& caption, bool onImage);
// Height of the text wrapped inside the box, as the renderer measures it:
// 0 for an empty text, never more than the box's height.
double measureTextHeight(const QString& text, const QFont& font, const QRectF& box, int flags);
// A band height rounded up to whole pixels: ceiling, then float, then int.
int roundBandHeight(double height);
