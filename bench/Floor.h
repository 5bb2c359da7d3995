#pragma once

#include <benchmark/benchmark.h>

#include <string>

namespace bench_support {

// Times DjpegCjpegCommand on `input`, one run of the pipeline an iteration,
// the output written to `output`.
void DjpegCjpeg(benchmark::State& state, const std::string& input, const std::string& output);

} // namespace bench_support
