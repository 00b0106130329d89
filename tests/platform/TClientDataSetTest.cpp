#include "DataSetFixture.h"

#include <QDir>
#include <QFile>
#include <QTemporaryDir>

#include <gtest/gtest.h>

using namespace trd;
using namespace trd::test;

namespace {

QString errorOf(const std::function<void()>& action)
{
    try {
        action();
    } catch (const EDBClient& e) {
        return e.Message();
    }
    return {};
}

} // namespace

TEST(TClientDataSet, EofAndBofFollowTheFrameworkRules)
{
    TClientDataSet ds;
    ds.SetData(samplePacket({}));
    EXPECT_TRUE(ds.Eof());
    EXPECT_TRUE(ds.Bof());
    EXPECT_TRUE(ds.IsEmpty());
    EXPECT_EQ(ds.RecNo(), 0);

    ds.SetData(samplePacket({{"A", "a", "T"}, {"B", "b", "T"}, {"C", "c", "T"}}));
    EXPECT_TRUE(ds.Bof());
    EXPECT_FALSE(ds.Eof());
    ds.Next();
    ds.Next();
    EXPECT_EQ(ds.RecNo(), 3);
    EXPECT_FALSE(ds.Eof()) << "moving onto the last row does not set Eof";
    ds.Next();
    EXPECT_TRUE(ds.Eof()) << "a Next that fails on the last row sets it";
    EXPECT_EQ(ds.RecNo(), 3);
    ds.Prior();
    EXPECT_FALSE(ds.Eof());
    EXPECT_FALSE(ds.Bof());
    ds.Prior();
    EXPECT_FALSE(ds.Bof()) << "moving onto the first row does not set Bof";
    ds.Prior();
    EXPECT_TRUE(ds.Bof());
    ds.Last();
    EXPECT_TRUE(ds.Eof());
    EXPECT_EQ(ds.FieldByName(QStringLiteral("ID"))->AsString(), QStringLiteral("C"));
    ds.First();
    EXPECT_TRUE(ds.Bof());
    EXPECT_EQ(ds.MoveBy(10), 2);
    EXPECT_TRUE(ds.Eof());
    EXPECT_EQ(ds.MoveBy(-1), -1);
    ds.SetRecNo(1);
    EXPECT_EQ(ds.FieldByName(QStringLiteral("ID"))->AsString(), QStringLiteral("A"));

    ds.Close();
    EXPECT_TRUE(ds.Eof());
    EXPECT_EQ(ds.RecordCount(), 0);
    EXPECT_FALSE(errorOf([&] { ds.Next(); }).isEmpty());
}

TEST(TClientDataSet, EventOrder)
{
    TClientDataSet ds;
    EventLog log(ds);
    ds.SetData(fiveRows());
    EXPECT_EQ(log.take(), QStringLiteral("BeforeOpen AfterOpen AfterScroll"));
    ds.SetData(fiveRows());
    EXPECT_EQ(log.take(), QStringLiteral("BeforeClose AfterClose BeforeOpen AfterOpen AfterScroll"));

    ds.Next();
    EXPECT_EQ(log.take(), QStringLiteral("BeforeScroll AfterScroll"));
    ds.Edit();
    EXPECT_EQ(log.take(), QStringLiteral("BeforeEdit AfterEdit"));
    ds.FieldByName(QStringLiteral("TEXTO"))->SetAsString(QStringLiteral("Editar texto"));
    ds.Post();
    EXPECT_EQ(log.take(), QStringLiteral("BeforePost AfterPost"));
    ds.Edit();
    ds.Cancel();
    EXPECT_EQ(log.take(), QStringLiteral("BeforeEdit AfterEdit BeforeCancel AfterCancel"));

    // Insert with a pending edit: the edit is posted first.
    ds.Edit();
    ds.FieldByName(QStringLiteral("SIT"))->SetAsString(QStringLiteral("D"));
    log.take();
    ds.Insert();
    EXPECT_EQ(log.take(),
              QStringLiteral("BeforePost AfterPost BeforeInsert BeforeScroll OnNewRecord AfterInsert AfterScroll"));
    EXPECT_EQ(ds.State(), TDataSetState::dsInsert);
    ds.Cancel();
    log.take();

    ds.Delete();
    EXPECT_EQ(log.take(), QStringLiteral("BeforeDelete BeforeScroll AfterDelete AfterScroll"));
    ds.Close();
    EXPECT_EQ(log.take(), QStringLiteral("BeforeClose AfterClose"));
}

