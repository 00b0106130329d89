#pragma once
// The calls a connection makes while one of these lives join a batch of the
// history: it adds the batch's header (X-Trd-Lote, docs/protocol.md) to the
// connection's extra header fields and, however its scope is left, removes
// that one field again, leaving every other field as it found it. A scope
// opened inside another one stands for the calls made inside it (a save joins
// one batch only): it sets the outer scope's field aside and puts it back when
// it ends. A batch number of 0 (the server keeps no history) changes nothing:
// the calls then go as they would without it.
#include <QByteArray>
#include <QList>
#include <QPair>
#include <QPointer>

namespace trd {

class TSocketConnection;

class ScopedBatch {
public:
    ScopedBatch(TSocketConnection& connection, qint64 batch);
    ~ScopedBatch();
    ScopedBatch(const ScopedBatch&) = delete;
    ScopedBatch& operator=(const ScopedBatch&) = delete;

    qint64 Batch() const { return m_batch; }
    // The field's name as the server reads it.
    static const QByteArray& HeaderName();

private:
    QPointer<TSocketConnection> m_connection; // may go first (the editor closing)
    qint64 m_batch;
    QList<QPair<QByteArray, QByteArray>> m_hidden; // an outer scope's field, set aside
};

} // namespace trd
