#include "fuzz/PipelineFuzzEntry.h"

#include "captions/PicturePipeline.h"

#include <QGuiApplication>

#include <cstdio>
#include <cstdlib>
#include <string>
#include <unistd.h>

namespace fuzz_entries {
namespace {
constexpr std::uint64_t kMaxFuzzPixels = 4'000'000;

// A folder of its own for the input and the saved copy, made once.
const std::string& scratchFolder() {
    static const std::string folder = [] {
        char pattern[] = "/tmp/lumora-fuzz-XXXXXX";
        const char* made = ::mkdtemp(pattern);
        return std::string(made != nullptr ? made : "/tmp");
    }();
    return folder;
}

// Drawing needs an application object; one is made on first use and kept.
void ensureApplication() {
    if (QCoreApplication::instance() != nullptr)
        return;
    ::setenv("QT_QPA_PLATFORM", "offscreen", 0);
    static int argc = 1;
    static char name[] = "lumora-fuzz";
    static char* argv[] = {name, nullptr};
    static QGuiApplication* application = new QGuiApplication(argc, argv);
    (void)application;
}
} // namespace

void OpenAndSave(const std::uint8_t* data, std::size_t size) {
    ensureApplication();
    const std::string input = scratchFolder() + "/input.jpg";
    std::FILE* file = std::fopen(input.c_str(), "wb");
    if (file == nullptr)
        return;
    const bool written = size == 0 || std::fwrite(data, 1, size, file) == size;
    std::fclose(file);
    if (!written)
        return;
    PictureDocument document;
    if (!openPicture(document, QString::fromStdString(input), kMaxFuzzPixels).ok)
        return;
    const MetadataChoice choice =
        size % 2 == 0 ? MetadataChoice::KeepAll : MetadataChoice::KeepAllButLocation;
    savePicture(document, QString::fromStdString(scratchFolder() + "/saved.jpg"), choice);
}

} // namespace fuzz_entries
