#include "formats/PictureRead.h"

#include "metadata/MetadataBlocks.h"

#include <QBuffer>
#include <QImageReader>

#include <limits>
#include <mutex>

namespace {

// What a plugin may hold besides the job's pictures: a 16-bit RGBA picture
// before it is brought to 8 bits.
constexpr std::uint64_t kDecoderBytesPerPixel = 8;

const char* pluginName(PictureFormat format) {
    switch (format) {
    case PictureFormat::Png:
        return "png";
    case PictureFormat::Tiff:
        return "tiff";
    case PictureFormat::Webp:
    case PictureFormat::WebpLossless:
        return "webp";
    default:
        return nullptr;
    }
}

QString formatTitle(PictureFormat format) {
    switch (format) {
    case PictureFormat::Png:
        return QStringLiteral("PNG");
    case PictureFormat::Tiff:
        return QStringLiteral("TIFF");
    default:
        return QStringLiteral("WebP");
    }
}

// Qt refuses pictures over its allocation limit (256 MiB unless told);
// the gate has bounded the size before any plugin allocates, so the limit
// only needs room for the largest picture the gate lets through, at 16 bits
// a sample.
void raiseAllocationLimit() {
    static std::once_flag once;
    std::call_once(once, [] { QImageReader::setAllocationLimit(0); });
}

} // namespace

PictureRead readPluginPicture(const std::uint8_t* data, std::size_t size, PictureFormat format,
                              PictureGate& gate) {
    PictureRead read;
    const char* plugin = pluginName(format);
    const QString title = formatTitle(format);
    const auto unreadable = [&](const QString& why) {
        read.error = QStringLiteral("it is not a %1 picture that can be read (%2)").arg(title, why);
        return read;
    };
    if (plugin == nullptr || size > static_cast<std::size_t>(std::numeric_limits<qsizetype>::max()))
        return unreadable(QStringLiteral("unknown format"));
    raiseAllocationLimit();
    QByteArray bytes =
        QByteArray::fromRawData(reinterpret_cast<const char*>(data), static_cast<qsizetype>(size));
    QBuffer buffer(&bytes);
    buffer.open(QIODevice::ReadOnly);
    QImageReader reader(&buffer, plugin);
    reader.setAutoTransform(false);
    if (!reader.canRead())
        return unreadable(
            QStringLiteral("its header is damaged, or Qt has no %1 plugin").arg(title));
    const QSize stored = reader.size();
    if (!stored.isValid() || stored.isEmpty())
        return unreadable(QStringLiteral("its header gives no size"));
    if (!gate.admit(static_cast<std::uint32_t>(stored.width()),
                    static_cast<std::uint32_t>(stored.height()), kDecoderBytesPerPixel)) {
        read.error = gate.refusal();
        read.tooLarge = true;
        return read;
    }
    // Counted by a reader of its own: the TIFF plugin leaves the device
    // where counting stopped, and the picture is read from the start.
    QBuffer countBuffer(&bytes);
    countBuffer.open(QIODevice::ReadOnly);
    const int frames = QImageReader(&countBuffer, plugin).imageCount();
    QImage image;
    if (!reader.read(&image) || image.isNull()) {
        const QString why = reader.errorString();
        return unreadable(why.isEmpty() ? QStringLiteral("its picture data is damaged") : why);
    }
    if (image.size() != stored)
        return unreadable(QStringLiteral("its picture does not match its header"));
    read.picture = opaqueOnWhite(std::move(image));
    if (read.picture.isNull()) {
        read.error = QStringLiteral("there is not enough memory");
        return read;
    }
    if (frames > 1) {
        read.note = format == PictureFormat::Tiff
                        ? QStringLiteral("it has %1 pages; only the first was opened").arg(frames)
                        : QStringLiteral("it has %1 frames; only the first was opened").arg(frames);
    }
    read.kept = readEmbeddedMetadata(data, size, read.metadataProblem);
    return read;
}
