#pragma once
// Captions drawn on a picture of one colour, and where the drawing shows,
// for the tests of caption rendering.
#include "render/CaptionRenderer.h"

#include <QImage>
#include <QRect>

namespace caption_canvas {

constexpr QRgb kGround = 0xFF406080;
constexpr QRgb kRed = 0xFFFF0000;

inline PictureDocument Document(int w = 640, int h = 480, QRgb colour = kGround) {
    PictureDocument document;
    document.picture = QImage(w, h, QImage::Format_RGB32);
    document.picture.fill(colour);
    return document;
}

// An on-image caption of `pixels`-high red text.
inline Caption Text(const QString& text, int pixels = 30, std::uint32_t colour = 0x000000FF) {
    Caption caption;
    caption.text = text;
    caption.textColor = colour;
    caption.sizeUnit = SizeUnit::Pixels;
    caption.font.height = -pixels;
    return caption;
}

inline Caption Band(std::int32_t disposition, const QString& text, std::uint32_t background,
                    int pixels = 14) {
    Caption caption = Text(text, pixels, 0);
    caption.disposition = disposition;
    caption.backgroundColor = background;
    return caption;
}

inline QImage Render(const Caption& caption, int w = 400, int h = 300) {
    PictureDocument document = Document(w, h);
    document.captions.append(caption);
    return renderCaptions(document);
}

// The rectangle of pixels in rows [top, bottom) that differ from `ground`.
inline QRect Ink(const QImage& image, QRgb ground = kGround, int top = 0, int bottom = -1) {
    QRect box;
    for (int y = top; y < (bottom < 0 ? image.height() : bottom); ++y) {
        const auto* row = reinterpret_cast<const QRgb*>(image.constScanLine(y));
        for (int x = 0; x < image.width(); ++x)
            box |= (row[x] | 0xFF000000) != ground ? QRect(x, y, 1, 1) : QRect();
    }
    return box;
}

// The rectangle of pixels where two canvases of one size differ.
inline QRect Changed(const QImage& a, const QImage& b) {
    QRect box;
    for (int y = 0; y < a.height(); ++y)
        for (int x = 0; x < a.width(); ++x)
            box |= a.pixel(x, y) != b.pixel(x, y) ? QRect(x, y, 1, 1) : QRect();
    return box;
}

} // namespace caption_canvas
