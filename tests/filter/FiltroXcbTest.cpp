// The filter dialog on a real X display, with real message boxes over it and
// another program taking the activation: a message box closing, or the user
// coming back from the other program, gives the activation back to the dialog,
// and that is no new opening of the dialog, so the user's entries stay as they
// were.
#include "FiltroTestKit.h"

#include "MessageBoxAnswerer.h"
#include "TDateEditPlus.h"

#include <QApplication>
#include <QCheckBox>
#include <QComboBox>
#include <QLineEdit>
#include <QProcess>
#include <QRadioButton>
#include <QTest>

#include <string>

using namespace trd;
using namespace trd::test;

namespace {

// The dialog runs in its real modal loop, driven by the test; message boxes
// are the real ones, answered by a MessageBoxAnswerer.
class RealBoxesSeam : public RecordingDialogSeam {
public:
    int MessageDlg(const QString& text, TMsgDlgType type, TMsgDlgButtons buttons, int help) override
    {
        return m_real.MessageDlg(text, type, buttons, help);
    }
    void ShowError(const QString& text) override { m_real.ShowError(text); }

private:
    QtDialogSeam m_real;
};

class FiltroXcb : public FiltroTestBase {
protected:
    // What the user enters before leaving the dialog for a while.
    static void entries(TfrmFiltroTraducao& f)
    {
        f.cbbCampo->setCurrentIndex(1);
        f.edtTexto->setFocus();
        QTest::keyClicks(f.edtTexto, QStringLiteral("ARQUIVO"));
        QTest::mouseClick(f.rbtIdentico, Qt::LeftButton);
        f.edtCdProg->setFocus();
        QTest::keyClicks(f.edtCdProg, QStringLiteral("TRD"));
    }
    static void entriesKept(TfrmFiltroTraducao& f)
    {
        EXPECT_EQ(f.cbbCampo->currentIndex(), 1);
        EXPECT_EQ(f.edtTexto->text(), QStringLiteral("ARQUIVO"));
        EXPECT_TRUE(f.rbtIdentico->isChecked());
        EXPECT_EQ(f.edtCdProg->text(), QStringLiteral("TRD"));
    }
};

TEST_F(FiltroXcb, TheUsersEntriesSurviveEveryMessageBoxOverTheDialog)
{
    RealBoxesSeam real; // installed over the fixture's seam, for this test
    MessageBoxAnswerer boxes;
    bool rodou = false;
    real.onModal = [&](TForm& form) {
        auto& f = static_cast<TfrmFiltroTraducao&>(form);
        ASSERT_TRUE(QTest::qWaitFor([&] { return QApplication::activeWindow() == &f; }));
        entries(f);

        // A date that does not exist, checked on the way out of its field.
        f.depDtInicial->setFocus();
        QTest::keyClicks(f.depDtInicial, QStringLiteral("31/02/2025"));
        QTest::keyClick(f.depDtInicial, Qt::Key_Tab);
        ASSERT_TRUE(QTest::qWaitFor([&] { return boxes.shown.size() == 1; }));
        ASSERT_TRUE(QTest::qWaitFor([&] { return QApplication::activeWindow() == &f; }));
        QApplication::processEvents();
        entriesKept(f);

        // Confirming without the final date.
        f.depDtInicial->selectAll();
        QTest::keyClicks(f.depDtInicial, QStringLiteral("01/01/2025"));
        QTest::mouseClick(f.sbtConfirma, Qt::LeftButton);
        ASSERT_TRUE(QTest::qWaitFor([&] { return boxes.shown.size() == 2; }));
        EXPECT_EQ(boxes.shown.last(), QStringLiteral("Data Final deve ser informada."));
        ASSERT_TRUE(QTest::qWaitFor([&] { return QApplication::activeWindow() == &f; }));
        QApplication::processEvents();
        entriesKept(f);
        EXPECT_EQ(f.depDtInicial->text(), QStringLiteral("01/01/2025"));
        // The caret waits in the date the message named: typing goes there.
        QWidget* foco = QApplication::focusWidget();
        ASSERT_TRUE(foco == f.depDtFinal || f.depDtFinal->isAncestorOf(foco))
            << (foco ? foco->objectName().toStdString() : "nothing");
        rodou = true;
    };
    principal.activateWindow();
    ASSERT_TRUE(QTest::qWaitForWindowActive(&principal));
    CriaFiltroTraducao();
    EXPECT_TRUE(rodou);
}

} // namespace

