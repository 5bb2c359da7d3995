#pragma once

#include <string>

namespace bench_support {

// Runs a command line through the shell; false unless it exits with 0.
bool Shell(const std::string& command);

// Our paths hold no quote, so single quotes are enough for the shell.
std::string Quoted(const std::string& path);

} // namespace bench_support
