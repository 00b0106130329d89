// The history on a real X display, with the real editor against a real
// trd-server: the detail panel's line of the last change, the history window
// opened by its shortcut putting a version back through the editor's own
// save (and refused by the optimistic check when a colleague saved since),
// the find/replace dialog's offer to undo a replace-all run, and the batches
// window's undo naming the rows a colleague changed since.
#include "EditorTestKit.h"

#include "Cli_Trd09306.h"
#include "Cli_Trd09307.h"
#include "Cli_Trd09308.h"
#include "DataPacket.h"
#include "HistoricoDoEditor.h"
#include "OfertaDesfazer.h"

#include <httplib.h>

#include <QApplication>
#include <QCheckBox>
#include <QJsonArray>
#include <QJsonDocument>
#include <QLabel>
#include <QLineEdit>
#include <QTableWidget>
#include <QTest>
#include <QWindow>

using namespace trd;
using namespace trd::test;

namespace {

const QList<Idioma> kIdiomas = {{"ENG", "English"}};

class HistoricoXcb : public EditorTest {
protected:
    ~HistoricoXcb() override
    {
        if (frmSubstituir)
            frmSubstituir->Close();
        QCoreApplication::sendPostedEvents(nullptr, QEvent::DeferredDelete);
    }

    TfrmTraducao* abre(const QList<Linha>& linhas)
    {
        TfrmTraducao* form = openLoaded(kIdiomas, linhas, QStringLiteral("ENG-English"));
        main.activateWindow();
        EXPECT_TRUE(QTest::qWaitForWindowActive(&main));
        return form;
    }
    // Input as the display delivers it: to the window, at the widget's place.
    static void clicaNaTela(QWidget* w)
    {
        QWidget* janela = w->window();
        QTest::mouseClick(janela->windowHandle(), Qt::LeftButton, Qt::NoModifier, w->mapTo(janela, w->rect().center()));
    }
    static void clicaNaLinha(QTableWidget* tabela, int linha)
    {
        const QRect celula = tabela->visualRect(tabela->model()->index(linha, 0));
        QWidget* janela = tabela->window();
        QTest::mouseClick(janela->windowHandle(), Qt::LeftButton, Qt::NoModifier,
                          tabela->viewport()->mapTo(janela, celula.center()));
    }
    void teclaNoEditor(Qt::Key tecla, Qt::KeyboardModifiers mods)
    {
        frmTraducao->dbgPadrao->setFocus();
        EXPECT_TRUE(QTest::qWaitFor([] { return frmTraducao->dbgPadrao->hasFocus(); }));
        QTest::keyClick(main.windowHandle(), tecla, mods);
    }
    QString linhaDaAlteracao() const { return frmTraducao->Historico->lblAlteracao->text(); }

    // A colleague saves a row through the server, as their editor would.
    void colegaSalva(const QString& programa, const QString& origem, const QString& antes, const QString& situacao,
                     const QString& depois)
    {
        auto campo = [](const char* nome, int tamanho) {
            PacketField f;
            f.name = nome;
            f.size = tamanho;
            return f;
        };
        auto texto = [](const QByteArray& utf8) {
            return std::string_view(utf8.constData(), std::size_t(utf8.size()));
        };
        QByteArray xml;
        PacketWriter w(xml);
        w.begin({campo("STAGRVALPROP", 4000), campo("STVALORPROP", 4000), campo("IDSITTRADUCAO", 1),
                 campo("IDIDIOMA", 3), campo("NMCOMPONENTE", 50), campo("CDPROGTRAD", 20)},
                {{"DATASET_DELTA", "1"}});
        const QByteArray o = origem.toUtf8(), a = antes.toUtf8(), s = situacao.toUtf8(), d = depois.toUtf8(),
                         p = programa.toUtf8();
        w.beginRow(rsOriginal);
        w.string(0, texto(o));
        w.string(1, texto(a));
        w.string(2, texto(s));
        w.string(3, std::string_view("ENG"));
        w.string(4, std::string_view("c"));
        w.string(5, texto(p));
        w.endRow();
        w.beginRow(rsModified);
        w.string(1, texto(d));
        w.endRow();
        w.end();
        const QByteArray corpo = R"({"jsonrpc":"2.0","id":1,"method":"SetDestino","params":)"
            + QJsonDocument(QJsonArray{QString::fromUtf8(xml)}).toJson(QJsonDocument::Compact) + "}";
        httplib::Client cliente(server->host().toStdString(), server->port());
        const auto resposta = cliente.Post("/Trd09300.rdmTraducao", corpo.toStdString(), "application/json");
        ASSERT_TRUE(resposta);
        ASSERT_NE(resposta->body.find("\"result\""), std::string::npos) << resposta->body;
    }
};

QList<Linha> clientes(int n)
{
    QList<Linha> linhas;
    for (int i = 0; i < n; ++i) {
        const QString k = QStringLiteral("%1").arg(i, 2, 10, QLatin1Char('0'));
        linhas.append({"ENG", "P" + k, "c", "Cliente " + k, "Customer " + k, "N"});
    }
    linhas.append({"ENG", "P99", "c", "Sair", "Exit", "T"});
    return linhas;
}

} // namespace

