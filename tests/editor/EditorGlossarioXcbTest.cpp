// The glossary in the editor, on a real X display with real keys and a real
// trd-server holding the terms: the terms panel follows the current row's
// source, the glossary's finding appears in the checks' panel while the
// translation is typed and goes when Ctrl+G puts the term's translation at
// the cursor, and a term added from the source's selected words through the
// real dialog reaches the server and the panel at once.
#include "XcbEditorTest.h"

#include "GlossarioDoEditor.h"
#include "NovoTermoDialog.h"
#include "PainelTermos.h"
#include "PainelVerificacoes.h"
#include "ServerCalls.h"
#include "TClientDataSet.h"
#include "TSocketConnection.h"
#include "VerificacoesDoEditor.h"

#include <QLabel>
#include <QPointer>
#include <QPlainTextEdit>
#include <QTableWidget>
#include <QTimer>

using namespace trd;
using namespace trd::test;

namespace {

const QList<Idioma> kIdiomas = {{"ENG", "English"}};
const QList<Linha> kLinhas = {
    {"ENG", "P1", "lblPedidos", "Pedidos pendentes", "Pending", "D"},
    {"ENG", "P1", "lblNome", "Nome", "Name", "T"},
};

class EditorGlossario : public XcbEditorTest {
protected:
    int termosNoServidor()
    {
        TSocketConnection c;
        c.Port = server->port();
        c.ServerName = ServerNameTraducao;
        TClientDataSet termos;
        termos.SetData(
            CheckResultServ(c.AppServer().Call(QStringLiteral("GetTermos"), {QStringLiteral("ENG")}), true, 0));
        return termos.RecordCount();
    }
    QStringList termosDoPainel(PainelTermos* p)
    {
        QStringList linhas;
        for (int i = 0; i < p->grdTermos->rowCount(); ++i)
            linhas << p->grdTermos->item(i, 0)->text() + u'|' + p->grdTermos->item(i, 1)->text();
        return linhas;
    }
};

} // namespace

TEST_F(EditorGlossario, PanelFindingInsertKeyAndNewTermOnARealDisplay)
{
    ASSERT_TRUE(input.ok()) << "no X display with XTEST";
    startServer(kIdiomas, kLinhas);
    {
        TSocketConnection c;
        c.Port = server->port();
        c.ServerName = ServerNameTraducao;
        CheckResultServ(c.AppServer().Call(QStringLiteral("AddTermo"),
                                           {QStringLiteral("ENG"), QStringLiteral("Pedido"), QStringLiteral("Order"),
                                            QStringLiteral("Request"), QStringLiteral("N"),
                                            QStringLiteral("O pedido do cliente"), QString()}),
                        true, 0);
    }
    TfrmTraducao* form = openEditor();
    ASSERT_TRUE(form);
    loadLanguage(QStringLiteral("ENG-English"));
    Application()->SetDialogSeam(nullptr); // the real dialog from here on
    activate();
    PainelTermos* painel = form->glossario->painel();
    ASSERT_TRUE(painel && painel->isVisible());
    // The terms and the dictionaries come in the background.
    ASSERT_TRUE(
        QTest::qWaitFor([&] { return painel->lblGlossario->text().contains(QStringLiteral("nesta linha")); }, 20000))
        << painel->lblGlossario->text().toStdString();

    ASSERT_TRUE(locate(QStringLiteral("Nome")));
    QApplication::processEvents();
    EXPECT_EQ(painel->quantos(), 0);
    EXPECT_EQ(painel->lblGlossario->text(), QStringLiteral("Glossário: nenhum termo nesta linha."));

    // The plural in the source is the term.
    QPointer<QLineEdit> celula = editCell(QStringLiteral("Pedidos pendentes"));
    ASSERT_TRUE(celula);
    EXPECT_EQ(termosDoPainel(painel), QStringList{QStringLiteral("Pedido|Order  (nunca: Request)")});
    EXPECT_EQ(painel->edtOrigem->text(), QStringLiteral("Pedidos pendentes"));
    PainelVerificacoes* achados = form->verificacoes->painel();
    input.type(QStringLiteral(" requests"));
    ASSERT_TRUE(QTest::qWaitFor([&] { return celula && celula->text() == QStringLiteral("Pending requests"); }))
        << (celula ? celula->text().toStdString() : std::string("the cell closed"));
    EXPECT_EQ(achados->linhas(),
              (QStringList{QStringLiteral("aviso: Falta a tradução do glossário: \"Pedido\" se traduz \"Order\"."),
                           QStringLiteral("aviso: O glossário proíbe \"Request\" para \"Pedido\" (use \"Order\").")}));

    // Back to "Pending ", then Ctrl+G: the translation at the cursor, and the findings go.
    for (int i = 0; i < 8; ++i)
        input.key(QStringLiteral("BackSpace"));
    input.key(QStringLiteral("ctrl+g"));
    ASSERT_TRUE(QTest::qWaitFor([&] { return celula && celula->text() == QStringLiteral("Pending Order"); }))
        << (celula ? celula->text().toStdString() : std::string("the cell closed; now: "))
        << (form->dbgPadrao->InplaceEditor() ? form->dbgPadrao->InplaceEditor()->text().toStdString()
                                             : std::string("none"))
        << " state " << int(form->cdsDestino->State());
    EXPECT_TRUE(achados->linhas().isEmpty()) << achados->linhas().join(u'\n').toStdString();
    input.key(QStringLiteral("ctrl+z"));
    ASSERT_TRUE(QTest::qWaitFor([&] { return celula && celula->text() == QStringLiteral("Pending "); }));
    input.key(QStringLiteral("Escape"));

    // A term from the source's selected words: the real dialog, filled by keys.
    painel->edtOrigem->setSelection(8, 9); // "pendentes"
    ASSERT_EQ(painel->edtOrigem->selectedText(), QStringLiteral("pendentes"));
    bool visto = false;
    QTimer atende;
    atende.setInterval(30);
    QObject::connect(&atende, &QTimer::timeout, [&] {
        auto* dialogo = qobject_cast<NovoTermoDialog*>(QApplication::activeModalWidget());
        if (!dialogo || visto || QApplication::activeWindow() != dialogo)
            return;
        visto = true;
        EXPECT_EQ(dialogo->edtTermo->text(), QStringLiteral("pendentes"));
        dialogo->memPreferidas->setFocus();
        input.type(QStringLiteral("pending"));
        EXPECT_TRUE(
            QTest::qWaitFor([&] { return dialogo->memPreferidas->toPlainText() == QStringLiteral("pending"); }));
        input.key(QStringLiteral("alt+a"));
    });
    atende.start();
    activate();
    input.key(QStringLiteral("ctrl+shift+g"));
    ASSERT_TRUE(QTest::qWaitFor([&] { return termosNoServidor() == 2; }, 10000));
    EXPECT_TRUE(visto);
    ASSERT_TRUE(QTest::qWaitFor([&] { return painel->quantos() == 2; }));
    EXPECT_EQ(termosDoPainel(painel),
              (QStringList{QStringLiteral("Pedido|Order  (nunca: Request)"), QStringLiteral("pendentes|pending")}));
}
