#include "fuzz/PipelineFuzzEntry.h"

#include "captions/CaptionList.h"
#include "pipeline/PicturePipeline.h"

#include <QGuiApplication>

#include <cstdio>
#include <cstdlib>
#include <filesystem>
#include <string>
#include <system_error>
#include <unistd.h>

namespace fuzz_entries {
namespace {
constexpr std::uint64_t kMaxFuzzPixels = 4'000'000;

// A folder of its own for the input and the saved copy, made once and
// removed when the process ends; empty when none could be made.
class ScratchFolder {
public:
    ScratchFolder() {
        char pattern[] = "/tmp/lumora-fuzz-XXXXXX";
        if (const char* made = ::mkdtemp(pattern))
            path_ = made;
    }
    ~ScratchFolder() {
        if (path_.empty())
            return;
        std::error_code ignored;
        std::filesystem::remove_all(path_, ignored);
    }
    ScratchFolder(const ScratchFolder&) = delete;
    ScratchFolder& operator=(const ScratchFolder&) = delete;
    const std::string& path() const { return path_; }

private:
    std::string path_;
};

const std::string& scratchFolder() {
    static const ScratchFolder folder;
    return folder.path();
}

std::string readAll(const QString& path) {
    std::string bytes;
    if (std::FILE* file = std::fopen(path.toLocal8Bit().constData(), "rb")) {
        char chunk[65536];
        std::size_t n = 0;
        while ((n = std::fread(chunk, 1, sizeof chunk, file)) > 0)
            bytes.append(chunk, n);
        std::fclose(file);
    }
    return bytes;
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
    if (scratchFolder().empty())
        return;
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
    // The input's size picks the save: a band above or below, a caption on
    // the photo or none, each keeping the photo's blocks; every fifth
    // encodes afresh.
    constexpr std::int32_t kPlaces[] = {Disposition::TopBand, Disposition::BottomBand,
                                        Disposition::OnImage, 0};
    const std::int32_t place = kPlaces[size % 4];
    if (place != 0) {
        Caption caption;
        caption.text = QStringLiteral("Fuzz");
        caption.disposition = place;
        caption.verticalAlignment = VerticalAlignment::Center;
        document.captions.append(caption);
    }
    SaveChoices choices;
    choices.metadata = size % 2 == 0 ? MetadataChoice::KeepAll : MetadataChoice::KeepAllButLocation;
    choices.quality.keep = size % 5 != 0;
    const QString saved = QString::fromStdString(scratchFolder() + "/saved.jpg");
    const PipelineResult window = savePicture(document, saved, choices);
    // The command line's in-place road writes the window's bytes, or leaves
    // the photo to the general road.
    const QString inPlace = QString::fromStdString(scratchFolder() + "/in-place.jpg");
    const std::optional<PipelineResult> job = captionJpegInPlace(
        QString::fromStdString(input), inPlace, document.captions, document.captionData, choices);
    if (window.ok && job && job->ok && readAll(saved) != readAll(inPlace))
        std::abort();
}

} // namespace fuzz_entries
