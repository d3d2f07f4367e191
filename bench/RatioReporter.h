// Console output of Google Benchmark, then each measured case as a ratio to
// its bound measured in the same run, in wall time and in CPU time: the
// median of each one's repetitions (run them interleaved, with
// --benchmark_enable_random_interleaving=true, so that a burst of other work
// falls on both). On a machine shared with other work the CPU ratio is the
// steadier one; a case with a target is judged on it.
#pragma once
#include <benchmark/benchmark.h>

#include <algorithm>
#include <cstdio>
#include <map>
#include <string>
#include <utility>
#include <vector>

struct RatioPair {
    std::string name;  // the case, by the benchmark's name as printed
    std::string bound; // what it is measured against
    double target = 0; // the highest CPU ratio allowed; 0: none
};

class RatioReporter : public benchmark::ConsoleReporter {
public:
    explicit RatioReporter(std::vector<RatioPair> pairs) : m_Pairs(std::move(pairs)) {}

    void ReportRuns(const std::vector<Run>& runs) override
    {
        ConsoleReporter::ReportRuns(runs);
        for (const Run& run : runs) {
            if (run.run_type != Run::RT_Iteration || run.error_occurred || run.iterations == 0) continue;
            const double n = static_cast<double>(run.iterations);
            Samples& s = m_Samples[run.run_name.str()];
            s.wall.push_back(run.real_accumulated_time / n);
            s.cpu.push_back(run.cpu_accumulated_time / n);
        }
    }

    void PrintRatios() const
    {
        std::printf("\nMedians of each one's repetitions (n = repetitions of the case / of the bound)\n");
        std::printf("%-28s %-24s %9s %9s %6s %9s %9s %6s %6s  %s\n", "case", "bound", "wall us", "bound us", "ratio",
                    "cpu us", "bound us", "ratio", "target", "n");
        for (const RatioPair& p : m_Pairs) {
            const auto a = m_Samples.find(p.name);
            const auto b = m_Samples.find(p.bound);
            if (a == m_Samples.end() || b == m_Samples.end()) continue;
            const double xw = Median(a->second.wall), yw = Median(b->second.wall);
            const double xc = Median(a->second.cpu), yc = Median(b->second.cpu);
            char target[32] = "";
            if (p.target > 0) std::snprintf(target, sizeof target, "%.2f %s", p.target, xc / yc <= p.target ? "met" : "NOT MET");
            std::printf("%-28s %-24s %9.1f %9.1f %6.2f %9.1f %9.1f %6.2f %-12s %zu/%zu\n", p.name.c_str(),
                        p.bound.c_str(), xw * 1e6, yw * 1e6, xw / yw, xc * 1e6, yc * 1e6, xc / yc, target,
                        a->second.cpu.size(), b->second.cpu.size());
        }
    }

private:
    struct Samples {
        std::vector<double> wall;
        std::vector<double> cpu;
    };
    static double Median(std::vector<double> v)
    {
        std::sort(v.begin(), v.end());
        const std::size_t n = v.size();
        return n % 2 ? v[n / 2] : (v[n / 2 - 1] + v[n / 2]) / 2;
    }
    std::vector<RatioPair> m_Pairs;
    std::map<std::string, Samples> m_Samples;
};

// main() of a benchmark program that ends with the ratio table.
inline int RunWithRatios(int argc, char** argv, std::vector<RatioPair> pairs)
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
