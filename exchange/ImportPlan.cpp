#include "ImportPlan.h"

#include "DataPacket.h"
#include "TDateTime.h"
#include "UnitId.h"
#include "Win1252.h"

#include <algorithm>

namespace trd::exchange {

namespace {

constexpr int TextWidth = 4000;

QString changedText(double changed)
{
    return QStringLiteral("alterada no servidor em %1, depois da exportação do arquivo")
        .arg(DateTimeToQDateTime(changed).toString(QStringLiteral("dd/MM/yyyy HH:mm:ss")));
}

// A unit that changes its row: refused, a conflict, a new translation or a change.
Outcome classifyChange(const std::string& destination, char status, const Row& row, std::optional<double> exportDays,
                       QString& reason)
{
    reason = textRuleBreak(destination);
    if (!reason.isEmpty())
        return Outcome::Refused;
    if (!exportDays) {
        reason = QStringLiteral("o arquivo não diz quando foi exportado");
        return Outcome::Conflict;
    }
    if (row.changed >= *exportDays) {
        reason = changedText(row.changed);
        return Outcome::Conflict;
    }
    return row.status == 'N' && status != 'N' ? Outcome::New : Outcome::Changed;
}

} // namespace

QString textRuleBreak(std::string_view utf8)
{
    const QString text = QString::fromUtf8(utf8.data(), static_cast<qsizetype>(utf8.size()));
    const qsizetype bad = win1252::firstUnrepresentable(text);
    if (bad >= 0)
        return QStringLiteral("o texto contém o caractere U+%1, que não existe no Windows-1252")
            .arg(QString::number(text.at(bad).unicode(), 16).toUpper().rightJustified(4, QLatin1Char('0')));
    for (const QChar c : text)
        if (c.unicode() < 0x20 && c != u'\t' && c != u'\n' && c != u'\r')
            return QStringLiteral("o texto contém um caractere de controle (U+%1)")
                .arg(QString::number(c.unicode(), 16).toUpper().rightJustified(4, QLatin1Char('0')));
    if (text.size() > TextWidth)
        return QStringLiteral("o texto tem %1 caracteres; o máximo é %2").arg(text.size()).arg(TextWidth);
    return {};
}

Plan planImport(const Document& document, const std::vector<Row>& rows, std::optional<double> exportDays)
{
    // A unit's id is the digest of its row's key, so one sorted index of the
    // rows' keys finds a unit by its id and, when a tool dropped the id, by
    // its program, component and source, with no string per row.
    std::vector<std::pair<UnitKey, int>> index;
    index.reserve(rows.size());
    for (int i = 0; i < static_cast<int>(rows.size()); ++i) {
        const Row& r = rows[static_cast<std::size_t>(i)];
        index.emplace_back(unitKey(r.program, r.component, r.source), i);
    }
    std::sort(index.begin(), index.end());
    const auto find = [&index](const UnitKey& key) {
        const auto it = std::lower_bound(index.begin(), index.end(), std::make_pair(key, -1));
        return it != index.end() && it->first == key ? it->second : -1;
    };
    std::vector<int> matchedBy(rows.size(), -1); // the unit that took each row

    Plan plan;
    plan.entries.reserve(document.units.size());
    for (int u = 0; u < static_cast<int>(document.units.size()); ++u) {
        const Unit& unit = document.units[static_cast<std::size_t>(u)];
        PlanEntry e;
        e.unit = u;
        if (const auto key = keyOfId(unit.id))
            e.row = find(*key);
        if (e.row < 0 && unit.program && unit.component)
            e.row = find(unitKey(*unit.program, *unit.component, unit.source));

        if (e.row < 0) {
            e.outcome = Outcome::Unmatched;
        } else if (const int other = matchedBy[static_cast<std::size_t>(e.row)]; other >= 0) {
            e.outcome = Outcome::Refused;
            const int line = document.units[static_cast<std::size_t>(other)].line;
            e.reason = line > 0
                ? QStringLiteral("a unidade da linha %1 já corresponde à mesma linha da tradução").arg(line)
                : QStringLiteral("outra unidade do arquivo já corresponde à mesma linha da tradução");
        } else {
            matchedBy[static_cast<std::size_t>(e.row)] = u;
            const Row& row = rows[static_cast<std::size_t>(e.row)];
            const std::string& destination = unit.target ? *unit.target : row.destination;
            e.status = unit.status;
            if (!unit.problem.empty()) {
                e.outcome = Outcome::Refused;
                e.reason = QString::fromStdString(unit.problem);
            } else if (destination == row.destination && e.status == row.status) {
                // Most units of a returned file: counted, no copy of their text.
                e.outcome = Outcome::Unchanged;
            } else {
                e.destination = destination;
                e.outcome = classifyChange(e.destination, e.status, row, exportDays, e.reason);
            }
        }
        ++plan.counts[static_cast<std::size_t>(e.outcome)];
        plan.entries.push_back(std::move(e));
    }
    return plan;
}

PacketField stringField(const char* name, int width)
{
    PacketField f;
    f.name = name;
    f.type = TFieldType::ftString;
    f.size = width;
    f.xmlType = "string";
    return f;
}

QByteArray buildDelta(const Plan& plan, const std::vector<Row>& rows, const QString& language,
                      const std::vector<bool>& overwrite, int* written)
{
    QByteArray out;
    PacketWriter packet(out);
    packet.begin({stringField("STAGRVALPROP", 4000), stringField("STVALORPROP", 4000), stringField("IDSITTRADUCAO", 1),
                  stringField("IDIDIOMA", 3), stringField("NMCOMPONENTE", 50), stringField("CDPROGTRAD", 20)},
                 {{"DATASET_DELTA", "1"}});
    const std::string languageUtf8 = language.toStdString();
    int count = 0;
    for (std::size_t i = 0; i < plan.entries.size(); ++i) {
        const PlanEntry& e = plan.entries[i];
        const bool take = e.outcome == Outcome::New || e.outcome == Outcome::Changed
            || (e.outcome == Outcome::Conflict && i < overwrite.size() && overwrite[i]);
        if (!take)
            continue;
        const Row& row = rows[static_cast<std::size_t>(e.row)];
        packet.beginRow(rsOriginal);
        packet.string(0, std::string_view(row.source));
        packet.string(1, std::string_view(row.destination));
        packet.string(2, std::string_view(&row.status, 1));
        packet.string(3, std::string_view(languageUtf8));
        packet.string(4, std::string_view(row.component));
        packet.string(5, std::string_view(row.program));
        packet.endRow();
        packet.beginRow(rsModified);
        packet.string(1, std::string_view(e.destination));
        packet.string(2, std::string_view(&e.status, 1));
        packet.endRow();
        ++count;
    }
    packet.end();
    if (written)
        *written = count;
    return out;
}

QString outcomeName(Outcome outcome)
{
    switch (outcome) {
    case Outcome::New:
        return QStringLiteral("novas traduções");
    case Outcome::Changed:
        return QStringLiteral("alterações");
    case Outcome::Unchanged:
        return QStringLiteral("sem mudança");
    case Outcome::Unmatched:
        return QStringLiteral("sem linha correspondente");
    case Outcome::Conflict:
        return QStringLiteral("conflitos");
    case Outcome::Refused:
        return QStringLiteral("recusadas");
    }
    return {};
}

} // namespace trd::exchange
