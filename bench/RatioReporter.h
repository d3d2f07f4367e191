// Console output of Google Benchmark, then each measured case as a ratio to
// its bound measured in the same run (the best repetition of each, which a
// loaded machine disturbs least).
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
            const double seconds = run.real_accumulated_time / static_cast<double>(run.iterations);
            auto [it, added] = m_Best.emplace(run.run_name.str(), seconds);
            if (!added) it->second = std::min(it->second, seconds);
        }
    }

    void PrintRatios() const
    {
        std::printf("\n%-40s %-28s %12s %12s %8s\n", "case", "bound", "case ms", "bound ms", "ratio");
        for (const auto& [name, bound] : m_Pairs) {
            const auto a = m_Best.find(name);
            const auto b = m_Best.find(bound);
            if (a == m_Best.end() || b == m_Best.end()) continue;
            std::printf("%-40s %-28s %12.3f %12.3f %8.2f\n", name.c_str(), bound.c_str(), a->second * 1e3,
                        b->second * 1e3, a->second / b->second);
        }
    }

private:
    std::vector<std::pair<std::string, std::string>> m_Pairs;
    std::map<std::string, double> m_Best;
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
