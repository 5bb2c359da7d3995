#include "formats/PictureRead.h"

#include "image/Orientation.h"

#include <vector>

QImage opaqueOnWhite(QImage image) {
    if (image.isNull())
        return image;
    if (!image.hasAlphaChannel()) {
        if (image.format() != QImage::Format_RGB32)
            image.convertTo(QImage::Format_RGB32);
        return image;
    }
    // Unpremultiplied ARGB gives each pixel's own colour and coverage; the
    // pixel over white is colour x coverage + white x (1 - coverage).
    image.convertTo(QImage::Format_ARGB32);
    if (image.isNull())
        return image;
    const int width = image.width();
    for (int y = 0; y < image.height(); ++y) {
        auto* row = reinterpret_cast<QRgb*>(image.scanLine(y));
        for (int x = 0; x < width; ++x) {
            const QRgb p = row[x];
            const int a = qAlpha(p);
            const auto over = [a](int c) { return (c * a + 255 * (255 - a) + 127) / 255; };
            row[x] = qRgb(over(qRed(p)), over(qGreen(p)), over(qBlue(p)));
        }
    }
    image.reinterpretAsFormat(QImage::Format_RGB32);
    return image;
}

QImage turnedUpright(const QImage& stored, int orientation) {
    if (orientation == 1 || stored.isNull())
        return stored;
    const bool swap = orientationSwapsSides(orientation);
    QImage upright(swap ? stored.height() : stored.width(), swap ? stored.width() : stored.height(),
                   QImage::Format_RGB32);
    if (upright.isNull())
        return upright;
    std::vector<const std::uint8_t*> rows(static_cast<std::size_t>(stored.height()));
    for (int y = 0; y < stored.height(); ++y)
        rows[static_cast<std::size_t>(y)] = stored.constScanLine(y);
    placeStoredRows(orientation, static_cast<std::uint32_t>(stored.width()),
                    static_cast<std::uint32_t>(stored.height()), 0,
                    static_cast<std::uint32_t>(stored.height()), rows.data(), upright.bits(),
                    upright.bytesPerLine());
    return upright;
}
