#pragma once

#include <benchmark/benchmark.h>

#include <map>
#include <optional>
#include <string>
#include <vector>

namespace bench_support {

// Initializes Google Benchmark from the command line, with the repetitions
// of all benchmarks run in a shuffled order unless the command line says
// otherwise, so that a slow spell of a shared machine falls on all alike.
void InitializeShuffled(int argc, char** argv);

// The console report, keeping the median real time of each benchmark so
// that main can print ratios of runs made on the same machine load.
class RatioReporter : public benchmark::ConsoleReporter {
public:
    // Tables, in colour only when stdout is a terminal: a log written to a
    // file gets no escape sequences.
    RatioReporter();

    void ReportRuns(const std::vector<Run>& runs) override;

    // In the benchmark's own time unit; nothing when it did not run.
    std::optional<double> Median(const std::string& name) const;
    // The median CPU time of the benchmark's own thread, in the same unit.
    std::optional<double> MedianCpu(const std::string& name) const;

    // Median over median, wall clock or CPU time of the benchmark's thread;
    // nothing unless both ran.
    std::optional<double> Ratio(const std::string& numerator, const std::string& denominator) const;
    std::optional<double> RatioCpu(const std::string& numerator,
                                   const std::string& denominator) const;

    // One line "numerator  N.NNNx <comparison>"; nothing unless both ran.
    void PrintRatio(const std::string& numerator, const std::string& denominator,
                    const char* comparison) const;

private:
    std::map<std::string, double> medians_;
    std::map<std::string, double> cpuMedians_;
};

} // namespace bench_support
