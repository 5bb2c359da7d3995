#include "pipeline/PicturePipeline.h"

#include "captions/DescriptionText.h"
#include "captions/FileReplacer.h"
#include "codec/JpegBlocks.h"
#include "codec/JpegRows.h"
#include "codec/JpegSplice.h"
#include "codec/LxImageJPG.h"
#include "formats/PictureFormat.h"
#include "formats/PictureGate.h"
#include "formats/PictureRead.h"
#include "image/LargePages.h"
#include "image/LxMemFile.h"
#include "image/Orientation.h"
#include "pipeline/UprightRows.h"
#include "render/CaptionRenderer.h"

#include <QDir>
#include <QFile>
#include <QFileInfo>
#include <QRegion>
#include <QScopeGuard>

#include <algorithm>
#include <atomic>
#include <cerrno>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <functional>
#include <memory>
#include <sys/stat.h>
#include <thread>

namespace {
PipelineResult failure(const QString& verb, const QString& path, const QString& reason) {
    return {false,
            QStringLiteral("Could not %1 \"%2\": %3.")
                .arg(verb, QDir::toNativeSeparators(path), reason),
            QString()};
}

QString systemReason(int code) {
    return QString::fromLocal8Bit(std::strerror(code));
}

struct FileCloser {
    void operator()(std::FILE* file) const { std::fclose(file); }
};

// libjpeg's whole-image buffers (progressive files) may grow to what the
// largest picture we open needs; the memory check below bounds the rest.
constexpr long kMaxLibraryMemory = 3L << 30;

QString tooLargeMessage(const QString& path, const QString& why) {
    return QStringLiteral("\"%1\" is too large to open: %2.")
        .arg(QDir::toNativeSeparators(path), why);
}

// Reads the rest of an open file into `bytes`; false with errno set on
// failure, EFBIG for a file the memory stream cannot hold.
bool readWhole(std::FILE* file, std::vector<std::uint8_t>& bytes, const struct stat& st) {
    constexpr std::uint64_t kMaxFileBytes = (std::uint64_t{1} << 31) - (1 << 17);
    const std::uint64_t expected = S_ISREG(st.st_mode) ? static_cast<std::uint64_t>(st.st_size) : 0;
    if (expected > kMaxFileBytes) {
        errno = EFBIG;
        return false;
    }
    try {
        bytes.reserve(static_cast<std::size_t>(expected));
        AdviseLargePages(bytes.data(), bytes.capacity());
        std::uint8_t chunk[65536];
        std::size_t n = 0;
        while ((n = std::fread(chunk, 1, sizeof chunk, file)) > 0) {
            if (bytes.size() + n > kMaxFileBytes) {
                errno = EFBIG;
                return false;
            }
            bytes.insert(bytes.end(), chunk, chunk + n);
        }
    } catch (const std::bad_alloc&) {
        errno = ENOMEM;
        return false;
    }
    return std::ferror(file) == 0;
}

// An RGB32 picture whose memory the kernel may back with huge pages: a
// large canvas of which only some rows are ever touched, each for the first
// time, costs a page fault per 4 KiB otherwise. Null when there is no memory.
QImage largeImage(int width, int height) {
    constexpr std::size_t kHugePage = std::size_t{2} << 20;
    const std::size_t bytes =
        std::size_t{static_cast<unsigned>(width)} * 4 * static_cast<unsigned>(height);
    void* memory = std::aligned_alloc(kHugePage, (bytes + kHugePage - 1) / kHugePage * kHugePage);
    if (memory == nullptr)
        return QImage();
    AdviseLargePages(memory, bytes);
    return QImage(
        static_cast<uchar*>(memory), width, height, width * 4, QImage::Format_RGB32,
        [](void* block) { std::free(block); }, memory);
}

// The copy's rows for the block writer: rows of the topmost band's colour
// that make the bands above the photo whole block rows, then the canvas;
// and which 8 x 8 cells of the photo the captions changed. The photo lies
// `photoLeft` columns in (a whole number of cells).
class CaptionedCanvas : public JpegCanvas {
public:
    CaptionedCanvas(const QImage& canvas, const QImage& photo, int bandsAbove, int padding,
                    QColor padColor, int photoLeft = 0)
        : canvas_(canvas), photo_(photo), bandsAbove_(bandsAbove), padding_(padding),
          photoLeft_(photoLeft), pad_(static_cast<std::size_t>(canvas.width()), padColor.rgb()),
          cellsWide_((static_cast<unsigned>(canvas.width()) + 7) / 8) {}

    const std::uint8_t* row(std::uint32_t y) override {
        if (y < static_cast<std::uint32_t>(padding_))
            return reinterpret_cast<const std::uint8_t*>(pad_.data());
        return canvas_.constScanLine(static_cast<int>(y) - padding_);
    }

    bool changed(std::uint32_t cellX, std::uint32_t cellY) override {
        if (cells_.empty())
            findChangedCells();
        const std::size_t at = std::size_t{cellY} * cellsWide_ + cellX;
        return at < cells_.size() && cells_[at] != 0;
    }

private:
    // Compares the canvas with the photo once, on the first question: an
    // encode of the whole canvas never asks.
    void findChangedCells() {
        const unsigned photoTop = static_cast<unsigned>(padding_ + bandsAbove_);
        cells_.assign(cellsWide_ * ((static_cast<unsigned>(canvas_.height() + padding_) + 7) / 8),
                      0);
        const std::size_t rowBytes = static_cast<std::size_t>(photo_.width()) * 4;
        const std::size_t firstCell = static_cast<std::size_t>(photoLeft_) / 8;
        for (int y = 0; y < photo_.height(); ++y) {
            const uchar* drawn = canvas_.constScanLine(bandsAbove_ + y) + photoLeft_ * 4;
            const uchar* was = photo_.constScanLine(y);
            if (std::memcmp(drawn, was, rowBytes) == 0)
                continue;
            const std::size_t cellRow = (photoTop + static_cast<unsigned>(y)) / 8;
            for (std::size_t x = 0; x < rowBytes; x += 32) {
                const std::size_t n = std::min<std::size_t>(32, rowBytes - x);
                if (std::memcmp(drawn + x, was + x, n) != 0)
                    cells_[cellRow * cellsWide_ + firstCell + x / 32] = 1;
            }
        }
    }

