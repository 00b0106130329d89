#include "VersionLog.h"

namespace trd::server {

void VersionLog::setOrigin(const WriteOrigin& origin)
{
    m_origin = origin;
    m_open.clear();
    m_written.clear();
    writesForgotten(false);
}

void VersionLog::forgetBatches()
{
    m_open.clear();
    m_written.clear();
    writesForgotten(true);
}

const VersionLog::Open& VersionLog::batchFor(const std::string& language, double now)
{
    if (auto it = m_open.find(language); it != m_open.end())
        return it->second;
    Open open;
    if (m_origin.batch) {
        const auto existing = m_reader.batch(*m_origin.batch);
        checkBatchAccepts(existing, *m_origin.batch, m_origin, language,
                          existing ? m_reader.undoneBy(existing->id) : std::nullopt);
        open = {existing->id, existing->when};
    } else {
        open = {openBatch(m_origin, language, now), now};
    }
    m_written.push_back(open.id);
    return m_open.emplace(language, open).first->second;
}

void VersionKeepingWriter::endItem(bool keep)
{
    if (!keep) {
        execute("ROLLBACK TO SAVEPOINT delta");
        m_versions.forgetBatches();
    }
    execute("RELEASE SAVEPOINT delta");
}

} // namespace trd::server
