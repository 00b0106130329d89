#pragma once
// The keys a screen answers to, so that an item or a shortcut a companion
// adds never takes over a key the screen (or another companion) already
// uses: Qt would then answer neither, and the user would press it for nothing.
#include <QKeySequence>
#include <QString>

class QAction;
class QShortcut;
class QWidget;

namespace trd {

// The name of the action or shortcut of `tela` (or of its children) that
// answers to `tecla`; empty when none does, or when `tecla` is empty.
QString QuemUsaTecla(const QWidget& tela, const QKeySequence& tecla);

// Raises std::logic_error naming `nome`, the key and who holds it when the
// key is taken: a screen built with a clash is a mistake to see at once.
void ConfereTecla(const QWidget& tela, const char* nome, const QKeySequence& tecla);

// A new item of `tela` named `nome`, its key checked first (ConfereTecla);
// the caller puts it in a menu.
QAction* NovoItem(QWidget& tela, const char* nome, const QString& texto, const QKeySequence& tecla);
// A new key of `tela` with no menu item, named `nome`, checked as an item's is.
QShortcut* NovoAtalho(QWidget& tela, const char* nome, const QKeySequence& tecla);

} // namespace trd
