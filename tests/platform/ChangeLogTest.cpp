#include "DataSetFixture.h"

#include <gtest/gtest.h>

using namespace trd;
using namespace trd::test;

namespace {

struct DeltaRow {
    int state;
    QString id, text, status; // "<null>" for an absent value
};

std::vector<DeltaRow> readDelta(const QByteArray& delta)
{
    PacketReader r(delta);
    EXPECT_TRUE(r.isDelta());
    std::vector<DeltaRow> rows;
    auto value = [&](int f) { return r.isNull(f) ? QStringLiteral("<null>") : r.string(f); };
    while (r.next())
        rows.push_back({r.rowState(), value(0), value(1), value(2)});
    return rows;
}

void setText(TClientDataSet& ds, const char* field, const char* value)
{
    ds.FieldByName(QString::fromLatin1(field))->SetAsString(QString::fromUtf8(value));
}

} // namespace

TEST(ChangeLog, AnEditThatChangesNothingIsNotLogged)
{
    TClientDataSet ds;
    ds.SetData(fiveRows());
    ds.Edit();
    setText(ds, "TEXTO", "Arquivo"); // the same value
    ds.Post();
    EXPECT_EQ(ds.ChangeCount(), 0);
    EXPECT_TRUE(readDelta(ds.Delta()).empty());
}

TEST(ChangeLog, EditIsLoggedWithItsOriginalAndOnlyTheChangedFields)
{
    TClientDataSet ds;
    ds.SetData(fiveRows());
    ds.Next();
    ds.Edit();
    setText(ds, "TEXTO", "Edição & \"cópia\"");
    EXPECT_EQ(ds.FieldByName(QStringLiteral("TEXTO"))->OldValue().toString(), QStringLiteral("Editar"));
    ds.Post();
    // A second edit of the same row keeps the first original.
    ds.Edit();
    setText(ds, "SIT", "T");
    ds.Post();
    EXPECT_EQ(ds.ChangeCount(), 1);
    EXPECT_EQ(ds.FieldByName(QStringLiteral("TEXTO"))->OldValue().toString(), QStringLiteral("Editar"));
    EXPECT_EQ(ds.FieldByName(QStringLiteral("SIT"))->OldValue().toString(), QStringLiteral("N"));

    const auto rows = readDelta(ds.Delta());
    ASSERT_EQ(rows.size(), 2u);
    EXPECT_EQ(rows[0].state, rsOriginal);
    EXPECT_EQ(rows[0].id, QStringLiteral("B"));
    EXPECT_EQ(rows[0].text, QStringLiteral("Editar"));
    EXPECT_EQ(rows[0].status, QStringLiteral("N"));
    EXPECT_EQ(rows[1].state, rsModified);
    EXPECT_EQ(rows[1].id, QStringLiteral("<null>")) << "unchanged fields are absent";
    EXPECT_EQ(rows[1].text, QStringLiteral("Edição & \"cópia\""));
    EXPECT_EQ(rows[1].status, QStringLiteral("T"));
}

TEST(ChangeLog, DeltaOfEveryRowState)
{
    TClientDataSet ds;
    ds.SetData(fiveRows());
    ds.Edit(); // A modified
    setText(ds, "SIT", "N");
    ds.Post();
    ds.Locate(QStringLiteral("ID"), {QStringLiteral("C")});
    ds.Edit(); // C modified, then deleted: a deletion of the original
    setText(ds, "TEXTO", "Outra");
    ds.Post();
    ds.Delete();
    ds.Append(); // F inserted
    setText(ds, "ID", "F");
    setText(ds, "TEXTO", "Novo");
    setText(ds, "SIT", "N");
    ds.Post();
    ds.Append(); // G inserted, then deleted: leaves no trace
    setText(ds, "ID", "G");
    ds.Post();
    ds.Delete();
    EXPECT_EQ(ds.ChangeCount(), 3);

    const auto rows = readDelta(ds.Delta());
    ASSERT_EQ(rows.size(), 4u);
    EXPECT_EQ(rows[0].state, rsOriginal);
    EXPECT_EQ(rows[0].status, QStringLiteral("T"));
    EXPECT_EQ(rows[1].state, rsModified);
    EXPECT_EQ(rows[1].status, QStringLiteral("N"));
    EXPECT_EQ(rows[2].state, rsDeleted);
    EXPECT_EQ(rows[2].id, QStringLiteral("C"));
    EXPECT_EQ(rows[2].text, QStringLiteral("Ação"));
    EXPECT_EQ(rows[3].state, rsInserted);
    EXPECT_EQ(rows[3].id, QStringLiteral("F"));
    EXPECT_EQ(rows[3].text, QStringLiteral("Novo"));

    // Data carries the changes applied.
    TClientDataSet copy;
    copy.SetData(ds.Data());
    EXPECT_EQ(column(copy, "ID"), QStringLiteral("A,B,D,E,F"));
    EXPECT_EQ(column(copy, "SIT"), QStringLiteral("N,N,N,T,N"));
}

