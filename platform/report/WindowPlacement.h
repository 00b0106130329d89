#pragma once

#include <QSize>

class QWidget;

namespace trd {

// Sizes a top-level window to the size it would like, shrunk to what the
// screen under the cursor leaves free, and centres it there: the preview and
// the designer open without a parent, so nothing else keeps their title bar
// and tool bar on a small or low screen.
void PlaceOnScreen(QWidget& window, QSize wanted);

} // namespace trd
