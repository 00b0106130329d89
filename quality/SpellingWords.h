#pragma once
// The words of a screen text whose spelling is looked up. Left out:
// placeholders ("%s", "{0}"), addresses, character entities, words written in
// capitals ("CPF", "OK": acronyms and codes) and words with digits ("MP3",
// "x64"). A shortcut mark inside a word is not part of its spelling: "&Salvar"
// and "Sa&lvar" are looked up as "Salvar".
#include <QList>
#include <QString>
#include <QStringView>

namespace trd::quality {

struct SpellingWord {
    qsizetype start = 0; // in the text, the mark included
    qsizetype length = 0;
    QString word; // as it is looked up: without the mark
};

QList<SpellingWord> spellingWords(QStringView text);

} // namespace trd::quality