TEST_F(HistoricoXcb, TheHistoryWindowPutsAVersionBackThroughTheEditorsOwnSave)
{
    TfrmTraducao* form = abre({{"ENG", "P1", "c", "Abrir", "Open", "N"}, {"ENG", "P2", "c", "Fechar", "Close", "T"}});
    ASSERT_TRUE(form);
    ASSERT_TRUE(locate(QStringLiteral("Abrir")));
    // The panel's line comes from the server in the background.
    ASSERT_TRUE(QTest::qWaitFor(
        [&] { return linhaDaAlteracao().startsWith(QStringLiteral("Última alteração: local em")); }, 30000))
        << linhaDaAlteracao().toStdString();
    EXPECT_TRUE(linhaDaAlteracao().endsWith(QStringLiteral("(Importação)"))) << linhaDaAlteracao().toStdString();

    clicaNaTela(form->sbtDuvida);
    ASSERT_EQ(dbRow("ENG", "Abrir"), (QStringList{"Open", "D"}));
    form->cdsDestino->Edit();
    form->cdsDestino->FieldByName("STVALORPROP")->SetAsString(QStringLiteral("Abrir arquivo"));
    form->cdsDestino->Post(); // "D", texts differ: promoted to "T"
    ASSERT_EQ(dbRow("ENG", "Abrir"), (QStringList{"Abrir arquivo", "T"}));
    ASSERT_TRUE(QTest::qWaitFor([&] { return linhaDaAlteracao().endsWith(QStringLiteral("(Edição)")); }, 30000))
        << linhaDaAlteracao().toStdString();

    // Ctrl+H on the editor: the row's versions, newest first; the first one
    // (the import, "Open" not translated) is put back.
    int linhasNaJanela = -1;
    QString restaurar;
    seam.onModal = [&](TForm& janela) {
        auto* historico = qobject_cast<TfrmHistorico*>(&janela);
        ASSERT_TRUE(historico);
        ASSERT_TRUE(QTest::qWaitFor([&] { return QApplication::activeWindow() == historico; }));
        linhasNaJanela = historico->grdVersoes->rowCount();
        EXPECT_FALSE(historico->sbtConfirma->isEnabled()) << "the newest version is what the row holds";
        clicaNaLinha(historico->grdVersoes, 2);
        ASSERT_TRUE(historico->sbtConfirma->isEnabled());
        restaurar = historico->lblVersao->text();
        clicaNaTela(historico->sbtConfirma);
    };
    const int salvas = serverCalls(QStringLiteral("SetDestino"));
    teclaNoEditor(Qt::Key_H, Qt::ControlModifier);
    EXPECT_EQ(linhasNaJanela, 3);
    EXPECT_TRUE(restaurar.contains(QStringLiteral("Depois: [N] Open"))) << restaurar.toStdString();
    EXPECT_EQ(serverCalls(QStringLiteral("SetDestino")), salvas + 1) << "one save, the editor's own";
    // The status was the user's choice ("N" where the row held "T"): it stays.
    EXPECT_EQ(dbRow("ENG", "Abrir"), (QStringList{"Open", "N"}));
    EXPECT_EQ(form->cdsDestino->FieldByName("STVALORPROP")->AsString(), QStringLiteral("Open"));
    EXPECT_TRUE(seam.errors().isEmpty()) << seam.errors().join(u'\n').toStdString();

    // A colleague saves the row; the editor still shows "Open": putting a
    // version back now is refused by the save's optimistic check.
    ASSERT_NO_FATAL_FAILURE(colegaSalva(QStringLiteral("P1"), QStringLiteral("Abrir"), QStringLiteral("Open"),
                                        QStringLiteral("N"), QStringLiteral("Open it")));
    seam.onModal = [&](TForm& janela) {
        auto* historico = qobject_cast<TfrmHistorico*>(&janela);
        ASSERT_TRUE(historico);
        ASSERT_EQ(historico->grdVersoes->rowCount(), 5); // the colleague's save is listed first
        clicaNaLinha(historico->grdVersoes, 2); // "Abrir arquivo"
        clicaNaTela(historico->sbtConfirma);
    };
    teclaNoEditor(Qt::Key_H, Qt::ControlModifier);
    ASSERT_EQ(seam.errors().size(), 1);
    EXPECT_TRUE(seam.errors().first().contains(QStringLiteral("alterado por outro usuário")))
        << seam.errors().first().toStdString();
    EXPECT_EQ(dbRow("ENG", "Abrir"), (QStringList{"Open it", "N"}));
}

