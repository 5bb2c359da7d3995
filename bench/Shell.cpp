#include "bench/Shell.h"

#include <cstdlib>

namespace bench_support {

bool Shell(const std::string& command) {
    return std::system(command.c_str()) == 0;
}

// Appended piece by piece, as GCC 12 misreads "'" + string as overlapping
// copies at -O3.
std::string Quoted(const std::string& path) {
    std::string quoted(1, '\'');
    quoted += path;
    quoted += '\'';
    return quoted;
}

std::string DjpegCjpegCommand(const std::string& input, const std::string& output) {
    return "djpeg " + Quoted(input) + " | cjpeg -quality 90 -sample 2x2 > " + Quoted(output);
}

} // namespace bench_support
