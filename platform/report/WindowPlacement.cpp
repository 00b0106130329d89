#include "WindowPlacement.h"

#include <algorithm>

#include <QCursor>
#include <QGuiApplication>
#include <QScreen>
#include <QStyle>
#include <QWidget>

namespace trd {

void PlaceOnScreen(QWidget& window, QSize wanted)
{
    QScreen* screen = QGuiApplication::screenAt(QCursor::pos());
    if (!screen)
        screen = QGuiApplication::primaryScreen();
    if (!screen) {
        window.resize(wanted);
        return;
    }
    // The frame and title bar are not part of the widget's size: leave room
    // for them so the whole window, title included, stays on the screen.
    const QRect free = screen->availableGeometry();
    const int titleRoom = window.style()->pixelMetric(QStyle::PM_TitleBarHeight) + 16;
    const QSize size(std::min(wanted.width(), free.width() - 16), std::min(wanted.height(), free.height() - titleRoom));
    window.resize(size);
    window.move(free.x() + (free.width() - size.width()) / 2,
                free.y() + titleRoom - 8 + (free.height() - titleRoom - size.height()) / 2);
}

} // namespace trd
