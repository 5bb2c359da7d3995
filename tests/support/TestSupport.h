#pragma once

#include <cstddef>
#include <cstdint>
#include <filesystem>
#include <map>
#include <set>
#include <string>
#include <vector>

class LxImage;
class LxImageJPG;

namespace testing_support {

// A fresh folder under the system's temporary directory, removed with its
// contents when the object goes away.
class TempDir {
public:
    TempDir();
    ~TempDir();
    TempDir(const TempDir&) = delete;
    std::filesystem::path path() const { return path_; }
    std::filesystem::path file(const std::string& name) const { return path_ / name; }

private:
    std::filesystem::path path_;
};

// Limits the size of files this process writes, as a full disk would, and
// lifts the limit again when it goes away. Writing past it fails with
// EFBIG instead of ending the process.
class FileSizeLimit {
public:
    explicit FileSizeLimit(std::uint64_t bytes);
    ~FileSizeLimit();
    FileSizeLimit(const FileSizeLimit&) = delete;
    bool active() const { return active_; }

private:
    std::uint64_t saved_ = 0;
    void (*handler_)(int) = nullptr;
    bool active_ = false;
};

struct CommandResult {
    int exitCode = -1;
    std::string output; // standard output only
};
// Runs a shell command; standard error is discarded.
CommandResult Run(const std::string& command);
std::string Quote(const std::string& text);

// A JPEG of `height` rows of 32-bit pixels (QImage's RGB32 layout) starting
// at `top`, `stride` bytes apart, as the program's encoder writes it, with
// `segments` (whole, marker first) placed right after its JFIF header.
std::vector<std::uint8_t> JpegOfRows(const std::uint8_t* top, std::ptrdiff_t stride, int width,
                                     int height,
                                     const std::vector<std::vector<std::uint8_t>>& segments = {});

// Names of the entries of a folder.
std::set<std::string> Listing(const std::filesystem::path& folder);

std::vector<std::uint8_t> ReadBytes(const std::filesystem::path& path);
void WriteBytes(const std::filesystem::path& path, const std::vector<std::uint8_t>& bytes);

// Decodes a file through an LxIOFile, as the open pipeline does.
bool DecodeFile(const std::filesystem::path& path, LxImageJPG& image);

// A binary PPM (P6) or PGM (P5) picture as djpeg writes it.
struct Pnm {
    int width = 0, height = 0, channels = 0;
    std::vector<std::uint8_t> samples; // top row first
};
bool ParsePnm(const std::vector<std::uint8_t>& bytes, Pnm& out);
// The same picture turned upright as a viewer does for an EXIF Orientation
// (1 to 8; anything else leaves it as it is), pixel by pixel.
Pnm Upright(const Pnm& stored, int orientation);

// The picture as top-down samples in djpeg's order: RGB, or grey for 8 bits.
std::vector<std::uint8_t> TopDownSamples(const LxImage& image);

std::filesystem::path CorpusDir();
// Whether the outside JPEG files are where the build was told they are; a
// clone of the repository alone has none.
bool CorpusAvailable();
// The rows of the corpus manifest, by column name.
std::vector<std::map<std::string, std::string>> ReadManifest();

} // namespace testing_support

// Skips the calling test, saying where the outside files were looked for.
#define LUMORA_SKIP_WITHOUT_CORPUS()                                                               \
    do {                                                                                           \
        if (!::testing_support::CorpusAvailable())                                                 \
            GTEST_SKIP() << "needs the outside JPEG files, not found at "                          \
                         << ::testing_support::CorpusDir()                                         \
                         << " (configure with -DLUMORA_CORPUS_DIR=...)";                           \
    } while (false)
