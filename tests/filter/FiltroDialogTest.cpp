// The filter dialog's own behaviour, offscreen with the real widgets: its
// first-opening state, the date checks that keep it open and change nothing,
// upper case in the edits, the file check box switching the controls, and the
// instance that hides and survives.
#include "FiltroTestKit.h"

#include "Exceptions.h"
#include "TDateEditPlus.h"

#include <QApplication>
#include <QCheckBox>
#include <QComboBox>
#include <QGroupBox>
#include <QLabel>
#include <QLineEdit>
#include <QRadioButton>
#include <QTest>

#include <gtest/gtest.h>

using namespace trd;
using namespace trd::test;

namespace {

class FiltroDialogTest : public FiltroTestBase { };

} // namespace

TEST_F(FiltroDialogTest, FirstOpeningShowsTheDesignedState)
{
    bool ran = false;
    abrirFiltro([&](TfrmFiltroTraducao& f) {
        ran = true;
        EXPECT_EQ(f.Caption(), QStringLiteral("Filtro de Tradução"));
        EXPECT_EQ(f.lblCodTela->text(), QStringLiteral("TRD09301"));
        // The designed 431 x 405, one row taller for the criteria of the review mark and the last release.
        EXPECT_EQ(f.size(), QSize(431, 425));

        EXPECT_EQ(f.grbSituacao->title(), QStringLiteral("Situação"));
        EXPECT_FALSE(f.ckbTraduzido->isChecked());
        EXPECT_TRUE(f.ckbDuvida->isChecked());
        EXPECT_TRUE(f.ckbNaoTraduzido->isChecked());
        EXPECT_TRUE(f.CheckBox1->isChecked());
        EXPECT_EQ(f.CheckBox1->text(), QStringLiteral("Revisado"));

        EXPECT_EQ(f.grbFilProg->title(), QStringLiteral("Filtrar por Programa"));
        EXPECT_EQ(f.lblCdProg->text(), QStringLiteral("Código"));
        EXPECT_TRUE(f.edtCdProg->text().isEmpty());
        EXPECT_EQ(f.chbPrefixo->text(), QStringLiteral("Idêntico"));
        EXPECT_FALSE(f.chbPrefixo->isChecked());
        EXPECT_EQ(f.grbComponente->title(), QStringLiteral("Filtrar por Componente"));
        EXPECT_TRUE(f.edtComponente->text().isEmpty());

        EXPECT_EQ(f.grbFiltro->title(), QStringLiteral("Filtrar por Palavras"));
        ASSERT_EQ(f.cbbCampo->count(), 2);
        EXPECT_EQ(f.cbbCampo->itemText(0), QStringLiteral("Idioma Origem"));
        EXPECT_EQ(f.cbbCampo->itemText(1), QStringLiteral("Idioma Destino"));
        EXPECT_EQ(f.cbbCampo->currentIndex(), 0);
        EXPECT_FALSE(f.cbbCampo->isEditable());
        EXPECT_TRUE(f.edtTexto->text().isEmpty());
        EXPECT_EQ(f.grbTipo->parentWidget(), f.grbFiltro);
        EXPECT_TRUE(f.rbtParte->isChecked());
        EXPECT_FALSE(f.rbtIdentico->isChecked());
        EXPECT_FALSE(f.rbtPrefixo->isChecked());

        EXPECT_EQ(f.grbDataAlt->title(), QStringLiteral("Data de alteração"));
        EXPECT_TRUE(f.depDtInicial->text().isEmpty());
        EXPECT_TRUE(f.depDtFinal->text().isEmpty());

        EXPECT_EQ(f.grbFilArq->title(), QStringLiteral("Filtrar por Arquivo"));
        EXPECT_FALSE(f.chbFilArq->isChecked());
        EXPECT_TRUE(f.chbArqNtrad->isChecked());
        EXPECT_TRUE(f.chbArqErrTam->isChecked());
        EXPECT_EQ(f.chbArqVerif->text(), QStringLiteral("Outras Verificações"));
        EXPECT_FALSE(f.chbArqVerif->isChecked());

        for (QWidget* w : f.findChildren<QWidget*>())
            EXPECT_TRUE(w->isEnabled()) << w->objectName().toStdString();
        EXPECT_FALSE(boTestaFiltro);
        EXPECT_EQ(TFiltro.stTipo, QStringLiteral("Parte"));
    });
    EXPECT_TRUE(ran);
    // Closed, the dialog is hidden and kept; the busy cursor is gone.
    ASSERT_FALSE(frmFiltroTraducao.isNull());
    EXPECT_FALSE(frmFiltroTraducao->isVisible());
    EXPECT_EQ(Application()->Cursor(), TApplication::crDefault);
    QPointer<TfrmFiltroTraducao> first = frmFiltroTraducao;
    QCoreApplication::sendPostedEvents(nullptr, QEvent::DeferredDelete);
    abrirFiltro([](TfrmFiltroTraducao&) {});
    EXPECT_EQ(frmFiltroTraducao, first);
    EXPECT_EQ(seam.count(RecordingDialogSeam::Modal), 2);
}

