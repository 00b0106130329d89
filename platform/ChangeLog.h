#pragma once
// The change log of a client data set: one entry per changed record, in the
// order the records were first changed, with the record's original values.
// An insert later deleted leaves no trace; an edit later deleted is a deletion
// of the original row.
#include "RecordStore.h"

#include <QByteArray>

#include <unordered_map>
#include <vector>

namespace trd {

enum class ChangeKind { Modified, Inserted, Deleted };

struct Change {
    int record = -1;
    ChangeKind kind = ChangeKind::Modified;
    RecordValues original; // for Modified and Deleted
};

class ChangeLog {
public:
    int count() const { return static_cast<int>(m_changes.size()); }
    bool empty() const { return m_changes.empty(); }
    const std::vector<Change>& changes() const { return m_changes; }
    const Change* find(int record) const;

    // An edit of a record: logs its original values unless it is already logged.
    void modified(int record, const RecordValues& original);
    void inserted(int record);
    // A deletion; returns true when the record was an insert of this log, which
    // simply disappears (the caller then drops the record).
    bool deleted(int record, const RecordValues& current);
    void clear();

    // The delta packet: RowState 1 + 8 for an edit (8 with only the changed
    // fields), 2 for a deletion, 4 for an insert.
    QByteArray delta(const RecordStore& store) const;

private:
    void reindex();
    std::vector<Change> m_changes;
    std::unordered_map<int, std::size_t> m_index;
};

} // namespace trd
