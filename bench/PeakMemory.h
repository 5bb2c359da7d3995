#pragma once

namespace bench_support {

// A field of /proc/self/status such as "VmRSS:" or "VmHWM:", in KiB; -1
// when the field is missing.
long StatusKiB(const char* field);

// Brings the kernel's resident high-water mark (VmHWM) down to the current
// resident size, so that a peak read later belongs to what ran in between.
// False where /proc/self/clear_refs is missing or refuses the write.
bool ResetPeak();

} // namespace bench_support
