#include "bench/Floor.h"

#include "bench/Shell.h"

namespace bench_support {

void DjpegCjpeg(benchmark::State& state, const std::string& input, const std::string& output) {
    const std::string command = DjpegCjpegCommand(input, output);
    for (auto _ : state) {
        if (!Shell(command)) {
            state.SkipWithError("djpeg | cjpeg failed");
            break;
        }
    }
}

} // namespace bench_support
