#include "BusyLoopFilter.h"

#include <QApplication>
#include <QKeyEvent>
#include <QWidget>

#include <algorithm>

namespace trd {

namespace {

void remember(std::vector<QPointer<QWidget>>& list, QWidget* widget)
{
    if (std::find(list.begin(), list.end(), widget) == list.end())
        list.emplace_back(widget);
}

} // namespace

BusyLoopFilter::BusyLoopFilter(QWidget* allowed, QWidget* ownWindow, std::function<void()> onEscape)
    : m_allowed(allowed), m_ownWindow(ownWindow), m_onEscape(std::move(onEscape))
{
    m_sinceFrame.start();
    qApp->installEventFilter(this);
}

BusyLoopFilter::~BusyLoopFilter()
{
    qApp->removeEventFilter(this);
    deliver();
}

void BusyLoopFilter::Frame()
{
    deliver();
    m_sinceFrame.start();
}

void BusyLoopFilter::deliver()
{
    m_delivering = true;
    // Layouts first, so that the painting shows the widgets where they go;
    // what was asked for since the last message processing comes along.
    QCoreApplication::sendPostedEvents(nullptr, QEvent::LayoutRequest);
    for (const QPointer<QWidget>& w : std::exchange(m_layouts, {})) {
        if (w) {
            QEvent request(QEvent::LayoutRequest);
            QCoreApplication::sendEvent(w, &request);
        }
    }
    QCoreApplication::sendPostedEvents(nullptr, QEvent::UpdateRequest);
    for (const QPointer<QWidget>& w : std::exchange(m_paintings, {})) {
        if (w) {
            QEvent request(QEvent::UpdateRequest);
            QCoreApplication::sendEvent(w, &request);
        }
    }
    m_delivering = false;
}

bool BusyLoopFilter::eventFilter(QObject* watched, QEvent* event)
{
    if (m_delivering)
        return false;
    // A question the loop itself raises (a check's, a log-in, a refused
    // save) is a modal window with a loop of its own: it is painted and
    // answered as usual, Escape included, or nothing could ever answer it.
    if (QWidget* modal = QApplication::activeModalWidget(); modal && modal != m_ownWindow.data())
        return false;
    switch (event->type()) {
    case QEvent::UpdateRequest:
        if (auto* w = qobject_cast<QWidget*>(watched)) {
            remember(m_paintings, w);
            return true;
        }
        return false;
    case QEvent::LayoutRequest:
        if (auto* w = qobject_cast<QWidget*>(watched)) {
            remember(m_layouts, w);
            return true;
        }
        return false;
    case QEvent::KeyPress:
        if (static_cast<QKeyEvent*>(event)->key() == Qt::Key_Escape) {
            if (m_onEscape)
                m_onEscape();
            return true;
        }
        break;
    default:
        break;
    }
    if (!blocksInput(watched, event))
        return false;
    if (event->type() == QEvent::ShortcutOverride)
        event->accept(); // keeps the shortcuts of other windows from firing
    else if (event->type() == QEvent::Close)
        event->ignore(); // a close event left accepted closes the window anyway
    return true;
}

bool BusyLoopFilter::blocksInput(QObject* watched, QEvent* event) const
{
    switch (event->type()) {
    case QEvent::MouseButtonPress:
    case QEvent::MouseButtonRelease:
    case QEvent::MouseButtonDblClick:
    case QEvent::Wheel:
    case QEvent::KeyPress:
    case QEvent::KeyRelease:
    case QEvent::ShortcutOverride:
    case QEvent::ContextMenu:
        break;
    case QEvent::Close:
        return watched != m_ownWindow.data();
    default:
        return false;
    }
    // On a display, input reaches the top-level window object (a QWindow,
    // no widget) first, which hands it to the widget under the pointer or with
    // the focus: that delivery is the one judged here. Stopping it at the
    // window would drop the stop button's click with everything else.
    auto* widget = qobject_cast<QWidget*>(watched);
    if (!widget)
        return !watched->isWindowType();
    return !(m_allowed && (widget == m_allowed || m_allowed->isAncestorOf(widget)));
}

} // namespace trd
