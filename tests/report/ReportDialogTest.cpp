// The report dialog base with real widgets: the list of a code's reports from
// the configured folder, the parameter request carrying exactly what a report
// declares, the data sets of the dialog reached by component name, the
// refusals "REG_NULL" and "Arq_Rel_Err", and the buttons that run, create and
// delete reports.
#include "ReportDesignerWindow.h"
#include "ReportPreviewWindow.h"
#include "ReportTestKit.h"
#include "RecordingDialogSeam.h"
#include "TfrmDadosGerRel.h"

#include <QApplication>
#include <QCheckBox>
#include <QComboBox>
#include <QDir>
#include <QInputDialog>
#include <QLineEdit>
#include <QPlainTextEdit>
#include <QTableWidget>
#include <QTimer>
#include <QSettings>
#include <QTest>

#include <gtest/gtest.h>

using namespace trd;
using namespace trd::test;

namespace {

const std::vector<FieldSpec> ResumoFields = {{"CDPROGTRAD", "string", 20}, {"LINHAS", "r8"}};

// A report dialog as the module writes one: a data set of its own, loaded
// while it answers the parameter request.
class Relatorio : public TfrmDadosGerRel {
protected:
    QString programFolder() const override { return programa.isEmpty() ? TfrmDadosGerRel::programFolder() : programa; }

public:
    TClientDataSet* cdsResumo;
    QStringList requested; // names of the parameters of the last request
    int requests = 0;
    bool refuse = false;
    QString programa; // where the program runs from (its own folder when empty)

    Relatorio()
    {
        lblCodRel->setText(QStringLiteral("TST001"));
        msgPadrao->Messages = {
            QStringLiteral(
                "Arq_Rel_Err|O arquivo contendo a definição do relatório de código '%s' não foi encontrado no diretório '%s'."),
            QStringLiteral("REG_NULL|AVISO: O diretório dos arquivos de tradução não foi definido no registro."),
            QStringLiteral("NovoCaption|Título do relatório"),
            QStringLiteral("NovoPrompt|Informe o título do relatório:")};
        cdsResumo = make<TClientDataSet>("cdsResumo", this);
        rpddPadrao->BeforeGetQueryParams = [this](QObject*, TParams& params, bool& abort) {
            ++requests;
            requested.clear();
            for (int i = 0; i < params.Count(); ++i)
                requested << params.Items(i).Name();
            if (refuse) {
                abort = true;
                return;
            }
            if (ExistParam(params, QStringLiteral("P_IDIDIOMA")))
                params.ParamByName(QStringLiteral("P_IDIDIOMA")).SetAsString(QStringLiteral("ENG"));
            if (ExistParam(params, QStringLiteral("P_DtFim")))
                params.ParamByName(QStringLiteral("P_DtFim")).SetAsDate(EncodeDate(2025, 4, 1));
            LoadRows(*cdsResumo, ResumoFields, {{"TRD09300", "12"}, {"TRD09301", "30"}});
        };
    }
};

QByteArray definition(const char* title)
{
    return QByteArray(R"(<?xml version="1.0" encoding="UTF-8"?>
<report version="1" title=")")
        + title + R"(" code="TST001">
  <parameters>
    <parameter name="P_IDIDIOMA"/>
    <parameter name="P_DtFim" type="date"/>
  </parameters>
  <sources><dataset component="cdsResumo"/></sources>
  <body>
    <text>Idioma {P_IDIDIOMA} até {P_DtFim}</text>
    <table source="cdsResumo">
      <column field="CDPROGTRAD" title="Tela"/>
      <column field="LINHAS" title="Linhas" align="right" format="0" total="sum"/>
    </table>
  </body>
</report>
)";
}

class ReportDialogTest : public ::testing::Test {
protected:
    void SetUp() override
    {
        ASSERT_TRUE(config.isValid() && folder.isValid());
        qputenv("XDG_CONFIG_HOME", config.path().toUtf8());
        QCoreApplication::setOrganizationName(QStringLiteral("trd-tests"));
        QCoreApplication::setApplicationName(QStringLiteral("report-dialog"));
        qputenv("TRD_REPORTS_DIR", folder.path().toUtf8());
    }
    void TearDown() override { qunsetenv("TRD_REPORTS_DIR"); }

    QTemporaryDir config;
    QTemporaryDir folder;
    RecordingDialogSeam seam;
};