TEST(TClientDataSet, AbortInBeforeEventsLeavesTheDataSetAsItWas)
{
    TClientDataSet ds;
    ds.SetData(fiveRows());
    ds.Next();
    ds.BeforeInsert = [](TClientDataSet*) { Abort(); };
    EXPECT_THROW(ds.Insert(), EAbort);
    EXPECT_THROW(ds.Append(), EAbort);
    EXPECT_EQ(ds.State(), TDataSetState::dsBrowse);
    EXPECT_EQ(ds.RecordCount(), 5);
    EXPECT_EQ(ds.RecNo(), 2);

    // An empty data set turns Edit into Insert, which the same handler refuses.
    TClientDataSet empty;
    empty.BeforeInsert = ds.BeforeInsert;
    empty.SetData(samplePacket({}));
    EXPECT_THROW(empty.Edit(), EAbort);
    EXPECT_EQ(empty.RecordCount(), 0);

    ds.BeforePost = [](TClientDataSet*) { throw EDBClient(QStringLiteral("recusado")); };
    ds.Edit();
    ds.FieldByName(QStringLiteral("TEXTO"))->SetAsString(QStringLiteral("novo"));
    EXPECT_THROW(ds.Post(), EDBClient);
    EXPECT_EQ(ds.State(), TDataSetState::dsEdit) << "a refused post keeps the edit";
    EXPECT_EQ(ds.FieldByName(QStringLiteral("TEXTO"))->AsString(), QStringLiteral("novo"));
    ds.Cancel();
    EXPECT_EQ(ds.FieldByName(QStringLiteral("TEXTO"))->AsString(), QStringLiteral("Editar"));

    ds.BeforeDelete = [](TClientDataSet*) { Abort(); };
    EXPECT_THROW(ds.Delete(), EAbort);
    EXPECT_EQ(ds.RecordCount(), 5);
    EXPECT_EQ(ds.ChangeCount(), 0);
}

TEST(TClientDataSet, FieldsRefuseWhatDoesNotFit)
{
    TClientDataSet ds;
    ds.SetData(fiveRows());
    TField* texto = ds.FieldByName(QStringLiteral("texto")); // names ignore case
    EXPECT_EQ(errorOf([&] { ds.FieldByName(QStringLiteral("NADA")); }), QStringLiteral("Campo 'NADA' não encontrado."));
    EXPECT_EQ(errorOf([&] { texto->SetAsString(QStringLiteral("x")); }),
              QStringLiteral("O conjunto de dados não está em modo de edição ou inclusão."));
    ds.Edit();
    EXPECT_EQ(
        errorOf([&] { texto->SetAsString(QString(21, QLatin1Char('x'))); }),
        QStringLiteral(
            "O texto informado para o campo 'TEXTO' tem 21 caracteres e excede o tamanho máximo de 20 caracteres."));
    texto->SetAsString(QString(20, QLatin1Char('x')));
    // The user reads the field's label when it has one, not its column name.
    texto->DisplayLabel = QStringLiteral("Texto traduzido");
    EXPECT_EQ(
        errorOf([&] { texto->SetAsString(QStringLiteral("Привет")); }),
        QStringLiteral(
            "O texto informado para o campo 'Texto traduzido' contém o caractere 'П' (posição 1), que não pode ser "
            "representado."));
    EXPECT_EQ(texto->AsString(), QString(20, QLatin1Char('x')));
    EXPECT_TRUE(
        errorOf([&] { texto->SetAsString(QStringLiteral("a") + QChar(u'\0')); }).contains(QStringLiteral("nulo")));
    texto->ReadOnly = true;
    EXPECT_TRUE(
        errorOf([&] { texto->SetAsString(QStringLiteral("y")); }).contains(QStringLiteral("não pode ser modificado")));
    ds.Cancel();
}

