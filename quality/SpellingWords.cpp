#include "SpellingWords.h"

#include "Tokens.h"

#include <algorithm>

namespace trd::quality {

namespace {

bool isApostrophe(QChar c)
{
    return c == u'\'' || c.unicode() == 0x2019;
}

// A character that joins two letters into one word: "d'água", "e-mail", "&Salvar".
bool joins(QStringView t, qsizetype i)
{
    const QChar c = t[i];
    if (!isApostrophe(c) && c != u'-' && c != u'&')
        return false;
    if (c == u'&' && i + 1 < t.size() && t[i + 1] == u'&')
        return false;
    return i + 1 < t.size() && t[i + 1].isLetterOrNumber() && (c == u'&' || (i > 0 && t[i - 1].isLetterOrNumber()));
}

bool allCapitals(QStringView word)
{
    bool letters = false;
    for (QChar c : word) {
        if (c.isLower())
            return false;
        letters = letters || c.isLetter();
    }
    return letters;
}

} // namespace

QList<SpellingWord> spellingWords(QStringView t)
{
    QList<SpellingWord> words;
    Spans addresses;
    findAddresses(t, addresses);
    int next = 0;
    qsizetype i = 0;
    while (i < t.size()) {
        if (next < addresses.size() && i >= addresses[next].begin) {
            i = std::max(i, addresses[next].end);
            ++next;
            continue;
        }
        if (const qsizetype len = placeholderLength(t, i)) {
            i += len;
            continue;
        }
        if (isEscapedPair(t, i)) {
            i += 2;
            continue;
        }
        if (const qsizetype len = entityLength(t, i)) {
            i += len;
            continue;
        }
        if (!t[i].isLetterOrNumber() && !(t[i] == u'&' && joins(t, i))) {
            ++i;
            continue;
        }
        const qsizetype start = i;
        bool digits = false;
        QString word;
        while (i < t.size() && (t[i].isLetterOrNumber() || joins(t, i))) {
            digits = digits || t[i].isDigit();
            if (t[i] != u'&')
                word += t[i];
            ++i;
        }
        if (!digits && !allCapitals(word) && !word.isEmpty())
            words.append({start, i - start, word});
    }
    return words;
}

} // namespace trd::quality
