#include "bench/RatioReporter.h"

#include <cstdio>
#include <cstring>
#include <unistd.h>

namespace bench_support {

void InitializeShuffled(int argc, char** argv) {
    std::vector<char*> args(argv, argv + argc);
    static char interleave[] = "--benchmark_enable_random_interleaving=true";
    bool chosen = false;
    for (int i = 1; i < argc; ++i) {
        chosen = chosen || std::strncmp(argv[i], interleave, std::strlen(interleave) - 5) == 0;
    }
    if (!chosen) {
        args.insert(args.begin() + 1, interleave);
    }
    int count = static_cast<int>(args.size());
    args.push_back(nullptr);
    benchmark::Initialize(&count, args.data());
}

RatioReporter::RatioReporter()
    : ConsoleReporter(::isatty(::fileno(stdout)) ? OO_ColorTabular : OO_Tabular) {}

void RatioReporter::ReportRuns(const std::vector<Run>& runs) {
    ConsoleReporter::ReportRuns(runs);
    for (const Run& run : runs) {
        if (run.run_type == Run::RT_Aggregate && run.aggregate_name == "median") {
            medians_[run.run_name.function_name] = run.GetAdjustedRealTime();
            cpuMedians_[run.run_name.function_name] = run.GetAdjustedCPUTime();
        }
    }
}

std::optional<double> RatioReporter::Median(const std::string& name) const {
    const auto found = medians_.find(name);
    if (found == medians_.end()) {
        return std::nullopt;
    }
    return found->second;
}

std::optional<double> RatioReporter::MedianCpu(const std::string& name) const {
    const auto found = cpuMedians_.find(name);
    if (found == cpuMedians_.end()) {
        return std::nullopt;
    }
    return found->second;
}

namespace {
std::optional<double> Quotient(std::optional<double> numerator, std::optional<double> denominator) {
    if (!numerator || !denominator || *denominator <= 0) {
        return std::nullopt;
    }
    return *numerator / *denominator;
}
} // namespace

std::optional<double> RatioReporter::Ratio(const std::string& numerator,
                                           const std::string& denominator) const {
    return Quotient(Median(numerator), Median(denominator));
}

std::optional<double> RatioReporter::RatioCpu(const std::string& numerator,
                                              const std::string& denominator) const {
    return Quotient(MedianCpu(numerator), MedianCpu(denominator));
}

void RatioReporter::PrintRatio(const std::string& numerator, const std::string& denominator,
                               const char* comparison) const {
    if (const std::optional<double> ratio = Ratio(numerator, denominator)) {
        std::printf("%-18s %.3fx %s\n", numerator.c_str(), *ratio, comparison);
    }
}

} // namespace bench_support