TEST(ChangeLog, CancelUpdatesUndoesEachKind)
{
    TClientDataSet ds;
    ds.SetData(fiveRows());
    ds.Next();
    ds.Edit();
    setText(ds, "TEXTO", "Mudado");
    ds.Post();
    ds.Next(); // C deleted: comes back in its place
    ds.Delete();
    ds.Insert(); // inserted before D: goes
    setText(ds, "ID", "X");
    ds.Post();
    EXPECT_EQ(column(ds, "ID"), QStringLiteral("A,B,X,D,E"));

    ds.CancelUpdates();
    EXPECT_EQ(ds.ChangeCount(), 0);
    EXPECT_EQ(column(ds, "ID"), QStringLiteral("A,B,C,D,E"));
    EXPECT_EQ(column(ds, "TEXTO"), QStringLiteral("Arquivo,Editar,Ação,Ajuda,Sair"));
    EXPECT_EQ(ds.State(), TDataSetState::dsBrowse);
    EXPECT_GE(ds.RecNo(), 1);
}

TEST(ChangeLog, MergeMakesTheLogTheBaseData)
{
    TClientDataSet ds;
    ds.SetData(fiveRows());
    ds.Edit();
    setText(ds, "TEXTO", "Arquivos");
    ds.Post();
    ds.Last();
    ds.Delete();
    ds.MergeChangeLog();
    EXPECT_EQ(ds.ChangeCount(), 0);
    EXPECT_TRUE(readDelta(ds.Delta()).empty());
    ds.First();
    EXPECT_EQ(ds.FieldByName(QStringLiteral("TEXTO"))->OldValue().toString(), QStringLiteral("Arquivos"));
    ds.CancelUpdates(); // nothing left to undo
    EXPECT_EQ(column(ds, "ID"), QStringLiteral("A,B,C,D"));
    EXPECT_EQ(column(ds, "TEXTO"), QStringLiteral("Arquivos,Editar,Ação,Ajuda"));
}

TEST(ChangeLog, UndoFromInsideTheAfterEventsOfAFailedSave)
{
    // A save that fails in AfterPost/AfterDelete undoes the change there.
    TClientDataSet ds;
    ds.SetData(fiveRows());
    ds.AfterPost = [](TClientDataSet* d) { d->CancelUpdates(); };
    ds.AfterDelete = [](TClientDataSet* d) { d->CancelUpdates(); };
    int scrolls = 0;
    ds.AfterScroll = [&](TClientDataSet*) { ++scrolls; };
    ds.Next();
    ds.Edit();
    setText(ds, "SIT", "T");
    ds.Post();
    EXPECT_EQ(ds.FieldByName(QStringLiteral("SIT"))->AsString(), QStringLiteral("N"));
    ds.Delete();
    EXPECT_EQ(ds.RecordCount(), 5);
    EXPECT_EQ(column(ds, "ID"), QStringLiteral("A,B,C,D,E"));
    EXPECT_EQ(ds.ChangeCount(), 0);
    EXPECT_EQ(scrolls, 2); // Next, and the delete's AfterScroll
}

TEST(ChangeLog, CancelledInsertAndDeleteOfTheLastRow)
{
    TClientDataSet ds;
    ds.SetData(samplePacket({{"A", "a", "T"}}));
    ds.Insert();
    setText(ds, "ID", "Z");
    ds.Cancel();
    EXPECT_EQ(ds.RecordCount(), 1);
    EXPECT_EQ(ds.ChangeCount(), 0);
    ds.Delete();
    EXPECT_TRUE(ds.IsEmpty());
    EXPECT_TRUE(ds.Eof());
    EXPECT_TRUE(ds.Bof());
    EXPECT_THROW(ds.Delete(), EDBClient);
    ds.CancelUpdates();
    EXPECT_EQ(ds.RecordCount(), 1);
    EXPECT_EQ(ds.RecNo(), 1);
}
