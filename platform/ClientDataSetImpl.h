#pragma once
// The inside of TClientDataSet, shared by its two source files: the cursor and
// editing in TClientDataSet.cpp, packets, files, the change log and searching
// in ClientDataSetContent.cpp.
#include "ChangeLog.h"
#include "RecordStore.h"
#include "TClientDataSet.h"
#include "TDataSource.h"

#include <algorithm>
#include <cstdint>

namespace trd {

inline QString closedMessage()
{
    return QStringLiteral("Não é possível executar esta operação em um conjunto de dados fechado.");
}

inline QString emptyMessage()
{
    return QStringLiteral("Não é possível executar esta operação em um conjunto de dados vazio.");
}

inline void fire(TClientDataSet* ds, const TDataSetNotifyEvent& event)
{
    if (event)
        event(ds);
}

struct SortKey {
    int field;
    bool descending;
};

struct TClientDataSet::Impl {
    TClientDataSet* q;
    explicit Impl(TClientDataSet* owner) : q(owner) { }

    std::vector<std::unique_ptr<TField>> fields;
    bool persistent = false; // fields defined by AddField, not by packets

    RecordStore store;
    std::vector<int> natural; // live and deleted records, in load/insert order
    std::vector<std::uint8_t> deleted; // per record: logged as deleted
    std::vector<int> rows; // the visible rows, in index order
    ChangeLog log;

    bool active = false;
    TDataSetState state = TDataSetState::dsInactive;
    int cur = -1; // position in rows
    bool eof = true;
    bool bof = true;
    int activeOverride = -1;

    RecordValues buffer; // the row being edited or inserted
    bool modified = false;
    int insertedRecord = -1; // the record of an insert not yet posted

    std::vector<SortKey> sortKeys;
    QString indexFieldNames;

    std::vector<TDataSource*> sources;
    int disableCount = 0;
    TDataSetState stateWhenDisabled = TDataSetState::dsInactive;

    // ---- helpers
    bool editing() const { return state == TDataSetState::dsEdit || state == TDataSetState::dsInsert; }
    void checkActive() const
    {
        if (!active)
            throw EDBClient(closedMessage());
    }
    int currentRecord() const
    {
        return cur >= 0 && cur < static_cast<int>(rows.size()) ? rows[static_cast<std::size_t>(cur)] : -1;
    }

    void notify(TDataEvent event, qintptr info = 0)
    {
        if (disableCount > 0)
            return;
        const std::vector<TDataSource*> targets = sources; // a handler may detach
        for (TDataSource* s : targets) {
            if (std::find(sources.begin(), sources.end(), s) != sources.end())
                s->notify(event, info);
        }
    }

    void setState(TDataSetState s)
    {
        if (state == s)
            return;
        state = s;
        notify(TDataEvent::deUpdateState);
    }

    void rebuildRows();
    void sortRows();
    void restoreRows(const std::vector<int>& records);
    int positionOf(int record) const;
    void discardEdit();
    bool bufferDiffers() const;
    void buildFields(const std::vector<PacketField>& packetFields);
    std::vector<PacketField> fieldDefs() const;
    const CellValue* bufferFor(int row) const;
    void beginInsert(bool atEnd);
};

} // namespace trd
