// The terms window through its real widgets against a real trd-server: the
// filter narrows the list as it is typed, Enter changes the chosen term
// through the term dialog, a change made on a term someone else changed since
// it was read is refused and shown with the list read again, and Delete
// deletes only once confirmed.
#include "JanelaTermos.h"
#include "NovoTermoDialog.h"
#include "RecordingDialogSeam.h"
#include "ServerCalls.h"
#include "TClientDataSet.h"
#include "TSocketConnection.h"
#include "TrdServerProcess.h"

#include <QApplication>
#include <QLabel>
#include <QLineEdit>
#include <QPlainTextEdit>
#include <QPushButton>
#include <QTableView>
#include <QTest>
#include <QTimer>

#include <gtest/gtest.h>

using namespace trd;
using namespace trd::test;

namespace {

class JanelaDeTermos : public ::testing::Test {
protected:
    void SetUp() override
    {
        TrdServerProcess::Options options;
        options.seedTsv = "L\tENG\tInglês\tENG\n";
        server = std::make_unique<TrdServerProcess>(options);
        ASSERT_TRUE(server->isRunning()) << server->errorString().toStdString();
        conexao.Port = server->port();
        conexao.ServerName = ServerNameTraducao;
        for (const auto& [termo, traducao] :
             {std::pair{"Pedido", "Order"}, std::pair{"Nota fiscal", "Invoice"}, std::pair{"Cliente", "Customer"}})
            CheckResultServ(
                conexao.AppServer().Call(QStringLiteral("AddTermo"),
                                         {QStringLiteral("ENG"), QString::fromUtf8(termo), QString::fromUtf8(traducao),
                                          QString(), QStringLiteral("N"), QString(), QString()}),
                true, 0);
    }
    // The server's terms as "words=preferred|forbidden".
    QStringList noServidor()
    {
        TClientDataSet termos;
        termos.SetData(
            CheckResultServ(conexao.AppServer().Call(QStringLiteral("GetTermos"), {QStringLiteral("ENG")}), true, 0));
        QStringList out;
        for (termos.First(); !termos.Eof(); termos.Next())
            out << termos.FieldByName(QStringLiteral("DSTERMO"))->AsString() + u'='
                    + termos.FieldByName(QStringLiteral("DSPREFERIDAS"))->AsString() + u'|'
                    + termos.FieldByName(QStringLiteral("DSPROIBIDAS"))->AsString();
        return out;
    }
    QString celula(JanelaTermos& janela, int linha, int coluna)
    {
        return janela.grdTermos->model()->index(linha, coluna).data().toString();
    }
    // Answers the term dialog the next Enter opens: `muda` fills it, then Gravar.
    void naAlteracao(const std::function<void(NovoTermoDialog&)>& muda)
    {
        QTimer::singleShot(0, [this, muda] {
            auto* dialogo = qobject_cast<NovoTermoDialog*>(QApplication::activeModalWidget());
            if (!dialogo) {
                ADD_FAILURE() << "the term dialog did not open";
                return;
            }
            vistos << dialogo->windowTitle() + u':' + dialogo->edtTermo->text() + u'='
                    + dialogo->memPreferidas->toPlainText();
            muda(*dialogo);
            for (QPushButton* b : dialogo->findChildren<QPushButton*>())
                if (b->text() == QStringLiteral("&Gravar"))
                    b->click();
        });
    }

    std::unique_ptr<TrdServerProcess> server;
    TSocketConnection conexao;
    QStringList vistos;
};

} // namespace

