#include "TextProfile.h"

#include <algorithm>

namespace trd::quality {

namespace {

bool isDoubleQuote(QChar c)
{
    switch (c.unicode()) {
    case u'"':
    case 0x201C:
    case 0x201D:
    case 0x201E:
    case 0xAB:
    case 0xBB:
        return true;
    default:
        return false;
    }
}

// What may follow a sentence's last mark: a closing quote or bracket.
bool isCloser(QChar c)
{
    switch (c.unicode()) {
    case u'"':
    case u'\'':
    case u')':
    case u']':
    case u'}':
    case 0x201D:
    case 0x2019:
    case 0xBB:
        return true;
    default:
        return false;
    }
}

// Where the character entity that ends at `k` ("&gt;" before it) begins;
// -1 when none does. Its ";" is part of a name, not a sentence's mark.
qsizetype entityEndingAt(QStringView t, qsizetype k)
{
    if (k < 4 || t[k - 1] != u';')
        return -1;
    // The longest entity read is a ten-letter name between "&" and ";".
    const qsizetype from = std::max<qsizetype>(0, k - 12);
    const qsizetype amp = t.lastIndexOf(u'&', k - 2);
    return amp >= from && entityLength(t, amp) == k - amp ? amp : -1;
}

QChar endPunctuationOf(QStringView t)
{
    qsizetype k = t.size();
    // Entities are not prose: one at the end ("Próximo &gt;", "&quot;OK.&quot;")
    // is passed over like a closing quote, and the mark before it counts.
    for (;;) {
        while (k > 0 && (isBlank(t[k - 1]) || isLineBreak(t[k - 1])))
            --k;
        while (k > 0 && isCloser(t[k - 1]))
            --k;
        const qsizetype entity = entityEndingAt(t, k);
        if (entity < 0)
            break;
        k = entity;
    }
    if (k == 0)
        return {};
    const QChar last = t[k - 1];
    switch (last.unicode()) {
    case u'.':
        // "..." and "…" are the same mark.
        return k >= 3 && t[k - 2] == u'.' && t[k - 3] == u'.' ? QChar(0x2026) : last;
    case u':':
    case u'?':
    case u'!':
    case u';':
    case 0x2026:
        return last;
    default:
        return {};
    }
}

void clear(TextProfile& p)
{
    p.placeholders.clear();
    p.numbers.clear();
    p.marks.clear();
    p.strayAmpersands.clear();
    p.doubledWords.clear();
    p.lineBreaks = p.leadingSpaces = p.trailingSpaces = p.doubleSpaces = 0;
    p.parentheses = p.squareBrackets = p.braces = Brackets{};
    p.doubleQuotes = 0;
    p.endPunctuation = QChar();
    p.hasLetter = false;
}

// An address is one token: only the placeholders a program fills into it
// count ("http://servidor/%s"); its "%20" escapes, "&" and digits do not.
qsizetype readAddress(QStringView t, const Span& span, TextProfile& p)
{
    qsizetype i = span.begin;
    while (i < span.end) {
        if (isUrlEscape(t, i)) {
            i += 3;
            continue;
        }
        if (const qsizetype len = placeholderLength(t, i)) {
            p.placeholders.append(t.mid(i, len));
            i += len;
            continue;
        }
        ++i;
    }
    return i;
}

// Reads the text between the leading and the trailing blanks.
class Scanner {
public:
    Scanner(QStringView text, TextProfile& profile) : t(text), p(profile) { }

    void run(qsizetype begin, qsizetype end, const Spans& addresses)
    {
        qsizetype i = begin;
        int next = 0;
        while (i < end) {
            if (next < addresses.size() && i >= addresses[next].begin) {
                i = std::max(i, readAddress(t, addresses[next], p));
                ++next;
                forgetWord();
                continue;
            }
            i = step(i, end);
        }
    }

private:
    void forgetWord() { m_previousWord = {}; }

    // The count a parenthesis or a square bracket adds to (braces, which may
    // open a placeholder, have their own case).
    int& plainBracket(QChar c)
    {
        Brackets& kind = c == u'(' || c == u')' ? p.parentheses : p.squareBrackets;
        return c == u'(' || c == u'[' ? kind.opened : kind.closed;
    }

    qsizetype step(qsizetype i, qsizetype end)
    {
        const QChar c = t[i];
        if (c.isLetter())
            return word(i, end);
        if (isAsciiDigit(c))
            return number(i, end);
        if (isBlank(c))
            return blanks(i, end);
        forgetWord();
        switch (c.unicode()) {
        case u'%':
        case u'{':
            if (isEscapedPair(t, i)) {
                if (c == u'{')
                    ++p.braces.opened;
                return i + 2;
            }
            if (const qsizetype len = placeholderLength(t, i)) {
                p.placeholders.append(t.mid(i, len));
                return i + len;
            }
            if (c == u'{')
                ++p.braces.opened;
            return i + 1;
        case u'}':
            ++p.braces.closed;
            return isEscapedPair(t, i) ? i + 2 : i + 1;
        case u'&':
            return ampersand(i, end);
        case u'(':
        case u')':
        case u'[':
        case u']':
            ++plainBracket(c);
            return i + 1;
        case u'\r':
            ++p.lineBreaks;
            return i + 1 < end && t[i + 1] == u'\n' ? i + 2 : i + 1;
        case u'\n':
            ++p.lineBreaks;
            return i + 1;
        default:
            if (isDoubleQuote(c))
                ++p.doubleQuotes;
            return i + 1;
        }
    }