TEST_F(ReportDialogTest, ListsTheReportsOfItsCodeAndRunsOneWithTheParametersItDeclares)
{
    WriteFile(folder, QStringLiteral("TST001_resumo.xml"), definition("Resumo por tela"));
    WriteFile(folder, QStringLiteral("OUT999_outro.xml"), definition("De outro diálogo"));
    auto* form = CreateForm<Relatorio>();
    ASSERT_EQ(form->cbbReportNames->count(), 1);
    EXPECT_EQ(form->cbbReportNames->itemText(0), QStringLiteral("Resumo por tela"));

    QString pdf = folder.filePath(QStringLiteral("saida.pdf"));
    int pages = 0;
    seam.onModal = [&](TForm& f) {
        auto* preview = qobject_cast<ReportPreviewWindow*>(&f);
        ASSERT_NE(preview, nullptr);
        pages = preview->Document().pageCount();
        EXPECT_FALSE(preview->PageImage()->pixmap().isNull());
        EXPECT_TRUE(preview->SavePdf(pdf));
        f.Close();
    };
    form->sbtConfirma->Click();
    EXPECT_EQ(form->requests, 1);
    EXPECT_EQ(form->requested, (QStringList{QStringLiteral("P_IDIDIOMA"), QStringLiteral("P_DtFim")}));
    EXPECT_EQ(pages, 1);
    const QString text = PdfText(pdf);
    EXPECT_TRUE(text.contains(QStringLiteral("Idioma ENG até 01/04/2025"))) << text.toStdString();
    EXPECT_TRUE(text.contains(QStringLiteral("TRD09301"))) << text.toStdString();
    EXPECT_TRUE(text.contains(QStringLiteral("42"))) << text.toStdString();
    EXPECT_TRUE(seam.errors().isEmpty()) << seam.errors().join(u'\n').toStdString();
    delete form;
}

TEST_F(ReportDialogTest, AnAbortedRequestRunsNothing)
{
    WriteFile(folder, QStringLiteral("TST001_resumo.xml"), definition("Resumo"));
    auto* form = CreateForm<Relatorio>();
    form->refuse = true;
    form->sbtExecRel->Click();
    EXPECT_EQ(form->requests, 1);
    EXPECT_EQ(seam.count(RecordingDialogSeam::Modal), 0);
    delete form;
}

// Creates the dialog as though the program ran from `programa`.
static Relatorio* criaEm(const QString& programa)
{
    auto* form = new Relatorio;
    form->programa = programa;
    form->DoCreate();
    return form;
}

TEST_F(ReportDialogTest, WithNothingConfiguredTheReportsBesideTheProgramServeElseEachActionSaysWhatToSet)
{
    qunsetenv("TRD_REPORTS_DIR");
    QSettings().remove(TfrmDadosGerRel::ReportsFolderKey);

    // Started directly, nothing set: the reports shipped beside the program.
    QTemporaryDir programa;
    ASSERT_TRUE(QDir(programa.path()).mkdir(QStringLiteral("relatorios")));
    WriteFile(programa, QStringLiteral("relatorios/TST001_resumo.xml"), definition("Resumo instalado"));
    auto* form = criaEm(programa.path());
    ASSERT_EQ(form->cbbReportNames->count(), 1);
    EXPECT_EQ(form->cbbReportNames->itemText(0), QStringLiteral("Resumo instalado"));
    delete form;

    // No reports there either: the list says so in a few words, and every
    // action refuses with the whole message, which names the variable, the
    // setting with its file, and the folder looked for.
    QTemporaryDir vazio;
    form = criaEm(vazio.path());
    const QString regNull = QStringLiteral("AVISO: O diretório dos arquivos de tradução não foi definido no registro.");
    EXPECT_EQ(form->cbbReportNames->count(), 0);
    EXPECT_LE(form->cbbReportNames->placeholderText().size(), 40) << "fits the list without being cut";
    for (TButtonFlat* b : {form->sbtExecRel, form->sbtEditRel, form->sbtNovoRel, form->sbtExclRel}) {
        seam.clear();
        b->click(); // as the user clicks: through the dispatch helper
        ASSERT_EQ(seam.messages().size(), 1) << b->objectName().toStdString();
        const QString m = seam.messages().first();
        EXPECT_TRUE(m.startsWith(regNull)) << m.toStdString();
        for (const QString& parte : {QStringLiteral("TRD_REPORTS_DIR"), QStringLiteral("Relatorios/Diretorio"),
                                     QSettings().fileName(), vazio.filePath(QStringLiteral("relatorios"))})
            EXPECT_TRUE(m.contains(parte)) << parte.toStdString() << " in " << m.toStdString();
    }
    EXPECT_EQ(form->cbbReportNames->toolTip(), seam.messages().first());
    EXPECT_EQ(form->requests, 0);
    delete form;

    // The setting serves when the environment does not say, before the
    // program's own folder.
    QSettings().setValue(TfrmDadosGerRel::ReportsFolderKey, folder.path());
    WriteFile(folder, QStringLiteral("TST001_resumo.xml"), definition("Resumo"));
    form = criaEm(programa.path());
    ASSERT_EQ(form->cbbReportNames->count(), 1);
    EXPECT_EQ(form->cbbReportNames->itemText(0), QStringLiteral("Resumo"));
    delete form;
    QSettings().remove(TfrmDadosGerRel::ReportsFolderKey);
}