TEST(TClientDataSet, ConversionsBetweenKinds)
{
    TClientDataSet ds;
    ds.AddField(QStringLiteral("N"), TFieldType::ftInteger);
    ds.AddField(QStringLiteral("R"), TFieldType::ftFloat);
    ds.AddField(QStringLiteral("DT"), TFieldType::ftDateTime);
    ds.AddField(QStringLiteral("S"), TFieldType::ftString, 30);
    ds.CreateDataSet();
    ds.Append();
    ds.FieldByName(QStringLiteral("N"))->SetAsString(QStringLiteral(" 42 "));
    ds.FieldByName(QStringLiteral("R"))->SetAsFloat(1e-7);
    ds.FieldByName(QStringLiteral("DT"))->SetAsString(QStringLiteral("31/01/2024 10:30:00"));
    ds.FieldByName(QStringLiteral("S"))->SetValue(QVariant(7));
    ds.Post();
    EXPECT_EQ(ds.FieldByName(QStringLiteral("N"))->AsInteger(), 42);
    EXPECT_TRUE(ds.FieldByName(QStringLiteral("R"))->AsString().endsWith(QStringLiteral("E-7")));
    EXPECT_DOUBLE_EQ(ds.FieldByName(QStringLiteral("DT"))->AsDateTime(), 45322 + 10.5 / 24);
    EXPECT_EQ(ds.FieldByName(QStringLiteral("DT"))->AsString(), QStringLiteral("31/01/2024 10:30:00"));
    EXPECT_EQ(ds.FieldByName(QStringLiteral("S"))->AsInteger(), 7);
    ds.Edit();
    EXPECT_THROW(ds.FieldByName(QStringLiteral("N"))->SetAsString(QStringLiteral("4x")), EDBClient);
    ds.FieldByName(QStringLiteral("N"))->SetAsString(QString());
    EXPECT_TRUE(ds.FieldByName(QStringLiteral("N"))->IsNull());
    EXPECT_THROW(ds.FieldByName(QStringLiteral("DT"))->SetAsFloat(1e300), EDBClient); // no date that far
    EXPECT_THROW(ds.FieldByName(QStringLiteral("N"))->SetAsFloat(1e19), EDBClient);
    ds.FieldByName(QStringLiteral("S"))->SetAsString(QStringLiteral("abc"));
    EXPECT_THROW(ds.FieldByName(QStringLiteral("S"))->AsFloat(), EDBClient);
    ds.Cancel();
}

TEST(TClientDataSet, LocateMatchesEveryListedField)
{
    TClientDataSet ds;
    ds.SetData(fiveRows());
    EventLog log(ds);
    EXPECT_TRUE(
        ds.Locate(QStringLiteral("TEXTO;SIT"), {QStringLiteral("AÇÃO"), QStringLiteral("d")}, loCaseInsensitive));
    EXPECT_EQ(ds.RecNo(), 3);
    EXPECT_EQ(log.take(), QStringLiteral("BeforeScroll AfterScroll"));
    EXPECT_FALSE(
        ds.Locate(QStringLiteral("TEXTO;SIT"), {QStringLiteral("AÇÃO"), QStringLiteral("N")}, loCaseInsensitive));
    EXPECT_FALSE(ds.Locate(QStringLiteral("TEXTO"), {QStringLiteral("ajuda")})); // case counts without the option
    EXPECT_EQ(ds.RecNo(), 3) << "a failed locate does not move";
    EXPECT_TRUE(ds.Locate(QStringLiteral("TEXTO"), {QStringLiteral("aj")}, loCaseInsensitive | loPartialKey));
    EXPECT_EQ(ds.RecNo(), 4);
    EXPECT_THROW(ds.Locate(QStringLiteral("TEXTO;SIT"), {QStringLiteral("x")}), EDBClient);
}

TEST(TClientDataSet, IndexOrdersRowsAndKeepsTheCurrentOne)
{
    TClientDataSet ds;
    ds.SetData(fiveRows());
    ds.SetRecNo(2); // B Editar
    ds.SetIndexFieldNames(QStringLiteral("TEXTO"));
    EXPECT_EQ(column(ds, "TEXTO"), QStringLiteral("Ação,Ajuda,Arquivo,Editar,Sair"));
    EXPECT_EQ(ds.FieldByName(QStringLiteral("ID"))->AsString(), QStringLiteral("B"));
    EXPECT_EQ(ds.RecNo(), 4);
    ds.SetIndexFieldNames(QStringLiteral("SIT;ID DESC"));
    EXPECT_EQ(column(ds, "ID"), QStringLiteral("C,D,B,E,A"));
    // A posted edit keeps its place, and the cursor with it, until the order
    // is asked for again.
    ds.Locate(QStringLiteral("ID"), {QStringLiteral("C")});
    ds.Edit();
    ds.FieldByName(QStringLiteral("SIT"))->SetAsString(QStringLiteral("T"));
    ds.Post();
    EXPECT_EQ(column(ds, "ID"), QStringLiteral("C,D,B,E,A"));
    EXPECT_EQ(ds.RecNo(), 1);
    ds.Next();
    EXPECT_EQ(ds.FieldByName(QStringLiteral("ID"))->AsString(), QStringLiteral("D")) << "the row below stays below";
    ds.SetIndexFieldNames(QStringLiteral("SIT;ID DESC"));
    EXPECT_EQ(column(ds, "ID"), QStringLiteral("D,B,E,C,A"));
    EXPECT_EQ(ds.FieldByName(QStringLiteral("ID"))->AsString(), QStringLiteral("D"));
    // Undone, the rows keep their places too; a deletion comes back at its place.
    ds.Next();
    ds.Delete();
    EXPECT_EQ(column(ds, "ID"), QStringLiteral("D,E,C,A"));
    ds.CancelUpdates();
    EXPECT_EQ(column(ds, "ID"), QStringLiteral("D,B,E,C,A"));
    // The order survives a reload; an empty name list restores the loaded order.
    ds.SetData(fiveRows());
    EXPECT_EQ(column(ds, "ID"), QStringLiteral("C,D,B,E,A"));
    ds.SetIndexFieldNames(QString());
    EXPECT_EQ(column(ds, "ID"), QStringLiteral("A,B,C,D,E"));
    EXPECT_THROW(ds.SetIndexFieldNames(QStringLiteral("NADA")), EDBClient);

    // Named before the first load: applies once the fields arrive.
    TClientDataSet early;
    early.SetIndexFieldNames(QStringLiteral("TEXTO DESC"));
    early.SetData(fiveRows());
    EXPECT_EQ(column(early, "TEXTO"), QStringLiteral("Sair,Editar,Arquivo,Ajuda,Ação"));
    EXPECT_EQ(early.RecNo(), 1);
    EXPECT_EQ(early.FieldByName(QStringLiteral("ID"))->AsString(), QStringLiteral("E"));
}

