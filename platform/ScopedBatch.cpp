#include "ScopedBatch.h"

#include "TSocketConnection.h"

namespace trd {

const QByteArray& ScopedBatch::HeaderName()
{
    static const QByteArray name = QByteArrayLiteral("X-Trd-Lote");
    return name;
}

ScopedBatch::ScopedBatch(TSocketConnection& connection, qint64 batch) : m_connection(&connection), m_batch(batch)
{
    if (m_batch == 0)
        return;
    auto& fields = connection.ExtraHeaders;
    for (qsizetype i = fields.size() - 1; i >= 0; --i)
        if (fields.at(i).first == HeaderName())
            m_hidden.prepend(fields.takeAt(i));
    fields.append({HeaderName(), QByteArray::number(m_batch)});
}

ScopedBatch::~ScopedBatch()
{
    if (m_batch == 0 || !m_connection)
        return;
    auto& fields = m_connection->ExtraHeaders;
    const QByteArray value = QByteArray::number(m_batch);
    for (qsizetype i = fields.size() - 1; i >= 0; --i) {
        if (fields.at(i).first == HeaderName() && fields.at(i).second == value) {
            fields.removeAt(i);
            break;
        }
    }
    fields.append(m_hidden);
}

} // namespace trd
