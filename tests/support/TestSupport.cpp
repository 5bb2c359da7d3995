#include "tests/support/TestSupport.h"

#include "codec/JpegRows.h"
#include "codec/LxImageJPG.h"
#include "image/LxIOFile.h"
#include "image/LxMemFile.h"

#include <algorithm>
#include <array>
#include <csignal>
#include <cstdio>
#include <cstdlib>
#include <fstream>
#include <gtest/gtest.h>
#include <iterator>
#include <sstream>
#include <sys/resource.h>
#include <sys/wait.h>

namespace testing_support {

std::vector<std::uint8_t> JpegOfRows(const std::uint8_t* top, std::ptrdiff_t stride, int width,
                                     int height,
                                     const std::vector<std::vector<std::uint8_t>>& segments) {
    LxMemFile out(static_cast<std::uint8_t*>(std::malloc(16)), 16);
    std::string error;
    EXPECT_TRUE(EncodeJpegRows(&out, top, stride, static_cast<std::uint32_t>(width),
                               static_cast<std::uint32_t>(height), JpegEncodeSettings{}, error))
        << error;
    const std::uint8_t* p = out.GetBufferPointer(false);
    std::vector<std::uint8_t> bytes(p, p + std::min<std::size_t>(out.Size(), 20));
    for (const auto& segment : segments)
        bytes.insert(bytes.end(), segment.begin(), segment.end());
    if (out.Size() > 20)
        bytes.insert(bytes.end(), p + 20, p + out.Size());
    std::free(out.GetBufferPointer(true));
    return bytes;
}

TempDir::TempDir() {
    std::string pattern = (std::filesystem::temp_directory_path() / "lumora-test-XXXXXX").string();
    if (!mkdtemp(pattern.data())) {
        std::abort();
    }
    path_ = pattern;
}

TempDir::~TempDir() {
    std::error_code ignored;
    std::filesystem::remove_all(path_, ignored);
}

FileSizeLimit::FileSizeLimit(std::uint64_t bytes) {
    rlimit limit{};
    if (getrlimit(RLIMIT_FSIZE, &limit) != 0) {
        return;
    }
    saved_ = limit.rlim_cur;
    handler_ = std::signal(SIGXFSZ, SIG_IGN);
    limit.rlim_cur = bytes;
    active_ = setrlimit(RLIMIT_FSIZE, &limit) == 0;
}

FileSizeLimit::~FileSizeLimit() {
    rlimit limit{};
    if (getrlimit(RLIMIT_FSIZE, &limit) == 0) {
        limit.rlim_cur = saved_;
        setrlimit(RLIMIT_FSIZE, &limit);
    }
    std::signal(SIGXFSZ, handler_);
}

CommandResult Run(const std::string& command) {
    CommandResult result;
    std::FILE* pipe = popen((command + " 2>/dev/null").c_str(), "r");
    if (!pipe) {
        return result;
    }
    std::array<char, 65536> chunk;
    std::size_t n = 0;
    while ((n = std::fread(chunk.data(), 1, chunk.size(), pipe)) > 0) {
        result.output.append(chunk.data(), n);
    }
    const int status = pclose(pipe);
    result.exitCode = WIFEXITED(status) ? WEXITSTATUS(status) : -1;
    return result;
}

std::string Quote(const std::string& text) {
    std::string quoted = "'";
    for (char c : text) {
        if (c == '\'') {
            quoted += "'\\''";
        } else {
            quoted += c;
        }
    }
    return quoted + "'";
}

std::set<std::string> Listing(const std::filesystem::path& folder) {
    std::set<std::string> names;
    for (const auto& entry : std::filesystem::directory_iterator(folder)) {
        names.insert(entry.path().filename().string());
    }
    return names;
}

std::vector<std::uint8_t> ReadBytes(const std::filesystem::path& path) {
    std::ifstream in(path, std::ios::binary);
    return {std::istreambuf_iterator<char>(in), std::istreambuf_iterator<char>()};
}

void WriteBytes(const std::filesystem::path& path, const std::vector<std::uint8_t>& bytes) {
    std::ofstream out(path, std::ios::binary);
    out.write(reinterpret_cast<const char*>(bytes.data()),
              static_cast<std::streamsize>(bytes.size()));
}

bool DecodeFile(const std::filesystem::path& path, LxImageJPG& image) {
    std::FILE* file = std::fopen(path.c_str(), "rb");
    if (!file) {
        return false;
    }
    bool ok = false;
    {
        LxIOFile stream(file, false);
        ok = image.Decode(&stream);
    }
    std::fclose(file);
    return ok;
}

namespace {
bool ReadPnmNumber(const std::vector<std::uint8_t>& bytes, std::size_t& pos, int& value) {
    while (pos < bytes.size()) {
        if (bytes[pos] == '#') {
            while (pos < bytes.size() && bytes[pos] != '\n') {
                ++pos;
            }
        } else if (std::isspace(bytes[pos])) {
            ++pos;
        } else {
            break;
        }
    }
    value = 0;
    bool any = false;
    while (pos < bytes.size() && std::isdigit(bytes[pos])) {
        value = value * 10 + (bytes[pos++] - '0');
        any = true;
    }
    return any;
}
} // namespace

bool ParsePnm(const std::vector<std::uint8_t>& bytes, Pnm& out) {
    if (bytes.size() < 2 || bytes[0] != 'P' || (bytes[1] != '5' && bytes[1] != '6')) {
        return false;
    }
    out.channels = bytes[1] == '6' ? 3 : 1;
    std::size_t pos = 2;
    int maxValue = 0;
    if (!ReadPnmNumber(bytes, pos, out.width) || !ReadPnmNumber(bytes, pos, out.height) ||
        !ReadPnmNumber(bytes, pos, maxValue) || maxValue != 255) {
        return false;
    }
    ++pos; // the single white-space byte before the samples
    const std::size_t count = std::size_t(out.width) * out.height * out.channels;
    if (bytes.size() < pos + count) {
        return false;
    }
    out.samples.assign(bytes.begin() + static_cast<std::ptrdiff_t>(pos),
                       bytes.begin() + static_cast<std::ptrdiff_t>(pos + count));
    return true;
}

std::vector<std::uint8_t> TopDownSamples(const LxImage& image) {
    const bool grey = image.GetBitCount() == 8;
    const int w = image.GetWidth();
    std::vector<std::uint8_t> out;
    out.reserve(std::size_t(w) * image.GetHeight() * (grey ? 1 : 3));
    for (int y = image.GetHeight() - 1; y >= 0; --y) {
        const std::uint8_t* row = image.GetRowPointer(y);
        for (int x = 0; x < w; ++x) {
            if (grey) {
                out.push_back(row[x]);
            } else {
                out.insert(out.end(), {row[3 * x + 2], row[3 * x + 1], row[3 * x]});
            }
        }
    }
    return out;
}

std::vector<std::uint8_t> ToPnm(const LxImage& image) {
    const bool grey = image.GetBitCount() == 8;
    const std::string header = std::string(grey ? "P5\n" : "P6\n") +
                               std::to_string(image.GetWidth()) + " " +
                               std::to_string(image.GetHeight()) + "\n255\n";
    std::vector<std::uint8_t> out(header.begin(), header.end());
    const auto samples = TopDownSamples(image);
    out.insert(out.end(), samples.begin(), samples.end());
    return out;
}

namespace {
// For each orientation (index 1 to 8): whether the viewer's x and y are
// swapped to find the stored pixel, then mirrored across the stored width
// and height.
struct Placement {
    bool swap;
    bool mirrorX;
    bool mirrorY;
};
constexpr Placement kPlacements[9] = {
    {false, false, false}, {false, false, false}, {false, true, false},
    {false, true, true},   {false, false, true},  {true, false, false},
    {true, false, true},   {true, true, true},    {true, true, false},
};
} // namespace

Pnm Upright(const Pnm& stored, int orientation) {
    if (orientation < 1 || orientation > 8)
        orientation = 1;
    const bool swap = orientation >= 5;
    Pnm out;
    out.width = swap ? stored.height : stored.width;
    out.height = swap ? stored.width : stored.height;
    out.channels = stored.channels;
    out.samples.resize(stored.samples.size());
    const int w = stored.width;
    const int h = stored.height;
    for (int uy = 0; uy < out.height; ++uy) {
        for (int ux = 0; ux < out.width; ++ux) {
            // Where the viewer's pixel (ux, uy) is stored, by the meaning of
            // each value: which stored side is the top, which the left.
            const Placement& p = kPlacements[orientation];
            const int a = p.swap ? uy : ux;
            const int b = p.swap ? ux : uy;
            const int sx = p.mirrorX ? w - 1 - a : a;
            const int sy = p.mirrorY ? h - 1 - b : b;
            const std::size_t from = (static_cast<std::size_t>(sy) * w + sx) * stored.channels;
            const std::size_t to = (static_cast<std::size_t>(uy) * out.width + ux) * out.channels;
            for (int c = 0; c < stored.channels; ++c)
                out.samples[to + c] = stored.samples[from + c];
        }
    }
    return out;
}

std::filesystem::path CorpusDir() {
    return LUMORA_CORPUS_DIR;
}

bool CorpusAvailable() {
    std::error_code error;
    return std::filesystem::is_regular_file(CorpusDir() / "MANIFEST.tsv", error);
}

namespace {
std::vector<std::string> SplitTsvLine(const std::string& line) {
    std::vector<std::string> fields;
    std::string field;
    bool quoted = false;
    for (std::size_t i = 0; i < line.size(); ++i) {
        const char c = line[i];
        if (quoted) {
            if (c == '"' && i + 1 < line.size() && line[i + 1] == '"') {
                field += '"';
                ++i;
            } else if (c == '"') {
                quoted = false;
            } else {
                field += c;
            }
        } else if (c == '"' && field.empty()) {
            quoted = true;
        } else if (c == '\t') {
            fields.push_back(field);
            field.clear();
        } else {
            field += c;
        }
    }
    fields.push_back(field);
    return fields;
}
} // namespace

std::vector<ManifestRow> ReadManifest() {
    std::ifstream in(CorpusDir() / "MANIFEST.tsv");
    std::string line;
    std::vector<std::string> header;
    std::vector<ManifestRow> rows;
    while (std::getline(in, line)) {
        const auto fields = SplitTsvLine(line);
        if (header.empty()) {
            header = fields;
            continue;
        }
        ManifestRow row;
        for (std::size_t i = 0; i < header.size() && i < fields.size(); ++i) {
            row[header[i]] = fields[i];
        }
        rows.push_back(std::move(row));
    }
    return rows;
}

} // namespace testing_support
