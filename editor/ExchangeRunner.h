#pragma once
// Runs one exchange job (an export, an import's preview or its apply) on a
// thread of its own, so the editor's window keeps painting and its Cancel
// button keeps working while a large file is read or written. Progress and
// the end come back to the user-interface thread as signals.
#include "ExchangeJobs.h"

#include <QObject>
#include <QThread>

#include <atomic>
#include <exception>
#include <functional>

namespace trd {

class ExchangeRunner : public QObject {
    Q_OBJECT
public:
    explicit ExchangeRunner(QObject* parent = nullptr);
    ~ExchangeRunner() override;

    // Starts the job; false when one is still running.
    bool start(std::function<void(const exchange::JobControl&)> job);
    void cancel() { m_cancel = true; }
    bool running() const { return m_thread != nullptr; }
    // Waits for a running job to end (the dialog closing).
    void wait();

    // The client's server settings, copied on the user-interface thread.
    static exchange::ServerAddress editorServer();

signals:
    void progress(const QString& step, qint64 done, qint64 total);
    // error is empty on success; cancelled tells a cancel from a failure.
    void finished(const QString& error, bool cancelled);

private:
    QThread* m_thread = nullptr;
    std::atomic<bool> m_cancel{false};
};

} // namespace trd
