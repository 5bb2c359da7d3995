#include "image/Orientation.h"

#include <cstring>

namespace {
std::uint32_t* uprightRow(std::uint8_t* upright, std::ptrdiff_t stride, std::uint32_t row) {
    return reinterpret_cast<std::uint32_t*>(upright + static_cast<std::ptrdiff_t>(row) * stride);
}
} // namespace

int uprightOrientation(std::int64_t value) {
    return value >= 1 && value <= 8 ? static_cast<int>(value) : 1;
}

bool orientationSwapsSides(int orientation) {
    return orientation >= 5 && orientation <= 8;
}

void placeStoredRows(int orientation, std::uint32_t width, std::uint32_t height,
                     std::uint32_t first, std::uint32_t count, const std::uint8_t* const* rows,
                     std::uint8_t* upright, std::ptrdiff_t uprightStride) {
    orientation = uprightOrientation(orientation);
    if (!orientationSwapsSides(orientation)) {
        // Rows stay rows: each lands whole on one upright row, mirrored for 2 and 3.
        const bool flipRows = orientation == 3 || orientation == 4;
        const bool mirror = orientation == 2 || orientation == 3;
        for (std::uint32_t i = 0; i < count; ++i) {
            const std::uint32_t y = first + i;
            std::uint32_t* out = uprightRow(upright, uprightStride, flipRows ? height - 1 - y : y);
            const auto* in = reinterpret_cast<const std::uint32_t*>(rows[i]);
            if (!mirror) {
                std::memcpy(out, in, std::size_t{width} * 4);
                continue;
            }
            for (std::uint32_t x = 0; x < width; ++x) {
                out[width - 1 - x] = in[x];
            }
        }
        return;
    }
    // Rows become columns. Stored column x is upright row x (5, 6) or
    // width - 1 - x (7, 8); stored row y is upright column y (5, 8) or
    // height - 1 - y (6, 7). A batch of rows fills a short run of each
    // upright row, so the writes stay within a few cache lines per row.
    const bool reverseRows = orientation == 7 || orientation == 8;
    const bool reverseColumns = orientation == 6 || orientation == 7;
    constexpr std::uint32_t kRun = 64;
    const std::uint32_t* in[kRun];
    std::uint32_t done = 0;
    while (done < count) {
        const std::uint32_t n = count - done < kRun ? count - done : kRun;
        for (std::uint32_t i = 0; i < n; ++i) {
            in[i] = reinterpret_cast<const std::uint32_t*>(rows[done + i]);
        }
        const std::uint32_t y0 = first + done;
        for (std::uint32_t x = 0; x < width; ++x) {
            std::uint32_t* out =
                uprightRow(upright, uprightStride, reverseRows ? width - 1 - x : x);
            if (reverseColumns) {
                std::uint32_t* at = out + (height - 1 - y0);
                for (std::uint32_t i = 0; i < n; ++i) {
                    *(at - i) = in[i][x];
                }
            } else {
                std::uint32_t* at = out + y0;
                for (std::uint32_t i = 0; i < n; ++i) {
                    at[i] = in[i][x];
                }
            }
        }
        done += n;
    }
}
