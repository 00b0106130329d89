// The find/replace dialog on a real X display, driven by input that enters
// as the display delivers it: through the top-level window, which hands it to
// the widget under the pointer or with the focus. The stop button must stop a
// replace-all run that way, and Enter on a focused button must find next.
#include "EditorTestKit.h"

#include "Cli_Trd09306.h"

#include <QApplication>
#include <QCheckBox>
#include <QLineEdit>
#include <QTest>
#include <QTimer>
#include <QWindow>

using namespace trd;
using namespace trd::test;

namespace {

const QList<Idioma> kIdiomas = {{"ENG", "English"}};

class SubstituirXcb : public EditorTest {
protected:
    ~SubstituirXcb() override
    {
        if (frmSubstituir)
            frmSubstituir->Close();
        QCoreApplication::sendPostedEvents(nullptr, QEvent::DeferredDelete);
    }

    TfrmSubstituir* abre(const QList<Linha>& linhas)
    {
        if (!openLoaded(kIdiomas, linhas, QStringLiteral("ENG-English")))
            return nullptr;
        main.activateWindow();
        EXPECT_TRUE(QTest::qWaitForWindowActive(&main));
        frmTraducao->mnuSubstituir->trigger();
        EXPECT_TRUE(frmSubstituir);
        if (!frmSubstituir)
            return nullptr;
        frmSubstituir->activateWindow();
        EXPECT_TRUE(QTest::qWaitFor([] { return QApplication::activeWindow() == frmSubstituir; }));
        EXPECT_TRUE(frmSubstituir->windowHandle());
        return frmSubstituir;
    }
    // A click as the display delivers it: to the dialog's window, at the
    // place of the widget.
    static void clicaNaTela(QWidget* w)
    {
        QWidget* janela = w->window();
        QTest::mouseClick(janela->windowHandle(), Qt::LeftButton, Qt::NoModifier,
                          w->mapTo(janela, w->rect().center()));
    }
    static void teclaNaTela(QWidget* janela, Qt::Key tecla)
    {
        QTest::keyClick(janela->windowHandle(), tecla);
    }
    QString destinoAtual() const { return frmTraducao->cdsDestino->FieldByName("STVALORPROP")->AsString(); }
    QString origemAtual() const { return frmTraducao->cdsDestino->FieldByName("STAGRVALPROP")->AsString(); }
};

const QString kSucesso = QStringLiteral("Substituição efetuada com sucesso");

TEST_F(SubstituirXcb, TheStopButtonClickedOnTheDisplayStopsReplaceAll)
{
    QList<Linha> linhas;
    for (int i = 0; i < 40; ++i) {
        const QString n = QStringLiteral("%1").arg(i, 2, 10, QLatin1Char('0'));
        linhas.append({"ENG", "P" + n, "c", "Cliente " + n, "Customer " + n, "N"});
    }
    TfrmSubstituir* dlg = abre(linhas);
    ASSERT_TRUE(dlg);
    dlg->edtLocalizar->setText(QStringLiteral("Customer"));
    dlg->SetTpBuscaIndex(1);
    dlg->edtSubstituir->setText(QStringLiteral("Client"));

    // The run lets pending input through once per row: a few rows in, the
    // user clicks "Interromper".
    int rodadas = 0;
    bool clicou = false;
    QTimer usuario;
    usuario.setInterval(0);
    QObject::connect(&usuario, &QTimer::timeout, [&] {
        if (!boTraduzindo || clicou || ++rodadas < 4)
            return;
        EXPECT_TRUE(dlg->sbtStop->isVisible());
        clicou = true;
        clicaNaTela(dlg->sbtStop);
    });
    usuario.start();
    clicaNaTela(dlg->sbtSubstAll);
    usuario.stop();

    ASSERT_TRUE(clicou) << "the run never let the click through";
    EXPECT_FALSE(boTraduzindo);
    EXPECT_FALSE(dlg->panMove1->isVisible());
    EXPECT_FALSE(seam.messages().contains(kSucesso)) << "a stopped run says nothing";
    int trocadas = 0;
    for (int i = 0; i < 40; ++i) {
        const QString n = QStringLiteral("%1").arg(i, 2, 10, QLatin1Char('0'));
        const QStringList row = dbRow("ENG", "Cliente " + n);
        if (row.value(0) == "Client " + n)
            ++trocadas;
        else
            EXPECT_EQ(row.value(0), "Customer " + n) << "row " << i;
    }
    EXPECT_GE(trocadas, 3);
    EXPECT_LE(trocadas, 6) << "the run ends after the row in progress when Stop is clicked";
    EXPECT_TRUE(dlg->sbtSubstAll->isEnabled());
}

TEST_F(SubstituirXcb, EnterOnAFocusedReplaceButtonFindsNext)
{
    TfrmSubstituir* dlg = abre({
        {"ENG", "P1", "c", "Abrir", "Open", "N"},
        {"ENG", "P2", "c", "Fechar", "Close", "N"},
        {"ENG", "P3", "c", "Abrir arquivo", "Open file", "N"},
        {"ENG", "P4", "c", "Sair", "Exit", "N"},
        {"ENG", "P5", "c", "Abrir tela", "Open screen", "N"},
    });
    ASSERT_TRUE(dlg);
    ASSERT_TRUE(locate(QStringLiteral("Abrir")));
    dlg->edtLocalizar->setText(QStringLiteral("Open"));
    dlg->edtSubstituir->setText(QStringLiteral("Show"));
    dlg->SetTpBuscaIndex(1);

    // Tab from the search text to the replace button, as the user goes.
    dlg->edtLocalizar->setFocus();
    ASSERT_TRUE(QTest::qWaitFor([&] { return dlg->edtLocalizar->hasFocus(); }));
    for (int i = 0; i < 10 && QApplication::focusWidget() != dlg->sbtConfirma; ++i)
        teclaNaTela(dlg, Qt::Key_Tab);
    ASSERT_EQ(QApplication::focusWidget(), dlg->sbtConfirma);
    teclaNaTela(dlg, Qt::Key_Return);
    EXPECT_EQ(origemAtual(), QStringLiteral("Abrir arquivo")) << "found the next match";
    EXPECT_EQ(destinoAtual(), QStringLiteral("Open file")) << "and replaced nothing";

    EXPECT_EQ(QApplication::focusWidget(), dlg->sbtConfirma) << QApplication::focusWidget()->objectName().toStdString();
    teclaNaTela(dlg, Qt::Key_Tab);
    ASSERT_EQ(QApplication::focusWidget(), dlg->sbtSubstAll) << QApplication::focusWidget()->objectName().toStdString();
    teclaNaTela(dlg, Qt::Key_Enter);
    EXPECT_EQ(origemAtual(), QStringLiteral("Abrir tela"));
    EXPECT_EQ(destinoAtual(), QStringLiteral("Open screen"));
    EXPECT_FALSE(seam.messages().contains(kSucesso)) << "no replace-all ran";
    for (const char* origem : {"Abrir", "Abrir arquivo", "Abrir tela"})
        EXPECT_TRUE(dbRow("ENG", QString::fromUtf8(origem)).value(0).startsWith(QStringLiteral("Open"))) << origem;

    // Space presses the focused button: that one replaces, in every row.
    teclaNaTela(dlg, Qt::Key_Space);
    EXPECT_TRUE(seam.messages().contains(kSucesso));
    EXPECT_EQ(dbRow("ENG", QStringLiteral("Abrir")).value(0), QStringLiteral("Show"));
    EXPECT_EQ(dbRow("ENG", QStringLiteral("Abrir tela")).value(0), QStringLiteral("Show screen"));
}

} // namespace
