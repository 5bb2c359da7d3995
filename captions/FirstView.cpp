#include "captions/FirstView.h"

#include "codec/JpegRows.h"
#include "codec/JpegSplice.h"
#include "formats/PictureGate.h"
#include "image/LxMemFile.h"
#include "image/Orientation.h"
#include "metadata/PhotoMetadata.h"

#include <QFile>

#include <algorithm>

namespace {

// Files from this size on show first from their DCs.
constexpr qsizetype kDcViewBytes = qsizetype{2} << 20;

// Picks the scale after the header and places the scaled rows upright.
class ScaledUpright : public JpegRowSink {
public:
    ScaledUpright(int longerSide, std::uint64_t maxPixels)
        : longerSide_(static_cast<std::uint32_t>(std::max(1, longerSide))), maxPixels_(maxPixels) {}

    unsigned scaleDenominator(std::uint32_t width, std::uint32_t height) override {
        storedWidth_ = width;
        storedHeight_ = height;
        const std::uint32_t longer = std::max(width, height);
        unsigned denominator = 8;
        while (denominator > 1 && (longer + denominator - 1) / denominator < longerSide_)
            denominator /= 2;
        return denominator;
    }

    bool begin(const JpegFrame& frame, const JpegKeptSegments& kept) override {
        try {
            orientation_ = readPhotoMetadata(kept).orientation;
        } catch (const std::bad_alloc&) {
            orientation_ = 1;
        }
        const bool swap = orientationSwapsSides(orientation_);
        fullSize_ = swap ? QSize(static_cast<int>(storedHeight_), static_cast<int>(storedWidth_))
                         : QSize(static_cast<int>(storedWidth_), static_cast<int>(storedHeight_));
        // The same gate as the whole open: a picture it refuses shows nothing.
        PictureGate gate(maxPixels_);
        if (!gate.admit(storedWidth_, storedHeight_, frame.progressive ? 2u * 3u : 0u)) {
            refusal = "too large";
            return false;
        }
        stored_ = frame;
        picture_ = swap ? QImage(static_cast<int>(frame.height), static_cast<int>(frame.width),
                                 QImage::Format_RGB32)
                        : QImage(static_cast<int>(frame.width), static_cast<int>(frame.height),
                                 QImage::Format_RGB32);
        if (picture_.isNull()) {
            refusal = "not enough memory";
            return false;
        }
        return true;
    }

    std::uint8_t* directRow(std::uint32_t y) override {
        return orientation_ == 1 ? picture_.scanLine(static_cast<int>(y)) : nullptr;
    }

    void rows(std::uint32_t first, std::uint32_t count, const std::uint8_t* const* rows) override {
        placeStoredRows(orientation_, stored_.width, stored_.height, first, count, rows,
                        picture_.bits(), picture_.bytesPerLine());
    }

    FirstView take() { return {std::move(picture_), fullSize_}; }

private:
    std::uint32_t longerSide_;
    std::uint64_t maxPixels_;
    std::uint32_t storedWidth_ = 0;
    std::uint32_t storedHeight_ = 0;
    int orientation_ = 1;
    JpegFrame stored_;
    QSize fullSize_;
    QImage picture_;
};

} // namespace

FirstView decodeFirstView(const QString& path, int longerSide, std::uint64_t maxPixels) {
    QFile file(path);
    if (!file.open(QIODevice::ReadOnly))
        return {};
    // Read, not mapped: a file cut short meanwhile must not stop the process.
    const qint64 size = file.size();
    if (size < 4 || size > (qint64{1} << 31) - (1 << 17))
        return {};
    QByteArray bytes = file.readAll();
    if (bytes.size() < 4 || static_cast<uchar>(bytes[0]) != 0xFF ||
        static_cast<uchar>(bytes[1]) != 0xD8)
        return {};
    std::string error;
    // A large photo shows first from its blocks' DCs, read on two threads:
    // libjpeg's reduced decodes still read every coefficient on one.
    if (bytes.size() >= kDcViewBytes) {
        ScaledUpright sink(longerSide, maxPixels);
        JpegKeptSegments kept;
        if (DecodeJpegDcRows(reinterpret_cast<const std::uint8_t*>(bytes.constData()),
                             static_cast<std::size_t>(bytes.size()), sink, kept, error))
            return sink.take();
        if (!sink.refusal.empty())
            return {}; // the whole open says why
    }
    LxMemFile stream(reinterpret_cast<std::uint8_t*>(bytes.data()),
                     static_cast<std::uint32_t>(bytes.size()));
    ScaledUpright sink(longerSide, maxPixels);
    JpegKeptSegments kept;
    // Progressive files keep every coefficient whatever the scale; the
    // whole open bounds that memory, so the first view asks for no more.
    if (!DecodeJpegRows(&stream, sink, kept, error, 3L << 30))
        return {};
    return sink.take();
}
