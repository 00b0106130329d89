#include "ServicosComMenu.h"

#include "TeclasDaTela.h"

#include <QAction>
#include <QMenu>
#include <QShortcut>
#include <QWidget>

namespace trd {

QAction* ServicosComMenu::itemDaJanela(const char* nome, const QString& texto, const QKeySequence& tecla)
{
    QAction* item = NovoItem(*janela(), nome, texto, tecla);
    // Another screen open beside this one keeps its own keys.
    item->setShortcutContext(Qt::WidgetWithChildrenShortcut);
    // The key works with the menu closed, as the window's own items' keys do.
    janela()->addAction(item);
    return item;
}

void ServicosComMenu::adicionaSeparador(const char* nome)
{
    auto* separador = new QAction(janela());
    separador->setObjectName(QString::fromLatin1(nome));
    separador->setSeparator(true);
    poeNoMenu(separador);
}

QAction* ServicosComMenu::adicionaItem(const char* nome, const QString& texto, const QKeySequence& tecla)
{
    QAction* item = itemDaJanela(nome, texto, tecla);
    poeNoMenu(item);
    return item;
}

QMenu* ServicosComMenu::adicionaSubmenu(const char* nome, const QString& texto)
{
    QAction* raiz = adicionaItem(nome, texto);
    auto* submenu = new QMenu(janela());
    submenu->setObjectName(QString::fromLatin1(nome) + QStringLiteral("Menu"));
    submenu->setToolTipsVisible(true);
    raiz->setMenu(submenu);
    return submenu;
}

QAction* ServicosComMenu::adicionaItemEm(QMenu* submenu, const char* nome, const QString& texto,
                                         const QKeySequence& tecla)
{
    QAction* item = itemDaJanela(nome, texto, tecla);
    submenu->addAction(item);
    return item;
}

QShortcut* ServicosComMenu::adicionaAtalho(const char* nome, const QKeySequence& tecla)
{
    QShortcut* atalho = NovoAtalho(*janela(), nome, tecla);
    // As the items: only while the focus is inside the window.
    atalho->setContext(Qt::WidgetWithChildrenShortcut);
    return atalho;
}

} // namespace trd
