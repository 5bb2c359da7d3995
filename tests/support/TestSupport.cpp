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
#include <memory>
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
    if (!mkdtemp(pattern.data()))
        std::abort();
    path_ = pattern;
}

TempDir::~TempDir() {
    std::error_code ignored;
    std::filesystem::remove_all(path_, ignored);
}

FileSizeLimit::FileSizeLimit(std::uint64_t bytes) {
    rlimit limit{};
    if (getrlimit(RLIMIT_FSIZE, &limit) != 0)
        return;
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
    if (!pipe)
        return result;
    std::array<char, 65536> chunk;
    for (std::size_t n; (n = std::fread(chunk.data(), 1, chunk.size(), pipe)) > 0;)
        result.output.append(chunk.data(), n);
    const int status = pclose(pipe);
    result.exitCode = WIFEXITED(status) ? WEXITSTATUS(status) : -1;
    return result;
}

std::string Quote(const std::string& text) {
    std::string quoted = "'";
    for (char c : text)
        quoted += c == '\'' ? std::string("'\\''") : std::string(1, c);
    return quoted + "'";
}

std::set<std::string> Listing(const std::filesystem::path& folder) {
    std::set<std::string> names;
    for (const auto& entry : std::filesystem::directory_iterator(folder))
        names.insert(entry.path().filename().string());
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
    std::unique_ptr<std::FILE, int (*)(std::FILE*)> file(std::fopen(path.c_str(), "rb"),
                                                         std::fclose);
    LxIOFile stream(file.get(), false);
    return file && image.Decode(&stream);
}

bool ParsePnm(const std::vector<std::uint8_t>& bytes, Pnm& out) {
    // "P6" or "P5", width, height and 255 apart by white space, one more
    // white-space byte, then the samples.
    const std::string text(bytes.begin(), bytes.begin() + std::min<std::size_t>(bytes.size(), 64));
    std::istringstream header(text);
    std::string magic;
    int maxValue = 0;
    if (!(header >> magic >> out.width >> out.height >> maxValue) || maxValue != 255 ||
        (magic != "P5" && magic != "P6"))
        return false;
    out.channels = magic == "P6" ? 3 : 1;
    const auto pos = static_cast<std::size_t>(header.tellg()) + 1;
    const std::size_t count = std::size_t(out.width) * out.height * out.channels;
    if (bytes.size() < pos + count)
        return false;
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
            if (grey)
                out.push_back(row[x]);
            else
                out.insert(out.end(), {row[3 * x + 2], row[3 * x + 1], row[3 * x]});
        }
    }
    return out;
}

Pnm Upright(const Pnm& stored, int orientation) {
    if (orientation < 1 || orientation > 8)
        orientation = 1;
    // Where the viewer's pixel (ux, uy) is stored, by the meaning of each
    // value: which stored side is the top, which the left.
    const bool swap = orientation >= 5;
    const bool mirrorX =
        orientation == 2 || orientation == 3 || orientation == 7 || orientation == 8;
    const bool mirrorY =
        orientation == 3 || orientation == 4 || orientation == 6 || orientation == 7;
    Pnm out{swap ? stored.height : stored.width, swap ? stored.width : stored.height,
            stored.channels, std::vector<std::uint8_t>(stored.samples.size())};
    for (int uy = 0; uy < out.height; ++uy) {
        for (int ux = 0; ux < out.width; ++ux) {
            const int a = swap ? uy : ux;
            const int b = swap ? ux : uy;
            const int sx = mirrorX ? stored.width - 1 - a : a;
            const int sy = mirrorY ? stored.height - 1 - b : b;
            const std::size_t from = (std::size_t(sy) * stored.width + sx) * stored.channels;
            const std::size_t to = (std::size_t(uy) * out.width + ux) * out.channels;
            std::copy_n(&stored.samples[from], stored.channels, &out.samples[to]);
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
// A line's tab-separated fields; a field in double quotes may hold tabs
// and doubled quotes.
std::vector<std::string> SplitTsvLine(const std::string& line) {
    std::vector<std::string> fields(1);
    bool quoted = false;
    for (std::size_t i = 0; i < line.size(); ++i) {
        const char c = line[i];
        if (c == '"' && (quoted || fields.back().empty())) {
            if (quoted && i + 1 < line.size() && line[i + 1] == '"')
                fields.back() += line[++i];
            else
                quoted = !quoted;
        } else if (c == '\t' && !quoted) {
            fields.emplace_back();
        } else {
            fields.back() += c;
        }
    }
    return fields;
}
} // namespace

std::vector<std::map<std::string, std::string>> ReadManifest() {
    std::ifstream in(CorpusDir() / "MANIFEST.tsv");
    std::string line;
    std::vector<std::string> header;
    std::vector<std::map<std::string, std::string>> rows;
    while (std::getline(in, line)) {
        const auto fields = SplitTsvLine(line);
        if (header.empty()) {
            header = fields;
            continue;
        }
        std::map<std::string, std::string> row;
        for (std::size_t i = 0; i < header.size() && i < fields.size(); ++i)
            row[header[i]] = fields[i];
        rows.push_back(std::move(row));
    }
    return rows;
}

} // namespace testing_support
