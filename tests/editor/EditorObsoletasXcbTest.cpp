// The rows a release made obsolete, shown on demand in the editor on a real
// display against a real trd-server: after a release they leave the grid;
// Ctrl+Shift+O brings them in after the live rows, greyed and in italics with
// their hint, read-only: typing, F2, the status keys and Ctrl+Delete send
// nothing and open nothing, every control that would change the row is off
// with the reason, while a live row beside them is still typed in and saved.
// A reload keeps them while the option is on; the key again takes them out.
#include "XcbEditorTest.h"

#include "ObsoletasDoEditor.h"
#include "RevisaoDoEditor.h"
#include "ServerCalls.h"
#include "TButtonFlat.h"

#include <QAction>
#include <QImage>

using namespace trd;
using namespace trd::test;

namespace {

constexpr int kEspera = 30000;

const QList<Idioma> kIdiomas = {{"ENG", "English"}, {"ESP", "Español"}};

const QList<Linha> kLinhas = {
    {"ENG", "CAD01", "btnSalvar", "Salvar registro", "Save record", "T"},
    {"ENG", "CAD01", "lblNome", "Nome", "Name", "T"},
    {"ENG", "CAD01", "btnAntigo", "Antigo", "Old", "T"},
    {"ENG", "CAD01", "lblFone", "Telefone", "Phone", "D"},
    {"ESP", "CAD01", "lblNome", "Nome", "Nombre", "T"},
};

// btnSalvar reworded (its old row leaves, carried), btnAntigo gone.
const QString kLiberacao = QStringLiteral("CAD01\tbtnSalvar\tSalvar o registro\n"
                                          "CAD01\tlblNome\tNome\n"
                                          "CAD01\tlblFone\tTelefone\n");

class EditorObsoletas : public XcbEditorTest {
protected:
    liberacao::ObsoletasDoEditor* obsoletas() const { return frmTraducao->obsoletas; }
    // Pixels of the cell that are coloured (the status colours of a live
    // row's text), and those of a dark grey (an obsolete row's text).
    std::pair<int, int> tintas(const QString& origem, int column)
    {
        const QImage imagem = frmTraducao->dbgPadrao->viewport()->grab(cellRect(rowOf(origem), column)).toImage();
        int coloridos = 0, cinzentos = 0;
        for (int y = 0; y < imagem.height(); ++y)
            for (int x = 0; x < imagem.width(); ++x) {
                const QColor c = imagem.pixelColor(x, y);
                const int alto = qMax(c.red(), qMax(c.green(), c.blue()));
                const int baixo = qMin(c.red(), qMin(c.green(), c.blue()));
                coloridos += alto - baixo > 60 ? 1 : 0;
                cinzentos += alto - baixo < 25 && alto < 200 ? 1 : 0;
            }
        return {coloridos, cinzentos};
    }
    QString dica(const QString& origem) const
    {
        const QAbstractItemModel* model = frmTraducao->dbgPadrao->model();
        return model->data(model->index(rowOf(origem), 2), Qt::ToolTipRole).toString();
    }
};

TEST_F(EditorObsoletas, ShownOnDemandGreyedAndReadOnlyNothingSentByTheKeys)
{
    TfrmTraducao* form = open(kIdiomas, kLinhas);
    ASSERT_TRUE(form);
    ASSERT_TRUE(obsoletas());
    CheckResultServ(form->netTraducao->AppServer().Call(QStringLiteral("AplicaLiberacao"),
                                                        {kLiberacao, 70, 30, QStringLiteral("S"), QStringLiteral("S")}),
                    true, 0);
    reload();
    ASSERT_TRUE(QTest::qWaitFor([&] { return naGrade(QStringLiteral("Salvar o registro")); }, kEspera));
    // Off: the live rows alone.
    EXPECT_EQ(form->cdsDestino->RecordCount(), 3);
    EXPECT_FALSE(naGrade(QStringLiteral("Antigo")));
    EXPECT_FALSE(naGrade(QStringLiteral("Salvar registro")));

    clickCell(QStringLiteral("Nome"));
    input.key(QStringLiteral("ctrl+shift+o"));
    ASSERT_TRUE(QTest::qWaitFor([&] { return obsoletas()->mostradas() == 2; }, kEspera));
    EXPECT_TRUE(obsoletas()->mnuObsoletas->isChecked());
    EXPECT_EQ(form->cdsDestino->RecordCount(), 5);
    EXPECT_EQ(form->cdsDestino->ChangeCount(), 0);
    EXPECT_EQ(current(), QStringLiteral("Nome")) << "the current row stays";
    // After the live rows, as they were (text and status kept).
    EXPECT_EQ(rowOf(QStringLiteral("Antigo")), 3);
    EXPECT_EQ(rowOf(QStringLiteral("Salvar registro")), 4);
    EXPECT_EQ(shownDestination(rowOf(QStringLiteral("Antigo"))), QStringLiteral("Old"));
    EXPECT_TRUE(dica(QStringLiteral("Antigo")).startsWith(QStringLiteral("(obsoleta)")));
    EXPECT_TRUE(dica(QStringLiteral("Nome")).isEmpty());
    // Greyed: the status colour is gone from its text, which a live row keeps.
    form->dbgPadrao->viewport()->repaint();
    EXPECT_GT(tintas(QStringLiteral("Telefone"), 2).first, 0);
    EXPECT_EQ(tintas(QStringLiteral("Antigo"), 2).first, 0);
    EXPECT_GT(tintas(QStringLiteral("Antigo"), 2).second, 0);

    // On the obsolete row every control that would change it is off, saying why.
    clickCell(QStringLiteral("Antigo"));
    ASSERT_EQ(current(), QStringLiteral("Antigo"));
    EXPECT_TRUE(form->dbgPadrao->ReadOnly());
    for (TButtonFlat* b : {form->sbtNTrad, form->sbtDuvida, form->sbtTrad}) {
        EXPECT_FALSE(b->isEnabled()) << b->objectName().toStdString();
        EXPECT_TRUE(b->toolTip().contains(QStringLiteral("(obsoleta)"))) << b->toolTip().toStdString();
    }
    EXPECT_FALSE(form->mnuTrad->isEnabled());
    EXPECT_FALSE(form->sbtExcluir->isEnabled());
    EXPECT_FALSE(form->revisao->itemMarcar()->isEnabled());
    EXPECT_TRUE(form->revisao->itemMarcar()->toolTip().startsWith(QStringLiteral("(obsoleta)")));
    const int gravacoes = serverCalls(metodo::SetDestino);
    const int marcas = serverCalls(metodo::MarcaRevisao);
    for (const char* tecla : {"x", "F2", "ctrl+t", "ctrl+d", "ctrl+n", "ctrl+r", "ctrl+Delete", "Return"})
        input.key(QString::fromLatin1(tecla));
    QTest::qWait(200);
    EXPECT_EQ(form->dbgPadrao->InplaceEditor(), nullptr);
    EXPECT_EQ(form->cdsDestino->State(), TDataSetState::dsBrowse);
    EXPECT_EQ(serverCalls(metodo::SetDestino), gravacoes);
    EXPECT_EQ(serverCalls(metodo::MarcaRevisao), marcas);
    EXPECT_TRUE(boxes.shown.isEmpty()) << boxes.shown.join('|').toStdString();
    EXPECT_TRUE(naGrade(QStringLiteral("Antigo")));
    EXPECT_EQ(dbRow("ENG", "Antigo"), (QStringList{"Old", "T"}));

    // A live row beside them is typed in and saved as ever.
    QLineEdit* editor = editCell(QStringLiteral("Telefone"));
    ASSERT_TRUE(editor);
    input.type(QStringLiteral(" number"));
    input.key(QStringLiteral("Return"));
    ASSERT_TRUE(QTest::qWaitFor([&] { return dbRow("ENG", "Telefone").value(0) == "Phone number"; }, kEspera))
        << boxes.shown.join('|').toStdString();
    EXPECT_EQ(serverCalls(metodo::SetDestino), gravacoes + 1);
    EXPECT_FALSE(form->dbgPadrao->ReadOnly());

    // A reload brings them again while the option is on.
    reload();
    ASSERT_TRUE(QTest::qWaitFor([&] { return obsoletas()->mostradas() == 2; }, kEspera));
    EXPECT_EQ(form->cdsDestino->RecordCount(), 5);

    // The key again: they leave, the live rows stay.
    activate();
    clickCell(QStringLiteral("Nome"));
    input.key(QStringLiteral("ctrl+shift+o"));
    ASSERT_TRUE(QTest::qWaitFor([&] { return !obsoletas()->mnuObsoletas->isChecked(); }, kEspera));
    EXPECT_EQ(obsoletas()->mostradas(), 0);
    EXPECT_EQ(form->cdsDestino->RecordCount(), 3);
    EXPECT_EQ(current(), QStringLiteral("Nome"));
}

} // namespace