TEST_F(FiltroDialogTest, DateMessagesKeepTheDialogOpenAndChangeNothing)
{
    struct Caso {
        QString inicial, final, mensagem;
    };
    const Caso casos[] = {
        {QString(), QStringLiteral("10/01/2025"), QStringLiteral("Data Inicial deve ser informada.")},
        {QString(), QString(), QStringLiteral("Data Inicial deve ser informada.")},
        {QStringLiteral("10/01/2025"), QString(), QStringLiteral("Data Final deve ser informada.")},
        {QStringLiteral("10/01/2025"), QStringLiteral("09/01/2025"),
         QStringLiteral("Data Inicial deve ser menor que Data Final.")},
        // A date that does not exist is refused rather than taken as no date.
        {QStringLiteral("31/02/2025"), QStringLiteral("10/03/2025"),
         QStringLiteral("'31/02/2025' não é uma data válida.")},
    };
    abrirFiltro([](TfrmFiltroTraducao&) {}); // made once, as the values below must outlive its creation
    for (const Caso& caso : casos) {
        SCOPED_TRACE(caso.mensagem.toStdString());
        seam.clear();
        valoresConhecidos();
        bool aberto = false;
        abrirFiltro([&](TfrmFiltroTraducao& f) {
            f.depDtInicial->setText(caso.inicial);
            f.depDtFinal->setText(caso.final);
            f.edtTexto->setText(QStringLiteral("NOVO"));
            f.edtCdProg->setText(QStringLiteral("PROG"));
            f.ckbTraduzido->setChecked(true);
            QTest::mouseClick(f.sbtConfirma, Qt::LeftButton);
            aberto = f.isVisible() && f.IsModal();
        });
        EXPECT_EQ(seam.messages(), QStringList{caso.mensagem});
        EXPECT_EQ(seam.shown.front().kind, RecordingDialogSeam::Modal);
        EXPECT_TRUE(aberto);
        esperaValoresConhecidos();
    }
}

TEST_F(FiltroDialogTest, LeavingADateEditChecksThatEditOnly)
{
    abrirFiltro([&](TfrmFiltroTraducao& f) {
        // Leaving an empty date is not checked here.
        f.depDtInicial->setFocus();
        QTest::keyClick(f.depDtInicial, Qt::Key_Tab);
        EXPECT_TRUE(seam.messages().isEmpty());

        f.depDtFinal->setFocus();
        QTest::keyClicks(f.depDtFinal, QStringLiteral("32/01/2025"));
        f.depDtInicial->setFocus();
        QApplication::processEvents();
        EXPECT_EQ(seam.messages(), QStringList{QStringLiteral("'32/01/2025' não é uma data válida.")});
        // The check puts the focus back on the edit that was wrong.
        EXPECT_EQ(QApplication::focusWidget(), f.depDtFinal);

        seam.clear();
        f.depDtFinal->setText(QStringLiteral("15/01/2025"));
        f.depDtInicial->setText(QStringLiteral("99/99/9999"));
        f.depDtInicial->setFocus();
        f.edtTexto->setFocus();
        QApplication::processEvents();
        EXPECT_EQ(seam.messages(), QStringList{QStringLiteral("'99/99/9999' não é uma data válida.")});
        EXPECT_EQ(QApplication::focusWidget(), f.depDtInicial);
    });
}

TEST_F(FiltroDialogTest, EditsForceUpperCaseAsTheUserTypes)
{
    abrirFiltro([&](TfrmFiltroTraducao& f) {
        for (QLineEdit* edit : {f.edtCdProg, f.edtComponente, f.edtTexto}) {
            edit->setFocus();
            digitaTexto(edit, QStringLiteral("ação d'água"));
            EXPECT_EQ(edit->text(), QStringLiteral("AÇÃO D'ÁGUA")) << edit->objectName().toStdString();
        }
    });
}

