#include "Undo.h"

#include "TDateTime.h"

#include <QDateTime>

#include <algorithm>
#include <map>
#include <unordered_set>

namespace trd::server::history {

namespace {

std::string when(double day)
{
    return trd::DateTimeToQDateTime(day).toString(QStringLiteral("dd/MM/yyyy HH:mm")).toStdString();
}

// What an undo does to one row the batch wrote.
struct RowPlan {
    std::int64_t row = 0;
    const VersionRecord* first = nullptr; // the batch's first and last versions of the row
    const VersionRecord* last = nullptr;
    // An undo puts back text and status: a review mark is not one of them.
    // It is taken away with MarcaRevisao, and any undo that changes the row
    // takes it away with the change.
    bool onlyReviewMarks = true;
};

std::vector<RowPlan> rowsOf(const std::vector<VersionRecord>& versions)
{
    std::vector<RowPlan> plans;
    std::map<std::int64_t, std::size_t> index;
    for (const VersionRecord& v : versions) {
        auto [it, added] = index.emplace(v.row, plans.size());
        if (added)
            plans.push_back({v.row, &v, &v});
        else
            plans[it->second].last = &v;
        if (!isReviewMark(v.type))
            plans[it->second].onlyReviewMarks = false;
    }
    return plans;
}

// Undoes the rows of a batch. What it reads of them (the rows, the chains
// of their versions) is read for all of them at once: a row's write changes
// no other row's reading, so the writes can wait and go as one set, except
// before a key is looked up, which an earlier row's write may have taken.
class Undoer {
public:
    Undoer(StorageWriter& writer, double now, bool force, bool guardReviewed, const std::vector<RowPlan>& plans)
        : m_writer(writer), m_history(writer.history()), m_now(now), m_force(force), m_guardReviewed(guardReviewed)
    {
        std::vector<std::int64_t> ids;
        ids.reserve(plans.size());
        for (const RowPlan& p : plans)
            ids.push_back(p.row);
        for (CurrentRow& row : m_history.rowsById(ids)) {
            const std::int64_t id = row.id;
            m_rows.emplace(id, std::move(row));
        }
        std::vector<std::pair<std::int64_t, std::int64_t>> asked;
        m_reads.resize(plans.size());
        for (std::size_t i = 0; i < plans.size(); ++i) {
            Read& read = m_reads[i];
            read.reviewMarkOnly = plans[i].onlyReviewMarks;
            if (const auto it = m_rows.find(plans[i].row); it != m_rows.end()) {
                read.current = &it->second;
                read.newest = it->second.lastVersion.value_or(0);
            } else if (auto deletion = m_history.lastDeletion(plans[i].row)) {
                // A deleted row's newest version is the delete, which kept its identity.
                read.newest = deletion->first;
                read.deleted = std::move(deletion->second);
            }
            if (!read.reviewMarkOnly && read.newest) {
                read.chain = asked.size();
                asked.emplace_back(read.newest, plans[i].first->id);
            }
        }
        m_chains = m_history.chains(asked);
    }

