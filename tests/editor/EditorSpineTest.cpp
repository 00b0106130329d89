// The editor's spine against a real trd-server: opening and re-showing,
// closing and reopening, the language list and its validation, the reload
// with and without a criteria filter, its failure paths, the detail panel.
#include "EditorTestKit.h"

#include "CuttingProxy.h"
#include "MensErro.h"
#include "ShowAvi.h"
#include "WebServer.h"

#include <QApplication>
#include <QFile>
#include <QJsonArray>
#include <QJsonDocument>
#include <QMdiArea>
#include <QTest>

using namespace trd;
using namespace trd::test;

namespace {

const QList<Idioma> kIdiomas = {{"ENG", "English"}, {"POR", "Portuguese"}};

QList<Linha> someRows()
{
    return {
        {"ENG", "TRD09300", "lblTela", "Tela:", "Screen:", "T"},
        {"ENG", "TRD09300", "lblNome", "Nome", "Nome", "N"},
        {"ENG", "TRD09301", "ckbDuvida", "Dúvida", "Doubt", "D"},
        {"POR", "TRD09300", "lblTela", "Tela:", "Tela:", "T"},
    };
}

class EditorSpine : public EditorTest { };

TEST_F(EditorSpine, OpeningTwiceShowsTheSameWindowAndReadsTheLanguagesOnce)
{
    startServer(kIdiomas, someRows());
    TfrmTraducao* first = openEditor();
    ASSERT_TRUE(first);
    EXPECT_TRUE(boStCriado);
    EXPECT_EQ(first->Caption(), QStringLiteral("Tradução"));
    EXPECT_EQ(first->lblCodTela->text(), QStringLiteral("TRD09300"));
    first->SetWindowState(wsNormal);
    TfrmTraducao* second = openEditor();
    EXPECT_EQ(first, second);
    EXPECT_EQ(mdi->subWindowList().size(), 1);
    EXPECT_EQ(serverCalls(QStringLiteral("GetIdiTrad")), 1);
    EXPECT_EQ(second->WindowState(), wsMaximized);
    EXPECT_FALSE(ShowAviActive());
}

TEST_F(EditorSpine, ClosingAndReopeningBuildsANewEditorButKeepsTheLanguageCode)
{
    startServer(kIdiomas, someRows());
    openEditor();
    chooseLanguage(QStringLiteral("POR-Portuguese"));
    EXPECT_EQ(stIdioma, QStringLiteral("POR"));
    QPointer<TfrmTraducao> old = frmTraducao.data();
    closeEditor();
    EXPECT_FALSE(boStCriado);
    EXPECT_FALSE(old) << "the closed editor was not released";

    boTestaFiltro = true;
    TfrmTraducao* again = openEditor();
    ASSERT_TRUE(again);
    EXPECT_EQ(serverCalls(QStringLiteral("GetIdiTrad")), 2);
    EXPECT_EQ(again->cbbIdioma->count(), 2);
    EXPECT_TRUE(again->cbbIdioma->currentText().isEmpty());
    EXPECT_EQ(stIdioma, QStringLiteral("POR"));
    EXPECT_FALSE(boTestaFiltro) << "a new editor starts with no criteria filter";
    EXPECT_FALSE(again->cdsDestino->Active());
}

TEST_F(EditorSpine, LanguagesAreListedInTheServersOrderAsCodeHyphenDescription)
{
    startServer({{"POR", "Portuguese"}, {"ENG", "English"}, {"DEU", "Deutsch Ä"}}, {});
    TfrmTraducao* form = openEditor();
    ASSERT_TRUE(form);
    QStringList items;
    for (int i = 0; i < form->cbbIdioma->count(); ++i)
        items << form->cbbIdioma->itemText(i);
    // The server answers ordered by code.
    EXPECT_EQ(items, QStringList({"DEU-Deutsch Ä", "ENG-English", "POR-Portuguese"}));
    EXPECT_TRUE(stIdioma.isEmpty()) << "filling the list must not choose a language";
    chooseLanguage(QStringLiteral("POR-Portuguese"));
    EXPECT_EQ(stIdioma, QStringLiteral("POR"));
}

TEST_F(EditorSpine, ThreeHundredLanguages)
{
    QList<Idioma> many;
    for (int i = 0; i < 300; ++i)
        many.append({QStringLiteral("%1").arg(i, 3, 10, QLatin1Char('0')), QStringLiteral("Idioma %1").arg(i)});
    startServer(many, {});
    TfrmTraducao* form = openEditor();
    ASSERT_TRUE(form);
    ASSERT_EQ(form->cbbIdioma->count(), 300);
    EXPECT_EQ(form->cbbIdioma->itemText(0), QStringLiteral("000-Idioma 0"));
    EXPECT_EQ(form->cbbIdioma->itemText(299), QStringLiteral("299-Idioma 299"));
    chooseLanguage(QStringLiteral("173-Idioma 173"));
    leaveLanguagePanel();
    EXPECT_TRUE(seam.errors().isEmpty() && seam.messages().isEmpty()) << seam.messages().join('|').toStdString();
    EXPECT_EQ(seam.count(RecordingDialogSeam::Modal), 1) << "a valid language opens the filter dialog";
}

TEST_F(EditorSpine, TypedCharactersNeverReachTheCombo)
{
    startServer(kIdiomas, {});
    TfrmTraducao* form = openEditor();
    ASSERT_TRUE(form);
    form->cbbIdioma->setFocus();
    QTest::keyClicks(form->cbbIdioma, QStringLiteral("ENG"));
    EXPECT_TRUE(form->cbbIdioma->currentText().isEmpty());
    QTest::keyClick(form->cbbIdioma, Qt::Key_Down);
    EXPECT_FALSE(form->cbbIdioma->currentText().isEmpty()) << "the arrow keys still choose";
    EXPECT_EQ(stIdioma, form->cbbIdioma->currentText().left(3));

    // Tab is no typing: it leaves the panel, which checks the language.
    QWidget* focusAfterTab = nullptr;
    seam.onModal = [&](TForm& dialog) {
        focusAfterTab = QApplication::focusWidget();
        dialog.SetModalResult(mrCancel);
    };
    QTest::keyClick(form->cbbIdioma, Qt::Key_Tab);
    QApplication::processEvents();
    EXPECT_FALSE(form->Panel1->isAncestorOf(QApplication::focusWidget()));
    EXPECT_EQ(seam.count(RecordingDialogSeam::Modal), 1) << "a valid language opens the filter dialog";
    EXPECT_NE(focusAfterTab, form->cbbIdioma);
}

TEST_F(EditorSpine, LeavingThePanelEmptyAsksForALanguageAndKeepsTheFocus)
{
    startServer(kIdiomas, {});
    TfrmTraducao* form = openEditor();
    ASSERT_TRUE(form);
    leaveLanguagePanel();
    EXPECT_EQ(seam.messages(), QStringList{QStringLiteral("Idioma deve ser informado.")});
    EXPECT_EQ(seam.last(RecordingDialogSeam::Message)->type, mtError);
    EXPECT_TRUE(form->cbbIdioma->hasFocus());
    EXPECT_EQ(seam.count(RecordingDialogSeam::Modal), 0);
}

TEST_F(EditorSpine, LeavingThePanelWithAnAlteredItemIsRefusedAndLoadsNothing)
{
    startServer(kIdiomas, someRows());
    TfrmTraducao* form = openEditor();
    ASSERT_TRUE(form);
    chooseLanguage(QStringLiteral("ENG-English"));
    form->cbbIdioma->setEditText(QStringLiteral("ENG-Engl"));
    QApplication::processEvents();
    EXPECT_FALSE(form->cdsDestino->Active());
    leaveLanguagePanel();
    EXPECT_EQ(seam.messages(), QStringList{QStringLiteral("Idioma Inválido.")});
    EXPECT_TRUE(form->cbbIdioma->hasFocus());
    EXPECT_FALSE(form->cdsDestino->Active());
    EXPECT_EQ(serverCalls(QStringLiteral("GetFiltroDest")) + serverCalls(QStringLiteral("GetDestino")), 0);

    // Case does not matter.
    seam.clear();
    form->cbbIdioma->setEditText(QStringLiteral("eng-ENGLISH"));
    leaveLanguagePanel();
    EXPECT_TRUE(seam.messages().isEmpty());
}

TEST_F(EditorSpine, AValidLanguageWithNoRowsOpensTheFilterUntilRowsAreLoaded)
{
    startServer(kIdiomas, someRows());
    TfrmTraducao* form = openEditor();
    ASSERT_TRUE(form);
    chooseLanguage(QStringLiteral("ENG-English"));
    leaveLanguagePanel();
    ASSERT_EQ(seam.count(RecordingDialogSeam::Modal), 1);
    EXPECT_EQ(seam.last(RecordingDialogSeam::Modal)->text, QStringLiteral("Filtro de Tradução"));
    EXPECT_FALSE(form->cdsDestino->Active()) << "cancelling the filter leaves the grid empty";
    leaveLanguagePanel();
    EXPECT_EQ(seam.count(RecordingDialogSeam::Modal), 2);

    // With rows loaded, or a criteria filter in force, leaving does nothing.
    reload();
    ASSERT_EQ(form->cdsDestino->RecordCount(), 3);
    leaveLanguagePanel();
    EXPECT_EQ(seam.count(RecordingDialogSeam::Modal), 2);
    chooseLanguage(QStringLiteral("POR-Portuguese"));
    boTestaFiltro = true;
    leaveLanguagePanel();
    EXPECT_EQ(seam.count(RecordingDialogSeam::Modal), 2);
}

TEST_F(EditorSpine, ChoosingAnotherLanguageEmptiesTheGridTheDetailAndTheFilter)
{
    TfrmTraducao* form = openLoaded(kIdiomas, someRows(), QStringLiteral("ENG-English"));
    ASSERT_TRUE(form);
    ASSERT_TRUE(form->cdsDestino->Active());
    EXPECT_FALSE(form->lblOrigem->text().isEmpty());
    boTestaFiltro = true;
    chooseLanguage(QStringLiteral("POR-Portuguese"));
    EXPECT_FALSE(form->cdsDestino->Active());
    EXPECT_EQ(form->dbgPadrao->model()->rowCount(), 0);
    for (QLabel* label : {form->lblDestino, form->lblOrigem, form->lblCodigo, form->lblNome})
        EXPECT_TRUE(label->text().isEmpty()) << label->objectName().toStdString();
    EXPECT_FALSE(boTestaFiltro);
    leaveLanguagePanel();
    EXPECT_EQ(seam.count(RecordingDialogSeam::Modal), 1);
}

TEST_F(EditorSpine, ReloadWithoutFilterAsksForEveryRowOfTheLanguage)
{
    TfrmTraducao* form = openLoaded(kIdiomas, someRows(), QStringLiteral("ENG-English"));
    ASSERT_TRUE(form);
    EXPECT_EQ(proxy->lastParams(QStringLiteral("GetDestino")),
              QByteArray(R"(["T","D","N","ENG",{"date":0},{"date":0},""])"));
    ASSERT_EQ(form->cdsDestino->RecordCount(), dbCount(QStringLiteral("ENG")));
    EXPECT_FALSE(ShowAviActive());

    // The detail panel shows the current row, and follows it.
    auto shown = [form] {
        return QStringList{form->lblOrigem->text(), form->lblDestino->text(), form->lblCodigo->text(),
                           form->lblNome->text()};
    };
    auto field = [form](const char* name) { return form->cdsDestino->FieldByName(name)->AsString(); };
    EXPECT_EQ(shown(),
              QStringList({field("STAGRVALPROP"), field("STVALORPROP"), field("CDPROGTRAD"), field("NMCOMPONENTE")}));
    form->cdsDestino->Last();
    EXPECT_EQ(shown(),
              QStringList({field("STAGRVALPROP"), field("STVALORPROP"), field("CDPROGTRAD"), field("NMCOMPONENTE")}));
}

TEST_F(EditorSpine, ReloadUnderACriteriaFilterRepeatsItsEightValues)
{
    startServer(kIdiomas, someRows());
    TfrmTraducao* form = openEditor();
    ASSERT_TRUE(form);
    chooseLanguage(QStringLiteral("ENG-English"));
    boTestaFiltro = true;
    stTRAD = QStringLiteral("T");
    stDUV = QStringLiteral("X");
    stNTRAD = QStringLiteral("N");
    stPARAMSQL = QStringLiteral(" AND CDPROGTRAD = 'TRD09300'");
    dtDataIni = 2.0;
    dtDataFin = 300000.0;
    stDataTrad = QStringLiteral("N");
    reload();
    EXPECT_EQ(proxy->lastParams(QStringLiteral("GetFiltroDest")),
              QByteArray(R"(["T","X","N"," AND CDPROGTRAD = 'TRD09300'","ENG",{"date":2},{"date":300000},"N"])"));
    ASSERT_TRUE(form->cdsDestino->Active());
    EXPECT_EQ(form->cdsDestino->RecordCount(), 2);
}

TEST_F(EditorSpine, AReloadThatFailsBeforeLoadingKeepsTheRows)
{
    TfrmTraducao* form = openLoaded(kIdiomas, someRows(), QStringLiteral("ENG-English"));
    ASSERT_TRUE(form);
    ASSERT_EQ(form->cdsDestino->RecordCount(), 3);
    proxy->answerNextWith(R"("error":{"code":-32603,"message":"Falha no banco de dados."})");
    reload();
    EXPECT_EQ(seam.errors(), QStringList{QStringLiteral("Falha no banco de dados.")});
    EXPECT_TRUE(form->cdsDestino->Active());
    EXPECT_EQ(form->cdsDestino->RecordCount(), 3);
    EXPECT_FALSE(ShowAviActive());
}

// A reload whose answer is cut in the middle (the network failing, the server
// gone) while its rows load: the user reads that the connection was
// interrupted (not that memory ran short), the grid shows none of the rows
// that came, and the next reload brings them all.
TEST_F(EditorSpine, AReloadCutInTheMiddleOfItsAnswerShowsNoneOfItsRows)
{
    QList<Linha> linhas;
    for (int i = 0; i < 20000; ++i)
        linhas.append({"ENG", QStringLiteral("TRD%1").arg(i / 100, 5, 10, QLatin1Char('0')),
                       QStringLiteral("lbl%1").arg(i), QStringLiteral("Texto de origem número %1").arg(i),
                       QStringLiteral("Source text %1").arg(i), i % 2 ? QStringLiteral("T") : QStringLiteral("N")});
    startServer(kIdiomas, linhas);
    CuttingProxy cutting(server->port());
    ASSERT_TRUE(SetWebServer(QStringLiteral("127.0.0.1:%1").arg(cutting.port())));
    TfrmTraducao* form = openEditor();
    ASSERT_TRUE(form);
    loadLanguage(QStringLiteral("ENG-English"));
    ASSERT_EQ(form->cdsDestino->RecordCount(), 20000);
    const qint64 size = cutting.lastAnswerBytes("GetDestino");
    ASSERT_GT(size, 1000000);

    const QString dropped =
        QStringLiteral("A conexão com o servidor de aplicação em 127.0.0.1:%1 foi interrompida.").arg(cutting.port());
    for (const bool filtered : {false, true}) {
        boTestaFiltro = filtered;
        stTRAD = stDUV = stNTRAD = QStringLiteral("T");
        stPARAMSQL.clear();
        stDataTrad = QStringLiteral("T");
        // The cut waits for the reload's own call: the detail panel's
        // requests in the background pass untouched.
        const QByteArray method = filtered ? "GetFiltroDest" : "GetDestino";
        cutting.cutNextAnswerAfter(size / 2, method);
        seam.clear();
        reload();
        EXPECT_EQ(seam.errors(), QStringList{dropped}) << filtered;
        EXPECT_TRUE(seam.messages().isEmpty()) << seam.messages().join('|').toStdString();
        EXPECT_EQ(cutting.lastAnswerBytes(method), size / 2);
        EXPECT_FALSE(form->cdsDestino->Active()) << filtered;
        EXPECT_EQ(form->dbgPadrao->model()->rowCount(), 0) << filtered;
        EXPECT_FALSE(ShowAviActive());
    }
    boTestaFiltro = false;
    seam.clear();
    reload();
    EXPECT_TRUE(seam.errors().isEmpty()) << seam.errors().join('|').toStdString();
    EXPECT_EQ(form->cdsDestino->RecordCount(), 20000);
    EXPECT_EQ(form->dbgPadrao->model()->rowCount(), 20000);
}

TEST_F(EditorSpine, AFilteredReloadWhoseAnswerDoesNotFitReportsInsufficientMemory)
{
    TfrmTraducao* form = openLoaded(kIdiomas, someRows(), QStringLiteral("ENG-English"));
    ASSERT_TRUE(form);
    boTestaFiltro = true;
    stTRAD = stDUV = stNTRAD = QStringLiteral("T");
    // A packet without the translation fields cannot be loaded into the row set.
    const QByteArray packet = R"(<?xml version="1.0" encoding="UTF-8" standalone="yes"?><DATAPACKET Version="2.0">)"
                              R"(<METADATA><FIELDS><FIELD attrname="X" fieldtype="string" WIDTH="3"/></FIELDS>)"
                              R"(<PARAMS/></METADATA><ROWDATA><ROW X="abc"/></ROWDATA></DATAPACKET>)";
    proxy->answerNextWith(
        "\"result\":"
        + QJsonDocument(QJsonArray{QString::fromUtf8(packet)}).toJson(QJsonDocument::Compact).mid(1).chopped(1));
    reload();
    EXPECT_EQ(seam.messages(),
              QStringList{QStringLiteral("Não foi possível retornar todos os registros selecionados. "
                                         "Informe um intervalo de datas menor.")});
    EXPECT_TRUE(seam.errors().isEmpty());
    EXPECT_FALSE(form->cdsDestino->Active()) << "a failed load leaves the row set closed";
    EXPECT_FALSE(ShowAviActive());

    // Without a filter the same failure reaches the general error display.
    boTestaFiltro = false;
    seam.clear();
    proxy->answerNextWith(
        "\"result\":"
        + QJsonDocument(QJsonArray{QString::fromUtf8(packet)}).toJson(QJsonDocument::Compact).mid(1).chopped(1));
    reload();
    EXPECT_EQ(seam.count(RecordingDialogSeam::Error), 1);
    EXPECT_FALSE(ShowAviActive());
}

TEST_F(EditorSpine, AFailedLanguageListStillOpensTheEditorEmpty)
{
    startServer(kIdiomas, someRows());
    proxy->answerNextWith(R"("error":{"code":-32603,"message":"Banco indisponível."})");
    TfrmTraducao* form = openEditor();
    ASSERT_TRUE(form);
    EXPECT_EQ(seam.errors(), QStringList{QStringLiteral("Banco indisponível.")});
    EXPECT_TRUE(form->isVisible());
    EXPECT_EQ(form->cbbIdioma->count(), 0);
    EXPECT_FALSE(ShowAviActive());
    leaveLanguagePanel();
    EXPECT_EQ(seam.messages(), QStringList{QStringLiteral("Idioma deve ser informado.")});
}

TEST_F(EditorSpine, AnUnreachableServerIsReportedAndTheEditorStillOpens)
{
    startServer(kIdiomas, {});
    ASSERT_TRUE(server->terminate());
    TfrmTraducao* form = openEditor();
    ASSERT_TRUE(form);
    ASSERT_EQ(seam.count(RecordingDialogSeam::Error), 1);
    EXPECT_FALSE(ShowAviActive()) << "the busy animation must not stay over the window";
    EXPECT_EQ(form->cbbIdioma->count(), 0);
}

TEST_F(EditorSpine, TheConnectionTakesTheConfiguredServerBeforeEachConnect)
{
    startServer(kIdiomas, {});
    TfrmTraducao* form = openEditor();
    ASSERT_TRUE(form);
    EXPECT_EQ(form->netTraducao->ServerName, QStringLiteral("Trd09300.rdmTraducao"));
    EXPECT_EQ(form->netTraducao->Port, proxy->port());
    form->netTraducao->Close();
    WebPort = server->port();
    form->netTraducao->Open();
    EXPECT_EQ(form->netTraducao->Port, server->port());
    EXPECT_TRUE(form->netTraducao->Connected());
}

} // namespace

