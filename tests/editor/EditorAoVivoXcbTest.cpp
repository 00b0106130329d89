// Colleagues' saves in the open editor, on a real display against a real
// trd-server with users: ana works in the editor, bia saves through a client
// of her own on its own connection and session. A save of bia's appears in
// ana's grid without a reload, tinted for a moment and named by the line
// under the detail panel, while ana's current row, selection and scroll stay; a row ana is
// typing in keeps her text and offers bia's beside it; a feed cut or a
// restarted server is resumed without losing a save; a feed that missed
// more than the server keeps makes the editor read its rows again in place.
#include "XcbEditorTest.h"

#include "AlteracoesAoVivo.h"
#include "HistoricoDoEditor.h"
#include "ServerCalls.h"
#include "TraducaoRegras.h"
#include "WebSession.h"

#include <QProcess>
#include <QScrollBar>

using namespace trd;
using namespace trd::test;

namespace {

const QList<Idioma> kIdiomas = {{"ENG", "English"}, {"ESP", "Español"}};
const QString kIngles = QStringLiteral("ENG-English");
// Generous: a loaded machine may take long; the feed itself takes milliseconds.
constexpr int kEspera = 30000;

QList<Linha> linhas()
{
    QList<Linha> l;
    for (int i = 0; i < 60; ++i)
        l.append({"ENG", QStringLiteral("P%1").arg(i / 10), QStringLiteral("c%1").arg(i),
                  QStringLiteral("Texto %1").arg(i, 2, 10, QLatin1Char('0')), QStringLiteral("Text %1").arg(i), "T"});
    l.append({"ESP", "P0", "c0", "Texto 00", "Texto 00 es", "T"});
    return l;
}

int runServerCommand(const QStringList& args, const QByteArray& input = {})
{
    QProcess p;
    p.start(TrdServerProcess::binaryPath(), args);
    if (!p.waitForStarted(10000))
        return -1;
    p.write(input);
    p.closeWriteChannel();
    p.waitForFinished(60000);
    return p.exitStatus() == QProcess::NormalExit ? p.exitCode() : -1;
}

class EditorAoVivo : public XcbEditorTest {
protected:
    void SetUp() override
    {
        const QString users = dir.filePath(QStringLiteral("trd.users"));
        for (const char* nome : {"ana", "bia"})
            ASSERT_EQ(runServerCommand({"user", "add", nome, "--users", users}, "senha\n"), 0);
        serverArgs = {"--users", users};
    }
    void TearDown() override { WebSessionToken.clear(); }

    // ana through the recording proxy, as the editor; bia straight to the server.
    QByteArray login(const QString& nome)
    {
        TSocketConnection c;
        c.Port = nome == QLatin1String("bia") ? server->port() : proxy->port();
        c.ServerName = ServerNameTraducao;
        c.ThrowException = true;
        return c.AppServer().Call(QStringLiteral("Login"), {nome, QStringLiteral("senha")}).Packet;
    }

    // ana's editor, with the rows of ENG loaded and live changes passed on by the proxy.
    TfrmTraducao* abre()
    {
        EXPECT_TRUE(input.ok()) << "no X display with XTEST";
        startServer(kIdiomas, linhas());
        if (!server || !proxy)
            return nullptr;
        proxy->forwardFeed(true);
        WebSessionToken = login(QStringLiteral("ana"));
        bia = login(QStringLiteral("bia"));
        EXPECT_FALSE(WebSessionToken.isEmpty());
        TfrmTraducao* form = openEditor();
        if (!form)
            return nullptr;
        EXPECT_TRUE(seam.errors().isEmpty()) << seam.errors().join('|').toStdString();
        loadLanguage(kIngles);
        Application()->SetDialogSeam(nullptr);
        activate();
        EXPECT_TRUE(QTest::qWaitFor([&] { return indicador() == "● Ao vivo"; }, kEspera)) << indicador().toStdString();
        return form;
    }

