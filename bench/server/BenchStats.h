#pragma once
// What the server benchmarks that time round trips print: percentiles of a
// sample in milliseconds and the machine's load average beside them.
#include <QFile>

#include <algorithm>
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

inline double ms(Clock::time_point since)
{
    return std::chrono::duration<double, std::milli>(Clock::now() - since).count();
}

inline std::string loadAverage()
{
    QFile f("/proc/loadavg");
    return f.open(QIODevice::ReadOnly) ? f.readAll().left(14).toStdString() : std::string("?");
}

} // namespace trd::bench
