// The editor's export and import on a real X display, driven as a user does:
// the menu shortcut opens the dialog, the user picks the format and the file,
// the import lists what the file would do, leaves a conflict unticked, and
// applies; the server holds the file's change and keeps the colleague's, and
// the grid shows what the server holds; the batches window lists the import
// as one batch and undoes it. Cancel leaves no file behind.
#include "Cli_Trd09308.h"
#include "EditorTestKit.h"
#include "ExchangeJobs.h"
#include "UnitId.h"

#include <QApplication>
#include <QComboBox>
#include <QFile>
#include <QLabel>
#include <QLineEdit>
#include <QPointer>
#include <QPushButton>
#include <QScrollBar>
#include <QTableWidget>
#include <QTest>

using namespace trd;
using namespace trd::test;

namespace {

const QList<Idioma> kIdiomas = {{"ENG", "English"}};
const QList<Linha> kLinhas = {
    {"ENG", "TRD09300", "sbtSalvar", "&Salvar", "&Save", "T"},
    {"ENG", "TRD09300", "lblNome", "Nome", "", "N"},
    {"ENG", "TRD09301", "lblAbrir", "Abrir", "Open", "D"},
    {"ENG", "TRD09301", "lblLinhas", "Linha 1\nLinha 2", "Line 1\nLine 2", "T"},
};

QWidget* topLevel(const char* name)
{
    for (QWidget* w : QApplication::topLevelWidgets())
        if (w->objectName() == QLatin1String(name) && w->isVisible())
            return w;
    return nullptr;
}

class ExchangeXcb : public EditorTest {
protected:
    TfrmTraducao* open()
    {
        TfrmTraducao* form = openLoaded(kIdiomas, kLinhas, QStringLiteral("ENG-English"));
        if (form) {
            form->dbgPadrao->setFocus();
            EXPECT_TRUE(QTest::qWaitFor([form] { return form->dbgPadrao->hasFocus(); }));
        }
        return form;
    }
    // Opens a dialog with its menu shortcut, as the user presses it in the grid.
    QWidget* shortcut(TfrmTraducao* form, Qt::Key key, const char* dialog)
    {
        // Without a window manager nothing activates the main window again
        // after a dialog closed: the user's click on it does.
        main.activateWindow();
        EXPECT_TRUE(QTest::qWaitForWindowActive(&main));
        form->dbgPadrao->setFocus();
        EXPECT_TRUE(QTest::qWaitFor([form] { return form->dbgPadrao->hasFocus(); }));
        QTest::keyClick(form->dbgPadrao, key, Qt::ControlModifier | Qt::ShiftModifier);
        QWidget* w = nullptr;
        EXPECT_TRUE(QTest::qWaitFor([&] { return (w = topLevel(dialog)) != nullptr; })) << dialog;
        if (w) {
            EXPECT_TRUE(QTest::qWaitFor([w] { return QApplication::activeWindow() == w; }));
        }
        return w;
    }
    // A colleague saves the row through the server, as the editor would.
    void saveBehind(const std::string& source, const std::string& destination)
    {
        exchange::ServerAddress address;
        address.host = server->host();
        address.port = server->port();
        exchange::JobControl control;
        exchange::ServerLink link(address, control);
        const std::vector<exchange::Row> rows = link.rowsWithDates(QStringLiteral("ENG"));
        exchange::Document doc;
        for (const exchange::Row& r : rows)
            if (r.source == source) {
                exchange::Unit u;
                u.id = exchange::unitId(r.program, r.component, r.source);
                u.source = r.source;
                u.target = destination;
                u.status = r.status;
                doc.units.push_back(u);
            }
        const exchange::Plan plan = exchange::planImport(doc, rows, 1e9);
        ASSERT_EQ(plan.count(exchange::Outcome::Changed), 1);
        link.apply(exchange::buildDelta(plan, rows, QStringLiteral("ENG"), {}));
    }
    static void setText(QLineEdit* edit, const QString& text)
    {
        edit->setFocus();
        edit->selectAll();
        QTest::keyClick(edit, Qt::Key_Delete);
        QTest::keyClicks(edit, text);
    }
    QString exportFile(TfrmTraducao* form, int formatIndex, const QString& name)
    {
        QWidget* dlg = shortcut(form, Qt::Key_E, "dlgExportar");
        if (!dlg)
            return {};
        auto* formato = dlg->findChild<QComboBox*>(QStringLiteral("cbbFormato"));
        formato->setCurrentIndex(formatIndex);
        const QString path = dir.filePath(name);
        setText(dlg->findChild<QLineEdit*>(QStringLiteral("edtArquivo")), path);
        QPointer<QWidget> alive(dlg);
        QTest::mouseClick(dlg->findChild<QPushButton*>(QStringLiteral("btnExportar")), Qt::LeftButton);
        EXPECT_TRUE(QTest::qWaitFor([&] { return alive.isNull() || !alive->isVisible(); }, 60000));
        return path;
    }
};

TEST_F(ExchangeXcb, ExportEditImportWithAConflictLeftAlone)
{
    TfrmTraducao* form = open();
    ASSERT_TRUE(form);
    const QString path = exportFile(form, 0, QStringLiteral("eng.xlf"));
    ASSERT_TRUE(QFile::exists(path));
    EXPECT_TRUE(
        seam.texts(RecordingDialogSeam::Message).join(u'\n').contains(QStringLiteral("4 linhas de ENG exportadas")))
        << seam.texts(RecordingDialogSeam::Message).join(u'\n').toStdString();

    // The translator's tool: a new translation, and a change of a row that a
    // colleague saves meanwhile.
    QFile file(path);
    ASSERT_TRUE(file.open(QIODevice::ReadOnly));
    QByteArray xlf = file.readAll();
    file.close();
    xlf.replace("<source>Nome</source>\n     <target state=\"new\"></target>",
                "<source>Nome</source>\n     <target state=\"translated\">Name</target>");
    xlf.replace("<target state=\"translated\">&amp;Save</target>", "<target state=\"translated\">&amp;Keep</target>");
    ASSERT_TRUE(file.open(QIODevice::WriteOnly));
    file.write(xlf);
    file.close();
    ASSERT_NO_FATAL_FAILURE(saveBehind("&Salvar", "&Store"));

    QWidget* dlg = shortcut(form, Qt::Key_I, "dlgImportar");
    ASSERT_TRUE(dlg);
    setText(dlg->findChild<QLineEdit*>(QStringLiteral("edtArquivo")), path);
    QTest::mouseClick(dlg->findChild<QPushButton*>(QStringLiteral("btnLer")), Qt::LeftButton);
    auto* tabela = dlg->findChild<QTableWidget*>(QStringLiteral("tblUnidades"));
    auto* aplicar = dlg->findChild<QPushButton*>(QStringLiteral("btnAplicar"));
    ASSERT_TRUE(QTest::qWaitFor([&] { return aplicar->isEnabled(); }, 60000))
        << dlg->findChild<QLabel*>(QStringLiteral("lblEtapa"))->text().toStdString();
    const QString resumo = dlg->findChild<QLabel*>(QStringLiteral("lblResumo"))->text();
    EXPECT_TRUE(resumo.contains(QStringLiteral("1 novas traduções"))) << resumo.toStdString();
    EXPECT_TRUE(resumo.contains(QStringLiteral("1 conflitos"))) << resumo.toStdString();
    EXPECT_TRUE(resumo.contains(QStringLiteral("2 sem mudança"))) << resumo.toStdString();
    ASSERT_EQ(tabela->rowCount(), 2); // unchanged units are counted, not listed
    int conflito = -1;
    for (int r = 0; r < tabela->rowCount(); ++r)
        if (tabela->item(r, 0)->text() == QStringLiteral("Conflito"))
            conflito = r;
    ASSERT_GE(conflito, 0);
    EXPECT_EQ(tabela->item(conflito, 0)->checkState(), Qt::Unchecked);
    EXPECT_TRUE(tabela->item(conflito, 6)->text().contains(QStringLiteral("depois da exportação")));
    // The reason reads whole without scrolling: the other columns give way.
    const QString motivo = tabela->item(conflito, 6)->text();
    EXPECT_LE(tabela->columnViewportPosition(6) + tabela->columnWidth(6), tabela->viewport()->width());
    EXPECT_GE(tabela->columnWidth(6), tabela->fontMetrics().horizontalAdvance(motivo)) << motivo.toStdString();
    EXPECT_EQ(tabela->horizontalScrollBar()->maximum(), 0);

    QPointer<QWidget> alive(dlg);
    QTest::mouseClick(aplicar, Qt::LeftButton);
    ASSERT_TRUE(QTest::qWaitFor([&] { return alive.isNull() || !alive->isVisible(); }, 60000));
    const QString mensagens = seam.texts(RecordingDialogSeam::Message).join(u'\n');
    EXPECT_TRUE(mensagens.contains(QStringLiteral("1 linha(s) de ENG gravadas"))) << mensagens.toStdString();
    EXPECT_TRUE(mensagens.contains(QStringLiteral("Lotes de Alterações (Ctrl+Shift+H)"))) << mensagens.toStdString();
    EXPECT_EQ(dbRow(QStringLiteral("ENG"), QStringLiteral("Nome")),
              (QStringList{QStringLiteral("Name"), QStringLiteral("T")}));
    EXPECT_EQ(dbRow(QStringLiteral("ENG"), QStringLiteral("&Salvar")).value(0), QStringLiteral("&Store"));
    // The editor reloaded: its grid shows what the server holds.
    ASSERT_TRUE(QTest::qWaitFor([&] {
        return locate(QStringLiteral("Nome"))
            && form->cdsDestino->FieldByName(QStringLiteral("STVALORPROP"))->AsString() == QStringLiteral("Name");
    }));

    // The import is one batch in the batches window, undone from there.
    QStringList tipo, linhas;
    QString resultado;
    seam.answers.push_back(mrYes); // "Desfazer o lote ...?"
    seam.onModal = [&](TForm& janela) {
        auto* lotes = qobject_cast<TfrmLotes*>(&janela);
        ASSERT_TRUE(lotes);
        ASSERT_TRUE(QTest::qWaitFor([&] { return QApplication::activeWindow() == lotes; }));
        ASSERT_GE(lotes->grdLotes->rowCount(), 1);
        tipo << lotes->grdLotes->item(0, 3)->text();
        linhas << lotes->grdLotes->item(0, 4)->text();
        lotes->grdLotes->setCurrentCell(0, 0);
        ASSERT_TRUE(lotes->sbtConfirma->isEnabled());
        QTest::mouseClick(lotes->sbtConfirma, Qt::LeftButton);
        resultado = lotes->lblResultado->text();
        QTest::mouseClick(lotes->sbtCancel, Qt::LeftButton);
    };
    main.activateWindow();
    ASSERT_TRUE(QTest::qWaitForWindowActive(&main));
    form->dbgPadrao->setFocus();
    ASSERT_TRUE(QTest::qWaitFor([form] { return form->dbgPadrao->hasFocus(); }));
    QTest::keyClick(form->dbgPadrao, Qt::Key_H, Qt::ControlModifier | Qt::ShiftModifier);
    EXPECT_EQ(tipo, QStringList{QStringLiteral("Importação")});
    EXPECT_EQ(linhas, QStringList{QStringLiteral("1")});
    EXPECT_TRUE(resultado.contains(QStringLiteral("1 linha voltou"))) << resultado.toStdString();
    EXPECT_TRUE(seam.errors().isEmpty()) << seam.errors().join(u'\n').toStdString();
    EXPECT_EQ(dbRow(QStringLiteral("ENG"), QStringLiteral("Nome")), (QStringList{QString(), QStringLiteral("N")}));
    EXPECT_EQ(dbRow(QStringLiteral("ENG"), QStringLiteral("&Salvar")).value(0), QStringLiteral("&Store"));
}

TEST_F(ExchangeXcb, CancelledExportLeavesNoFileAndTheDialogOpen)
{
    TfrmTraducao* form = open();
    ASSERT_TRUE(form);
    QWidget* dlg = shortcut(form, Qt::Key_E, "dlgExportar");
    ASSERT_TRUE(dlg);
    dlg->findChild<QComboBox*>(QStringLiteral("cbbFormato"))->setCurrentIndex(2);
    const QString path = dir.filePath(QStringLiteral("cancelado.po"));
    setText(dlg->findChild<QLineEdit*>(QStringLiteral("edtArquivo")), path);
    auto* exportar = dlg->findChild<QPushButton*>(QStringLiteral("btnExportar"));
    // Cancel pressed in the same turn of the event loop as Exportar: the
    // run stops at its first step, before anything is asked or written.
    exportar->click();
    dlg->findChild<QPushButton*>(QStringLiteral("btnCancelar"))->click();
    ASSERT_TRUE(QTest::qWaitFor([&] { return exportar->isEnabled(); }, 60000));
    EXPECT_TRUE(dlg->isVisible());
    EXPECT_TRUE(dlg->findChild<QLabel*>(QStringLiteral("lblEtapa"))->text().contains(QStringLiteral("cancelada")));
    EXPECT_FALSE(QFile::exists(path));
    EXPECT_TRUE(seam.texts(RecordingDialogSeam::Message).isEmpty());
    dlg->findChild<QPushButton*>(QStringLiteral("btnCancelar"))->click(); // now it closes
    EXPECT_TRUE(QTest::qWaitFor([&] { return topLevel("dlgExportar") == nullptr; }));
}

} // namespace
