#pragma once
// What the checks compare of a text, read in one pass over it. The views
// point into the text, which must outlive the profile. Small lists live
// inside the profile, so reading the usual screen text allocates nothing.
#include "Tokens.h"

#include <QChar>
#include <QStringView>
#include <QVarLengthArray>

namespace trd::quality {

struct Brackets {
    int opened = 0;
    int closed = 0;
    int balance() const { return opened - closed; }
};

struct TextProfile {
    QVarLengthArray<QStringView, 8> placeholders; // as written: "%s", "%0:d", "{0:N2}"
    QVarLengthArray<QStringView, 8> numbers; // digits with their separators: "1.000", "3,5"
    QVarLengthArray<QStringView, 2> marks; // "&S": a mark on a letter or digit
    QVarLengthArray<QStringView, 2> strayAmpersands; // "& ", "&-", a final "&": a mark on nothing
    QVarLengthArray<QStringView, 2> doubledWords; // "de de"
    int lineBreaks = 0;
    int leadingSpaces = 0;
    int trailingSpaces = 0;
    int doubleSpaces = 0; // runs of two or more blanks between other characters
    Brackets parentheses;
    Brackets squareBrackets;
    Brackets braces; // prose braces; a brace placeholder is no bracket
    int doubleQuotes = 0; // " “ ” „ « »
    QChar endPunctuation; // . : ? ! ; or … (also for "..."); null when none
    bool hasLetter = false; // a letter outside placeholders and addresses
};

// Reads `text` into `profile`, which is cleared first (its storage is reused).
void readProfile(QStringView text, TextProfile& profile);

// The letter or digit the text's shortcut mark is on, folded to lower case;
// null when the text marks none. Faster than a whole profile: the shortcut
// index reads it for every row of a language.
QChar markedLetter(QStringView text);

// The digits of a number, without its separators: "1.000" and "1,000" are
// the same number written the way each language writes it.
bool sameNumber(QStringView a, QStringView b);
bool numberLess(QStringView a, QStringView b);

} // namespace trd::quality
