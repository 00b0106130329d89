#include "ProgramChecks.h"

#include "ShortcutConflicts.h"

#include <algorithm>

namespace trd::quality {

void checkProgram(const QList<RowTexts>& rows, const RowOptions& options,
                  const std::function<void(qsizetype row, const Finding& finding)>& found)
{
    checkProgram(QStringView(), rows, options, found);
}

void checkProgram(QStringView program, const QList<RowTexts>& rows, const RowOptions& options,
                  const std::function<void(qsizetype row, const Finding& finding)>& found)
{
    const bool conflicts = options.checks.contains(CheckId::ConflitoAtalho);
    ShortcutIndex shortcuts;
    if (conflicts)
        for (qsizetype i = 0; i < rows.size(); ++i)
            shortcuts.set(int(i), u"", rows[i].component, rows[i].source, rows[i].destination);
    Findings findings;
    for (qsizetype i = 0; i < rows.size(); ++i) {
        const RowTexts& r = rows[i];
        findings.clear();
        checkRow(r.source, r.destination, r.status, options, findings);
        if (conflicts) {
            if (auto conflict = shortcuts.conflictOf(int(i), u"", r.source, r.destination)) {
                // In its place in the catalog's order.
                const auto at = std::find_if(findings.begin(), findings.end(),
                                             [](const Finding& f) { return f.check > CheckId::ConflitoAtalho; });
                findings.insert(at, std::move(*conflict));
            }
        }
        // Last in the catalog.
        if (options.terms && !r.destination.trimmed().isEmpty())
            options.terms->check(program, r.source, r.destination, options.checks, findings);
        for (const Finding& f : findings)
            found(i, f);
    }
}

} // namespace trd::quality
