#include "metadata/TextEncoding.h"

#include <array>

namespace {
// Windows-1252 for 0x80..0x9F; the five unassigned bytes keep their C1 code.
constexpr std::array<char16_t, 32> kWindows1252High = {
    0x20AC, 0x0081, 0x201A, 0x0192, 0x201E, 0x2026, 0x2020, 0x2021, 0x02C6, 0x2030, 0x0160,
    0x2039, 0x0152, 0x008D, 0x017D, 0x008F, 0x0090, 0x2018, 0x2019, 0x201C, 0x201D, 0x2022,
    0x2013, 0x2014, 0x02DC, 0x2122, 0x0161, 0x203A, 0x0153, 0x009D, 0x017E, 0x0178};

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
} // namespace

int utf8SequenceAt(std::string_view bytes, std::size_t i, bool& truncated) {
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

bool isUtf8(std::string_view bytes) {
    std::size_t i = 0;
    while (i < bytes.size()) {
        if (static_cast<std::uint8_t>(bytes[i]) < 0x80) {
            ++i;
            continue;
        }
        bool truncated = false;
        const int length = utf8SequenceAt(bytes, i, truncated);
        if (length == 0) {
            return false;
        }
        i += static_cast<std::size_t>(length);
    }
    return true;
}

char16_t windows1252(std::uint8_t byte) {
    return byte >= 0x80 && byte < 0xA0 ? kWindows1252High[byte - 0x80] : char16_t{byte};
}

std::string windows1252ToUtf8(std::string_view bytes) {
    std::string out;
    out.reserve(bytes.size());
    for (const char ch : bytes) {
        const char16_t c = windows1252(static_cast<std::uint8_t>(ch));
        if (c < 0x80) {
            out.push_back(static_cast<char>(c));
        } else if (c < 0x800) {
            out.push_back(static_cast<char>(0xC0 | (c >> 6)));
            out.push_back(static_cast<char>(0x80 | (c & 0x3F)));
        } else {
            out.push_back(static_cast<char>(0xE0 | (c >> 12)));
            out.push_back(static_cast<char>(0x80 | ((c >> 6) & 0x3F)));
            out.push_back(static_cast<char>(0x80 | (c & 0x3F)));
        }
    }
    return out;
}