TEST_F(ReportDialogTest, AReportWhoseFileWentMissingNamesTheCodeAndTheFolder)
{
    const QString file = WriteFile(folder, QStringLiteral("TST001_resumo.xml"), definition("Resumo"));
    auto* form = CreateForm<Relatorio>();
    ASSERT_EQ(form->cbbReportNames->count(), 1);
    QFile::remove(file);
    form->sbtExecRel->click();
    const QString expected = QStringLiteral("O arquivo contendo a definição do relatório de código 'TST001' não foi "
                                            "encontrado no diretório '%1'.")
                                 .arg(folder.path());
    EXPECT_EQ(seam.messages(), QStringList{expected});
    EXPECT_EQ(form->requests, 0);
    delete form;
}

TEST_F(ReportDialogTest, AMalformedDefinitionIsShownWithItsFileAndLine)
{
    WriteFile(folder, QStringLiteral("TST001_ruim.xml"),
              "<report version=\"1\" title=\"Ruim\">\n<body>\n<tabel/>\n</body></report>");
    auto* form = CreateForm<Relatorio>();
    form->sbtExecRel->click();
    ASSERT_EQ(seam.errors().size(), 1);
    EXPECT_TRUE(seam.errors().first().contains(QStringLiteral("TST001_ruim.xml', linha 3")))
        << seam.errors().first().toStdString();
    EXPECT_TRUE(seam.errors().first().contains(QStringLiteral("<tabel>")));
    delete form;
}

TEST_F(ReportDialogTest, DeletingAReportAsksFirstAndRemovesItsFile)
{
    const QString file = WriteFile(folder, QStringLiteral("TST001_resumo.xml"), definition("Resumo"));
    auto* form = CreateForm<Relatorio>();
    seam.answers = {mrNo};
    form->sbtExclRel->click();
    EXPECT_TRUE(QFile::exists(file));
    EXPECT_EQ(seam.messages(), QStringList{QStringLiteral("Excluir o relatório 'Resumo'?")});
    seam.answers = {mrYes};
    form->sbtExclRel->click();
    EXPECT_FALSE(QFile::exists(file));
    EXPECT_EQ(form->cbbReportNames->count(), 0);
    delete form;
}

// Answers the next modal input dialog with a text, as a user typing it would.
void answerInput(const QString& text, QString* caption, QString* prompt)
{
    QTimer::singleShot(0, [=] {
        auto* input = qobject_cast<QInputDialog*>(QApplication::activeModalWidget());
        ASSERT_NE(input, nullptr);
        *caption = input->windowTitle();
        *prompt = input->labelText();
        input->setTextValue(text);
        input->accept();
    });
}

int rowOf(QTableWidget* grid, const QString& field)
{
    for (int r = 0; r < grid->rowCount(); ++r)
        if (grid->item(r, 0)->text() == field)
            return r;
    return -1;
}

