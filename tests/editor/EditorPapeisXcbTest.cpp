// Who may do what in the editor, on a real display against a real trd-server
// with users: leo reads (leitor of every language), tito translates ENG, rita
// reviews ENG, ana administers everything. Each opens the editor on ENG and
// finds off, with the reason in its hint, what they may not use, so no key
// or click of theirs fails; rita reviews rows one key each; under required
// review tito's save of a row rita just marked is refused with his text kept
// in the cell; a role granted while the editor is open reaches it without a
// new log-in; ana's users window grants a role.
#include "EditorPapeisFixture.h"

#include "AlteracoesAoVivo.h"
#include "JanelaUsuarios.h"
#include "PapeisDoEditor.h"
#include "RevisaoDoEditor.h"
#include "RevisaoRegras.h"
#include "ServerCalls.h"
#include "UsuariosModelo.h"
#include "WebSession.h"

#include <QAction>
#include <QComboBox>
#include <QLabel>
#include <QProcess>
#include <QPushButton>
#include <QTableView>
#include <QTimer>

using namespace trd;
using namespace trd::test;

namespace {

QList<Linha> linhas()
{
    QList<Linha> l;
    for (int i = 0; i < 20; ++i)
        l.append({"ENG", "P0", QStringLiteral("c%1").arg(i, 2, 10, QLatin1Char('0')),
                  QStringLiteral("Texto %1").arg(i, 2, 10, QLatin1Char('0')), QStringLiteral("Text %1").arg(i), "T"});
    l.append({"ESP", "P0", "c00", "Texto 00", "Texto 00 es", "T"});
    return l;
}

class EditorPapeis : public EditorComPapeis {
protected:
    TfrmTraducao* abreComo(const QString& nome) { return EditorComPapeis::abreComo(nome, linhas()); }
    // rita marks the row as she reads it on the server.
    void ritaMarca(const QString& origem)
    {
        const QStringList row = dbRow("ENG", origem);
        ASSERT_EQ(row.size(), 2);
        chamaComo("rita", metodo::MarcaRevisao, {"ENG", "P0", componente(origem), origem, "S", row[0], row[1]});
    }
    static QString componente(const QString& origem) { return QStringLiteral("c") + origem.right(2); }
    // Who marked the row, as the server has it now.
    QString revisorNoServidor(const QString& origem)
    {
        TClientDataSet& l =
            chamaComo("ana", metodo::GetDestino, {"T", "D", "N", "ENG", TDateTime(0), TDateTime(0), ""});
        EXPECT_TRUE(l.Locate(QStringLiteral("STAGRVALPROP"), {origem}));
        return l.FieldByName(revisao::NMREVISOR)->AsString();
    }
};

TEST_F(EditorPapeis, ALeitorReadsOnlyAndEveryControlHeMayNotUseSaysWhy)
{
    TfrmTraducao* form = abreComo("leo");
    ASSERT_TRUE(form);
    EXPECT_EQ(papel(), "Papel: leitor de ENG (só leitura)");
    const QString motivo = "É preciso ser tradutor do idioma ENG para alterar suas traduções.";

    // The grid reads only: F2 opens no cell, typing changes nothing, nothing is sent.
    clickCell("Texto 03");
    input.key("F2");
    input.type("xyz");
    input.key("Return");
    EXPECT_FALSE(form->dbgPadrao->InplaceEditor());
    EXPECT_EQ(form->cdsDestino->State(), TDataSetState::dsBrowse);
    EXPECT_EQ(shownDestination(rowOf("Texto 03")), "Text 3");
    EXPECT_EQ(form->dbgPadrao->viewport()->toolTip(), motivo);
    // The status buttons and items, replace, delete: off, saying why.
    for (TButtonFlat* b : {form->sbtNTrad, form->sbtDuvida, form->sbtTrad, form->sbtSubstituir}) {
        EXPECT_FALSE(b->isEnabled()) << b->objectName().toStdString();
        EXPECT_TRUE(b->toolTip().endsWith(motivo)) << b->toolTip().toStdString();
    }
    EXPECT_FALSE(form->sbtExcluir->isEnabled());
    for (const char* nome : {"mnuNTrad", "mnuDuvida", "mnuTrad", "mnuSubstituir", "mnuImportar"}) {
        ASSERT_TRUE(item(nome)) << nome;
        EXPECT_FALSE(item(nome)->isEnabled()) << nome;
        EXPECT_EQ(item(nome)->toolTip(), motivo) << nome;
    }
    EXPECT_FALSE(item("mnuMarcarRevisado")->isEnabled());
    EXPECT_EQ(item("mnuMarcarRevisado")->toolTip(),
              "É preciso ser revisor do idioma ENG para marcar traduções como revisadas.");
    EXPECT_FALSE(item("mnuUsuarios")->isEnabled());
    EXPECT_EQ(item("mnuUsuarios")->toolTip(),
              "É preciso ser administrador de todos os idiomas para administrar os usuários.");
    // Their keys do nothing at all: no call, no message.
    for (const char* tecla : {"ctrl+t", "ctrl+d", "ctrl+r", "ctrl+shift+r", "ctrl+u", "ctrl+shift+u", "Delete"})
        input.key(QString::fromLatin1(tecla));
    QTest::qWait(300);
    EXPECT_TRUE(boxes.shown.isEmpty()) << boxes.shown.join('|').toStdString();
    EXPECT_EQ(serverCalls("SetDestino"), 0);
    EXPECT_EQ(serverCalls("MarcaRevisao"), 0);
    EXPECT_EQ(dbRow("ENG", "Texto 03"), QStringList({"Text 3", "T"}));
    // Reading goes on: the filter and the reload stay his.
    EXPECT_TRUE(form->sbtFiltro->isEnabled());
}

TEST_F(EditorPapeis, ATradutorTranslatesButNeitherMarksNorAdministers)
{
    TfrmTraducao* form = abreComo("tito");
    ASSERT_TRUE(form);
    EXPECT_EQ(papel(), "Papel: tradutor de ENG");
    QPointer<QLineEdit> editor = editCell("Texto 05");
    ASSERT_TRUE(editor);
    input.type(" (tito)");
    input.key("Return");
    EXPECT_TRUE(boxes.shown.isEmpty()) << boxes.shown.join('|').toStdString();
    EXPECT_EQ(dbRow("ENG", "Texto 05"), QStringList({"Text 5 (tito)", "T"}));
    EXPECT_TRUE(form->sbtTrad->isEnabled());
    EXPECT_TRUE(item("mnuImportar")->isEnabled());
    EXPECT_FALSE(item("mnuMarcarRevisado")->isEnabled());
    EXPECT_FALSE(item("mnuUsuarios")->isEnabled());
    input.key("ctrl+r");
    QTest::qWait(300);
    EXPECT_EQ(serverCalls("MarcaRevisao"), 0);
    EXPECT_TRUE(boxes.shown.isEmpty());
}

TEST_F(EditorPapeis, ARevisorReviewsRowsOneKeyEachAndAChangeTakesTheMarkAway)
{
    TfrmTraducao* form = abreComo("rita");
    ASSERT_TRUE(form);
    EXPECT_EQ(papel(), "Papel: revisor de ENG");
    clickCell("Texto 00");
    ASSERT_TRUE(item("mnuMarcarRevisado")->isEnabled());
    // Five rows, five keys: each marked as shown, the next row current, nothing asked.
    for (int i = 0; i < 5; ++i)
        input.key("ctrl+r");
    EXPECT_TRUE(QTest::qWaitFor([&] { return current() == "Texto 05"; }, kEspera)) << current().toStdString();
    EXPECT_TRUE(boxes.shown.isEmpty()) << boxes.shown.join('|').toStdString();
    EXPECT_EQ(serverCalls("MarcaRevisao"), 5);
    for (const char* o : {"Texto 00", "Texto 01", "Texto 02", "Texto 03", "Texto 04"}) {
        EXPECT_EQ(revisorNoServidor(o), "rita") << o;
        EXPECT_EQ(revisorNaTela(o), "rita") << o;
    }
    EXPECT_EQ(revisorNaTela("Texto 05"), "");
    EXPECT_EQ(form->cdsDestino->ChangeCount(), 0);

    // The lamp: a blue seal in the status cell of a reviewed row, none on another.
    const QImage tela = form->dbgPadrao->viewport()->grab().toImage();
    const auto azul = [&](const QString& o) {
        const QRect c = cellRect(rowOf(o), 0);
        const QColor cor = tela.pixelColor(c.right() - 5, c.bottom() - 8);
        return cor.blue() > 150 && cor.red() < 80;
    };
    EXPECT_TRUE(azul("Texto 01"));
    EXPECT_FALSE(azul("Texto 05"));

    // Back on a reviewed row the caption line names the mark; Ctrl+Shift+R takes it away and stays.
    input.key("Up");
    ASSERT_EQ(current(), "Texto 04");
    EXPECT_TRUE(papel().startsWith("Papel: revisor de ENG · Revisada por rita em ")) << papel().toStdString();
    input.key("ctrl+shift+r");
    EXPECT_TRUE(QTest::qWaitFor([&] { return revisorNaTela("Texto 04").isEmpty(); }, kEspera));
    EXPECT_EQ(current(), "Texto 04");
    EXPECT_EQ(revisorNoServidor("Texto 04"), "");

    // A change of the text clears the mark, in the grid as on the server.
    QPointer<QLineEdit> editor = editCell("Texto 02");
    ASSERT_TRUE(editor);
    input.type("!");
    input.key("Return");
    EXPECT_TRUE(boxes.shown.isEmpty()) << boxes.shown.join('|').toStdString();
    EXPECT_EQ(dbRow("ENG", "Texto 02"), QStringList({"Text 2!", "T"}));
    EXPECT_EQ(revisorNaTela("Texto 02"), "");
    EXPECT_EQ(revisorNoServidor("Texto 02"), "");
    EXPECT_EQ(revisorNaTela("Texto 01"), "rita");

    // A colleague's mark arrives by the live changes, without a reload.
    chamaComo("ana", metodo::MarcaRevisao, {"ENG", "P0", "c10", "Texto 10", "S", "Text 10", "T"});
    EXPECT_TRUE(QTest::qWaitFor([&] { return revisorNaTela("Texto 10") == "ana"; }, kEspera));
    EXPECT_EQ(form->cdsDestino->ChangeCount(), 0);
}

TEST_F(EditorPapeis, UnderRequiredReviewATradutorsSaveOfAReviewedRowIsRefusedAndHisTextStays)
{
    TfrmTraducao* form = abreComo("tito");
    ASSERT_TRUE(form);
    chamaComo("ana", metodo::SetRevisaoIdioma, {"ENG", "S", "N"});
    ASSERT_NO_FATAL_FAILURE(ritaMarca("Texto 02"));
    // The mark and the rule reach his editor by themselves.
    ASSERT_TRUE(QTest::qWaitFor([&] { return revisorNaTela("Texto 02") == "rita"; }, kEspera));
    ASSERT_TRUE(
        QTest::qWaitFor([&] { return papel().startsWith("Papel: tradutor de ENG (revisão exigida)"); }, kEspera))
        << papel().toStdString();
    // On the reviewed row the status buttons are off and say why.
    clickCell("Texto 02");
    EXPECT_FALSE(form->sbtDuvida->isEnabled());
    EXPECT_TRUE(form->sbtDuvida->toolTip().contains("foi revisada por rita em "))
        << form->sbtDuvida->toolTip().toStdString();
    EXPECT_TRUE(form->sbtDuvida->toolTip().contains("só um revisor pode alterá-la"));
    input.key("ctrl+d");
    clickCell("Texto 06");
    EXPECT_TRUE(form->sbtDuvida->isEnabled()) << "a row not reviewed is his as always";
    EXPECT_EQ(dbRow("ENG", "Texto 02"), QStringList({"Text 2", "T"}));

    // He types in a row; rita marks it meanwhile; his post is refused, his text stays in the cell.
    QPointer<QLineEdit> editor = editCell("Texto 03");
    ASSERT_TRUE(editor);
    input.type(" (tito)");
    ASSERT_NO_FATAL_FAILURE(ritaMarca("Texto 03"));
    QTest::qWait(500);
    ASSERT_TRUE(editor);
    EXPECT_EQ(editor->text(), "Text 3 (tito)") << "a mark arriving leaves the cell alone";
    input.key("Return");
    ASSERT_EQ(boxes.shown.size(), 1);
    EXPECT_TRUE(boxes.shown.first().contains("foi revisada por rita em ")) << boxes.shown.first().toStdString();
    EXPECT_TRUE(boxes.shown.first().contains("exige revisão")) << boxes.shown.first().toStdString();
    EXPECT_TRUE(boxes.shown.first().contains("não foi gravado e continua na célula"))
        << boxes.shown.first().toStdString();
    editor = form->dbgPadrao->InplaceEditor();
    ASSERT_TRUE(editor) << "the typed text is back in its cell";
    EXPECT_EQ(editor->text(), "Text 3 (tito)");
    EXPECT_EQ(form->cdsDestino->State(), TDataSetState::dsEdit);
    EXPECT_EQ(dbRow("ENG", "Texto 03"), QStringList({"Text 3", "T"}));
    EXPECT_EQ(revisorNoServidor("Texto 03"), "rita");
    input.key("Escape");
    EXPECT_EQ(revisorNaTela("Texto 03"), "rita");
}

TEST_F(EditorPapeis, ARoleGrantedWhileTheEditorIsOpenReachesItWithoutANewLogIn)
{
    TfrmTraducao* form = abreComo("leo");
    ASSERT_TRUE(form);
    ASSERT_TRUE(form->dbgPadrao->ReadOnly());
    chamaComo("ana", metodo::ConcedePapel, {"leo", "tradutor", "ENG"});
    EXPECT_TRUE(QTest::qWaitFor([&] { return !form->dbgPadrao->ReadOnly(); }, kEspera));
    // The line takes its text once the handler that learnt the role is over.
    EXPECT_TRUE(QTest::qWaitFor([&] { return papel() == "Papel: tradutor de ENG"; }, kEspera)) << papel().toStdString();
    EXPECT_TRUE(form->sbtTrad->isEnabled());
    QPointer<QLineEdit> editor = editCell("Texto 07");
    ASSERT_TRUE(editor);
    input.type(" (leo)");
    input.key("Return");
    EXPECT_TRUE(boxes.shown.isEmpty()) << boxes.shown.join('|').toStdString();
    EXPECT_EQ(dbRow("ENG", "Texto 07"), QStringList({"Text 7 (leo)", "T"}));
    // Taken away again: the grid reads only once more.
    chamaComo("ana", metodo::RetiraPapel, {"leo", "ENG"});
    EXPECT_TRUE(QTest::qWaitFor([&] { return form->dbgPadrao->ReadOnly(); }, kEspera));
    EXPECT_FALSE(form->sbtTrad->isEnabled());
}

TEST_F(EditorPapeis, AnAdministratorGrantsARoleFromTheUsersWindow)
{
    TfrmTraducao* form = abreComo("ana");
    ASSERT_TRUE(form);
    EXPECT_EQ(papel(), "Papel: administrador de ENG");
    ASSERT_TRUE(item("mnuUsuarios")->isEnabled());
    bool visto = false;
    QStringList linhasVistas;
    QTimer relogio;
    relogio.setInterval(50);
    QObject::connect(&relogio, &QTimer::timeout, [&] {
        auto* janela = qobject_cast<JanelaUsuarios*>(QApplication::activeModalWidget());
        if (!janela || visto)
            return;
        visto = true;
        janela->cbbUsuario->setCurrentText("leo");
        janela->cbbIdioma->setCurrentIndex(janela->cbbIdioma->findData("ESP"));
        janela->cbbPapel->setCurrentText("revisor");
        janela->btnConceder->click();
        for (const UsuariosModelo::Concessao& c : janela->modelo->concessoes())
            linhasVistas << c.usuario + "/" + c.idioma + "/" + c.papel;
        janela->btnFechar->click();
    });
    relogio.start();
    input.key("ctrl+shift+u");
    EXPECT_TRUE(QTest::qWaitFor([&] { return visto && !QApplication::activeModalWidget(); }, kEspera));
    EXPECT_TRUE(boxes.shown.isEmpty()) << boxes.shown.join('|').toStdString();
    EXPECT_TRUE(linhasVistas.contains("leo/ESP/revisor")) << linhasVistas.join(' ').toStdString();
    EXPECT_TRUE(linhasVistas.contains("leo/*/leitor")) << linhasVistas.join(' ').toStdString();
    // The server has it: leo may now mark ESP's rows.
    TClientDataSet& u = chamaComo("ana", metodo::GetUsuarios, {});
    bool achou = false;
    for (u.First(); !u.Eof(); u.Next())
        achou = achou
            || (u.FieldByName("NMUSUARIO")->AsString() == "leo" && u.FieldByName("IDIDIOMA")->AsString() == "ESP"
                && u.FieldByName("TPPAPEL")->AsString() == "revisor");
    EXPECT_TRUE(achou);
}

} // namespace
