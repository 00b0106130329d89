#include "Tokens.h"

#include <algorithm>

namespace trd::quality {

namespace {

bool isConversion(QChar c)
{
    switch (c.unicode()) {
    case u'd':
    case u'i':
    case u'u':
    case u'o':
    case u'x':
    case u'X':
    case u'e':
    case u'E':
    case u'f':
    case u'F':
    case u'g':
    case u'G':
    case u'a':
    case u'A':
    case u'c':
    case u's':
    case u'p':
    case u'n':
    case u'm':
        return true;
    default:
        return false;
    }
}

qsizetype skipDigits(QStringView t, qsizetype k)
{
    while (k < t.size() && isAsciiDigit(t[k]))
        ++k;
    return k;
}

// Index past a printf conversion whose flags start at k, 0 when there is none.
qsizetype printfConversionEnd(QStringView t, qsizetype k)
{
    const qsizetype n = t.size();
    // No blank flag: in prose "100% de" is a percent and a word, not "% d".
    while (k < n && (t[k] == u'-' || t[k] == u'+' || t[k] == u'#' || t[k] == u'0'))
        ++k;
    if (k < n && t[k] == u'*')
        ++k;
    else
        k = skipDigits(t, k);
    if (k < n && t[k] == u'.') {
        ++k;
        if (k < n && t[k] == u'*')
            ++k;
        else
            k = skipDigits(t, k);
    }
    if (k < n && (t[k] == u'h' || t[k] == u'l')) {
        const QChar twice = t[k];
        ++k;
        if (k < n && t[k] == twice)
            ++k;
    } else if (k < n && (t[k] == u'L' || t[k] == u'q' || t[k] == u'j' || t[k] == u'z' || t[k] == u't')) {
        ++k;
    }
    return k < n && isConversion(t[k]) ? k + 1 : 0;
}

bool isNonZeroDigit(QChar c)
{
    return c.unicode() >= u'1' && c.unicode() <= u'9';
}

qsizetype percentLength(QStringView t, qsizetype i)
{
    const qsizetype n = t.size();
    const qsizetype j = i + 1;
    if (j >= n)
        return 0;
    // Qt's localised numbered form.
    if (t[j] == u'L' && j + 1 < n && isNonZeroDigit(t[j + 1])) {
        qsizetype k = j + 2;
        if (k < n && isAsciiDigit(t[k]))
            ++k;
        return k - i;
    }
    // An argument index before the conversion: Delphi "%0:s", POSIX "%1$s".
    const qsizetype afterIndex = skipDigits(t, j);
    if (afterIndex > j && afterIndex < n && (t[afterIndex] == u':' || t[afterIndex] == u'$')) {
        if (const qsizetype end = printfConversionEnd(t, afterIndex + 1))
            return end - i;
    }
    if (const qsizetype end = printfConversionEnd(t, j))
        return end - i;
    // Numbered forms stop at two digits, as the formatting that fills them does.
    if (isNonZeroDigit(t[j])) {
        qsizetype k = j + 1;
        if (k < n && isAsciiDigit(t[k]))
            ++k;
        return k - i;
    }
    return 0;
}

qsizetype braceLength(QStringView t, qsizetype i)
{
    const qsizetype n = t.size();
    qsizetype k = skipDigits(t, i + 1);
    if (k == i + 1)
        return 0; // "{nome}", "{ texto }": prose or a name, not an argument
    if (k < n && t[k] == u',') {
        ++k;
        if (k < n && t[k] == u'-')
            ++k;
        const qsizetype width = skipDigits(t, k);
        if (width == k)
            return 0;
        k = width;
    }
    if (k < n && t[k] == u':') {
        ++k;
        while (k < n && t[k] != u'}' && t[k] != u'{' && !isLineBreak(t[k]))
            ++k;
    }
    return k < n && t[k] == u'}' ? k + 1 - i : 0;
}

bool isHexDigit(QChar c)
{
    return isAsciiDigit(c) || (c.unicode() >= u'a' && c.unicode() <= u'f')
        || (c.unicode() >= u'A' && c.unicode() <= u'F');
}

bool isAsciiLetter(QChar c)
{
    const char16_t u = c.unicode() | 0x20;
    return u >= u'a' && u <= u'z';
}

// Characters that may close an address but belong to the sentence around it.
bool isTrailingPunctuation(QChar c)
{
    switch (c.unicode()) {
    case u'.':
    case u',':
    case u';':
    case u':':
    case u'!':
    case u'?':
    case u'\'':
        return true;
    default:
        return false;
    }
}

bool endsAddress(QChar c)
{
    switch (c.unicode()) {
    case u'"':
    case u'<':
    case u'>':
    case 0x201C:
    case 0x201D:
    case 0xAB:
    case 0xBB:
        return true;
    default:
        return c.isSpace();
    }
}

qsizetype addressEnd(QStringView t, qsizetype begin, qsizetype from)
{
    qsizetype end = from;
    while (end < t.size() && !endsAddress(t[end]))
        ++end;
    for (;;) {
        if (end <= from)
            break;
        const QChar last = t[end - 1];
        if (isTrailingPunctuation(last)) {
            --end;
            continue;
        }
        if (last == u')' || last == u']') {
            const QChar open = last == u')' ? u'(' : u'[';
            const QStringView inside = t.mid(begin, end - begin);
            if (inside.count(open) < inside.count(last)) {
                --end;
                continue;
            }
        }
        break;
    }
    return end;
}

bool inside(const Spans& spans, qsizetype i)
{
    return std::any_of(spans.begin(), spans.end(), [i](const Span& s) { return i >= s.begin && i < s.end; });
}

void findSchemes(QStringView t, Spans& out)
{
    for (qsizetype from = 0;;) {
        const qsizetype p = t.indexOf(u"://", from);
        if (p < 0)
            return;
        qsizetype b = p;
        while (b > 0 && (t[b - 1].isLetterOrNumber() || t[b - 1] == u'+' || t[b - 1] == u'-' || t[b - 1] == u'.'))
            --b;
        // A scheme has letters: "http", "ftp", "file". "a ://" is no address.
        if (p - b < 2 || !isAsciiLetter(t[b])) {
            from = p + 3;
            continue;
        }
        const qsizetype e = addressEnd(t, b, p + 3);
        out.append({b, e});
        from = std::max(e, p + 3);
    }
}

// "www." written in small letters or in capitals, its dot at `dot`.
void addWww(QStringView t, qsizetype dot, Spans& out)
{
    const qsizetype p = dot - 3;
    if (p > 0 && (t[p - 1].isLetterOrNumber() || t[p - 1] == u'.' || t[p - 1] == u'/' || t[p - 1] == u'@'))
        return;
    if (p + 4 >= t.size() || !t[p + 4].isLetterOrNumber() || inside(out, p))
        return;
    out.append({p, addressEnd(t, p, p + 4)});
}

bool wwwBefore(QStringView t, qsizetype dot)
{
    if (dot < 3)
        return false;
    const char16_t a = t[dot - 3].unicode();
    const char16_t b = t[dot - 2].unicode();
    const char16_t c = t[dot - 1].unicode();
    return (a == u'w' && b == u'w' && c == u'w') || (a == u'W' && b == u'W' && c == u'W');
}

bool isMailCharacter(QChar c)
{
    return c.isLetterOrNumber() || c == u'.' || c == u'_' || c == u'-' || c == u'+';
}

void findMail(QStringView t, Spans& out)
{
    for (qsizetype from = 0;;) {
        const qsizetype p = t.indexOf(u'@', from);
        if (p < 0)
            return;
        from = p + 1;
        if (p == 0 || p + 1 >= t.size() || !t[p - 1].isLetterOrNumber() || !t[p + 1].isLetterOrNumber()
            || inside(out, p))
            continue;
        qsizetype b = p;
        while (b > 0 && isMailCharacter(t[b - 1]))
            --b;
        qsizetype e = p + 1;
        while (e < t.size() && isMailCharacter(t[e]))
            ++e;
        // "nome@empresa.com." ends the sentence, not the address.
        while (e > p + 1 && !t[e - 1].isLetterOrNumber())
            --e;
        out.append({b, e});
        from = e;
    }
}

bool isEntityName(QStringView name)
{
    static constexpr QStringView Names[] = {
        u"amp",    u"lt",     u"gt",     u"quot",   u"apos",   u"nbsp",   u"copy",   u"reg",    u"trade",
        u"hellip", u"mdash",  u"ndash",  u"laquo",  u"raquo",  u"lsquo",  u"rsquo",  u"ldquo",  u"rdquo",
        u"sbquo",  u"bdquo",  u"euro",   u"pound",  u"yen",    u"cent",   u"curren", u"deg",    u"plusmn",
        u"times",  u"divide", u"middot", u"bull",   u"sect",   u"para",   u"ordf",   u"ordm",   u"iexcl",
        u"iquest", u"shy",    u"micro",  u"frac12", u"frac14", u"frac34", u"sup1",   u"sup2",   u"sup3",
        u"szlig",  u"brvbar", u"macr",   u"acute",  u"cedil",  u"uml",    u"not",    u"dagger", u"permil",
        u"lsaquo", u"rsaquo", u"thinsp", u"ensp",   u"emsp",   u"zwnj",   u"zwj",
    };
    for (QStringView known : Names)
        if (name == known)
            return true;
    // Accented letters: "aacute", "Ccedil", "otilde", "AElig", "oslash"...
    static constexpr QStringView Accents[] = {u"acute", u"grave", u"circ", u"uml",  u"tilde", u"cedil",
                                              u"ring",  u"slash", u"lig",  u"Elig", u"th"};
    if (name.size() < 3 || !isAsciiLetter(name[0]))
        return false;
    for (QStringView accent : Accents)
        if (name.mid(1) == accent || (name.size() > 2 && name.mid(2) == accent && isAsciiLetter(name[1])))
            return true;
    return false;
}

} // namespace

qsizetype placeholderLength(QStringView text, qsizetype i)
{
    if (i >= text.size() || isEscapedPair(text, i))
        return 0;
    if (text[i] == u'%')
        return percentLength(text, i);
    if (text[i] == u'{')
        return braceLength(text, i);
    return 0;
}

bool isEscapedPair(QStringView text, qsizetype i)
{
    if (i + 1 >= text.size())
        return false;
    const QChar c = text[i];
    return (c == u'%' || c == u'{' || c == u'}') && text[i + 1] == c;
}

qsizetype entityLength(QStringView text, qsizetype i)
{
    const qsizetype n = text.size();
    if (i + 2 >= n || text[i] != u'&')
        return 0;
    qsizetype k = i + 1;
    if (text[k] == u'#') {
        ++k;
        const bool hex = k < n && (text[k] == u'x' || text[k] == u'X');
        if (hex)
            ++k;
        const qsizetype digits = k;
        while (k < n && k - digits < 7 && (hex ? isHexDigit(text[k]) : isAsciiDigit(text[k])))
            ++k;
        return k > digits && k < n && text[k] == u';' ? k + 1 - i : 0;
    }
    // Only names HTML defines for the characters screen texts use: a caption
    // may well read "Sair do &programa;", a shortcut mark on "p".
    const qsizetype name = k;
    while (k < n && k - name < 10 && (isAsciiLetter(text[k]) || isAsciiDigit(text[k])))
        ++k;
    return k < n && text[k] == u';' && isEntityName(text.mid(name, k - name)) ? k + 1 - i : 0;
}

void findAddresses(QStringView text, Spans& out)
{
    out.clear();
    // Most texts hold no address: one pass looks for a character each form
    // needs, before anything slower does. (One loop over a short text costs
    // less than a library search per character.)
    bool slash = false;
    bool at = false;
    QVarLengthArray<qsizetype, 2> wwwDots;
    const QChar* d = text.data();
    for (qsizetype i = 0; i < text.size(); ++i) {
        switch (d[i].unicode()) {
        case u'/':
            slash = true;
            break;
        case u'@':
            at = true;
            break;
        case u'.':
            if (wwwBefore(text, i))
                wwwDots.append(i);
            break;
        default:
            break;
        }
    }
    if (slash)
        findSchemes(text, out);
    for (qsizetype dot : wwwDots)
        addWww(text, dot, out);
    if (at)
        findMail(text, out);
    std::sort(out.begin(), out.end(), [](const Span& a, const Span& b) { return a.begin < b.begin; });
}

bool isUrlEscape(QStringView text, qsizetype i)
{
    return i + 2 < text.size() && text[i] == u'%' && isHexDigit(text[i + 1]) && isHexDigit(text[i + 2]);
}

} // namespace trd::quality