TEST_F(ReportDialogTest, TheDesignerCreatesAReportThatListsRunsAndReopensUnchanged)
{
    auto* form = CreateForm<Relatorio>();
    QString caption, prompt;
    answerInput(QStringLiteral("Linhas por tela"), &caption, &prompt);
    QString error;
    seam.onModal = [&](TForm& f) {
        auto* d = qobject_cast<ReportDesignerWindow*>(&f);
        ASSERT_NE(d, nullptr);
        EXPECT_EQ(d->edtTitulo->text(), QStringLiteral("Linhas por tela"));
        d->cbbFonte->setCurrentIndex(d->cbbFonte->findData(QStringLiteral("dataset:cdsResumo")));
        // The data set is empty until the dialog loads it: refreshing raises the request.
        d->edtParametros->setText(QStringLiteral("P_IDIDIOMA:string"));
        d->RefreshData();
        QTableWidget* grid = d->grdColunas;
        const int tela = rowOf(grid, QStringLiteral("CDPROGTRAD"));
        const int linhas = rowOf(grid, QStringLiteral("LINHAS"));
        ASSERT_GE(tela, 0);
        ASSERT_GE(linhas, 0);
        grid->item(tela, 0)->setCheckState(Qt::Checked);
        grid->item(tela, 1)->setText(QStringLiteral("Tela"));
        grid->item(linhas, 0)->setCheckState(Qt::Checked);
        grid->item(linhas, 1)->setText(QStringLiteral("Linhas"));
        grid->item(linhas, 2)->setText(QStringLiteral("25"));
        grid->item(linhas, 4)->setText(QStringLiteral("0"));
        static_cast<QComboBox*>(grid->cellWidget(linhas, 3))->setCurrentIndex(2); // right
        static_cast<QComboBox*>(grid->cellWidget(linhas, 5))->setCurrentIndex(1); // sum
        d->cbbOrdem->setCurrentIndex(d->cbbOrdem->findData(QStringLiteral("LINHAS")));
        d->chbDecrescente->setChecked(true);
        d->memTexto->setPlainText(QStringLiteral("Idioma {P_IDIDIOMA}"));
        d->UpdatePreview();
        error = d->PreviewMessage();
        EXPECT_EQ(d->PreviewPages(), 1);
        d->Save();
    };
    form->sbtNovoRel->click();
    EXPECT_EQ(caption, QStringLiteral("Título do relatório"));
    EXPECT_EQ(prompt, QStringLiteral("Informe o título do relatório:"));
    EXPECT_TRUE(error.isEmpty()) << error.toStdString();
    ASSERT_EQ(form->cbbReportNames->count(), 1);
    EXPECT_EQ(form->cbbReportNames->currentText(), QStringLiteral("Linhas por tela"));
    const QString file = form->SelectedReportFile();
    EXPECT_EQ(QFileInfo(file).fileName(), QStringLiteral("TST001_linhas_por_tela.xml"));
    QFile saved(file);
    ASSERT_TRUE(saved.open(QIODevice::ReadOnly));
    const QByteArray first = saved.readAll();
    saved.close();

    // Reopened and saved untouched, the file stays byte for byte the same.
    seam.onModal = [&](TForm& f) {
        auto* d = qobject_cast<ReportDesignerWindow*>(&f);
        ASSERT_NE(d, nullptr);
        EXPECT_EQ(WriteReportDefinition(d->Definition()), first);
        d->Save();
    };
    form->sbtEditRel->click();
    ASSERT_TRUE(saved.open(QIODevice::ReadOnly));
    EXPECT_EQ(saved.readAll(), first);
    saved.close();

    // And it runs: the request, the rows sorted by lines, the total.
    QString pdf = folder.filePath(QStringLiteral("novo.pdf"));
    seam.onModal = [&](TForm& f) {
        auto* preview = qobject_cast<ReportPreviewWindow*>(&f);
        ASSERT_NE(preview, nullptr);
        EXPECT_TRUE(preview->SavePdf(pdf));
        f.Close();
    };
    form->sbtExecRel->click();
    const QString text = PdfText(pdf).simplified();
    EXPECT_TRUE(text.contains(QStringLiteral("Idioma ENG Tela Linhas TRD09301 30 TRD09300 12 Total geral 42")))
        << text.toStdString();
    EXPECT_TRUE(seam.errors().isEmpty()) << seam.errors().join(u'\n').toStdString();
    delete form;
}

TEST_F(ReportDialogTest, TheDesignerKeepsWhatItDoesNotEditOfAHandWrittenDefinition)
{
    // A styled title, a chart before its table, a second table: opened and
    // saved without a change, the definition means the same.
    QByteArray xml = definition("Escrito à mão");
    xml.replace("<text>", "<text size=\"14\" bold=\"true\" align=\"center\">");
    xml.replace("<table source=\"cdsResumo\">",
                "<chart table=\"t\" value=\"LINHAS\" title=\"Barras\" height=\"40\"/>\n"
                "<table name=\"t\" source=\"cdsResumo\" group=\"CDPROGTRAD\">");
    xml.replace("</body>", "<table name=\"outra\" source=\"cdsResumo\"><column field=\"LINHAS\"/></table></body>");
    const QString file = WriteFile(folder, QStringLiteral("TST001_mao.xml"), xml);
    const QByteArray expected = WriteReportDefinition(ReadReportDefinition(file));
    auto* form = CreateForm<Relatorio>();
    seam.onModal = [&](TForm& f) {
        auto* d = qobject_cast<ReportDesignerWindow*>(&f);
        ASSERT_NE(d, nullptr);
        EXPECT_EQ(d->memTexto->toPlainText(), QStringLiteral("Idioma {P_IDIDIOMA} até {P_DtFim}"));
        EXPECT_TRUE(d->chbGrafico->isChecked());
        d->Save();
    };
    form->sbtEditRel->click();
    EXPECT_EQ(QString::fromUtf8(WriteReportDefinition(ReadReportDefinition(file))).toStdString(),
              QString::fromUtf8(expected).toStdString());
    delete form;
}

} // namespace
