#pragma once

#include <benchmark/benchmark.h>

#include <map>
#include <string>
#include <vector>

// The usual console lines, and the median of every benchmark kept by name, so that a program
// can end with a table of ratios between two things measured in the same run.
class MedianReporter : public benchmark::ConsoleReporter
{
public:
    void ReportRuns(const std::vector<Run>& reports) override
    {
        ConsoleReporter::ReportRuns(reports);
        for (const Run& run : reports)
            if (run.run_type == Run::RT_Aggregate && run.aggregate_name == "median" &&
                !run.error_occurred)
                medians[run.run_name.function_name] = timeOf(run);
    }

protected:
    virtual double timeOf(const Run& run) const { return run.GetAdjustedRealTime(); }

    const double* find(const std::string& name) const
    {
        const auto it = medians.find(name);
        return it == medians.end() ? nullptr : &it->second;
    }

private:
    std::map<std::string, double> medians;
};