    // bia saves a row's destination (and status) as the editor does: read,
    // edit, post, the change log to SetDestino.
    void biaSalva(const QString& idioma, const QString& origem, const QString& destino,
                  const QString& situacao = QString())
    {
        TSocketConnection c;
        c.Port = server->port();
        c.ServerName = ServerNameTraducao;
        c.ThrowException = true;
        const QByteArray token = bia;
        c.SessionToken = [token] { return token; };
        TClientDataSet l;
        l.SetData(c.AppServer()
                      .Call(metodo::GetDestino,
                            {QStringLiteral("T"), QStringLiteral("D"), QStringLiteral("N"), idioma, TDateTime(0),
                             TDateTime(0), QString()})
                      .Packet);
        ASSERT_TRUE(l.Locate(QStringLiteral("STAGRVALPROP"), {origem})) << origem.toStdString();
        l.Edit();
        l.FieldByName(QStringLiteral("STVALORPROP"))->SetAsString(destino);
        if (!situacao.isEmpty())
            l.FieldByName(QStringLiteral("IDSITTRADUCAO"))->SetAsString(situacao);
        l.Post();
        c.AppServer().Call(metodo::SetDestino, {l.Delta()});
    }

    QString indicador() const { return frmTraducao->aoVivo->indicador()->text(); }
    // The history's line under the detail panel: who changed the current row last.
    QString alteracao() const { return frmTraducao->Historico->lblAlteracao->text(); }
    bool mostra(const QString& origem, const QString& destino) const
    {
        return shownDestination(rowOf(origem)) == destino;
    }
    int rolagem() const { return frmTraducao->dbgPadrao->verticalScrollBar()->value(); }
    // The background painted in the row's source cell, away from its text.
    QColor fundo(const QString& origem)
    {
        const QRect cell = cellRect(rowOf(origem), 1);
        const QImage picture = frmTraducao->dbgPadrao->viewport()->grab().toImage();
        return picture.pixelColor(cell.right() - 3, cell.center().y());
    }

