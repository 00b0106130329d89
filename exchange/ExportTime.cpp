#include "ExportTime.h"

#include <chrono>
#include <cmath>
#include <cstdio>

namespace trd::exchange {

namespace {

constexpr std::int64_t MsPerDay = 86'400'000;
constexpr std::int64_t DayCountOfUnixEpoch = 25569; // 1970-01-01 as days since 1899-12-30

std::int64_t floorDiv(std::int64_t a, std::int64_t b)
{
    return a / b - ((a % b != 0) && ((a < 0) != (b < 0)));
}

// Reads exactly `count` digits at pos.
bool digits(std::string_view text, std::size_t& pos, int count, int& value)
{
    value = 0;
    for (int i = 0; i < count; ++i, ++pos) {
        if (pos >= text.size() || text[pos] < '0' || text[pos] > '9')
            return false;
        value = value * 10 + (text[pos] - '0');
    }
    return true;
}

bool expect(std::string_view text, std::size_t& pos, char c)
{
    if (pos < text.size() && text[pos] == c) {
        ++pos;
        return true;
    }
    return false;
}

} // namespace

std::string formatExportTime(const ServerClock& clock)
{
    const std::int64_t localMs = std::llround(clock.localDays * static_cast<double>(MsPerDay));
    const std::int64_t unixMs = localMs - DayCountOfUnixEpoch * MsPerDay;
    const std::int64_t day = floorDiv(unixMs, MsPerDay);
    std::int64_t msOfDay = unixMs - day * MsPerDay;
    const std::chrono::year_month_day date{std::chrono::sys_days{std::chrono::days{day}}};
    const int y = static_cast<int>(date.year());
    const unsigned m = static_cast<unsigned>(date.month());
    const unsigned d = static_cast<unsigned>(date.day());
    const int hh = static_cast<int>(msOfDay / 3'600'000);
    msOfDay %= 3'600'000;
    const int mi = static_cast<int>(msOfDay / 60'000);
    msOfDay %= 60'000;
    const int ss = static_cast<int>(msOfDay / 1000);
    const int ms = static_cast<int>(msOfDay % 1000);
    const int offset = std::abs(clock.offsetMinutes);
    char text[96];
    std::snprintf(text, sizeof text, "%04d-%02u-%02uT%02d:%02d:%02d.%03d%c%02d:%02d", y, m, d, hh, mi, ss, ms,
                  clock.offsetMinutes < 0 ? '-' : '+', offset / 60, offset % 60);
    return text;
}

std::optional<std::int64_t> parseExportTime(std::string_view text)
{
    std::size_t pos = 0;
    while (pos < text.size() && (text[pos] == ' ' || text[pos] == '\t'))
        ++pos;
    int y, mo, d, hh, mi, ss = 0;
    if (!digits(text, pos, 4, y) || !expect(text, pos, '-') || !digits(text, pos, 2, mo) || !expect(text, pos, '-')
        || !digits(text, pos, 2, d))
        return std::nullopt;
    if (!expect(text, pos, 'T') && !expect(text, pos, ' '))
        return std::nullopt;
    if (!digits(text, pos, 2, hh) || !expect(text, pos, ':') || !digits(text, pos, 2, mi))
        return std::nullopt;
    int fractionMs = 0;
    if (expect(text, pos, ':')) {
        if (!digits(text, pos, 2, ss))
            return std::nullopt;
        if (expect(text, pos, '.')) {
            int scale = 100, count = 0;
            while (pos < text.size() && text[pos] >= '0' && text[pos] <= '9') {
                fractionMs += (text[pos] - '0') * scale;
                scale /= 10;
                ++pos;
                ++count;
            }
            if (count == 0)
                return std::nullopt;
        }
    }
    if (mo < 1 || mo > 12 || d < 1 || d > 31 || hh > 23 || mi > 59 || ss > 60)
        return std::nullopt;
    int offsetMinutes = 0;
    if (expect(text, pos, 'Z')) {
    } else if (pos < text.size() && (text[pos] == '+' || text[pos] == '-')) {
        const int sign = text[pos++] == '-' ? -1 : 1;
        int oh, om;
        if (!digits(text, pos, 2, oh))
            return std::nullopt;
        expect(text, pos, ':');
        if (!digits(text, pos, 2, om) || oh > 23 || om > 59)
            return std::nullopt;
        offsetMinutes = sign * (oh * 60 + om);
    } else {
        return std::nullopt;
    }
    while (pos < text.size() && (text[pos] == ' ' || text[pos] == '\t'))
        ++pos;
    if (pos != text.size())
        return std::nullopt;
    // A day past the month's end (the 31st of April) counts on into the next
    // month, as <chrono> does with a day that is not in its month.
    const std::chrono::year_month_day date{std::chrono::year{y}, std::chrono::month{static_cast<unsigned>(mo)},
                                           std::chrono::day{static_cast<unsigned>(d)}};
    const std::int64_t days = std::chrono::sys_days{date}.time_since_epoch().count();
    const std::int64_t localMs = days * MsPerDay + ((hh * 60LL + mi) * 60 + ss) * 1000 + fractionMs;
    return localMs - offsetMinutes * 60'000LL;
}

double toServerDays(std::int64_t utcMs, int offsetMinutes)
{
    const std::int64_t localMs = utcMs + offsetMinutes * 60'000LL + DayCountOfUnixEpoch * MsPerDay;
    return static_cast<double>(localMs) / static_cast<double>(MsPerDay);
}

} // namespace trd::exchange
