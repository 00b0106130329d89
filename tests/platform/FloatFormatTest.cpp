#include "FloatFormat.h"

#include <gtest/gtest.h>

using namespace trd;

TEST(FloatFormat, GeneralFormatLayout)
{
    const QChar comma(u',');
    EXPECT_EQ(FloatToStrGeneral(0, comma), QStringLiteral("0"));
    EXPECT_EQ(FloatToStrGeneral(12.5, comma), QStringLiteral("12,5"));
    EXPECT_EQ(FloatToStrGeneral(-0.25, QChar(u'.')), QStringLiteral("-0.25"));
    EXPECT_EQ(FloatToStrGeneral(1234567, comma), QStringLiteral("1234567"));
    EXPECT_EQ(FloatToStrGeneral(0.1 + 0.2, comma), QStringLiteral("0,3")); // 15 significant digits
    EXPECT_EQ(FloatToStrGeneral(2.0 / 3.0, comma), QStringLiteral("0,666666666666667"));
}

TEST(FloatFormat, ScientificBelowOneHundredThousandthAndFrom1E15)
{
    const QChar comma(u',');
    EXPECT_EQ(FloatToStrGeneral(0.00001, comma), QStringLiteral("0,00001"));
    EXPECT_EQ(FloatToStrGeneral(0.0000001, comma), QStringLiteral("1E-7"));
    EXPECT_EQ(FloatToStrGeneral(0.0000015, comma), QStringLiteral("1,5E-6"));
    EXPECT_EQ(FloatToStrGeneral(1.5e20, comma), QStringLiteral("1,5E20"));
    EXPECT_EQ(FloatToStrGeneral(999999999999999.0, comma), QStringLiteral("999999999999999"));
    EXPECT_EQ(FloatToStrGeneral(1e15, comma), QStringLiteral("1E15"));
}

TEST(FloatFormat, ReadingBackAcceptsOnlyTheGeneralForms)
{
    const QChar comma(u',');
    double v = 0;
    ASSERT_TRUE(TryStrToFloat(u"  1E-7 ", comma, v));
    EXPECT_DOUBLE_EQ(v, 1e-7);
    ASSERT_TRUE(TryStrToFloat(u"-12,75", comma, v));
    EXPECT_DOUBLE_EQ(v, -12.75);
    ASSERT_TRUE(TryStrToFloat(u"+3e+2", comma, v));
    EXPECT_DOUBLE_EQ(v, 300);
    ASSERT_TRUE(TryStrToFloat(u",5", comma, v));
    EXPECT_DOUBLE_EQ(v, 0.5);
    v = 42;
    for (const char16_t* bad : {u"", u" ", u"12.5", u"1,2,3", u"1e", u"abc", u"1 000", u",", u"1e999", u"--1"})
        EXPECT_FALSE(TryStrToFloat(bad, comma, v)) << QString::fromUtf16(bad).toStdString();
    EXPECT_EQ(v, 42); // untouched on failure
}

TEST(FloatFormat, FormatAndReadRoundTrip)
{
    const QChar comma(u',');
    for (double x : {1e-7, 0.1, 123.456, -98765.4321, 3.14159265358979, 1.5e20, 1e-300}) {
        double back = 0;
        ASSERT_TRUE(TryStrToFloat(FloatToStrGeneral(x, comma), comma, back));
        EXPECT_NEAR(back, x, std::abs(x) * 1e-14);
    }
}

TEST(FloatFormat, ExtendedPrecisionRoundsOnceFromTheExtendedValue)
{
    const QChar comma(u',');
    // 0.1 in extended precision is not the double 0.1; both show as 0,1.
    EXPECT_EQ(ExtendedToStrGeneral(0.1L, comma), QStringLiteral("0,1"));
    EXPECT_EQ(ExtendedToStrGeneral(1e-7L, comma), QStringLiteral("1E-7"));
    // Sixteen nines: the double nearest is 1E16 already; the extended value is
    // exact and rounds to 1E16 at the fifteenth digit.
    EXPECT_EQ(ExtendedToStrGeneral(9999999999999999.0L, comma), QStringLiteral("1E16"));
    EXPECT_EQ(ExtendedToStrGeneral(123456.7890123456789L, QChar(u'.')), QStringLiteral("123456.789012346"));

    long double back = 0;
    ASSERT_TRUE(TryStrToExtended(u"0,1", comma, back));
    EXPECT_EQ(back, 0.1L); // the nearest extended value, not the double widened
    EXPECT_NE(back, static_cast<long double>(0.1));
    ASSERT_TRUE(TryStrToExtended(u"1,5E-6", comma, back));
    EXPECT_EQ(back, 1.5e-6L);
    EXPECT_FALSE(TryStrToExtended(u"1.5", comma, back));
}