TEST(TClientDataSet, FailedLoadLeavesTheDataSetClosed)
{
    TClientDataSet ds;
    ds.SetData(fiveRows());
    QByteArray bad = samplePacket({{"A", "ok", "T"}, {"B", "x", "TT"}});
    EXPECT_TRUE(errorOf([&] { ds.SetData(bad); }).contains(QStringLiteral("linha 2")));
    EXPECT_FALSE(ds.Active());
    EXPECT_EQ(ds.RecordCount(), 0);
    ds.Open();
    EXPECT_EQ(ds.RecordCount(), 0) << "nothing of the failed packet, nothing of the old rows";
    ds.SetData(fiveRows());
    EXPECT_EQ(ds.RecordCount(), 5);
}

TEST(TClientDataSet, PersistentFieldsMustFitThePacket)
{
    TClientDataSet ds;
    TField* id = ds.AddField(QStringLiteral("ID"), TFieldType::ftString, 3);
    ds.AddField(QStringLiteral("SIT"), TFieldType::ftString, 1);
    ds.SetData(fiveRows());
    EXPECT_EQ(ds.FieldCount(), 2);
    EXPECT_EQ(ds.FieldByName(QStringLiteral("ID")), id);
    EXPECT_EQ(column(ds, "SIT"), QStringLiteral("T,N,D,N,T"));

    TClientDataSet narrow;
    narrow.AddField(QStringLiteral("TEXTO"), TFieldType::ftString, 5);
    EXPECT_TRUE(errorOf([&] { narrow.SetData(fiveRows()); }).contains(QStringLiteral("'TEXTO' na linha 1")));
    EXPECT_FALSE(narrow.Active());

    // A float packet field read into an integer field: rounded, and refused when out of range.
    const auto floats = [](const char* value) {
        return QByteArray("<DATAPACKET><METADATA><FIELDS><FIELD attrname=\"N\" fieldtype=\"r8\"/></FIELDS></METADATA>"
                          "<ROWDATA><ROW N=\"")
            + value + "\"/></ROWDATA></DATAPACKET>";
    };
    TClientDataSet integers;
    integers.AddField(QStringLiteral("N"), TFieldType::ftInteger);
    integers.SetData(floats("2.6"));
    EXPECT_EQ(integers.FieldByName(QStringLiteral("N"))->AsInteger(), 3);
    EXPECT_TRUE(errorOf([&] { integers.SetData(floats("1e300")); }).contains(QStringLiteral("fora dos limites")));

    TClientDataSet missing;
    missing.AddField(QStringLiteral("IDIOMA"), TFieldType::ftString, 3);
    EXPECT_TRUE(errorOf([&] { missing.SetData(fiveRows()); }).contains(QStringLiteral("IDIOMA")));
}

