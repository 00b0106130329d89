// The CBOR form of the data packet: what it carries must load exactly as the
// same rows in the XML form do, and every malformed input must be refused with
// a clear EDBClient and a closed, empty data set.
#include "Cbor.h"
#include "CborPacketWriter.h"
#include "DataPacket.h"
#include "TClientDataSet.h"
#include "Win1252.h"

#include <QCborValue>
#include <QCborMap>
#include <QCborArray>

#include <gtest/gtest.h>

#include <limits>

using namespace trd;

namespace {

PacketField field(const char* name, TFieldType type, const char* xmlType, int size = 0)
{
    PacketField f;
    f.name = name;
    f.type = type;
    f.xmlType = xmlType;
    f.size = size;
    return f;
}

// Every fieldtype the data set knows, with a WIDTH where it has one.
std::vector<PacketField> everyType()
{
    std::vector<PacketField> f = {
        field("S", TFieldType::ftString, "string", 300), field("U", TFieldType::ftString, "string.uni", 10),
        field("I1", TFieldType::ftInteger, "i1"),        field("I2", TFieldType::ftInteger, "i2"),
        field("I4", TFieldType::ftInteger, "i4"),        field("I8", TFieldType::ftInteger, "i8"),
        field("U1", TFieldType::ftInteger, "ui1"),       field("U2", TFieldType::ftInteger, "ui2"),
        field("U4", TFieldType::ftInteger, "ui4"),       field("B", TFieldType::ftInteger, "boolean"),
        field("R", TFieldType::ftFloat, "r8"),           field("F", TFieldType::ftFloat, "fixed", 10),
        field("D", TFieldType::ftDateTime, "date"),      field("T", TFieldType::ftDateTime, "time"),
        field("DT", TFieldType::ftDateTime, "dateTime")};
    f[10].subtype = "Money";
    f[11].decimals = 2;
    f[0].required = true;
    f[1].readOnly = true;
    f[2].hidden = true;
    return f;
}

// Every character of the code page but NUL, which no packet can carry.
QString wholeCodePage()
{
    QString text;
    for (int b = 1; b < 256; ++b) {
        const char16_t ch = win1252::toUnicode(static_cast<unsigned char>(b));
        if (ch != 0xFFFD)
            text += QChar(ch);
    }
    return text;
}

struct Row {
    QString text, shortText;
    std::int64_t i1, i2, i4, i8, u1, u2, u4, b;
    double r, f, d, t, dt;
};

// The same rows in both forms, written by the two writers.
template <typename Writer, typename Text>
void writeRows(Writer& w, const std::vector<Row>& rows, Text text)
{
    for (const Row& row : rows) {
        w.beginRow();
        w.string(0, text(row.text));
        w.string(1, text(row.shortText));
        const std::int64_t ints[] = {row.i1, row.i2, row.i4, row.i8, row.u1, row.u2, row.u4, row.b};
        for (int i = 0; i < 8; ++i)
            w.integer(2 + i, ints[i]);
        w.real(10, row.r);
        w.real(11, row.f);
        w.dateTime(12, row.d);
        w.dateTime(13, row.t);
        w.dateTime(14, row.dt);
        w.endRow();
    }
    w.beginRow(); // a row of nulls
    w.endRow();
}

std::vector<Row> sampleRows()
{
    const auto lo = std::numeric_limits<std::int64_t>::min(), hi = std::numeric_limits<std::int64_t>::max();
    return {
        {wholeCodePage(), QStringLiteral(""), -128, -32768, -2147483648LL, lo, 0, 0, 0, 0, -1.5e-300, 0.25, 2, 0.5,
         -693593},
        {QStringLiteral("Linha 1\r\nLinha 2\n\"aspas\" & 'apóstrofo' <b> \t fim"), QStringLiteral("ação€"), 127, 32767,
         2147483647LL, hi, 255, 65535, 4294967295LL, 1, 1e308, 123.45, 45322, 0.99999, 2958465.5},
    };
}

QByteArray cborPacket(const std::vector<PacketField>& fields, const std::vector<Row>& rows)
{
    std::string out;
    CborPacketWriter w(out);
    w.begin(fields, {{"LCID", "1046"}});
    writeRows(w, rows, [](const QString& s) { return s.toStdString(); });
    w.end();
    return QByteArray::fromStdString(out);
}

QByteArray xmlPacket(const std::vector<PacketField>& fields, const std::vector<Row>& rows)
{
    QByteArray out;
    PacketWriter w(out);
    w.begin(fields, {{"LCID", "1046"}});
    writeRows(w, rows, [](const QString& s) { return s; });
    w.end();
    return out;
}

// A data set loaded with rows, so that a refused packet can be seen to leave
// nothing behind.
QString loadError(const QByteArray& bytes)
{
    TClientDataSet ds;
    ds.SetData(cborPacket(everyType(), sampleRows()));
    try {
        ds.SetData(bytes);
    } catch (const EDBClient& e) {
        EXPECT_FALSE(ds.Active()) << qPrintable(e.Message());
        EXPECT_EQ(ds.FieldCount() == 0 || ds.RecordCount() == 0, true);
        return e.Message();
    }
    return {};
}

// Hand-made packets: one field of a given type, one row with a given value.
std::string header(const char* type, int width = 0, std::uint64_t rows = 1)
{
    std::string out(cbor::kSelfDescribe, 3);
    cbor::appendHead(out, cbor::Map, 2);
    cbor::appendText(out, "fields");
    cbor::appendHead(out, cbor::Array, 1);
    cbor::appendHead(out, cbor::Map, width ? 3 : 2);
    cbor::appendText(out, "name");
    cbor::appendText(out, "V");
    cbor::appendText(out, "type");
    cbor::appendText(out, type);
    if (width) {
        cbor::appendText(out, "width");
        cbor::appendHead(out, cbor::Unsigned, static_cast<std::uint64_t>(width));
    }
    cbor::appendText(out, "rows");
    cbor::appendHead(out, cbor::Array, rows);
    return out;
}

QByteArray oneValue(const char* type, const std::string& value, int width = 0)
{
    std::string out = header(type, width);
    cbor::appendHead(out, cbor::Array, 1);
    out += value;
    return QByteArray::fromStdString(out);
}

// Literal bytes, NULs included.
template <std::size_t N>
std::string bytes(const char (&literal)[N])
{
    return std::string(literal, N - 1);
}

std::string text(std::string_view s)
{
    std::string out;
    cbor::appendText(out, s);
    return out;
}

std::string integer(std::int64_t v)
{
    std::string out;
    cbor::appendInteger(out, v);
    return out;
}

std::string real(double v)
{
    std::string out;
    cbor::appendDouble(out, v);
    return out;
}

} // namespace

