#pragma once
// What each key does in a data grid's cell editor, decided in one place.
//
// The cell editor keeps the editing keys a Windows user expects of an edit
// box and no others: typing (AltGr included), Backspace and Delete, the
// arrows, Home and End (with Shift to select, with Ctrl by words),
// Ctrl+Backspace, Ctrl+A, Ctrl+C, Ctrl+X, Ctrl+V (and Ctrl+Insert,
// Shift+Insert, Shift+Delete), Ctrl+Z and Ctrl+Y. The line editor's bindings
// for other desktops (Ctrl+U and Ctrl+K deleting a line) never touch the text.
//
// The grid's own keys (Up, Down, the page keys, Tab, Enter, Escape,
// Ctrl+Delete) move, post and cancel as in the grid. A key that runs a
// command of the window's menus, or opens one of its menus (Alt and a title's
// letter), first settles the edit as leaving the cell would (the typed text
// is posted and saved) and then reaches its command as it would from the
// grid; a refused post keeps the text in the cell and runs nothing. A menu
// command that is off (the status items while a row is edited) does nothing
// and leaves the text as it is. A key a button of the window answers to (Alt
// and its letter), or a shortcut of a control that holds the cell, reaches
// it with the edit as it is. Every other key does nothing: no other shortcut
// of the window (the sub-window's Ctrl+W) fires from inside a cell.
#include <QKeyEvent>

class QWidget;

namespace trd {

enum class CellKey {
    Editing, // the line edit's own
    Grid, // the grid moves, posts or cancels
    MenuCommand, // settle the edit, then the window's menus take it
    Button, // a button's or the cell's holder's shortcut takes it, the edit as it is
    Nothing, // swallowed
};

// What `event`, pressed in a cell editor of a grid in `window`, is for.
// `cell`, the cell's editor: the shortcuts of the controls that hold it act
// on it as it is (Button).
CellKey ClassifyCellKey(const QKeyEvent* event, const QWidget* window, const QWidget* cell = nullptr);

// Ctrl+Y, redo as on Windows (the line edit here knows only Ctrl+Shift+Z).
bool IsRedoKey(const QKeyEvent* event);

} // namespace trd
