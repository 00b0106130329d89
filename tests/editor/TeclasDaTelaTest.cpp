// A key a companion adds is checked against every key of the screen: its
// menu items (inside submenus too) and its shortcuts; a clash names both.
#include "TeclasDaTela.h"

#include <QAction>
#include <QMenu>
#include <QShortcut>
#include <QWidget>

#include <gtest/gtest.h>

#include <stdexcept>

using namespace trd;

TEST(TeclasDaTela, AKeyTakenByAnItemOrAShortcutIsRefusedNamingWhoHoldsIt)
{
    QWidget tela;
    auto* menu = new QMenu(&tela);
    auto* item = new QAction(QStringLiteral("&Filtrar"), menu);
    item->setObjectName(QStringLiteral("mnuFiltro"));
    item->setShortcut(QKeySequence(Qt::CTRL | Qt::Key_L));
    menu->addAction(item);
    auto* atalho = new QShortcut(QKeySequence(Qt::CTRL | Qt::Key_1), &tela);
    atalho->setObjectName(QStringLiteral("atalhoSugestao1"));

    EXPECT_EQ(QuemUsaTecla(tela, QKeySequence(Qt::CTRL | Qt::Key_L)), QStringLiteral("mnuFiltro"));
    EXPECT_EQ(QuemUsaTecla(tela, QKeySequence(Qt::CTRL | Qt::Key_1)), QStringLiteral("atalhoSugestao1"));
    EXPECT_TRUE(QuemUsaTecla(tela, QKeySequence(Qt::CTRL | Qt::SHIFT | Qt::Key_L)).isEmpty());
    EXPECT_TRUE(QuemUsaTecla(tela, QKeySequence()).isEmpty()) << "an item without a key clashes with nothing";

    try {
        ConfereTecla(tela, "mnuNovo", QKeySequence(Qt::CTRL | Qt::Key_L));
        ADD_FAILURE() << "the clash went through";
    } catch (const std::logic_error& e) {
        const QString texto = QString::fromStdString(e.what());
        EXPECT_TRUE(texto.contains(QStringLiteral("mnuNovo")) && texto.contains(QStringLiteral("mnuFiltro"))
                    && texto.contains(QStringLiteral("Ctrl+L")))
            << e.what();
    }
    EXPECT_NO_THROW(ConfereTecla(tela, "mnuNovo", QKeySequence(Qt::CTRL | Qt::Key_2)));
}
