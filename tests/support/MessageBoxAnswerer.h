#pragma once
// For tests on a real display with the real dialogs: each QMessageBox that
// opens is recorded (its text) and answered with Enter pressed on it, as a
// user would, once it is the active modal window. Real message boxes take the
// focus and hand it back when they close, which is what such tests check.
#include <QApplication>
#include <QMessageBox>
#include <QPointer>
#include <QStringList>
#include <QTest>
#include <QTimer>

#include <deque>

namespace trd::test {

class MessageBoxAnswerer : public QObject {
public:
    MessageBoxAnswerer()
    {
        m_timer.setInterval(30);
        QObject::connect(&m_timer, &QTimer::timeout, this, [this] { poll(); });
        m_timer.start();
    }

    QStringList shown; // the texts of the boxes answered, in order
    // The keys pressed on the next boxes, one list per box, in order; a box
    // beyond them gets Enter.
    std::deque<QList<Qt::Key>> replies;

private:
    void poll()
    {
        auto* box = qobject_cast<QMessageBox*>(QApplication::activeModalWidget());
        if (!box || box == m_answering || !box->isVisible() || QApplication::activeWindow() != box)
            return;
        m_answering = box;
        shown << box->text();
        QList<Qt::Key> keys{Qt::Key_Return};
        if (!replies.empty()) {
            keys = replies.front();
            replies.pop_front();
        }
        for (const Qt::Key key : keys) {
            QPointer<QMessageBox> still(box);
            if (!still || !still->isVisible())
                break;
            QTest::keyClick(still, key);
        }
    }

    QTimer m_timer;
    QPointer<QMessageBox> m_answering;
};

} // namespace trd::test
