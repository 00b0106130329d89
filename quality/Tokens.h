#pragma once
// The pieces of a screen text that are not prose: format placeholders the
// program fills at run time, HTML character entities and addresses (web,
// e-mail). The checks and the spelling both step over them, so they are
// recognised in one place.
#include <QStringView>
#include <QVarLengthArray>

namespace trd::quality {

// Length of the format placeholder that starts at text[i] ('%' or '{'), 0
// when none starts there. Recognised:
// - printf forms: "%s", "%d", "%5.2f", "%-10s", "%*d", "%lu", "%#x";
// - indexed forms: Delphi's "%0:s", POSIX's "%1$s";
// - numbered forms "%1" to "%99" (and Qt's localised "%L1");
// - brace forms "{0}", "{0:N2}", "{1,-10}", "{2,8:C}".
// Not placeholders: "%%" and "{{" (literal characters, see isEscapedPair),
// "100%", "50% de" (no blank flag: in prose "% d" is a percent and a word),
// "%0", and "{" in prose ("{ nome }", "{a}").
qsizetype placeholderLength(QStringView text, qsizetype i);

// "%%", "{{" and "}}" at text[i]: one literal character written twice.
bool isEscapedPair(QStringView text, qsizetype i);

// Length of the character entity ("&amp;", "&eacute;", "&#39;", "&#x2F;") at
// text[i], 0 when none: it is no shortcut mark. Only HTML's names of the
// characters screen texts use count, so "&programa;" stays a mark on "p".
qsizetype entityLength(QStringView text, qsizetype i);

// Where an address runs: "http://...", "ftp://...", "www....", "nome@dominio".
struct Span {
    qsizetype begin;
    qsizetype end;
};
using Spans = QVarLengthArray<Span, 2>;

// The addresses of a text, in order. A sentence's closing punctuation and a
// closing bracket the address did not open are left outside it.
void findAddresses(QStringView text, Spans& out);

// A URL escape "%20" inside an address: no placeholder.
bool isUrlEscape(QStringView text, qsizetype i);

inline bool isBlank(QChar c)
{
    return c == u' ' || c == u'\t' || c.unicode() == 0xA0;
}

inline bool isLineBreak(QChar c)
{
    return c == u'\r' || c == u'\n';
}

inline bool isAsciiDigit(QChar c)
{
    return c.unicode() >= u'0' && c.unicode() <= u'9';
}

} // namespace trd::quality