TEST(TClientDataSet, FilesRoundTripAndBadFilesAreRefused)
{
    QTemporaryDir dir;
    ASSERT_TRUE(dir.isValid());
    const QString path = dir.filePath(QStringLiteral("listados.xml"));
    TClientDataSet ds;
    ds.SetData(fiveRows());
    ds.Delete();
    ds.SaveToFile(path);

    TClientDataSet back;
    back.LoadFromFile(path);
    EXPECT_EQ(column(back, "ID"), QStringLiteral("B,C,D,E"));
    EXPECT_EQ(column(back, "TEXTO"), column(ds, "TEXTO"));
    EXPECT_EQ(back.ChangeCount(), 0);

    QFile binary(dir.filePath(QStringLiteral("binario.cds")));
    ASSERT_TRUE(binary.open(QIODevice::WriteOnly));
    binary.write(QByteArray("\x96\x19\xE0\xBD\x01\x00\x00\x00", 8));
    binary.close();
    EXPECT_TRUE(errorOf([&] { back.LoadFromFile(binary.fileName()); }).contains(QStringLiteral("binário")));
    EXPECT_FALSE(back.Active());
    EXPECT_TRUE(errorOf([&] {
                    back.LoadFromFile(dir.filePath(QStringLiteral("nao-existe.xml")));
                }).contains(QStringLiteral("Não foi possível abrir")));
    EXPECT_TRUE(errorOf([&] {
                    ds.SaveToFile(dir.filePath(QStringLiteral("sem-pasta/arquivo.xml")));
                }).contains(QStringLiteral("Não foi possível gravar")));
}

TEST(TClientDataSet, ActiveRecordReadsAnotherRowWithoutMoving)
{
    TClientDataSet ds;
    ds.SetData(fiveRows());
    TField* id = ds.FieldByName(QStringLiteral("ID"));
    ds.Edit();
    ds.FieldByName(QStringLiteral("TEXTO"))->SetAsString(QStringLiteral("digitando"));
    {
        ActiveRecordScope scope(&ds, 3);
        EXPECT_EQ(id->AsString(), QStringLiteral("D"));
        EXPECT_EQ(ds.ActiveRecord(), 3);
        EXPECT_EQ(ds.CurrentIndex(), 0);
    }
    EXPECT_EQ(id->AsString(), QStringLiteral("A"));
    EXPECT_EQ(ds.ValueAt(0, 1).toString(), QStringLiteral("digitando")) << "the row being edited shows its buffer";
    EXPECT_EQ(ds.ValueAt(1, 1).toString(), QStringLiteral("Editar"));
    EXPECT_FALSE(ds.ValueAt(9, 1).isValid());
    ds.Post();
    ds.Next();
    EXPECT_EQ(ds.ActiveRecord(), 1);
}

TEST(TClientDataSet, InsertDefaultsRequiredFieldsAndDeleteWhileEditing)
{
    TClientDataSet ds;
    ds.SetData(fiveRows());
    ds.FieldByName(QStringLiteral("ID"))->Required = true;
    ds.OnNewRecord = [](TClientDataSet* d) { d->FieldByName(QStringLiteral("SIT"))->SetAsString(QStringLiteral("N")); };
    ds.SetRecNo(3);
    ds.Insert();
    EXPECT_EQ(ds.RecNo(), 3);
    EXPECT_EQ(ds.RecordCount(), 6);
    EXPECT_EQ(ds.FieldByName(QStringLiteral("SIT"))->AsString(), QStringLiteral("N"));
    EXPECT_FALSE(ds.FieldByName(QStringLiteral("SIT"))->OldValue().isValid()) << "a new row has no old values";
    EXPECT_TRUE(errorOf([&] { ds.Post(); }).contains(QStringLiteral("'ID' deve ter um valor")));
    EXPECT_EQ(ds.State(), TDataSetState::dsInsert);
    ds.FieldByName(QStringLiteral("ID"))->SetAsString(QStringLiteral("Z"));
    ds.Post();
    EXPECT_EQ(column(ds, "ID"), QStringLiteral("A,B,Z,C,D,E"));

    // Delete while editing drops the edit and deletes the row as it was.
    ds.SetRecNo(1);
    ds.Edit();
    ds.FieldByName(QStringLiteral("TEXTO"))->SetAsString(QStringLiteral("descartado"));
    ds.Delete();
    EXPECT_EQ(ds.State(), TDataSetState::dsBrowse);
    EXPECT_EQ(ds.FieldByName(QStringLiteral("ID"))->AsString(), QStringLiteral("B"));
    PacketReader delta(ds.Delta());
    std::vector<int> states;
    while (delta.next()) {
        states.push_back(delta.rowState());
        if (delta.rowState() == rsDeleted) {
            EXPECT_EQ(delta.string(1), QStringLiteral("Arquivo"));
        }
    }
    EXPECT_EQ(states, (std::vector<int>{rsInserted, rsDeleted}));
}
