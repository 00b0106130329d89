#include "DataPacket.h"
#include "TClientDataSet.h"

#include <gtest/gtest.h>

using namespace trd;

namespace {

PacketField field(const char* name, TFieldType type, int size = 0, const char* xmlType = "")
{
    PacketField f;
    f.name = name;
    f.type = type;
    f.size = size;
    f.xmlType = xmlType;
    return f;
}

QByteArray packet(const char* fields, const char* rows, const char* params = "")
{
    return QByteArray("<?xml version=\"1.0\" encoding=\"UTF-8\" standalone=\"yes\"?><DATAPACKET Version=\"2.0\">"
                      "<METADATA><FIELDS>")
        + fields + "</FIELDS><PARAMS " + params + "/></METADATA><ROWDATA>" + rows + "</ROWDATA></DATAPACKET>";
}

// The message of the EDBClient a packet raises, or "" when it reads whole.
QString readError(const QByteArray& bytes)
{
    try {
        PacketReader r(bytes);
        while (r.next()) {
            for (int i = 0; i < static_cast<int>(r.fields().size()); ++i) {
                switch (r.fields()[static_cast<std::size_t>(i)].type) {
                case TFieldType::ftString:
                    r.string(i);
                    break;
                case TFieldType::ftInteger:
                    r.integer(i);
                    break;
                case TFieldType::ftFloat:
                    r.real(i);
                    break;
                case TFieldType::ftDateTime:
                    r.dateTime(i);
                    break;
                }
            }
        }
        return {};
    } catch (const EDBClient& e) {
        return e.Message();
    }
}

} // namespace

TEST(DataPacket, WriteThenReadKeepsEveryKindOfValue)
{
    const QString tricky = QStringLiteral("Linha 1\r\nLinha 2\t\"aspas\" & <tags> > ação €\x01");
    QByteArray out;
    PacketWriter w(out);
    w.begin({field("TXT", TFieldType::ftString, 100), field("N", TFieldType::ftInteger),
             field("B", TFieldType::ftInteger, 0, "boolean"), field("R", TFieldType::ftFloat),
             field("DT", TFieldType::ftDateTime), field("D", TFieldType::ftDateTime, 0, "date")},
            {{"LCID", "1046"}});
    w.beginRow();
    w.string(0, tricky);
    w.integer(1, -9007199254740993LL);
    w.integer(2, 1);
    w.real(3, 0.1);
    w.dateTime(4, 45322.5);
    w.dateTime(5, 45322);
    w.endRow();
    w.beginRow(); // second row: every value absent
    w.endRow();
    w.end();

    EXPECT_FALSE(out.contains('\n')); // line breaks travel as character references
    EXPECT_TRUE(out.contains("B=\"TRUE\""));

    PacketReader r(out);
    ASSERT_EQ(r.fields().size(), 6u);
    EXPECT_EQ(r.fields()[0].size, 100);
    EXPECT_EQ(r.fields()[2].type, TFieldType::ftInteger);
    EXPECT_EQ(r.rowCount(), 2u);
    ASSERT_EQ(r.params().size(), 1u);
    EXPECT_EQ(r.params()[0].second, QByteArray("1046"));
    EXPECT_FALSE(r.isDelta());

    ASSERT_TRUE(r.next());
    EXPECT_EQ(r.string(0), tricky);
    EXPECT_EQ(r.integer(1), -9007199254740993LL);
    EXPECT_EQ(r.integer(2), 1);
    EXPECT_DOUBLE_EQ(r.real(3), 0.1);
    EXPECT_DOUBLE_EQ(r.dateTime(4), 45322.5);
    EXPECT_DOUBLE_EQ(r.dateTime(5), 45322);

    ASSERT_TRUE(r.next());
    EXPECT_EQ(r.rowNumber(), 2);
    for (int i = 0; i < 6; ++i)
        EXPECT_TRUE(r.isNull(i)) << i;
    EXPECT_TRUE(r.string(0).isNull());
    EXPECT_FALSE(r.next());
}

