#include "TDateTime.h"

#include <chrono>
#include <cmath>
#include <cstdint>

namespace trd {

namespace {

constexpr std::int64_t kMsPerDay = 86400000;
// Days from 1970-01-01 to 1899-12-30, the framework's day zero.
constexpr std::int64_t kEpochOffset = 25569;

// The proleptic Gregorian calendar of <chrono>: days since 1970-01-01.
struct CivilDate {
    int y, m, d;
};

std::int64_t daysFromCivil(int y, int m, int d)
{
    const std::chrono::year_month_day date{std::chrono::year{y}, std::chrono::month{static_cast<unsigned>(m)},
                                           std::chrono::day{static_cast<unsigned>(d)}};
    return std::chrono::sys_days{date}.time_since_epoch().count();
}

CivilDate civilFromDays(std::int64_t z)
{
    const std::chrono::year_month_day date{std::chrono::sys_days{std::chrono::days{z}}};
    return {static_cast<int>(date.year()), static_cast<int>(static_cast<unsigned>(date.month())),
            static_cast<int>(static_cast<unsigned>(date.day()))};
}

// The month and day are checked before they meet <chrono>, which keeps them
// in a byte: a day of 257 would otherwise pass as the 1st.
bool validDate(int y, int m, int d)
{
    if (y < 1 || y > 9999 || m < 1 || m > 12 || d < 1 || d > 31)
        return false;
    return std::chrono::year_month_day{std::chrono::year{y}, std::chrono::month{static_cast<unsigned>(m)},
                                       std::chrono::day{static_cast<unsigned>(d)}}
        .ok();
}

double encode(int y, int m, int d, std::int64_t msOfDay)
{
    const auto days = static_cast<double>(daysFromCivil(y, m, d) + kEpochOffset);
    const double frac = static_cast<double>(msOfDay) / kMsPerDay;
    // Before day zero the fraction still counts forward from midnight: -1.25 is
    // 1899-12-29 06:00, so the time is subtracted from the (negative) day.
    return days < 0 ? days - frac : days + frac;
}

// Splits a value into its day (relative to day zero) and milliseconds of the day.
bool decode(double value, std::int64_t& days, std::int64_t& msOfDay)
{
    if (!std::isfinite(value) || std::fabs(value) > 4.0e6)
        return false;
    double whole = std::trunc(value);
    std::int64_t ms = std::llround(std::fabs(value - whole) * kMsPerDay);
    if (ms >= kMsPerDay) {
        ms -= kMsPerDay;
        whole += value < 0 ? -1 : 1;
    }
    days = static_cast<std::int64_t>(whole);
    msOfDay = ms;
    return true;
}

bool digits(std::string_view s, std::size_t pos, std::size_t count, int& out)
{
    if (pos + count > s.size())
        return false;
    int v = 0;
    for (std::size_t i = pos; i < pos + count; ++i) {
        const char c = s[i];
        if (c < '0' || c > '9')
            return false;
        v = v * 10 + (c - '0');
    }
    out = v;
    return true;
}

// "HH:MM:SS" optionally followed by 1 to 3 digits of milliseconds.
bool parseTime(std::string_view s, std::int64_t& msOfDay)
{
    int h, mi, se, ms = 0;
    if (s.size() < 8 || !digits(s, 0, 2, h) || s[2] != ':' || !digits(s, 3, 2, mi) || s[5] != ':'
        || !digits(s, 6, 2, se))
        return false;
    const std::size_t msLen = s.size() - 8;
    if (msLen > 3 || (msLen > 0 && !digits(s, 8, msLen, ms)))
        return false;
    for (std::size_t k = msLen; k < 3; ++k)
        ms *= 10;
    if (h > 23 || mi > 59 || se > 59)
        return false;
    msOfDay = ((h * 60 + mi) * 60 + se) * 1000LL + ms;
    return true;
}

void put(char*& p, int value, int width)
{
    for (int i = width - 1; i >= 0; --i) {
        p[i] = static_cast<char>('0' + value % 10);
        value /= 10;
    }
    p += width;
}

// A date of a year beyond those <chrono> counts (32767 either way) is taken as
// no date: no value could carry it back, since a value is read only within 4
// million days of day zero.
bool carried(const QDate& date)
{
    return date.isValid() && date.year() >= -32767 && date.year() <= 32767;
}

} // namespace

TDateTime DateToDateTime(const QDate& date)
{
    if (!carried(date))
        return 0;
    return encode(date.year(), date.month(), date.day(), 0);
}

QDate DateTimeToDate(TDateTime value)
{
    std::int64_t days, ms;
    if (!decode(value, days, ms))
        return {};
    const CivilDate c = civilFromDays(days - kEpochOffset);
    return QDate(c.y, c.m, c.d);
}

TDateTime QDateTimeToDateTime(const QDateTime& value)
{
    if (!value.isValid() || !carried(value.date()))
        return 0;
    const QDate date = value.date();
    return encode(date.year(), date.month(), date.day(), value.time().msecsSinceStartOfDay());
}

QDateTime DateTimeToQDateTime(TDateTime value)
{
    std::int64_t days, ms;
    if (!decode(value, days, ms))
        return {};
    const CivilDate c = civilFromDays(days - kEpochOffset);
    return QDateTime(QDate(c.y, c.m, c.d), QTime::fromMSecsSinceStartOfDay(static_cast<int>(ms)));
}

TDateTime EncodeDate(int year, int month, int day)
{
    return validDate(year, month, day) ? encode(year, month, day, 0) : 0;
}

TDateTime Date()
{
    return DateToDateTime(QDate::currentDate());
}

TDateTime Now()
{
    return QDateTimeToDateTime(QDateTime::currentDateTime());
}

bool parsePacketDateTime(std::string_view text, TDateTime& value)
{
    int y, m, d;
    std::int64_t ms = 0;
    if (text.size() >= 3 && text[2] == ':') { // time only
        if (!parseTime(text, ms))
            return false;
        value = static_cast<double>(ms) / kMsPerDay;
        return true;
    }
    if (!digits(text, 0, 4, y) || !digits(text, 4, 2, m) || !digits(text, 6, 2, d) || !validDate(y, m, d))
        return false;
    if (text.size() > 8) {
        if (text[8] != 'T' && text[8] != 't')
            return false;
        if (!parseTime(text.substr(9), ms))
            return false;
    }
    value = encode(y, m, d, ms);
    return true;
}

std::size_t formatPacketDateTime(TDateTime value, PacketDateForm form, char* out)
{
    std::int64_t days, ms;
    if (!decode(value, days, ms))
        return 0;
    const auto [y, m, d] = civilFromDays(days - kEpochOffset);
    if (form != PacketDateForm::Time && (y < 1 || y > 9999))
        return 0;
    char* p = out;
    if (form != PacketDateForm::Time) {
        put(p, y, 4);
        put(p, m, 2);
        put(p, d, 2);
    }
    if (form == PacketDateForm::DateTime)
        *p++ = 'T';
    if (form != PacketDateForm::Date) {
        const int msi = static_cast<int>(ms);
        put(p, msi / 3600000, 2);
        *p++ = ':';
        put(p, msi / 60000 % 60, 2);
        *p++ = ':';
        put(p, msi / 1000 % 60, 2);
        put(p, msi % 1000, 3);
    }
    return static_cast<std::size_t>(p - out);
}

QString DateTimeToPacketText(TDateTime value)
{
    char buf[32];
    const std::size_t n = formatPacketDateTime(value, PacketDateForm::DateTime, buf);
    return QString::fromLatin1(buf, static_cast<qsizetype>(n));
}

bool PacketTextToDateTime(QStringView text, TDateTime& value)
{
    if (text.size() > 32)
        return false;
    char buf[32];
    for (qsizetype i = 0; i < text.size(); ++i) {
        const char16_t c = text[i].unicode();
        if (c > 0x7F)
            return false;
        buf[i] = static_cast<char>(c);
    }
    return parsePacketDateTime(std::string_view(buf, static_cast<std::size_t>(text.size())), value);
}

QString DateToStr(TDateTime value)
{
    const QDate date = DateTimeToDate(value);
    if (!date.isValid())
        return {};
    char buf[16];
    char* p = buf;
    put(p, date.day(), 2);
    *p++ = '/';
    put(p, date.month(), 2);
    *p++ = '/';
    put(p, date.year(), 4);
    return QString::fromLatin1(buf, p - buf);
}

bool StrToDate(QStringView text, TDateTime& value)
{
    const QStringView t = text.trimmed();
    int parts[3] = {0, 0, 0};
    int lengths[3] = {0, 0, 0};
    int part = 0;
    for (const QChar ch : t) {
        if (ch == u'/') {
            if (++part > 2)
                return false;
        } else if (ch >= u'0' && ch <= u'9') {
            if (++lengths[part] > 4)
                return false;
            parts[part] = parts[part] * 10 + (ch.unicode() - u'0');
        } else {
            return false;
        }
    }
    if (part != 2 || lengths[0] == 0 || lengths[0] > 2 || lengths[1] == 0 || lengths[1] > 2 || lengths[2] != 4)
        return false;
    if (!validDate(parts[2], parts[1], parts[0]))
        return false;
    value = encode(parts[2], parts[1], parts[0], 0);
    return true;
}

} // namespace trd
