#pragma once
// Counts the events of one type (paints, layout requests) that reach the
// objects it is installed on.
#include <QEvent>
#include <QObject>

namespace trd::test {

class EventCounter : public QObject {
public:
    explicit EventCounter(QEvent::Type type) : m_type(type) { }

    int count = 0;

    bool eventFilter(QObject*, QEvent* event) override
    {
        count += event->type() == m_type;
        return false;
    }

private:
    QEvent::Type m_type;
};

} // namespace trd::test
