#include "ReviewRules.h"

#include "TDateTime.h"

#include <QDateTime>

namespace trd::server::review {

// IDVERSAO is null only where writes keep no history (benchmarks).
const char* const SchemaDefinition = R"SQL(
CREATE TABLE IF NOT EXISTS REVISAO (
    IDTRADUCAO {ID} PRIMARY KEY REFERENCES TRADUCAO(IDTRADUCAO) ON DELETE CASCADE,
    NMREVISOR  TEXT NOT NULL,
    DTREVISAO  {REAL} NOT NULL,
    IDVERSAO   {ID}
);
CREATE TABLE IF NOT EXISTS IDIOMA_REVISAO (
    IDIDIOMA     TEXT NOT NULL PRIMARY KEY REFERENCES IDIOMA(IDIDIOMA) ON DELETE CASCADE,
    FLREVOBRIG   TEXT NOT NULL DEFAULT 'N' CHECK (FLREVOBRIG IN ('S', 'N')),
    FLREVPROPRIA TEXT NOT NULL DEFAULT 'N' CHECK (FLREVPROPRIA IN ('S', 'N'))
);
)SQL";

std::string rowName(const RowKey& row)
{
    return "\"" + row.source + "\" (" + row.program + ", " + row.component + ")";
}

void refuseReviewedRow(const RowKey& row, const ReviewMark& mark)
{
    throw ServerError(
        ErrorKind::Conflict,
        "A tradução de " + rowName(row) + " foi revisada por " + mark.reviewer + " em "
            + trd::DateTimeToQDateTime(mark.when).toString(QStringLiteral("dd/MM/yyyy HH:mm")).toStdString()
            + " e o idioma " + row.language + " exige revisão: só um revisor pode alterá-la. Nada foi gravado.");
}

void refuseOwnChange(const RowKey& row)
{
    throw ServerError(ErrorKind::Conflict,
                      "O idioma " + row.language
                          + " não permite que um revisor marque como revisada a própria "
                            "alteração: a última alteração de "
                          + rowName(row) + " é sua. Peça a outro revisor.");
}

void refuseUnknownRow(const RowKey& row)
{
    throw ServerError(ErrorKind::Conflict,
                      "A linha " + row.program + " / " + row.component + " / \"" + row.source
                          + "\" não existe no idioma " + row.language + ".");
}

void refuseChangedSinceSeen(const RowKey& row, const std::optional<VersionRecord>& newest)
{
    std::string by;
    if (newest)
        by = (newest->user == "local" ? std::string() : " por " + newest->user) + " em "
            + trd::DateTimeToQDateTime(newest->when).toString(QStringLiteral("dd/MM/yyyy HH:mm")).toStdString();
    throw ServerError(ErrorKind::Conflict,
                      "A tradução de " + rowName(row) + " foi alterada" + by
                          + " depois de lida; leia-a de novo antes de marcá-la como revisada. "
                            "Nada foi gravado.");
}

std::optional<std::string> lastChangeAuthor(HistoryReader& history, std::optional<std::int64_t> newest)
{
    constexpr std::size_t Step = 16;
    while (newest) {
        const std::vector<VersionRecord> chain = history.chain(*newest, Step);
        for (const VersionRecord& v : chain)
            if (!isReviewMark(v.type))
                return v.user;
        if (chain.size() < Step)
            break;
        newest = chain.back().previous;
    }
    return std::nullopt;
}

void checkMark(const RowChange& change, const CurrentRow& row, HistoryReader& history)
{
    if (change.checkSeen && (row.destination != change.originalDestination || row.status != change.originalStatus)) {
        std::optional<VersionRecord> newest;
        if (row.lastVersion)
            newest = history.version(*row.lastVersion);
        refuseChangedSinceSeen(change.original, newest);
    }
    if (change.marked && change.refuseOwnChange && lastChangeAuthor(history, row.lastVersion) == change.reviewer)
        refuseOwnChange(change.original);
}

bool touchesRow(const RowChange& change)
{
    return change.kind == RowChange::Kind::Delete
        || (change.kind == RowChange::Kind::Modify
            && (change.updated.destination != change.originalDestination
                || change.updated.status != change.originalStatus
                || change.updated.key.language != change.original.language
                || change.updated.key.program != change.original.program
                || change.updated.key.component != change.original.component
                || change.updated.key.source != change.original.source));
}

} // namespace trd::server::review
