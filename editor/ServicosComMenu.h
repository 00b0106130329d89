#pragma once
// The menu items and keys of ServicosDoEditor, made alike by every editor
// window: each item and key belongs to the window, its key checked against
// the window's (TeclasDaTela) and active only while the focus is inside it;
// a submenu is an item of the menu. What a window says for itself is where
// its menu's items and separators go.
#include "ServicosDoEditor.h"

namespace trd {

class ServicosComMenu : public ServicosDoEditor {
public:
    void adicionaSeparador(const char* nome) override;
    QAction* adicionaItem(const char* nome, const QString& texto, const QKeySequence& tecla = {}) override;
    QMenu* adicionaSubmenu(const char* nome, const QString& texto) override;
    QAction* adicionaItemEm(QMenu* submenu, const char* nome, const QString& texto,
                            const QKeySequence& tecla = {}) override;
    QShortcut* adicionaAtalho(const char* nome, const QKeySequence& tecla) override;

protected:
    // Puts `item` (an item or a separator of janela()) at the end of the
    // window's menu of companions' items.
    virtual void poeNoMenu(QAction* item) = 0;

private:
    QAction* itemDaJanela(const char* nome, const QString& texto, const QKeySequence& tecla);
};

} // namespace trd