    const QImage& canvas_;
    const QImage& photo_;
    int bandsAbove_;
    int padding_;
    int photoLeft_;
    std::vector<QRgb> pad_;
    std::size_t cellsWide_;
    std::vector<std::uint8_t> cells_;
};

QString keptBlocksNote(const QString& path, const QString& why) {
    return QStringLiteral("The photo's own compressed blocks could not be kept in \"%1\" because "
                          "%2; the whole picture was encoded again with the photo's own quality "
                          "settings.")
        .arg(QDir::toNativeSeparators(path), why);
}

// The rows that make `rows` of bands before the photo whole MCUs of
// `mcu`, so that every block of the photo moves intact: none when they are
// whole already.
int wholeMcuPadding(int rows, unsigned mcu) {
    const int step = static_cast<int>(mcu);
    return rows > 0 ? (step - rows % step) % step : 0;
}

void addNote(QString& note, const QString& more) {
    if (more.isEmpty())
        return;
    if (!note.isEmpty())
        note += QLatin1Char(' ');
    note += more;
}

// The text a document shows as the photo's own description: EXIF
// ImageDescription as the codec's own reader finds it, else XMP's, else
// IPTC's.
QString photoDescription(const LxImageJPG& exif, const PhotoMetadata* metadata) {
    const char* bytes = exif.exifInfo.imageDescription;
    const std::size_t length = ::strnlen(bytes, sizeof exif.exifInfo.imageDescription);
    const bool cutByReader = length + 1 >= sizeof exif.exifInfo.imageDescription;
    QString description = decodeDescription(std::string_view(bytes, length), cutByReader);
    if (description.isEmpty() && metadata)
        description = QString::fromUtf8(metadata->xmpDescription);
    if (description.isEmpty() && metadata)
        description = decodeDescription(metadata->iptcDescription);
    return description;
}

void fillDocument(PictureDocument& document, const QString& path, QImage picture,
                  const QString& description, std::shared_ptr<const PhotoMetadata> metadata,
                  PictureFormat format) {
    document.picture = std::move(picture);
    document.description = description;
    document.metadata = std::move(metadata);
    document.fileName = QFileInfo(path).fileName();
    document.format = format;
    document.sourceJpeg.reset();
    document.sourceIndex.reset();
}

// HEIF, AVIF, PNG, TIFF and WebP: the format's reader gives the picture and
// the metadata as JPEG segments, which from then on take the JPEG road.
PipelineResult openOtherPicture(PictureDocument& document, const QString& path,
                                const std::vector<std::uint8_t>& bytes, std::uint64_t maxPixels) {
    const PictureFormat format = sniffPictureFormat(bytes.data(), bytes.size());
    PictureGate gate(maxPixels);
    PictureRead read = format == PictureFormat::Heif || format == PictureFormat::Avif
                           ? readHeifPicture(bytes.data(), bytes.size(), gate)
                           : readPluginPicture(bytes.data(), bytes.size(), format, gate);
    if (read.picture.isNull()) {
        if (read.tooLarge)
            return {false, tooLargeMessage(path, read.error), QString()};
        return failure(QStringLiteral("open"), path, read.error);
    }
    auto metadata = std::make_shared<PhotoMetadata>();
    auto exif = std::make_unique<LxImageJPG>();
    try {
        *metadata = readPhotoMetadata(std::move(read.kept));
        // The codec's own EXIF reader finds the description in the segments,
        // as it does in a JPEG's header.
        std::vector<std::uint8_t> header = {0xFF, 0xD8};
        for (const JpegSegment& segment : metadata->segments)
            AppendJpegSegment(header, segment.marker, segment.data);
        header.insert(header.end(), {0xFF, 0xD9});
        LxMemFile stream(header.data(), static_cast<std::uint32_t>(header.size()));
        exif->ReadExif(&stream);
    } catch (const std::bad_alloc&) {
        *metadata = PhotoMetadata();
    }
    if (metadata->problem.empty() && !read.metadataProblem.empty())
        metadata->problem = read.metadataProblem;
    QImage picture = std::move(read.picture);
    // HEIF has turned its picture itself; its EXIF Orientation describes the
    // stored picture and must not turn it a second time.
    if (!read.upright)
        picture = turnedUpright(picture, metadata->orientation);
    if (picture.isNull())
        return failure(QStringLiteral("open"), path, QStringLiteral("there is not enough memory"));
    const QString description = photoDescription(*exif, metadata.get());
    fillDocument(document, path, std::move(picture), description, std::move(metadata), format);
    if (read.note.isEmpty())
        return {true, QString(), QString()};
    return {true, QString(),
            QStringLiteral("\"%1\": %2.").arg(QDir::toNativeSeparators(path), read.note)};
}

// "The maker note and the XMP packet of "a.jpg" were left out of the copy
// because they are damaged; everything else was kept."
QString partsLeftOutNote(const std::vector<std::string>& parts, const QString& photo) {
    QString named;
    for (std::size_t i = 0; i < parts.size(); ++i) {
        if (i > 0)
            named += i + 1 == parts.size() ? QStringLiteral(" and the ") : QStringLiteral(", the ");
        named += QString::fromStdString(parts[i]);
    }
    const bool one = parts.size() == 1;
    return QStringLiteral("The %1 of \"%2\" %3 left out of the copy because %4 damaged; "
                          "everything else was kept.")
        .arg(named, photo, one ? QStringLiteral("was") : QStringLiteral("were"),
             one ? QStringLiteral("it is") : QStringLiteral("they are"));
}

// The metadata segments of a copy of `width` x `height` of the document, as
// the choices say; the first thing left out is told in `note`.
std::vector<JpegSegment> metadataSegments(const PictureDocument& document,
                                          const SaveChoices& choices, const QString& path,
                                          std::uint32_t width, std::uint32_t height, QString& note,
                                          bool keepOrientation = false,
                                          bool* metadataCarried = nullptr) {
    const QByteArray description = encodeDescription(savedDescription(document));
    QByteArray segments;
    if (metadataCarried != nullptr)
        *metadataCarried = false;
    if (choices.metadata != MetadataChoice::DescriptionOnly && document.metadata) {
        const CarriedMetadata carried =
            carryMetadata(*document.metadata, choices.metadata, description.toStdString(), width,
                          height, keepOrientation);
        segments = QByteArray(reinterpret_cast<const char*>(carried.segments.data()),
                              static_cast<qsizetype>(carried.segments.size()));
        if (metadataCarried != nullptr)
            *metadataCarried = !segments.isEmpty();
        if (!carried.leftOut.empty() && note.isEmpty()) {
            note =
                QStringLiteral("The photo's metadata was left out of \"%1\" because %2; "
                               "only the description was saved.")
                    .arg(QDir::toNativeSeparators(path), QString::fromStdString(carried.leftOut));
        } else if (!carried.leftOutParts.empty() && note.isEmpty()) {
            note = partsLeftOutNote(carried.leftOutParts, document.fileName);
        }
    }
    if (segments.isEmpty())
        segments = descriptionSegment(description);
    return SplitJpegSegments(reinterpret_cast<const std::uint8_t*>(segments.constData()),
                             static_cast<std::size_t>(segments.size()));
}

// Puts the encoded copy at `path` whole, or leaves what was there.
PipelineResult writeEncoded(const QString& path, const SaveChoices& choices,
                            LxOwnedMemFile& encoded, const QString& note) {
    FileReplacer out(path);
    if (!choices.replaceExisting)
        out.keepExisting();
    if (!out.open() ||
        !out.write(encoded.GetBufferPointer(false), static_cast<std::size_t>(encoded.Size())) ||
        !out.commit())
        return failure(QStringLiteral("save"), path, out.errorText());
    return {true, QString(), note};
}

std::optional<PipelineResult> saveReachedCopy(const PictureDocument& document, const QString& path,
                                              const SaveChoices& choices,
                                              const std::function<bool(SaveStage)>& stopsAt);
} // namespace

