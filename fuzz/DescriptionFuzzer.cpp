// Description bytes from a file: decoding must never fail, and what it
// gives must survive being stored and read back unchanged.
#include "captions/DescriptionText.h"

#include <cstdint>
#include <cstdlib>
#include <string_view>

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
    const std::string_view bytes(reinterpret_cast<const char*>(data), size);
    for (bool cut : {false, true}) {
        const QString text = decodeDescription(bytes, cut);
        const QByteArray stored = encodeDescription(text);
        if (stored.size() == text.toUtf8().size() &&
            decodeDescription(stored.toStdString()) != text) {
            std::abort();
        }
        const QByteArray segment = descriptionSegment(stored);
        if (!stored.isEmpty() && segment.size() != stored.size() + 37) {
            std::abort();
        }
    }
    return 0;
}
