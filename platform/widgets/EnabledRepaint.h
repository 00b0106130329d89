#pragma once
// One handler often switches a button off and on again: entering edit mode
// disables the record actions and posting enables them, a base form's state
// handler enables what the derived one disables at once. Qt repaints a button
// on every switch, and a flat button's repaint also repaints the panel behind
// it. Coalescing lets a switch repaint the button only if, once the handler is
// over and the event loop runs, its state differs from what it last painted.
// The enabled state itself changes at once, as ever: only the paint waits.
class QWidget;

namespace trd {

void CoalesceEnabledRepaints(QWidget* widget);

} // namespace trd
