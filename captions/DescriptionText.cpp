#include "captions/DescriptionText.h"

#include <array>
#include <cstdint>
#include <cstring>

namespace {
// Windows-1252 for 0x80..0x9F; the five unassigned bytes keep their C1 code.
constexpr std::array<char16_t, 32> kWindows1252High = {
    0x20AC, 0x0081, 0x201A, 0x0192, 0x201E, 0x2026, 0x2020, 0x2021, 0x02C6, 0x2030, 0x0160,
    0x2039, 0x0152, 0x008D, 0x017D, 0x008F, 0x0090, 0x2018, 0x2019, 0x201C, 0x201D, 0x2022,
    0x2013, 0x2014, 0x02DC, 0x2122, 0x0161, 0x203A, 0x0153, 0x009D, 0x017E, 0x0178};

char16_t windows1252(std::uint8_t byte) {
    return byte >= 0x80 && byte < 0xA0 ? kWindows1252High[byte - 0x80] : char16_t{byte};
}

bool isContinuation(std::uint8_t byte) {
    return (byte & 0xC0) == 0x80;
}

// Length of the UTF-8 sequence a lead byte starts and the allowed range of
// its second byte (which rules out overlong forms, surrogates and code
// points above U+10FFFF); 0 when the byte cannot start one.
struct Lead {
    int length;
    std::uint8_t low;
    std::uint8_t high;
};

Lead leadOf(std::uint8_t byte) {
    if (byte >= 0xC2 && byte <= 0xDF) {
        return {2, 0x80, 0xBF};
    }
    if (byte == 0xE0) {
        return {3, 0xA0, 0xBF};
    }
    if (byte == 0xED) {
        return {3, 0x80, 0x9F};
    }
    if (byte >= 0xE1 && byte <= 0xEF) {
        return {3, 0x80, 0xBF};
    }
    if (byte == 0xF0) {
        return {4, 0x90, 0xBF};
    }
    if (byte >= 0xF1 && byte <= 0xF3) {
        return {4, 0x80, 0xBF};
    }
    if (byte == 0xF4) {
        return {4, 0x80, 0x8F};
    }
    return {0, 0, 0};
}

// How many bytes of a valid sequence start at i (0: none). Sets truncated
// when the bytes run out in the middle of an otherwise valid sequence.
int validSequenceAt(std::string_view bytes, std::size_t i, bool& truncated) {
    const auto first = static_cast<std::uint8_t>(bytes[i]);
    const Lead lead = leadOf(first);
    truncated = false;
    if (lead.length == 0) {
        return 0;
    }
    for (int k = 1; k < lead.length; ++k) {
        if (i + k >= bytes.size()) {
            truncated = true;
            return 0;
        }
        const auto b = static_cast<std::uint8_t>(bytes[i + k]);
        const bool ok = k == 1 ? b >= lead.low && b <= lead.high : isContinuation(b);
        if (!ok) {
            return 0;
        }
    }
    return lead.length;
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
        const int length = validSequenceAt(bytes, i, truncated);
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
