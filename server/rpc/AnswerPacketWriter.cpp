#include "AnswerPacketWriter.h"

#include "TDateTime.h"

#include <array>
#include <charconv>
#include <cmath>

#if defined(__SSE2__)
#include <emmintrin.h>
#endif

namespace trd::server {

namespace {

// Replacement of each byte that needs one: XML entities for markup and line
// breaks (which must survive the attribute), a JSON escape for the backslash.
struct EscapeTable {
    std::array<const char*, 256> replacement{};
    EscapeTable()
    {
        replacement['&'] = "&amp;";
        replacement['<'] = "&lt;";
        replacement['>'] = "&gt;";
        replacement['"'] = "&quot;";
        replacement['\\'] = "\\\\";
        static const char* const controls[32] = {
            "&#0;",  "&#1;",  "&#2;",  "&#3;",  "&#4;",  "&#5;",  "&#6;",  "&#7;",  "&#8;",  "&#9;",  "&#10;",
            "&#11;", "&#12;", "&#13;", "&#14;", "&#15;", "&#16;", "&#17;", "&#18;", "&#19;", "&#20;", "&#21;",
            "&#22;", "&#23;", "&#24;", "&#25;", "&#26;", "&#27;", "&#28;", "&#29;", "&#30;", "&#31;"};
        for (int c = 0; c < 32; ++c)
            replacement[c] = controls[c];
    }
};

const EscapeTable& escapeTable()
{
    static const EscapeTable table;
    return table;
}

} // namespace

// Texts rarely hold a byte that needs escaping, so the scan skips sixteen
// clean bytes at a time where the processor allows.
const char* nextSpecial(const char* p, const char* end)
{
#if defined(__SSE2__)
    const __m128i quote = _mm_set1_epi8('"');
    const __m128i amp = _mm_set1_epi8('&');
    const __m128i lt = _mm_set1_epi8('<');
    const __m128i gt = _mm_set1_epi8('>');
    const __m128i backslash = _mm_set1_epi8('\\');
    const __m128i space = _mm_set1_epi8(0x20);
    const __m128i high = _mm_set1_epi8(static_cast<char>(0x80));
    while (end - p >= 16) {
        const __m128i v = _mm_loadu_si128(reinterpret_cast<const __m128i*>(p));
        // Control bytes: below 0x20 as unsigned, i.e. (v ^ 0x80) < (0x20 ^ 0x80) as signed.
        const __m128i control = _mm_cmplt_epi8(_mm_xor_si128(v, high), _mm_xor_si128(space, high));
        const __m128i special =
            _mm_or_si128(_mm_or_si128(_mm_or_si128(_mm_cmpeq_epi8(v, quote), _mm_cmpeq_epi8(v, amp)),
                                      _mm_or_si128(_mm_cmpeq_epi8(v, lt), _mm_cmpeq_epi8(v, gt))),
                         _mm_or_si128(_mm_cmpeq_epi8(v, backslash), control));
        const int mask = _mm_movemask_epi8(special);
        if (mask != 0)
            return p + __builtin_ctz(static_cast<unsigned>(mask));
        p += 16;
    }
#endif
    const auto& table = escapeTable().replacement;
    while (p != end && !table[static_cast<unsigned char>(*p)])
        ++p;
    return p;
}

void appendPacketValue(std::string& out, std::string_view utf8)
{
    const auto& table = escapeTable().replacement;
    const char* p = utf8.data();
    const char* const end = p + utf8.size();
    const char* run = p;
    for (; (p = nextSpecial(p, end)) != end; ++p) {
        const char* rep = table[static_cast<unsigned char>(*p)];
        out.append(run, p);
        out.append(rep);
        run = p + 1;
    }
    out.append(run, end);
}

AnswerPacketWriter::AnswerPacketWriter(AnswerBuffer& out, std::span<const AnswerField> fields, std::size_t expectedRows)
    : m_buffer(out), m_out(out.bytes), m_fields(fields), m_expectedRows(expectedRows)
{
    if (out.form == PacketForm::Cbor) {
        std::vector<trd::PacketField> defs;
        for (const auto& f : m_fields) {
            trd::PacketField def;
            def.name = f.name;
            def.xmlType = f.type;
            def.type = trd::findPacketType(f.type)->type;
            def.size = f.width;
            defs.push_back(std::move(def));
        }
        m_cbor.emplace(m_out);
        m_cbor->beginOpen(defs);
        m_rowsStart = m_out.size();
        return;
    }
    m_out += "\"<?xml version=\\\"1.0\\\" encoding=\\\"UTF-8\\\" standalone=\\\"yes\\\"?>"
             "<DATAPACKET Version=\\\"2.0\\\"><METADATA><FIELDS>";
    for (const auto& f : m_fields) {
        m_out += "<FIELD attrname=\\\"";
        m_out += f.name;
        m_out += "\\\" fieldtype=\\\"";
        m_out += f.type;
        if (f.width > 0) {
            m_out += "\\\" WIDTH=\\\"";
            m_out += std::to_string(f.width);
        }
        m_out += "\\\"/>";
    }
    m_out += "</FIELDS><PARAMS/></METADATA><ROWDATA>";
    for (const auto& f : m_fields)
        m_prefixes.push_back(std::string(" ") + f.name + "=\\\"");
    m_rowsStart = m_out.size();
}

// After a sample of rows, size the buffer for the whole answer at once
// (unless it goes out in pieces).
void AnswerPacketWriter::reserveAhead()
{
    if (++m_rows == 256 && m_expectedRows > m_rows && !m_buffer.sink) {
        const std::size_t perRow = (m_out.size() - m_rowsStart) / (m_rows - 1) + 1;
        m_out.reserve(m_out.size() + (m_expectedRows - m_rows + 1) * perRow * 11 / 10 + 64);
    }
}

void AnswerPacketWriter::beginRow()
{
    reserveAhead();
    if (m_cbor)
        return m_cbor->beginRow();
    m_out += "<ROW";
}

void AnswerPacketWriter::string(int field, std::string_view utf8)
{
    if (m_cbor)
        return m_cbor->string(field, utf8);
    m_out += m_prefixes[static_cast<std::size_t>(field)];
    appendPacketValue(m_out, utf8);
    m_out += "\\\"";
}

void AnswerPacketWriter::number(int field, double value)
{
    if (m_cbor)
        return m_cbor->real(field, value);
    m_out += m_prefixes[static_cast<std::size_t>(field)];
    char buf[64];
    const auto res = std::to_chars(buf, buf + sizeof buf, value);
    m_out.append(buf, res.ptr);
    m_out += "\\\"";
}

void AnswerPacketWriter::dateTime(int field, double dayCount)
{
    if (m_cbor)
        return m_cbor->dateTime(field, dayCount);
    m_out += m_prefixes[static_cast<std::size_t>(field)];
    m_out += trd::DateTimeToPacketText(dayCount).toStdString();
    m_out += "\\\"";
}

void AnswerPacketWriter::endRow()
{
    if (m_cbor) {
        m_cbor->endRow();
        m_buffer.rowWritten();
        return;
    }
    m_out += "/>";
}

void AnswerPacketWriter::textRow(std::span<const std::string_view> values)
{
    if (m_cbor) {
        reserveAhead();
        m_cbor->textRow(values);
        m_buffer.rowWritten();
        return;
    }
    beginRow();
    for (std::size_t f = 0; f < values.size(); ++f)
        string(static_cast<int>(f), values[f]);
    endRow();
}

void AnswerPacketWriter::finish()
{
    if (m_cbor)
        return m_cbor->end();
    m_out += "</ROWDATA></DATAPACKET>\"";
}

} // namespace trd::server
