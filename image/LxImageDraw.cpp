// Drawing between the packed block and Qt images. Kept apart from
// LxImage.cpp so that the codec and the fuzzers link no Qt.
#include "image/LxImage.h"

#include <QImage>
#include <QPainter>
#include <QRect>

#include <algorithm>
#include <array>
#include <cstring>

namespace {
using ColourTable = std::array<QRgb, 256>;

// The block's palette as opaque Qt colours; entries past biClrUsed are black.
ColourTable PaletteColours(const LxImage& image) {
    ColourTable table{};
    table.fill(qRgb(0, 0, 0));
    const std::uint8_t* palette = image.GetPalette();
    const std::uint32_t count = std::min<std::uint32_t>(image.GetHeader().biClrUsed, 256);
    for (std::uint32_t i = 0; palette && i < count; ++i) {
        const std::uint8_t* entry = palette + 4 * i;
        table[i] = qRgb(entry[2], entry[1], entry[0]);
    }
    return table;
}

// Converts pixels [first, first + n) of one block row into opaque RGB32.
void RowToRgb32(const LxImage& image, const ColourTable& colours, const std::uint8_t* row,
                std::int32_t first, std::int32_t n, QRgb* out) {
    switch (image.GetBitCount()) {
    case 24: {
        const std::uint8_t* p = row + 3 * static_cast<std::size_t>(first);
        for (std::int32_t i = 0; i < n; ++i, p += 3) {
            out[i] = 0xFF000000u | (std::uint32_t{p[2]} << 16) | (std::uint32_t{p[1]} << 8) | p[0];
        }
        break;
    }
    case 8:
        for (std::int32_t i = 0; i < n; ++i) {
            out[i] = colours[row[first + i]];
        }
        break;
    case 4:
        for (std::int32_t i = 0; i < n; ++i) {
            const std::int32_t x = first + i;
            const std::uint8_t byte = row[x / 2];
            out[i] = colours[(x % 2 == 0) ? (byte >> 4) : (byte & 0x0F)];
        }
        break;
    default:
        for (std::int32_t i = 0; i < n; ++i) {
            const std::int32_t x = first + i;
            out[i] = colours[(row[x / 8] >> (7 - x % 8)) & 1];
        }
        break;
    }
}

// The painter can take the pixels directly: it paints on a 32-bit image
// with no transform, clip or blending that could change an opaque copy.
QImage* DirectTarget(QPainter* painter) {
    QPaintDevice* device = painter->device();
    if (!device || device->devType() != QInternal::Image) {
        return nullptr;
    }
    auto* image = static_cast<QImage*>(device);
    const QImage::Format format = image->format();
    const bool thirtyTwoBit = format == QImage::Format_RGB32 || format == QImage::Format_ARGB32 ||
                              format == QImage::Format_ARGB32_Premultiplied;
    const QPainter::CompositionMode mode = painter->compositionMode();
    const bool copies =
        mode == QPainter::CompositionMode_SourceOver || mode == QPainter::CompositionMode_Source;
    if (!thirtyTwoBit || !copies || painter->hasClipping() || painter->opacity() < 1.0 ||
        !painter->combinedTransform().isIdentity()) {
        return nullptr;
    }
    return image;
}

// The whole picture, top row first, as an opaque RGB32 image.
QImage ToTopDown(const LxImage& image, const ColourTable& colours) {
    QImage out(image.GetWidth(), image.GetHeight(), QImage::Format_RGB32);
    if (out.isNull()) {
        return out;
    }
    const std::int32_t height = image.GetHeight();
    for (std::int32_t y = 0; y < height; ++y) {
        RowToRgb32(image, colours, image.GetRowPointer(height - 1 - y), 0, image.GetWidth(),
                   reinterpret_cast<QRgb*>(out.scanLine(y)));
    }
    return out;
}

void FillPaletteFrom(const QList<QRgb>& table, std::uint8_t* palette, std::uint32_t entries) {
    const auto n = std::min<qsizetype>(table.size(), entries);
    for (qsizetype i = 0; i < n; ++i) {
        std::uint8_t* entry = palette + 4 * i;
        entry[0] = static_cast<std::uint8_t>(qBlue(table[i]));
        entry[1] = static_cast<std::uint8_t>(qGreen(table[i]));
        entry[2] = static_cast<std::uint8_t>(qRed(table[i]));
        entry[3] = 0;
    }
}
} // namespace

