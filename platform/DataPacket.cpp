#include "DataPacket.h"

#include "Cbor.h"
#include "DataPacketDetail.h"
#include "PacketText.h"
#include "Win1252.h"

#include <cstdint>
#include <cstring>
#include <limits>

namespace trd {

using packetdetail::equalsNoCase;
using packetdetail::fail;
using packetdetail::view;
using packettext::q;

// XML names only: a field name is written as an attribute name of every row.
bool isValidPacketName(std::string_view name)
{
    if (name.empty())
        return false;
    for (std::size_t i = 0; i < name.size(); ++i) {
        const auto c = static_cast<unsigned char>(name[i]);
        const bool letter = (c >= 'A' && c <= 'Z') || (c >= 'a' && c <= 'z') || c == '_' || c >= 0x80;
        const bool other = (c >= '0' && c <= '9') || c == '-' || c == '.';
        if (!(letter || (i > 0 && other)))
            return false;
    }
    return true;
}

namespace {

constexpr std::int64_t kI64Min = std::numeric_limits<std::int64_t>::min();
constexpr std::int64_t kI64Max = std::numeric_limits<std::int64_t>::max();

constexpr PacketType kTypes[] = {
    {"string", TFieldType::ftString, 0, 0},
    {"string.uni", TFieldType::ftString, 0, 0},
    {"i1", TFieldType::ftInteger, -128, 127},
    {"i2", TFieldType::ftInteger, -32768, 32767},
    {"i4", TFieldType::ftInteger, -2147483648LL, 2147483647LL},
    {"i8", TFieldType::ftInteger, kI64Min, kI64Max},
    {"ui1", TFieldType::ftInteger, 0, 255},
    {"ui2", TFieldType::ftInteger, 0, 65535},
    {"ui4", TFieldType::ftInteger, 0, 4294967295LL},
    {"boolean", TFieldType::ftInteger, 0, 1},
    {"r8", TFieldType::ftFloat, 0, 0},
    {"fixed", TFieldType::ftFloat, 0, 0},
    {"date", TFieldType::ftDateTime, 0, 0},
    {"time", TFieldType::ftDateTime, 0, 0},
    {"dateTime", TFieldType::ftDateTime, 0, 0},
};

} // namespace

const PacketType* findPacketType(std::string_view xmlType)
{
    for (const PacketType& t : kTypes) {
        if (equalsNoCase(xmlType, t.name))
            return &t;
    }
    return nullptr;
}

bool isBooleanField(const PacketField& f)
{
    return equalsNoCase(std::string_view(f.xmlType.constData(), static_cast<std::size_t>(f.xmlType.size())), "boolean");
}

PacketDateForm packetDateForm(const PacketField& f)
{
    const std::string_view t(f.xmlType.constData(), static_cast<std::size_t>(f.xmlType.size()));
    if (equalsNoCase(t, "date"))
        return PacketDateForm::Date;
    if (equalsNoCase(t, "time"))
        return PacketDateForm::Time;
    return PacketDateForm::DateTime;
}

bool isCborPacket(const QByteArray& bytes)
{
    return cbor::startsWithSelfDescribe(bytes.constData(), static_cast<std::size_t>(bytes.size()));
}

bool isBinaryPacket(const QByteArray& bytes)
{
    return bytes.size() >= 4 && static_cast<unsigned char>(bytes[0]) == 0x96
        && static_cast<unsigned char>(bytes[1]) == 0x19 && static_cast<unsigned char>(bytes[2]) == 0xE0
        && static_cast<unsigned char>(bytes[3]) == 0xBD;
}

// UTF-8 to UTF-16 in one pass, checking the code page on the way, for texts
// that are valid and within it (nearly all of them).
bool decodeCodePageText(std::string_view utf8, char16_t* const begin, qsizetype& length)
{
    char16_t* out = begin;
    const auto* p = reinterpret_cast<const unsigned char*>(utf8.data());
    const auto* const end = p + utf8.size();
    while (p < end) {
        while (end - p >= 8) { // ASCII without NUL, eight bytes at a time
            std::uint64_t word;
            std::memcpy(&word, p, 8);
            constexpr std::uint64_t ones = 0x0101010101010101ull, highs = 0x8080808080808080ull;
            if ((word & highs) || ((word - ones) & ~word & highs))
                break;
            for (int i = 0; i < 8; ++i)
                out[i] = p[i];
            p += 8;
            out += 8;
        }
        if (p == end)
            break;
        const unsigned c = *p;
        char16_t ch = 0;
        if (c < 0x80) {
            if (c == 0)
                return false;
            ch = static_cast<char16_t>(c);
            ++p;
        } else if (c >= 0xC2 && c <= 0xDF && end - p >= 2 && (p[1] & 0xC0) == 0x80) {
            ch = static_cast<char16_t>(((c & 0x1F) << 6) | (p[1] & 0x3F));
            p += 2;
        } else if (c >= 0xE0 && c <= 0xEF && end - p >= 3 && (p[1] & 0xC0) == 0x80 && (p[2] & 0xC0) == 0x80) {
            ch = static_cast<char16_t>(((c & 0x0F) << 12) | ((p[1] & 0x3F) << 6) | (p[2] & 0x3F));
            if (ch < 0x800 || (ch >= 0xD800 && ch <= 0xDFFF))
                return false;
            p += 3;
        } else {
            return false;
        }
        if (!win1252::isRepresentable(ch))
            return false;
        *out++ = ch;
    }
    length = out - begin;
    return true;
}

QString checkedPacketText(const PacketField& f, std::string_view utf8, int rowNumber)
{
    QString text(static_cast<qsizetype>(utf8.size()), Qt::Uninitialized);
    qsizetype length = 0;
    const bool inCodePage = decodeCodePageText(utf8, reinterpret_cast<char16_t*>(text.data()), length);
    if (inCodePage)
        text.truncate(length);
    else
        text = QString::fromUtf8(utf8.data(), static_cast<qsizetype>(utf8.size()));
    if (text.isNull())
        text = QString(QLatin1StringView("")); // present but empty: not null
    if (f.size > 0 && text.size() > f.size)
        fail(QStringLiteral(
                 "O valor do campo '%1' na linha %2 do pacote de dados excede o tamanho do campo (%3 caracteres).")
                 .arg(q(view(f.name)))
                 .arg(rowNumber)
                 .arg(f.size));
    // Invalid UTF-8 decodes to U+FFFD, which the code page cannot hold either.
    const qsizetype bad = inCodePage ? -1 : win1252::firstUnrepresentable(text);
    if (bad >= 0)
        fail(QStringLiteral("O valor do campo '%1' na linha %2 do pacote de dados contém um caractere que não pode "
                            "ser representado (U+%3).")
                 .arg(q(view(f.name)))
                 .arg(rowNumber)
                 .arg(text.at(bad).unicode(), 4, 16, QLatin1Char('0')));
    return text;
}

} // namespace trd
