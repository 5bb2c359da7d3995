// Decode and encode of a 24-megapixel photograph through LxImageJPG, each
// beside the same work done with bare libjpeg calls in the same run. The
// ratios printed at the end are what to compare: the machine is shared.
#include "bench/PhotoFixture.h"
#include "bench/RatioReporter.h"

#include "codec/LxImageJPG.h"
#include "image/LxIOFile.h"
#include "image/LxMemFile.h"

#include <benchmark/benchmark.h>
#include <cstdio>
#include <cstdlib>

namespace bs = bench_support;

namespace {
LxImageJPG& Photo() {
    static LxImageJPG* image = [] {
        auto* p = new LxImageJPG;
        bs::FillPhoto(*p, bs::kPhotoWidth, bs::kPhotoHeight);
        return p;
    }();
    return *image;
}

void BM_Decode_Lumora(benchmark::State& state) {
    const std::string path = bs::PhotoJpegPath();
    for (auto _ : state) {
        std::FILE* file = std::fopen(path.c_str(), "rb");
        if (!file) {
            state.SkipWithError("the photo is gone");
            break;
        }
        LxImageJPG image;
        {
            LxIOFile stream(file, false);
            if (!image.Decode(&stream)) {
                state.SkipWithError(image.lastError());
            }
        }
        std::fclose(file);
        benchmark::DoNotOptimize(image.GetRowPointer(0));
    }
    state.counters["Mpx/s"] = benchmark::Counter(double(bs::kPhotoWidth) * bs::kPhotoHeight / 1e6,
                                                 benchmark::Counter::kIsIterationInvariantRate);
}

void BM_Decode_BareLibjpeg(benchmark::State& state) {
    const std::string path = bs::PhotoJpegPath();
    for (auto _ : state) {
        bs::RgbBuffer rgb;
        int w = 0;
        int h = 0;
        if (!bs::BareDecode(path, rgb, w, h)) {
            state.SkipWithError("the photo is gone");
            break;
        }
        benchmark::DoNotOptimize(rgb.get());
    }
    state.counters["Mpx/s"] = benchmark::Counter(double(bs::kPhotoWidth) * bs::kPhotoHeight / 1e6,
                                                 benchmark::Counter::kIsIterationInvariantRate);
}

void BM_Encode_Lumora(benchmark::State& state) {
    LxImageJPG& image = Photo();
    for (auto _ : state) {
        LxMemFile stream(static_cast<std::uint8_t*>(std::malloc(16)), 16);
        if (!image.Encode(&stream)) {
            state.SkipWithError(image.lastError());
        }
        benchmark::DoNotOptimize(stream.Size());
    }
    state.counters["Mpx/s"] = benchmark::Counter(double(bs::kPhotoWidth) * bs::kPhotoHeight / 1e6,
                                                 benchmark::Counter::kIsIterationInvariantRate);
}

void BM_Encode_BareLibjpeg(benchmark::State& state) {
    const std::vector<std::uint8_t> rgb = bs::ToRgbRows(Photo());
    for (auto _ : state) {
        benchmark::DoNotOptimize(bs::BareEncode(rgb, bs::kPhotoWidth, bs::kPhotoHeight));
    }
    state.counters["Mpx/s"] = benchmark::Counter(double(bs::kPhotoWidth) * bs::kPhotoHeight / 1e6,
                                                 benchmark::Counter::kIsIterationInvariantRate);
}

// Interleaved pairs, so that both sides of a ratio see the same machine load.
BENCHMARK(BM_Decode_BareLibjpeg)->Unit(benchmark::kMillisecond)->MinTime(2)->Repetitions(3);
BENCHMARK(BM_Decode_Lumora)->Unit(benchmark::kMillisecond)->MinTime(2)->Repetitions(3);
BENCHMARK(BM_Encode_BareLibjpeg)->Unit(benchmark::kMillisecond)->MinTime(2)->Repetitions(3);
BENCHMARK(BM_Encode_Lumora)->Unit(benchmark::kMillisecond)->MinTime(2)->Repetitions(3);

} // namespace

int main(int argc, char** argv) {
    benchmark::Initialize(&argc, argv);
    bs::RatioReporter reporter;
    benchmark::RunSpecifiedBenchmarks(&reporter);
    std::printf("\nRatios of medians, same run:\n");
    reporter.PrintRatio("BM_Decode_Lumora", "BM_Decode_BareLibjpeg",
                        "of bare libjpeg (goal <= 1.10x)");
    reporter.PrintRatio("BM_Encode_Lumora", "BM_Encode_BareLibjpeg",
                        "of bare libjpeg (goal <= 1.10x)");
    std::remove(bs::PhotoJpegPath().c_str());
    benchmark::Shutdown();
    return 0;
}
