// The pre-translation from the editor's menu, against a real trd-server and
// an engine that answers as the test decides: the dialog counts the filter's
// rows it will fill, runs on its own thread, and the editor shows the rows
// filled as doubtful once it ends; rows with a text are left alone, and the
// whole run is one batch of the history naming the engine.
#include "AutomaticaDoEditor.h"
#include "EditorTestKit.h"
#include "PreTraducaoDialog.h"
#include "StandInEngine.h"

#include <QApplication>
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
