// A console reporter that also collects each benchmark's time per iteration, so that a program
// can print ours-over-peer ratios after the table Google Benchmark prints.
#pragma once

#include <benchmark/benchmark.h>

#include <cstdio>
#include <map>
#include <string>
#include <vector>

namespace kinetra::bench {

class RatioReporter : public benchmark::ConsoleReporter {
public:
    void ReportRuns(const std::vector<Run>& runs) override {
        for (const Run& run : runs) {
            const double ns = run.GetAdjustedCPUTime() * ToNanoseconds(run.time_unit);
            if (run.run_type == Run::RT_Iteration && run.iterations > 0) {
                m_nanoseconds[run.benchmark_name()] = ns;
            } else if (run.run_type == Run::RT_Aggregate && run.aggregate_name == "median") {
                // With repetitions, the median stands for the benchmark, found by its full name
                // or by its function's name alone.
                m_nanoseconds[run.run_name.str()] = ns;
                m_nanoseconds[run.run_name.function_name] = ns;
            } else if (run.run_type == Run::RT_Aggregate && run.aggregate_name == "min") {
                m_fastest[run.run_name.str()] = ns;
                m_fastest[run.run_name.function_name] = ns;
            }
        }
        ConsoleReporter::ReportRuns(runs);
    }

    // CPU nanoseconds per iteration of a benchmark by its full name (or, with repetitions, its
    // function's name), or a negative value. CPU time, not wall time, so that other work on the
    // machine does not skew a ratio.
    double Nanoseconds(const std::string& name) const {
        const auto it = m_nanoseconds.find(name);
        return it == m_nanoseconds.end() ? -1.0 : it->second;
    }

    // The fastest repetition's CPU nanoseconds per iteration, where the benchmark computes a "min"
    // statistic, or a negative value.
    double Fastest(const std::string& name) const {
        const auto it = m_fastest.find(name);
        return it == m_fastest.end() ? -1.0 : it->second;
    }

private:
    static double ToNanoseconds(benchmark::TimeUnit unit) {
        switch (unit) {
            case benchmark::kNanosecond:
                return 1.0;
            case benchmark::kMicrosecond:
                return 1e3;
            case benchmark::kMillisecond:
                return 1e6;
            case benchmark::kSecond:
                return 1e9;
        }
        return 1.0;
    }
    std::map<std::string, double> m_nanoseconds;
    std::map<std::string, double> m_fastest;
};

// Google Benchmark's Initialize with interleaved repetitions (random order, so that a loaded
// machine weighs on every benchmark alike) unless the command line says otherwise. False when an
// argument is not understood (it has been reported).
inline bool InitializeInterleaved(int argc, char** argv) {
    std::vector<char*> args(argv, argv + argc);
    static std::string interleave = "--benchmark_enable_random_interleaving=true";
    bool given = false;
    for (int i = 1; i < argc; ++i) {
        given =
            given || std::string(argv[i]).rfind("--benchmark_enable_random_interleaving", 0) == 0;
    }
    if (!given) args.insert(args.begin() + 1, interleave.data());
    int count = static_cast<int>(args.size());
    args.push_back(nullptr);
    benchmark::Initialize(&count, args.data());
    return !benchmark::ReportUnrecognizedArguments(count, args.data());
}

}  // namespace kinetra::bench
