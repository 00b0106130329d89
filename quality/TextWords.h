#pragma once
// The words of a text as the glossary reads them: runs of letters and
// digits, an apostrophe or a hyphen between two of them inside the word
// ("d'água", "NF-e"), a shortcut mark ignored ("&Pedido", "Pe&dido"), case
// folded. Anything else separates words, so a term is never found inside a
// longer word.
#include <QString>
#include <QStringView>

#include <vector>

namespace trd::quality {

struct TextWord {
    qsizetype start = 0; // in the text, marks included
    qsizetype length = 0;
};

// Appends the words of `text` to `out` (cleared first).
void textWords(QStringView text, std::vector<TextWord>& out);
// The word as it is compared: lower case, without the shortcut mark; into
// `out`, whose storage is reused.
void foldWord(QStringView word, QString& out);

} // namespace trd::quality
