#include "CborPacketWriter.h"

#include "Cbor.h"

#include <cmath>
#include <cstring>
#include <stdexcept>

namespace trd {

CborPacketWriter::CborPacketWriter(std::string& out) : m_out(out)
{
}

void CborPacketWriter::begin(const std::vector<PacketField>& fields, const PacketParams& params)
{
    writeHeader(fields, params, false);
}

void CborPacketWriter::beginOpen(const std::vector<PacketField>& fields)
{
    writeHeader(fields, {}, true);
}

void CborPacketWriter::writeHeader(const std::vector<PacketField>& fields, const PacketParams& params, bool open)
{
    m_fieldCount = static_cast<int>(fields.size());
    m_open = open;
    m_out.append(cbor::kSelfDescribe, 3);
    cbor::appendHead(m_out, cbor::Map, 3);
    cbor::appendText(m_out, "fields");
    cbor::appendHead(m_out, cbor::Array, fields.size());
    for (const PacketField& f : fields) {
        const std::string_view name(f.name.constData(), static_cast<std::size_t>(f.name.size()));
        if (!isValidPacketName(name))
            throw EDBClient(
                QStringLiteral("Nome de campo inválido no pacote de dados: '%1'.").arg(QString::fromUtf8(f.name)));
        const PacketType* type =
            findPacketType(std::string_view(f.xmlType.constData(), static_cast<std::size_t>(f.xmlType.size())));
        const char* typeName = type && type->type == f.type ? type->name
            : f.type == TFieldType::ftString                ? "string"
            : f.type == TFieldType::ftInteger               ? "i8"
            : f.type == TFieldType::ftFloat                 ? "r8"
                                                            : "dateTime";
        const bool fixed = std::string_view(typeName) == "fixed";
        const bool width = (f.type == TFieldType::ftString || fixed) && f.size > 0;
        const bool decimals = fixed || f.decimals > 0;
        cbor::appendHead(m_out, cbor::Map,
                         2u + width + decimals + !f.subtype.isEmpty() + f.required + f.readOnly + f.hidden);
        cbor::appendText(m_out, "name");
        cbor::appendText(m_out, name);
        cbor::appendText(m_out, "type");
        cbor::appendText(m_out, typeName);
        if (width) {
            cbor::appendText(m_out, "width");
            cbor::appendHead(m_out, cbor::Unsigned, static_cast<std::uint64_t>(f.size));
        }
        if (decimals) {
            cbor::appendText(m_out, "decimals");
            cbor::appendHead(m_out, cbor::Unsigned, static_cast<std::uint64_t>(std::max(0, f.decimals)));
        }
        if (!f.subtype.isEmpty()) {
            cbor::appendText(m_out, "subtype");
            cbor::appendText(m_out,
                             std::string_view(f.subtype.constData(), static_cast<std::size_t>(f.subtype.size())));
        }
        for (const auto& [on, key] :
             {std::pair{f.required, "required"}, {f.readOnly, "readonly"}, {f.hidden, "hidden"}}) {
            if (on) {
                cbor::appendText(m_out, key);
                cbor::appendSimple(m_out, cbor::True);
            }
        }
        m_boolean.push_back(type && type->type == f.type && isBooleanField(f));
    }
    cbor::appendText(m_out, "params");
    cbor::appendHead(m_out, cbor::Map, params.size());
    for (const auto& [name, value] : params) {
        cbor::appendText(m_out, std::string_view(name.constData(), static_cast<std::size_t>(name.size())));
        cbor::appendText(m_out, std::string_view(value.constData(), static_cast<std::size_t>(value.size())));
    }
    cbor::appendText(m_out, "rows");
    if (open)
        cbor::appendOpenArray(m_out);
    else
        m_rowsHead = cbor::appendWideHead(m_out, cbor::Array);
}

void CborPacketWriter::beginRow()
{
    cbor::appendHead(m_out, cbor::Array, static_cast<std::uint64_t>(m_fieldCount));
    m_next = 0;
}

void CborPacketWriter::skipTo(int field)
{
    if (field < m_next || field >= m_fieldCount)
        throw std::logic_error("CborPacketWriter: fields out of order");
    for (; m_next < field; ++m_next)
        cbor::appendSimple(m_out, cbor::Null);
    ++m_next;
}

void CborPacketWriter::string(int field, std::string_view utf8)
{
    next(field);
    cbor::appendText(m_out, utf8);
}

void CborPacketWriter::integer(int field, std::int64_t value)
{
    skipTo(field);
    if (m_boolean[static_cast<std::size_t>(field)])
        cbor::appendSimple(m_out, value ? cbor::True : cbor::False);
    else
        cbor::appendInteger(m_out, value);
}

void CborPacketWriter::real(int field, double value)
{
    if (!std::isfinite(value))
        throw EDBClient(QStringLiteral("Valor numérico inválido no campo nº %1.").arg(field + 1));
    skipTo(field);
    cbor::appendDouble(m_out, value);
}

void CborPacketWriter::dateTime(int field, double dayCount)
{
    char text[32];
    if (formatPacketDateTime(dayCount, PacketDateForm::DateTime, text) == 0)
        throw EDBClient(QStringLiteral("Data fora do intervalo permitido no campo nº %1.").arg(field + 1));
    real(field, dayCount);
}

void CborPacketWriter::endRow()
{
    for (; m_next < m_fieldCount; ++m_next)
        cbor::appendSimple(m_out, cbor::Null);
    ++m_rows;
}

void CborPacketWriter::textRow(std::span<const std::string_view> values)
{
    if (values.size() != static_cast<std::size_t>(m_fieldCount))
        throw std::logic_error("CborPacketWriter: a row of texts needs one per field");
    std::size_t size = cbor::headSize(values.size());
    for (const std::string_view v : values)
        size += cbor::headSize(v.size()) + v.size();
    const std::size_t start = m_out.size();
    m_out.resize(start + size);
    char* at = cbor::writeHead(m_out.data() + start, cbor::Array, values.size());
    for (const std::string_view v : values) {
        at = cbor::writeHead(at, cbor::Text, v.size());
        if (!v.empty())
            std::memcpy(at, v.data(), v.size());
        at += v.size();
    }
    ++m_rows;
}

void CborPacketWriter::end()
{
    if (m_open)
        cbor::appendBreak(m_out);
    else
        cbor::patchHead(m_out, m_rowsHead, m_rows);
}

void CborPacketWriter::appendFailure(std::string& out, std::int64_t code, std::string_view message)
{
    cbor::appendHead(out, cbor::Map, 1);
    cbor::appendText(out, "error");
    cbor::appendHead(out, cbor::Map, 2);
    cbor::appendText(out, "code");
    cbor::appendInteger(out, code);
    cbor::appendText(out, "message");
    cbor::appendText(out, message);
}

} // namespace trd
