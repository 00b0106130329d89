// Saves that go wrong, on a real display: a save whose answer never comes
// (the server stopped) or that the server cannot confirm is never reported as
// lost, and is recognised once the server turns out to have it; a save refused
// because a colleague saved the row first keeps the typed text unposted in
// its cell with the colleague's text beside it; a replacement made while the
// cell's editor is open is not written over by the editor. Keys and clicks
// are made by the X server; the database is read before and after.
#include "XcbEditorTest.h"

#include "Cli_Trd09306.h"
#include "TraducaoRegras.h"

#include <QPushButton>
#include <QRadioButton>

#include <csignal>

using namespace trd;
using namespace trd::test;

namespace {

const QList<Idioma> kIdiomas = {{"ENG", "English"}};

class EditorGravacao : public XcbEditorTest {
protected:
    ~EditorGravacao() override
    {
        if (parado && server && server->pid())
            ::kill(static_cast<pid_t>(server->pid()), SIGCONT);
    }
    void stopServer()
    {
        ASSERT_EQ(::kill(static_cast<pid_t>(server->pid()), SIGSTOP), 0);
        parado = true;
    }
    void resumeServer()
    {
        ASSERT_EQ(::kill(static_cast<pid_t>(server->pid()), SIGCONT), 0);
        parado = false;
    }
    bool parado = false;
};

TEST_F(EditorGravacao, ASaveLeftUnansweredIsNeverCalledLostAndIsRecognisedOnceTheServerHasIt)
{
    TfrmTraducao* form = open(kIdiomas,
                              {
                                  {"ENG", "P1", "c1", "Condições de pagamento", "Payment Terms s1", "N"},
                                  {"ENG", "P2", "c2", "Abrir", "Open", "T"},
                              });
    ASSERT_TRUE(form);
    ASSERT_EQ(dbRow("ENG", "Condições de pagamento"), QStringList({"Payment Terms s1", "N"}));
    // A short wait for the answer, so that the test does not take minutes;
    // the normal calls of the test stay far inside it.
    form->netTraducao->ReadTimeoutMs = 4000;

    QPointer<QLineEdit> editor = editCell("Condições de pagamento");
    ASSERT_TRUE(editor);
    input.type(" TO");
    ASSERT_NO_FATAL_FAILURE(stopServer());
    input.key("Down");

    ASSERT_EQ(boxes.shown.size(), 1);
    const QString shown = boxes.shown.first();
    EXPECT_TRUE(shown.contains("Não se sabe se a alteração foi gravada")) << shown.toStdString();
    EXPECT_FALSE(shown.contains("não foi gravad")) << shown.toStdString();
    editor = form->dbgPadrao->InplaceEditor();
    ASSERT_TRUE(editor) << "the typed text is back in its cell";
    EXPECT_EQ(editor->text(), "Payment Terms s1 TO");
    EXPECT_TRUE(QTest::qWaitFor([&] { return editor && editor->hasFocus(); }));
    EXPECT_EQ(current(), "Condições de pagamento");
    EXPECT_EQ(form->cdsDestino->State(), TDataSetState::dsEdit);
    EXPECT_EQ(dbRow("ENG", "Condições de pagamento"), QStringList({"Payment Terms s1", "N"}));

    // The server wakes up and does the save it had been sent.
    ASSERT_NO_FATAL_FAILURE(resumeServer());
    ASSERT_TRUE(QTest::qWaitFor(
        [&] { return dbRow("ENG", "Condições de pagamento").value(0) == "Payment Terms s1 TO"; }, 60000))
        << server->log().toStdString();

    // Saving the text again is not refused as a colleague's change: the
    // editor finds the server has it, and says so in a word.
    input.key("Return");
    EXPECT_EQ(boxes.shown.size(), 1) << boxes.shown.join('|').toStdString();
    EXPECT_EQ(form->lblAviso->text(), traducao::AvisoGravacaoConfirmada("Condições de pagamento"));
    EXPECT_EQ(form->cdsDestino->State(), TDataSetState::dsBrowse);
    EXPECT_EQ(form->cdsDestino->ChangeCount(), 0);
    EXPECT_EQ(shownDestination(rowOf("Condições de pagamento")), "Payment Terms s1 TO");
    EXPECT_EQ(dbRow("ENG", "Condições de pagamento"), QStringList({"Payment Terms s1 TO", "T"}));

    // And the next edit of the row is checked against what the server has.
    editor = editCell("Condições de pagamento");
    ASSERT_TRUE(editor);
    input.type("!");
    input.key("Down");
    EXPECT_EQ(boxes.shown.size(), 1) << boxes.shown.join('|').toStdString();
    EXPECT_EQ(dbRow("ENG", "Condições de pagamento"), QStringList({"Payment Terms s1 TO!", "T"}));
    EXPECT_EQ(current(), "Abrir");
    EXPECT_TRUE(form->lblAviso->text().isEmpty());
}

TEST_F(EditorGravacao, AnOutcomeTheServerCannotConfirmIsCheckedByReadingTheRowAgain)
{
    TfrmTraducao* form = open(kIdiomas,
                              {
                                  {"ENG", "P1", "c1", "Pedido", "Order", "T"},
                                  {"ENG", "P2", "c2", "Fatura", "Invoice", "T"},
                              });
    ASSERT_TRUE(form);
    const QByteArray unknown = R"("error":{"code":-32004,"message":"Não foi possível confirmar a gravação."})";

    // Applied, then not confirmed: the row read back holds the text.
    QPointer<QLineEdit> editor = editCell("Pedido");
    ASSERT_TRUE(editor);
    input.type(" No.");
    proxy->forwardNextThenAnswerWith(unknown);
    const int leituras = serverCalls("GetCDSFilter");
    input.key("Down");
    EXPECT_TRUE(boxes.shown.isEmpty()) << boxes.shown.join('|').toStdString();
    EXPECT_EQ(current(), "Fatura") << "the save stands, and so does the move";
    EXPECT_EQ(serverCalls("GetCDSFilter"), leituras + 1);
    EXPECT_EQ(form->lblAviso->text(), traducao::AvisoGravacaoConfirmada("Pedido"));
    EXPECT_EQ(form->cdsDestino->State(), TDataSetState::dsBrowse);
    EXPECT_EQ(dbRow("ENG", "Pedido"), QStringList({"Order No.", "T"}));

    // Not applied: the outcome is unknown, the text stays unposted in its cell.
    editor = editCell("Fatura");
    ASSERT_TRUE(editor);
    input.type(" No.");
    proxy->answerNextWith(unknown);
    input.key("Down");
    ASSERT_EQ(boxes.shown.size(), 1);
    EXPECT_TRUE(boxes.shown.first().startsWith("Não foi possível confirmar a gravação."))
        << boxes.shown.first().toStdString();
    EXPECT_TRUE(boxes.shown.first().contains("Não se sabe se a alteração foi gravada"));
    EXPECT_FALSE(boxes.shown.first().contains("não foi gravad"));
    EXPECT_EQ(dbRow("ENG", "Fatura"), QStringList({"Invoice", "T"}));
    editor = form->dbgPadrao->InplaceEditor();
    ASSERT_TRUE(editor);
    EXPECT_EQ(editor->text(), "Invoice No.");
    EXPECT_FALSE(form->panTextoColega->Mostrando()) << "nobody else changed the row";

    // Posted again, it is saved.
    input.key("Return");
    EXPECT_EQ(boxes.shown.size(), 1);
    EXPECT_EQ(dbRow("ENG", "Fatura"), QStringList({"Invoice No.", "T"}));
}

TEST_F(EditorGravacao, ASaveRefusedForAColleaguesChangeKeepsTheTypedTextBesideTheColleagues)
{
    TfrmTraducao* form = open(kIdiomas,
                              {
                                  {"ENG", "P1", "c1", "Nº do pedido", "Order No.", "T"},
                                  {"ENG", "P2", "c2", "Fatura", "Invoice", "T"},
                              });
    ASSERT_TRUE(form);
    ASSERT_EQ(dbRow("ENG", "Nº do pedido"), QStringList({"Order No.", "T"}));
    // The second client saves the row; the first has not reloaded it.
    ASSERT_NO_FATAL_FAILURE(saveFromAnotherClient("ENG", "Nº do pedido", "Order No. C2"));
    ASSERT_EQ(dbRow("ENG", "Nº do pedido"), QStringList({"Order No. C2", "T"}));

    QPointer<QLineEdit> editor = editCell("Nº do pedido");
    ASSERT_TRUE(editor);
    input.type(" C1");
    input.key("Down");

    ASSERT_EQ(boxes.shown.size(), 1);
    const QString shown = boxes.shown.first();
    EXPECT_TRUE(shown.startsWith("O registro foi alterado por outro usuário")) << shown.toStdString();
    EXPECT_TRUE(shown.contains("O texto digitado não foi gravado e continua na célula")) << shown.toStdString();
    editor = form->dbgPadrao->InplaceEditor();
    ASSERT_TRUE(editor) << "the typed text waits in its cell";
    EXPECT_EQ(editor->text(), "Order No. C1");
    EXPECT_TRUE(QTest::qWaitFor([&] { return editor && editor->hasFocus(); }));
    EXPECT_EQ(current(), "Nº do pedido");
    ASSERT_TRUE(form->panTextoColega->Mostrando());
    EXPECT_EQ(form->panTextoColega->Texto(), "Order No. C2");
    EXPECT_TRUE(form->panTextoColega->isVisible());
    EXPECT_EQ(dbRow("ENG", "Nº do pedido"), QStringList({"Order No. C2", "T"}));

    // Taking the colleague's text puts it in the cell; Ctrl+Z gives the own back.
    input.key("alt+u");
    ASSERT_TRUE(editor);
    // The button's shortcut clicks it as a user sees it, after a short press.
    EXPECT_TRUE(QTest::qWaitFor([&] { return editor && editor->text() == "Order No. C2"; }));
    EXPECT_FALSE(form->panTextoColega->Mostrando());
    input.key("ctrl+z");
    EXPECT_EQ(editor->text(), "Order No. C1");

    // Saving it over the colleague's is a deliberate save, checked against
    // the row as it is now: it goes through.
    input.key("Return");
    EXPECT_EQ(boxes.shown.size(), 1) << boxes.shown.join('|').toStdString();
    EXPECT_EQ(dbRow("ENG", "Nº do pedido"), QStringList({"Order No. C1", "T"}));
    EXPECT_EQ(form->cdsDestino->State(), TDataSetState::dsBrowse);
    EXPECT_EQ(form->cdsDestino->ChangeCount(), 0);
}

TEST_F(EditorGravacao, AReplacementIsNotWrittenOverByAnOpenCellEditor)
{
    TfrmTraducao* form = open(kIdiomas,
                              {
                                  {"ENG", "P1", "c1", "Abrir", "Open", "T"},
                                  {"ENG", "P2", "c2", "Abrir arquivo", "Open file", "T"},
                                  {"ENG", "P3", "c3", "Fechar", "Close", "T"},
                              });
    ASSERT_TRUE(form);
    ASSERT_EQ(dbRow("ENG", "Abrir"), QStringList({"Open", "T"}));

    // Find/replace from the keyboard; "Open" by "Opened" in the destination texts.
    clickCell("Fechar", 1);
    input.key("ctrl+u");
    ASSERT_TRUE(QTest::qWaitFor([] { return boIdCriado && frmSubstituir && frmSubstituir->isVisible(); }));
    TfrmSubstituir* dlg = frmSubstituir;
    input.click(dlg->edtLocalizar);
    input.type("Open");
    input.click(dlg->edtSubstituir);
    input.type("Opened");
    input.click(dlg->sbtProcurar);
    ASSERT_EQ(current(), "Abrir");

    // The found row's cell opened, nothing typed: the replacement is saved.
    input.doubleClick(form->dbgPadrao->viewport(), cellRect(rowOf("Abrir"), 2).center());
    ASSERT_TRUE(form->dbgPadrao->InplaceEditor()) << "the cell's editor is open";
    input.click(dlg->sbtConfirma);
    EXPECT_EQ(dbRow("ENG", "Abrir"), QStringList({"Opened", "T"}));
    EXPECT_EQ(shownDestination(rowOf("Abrir")), "Opened");

    // Text typed in the cell is saved first, and the replacement applies to it.
    input.doubleClick(form->dbgPadrao->viewport(), cellRect(rowOf("Abrir arquivo"), 2).center());
    QLineEdit* editor = form->dbgPadrao->InplaceEditor();
    ASSERT_TRUE(editor);
    input.key("End");
    input.type("s");
    ASSERT_EQ(editor->text(), "Open files");
    input.click(dlg->sbtConfirma);
    EXPECT_EQ(dbRow("ENG", "Abrir arquivo"), QStringList({"Opened files", "T"}));
    EXPECT_EQ(dbRow("ENG", "Fechar"), QStringList({"Close", "T"}));
    EXPECT_TRUE(boxes.shown.isEmpty()) << boxes.shown.join('|').toStdString();
    EXPECT_EQ(serverCalls("SetDestino"), 3) << "the typed text and each replacement, one save each";
}

} // namespace