PipelineResult openPicture(PictureDocument& document, const QString& path, std::uint64_t maxPixels,
                           bool indexBlocks, const std::atomic<bool>* stop) {
    const QByteArray name = QFile::encodeName(path);
    std::unique_ptr<std::FILE, FileCloser> file(std::fopen(name.constData(), "rb"));
    if (!file) {
        return failure(QStringLiteral("open"), path, systemReason(errno));
    }
    struct stat st {};
    if (::fstat(::fileno(file.get()), &st) == 0 && S_ISDIR(st.st_mode)) {
        return failure(QStringLiteral("open"), path, QStringLiteral("it is a folder"));
    }

    // The whole file is kept with a JPEG's document: a save copies the
    // photo's untouched blocks from exactly what was decoded here.
    auto source = std::make_shared<std::vector<std::uint8_t>>();
    if (!readWhole(file.get(), *source, st)) {
        if (errno == EFBIG)
            return {false, tooLargeMessage(path, QStringLiteral("the file has more than 2 GB")),
                    QString()};
        return failure(QStringLiteral("open"), path, systemReason(errno));
    }
    file.reset();
    // The format is told by the file's first bytes, whatever its name says;
    // files that are no known format take the JPEG road and get its message.
    const PictureFormat format = sniffPictureFormat(source->data(), source->size());
    if (format != PictureFormat::Jpeg && format != PictureFormat::Unknown)
        return openOtherPicture(document, path, *source, maxPixels);

    // The walk of the coded data for a save to come runs beside the decode.
    std::shared_ptr<const JpegCodedIndex> index;
    std::atomic<bool> failed{false};
    std::jthread walker;
    if (indexBlocks) {
        walker = std::jthread([&] {
            std::string why;
            index = IndexJpegCodedData(source->data(), source->size(), why, &failed, 0);
        });
    }
    // Stops the walk on every early return.
    const auto stopWalk = qScopeGuard([&] { failed = true; });

    LxMemFile stream(source->data(), static_cast<std::uint32_t>(source->size()));
    // The EXIF description is read as it always was, by our own reader,
    // which puts the stream back where it found it.
    auto exif = std::make_unique<LxImageJPG>();
    exif->ReadExif(&stream);
    UprightRows upright(maxPixels, 0, stop);
    JpegKeptSegments kept;
    std::string error;
    if (!DecodeJpegRows(&stream, upright, kept, error, kMaxLibraryMemory)) {
        if (!upright.gateRefusal().isEmpty())
            return {false, tooLargeMessage(path, upright.gateRefusal()), QString()};
        return failure(QStringLiteral("open"), path,
                       QStringLiteral("it is not a JPEG picture that can be read (%1)")
                           .arg(QString::fromLocal8Bit(error.c_str())));
    }

    std::shared_ptr<const PhotoMetadata> metadata = upright.metadata();
    // A description another program wrote in XMP or IPTC shows when EXIF has none.
    const QString description = photoDescription(*exif, metadata.get());
    if (walker.joinable())
        walker.join();
    fillDocument(document, path, upright.takePicture(), description, std::move(metadata),
                 PictureFormat::Jpeg);
    document.sourceJpeg = std::move(source);
    document.sourceIndex = std::move(index);
    return {true, QString(), QString()};
}

