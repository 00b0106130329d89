#include "TClientDataSet.h"

#include "ClientDataSetImpl.h"
#include "TDataSource.h"

#include <algorithm>
#include <string_view>

namespace trd {

namespace {

// Whether the row is still being edited once the controls have written what
// they hold into it: the writing may end the edit (a handler that posts or
// cancels), and then there is nothing left to post.
template <typename Impl>
bool editingAfterUpdate(TClientDataSet& ds, Impl& d)
{
    d.checkActive();
    if (!d.editing())
        return false;
    ds.UpdateRecord();
    return d.editing();
}

} // namespace

void TClientDataSet::Impl::rebuildRows()
{
    rows.clear();
    rows.reserve(natural.size());
    for (int r : natural) {
        if (!deleted[static_cast<std::size_t>(r)])
            rows.push_back(r);
    }
    sortRows();
}

void TClientDataSet::Impl::sortRows()
{
    if (sortKeys.empty())
        return;
    // Folded keys are built once per row, all in one buffer: folding inside
    // every comparison made sorting 200,000 texts take seconds.
    struct KeyRef {
        std::size_t offset = 0;
        qsizetype length = -1; // -1: null or not a string
    };
    std::vector<char16_t> buffer;
    std::vector<std::vector<KeyRef>> keys(sortKeys.size());
    for (std::size_t k = 0; k < sortKeys.size(); ++k) {
        const int field = sortKeys[k].field;
        if (store.fields()[static_cast<std::size_t>(field)].type != TFieldType::ftString)
            continue;
        keys[k].resize(static_cast<std::size_t>(store.size()));
        for (int r : rows) {
            if (store.isNull(r, field))
                continue;
            KeyRef& ref = keys[k][static_cast<std::size_t>(r)];
            ref.offset = buffer.size();
            ref.length = store.appendSortKey(r, field, buffer);
        }
    }
    std::stable_sort(rows.begin(), rows.end(), [&](int a, int b) {
        for (std::size_t k = 0; k < sortKeys.size(); ++k) {
            int c = 0;
            if (!keys[k].empty()) {
                const KeyRef& ka = keys[k][static_cast<std::size_t>(a)];
                const KeyRef& kb = keys[k][static_cast<std::size_t>(b)];
                if (ka.length >= 0 && kb.length >= 0) {
                    const std::u16string_view va(buffer.data() + ka.offset, static_cast<std::size_t>(ka.length));
                    const std::u16string_view vb(buffer.data() + kb.offset, static_cast<std::size_t>(kb.length));
                    c = va.compare(vb);
                }
            }
            if (c == 0)
                c = store.compare(a, b, sortKeys[k].field);
            if (c != 0)
                return sortKeys[k].descending ? c > 0 : c < 0;
        }
        return false;
    });
}

// Puts records that are live again (an undone deletion) back among the
// rows shown, each before the first row that follows it in the index order;
// the other rows keep their places.
void TClientDataSet::Impl::restoreRows(const std::vector<int>& records)
{
    const auto less = [this](int a, int b) {
        for (const SortKey& k : sortKeys) {
            const int c = store.compare(a, b, k.field);
            if (c != 0)
                return k.descending ? c > 0 : c < 0;
        }
        return false;
    };
    for (int record : records) {
        const auto at = std::find_if(rows.begin(), rows.end(), [&](int row) { return less(record, row); });
        rows.insert(at, record);
    }
}

int TClientDataSet::Impl::positionOf(int record) const
{
    const auto it = std::find(rows.begin(), rows.end(), record);
    return it == rows.end() ? -1 : static_cast<int>(it - rows.begin());
}

// Leaves edit or insert state without events (close, delete of an edited row).
void TClientDataSet::Impl::discardEdit()
{
    if (state == TDataSetState::dsInsert && insertedRecord >= 0) {
        const int pos = positionOf(insertedRecord);
        if (pos >= 0)
            rows.erase(rows.begin() + pos);
        if (insertedRecord == store.size() - 1) {
            store.popBack();
            deleted.pop_back();
        }
        insertedRecord = -1;
        if (cur >= static_cast<int>(rows.size()))
            cur = static_cast<int>(rows.size()) - 1;
    }
    buffer.clear();
    modified = false;
}

bool TClientDataSet::Impl::bufferDiffers() const
{
    const int record = currentRecord();
    for (int f = 0; f < store.fieldCount(); ++f) {
        if (!(store.get(record, f) == buffer[static_cast<std::size_t>(f)]))
            return true;
    }
    return false;
}

const CellValue* TClientDataSet::Impl::bufferFor(int row) const
{
    if (editing() && row == cur && !buffer.empty())
        return buffer.data();
    return nullptr;
}

// Insert and Append: a new row at the cursor or at the end, in insert state.
void TClientDataSet::Impl::beginInsert(bool atEnd)
{
    checkActive();
    q->CheckBrowseMode();
    fire(q, q->BeforeInsert);
    fire(q, q->BeforeScroll);
    const int pos = atEnd || cur < 0 ? static_cast<int>(rows.size()) : cur;
    const int record = store.append();
    deleted.push_back(0);
    rows.insert(rows.begin() + pos, record);
    insertedRecord = record;
    cur = pos;
    eof = bof = false;
    buffer = store.getRecord(record);
    modified = false;
    setState(TDataSetState::dsInsert);
    notify(TDataEvent::deDataSetChange);
    try {
        fire(q, q->OnNewRecord);
    } catch (...) {
        discardEdit();
        if (rows.empty())
            eof = bof = true;
        setState(TDataSetState::dsBrowse);
        notify(TDataEvent::deDataSetChange);
        throw;
    }
    fire(q, q->AfterInsert);
    fire(q, q->AfterScroll);
}

std::vector<PacketField> TClientDataSet::Impl::fieldDefs() const
{
    std::vector<PacketField> defs = store.fields();
    if (defs.size() != fields.size()) {
        defs.clear();
        for (const auto& f : fields) {
            PacketField p;
            p.name = f->FieldName().toUtf8();
            p.type = f->DataType();
            p.size = f->Size();
            defs.push_back(p);
        }
    }
    for (std::size_t i = 0; i < defs.size(); ++i) {
        defs[i].required = fields[i]->Required;
        defs[i].readOnly = fields[i]->ReadOnly;
    }
    return defs;
}

// Fields from a packet: the same TField objects when the structure is unchanged,
// so that controls holding them keep working across reloads.
void TClientDataSet::Impl::buildFields(const std::vector<PacketField>& packetFields)
{
    bool same = packetFields.size() == fields.size();
    for (std::size_t i = 0; same && i < packetFields.size(); ++i) {
        same = fields[i]->FieldName() == QString::fromUtf8(packetFields[i].name)
            && fields[i]->DataType() == packetFields[i].type && fields[i]->Size() == packetFields[i].size;
    }
    if (same)
        return;
    fields.clear();
    for (std::size_t i = 0; i < packetFields.size(); ++i) {
        const PacketField& p = packetFields[i];
        auto field = std::make_unique<TField>(q, QString::fromUtf8(p.name), p.type, p.size, static_cast<int>(i));
        field->ReadOnly = p.readOnly;
        field->Required = p.required;
        field->Visible = !p.hidden;
        fields.push_back(std::move(field));
    }
    notify(TDataEvent::deLayoutChange);
}

// ============================================================== construction

TClientDataSet::TClientDataSet(QObject* owner) : QObject(owner), d(std::make_unique<Impl>(this))
{
}

TClientDataSet::~TClientDataSet()
{
    for (TDataSource* s : d->sources)
        s->m_dataSet = nullptr;
}

void TClientDataSet::attach(TDataSource* source)
{
    if (std::find(d->sources.begin(), d->sources.end(), source) == d->sources.end())
        d->sources.push_back(source);
}

void TClientDataSet::detach(TDataSource* source)
{
    d->sources.erase(std::remove(d->sources.begin(), d->sources.end(), source), d->sources.end());
}

// ============================================================== structure

TField* TClientDataSet::AddField(const QString& name, TFieldType type, int size)
{
    if (d->active)
        throw EDBClient(QStringLiteral("Não é possível definir campos com o conjunto de dados aberto."));
    if (FindField(name))
        throw EDBClient(QStringLiteral("Campo '%1' já existe.").arg(name));
    if (!d->persistent) {
        d->fields.clear();
        d->persistent = true;
    }
    d->fields.push_back(std::make_unique<TField>(this, name, type, size, static_cast<int>(d->fields.size())));
    d->store.reset({});
    return d->fields.back().get();
}

int TClientDataSet::FieldCount() const
{
    return static_cast<int>(d->fields.size());
}

TField* TClientDataSet::Fields(int index) const
{
    if (index < 0 || index >= FieldCount())
        throw EDBClient(QStringLiteral("Índice de campo fora dos limites: %1.").arg(index));
    return d->fields[static_cast<std::size_t>(index)].get();
}

TField* TClientDataSet::FindField(const QString& name) const
{
    for (const auto& f : d->fields) {
        if (f->FieldName().compare(name, Qt::CaseInsensitive) == 0)
            return f.get();
    }
    return nullptr;
}

TField* TClientDataSet::FieldByName(const QString& name) const
{
    TField* f = FindField(name);
    if (!f)
        throw EDBClient(QStringLiteral("Campo '%1' não encontrado.").arg(name));
    return f;
}

void TClientDataSet::CreateDataSet()
{
    if (d->fields.empty())
        throw EDBClient(QStringLiteral("Não há campos definidos para criar o conjunto de dados."));
    Close();
    d->store.reset({});
    d->store.reset(d->fieldDefs());
    d->natural.clear();
    d->deleted.clear();
    d->log.clear();
    Open();
}

// ============================================================== opening

void TClientDataSet::Open()
{
    if (d->active)
        return;
    fire(this, BeforeOpen);
    if (d->store.fieldCount() != FieldCount())
        d->store.reset(d->fieldDefs());
    d->rebuildRows();
    d->active = true;
    d->cur = d->rows.empty() ? -1 : 0;
    d->bof = true;
    d->eof = d->rows.empty();
    d->activeOverride = -1;
    d->setState(TDataSetState::dsBrowse);
    d->notify(TDataEvent::deDataSetChange);
    fire(this, AfterOpen);
    fire(this, AfterScroll);
}

void TClientDataSet::Close()
{
    if (!d->active)
        return;
    fire(this, BeforeClose);
    d->discardEdit();
    d->active = false;
    d->cur = -1;
    d->eof = d->bof = true;
    d->activeOverride = -1;
    d->setState(TDataSetState::dsInactive);
    d->notify(TDataEvent::deDataSetChange);
    fire(this, AfterClose);
}

bool TClientDataSet::Active() const
{
    return d->active;
}

void TClientDataSet::SetActive(bool active)
{
    active ? Open() : Close();
}

TDataSetState TClientDataSet::State() const
{
    return d->state;
}

// ============================================================== cursor

void TClientDataSet::First()
{
    d->checkActive();
    CheckBrowseMode();
    fire(this, BeforeScroll);
    const int from = d->cur;
    d->cur = d->rows.empty() ? -1 : 0;
    d->bof = true;
    d->eof = d->rows.empty();
    d->notify(TDataEvent::deDataSetScroll, from);
    fire(this, AfterScroll);
}

void TClientDataSet::Last()
{
    d->checkActive();
    CheckBrowseMode();
    fire(this, BeforeScroll);
    const int from = d->cur;
    d->cur = static_cast<int>(d->rows.size()) - 1;
    d->eof = true;
    d->bof = d->rows.empty();
    d->notify(TDataEvent::deDataSetScroll, from);
    fire(this, AfterScroll);
}

void TClientDataSet::Next()
{
    MoveBy(1);
}

void TClientDataSet::Prior()
{
    MoveBy(-1);
}

int TClientDataSet::MoveBy(int distance)
{
    d->checkActive();
    CheckBrowseMode();
    if (distance == 0)
        return 0;
    fire(this, BeforeScroll);
    const int count = static_cast<int>(d->rows.size());
    const int from = d->cur;
    const qint64 wanted = static_cast<qint64>(from) + distance;
    const int target = static_cast<int>(std::clamp<qint64>(wanted, count ? 0 : -1, count - 1));
    // Eof/Bof: set only when a move tries to go past the end, cleared by any move.
    if (distance > 0) {
        d->eof = wanted > count - 1;
        if (target != from)
            d->bof = false;
    } else {
        d->bof = wanted < 0;
        if (target != from)
            d->eof = false;
    }
    d->cur = target;
    if (target == from)
        return 0;
    d->notify(TDataEvent::deDataSetScroll, from);
    fire(this, AfterScroll);
    return target - from;
}

bool TClientDataSet::Eof() const
{
    return !d->active || d->eof;
}

bool TClientDataSet::Bof() const
{
    return !d->active || d->bof;
}

int TClientDataSet::RecNo() const
{
    return d->active && d->cur >= 0 ? d->cur + 1 : 0;
}

void TClientDataSet::SetRecNo(int recNo)
{
    d->checkActive();
    CheckBrowseMode();
    const int target = recNo - 1;
    if (target < 0 || target >= static_cast<int>(d->rows.size()) || target == d->cur)
        return;
    fire(this, BeforeScroll);
    const int from = d->cur;
    d->cur = target;
    d->eof = d->bof = false;
    d->notify(TDataEvent::deDataSetScroll, from);
    fire(this, AfterScroll);
}

int TClientDataSet::RecordCount() const
{
    return d->active ? static_cast<int>(d->rows.size()) : 0;
}

bool TClientDataSet::IsEmpty() const
{
    return RecordCount() == 0;
}

// ============================================================== editing

void TClientDataSet::Edit()
{
    d->checkActive();
    if (d->editing())
        return;
    if (d->rows.empty()) {
        Insert();
        return;
    }
    fire(this, BeforeEdit);
    d->buffer = d->store.getRecord(d->currentRecord());
    d->modified = false;
    d->setState(TDataSetState::dsEdit);
    d->notify(TDataEvent::deRecordChange);
    fire(this, AfterEdit);
}

void TClientDataSet::Insert()
{
    d->beginInsert(false);
}

void TClientDataSet::Append()
{
    d->beginInsert(true);
}

void TClientDataSet::Post()
{
    if (!editingAfterUpdate(*this, *d))
        return;
    fire(this, BeforePost);
    for (const auto& f : d->fields) {
        if (f->Required && d->buffer[static_cast<std::size_t>(f->Index())].null)
            throw EDBClient(QStringLiteral("O campo '%1' deve ter um valor.").arg(f->FieldName()));
    }
    const int record = d->currentRecord();
    if (d->state == TDataSetState::dsInsert) {
        d->store.setRecord(record, d->buffer);
        // In the natural order the new row goes before the row it was inserted at.
        const int nextPos = d->cur + 1;
        if (nextPos < static_cast<int>(d->rows.size())) {
            const int nextRecord = d->rows[static_cast<std::size_t>(nextPos)];
            const auto it = std::find(d->natural.begin(), d->natural.end(), nextRecord);
            d->natural.insert(it, record);
        } else {
            d->natural.push_back(record);
        }
        d->log.inserted(record);
        d->insertedRecord = -1;
    } else if (d->bufferDiffers()) {
        d->log.modified(record, d->store.getRecord(record));
        d->store.setRecord(record, d->buffer);
    }
    d->buffer.clear();
    d->modified = false;
    // Under an index too the row stays where it is until the order is asked
    // for again (SetIndexFieldNames, a load): the row below stays below, and
    // neither the user going on down the rows nor a loop walking them meets
    // a row twice or misses one because a post moved it.
    d->setState(TDataSetState::dsBrowse);
    d->notify(TDataEvent::deRecordChange);
    fire(this, AfterPost);
}

void TClientDataSet::Cancel()
{
    if (!d->editing())
        return;
    fire(this, BeforeCancel);
    const bool wasInsert = d->state == TDataSetState::dsInsert;
    d->discardEdit();
    if (d->rows.empty())
        d->eof = d->bof = true;
    d->setState(TDataSetState::dsBrowse);
    d->notify(wasInsert ? TDataEvent::deDataSetChange : TDataEvent::deRecordChange);
    fire(this, AfterCancel);
}

void TClientDataSet::Delete()
{
    d->checkActive();
    if (d->state == TDataSetState::dsInsert) {
        Cancel();
        return;
    }
    if (d->rows.empty())
        throw EDBClient(emptyMessage());
    fire(this, BeforeDelete);
    fire(this, BeforeScroll);
    d->discardEdit();
    const int record = d->currentRecord();
    if (d->log.deleted(record, d->store.getRecord(record))) {
        // An insert of this log: it never reached anyone, so it simply goes.
        d->natural.erase(std::find(d->natural.begin(), d->natural.end(), record));
        d->store.release(record);
    }
    d->deleted[static_cast<std::size_t>(record)] = 1;
    d->rows.erase(d->rows.begin() + d->cur);
    const int count = static_cast<int>(d->rows.size());
    if (d->cur >= count)
        d->cur = count - 1;
    d->eof = d->bof = count == 0;
    d->setState(TDataSetState::dsBrowse);
    d->notify(TDataEvent::deDataSetChange);
    fire(this, AfterDelete);
    fire(this, AfterScroll);
}

void TClientDataSet::CheckBrowseMode()
{
    if (!editingAfterUpdate(*this, *d))
        return;
    if (d->modified)
        Post();
    else
        Cancel();
}

void TClientDataSet::UpdateRecord()
{
    if (!d->active || !d->editing())
        return;
    // Also while the controls are disabled: what a control holds belongs to
    // the record all the same.
    const std::vector<TDataSource*> targets = d->sources;
    for (TDataSource* s : targets)
        if (std::find(d->sources.begin(), d->sources.end(), s) != d->sources.end())
            s->updateRecord();
}

bool TClientDataSet::Modified() const
{
    return d->editing() && d->modified;
}

// ============================================================== controls

void TClientDataSet::DisableControls()
{
    if (d->disableCount++ == 0)
        d->stateWhenDisabled = d->state;
}

void TClientDataSet::EnableControls()
{
    if (d->disableCount == 0)
        return;
    if (--d->disableCount > 0)
        return;
    if (d->state != d->stateWhenDisabled)
        d->notify(TDataEvent::deUpdateState);
    d->notify(TDataEvent::deDataSetChange);
}

bool TClientDataSet::ControlsDisabled() const
{
    return d->disableCount > 0;
}

// ============================================================== data-aware access

int TClientDataSet::ActiveRecord() const
{
    if (!d->active)
        return -1;
    return d->activeOverride >= 0 ? d->activeOverride : d->cur;
}

void TClientDataSet::SetActiveRecord(int row)
{
    d->activeOverride = (row >= 0 && row < static_cast<int>(d->rows.size())) ? row : -1;
}

int TClientDataSet::CurrentIndex() const
{
    return d->active ? d->cur : -1;
}

QVariant TClientDataSet::ValueAt(int row, int field) const
{
    if (!d->active || row < 0 || row >= static_cast<int>(d->rows.size()) || field < 0 || field >= FieldCount())
        return {};
    if (const CellValue* buf = d->bufferFor(row))
        return RecordStore::toVariant(d->fields[static_cast<std::size_t>(field)]->DataType(), buf[field]);
    return d->store.variant(d->rows[static_cast<std::size_t>(row)], field);
}

// ============================================================== access for fields

namespace {

// The row the fields read (the active record of an open data set), or -1
// when there is none.
template <typename Impl>
int fieldRow(const Impl& d, int activeRecord)
{
    if (!d.active || activeRecord < 0 || activeRecord >= static_cast<int>(d.rows.size()))
        return -1;
    return activeRecord;
}

} // namespace

CellValue TClientDataSet::fieldValue(int field) const
{
    const int row = fieldRow(*d, ActiveRecord());
    if (row < 0)
        return {};
    if (const CellValue* buf = d->bufferFor(row))
        return buf[field];
    return d->store.get(d->rows[static_cast<std::size_t>(row)], field);
}

CellValue TClientDataSet::fieldOldValue(int field) const
{
    const int row = fieldRow(*d, ActiveRecord());
    if (row < 0)
        return {};
    const int record = d->rows[static_cast<std::size_t>(row)];
    if (record == d->insertedRecord)
        return {};
    if (const Change* c = d->log.find(record)) {
        if (c->kind == ChangeKind::Inserted)
            return {};
        return c->original[static_cast<std::size_t>(field)];
    }
    return d->store.get(record, field);
}

void TClientDataSet::checkWritable(const TField* field) const
{
    if (!d->active || !d->editing())
        throw EDBClient(QStringLiteral("O conjunto de dados não está em modo de edição ou inclusão."));
    if (field->ReadOnly)
        throw EDBClient(QStringLiteral("O campo '%1' não pode ser modificado.").arg(field->DisplayName()));
}

void TClientDataSet::setFieldValue(TField* field, const CellValue& value)
{
    checkWritable(field);
    d->buffer[static_cast<std::size_t>(field->Index())] = value;
    d->modified = true;
    if (field->OnChange)
        field->OnChange(field);
    d->notify(TDataEvent::deFieldChange, reinterpret_cast<qintptr>(field));
}

// ============================================================== scope

ActiveRecordScope::ActiveRecordScope(TClientDataSet* dataSet, int row)
    : m_dataSet(dataSet), m_previous(dataSet->d->activeOverride)
{
    m_dataSet->SetActiveRecord(row);
}

ActiveRecordScope::~ActiveRecordScope()
{
    m_dataSet->d->activeOverride = m_previous;
}

} // namespace trd
