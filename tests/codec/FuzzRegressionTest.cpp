// Every input a fuzzer once crashed on, replayed through the same code the
// fuzz targets run. Under the sanitizer build this catches a relapse.
#include "fuzz/FormatFuzzEntry.h"
#include "fuzz/FuzzEntries.h"
#include "fuzz/PipelineFuzzEntry.h"
#include "tests/support/TestSupport.h"

#include <gtest/gtest.h>

TEST(FuzzRegressions, SavedCrashersRunCleanThroughEveryTarget) {
    int replayed = 0;
    for (const auto& entry : std::filesystem::directory_iterator(LUMORA_FUZZ_REGRESSIONS_DIR)) {
        SCOPED_TRACE(entry.path().filename().string());
        const auto bytes = testing_support::ReadBytes(entry.path());
        fuzz_entries::ExifScan(bytes.data(), bytes.size());
        fuzz_entries::Decode(bytes.data(), bytes.size());
        fuzz_entries::BlockCopy(bytes.data(), bytes.size());
        fuzz_entries::OpenAndSave(bytes.data(), bytes.size());
        for (const PictureFormat format :
             {PictureFormat::Heif, PictureFormat::Png, PictureFormat::Tiff, PictureFormat::Webp})
            fuzz_entries::ReadFormat(format, bytes.data(), bytes.size());
        ++replayed;
    }
    EXPECT_GT(replayed, 0);
}