    QByteArray bia;
};

TEST_F(EditorAoVivo, AColleaguesSaveAppearsInTheGridWithoutMovingTheUser)
{
    TfrmTraducao* form = abre();
    ASSERT_TRUE(form);
    // ana works down the list: the grid scrolled, a row current, its cell selected.
    clickCell("Texto 05");
    for (int i = 0; i < 25; ++i)
        input.key("Down");
    ASSERT_EQ(current(), "Texto 30");
    const int rolada = rolagem();
    ASSERT_GT(rolada, 0) << "the grid must have scrolled for the check to mean something";
    const QModelIndex celula = form->dbgPadrao->currentIndex();
    const int gravacoes = serverCalls("SetDestino");

    // bia saves a row shown on ana's screen, one of another language, and one
    // ana's rows do not hold.
    const int linha = rowOf("Texto 28");
    ASSERT_NO_FATAL_FAILURE(biaSalva("ENG", "Texto 28", "Text 28 (bia)", "D"));
    ASSERT_NO_FATAL_FAILURE(biaSalva("ESP", "Texto 00", "Texto cero"));
    ASSERT_TRUE(QTest::qWaitFor([&] { return mostra("Texto 28", "Text 28 (bia)"); }, kEspera));

    EXPECT_EQ(rowOf("Texto 28"), linha);
    EXPECT_EQ(form->cdsDestino->FieldByName("IDSITTRADUCAO")->AsString(), "T") << "the current row is ana's";
    EXPECT_EQ(current(), "Texto 30");
    EXPECT_EQ(form->dbgPadrao->currentIndex(), celula);
    EXPECT_EQ(rolagem(), rolada);
    EXPECT_EQ(form->cdsDestino->State(), TDataSetState::dsBrowse);
    EXPECT_EQ(form->cdsDestino->ChangeCount(), 0);
    EXPECT_EQ(serverCalls("SetDestino"), gravacoes) << "nothing goes back to the server";
    EXPECT_EQ(form->cdsDestino->RecordCount(), 60);
    EXPECT_EQ(shownDestination(rowOf("Texto 00")), "Text 0");
    EXPECT_EQ(dbRow("ENG", "Texto 28"), QStringList({"Text 28 (bia)", "D"}));

    // Tinted for a moment, then painted as any row again.
    EXPECT_EQ(fundo("Texto 28"), QColor(198, 226, 255));
    EXPECT_NE(fundo("Texto 29"), QColor(198, 226, 255));
    EXPECT_TRUE(QTest::qWaitFor([&] { return fundo("Texto 28") != QColor(198, 226, 255); },
                                AlteracoesAoVivo::JanelaMarcaMs + kEspera));

    // Ctrl+J goes to the row a colleague changed; the history's line names her.
    input.key("ctrl+j");
    EXPECT_EQ(current(), "Texto 28");
    EXPECT_TRUE(QTest::qWaitFor([&] { return alteracao().startsWith("Última alteração: bia em "); }, kEspera))
        << alteracao().toStdString();
    EXPECT_EQ(form->lblDestino->text(), "Text 28 (bia)");
    EXPECT_TRUE(form->sbtDuvida->Tag == 1) << "the lamps show the colleague's status";

    // The next edit of that row is checked against bia's save: it goes through.
    QPointer<QLineEdit> editor = editCell("Texto 28");
    ASSERT_TRUE(editor);
    input.type("!");
    input.key("Return");
    EXPECT_TRUE(boxes.shown.isEmpty()) << boxes.shown.join('|').toStdString();
    EXPECT_EQ(dbRow("ENG", "Texto 28"), QStringList({"Text 28 (bia)!", "T"}));
    // ana's own save comes back through the feed: nothing changes, nobody is named for it.
    QTest::qWait(1500);
    EXPECT_EQ(shownDestination(rowOf("Texto 28")), "Text 28 (bia)!");
    EXPECT_EQ(form->cdsDestino->ChangeCount(), 0);
}

TEST_F(EditorAoVivo, ARowBeingEditedKeepsTheUsersTextAndOffersTheColleagues)
{
    TfrmTraducao* form = abre();
    ASSERT_TRUE(form);
    QPointer<QLineEdit> editor = editCell("Texto 03");
    ASSERT_TRUE(editor);
    input.type(" (ana)");

    ASSERT_NO_FATAL_FAILURE(biaSalva("ENG", "Texto 03", "Text 3 (bia)"));
    ASSERT_TRUE(QTest::qWaitFor([&] { return form->panTextoColega->Mostrando(); }, kEspera));
    EXPECT_EQ(form->panTextoColega->Texto(), "Text 3 (bia)");
    EXPECT_TRUE(form->panTextoColega->lblTitulo->text().startsWith("Texto gravado por bia às "))
        << form->panTextoColega->lblTitulo->text().toStdString();
    EXPECT_TRUE(form->panTextoColega->lblTitulo->text().endsWith("(Traduzido):"));
    EXPECT_TRUE(form->panTextoColega->isVisible());
    // The cell is untouched and keeps the keyboard.
    ASSERT_TRUE(editor);
    EXPECT_EQ(editor, form->dbgPadrao->InplaceEditor());
    EXPECT_EQ(editor->text(), "Text 3 (ana)");
    EXPECT_TRUE(editor->hasFocus());
    input.type("!");
    EXPECT_EQ(editor->text(), "Text 3 (ana)!");
    EXPECT_EQ(form->cdsDestino->State(), TDataSetState::dsEdit);

    // Posting meets the server's check, whose message names bia.
    input.key("Return");
    ASSERT_EQ(boxes.shown.size(), 1);
    EXPECT_TRUE(boxes.shown.first().startsWith("O registro foi alterado por outro usuário (bia em "))
        << boxes.shown.first().toStdString();
    editor = form->dbgPadrao->InplaceEditor();
    ASSERT_TRUE(editor);
    EXPECT_EQ(editor->text(), "Text 3 (ana)!");
    ASSERT_TRUE(form->panTextoColega->Mostrando());
    EXPECT_EQ(form->panTextoColega->Texto(), "Text 3 (bia)");
    EXPECT_EQ(dbRow("ENG", "Texto 03"), QStringList({"Text 3 (bia)", "T"}));

    // Escape drops ana's text: the row shows bia's.
    input.key("Escape");
    EXPECT_EQ(form->cdsDestino->State(), TDataSetState::dsBrowse);
    EXPECT_EQ(shownDestination(rowOf("Texto 03")), "Text 3 (bia)");
    EXPECT_TRUE(QTest::qWaitFor([&] { return alteracao().startsWith("Última alteração: bia em "); }, kEspera))
        << alteracao().toStdString();

    // Again, taking bia's text from the panel while typing: the cell gets it.
    editor = editCell("Texto 04");
    ASSERT_TRUE(editor);
    input.type(" (ana)");
    ASSERT_NO_FATAL_FAILURE(biaSalva("ENG", "Texto 04", "Text 4 (bia)"));
    ASSERT_TRUE(QTest::qWaitFor([&] { return form->panTextoColega->Mostrando(); }, kEspera));
    input.key("alt+u");
    ASSERT_TRUE(editor);
    EXPECT_TRUE(QTest::qWaitFor([&] { return editor && editor->text() == "Text 4 (bia)"; }));
    EXPECT_TRUE(editor->hasFocus());
    input.key("Escape");
    EXPECT_TRUE(QTest::qWaitFor([&] { return shownDestination(rowOf("Texto 04")) == "Text 4 (bia)"; }, kEspera));
    EXPECT_EQ(dbRow("ENG", "Texto 04"), QStringList({"Text 4 (bia)", "T"}));
}

TEST_F(EditorAoVivo, ADroppedFeedOrARestartedServerIsResumedWithoutLosingASave)
{
    TfrmTraducao* form = abre();
    ASSERT_TRUE(form);
    clickCell("Texto 10");

    // The feed is cut: the indicator says so, editing and saving go on.
    proxy->blockFeed(true);
    ASSERT_TRUE(QTest::qWaitFor([&] { return indicador() == "○ Ao vivo: sem conexão"; }, kEspera))
        << indicador().toStdString();
    ASSERT_NO_FATAL_FAILURE(biaSalva("ENG", "Texto 11", "Text 11 (bia)"));
    QPointer<QLineEdit> editor = editCell("Texto 10");
    ASSERT_TRUE(editor);
    input.type(" (ana)");
    input.key("Return");
    EXPECT_TRUE(boxes.shown.isEmpty()) << boxes.shown.join('|').toStdString();
    EXPECT_EQ(dbRow("ENG", "Texto 10"), QStringList({"Text 10 (ana)", "T"}));
    EXPECT_EQ(shownDestination(rowOf("Texto 11")), "Text 11");

    // Back: what was saved meanwhile arrives.
    proxy->blockFeed(false);
    ASSERT_TRUE(QTest::qWaitFor([&] { return mostra("Texto 11", "Text 11 (bia)"); }, kEspera));
    EXPECT_TRUE(QTest::qWaitFor([&] { return indicador() == "● Ao vivo"; }, kEspera));
    const QString atual = current();

    // The server is killed and comes back on the same database.
    server->kill9();
    ASSERT_TRUE(server->restart()) << server->errorString().toStdString();
    bia = login(QStringLiteral("bia"));
    ASSERT_NO_FATAL_FAILURE(biaSalva("ENG", "Texto 12", "Text 12 (bia)"));
    ASSERT_TRUE(QTest::qWaitFor([&] { return mostra("Texto 12", "Text 12 (bia)"); }, kEspera));
    EXPECT_EQ(current(), atual);
    EXPECT_EQ(form->cdsDestino->ChangeCount(), 0);
}

TEST_F(EditorAoVivo, ChangesTheServerNoLongerKeepsMakeTheEditorReadItsRowsAgainInPlace)
{
    TfrmTraducao* form = abre();
    ASSERT_TRUE(form);
    clickCell("Texto 20");
    proxy->blockFeed(true);
    ASSERT_TRUE(QTest::qWaitFor([&] { return indicador() == "○ Ao vivo: sem conexão"; }, kEspera));
    ASSERT_NO_FATAL_FAILURE(biaSalva("ENG", "Texto 21", "Text 21 (bia)", "D"));

    // The server restarts with its history pruned: what ana missed is gone from it.
    server->kill9();
    ASSERT_EQ(runServerCommand({"--db", server->dbPath(), "--prune-history", "0"}), 0);
    ASSERT_TRUE(server->restart()) << server->errorString().toStdString();
    // A save after the restart does not hide the one that is gone.
    bia = login(QStringLiteral("bia"));
    ASSERT_NO_FATAL_FAILURE(biaSalva("ENG", "Texto 22", "Text 22 (bia)"));
    const int leituras = serverCalls("GetCDSFilter");
    proxy->blockFeed(false);

    ASSERT_TRUE(QTest::qWaitFor([&] { return mostra("Texto 21", "Text 21 (bia)"); }, kEspera));
    EXPECT_TRUE(QTest::qWaitFor([&] { return mostra("Texto 22", "Text 22 (bia)"); }, kEspera));
    EXPECT_EQ(serverCalls("GetCDSFilter"), leituras + 1) << "the loaded rows, read again in one call";
    EXPECT_EQ(current(), "Texto 20");
    EXPECT_EQ(form->cdsDestino->RecordCount(), 60);
    EXPECT_EQ(form->cdsDestino->ChangeCount(), 0);
    EXPECT_TRUE(QTest::qWaitFor([&] { return indicador() == "● Ao vivo"; }, kEspera));
    input.key("ctrl+j");
    EXPECT_EQ(current(), "Texto 21");
}

} // namespace
