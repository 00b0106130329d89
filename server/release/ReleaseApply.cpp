#include "ReleaseApply.h"

#include "HistoryRecords.h"
#include "RowFieldCopy.h"
#include "TDateTime.h"

#include <QDateTime>

#include <algorithm>

namespace trd::server::release {

namespace {

template <typename Read>
std::vector<LanguageRow> rowsOf(Read&& read)
{
    std::vector<LanguageRow> rows;
    read([&](const ReleaseRowView& r) {
        rows.push_back({r.id, std::string(r.program), std::string(r.component), std::string(r.source),
                        std::string(r.destination), std::string(r.status), r.obsolete});
    });
    return rows;
}

DetailRow carriedRow(char kind, const ReleaseKey& key, const LanguageRow& from, int similarity)
{
    DetailRow d;
    d.kind = kind;
    copyRowKey(d, key);
    d.fromProgram = from.program;
    d.fromComponent = from.component;
    d.fromSource = from.source;
    d.destination = from.destination;
    d.status = "D"; // never T: a changed text is looked at again
    d.similarity = similarity;
    return d;
}

DetailRow rowAsItIs(char kind, const LanguageRow& row)
{
    DetailRow d;
    d.kind = kind;
    copyRowText(d, row);
    return d;
}

ReleaseInsert insertOf(const DetailRow& d, ReleaseOrigin origin, const LanguageRow* from, int similarity)
{
    ReleaseInsert in;
    copyRowText(in, d);
    if (from) {
        in.hasOrigin = true;
        in.origin = origin;
        in.fromRow = from->id;
        in.fromProgram = from->program;
        in.fromComponent = from->component;
        in.fromSource = from->source;
        in.similarity = similarity;
    }
    return in;
}

LanguageOutcome planLanguage(const std::string& language, const std::vector<LanguageRow>& rows,
                             const ReleaseIndex& index, const ReleaseRequest& request, ReleaseWrite& write)
{
    const LanguagePlan plan = reconcile(index, rows, request.options);
    LanguageOutcome out;
    out.language = language;
    GuardOptions guard;
    guard.vanishLimit = request.vanishLimit;
    guard.emptyFile = index.keys().empty();
    out.summary = summarize(language, plan, index, rows, guard);
    write.language = language;
    const auto& keys = index.keys();
    for (const auto* list : {&plan.reworded, &plan.moved}) {
        const bool reworded = list == &plan.reworded;
        for (const Carried& c : *list) {
            out.details.push_back(carriedRow(reworded ? 'R' : 'M', keys[c.key], rows[c.row], c.similarity));
            write.inserts.push_back(insertOf(out.details.back(),
                                             reworded ? ReleaseOrigin::Reworded : ReleaseOrigin::Moved, &rows[c.row],
                                             c.similarity));
            write.obsolete.push_back(rows[c.row].id);
        }
    }
    for (const Added& a : plan.added) {
        DetailRow d;
        d.kind = 'N';
        copyRowKey(d, keys[a.key]);
        d.status = "N";
        const LanguageRow* memory = a.memoryRow ? &rows[*a.memoryRow] : nullptr;
        if (memory) {
            d.destination = memory->destination;
            d.status = "D";
            d.similarity = 100;
            d.fromMemory = true;
        }
        out.details.push_back(d);
        write.inserts.push_back(insertOf(d, ReleaseOrigin::Memory, memory, 100));
    }
    for (const std::size_t r : plan.revived) {
        out.details.push_back(rowAsItIs('V', rows[r]));
        write.revive.push_back(rows[r].id);
    }
    for (const std::size_t r : plan.vanished) {
        out.details.push_back(rowAsItIs('O', rows[r]));
        write.obsolete.push_back(rows[r].id);
    }
    return out;
}

bool writesNothing(const ReleaseWrite& w)
{
    return w.inserts.empty() && w.obsolete.empty() && w.revive.empty() && w.remove.empty();
}

std::string when(double day)
{
    return trd::DateTimeToQDateTime(day).toString(QStringLiteral("dd/MM/yyyy HH:mm")).toStdString();
}

} // namespace

ReleaseOutcome previewRelease(StorageSession& session, const std::vector<std::string>& languages,
                              const ReleaseRequest& request)
{
    const std::vector<ReleaseKey> keys = readReleaseFile(request.file);
    const ReleaseIndex index(keys);
    ReleaseOutcome outcome;
    outcome.keys = keys.size();
    for (const std::string& language : languages) {
        const auto rows = rowsOf([&](const ReleaseRowVisitor& v) { session.readReleaseRows(language, v); });
        ReleaseWrite unused;
        outcome.languages.push_back(planLanguage(language, rows, index, request, unused));
    }
    return outcome;
}

ReleaseOutcome applyRelease(WriteCoordinator& writer, const std::vector<std::string>& languages,
                            const ReleaseRequest& request, ReleaseProgress* progress)
{
    const auto told = [&](ApplyPhase phase, const std::string& language, std::size_t index) {
        if (progress)
            progress->step(phase, language, index, languages.size());
    };
    const std::vector<ReleaseKey> keys = readReleaseFile(request.file);
    const ReleaseIndex index(keys);
    ReleaseOutcome outcome;
    outcome.keys = keys.size();
    WriteOrigin origin;
    origin.user = request.user;
    origin.method = "AplicaLiberacao";
    origin.kind = BatchKind::Release;
    writer.runExclusive(origin, [&](StorageWriter& w) {
        const double now = writer.now();
        for (std::size_t i = 0; i < languages.size(); ++i) {
            const std::string& language = languages[i];
            ReleaseWrite write;
            LanguageOutcome out;
            told(ApplyPhase::Reading, language, i);
            {
                const auto rows = rowsOf([&](const ReleaseRowVisitor& v) { w.readReleaseRows(language, v); });
                out = planLanguage(language, rows, index, request, write);
            }
            if (out.summary.needsConfirm && !request.confirm)
                throw ServerError(ErrorKind::Unconfirmed,
                                  out.summary.warning
                                      + " Confira a prévia e o arquivo; para aplicar assim mesmo, confirme. Nada foi "
                                        "aplicado.");
            if (!writesNothing(write)) {
                told(ApplyPhase::Writing, language, i);
                w.setOrigin(origin);
                w.writeRelease(write, now);
                const auto written = w.batchesWritten();
                out.batch = written.empty() ? 0 : written.front();
            }
            outcome.languages.push_back(std::move(out));
        }
        // The last moment a cancel is taken: past it the transaction commits.
        if (progress)
            progress->committing();
    });
    return outcome;
}

ReleaseUndoOutcome undoRelease(WriteCoordinator& writer, const std::string& language, std::int64_t batchId, bool force,
                               const std::string& user)
{
    WriteOrigin origin;
    origin.user = user;
    origin.method = "DesfazLote";
    origin.kind = BatchKind::Undo;
    origin.undoes = batchId;
    ReleaseUndoOutcome outcome;
    writer.runExclusive(origin, [&](StorageWriter& w) {
        HistoryReader& history = w.history();
        const std::string named = batchName(batchId);
        const BatchRecord batch = batchToUndo(history, batchId, language);
        if (batch.kind != BatchKind::Release)
            badArgument(named + " não é de uma liberação do aplicativo.");
        if (const auto undo = history.undoneBy(batchId))
            throw ServerError(ErrorKind::Conflict,
                              named + " já foi desfeito pelo lote " + std::to_string(*undo)
                                  + ". Para trazer a liberação de volta, aplique o arquivo dela "
                                    "de novo (AplicaLiberacao).");
        ReleaseWrite write;
        write.language = language;
        bool changedSince = false;
        for (const VersionRecord& v : history.batchVersions(batch)) {
            ReleaseUndoRow row;
            const std::optional<CurrentRow> current = history.rowById(v.row);
            if (current) {
                row.program = current->program;
                row.component = current->component;
                row.source = current->source;
                row.destination = current->destination;
                row.status = current->status;
            } else if (const auto gone = history.lastDeletion(v.row)) {
                row.program = gone->second.program;
                row.component = gone->second.component;
                row.source = gone->second.source;
            }
            row.restored = true;
            if (!current || current->lastVersion != v.id) {
                const auto later =
                    current && current->lastVersion ? history.version(*current->lastVersion) : std::nullopt;
                row.reason = std::string(current ? "alterada" : "excluída") + " depois"
                    + (later ? " por " + later->user + " em " + when(later->when) : std::string());
                changedSince = true;
                row.restored = force;
            }
            if (current) {
                if (v.type == ChangeType::Insert)
                    write.remove.push_back(v.row);
                else if (v.type == ChangeType::Obsolete)
                    write.revive.push_back(v.row);
                else if (v.type == ChangeType::Revive)
                    write.obsolete.push_back(v.row);
            } else if (v.type != ChangeType::Insert) {
                row.restored = false; // gone: nothing to bring back or put away
            }
            outcome.rows.push_back(std::move(row));
        }
        if (changedSince && !force) {
            for (ReleaseUndoRow& row : outcome.rows)
                if (row.reason.empty()) {
                    row.restored = false;
                    row.reason = "a liberação não foi desfeita: há linhas alteradas depois dela";
                }
            return;
        }
        if (writesNothing(write))
            return;
        const double now = writer.now();
        w.writeRelease(write, now);
        const auto written = w.batchesWritten();
        outcome.batch = written.empty() ? 0 : written.front();
        for (std::size_t i = 0; i < outcome.rows.size(); ++i) {
            ReleaseUndoRow& row = outcome.rows[i];
            if (!row.restored)
                continue;
            const auto after = history.rowByKey(language, row.program, row.component, row.source);
            row.destination = after ? after->destination : std::string();
            row.status = after ? after->status : std::string();
        }
    });
    return outcome;
}

} // namespace trd::server::release
