#include "TDateTime.h"

#include <gtest/gtest.h>

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

    for (const char16_t* bad : {u"", u"2024013", u"20241301", u"20240230", u"20240131X10:00:00000",
                                u"20240131T25:00:00000", u"20240131T10:60:00", u"2024-01-31", u"20240131T10:00:00:0000"})
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
