#pragma once

#include <cstdint>
#include <string>
#include <vector>

namespace testing_support {

// Builds TIFF structures for EXIF tests, in either byte order. Directories
// are appended where the builder stands; offsets count from the TIFF header.
class TiffBuilder {
public:
    struct Entry {
        std::uint16_t tag;
        std::uint16_t format;
        std::uint32_t count;
        std::vector<std::uint8_t> value; // bytes in the block's order
    };

    explicit TiffBuilder(bool motorola);

    std::vector<std::uint8_t> U16(std::uint16_t v) const;
    std::vector<std::uint8_t> U32(std::uint32_t v) const;
    static std::vector<std::uint8_t> Text(const std::string& text, bool terminate = true);

    // Appends a directory; values over 4 bytes follow it. Returns its offset.
    std::uint32_t AddDirectory(const std::vector<Entry>& entries, std::uint32_t nextLink = 0);
    // Where entry i of the directory at `directory` keeps its value field.
    static std::uint32_t ValueField(std::uint32_t directory, int i) {
        return directory + 2 + 12 * i + 8;
    }
    void Patch32(std::uint32_t offset, std::uint32_t value);
    std::uint32_t Size() const { return static_cast<std::uint32_t>(bytes_.size()); }
    const std::vector<std::uint8_t>& Bytes() const { return bytes_; }

private:
    void Append(const std::vector<std::uint8_t>& more);
    bool motorola_;
    std::vector<std::uint8_t> bytes_;
};

// Segment bytes: FF, marker, big-endian length, payload.
std::vector<std::uint8_t> Segment(std::uint8_t marker, const std::vector<std::uint8_t>& payload);
// "Exif\0\0" followed by the TIFF bytes, as an APP1 segment.
std::vector<std::uint8_t> ExifSegment(const std::vector<std::uint8_t>& tiff);
// An EXIF APP1 segment whose first directory holds only an ImageDescription
// of these bytes.
std::vector<std::uint8_t> DescriptionSegment(const std::string& bytes);
// SOI, the given segments, then an empty SOS so that a scan ends cleanly.
std::vector<std::uint8_t> JpegWith(const std::vector<std::vector<std::uint8_t>>& segments);

} // namespace testing_support
