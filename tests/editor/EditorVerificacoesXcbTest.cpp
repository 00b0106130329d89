// The checks and the spelling in the editor, on a real X display with the
// real message boxes and a real trd-server: the findings panel following the
// typing, the question before posting a text that breaks its screen (No keeps
// the text and saves nothing, Yes saves, the same text is not asked about
// again), the marks of the rows with findings beside the status lamps, and the
// misspelt words underlined, corrected and added from the right-click menu.
#include "EditorTestKit.h"

#include "OrtografiaCelula.h"
#include "PainelVerificacoes.h"
#include "TApplication.h"
#include "VerificacoesDoEditor.h"

#include <QApplication>
#include <QContextMenuEvent>
#include <QFile>
#include <QLabel>
#include <QLineEdit>
#include <QMenu>
#include <QMessageBox>
#include <QPointer>
#include <QTest>
#include <QTimer>

using namespace trd;
using namespace trd::test;

namespace {

const QList<Idioma> kIdiomas = {{"ENG", "English"}, {"KLI", "Klingon"}};
const QList<Linha> kLinhas = {
    {"ENG", "P1", "lblArquivo", "Arquivo %s não encontrado.", "File %s not found.", "T"},
    {"ENG", "P1", "sbtSair", "&Sair", "&Exit", "T"},
    {"ENG", "P1", "sbtEditar", "&Editar", "&Edit", "T"}, // E on one screen twice
    {"ENG", "P2", "lblNome", "Nome", "Name", "T"},
    {"ENG", "P2", "lblCliente", "Cliente", "Customer", "D"},
    {"KLI", "P1", "lblNome", "Nome", "tlhIngan", "D"},
};

// Answers each real message box that opens, recording its text: Escape (No)
// while `naoRestantes` is above zero, Enter (Yes) after that.
class Respostas : public QObject {
public:
    explicit Respostas(int naoRestantes) : m_nao(naoRestantes)
    {
        m_timer.setInterval(30);
        QObject::connect(&m_timer, &QTimer::timeout, this, [this] { atende(); });
        m_timer.start();
    }
    QStringList vistas;

private:
    void atende()
    {
        auto* box = qobject_cast<QMessageBox*>(QApplication::activeModalWidget());
        if (!box || box == m_atendendo || !box->isVisible() || QApplication::activeWindow() != box)
            return;
        m_atendendo = box;
        vistas << box->text();
        QTest::keyClick(box, m_nao-- > 0 ? Qt::Key_Escape : Qt::Key_Return);
    }
    QTimer m_timer;
    QPointer<QMessageBox> m_atendendo;
    int m_nao;
};

class EditorVerificacoes : public EditorTest {
protected:
    EditorVerificacoes()
    {
        // The dictionaries' settings and the user's word list of this test only.
        qputenv("XDG_CONFIG_HOME", dir.filePath(QStringLiteral("config")).toUtf8());
        qputenv("XDG_DATA_HOME", dir.filePath(QStringLiteral("dados")).toUtf8());
    }

    TfrmTraducao* abre(const QString& idioma = QStringLiteral("ENG-English"))
    {
        TfrmTraducao* form = openLoaded(kIdiomas, kLinhas, idioma);
        Application()->SetDialogSeam(nullptr); // the real message boxes from here on
        main.activateWindow();
        EXPECT_TRUE(QTest::qWaitForWindowActive(&main));
        return form;
    }

    QLineEdit* editaCelula(TfrmTraducao* form, const QString& origem)
    {
        EXPECT_TRUE(locate(origem));
        form->dbgPadrao->setFocus();
        form->dbgPadrao->setCurrentIndex(form->dbgPadrao->model()->index(form->cdsDestino->RecNo() - 1, 2));
        EXPECT_TRUE(QTest::qWaitFor([&] { return form->dbgPadrao->hasFocus(); }));
        QTest::keyClick(form->dbgPadrao, Qt::Key_Return);
        QLineEdit* editor = form->dbgPadrao->InplaceEditor();
        // The checks take the editor up once it is made.
        QTest::qWait(50);
        return editor;
    }

