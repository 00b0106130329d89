#pragma once
// Whether a destination text fits the place its source text fills on the
// screen. A screen text sits in a control sized for the source: a few
// characters more fit in the margin around it, a long text has room in
// proportion. Texts are compared line by line, because a message box grows
// line by line.
#include <QList>
#include <QString>
#include <QStringView>

namespace trd::quality {

// How much longer than its source a destination line may be.
struct SizeRule {
    int percent = 40; // a line may grow by this share of its source line...
    int minExtra = 5; // ...or by this many characters, whichever is more
    int maxLine = 0; // and no line may pass this length (0: no such limit)
    bool countAmpersands = false; // count the "&" that marks a shortcut letter
};

// Lines of a text, split at CR LF, LF or CR; an empty text has one empty line.
QList<QStringView> splitLines(QStringView text);

// Characters a line shows. Unless counted, a single "&" marks the shortcut
// letter and is not drawn, and "&&" draws one "&".
int shownLength(QStringView line, bool countAmpersands);

// The length a destination line may have beside a source line of this length.
int allowedLength(int sourceLength, const SizeRule& rule);

// The worst line of a destination that is too long: its 1-based number, the
// characters it shows, the characters allowed and those of its source line.
// A destination line beyond the source's last line has no place on the
// screen: it is allowed nothing.
struct SizeFinding {
    bool tooLong = false;
    int line = 0;
    int found = 0;
    int allowed = 0;
    int sourceLength = 0;
    bool extraLine = false;
};

SizeFinding checkSize(QStringView source, QStringView destination, const SizeRule& rule);

// The finding in the user's words.
QString sizeMessage(const SizeFinding& finding);

} // namespace trd::quality