TEST_F(JanelaDeTermos, FilterChangeStaleRefusalAndDeleteThroughTheRealWidgets)
{
    RecordingDialogSeam seam;
    JanelaTermos janela(conexao, QStringLiteral("ENG"), nullptr);
    janela.show();
    ASSERT_TRUE(QTest::qWaitForWindowActive(&janela));
    EXPECT_EQ(janela.lblQuantos->text(), QStringLiteral("3 de 3 termos"));
    EXPECT_EQ(QApplication::focusWidget(), janela.edtFiltro);

    // Case, accents and the translations count for the filter.
    QTest::keyClicks(janela.edtFiltro, QStringLiteral("INVOÍC"));
    EXPECT_EQ(janela.lblQuantos->text(), QStringLiteral("1 de 3 termos"));
    EXPECT_EQ(celula(janela, 0, 0), QStringLiteral("Nota fiscal"));
    QTest::keyClick(janela.edtFiltro, Qt::Key_A, Qt::ControlModifier);
    QTest::keyClicks(janela.edtFiltro, QStringLiteral("fisc"));
    ASSERT_EQ(janela.lblQuantos->text(), QStringLiteral("1 de 3 termos"));

    // Down to the list, Enter: the term dialog in its edit mode, filled in.
    QTest::keyClick(janela.edtFiltro, Qt::Key_Down);
    EXPECT_EQ(QApplication::focusWidget(), janela.grdTermos);
    naAlteracao([](NovoTermoDialog& d) { d.memPreferidas->setPlainText(QStringLiteral("Invoice\nTax invoice")); });
    QTest::keyClick(janela.grdTermos, Qt::Key_Return);
    EXPECT_EQ(vistos, QStringList{QStringLiteral("Alterar Termo do Glossário:Nota fiscal=Invoice")});
    EXPECT_EQ(noServidor(),
              (QStringList{QStringLiteral("Cliente=Customer|"), QStringLiteral("Nota fiscal=Invoice\nTax invoice|"),
                           QStringLiteral("Pedido=Order|")}));
    EXPECT_EQ(celula(janela, 0, 1), QStringLiteral("Invoice; Tax invoice"));
    EXPECT_TRUE(seam.shown.empty());

    // Someone else changes the term; a change on what the window read is refused.
    TSocketConnection outro;
    outro.Port = server->port();
    outro.ServerName = ServerNameTraducao;
    TClientDataSet lido;
    lido.SetData(
        CheckResultServ(outro.AppServer().Call(QStringLiteral("GetTermos"), {QStringLiteral("ENG")}), true, 0));
    lido.Next(); // "Nota fiscal"
    CheckResultServ(outro.AppServer().Call(QStringLiteral("AlteraTermo"),
                                           {QStringLiteral("ENG"),
                                            static_cast<qint64>(lido.FieldByName(QStringLiteral("IDTERMO"))->AsFloat()),
                                            QStringLiteral("Nota fiscal"), QStringLiteral("Bill"), QString(),
                                            QStringLiteral("N"), QString(), QString()}),
                    true, 0);
    naAlteracao([](NovoTermoDialog& d) { d.memProibidas->setPlainText(QStringLiteral("Receipt")); });
    QTest::keyClick(janela.grdTermos, Qt::Key_Return);
    ASSERT_EQ(seam.shown.size(), 1u);
    EXPECT_TRUE(seam.shown[0].text.startsWith(QStringLiteral("O termo \"Nota fiscal\" foi alterado por local depois "
                                                             "de lido; leia-o de novo.")))
        << seam.shown[0].text.toStdString();
    EXPECT_EQ(seam.shown[0].type, mtWarning);
    EXPECT_TRUE(noServidor().contains(QStringLiteral("Nota fiscal=Bill|")));
    EXPECT_EQ(celula(janela, 0, 1), QStringLiteral("Bill")); // the list shows what the server has now

    // Delete asks first: No keeps the term, Yes deletes it.
    seam.answers = {mrNo, mrYes};
    QTest::keyClick(janela.grdTermos, Qt::Key_Delete);
    EXPECT_EQ(noServidor().size(), 3);
    QTest::keyClick(janela.grdTermos, Qt::Key_Delete);
    ASSERT_EQ(seam.shown.size(), 3u);
    EXPECT_EQ(seam.shown[1].text, QStringLiteral("Excluir o termo \"Nota fiscal\" do glossário de ENG?"));
    EXPECT_EQ(noServidor(), (QStringList{QStringLiteral("Cliente=Customer|"), QStringLiteral("Pedido=Order|")}));
    EXPECT_EQ(janela.lblQuantos->text(), QStringLiteral("0 de 2 termos"));
    EXPECT_FALSE(janela.btnExcluir->isEnabled());
    EXPECT_TRUE(janela.mudou());
    EXPECT_EQ(janela.lista().termos().size(), 2);
}
