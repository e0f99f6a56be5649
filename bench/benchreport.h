#pragma once

// What every benchmark prints for bench/run_all.sh: one tab-separated line per table row,
//   bench-row <TAB> measure <TAB> figure <TAB> floor or target <TAB> verdict
// Anything else a benchmark prints is left out of the table.

#include <algorithm>
#include <chrono>
#include <cstdio>
#include <string>
#include <vector>

namespace calvenza::bench {

using Clock = std::chrono::steady_clock;

inline double microsecondsSince(Clock::time_point start)
{
    return std::chrono::duration<double, std::micro>(Clock::now() - start).count();
}

// The sample at fraction q (0..1) of the sorted samples; the samples are sorted in place.
inline double quantile(std::vector<double> &samples, double q)
{
    if (samples.empty())
        return 0.0;
    std::sort(samples.begin(), samples.end());
    const auto index = static_cast<std::size_t>(q * double(samples.size() - 1) + 0.5);
    return samples[std::min(index, samples.size() - 1)];
}

inline std::string format(const char *pattern, double value)
{
    char text[64];
    std::snprintf(text, sizeof text, pattern, value);
    return text;
}

inline void reportRow(
    const std::string &measure, const std::string &figure, const std::string &target, bool met)
{
    std::printf("bench-row\t%s\t%s\t%s\t%s\n", measure.c_str(), figure.c_str(), target.c_str(),
        met ? "ok" : "MISSED");
    std::fflush(stdout);
}

} // namespace calvenza::bench