    // The colour at the top right corner of the destination cell of the row
    // with this source, and the picture of its status cell.
    QColor canto(TfrmTraducao* form, const QString& origem, QImage* situacao = nullptr)
    {
        int linha = -1;
        for (int r = 0; r < form->dbgPadrao->model()->rowCount(); ++r)
            if (form->dbgPadrao->model()->index(r, 1).data().toString() == origem)
                linha = r;
        EXPECT_GE(linha, 0) << origem.toStdString();
        const QImage grade = form->dbgPadrao->viewport()->grab().toImage();
        const qreal escala = grade.devicePixelRatio();
        const QRect destino = form->dbgPadrao->visualRect(form->dbgPadrao->model()->index(linha, 2));
        if (situacao) {
            const QRect r = form->dbgPadrao->visualRect(form->dbgPadrao->model()->index(linha, 0));
            *situacao = grade.copy(QRect(r.topLeft() * escala, r.size() * escala));
        }
        return grade.pixelColor(QPoint(destino.right() - 1, destino.top() + 1) * escala);
    }
};

bool vermelho(const QColor& c)
{
    return c.red() > 180 && c.green() < 60 && c.blue() < 60;
}

bool laranja(const QColor& c)
{
    return c.red() > 180 && c.green() > 100 && c.green() < 180 && c.blue() < 60;
}

// Reddish pixels in the lower half of a line edit, where a wavy underline
// goes (drawn smooth, so its pixels blend with the background).
int sublinhado(QLineEdit* editor)
{
    const QImage img = editor->grab().toImage();
    int n = 0;
    for (int y = img.height() / 2; y < img.height(); ++y)
        for (int x = 0; x < img.width(); ++x) {
            const QColor c = img.pixelColor(x, y);
            n += c.red() > 150 && c.red() - c.green() > 60 && c.red() - c.blue() > 60 ? 1 : 0;
        }
    return n;
}

} // namespace

TEST_F(EditorVerificacoes, ThePanelFollowsTheTypingAndATextThatBreaksItsScreenIsPostedOnlyOnYes)
{
    TfrmTraducao* form = abre();
    ASSERT_TRUE(form);
    PainelVerificacoes* painel = form->verificacoes->painel();
    auto* texto = painel->findChild<QLabel*>(QStringLiteral("lblVerificacoes"));
    ASSERT_TRUE(painel->isVisible() && texto);

    QPointer<QLineEdit> editor = editaCelula(form, QStringLiteral("Arquivo %s não encontrado."));
    ASSERT_TRUE(editor);
    EXPECT_TRUE(painel->linhas().isEmpty());
    editor->selectAll();
    QTest::keyClicks(editor, QStringLiteral("File not found"));
    // As typed, before any post: the placeholder and the period.
    EXPECT_EQ(painel->linhas(),
              (QStringList{QStringLiteral("erro: Falta na tradução o marcador \"%s\" da origem."),
                           QStringLiteral("aviso: A origem termina com \".\" e a tradução sem pontuação.")}));
    EXPECT_TRUE(texto->text().contains(QStringLiteral("Falta na tradução o marcador &quot;%s&quot; da origem.")))
        << texto->text().toStdString();
    QTest::keyClick(editor, Qt::Key_Period);
    EXPECT_EQ(painel->linhas(), QStringList{QStringLiteral("erro: Falta na tradução o marcador \"%s\" da origem.")});

    Respostas respostas(1);
    // Down posts: the question, and No keeps the text where it was typed.
    QTest::keyClick(editor, Qt::Key_Down);
    ASSERT_TRUE(QTest::qWaitFor([&] { return respostas.vistas.size() == 1; }));
    EXPECT_EQ(respostas.vistas.first(),
              QStringLiteral("Esta tradução tem erro que quebra a tela:\n\n• Falta na tradução o marcador \"%s\" da "
                             "origem.\n\nGravar assim mesmo?"));
    ASSERT_TRUE(QTest::qWaitFor([&] { return QApplication::activeModalWidget() == nullptr; }));
    EXPECT_EQ(dbRow("ENG", "Arquivo %s não encontrado."), QStringList({"File %s not found.", "T"}));
    EXPECT_EQ(form->cdsDestino->State(), TDataSetState::dsEdit);
    EXPECT_EQ(form->cdsDestino->FieldByName(QStringLiteral("STAGRVALPROP"))->AsString(),
              QStringLiteral("Arquivo %s não encontrado."));
    EXPECT_EQ(form->cdsDestino->FieldByName(QStringLiteral("STVALORPROP"))->AsString(),
              QStringLiteral("File not found."));
    EXPECT_EQ(serverCalls(QStringLiteral("SetDestino")), 0);

    // Posting again asks again; Yes saves it as any post does.
    if (editor && form->dbgPadrao->InplaceEditor() == editor)
        QTest::keyClick(editor, Qt::Key_Down);
    else
        QTest::keyClick(form->dbgPadrao, Qt::Key_Down);
    ASSERT_TRUE(QTest::qWaitFor([&] { return respostas.vistas.size() == 2; }));
    ASSERT_TRUE(QTest::qWaitFor([&] { return serverCalls(QStringLiteral("SetDestino")) == 1; }));
    EXPECT_EQ(dbRow("ENG", "Arquivo %s não encontrado."), QStringList({"File not found.", "T"}));

    // Marked doubtful afterwards, the same text: not asked again.
    ASSERT_TRUE(locate(QStringLiteral("Arquivo %s não encontrado.")));
    QTest::mouseClick(form->sbtDuvida, Qt::LeftButton);
    ASSERT_TRUE(QTest::qWaitFor([&] { return serverCalls(QStringLiteral("SetDestino")) == 2; }));
    EXPECT_EQ(dbRow("ENG", "Arquivo %s não encontrado."), QStringList({"File not found.", "D"}));
    QTest::qWait(100);
    EXPECT_EQ(respostas.vistas.size(), 2);
    // The panel names the current row's findings after the save too.
    EXPECT_EQ(painel->linhas(), QStringList{QStringLiteral("erro: Falta na tradução o marcador \"%s\" da origem.")});
}

