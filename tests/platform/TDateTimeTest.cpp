#include "TDateTime.h"

#include <gtest/gtest.h>

#include <cstdint>
#include <cstdio>
#include <string>

using namespace trd;

TEST(TDateTime, DayCountMatchesTheFrameworkEpoch)
{
    EXPECT_EQ(DateToDateTime(QDate(1899, 12, 30)), 0);
    EXPECT_EQ(DateToDateTime(QDate(1900, 1, 1)), 2);
    EXPECT_EQ(DateToDateTime(QDate(2024, 1, 31)), 45322);
    EXPECT_EQ(EncodeDate(2024, 2, 29), 45351);
    EXPECT_EQ(EncodeDate(2023, 2, 29), 0);
    EXPECT_EQ(DateTimeToDate(45322.75), QDate(2024, 1, 31));
    // Before day zero the integral part is the day and the fraction counts forward.
    EXPECT_EQ(DateTimeToQDateTime(-1.25), QDateTime(QDate(1899, 12, 29), QTime(6, 0)));
    EXPECT_DOUBLE_EQ(QDateTimeToDateTime(QDateTime(QDate(1899, 12, 29), QTime(6, 0))), -1.25);
}

TEST(TDateTime, QDateTimeRoundTripKeepsMilliseconds)
{
    const QDateTime dt(QDate(2024, 1, 31), QTime(10, 5, 7, 123));
    EXPECT_EQ(DateTimeToQDateTime(QDateTimeToDateTime(dt)), dt);
    const QDateTime lastMs(QDate(2024, 12, 31), QTime(23, 59, 59, 999));
    EXPECT_EQ(DateTimeToQDateTime(QDateTimeToDateTime(lastMs)), lastMs);
}

TEST(TDateTime, PacketTextForms)
{
    TDateTime v = 0;
    ASSERT_TRUE(PacketTextToDateTime(u"20240131T10:00:00000", v));
    EXPECT_DOUBLE_EQ(v, 45322 + 10.0 / 24);
    EXPECT_EQ(DateTimeToPacketText(v), QStringLiteral("20240131T10:00:00000"));
    ASSERT_TRUE(PacketTextToDateTime(u"20240131", v));
    EXPECT_EQ(v, 45322);
    ASSERT_TRUE(PacketTextToDateTime(u"12:30:00500", v));
    EXPECT_DOUBLE_EQ(v, (12.5 * 3600 + 0.5) / 86400);

    char buf[32];
    EXPECT_EQ(std::string(buf, formatPacketDateTime(45322.5, PacketDateForm::Date, buf)), "20240131");
    EXPECT_EQ(std::string(buf, formatPacketDateTime(45322.5, PacketDateForm::Time, buf)), "12:00:00000");
    EXPECT_EQ(formatPacketDateTime(1e12, PacketDateForm::DateTime, buf), 0u);

    for (const char16_t* bad :
         {u"", u"2024013", u"20241301", u"20240230", u"20240131X10:00:00000", u"20240131T25:00:00000",
          u"20240131T10:60:00", u"2024-01-31", u"20240131T10:00:00:0000"})
        EXPECT_FALSE(PacketTextToDateTime(bad, v)) << QString::fromUtf16(bad).toStdString();
}

TEST(TDateTime, BrazilianDateText)
{
    EXPECT_EQ(DateToStr(45322.9), QStringLiteral("31/01/2024"));
    TDateTime v = 0;
    ASSERT_TRUE(StrToDate(u" 1/2/2024 ", v));
    EXPECT_EQ(v, EncodeDate(2024, 2, 1));
    EXPECT_FALSE(StrToDate(u"31/02/2024", v));
    EXPECT_FALSE(StrToDate(u"01/01/24", v));
    EXPECT_FALSE(StrToDate(u"01-01-2024", v));
    EXPECT_FALSE(StrToDate(u"", v));
}

namespace {

// The integer arithmetic the calendar ran on before <chrono> (days since
// 1970-01-01, proleptic Gregorian), kept as the witness that every day the
// packets and the date edits can hold still lands on the same date.
void witnessCivilFromDays(std::int64_t z, int& y, int& m, int& d)
{
    z += 719468;
    const std::int64_t era = (z >= 0 ? z : z - 146096) / 146097;
    const auto doe = static_cast<unsigned>(z - era * 146097);
    const unsigned yoe = (doe - doe / 1460 + doe / 36524 - doe / 146096) / 365;
    const unsigned doy = doe - (365 * yoe + yoe / 4 - yoe / 100);
    const unsigned mp = (5 * doy + 2) / 153;
    d = static_cast<int>(doy - (153 * mp + 2) / 5 + 1);
    m = static_cast<int>(mp < 10 ? mp + 3 : mp - 9);
    y = static_cast<int>(static_cast<std::int64_t>(yoe) + era * 400 + (m <= 2));
}

// Noon of a day: before day zero the fraction counts back from the day.
TDateTime noonOf(std::int64_t day)
{
    return static_cast<double>(day) + (day < 0 ? -0.5 : 0.5);
}

} // namespace

TEST(TDateTime, EveryDayOfTheYearsOneTo9999AgreesWithTheFormerArithmetic)
{
    constexpr std::int64_t unixDayZero = 25569; // 1970-01-01 as a day count
    char text[32];
    int mismatches = 0;
    for (std::int64_t day = -693593; day <= 2958465 && mismatches < 5; ++day) {
        int y, m, d;
        witnessCivilFromDays(day - unixDayZero, y, m, d);
        char expected[32];
        std::snprintf(expected, sizeof expected, "%04d%02d%02d", y, m, d);
        const std::string written(text, formatPacketDateTime(noonOf(day), PacketDateForm::Date, text));
        TDateTime back = 0;
        if (written != expected || EncodeDate(y, m, d) != day || !parsePacketDateTime(expected, back) || back != day) {
            ++mismatches;
            ADD_FAILURE() << "day " << day << ": written " << written << ", the witness says " << expected;
        }
    }
    EXPECT_EQ(mismatches, 0);
}

TEST(TDateTime, LeapYearsAndMonthEndsAtTheCenturies)
{
    struct Case {
        int y, m, d;
        TDateTime day; // 0: no such date
        const char* why;
    };
    const Case cases[] = {
        {1, 1, 1, -693593, "the first day a date edit can hold"},
        {9999, 12, 31, 2958465, "the last"},
        {1900, 2, 28, 60, "1900 is no leap year (divisible by 100)"},
        {1900, 2, 29, 0, "so it has no 29 February"},
        {1900, 3, 1, 61, "and March follows the 28th"},
        {2000, 2, 29, 36585, "2000 is one (divisible by 400)"},
        {2000, 3, 1, 36586, "March follows the 29th"},
        {2100, 2, 29, 0, "2100 is none again"},
        {2100, 3, 1, 73110, "March follows the 28th"},
        {2024, 4, 30, 45412, "April has 30 days"},
        {2024, 4, 31, 0, "not 31"},
        {2024, 12, 31, 45657, "the year's last day"},
        {2025, 1, 1, 45658, "the next year's first, one day later"},
        {2024, 1, 257, 0, "a day that would wrap to the 1st in a byte"},
        {2024, 13, 1, 0, "no 13th month"},
        {0, 12, 31, 0, "no year 0"},
    };
    for (const Case& c : cases) {
        EXPECT_EQ(EncodeDate(c.y, c.m, c.d), c.day) << c.why;
        if (c.day != 0) {
            EXPECT_EQ(DateTimeToDate(noonOf(static_cast<std::int64_t>(c.day))), QDate(c.y, c.m, c.d)) << c.why;
        }
    }
}
