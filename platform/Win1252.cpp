#include "Win1252.h"

#include "Utf8.h"

#include <array>

namespace trd::win1252 {

namespace {

// 0x80..0x9F: the only bytes where the code page departs from Latin-1.
constexpr std::array<char16_t, 32> kHigh = {
    0x20AC, 0xFFFD, 0x201A, 0x0192, 0x201E, 0x2026, 0x2020, 0x2021, 0x02C6, 0x2030, 0x0160,
    0x2039, 0x0152, 0xFFFD, 0x017D, 0xFFFD, 0xFFFD, 0x2018, 0x2019, 0x201C, 0x201D, 0x2022,
    0x2013, 0x2014, 0x02DC, 0x2122, 0x0161, 0x203A, 0x0153, 0xFFFD, 0x017E, 0x0178,
};

int highByteOf(char16_t ch)
{
    for (int i = 0; i < 32; ++i) {
        if (kHigh[i] == ch && ch != 0xFFFD)
            return 0x80 + i;
    }
    return -1;
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
    if (ch < 0xA0) // C1 controls: the code page puts other characters there
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
        const int len = utf8::decode(utf8, i, cp);
        if (len == 0) { // not UTF-8: keep the byte as it came
            out.push_back(utf8[i]);
            ++i;
            continue;
        }
        if (cp < 0x10000)
            cp = upper(static_cast<char16_t>(cp));
        utf8::append(out, cp);
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
