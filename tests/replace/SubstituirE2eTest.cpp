// A new user's find and replace, end to end: the real host window loads the
// package as trd-client does and opens the editor against a real trd-server;
// the user picks a language, confirms the filter dialog, opens find/replace
// from the editor's tool bar, types a word and its replacement, asks for
// every row, and the server's database holds each replacement with the
// status its save promoted it to. The test reaches the screens only as a
// user does: widgets found by name, keys and clicks.
#include "ClientOptions.h"
#include "MainWindow.h"
#include "RecordingDialogSeam.h"
#include "TForm.h"
#include "HostEditor.h"
#include "LinhaDoBanco.h"
#include "TrdServerProcess.h"

#include <QApplication>
#include <QCheckBox>
#include <QComboBox>
#include <QLineEdit>
#include <QMdiArea>
#include <QRadioButton>
#include <QTest>
#include <QToolButton>

#include <gtest/gtest.h>

using namespace trd;
using namespace trd::test;

namespace {

const char* const Semente = "L\tENG\tEnglish\tENG\n"
                            "L\tSPA\tEspañol\tSPA\n"
                            "R\tENG\tTRD09300\tBTNABRIR\tAbrir arquivo\tOpen file\tN\n"
                            "R\tENG\tTRD09300\tBTNSALVAR\tSalvar arquivo\tSave &File\tD\n"
                            "R\tENG\tTRD09300\tBTNFECHAR\tFechar\tClose\tT\n"
                            "R\tENG\tTRD09300\tLBLLISTA\tLista de arquivos\tFILE LIST\tT\n"
                            "R\tSPA\tTRD09300\tBTNABRIR\tAbrir arquivo\tOpen file\tN\n";

} // namespace

TEST(SubstituirE2e, NovoUsuarioSubstituiUmaPalavraEmTodasAsLinhas)
{
    TrdServerProcess::Options opcoes;
    opcoes.seedTsv = Semente;
    TrdServerProcess servidor(opcoes);
    ASSERT_TRUE(servidor.isRunning()) << servidor.errorString().toStdString();

    ASSERT_NO_FATAL_FAILURE(abreComoOCliente(servidor.hostPort()));
    RecordingDialogSeam seam;
    MainWindow janela(qEnvironmentVariable("TRD_LIB_DIR"));
    janela.show();
    QWidget* editor = nullptr;
    ASSERT_NO_FATAL_FAILURE(abreEditor(janela, seam, editor));
    auto* cbbIdioma = achar<QComboBox>(editor, "cbbIdioma");
    auto* substituir = achar<QToolButton>(editor, "sbtSubstituir");
    ASSERT_TRUE(cbbIdioma && substituir);
    EXPECT_FALSE(substituir->isEnabled()) << "nothing to search before rows are loaded";

    // English, then the filter dialog: every status, any change date.
    ASSERT_NO_FATAL_FAILURE(escolheIdiomaPelaSeta(janela, cbbIdioma, QStringLiteral("ENG-English")));
    seam.onModal = [&](TForm& filtro) {
        ASSERT_TRUE(QTest::qWaitFor([&] { return QApplication::activeWindow() == &filtro; }));
        auto* traduzido = achar<QCheckBox>(&filtro, "ckbTraduzido");
        auto* inicial = achar<QLineEdit>(&filtro, "depDtInicial");
        auto* final = achar<QLineEdit>(&filtro, "depDtFinal");
        auto* confirma = achar<QToolButton>(&filtro, "sbtConfirma");
        ASSERT_TRUE(traduzido && inicial && final && confirma);
        QTest::mouseClick(traduzido, Qt::LeftButton);
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

    // Find/replace from the tool bar.
    janela.activateWindow();
    ASSERT_TRUE(QTest::qWaitForWindowActive(&janela));
    ASSERT_TRUE(substituir->isEnabled());
    QTest::mouseClick(substituir, Qt::LeftButton);
    QWidget* dialogo = nullptr;
    ASSERT_TRUE(QTest::qWaitFor([&] { return (dialogo = janelaDeNome("frmSubstituir")) != nullptr; }));
    ASSERT_TRUE(QTest::qWaitFor([&] { return QApplication::activeWindow() == dialogo; }));
    auto* localizar = achar<QLineEdit>(dialogo, "edtLocalizar");
    auto* substituto = achar<QLineEdit>(dialogo, "edtSubstituir");
    auto* parte = achar<QRadioButton>(dialogo, "rbtParte");
    auto* semCaixa = achar<QCheckBox>(dialogo, "chbNoCase");
    auto* todos = achar<QToolButton>(dialogo, "sbtSubstAll");
    ASSERT_TRUE(localizar && substituto && parte && semCaixa && todos);
    ASSERT_TRUE(QTest::qWaitFor([&] { return localizar->hasFocus(); })) << "the search text takes the keys first";
    QTest::keyClicks(localizar, QStringLiteral("file"));
    QTest::keyClick(localizar, Qt::Key_Tab);
    ASSERT_TRUE(substituto->hasFocus());
    QTest::keyClicks(substituto, QStringLiteral("document"));
    // On the round box and the square, where the user aims.
    QTest::mouseClick(parte, Qt::LeftButton, Qt::NoModifier, QPoint(8, parte->height() / 2));
    QTest::mouseClick(semCaixa, Qt::LeftButton, Qt::NoModifier, QPoint(8, semCaixa->height() / 2));
    ASSERT_TRUE(parte->isChecked() && semCaixa->isChecked());
    QTest::mouseClick(todos, Qt::LeftButton);

    EXPECT_TRUE(seam.errors().isEmpty()) << seam.errors().join(u'\n').toStdString();
    EXPECT_EQ(seam.messages(), QStringList{QStringLiteral("Substituição efetuada com sucesso")});
    // Each replacement saved at once; "N" and "D" promoted now that the texts
    // differ; the row's shortcut mark moved to the replacement; the row
    // without the word and the other language untouched.
    EXPECT_EQ(linhaBanco(servidor.dbPath(), "ENG", "BTNABRIR"), (QStringList{"Open document", "T"}));
    EXPECT_EQ(linhaBanco(servidor.dbPath(), "ENG", "BTNSALVAR"), (QStringList{"Save &document", "T"}));
    EXPECT_EQ(linhaBanco(servidor.dbPath(), "ENG", "BTNFECHAR"), (QStringList{"Close", "T"}));
    EXPECT_EQ(linhaBanco(servidor.dbPath(), "ENG", "LBLLISTA"), (QStringList{"document LIST", "T"}));
    EXPECT_EQ(linhaBanco(servidor.dbPath(), "SPA", "BTNABRIR"), (QStringList{"Open file", "N"}));

    if (auto* form = qobject_cast<TForm*>(dialogo))
        form->Close();
    janela.MdiArea()->closeAllSubWindows();
    QCoreApplication::sendPostedEvents(nullptr, QEvent::DeferredDelete);
}
