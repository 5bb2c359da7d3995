#include "image/LargePages.h"

#include <cstdint>
#include <sys/mman.h>

namespace {
constexpr std::size_t kPageBytes = 4096;
// Below this the hint cannot pay for itself.
constexpr std::size_t kMinimumBytes = std::size_t{8} << 20;
} // namespace

void AdviseLargePages(void* data, std::size_t size) {
#ifdef MADV_HUGEPAGE
    if (!data || size < kMinimumBytes) {
        return;
    }
    const auto begin = reinterpret_cast<std::uintptr_t>(data);
    const std::uintptr_t first = (begin + kPageBytes - 1) & ~(kPageBytes - 1);
    const std::uintptr_t last = (begin + size) & ~(kPageBytes - 1);
    if (last > first) {
        ::madvise(reinterpret_cast<void*>(first), last - first, MADV_HUGEPAGE);
    }
#else
    (void)data;
    (void)size;
#endif
}
