// A release of the application brought in from the editor, on a real display
// against a real trd-server: the release window reached by its key, the
// preview's counts per program and its rows with the changed words marked,
// nothing written until the apply, the apply through the window's own thread
// with the outcome and the offer to load the grid again, the keyboard back in
// the editor afterwards, and the previous source beside the current one under
// the detail panel. The guards: a truncated or empty file needs the box
// ticked before the apply can be pressed. The filter narrows to the rows the
// last release reworded or moved, and a cancelled preview leaves the window
// usable while the server still thinks.
#include "XcbEditorTest.h"

#include "Cli_Trd09301.h"
#include "LiberacaoDialog.h"
#include "LiberacaoDoEditor.h"
#include "PainelOrigemAnterior.h"
#include "PreviaModelo.h"
#include "TDateEditPlus.h"

#include <QCheckBox>
#include <QDate>
#include <QSpinBox>
#include <QFile>
#include <QLabel>
#include <QLineEdit>
#include <QProgressBar>
#include <QPushButton>
#include <QTableView>

#include <csignal>

using namespace trd;
using namespace trd::liberacao;
using namespace trd::test;

namespace {

constexpr int kEspera = 30000;

const QList<trd::test::Idioma> kIdiomas = {{"ENG", "English"}, {"ESP", "Español"}};

// Eight live rows of ENG; ESP has two of them.
const QList<trd::test::Linha> kLinhas = {
    {"ENG", "CAD01", "btnSalvar", "Salvar registro", "Save record", "T"},
    {"ENG", "CAD01", "lblNome", "Nome", "Name", "T"},
    {"ENG", "CAD01", "btnAntigo", "Antigo", "Old", "T"},
    {"ENG", "CAD01", "lblEndereco", "Endereço", "Address", "T"},
    {"ENG", "CAD01", "lblFone", "Telefone", "Phone", "D"},
    {"ENG", "FAT01", "lblCliente", "Cliente", "Customer", "T"},
    {"ENG", "FAT01", "lblTotal", "Total", "Total", "T"},
    {"ENG", "FAT01", "lblData", "Data", "", "N"},
    {"ESP", "CAD01", "lblNome", "Nome", "Nombre", "T"},
    {"ESP", "FAT01", "lblCliente", "Cliente", "Cliente", "T"},
};

// The next release: btnSalvar reworded, lblCliente moved to FAT02 (its
// screen renamed), btnNovo new, btnAntigo gone; the rest kept.
const QByteArray kLiberacao = "CAD01\tbtnSalvar\tSalvar o registro\n"
                              "CAD01\tlblNome\tNome\n"
                              "CAD01\tlblEndereco\tEndereço\n"
                              "CAD01\tlblFone\tTelefone\n"
                              "CAD01\tbtnNovo\tNovo\n"
                              "FAT02\tlblCliente\tCliente\n"
                              "FAT01\tlblTotal\tTotal\n"
                              "FAT01\tlblData\tData\n";

class EditorLiberacao : public XcbEditorTest {
protected:
    QString arquivo(const char* nome, const QByteArray& conteudo)
    {
        const QString caminho = dir.filePath(QString::fromLatin1(nome));
        QFile f(caminho);
        EXPECT_TRUE(f.open(QIODevice::WriteOnly));
        f.write(conteudo);
        return caminho;
    }
    // Ctrl+Shift+L from the grid: the window, active, its file box with the keyboard.
    LiberacaoDialog* abreJanela() { return dialogOpenedBy<LiberacaoDialog>(QStringLiteral("ctrl+shift+l"), kEspera); }
    // The file typed into the window and Enter: the preview, on its thread.
    void previa(LiberacaoDialog* janela, const QString& caminho)
    {
        EXPECT_TRUE(janela->edtArquivo->hasFocus());
        input.type(caminho);
        input.key(QStringLiteral("Return"));
        EXPECT_TRUE(QTest::qWaitFor([&] { return janela->previa() != nullptr; }, kEspera))
            << janela->lblEtapa->text().toStdString();
    }
    LiberacaoDoEditor* companhia() const { return frmTraducao->findChild<LiberacaoDoEditor*>(); }
};

TEST_F(EditorLiberacao, PreviaAplicacaoRecargaEOrigemAnteriorNoDetalhe)
{
    TfrmTraducao* form = open(kIdiomas, kLinhas);
    ASSERT_TRUE(form);
    ASSERT_TRUE(companhia());
    ASSERT_TRUE(form->mnuManutencao->actions().contains(companhia()->mnuLiberacao));
    const QString caminho = arquivo("liberacao.tsv", kLiberacao);
    clickCell(QStringLiteral("Nome"));
    LiberacaoDialog* janela = abreJanela();
    ASSERT_TRUE(janela);
    EXPECT_TRUE(janela->isModal() || janela->windowModality() == Qt::WindowModal);
    previa(janela, caminho);

    // The counts of the editor's language first, by hand: 8 live rows; Nome,
    // Endereço, Telefone, Total and Data kept; one of each other kind.
    ContagensModelo* c = janela->contagens();
    EXPECT_EQ(janela->cbbIdioma->currentText(), QStringLiteral("ENG"));
    ASSERT_EQ(c->rowCount(), 4); // the language, then CAD01, FAT01, FAT02
    EXPECT_EQ(c->valor(0, ContagensModelo::colVivas), 8);
    EXPECT_EQ(c->valor(0, ContagensModelo::colMantidas), 5);
    EXPECT_EQ(c->valor(0, ContagensModelo::colReescritas), 1);
    EXPECT_EQ(c->valor(0, ContagensModelo::colMovidas), 1);
    EXPECT_EQ(c->valor(0, ContagensModelo::colNovas), 1);
    EXPECT_EQ(c->valor(0, ContagensModelo::colObsoletas), 1);
    EXPECT_EQ(c->valor(0, ContagensModelo::colRevividas), 0);
    EXPECT_FALSE(janela->lblAvisos->isVisible());
    EXPECT_FALSE(janela->chkConfirmar->isVisible());

    // The reworded and the moved rows, the changed word marked on the new source.
    LinhasModelo* l = janela->linhas();
    ASSERT_EQ(l->rowCount(), 2);
    EXPECT_EQ(l->linha(0)->tipo, Tipo::Reescrita);
    EXPECT_EQ(l->linha(0)->origemAnterior, QStringLiteral("Salvar registro"));
    EXPECT_EQ(l->linha(0)->texto, QStringLiteral("Save record"));
    EXPECT_EQ(l->linha(0)->situacao, QStringLiteral("D"));
    EXPECT_TRUE(l->data(l->index(0, LinhasModelo::colNova), LinhasModelo::MarcadoRole)
                    .toString()
                    .contains(QStringLiteral("bold\">o </span>")));
    EXPECT_EQ(l->linha(1)->tipo, Tipo::Movida);
    EXPECT_EQ(l->data(l->index(1, LinhasModelo::colPrograma)).toString(), QStringLiteral("FAT01 \u2192 FAT02"));
    // ESP, chosen in the window: its own counts.
    janela->cbbIdioma->setCurrentText(QStringLiteral("ESP"));
    EXPECT_EQ(c->valor(0, ContagensModelo::colVivas), 2);
    EXPECT_EQ(c->valor(0, ContagensModelo::colMovidas), 1);
    janela->cbbIdioma->setCurrentText(QStringLiteral("ENG"));
    // Nothing written by the preview.
    EXPECT_TRUE(dbRow(QStringLiteral("ENG"), QStringLiteral("Salvar o registro")).isEmpty());

    // The apply: the question, the outcome, the offer to load the grid again,
    // each a real message box answered with Enter.
    ASSERT_TRUE(janela->btnAplicar->isEnabled());
    input.click(janela->btnAplicar);
    ASSERT_TRUE(QTest::qWaitFor([&] { return boxes.shown.size() >= 3; }, kEspera))
        << boxes.shown.join("|").toStdString();
    EXPECT_TRUE(boxes.shown[0].startsWith(QStringLiteral("Aplicar a liberação a 2 idioma(s)?")));
    EXPECT_TRUE(boxes.shown[1].contains(QStringLiteral("ENG: 1 reescrita, 1 movida, 1 nova, 1 obsoleta")))
        << boxes.shown[1].toStdString();
    EXPECT_TRUE(boxes.shown[1].contains(QStringLiteral("; lote ")));
    EXPECT_TRUE(boxes.shown[2].contains(QStringLiteral("Carregar as linhas do editor de novo agora?")));
    EXPECT_TRUE(janela->aplicada());
    EXPECT_FALSE(janela->btnAplicar->isEnabled()); // applied once: a second apply needs a new preview

    // The grid holds what the server now holds: the new keys, not the ones that left.
    ASSERT_TRUE(QTest::qWaitFor([&] { return naGrade(QStringLiteral("Salvar o registro")); }, kEspera));
    EXPECT_TRUE(naGrade(QStringLiteral("Novo")));
    EXPECT_FALSE(naGrade(QStringLiteral("Salvar registro")));
    EXPECT_FALSE(naGrade(QStringLiteral("Antigo")));
    EXPECT_EQ(form->cdsDestino->RecordCount(), 8);
    EXPECT_EQ(current(), QStringLiteral("Nome")); // the row the user was on

    // Closed with Escape, the editor's grid has the keyboard again.
    input.key(QStringLiteral("Escape"));
    ASSERT_TRUE(QTest::qWaitFor([&] { return frmTraducao->findChild<LiberacaoDialog*>() == nullptr; }, kEspera));
    ASSERT_TRUE(QTest::qWaitFor([&] { return form->dbgPadrao->hasFocus(); }, kEspera));

    // The previous source under the detail panel: the reworded row's, marked.
    PainelOrigemAnterior* painel = companhia()->painel();
    ASSERT_TRUE(QTest::qWaitFor([&] { return !companhia()->origens().isEmpty(); }, kEspera));
    clickCell(QStringLiteral("Salvar o registro"));
    ASSERT_EQ(current(), QStringLiteral("Salvar o registro"));
    ASSERT_TRUE(painel->isVisible());
    EXPECT_TRUE(painel->lblTitulo->text().startsWith(QStringLiteral("Reescrita na liberação de")))
        << painel->lblTitulo->text().toStdString();
    EXPECT_TRUE(painel->lblAnterior->text().contains(QStringLiteral("Salvar registro")));
    EXPECT_TRUE(painel->lblAtual->text().contains(QStringLiteral("bold\">o </span>")));
    EXPECT_EQ(form->lblDestino->text(), QStringLiteral("Save record"));
    // Down and Up through rows with and without one: the panel stays, its title says which.
    const int altura = form->dbgPadrao->height();
    clickCell(QStringLiteral("Nome"));
    EXPECT_TRUE(painel->isVisible());
    EXPECT_TRUE(painel->lblTitulo->text().startsWith(QStringLiteral("Sem origem anterior")));
    EXPECT_EQ(form->dbgPadrao->height(), altura);
    clickCell(QStringLiteral("Cliente"));
    EXPECT_TRUE(painel->lblTitulo->text().startsWith(QStringLiteral("Movida de FAT01 / lblCliente")));

    // The filter: only the rows the last release reworded or moved, of every status.
    Application()->SetDialogSeam(&seam);
    seam.onModal = [](TForm& f) {
        auto& filtro = static_cast<TfrmFiltroTraducao&>(f);
        filtro.ckbTraduzido->setChecked(true);
        filtro.ckbDuvida->setChecked(true);
        filtro.ckbNaoTraduzido->setChecked(true);
        filtro.chbLiberacao->setChecked(true);
        filtro.depDtInicial->setText(QStringLiteral("01/01/2000"));
        filtro.depDtFinal->setText(QDate::currentDate().toString(QStringLiteral("dd/MM/yyyy")));
        QTest::mouseClick(filtro.sbtConfirma, Qt::LeftButton);
    };
    Dispatch([form] { form->sbtFiltro->Click(); });
    ASSERT_TRUE(form->cdsDestino->Active());
    EXPECT_EQ(form->cdsDestino->RecordCount(), 2);
    EXPECT_TRUE(naGrade(QStringLiteral("Salvar o registro")));
    EXPECT_TRUE(naGrade(QStringLiteral("Cliente")));
    // Narrowed to translated rows only, none: both carried rows are in doubt.
    seam.onModal = [](TForm& f) {
        auto& filtro = static_cast<TfrmFiltroTraducao&>(f);
        filtro.ckbTraduzido->setChecked(true);
        filtro.ckbDuvida->setChecked(false);
        filtro.ckbNaoTraduzido->setChecked(false);
        QTest::mouseClick(filtro.sbtConfirma, Qt::LeftButton);
    };
    Dispatch([form] { form->sbtFiltro->Click(); });
    EXPECT_EQ(form->cdsDestino->RecordCount(), 0);
    frmFiltroTraducao->chbLiberacao->setChecked(false);
    seam.onModal = nullptr;
}

TEST_F(EditorLiberacao, ArquivoTruncadoOuVazioPedeAConfirmacaoEACancelaPrevia)
{
    TfrmTraducao* form = open(kIdiomas, kLinhas);
    ASSERT_TRUE(form);
    LiberacaoDialog* janela = abreJanela();
    ASSERT_TRUE(janela);
    // Two of eight keys: six rows of ENG would leave, far over 30 %.
    previa(janela, arquivo("truncado.tsv", "CAD01\tlblNome\tNome\nFAT01\tlblTotal\tTotal\n"));
    EXPECT_TRUE(janela->lblAvisos->isVisible());
    EXPECT_TRUE(janela->lblAvisos->text().contains(QStringLiteral("ENG"))) << janela->lblAvisos->text().toStdString();
    ASSERT_TRUE(janela->chkConfirmar->isVisible());
    EXPECT_FALSE(janela->btnAplicar->isEnabled());
    // On its box, where a user clicks it (the row is as wide as the window).
    input.click(janela->chkConfirmar, QPoint(10, janela->chkConfirmar->height() / 2));
    EXPECT_TRUE(janela->chkConfirmar->isChecked());
    EXPECT_TRUE(janela->btnAplicar->isEnabled());
    // A changed option wants a new preview before any apply.
    janela->spnLimite->setValue(90);
    EXPECT_FALSE(janela->btnAplicar->isEnabled());

    // An empty file: the same, and nothing was written by either.
    janela->edtArquivo->clear();
    janela->edtArquivo->setFocus();
    previa(janela, arquivo("vazio.tsv", ""));
    EXPECT_TRUE(janela->chkConfirmar->isVisible());
    EXPECT_FALSE(janela->chkConfirmar->isChecked());
    EXPECT_FALSE(janela->btnAplicar->isEnabled());
    EXPECT_EQ(dbCount(QStringLiteral("ENG")), 8);

    // A preview the server does not answer is cancelled: the window is usable again.
    ASSERT_EQ(::kill(static_cast<pid_t>(server->pid()), SIGSTOP), 0);
    janela->edtArquivo->clear();
    janela->edtArquivo->setFocus();
    input.type(arquivo("liberacao.tsv", kLiberacao));
    input.key(QStringLiteral("Return"));
    ASSERT_TRUE(QTest::qWaitFor([&] { return janela->btnCancelar->text() == QStringLiteral("Cancelar"); }, kEspera));
    EXPECT_FALSE(janela->btnPrevia->isEnabled());
    input.click(janela->btnCancelar);
    const bool voltou = QTest::qWaitFor([&] { return janela->btnPrevia->isEnabled(); }, kEspera);
    ::kill(static_cast<pid_t>(server->pid()), SIGCONT);
    ASSERT_TRUE(voltou);
    EXPECT_EQ(janela->lblEtapa->text(), QStringLiteral("Cancelado: nada foi gravado."));
    EXPECT_EQ(janela->previa(), nullptr);
    EXPECT_TRUE(frmTraducao->findChild<LiberacaoDialog*>()); // still open
    EXPECT_EQ(dbCount(QStringLiteral("ENG")), 8);
}

} // namespace
