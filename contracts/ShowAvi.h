#pragma once
// The shared busy indicator shown over the main form while the module works:
// ActiveShowAvi(main form, kind) puts it up, DeactiveShowAvi takes it down.
// It paints itself at once and runs no event loop of its own, so it costs a
// repaint and no more around a synchronous server call.
#include <QString>

class QWidget;

namespace trd {

// The kinds the module uses; each shows its own text.
enum TShowAvi : int {
    aviConectando = 0,          // connecting to the server
    aviProcessando = 1,         // a server call
    aviCarregandoIdiomas = 6,   // the editor loading its languages
};

// Shows (or switches to) the indicator of that kind, centred over mainForm (or
// over the application's main form when mainForm is null). Calling it again
// before DeactiveShowAvi only changes the kind.
void ActiveShowAvi(QWidget* mainForm, int kind);
// Takes the indicator down; harmless when none is showing.
void DeactiveShowAvi();

bool ShowAviActive();
int ShowAviKind();              // the kind showing, -1 when none
QString ShowAviText(int kind);  // "Conectando...", "Processando...", ...

} // namespace trd