TEST_F(HistoricoXcb, TheHistoryAndBatchesWindowsOpenWithTheKeyboardOnTheirListsAndEnterRestores)
{
    TfrmTraducao* form = abre({{"ENG", "P1", "c", "Abrir", "Open", "N"}, {"ENG", "P2", "c", "Fechar", "Close", "T"}});
    ASSERT_TRUE(form);
    ASSERT_TRUE(locate(QStringLiteral("Abrir")));
    clicaNaTela(form->sbtDuvida);
    ASSERT_EQ(dbRow("ENG", "Abrir"), (QStringList{"Open", "D"}));

    // The versions have the keyboard: Down chooses the import's, Enter puts it back.
    bool viuFoco = false;
    seam.onModal = [&](TForm& janela) {
        auto* historico = qobject_cast<TfrmHistorico*>(&janela);
        ASSERT_TRUE(historico);
        ASSERT_TRUE(QTest::qWaitFor([&] { return QApplication::activeWindow() == historico; }));
        viuFoco = historico->grdVersoes->hasFocus();
        QTest::keyClick(historico->windowHandle(), Qt::Key_Down);
        ASSERT_TRUE(historico->sbtConfirma->isEnabled()) << historico->lblVersao->text().toStdString();
        QTest::keyClick(historico->windowHandle(), Qt::Key_Return);
    };
    teclaNoEditor(Qt::Key_H, Qt::ControlModifier);
    EXPECT_TRUE(viuFoco);
    EXPECT_EQ(dbRow("ENG", "Abrir"), (QStringList{"Open", "N"}));
    EXPECT_EQ(form->cdsDestino->FieldByName("STAGRVALPROP")->AsString(), QStringLiteral("Abrir"));

    // The batches window too: Down moves its list, never the editor's row behind it.
    QString linhaAntes = form->cdsDestino->FieldByName("STAGRVALPROP")->AsString();
    int linhaDaLista = -1;
    seam.onModal = [&](TForm& janela) {
        auto* lotes = qobject_cast<TfrmLotes*>(&janela);
        ASSERT_TRUE(lotes);
        ASSERT_TRUE(QTest::qWaitFor([&] { return QApplication::activeWindow() == lotes; }));
        ASSERT_TRUE(QTest::qWaitFor([&] { return lotes->grdLotes->rowCount() >= 2; }));
        EXPECT_TRUE(lotes->grdLotes->hasFocus());
        QTest::keyClick(lotes->windowHandle(), Qt::Key_Down);
        linhaDaLista = lotes->grdLotes->currentRow();
        lotes->SetModalResult(mrCancel);
    };
    teclaNoEditor(Qt::Key_H, Qt::ControlModifier | Qt::ShiftModifier);
    EXPECT_GE(linhaDaLista, 0);
    EXPECT_EQ(form->cdsDestino->FieldByName("STAGRVALPROP")->AsString(), linhaAntes);
    EXPECT_TRUE(seam.errors().isEmpty()) << seam.errors().join(u'\n').toStdString();
}

