#include "metadata/IccSegments.h"

#include <cstring>

namespace {
constexpr std::uint8_t kApp2 = 0xE2;
constexpr char kSignature[] = "ICC_PROFILE"; // with its terminating zero: 12 bytes
constexpr std::size_t kHeaderBytes = sizeof kSignature + 2;

std::vector<const JpegSegment*> profileParts(const std::vector<JpegSegment>& segments) {
    std::vector<const JpegSegment*> parts;
    for (const JpegSegment& s : segments) {
        if (isIccSegment(s))
            parts.push_back(&s);
    }
    return parts;
}
} // namespace

bool isIccSegment(const JpegSegment& segment) {
    return segment.marker == kApp2 && segment.data.size() >= sizeof kSignature &&
           std::memcmp(segment.data.data(), kSignature, sizeof kSignature) == 0;
}

bool iccProfileIsComplete(const std::vector<JpegSegment>& segments) {
    const std::vector<const JpegSegment*> parts = profileParts(segments);
    if (parts.empty())
        return true;
    std::vector<bool> seen(parts.size() + 1, false);
    for (const JpegSegment* part : parts) {
        if (part->data.size() < kHeaderBytes)
            return false;
        const std::size_t number = part->data[sizeof kSignature];
        const std::size_t count = part->data[sizeof kSignature + 1];
        if (count != parts.size() || number < 1 || number > count || seen[number])
            return false;
        seen[number] = true;
    }
    return true;
}

void appendIccSegments(const std::vector<JpegSegment>& segments, std::vector<std::uint8_t>& out) {
    const std::vector<const JpegSegment*> parts = profileParts(segments);
    for (std::size_t number = 1; number <= parts.size(); ++number) {
        for (const JpegSegment* part : parts) {
            if (part->data.size() < kHeaderBytes || part->data[sizeof kSignature] != number)
                continue;
            AppendJpegSegment(out, kApp2, part->data);
        }
    }
}
