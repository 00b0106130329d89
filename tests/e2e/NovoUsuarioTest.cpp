// The whole path of a new user, in process with the real host and the real
// package against a real trd-server: the host's main window opens the module
// as `trd-client --open` does (the package loaded with QLibrary, IniProc
// called by name), the user picks a language, leaves the language panel,
// fills the filter dialog and confirms, types a destination text in the grid
// and moves on, reloads, and finds the edit saved in the database and shown
// with its promoted status.
//
// The test does not link the package: it reaches the screens only as a user
// does, through widgets found by their names, keys and clicks.
#include "ClientOptions.h"
#include "MainWindow.h"
#include "RecordingDialogSeam.h"
#include "TApplication.h"
#include "TForm.h"
#include "HostEditor.h"
#include "LinhaDoBanco.h"
#include "TrdServerProcess.h"

#include <QAbstractItemModel>
#include <QApplication>
#include <QCheckBox>
#include <QComboBox>
#include <QLabel>
#include <QLineEdit>
#include <QMdiArea>
#include <QTableView>
#include <QTest>
#include <QToolButton>

#include <gtest/gtest.h>

using namespace trd;
using namespace trd::test;

namespace {

const char* const Semente = "L\tENG\tEnglish\tENG\n"
                            "L\tSPA\tEspañol\tSPA\n"
                            "R\tENG\tTRD09300\tBTNABRIR\tAbrir arquivo\t\tN\n"
                            "R\tENG\tTRD09300\tBTNSALVAR\tSalvar arquivo\tSave file\tD\n"
                            "R\tENG\tTRD09300\tBTNFECHAR\tFechar\tClose\tT\n"
                            "R\tENG\tTRD09301\tLBLARQUIVO\tArquivo de lista\t\tN\n"
                            "R\tSPA\tTRD09300\tBTNABRIR\tAbrir arquivo\t\tN\n";

// The grid row whose source text (column 1) is `origem`, or -1.
int linhaDaGrade(const QTableView* grade, const QString& origem)
{
    const QAbstractItemModel* m = grade->model();
    for (int r = 0; r < m->rowCount(); ++r)
        if (m->index(r, 1).data().toString() == origem)
            return r;
    return -1;
}

} // namespace

