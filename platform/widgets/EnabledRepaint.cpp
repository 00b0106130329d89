#include "EnabledRepaint.h"

#include <QAbstractButton>
#include <QAccessible>
#include <QEvent>
#include <QPointer>
#include <QWidget>

namespace trd {

namespace {

class EnabledRepaintFilter : public QObject {
public:
    explicit EnabledRepaintFilter(QWidget* widget) : QObject(widget), m_widget(widget) { }

    bool eventFilter(QObject*, QEvent* event) override
    {
        switch (event->type()) {
        case QEvent::Paint:
            m_painted = m_widget->isEnabled();
            m_hasPainted = true;
            return false;
        case QEvent::EnabledChange:
            // What the button's own handler would do besides repainting: a
            // button switched off while held down lets go.
            if (auto* button = qobject_cast<QAbstractButton*>(m_widget);
                button && !button->isEnabled() && button->isDown())
                button->setDown(false);
            if (!m_pending) {
                m_pending = true;
                QMetaObject::invokeMethod(
                    this, [this] { settle(); }, Qt::QueuedConnection);
            }
            return true;
        default:
            return false;
        }
    }

private:
    void settle()
    {
        m_pending = false;
        if (m_hasPainted && m_widget->isEnabled() == m_painted)
            return;
        m_widget->update();
#if QT_CONFIG(accessibility)
        if (QAccessible::isActive()) {
            QAccessible::State changed;
            changed.disabled = true;
            QAccessibleStateChangeEvent change(m_widget, changed);
            QAccessible::updateAccessibility(&change);
        }
#endif
    }

    QWidget* m_widget;
    bool m_painted = false;
    bool m_hasPainted = false;
    bool m_pending = false;
};

} // namespace

void CoalesceEnabledRepaints(QWidget* widget)
{
    widget->installEventFilter(new EnabledRepaintFilter(widget));
}

} // namespace trd