    qsizetype word(qsizetype i, qsizetype end)
    {
        const qsizetype start = i;
        while (i < end && t[i].isLetter())
            ++i;
        p.hasLetter = true;
        const QStringView w = t.mid(start, i - start);
        // Folding case keeps a word's length: words of other lengths are not compared.
        if (m_previousWord.size() == w.size() && m_previousWord.compare(w, Qt::CaseInsensitive) == 0) {
            const qsizetype from = m_previousWord.data() - t.data();
            p.doubledWords.append(t.mid(from, i - from));
        }
        m_previousWord = w;
        return i;
    }

    qsizetype number(qsizetype i, qsizetype end)
    {
        forgetWord();
        const qsizetype start = i;
        while (i < end && isAsciiDigit(t[i]))
            ++i;
        // Separators between groups of digits: "1.000", "1,5", "1 000" (no-break space).
        while (i + 1 < end && (t[i] == u'.' || t[i] == u',' || t[i].unicode() == 0xA0) && isAsciiDigit(t[i + 1])) {
            ++i;
            while (i < end && isAsciiDigit(t[i]))
                ++i;
        }
        p.numbers.append(t.mid(start, i - start));
        return i;
    }

    qsizetype blanks(qsizetype i, qsizetype end)
    {
        const qsizetype start = i;
        while (i < end && isBlank(t[i]))
            ++i;
        if (i - start >= 2)
            ++p.doubleSpaces;
        // A word after one space may repeat the one before ("the the"); a run
        // of blanks or a tab lines words up in columns ("--reverse      reverse"),
        // where the same word on both sides is the layout, not a slip.
        if (i - start >= 2 || t[start] == u'\t')
            forgetWord();
        return i;
    }

    qsizetype ampersand(qsizetype i, qsizetype end)
    {
        if (i + 1 < end && t[i + 1] == u'&')
            return i + 2; // "&&" shows one "&"
        if (const qsizetype len = entityLength(t, i); len && i + len <= end)
            return i + len;
        if (i + 1 < end && t[i + 1].isLetterOrNumber())
            p.marks.append(t.mid(i, 2));
        else
            p.strayAmpersands.append(t.mid(i, i + 1 < t.size() ? 2 : 1));
        return i + 1;
    }

    QStringView t;
    TextProfile& p;
    QStringView m_previousWord;
};

int digitsCompare(QStringView a, QStringView b)
{
    qsizetype i = 0;
    qsizetype j = 0;
    for (;;) {
        while (i < a.size() && !isAsciiDigit(a[i]))
            ++i;
        while (j < b.size() && !isAsciiDigit(b[j]))
            ++j;
        const bool endA = i == a.size();
        const bool endB = j == b.size();
        if (endA || endB)
            return endA == endB ? 0 : (endA ? -1 : 1);
        if (a[i] != b[j])
            return a[i] < b[j] ? -1 : 1;
        ++i;
        ++j;
    }
}

} // namespace

void readProfile(QStringView t, TextProfile& p)
{
    clear(p);
    qsizetype begin = 0;
    while (begin < t.size() && isBlank(t[begin]))
        ++begin;
    qsizetype end = t.size();
    while (end > begin && isBlank(t[end - 1]))
        --end;
    p.leadingSpaces = int(begin);
    p.trailingSpaces = int(t.size() - end);
    p.endPunctuation = endPunctuationOf(t);

    Spans addresses;
    findAddresses(t, addresses);
    Scanner(t, p).run(begin, end, addresses);
}

QChar markedLetter(QStringView t)
{
    qsizetype i = t.indexOf(u'&');
    if (i < 0)
        return {};
    Spans addresses;
    findAddresses(t, addresses);
    while (i >= 0 && i + 1 < t.size()) {
        const QChar next = t[i + 1];
        if (next == u'&') {
            i = t.indexOf(u'&', i + 2);
            continue;
        }
        const bool inAddress =
            std::any_of(addresses.begin(), addresses.end(), [i](const Span& s) { return i >= s.begin && i < s.end; });
        if (!inAddress && !entityLength(t, i) && next.isLetterOrNumber())
            return next.toCaseFolded();
        i = t.indexOf(u'&', i + 1);
    }
    return {};
}

bool sameNumber(QStringView a, QStringView b)
{
    return digitsCompare(a, b) == 0;
}

bool numberLess(QStringView a, QStringView b)
{
    return digitsCompare(a, b) < 0;
}

} // namespace trd::quality
