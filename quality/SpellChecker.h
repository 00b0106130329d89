#pragma once
// The spelling of destination texts with a Hunspell dictionary and the
// user's own list of words for it. Opening a dictionary reads megabytes:
// callers with a window open it off the interface thread and hand the
// checker over when it is ready; after that one thread uses it at a time.
#include "SpellSettings.h"
#include "SpellingWords.h"

#include <QHash>
#include <QList>
#include <QString>
#include <QStringList>
#include <QStringView>

#include <memory>

class Hunspell;

namespace trd::quality {

class SpellChecker {
public:
    // The checker of a language; null when the settings name no dictionary
    // for it or its files are not there: such a language is not spelt.
    static std::unique_ptr<SpellChecker> open(const SpellSettings& settings, const QString& language);
    // The checker of one dictionary's files; null when they cannot be read.
    static std::unique_ptr<SpellChecker> openFiles(const QString& affixFile, const QString& wordFile,
                                                   const QString& userWordsFile);
    ~SpellChecker();
    SpellChecker(const SpellChecker&) = delete;
    SpellChecker& operator=(const SpellChecker&) = delete;

    bool isCorrect(const QString& word) const;
    // The words of `text` the dictionary does not know (SpellingWords.h says
    // which words are looked up).
    QList<SpellingWord> misspelt(QStringView text) const;
    QStringList suggestions(const QString& word, int max = 8) const;
    // Adds the word to the user's list, on disk and for this checker; false
    // with `error` when the list cannot be written.
    bool addUserWord(const QString& word, QString* error);

private:
    SpellChecker(std::unique_ptr<Hunspell> hunspell, QString userWordsFile);
    // The word in the dictionary's encoding; false when it cannot be written
    // in it (no dictionary word has such a letter).
    bool encode(const QString& word, std::string& out) const;
    QString decode(const std::string& text) const;

    std::unique_ptr<Hunspell> m_hunspell;
    QString m_userWordsFile;
    bool m_utf8 = true;
    mutable QHash<QString, bool> m_known; // words looked up, the typing repeats them
};

} // namespace trd::quality
