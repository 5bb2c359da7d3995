#include "ui/NumberText.h"

#include <limits>

namespace {

bool isSpace(QChar c) {
    return c == u' ' || c == u'\t' || c == u'\n' || c == u'\v' || c == u'\f' || c == u'\r';
}

} // namespace

std::int32_t numberFromText(QStringView text) {
    qsizetype i = 0;
    while (i < text.size() && isSpace(text[i]))
        ++i;
    bool negative = false;
    if (i < text.size() && (text[i] == u'+' || text[i] == u'-')) {
        negative = text[i] == u'-';
        ++i;
    }
    // Accumulate towards the limit on the number's own side, stopping there,
    // so that any count of digits neither overflows nor wraps.
    constexpr std::int64_t kMax = std::numeric_limits<std::int32_t>::max();
    const std::int64_t limit = negative ? kMax + 1 : kMax;
    std::int64_t magnitude = 0;
    for (; i < text.size() && text[i] >= u'0' && text[i] <= u'9'; ++i) {
        magnitude = magnitude * 10 + (text[i].unicode() - u'0');
        if (magnitude >= limit) {
            magnitude = limit;
            break;
        }
    }
    return static_cast<std::int32_t>(negative ? -magnitude : magnitude);
}