TEST(DataPacket, DeltaRowStatesRoundTrip)
{
    QByteArray out;
    PacketWriter w(out);
    w.begin({field("ID", TFieldType::ftInteger), field("TXT", TFieldType::ftString, 10)}, {{"DATASET_DELTA", "1"}});
    for (int state : {rsOriginal, rsModified, rsDeleted, rsInserted}) {
        w.beginRow(state);
        if (state != rsModified)
            w.integer(0, state);
        w.string(1, QStringLiteral("s%1").arg(state));
        w.endRow();
    }
    w.end();

    PacketReader r(out);
    EXPECT_TRUE(r.isDelta());
    for (int state : {rsOriginal, rsModified, rsDeleted, rsInserted}) {
        ASSERT_TRUE(r.next());
        EXPECT_EQ(r.rowState(), state);
        EXPECT_EQ(r.isNull(0), state == rsModified); // unchanged fields are absent
        EXPECT_EQ(r.string(1), QStringLiteral("s%1").arg(state));
    }
}

TEST(DataPacket, ReadsWhatOtherWritersProduce)
{
    // Attribute names in another case, fields out of order, a literal newline
    // and a character reference, an empty string and an empty number.
    const QByteArray bytes = packet(
        R"(<field ATTRNAME="A" FieldType="string" width="5"/><FIELD attrname="Q" fieldtype="r8" SUBTYPE="Money"/>)"
        R"(<FIELD attrname="I" fieldtype="ui1" required="true"/><FIELD attrname="T" fieldtype="time"/>)",
        "<ROW Q=\"1.5E2\" A=\"a&#10;b\" I=\"255\" T=\"23:59:59999\"/><ROW A=\"\" Q=\"\" rowstate=\"4\"/>"
        "<ROW A=\"x\ny\" q=\"2\"/>",
        R"(DATASET_DELTA="1")");
    PacketReader r(bytes);
    EXPECT_TRUE(r.isDelta());
    EXPECT_EQ(r.fields()[0].size, 5);
    EXPECT_EQ(r.fields()[1].subtype, QByteArray("Money"));
    EXPECT_TRUE(r.fields()[2].required);
    EXPECT_EQ(r.fieldIndex("I"), 2);
    EXPECT_EQ(r.fieldIndex("i"), -1);
    ASSERT_TRUE(r.next());
    EXPECT_EQ(r.string(0), QStringLiteral("a\nb"));
    EXPECT_DOUBLE_EQ(r.real(1), 150);
    EXPECT_EQ(r.integer(2), 255);
    EXPECT_NEAR(r.dateTime(3), 1.0 - 1.0 / 86400000, 1e-12);
    ASSERT_TRUE(r.next());
    EXPECT_EQ(r.rowState(), rsInserted);
    EXPECT_FALSE(r.isNull(0)); // empty text is a value
    EXPECT_TRUE(r.string(0).isEmpty());
    EXPECT_TRUE(r.isNull(1)); // an empty number is none
    ASSERT_TRUE(r.next());
    EXPECT_EQ(r.string(0), QStringLiteral("x\ny")); // kept as written, not normalised
    EXPECT_DOUBLE_EQ(r.real(1), 2); // a row attribute named in another case
}

TEST(DataPacket, ReadsAPacketDeclaredInTheWindowsCodePage)
{
    QByteArray bytes = packet(R"(<FIELD attrname="A" fieldtype="string" WIDTH="10"/>)", "<ROW A=\"a\xE7\xE3o \x80\"/>");
    bytes.replace("UTF-8", "windows-1252");
    PacketReader r(bytes);
    ASSERT_TRUE(r.next());
    EXPECT_EQ(r.string(0), QStringLiteral("ação €"));
}