TEST_F(HistoricoXcb, AReplaceAllRunIsOfferedForUndoAndTheUndoLeavesAColleaguesRow)
{
    TfrmTraducao* form = abre(clientes(6));
    ASSERT_TRUE(form);
    form->mnuSubstituir->trigger();
    ASSERT_TRUE(frmSubstituir);
    TfrmSubstituir* dlg = frmSubstituir;
    dlg->activateWindow();
    ASSERT_TRUE(QTest::qWaitFor([&] { return QApplication::activeWindow() == dlg; }));
    const int altura = dlg->height();
    dlg->edtLocalizar->setText(QStringLiteral("Customer"));
    dlg->SetTpBuscaIndex(1);
    dlg->edtSubstituir->setText(QStringLiteral("Client"));
    clicaNaTela(dlg->sbtSubstAll);

    EXPECT_TRUE(seam.messages().contains(QStringLiteral("Substituição efetuada com sucesso")));
    for (int i = 0; i < 6; ++i)
        ASSERT_EQ(dbRow("ENG", QStringLiteral("Cliente %1").arg(i, 2, 10, QLatin1Char('0'))).value(0),
                  QStringLiteral("Client %1").arg(i, 2, 10, QLatin1Char('0')));
    historico::OfertaDesfazer* oferta = dlg->ofertaDesfazer;
    ASSERT_TRUE(QTest::qWaitFor([&] { return oferta->isVisible(); }));
    EXPECT_EQ(oferta->lblOferta->text(), QStringLiteral("Substituição em 6 linhas."));
    EXPECT_GT(dlg->height(), altura);

    ASSERT_NO_FATAL_FAILURE(colegaSalva(QStringLiteral("P03"), QStringLiteral("Cliente 03"),
                                        QStringLiteral("Client 03"), QStringLiteral("T"), QStringLiteral("Cliente!")));
    seam.clear();
    clicaNaTela(oferta->sbtDesfazer);

    ASSERT_EQ(seam.messages().size(), 1) << seam.errors().join(u'\n').toStdString();
    const QString dito = seam.messages().first();
    EXPECT_TRUE(dito.startsWith(QStringLiteral(
        "Substituição desfeita: 5 linhas voltaram ao que eram antes do lote; 1 linha alterada depois foi mantida.")))
        << dito.toStdString();
    EXPECT_TRUE(dito.contains(QStringLiteral("P03 / c (\"Cliente 03\"): alterada depois por local em")))
        << dito.toStdString();
    for (int i = 0; i < 6; ++i) {
        const QString k = QStringLiteral("%1").arg(i, 2, 10, QLatin1Char('0'));
        EXPECT_EQ(dbRow("ENG", "Cliente " + k).value(0), i == 3 ? QStringLiteral("Cliente!") : "Customer " + k);
    }
    // The editor shows the rows as they are now, the colleague's included.
    ASSERT_TRUE(locate(QStringLiteral("Cliente 03")));
    EXPECT_EQ(form->cdsDestino->FieldByName("STVALORPROP")->AsString(), QStringLiteral("Cliente!"));
    ASSERT_TRUE(locate(QStringLiteral("Cliente 01")));
    EXPECT_EQ(form->cdsDestino->FieldByName("STVALORPROP")->AsString(), QStringLiteral("Customer 01"));
    EXPECT_FALSE(oferta->isVisible());
    EXPECT_EQ(dlg->height(), altura);
}