TEST_F(FiltroDialogTest, FileCheckBoxSwitchesCriteriaAndFileControls)
{
    abrirFiltro([&](TfrmFiltroTraducao& f) {
        const QList<QWidget*> criterios = {
            f.ckbTraduzido, f.ckbDuvida,  f.ckbNaoTraduzido, f.CheckBox1,  f.edtCdProg, f.chbPrefixo,   f.edtComponente,
            f.cbbCampo,     f.edtTexto,   f.rbtIdentico,     f.rbtPrefixo, f.rbtParte,  f.depDtInicial, f.depDtFinal,
            f.grbSituacao,  f.grbFilProg, f.grbComponente,   f.grbFiltro,  f.grbDataAlt};
        QTest::mouseClick(f.chbFilArq, Qt::LeftButton);
        ASSERT_TRUE(f.chbFilArq->isChecked());
        for (QWidget* w : criterios)
            EXPECT_FALSE(w->isEnabled()) << w->objectName().toStdString();
        EXPECT_TRUE(f.chbArqNtrad->isEnabled());
        EXPECT_TRUE(f.chbArqErrTam->isEnabled());
        EXPECT_TRUE(f.chbArqVerif->isEnabled());
        EXPECT_TRUE(f.chbFilArq->isEnabled());

        QTest::mouseClick(f.chbFilArq, Qt::LeftButton);
        ASSERT_FALSE(f.chbFilArq->isChecked());
        for (QWidget* w : criterios)
            EXPECT_TRUE(w->isEnabled()) << w->objectName().toStdString();
        EXPECT_FALSE(f.chbArqNtrad->isEnabled());
        EXPECT_FALSE(f.chbArqErrTam->isEnabled());
        EXPECT_FALSE(f.chbArqVerif->isEnabled());
    });
}

TEST_F(FiltroDialogTest, ConfirmingTheFileFilterAndCancellingTheFileChangesOnlyTheDateMode)
{
    abrirFiltro([](TfrmFiltroTraducao&) {});
    valoresConhecidos();
    bool fechou = false;
    abrirFiltro([&](TfrmFiltroTraducao& f) {
        f.chbFilArq->setChecked(true);
        QTest::mouseClick(f.sbtConfirma, Qt::LeftButton);
        fechou = !f.IsModal() || f.ModalResult() != mrNone;
    });
    EXPECT_TRUE(fechou);
    EXPECT_TRUE(seam.messages().isEmpty());
    EXPECT_EQ(seam.count(RecordingDialogSeam::OpenDialog), 1);
    EXPECT_EQ(stDataTrad, QStringLiteral("T"));
    stDataTrad = QStringLiteral("?");
    esperaValoresConhecidos();
}

TEST_F(FiltroDialogTest, TabReachesTheButtonsAndEnterConfirms)
{
    abrirFiltro([&](TfrmFiltroTraducao& f) {
        // Tab goes through the criteria to the confirm and cancel buttons.
        f.ckbTraduzido->setFocus();
        bool confirma = false, cancela = false;
        for (int i = 0; i < 40 && !(confirma && cancela); ++i) {
            QTest::keyClick(QApplication::focusWidget(), Qt::Key_Tab);
            confirma = confirma || QApplication::focusWidget() == f.sbtConfirma;
            cancela = cancela || QApplication::focusWidget() == f.sbtCancel;
        }
        EXPECT_TRUE(confirma);
        EXPECT_TRUE(cancela);

        // Enter in a field confirms: without dates, the first date message.
        f.edtTexto->setFocus();
        QTest::keyClick(f.edtTexto, Qt::Key_Return);
        EXPECT_EQ(seam.messages(), QStringList{QStringLiteral("Data Inicial deve ser informada.")});
        EXPECT_TRUE(f.isVisible());

        // Space or Enter on the focused cancel button closes without confirming.
        f.sbtCancel->setFocus();
        QTest::keyClick(f.sbtCancel, Qt::Key_Return);
        EXPECT_FALSE(f.IsModal() && f.ModalResult() == mrNone);
    });
    EXPECT_EQ(seam.messages().size(), 1);
    EXPECT_EQ(seam.last(RecordingDialogSeam::Modal)->answer, mrCancel);

    // Left with the cancel button, the dialog opens again on a field, not on
    // that button: Enter confirms, it does not cancel once more.
    abrirFiltro([&](TfrmFiltroTraducao& f) {
        QWidget* foco = QApplication::focusWidget();
        ASSERT_TRUE(foco && f.isAncestorOf(foco));
        EXPECT_NE(foco, f.sbtCancel);
        EXPECT_NE(foco, f.sbtConfirma);
        QTest::keyClick(foco, Qt::Key_Return);
        EXPECT_EQ(seam.messages().size(), 2);
        EXPECT_TRUE(f.isVisible());
    });
}

TEST_F(FiltroDialogTest, TheHourglassGoesEvenWhenTheDialogsModalLoopFails)
{
    {
        struct FailingSeam : RecordingDialogSeam {
            TApplication::TCursor during = TApplication::crDefault;
            int ExecModal(TForm&) override
            {
                during = Application()->Cursor();
                throw Exception(QStringLiteral("falhou"));
            }
        } failing;
        EXPECT_THROW(CriaFiltroTraducao(), Exception);
        EXPECT_EQ(failing.during, TApplication::crHourGlass);
        EXPECT_EQ(Application()->Cursor(), TApplication::crDefault);
    }
    // The dialog that stayed opens normally the next time.
    bool abriu = false;
    abrirFiltro([&](TfrmFiltroTraducao&) { abriu = true; });
    EXPECT_TRUE(abriu);
    EXPECT_EQ(Application()->Cursor(), TApplication::crDefault);
}
