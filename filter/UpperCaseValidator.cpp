#include "UpperCaseValidator.h"

#include "Win1252.h"

namespace trd {

QValidator::State UpperCaseValidator::validate(QString& input, int&) const
{
    // The fold maps each character to one character, so the cursor stays put.
    fixup(input);
    return Acceptable;
}

void UpperCaseValidator::fixup(QString& input) const
{
    input = win1252::upper(input);
}

} // namespace trd
