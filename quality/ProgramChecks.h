#pragma once
// Every check over the rows of one program (one screen) at a time: each
// row's checks against its source and the shortcut conflicts among the
// program's rows. Whoever reads a whole language in the server's order
// (program, component, source: trd-check, the report query) checks it one
// program after another, so only one screen's texts are held at a time.
#include "RowChecks.h"

#include <QList>
#include <QStringView>

#include <functional>

namespace trd::quality {

struct RowTexts {
    QStringView component;
    QStringView source;
    QStringView destination;
    QStringView status;
};

// Calls `found(i, finding)` for every finding of rows[i]: rows in order, a
// row's findings in the catalog's order. The rows must all be of one program.
void checkProgram(const QList<RowTexts>& rows, const RowOptions& options,
                  const std::function<void(qsizetype row, const Finding& finding)>& found);
// The same, the rows being of `program`: the glossary's terms scoped to a
// program apply only to its rows.
void checkProgram(QStringView program, const QList<RowTexts>& rows, const RowOptions& options,
                  const std::function<void(qsizetype row, const Finding& finding)>& found);

} // namespace trd::quality
