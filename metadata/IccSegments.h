#pragma once

#include "codec/JpegRows.h"

#include <cstdint>
#include <vector>

// ICC colour profiles in APP2 segments: "ICC_PROFILE", a zero byte, the
// segment's sequence number (from 1) and the number of segments, then that
// part of the profile.

bool isIccSegment(const JpegSegment& segment);
// True when there is no profile, or when its segments form one whole
// profile: the same count in each, every number from 1 to the count exactly
// once. Parts may come in any order.
bool iccProfileIsComplete(const std::vector<JpegSegment>& segments);
// Appends the profile's segments, complete with markers, byte for byte in
// sequence order. Only for a complete profile.
void appendIccSegments(const std::vector<JpegSegment>& segments, std::vector<std::uint8_t>& out);
