#include "pipeline/FirstView.h"

#include "codec/JpegRows.h"
#include "codec/JpegSplice.h"
#include "image/LxMemFile.h"
#include "pipeline/UprightRows.h"

#include <QFile>

#include <algorithm>

namespace {

// Files from this size on show first from their DCs.
constexpr qsizetype kDcViewBytes = qsizetype{2} << 20;

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
        UprightRows sink(maxPixels, std::max(1, longerSide));
        JpegKeptSegments kept;
        if (DecodeJpegDcRows(reinterpret_cast<const std::uint8_t*>(bytes.constData()),
                             static_cast<std::size_t>(bytes.size()), sink, kept, error))
            return {sink.takePicture(), sink.fullSize()};
        if (!sink.refusal.empty())
            return {}; // the whole open says why
    }
    LxMemFile stream(reinterpret_cast<std::uint8_t*>(bytes.data()),
                     static_cast<std::uint32_t>(bytes.size()));
    UprightRows sink(maxPixels, std::max(1, longerSide));
    JpegKeptSegments kept;
    // Progressive files keep every coefficient whatever the scale; the
    // whole open bounds that memory, so the first view asks for no more.
    if (!DecodeJpegRows(&stream, sink, kept, error, 3L << 30))
        return {};
    return {sink.takePicture(), sink.fullSize()};
}
