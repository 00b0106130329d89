#include "PacketStream.h"

#include <algorithm>

namespace trd {

void PacketSource::failed(std::int64_t, const QString& message)
{
    throw EDBClient(message);
}

const QByteArray& ServerPacket::bytes() const
{
    if (!m_source)
        return m_bytes;
    const std::shared_ptr<PacketSource> source = std::move(m_source);
    QByteArray all;
    qsizetype used = 0;
    for (;;) {
        if (all.size() - used < 64 * 1024)
            all.resize(std::max<qsizetype>(all.size() * 2, 256 * 1024));
        const std::size_t n = source->read(all.data() + used, static_cast<std::size_t>(all.size() - used));
        if (n == 0)
            break;
        used += static_cast<qsizetype>(n);
    }
    all.truncate(used);
    m_bytes = std::move(all);
    return m_bytes;
}

} // namespace trd