namespace {
// A turned photo whose size allows no lossless turn, saved with its
// metadata: the copy keeps the photo's blocks as they are stored and keeps
// its Orientation tag, so that viewers turn it as they turn the photo. The
// captions are drawn upright and the canvas turned back into the stored
// frame; the band that comes before the photo there grows at its outer edge
// (its edge row repeated) to whole MCUs. Nothing when the copy cannot be
// made so: the caller then encodes the whole picture upright.
std::optional<PipelineResult> saveStoredCopy(const PictureDocument& document, const QString& path,
                                             const SaveChoices& choices, const QImage& canvas,
                                             const CanvasBands& bands, const JpegBlockGrid& grid,
                                             const std::vector<std::uint8_t>& source) {
    const int orientation = document.metadata->orientation;
    // Whether the upright canvas's top edge comes first in the stored frame
    // (at its top or left); for 3, 4, 7 and 8 its bottom edge does.
    const bool topFirst = orientation == 2 || orientation == 5 || orientation == 6;
    const int lead = static_cast<int>(topFirst ? bands.above : bands.below);
    const int trail = static_cast<int>(topFirst ? bands.below : bands.above);
    const int padding = wholeMcuPadding(lead, grid.mcuHeight);
    QImage padded(canvas.width(), canvas.height() + padding, QImage::Format_RGB32);
    if (padded.isNull())
        return std::nullopt;
    const std::size_t rowBytes = static_cast<std::size_t>(canvas.width()) * 4;
    for (int y = 0; y < padded.height(); ++y) {
        const int from = std::clamp(topFirst ? y - padding : y, 0, canvas.height() - 1);
        std::memcpy(padded.scanLine(y), canvas.constScanLine(from), rowBytes);
    }
    // 6 and 8 undo each other; every other turn undoes itself.
    const int back = orientation == 6 ? 8 : orientation == 8 ? 6 : orientation;
    const QImage stored = turnedUpright(padded, back);
    const QImage storedPhoto = turnedUpright(document.picture, back);
    if (stored.isNull() || storedPhoto.isNull())
        return std::nullopt;

    const bool sideways = orientationSwapsSides(orientation);
    const auto before = static_cast<std::uint32_t>(lead + padding);
    JpegBlockCopy copy;
    copy.source = source.data();
    copy.sourceSize = source.size();
    copy.height = static_cast<std::uint32_t>(stored.height());
    copy.redrawFrom = copy.height;
    if (sideways) {
        copy.leftColumns = before;
        copy.rightColumns = static_cast<std::uint32_t>(trail);
    } else {
        copy.topRows = before;
        if (trail > 0) {
            const auto photoHeight = static_cast<std::uint32_t>(storedPhoto.height());
            copy.redrawFrom = before + photoHeight / grid.mcuHeight * grid.mcuHeight;
        }
    }
    QString note;
    bool carried = false;
    copy.markers =
        metadataSegments(document, choices, path, static_cast<std::uint32_t>(stored.width()),
                         copy.height, note, true, &carried);
    if (!carried)
        return std::nullopt;
    CaptionedCanvas rows(stored, storedPhoto, sideways ? 0 : static_cast<int>(before), 0, QColor(),
                         sideways ? static_cast<int>(before) : 0);
    LxOwnedMemFile encoded;
    JpegBlockCounts counts;
    std::string error;
    if (!WriteJpegBlockCopy(&encoded, copy, rows, counts, error))
        return std::nullopt;
    addNote(note, QStringLiteral("\"%1\" keeps the photo's own compressed blocks as the photo "
                                 "stores them, with its Orientation tag, because its size does "
                                 "not allow a lossless turn upright; viewers show it upright as "
                                 "they show the photo.")
                      .arg(QDir::toNativeSeparators(path)));
    return writeEncoded(path, choices, encoded, note);
}
} // namespace

PipelineResult savePicture(const PictureDocument& document, const QString& path,
                           const SaveChoices& choices, const SaveProgress& reached) {
    const QString save = QStringLiteral("save");
    if (!document.hasPicture()) {
        return failure(save, path,
                       QStringLiteral("there is no picture to save; open a photo first"));
    }
    const auto stopsAt = [&](SaveStage stage) { return reached && !reached(stage); };
    const QString cancelled = QStringLiteral("the save was cancelled");
    if (stopsAt(SaveStage::Rendering))
        return failure(save, path, cancelled);
    // An upright JPEG keeps its blocks by the command line's road, which
    // draws only where the captions reach.
    if (choices.quality.keep && document.sourceJpeg && !document.sourceJpeg->empty() &&
        document.format == PictureFormat::Jpeg &&
        (!document.metadata || document.metadata->orientation == 1)) {
        if (std::optional<PipelineResult> done = saveReachedCopy(document, path, choices, stopsAt))
            return *done;
    }
    const QImage canvas = renderCaptions(document);
    if (canvas.isNull()) {
        return failure(save, path,
                       QStringLiteral("there is not enough memory to draw the captions"));
    }

    // The photo's own blocks stay where the captions leave them alone; the
    // bands above it then grow to whole block rows.
    const std::vector<std::uint8_t>* source =
        choices.quality.keep && document.sourceJpeg && !document.sourceJpeg->empty()
            ? document.sourceJpeg.get()
            : nullptr;
    QString note;
    JpegBlockGrid grid;
    if (source != nullptr) {
        const int orientation = document.metadata ? document.metadata->orientation : 1;
        grid = ReadJpegBlockGrid(source->data(), source->size(), orientation);
        if (grid.cannotKeep.empty() && (grid.width != static_cast<std::uint32_t>(canvas.width()) ||
                                        grid.height != document.height()))
            grid.cannotKeep = "the opened picture is not the one in the file";
    }
    const CanvasBands bands = canvasBands(document);
    if (source != nullptr && grid.keepsStored &&
        choices.metadata != MetadataChoice::DescriptionOnly && document.metadata &&
        document.metadata->orientation != 1 &&
        grid.width == static_cast<std::uint32_t>(canvas.width()) &&
        grid.height == document.height()) {
        if (stopsAt(SaveStage::Encoding))
            return failure(save, path, cancelled);
        if (std::optional<PipelineResult> done =
                saveStoredCopy(document, path, choices, canvas, bands, grid, *source))
            return *done;
    }
    const int padding = source != nullptr && grid.cannotKeep.empty()
                            ? wholeMcuPadding(bands.above, grid.mcuHeight)
                            : 0;
    const std::uint32_t width = static_cast<std::uint32_t>(canvas.width());

    // The metadata segments for a copy of `height` rows.
    const auto markersFor = [&](std::uint32_t height) {
        return metadataSegments(document, choices, path, width, height, note);
    };
    const auto canvasHeight = static_cast<std::uint32_t>(canvas.height());

    if (stopsAt(SaveStage::Encoding))
        return failure(save, path, cancelled);
    LxOwnedMemFile encoded;
    bool done = false;
    std::string error;
    if (source != nullptr && grid.cannotKeep.empty()) {
        CaptionedCanvas rows(canvas, document.picture, bands.above, padding, bands.topmostColor);
        JpegBlockCopy copy;
        copy.source = source->data();
        copy.sourceSize = source->size();
        copy.orientation = document.metadata ? document.metadata->orientation : 1;
        copy.topRows = static_cast<std::uint32_t>(padding + bands.above);
        copy.height = canvasHeight + static_cast<std::uint32_t>(padding);
        // A band below takes the photo's last, partial block row with it.
        copy.redrawFrom = bands.below > 0
                              ? copy.topRows + document.height() / grid.mcuHeight * grid.mcuHeight
                              : copy.height;
        copy.markers = markersFor(copy.height);
        copy.index = document.sourceIndex;
        JpegBlockCounts counts;
        done = WriteJpegBlockCopy(&encoded, copy, rows, counts, error);
        if (!done)
            grid.cannotKeep = error;
    }
    if (!done && source != nullptr) {
        // The whole canvas encoded again, with the photo's own tables.
        addNote(note, keptBlocksNote(path, QString::fromStdString(grid.cannotKeep)));
        CaptionedCanvas rows(canvas, document.picture, bands.above, 0, bands.topmostColor);
        LxOwnedMemFile fresh;
        done = EncodeJpegLikeSource(&fresh, source->data(), source->size(), rows, width,
                                    canvasHeight, markersFor(canvasHeight), error);
        if (done)
            encoded.Write(fresh.GetBufferPointer(false), 1, static_cast<std::size_t>(fresh.Size()));
    }
    if (!done) {
        JpegEncodeSettings settings;
        settings.quality = std::clamp(choices.quality.quality, 1, 100);
        settings.chroma = copyChroma(document.format);
        settings.markers = markersFor(canvasHeight);
        if (!EncodeJpegRows(&encoded, canvas.constBits(), canvas.bytesPerLine(), width,
                            canvasHeight, settings, error)) {
            return failure(save, path, QString::fromLocal8Bit(error.c_str()));
        }
    }

    if (stopsAt(SaveStage::Writing))
        return failure(save, path, cancelled);
    return writeEncoded(path, choices, encoded, note);
}

