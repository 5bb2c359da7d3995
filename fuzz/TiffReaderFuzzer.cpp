// Hostile TIFF files through Qt's TIFF plugin (libtiff): the picture, its
// metadata read and carried into a copy.
#include "fuzz/FormatFuzzEntry.h"

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
    fuzz_entries::ReadFormat(PictureFormat::Tiff, data, size);
    return 0;
}
