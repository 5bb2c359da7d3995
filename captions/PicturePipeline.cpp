#include "captions/PicturePipeline.h"

#include "captions/CaptionRenderer.h"
#include "captions/DescriptionText.h"
#include "captions/FileReplacer.h"
#include "codec/JpegRows.h"
#include "codec/LxImageJPG.h"
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
#include <fstream>
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
// What one job holds per pixel at its peak: the picture, the canvas and the
// encoder's output, in 32-bit pixels.
constexpr std::uint64_t kJobBytesPerPixel = 12;

// The memory the system could give now, in bytes; 0 when it does not say.
std::uint64_t availableMemory() {
    std::ifstream meminfo("/proc/meminfo");
    std::string key;
    std::uint64_t kib = 0;
    std::string unit;
    while (meminfo >> key >> kib >> unit) {
        if (key == "MemAvailable:")
            return kib * 1024;
    }
    return 0;
}

QString megapixels(std::uint64_t pixels) {
    return QString::number((pixels + 500'000) / 1'000'000);
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
        const std::uint64_t pixels = std::uint64_t{width} * height;
        const QString size = QStringLiteral("%1 × %2 pixels (%3 megapixels)")
                                 .arg(width)
                                 .arg(height)
                                 .arg(megapixels(pixels));
        if (pixels > maxPixels_) {
            return refuse(
                QStringLiteral("%1; the limit is %2 megapixels").arg(size, megapixels(maxPixels_)));
        }
        const std::uint64_t available = availableMemory();
        std::uint64_t needed = pixels * kJobBytesPerPixel;
        if (frame.progressive)
            needed += pixels * static_cast<std::uint64_t>(frame.components) * 2;
        if (available != 0 && needed > available) {
            return refuse(QStringLiteral("%1; this computer has memory for about %2 megapixels now")
                              .arg(size, megapixels(available / kJobBytesPerPixel)));
        }
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
        tooLarge_ = QStringLiteral("\"%1\" is too large to open: %2.")
                        .arg(QDir::toNativeSeparators(path_), why);
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

    const char* bytes = exif->exifInfo.imageDescription;
    const std::size_t length = ::strnlen(bytes, sizeof exif->exifInfo.imageDescription);
    const bool cutByReader = length + 1 >= sizeof exif->exifInfo.imageDescription;
    QString description = decodeDescription(std::string_view(bytes, length), cutByReader);
    const std::shared_ptr<const PhotoMetadata> metadata = upright.metadata();
    // A description another program wrote in XMP or IPTC shows when EXIF has none.
    if (description.isEmpty() && metadata)
        description = QString::fromUtf8(metadata->xmpDescription);
    if (description.isEmpty() && metadata)
        description = decodeDescription(metadata->iptcDescription);

    QImage picture = upright.takePicture();
    document.width = static_cast<std::uint32_t>(picture.width());
    document.height = static_cast<std::uint32_t>(picture.height());
    document.picture = std::move(picture);
    document.description = description;
    document.metadata = metadata;
    document.facts = metadata ? metadata->facts : PhotoFacts{};
    document.fileName = QFileInfo(path).fileName();
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
                       QStringLiteral("there is no picture to save; open a JPEG first"));
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
        std::string error;
        if (!EncodeJpegRows(&encoded.stream, canvas.constBits(), canvas.bytesPerLine(), width,
                            height, JpegEncodeSettings{}, error)) {
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
