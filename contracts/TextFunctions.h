#pragma once
// Text helpers of the shared library that the screens rely on.
#include <QString>
#include <QStringView>

namespace trd {

// True when nothing was entered: the text is empty or holds only blanks
// (spaces, tabs, line breaks).
bool EmptyString(QStringView text);

// The first `length` characters of text with every occurrence of `what`
// replaced by `with` (callers pass the empty text to remove it), followed by
// the rest of text unchanged. An empty `what` changes nothing; `length` is
// clamped to the text.
QString Replace(const QString& what, const QString& text, const QString& with, int length);

// Refuses a key typed into a number field when it would give the number more
// than `integerDigits` digits before the decimal separator or more than
// `decimalDigits` after it: raises the silent abort (EAbort), so the key
// handler that called it is abandoned and the key never reaches the field.
// `text` is the field's text, the selection [selStart, selStart + selLength)
// is what the key replaces. Control keys (backspace and the like) and keys
// that are neither digits nor a decimal separator pass: telling valid
// characters apart is the field's own business. Both ',' and '.' count as the
// decimal separator.
void MaxNumber(const QString& text, int integerDigits, int decimalDigits, const QString& key, int selStart,
               int selLength);

} // namespace trd