namespace {
// The command line's road for a JPEG whose blocks are kept. The canvas is
// allocated once, the photo decoded straight into its rows, and only the
// rows the captions can reach (in whole MCU rows, with the photo's last
// partial one when a band follows it) are decoded at all: the others are
// never asked for, since their blocks are copied from the file. The
// captions are then drawn only where they can put ink, over the rows as
// they were, which gives the pixels a whole render gives.
class ReachedRows : public JpegRowSink {
public:
    ReachedRows(PictureDocument& document, const CaptionList& captions, const JpegBlockGrid& grid,
                const LxImageJPG& exif)
        : document_(document), captions_(captions), grid_(grid), exif_(exif) {}

    // Called twice: first on the photo, to plan (the header is all it
    // reads), then on the stream the rows are decoded from.
    bool begin(const JpegFrame& frame, const JpegKeptSegments& kept) override {
        if (planned())
            return frame.width == grid_.width &&
                   frame.height == (rowMap_.empty() ? grid_.height : standInHeight_);
        std::shared_ptr<PhotoMetadata> metadata;
        try {
            metadata = std::make_shared<PhotoMetadata>(readPhotoMetadata(kept));
        } catch (const std::bad_alloc&) {
            refusal = "not enough memory";
            return false;
        }
        // A turned photo and a picture the gate would refuse take the
        // general road, which tells why.
        PictureGate gate(kMaxOpenPixels);
        if (metadata->orientation != 1 || frame.width != grid_.width ||
            frame.height != grid_.height ||
            !gate.admit(frame.width, frame.height,
                        frame.progressive ? static_cast<std::uint64_t>(frame.components) * 2 : 0)) {
            refusal = "another road";
            return false;
        }
        const auto width = static_cast<int>(frame.width);
        const auto height = static_cast<int>(frame.height);
        // The bands are measured on a picture of the photo's size; its
        // memory is never touched.
        document_.picture = QImage(width, height, QImage::Format_RGB32);
        if (document_.picture.isNull()) {
            refusal = "not enough memory";
            return false;
        }
        const QString description = photoDescription(exif_, metadata.get());
        fillDocument(document_, document_.fileName, std::move(document_.picture), description,
                     std::move(metadata), PictureFormat::Jpeg);
        for (std::int32_t i = 0; i < captions_.count(); ++i)
            document_.captions.append(*captions_.at(i));
        if (!plan())
            return false;
        refusal = "planned";
        return false;
    }

    // Measures the bands and the captions' reach on the document (whose
    // picture need only have the photo's size), allocates the canvas and
    // makes the document's picture its photo rows. False for a canvas too
    // tall for a JPEG or too large for memory.
    bool plan() {
        const int width = document_.picture.width();
        const int height = document_.picture.height();
        bands_ = canvasBands(document_);
        const std::int64_t canvasHeight = height + bands_.above + bands_.below;
        if (canvasHeight > 65500) {
            refusal = "another road";
            return false;
        }
        document_.picture = QImage();
        canvas_ = largeImage(width, static_cast<int>(canvasHeight));
        if (canvas_.isNull()) {
            refusal = "not enough memory";
            return false;
        }
        // The document's picture is the canvas's photo rows.
        document_.picture =
            QImage(canvas_.bits() + std::ptrdiff_t{bands_.above} * canvas_.bytesPerLine(), width,
                   height, canvas_.bytesPerLine(), QImage::Format_RGB32);
        shown_ = shownCaptions(document_, {});
        for (std::size_t i = 0; i < shown_.size(); ++i)
            reach_ += inkReach(document_, shown_, i);
        bounds_ = reach_.boundingRect();
        const unsigned mcu = grid_.mcuHeight;
        wanted_.assign((static_cast<unsigned>(height) + mcu - 1) / mcu, 0);
        for (const QRect& rect : reach_) {
            const int first = std::max(rect.top() - bands_.above, 0);
            const int last = std::min(rect.bottom() - bands_.above, height - 1);
            for (int row = first; row <= last; row += 1)
                wanted_[static_cast<std::size_t>(row) / mcu] = 1;
        }
        // A band below takes the photo's last MCU row with it when the photo
        // ends inside that row: all of the row is encoded again.
        const bool wholeRows = bands_.below > 0 && static_cast<unsigned>(height) % mcu != 0;
        if (wholeRows)
            wanted_.back() = 1;
        // Elsewhere only the columns the captions reach are needed, with an
        // MCU on either side for the chroma upsampling at their edges.
        const QRect reach = photoReach();
        const int mcuWidth = static_cast<int>(grid_.mcuWidth);
        if (!wholeRows && !reach.isEmpty()) {
            firstColumn_ =
                static_cast<std::uint32_t>(std::max(0, (reach.left() / mcuWidth - 1) * mcuWidth));
            endColumn_ = static_cast<std::uint32_t>(
                std::min(width, (reach.right() / mcuWidth + 2) * mcuWidth));
        } else {
            firstColumn_ = 0;
            endColumn_ = static_cast<std::uint32_t>(width);
        }
        return true;
    }

