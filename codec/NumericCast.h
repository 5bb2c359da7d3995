#pragma once

#include <cmath>
#include <cstdint>
#include <limits>

// Conversions of values read from files. A plain cast of an out-of-range or
// NaN double is undefined behaviour; these saturate instead (NaN gives 0).
inline std::int32_t TruncateToInt32(double v) {
    if (std::isnan(v)) {
        return 0;
    }
    if (v >= 2147483647.0) {
        return std::numeric_limits<std::int32_t>::max();
    }
    if (v <= -2147483648.0) {
        return std::numeric_limits<std::int32_t>::min();
    }
    return static_cast<std::int32_t>(v);
}

inline std::uint32_t TruncateToUint32(double v) {
    if (std::isnan(v) || v <= 0) {
        return 0;
    }
    if (v >= 4294967295.0) {
        return std::numeric_limits<std::uint32_t>::max();
    }
    return static_cast<std::uint32_t>(v);
}

inline float NarrowToFloat(double v) {
    constexpr double kMax = std::numeric_limits<float>::max();
    if (v > kMax && !std::isinf(v)) {
        return std::numeric_limits<float>::max();
    }
    if (v < -kMax && !std::isinf(v)) {
        return -std::numeric_limits<float>::max();
    }
    return static_cast<float>(v);
}
