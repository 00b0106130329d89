#include "CborPacketReader.h"

#include "PacketText.h"
#include "TDateTime.h"

#include <charconv>
#include <cmath>
#include <cstring>
#include <limits>

namespace trd {

namespace {

constexpr std::uint64_t kSelfDescribeTag = 55799;
constexpr std::uint64_t kMaxInt64 = static_cast<std::uint64_t>(std::numeric_limits<std::int64_t>::max());

using packettext::q;
using packettext::quoted;

[[noreturn]] void refuse(const cbor::Fault& fault)
{
    throw EDBClient(QStringLiteral("Pacote de dados CBOR inválido: %1 (posição %2).")
                        .arg(QString::fromUtf8(fault.what))
                        .arg(fault.offset));
}

bool isKey(std::string_view key, const char* name)
{
    return key == std::string_view(name);
}

bool readBool(cbor::Cursor& in, const char* what)
{
    const std::size_t at = in.offset();
    const cbor::Head h = in.head();
    if (h.major != cbor::Simple || (h.info != cbor::True && h.info != cbor::False))
        throw cbor::Fault{what, at};
    return h.info == cbor::True;
}

int readSmallUnsigned(cbor::Cursor& in, const char* what)
{
    const std::size_t at = in.offset();
    const cbor::Head h = in.expect(cbor::Unsigned, what);
    if (h.value > static_cast<std::uint64_t>(std::numeric_limits<int>::max()))
        throw cbor::Fault{what, at};
    return static_cast<int>(h.value);
}

// The value of an item as a message quotes it.
QString describe(const cbor::Head& h, std::string_view text)
{
    switch (h.major) {
    case cbor::Unsigned:
        return QString::number(h.value);
    case cbor::Negative:
        return h.value < kMaxInt64 ? QString::number(-1 - static_cast<std::int64_t>(h.value))
                                   : QStringLiteral("-(1 + %1)").arg(h.value);
    case cbor::Text:
        return quoted(text);
    case cbor::Bytes:
        return QStringLiteral("(cadeia de bytes)");
    case cbor::Array:
        return QStringLiteral("(lista)");
    case cbor::Map:
        return QStringLiteral("(mapa)");
    case cbor::Tag:
        return QStringLiteral("(etiqueta %1)").arg(h.value);
    default:
        if (h.info == cbor::True)
            return QStringLiteral("true");
        if (h.info == cbor::False)
            return QStringLiteral("false");
        if (h.info >= cbor::Half && h.info <= cbor::Double)
            return QString::number(cbor::floatValue(h), 'g', 17);
        return QStringLiteral("(valor simples %1)").arg(h.info == 24 ? h.value : static_cast<std::uint64_t>(h.info));
    }
}

} // namespace

// Runs one step of reading (the header, a row) from the bytes at hand; when
// they end inside it, fetches more and runs it again from its start.
template <typename Step>
auto CborPacketReader::again(Step step)
{
    for (;;) {
        const char* start = m_in.position();
        const int rowNumber = m_rowNumber;
        try {
            return step();
        } catch (const cbor::Truncated&) {
            m_rowNumber = rowNumber;
            if (!refill(start))
                throw;
        }
    }
}

CborPacketReader::CborPacketReader(QByteArray packet) : m_buffer(std::move(packet)), m_in(nullptr, nullptr)
{
    m_filled = static_cast<std::size_t>(m_buffer.size());
    m_in = cbor::Cursor(m_buffer.constData(), m_buffer.constData() + m_filled);
    try {
        readHeader();
    } catch (const cbor::Fault& fault) {
        refuse(fault);
    }
}

CborPacketReader::CborPacketReader(std::shared_ptr<PacketSource> source)
    : m_source(std::move(source)), m_sourceEnded(false), m_in(nullptr, nullptr)
{
    constexpr qsizetype kWindow = 1024 * 1024;
    m_buffer.resize(kWindow);
    m_in = cbor::Cursor(m_buffer.constData(), m_buffer.constData());
    try {
        again([this] { readHeader(); });
    } catch (const cbor::Fault& fault) {
        refuse(fault);
    }
}

bool CborPacketReader::refill(const char* keep)
{
    if (m_sourceEnded)
        return false;
    constexpr std::size_t kLeastRead = 64 * 1024;
    const auto from = static_cast<std::size_t>(keep - m_buffer.constData());
    const std::size_t kept = m_filled - from;
    if (from > 0 && kept > 0)
        std::memmove(m_buffer.data(), m_buffer.constData() + from, kept);
    m_base += from;
    m_filled = kept;
    // A row larger than the window (long texts) widens it.
    if (static_cast<std::size_t>(m_buffer.size()) - m_filled < kLeastRead)
        m_buffer.resize(m_buffer.size() * 2);
    const std::size_t n =
        m_source->read(m_buffer.data() + m_filled, static_cast<std::size_t>(m_buffer.size()) - m_filled);
    m_filled += n;
    if (n == 0)
        m_sourceEnded = true;
    m_in = cbor::Cursor(m_buffer.constData(), m_buffer.constData() + m_filled, m_base);
    return n > 0;
}

std::size_t CborPacketReader::bytesToCome() const
{
    return m_source && !m_sourceEnded ? m_source->limit() : 0;
}

void CborPacketReader::checkCount(std::uint64_t count, std::size_t smallestItem, const char* what, std::size_t at) const
{
    const std::size_t room = m_in.remaining() + bytesToCome();
    if (count > room / smallestItem)
        throw cbor::Fault{what, at};
}

void CborPacketReader::readHeader()
{
    m_fields.clear();
    m_types.clear();
    m_params.clear();
    m_byName.clear();
    const cbor::Head tag = m_in.expect(cbor::Tag, "falta a etiqueta de autodescrição");
    if (tag.value != kSelfDescribeTag)
        m_in.fail("falta a etiqueta de autodescrição");
    const std::size_t at = m_in.offset();
    const cbor::Head map = m_in.expect(cbor::Map, "o pacote não é um mapa");
    checkCount(map.value, 2, "o mapa do pacote declara mais entradas do que cabem nele", at);
    bool haveFields = false;
    for (std::uint64_t i = 0; i < map.value; ++i) {
        const std::size_t keyAt = m_in.offset();
        const std::string_view key = m_in.text("chave do pacote não é um texto");
        if (isKey(key, "fields")) {
            if (haveFields)
                throw cbor::Fault{"entrada 'fields' repetida", keyAt};
            readFields();
            haveFields = true;
        } else if (isKey(key, "params")) {
            readParams();
        } else if (isKey(key, "rows")) {
            if (!haveFields)
                throw cbor::Fault{"a entrada 'rows' vem antes de 'fields'", keyAt};
            if (i + 1 != map.value)
                throw cbor::Fault{"a entrada 'rows' deve ser a última do pacote", keyAt};
            startRows();
            return;
        } else {
            m_in.skip(); // an entry a later writer may add
        }
    }
    m_in.fail("falta a entrada 'rows'");
}

void CborPacketReader::readFields()
{
    const std::size_t at = m_in.offset();
    const cbor::Head list = m_in.expect(cbor::Array, "'fields' não é uma lista");
    checkCount(list.value, 1, "a lista de campos declara mais campos do que cabem no pacote", at);
    m_fields.reserve(static_cast<std::size_t>(list.value));
    for (std::uint64_t i = 0; i < list.value; ++i)
        readField(static_cast<int>(i) + 1);
    // Views into m_fields' names: built once the vector stops moving.
    for (std::size_t i = 0; i < m_fields.size(); ++i) {
        const QByteArray& name = m_fields[i].name;
        if (!m_byName
                 .emplace(std::string_view(name.constData(), static_cast<std::size_t>(name.size())),
                          static_cast<int>(i))
                 .second)
            throw EDBClient(QStringLiteral("Campo '%1' repetido no pacote de dados.").arg(QString::fromUtf8(name)));
    }
    m_values.assign(m_fields.size(), Value{});
}

void CborPacketReader::readField(int number)
{
    const std::size_t at = m_in.offset();
    const cbor::Head map = m_in.expect(cbor::Map, "um campo não é um mapa");
    checkCount(map.value, 2, "um campo declara mais entradas do que cabem no pacote", at);
    PacketField f;
    std::string_view name, type;
    for (std::uint64_t i = 0; i < map.value; ++i) {
        const std::string_view key = m_in.text("chave de campo não é um texto");
        if (isKey(key, "name"))
            name = m_in.text("o nome do campo não é um texto");
        else if (isKey(key, "type"))
            type = m_in.text("o tipo do campo não é um texto");
        else if (isKey(key, "width"))
            f.size = readSmallUnsigned(m_in, "a largura do campo não é um número inteiro válido");
        else if (isKey(key, "decimals"))
            f.decimals = readSmallUnsigned(m_in, "as casas decimais do campo não são um número inteiro válido");
        else if (isKey(key, "subtype")) {
            const std::string_view subtype = m_in.text("o subtipo do campo não é um texto");
            f.subtype = QByteArray(subtype.data(), static_cast<qsizetype>(subtype.size()));
        } else if (isKey(key, "required"))
            f.required = readBool(m_in, "'required' não é um valor lógico");
        else if (isKey(key, "readonly"))
            f.readOnly = readBool(m_in, "'readonly' não é um valor lógico");
        else if (isKey(key, "hidden"))
            f.hidden = readBool(m_in, "'hidden' não é um valor lógico");
        else
            m_in.skip();
    }
    if (!isValidPacketName(name))
        throw EDBClient(QStringLiteral("Pacote de dados inválido: o campo nº %1 não tem um nome válido ('%2').")
                            .arg(number)
                            .arg(quoted(name)));
    const PacketType* info = findPacketType(type);
    if (!info)
        throw EDBClient(QStringLiteral("Tipo de campo desconhecido '%1' no campo '%2'.").arg(quoted(type), q(name)));
    f.name = QByteArray(name.data(), static_cast<qsizetype>(name.size()));
    f.type = info->type;
    f.xmlType = QByteArray(info->name);
    m_fields.push_back(std::move(f));
    m_types.push_back(info);
}

void CborPacketReader::readParams()
{
    const std::size_t at = m_in.offset();
    const cbor::Head map = m_in.expect(cbor::Map, "'params' não é um mapa");
    checkCount(map.value, 2, "'params' declara mais entradas do que cabem no pacote", at);
    for (std::uint64_t i = 0; i < map.value; ++i) {
        const std::string_view name = m_in.text("nome de parâmetro não é um texto");
        const std::string_view value = m_in.text("valor de parâmetro não é um texto");
        m_params.emplace_back(QByteArray(name.data(), static_cast<qsizetype>(name.size())),
                              QByteArray(value.data(), static_cast<qsizetype>(value.size())));
    }
}

void CborPacketReader::startRows()
{
    const std::size_t at = m_in.offset();
    bool open = false;
    const cbor::Head list = m_in.openArray("'rows' não é uma lista", open);
    // Every row takes at least its own head and one byte a value: a count
    // beyond that is a lie (or a cut packet), refused before anything is
    // reserved for it. An open list has no count: room is made as rows come.
    if (open) {
        m_openRows = true;
        m_rowCount = 0;
        return;
    }
    const std::size_t smallestRow = 1 + m_fields.size();
    const std::size_t room = m_in.remaining() + bytesToCome();
    if (list.value > room / smallestRow)
        throw EDBClient(QStringLiteral("Pacote de dados CBOR inválido: declara %1 linhas, mais do que os %2 bytes "
                                       "restantes podem conter (posição %3).")
                            .arg(list.value)
                            .arg(room)
                            .arg(at));
    m_rowCount = static_cast<std::size_t>(list.value);
}

int CborPacketReader::fieldIndex(std::string_view name) const
{
    const auto it = m_byName.find(name);
    return it == m_byName.end() ? -1 : it->second;
}

bool CborPacketReader::next()
{
    if (m_ended)
        return false;
    try {
        return again([this] { return readRow(); });
    } catch (const cbor::Fault& fault) {
        refuse(fault);
    }
}

bool CborPacketReader::readRow()
{
    if (m_openRows ? m_in.takeBreak() : static_cast<std::size_t>(m_rowNumber) == m_rowCount) {
        endRows();
        return false;
    }
    const std::size_t at = m_in.offset();
    if (m_openRows && (static_cast<unsigned char>(*m_in.position()) >> 5) == cbor::Map)
        readFailure();
    const cbor::Head row = m_in.expect(cbor::Array, "uma linha não é uma lista");
    if (row.value != m_fields.size())
        throw EDBClient(QStringLiteral("Pacote de dados CBOR inválido: a linha %1 tem %2 valores, e o pacote tem "
                                       "%3 campos (posição %4).")
                            .arg(m_rowNumber + 1)
                            .arg(row.value)
                            .arg(m_fields.size())
                            .arg(at));
    ++m_rowNumber;
    for (std::size_t f = 0; f < m_fields.size(); ++f)
        readValue(f);
    return true;
}

// After the rows the packet must end: with a source, the source too (which
// also reads the end of the answer that carried it).
void CborPacketReader::endRows()
{
    for (Value& v : m_values)
        v = Value{};
    if (!m_in.atEnd() || refill(m_in.position()))
        m_in.fail("há dados após o fim do pacote");
    m_ended = true;
}

// A writer that fails after its first rows went out ends the open list of
// rows with {"error": {"code": N, "message": "..."}} where the next row would
// be: the rows before it are not the whole answer.
void CborPacketReader::readFailure()
{
    const std::size_t at = m_in.offset();
    const cbor::Head map = m_in.expect(cbor::Map, "uma linha não é uma lista");
    checkCount(map.value, 2, "uma linha não é uma lista", at);
    std::int64_t code = 0;
    QString message;
    for (std::uint64_t i = 0; i < map.value; ++i) {
        if (m_in.text("uma linha não é uma lista") != "error") {
            m_in.skip();
            continue;
        }
        const std::size_t errorAt = m_in.offset();
        const cbor::Head error = m_in.expect(cbor::Map, "relato de falha malformado");
        checkCount(error.value, 2, "relato de falha malformado", errorAt);
        for (std::uint64_t k = 0; k < error.value; ++k) {
            const std::string_view key = m_in.text("relato de falha malformado");
            if (key == "message") {
                const std::string_view text = m_in.text("relato de falha malformado");
                message =
                    QString::fromUtf8(text.data(), static_cast<qsizetype>(std::min<std::size_t>(text.size(), 2000)));
            } else if (key == "code") {
                const cbor::Head h = m_in.head();
                if ((h.major != cbor::Unsigned && h.major != cbor::Negative) || h.value > kMaxInt64)
                    throw cbor::Fault{"relato de falha malformado", errorAt};
                code = h.major == cbor::Unsigned ? static_cast<std::int64_t>(h.value)
                                                 : -1 - static_cast<std::int64_t>(h.value);
            } else {
                m_in.skip();
            }
        }
    }
    if (message.isEmpty())
        throw cbor::Fault{"uma linha não é uma lista", at};
    m_ended = true;
    for (Value& v : m_values)
        v = Value{};
    if (m_source)
        m_source->failed(code, message);
    throw EDBClient(message);
}

void CborPacketReader::readValue(std::size_t field)
{
    const cbor::Head h = m_in.head();
    Value& v = m_values[field];
    const PacketType& type = *m_types[field];
    std::string_view text;
    switch (h.major) {
    case cbor::Text:
        text = m_in.take(h.value);
        if (type.type != TFieldType::ftString || text.size() > std::numeric_limits<std::uint32_t>::max())
            break;
        v.kind = Kind::Text;
        v.text = text.data();
        v.length = static_cast<std::uint32_t>(text.size());
        return;
    case cbor::Unsigned:
    case cbor::Negative: {
        if (h.value > kMaxInt64 || type.type == TFieldType::ftString)
            break;
        const auto value =
            h.major == cbor::Unsigned ? static_cast<std::int64_t>(h.value) : -1 - static_cast<std::int64_t>(h.value);
        if (type.type == TFieldType::ftInteger) {
            if (value < type.min || value > type.max)
                break;
            v.kind = Kind::Integer;
            v.integer = value;
            return;
        }
        v.kind = Kind::Number;
        v.number = static_cast<double>(value);
        if (type.type == TFieldType::ftDateTime) {
            char buffer[32];
            if (formatPacketDateTime(v.number, packetDateForm(m_fields[field]), buffer) == 0)
                break;
        }
        return;
    }
    case cbor::Simple:
        if (h.info == cbor::Null) {
            v.kind = Kind::Null;
            return;
        }
        if (h.info == cbor::True || h.info == cbor::False) {
            if (!isBooleanField(m_fields[field]))
                break;
            v.kind = Kind::Integer;
            v.integer = h.info == cbor::True ? 1 : 0;
            return;
        }
        if (h.info >= cbor::Half && h.info <= cbor::Double) {
            const double value = cbor::floatValue(h);
            if (!std::isfinite(value) || (type.type != TFieldType::ftFloat && type.type != TFieldType::ftDateTime))
                break;
            v.kind = Kind::Number;
            v.number = value;
            if (type.type == TFieldType::ftDateTime) {
                char buffer[32];
                if (formatPacketDateTime(value, packetDateForm(m_fields[field]), buffer) == 0)
                    break;
            }
            return;
        }
        break;
    case cbor::Bytes:
        m_in.take(h.value);
        break;
    case cbor::Array:
    case cbor::Map:
    case cbor::Tag:
        break;
    }
    v.kind = Kind::Null;
    valueError(field, describe(h, text));
}

void CborPacketReader::valueError(std::size_t field, const QString& what) const
{
    const PacketField& f = m_fields[field];
    const char* kind = "Texto inválido";
    switch (f.type) {
    case TFieldType::ftString:
        break;
    case TFieldType::ftInteger:
        kind = isBooleanField(f) ? "Valor lógico inválido" : "Valor inteiro inválido";
        break;
    case TFieldType::ftFloat:
        kind = "Valor numérico inválido";
        break;
    case TFieldType::ftDateTime:
        kind = "Data inválida";
        break;
    }
    throw EDBClient(QStringLiteral("%1 '%2' no campo '%3', linha %4 do pacote de dados.")
                        .arg(QString::fromUtf8(kind), what, QString::fromUtf8(f.name))
                        .arg(m_rowNumber));
}

std::string_view CborPacketReader::raw(int field) const
{
    const Value& v = m_values[static_cast<std::size_t>(field)];
    return v.kind == Kind::Text ? std::string_view(v.text, v.length) : std::string_view();
}

QString CborPacketReader::string(int field) const
{
    const Value& v = m_values[static_cast<std::size_t>(field)];
    if (v.kind != Kind::Text)
        return {};
    const PacketField& f = m_fields[static_cast<std::size_t>(field)];
    // XML cannot carry U+0000, so the data set never holds it; neither form may bring it in.
    if (std::memchr(v.text, 0, v.length))
        throw EDBClient(QStringLiteral("O valor do campo '%1' na linha %2 do pacote de dados contém o caractere nulo.")
                            .arg(QString::fromUtf8(f.name))
                            .arg(m_rowNumber));
    return checkedPacketText(f, std::string_view(v.text, v.length), m_rowNumber);
}

std::int64_t CborPacketReader::integer(int field) const
{
    const Value& v = m_values[static_cast<std::size_t>(field)];
    if (v.kind == Kind::Integer)
        return v.integer;
    if (v.kind == Kind::Number && std::fabs(v.number) < 9.2e18)
        return static_cast<std::int64_t>(v.number);
    return 0;
}

double CborPacketReader::real(int field) const
{
    const Value& v = m_values[static_cast<std::size_t>(field)];
    if (v.kind == Kind::Integer)
        return static_cast<double>(v.integer);
    return v.kind == Kind::Number ? v.number : 0;
}

double CborPacketReader::dateTime(int field) const
{
    return real(field);
}

} // namespace trd