    // The wanted rows from a picture already decoded (the window's).
    void copyRows(const QImage& photo) {
        const std::size_t from = std::size_t{firstColumn_} * 4;
        const std::size_t bytes = std::size_t{endColumn_ - firstColumn_} * 4;
        for (int y = 0; y < photo.height(); ++y) {
            if (wants(static_cast<std::uint32_t>(y)))
                std::memcpy(directRow(static_cast<std::uint32_t>(y)) + from,
                            photo.constScanLine(y) + from, bytes);
        }
    }

    bool planned() const { return !canvas_.isNull(); }

    // The MCU rows a decode must read whole: the wanted ones and, for
    // chroma upsampling at their edges, one on either side.
    std::vector<std::uint8_t> readRows() const {
        std::vector<std::uint8_t> rows(wanted_.size(), 0);
        for (std::size_t r = 0; r < wanted_.size(); ++r) {
            if (wanted_[r] != 0) {
                rows[r] = 1;
                rows[r > 0 ? r - 1 : r] = 1;
                rows[r + 1 < rows.size() ? r + 1 : r] = 1;
            }
        }
        return rows;
    }

    // Rows to come from a stand-in that holds only the MCU rows marked in
    // `keptRows`, one after another; none for the photo itself.
    void readFrom(const std::vector<std::uint8_t>& keptRows) {
        rowMap_.clear();
        standInHeight_ = 0;
        const unsigned mcu = grid_.mcuHeight;
        for (unsigned m = 0; m < keptRows.size(); ++m) {
            if (keptRows[m]) {
                rowMap_.push_back(m);
                standInHeight_ += std::min(mcu, grid_.height - m * mcu);
            }
        }
    }

    std::uint8_t* directRow(std::uint32_t y) override {
        return canvas_.scanLine(bands_.above + static_cast<int>(photoRow(y)));
    }
    void rows(std::uint32_t, std::uint32_t, const std::uint8_t* const*) override {}
    bool wants(std::uint32_t y) override { return wanted_[photoRow(y) / grid_.mcuHeight] != 0; }
    std::pair<std::uint32_t, std::uint32_t> columns(std::uint32_t) override {
        return {firstColumn_, endColumn_};
    }

    // Draws the captions; before that, keeps the photo's pixels where they
    // can put ink, to tell later which cells they changed.
    // Draws the bands, with whatever ink reaches them: they need none of
    // the photo's pixels, so this may go before the photo's rows are there.
    void drawBands() {
        const int width = canvas_.width();
        // The band rows start black, as on every canvas.
        for (const QRect& band : bandRows()) {
            for (int row = band.top(); row <= band.bottom(); ++row)
                std::fill_n(reinterpret_cast<QRgb*>(canvas_.scanLine(row)), width, qRgb(0, 0, 0));
            redrawCaptions(canvas_, document_, shown_, 0, band);
        }
    }

    // Draws the captions over the photo's rows they reach; before that,
    // keeps the photo's pixels there, to tell later which cells they
    // changed.
    void drawReach() {
        // Without memory for the photo's pixels every reached cell counts
        // as changed.
        before_ = largeImage(std::max(bounds_.width(), 1), std::max(bounds_.height(), 1));
        for (const QRect& rect : before_.isNull() ? QRegion() : reach_) {
            for (int row = rect.top(); row <= rect.bottom(); ++row)
                std::memcpy(before_.scanLine(row - bounds_.top()) +
                                (rect.left() - bounds_.left()) * 4,
                            canvas_.constScanLine(row) + rect.left() * 4,
                            static_cast<std::size_t>(rect.width()) * 4);
        }
        for (const QRect& rect : reach_.subtracted(bandRows()))
            redrawCaptions(canvas_, document_, shown_, 0, rect);
    }

    // Whether any pixel of `cell` (canvas coordinates) differs from the
    // photo: only where the captions can reach.
    bool changed(const QRect& area) const {
        if (area.bottom() < bounds_.top() || area.top() > bounds_.bottom() ||
            area.right() < bounds_.left() || area.left() > bounds_.right())
            return false;
        const QRect cell = area & canvas_.rect();
        if (!cell.intersects(bounds_))
            return false;
        for (const QRect& rect : reach_) {
            const QRect part = cell & rect;
            if (before_.isNull() && !part.isEmpty())
                return true;
            for (int row = part.top(); row <= part.bottom(); ++row) {
                if (std::memcmp(canvas_.constScanLine(row) + part.left() * 4,
                                before_.constScanLine(row - bounds_.top()) +
                                    (part.left() - bounds_.left()) * 4,
                                static_cast<std::size_t>(part.width()) * 4) != 0)
                    return true;
            }
        }
        return false;
    }

