#pragma once
// Windows-1252 in meaning: every text of the module is a single-byte string of
// that code page. We keep texts as QString (each Windows-1252 character is one
// UTF-16 unit, so lengths and positions agree) and use these helpers where a
// text enters (to refuse what the code page cannot hold) and where letters are
// folded (so client and server upper-case exactly the same letters).
#include <QString>
#include <QStringView>

#include <string>
#include <string_view>

namespace trd::win1252 {

// The Unicode character of a Windows-1252 byte; bytes the code page leaves
// undefined (0x81, 0x8D, 0x8F, 0x90, 0x9D) map to U+FFFD.
char16_t toUnicode(unsigned char byte);

// The Windows-1252 byte of a character, or -1 when the code page has none.
int fromUnicode(char16_t ch);

bool isRepresentable(char16_t ch);
bool isRepresentable(QStringView text);
// Position (0-based) of the first character the code page cannot hold, or -1.
qsizetype firstUnrepresentable(QStringView text);

// Upper-case fold of the code page's letters: a-z, the accented Latin letters
// U+00E0..U+00FE except U+00F7, and š œ ž ÿ. Everything else (µ, ß, digits,
// characters outside the code page) is left as it is.
inline char16_t upper(char16_t ch)
{
    if (ch < 0x80)
        return (ch >= u'a' && ch <= u'z') ? char16_t(ch - 0x20) : ch;
    if (ch >= 0xE0 && ch <= 0xFE && ch != 0xF7)
        return char16_t(ch - 0x20);
    switch (ch) {
    case 0x0161:
        return 0x0160; // š
    case 0x0153:
        return 0x0152; // œ
    case 0x017E:
        return 0x017D; // ž
    case 0x00FF:
        return 0x0178; // ÿ
    default:
        return ch;
    }
}
QString upper(QStringView text);
// The same fold on UTF-8 text, for the server (invalid UTF-8 is copied as is).
std::string upperUtf8(std::string_view utf8);

// Conversions between the code page's bytes and QString; fromBytes never fails,
// toBytes returns false (and leaves out nothing silently) when a character has
// no byte.
QString fromBytes(std::string_view bytes);
bool toBytes(QStringView text, std::string& out);

} // namespace trd::win1252