    UndoneRow undo(std::size_t index, const RowPlan& plan)
    {
        const Read& read = m_reads[index];
        UndoneRow out;
        const RowState now = read.current ? stateOf(*read.current) : stateOf(std::nullopt);
        out.now = now;
        if (read.current) {
            out.program = read.current->program;
            out.component = read.current->component;
            out.source = read.current->source;
        } else if (read.deleted) {
            out.program = read.deleted->program;
            out.component = read.deleted->component;
            out.source = read.deleted->source;
        }
        if (read.reviewMarkOnly)
            return leftAlone(out, "marca de revisão: não é desfeita (desmarque a linha)");
        if (!read.newest)
            return leftAlone(out, "o histórico da linha não tem mais as versões deste lote");
        // The chain from the row's newest version back to the batch's first
        // one gives what the batch left and what it found.
        const std::vector<ResolvedVersion> chain = resolveChain(m_chains.at(read.chain), now);
        const auto find = [&](std::int64_t id) {
            return std::find_if(chain.begin(), chain.end(),
                                [id](const ResolvedVersion& r) { return r.record.id == id; });
        };
        const auto first = find(plan.first->id);
        const auto last = find(plan.last->id);
        if (first == chain.end() || last == chain.end())
            return leftAlone(out, "o histórico da linha não tem mais as versões deste lote");
        const RowState& left = last->after;
        const RowState& before = first->before;
        if (before == now) {
            out.restored = true; // already as it was before the batch
            return out;
        }
        if (!(left == now) && !m_force) {
            const VersionRecord& later = chain.front().record;
            const std::string how = now.exists ? "alterada" : "excluída";
            // A change that left no version (written to the database by hand).
            if (later.id == plan.last->id)
                return leftAlone(out, how + " depois, sem registro no histórico");
            return leftAlone(out, how + " depois por " + later.user + " em " + when(later.when));
        }
        if (!read.current) {
            const RowKey& key = *read.deleted;
            // Only a waiting write of the same key (a row brought back, or
            // deleted) changes what the look-up finds.
            if (m_pendingKeys.count(keyText(key)))
                flush();
            if (m_history.rowByKey(key.language, key.program, key.component, key.source))
                return leftAlone(out, "já existe outra linha com a mesma tela, componente e texto de origem");
        }
        write(plan.row, read.current, read.deleted, before, read.newest);
        out.restored = true;
        out.now = before;
        return out;
    }

    // Writes what the rows undone so far still wait for.
    void flush()
    {
        if (m_pending.empty())
            return;
        m_writer.applyAll(m_pending, m_now);
        m_pending.clear();
        m_pendingKeys.clear();
    }

private:
    struct Read {
        const CurrentRow* current = nullptr;
        std::optional<RowKey> deleted;
        std::int64_t newest = 0;
        std::size_t chain = 0; // in m_chains, when newest and not reviewMarkOnly
        bool reviewMarkOnly = false;
    };

    static std::string keyText(const RowKey& key)
    {
        return key.language + '\0' + key.program + '\0' + key.component + '\0' + key.source;
    }

    static UndoneRow leftAlone(UndoneRow& row, std::string reason)
    {
        row.restored = false;
        row.reason = std::move(reason);
        return row;
    }

    // Puts the row back as `before`, from what it is now; a row brought back
    // keeps its id when that is still free, and its versions go on.
    void write(std::int64_t id, const CurrentRow* current, const std::optional<RowKey>& deleted, const RowState& before,
               std::int64_t newest)
    {
        RowChange change;
        if (current) {
            change.original = {current->language, current->program, current->component, current->source};
            change.originalDestination = current->destination;
            change.originalStatus = current->status;
            change.kind = before.exists ? RowChange::Kind::Modify : RowChange::Kind::Delete;
            change.updated.key = change.original;
        } else {
            change.kind = RowChange::Kind::Insert;
            change.updated.key = *deleted;
            change.reviveId = id;
            change.reviveAfterVersion = newest;
        }
        change.updated.destination = before.text;
        change.updated.status = before.status;
        change.guardReviewed = m_guardReviewed;
        if (change.kind != RowChange::Kind::Modify)
            m_pendingKeys.insert(keyText(change.updated.key));
        m_pending.push_back(std::move(change));
    }

