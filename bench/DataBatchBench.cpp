// `lumora caption --data` over 20 photos of 6 megapixels, each photo's row
// of a table filling a band and a caption on the photo, beside the same run
// without the table, its set holding one row's words as they are (so both
// draw text of the same length). Each run is a separate process timed on the wall clock;
// the two take turns for nine rounds, each starting with the other run in
// turn, and each is reported by its median. Ends with the summary line.
#include "bench/PhotoFixture.h"
#include "bench/Shell.h"

#include <algorithm>
#include <chrono>
#include <cstdio>
#include <cstdlib>
#include <filesystem>
#include <fstream>
#include <string>
#include <unistd.h>
#include <utility>
#include <vector>

namespace bs = bench_support;
namespace fs = std::filesystem;

namespace {

constexpr int kPhotos = 20;
constexpr int kWidth = 3000;
constexpr int kHeight = 2000;
constexpr int kRounds = 9;

constexpr char kSet[] = R"({ "format": "lumora-captions", "version": 1,
  "captions": [
    { "text": "{Title} {Lot}", "disposition": "bottom-band", "horizontalAlignment": "center",
      "font": { "family": "DejaVu Sans", "size": 4, "sizeUnit": "percent", "bold": true },
      "textColor": "#FFFFFF", "backgroundColor": "#203040" },
    { "text": "{Price}", "verticalAlignment": "bottom", "horizontalAlignment": "right",
      "font": { "family": "DejaVu Sans", "size": 3, "sizeUnit": "percent" },
      "textColor": "#FFFFFF", "margins": { "left": 0, "top": 0, "right": 60, "bottom": 60 },
      "box": { "enabled": true, "color": "#000000", "opacity": 50, "padding": 16 } },
    { "text": "{Title} {Price}", "useTextAsDescription": true } ] })";

// The wall-clock seconds of one shell command; negative when it failed.
double Timed(const std::string& command) {
    const auto start = std::chrono::steady_clock::now();
    const int status = std::system(command.c_str());
    const double seconds =
        std::chrono::duration<double>(std::chrono::steady_clock::now() - start).count();
    return status == 0 ? seconds : -1;
}

double Median(std::vector<double> samples) {
    std::sort(samples.begin(), samples.end());
    return samples[samples.size() / 2];
}

struct Scratch {
    fs::path path;
    ~Scratch() {
        std::error_code ignored;
        fs::remove_all(path, ignored);
    }
};

} // namespace

int main() {
    const Scratch scratch{fs::temp_directory_path() /
                          ("lumora-data-batch-" + std::to_string(::getpid()))};
    const fs::path& root = scratch.path;
    fs::create_directories(root / "in");
    const fs::path first = root / "in" / "photo00.jpg";
    if (!bs::WritePhotoJpeg(first.string(), kWidth, kHeight)) {
        std::fprintf(stderr, "could not write the bench photo\n");
        return 1;
    }
    std::ofstream table(root / "lots.csv");
    table << "photo,Title,Lot,Price\n";
    for (int i = 0; i < kPhotos; ++i) {
        char name[32];
        std::snprintf(name, sizeof name, "photo%02d.jpg", i);
        if (i > 0)
            fs::copy_file(first, root / "in" / name);
        table << "in/" << name << ",\"Harbour at dawn, print " << i << "\",Lot " << 100 + i << ",\""
              << 120 + 5 * i << ",00 €\"\n";
    }
    table.close();
    std::ofstream(root / "set.lumora-captions.json") << kSet;
    std::string literal = kSet;
    for (const auto& [name, value] :
         {std::pair<std::string, std::string>{"{Title}", "Harbour at dawn, print 10"},
          {"{Lot}", "Lot 110"},
          {"{Price}", "170,00 €"}}) {
        for (std::size_t at = literal.find(name); at != std::string::npos; at = literal.find(name))
            literal.replace(at, name.size(), value);
    }
    std::ofstream(root / "literal.lumora-captions.json") << literal;
    fs::create_directories(root / "plain");
    fs::create_directories(root / "data");

    const std::string lumora =
        std::string("env -u DISPLAY ") + LUMORA_PROGRAM + " caption --overwrite --jobs 2 --set ";
    const std::string in = " " + bs::Quoted((root / "in").string()) + " >/dev/null 2>&1";
    const std::string plain = lumora +
                              bs::Quoted((root / "literal.lumora-captions.json").string()) +
                              " --out " + bs::Quoted((root / "plain").string()) + in;
    const std::string data = lumora + bs::Quoted((root / "set.lumora-captions.json").string()) +
                             " --data-required --data " + bs::Quoted((root / "lots.csv").string()) +
                             " --out " + bs::Quoted((root / "data").string()) + in;

    std::vector<double> plainTimes;
    std::vector<double> dataTimes;
    bool ok = true;
    for (int round = 0; round < kRounds; ++round) {
        for (int turn = 0; turn < 2; ++turn) {
            const bool withData = (round + turn) % 2 == 1;
            const double seconds = Timed(withData ? data : plain);
            ok = ok && seconds > 0;
            (withData ? dataTimes : plainTimes).push_back(seconds);
        }
    }
    const double plainRun = Median(plainTimes);
    const double dataRun = Median(dataTimes);
    std::printf("%d photos of %d x %d, --jobs 2; medians of %d rounds\n", kPhotos, kWidth, kHeight,
                kRounds);
    std::printf("%-34s %7.2f s\n", "lumora caption", plainRun);
    std::printf("%-34s %7.2f s%s\n", "lumora caption --data (20 rows)", dataRun,
                ok ? "" : "  (FAILED)");
    std::printf("summary: data_batch_vs_plain = %.3f\n", dataRun / plainRun);
    return ok ? 0 : 1;
}
