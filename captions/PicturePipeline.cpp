#include "captions/PicturePipeline.h"

#include "captions/CaptionRenderer.h"
#include "captions/DescriptionText.h"
#include "captions/FileReplacer.h"
#include "codec/JpegRows.h"
#include "codec/LxImageJPG.h"
#include "formats/PictureFormat.h"
#include "formats/PictureGate.h"
#include "formats/PictureRead.h"
#include "image/LargePages.h"
#include "image/LxIOFile.h"
#include "image/LxMemFile.h"
#include "image/Orientation.h"

#include <QDir>
#include <QFile>
#include <QFileInfo>

#include <cerrno>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <memory>
#include <sys/stat.h>

namespace {
// Every stream the encoder writes starts with SOI and a 16-byte JFIF APP0.
constexpr std::int32_t kEncoderHeaderBytes = 20;

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

// The encoder's stream, released with the memory block it grew into.
struct EncodedStream {
    LxMemFile stream{static_cast<std::uint8_t*>(std::malloc(16)), 16};
    ~EncodedStream() { std::free(stream.GetBufferPointer(true)); }
};

// libjpeg's whole-image buffers (progressive files) may grow to what the
// largest picture we open needs; the memory check below bounds the rest.
constexpr long kMaxLibraryMemory = 3L << 30;
// Files of other formats are read whole; none that opens comes near this.
constexpr std::uint64_t kMaxOtherFileBytes = std::uint64_t{2} << 30;

QString tooLargeMessage(const QString& path, const QString& why) {
    return QStringLiteral("\"%1\" is too large to open: %2.")
        .arg(QDir::toNativeSeparators(path), why);
}

// Receives the decoded rows and places them upright in a new RGB32 picture,
// after reading the photo's metadata from its header and refusing pictures
// that are too large.
class UprightPicture : public JpegRowSink {
public:
    UprightPicture(const QString& path, std::uint64_t maxPixels)
        : path_(path), maxPixels_(maxPixels) {}

    bool begin(const JpegFrame& frame, const JpegKeptSegments& kept) override {
        try {
            metadata_ = std::make_shared<PhotoMetadata>(readPhotoMetadata(kept));
        } catch (const std::bad_alloc&) {
            metadata_ = std::make_shared<PhotoMetadata>();
        }
        orientation_ = metadata_->orientation;
        stored_ = frame;
        const bool swap = orientationSwapsSides(orientation_);
        const std::uint32_t width = swap ? frame.height : frame.width;
        const std::uint32_t height = swap ? frame.width : frame.height;
        // Progressive files keep every coefficient until the end.
        const std::uint64_t decoderBytes =
            frame.progressive ? static_cast<std::uint64_t>(frame.components) * 2 : 0;
        PictureGate gate(maxPixels_);
        if (!gate.admit(width, height, decoderBytes))
            return refuse(gate.refusal());
        picture_ = QImage(static_cast<int>(width), static_cast<int>(height), QImage::Format_RGB32);
        if (picture_.isNull()) {
            refusal = "not enough memory";
            return false;
        }
        AdviseLargePages(picture_.bits(), static_cast<std::size_t>(picture_.sizeInBytes()));
        return true;
    }

    std::uint8_t* directRow(std::uint32_t y) override {
        return orientation_ == 1 ? picture_.scanLine(static_cast<int>(y)) : nullptr;
    }

    void rows(std::uint32_t first, std::uint32_t count, const std::uint8_t* const* rows) override {
        placeStoredRows(orientation_, stored_.width, stored_.height, first, count, rows,
                        picture_.bits(), picture_.bytesPerLine());
    }

    QImage takePicture() { return std::move(picture_); }
    std::shared_ptr<const PhotoMetadata> metadata() const { return metadata_; }
    // Set when the picture was refused for its size, with the whole message.
    const QString& tooLarge() const { return tooLarge_; }

private:
    bool refuse(const QString& why) {
        tooLarge_ = tooLargeMessage(path_, why);
        refusal = "too large";
        return false;
    }

    QString path_;
    std::uint64_t maxPixels_;
    QString tooLarge_;
    JpegFrame stored_;
    int orientation_ = 1;
    QImage picture_;
    std::shared_ptr<PhotoMetadata> metadata_;
};

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
    document.width = static_cast<std::uint32_t>(picture.width());
    document.height = static_cast<std::uint32_t>(picture.height());
    document.picture = std::move(picture);
    document.description = description;
    document.facts = metadata ? metadata->facts : PhotoFacts{};
    document.metadata = std::move(metadata);
    document.fileName = QFileInfo(path).fileName();
    document.format = format;
}

// The whole file, for the readers of formats other than JPEG.
bool readWholeFile(std::FILE* file, std::vector<std::uint8_t>& bytes, QString& reason) {
    struct stat st {};
    if (::fstat(::fileno(file), &st) != 0) {
        reason = systemReason(errno);
        return false;
    }
    if (static_cast<std::uint64_t>(st.st_size) > kMaxOtherFileBytes) {
        reason = QStringLiteral("the file is larger than 2 GiB");
        return false;
    }
    try {
        bytes.resize(static_cast<std::size_t>(st.st_size));
    } catch (const std::bad_alloc&) {
        reason = QStringLiteral("there is not enough memory to read it");
        return false;
    }
    if (std::fseek(file, 0, SEEK_SET) != 0 ||
        std::fread(bytes.data(), 1, bytes.size(), file) != bytes.size()) {
        reason = QStringLiteral("it could not be read to the end");
        return false;
    }
    return true;
}

