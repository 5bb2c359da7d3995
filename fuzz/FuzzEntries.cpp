#include "fuzz/FuzzEntries.h"

#include "codec/ExifReader.h"
#include "codec/LxImageJPG.h"
#include "image/LxMemFile.h"

#include <cstdlib>
#include <cstring>

namespace fuzz_entries {
namespace {
// A malloc'd copy, since a memory stream may grow (realloc) its block.
std::uint8_t* Copy(const std::uint8_t* data, std::size_t size) {
    auto* block = static_cast<std::uint8_t*>(std::malloc(size ? size : 1));
    if (block && size) {
        std::memcpy(block, data, size);
    }
    return block;
}

// A stream over a caller's block frees it only once it has grown it; take the
// block back in every case so that nothing leaks.
void Release(LxMemFile& stream) {
    std::free(stream.GetBufferPointer(true));
}

constexpr std::int64_t kMaxReencodePixels = 1 << 20;
} // namespace

void ExifScan(const std::uint8_t* data, std::size_t size) {
    if (size > 0x7FFF0000) {
        return;
    }
    LxMemFile stream(Copy(data, size), static_cast<std::uint32_t>(size));
    ExifReader reader(nullptr);
    reader.ScanSections(&stream, ExifReader::ReadMetadata);

    reader.KeepExifAndComment();
    stream.Seek(0, 0);
    reader.ScanSections(&stream, ExifReader::ReadImageData);
    LxMemFile out(static_cast<std::uint8_t*>(std::malloc(16)), 16);
    reader.WriteSections(&out);
    Release(out);
    Release(stream);
}

void Decode(const std::uint8_t* data, std::size_t size) {
    if (size > 0x7FFF0000) {
        return;
    }
    LxMemFile stream(Copy(data, size), static_cast<std::uint32_t>(size));
    LxImageJPG image;
    if (image.Decode(&stream) &&
        std::int64_t{image.GetWidth()} * image.GetHeight() <= kMaxReencodePixels) {
        LxMemFile out(static_cast<std::uint8_t*>(std::malloc(16)), 16);
        image.Encode(&out);
        Release(out);
    }
    Release(stream);
}

} // namespace fuzz_entries
