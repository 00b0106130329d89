// The pre-translation from the editor's menu, against a real trd-server and
// an engine that answers as the test decides: the dialog counts the filter's
// rows it will fill, runs on its own thread, and the editor shows the rows
// filled as doubtful once it ends; rows with a text are left alone, and the
// whole run is one batch of the history naming the engine.
#include "AutomaticaDoEditor.h"
#include "EditorTestKit.h"
#include "PainelAutomatica.h"
#include "PreTraducaoDialog.h"
#include "StandInEngine.h"

#include <QApplication>
#include <QElapsedTimer>
#include <QLabel>
#include <QProgressBar>
#include <QPushButton>
#include <QTest>
#include <QTimer>

using namespace trd;
using namespace trd::test;

namespace {

class PreTraducaoEditor : public EditorTest {
protected:
    StandInEngine engine;
};

TEST_F(PreTraducaoEditor, FillsTheFiltersUntranslatedRowsAsDoubtfulAndTheEditorShowsThem)
{
    // Each paragraph sent comes back marked, so the test can tell the engine's text.
    engine.answer = [](std::string q) {
        for (std::size_t at = 0; (at = q.find("<p>", at)) != std::string::npos; at += 3)
            q.insert(at + 3, "ES ");
        return q.rfind("<p>", 0) == 0 ? q : "ES " + q;
    };
    serverArgs = {QStringLiteral("--mt-url"), QString::fromStdString(engine.url())};
    TfrmTraducao* form = openLoaded({{"ESP", "Espanhol"}},
                                    {{"ESP", "P1", "c1", "Salvar o arquivo %s?", "", "N"},
                                     {"ESP", "P1", "c2", "Fechar", "", "N"},
                                     {"ESP", "P1", "c3", "Nome do cliente", "Texto meu", "N"},
                                     {"ESP", "P2", "c1", "Fechar", "Cerrar", "T"},
                                     {"ESP", "P2", "c2", "Abrir", "", "D"}},
                                    QStringLiteral("ESP-Espanhol"));
    ASSERT_TRUE(form);

    QString contagem, resumo;
    QTimer::singleShot(0, [&] {
        auto* dialogo = qobject_cast<PreTraducaoDialog*>(QApplication::activeModalWidget());
        ASSERT_TRUE(dialogo);
        contagem = dialogo->lblTexto->text();
        ASSERT_TRUE(dialogo->btnPreTraduzir->isEnabled());
        QTest::mouseClick(dialogo->btnPreTraduzir, Qt::LeftButton);
        ASSERT_TRUE(
            QTest::qWaitFor([dialogo] { return dialogo->btnFechar->text() == QStringLiteral("&Fechar"); }, 30000));
        resumo = dialogo->lblEtapa->text();
        QTest::mouseClick(dialogo->btnFechar, Qt::LeftButton);
    });
    form->automatica->mnuPreTraduzir->trigger();

    EXPECT_TRUE(contagem.contains(QStringLiteral("as 2 linhas não traduzidas e sem texto"))) << contagem.toStdString();
    EXPECT_EQ(resumo,
              QStringLiteral("2 de 2 linhas pré-traduzidas como dúvida (1 da memória de tradução, 1 da tradução "
                             "automática), no lote 2."));
    EXPECT_TRUE(seam.messages().contains(resumo)) << seam.messages().join(u'|').toStdString();
    EXPECT_EQ(dbRow("ESP", "Salvar o arquivo %s?"), QStringList({"ES Salvar o arquivo %s?", "D"}));
    EXPECT_EQ(dbRow("ESP", "Nome do cliente"), QStringList({"Texto meu", "N"})) << "a row with text is left alone";
    // The editor read its rows again: the grid shows them filled.
    ASSERT_TRUE(locate(QStringLiteral("Salvar o arquivo %s?")));
    EXPECT_EQ(form->cdsDestino->FieldByName(QStringLiteral("IDSITTRADUCAO"))->AsString(), QStringLiteral("D"));
    EXPECT_EQ(form->cdsDestino->FieldByName(QStringLiteral("STVALORPROP"))->AsString(),
              QStringLiteral("ES Salvar o arquivo %s?"));
}

} // namespace

namespace {

// An engine that keeps the question: past a second the panel says it is slow,
// the editor taking keys meanwhile; the answer, once it comes, takes the line's place.
TEST_F(PreTraducaoEditor, ASlowEngineIsToldInThePanelAndItsAnswerReplacesTheLine)
{
    engine.answer = [](const std::string& q) { return "ES " + q; };
    serverArgs = {QStringLiteral("--mt-url"), QString::fromStdString(engine.url()), QStringLiteral("--mt-timeout"),
                  QStringLiteral("30")};
    TfrmTraducao* form = openLoaded({{"ESP", "Espanhol"}},
                                    {{"ESP", "P1", "c1", "Fechar", "", "N"}, {"ESP", "P1", "c2", "Abrir", "", "N"}},
                                    QStringLiteral("ESP-Espanhol"));
    ASSERT_TRUE(form);
    PainelAutomatica* painel = form->automatica->painel();
    ASSERT_TRUE(QTest::qWaitFor([&] { return painel->sugestao().has_value(); }, 30000))
        << painel->estado().toStdString();

    engine.hold();
    QElapsedTimer relogio;
    relogio.start();
    ASSERT_TRUE(locate(QStringLiteral("Abrir")));
    QTest::qWait(500);
    EXPECT_FALSE(painel->sugestao().has_value());
    EXPECT_NE(painel->estado(), AutomaticaDoEditor::TextoLenta) << "not before its time";
    ASSERT_TRUE(QTest::qWaitFor([&] { return painel->estado() == AutomaticaDoEditor::TextoLenta; }, 30000))
        << painel->estado().toStdString();
    EXPECT_GE(relogio.elapsed(), AutomaticaDoEditor::LentaMs);
    // Typing goes on while the engine thinks.
    form->dbgPadrao->setFocus();
    form->dbgPadrao->SetSelectedIndex(2);
    QTest::keyClicks(form->dbgPadrao, QStringLiteral("Open"));
    ASSERT_TRUE(form->dbgPadrao->InplaceEditor());
    EXPECT_EQ(form->dbgPadrao->InplaceEditor()->text(), QStringLiteral("Open"));
    EXPECT_EQ(painel->estado(), AutomaticaDoEditor::TextoLenta);

    engine.release();
    ASSERT_TRUE(QTest::qWaitFor([&] { return painel->sugestao().has_value(); }, 30000))
        << painel->estado().toStdString();
    EXPECT_EQ(painel->sugestao()->texto, QStringLiteral("ES Abrir"));
    EXPECT_NE(painel->estado(), AutomaticaDoEditor::TextoLenta);
    QTest::keyClick(form->dbgPadrao->InplaceEditor(), Qt::Key_Escape);
}

} // namespace