TEST(CborPacket, LoadsExactlyWhatTheXmlFormOfTheSameRowsLoads)
{
    const std::vector<PacketField> fields = everyType();
    const QByteArray cbor = cborPacket(fields, sampleRows());
    ASSERT_TRUE(isCborPacket(cbor));

    TClientDataSet fromCbor, fromXml;
    fromCbor.SetData(cbor);
    fromXml.SetData(xmlPacket(fields, sampleRows()));
    ASSERT_EQ(fromCbor.RecordCount(), 3);
    // Field definitions (types, WIDTH, SUBTYPE, flags) and every value agree:
    // the XML the two data sets write back is the same, byte for byte.
    EXPECT_EQ(fromCbor.Data(), fromXml.Data());
    EXPECT_EQ(fromCbor.FieldByName(QStringLiteral("S"))->AsString(), wholeCodePage());
    EXPECT_EQ(fromCbor.FieldByName(QStringLiteral("I8"))->AsInteger(), std::numeric_limits<std::int64_t>::min());
    fromCbor.Next();
    EXPECT_EQ(fromCbor.FieldByName(QStringLiteral("S"))->AsString(),
              QStringLiteral("Linha 1\r\nLinha 2\n\"aspas\" & 'apóstrofo' <b> \t fim"));
    fromCbor.Last();
    EXPECT_TRUE(fromCbor.FieldByName(QStringLiteral("S"))->IsNull());
    EXPECT_TRUE(fromCbor.FieldByName(QStringLiteral("DT"))->IsNull());

    // What we write is plain CBOR that a general decoder reads as documented.
    const QCborValue decoded = QCborValue::fromCbor(cbor);
    ASSERT_TRUE(decoded.isTag());
    EXPECT_EQ(decoded.tag(), QCborKnownTags::Signature);
    const QCborMap map = decoded.taggedValue().toMap();
    EXPECT_EQ(map[QLatin1String("fields")].toArray().at(0).toMap()[QLatin1String("width")].toInteger(), 300);
    EXPECT_EQ(map[QLatin1String("params")].toMap()[QLatin1String("LCID")].toString(), QStringLiteral("1046"));
    const QCborArray rows = map[QLatin1String("rows")].toArray();
    ASSERT_EQ(rows.size(), 3);
    EXPECT_EQ(rows.at(1).toArray().at(9), QCborValue(true));
    EXPECT_TRUE(rows.at(2).toArray().at(0).isNull());
}

