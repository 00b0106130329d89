#include "HistoryRecords.h"

#include "ServerError.h"
#include "TDateTime.h"

#include <array>
#include <utility>

namespace trd::server {

namespace {
constexpr std::array<std::pair<BatchKind, std::string_view>, 8> KindNames = {{
    {BatchKind::Edit, "edicao"},
    {BatchKind::Replace, "substituicao"},
    {BatchKind::Import, "importacao"},
    {BatchKind::Propagation, "propagacao"},
    {BatchKind::Undo, "desfazer"},
    {BatchKind::Review, "revisao"},
    {BatchKind::Release, "liberacao"},
    {BatchKind::Machine, "automatica"},
}};

[[noreturn]] void noHistory()
{
    throw ServerError(ErrorKind::Unavailable, "Este servidor não guarda o histórico de alterações.");
}
} // namespace

std::string_view batchKindName(BatchKind kind)
{
    for (const auto& [k, name] : KindNames)
        if (k == kind)
            return name;
    return "edicao";
}

std::optional<BatchKind> batchKindFromName(std::string_view name)
{
    for (const auto& [k, n] : KindNames)
        if (n == name)
            return k;
    return std::nullopt;
}

std::optional<BatchKind> batchKindFromCode(char code)
{
    for (const auto& [k, name] : KindNames)
        if (static_cast<char>(k) == code)
            return k;
    return std::nullopt;
}

std::string_view usualMethod(BatchKind kind, bool undoesBatch)
{
    switch (kind) {
    case BatchKind::Edit:
    case BatchKind::Replace:
    case BatchKind::Machine:
        return "SetDestino";
    case BatchKind::Undo:
        return undoesBatch ? "DesfazLote" : "DesfazVersao";
    case BatchKind::Review:
        return "MarcaRevisao";
    case BatchKind::Release:
        return "AplicaLiberacao";
    case BatchKind::Import:
    case BatchKind::Propagation:
        break;
    }
    return {};
}

int changeTypeCode(ChangeType type)
{
    switch (type) {
    case ChangeType::Change:
        return 0;
    case ChangeType::Insert:
        return 1;
    case ChangeType::Delete:
        return 2;
    case ChangeType::Obsolete:
        return 3;
    case ChangeType::Revive:
        return 4;
    case ChangeType::Reviewed:
        return 5;
    case ChangeType::Unreviewed:
        return 6;
    }
    return 0;
}

ChangeType changeTypeFromCode(long long code)
{
    switch (code) {
    case 1:
        return ChangeType::Insert;
    case 2:
        return ChangeType::Delete;
    case 3:
        return ChangeType::Obsolete;
    case 4:
        return ChangeType::Revive;
    case 5:
        return ChangeType::Reviewed;
    case 6:
        return ChangeType::Unreviewed;
    default:
        return ChangeType::Change;
    }
}

bool isReviewMark(ChangeType type)
{
    return type == ChangeType::Reviewed || type == ChangeType::Unreviewed;
}

void checkBatchAccepts(const std::optional<BatchRecord>& batch, std::int64_t id, const WriteOrigin& origin,
                       const std::string& language, std::optional<std::int64_t> undoneBy)
{
    const std::string named = "O lote " + std::to_string(id);
    if (!batch)
        badArgument(named + " não existe; nada foi gravado.");
    if (batch->kind == BatchKind::Edit || batch->kind == BatchKind::Undo || batch->kind == BatchKind::Review
        || batch->kind == BatchKind::Release)
        badArgument(named + " não recebe outras gravações; nada foi gravado.");
    // An undo covers the versions the batch held when it ran: a later save
    // into the batch would be listed as undone while no undo covers it. The
    // batch is finished once undone, even after that undo was undone itself.
    if (undoneBy)
        throw ServerError(ErrorKind::Conflict,
                          named + " foi desfeito pelo lote " + std::to_string(*undoneBy)
                              + " e não recebe outras gravações; abra um lote novo (AbreLote). "
                                "Nada foi gravado.");
    if (batch->language != language)
        badArgument(named + " é do idioma " + batch->language + " e esta gravação é do idioma " + language
                    + "; nada foi gravado.");
    if (batch->user != origin.user)
        badArgument(named + " foi aberto por outro usuário (" + batch->user + "); nada foi gravado.");
}

HistoryReader& StorageSession::history()
{
    noHistory();
}

void changedByOther(const RowKey& original, const std::optional<VersionRecord>& newest)
{
    std::string who;
    if (newest) {
        // On a server without logins everyone is "local": no name to give.
        who = (newest->user == "local" ? std::string() : newest->user + " ") + "em "
            + trd::DateTimeToQDateTime(newest->when).toString(QStringLiteral("dd/MM/yyyy 'às' HH:mm")).toStdString()
            + "; ";
    }
    throw ServerError(ErrorKind::Conflict,
                      "O registro foi alterado por outro usuário (" + who + "Tela: " + original.program
                          + ", Componente: " + original.component + "). Recarregue os registros e refaça a alteração.");
}

ChangeWindow StorageSession::readChanges(const ChangeQuery&)
{
    noHistory();
}

HistoryReader& StorageWriter::history()
{
    noHistory();
}

std::int64_t StorageWriter::openBatch(const WriteOrigin&, const std::string&, double)
{
    noHistory();
}

PruneCount StorageWriter::pruneHistory(double, std::int64_t)
{
    noHistory();
}

namespace {
[[noreturn]] void noReleases()
{
    throw ServerError(ErrorKind::Unavailable, "Este servidor não aplica liberações do aplicativo.");
}
} // namespace

void StorageSession::readReleaseRows(const std::string&, const ReleaseRowVisitor&)
{
    noReleases();
}

void StorageSession::selectPreviousSources(const std::string&, std::int64_t, const PreviousSourceVisitor&)
{
    noReleases();
}

void StorageSession::selectObsoleteRows(const std::string&, const ObsoleteRowVisitor&)
{
    noReleases();
}

void StorageWriter::readReleaseRows(const std::string&, const ReleaseRowVisitor&)
{
    noReleases();
}

void StorageWriter::writeRelease(const ReleaseWrite&, double)
{
    noReleases();
}

std::string batchName(std::int64_t id)
{
    return "O lote " + std::to_string(id);
}

BatchRecord batchToUndo(HistoryReader& history, std::int64_t id, const std::string& language)
{
    std::optional<BatchRecord> batch = history.batch(id);
    if (!batch)
        badArgument(batchName(id) + " não existe (ou já foi removido do histórico).");
    if (batch->language != language)
        badArgument(batchName(id) + " é do idioma " + batch->language + ", não do idioma " + language + ".");
    return std::move(*batch);
}

} // namespace trd::server
