// The host with the translation module on a real X display, against a real
// trd-server, reached as a user does: keys enter through the top-level
// window, as the display delivers them. The keyboard reaches the menus (one
// Alt letter each) and the status report; the editor stays usable in a small
// window and uses a large one. The translation memory's bar answers its own
// Alt letters beside the host's menus.
#include "ClientOptions.h"
#include "HostEditor.h"
#include "MainWindow.h"
#include "RecordingDialogSeam.h"
#include "TForm.h"
#include "TrdServerProcess.h"

#include <QApplication>
#include <QCheckBox>
#include <QComboBox>
#include <QHeaderView>
#include <QLabel>
#include <QLineEdit>
#include <QMap>
#include <QMdiArea>
#include <QMenu>
#include <QMenuBar>
#include <QPushButton>
#include <QScrollBar>
#include <QSignalSpy>
#include <QTableView>
#include <QTest>
#include <QToolButton>
#include <QWindow>

#include <gtest/gtest.h>

#include <functional>

using namespace trd;
using namespace trd::test;

namespace {

const char* const Semente = "L\tENG\tEnglish\tENG\n"
                            "R\tENG\tTRD09300\tBTNABRIR\tAbrir arquivo\t\tN\n"
                            "R\tENG\tTRD09300\tBTNSALVAR\tSalvar arquivo\tSave file\tD\n"
                            "R\tENG\tTRD09300\tBTNFECHAR\tFechar\tClose\tT\n"
                            "R\tENG\tTRD09301\tBTNFECHAR\tFechar\t\tN\n";

// Fills the filter dialog with a date range that takes every row and confirms it.
void confirmaFiltroAmplo(TForm& filtro)
{
    ASSERT_TRUE(QTest::qWaitFor([&] { return QApplication::activeWindow() == &filtro; }));
    auto* inicial = achar<QLineEdit>(&filtro, "depDtInicial");
    auto* final = achar<QLineEdit>(&filtro, "depDtFinal");
    auto* confirma = achar<QToolButton>(&filtro, "sbtConfirma");
    ASSERT_TRUE(inicial && final && confirma);
    for (const char* situacao : {"ckbTraduzido", "ckbDuvida", "ckbNaoTraduzido"})
        achar<QCheckBox>(&filtro, situacao)->setChecked(true);
    inicial->setText(QStringLiteral("01/01/2020"));
    final->setText(QDate::currentDate().toString(QStringLiteral("dd/MM/yyyy")));
    QTest::mouseClick(confirma, Qt::LeftButton);
}

class TelaXcb : public ::testing::Test {
protected:
    void SetUp() override
    {
        TrdServerProcess::Options opcoes;
        opcoes.seedTsv = Semente;
        servidor = std::make_unique<TrdServerProcess>(opcoes);
        ASSERT_TRUE(servidor->isRunning()) << servidor->errorString().toStdString();
        ASSERT_TRUE(ParseClientOptions({QStringLiteral("trd-client"), QStringLiteral("--server"), servidor->hostPort()})
                        .error.isEmpty());
        janela = std::make_unique<MainWindow>(qEnvironmentVariable("TRD_LIB_DIR"));
        janela->resize(1000, 700);
        janela->show();
        janela->activateWindow();
        ASSERT_NO_FATAL_FAILURE(abreEditor(*janela, seam, editor));
        auto* cbbIdioma = achar<QComboBox>(editor, "cbbIdioma");
        grade = achar<QTableView>(editor, "dbgPadrao");
        ASSERT_TRUE(cbbIdioma && grade);
        // The rows through the filter dialog that leaving the language panel opens.
        seam.onModal = [](TForm& filtro) { confirmaFiltroAmplo(filtro); };
        ASSERT_NO_FATAL_FAILURE(escolheIdiomaPelaSeta(*janela, cbbIdioma, QStringLiteral("ENG-English")));
        QTest::keyClick(cbbIdioma, Qt::Key_Tab);
        ASSERT_TRUE(QTest::qWaitFor([&] { return grade->model()->rowCount() == 4; }));
        seam.onModal = nullptr;
        janela->activateWindow();
        ASSERT_TRUE(QTest::qWaitForWindowActive(janela.get()));
        grade->setFocus();
        ASSERT_TRUE(QTest::qWaitFor([&] { return grade->hasFocus(); }));
    }
    void TearDown() override
    {
        if (janela) {
            janela->MdiArea()->closeAllSubWindows();
            QCoreApplication::sendPostedEvents(nullptr, QEvent::DeferredDelete);
        }
    }

