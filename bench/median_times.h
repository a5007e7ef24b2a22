// MedianTimes: the console report of a benchmark run, keeping each benchmark's seconds per
// iteration (the median of repeated ones) so that a program can end with its goals as ratios.
#pragma once

#include <benchmark/benchmark.h>
#include <unistd.h>

#include <map>
#include <string>
#include <vector>

class MedianTimes : public benchmark::ConsoleReporter {
public:
    MedianTimes() : ConsoleReporter(isatty(STDOUT_FILENO) ? OO_Defaults : OO_Tabular) {}

    void ReportRuns(const std::vector<Run>& runs) override
    {
        // Of repeated benchmarks only the median counts, kept under the benchmark's own name.
        for (const Run& run : runs) {
            std::string name = run.benchmark_name();
            const bool median = run.run_type == Run::RT_Aggregate && run.aggregate_name == "median";
            if (run.run_type == Run::RT_Aggregate && !median) continue;
            if (median) name = run.run_name.str();
            if (run.iterations > 0) seconds_[name] = run.real_accumulated_time / static_cast<double>(run.iterations);
        }
        ConsoleReporter::ReportRuns(runs);
    }

    // Seconds of the first benchmark whose name starts with name (names carry suffixes such as
    // "/repeats:5"), or 0 when none ran.
    double seconds(const std::string& name) const
    {
        auto it = seconds_.lower_bound(name);
        return it != seconds_.end() && it->first.compare(0, name.size(), name) == 0 ? it->second : 0.0;
    }

private:
    std::map<std::string, double> seconds_;
};