TEST(DataPacket, BadPacketsRaiseEDBClientNamingTheProblem)
{
    const char* strField = R"(<FIELD attrname="NOME" fieldtype="string" WIDTH="3"/>)";
    const char* intField = R"(<FIELD attrname="QTD" fieldtype="i2"/>)";
    const char* dtField = R"(<FIELD attrname="DTALT" fieldtype="dateTime"/>)";
    struct Case {
        QByteArray bytes;
        const char* expected; // part of the message
    };
    const Case cases[] = {
        {QByteArray("\x96\x19\xE0\xBD\x02\x00\x00\x00", 8), "binário"},
        {QByteArray(), "vazio"},
        {"<DATAPACKET><METADATA>", "XML malformado"},
        {"not xml at all", "XML malformado"},
        {"<OTHER/>", "DATAPACKET"},
        {"<DATAPACKET><ROWDATA/></DATAPACKET>", "METADATA"},
        {"<DATAPACKET><METADATA><FIELDS/></METADATA></DATAPACKET>", "ROWDATA"},
        {packet(R"(<FIELD attrname="X" fieldtype="nested"/>)", ""), "Tipo de campo desconhecido 'nested' no campo 'X'"},
        {packet(R"(<FIELD attrname="X" fieldtype="bin.hex"/>)", ""), "Tipo de campo desconhecido"},
        {packet(R"(<FIELD fieldtype="string"/>)", ""), "nome válido"},
        {packet(R"(<FIELD attrname="A B" fieldtype="string"/>)", ""), "nome válido"},
        {packet(R"(<FIELD attrname="X" fieldtype="string" WIDTH="-1"/>)", ""), "Tamanho inválido"},
        {packet(R"(<FIELD attrname="X" fieldtype="string"/><FIELD attrname="X" fieldtype="i4"/>)", ""), "repetido"},
        {packet(strField, "<ROW NOME=\"abc\"/><ROW NOME=\"abcd\"/>"), "'NOME' na linha 2"},
        {packet(strField, "<ROW NOME=\"\xE4\xB8\xAD\"/>"), "U+4e2d"},
        {packet(strField, "<ROW NOME=\"\xFF\"/>"), "não pode ser representado"},
        {packet(intField, "<ROW QTD=\"12x\"/>"), "Valor inteiro inválido '12x' no campo 'QTD', linha 1"},
        {packet(intField, "<ROW QTD=\"40000\"/>"), "Valor inteiro inválido"},
        {packet(R"(<FIELD attrname="V" fieldtype="r8"/>)", "<ROW V=\"1,5\"/>"), "Valor numérico inválido '1,5'"},
        {packet(R"(<FIELD attrname="V" fieldtype="boolean"/>)", "<ROW V=\"talvez\"/>"), "Valor lógico inválido"},
        {packet(dtField, "<ROW/><ROW DTALT=\"2024-01-31\"/>"), "Data inválida '2024-01-31' no campo 'DTALT', linha 2"},
        {packet(strField, "<ROW RowState=\"x\"/>"), "Estado de linha inválido"},
    };
    for (const Case& c : cases) {
        const QString message = readError(c.bytes);
        EXPECT_TRUE(message.contains(QString::fromUtf8(c.expected)))
            << "packet: " << c.bytes.left(120).toStdString() << "\nmessage: " << message.toStdString();
        // Loading it into a data set fails the same way and leaves it closed and empty.
        TClientDataSet ds;
        ds.SetData(packet(R"(<FIELD attrname="NOME" fieldtype="string" WIDTH="3"/>)", "<ROW NOME=\"abc\"/>"));
        EXPECT_THROW(ds.SetData(c.bytes), EDBClient) << c.bytes.left(120).toStdString();
        EXPECT_FALSE(ds.Active());
        ds.Open();
        EXPECT_TRUE(ds.IsEmpty());
    }
    EXPECT_TRUE(isBinaryPacket(QByteArray("\x96\x19\xE0\xBD", 4)));
    EXPECT_FALSE(isBinaryPacket(QByteArray("<?xm")));
}

TEST(DataPacket, WriterRefusesWhatWouldNotReadBack)
{
    QByteArray out;
    PacketWriter w(out);
    EXPECT_THROW(w.begin({field("A B", TFieldType::ftString)}), EDBClient);
    QByteArray out2;
    PacketWriter w2(out2);
    w2.begin({field("D", TFieldType::ftDateTime), field("R", TFieldType::ftFloat)});
    w2.beginRow();
    EXPECT_THROW(w2.dateTime(0, 1e9), EDBClient);
    EXPECT_THROW(w2.real(1, std::numeric_limits<double>::quiet_NaN()), EDBClient);
}
