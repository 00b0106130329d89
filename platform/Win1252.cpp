#include "Win1252.h"

#include <array>

namespace trd::win1252 {

namespace {

// 0x80..0x9F: the only bytes where the code page departs from Latin-1.
constexpr std::array<char16_t, 32> kHigh = {
    0x20AC, 0xFFFD, 0x201A, 0x0192, 0x201E, 0x2026, 0x2020, 0x2021,
    0x02C6, 0x2030, 0x0160, 0x2039, 0x0152, 0xFFFD, 0x017D, 0xFFFD,
    0xFFFD, 0x2018, 0x2019, 0x201C, 0x201D, 0x2022, 0x2013, 0x2014,
    0x02DC, 0x2122, 0x0161, 0x203A, 0x0153, 0xFFFD, 0x017E, 0x0178,
};

int highByteOf(char16_t ch)
{
    for (int i = 0; i < 32; ++i) {
        if (kHigh[i] == ch && ch != 0xFFFD)
            return 0x80 + i;
    }
    return -1;
}

void appendUtf8(std::string& out, char32_t cp)
{
    if (cp < 0x80) {
        out.push_back(static_cast<char>(cp));
    } else if (cp < 0x800) {
        out.push_back(static_cast<char>(0xC0 | (cp >> 6)));
        out.push_back(static_cast<char>(0x80 | (cp & 0x3F)));
    } else if (cp < 0x10000) {
        out.push_back(static_cast<char>(0xE0 | (cp >> 12)));
        out.push_back(static_cast<char>(0x80 | ((cp >> 6) & 0x3F)));
        out.push_back(static_cast<char>(0x80 | (cp & 0x3F)));
    } else {
        out.push_back(static_cast<char>(0xF0 | (cp >> 18)));
        out.push_back(static_cast<char>(0x80 | ((cp >> 12) & 0x3F)));
        out.push_back(static_cast<char>(0x80 | ((cp >> 6) & 0x3F)));
        out.push_back(static_cast<char>(0x80 | (cp & 0x3F)));
    }
}

// Length of the valid UTF-8 sequence at s (1..4) with its code point, or 0
// when the bytes there are not valid UTF-8.
int decodeUtf8(std::string_view s, std::size_t i, char32_t& cp)
{
    const auto b0 = static_cast<unsigned char>(s[i]);
    int len;
    char32_t min;
    if (b0 < 0x80) {
        cp = b0;
        return 1;
    } else if ((b0 & 0xE0) == 0xC0) {
        len = 2; cp = b0 & 0x1F; min = 0x80;
    } else if ((b0 & 0xF0) == 0xE0) {
        len = 3; cp = b0 & 0x0F; min = 0x800;
    } else if ((b0 & 0xF8) == 0xF0) {
        len = 4; cp = b0 & 0x07; min = 0x10000;
    } else {
        return 0;
    }
    if (i + len > s.size())
        return 0;
    for (int k = 1; k < len; ++k) {
        const auto b = static_cast<unsigned char>(s[i + k]);
        if ((b & 0xC0) != 0x80)
            return 0;
        cp = (cp << 6) | (b & 0x3F);
    }
    if (cp < min || cp > 0x10FFFF || (cp >= 0xD800 && cp <= 0xDFFF))
        return 0;
    return len;
}

} // namespace

char16_t toUnicode(unsigned char byte)
{
    if (byte >= 0x80 && byte < 0xA0)
        return kHigh[byte - 0x80];
    return byte;
}

int fromUnicode(char16_t ch)
{
    if (ch < 0x80 || (ch >= 0xA0 && ch <= 0xFF))
        return ch;
    if (ch < 0xA0)   // C1 controls: the code page puts other characters there
        return -1;
    return highByteOf(ch);
}

bool isRepresentable(char16_t ch)
{
    if (ch < 0x80 || (ch >= 0xA0 && ch <= 0xFF))
        return true;
    return fromUnicode(ch) >= 0;
}

bool isRepresentable(QStringView text)
{
    return firstUnrepresentable(text) < 0;
}

qsizetype firstUnrepresentable(QStringView text)
{
    const char16_t* p = text.utf16();
    const qsizetype n = text.size();
    qsizetype i = 0;
    // Texts are mostly ASCII: skip them four characters at a time.
    for (; i + 4 <= n; i += 4) {
        if (((p[i] | p[i + 1] | p[i + 2] | p[i + 3]) & 0xFF80) != 0)
            break;
    }
    for (; i < n; ++i) {
        const char16_t ch = p[i];
        if (ch < 0x80 || (ch >= 0xA0 && ch <= 0xFF))
            continue;
        if (fromUnicode(ch) < 0)
            return i;
    }
    return -1;
}

QString upper(QStringView text)
{
    QString out(text.size(), Qt::Uninitialized);
    char16_t* dst = reinterpret_cast<char16_t*>(out.data());
    const char16_t* src = text.utf16();
    for (qsizetype i = 0, n = text.size(); i < n; ++i)
        dst[i] = upper(src[i]);
    return out;
}

std::string upperUtf8(std::string_view utf8)
{
    std::string out;
    out.reserve(utf8.size());
    std::size_t i = 0;
    while (i < utf8.size()) {
        const auto b = static_cast<unsigned char>(utf8[i]);
        if (b < 0x80) {
            out.push_back((b >= 'a' && b <= 'z') ? static_cast<char>(b - 0x20) : static_cast<char>(b));
            ++i;
            continue;
        }
        char32_t cp = 0;
        const int len = decodeUtf8(utf8, i, cp);
        if (len == 0) {             // not UTF-8: keep the byte as it came
            out.push_back(utf8[i]);
            ++i;
            continue;
        }
        if (cp < 0x10000)
            cp = upper(static_cast<char16_t>(cp));
        appendUtf8(out, cp);
        i += len;
    }
    return out;
}

QString fromBytes(std::string_view bytes)
{
    QString out(static_cast<qsizetype>(bytes.size()), Qt::Uninitialized);
    char16_t* dst = reinterpret_cast<char16_t*>(out.data());
    for (std::size_t i = 0; i < bytes.size(); ++i)
        dst[i] = toUnicode(static_cast<unsigned char>(bytes[i]));
    return out;
}

bool toBytes(QStringView text, std::string& out)
{
    out.clear();
    out.reserve(static_cast<std::size_t>(text.size()));
    for (const QChar ch : text) {
        const int b = fromUnicode(ch.unicode());
        if (b < 0)
            return false;
        out.push_back(static_cast<char>(b));
    }
    return true;
}

} // namespace trd::win1252
