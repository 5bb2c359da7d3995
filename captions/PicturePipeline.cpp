#include "captions/PicturePipeline.h"

#include "captions/CaptionRenderer.h"
#include "captions/DescriptionText.h"
#include "captions/FileReplacer.h"
#include "codec/LxImageJPG.h"
#include "image/LargePages.h"
#include "image/LxIOFile.h"
#include "image/LxMemFile.h"

#include <QDir>
#include <QFile>
#include <QPainter>

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
    return {false, QStringLiteral("Could not %1 \"%2\": %3.")
                       .arg(verb, QDir::toNativeSeparators(path), reason)};
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

bool startsWithEncoderHeader(const std::uint8_t* p, std::int32_t size) {
    return p && size >= kEncoderHeaderBytes && p[0] == 0xFF && p[1] == 0xD8 && p[2] == 0xFF &&
           p[3] == 0xE0 && p[4] == 0x00 && p[5] == 0x10;
}
} // namespace

PipelineResult openPicture(PictureDocument& document, const QString& path) {
    const QByteArray name = QFile::encodeName(path);
    std::unique_ptr<std::FILE, FileCloser> file(std::fopen(name.constData(), "rb"));
    if (!file) {
        return failure(QStringLiteral("open"), path, systemReason(errno));
    }
    struct stat st {};
    if (::fstat(::fileno(file.get()), &st) == 0 && S_ISDIR(st.st_mode)) {
        return failure(QStringLiteral("open"), path, QStringLiteral("it is a folder"));
    }

    auto decoder = std::make_unique<LxImageJPG>();
    {
        LxIOFile stream(file.get(), false);
        if (!decoder->Decode(&stream)) {
            return failure(QStringLiteral("open"), path,
                           QStringLiteral("it is not a JPEG picture that can be read (%1)")
                               .arg(QString::fromLocal8Bit(decoder->lastError())));
        }
    }
    file.reset();

    const std::int32_t width = decoder->GetWidth();
    const std::int32_t height = decoder->GetHeight();
    QImage picture(width, height, QImage::Format_RGB32);
    if (picture.isNull()) {
        return failure(QStringLiteral("open"), path,
                       QStringLiteral("there is not enough memory for a %1 x %2 picture")
                           .arg(width)
                           .arg(height));
    }
    AdviseLargePages(picture.bits(), static_cast<std::size_t>(picture.sizeInBytes()));
    {
        QPainter painter(&picture);
        decoder->DrawToDC(&painter, 0, 0, width, height, nullptr, false);
    }

    const char* bytes = decoder->exifInfo.imageDescription;
    const std::size_t length = ::strnlen(bytes, sizeof decoder->exifInfo.imageDescription);
    const bool cutByReader = length + 1 >= sizeof decoder->exifInfo.imageDescription;
    document.picture = std::move(picture);
    document.width = static_cast<std::uint32_t>(width);
    document.height = static_cast<std::uint32_t>(height);
    document.description = decodeDescription(std::string_view(bytes, length), cutByReader);
    return {true, QString()};
}

PipelineResult savePicture(const PictureDocument& document, const QString& path) {
    const QString save = QStringLiteral("save");
    if (!document.hasPicture()) {
        return failure(save, path,
                       QStringLiteral("there is no picture to save; open a JPEG first"));
    }

    LxImageJPG image;
    {
        const QImage canvas = renderCaptions(document);
        if (canvas.isNull()) {
            return failure(save, path,
                           QStringLiteral("there is not enough memory to draw the captions"));
        }
        if (!image.CreateFromBitmapHandle(canvas, nullptr)) {
            return failure(save, path, QString::fromLocal8Bit(image.lastError()));
        }
    }
    EncodedStream encoded;
    if (!image.Encode(&encoded.stream)) {
        return failure(save, path, QString::fromLocal8Bit(image.lastError()));
    }
    image.Destroy();

    const std::int32_t size = encoded.stream.Size();
    const std::uint8_t* bytes = encoded.stream.GetBufferPointer(false);
    if (!startsWithEncoderHeader(bytes, size)) {
        return failure(save, path, QStringLiteral("the encoder wrote an unexpected stream"));
    }
    const QByteArray segment = descriptionSegment(encodeDescription(savedDescription(document)));

    FileReplacer out(path);
    const bool written = out.open() && out.write(bytes, kEncoderHeaderBytes) &&
                         out.write(segment.constData(), static_cast<std::size_t>(segment.size())) &&
                         out.write(bytes + kEncoderHeaderBytes,
                                   static_cast<std::size_t>(size - kEncoderHeaderBytes)) &&
                         out.commit();
    if (!written) {
        return failure(save, path, out.errorText());
    }
    return {true, QString()};
}