// HEIF, AVIF, PNG, TIFF and WebP: the format's reader gives the picture and
// the metadata as JPEG segments, which from then on take the JPEG road.
PipelineResult openOtherPicture(PictureDocument& document, const QString& path, std::FILE* file,
                                std::uint64_t maxPixels) {
    std::vector<std::uint8_t> bytes;
    QString reason;
    if (!readWholeFile(file, bytes, reason))
        return failure(QStringLiteral("open"), path, reason);
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

bool startsWithEncoderHeader(const std::uint8_t* p, std::int32_t size) {
    return p && size >= kEncoderHeaderBytes && p[0] == 0xFF && p[1] == 0xD8 && p[2] == 0xFF &&
           p[3] == 0xE0 && p[4] == 0x00 && p[5] == 0x10;
}
} // namespace

PipelineResult openPicture(PictureDocument& document, const QString& path,
                           std::uint64_t maxPixels) {
    const QByteArray name = QFile::encodeName(path);
    std::unique_ptr<std::FILE, FileCloser> file(std::fopen(name.constData(), "rb"));
    if (!file) {
        return failure(QStringLiteral("open"), path, systemReason(errno));
    }
    struct stat st {};
    if (::fstat(::fileno(file.get()), &st) == 0 && S_ISDIR(st.st_mode)) {
        return failure(QStringLiteral("open"), path, QStringLiteral("it is a folder"));
    }

    // The format is told by the file's first bytes, whatever its name says;
    // files that are no known format take the JPEG road and get its message.
    std::uint8_t head[256] = {};
    const std::size_t headBytes = std::fread(head, 1, sizeof head, file.get());
    std::rewind(file.get());
    const PictureFormat format = sniffPictureFormat(head, headBytes);
    if (format != PictureFormat::Jpeg && format != PictureFormat::Unknown)
        return openOtherPicture(document, path, file.get(), maxPixels);

    LxIOFile stream(file.get(), false);
    // The EXIF description is read as it always was, by our own reader,
    // which puts the stream back where it found it.
    auto exif = std::make_unique<LxImageJPG>();
    exif->ReadExif(&stream);
    UprightPicture upright(path, maxPixels);
    JpegKeptSegments kept;
    std::string error;
    if (!DecodeJpegRows(&stream, upright, kept, error, kMaxLibraryMemory)) {
        if (!upright.tooLarge().isEmpty())
            return {false, upright.tooLarge(), QString()};
        return failure(QStringLiteral("open"), path,
                       QStringLiteral("it is not a JPEG picture that can be read (%1)")
                           .arg(QString::fromLocal8Bit(error.c_str())));
    }
    file.reset();

    std::shared_ptr<const PhotoMetadata> metadata = upright.metadata();
    // A description another program wrote in XMP or IPTC shows when EXIF has none.
    const QString description = photoDescription(*exif, metadata.get());
    fillDocument(document, path, upright.takePicture(), description, std::move(metadata),
                 PictureFormat::Jpeg);
    return {true, QString(), QString()};
}

PipelineResult savePicture(const PictureDocument& document, const QString& path) {
    return savePicture(document, path, MetadataChoice::KeepAll);
}

PipelineResult savePicture(const PictureDocument& document, const QString& path,
                           MetadataChoice choice, bool replaceExisting) {
    const QString save = QStringLiteral("save");
    if (!document.hasPicture()) {
        return failure(save, path,
                       QStringLiteral("there is no picture to save; open a photo first"));
    }

    EncodedStream encoded;
    std::uint32_t width = 0;
    std::uint32_t height = 0;
    {
        const QImage canvas = renderCaptions(document);
        if (canvas.isNull()) {
            return failure(save, path,
                           QStringLiteral("there is not enough memory to draw the captions"));
        }
        width = static_cast<std::uint32_t>(canvas.width());
        height = static_cast<std::uint32_t>(canvas.height());
        JpegEncodeSettings settings;
        settings.chroma = copyChroma(document.format);
        std::string error;
        if (!EncodeJpegRows(&encoded.stream, canvas.constBits(), canvas.bytesPerLine(), width,
                            height, settings, error)) {
            return failure(save, path, QString::fromLocal8Bit(error.c_str()));
        }
    }

    const std::int32_t size = encoded.stream.Size();
    const std::uint8_t* bytes = encoded.stream.GetBufferPointer(false);
    if (!startsWithEncoderHeader(bytes, size)) {
        return failure(save, path, QStringLiteral("the encoder wrote an unexpected stream"));
    }
    const QByteArray description = encodeDescription(savedDescription(document));
    QByteArray segments;
    QString note;
    if (choice != MetadataChoice::DescriptionOnly && document.metadata) {
        const CarriedMetadata carried =
            carryMetadata(*document.metadata, choice, description.toStdString(), width, height);
        segments = QByteArray(reinterpret_cast<const char*>(carried.segments.data()),
                              static_cast<qsizetype>(carried.segments.size()));
        if (!carried.leftOut.empty()) {
            note =
                QStringLiteral("The photo's metadata was left out of \"%1\" because %2; only "
                               "the description was saved.")
                    .arg(QDir::toNativeSeparators(path), QString::fromStdString(carried.leftOut));
        } else if (!carried.leftOutParts.empty()) {
            note = partsLeftOutNote(carried.leftOutParts, document.fileName);
        }
    }
    if (segments.isEmpty())
        segments = descriptionSegment(description);

    FileReplacer out(path);
    if (!replaceExisting)
        out.keepExisting();
    const bool written =
        out.open() && out.write(bytes, kEncoderHeaderBytes) &&
        out.write(segments.constData(), static_cast<std::size_t>(segments.size())) &&
        out.write(bytes + kEncoderHeaderBytes,
                  static_cast<std::size_t>(size - kEncoderHeaderBytes)) &&
        out.commit();
    if (!written) {
        return failure(save, path, out.errorText());
    }
    return {true, QString(), note};
}
