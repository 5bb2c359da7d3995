// Hostile WebP files through Qt's WebP plugin (libwebp): the picture, its
// metadata read and carried into a copy.
#include "fuzz/FormatFuzzEntry.h"

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
    fuzz_entries::ReadFormat(PictureFormat::Webp, data, size);
    return 0;
}