TEST(NovoUsuarioTest, FiltraEditaRecarregaEEncontraAEdicaoPromovida)
{
    TrdServerProcess::Options opcoes;
    opcoes.seedTsv = Semente;
    TrdServerProcess servidor(opcoes);
    ASSERT_TRUE(servidor.isRunning()) << servidor.errorString().toStdString();

    // trd-client --open --server HOST:PORT, in process.
    ASSERT_NO_FATAL_FAILURE(abreComoOCliente(servidor.hostPort()));
    RecordingDialogSeam seam;
    MainWindow janela(qEnvironmentVariable("TRD_LIB_DIR"));
    janela.show();
    QWidget* editor = nullptr;
    ASSERT_NO_FATAL_FAILURE(abreEditor(janela, seam, editor));
    ASSERT_TRUE(seam.messages().isEmpty()) << seam.messages().join(u'\n').toStdString();
    auto* cbbIdioma = achar<QComboBox>(editor, "cbbIdioma");
    auto* grade = achar<QTableView>(editor, "dbgPadrao");
    ASSERT_TRUE(cbbIdioma && grade);
    ASSERT_EQ(cbbIdioma->count(), 2);

    // Picks English from the list with the keyboard (typing is not accepted there).
    ASSERT_NO_FATAL_FAILURE(escolheIdiomaPelaSeta(janela, cbbIdioma, QStringLiteral("ENG-English")));

    // Leaving the panel opens the filter dialog; the user fills it and confirms.
    bool preencheu = false;
    seam.onModal = [&](TForm& filtro) {
        ASSERT_TRUE(QTest::qWaitFor([&] { return QApplication::activeWindow() == &filtro; }));
        EXPECT_EQ(filtro.Caption(), QStringLiteral("Filtro de Tradução"));
        auto* traduzido = achar<QCheckBox>(&filtro, "ckbTraduzido");
        auto* texto = achar<QLineEdit>(&filtro, "edtTexto");
        auto* inicial = achar<QLineEdit>(&filtro, "depDtInicial");
        auto* final = achar<QLineEdit>(&filtro, "depDtFinal");
        auto* confirma = achar<QToolButton>(&filtro, "sbtConfirma");
        ASSERT_TRUE(traduzido && texto && inicial && final && confirma);
        QTest::mouseClick(traduzido, Qt::LeftButton);
        texto->setFocus();
        QTest::keyClicks(texto, QStringLiteral("arquivo"));
        inicial->setFocus();
        QTest::keyClicks(inicial, QStringLiteral("01/01/2020"));
        final->setFocus();
        QTest::keyClicks(final, QDate::currentDate().toString(QStringLiteral("dd/MM/yyyy")));
        QTest::mouseClick(confirma, Qt::LeftButton);
        preencheu = true;
    };
    // Tab takes the focus out of the language panel.
    QTest::keyClick(cbbIdioma, Qt::Key_Tab);
    ASSERT_TRUE(QTest::qWaitFor([&] { return seam.count(RecordingDialogSeam::Modal) == 1 && preencheu; }));
    ASSERT_TRUE(QTest::qWaitFor([&] { return QApplication::activeModalWidget() == nullptr; }));
    seam.onModal = nullptr;
    EXPECT_TRUE(seam.messages().isEmpty()) << seam.messages().join(u'\n').toStdString();
    EXPECT_TRUE(seam.errors().isEmpty()) << seam.errors().join(u'\n').toStdString();
    ASSERT_EQ(seam.last(RecordingDialogSeam::Modal)->answer, mrCancel); // closed by its own cancel button

    // The rows whose source holds "arquivo", of every status.
    ASSERT_EQ(grade->model()->rowCount(), 3);
    const int linha0 = linhaDaGrade(grade, QStringLiteral("Abrir arquivo"));
    ASSERT_GE(linha0, 0);
    EXPECT_EQ(grade->model()->index(linha0, 0).data().toString(), QStringLiteral("N"));

    // Types the translation in the destination column and moves on.
    janela.activateWindow();
    ASSERT_TRUE(QTest::qWaitForWindowActive(&janela));
    const QModelIndex celula = grade->model()->index(linha0, 2);
    grade->scrollTo(celula);
    QTest::mouseClick(grade->viewport(), Qt::LeftButton, Qt::NoModifier, grade->visualRect(celula).center());
    ASSERT_EQ(grade->currentIndex(), celula);
    QTest::keyClicks(grade->focusWidget(), QStringLiteral("Open file"));
    QTest::keyClick(grade->focusWidget(), Qt::Key_Down);
    EXPECT_TRUE(seam.errors().isEmpty()) << seam.errors().join(u'\n').toStdString();

    // Saved at once, promoted from "N" to "T"; the other language untouched.
    EXPECT_EQ(linhaBanco(servidor.dbPath(), "ENG", "BTNABRIR"),
              (QStringList{QStringLiteral("Open file"), QStringLiteral("T")}));
    EXPECT_EQ(linhaBanco(servidor.dbPath(), "SPA", "BTNABRIR"), (QStringList{QString(), QStringLiteral("N")}));

    // Reloads with the tool-bar button: the filter in force is asked again.
    auto* recarrega = achar<QToolButton>(editor, "sbtVerificar");
    ASSERT_NE(recarrega, nullptr);
    ASSERT_TRUE(recarrega->isEnabled());
    QTest::mouseClick(recarrega, Qt::LeftButton);
    EXPECT_TRUE(seam.errors().isEmpty()) << seam.errors().join(u'\n').toStdString();
    ASSERT_EQ(grade->model()->rowCount(), 3);
    const int depois = linhaDaGrade(grade, QStringLiteral("Abrir arquivo"));
    ASSERT_GE(depois, 0);
    EXPECT_EQ(grade->model()->index(depois, 2).data().toString(), QStringLiteral("Open file"));
    EXPECT_EQ(grade->model()->index(depois, 0).data().toString(), QStringLiteral("T"));

    janela.MdiArea()->closeAllSubWindows();
    QCoreApplication::sendPostedEvents(nullptr, QEvent::DeferredDelete);
}

namespace {

// Fills the filter dialog with a date range that takes every row and confirms it.
void confirmaFiltroAmplo(TForm& filtro)
{
    ASSERT_TRUE(QTest::qWaitFor([&] { return QApplication::activeWindow() == &filtro; }));
    auto* inicial = achar<QLineEdit>(&filtro, "depDtInicial");
    auto* final = achar<QLineEdit>(&filtro, "depDtFinal");
    auto* confirma = achar<QToolButton>(&filtro, "sbtConfirma");
    auto* texto = achar<QLineEdit>(&filtro, "edtTexto");
    ASSERT_TRUE(inicial && final && confirma && texto);
    for (const char* situacao : {"ckbTraduzido", "ckbDuvida", "ckbNaoTraduzido"})
        achar<QCheckBox>(&filtro, situacao)->setChecked(true);
    texto->clear();
    inicial->setFocus();
    inicial->selectAll();
    QTest::keyClicks(inicial, QStringLiteral("01/01/2020"));
    final->setFocus();
    final->selectAll();
    QTest::keyClicks(final, QDate::currentDate().toString(QStringLiteral("dd/MM/yyyy")));
    QTest::mouseClick(confirma, Qt::LeftButton);
}

// Clicks the destination cell of the row with that source text and types, staying in the cell.
void digitaNaCelula(QTableView* grade, const QString& origem, const QString& texto)
{
    const int linha = linhaDaGrade(grade, origem);
    ASSERT_GE(linha, 0) << origem.toStdString();
    const QModelIndex celula = grade->model()->index(linha, 2);
    grade->scrollTo(celula);
    QTest::mouseClick(grade->viewport(), Qt::LeftButton, Qt::NoModifier, grade->visualRect(celula).center());
    ASSERT_EQ(grade->currentIndex(), celula);
    QTest::keyClicks(grade->focusWidget(), texto);
    auto* editor = grade->findChild<QLineEdit*>(QStringLiteral("InplaceEditor"));
    ASSERT_TRUE(editor && editor->isVisible()) << "typing opened the cell's editor";
    ASSERT_EQ(editor->text(), texto);
}

} // namespace

