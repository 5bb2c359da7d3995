#include "captions/DescriptionText.h"

#include "metadata/TextEncoding.h"

#include <cstdint>
#include <cstring>

namespace {
bool isContinuation(std::uint8_t byte) {
    return (byte & 0xC0) == 0x80;
}
} // namespace

QString decodeDescription(std::string_view bytes, bool cutByReader) {
    QString text;
    text.reserve(static_cast<qsizetype>(bytes.size()));
    std::size_t i = 0;
    while (i < bytes.size()) {
        const auto byte = static_cast<std::uint8_t>(bytes[i]);
        if (byte == 0) {
            break;
        }
        if (byte < 0x80) {
            text.append(QChar(byte));
            ++i;
            continue;
        }
        bool truncated = false;
        const int length = utf8SequenceAt(bytes, i, truncated);
        if (length > 0) {
            text.append(QString::fromUtf8(bytes.data() + i, length));
            i += static_cast<std::size_t>(length);
        } else if (truncated && cutByReader) {
            break;
        } else {
            text.append(QChar(windows1252(byte)));
            ++i;
        }
    }
    return text;
}

QByteArray encodeDescription(const QString& description) {
    const qsizetype nul = description.indexOf(QChar(0));
    QByteArray bytes = (nul < 0 ? description : description.left(nul)).toUtf8();
    if (bytes.size() > kMaxDescriptionBytes) {
        qsizetype end = kMaxDescriptionBytes;
        while (end > 0 && isContinuation(static_cast<std::uint8_t>(bytes[end]))) {
            --end;
        }
        bytes.truncate(end);
    }
    return bytes;
}

QByteArray descriptionSegment(const QByteArray& text) {
    if (text.isEmpty() || text.size() > kMaxDescriptionBytes) {
        return QByteArray();
    }
    const auto n = static_cast<std::uint32_t>(text.size());
    QByteArray segment(static_cast<qsizetype>(n) + 37, '\0');
    auto* p = reinterpret_cast<std::uint8_t*>(segment.data());
    const auto put16 = [p](int at, std::uint32_t value, bool bigEndian) {
        p[at + (bigEndian ? 1 : 0)] = static_cast<std::uint8_t>(value);
        p[at + (bigEndian ? 0 : 1)] = static_cast<std::uint8_t>(value >> 8);
    };
    const auto put32 = [p](int at, std::uint32_t value) {
        for (int k = 0; k < 4; ++k) {
            p[at + k] = static_cast<std::uint8_t>(value >> (8 * k));
        }
    };
    p[0] = 0xFF;
    p[1] = 0xE1;
    put16(2, n + 35, true);
    std::memcpy(p + 4, "Exif\0\0", 6);
    p[10] = 'I';
    p[11] = 'I';
    put16(12, 42, false);
    put32(14, 8);
    put16(18, 1, false);
    put16(20, 0x010E, false);
    put16(22, 2, false);
    put32(24, n);
    if (n <= 4) {
        std::memcpy(p + 28, text.constData(), n);
    } else {
        put32(28, 26);
    }
    put32(32, 0);
    std::memcpy(p + 36, text.constData(), n);
    p[36 + n] = 0x06;
    return segment;
}
