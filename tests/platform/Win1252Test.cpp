#include "Win1252.h"

#include <gtest/gtest.h>

using namespace trd;

TEST(Win1252, CodePageTableMapsTheHighBytesBothWays)
{
    EXPECT_EQ(win1252::toUnicode(0x80), u'\u20AC'); // euro sign
    EXPECT_EQ(win1252::toUnicode(0x9F), u'\u0178');
    EXPECT_EQ(win1252::toUnicode(0xE7), u'ç');
    EXPECT_EQ(win1252::toUnicode(0x81), u'\uFFFD'); // undefined in the code page
    for (int b = 0; b < 256; ++b) {
        const char16_t ch = win1252::toUnicode(static_cast<unsigned char>(b));
        if (ch == 0xFFFD)
            continue;
        EXPECT_EQ(win1252::fromUnicode(ch), b) << "byte " << b;
    }
    EXPECT_EQ(win1252::fromUnicode(0x0081), -1); // C1 control: not a character of the code page
    EXPECT_EQ(win1252::fromUnicode(0x4E2D), -1);
}

TEST(Win1252, RepresentableTextAndFirstOffendingPosition)
{
    EXPECT_TRUE(win1252::isRepresentable(u"Tradução – “ok” € œ"));
    EXPECT_FALSE(win1252::isRepresentable(u"日本"));
    EXPECT_EQ(win1252::firstUnrepresentable(u"abc\u0400d"), 3);
    EXPECT_EQ(win1252::firstUnrepresentable(u"abc"), -1);
    EXPECT_EQ(win1252::firstUnrepresentable(u"a\U0001F600"), 1); // surrogate pair
}

TEST(Win1252, UpperFoldsOnlyTheCodePageLetters)
{
    EXPECT_EQ(win1252::upper(QStringView(u"ação é ñ ÿ š œ ž")), QStringView(u"AÇÃO É Ñ Ÿ Š Œ Ž"));
    // µ, ß and the division sign have no upper case in the code page; others untouched.
    EXPECT_EQ(win1252::upper(QStringView(u"µß÷1_z")), QStringView(u"µß÷1_Z"));
    EXPECT_EQ(win1252::upper(u'\u0430'), u'\u0430'); // Cyrillic: not ours to fold
}

TEST(Win1252, Utf8FoldMatchesTheUtf16Fold)
{
    const QString text = QStringLiteral("Configuração de preços: ÿ œ š ž µ ß 日");
    EXPECT_EQ(QString::fromStdString(win1252::upperUtf8(text.toStdString())), win1252::upper(text));
    // Bytes that are not UTF-8 pass through unchanged.
    EXPECT_EQ(win1252::upperUtf8(std::string("a\xFF"
                                             "b")),
              std::string("A\xFF"
                          "B"));
    EXPECT_EQ(win1252::upperUtf8(std::string("\xC3")), std::string("\xC3"));
}

TEST(Win1252, BytesConversionRefusesWhatTheCodePageCannotHold)
{
    std::string bytes;
    ASSERT_TRUE(win1252::toBytes(u"Pão €", bytes));
    EXPECT_EQ(bytes, std::string("P\xE3o \x80"));
    EXPECT_EQ(win1252::fromBytes(bytes), QStringLiteral("Pão €"));
    EXPECT_FALSE(win1252::toBytes(u"Ωmega", bytes));
}
