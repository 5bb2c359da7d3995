// Peak memory of one decode of a 24-megapixel JPEG, against the size of the
// picture's own block. The kernel's high-water mark is reset just before the
// decode (clear_refs 5), so the peak above the resident size before it is
// what the decode itself needed.
#include "bench/PeakMemory.h"
#include "bench/PhotoFixture.h"

#include "codec/LxImageJPG.h"
#include "image/LxIOFile.h"

#include <cstdio>
#include <filesystem>
#include <string>

namespace bs = bench_support;

int main() {
    const std::string path = bs::PhotoJpegPath();
    std::error_code ignored;
    std::printf("picture: %d x %d, JPEG of %.1f MiB\n", bs::kPhotoWidth, bs::kPhotoHeight,
                std::filesystem::file_size(path, ignored) / 1048576.0);
    double blockMiB = 0;
    for (const bool ours : {true, false}) {
        if (!bs::ResetPeak()) {
            std::printf("cannot reset the peak (no /proc/self/clear_refs); no measurement\n");
            return 1;
        }
        const long before = bs::StatusKiB("VmRSS:");
        long peak = 0;
        if (ours) {
            LxImageJPG image;
            std::FILE* file = std::fopen(path.c_str(), "rb");
            {
                LxIOFile stream(file, false);
                if (!image.Decode(&stream)) {
                    std::printf("decode failed: %s\n", image.lastError());
                    return 1;
                }
            }
            std::fclose(file);
            peak = bs::StatusKiB("VmHWM:");
            blockMiB = image.GetBlockSize() / 1048576.0;
        } else {
            bs::RgbBuffer rgb;
            int w = 0;
            int h = 0;
            bs::BareDecode(path, rgb, w, h);
            peak = bs::StatusKiB("VmHWM:");
        }
        const double usedMiB = (peak - before) / 1024.0;
        std::printf(
            "%-14s peak above start %.1f MiB; image block %.1f MiB; ratio %.3f (goal <= 1.10)\n",
            ours ? "Lumora decode" : "bare libjpeg", usedMiB, blockMiB, usedMiB / blockMiB);
    }
    std::remove(path.c_str());
    return 0;
}
