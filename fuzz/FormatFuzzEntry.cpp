#include "fuzz/FormatFuzzEntry.h"

#include "formats/PictureRead.h"
#include "metadata/PhotoMetadata.h"

#include <QGuiApplication>

#include <cstdlib>

namespace fuzz_entries {
namespace {
constexpr std::uint64_t kMaxFuzzPixels = 4'000'000;

// Qt finds its image plugins through the application object; one is made on
// first use and kept.
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

void ReadFormat(PictureFormat format, const std::uint8_t* data, std::size_t size) {
    ensureApplication();
    PictureGate gate(kMaxFuzzPixels);
    PictureRead read = format == PictureFormat::Heif || format == PictureFormat::Avif
                           ? readHeifPicture(data, size, gate)
                           : readPluginPicture(data, size, format, gate);
    if (read.picture.isNull())
        return;
    const PhotoMetadata metadata = readPhotoMetadata(std::move(read.kept));
    const QImage upright = turnedUpright(read.picture, read.upright ? 1 : metadata.orientation);
    carryMetadata(metadata, MetadataChoice::KeepAll, "caption",
                  static_cast<std::uint32_t>(upright.width()),
                  static_cast<std::uint32_t>(upright.height()));
}

} // namespace fuzz_entries
