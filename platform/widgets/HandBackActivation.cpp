#include "HandBackActivation.h"

#include "TApplication.h"

#include <QApplication>
#include <QWidget>

namespace trd {

void HandBackActivation(QWidget* leaving, bool wasActive)
{
    if (!wasActive || !leaving)
        return;
    QWidget* parent = leaving->parentWidget() ? leaving->parentWidget()->window() : nullptr;
    QWidget* target = parent ? parent : Application()->MainForm();
    if (!target || target == leaving || !target->isVisible() || QApplication::activeModalWidget())
        return;
    // Asked at once, as the window goes: a window shown right after (the
    // same dialog opened again) asks later and wins.
    target->activateWindow();
}

} // namespace trd
