#include "ClientDataSetImpl.h"
#include "Win1252.h"

#include <QFile>
#include <QSaveFile>

#include <cmath>
#include <unordered_map>

namespace trd {

// ============================================================== packets and files

QByteArray TClientDataSet::Data() const
{
    QByteArray out;
    PacketWriter writer(out);
    writer.begin(d->fieldDefs());
    if (d->store.fieldCount() == FieldCount()) {
        for (int r : d->natural) {
            if (d->deleted[static_cast<std::size_t>(r)])
                continue;
            writer.beginRow();
            d->store.writeRow(writer, r);
            writer.endRow();
        }
    }
    writer.end();
    return out;
}

void TClientDataSet::SetData(const QByteArray& packet)
{
    SetData(QByteArray(packet));
}

void TClientDataSet::SetData(QByteArray&& packet)
{
    load([&packet] { return std::make_unique<PacketReader>(std::move(packet)); });
}

void TClientDataSet::SetData(ServerPacket&& packet)
{
    if (!packet.isStream())
        return SetData(packet.takeBytes());
    std::shared_ptr<PacketSource> source = packet.takeSource();
    load([&source] { return std::make_unique<PacketReader>(std::move(source)); });
}

void TClientDataSet::SetData(const ServerPacket& packet)
{
    SetData(packet.bytes());
}

void TClientDataSet::load(const std::function<std::unique_ptr<PacketReader>()>& open)
{
    Close();
    // The old rows go first: a failed load must not leave them half replaced,
    // and a large answer should not have to fit beside them.
    d->store.reset({});
    d->natural.clear();
    d->deleted.clear();
    d->rows.clear();
    d->log.clear();
    try {
        const std::unique_ptr<PacketReader> opened = open();
        PacketReader& reader = *opened;
        const std::vector<PacketField>& pf = reader.fields();
        std::vector<int> map;
        std::vector<PacketField> defs;
        if (d->persistent) {
            defs = d->fieldDefs();
            for (std::size_t i = 0; i < d->fields.size(); ++i) {
                const TField* f = d->fields[i].get();
                int found = -1;
                for (std::size_t k = 0; k < pf.size(); ++k) {
                    if (QString::fromUtf8(pf[k].name).compare(f->FieldName(), Qt::CaseInsensitive) == 0)
                        found = static_cast<int>(k);
                }
                if (found < 0 && f->Optional) {
                    map.push_back(-1);
                    continue;
                }
                if (found < 0)
                    throw EDBClient(
                        QStringLiteral("Campo '%1' não encontrado no pacote de dados.").arg(f->FieldName()));
                const TFieldType from = pf[static_cast<std::size_t>(found)].type;
                const bool numeric = from == TFieldType::ftInteger || from == TFieldType::ftFloat;
                const bool fits = from == f->DataType()
                    || (numeric && (f->DataType() == TFieldType::ftInteger || f->DataType() == TFieldType::ftFloat));
                if (!fits)
                    throw EDBClient(QStringLiteral("O tipo do campo '%1' no pacote de dados não corresponde ao campo "
                                                   "do conjunto de dados.")
                                        .arg(f->FieldName()));
                defs[i].xmlType = pf[static_cast<std::size_t>(found)].xmlType;
                map.push_back(found);
            }
        } else {
            defs = pf;
            for (std::size_t i = 0; i < pf.size(); ++i)
                map.push_back(static_cast<int>(i));
        }
        d->store.reset(defs);
        d->store.load(reader, map);
        if (!d->persistent)
            d->buildFields(pf);
    } catch (...) {
        d->store.reset({});
        throw;
    }
    const int n = d->store.size();
    d->natural.resize(static_cast<std::size_t>(n));
    for (int i = 0; i < n; ++i)
        d->natural[static_cast<std::size_t>(i)] = i;
    d->deleted.assign(static_cast<std::size_t>(n), 0);
    // The index follows the new fields (and waits while the packet lacks them).
    if (!d->indexFieldNames.isEmpty())
        SetIndexFieldNames(d->indexFieldNames);
    Open();
}

void TClientDataSet::LoadFromFile(const QString& fileName)
{
    QFile file(fileName);
    if (!file.open(QIODevice::ReadOnly))
        throw EDBClient(QStringLiteral("Não foi possível abrir o arquivo '%1': %2.").arg(fileName, file.errorString()));
    QByteArray bytes = file.readAll();
    file.close();
    try {
        SetData(std::move(bytes));
    } catch (const EDBClient& e) {
        throw EDBClient(QStringLiteral("Arquivo '%1': %2").arg(fileName, e.Message()), e.ErrorCode());
    }
}

void TClientDataSet::SaveToFile(const QString& fileName) const
{
    const QByteArray bytes = Data();
    QSaveFile file(fileName);
    if (!file.open(QIODevice::WriteOnly) || file.write(bytes) != bytes.size() || !file.commit())
        throw EDBClient(
            QStringLiteral("Não foi possível gravar o arquivo '%1': %2.").arg(fileName, file.errorString()));
}

// ============================================================== change log

int TClientDataSet::ChangeCount() const
{
    return d->log.count();
}

QByteArray TClientDataSet::Delta() const
{
    if (d->store.fieldCount() != FieldCount()) {
        RecordStore empty;
        empty.reset(d->fieldDefs());
        return d->log.delta(empty);
    }
    return d->log.delta(d->store);
}

void TClientDataSet::MergeChangeLog()
{
    if (d->log.empty())
        return;
    bool deletions = false;
    for (const Change& c : d->log.changes()) {
        if (c.kind == ChangeKind::Deleted) {
            d->store.release(c.record);
            deletions = true;
        }
    }
    // Deleted rows leave the natural order for good. Only a logged delete
    // leaves one behind there, so a merge of edits skips the walk over every row.
    if (deletions)
        d->natural.erase(std::remove_if(d->natural.begin(), d->natural.end(),
                                        [this](int r) { return d->deleted[static_cast<std::size_t>(r)] != 0; }),
                         d->natural.end());
    d->log.clear();
    // No event: every row keeps the values it shows and deleted rows already
    // left the view, so nothing a control displays has changed. A merge follows
    // every save, and telling the controls would repaint a whole grid each time.
}

void TClientDataSet::CancelUpdates()
{
    if (d->active)
        Cancel();
    if (d->log.empty())
        return;
    const int keep = d->currentRecord();
    const std::vector<Change> changes = d->log.changes();
    d->log.clear();
    for (auto it = changes.rbegin(); it != changes.rend(); ++it) {
        const Change& c = *it;
        switch (c.kind) {
        case ChangeKind::Modified:
            d->store.setRecord(c.record, c.original);
            break;
        case ChangeKind::Deleted:
            d->store.setRecord(c.record, c.original);
            d->deleted[static_cast<std::size_t>(c.record)] = 0;
            break;
        case ChangeKind::Inserted:
            d->natural.erase(std::find(d->natural.begin(), d->natural.end(), c.record));
            d->deleted[static_cast<std::size_t>(c.record)] = 1;
            d->store.release(c.record);
            break;
        }
    }
    const int oldPos = d->cur;
    if (d->sortKeys.empty()) {
        d->rebuildRows();
    } else {
        // Under an index the rows keep the places they are shown in (a post
        // does not move them either); undone insertions go, undone deletions
        // come back at their place in the order.
        std::vector<int> back;
        for (const Change& c : changes)
            if (c.kind == ChangeKind::Deleted)
                back.push_back(c.record);
        d->rows.erase(std::remove_if(d->rows.begin(), d->rows.end(),
                                     [this](int r) { return d->deleted[static_cast<std::size_t>(r)] != 0; }),
                      d->rows.end());
        d->restoreRows(back);
    }
    const int count = static_cast<int>(d->rows.size());
    int pos = keep >= 0 ? d->positionOf(keep) : -1;
    if (pos < 0)
        pos = std::min(std::max(oldPos, 0), count - 1);
    d->cur = count ? pos : -1;
    if (count == 0)
        d->eof = d->bof = true;
    if (d->active)
        d->notify(TDataEvent::deDataSetChange);
}

void TClientDataSet::RefreshRecord(const TClientDataSet& source)
{
    d->checkActive();
    if (d->editing())
        throw EDBClient(QStringLiteral("O registro está em edição e não pode ser relido."));
    const int record = d->currentRecord();
    const int from = source.d->active ? source.d->currentRecord() : -1;
    if (record < 0 || from < 0)
        throw EDBClient(emptyMessage());
    if (d->log.find(record))
        throw EDBClient(QStringLiteral("O registro tem alterações não gravadas e não pode ser relido."));
    for (const auto& field : d->fields) {
        const TField* other = source.FindField(field->FieldName());
        if (!other)
            continue;
        if (other->DataType() != field->DataType())
            throw EDBClient(QStringLiteral("O campo '%1' tem outro tipo na linha relida.").arg(field->FieldName()));
        d->store.set(record, field->Index(), source.d->store.get(from, other->Index()));
    }
    d->notify(TDataEvent::deRecordChange);
}

// ============================================================== rows the server tells of

std::vector<int> TClientDataSet::FindRows(const std::vector<int>& fields, const std::vector<QStringList>& keys) const
{
    std::vector<int> found(keys.size(), -1);
    if (!d->active || fields.empty() || keys.empty())
        return found;
    for (const int f : fields)
        if (f < 0 || f >= d->store.fieldCount()
            || d->store.fields()[static_cast<std::size_t>(f)].type != TFieldType::ftString)
            throw EDBClient(QStringLiteral("FindRows: o campo %1 não é um texto do conjunto de dados.").arg(f));
    // Keys by the hash of their first field: each row costs one hash and,
    // for a candidate only, the comparison of its fields.
    std::unordered_multimap<std::size_t, std::size_t> byFirst;
    for (std::size_t k = 0; k < keys.size(); ++k)
        if (keys[k].size() == static_cast<qsizetype>(fields.size()))
            byFirst.emplace(qHash(QStringView(keys[k].first())), k);
    std::size_t left = byFirst.size();
    for (std::size_t row = 0; row < d->rows.size() && left > 0; ++row) {
        const int record = d->rows[row];
        const auto range = byFirst.equal_range(qHash(d->store.textView(record, fields.front())));
        for (auto it = range.first; it != range.second; ++it) {
            const std::size_t k = it->second;
            if (found[k] >= 0)
                continue;
            bool same = true;
            for (std::size_t f = 0; f < fields.size() && same; ++f)
                same = d->store.textView(record, fields[f]) == keys[k][static_cast<qsizetype>(f)];
            if (same) {
                found[k] = static_cast<int>(row);
                --left;
            }
        }
    }
    return found;
}

namespace {

// A number or a date goes as its text in the C locale ("46363.44"); an empty
// one makes the value null (a mark taken away has no date).
CellValue valueOfText(TFieldType type, const QString& text)
{
    CellValue v;
    bool ok = false;
    switch (type) {
    case TFieldType::ftString:
        v.text = text;
        v.null = false;
        break;
    case TFieldType::ftInteger:
        v.integer = text.toLongLong(&ok);
        v.null = !ok;
        break;
    case TFieldType::ftFloat:
    case TFieldType::ftDateTime:
        v.number = text.toDouble(&ok);
        v.null = !ok;
        break;
    }
    return v;
}

} // namespace

void TClientDataSet::RefreshRow(int row, const std::vector<std::pair<int, QString>>& values)
{
    d->checkActive();
    if (row < 0 || row >= static_cast<int>(d->rows.size()))
        throw EDBClient(QStringLiteral("Linha %1 fora do conjunto de dados.").arg(row + 1));
    const int record = d->rows[static_cast<std::size_t>(row)];
    if (d->editing() && record == d->currentRecord())
        throw EDBClient(QStringLiteral("O registro está em edição e não pode ser relido."));
    if (d->log.find(record))
        throw EDBClient(QStringLiteral("O registro tem alterações não gravadas e não pode ser relido."));
    for (const auto& [field, text] : values) {
        if (field < 0 || field >= d->store.fieldCount())
            throw EDBClient(QStringLiteral("RefreshRow: campo %1 inexistente.").arg(field));
        d->store.set(record, field, valueOfText(d->fields[static_cast<std::size_t>(field)]->DataType(), text));
    }
    // The current row tells its data sources (the detail that shows it);
    // another row only needs repainting, and an open editor stays open.
    if (row == d->cur)
        d->notify(TDataEvent::deRecordChange);
    else
        d->notify(TDataEvent::deRowChange, row);
}

void TClientDataSet::ForgetRow(int row)
{
    d->checkActive();
    if (row < 0 || row >= static_cast<int>(d->rows.size()))
        throw EDBClient(QStringLiteral("Linha %1 fora do conjunto de dados.").arg(row + 1));
    if (d->editing())
        throw EDBClient(QStringLiteral("Um registro está em edição: nenhuma linha pode sair agora."));
    const int record = d->rows[static_cast<std::size_t>(row)];
    if (d->log.find(record))
        throw EDBClient(QStringLiteral("O registro tem alterações não gravadas."));
    const bool wasCurrent = row == d->cur;
    if (wasCurrent)
        fire(this, BeforeScroll);
    d->natural.erase(std::find(d->natural.begin(), d->natural.end(), record));
    d->deleted[static_cast<std::size_t>(record)] = 1;
    d->store.release(record);
    d->rows.erase(d->rows.begin() + row);
    const int count = static_cast<int>(d->rows.size());
    if (row < d->cur || d->cur >= count)
        --d->cur;
    d->eof = d->bof = count == 0;
    d->notify(TDataEvent::deRowRemoved, row);
    if (wasCurrent)
        fire(this, AfterScroll);
}

void TClientDataSet::AddRows(const TClientDataSet& source, const std::vector<std::pair<int, QString>>& values)
{
    d->checkActive();
    source.d->checkActive();
    if (d->editing())
        throw EDBClient(QStringLiteral("Um registro está em edição: nenhuma linha pode entrar agora."));
    std::vector<int> from;
    for (const auto& f : d->fields) {
        const TField* s = source.FindField(f->FieldName());
        if (s && s->DataType() != f->DataType())
            throw EDBClient(QStringLiteral("O tipo do campo '%1' das linhas acrescentadas não corresponde ao campo "
                                           "do conjunto de dados.")
                                .arg(f->FieldName()));
        from.push_back(s ? s->Index() : -1);
    }
    std::vector<std::pair<int, CellValue>> fixed;
    for (const auto& [field, text] : values) {
        if (field < 0 || field >= d->store.fieldCount())
            throw EDBClient(QStringLiteral("AddRows: campo %1 inexistente.").arg(field));
        fixed.emplace_back(field, valueOfText(d->fields[static_cast<std::size_t>(field)]->DataType(), text));
    }
    if (source.d->rows.empty())
        return;
    const int keep = d->currentRecord();
    for (const int row : source.d->rows) {
        const int record = d->store.append();
        for (std::size_t f = 0; f < from.size(); ++f) {
            if (from[f] >= 0)
                d->store.set(record, static_cast<int>(f), source.d->store.get(row, from[f]));
        }
        for (const auto& [field, value] : fixed)
            d->store.set(record, field, value);
        d->natural.push_back(record);
        d->deleted.push_back(0);
        // Without an index the rows keep their places: the new ones go last.
        if (d->sortKeys.empty())
            d->rows.push_back(record);
    }
    if (!d->sortKeys.empty())
        d->rebuildRows();
    d->cur = keep >= 0 ? d->positionOf(keep) : 0;
    d->eof = d->bof = false;
    d->notify(TDataEvent::deDataSetChange);
    // Rows where there were none: the first is current now.
    if (keep < 0)
        fire(this, AfterScroll);
}

void TClientDataSet::ForgetRows(const std::vector<int>& rows)
{
    d->checkActive();
    if (d->editing())
        throw EDBClient(QStringLiteral("Um registro está em edição: nenhuma linha pode sair agora."));
    std::vector<std::uint8_t> going(static_cast<std::size_t>(d->store.size()), 0);
    for (const int row : rows) {
        if (row < 0 || row >= static_cast<int>(d->rows.size()))
            throw EDBClient(QStringLiteral("Linha %1 fora do conjunto de dados.").arg(row + 1));
        const int record = d->rows[static_cast<std::size_t>(row)];
        if (d->log.find(record))
            throw EDBClient(QStringLiteral("O registro tem alterações não gravadas."));
        going[static_cast<std::size_t>(record)] = 1;
    }
    if (rows.empty())
        return;
    const int current = d->currentRecord();
    const bool currentGoes = current >= 0 && going[static_cast<std::size_t>(current)];
    if (currentGoes)
        fire(this, BeforeScroll);
    // The current row's place among the rows that stay.
    int place = 0;
    for (int i = 0; i < d->cur; ++i)
        place += going[static_cast<std::size_t>(d->rows[static_cast<std::size_t>(i)])] ? 0 : 1;
    const auto goes = [&](int record) { return going[static_cast<std::size_t>(record)] != 0; };
    d->natural.erase(std::remove_if(d->natural.begin(), d->natural.end(), goes), d->natural.end());
    d->rows.erase(std::remove_if(d->rows.begin(), d->rows.end(), goes), d->rows.end());
    for (std::size_t record = 0; record < going.size(); ++record) {
        if (going[record]) {
            d->deleted[record] = 1;
            d->store.release(static_cast<int>(record));
        }
    }
    const int count = static_cast<int>(d->rows.size());
    d->cur = count == 0 ? -1 : qMin(place, count - 1);
    d->eof = d->bof = count == 0;
    d->notify(TDataEvent::deDataSetChange);
    if (currentGoes)
        fire(this, AfterScroll);
}

// ============================================================== searching and order

namespace {

bool matches(const RecordStore& store, int record, int field, const QVariant& key, TLocateOptions options)
{
    const bool keyNull = !key.isValid() || key.isNull();
    if (store.isNull(record, field))
        return keyNull
            || (store.fields()[static_cast<std::size_t>(field)].type == TFieldType::ftString && key.toString().isEmpty()
                && (options & loPartialKey));
    if (keyNull)
        return false;
    const CellValue v = store.get(record, field);
    switch (store.fields()[static_cast<std::size_t>(field)].type) {
    case TFieldType::ftString: {
        const QString k = key.toString();
        if (options & loPartialKey) {
            if (v.text.size() < k.size())
                return false;
        } else if (v.text.size() != k.size()) {
            return false;
        }
        if (!(options & loCaseInsensitive))
            return QStringView(v.text).left(k.size()) == k;
        for (qsizetype i = 0; i < k.size(); ++i) {
            if (win1252::upper(v.text[i].unicode()) != win1252::upper(k[i].unicode()))
                return false;
        }
        return true;
    }
    case TFieldType::ftInteger: {
        bool ok = false;
        const qint64 k = key.toLongLong(&ok);
        return ok && k == v.integer;
    }
    case TFieldType::ftFloat: {
        bool ok = false;
        const double k = key.toDouble(&ok);
        return ok && k == v.number;
    }
    case TFieldType::ftDateTime: {
        double k = 0;
        if (key.userType() == QMetaType::QDateTime)
            k = QDateTimeToDateTime(key.toDateTime());
        else if (key.userType() == QMetaType::QDate)
            k = DateToDateTime(key.toDate());
        else {
            bool ok = false;
            k = key.toDouble(&ok);
            if (!ok)
                return false;
        }
        return std::llround(k * 86400000.0) == std::llround(v.number * 86400000.0);
    }
    }
    return false;
}

} // namespace

bool TClientDataSet::Locate(const QString& keyFields, const QVariantList& keyValues, TLocateOptions options)
{
    d->checkActive();
    CheckBrowseMode();
    std::vector<int> fieldIndexes;
    for (const QString& name : keyFields.split(QLatin1Char(';'), Qt::SkipEmptyParts))
        fieldIndexes.push_back(FieldByName(name.trimmed())->Index());
    if (fieldIndexes.empty() || fieldIndexes.size() != static_cast<std::size_t>(keyValues.size()))
        throw EDBClient(QStringLiteral("Número de valores de busca diferente do número de campos."));
    int found = -1;
    for (std::size_t pos = 0; pos < d->rows.size() && found < 0; ++pos) {
        const int record = d->rows[pos];
        bool all = true;
        for (std::size_t k = 0; k < fieldIndexes.size() && all; ++k)
            all = matches(d->store, record, fieldIndexes[k], keyValues[static_cast<qsizetype>(k)], options);
        if (all)
            found = static_cast<int>(pos);
    }
    if (found < 0)
        return false;
    fire(this, BeforeScroll);
    const int from = d->cur;
    d->cur = found;
    d->eof = d->bof = false;
    d->notify(TDataEvent::deDataSetScroll, from);
    fire(this, AfterScroll);
    return true;
}

QString TClientDataSet::IndexFieldNames() const
{
    return d->indexFieldNames;
}

// On a closed data set the names may precede the fields (set before the first
// load): they are kept and take effect once a packet brings those fields.
void TClientDataSet::SetIndexFieldNames(const QString& fieldNames)
{
    std::vector<SortKey> keys;
    for (const QString& part : fieldNames.split(QLatin1Char(';'), Qt::SkipEmptyParts)) {
        QString name = part.trimmed();
        bool descending = false;
        if (name.endsWith(QLatin1String(" DESC"), Qt::CaseInsensitive)) {
            descending = true;
            name = name.left(name.size() - 5).trimmed();
        }
        const TField* field = d->active ? FieldByName(name) : FindField(name);
        if (!field) {
            keys.clear();
            break;
        }
        keys.push_back({field->Index(), descending});
    }
    if (d->active)
        CheckBrowseMode();
    d->sortKeys = std::move(keys);
    d->indexFieldNames = fieldNames;
    if (!d->active)
        return;
    const int keep = d->currentRecord();
    d->rebuildRows();
    d->cur = keep >= 0 ? d->positionOf(keep) : (d->rows.empty() ? -1 : 0);
    d->notify(TDataEvent::deDataSetChange);
}

} // namespace trd