    const QImage& canvas() const { return canvas_; }
    const CanvasBands& bands() const { return bands_; }
    // Where the captions may put ink on the photo's rows of the canvas, as
    // one rectangle.
    QRect photoReach() const {
        const QRect photo(0, bands_.above, canvas_.width(), document_.picture.height());
        return (reach_ & photo).boundingRect();
    }

private:
    // The rows of the bands above and below the photo.
    QRegion bandRows() const {
        QRegion rows;
        const int photoEnd = bands_.above + document_.picture.height();
        if (bands_.above > 0)
            rows += QRect(0, 0, canvas_.width(), bands_.above);
        if (photoEnd < canvas_.height())
            rows += QRect(0, photoEnd, canvas_.width(), canvas_.height() - photoEnd);
        return rows;
    }

private:
    PictureDocument& document_;
    const CaptionList& captions_;
    const JpegBlockGrid& grid_;
    const LxImageJPG& exif_;
    CanvasBands bands_;
    QImage canvas_;
    QImage before_;
    std::vector<const Caption*> shown_;
    QRegion reach_;
    QRect bounds_;
    // The photo's row of row y of what is decoded.
    std::uint32_t photoRow(std::uint32_t y) const {
        if (rowMap_.empty())
            return y;
        const unsigned mcu = grid_.mcuHeight;
        return rowMap_[y / mcu] * mcu + y % mcu;
    }

    std::vector<std::uint8_t> wanted_;
    std::vector<unsigned> rowMap_; // per MCU row of a stand-in, the photo's
    std::uint32_t standInHeight_ = 0;
    std::uint32_t firstColumn_ = 0;
    std::uint32_t endColumn_ = 0;
};

// The rows of the copy: rows of the topmost band's colour, then the canvas.
class ReachedCanvas : public JpegCanvas {
public:
    ReachedCanvas(const ReachedRows& rows, int padding)
        : rows_(rows), padding_(padding),
          pad_(static_cast<std::size_t>(rows.canvas().width()), rows.bands().topmostColor.rgb()) {}

    const std::uint8_t* row(std::uint32_t y) override {
        if (y < static_cast<std::uint32_t>(padding_))
            return reinterpret_cast<const std::uint8_t*>(pad_.data());
        return rows_.canvas().constScanLine(static_cast<int>(y) - padding_);
    }
    bool changed(std::uint32_t cellX, std::uint32_t cellY) override {
        return rows_.changed(
            QRect(static_cast<int>(cellX) * 8, static_cast<int>(cellY) * 8 - padding_, 8, 8));
    }
    Cells changedCells() override {
        const QRect reach = rows_.photoReach();
        if (reach.isEmpty())
            return {0, 0, 0, 0};
        return {static_cast<std::uint32_t>(reach.left()) / 8,
                static_cast<std::uint32_t>(reach.top() + padding_) / 8,
                static_cast<std::uint32_t>(reach.right()) / 8 + 1,
                static_cast<std::uint32_t>(reach.bottom() + padding_) / 8 + 1};
    }

private:
    const ReachedRows& rows_;
    int padding_;
    std::vector<QRgb> pad_;
};
} // namespace

namespace {
// Writes the copy of a photo whose reached rows are drawn, keeping its
// blocks: false when they cannot be kept (the general road then says why).
// The file a copy that keeps the blocks goes to, written while the copy is
// made: the splice hands over its first bytes as soon as they are final,
// and the disk starts on them at once.
struct CopyFile {
    CopyFile(const QString& path, const SaveChoices& choices) : path(path), file(path) {
        if (!choices.replaceExisting)
            file.keepExisting();
    }
    ~CopyFile() { waitForWriter(); }
    CopyFile(const CopyFile&) = delete;
    CopyFile& operator=(const CopyFile&) = delete;
    // Writes what the file lacks of the finished copy, of whose first bytes
    // `handedOver` went into it already, and puts it in place.
    PipelineResult finish(const std::vector<std::uint8_t>& encoded, std::size_t handedOver,
                          const QString& note) {
        waitForWriter();
        std::size_t from = handed;
        if (handedOver != handed) {
            // The copy was written again from its start.
            from = 0;
            if (handed > 0 && !file.rewind())
                return failure(QStringLiteral("save"), path, file.errorText());
        }
        if (!file.open() || !file.write(encoded.data() + from, encoded.size() - from) ||
            !file.commit())
            return failure(QStringLiteral("save"), path, file.errorText());
        return {true, QString(), note};
    }

    // Writes the first bytes of the copy on a thread of its own.
    void writeFirst(const std::uint8_t* bytes, std::size_t size) {
        waitForWriter();
        writer = std::thread([this, bytes, size] {
            if (file.open() && file.write(bytes, size) && file.startWriteback())
                handed = size;
        });
    }
    void waitForWriter() {
        if (writer.joinable())
            writer.join();
    }

