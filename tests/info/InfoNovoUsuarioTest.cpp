// A new user's path to the statistics, in process with the real host and the
// real package against a real trd-server: the module opens as
// `trd-client --open` opens it, the user picks a language and loads its rows
// through the filter dialog, opens the information dialog from the editor's
// button, types a price and a range of dates, calculates, and reads numbers
// equal to a count made directly on the server's database.
//
// The package is not linked: the screens are reached as a user reaches them,
// through widgets found by their names, keys and clicks.
#include "ClientOptions.h"
#include "FloatFormat.h"
#include "InfoBanco.h"
#include "MainWindow.h"
#include "RecordingDialogSeam.h"
#include "TForm.h"
#include "HostEditor.h"
#include "TrdServerProcess.h"

#include <QAbstractItemModel>
#include <QApplication>
#include <QComboBox>
#include <QDate>
#include <QLineEdit>
#include <QMdiArea>
#include <QTableView>
#include <QTest>
#include <QToolButton>

#include <gtest/gtest.h>

using namespace trd;
using namespace trd::test;

TEST(InfoNovoUsuarioTest, AbreDoEditorCalculaEVeOQueOBancoConta)
{
    TrdServerProcess::Options opcoes;
    opcoes.seedTsv = SementeTeste(false);
    TrdServerProcess servidor(opcoes);
    ASSERT_TRUE(servidor.isRunning()) << servidor.errorString().toStdString();

    ASSERT_NO_FATAL_FAILURE(abreComoOCliente(servidor.hostPort()));
    RecordingDialogSeam seam;
    MainWindow janela(qEnvironmentVariable("TRD_LIB_DIR"));
    janela.show();
    QWidget* editor = nullptr;
    ASSERT_NO_FATAL_FAILURE(abreEditor(janela, seam, editor));
    auto* cbbIdioma = achar<QComboBox>(editor, "cbbIdioma");
    auto* sbtInfor = achar<QToolButton>(editor, "sbtInfor");
    ASSERT_TRUE(cbbIdioma && sbtInfor);
    EXPECT_FALSE(sbtInfor->isEnabled()); // nothing loaded yet

    // English from the list, then out of the panel: the filter dialog loads its rows.
    ASSERT_NO_FATAL_FAILURE(escolheIdiomaPelaSeta(janela, cbbIdioma, QStringLiteral("ENG-English")));
    seam.onModal = [&](TForm& filtro) {
        ASSERT_TRUE(QTest::qWaitFor([&] { return QApplication::activeWindow() == &filtro; }));
        auto* inicial = achar<QLineEdit>(&filtro, "depDtInicial");
        auto* final = achar<QLineEdit>(&filtro, "depDtFinal");
        auto* confirma = achar<QToolButton>(&filtro, "sbtConfirma");
        ASSERT_TRUE(inicial && final && confirma);
        inicial->setFocus();
        QTest::keyClicks(inicial, QStringLiteral("01/01/2020"));
        final->setFocus();
        QTest::keyClicks(final, QDate::currentDate().toString(QStringLiteral("dd/MM/yyyy")));
        QTest::mouseClick(confirma, Qt::LeftButton);
    };
    QTest::keyClick(cbbIdioma, Qt::Key_Tab);
    ASSERT_TRUE(QTest::qWaitFor([&] { return seam.count(RecordingDialogSeam::Modal) == 1; }));
    ASSERT_TRUE(QTest::qWaitFor([&] { return QApplication::activeModalWidget() == nullptr; }));
    seam.onModal = nullptr;
    ASSERT_TRUE(seam.errors().isEmpty()) << seam.errors().join(u'\n').toStdString();

    // The information button opens the dialog beside the editor.
    ASSERT_TRUE(QTest::qWaitFor([&] { return sbtInfor->isEnabled(); }));
    janela.activateWindow();
    ASSERT_TRUE(QTest::qWaitForWindowActive(&janela));
    QTest::mouseClick(sbtInfor, Qt::LeftButton);
    QWidget* info = nullptr;
    ASSERT_TRUE(QTest::qWaitFor([&] { return (info = janelaDeNome("frmInfoTraducao")) != nullptr; }));
    ASSERT_TRUE(QTest::qWaitFor([&] { return QApplication::activeWindow() == info; }));
    EXPECT_EQ(info->windowTitle(), QStringLiteral("Informações da Tradução"));
    EXPECT_TRUE(editor->isVisible()); // modeless: the editor stays open
    auto* preco = achar<QLineEdit>(info, "nbePreco");
    auto* inicial = achar<QLineEdit>(info, "depDtInicial");
    auto* final = achar<QLineEdit>(info, "depDtFinal");
    auto* calcular = achar<QToolButton>(info, "sbtConfirma");
    auto* grade = achar<QTableView>(info, "stgCalculo");
    ASSERT_TRUE(preco && inicial && final && calcular && grade);
    const auto celula = [&](int col, int row) { return grade->model()->index(row, col).data().toString(); };
    const QString db = servidor.dbPath();
    // Before any calculation: the language's lines per status.
    EXPECT_EQ(celula(1, 1), QString::number(linhasBanco(db, "ENG", "T")));
    EXPECT_EQ(celula(1, 5), QString::number(linhasBanco(db, "ENG", QString())));
    EXPECT_EQ(celula(2, 5), QString());

    // A price and a week of change dates, typed; Calculate clicked.
    ASSERT_TRUE(preco->hasFocus());
    QTest::keyClicks(preco, QStringLiteral("0.035"));
    QTest::keyClick(preco, Qt::Key_Tab);
    QTest::keyClicks(inicial, QStringLiteral("09/01/2025"));
    QTest::keyClick(inicial, Qt::Key_Tab);
    QTest::keyClicks(final, QStringLiteral("11/01/2025"));
    QTest::mouseClick(calcular, Qt::LeftButton);
    EXPECT_TRUE(seam.messages().isEmpty()) << seam.messages().join(u'\n').toStdString();
    EXPECT_TRUE(seam.errors().isEmpty()) << seam.errors().join(u'\n').toStdString();

    const Intervalo semana{9, 11};
    const char* situacoes[] = {"T", "N", "D"};
    for (int r = 1; r <= 3; ++r) {
        const QString s = QString::fromLatin1(situacoes[r - 1]);
        const qint64 caracteres = caracteresBanco(db, "ENG", s, semana);
        EXPECT_EQ(celula(1, r), QString::number(linhasBanco(db, "ENG", s, semana))) << r;
        EXPECT_EQ(celula(2, r), QString::number(caracteres)) << r;
        EXPECT_EQ(celula(3, r), custoExato(350000, caracteres)) << r;
    }
    const qint64 todos = caracteresBanco(db, "ENG", QString(), semana);
    EXPECT_GT(todos, 400); // the long text, sent in pieces, is in the week
    EXPECT_EQ(celula(1, 5), QString::number(linhasBanco(db, "ENG", QString(), semana)));
    EXPECT_EQ(celula(2, 5), QString::number(todos));
    EXPECT_EQ(celula(3, 5), custoExato(350000, todos));

    // Closed with its own button; the editor goes on.
    QTest::mouseClick(achar<QToolButton>(info, "sbtCancel"), Qt::LeftButton);
    QCoreApplication::sendPostedEvents(nullptr, QEvent::DeferredDelete);
    EXPECT_EQ(janelaDeNome("frmInfoTraducao"), nullptr);
    EXPECT_TRUE(editor->isVisible());
    janela.MdiArea()->closeAllSubWindows();
    QCoreApplication::sendPostedEvents(nullptr, QEvent::DeferredDelete);
}