TEST(CborPacket, ValuesOfTheWrongTypeOrOutsideTheirFieldAreRefused)
{
    const struct {
        const char* type;
        std::string value;
        int width;
        const char* message;
    } cases[] = {
        {"i4", text("12"), 0, "Valor inteiro inválido '12' no campo 'V', linha 1 do pacote de dados."},
        {"i1", integer(128), 0, "Valor inteiro inválido '128'"},
        {"ui4", integer(-1), 0, "Valor inteiro inválido '-1'"},
        {"i8", "\x3B\xFF\xFF\xFF\xFF\xFF\xFF\xFF\xFF", 0, "Valor inteiro inválido '-(1 + 18446744073709551615)'"},
        {"i4", real(1.5), 0, "Valor inteiro inválido '1.5'"},
        {"i4", "\xF5", 0, "Valor inteiro inválido 'true'"},
        {"boolean", integer(2), 0, "Valor lógico inválido '2'"},
        {"r8", real(std::numeric_limits<double>::quiet_NaN()), 0, "Valor numérico inválido"},
        {"r8", bytes("\xF9\x7C\x00"), 0, "Valor numérico inválido"}, // half-precision infinity
        {"r8", text("1.5"), 0, "Valor numérico inválido '1.5'"},
        {"dateTime", real(1e9), 0, "Data inválida '1000000000'"},
        {"string", integer(5), 0, "Texto inválido '5'"},
        {"string", "\x41\x61", 0, "Texto inválido '(cadeia de bytes)'"},
        {"string", "\x80", 0, "Texto inválido '(lista)'"},
        {"string", "\xC1\x00", 0, "Texto inválido '(etiqueta 1)'"},
        {"string", "\xF7", 0, "Texto inválido '(valor simples 23)'"},
        {"string", text("abcdef"), 5, "excede o tamanho do campo (5 caracteres)"},
        {"string", text("\xE4\xB8\x80"), 0, "não pode ser representado (U+4e00)"},
        {"string", text("\xC3"), 0, "não pode ser representado (U+fffd)"},
        {"string", text(std::string("a\0b", 3)), 0, "contém o caractere nulo"},
        {"bin.hex", text("00"), 0, "Tipo de campo desconhecido 'bin.hex' no campo 'V'."},
    };
    for (const auto& c : cases)
        EXPECT_TRUE(loadError(oneValue(c.type, c.value, c.width)).contains(QString::fromUtf8(c.message)))
            << c.type << ": " << qPrintable(loadError(oneValue(c.type, c.value, c.width)));
    // The accepted forms around those edges still load.
    EXPECT_EQ(loadError(oneValue("i8", "\x3B\x7F\xFF\xFF\xFF\xFF\xFF\xFF\xFF")), QString());
    EXPECT_EQ(loadError(oneValue("r8", bytes("\xF9\x3C\x00"))), QString()); // half-precision 1.0
    EXPECT_EQ(loadError(oneValue("r8", integer(7))), QString());
    EXPECT_EQ(loadError(oneValue("boolean", "\xF4")), QString());
    EXPECT_EQ(loadError(oneValue("string", text("abcde"), 5)), QString());
}

