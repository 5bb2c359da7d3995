#pragma once

#include <cstddef>

// Asks the kernel to back a large, freshly allocated buffer with huge pages
// where it can. A whole picture touched for the first time otherwise costs
// one page fault per 4 KiB, which is most of the time of a full-size copy.
// Only a hint: call it before the buffer is written; it does nothing for
// small buffers or where the kernel does not offer it.
void AdviseLargePages(void* data, std::size_t size);
