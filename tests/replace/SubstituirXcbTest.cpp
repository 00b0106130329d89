// The find/replace dialog on a real X display, driven by input that enters
// as the display delivers it: through the top-level window, which hands it to
// the widget under the pointer or with the focus. The stop button must stop a
// replace-all run that way, and Enter on a focused button must find next.
#include "EditorTestKit.h"

#include "Cli_Trd09306.h"
#include "MessageBoxAnswerer.h"
#include "OfertaDesfazer.h"
#include "TApplication.h"

#include <QApplication>
#include <QCheckBox>
#include <QLabel>
#include <QLineEdit>
#include <QMessageBox>
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
        QTest::mouseClick(janela->windowHandle(), Qt::LeftButton, Qt::NoModifier, w->mapTo(janela, w->rect().center()));
    }
    static void teclaNaTela(QWidget* janela, Qt::Key tecla) { QTest::keyClick(janela->windowHandle(), tecla); }
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

TEST_F(SubstituirXcb, AQuestionDuringReplaceAllIsAnsweredAndTheRunGoesOnWithoutTheRefusedRows)
{
    TfrmSubstituir* dlg = abre({
        {"ENG", "P1", "lblAbrir", "Abrir %s", "Open %s", "T"},
        {"ENG", "P2", "lblNome", "Nome", "Name %s", "T"},
        {"ENG", "P3", "lblFechar", "Fechar %s", "Close %s", "T"},
    });
    ASSERT_TRUE(dlg);
    // The real message boxes, answered with keys once each is the active window.
    Application()->SetDialogSeam(nullptr);
    MessageBoxAnswerer boxes;
    boxes.replies = {{Qt::Key_Escape}}; // "Não" to the first question
    // Should a box never get its keys, the run is let go so the test can fail.
    QTimer socorro;
    socorro.setSingleShot(true);
    QObject::connect(&socorro, &QTimer::timeout, [] {
        if (auto* box = qobject_cast<QMessageBox*>(QApplication::activeModalWidget()))
            box->reject();
        boTraduzindo = false;
    });
    socorro.start(20000);
    dlg->edtLocalizar->setText(QStringLiteral("%s"));
    dlg->edtSubstituir->setText(QStringLiteral("it"));
    dlg->SetTpBuscaIndex(1);
    clicaNaTela(dlg->sbtSubstAll);
    ASSERT_TRUE(QTest::qWaitFor([&] { return boxes.shown.size() == 3; }, 30000)) << boxes.shown.join('|').toStdString();
    ASSERT_TRUE(socorro.isActive()) << "the question could not be answered";
    socorro.stop();

    // The question names its row and says what No does.
    EXPECT_TRUE(boxes.shown[0].contains(QStringLiteral("\u00ABAbrir %s\u00BB (tela P1, componente lblAbrir)")))
        << boxes.shown[0].toStdString();
    EXPECT_TRUE(boxes.shown[0].contains(QStringLiteral("Gravar assim mesmo?")));
    EXPECT_TRUE(boxes.shown[0].contains(QStringLiteral("a substituição continua")));
    EXPECT_EQ(boxes.shown[1], QStringLiteral("2 linhas não foram gravadas: a resposta à pergunta sobre elas foi Não."));
    EXPECT_EQ(boxes.shown[2], kSucesso);
    EXPECT_FALSE(boTraduzindo);
    // The answer held for the run: both rows that would lose "%s" stay, the other is replaced.
    EXPECT_EQ(dbRow("ENG", "Abrir %s"), QStringList({"Open %s", "T"}));
    EXPECT_EQ(dbRow("ENG", "Nome"), QStringList({"Name it", "T"}));
    EXPECT_EQ(dbRow("ENG", "Fechar %s"), QStringList({"Close %s", "T"}));
    EXPECT_EQ(frmTraducao->cdsDestino->State(), TDataSetState::dsBrowse);
    // The run's undo is offered for the row it saved.
    EXPECT_TRUE(dlg->ofertaDesfazer->isVisible());
    EXPECT_TRUE(dlg->ofertaDesfazer->lblOferta->text().contains(QStringLiteral("1")))
        << dlg->ofertaDesfazer->lblOferta->text().toStdString();
}

} // namespace
