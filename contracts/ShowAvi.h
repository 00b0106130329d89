#pragma once
// The shared busy indicator shown over the main form while the module works:
// ActiveShowAvi(main form, kind) puts it up, DeactiveShowAvi takes it down.
// Most of what it covers (a save, a short query) ends in a millisecond or two,
// and a panel flashing over the grid on every save is noise, not feedback; so
// it appears only once the work has lasted ShowAviDelayMs. Work that keeps the
// event loop running gets it from a timer; a synchronous server call gets it
// from ShowAviPump, which the connection runs while it waits.
#include <QString>

class QWidget;

namespace trd {

// The kinds the module uses; each shows its own text.
enum TShowAvi : int {
    aviConectando = 0, // connecting to the server
    aviProcessando = 1, // a server call
    aviCarregandoIdiomas = 6, // the editor loading its languages
};

// Shows (or switches to) the indicator of that kind, centred over mainForm (or
// over the application's main form when mainForm is null). Calling it again
// before DeactiveShowAvi only changes the kind.
void ActiveShowAvi(QWidget* mainForm, int kind);
// Takes the indicator down; harmless when none is showing.
void DeactiveShowAvi();

// The indicator of that kind, over the application's main form, for as long
// as the scope lasts; down however the scope is left. Left by an exception it
// is down before the handler runs, so a message shown there is never covered.
class ShowAviScope {
public:
    explicit ShowAviScope(int kind);
    ~ShowAviScope();
    ShowAviScope(const ShowAviScope&) = delete;
    ShowAviScope& operator=(const ShowAviScope&) = delete;
};

// Lets the indicator catch up while its caller blocks: shows it once the work
// has lasted ShowAviDelayMs and turns it from then on. Cheap, and harmless
// when no indicator is active.
void ShowAviPump();

constexpr int ShowAviDelayMs = 250;

bool ShowAviActive(); // between ActiveShowAvi and DeactiveShowAvi, shown yet or not
int ShowAviKind(); // the kind showing, -1 when none
QString ShowAviText(int kind); // "Conectando...", "Processando...", ...

} // namespace trd
