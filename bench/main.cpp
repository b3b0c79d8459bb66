// Runs every benchmark of the project and prints one table: each figure,
// its baseline, their ratio, and the goal it is held to.
#include <cstdio>
#include <map>
#include <string>
#include <vector>

#include <benchmark/benchmark.h>

#include "report.h"

namespace bench {

namespace {

struct Declared {
    std::string baseline;
    std::string goal;
};

std::vector<std::pair<std::string, Declared>>& declarations()
{
    static std::vector<std::pair<std::string, Declared>> all;
    return all;
}

// Keeps what the console shows and remembers each run's time per iteration.
class TableReporter : public benchmark::ConsoleReporter {
public:
    void ReportRuns(const std::vector<Run>& runs) override
    {
        ConsoleReporter::ReportRuns(runs);
        for (const Run& run : runs) {
            if (run.error_occurred || run.run_type != Run::RT_Iteration)
                continue;
            times[run.benchmark_name()] = run.GetAdjustedRealTime() * multiplier(run.time_unit);
            if (const auto p99 = run.counters.find("p99_us"); p99 != run.counters.end())
                tails[run.benchmark_name()] = p99->second.value * 1000.0;
        }
    }

    std::map<std::string, double> times;  // nanoseconds per iteration
    std::map<std::string, double> tails;  // 99th percentile in nanoseconds, where measured

private:
    static double multiplier(benchmark::TimeUnit unit)
    {
        switch (unit) {
        case benchmark::kSecond:
            return 1e9;
        case benchmark::kMillisecond:
            return 1e6;
        case benchmark::kMicrosecond:
            return 1e3;
        default:
            return 1;
        }
    }
};

std::string microseconds(double ns)
{
    char text[32];
    std::snprintf(text, sizeof text, "%.2f us", ns / 1000.0);
    return text;
}

}  // namespace

Comparison::Comparison(std::string name, std::string baseline, std::string goal)
{
    declarations().push_back({std::move(name), {std::move(baseline), std::move(goal)}});
}

}  // namespace bench

int main(int argc, char** argv)
{
    if (argc == 3 && std::string(argv[1]) == bench::kFlatOutWriterFlag)
        return bench::writeFlatOut(argv[2]);
    benchmark::Initialize(&argc, argv);
    if (benchmark::ReportUnrecognizedArguments(argc, argv))
        return 1;
    bench::TableReporter reporter;
    benchmark::RunSpecifiedBenchmarks(&reporter);
    benchmark::Shutdown();

    std::printf("\n%-44s %12s %12s %-32s %12s %8s  %s\n", "benchmark", "mean", "p99", "baseline", "baseline", "ratio",
                "goal");
    for (const auto& [name, declared] : bench::declarations()) {
        const auto it = reporter.times.find(name);
        if (it == reporter.times.end())
            continue;
        const auto tail = reporter.tails.find(name);
        const std::string p99 = tail == reporter.tails.end() ? "-" : bench::microseconds(tail->second);
        const auto base = reporter.times.find(declared.baseline);
        if (base == reporter.times.end()) {
            std::printf("%-44s %12s %12s %-32s %12s %8s  %s\n", name.c_str(), bench::microseconds(it->second).c_str(),
                        p99.c_str(), "-", "-", "-", declared.goal.c_str());
        } else {
            std::printf("%-44s %12s %12s %-32s %12s %7.2fx  %s\n", name.c_str(),
                        bench::microseconds(it->second).c_str(), p99.c_str(), declared.baseline.c_str(),
                        bench::microseconds(base->second).c_str(), it->second / base->second, declared.goal.c_str());
        }
    }
    return 0;
}