TEST_F(EditorVerificacoes, RowsWithFindingsAreMarkedInTheCornerAndTheStatusLampsStay)
{
    TfrmTraducao* form = abre();
    ASSERT_TRUE(form);
    ASSERT_TRUE(locate(QStringLiteral("Cliente"))); // the current row is none of those looked at
    QApplication::processEvents();
    QImage lampadaConflito;
    QImage lampadaLimpa;
    // &Exit and &Edit on one screen: a warning on both rows.
    EXPECT_TRUE(laranja(canto(form, QStringLiteral("&Sair"), &lampadaConflito)));
    EXPECT_TRUE(laranja(canto(form, QStringLiteral("&Editar"))));
    const QColor limpo = canto(form, QStringLiteral("Nome"), &lampadaLimpa);
    EXPECT_FALSE(laranja(limpo) || vermelho(limpo));
    // Both rows are "T": the same green lamp, mark or no mark.
    EXPECT_EQ(lampadaConflito, lampadaLimpa);

    // Saved with a placeholder lost (Yes to the question): an error, in red.
    Respostas respostas(0);
    QPointer<QLineEdit> editor = editaCelula(form, QStringLiteral("Arquivo %s não encontrado."));
    ASSERT_TRUE(editor);
    editor->selectAll();
    QTest::keyClicks(editor, QStringLiteral("File not found."));
    QTest::keyClick(editor, Qt::Key_Return);
    ASSERT_TRUE(QTest::qWaitFor([&] { return serverCalls(QStringLiteral("SetDestino")) == 1; }));
    ASSERT_TRUE(locate(QStringLiteral("Cliente")));
    QApplication::processEvents();
    EXPECT_TRUE(vermelho(canto(form, QStringLiteral("Arquivo %s não encontrado."))));

    // The conflict gone once one of the two is saved with another letter.
    editor = editaCelula(form, QStringLiteral("&Editar"));
    ASSERT_TRUE(editor);
    editor->selectAll();
    QTest::keyClicks(editor, QStringLiteral("E&dit"));
    QTest::keyClick(editor, Qt::Key_Return);
    ASSERT_TRUE(QTest::qWaitFor([&] { return serverCalls(QStringLiteral("SetDestino")) == 2; }));
    ASSERT_TRUE(locate(QStringLiteral("Cliente")));
    QApplication::processEvents();
    const QColor sair = canto(form, QStringLiteral("&Sair"));
    EXPECT_FALSE(laranja(sair) || vermelho(sair));
    EXPECT_EQ(respostas.vistas.size(), 1);
}

