#include "ChangeLog.h"

namespace trd {

const Change* ChangeLog::find(int record) const
{
    const auto it = m_index.find(record);
    return it == m_index.end() ? nullptr : &m_changes[it->second];
}

void ChangeLog::modified(int record, const RecordValues& original)
{
    if (find(record))
        return; // still the first original; an insert stays an insert
    m_index.emplace(record, m_changes.size());
    m_changes.push_back({record, ChangeKind::Modified, original});
}

void ChangeLog::inserted(int record)
{
    m_index.emplace(record, m_changes.size());
    m_changes.push_back({record, ChangeKind::Inserted, {}});
}

bool ChangeLog::deleted(int record, const RecordValues& current)
{
    const auto it = m_index.find(record);
    if (it == m_index.end()) {
        m_index.emplace(record, m_changes.size());
        m_changes.push_back({record, ChangeKind::Deleted, current});
        return false;
    }
    Change& change = m_changes[it->second];
    if (change.kind == ChangeKind::Inserted) {
        m_changes.erase(m_changes.begin() + static_cast<std::ptrdiff_t>(it->second));
        reindex();
        return true;
    }
    change.kind = ChangeKind::Deleted; // keeps the original values of the edit
    return false;
}

void ChangeLog::clear()
{
    m_changes.clear();
    m_index.clear();
}

void ChangeLog::reindex()
{
    m_index.clear();
    for (std::size_t i = 0; i < m_changes.size(); ++i)
        m_index.emplace(m_changes[i].record, i);
}

QByteArray ChangeLog::delta(const RecordStore& store) const
{
    QByteArray out;
    PacketWriter writer(out);
    writer.begin(store.fields(), {{"DATASET_DELTA", "1"}});
    const int nf = store.fieldCount();
    for (const Change& change : m_changes) {
        switch (change.kind) {
        case ChangeKind::Modified:
            writer.beginRow(rsOriginal);
            for (int f = 0; f < nf; ++f)
                RecordStore::writeValue(writer, store.fields()[static_cast<std::size_t>(f)].type, f,
                                        change.original[static_cast<std::size_t>(f)]);
            writer.endRow();
            writer.beginRow(rsModified);
            for (int f = 0; f < nf; ++f) {
                const CellValue current = store.get(change.record, f);
                if (current == change.original[static_cast<std::size_t>(f)])
                    continue;
                if (current.null) // a value cleared: absent would read as unchanged
                    writer.string(f, std::string_view());
                else
                    RecordStore::writeValue(writer, store.fields()[static_cast<std::size_t>(f)].type, f, current);
            }
            writer.endRow();
            break;
        case ChangeKind::Deleted:
            writer.beginRow(rsDeleted);
            for (int f = 0; f < nf; ++f)
                RecordStore::writeValue(writer, store.fields()[static_cast<std::size_t>(f)].type, f,
                                        change.original[static_cast<std::size_t>(f)]);
            writer.endRow();
            break;
        case ChangeKind::Inserted:
            writer.beginRow(rsInserted);
            store.writeRow(writer, change.record);
            writer.endRow();
            break;
        }
    }
    writer.end();
    return out;
}

} // namespace trd
