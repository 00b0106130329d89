#pragma once
// What the translation editor offers the companions that live beside its
// screen (the memory, the history, colleagues' saves, the checks, the
// exchange menu): the current row, the rows and the connection, a text put
// into the cell as the user would type it, a place for a panel around the
// detail panel, menu items whose keys are checked against the screen's,
// calls made inside a batch of the history, and what the user may do. A companion reaches the editor
// through this alone, so it can be built and tested against a small stand-in
// of it without the form, and the form's widgets stay the form's.
#include "LinhaDoServidor.h"
#include "Papeis.h"

#include <QKeySequence>
#include <QString>

#include <functional>
#include <vector>

class QAction;
class QLineEdit;
class QMenu;
class QShortcut;
class QWidget;

namespace trd {

class TCanvas;
class TClientDataSet;
class TSocketConnection;

class ServicosDoEditor {
public:
    virtual ~ServicosDoEditor() = default;

    // ---- the window, its rows and its connection
    // The editor's window: the parent of what a companion makes, the owner of its dialogs.
    virtual QWidget* janela() = 0;
    // The rows of the chosen language, as the grid shows them.
    virtual TClientDataSet& linhas() = 0;
    // The editor's connection to the application server.
    virtual TSocketConnection& conexao() = 0;
    // The code of the chosen language (what every row request sends); empty before one is chosen.
    virtual QString idioma() const = 0;
    // The language box's text, and whether it is one of the listed languages.
    virtual QString textoDoIdioma() const = 0;
    virtual bool idiomaDaLista() const = 0;
    // A replace-all run is posting row after row.
    virtual bool substituindo() const = 0;

    // ---- the current row
    // Its identity; empty (vazia()) when there is none.
    virtual ChaveLinha chaveAtual() const = 0;

    // ---- the cell
    // Puts `texto` into the current row's destination cell as if typed over
    // its whole text: the cell's editor opens when it is not, Ctrl+Z brings
    // the previous text back, and nothing is saved until the row is posted.
    virtual void digitaNaCelula(const QString& texto) = 0;
    // The cell's editor while it is open, else null.
    virtual QLineEdit* celulaAberta() const = 0;
    // The area the cell's editor opens in (its children come and go with it).
    virtual QWidget* areaDasCelulas() const = 0;
    // Repaints the rows (a tint or a mark changed).
    virtual void repintaLinhas() = 0;
    // After a modal dialog: the editor's window and its grid (the open cell) take the keyboard back.
    virtual void devolveTeclado() = 0;
    // Reads the rows again as the reload button does, the filter in force included.
    virtual void recarrega() = 0;

    // ---- what colleagues did
    // A colleague's text of the row being typed in, shown beside the cell.
    virtual void mostraTextoDoColega(const QString& titulo, const QString& texto) = 0;
    // Rows changed by someone else were shown (their indexes), rows went
    // away, and whether the current row was one of them.
    virtual void alteradasPorOutro(const std::vector<int>& linhas, bool removidas, bool atual) = 0;

    // ---- places and keys
    enum class Lugar {
        AoLadoDoDetalhe, // at the detail panel's right, as tall as it
        AcimaDoDetalhe, // between the grid and the detail panel
        SobODetalhe, // right under the detail panel, above what was put there before
        Navegador, // in the navigator bar, before its last control
        SobAsSugestoes, // under the last panel put beside the detail panel, in its column
    };
    // Places `painel` (the editor's window takes it over).
    virtual void adicionaPainel(QWidget* painel, Lugar lugar) = 0;
    // A separator, then items, at the end of the editor's maintenance menu.
    virtual void adicionaSeparador(const char* nome) = 0;
    // A key the screen already answers to is refused (std::logic_error naming both).
    virtual QAction* adicionaItem(const char* nome, const QString& texto, const QKeySequence& tecla = {}) = 0;
    // A submenu at the end of the maintenance menu, and an item in it (the
    // item's key checked as any, active while the focus is in the window).
    virtual QMenu* adicionaSubmenu(const char* nome, const QString& texto) = 0;
    virtual QAction* adicionaItemEm(QMenu* submenu, const char* nome, const QString& texto,
                                    const QKeySequence& tecla = {}) = 0;
    // A key of the editor's window with no menu item, checked as the items are.
    virtual QShortcut* adicionaAtalho(const char* nome, const QKeySequence& tecla) = 0;

    // ---- batches of the history
    // Opens a batch of kind `tipo` for `idioma` and makes `chamada` inside it
    // (its saves join the batch); the batch's number, or 0 when the server
    // keeps no history (then `chamada` is made all the same, outside any).
    // `origem`, when given, is what the history keeps as the batch's method
    // (the engine and route of a machine translation).
    virtual qint64 emLote(const QString& idioma, const QString& tipo, const std::function<void()>& chamada,
                          const QString& origem = QString()) = 0;

    // ---- what the user may do (docs/users.md)
    // The user's roles as the server last told them; every right until it has.
    virtual const papeis::PapeisDoUsuario& papeis() const = 0;
    // The screen's own controls a right governs.
    enum class Controle {
        Celula, // typing in the grid (and deleting a row): the grid reads only
        Situacoes, // the three status buttons and their items
        Substituir, // find/replace
    };
    // Keeps `controle` off whatever the state of the rows, with `motivo` in
    // its hint, so that no click or key of it fails; an empty `motivo` leaves
    // it to the state of the rows again.
    virtual void restringe(Controle controle, const QString& motivo) = 0;

    // ---- painting the rows
    // Called for every cell the grid paints, the editor's colours chosen and
    // before the text goes on: `pintura` may change the canvas's font (a
    // companion's rows greyed, in italics); the row set's active record is the
    // row being painted. Called in the order given.
    virtual void pintaLinhasCom(std::function<void(TCanvas& canvas)> pintura) = 0;
    // The hint of a row's cells (0-based, grid order); the first that is not empty is shown.
    virtual void dicaDasLinhas(std::function<QString(int linha)> dica) = 0;
};

} // namespace trd
