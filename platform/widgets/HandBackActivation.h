#pragma once
// A window that goes away while it has the keyboard (a modeless dialog
// closed, a tool window hidden) hands the activation back to the window it
// stood beside, whose focused control (the grid, a cell being typed in) then
// has the keyboard again. Window managers differ in whether they do this by
// themselves, and with none the keyboard stays nowhere until a click.
class QWidget;

namespace trd {

// Call once the leaving window is hidden; `wasActive` is whether it was the
// active window just before (Qt no longer says so by the time it is hidden).
void HandBackActivation(QWidget* leaving, bool wasActive);

} // namespace trd
