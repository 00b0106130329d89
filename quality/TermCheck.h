#pragma once
// What the row checks ask of a glossary, when there is one: the findings of
// its terms in one row. The glossary's matching needs a dictionary library,
// which the other checks do not, so it plugs in through this.
#include "Checks.h"

#include <QStringView>

namespace trd::quality {

class TermCheck {
public:
    virtual ~TermCheck() = default;
    // Appends the glossary's findings of the row (at most one per check), in
    // catalog order, for the checks of `checks`. Not for a blank destination.
    virtual void check(QStringView program, QStringView source, QStringView destination, const CheckSet& checks,
                       Findings& out) = 0;
};

} // namespace trd::quality
