#pragma once

#include <string>

namespace bench_support {

// Runs a command line through the shell; false unless it exits with 0.
bool Shell(const std::string& command);

// Our paths hold no quote, so single quotes are enough for the shell.
std::string Quoted(const std::string& path);

// The floor of a job: djpeg | cjpeg of `input` into `output` at quality 90
// with 4:2:0 chroma, as our encoder writes; decode and encode and nothing
// else.
std::string DjpegCjpegCommand(const std::string& input, const std::string& output);

} // namespace bench_support
