#pragma once
// Base of the module's maintenance screens: an MDI child with the main menu
// (maintenance menu with the seven record actions), the tool bar panMenu with
// the same record actions plus print, help and close, the sortable grid on the
// data source dtsPadrao inside pgcPadrao / tshPadrao / panDbgPadrao /
// scbFolhaDados, and the navigator panel with a data text and the navigator.
//
// Each record action is one handler run by its tool-bar button and by its menu
// item; a derived screen overrides the handler. The menu items follow the
// enabled state of their buttons. All record actions start disabled; each
// state change of the data set enables them by the base rules, which a derived
// dtsPadraoStateChange refines after calling the base.
#include "TButtonFlat.h"
#include "TDBNavigator.h"
#include "TDBSortGrid.h"
#include "TDBText.h"
#include "TDataSource.h"
#include "TfrmBase.h"

#include <QAction>
#include <QFrame>
#include <QMenu>
#include <QMenuBar>
#include <QScrollArea>
#include <QTabWidget>

#include <vector>

class QVBoxLayout;

namespace trd {

class TfrmPadraoSortGrid : public TfrmBase {
    Q_OBJECT
public:
    explicit TfrmPadraoSortGrid(QWidget* parent = nullptr);

    // Main menu.
    QMenuBar* mnuMenu;
    QMenu* mnuManutencao;
    QAction *mnuIncluir, *mnuAlterar, *mnuExcluir, *mnuProcurar, *mnuVerificar, *mnuCancelar, *mnuConfirmar;
    // Print (Ctrl+P), the print button's item: the screen's report reached
    // from the keyboard as well. Last in the menu, after a separator.
    QAction* mnuImprimir = nullptr;

    // Tool bar: the record actions, then print, help, close.
    QFrame* panMenu;
    TButtonFlat *sbtIncluir, *sbtAlterar, *sbtExcluir, *sbtProcurar, *sbtVerificar, *sbtCancelar, *sbtConfirmar;
    TButtonFlat *sbtImprimir, *sbtAjuda, *sbtFechar;

    // The grid and its containers.
    QTabWidget* pgcPadrao;
    QWidget* tshPadrao;
    QFrame* panDbgPadrao;
    QScrollArea* scbFolhaDados;
    TDBSortGrid* dbgPadrao;
    TDataSource* dtsPadrao;

    // The navigator panel.
    QFrame* panNavigator;
    TDBText* dbtNome;
    TDBNavigator* dbnPadrao;

    // The shared standard catalog ("Excl": the delete confirmation).
    TMessages* msgMensagensPadroes;

    // The layout of scbFolhaDados' page, top to bottom: a screen inserts its
    // panels above (index 0) or below the grid.
    QVBoxLayout* FolhaDadosLayout() const { return m_folhaLayout; }

    // Appends an item to mnuManutencao with the screen's shortcut (active while
    // the focus is inside this form), named as the item.
    QAction* AddMaintenanceItem(const char* name, const QString& caption, const QKeySequence& shortcut = {});
    QAction* AddMaintenanceSeparator(const char* name);
    // Puts an item or a separator made elsewhere in mnuManutencao, where the
    // screen's own go.
    void InsertMaintenanceAction(QAction* action);

    // Record actions (button and menu item alike).
    virtual void sbtIncluirClick(QObject* sender);
    virtual void sbtAlterarClick(QObject* sender);
    virtual void sbtExcluirClick(QObject* sender);
    virtual void sbtProcurarClick(QObject* sender);
    virtual void sbtVerificarClick(QObject* sender);
    virtual void sbtCancelarClick(QObject* sender);
    virtual void sbtConfirmarClick(QObject* sender);
    virtual void sbtImprimirClick(QObject* sender);
    virtual void sbtAjudaClick(QObject* sender);
    virtual void sbtFecharClick(QObject* sender);

    // Data and grid events.
    virtual void dtsPadraoStateChange(QObject* sender);
    virtual void dbgPadraoKeyDown(QObject* sender, int& key, Qt::KeyboardModifiers shift);
    virtual void dbgPadraoKeyPress(QObject* sender, QChar& key);

    // Enables a button together with the menu item that runs the same action.
    void SetActionEnabled(TButtonFlat* button, bool enabled);

protected:
    TClientDataSet* dataSetPadrao() const { return dtsPadrao->DataSet(); }
    // The tool bar is at least as wide as its buttons and the screen code
    // beside them (the buttons sit by position, the screen has moved them).
    void showEvent(QShowEvent* event) override;

private:
    TButtonFlat* toolButton(const char* name, int left, int glyph, const QString& hint);
    QAction* menuItem(const char* name, const QString& caption, const QKeySequence& shortcut = {});
    void bind(TButtonFlat* button, QAction* item, void (TfrmPadraoSortGrid::*handler)(QObject*));

    QVBoxLayout* m_folhaLayout;
    QAction* m_separadorImprimir = nullptr;
    std::vector<std::pair<TButtonFlat*, QAction*>> m_pairs;
};

} // namespace trd
