#pragma once
// Work an editor companion hands to threads of its own (a dictionary or a
// glossary being opened), each at low priority, its end handed back on the
// companion's thread. When the companion goes, work still running is waited
// for (a thread must not outlive the code it runs) and its threads deleted:
// the handler that would have deleted them went with the companion.
#include <QList>
#include <QObject>
#include <QPointer>
#include <QThread>

#include <functional>
#include <utility>

namespace trd {

class TrabalhosDeFundo {
public:
    // `dono` receives the ends: declare this object after what they use.
    explicit TrabalhosDeFundo(QObject* dono) : m_dono(dono) { }
    ~TrabalhosDeFundo()
    {
        for (const QPointer<QThread>& t : std::as_const(m_threads))
            if (t) {
                t->wait();
                delete t.data();
            }
    }
    TrabalhosDeFundo(const TrabalhosDeFundo&) = delete;
    TrabalhosDeFundo& operator=(const TrabalhosDeFundo&) = delete;

    // Runs `trabalho` on a thread of its own; `terminado` then runs on the owner's thread.
    void inicia(std::function<void()> trabalho, std::function<void()> terminado)
    {
        QThread* t = QThread::create(std::move(trabalho));
        m_threads.append(t);
        QObject::connect(t, &QThread::finished, m_dono, [this, t, terminado = std::move(terminado)] {
            m_threads.removeAll(t);
            t->deleteLater();
            terminado();
        });
        t->start(QThread::LowPriority);
    }

private:
    QObject* m_dono;
    QList<QPointer<QThread>> m_threads;
};

} // namespace trd
