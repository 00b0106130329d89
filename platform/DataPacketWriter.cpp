#include "DataPacket.h"

#include "DataPacketDetail.h"
#include "PacketText.h"
#include "TDateTime.h"
#include "Utf8.h"

#include <algorithm>
#include <charconv>
#include <cmath>
#include <cstring>
#include <string>

namespace trd {

using packetdetail::equalsNoCase;
using packetdetail::fail;
using packetdetail::view;
using packettext::q;

namespace {

const char* defaultXmlType(TFieldType type)
{
    switch (type) {
    case TFieldType::ftString:
        return "string";
    case TFieldType::ftInteger:
        return "i8"; // our integers are 64-bit
    case TFieldType::ftFloat:
        return "r8";
    case TFieldType::ftDateTime:
        return "dateTime";
    }
    return "string";
}

// Bytes that cannot stand as they are inside a double-quoted attribute value.
// Control characters go as character references so that line breaks and tabs
// survive attribute-value normalisation.
struct EscapeTable {
    bool needs[256] = {};
    constexpr EscapeTable()
    {
        for (int c = 0; c < 0x20; ++c)
            needs[c] = true;
        needs[static_cast<unsigned char>('&')] = true;
        needs[static_cast<unsigned char>('<')] = true;
        needs[static_cast<unsigned char>('>')] = true;
        needs[static_cast<unsigned char>('"')] = true;
    }
};
constexpr EscapeTable kEscape;

// Writes an entity without its terminating NUL; returns the end written.
template <std::size_t N>
char* writeEntity(char* p, const char (&entity)[N])
{
    std::memcpy(p, entity, N - 1);
    return p + (N - 1);
}

char* writeEscape(char* p, unsigned c)
{
    switch (c) {
    case '&':
        return writeEntity(p, "&amp;");
    case '<':
        return writeEntity(p, "&lt;");
    case '>':
        return writeEntity(p, "&gt;");
    case '"':
        return writeEntity(p, "&quot;");
    default:
        *p++ = '&';
        *p++ = '#';
        if (c >= 10)
            *p++ = static_cast<char>('0' + c / 10);
        *p++ = static_cast<char>('0' + c % 10);
        *p++ = ';';
        return p;
    }
}

// Appends to a QByteArray through a raw pointer: reserve room for the worst
// case, write, then trim to what was written. Growth is geometric.
char* tail(QByteArray& out, qsizetype room)
{
    const qsizetype size = out.size();
    if (out.capacity() - size < room)
        out.reserve(std::max(size + room, out.capacity() * 2));
    out.resize(size + room);
    return out.data() + size;
}

void trimTo(QByteArray& out, const char* end)
{
    out.resize(end - out.constData());
}

void appendRaw(QByteArray& out, std::string_view s)
{
    out.append(s.data(), static_cast<qsizetype>(s.size()));
}

void appendEscaped(QByteArray& out, std::string_view s)
{
    char* p = tail(out, static_cast<qsizetype>(s.size()) * 6);
    for (const char ch : s) {
        const auto c = static_cast<unsigned char>(ch);
        if (kEscape.needs[c])
            p = writeEscape(p, c);
        else
            *p++ = ch;
    }
    trimTo(out, p);
}

void appendAttr(QByteArray& out, std::string_view name, std::string_view value)
{
    out.append(' ');
    appendRaw(out, name);
    out.append("=\"", 2);
    appendEscaped(out, value);
    out.append('"');
}

} // namespace

PacketWriter::PacketWriter(QByteArray& out) : m_out(out)
{
}

void PacketWriter::begin(const std::vector<PacketField>& fields, const PacketParams& params)
{
    m_fields = fields;
    for (const PacketField& f : m_fields) {
        if (!isValidPacketName(view(f.name)))
            fail(QStringLiteral("Nome de campo inválido no pacote de dados: '%1'.").arg(q(view(f.name))));
    }
    m_out.append(
        R"(<?xml version="1.0" encoding="UTF-8" standalone="yes"?><DATAPACKET Version="2.0"><METADATA><FIELDS>)");
    for (const PacketField& f : m_fields) {
        m_out.append("<FIELD");
        appendAttr(m_out, "attrname", view(f.name));
        const std::string_view type = f.xmlType.isEmpty() ? std::string_view(defaultXmlType(f.type)) : view(f.xmlType);
        appendAttr(m_out, "fieldtype", type);
        const bool fixed = equalsNoCase(type, "fixed");
        if ((f.type == TFieldType::ftString || fixed) && f.size > 0)
            appendAttr(m_out, "WIDTH", std::to_string(f.size));
        if (fixed || f.decimals > 0)
            appendAttr(m_out, "DECIMALS", std::to_string(f.decimals));
        if (!f.subtype.isEmpty())
            appendAttr(m_out, "SUBTYPE", view(f.subtype));
        if (f.required)
            appendAttr(m_out, "required", "true");
        if (f.readOnly)
            appendAttr(m_out, "readonly", "true");
        if (f.hidden)
            appendAttr(m_out, "hidden", "true");
        m_out.append("/>");
    }
    m_out.append("</FIELDS><PARAMS");
    for (const auto& [name, value] : params) {
        if (!isValidPacketName(view(name)))
            fail(QStringLiteral("Nome de parâmetro inválido no pacote de dados: '%1'.").arg(q(view(name))));
        appendAttr(m_out, view(name), view(value));
    }
    m_out.append("/></METADATA><ROWDATA>");
}

void PacketWriter::beginRow(int rowState)
{
    m_out.append("<ROW", 4);
    if (rowState != rsNone)
        appendAttr(m_out, "RowState", std::to_string(rowState));
}

void PacketWriter::string(int field, std::string_view utf8)
{
    appendAttr(m_out, view(m_fields[static_cast<std::size_t>(field)].name), utf8);
}

void PacketWriter::string(int field, const QString& text)
{
    const QByteArray& name = m_fields[static_cast<std::size_t>(field)].name;
    // Worst case per UTF-16 unit: an entity of 6 bytes or 3 bytes of UTF-8.
    char* p = tail(m_out, name.size() + 4 + text.size() * 6);
    *p++ = ' ';
    std::memcpy(p, name.constData(), static_cast<std::size_t>(name.size()));
    p += name.size();
    *p++ = '=';
    *p++ = '"';
    // constData(), not utf16(): the latter copies a text that is not its own.
    const char16_t* s = reinterpret_cast<const char16_t*>(text.constData());
    const char16_t* end = s + text.size();
    while (s < end) {
        const char16_t c = *s++;
        if (c < 0x80) {
            if (kEscape.needs[c])
                p = writeEscape(p, c);
            else
                *p++ = static_cast<char>(c);
        } else if (c >= 0xD800 && c <= 0xDBFF && s < end && *s >= 0xDC00 && *s <= 0xDFFF) {
            p = utf8::encode(p, 0x10000 + ((char32_t(c) - 0xD800) << 10) + (char32_t(*s++) - 0xDC00));
        } else {
            p = utf8::encode(p, (c >= 0xD800 && c <= 0xDFFF) ? char32_t(0xFFFD) : c); // a lone surrogate
        }
    }
    *p++ = '"';
    trimTo(m_out, p);
}

void PacketWriter::integer(int field, std::int64_t value)
{
    const PacketField& f = m_fields[static_cast<std::size_t>(field)];
    if (isBooleanField(f)) {
        appendAttr(m_out, view(f.name), value ? "TRUE" : "FALSE");
        return;
    }
    char buf[24];
    const auto res = std::to_chars(buf, buf + sizeof buf, value);
    appendAttr(m_out, view(f.name), std::string_view(buf, static_cast<std::size_t>(res.ptr - buf)));
}

void PacketWriter::real(int field, double value)
{
    const PacketField& f = m_fields[static_cast<std::size_t>(field)];
    if (!std::isfinite(value))
        fail(QStringLiteral("Valor numérico inválido no campo '%1'.").arg(q(view(f.name))));
    char buf[32];
    const auto res = std::to_chars(buf, buf + sizeof buf, value);
    appendAttr(m_out, view(f.name), std::string_view(buf, static_cast<std::size_t>(res.ptr - buf)));
}

void PacketWriter::dateTime(int field, double dayCount)
{
    const PacketField& f = m_fields[static_cast<std::size_t>(field)];
    char buf[32];
    const std::size_t n = formatPacketDateTime(dayCount, packetDateForm(f), buf);
    if (n == 0)
        fail(QStringLiteral("Data fora do intervalo permitido no campo '%1'.").arg(q(view(f.name))));
    appendAttr(m_out, view(f.name), std::string_view(buf, n));
}

void PacketWriter::endRow()
{
    m_out.append("/>", 2);
}

void PacketWriter::end()
{
    m_out.append("</ROWDATA></DATAPACKET>");
}

} // namespace trd