    QString path;
    FileReplacer file;
    std::size_t handed = 0;
    std::thread writer;
};

bool writeReachedCopy(const ReachedRows& rows, const PictureDocument& document,
                      const std::vector<std::uint8_t>& source,
                      const std::shared_ptr<const JpegCodedIndex>& index, const JpegBlockGrid& grid,
                      bool spliceable, const SaveChoices& choices, CopyFile& output,
                      std::vector<std::uint8_t>& encoded, JpegBlockCounts& counts, QString& note,
                      const std::function<bool()>& drawReach) {
    const CanvasBands& bands = rows.bands();
    const int padding = wholeMcuPadding(bands.above, grid.mcuHeight);
    ReachedCanvas canvas(rows, padding);
    JpegBlockCopy copy;
    copy.source = source.data();
    copy.sourceSize = source.size();
    copy.topRows = static_cast<std::uint32_t>(padding + bands.above);
    copy.height = static_cast<std::uint32_t>(rows.canvas().height() + padding);
    copy.redrawFrom = bands.below > 0
                          ? copy.topRows + document.height() / grid.mcuHeight * grid.mcuHeight
                          : copy.height;
    copy.markers = metadataSegments(document, choices, output.path, grid.width, copy.height, note);
    // Without a walk made already, the splice walks the data itself.
    copy.index = index;
    copy.splice = spliceable;
    copy.drawRest = drawReach;
    // A file that cannot be opened or written here says why when the copy
    // is finished.
    copy.handOver = [&output](const std::uint8_t* bytes, std::size_t size) {
        output.writeFirst(bytes, size);
    };
    copy.takeBack = [&output] { output.waitForWriter(); };
    std::string error;
    return WriteJpegBlockCopy(encoded, copy, canvas, counts, error);
}

// The window's save of an upright JPEG whose blocks are kept: the command
// line's road, with the rows the captions reach taken from the picture the
// window decoded instead of from a decode. Nothing when this road cannot
// serve; a result (the copy written, or a cancel) otherwise.
std::optional<PipelineResult> saveReachedCopy(const PictureDocument& document, const QString& path,
                                              const SaveChoices& choices,
                                              const std::function<bool(SaveStage)>& stopsAt) {
    const std::vector<std::uint8_t>& source = *document.sourceJpeg;
    const JpegBlockGrid grid = ReadJpegBlockGrid(source.data(), source.size(), 1);
    if (!grid.cannotKeep.empty() || grid.width != static_cast<std::uint32_t>(document.width()) ||
        grid.height != document.height())
        return std::nullopt;
    // A copy whose picture becomes the canvas's photo rows.
    PictureDocument work = copyOf(document);
    const LxImageJPG none;
    const CaptionList noMore; // the captions are the document's already
    auto rows = std::make_unique<ReachedRows>(work, noMore, grid, none);
    if (!rows->plan())
        return std::nullopt;
    rows->drawBands();
    if (stopsAt(SaveStage::Encoding))
        return failure(QStringLiteral("save"), path, QStringLiteral("the save was cancelled"));
    // The photo's rows the captions reach are copied and drawn while the
    // rows above them are written.
    const auto drawReach = [&] {
        rows->copyRows(document.picture);
        rows->drawReach();
        return true;
    };
    QString note;
    std::vector<std::uint8_t> encoded;
    CopyFile file(path, choices);
    JpegBlockCounts counts;
    if (!writeReachedCopy(*rows, work, source, document.sourceIndex, grid, true, choices, file,
                          encoded, counts, note, drawReach))
        return std::nullopt;
    // Until the copy is finished nothing is in the photo's place.
    if (stopsAt(SaveStage::Writing))
        return failure(QStringLiteral("save"), path, QStringLiteral("the save was cancelled"));
    return file.finish(encoded, counts.handedOver, note);
}
} // namespace

std::optional<PipelineResult> captionJpegInPlace(const QString& photo, const QString& output,
                                                 const CaptionList& captions,
                                                 const QHash<QString, QString>& captionData,
                                                 const SaveChoices& choices) {
    if (!choices.quality.keep)
        return std::nullopt;
    const QByteArray name = QFile::encodeName(photo);
    std::unique_ptr<std::FILE, FileCloser> file(std::fopen(name.constData(), "rb"));
    struct stat st {};
    if (!file || ::fstat(::fileno(file.get()), &st) != 0 || !S_ISREG(st.st_mode))
        return std::nullopt;
    auto source = std::make_shared<std::vector<std::uint8_t>>();
    if (!readWhole(file.get(), *source, st))
        return std::nullopt;
    file.reset();
    if (sniffPictureFormat(source->data(), source->size()) != PictureFormat::Jpeg)
        return std::nullopt;
    const JpegBlockGrid grid = ReadJpegBlockGrid(source->data(), source->size(), 1);
    if (!grid.cannotKeep.empty())
        return std::nullopt;

    // The walk of the coded data (where each MCU starts) runs beside the
    // reading of the header and the planning of the captions.
    std::shared_ptr<const JpegCodedIndex> index;
    std::string notIndexed;
    std::atomic<bool> otherRoad{false};
    std::jthread walker([&] {
        index = IndexJpegCodedData(source->data(), source->size(), notIndexed, &otherRoad);
    });

    LxMemFile stream(source->data(), static_cast<std::uint32_t>(source->size()));
    auto exif = std::make_unique<LxImageJPG>();
    exif->ReadExif(&stream);
    PictureDocument document;
    document.fileName = QFileInfo(photo).fileName();
    document.captionData = captionData;
    auto rows = std::make_unique<ReachedRows>(document, captions, grid, *exif);
    std::string error;
    {
        JpegKeptSegments kept;
        DecodeJpegRows(&stream, *rows, kept, error, kMaxLibraryMemory);
        if (!rows->planned()) {
            otherRoad = true;
            return std::nullopt;
        }
    }
    // The bands need nothing of the photo: they are drawn while the walk
    // goes on.
    rows->drawBands();
    walker.join();
    // The reached rows are decoded from a stand-in that holds only them and
    // their neighbours, so the decoder does not read the coded data of every
    // row before them; the photo itself serves when the stand-in cannot be
    // made. This goes on while the rows above them are written.
    const auto drawReach = [&] {
        const std::vector<std::uint8_t> read = rows->readRows();
        // Bands alone need nothing of the photo.
        bool decoded = std::find(read.begin(), read.end(), 1) == read.end();
        if (index && !decoded) {
            std::vector<std::uint8_t> thinned;
            if (ThinJpegRows(*index, read, thinned, error)) {
                LxMemFile thin(thinned.data(), static_cast<std::uint32_t>(thinned.size()));
                JpegKeptSegments kept;
                rows->readFrom(read);
                decoded = DecodeJpegRows(&thin, *rows, kept, error, kMaxLibraryMemory);
                rows->readFrom({});
            }
        }
        if (!decoded) {
            LxMemFile again(source->data(), static_cast<std::uint32_t>(source->size()));
            JpegKeptSegments kept;
            if (!DecodeJpegRows(&again, *rows, kept, error, kMaxLibraryMemory))
                return false;
        }
        rows->drawReach();
        return true;
    };
    document.sourceJpeg = source;
    QString note;
    std::vector<std::uint8_t> encoded;
    CopyFile copy(output, choices);
    JpegBlockCounts counts;
    // A walk that failed would fail again in the splice.
    if (!writeReachedCopy(*rows, document, *source, index, grid, index != nullptr, choices, copy,
                          encoded, counts, note, drawReach))
        return std::nullopt; // the general road encodes afresh and says why
    return copy.finish(encoded, counts.handedOver, note);
}