TEST_F(EditorVerificacoes, MisspeltWordsAreUnderlinedCorrectedAndAddedFromTheRightClick)
{
    TfrmTraducao* form = abre();
    ASSERT_TRUE(form);
    ASSERT_TRUE(QTest::qWaitFor([&] { return form->verificacoes->ortografia() != nullptr; }, 20000))
        << "hunspell-en-us is installed by tools/install-deps.sh";
    QPointer<QLineEdit> editor = editaCelula(form, QStringLiteral("Nome"));
    ASSERT_TRUE(editor);
    editor->selectAll();
    QTest::keyClicks(editor, QStringLiteral("The name"));
    auto* ortografia = editor->findChild<OrtografiaCelula*>();
    ASSERT_TRUE(ortografia);
    EXPECT_TRUE(ortografia->erradas().isEmpty());
    EXPECT_EQ(sublinhado(editor), 0);

    QTest::keyClicks(editor, QStringLiteral(" of the custmer Naem, %s PDF MP3"));
    QStringList erradas;
    for (const auto& w : ortografia->erradas())
        erradas << w.word;
    EXPECT_EQ(erradas, (QStringList{QStringLiteral("custmer"), QStringLiteral("Naem")}));
    EXPECT_GT(sublinhado(editor), 10) << "a red wavy line under the words";

    // A right-click on the word: its suggestions first; one replaces it.
    auto clicaDireito = [&](const QString& palavra) {
        editor->setCursorPosition(int(editor->text().indexOf(palavra)) + 2);
        const QPoint onde = editor->inputMethodQuery(Qt::ImCursorRectangle).toRect().center();
        QContextMenuEvent evento(QContextMenuEvent::Mouse, onde, editor->mapToGlobal(onde));
        QApplication::sendEvent(editor, &evento);
        EXPECT_TRUE(QTest::qWaitFor([] { return qobject_cast<QMenu*>(QApplication::activePopupWidget()); }));
        return qobject_cast<QMenu*>(QApplication::activePopupWidget());
    };
    QMenu* menu = clicaDireito(QStringLiteral("custmer"));
    ASSERT_TRUE(menu);
    QAction* customer = nullptr;
    for (QAction* a : menu->actions())
        if (a->text() == QStringLiteral("customer"))
            customer = a;
    ASSERT_TRUE(customer) << "suggestions for custmer";
    EXPECT_EQ(menu->actions().indexOf(customer)
                  < menu->actions().indexOf(menu->findChild<QAction*>(QStringLiteral("actAdicionarDicionario"))),
              true);
    customer->trigger();
    menu->close();
    EXPECT_EQ(editor->text(), QStringLiteral("The name of the customer Naem, %s PDF MP3"));

    // Added to the user's list: no longer underlined, here and in the next opening.
    menu = clicaDireito(QStringLiteral("Naem"));
    ASSERT_TRUE(menu);
    auto* adiciona = menu->findChild<QAction*>(QStringLiteral("actAdicionarDicionario"));
    ASSERT_TRUE(adiciona);
    EXPECT_EQ(adiciona->text(), QStringLiteral("Adicionar ao dicionário"));
    adiciona->trigger();
    menu->close();
    EXPECT_TRUE(ortografia->erradas().isEmpty());
    EXPECT_EQ(sublinhado(editor), 0);
    QFile lista(quality::SpellSettings::defaults().userWordsFile(QStringLiteral("en_US")));
    ASSERT_TRUE(lista.open(QIODevice::ReadOnly)) << lista.fileName().toStdString();
    EXPECT_EQ(lista.readAll(), QByteArray("Naem\n"));

    QTest::keyClick(editor, Qt::Key_Escape);
    EXPECT_TRUE(seam.messages().isEmpty());
}

TEST_F(EditorVerificacoes, ALanguageWithoutADictionaryIsNotSpeltAndSaysNothing)
{
    TfrmTraducao* form = abre(QStringLiteral("KLI-Klingon"));
    ASSERT_TRUE(form);
    Respostas respostas(0);
    QPointer<QLineEdit> editor = editaCelula(form, QStringLiteral("Nome"));
    ASSERT_TRUE(editor);
    editor->selectAll();
    QTest::keyClicks(editor, QStringLiteral("tlhIngan Hol mungqaD"));
    QTest::qWait(200);
    EXPECT_EQ(form->verificacoes->ortografia(), nullptr);
    EXPECT_EQ(editor->findChild<OrtografiaCelula*>(), nullptr);
    EXPECT_EQ(sublinhado(editor), 0);
    QTest::keyClick(editor, Qt::Key_Return);
    ASSERT_TRUE(QTest::qWaitFor([&] { return serverCalls(QStringLiteral("SetDestino")) == 1; }));
    EXPECT_TRUE(respostas.vistas.isEmpty());
}