TEST(NovoUsuarioTest, DigitaTrocaOIdiomaSemSairDaCelulaESaiDoProgramaSemPerderNada)
{
    TrdServerProcess::Options opcoes;
    opcoes.seedTsv = Semente;
    TrdServerProcess servidor(opcoes);
    ASSERT_TRUE(servidor.isRunning()) << servidor.errorString().toStdString();
    ASSERT_TRUE(ParseClientOptions({QStringLiteral("trd-client"), QStringLiteral("--server"), servidor.hostPort()})
                    .error.isEmpty());
    RecordingDialogSeam seam;
    seam.onModal = [](TForm& filtro) { confirmaFiltroAmplo(filtro); };
    MainWindow janela(qEnvironmentVariable("TRD_LIB_DIR"));
    janela.show();
    janela.activateWindow();
    QWidget* editor = nullptr;
    ASSERT_NO_FATAL_FAILURE(abreEditor(janela, seam, editor));
    auto* cbbIdioma = achar<QComboBox>(editor, "cbbIdioma");
    auto* grade = achar<QTableView>(editor, "dbgPadrao");
    ASSERT_TRUE(cbbIdioma && grade);

    // English, and its rows through the filter dialog that leaving the panel opens.
    ASSERT_NO_FATAL_FAILURE(escolheIdiomaPelaSeta(janela, cbbIdioma, QStringLiteral("ENG-English")));
    QTest::keyClick(cbbIdioma, Qt::Key_Tab);
    ASSERT_TRUE(QTest::qWaitFor([&] { return grade->model()->rowCount() == 4; }));

    // Types a translation and, still in the cell, takes the language combo and
    // picks Spanish with the arrow key.
    janela.activateWindow();
    ASSERT_TRUE(QTest::qWaitForWindowActive(&janela));
    digitaNaCelula(grade, QStringLiteral("Abrir arquivo"), QStringLiteral("Open file"));
    janela.activateWindow(); // offscreen, typing in the grid leaves no window active
    ASSERT_TRUE(QTest::qWaitForWindowActive(&janela));
    cbbIdioma->setFocus(Qt::MouseFocusReason); // as a click on it
    ASSERT_TRUE(QTest::qWaitFor([&] { return cbbIdioma->hasFocus(); }));
    QTest::keyClick(cbbIdioma, Qt::Key_Down);
    ASSERT_EQ(cbbIdioma->currentText(), QStringLiteral("SPA-Español"));
    EXPECT_TRUE(seam.errors().isEmpty()) << seam.errors().join(u'\n').toStdString();
    EXPECT_EQ(linhaBanco(servidor.dbPath(), "ENG", "BTNABRIR"),
              (QStringList{QStringLiteral("Open file"), QStringLiteral("T")}));
    EXPECT_EQ(grade->model()->rowCount(), 0);

    // Back to English; types again and leaves the program with Arquivo > Sair.
    QTest::keyClick(cbbIdioma, Qt::Key_Up);
    QTest::keyClick(cbbIdioma, Qt::Key_Tab);
    ASSERT_TRUE(QTest::qWaitFor([&] { return grade->model()->rowCount() == 4; }));
    janela.activateWindow();
    ASSERT_TRUE(QTest::qWaitForWindowActive(&janela));
    digitaNaCelula(grade, QStringLiteral("Fechar"), QStringLiteral("Close it"));
    auto* sair = janela.findChild<QAction*>(QStringLiteral("actSair"));
    ASSERT_NE(sair, nullptr);
    sair->trigger();
    QCoreApplication::sendPostedEvents(nullptr, QEvent::DeferredDelete);
    EXPECT_TRUE(seam.errors().isEmpty()) << seam.errors().join(u'\n').toStdString();
    EXPECT_EQ(linhaBanco(servidor.dbPath(), "ENG", "BTNFECHAR"),
              (QStringList{QStringLiteral("Close it"), QStringLiteral("T")}));
    EXPECT_FALSE(janela.isVisible());
    EXPECT_EQ(seam.count(RecordingDialogSeam::Modal), 2);
}