TEST(CborPacket, BrokenStructureIsRefusedWithoutTrustingDeclaredSizes)
{
    const QByteArray good = cborPacket(everyType(), sampleRows());
    // Cut anywhere, the packet is refused, never read past its end.
    for (qsizetype n = 0; n < good.size(); ++n) {
        const QString error = loadError(good.left(n));
        EXPECT_FALSE(error.isEmpty()) << n;
    }
    EXPECT_TRUE(loadError(good.left(good.size() - 1)).contains(QStringLiteral("pacote truncado")));
    EXPECT_TRUE(loadError(good + '\0').contains(QStringLiteral("há dados após o fim do pacote")));

    const auto withRows = [](std::uint64_t declared, const std::string& rows) {
        return QByteArray::fromStdString(header("string", 0, declared) + rows);
    };
    // Huge counts: refused at once, before anything is reserved for them.
    EXPECT_TRUE(
        loadError(withRows(std::uint64_t(1) << 62, "")).contains(QStringLiteral("declara 4611686018427387904 linhas")));
    EXPECT_TRUE(loadError(withRows(3, "\x81\x60\x81\x60")).contains(QStringLiteral("declara 3 linhas")));
    EXPECT_TRUE(
        loadError(withRows(1, "\x81\x7B\x7F\xFF\xFF\xFF\xFF\xFF\xFF\xFF")).contains(QStringLiteral("pacote truncado")));
    std::string hugeFields(cbor::kSelfDescribe, 3);
    hugeFields += bytes("\xA1\x66"
                        "fields"
                        "\x9B\x00\x00\x01\x00\x00\x00\x00\x00");
    EXPECT_TRUE(loadError(QByteArray::fromStdString(hugeFields)).contains(QStringLiteral("declara mais campos")));
    std::string hugeMap(cbor::kSelfDescribe, 3);
    hugeMap += bytes("\xBB\x10\x00\x00\x00\x00\x00\x00\x00");
    EXPECT_TRUE(loadError(QByteArray::fromStdString(hugeMap)).contains(QStringLiteral("declara mais entradas")));

    // Wrong lengths and shapes.
    EXPECT_TRUE(loadError(withRows(1, "\x82\x60\x60"))
                    .contains(QStringLiteral("a linha 1 tem 2 valores, e o pacote tem 1 campos")));
    EXPECT_TRUE(loadError(withRows(1, "\x60\x60")).contains(QStringLiteral("uma linha não é uma lista")));
    EXPECT_TRUE(
        loadError(withRows(1, "\x81\x7F\x61\x61\xFF")).contains(QStringLiteral("comprimento indefinido não é aceito")));
    EXPECT_TRUE(loadError(withRows(1, "\x81\x7C")).contains(QStringLiteral("valor reservado")));
    EXPECT_TRUE(loadError(QByteArray::fromStdString(std::string(cbor::kSelfDescribe, 3) + "\x80"))
                    .contains(QStringLiteral("o pacote não é um mapa")));
    EXPECT_TRUE(loadError(QByteArray::fromStdString(std::string(cbor::kSelfDescribe, 3) + "\xA1\x64rows\x80"))
                    .contains(QStringLiteral("'rows' vem antes de 'fields'")));
    std::string twoFields = header("string", 0, 0);
    twoFields.replace(twoFields.find("\x81\xA2"), 2, "\x82\xA2");
    twoFields.insert(twoFields.find("\x64rows"), std::string("\xA2\x64name\x61V\x64type\x62i4"));
    EXPECT_TRUE(loadError(QByteArray::fromStdString(twoFields)).contains(QStringLiteral("Campo 'V' repetido")));
    std::string badName = header("string", 0, 0);
    badName.replace(badName.find("\x61V"), 2,
                    "\x62"
                    "1V");
    EXPECT_TRUE(
        loadError(QByteArray::fromStdString(badName)).contains(QStringLiteral("não tem um nome válido ('1V')")));
}