    StorageWriter& m_writer;
    HistoryReader& m_history;
    double m_now;
    bool m_force;
    bool m_guardReviewed;
    std::map<std::int64_t, CurrentRow> m_rows;
    std::vector<Read> m_reads; // by plan
    std::vector<std::vector<VersionRecord>> m_chains;
    std::vector<RowChange> m_pending;
    std::unordered_set<std::string> m_pendingKeys; // of the waiting inserts and deletes
};

UndoOutcome run(StorageWriter& writer, const std::vector<VersionRecord>& versions, double now, bool force,
                bool guardReviewed)
{
    UndoOutcome outcome;
    const std::vector<RowPlan> plans = rowsOf(versions);
    std::vector<std::int64_t> ids;
    ids.reserve(plans.size());
    for (const RowPlan& p : plans)
        ids.push_back(p.row);
    std::sort(ids.begin(), ids.end());
    writer.lockRowIds(ids);
    Undoer undoer(writer, now, force, guardReviewed, plans);
    outcome.rows.reserve(plans.size());
    for (std::size_t i = 0; i < plans.size(); ++i)
        outcome.rows.push_back(undoer.undo(i, plans[i]));
    undoer.flush();
    const auto written = writer.batchesWritten();
    if (!written.empty())
        outcome.batch = written.front();
    return outcome;
}

// Before anything is written: another user's batch needs the right to undo
// anyone's.
void checkOwner(const UndoRequest& request, const std::string& owner, const std::string& what)
{
    if (!request.mayUndoOthers && owner != request.user)
        throw ServerError(ErrorKind::Forbidden,
                          "É preciso ser administrador do idioma " + request.language + " para desfazer " + what
                              + ", que é de " + owner + ".");
}

// A release's batch, or the undo of one, is undone whole by the release's
// own undo (docs/releases.md): the rows it made obsolete or revived have no
// text or status to put back, and its rows belong together.
void refuseReleaseBatch(HistoryReader& history, const BatchRecord& batch, const std::string& named)
{
    if (batch.kind == BatchKind::Release)
        badArgument(named + " é de uma liberação do aplicativo: desfaça o lote da liberação inteiro (DesfazLote).");
    if (batch.undoes)
        if (const auto undone = history.batch(*batch.undoes); undone && undone->kind == BatchKind::Release)
            badArgument(named + " desfez a liberação do lote " + std::to_string(undone->id)
                        + ": para aplicá-la de novo, aplique o arquivo da liberação (AplicaLiberacao).");
}

WriteOrigin originOf(const UndoRequest& request)
{
    WriteOrigin origin;
    origin.user = request.user;
    origin.method = request.method;
    origin.kind = BatchKind::Undo;
    return origin;
}

} // namespace

UndoOutcome undoBatch(WriteCoordinator& writer, const UndoRequest& request, std::int64_t batchId)
{
    WriteOrigin origin = originOf(request);
    origin.undoes = batchId;
    UndoOutcome outcome;
    const double now = writer.now();
    writer.runExclusive(origin, [&](StorageWriter& w) {
        HistoryReader& history = w.history();
        const std::string named = batchName(batchId);
        const BatchRecord batch = batchToUndo(history, batchId, request.language);
        if (batch.rows == 0)
            badArgument(named + " não tem alterações a desfazer.");
        refuseReleaseBatch(history, batch, named);
        // Undone while its undo stands (an undo that was itself undone puts
        // the batch's changes back, and the batch can be undone again).
        if (const auto undo = history.undoneBy(batchId); undo && !history.undoneBy(*undo)) {
            const auto by = history.batch(*undo);
            throw ServerError(ErrorKind::Conflict,
                              named + " já foi desfeito pelo lote " + std::to_string(*undo)
                                  + (by ? " (" + by->user + ", " + when(by->when) + ")" : std::string())
                                  + ". Para refazer o que ele alterou, desfaça o lote " + std::to_string(*undo) + ".");
        }
        checkOwner(request, batch.user, "o lote " + std::to_string(batchId));
        outcome = run(w, history.batchVersions(batch), now, request.force, request.guardReviewed);
    });
    return outcome;
}

UndoOutcome undoVersion(WriteCoordinator& writer, const UndoRequest& request, std::int64_t versionId)
{
    UndoOutcome outcome;
    const double now = writer.now();
    writer.runExclusive(originOf(request), [&](StorageWriter& w) {
        HistoryReader& history = w.history();
        const std::string named = "A versão " + std::to_string(versionId);
        const std::optional<VersionRecord> version = history.version(versionId);
        if (!version)
            badArgument(named + " não existe (ou já foi removida do histórico).");
        const std::optional<BatchRecord> batch = history.batch(version->batch);
        if (batch && batch->language != request.language)
            badArgument(named + " é do idioma " + batch->language + ", não do idioma " + request.language + ".");
        if (batch) {
            refuseReleaseBatch(history, *batch, named + " é do lote " + std::to_string(batch->id) + ", que");
            checkOwner(request, batch->user, "a versão " + std::to_string(versionId));
        }
        outcome = run(w, {*version}, now, request.force, request.guardReviewed);
    });
    return outcome;
}

} // namespace trd::server::history