    // A key as the display delivers it: to the window in front.
    void tecla(Qt::Key key, Qt::KeyboardModifiers mods = Qt::NoModifier)
    {
        QWidget* frente = QApplication::activePopupWidget() ? QApplication::activePopupWidget() : janela.get();
        QTest::keyClick(frente->windowHandle(), key, mods);
    }
    static QMenu* menuAberto() { return qobject_cast<QMenu*>(QApplication::activePopupWidget()); }

    std::unique_ptr<TrdServerProcess> servidor;
    RecordingDialogSeam seam;
    std::unique_ptr<MainWindow> janela;
    QWidget* editor = nullptr;
    QTableView* grade = nullptr;
};

TEST_F(TelaXcb, EachMenuHasItsOwnAltLetterAndCtrlPOpensTheStatusReport)
{
    // Alt+M: the editor's maintenance menu, and only that.
    tecla(Qt::Key_M, Qt::AltModifier);
    ASSERT_TRUE(QTest::qWaitFor([] { return menuAberto() != nullptr; })) << "Alt+M opened no menu";
    EXPECT_EQ(menuAberto()->objectName(), QStringLiteral("mnuManutencao"));
    auto* imprimir = editor->findChild<QAction*>(QStringLiteral("mnuImprimir"));
    ASSERT_NE(imprimir, nullptr);
    EXPECT_TRUE(menuAberto()->actions().contains(imprimir));
    EXPECT_TRUE(imprimir->isEnabled()) << "rows are loaded: the report can be printed";
    EXPECT_EQ(imprimir->shortcut(), QKeySequence(Qt::CTRL | Qt::Key_P));
    tecla(Qt::Key_Escape);
    ASSERT_TRUE(QTest::qWaitFor([] { return menuAberto() == nullptr; }));

    // Alt+D: the host's modules menu.
    tecla(Qt::Key_D, Qt::AltModifier);
    ASSERT_TRUE(QTest::qWaitFor([] { return menuAberto() != nullptr; })) << "Alt+D opened no menu";
    EXPECT_EQ(menuAberto()->title(), QStringLiteral("Mó&dulos"));
    tecla(Qt::Key_Escape);
    ASSERT_TRUE(QTest::qWaitFor([] { return menuAberto() == nullptr; }));

    // Ctrl+P from the grid: the status report dialog, modal.
    janela->activateWindow();
    ASSERT_TRUE(QTest::qWaitForWindowActive(janela.get()));
    QString aberto;
    seam.onModal = [&](TForm& form) {
        aberto = form.objectName();
        form.Close();
    };
    grade->setFocus();
    ASSERT_TRUE(QTest::qWaitFor([&] { return grade->hasFocus(); }));
    tecla(Qt::Key_P, Qt::ControlModifier);
    seam.onModal = nullptr;
    EXPECT_TRUE(seam.messages().isEmpty()) << seam.messages().join(u'\n').toStdString();
    EXPECT_EQ(aberto, QStringLiteral("frmSituTrad"));
    EXPECT_TRUE(seam.errors().isEmpty()) << seam.errors().join(u'\n').toStdString();
}

// Every menu of the window, the host's and the editor's, at every depth: each
// letter belongs to one item (or title) only, and every command has one, so
// that Alt and a letter always reach what it names; and each letter typed in
// the open maintenance menu runs the item that owns it.
TEST_F(TelaXcb, EveryMenuGivesEachLetterToOneItemAndEachItemALetter)
{
    QStringList problemas;
    std::function<void(const QString&, const QList<QAction*>&)> percorre = [&](const QString& onde,
                                                                               const QList<QAction*>& itens) {
        QMap<QString, QString> dono;
        for (QAction* a : itens) {
            if (a->isSeparator() || !a->isVisible())
                continue;
            const QString texto = a->text();
            const QKeySequence letra = QKeySequence::mnemonic(texto);
            if (letra.isEmpty()) {
                problemas << onde + QStringLiteral(": \"") + texto + QStringLiteral("\" has no letter");
            } else {
                const QString chave = letra.toString();
                if (dono.contains(chave))
                    problemas << onde + QStringLiteral(": ") + chave + QStringLiteral(" for both \"") + dono[chave]
                            + QStringLiteral("\" and \"") + texto + QStringLiteral("\"");
                dono[chave] = texto;
            }
            if (QMenu* sub = a->menu())
                percorre(onde + QStringLiteral(" > ") + texto, sub->actions());
        }
    };
    int barras = 0;
    for (QMenuBar* barra : janela->findChildren<QMenuBar*>()) {
        if (!barra->isVisible())
            continue;
        ++barras;
        percorre(QStringLiteral("menu bar"), barra->actions());
    }
    EXPECT_GE(barras, 1);
    EXPECT_TRUE(problemas.isEmpty()) << problemas.join(u'\n').toStdString();

    // Alt+M, then a letter: the item that owns it runs (the colleague's next
    // change, which "Cancelar" used to shadow).
    auto* colega = editor->findChild<QAction*>(QStringLiteral("mnuAlteracaoColega"));
    ASSERT_TRUE(colega);
    ASSERT_TRUE(colega->isEnabled());
    QSignalSpy disparou(colega, &QAction::triggered);
    tecla(Qt::Key_M, Qt::AltModifier);
    ASSERT_TRUE(QTest::qWaitFor([] { return menuAberto() != nullptr; }));
    tecla(Qt::Key(QKeySequence::mnemonic(colega->text())[0].key()));
    EXPECT_TRUE(QTest::qWaitFor([&] { return disparou.count() == 1; }));
    EXPECT_TRUE(QTest::qWaitFor([] { return menuAberto() == nullptr; }));
}

TEST_F(TelaXcb, TheMemorysBarAnswersItsAltLettersBesideTheHostsMenus)
{
    // The row of TRD09300 "Fechar" gets a new translation; TRD09301's, not
    // translated, shares its source.
    const QAbstractItemModel* modelo = grade->model();
    int linha = -1;
    for (int r = 0; r < modelo->rowCount(); ++r)
        if (modelo->data(modelo->index(r, 2)).toString() == QStringLiteral("Close"))
            linha = r;
    ASSERT_GE(linha, 0);
    grade->setCurrentIndex(modelo->index(linha, 2));
    tecla(Qt::Key_F2);
    ASSERT_TRUE(QTest::qWaitFor([] { return qobject_cast<QLineEdit*>(QApplication::focusWidget()) != nullptr; }));
    tecla(Qt::Key_A, Qt::ControlModifier);
    QTest::keyClicks(QApplication::focusWidget(), QStringLiteral("Shut"));
    tecla(Qt::Key_Down);

    auto* barra = editor->findChild<QWidget*>(QStringLiteral("panPropagacao"));
    auto* desfazer = editor->findChild<QPushButton*>(QStringLiteral("btnDesfazerPropagacao"));
    ASSERT_TRUE(barra && desfazer);
    ASSERT_TRUE(QTest::qWaitFor([&] { return barra->isVisible(); }, 30000)) << "no question after the post";
    auto textoDe = [&](int r) { return modelo->data(modelo->index(r, 2)).toString(); };
    auto linhaVazia = [&] {
        for (int r = 0; r < modelo->rowCount(); ++r)
            if (modelo->data(modelo->index(r, 1)).toString() == QStringLiteral("Fechar") && r != linha)
                return r;
        return -1;
    };
    const int outra = linhaVazia();
    ASSERT_GE(outra, 0);
    EXPECT_EQ(textoDe(outra), QString());

    // Alt+N applies to the untranslated row; Alt+F (not the host's Alt+D) undoes it.
    tecla(Qt::Key_N, Qt::AltModifier);
    ASSERT_TRUE(QTest::qWaitFor([&] { return textoDe(outra) == QStringLiteral("Shut"); }, 30000));
    ASSERT_TRUE(QTest::qWaitFor([&] { return desfazer->isVisible(); }));
    EXPECT_EQ(menuAberto(), nullptr);
    tecla(Qt::Key_F, Qt::AltModifier);
    EXPECT_TRUE(QTest::qWaitFor([&] { return textoDe(linhaVazia()).isEmpty(); }, 30000))
        << textoDe(linhaVazia()).toStdString();
    EXPECT_EQ(menuAberto(), nullptr) << "a menu took the key";
    EXPECT_TRUE(seam.errors().isEmpty()) << seam.errors().join(u'\n').toStdString();
}

TEST_F(TelaXcb, AWideWindowGivesTheTextsTheRoomAndASmallOneKeepsTheToolBarWhole)
{
    auto* cabecalho = grade->horizontalHeader();
    auto secoes = [&] {
        int soma = 0;
        for (int i = 0; i < cabecalho->count(); ++i)
            soma += cabecalho->sectionSize(i);
        return soma;
    };
    janela->resize(1600, 1000);
    ASSERT_TRUE(QTest::qWaitFor([&] { return janela->width() == 1600 && grade->viewport()->width() > 1400; }));
    QApplication::processEvents();
    // The two texts share the room beyond the designed widths, in their proportion.
    EXPECT_EQ(cabecalho->sectionSize(0), std::max(23, cabecalho->minimumSectionSize()));
    EXPECT_EQ(secoes(), grade->viewport()->width());
    EXPECT_GT(cabecalho->sectionSize(1), 437);
    EXPECT_GT(cabecalho->sectionSize(2), 532);
    EXPECT_NEAR(cabecalho->sectionSize(1) * 532.0 / cabecalho->sectionSize(2), 437, 3);
    EXPECT_FALSE(grade->horizontalScrollBar()->isVisible());

    // A small window: the tool bar keeps its buttons clear of the screen
    // code, and what does not fit is reached by scrolling the window's area.
    janela->resize(420, 300);
    ASSERT_TRUE(QTest::qWaitFor([&] { return janela->width() == 420; }));
    QApplication::processEvents();
    auto* fechar = achar<QToolButton>(editor, "sbtFechar");
    auto* ajuda = achar<QToolButton>(editor, "sbtAjuda");
    auto* imprimir = achar<QToolButton>(editor, "sbtImprimir");
    auto* codigo = achar<QLabel>(editor, "lblCodTela");
    ASSERT_TRUE(fechar && ajuda && imprimir && codigo);
    for (QToolButton* botao : {imprimir, ajuda, fechar})
        EXPECT_FALSE(botao->geometry().intersects(codigo->geometry()))
            << botao->objectName().toStdString() << " over the screen code";
    EXPECT_EQ(codigo->text(), QStringLiteral("TRD09300"));
    QMdiArea* area = janela->MdiArea();
    QScrollBar* rolagem = area->horizontalScrollBar();
    const QRect visivel = area->viewport()->rect();
    const QRect botaoNaArea(fechar->mapTo(area->viewport(), QPoint()), fechar->size());
    if (!visivel.contains(botaoNaArea)) {
        ASSERT_TRUE(rolagem->isVisible()) << "the close button is out of the window and out of reach";
        rolagem->setValue(rolagem->maximum());
        QApplication::processEvents();
    }
    EXPECT_TRUE(visivel.contains(QRect(fechar->mapTo(area->viewport(), QPoint()), fechar->size())))
        << "the close button is reached by scrolling";
    EXPECT_TRUE(visivel.contains(QRect(codigo->mapTo(area->viewport(), QPoint()), codigo->size())));
}

} // namespace