TEST(CborPacket, WriterKeepsFieldOrderAndRefusesWhatWouldNotReadBack)
{
    std::string out;
    CborPacketWriter w(out);
    w.begin({field("A", TFieldType::ftString, "string", 5), field("B", TFieldType::ftFloat, "r8")});
    w.beginRow();
    w.real(1, 2.5); // A skipped: null
    EXPECT_THROW(w.string(0, "x"), std::logic_error);
    EXPECT_THROW(w.real(1, std::numeric_limits<double>::infinity()), EDBClient);
    EXPECT_THROW(w.dateTime(1, 1e12), EDBClient);
    w.endRow();
    w.end();
    PacketReader r(QByteArray::fromStdString(out));
    ASSERT_TRUE(r.next());
    EXPECT_TRUE(r.isNull(0));
    EXPECT_DOUBLE_EQ(r.real(1), 2.5);
    EXPECT_FALSE(r.next());

    std::string bad;
    CborPacketWriter named(bad);
    EXPECT_THROW(named.begin({field("1A", TFieldType::ftString, "string")}), EDBClient);
}

TEST(CborPacket, TextsTakenFromTheRowsOutliveTheRowsAndAReloadOverTheirMemory)
{
    const auto packetOf = [](const char* prefix) {
        std::string out;
        CborPacketWriter w(out);
        w.begin({field("S", TFieldType::ftString, "string", 4000), field("K", TFieldType::ftString, "string", 10)});
        for (int i = 0; i < 3000; ++i) {
            w.beginRow();
            w.string(0, prefix + std::to_string(i) + std::string(200, 'x'));
            w.string(1, "k");
            w.endRow();
        }
        w.end();
        return QByteArray::fromStdString(out);
    };
    TClientDataSet ds;
    ds.SetData(packetOf("primeiro "));
    ds.Last();
    const QString text = ds.FieldByName(QStringLiteral("S"))->AsString();
    const QVariant shown = ds.ValueAt(ds.RecNo() - 1, 0);
    ds.Edit();
    ds.FieldByName(QStringLiteral("K"))->SetAsString(QStringLiteral("mudou"));
    ds.Post();
    const QByteArray delta = ds.Delta();

    // The next load writes its texts over the memory of the rows it replaces.
    ds.SetData(packetOf("o segundo "));
    const QString expected = QStringLiteral("primeiro 2999") + QString(200, QLatin1Char('x'));
    EXPECT_EQ(text, expected);
    EXPECT_EQ(shown.toString(), expected);
    PacketReader r(delta);
    ASSERT_TRUE(r.next());
    EXPECT_EQ(r.string(r.fieldIndex("S")), expected);
    ds.Last();
    EXPECT_EQ(ds.FieldByName(QStringLiteral("S"))->AsString(),
              QStringLiteral("o segundo 2999") + QString(200, QLatin1Char('x')));
    // Sorting and writing back read the texts where they lie.
    ds.SetIndexFieldNames(QStringLiteral("S DESC"));
    ds.First();
    EXPECT_EQ(ds.FieldByName(QStringLiteral("S"))->AsString(),
              QStringLiteral("o segundo 9") + QString(200, QLatin1Char('x')));
    TClientDataSet again;
    again.SetData(ds.Data());
    EXPECT_EQ(again.Data(), ds.Data());
}