namespace {

TEST_F(FiltroXcb, TheUsersEntriesSurviveAVisitToAnotherProgram)
{
    bool rodou = false;
    seam.onModal = [&](TForm& form) {
        auto& f = static_cast<TfrmFiltroTraducao&>(form);
        ASSERT_TRUE(QTest::qWaitFor([&] { return QApplication::activeWindow() == &f; }));
        entries(f);

        // The user goes to another program...
        QProcess outro;
        outro.start(QCoreApplication::applicationDirPath() + QStringLiteral("/trd_outro_programa"));
        ASSERT_TRUE(outro.waitForStarted()) << outro.errorString().toStdString();
        EXPECT_TRUE(QTest::qWaitFor([&] { return outro.readAllStandardOutput().contains("ativa"); }, 10000));
        EXPECT_TRUE(QTest::qWaitFor([] { return QApplication::activeWindow() == nullptr; }, 10000))
            << "the other program never took the activation";

        // ...and comes back to the dialog while it is still running. Without a
        // window manager the dialog asks for the focus itself, with a time
        // later than the other program's: a change of its title brings the
        // server's current time.
        const QString titulo = f.windowTitle();
        f.setWindowTitle(titulo + QStringLiteral(" "));
        f.setWindowTitle(titulo);
        QTest::qWait(100);
        f.activateWindow();
        EXPECT_TRUE(QTest::qWaitFor([&] { return QApplication::activeWindow() == &f; }, 10000));
        QApplication::processEvents();
        entriesKept(f);
        outro.terminate();
        outro.waitForFinished();
        rodou = true;
    };
    principal.activateWindow();
    ASSERT_TRUE(QTest::qWaitForWindowActive(&principal));
    CriaFiltroTraducao();
    EXPECT_TRUE(rodou);
}

TEST_F(FiltroXcb, EachOpeningStartsOnTheFirstCriterionNotOnTheButtonLastPressed)
{
    QWidget* primeiro = nullptr;
    QWidget* focoAoFechar = nullptr;
    seam.onModal = [&](TForm& form) {
        auto& f = static_cast<TfrmFiltroTraducao&>(form);
        ASSERT_TRUE(QTest::qWaitFor([&] { return QApplication::activeWindow() == &f; }));
        primeiro = QApplication::focusWidget();
        // The user ends on the confirm button (and leaves with Escape).
        f.sbtConfirma->setFocus();
        focoAoFechar = QApplication::focusWidget();
        f.SetModalResult(mrCancel);
    };
    principal.activateWindow();
    ASSERT_TRUE(QTest::qWaitForWindowActive(&principal));
    CriaFiltroTraducao();
    ASSERT_TRUE(frmFiltroTraducao);
    EXPECT_EQ(primeiro, frmFiltroTraducao->ckbTraduzido);
    EXPECT_EQ(focoAoFechar, frmFiltroTraducao->sbtConfirma);
    primeiro = nullptr;
    principal.activateWindow();
    ASSERT_TRUE(QTest::qWaitForWindowActive(&principal));
    // Without a window manager a window asks for the focus with the time of
    // the last event it saw; a change of its title brings the server's
    // current time, as the user's keys and clicks do on a real display.
    const QString titulo = frmFiltroTraducao->windowTitle();
    frmFiltroTraducao->setWindowTitle(titulo + QStringLiteral(" "));
    frmFiltroTraducao->setWindowTitle(titulo);
    QTest::qWait(100);
    CriaFiltroTraducao();
    EXPECT_EQ(primeiro, frmFiltroTraducao->ckbTraduzido) << "a Space now would tick a box, not confirm";
}

} // namespace

namespace {

// One date empty, the other holding a day that does not exist, the caret in
// the wrong one, Enter: one message, the empty date's, with the caret in it.
TEST_F(FiltroXcb, AnEmptyDateGivesOneMessageAndTheCaretGoesThereWhateverTheOtherHolds)
{
    RealBoxesSeam real;
    MessageBoxAnswerer boxes;
    bool rodou = false;
    real.onModal = [&](TForm& form) {
        auto& f = static_cast<TfrmFiltroTraducao&>(form);
        ASSERT_TRUE(QTest::qWaitFor([&] { return QApplication::activeWindow() == &f; }));
        struct Caso {
            TDateEditPlus* vazia;
            TDateEditPlus* invalida;
            QString mensagem;
        };
        for (const Caso& c : {Caso{f.depDtInicial, f.depDtFinal, QStringLiteral("Data Inicial deve ser informada.")},
                              Caso{f.depDtFinal, f.depDtInicial, QStringLiteral("Data Final deve ser informada.")}}) {
            SCOPED_TRACE(c.mensagem.toStdString());
            boxes.shown.clear();
            c.vazia->clear();
            c.invalida->clear();
            c.invalida->setFocus();
            ASSERT_TRUE(QTest::qWaitFor([&] { return c.invalida->hasFocus(); }));
            QApplication::processEvents(); // the field selects its text once it has the focus
            // Typed and confirmed as the display delivers keys: to the window.
            for (const char c : std::string("31/02/2025"))
                QTest::keyClick(f.windowHandle(), c);
            ASSERT_EQ(c.invalida->text(), QStringLiteral("31/02/2025"));
            // The boxes are modal: the key is handled, every message shown and
            // answered, by the time it returns.
            QTest::keyClick(f.windowHandle(), Qt::Key_Return);
            EXPECT_EQ(boxes.shown, QStringList{c.mensagem});
            ASSERT_TRUE(QTest::qWaitFor([&] { return QApplication::activeWindow() == &f; }));
            QApplication::processEvents();
            QWidget* foco = QApplication::focusWidget();
            EXPECT_TRUE(foco == c.vazia || c.vazia->isAncestorOf(foco))
                << (foco ? foco->objectName().toStdString() : "nothing");
            EXPECT_TRUE(f.isVisible());
        }
        rodou = true;
        f.Close();
    };
    principal.activateWindow();
    ASSERT_TRUE(QTest::qWaitForWindowActive(&principal));
    CriaFiltroTraducao();
    EXPECT_TRUE(rodou);
}

} // namespace
