#include "DataPacket.h"

#include "CborPacketReader.h"
#include "DataPacketDetail.h"
#include "PacketText.h"
#include "TDateTime.h"
#include "Win1252.h"
#include "XmlReferences.h"

#include <pugixml.hpp>

#include <algorithm>
#include <charconv>
#include <cmath>
#include <cstring>
#include <string>
#include <unordered_map>

namespace trd {

using packetdetail::asciiUpper;
using packetdetail::equalsNoCase;
using packetdetail::fail;
using packetdetail::view;
using packettext::q;
using packettext::quoted;

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
    // A present value of a real or date field, 0 when absent or empty;
    // `what` names the fault when `parse` refuses the text.
    double decimal(int field, const char* what, bool (*parse)(std::string_view, double&)) const;
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

double PacketReader::Impl::decimal(int field, const char* what, bool (*parse)(std::string_view, double&)) const
{
    const auto fi = static_cast<std::size_t>(field);
    if (!values[fi] || lengths[fi] == 0)
        return 0;
    double value = 0;
    if (!parse(std::string_view(values[fi], lengths[fi]), value))
        valueError(field, what);
    return value;
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
    return d->decimal(field, "Valor numérico inválido",
                      [](std::string_view v, double& value) { return parseNumber(v, value) && std::isfinite(value); });
}

double PacketReader::dateTime(int field) const
{
    if (d->cbor)
        return d->cbor->dateTime(field);
    return d->decimal(field, "Data inválida", parsePacketDateTime);
}

} // namespace trd
