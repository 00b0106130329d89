#include "DataPacket.h"

#include "CborPacketReader.h"
#include "PacketText.h"
#include "TDateTime.h"
#include "Utf8.h"
#include "Win1252.h"
#include "XmlReferences.h"

#include <pugixml.hpp>

#include <algorithm>
#include <charconv>
#include <cmath>
#include <cstring>
#include <limits>
#include <string>
#include <unordered_map>

namespace trd {

namespace {

bool equalsNoCase(const char* a, const char* b)
{
    for (;; ++a, ++b) {
        char ca = *a, cb = *b;
        if (ca >= 'a' && ca <= 'z')
            ca = static_cast<char>(ca - 0x20);
        if (cb >= 'a' && cb <= 'z')
            cb = static_cast<char>(cb - 0x20);
        if (ca != cb)
            return false;
        if (ca == 0)
            return true;
    }
}

bool equalsNoCase(std::string_view a, std::string_view b)
{
    if (a.size() != b.size())
        return false;
    for (std::size_t i = 0; i < a.size(); ++i) {
        char ca = a[i], cb = b[i];
        if (ca >= 'a' && ca <= 'z')
            ca = static_cast<char>(ca - 0x20);
        if (cb >= 'a' && cb <= 'z')
            cb = static_cast<char>(cb - 0x20);
        if (ca != cb)
            return false;
    }
    return true;
}

std::string asciiUpper(std::string_view text)
{
    std::string folded(text);
    for (char& c : folded) {
        if (c >= 'a' && c <= 'z')
            c = static_cast<char>(c - 0x20);
    }
    return folded;
}

using packettext::q;
using packettext::quoted;

[[noreturn]] void fail(const QString& message)
{
    throw EDBClient(message);
}

} // namespace

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

} // namespace

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