namespace {

TEST_F(EditorSpine, ReloadOfTwoHundredThousandRows)
{
    const QString path = dir.filePath(QStringLiteral("big.tsv"));
    {
        QFile file(path);
        ASSERT_TRUE(file.open(QIODevice::WriteOnly));
        file.write(SeedTsv(kIdiomas, {}));
        const char* status[] = {"T", "D", "N"};
        for (int i = 0; i < 200000; ++i)
            file.write(QStringLiteral("R\tENG\tTRD%1\tlbl%2\tTexto de origem número %3\tSource text %3\t%4\n")
                           .arg(i % 500, 5, 10, QLatin1Char('0'))
                           .arg(i % 37)
                           .arg(i)
                           .arg(QLatin1String(status[i % 3]))
                           .toUtf8());
    }
    startServerFromFile(path);
    TfrmTraducao* form = openEditor();
    ASSERT_TRUE(form);
    loadLanguage(QStringLiteral("ENG-English"));
    ASSERT_TRUE(form->cdsDestino->Active());
    EXPECT_EQ(form->cdsDestino->RecordCount(), 200000);
    EXPECT_EQ(form->dbgPadrao->model()->rowCount(), 200000);
    EXPECT_EQ(form->cdsDestino->RecNo(), 1);
    EXPECT_EQ(form->lblOrigem->text(), form->cdsDestino->FieldByName("STAGRVALPROP")->AsString());
    form->cdsDestino->Last();
    EXPECT_EQ(form->lblOrigem->text(), form->cdsDestino->FieldByName("STAGRVALPROP")->AsString());
    EXPECT_TRUE(seam.errors().isEmpty()) << seam.errors().join('|').toStdString();
}

} // namespace
