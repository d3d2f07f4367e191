// Console output of Google Benchmark, then each measured case as a ratio to
// its bound measured in the same run (the best repetition of each, which a
// loaded machine disturbs least), in wall time and in CPU time: on a machine
// shared with other work the CPU ratio is the steadier one.
#pragma once
#include <benchmark/benchmark.h>

#include <algorithm>
#include <cstdio>
#include <map>
#include <string>
#include <utility>
#include <vector>

class RatioReporter : public benchmark::ConsoleReporter {
public:
    // Pairs of (case, bound), by the benchmark's name as printed.
    explicit RatioReporter(std::vector<std::pair<std::string, std::string>> pairs) : m_Pairs(std::move(pairs)) {}

    void ReportRuns(const std::vector<Run>& runs) override
    {
        ConsoleReporter::ReportRuns(runs);
        for (const Run& run : runs) {
            if (run.run_type != Run::RT_Iteration || run.error_occurred || run.iterations == 0) continue;
            const double n = static_cast<double>(run.iterations);
            const Times t{run.real_accumulated_time / n, run.cpu_accumulated_time / n};
            auto [it, added] = m_Best.emplace(run.run_name.str(), t);
            if (!added) it->second = {std::min(it->second.wall, t.wall), std::min(it->second.cpu, t.cpu)};
        }
    }

    void PrintRatios() const
    {
        std::printf("\n%-34s %-22s %10s %10s %7s %10s %10s %7s\n", "case", "bound", "wall us", "bound us", "ratio",
                    "cpu us", "bound us", "ratio");
        for (const auto& [name, bound] : m_Pairs) {
            const auto a = m_Best.find(name);
            const auto b = m_Best.find(bound);
            if (a == m_Best.end() || b == m_Best.end()) continue;
            const Times& x = a->second;
            const Times& y = b->second;
            std::printf("%-34s %-22s %10.3f %10.3f %7.2f %10.3f %10.3f %7.2f\n", name.c_str(), bound.c_str(),
                        x.wall * 1e6, y.wall * 1e6, x.wall / y.wall, x.cpu * 1e6, y.cpu * 1e6, x.cpu / y.cpu);
        }
    }

private:
    struct Times {
        double wall;
        double cpu;
    };
    std::vector<std::pair<std::string, std::string>> m_Pairs;
    std::map<std::string, Times> m_Best;
};

// main() of a benchmark program that ends with the ratio table.
inline int RunWithRatios(int argc, char** argv, std::vector<std::pair<std::string, std::string>> pairs)
{
    benchmark::Initialize(&argc, argv);
    if (benchmark::ReportUnrecognizedArguments(argc, argv)) return 1;
#ifdef NDEBUG
    std::printf("This program: optimised build (NDEBUG).\n");
#else
    std::printf("This program: a build with assertions; its figures are not those of a release.\n");
#endif
    RatioReporter reporter(std::move(pairs));
    benchmark::RunSpecifiedBenchmarks(&reporter);
    reporter.PrintRatios();
    benchmark::Shutdown();
    return 0;
}