namespace {

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

char* writeEscape(char* p, unsigned c)
{
    switch (c) {
    case '&':
        std::memcpy(p, "&amp;", 5);
        return p + 5;
    case '<':
        std::memcpy(p, "&lt;", 4);
        return p + 4;
    case '>':
        std::memcpy(p, "&gt;", 4);
        return p + 4;
    case '"':
        std::memcpy(p, "&quot;", 6);
        return p + 6;
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

} // namespace

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

// ---------------------------------------------------------------- writer

PacketWriter::PacketWriter(QByteArray& out) : m_out(out)
{
}

namespace {

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

std::string_view view(const QByteArray& b)
{
    return {b.constData(), static_cast<std::size_t>(b.size())};
}

} // namespace

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

// ---------------------------------------------------------------- reader

struct PacketReader::Impl {
    std::unique_ptr<CborPacketReader> cbor; // set for the binary form; the rest is the XML form's
    QByteArray buffer;
    pugi::xml_document doc;
    std::vector<PacketField> fields;
    std::vector<std::int64_t> minValue, maxValue;
    PacketParams params;
    bool delta = false;
    std::size_t rowCount = 0;

    pugi::xml_node rowData;
    pugi::xml_node row;
    bool started = false;
    int rowNumber = 0;
    int rowState = rsNone;
    std::vector<const char*> values; // per field; nullptr = absent
    std::vector<std::size_t> lengths;
    std::unordered_map<std::string_view, int> byName;
    std::unordered_map<std::string, int> byFoldedName; // ASCII upper case

    void parse();
    void readFields(pugi::xml_node metadata);
    void readRow();
    int lookup(const char* name) const;
    QString fieldName(int field) const { return q(view(fields[static_cast<std::size_t>(field)].name)); }
    [[noreturn]] void valueError(int field, const char* what) const;
};

namespace {

pugi::xml_node childNoCase(pugi::xml_node parent, const char* name)
{
    for (pugi::xml_node n = parent.first_child(); n; n = n.next_sibling()) {
        if (n.type() == pugi::node_element && equalsNoCase(n.name(), name))
            return n;
    }
    return {};
}

pugi::xml_attribute attrNoCase(pugi::xml_node node, const char* name)
{
    for (pugi::xml_attribute a = node.first_attribute(); a; a = a.next_attribute()) {
        if (equalsNoCase(a.name(), name))
            return a;
    }
    return {};
}

bool isTrue(pugi::xml_attribute a)
{
    return a && (equalsNoCase(a.value(), "true") || std::strcmp(a.value(), "1") == 0);
}

// The packet is UTF-8 unless its declaration says it is in the Windows code page
// (or its Latin-1 subset, which older writers name): those are converted first.
void convertLegacyEncoding(QByteArray& buffer)
{
    if (!buffer.startsWith("<?xml"))
        return;
    const qsizetype declEnd = buffer.indexOf("?>");
    if (declEnd < 0)
        return;
    const QByteArray decl = buffer.left(declEnd).toLower();
    const qsizetype at = decl.indexOf("encoding");
    if (at < 0)
        return;
    const bool legacy = decl.indexOf("windows-1252", at) > 0 || decl.indexOf("iso-8859-1", at) > 0
        || decl.indexOf("latin1", at) > 0 || decl.indexOf("latin-1", at) > 0;
    if (!legacy)
        return;
    const QString text = win1252::fromBytes(
        std::string_view(buffer.constData() + declEnd + 2, static_cast<std::size_t>(buffer.size() - declEnd - 2)));
    buffer = text.toUtf8();
}

// The whole text must be the number. from_chars takes no leading '+', which
// writers put on positive values; "+-5" stays refused.
template <typename Number>
bool parseNumber(std::string_view v, Number& value)
{
    const char* begin = v.data();
    if (*begin == '+' && v.size() > 1 && begin[1] != '-')
        ++begin;
    const auto [end, ec] = std::from_chars(begin, v.data() + v.size(), value);
    return ec == std::errc() && end == v.data() + v.size();
}

} // namespace

// A NUL, raw or as a character reference, would silently cut the value it is
// in (values are read as C strings), and XML forbids it anyway. References the
// parser would keep as literal text, and repeated attributes, are refused too.
static void refuseWhatTheParserLetsThrough(const QByteArray& buffer)
{
    if (buffer.indexOf('\0') >= 0)
        fail(QStringLiteral("Pacote de dados inválido: contém o caractere nulo."));
    if (const XmlFault fault =
            firstXmlFault(std::string_view(buffer.constData(), static_cast<std::size_t>(buffer.size()))))
        fail(QStringLiteral("Pacote de dados inválido: %1 (posição %2).").arg(q(fault.what)).arg(fault.offset));
}

// Every element but the rows (which readRow checks as it reads them) with
// an attribute given twice is refused: the parser keeps both and the reader
// would take the first.
static void refuseRepeatedAttributes(pugi::xml_node node)
{
    for (pugi::xml_attribute a = node.first_attribute(); a; a = a.next_attribute()) {
        for (pugi::xml_attribute b = a.next_attribute(); b; b = b.next_attribute())
            if (equalsNoCase(a.name(), b.name()))
                fail(QStringLiteral("Pacote de dados inválido: o atributo %1 aparece mais de uma vez em <%2>.")
                         .arg(quoted(a.name()), quoted(node.name())));
    }
    if (equalsNoCase(node.name(), "ROWDATA"))
        return;
    for (pugi::xml_node child = node.first_child(); child; child = child.next_sibling())
        if (child.type() == pugi::node_element)
            refuseRepeatedAttributes(child);
}

void PacketReader::Impl::parse()
{
    if (isBinaryPacket(buffer))
        fail(QStringLiteral("O pacote de dados está no formato binário, que não é suportado; use o formato XML."));
    if (buffer.startsWith("\xEF\xBB\xBF"))
        buffer.remove(0, 3);
    convertLegacyEncoding(buffer);
    if (buffer.isEmpty())
        fail(QStringLiteral("Pacote de dados vazio."));
    refuseWhatTheParserLetsThrough(buffer);

    // No whitespace normalisation: line breaks inside values are data.
    const unsigned options = pugi::parse_escapes;
    const pugi::xml_parse_result res =
        doc.load_buffer_inplace(buffer.data(), static_cast<std::size_t>(buffer.size()), options, pugi::encoding_utf8);
    if (!res)
        fail(QStringLiteral("Pacote de dados inválido: XML malformado na posição %1 (%2).")
                 .arg(res.offset)
                 .arg(QString::fromLatin1(res.description())));

    pugi::xml_node root;
    for (pugi::xml_node n = doc.first_child(); n; n = n.next_sibling()) {
        if (n.type() == pugi::node_element) {
            root = n;
            break;
        }
    }
    if (!root || !equalsNoCase(root.name(), "DATAPACKET"))
        fail(QStringLiteral("Pacote de dados inválido: falta o elemento DATAPACKET."));
    // The parser accepts a fragment; a packet is one document, and what a
    // second root would carry must not be acknowledged and then ignored.
    for (pugi::xml_node n = root.next_sibling(); n; n = n.next_sibling())
        if (n.type() == pugi::node_element)
            fail(QStringLiteral("Pacote de dados inválido: há mais de um elemento raiz (<%1> após DATAPACKET).")
                     .arg(quoted(n.name())));
    refuseRepeatedAttributes(root);
    const pugi::xml_node metadata = childNoCase(root, "METADATA");
    if (!metadata)
        fail(QStringLiteral("Pacote de dados inválido: falta o elemento METADATA."));
    rowData = childNoCase(root, "ROWDATA");
    if (!rowData)
        fail(QStringLiteral("Pacote de dados inválido: falta o elemento ROWDATA."));
    readFields(metadata);

    for (pugi::xml_node n = rowData.first_child(); n; n = n.next_sibling()) {
        if (n.type() == pugi::node_element && equalsNoCase(n.name(), "ROW"))
            ++rowCount;
    }
    values.assign(fields.size(), nullptr);
    lengths.assign(fields.size(), 0);
}

void PacketReader::Impl::readFields(pugi::xml_node metadata)
{
    const pugi::xml_node fieldsNode = childNoCase(metadata, "FIELDS");
    int number = 0;
    for (pugi::xml_node n = fieldsNode.first_child(); n; n = n.next_sibling()) {
        if (n.type() != pugi::node_element || !equalsNoCase(n.name(), "FIELD"))
            continue;
        ++number;
        PacketField f;
        const char* name = attrNoCase(n, "attrname").value();
        if (!*name)
            name = attrNoCase(n, "fieldname").value();
        if (!isValidPacketName(name))
            fail(QStringLiteral("Pacote de dados inválido: o campo nº %1 não tem um nome válido ('%2').")
                     .arg(number)
                     .arg(quoted(name)));
        f.name = QByteArray(name);
        const char* xmlType = attrNoCase(n, "fieldtype").value();
        const PacketType* info = findPacketType(xmlType);
        if (!info)
            fail(QStringLiteral("Tipo de campo desconhecido '%1' no campo '%2'.").arg(quoted(xmlType), q(name)));
        f.type = info->type;
        f.xmlType = QByteArray(info->name);
        if (const pugi::xml_attribute width = attrNoCase(n, "WIDTH")) {
            const std::string_view w = width.value();
            int value = 0;
            const auto [end, ec] = std::from_chars(w.data(), w.data() + w.size(), value);
            if (ec != std::errc() || end != w.data() + w.size() || value < 0)
                fail(QStringLiteral("Tamanho inválido '%1' no campo '%2'.").arg(quoted(w), q(name)));
            f.size = value;
        }
        if (const pugi::xml_attribute dec = attrNoCase(n, "DECIMALS"))
            f.decimals = dec.as_int();
        f.subtype = QByteArray(attrNoCase(n, "SUBTYPE").value());
        f.required = isTrue(attrNoCase(n, "required"));
        f.readOnly = isTrue(attrNoCase(n, "readonly"));
        f.hidden = isTrue(attrNoCase(n, "hidden"));
        minValue.push_back(info->min);
        maxValue.push_back(info->max);
        fields.push_back(std::move(f));
    }
    // Maps by name, exact and folded; built after the vector stops moving so
    // that the views stay valid. Lookups stay O(1) however many fields a
    // packet declares.
    for (std::size_t i = 0; i < fields.size(); ++i) {
        if (!byName.emplace(view(fields[i].name), static_cast<int>(i)).second)
            fail(QStringLiteral("Campo '%1' repetido no pacote de dados.").arg(fieldName(static_cast<int>(i))));
        byFoldedName.emplace(asciiUpper(view(fields[i].name)), static_cast<int>(i));
    }

    if (const pugi::xml_node paramsNode = childNoCase(metadata, "PARAMS")) {
        for (pugi::xml_attribute a = paramsNode.first_attribute(); a; a = a.next_attribute()) {
            params.emplace_back(QByteArray(a.name()), QByteArray(a.value()));
            if (equalsNoCase(a.name(), "DATASET_DELTA") && std::strcmp(a.value(), "1") == 0)
                delta = true;
        }
    }
}

int PacketReader::Impl::lookup(const char* name) const
{
    const auto it = byName.find(std::string_view(name));
    if (it != byName.end())
        return it->second;
    if (byFoldedName.empty())
        return -1;
    const auto f = byFoldedName.find(asciiUpper(name));
    return f == byFoldedName.end() ? -1 : f->second;
}

void PacketReader::Impl::readRow()
{
    std::fill(values.begin(), values.end(), nullptr);
    rowState = rsNone;
    bool stateSeen = false;
    // Rows normally carry their attributes in field order: try the expected
    // field first and fall back to a lookup by name.
    std::size_t expected = 0;
    for (pugi::xml_attribute a = row.first_attribute(); a; a = a.next_attribute()) {
        const char* name = a.name();
        int field = -1;
        if (expected < fields.size() && std::strcmp(name, fields[expected].name.constData()) == 0) {
            field = static_cast<int>(expected);
        } else if (equalsNoCase(name, "RowState")) {
            if (std::exchange(stateSeen, true))
                fail(
                    QStringLiteral("Pacote de dados inválido: o atributo RowState aparece mais de uma vez na linha %1.")
                        .arg(rowNumber));
            const std::string_view v = a.value();
            int state = 0;
            const auto [end, ec] = std::from_chars(v.data(), v.data() + v.size(), state);
            if (ec != std::errc() || end != v.data() + v.size() || state < 0)
                fail(QStringLiteral("Estado de linha inválido '%1' na linha %2 do pacote de dados.")
                         .arg(quoted(v))
                         .arg(rowNumber));
            rowState = state;
            continue;
        } else {
            field = lookup(name);
        }
        if (field < 0)
            continue; // attributes of no field (writers add their own) are not data
        // The parser keeps both of two attributes of one name: which one
        // the writer meant is not guessed.
        if (values[static_cast<std::size_t>(field)])
            fail(QStringLiteral("Pacote de dados inválido: o campo '%1' aparece mais de uma vez na linha %2.")
                     .arg(fieldName(field))
                     .arg(rowNumber));
        values[static_cast<std::size_t>(field)] = a.value();
        lengths[static_cast<std::size_t>(field)] = std::strlen(a.value());
        expected = static_cast<std::size_t>(field) + 1;
    }
}

void PacketReader::Impl::valueError(int field, const char* what) const
{
    const std::string_view raw(values[static_cast<std::size_t>(field)], lengths[static_cast<std::size_t>(field)]);
    fail(QStringLiteral("%1 '%2' no campo '%3', linha %4 do pacote de dados.")
             .arg(QString::fromUtf8(what), quoted(raw), fieldName(field))
             .arg(rowNumber));
}

PacketReader::PacketReader(QByteArray packet) : d(std::make_unique<Impl>())
{
    if (isCborPacket(packet)) {
        d->cbor = std::make_unique<CborPacketReader>(std::move(packet));
        return;
    }
    d->buffer = std::move(packet);
    d->buffer.detach();
    d->parse();
}

PacketReader::PacketReader(std::shared_ptr<PacketSource> source) : d(std::make_unique<Impl>())
{
    d->cbor = std::make_unique<CborPacketReader>(std::move(source));
}

PacketReader::~PacketReader() = default;

const std::vector<PacketField>& PacketReader::fields() const
{
    return d->cbor ? d->cbor->fields() : d->fields;
}
const PacketParams& PacketReader::params() const
{
    return d->cbor ? d->cbor->params() : d->params;
}
bool PacketReader::isDelta() const
{
    return !d->cbor && d->delta;
}
std::size_t PacketReader::rowCount() const
{
    return d->cbor ? d->cbor->rowCount() : d->rowCount;
}
int PacketReader::rowNumber() const
{
    return d->cbor ? d->cbor->rowNumber() : d->rowNumber;
}
int PacketReader::rowState() const
{
    return d->cbor ? int(rsNone) : d->rowState;
}

int PacketReader::fieldIndex(std::string_view name) const
{
    if (d->cbor)
        return d->cbor->fieldIndex(name);
    const auto it = d->byName.find(name);
    return it == d->byName.end() ? -1 : it->second;
}

bool PacketReader::next()
{
    if (d->cbor)
        return d->cbor->next();
    pugi::xml_node n = d->started ? d->row.next_sibling() : d->rowData.first_child();
    d->started = true;
    while (n && !(n.type() == pugi::node_element && equalsNoCase(n.name(), "ROW")))
        n = n.next_sibling();
    d->row = n;
    if (!n) {
        std::fill(d->values.begin(), d->values.end(), nullptr);
        return false;
    }
    ++d->rowNumber;
    d->readRow();
    return true;
}

bool PacketReader::isNull(int field) const
{
    if (d->cbor)
        return d->cbor->isNull(field);
    const auto fi = static_cast<std::size_t>(field);
    if (d->values[fi] == nullptr)
        return true;
    // An empty number or date is no value; an empty string is an empty text.
    return d->lengths[fi] == 0 && d->fields[fi].type != TFieldType::ftString;
}

std::string_view PacketReader::raw(int field) const
{
    if (d->cbor)
        return d->cbor->raw(field);
    const char* v = d->values[static_cast<std::size_t>(field)];
    return v ? std::string_view(v, d->lengths[static_cast<std::size_t>(field)]) : std::string_view();
}

QString PacketReader::string(int field) const
{
    if (d->cbor)
        return d->cbor->string(field);
    if (!d->values[static_cast<std::size_t>(field)])
        return {};
    return checkedPacketText(d->fields[static_cast<std::size_t>(field)], raw(field), d->rowNumber);
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

std::int64_t PacketReader::integer(int field) const
{
    if (d->cbor)
        return d->cbor->integer(field);
    const std::string_view v = raw(field);
    if (v.empty())
        return 0;
    const auto fi = static_cast<std::size_t>(field);
    if (d->maxValue[fi] == 1 && d->minValue[fi] == 0 && isBooleanField(d->fields[fi])) {
        if (equalsNoCase(v, "TRUE") || v == "1")
            return 1;
        if (equalsNoCase(v, "FALSE") || v == "0")
            return 0;
        d->valueError(field, "Valor lógico inválido");
    }
    std::int64_t value = 0;
    if (!parseNumber(v, value) || value < d->minValue[fi] || value > d->maxValue[fi])
        d->valueError(field, "Valor inteiro inválido");
    return value;
}

double PacketReader::real(int field) const
{
    if (d->cbor)
        return d->cbor->real(field);
    const std::string_view v = raw(field);
    if (v.empty())
        return 0;
    double value = 0;
    if (!parseNumber(v, value) || !std::isfinite(value))
        d->valueError(field, "Valor numérico inválido");
    return value;
}

double PacketReader::dateTime(int field) const
{
    if (d->cbor)
        return d->cbor->dateTime(field);
    const std::string_view v = raw(field);
    if (v.empty())
        return 0;
    double value = 0;
    if (!parsePacketDateTime(v, value))
        d->valueError(field, "Data inválida");
    return value;
}

} // namespace trd
