#pragma once
// What the server benchmarks that time round trips print: percentiles of a
// sample in milliseconds, elapsed times, and the machine's load average beside them.
#include <QFile>

#include <algorithm>
#include <cstdlib>
#include <chrono>
#include <string>
#include <vector>

namespace trd::bench {

using Clock = std::chrono::steady_clock;

struct Percentiles {
    double p50 = 0, p99 = 0, max = 0;
};

inline Percentiles percentiles(std::vector<double> v)
{
    Percentiles p;
    if (v.empty())
        return p;
    std::sort(v.begin(), v.end());
    p.p50 = v[v.size() / 2];
    p.p99 = v[std::min(v.size() - 1, v.size() * 99 / 100)];
    p.max = v.back();
    return p;
}

// The sample's value at fraction p (0.5 the median, 0.99 the p99).
inline double percentile(std::vector<double> v, double p)
{
    if (v.empty())
        return 0;
    std::sort(v.begin(), v.end());
    return v[std::min(v.size() - 1, static_cast<std::size_t>(p * static_cast<double>(v.size())))];
}

inline double msSince(Clock::time_point since)
{
    return std::chrono::duration<double, std::milli>(Clock::now() - since).count();
}

inline double secondsSince(Clock::time_point since)
{
    return std::chrono::duration<double>(Clock::now() - since).count();
}

// The one-minute load average as a number, -1 when the system does not tell.
inline double oneMinuteLoad()
{
    double load[1] = {0};
    return getloadavg(load, 1) == 1 ? load[0] : -1;
}

inline std::string loadAverage()
{
    QFile f("/proc/loadavg");
    return f.open(QIODevice::ReadOnly) ? f.readAll().left(14).toStdString() : std::string("?");
}

} // namespace trd::bench
