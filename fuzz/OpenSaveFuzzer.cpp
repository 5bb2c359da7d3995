// Hostile files through the window's open and save: decoding upright,
// reading EXIF, XMP, IPTC and ICC data, and carrying them into a copy.
#include "fuzz/PipelineFuzzEntry.h"

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
    fuzz_entries::OpenAndSave(data, size);
    return 0;
}
