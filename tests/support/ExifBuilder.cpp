#include "tests/support/ExifBuilder.h"

#include <algorithm>

namespace testing_support {

TiffBuilder::TiffBuilder(bool motorola) : motorola_(motorola) {
    bytes_ = motorola ? std::vector<std::uint8_t>{'M', 'M'} : std::vector<std::uint8_t>{'I', 'I'};
    Append(U16(42));
    Append(U32(8));
}

std::vector<std::uint8_t> TiffBuilder::U16(std::uint16_t v) const {
    const auto hi = static_cast<std::uint8_t>(v >> 8);
    const auto lo = static_cast<std::uint8_t>(v);
    return motorola_ ? std::vector<std::uint8_t>{hi, lo} : std::vector<std::uint8_t>{lo, hi};
}

std::vector<std::uint8_t> TiffBuilder::U32(std::uint32_t v) const {
    std::vector<std::uint8_t> out(4);
    for (int i = 0; i < 4; ++i)
        out[motorola_ ? 3 - i : i] = static_cast<std::uint8_t>(v >> (8 * i));
    return out;
}

std::vector<std::uint8_t> TiffBuilder::Text(const std::string& text, bool terminate) {
    std::vector<std::uint8_t> out(text.begin(), text.end());
    if (terminate)
        out.push_back(0);
    return out;
}

void TiffBuilder::Append(const std::vector<std::uint8_t>& more) {
    bytes_.insert(bytes_.end(), more.begin(), more.end());
}

void TiffBuilder::Patch32(std::uint32_t offset, std::uint32_t value) {
    const auto v = U32(value);
    std::copy(v.begin(), v.end(), bytes_.begin() + offset);
}

std::uint32_t TiffBuilder::AddDirectory(const std::vector<Entry>& entries, std::uint32_t nextLink) {
    const std::uint32_t start = Size();
    std::uint32_t data = start + 2 + 12 * static_cast<std::uint32_t>(entries.size()) + 4;
    std::vector<std::uint8_t> outOfLine;
    Append(U16(static_cast<std::uint16_t>(entries.size())));
    for (const Entry& e : entries) {
        Append(U16(e.tag));
        Append(U16(e.format));
        Append(U32(e.count));
        if (e.value.size() > 4) {
            Append(U32(data + static_cast<std::uint32_t>(outOfLine.size())));
            outOfLine.insert(outOfLine.end(), e.value.begin(), e.value.end());
        } else {
            std::vector<std::uint8_t> field = e.value;
            field.resize(4, 0);
            Append(field);
        }
    }
    Append(U32(nextLink));
    Append(outOfLine);
    return start;
}

std::vector<std::uint8_t> Segment(std::uint8_t marker, const std::vector<std::uint8_t>& payload) {
    const std::size_t length = payload.size() + 2;
    // Sized once: GCC 12 at -O3 takes a range insert after a 4-byte
    // initialiser list for a write past its end (a false array-bounds error).
    std::vector<std::uint8_t> out(4 + payload.size());
    out[0] = 0xFF;
    out[1] = marker;
    out[2] = static_cast<std::uint8_t>(length >> 8);
    out[3] = static_cast<std::uint8_t>(length);
    std::copy(payload.begin(), payload.end(), out.begin() + 4);
    return out;
}

std::vector<std::uint8_t> ExifSegment(const std::vector<std::uint8_t>& tiff) {
    std::vector<std::uint8_t> payload = {'E', 'x', 'i', 'f', 0, 0};
    payload.insert(payload.end(), tiff.begin(), tiff.end());
    return Segment(0xE1, payload);
}

std::vector<std::uint8_t> DescriptionSegment(const std::string& bytes) {
    TiffBuilder tiff(false);
    tiff.AddDirectory(
        {{0x010E, 2, static_cast<std::uint32_t>(bytes.size() + 1), TiffBuilder::Text(bytes)}});
    return ExifSegment(tiff.Bytes());
}

std::vector<std::uint8_t> JpegWith(const std::vector<std::vector<std::uint8_t>>& segments) {
    std::vector<std::uint8_t> out = {0xFF, 0xD8};
    for (const auto& s : segments)
        out.insert(out.end(), s.begin(), s.end());
    const auto sos = Segment(0xDA, {});
    out.insert(out.end(), sos.begin(), sos.end());
    return out;
}

} // namespace testing_support
