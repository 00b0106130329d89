#pragma once
// The checks of one translation row against its own source text: every
// check but the shortcut conflicts, which need the other texts of the row's
// screen (ShortcutConflicts.h).
#include "Checks.h"
#include "SizeRule.h"
#include "TermCheck.h"

#include <QStringView>

namespace trd::quality {

struct RowOptions {
    CheckSet checks = CheckSet::all();
    SizeRule size;
    // The language's glossary, when it has one; not owned.
    TermCheck* terms = nullptr;
};

// Appends the row's findings to `out`, in catalog order, at most one per
// check. A blank destination is not compared: nothing has been written yet
// (trd-check lists it as not translated).
void checkRow(QStringView source, QStringView destination, QStringView status, const RowOptions& options,
              Findings& out);

} // namespace trd::quality