TEST_F(HistoricoXcb, TheBatchesWindowUndoesABatchAndListsTheRowsItLeftAlone)
{
    TfrmTraducao* form = abre(clientes(3));
    ASSERT_TRUE(form);
    form->mnuSubstituir->trigger();
    ASSERT_TRUE(frmSubstituir);
    frmSubstituir->activateWindow();
    ASSERT_TRUE(QTest::qWaitFor([] { return QApplication::activeWindow() == frmSubstituir; }));
    frmSubstituir->edtLocalizar->setText(QStringLiteral("Customer"));
    frmSubstituir->SetTpBuscaIndex(1);
    frmSubstituir->edtSubstituir->setText(QStringLiteral("Client"));
    clicaNaTela(frmSubstituir->sbtSubstAll);
    ASSERT_EQ(dbRow("ENG", QStringLiteral("Cliente 01")).value(0), QStringLiteral("Client 01"));
    frmSubstituir->Close();
    ASSERT_NO_FATAL_FAILURE(colegaSalva(QStringLiteral("P01"), QStringLiteral("Cliente 01"),
                                        QStringLiteral("Client 01"), QStringLiteral("T"), QStringLiteral("Outro")));
    main.activateWindow();
    ASSERT_TRUE(QTest::qWaitForWindowActive(&main));

    QStringList tipos;
    QString resultado, motivo;
    bool mantidasVisivel = false;
    seam.answers.push_back(mrYes); // "Desfazer o lote ...?"
    seam.onModal = [&](TForm& janela) {
        auto* lotes = qobject_cast<TfrmLotes*>(&janela);
        ASSERT_TRUE(lotes);
        ASSERT_TRUE(QTest::qWaitFor([&] { return QApplication::activeWindow() == lotes; }));
        ASSERT_EQ(lotes->grdLotes->rowCount(), 3);
        for (int i = 0; i < lotes->grdLotes->rowCount(); ++i)
            tipos << lotes->grdLotes->item(i, 3)->text();
        // Newest first: the colleague's post, the run, the import.
        clicaNaLinha(lotes->grdLotes, 1);
        ASSERT_TRUE(lotes->sbtConfirma->isEnabled());
        clicaNaTela(lotes->sbtConfirma);
        resultado = lotes->lblResultado->text();
        mantidasVisivel = lotes->grdMantidas->isVisible();
        if (lotes->grdMantidas->rowCount() == 1)
            motivo = lotes->grdMantidas->item(0, 3)->text();
        ASSERT_EQ(lotes->grdLotes->rowCount(), 4);
        EXPECT_EQ(lotes->grdLotes->item(0, 3)->text(), QStringLiteral("Desfazimento"));
        EXPECT_TRUE(lotes->grdLotes->item(0, 5)->text().startsWith(QStringLiteral("desfaz o lote")));
        EXPECT_TRUE(lotes->grdLotes->item(2, 5)->text().startsWith(QStringLiteral("desfeito pelo lote")));
        clicaNaTela(lotes->sbtCancel);
    };
    teclaNoEditor(Qt::Key_H, Qt::ControlModifier | Qt::ShiftModifier);

    EXPECT_EQ(tipos, (QStringList{"Edição", "Substituição", "Importação"}));
    EXPECT_TRUE(seam.errors().isEmpty()) << seam.errors().join(u'\n').toStdString();
    EXPECT_TRUE(
        resultado.endsWith(QStringLiteral("2 linhas voltaram ao que eram antes do lote; 1 linha alterada depois "
                                          "foi mantida.")))
        << resultado.toStdString();
    EXPECT_TRUE(mantidasVisivel);
    EXPECT_TRUE(motivo.startsWith(QStringLiteral("alterada depois por local em "))) << motivo.toStdString();
    EXPECT_EQ(dbRow("ENG", QStringLiteral("Cliente 00")).value(0), QStringLiteral("Customer 00"));
    EXPECT_EQ(dbRow("ENG", QStringLiteral("Cliente 01")).value(0), QStringLiteral("Outro"));
    ASSERT_TRUE(locate(QStringLiteral("Cliente 02")));
    EXPECT_EQ(form->cdsDestino->FieldByName("STVALORPROP")->AsString(), QStringLiteral("Customer 02"));
}

TEST_F(HistoricoXcb, TheBatchesWindowOpensForAChosenLanguageBeforeItsRowsAreLoaded)
{
    startServer(kIdiomas, clientes(2));
    TfrmTraducao* form = openEditor();
    ASSERT_TRUE(form);
    EXPECT_FALSE(form->Historico->mnuLotes->isEnabled()); // no language yet
    ASSERT_NO_FATAL_FAILURE(chooseLanguage(QStringLiteral("ENG-English")));
    ASSERT_TRUE(form->cdsDestino->IsEmpty());
    EXPECT_TRUE(form->Historico->mnuLotes->isEnabled());

    QStringList tipos;
    seam.onModal = [&](TForm& janela) {
        auto* lotes = qobject_cast<TfrmLotes*>(&janela);
        ASSERT_TRUE(lotes);
        for (int i = 0; i < lotes->grdLotes->rowCount(); ++i)
            tipos << lotes->grdLotes->item(i, 3)->text();
        clicaNaTela(lotes->sbtCancel);
    };
    main.activateWindow();
    ASSERT_TRUE(QTest::qWaitForWindowActive(&main));
    QTest::keyClick(main.windowHandle(), Qt::Key_H, Qt::ControlModifier | Qt::ShiftModifier);
    EXPECT_EQ(tipos, QStringList{QStringLiteral("Importação")}); // the server's start from its file
}
