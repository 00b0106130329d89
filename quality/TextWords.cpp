#include "TextWords.h"

namespace trd::quality {

namespace {

bool wordChar(QChar c)
{
    return c.isLetterOrNumber();
}

bool joiner(QChar c)
{
    return c == u'\'' || c == u'-' || c == u'’';
}

} // namespace

void textWords(QStringView text, std::vector<TextWord>& out)
{
    out.clear();
    const qsizetype n = text.size();
    qsizetype i = 0;
    while (i < n) {
        // "&&" draws one "&": it separates words as any other mark does.
        if (!wordChar(text[i]) && !(text[i] == u'&' && i + 1 < n && wordChar(text[i + 1]))) {
            ++i;
            continue;
        }
        const qsizetype start = i;
        if (text[i] == u'&')
            ++i;
        while (i < n) {
            const QChar c = text[i];
            if (wordChar(c)) {
                ++i;
            } else if ((joiner(c) || c == u'&') && i + 1 < n && wordChar(text[i + 1]) && wordChar(text[i - 1])) {
                ++i;
            } else {
                break;
            }
        }
        out.push_back({start, i - start});
    }
}

void foldWord(QStringView word, QString& out)
{
    // Written in place: resize keeps the storage where clear() would give it
    // back, so a text of many words folds each into the same buffer.
    out.resize(word.size());
    QChar* to = out.data();
    qsizetype n = 0;
    for (const QChar c : word) {
        const char16_t u = c.unicode();
        if (u == u'&')
            continue;
        if (u < 0x80)
            to[n++] = QChar(u >= u'A' && u <= u'Z' ? char16_t(u + 32) : u);
        else
            to[n++] = c == u'’' ? QChar(u'\'') : c.toLower();
    }
    out.truncate(n);
}

} // namespace trd::quality