bool LxImage::DrawToDC(QPainter* painter, std::int32_t x, std::int32_t y, std::int32_t width,
                       std::int32_t height, const QRect* clip, bool smooth) const {
    if (!block_ || !painter || width == 0 || height == 0) {
        return false;
    }
    if (!painter->isActive()) {
        return false;
    }
    if (width < 0) {
        width = GetWidth();
    }
    if (height < 0) {
        height = GetHeight();
    }
    const ColourTable colours = PaletteColours(*this);

    QImage* target = DirectTarget(painter);
    if (target && width == GetWidth() && height == GetHeight()) {
        // Natural size: copy the visible part of each row straight into the
        // target's scan lines, converting as we go.
        QRect visible = QRect(x, y, width, height).intersected(target->rect());
        if (clip) {
            visible = visible.intersected(*clip);
        }
        for (std::int32_t ty = visible.top(); ty <= visible.bottom(); ++ty) {
            const std::int32_t sourceRow = GetHeight() - 1 - (ty - y);
            auto* out = reinterpret_cast<QRgb*>(target->scanLine(ty)) + visible.left();
            RowToRgb32(*this, colours, GetRowPointer(sourceRow), visible.left() - x,
                       visible.width(), out);
        }
        return true;
    }

    const QImage picture = ToTopDown(*this, colours);
    if (picture.isNull()) {
        return false;
    }
    painter->save();
    if (clip) {
        painter->setClipRect(*clip, Qt::IntersectClip);
    }
    painter->setRenderHint(QPainter::SmoothPixmapTransform, smooth);
    painter->drawImage(QRect(x, y, width, height), picture);
    painter->restore();
    return true;
}

bool LxImage::CreateFromBitmapHandle(const QImage& bitmap, const void* /*palette*/) {
    Destroy();
    if (bitmap.isNull()) {
        return false;
    }
    const auto width = static_cast<std::uint32_t>(bitmap.width());
    const auto height = static_cast<std::uint32_t>(bitmap.height());
    if (!Create(width, height, static_cast<std::uint32_t>(bitmap.depth()), kTypeNone)) {
        return false;
    }

    QImage source = bitmap;
    const QImage::Format format = bitmap.format();
    const bool grey = format == QImage::Format_Grayscale8 || format == QImage::Format_Alpha8;
    switch (GetBitCount()) {
    case 24:
        if (format != QImage::Format_RGB32 && format != QImage::Format_ARGB32 &&
            format != QImage::Format_ARGB32_Premultiplied) {
            source = bitmap.convertToFormat(QImage::Format_RGB32);
        }
        break;
    case 8:
        if (grey) {
            SetGreyRamp();
        } else if (format != QImage::Format_Indexed8) {
            source = bitmap.convertToFormat(QImage::Format_Indexed8);
        }
        break;
    case 1:
        if (format != QImage::Format_Mono) {
            source = bitmap.convertToFormat(QImage::Format_Mono);
        }
        break;
    default:
        source = QImage();
        break;
    }
    if (source.isNull()) {
        SetLastError("GetDIBits failed");
        return false;
    }
    if (GetBitCount() != 24 && !grey) {
        FillPaletteFrom(source.colorTable(), GetPalette(), header_.biClrUsed);
    }

    // Rows go bottom-up into the block; padding bytes are written as zeros
    // so that the block is fully defined.
    const std::size_t rowBytes =
        GetBitCount() == 24 ? 3 * std::size_t{width} : (std::size_t{width} * GetBitCount() + 7) / 8;
    for (std::uint32_t sy = 0; sy < height; ++sy) {
        std::uint8_t* out = GetRowPointer(static_cast<std::int32_t>(height - 1 - sy));
        const uchar* in = source.constScanLine(static_cast<int>(sy));
        if (GetBitCount() == 24) {
            const auto* pixels = reinterpret_cast<const QRgb*>(in);
            std::uint8_t* p = out;
            for (std::uint32_t sx = 0; sx < width; ++sx, p += 3) {
                const QRgb v = pixels[sx];
                p[0] = static_cast<std::uint8_t>(v);
                p[1] = static_cast<std::uint8_t>(v >> 8);
                p[2] = static_cast<std::uint8_t>(v >> 16);
            }
        } else {
            std::memcpy(out, in, rowBytes);
        }
        std::memset(out + rowBytes, 0, rowStride_ - rowBytes);
    }
    return true;
}
