#include "SpellChecker.h"

#include "HunspellFiles.h"

#include <QDir>
#include <QFile>
#include <QFileInfo>
#include <QSaveFile>
#include <QTextStream>

#include <hunspell/hunspell.hxx>

namespace trd::quality {

namespace {

// Enough for every word of a long editing session; past it the cache starts over.
constexpr qsizetype MaxKnownWords = 100000;

} // namespace

std::unique_ptr<SpellChecker> SpellChecker::open(const SpellSettings& settings, const QString& language)
{
    const QString dictionary = settings.dictionaryFor(language);
    if (dictionary.isEmpty())
        return nullptr;
    return openFiles(settings.affixFile(dictionary), settings.wordFile(dictionary), settings.userWordsFile(dictionary));
}

std::unique_ptr<SpellChecker> SpellChecker::openFiles(const QString& affixFile, const QString& wordFile,
                                                      const QString& userWordsFile)
{
    HunspellFiles opened = openHunspellFiles(affixFile, wordFile);
    if (!opened.hunspell)
        return nullptr;
    const bool utf8 = opened.utf8;
    std::unique_ptr<SpellChecker> checker(new SpellChecker(std::move(opened.hunspell), userWordsFile));
    checker->m_utf8 = utf8;
    QFile words(userWordsFile);
    if (words.open(QIODevice::ReadOnly | QIODevice::Text)) {
        QTextStream in(&words);
        in.setEncoding(QStringConverter::Utf8);
        std::string encoded;
        for (QString line; in.readLineInto(&line);)
            if (!line.trimmed().isEmpty() && checker->encode(line.trimmed(), encoded))
                checker->m_hunspell->add(encoded);
    }
    return checker;
}

SpellChecker::SpellChecker(std::unique_ptr<Hunspell> hunspell, QString userWordsFile)
    : m_hunspell(std::move(hunspell)), m_userWordsFile(std::move(userWordsFile))
{
}

SpellChecker::~SpellChecker() = default;

bool SpellChecker::encode(const QString& word, std::string& out) const
{
    if (m_utf8) {
        out = word.toStdString();
        return true;
    }
    for (QChar c : word)
        if (c.unicode() > 0xFF)
            return false;
    out = word.toLatin1().toStdString();
    return true;
}

QString SpellChecker::decode(const std::string& text) const
{
    return m_utf8 ? QString::fromStdString(text) : QString::fromLatin1(text.data(), qsizetype(text.size()));
}

bool SpellChecker::isCorrect(const QString& word) const
{
    if (const auto known = m_known.constFind(word); known != m_known.cend())
        return *known;
    std::string encoded;
    const bool correct = !encode(word, encoded) || m_hunspell->spell(encoded);
    if (m_known.size() >= MaxKnownWords)
        m_known.clear();
    m_known.insert(word, correct);
    return correct;
}

QList<SpellingWord> SpellChecker::misspelt(QStringView text) const
{
    QList<SpellingWord> wrong;
    const QList<SpellingWord> words = spellingWords(text);
    for (const SpellingWord& w : words)
        if (!isCorrect(w.word))
            wrong.append(w);
    return wrong;
}

QStringList SpellChecker::suggestions(const QString& word, int max) const
{
    std::string encoded;
    if (!encode(word, encoded))
        return {};
    QStringList list;
    for (const std::string& s : m_hunspell->suggest(encoded)) {
        if (list.size() >= max)
            break;
        list << decode(s);
    }
    return list;
}

bool SpellChecker::addUserWord(const QString& word, QString* error)
{
    const QString clean = word.trimmed();
    if (clean.isEmpty())
        return true;
    QStringList words;
    QFile current(m_userWordsFile);
    if (current.open(QIODevice::ReadOnly | QIODevice::Text))
        words = QString::fromUtf8(current.readAll()).split(u'\n', Qt::SkipEmptyParts);
    current.close();
    if (!words.contains(clean)) {
        words << clean;
        // Whole or not at all: a list cut in half would lose the user's words.
        QDir().mkpath(QFileInfo(m_userWordsFile).absolutePath());
        QSaveFile file(m_userWordsFile);
        if (!file.open(QIODevice::WriteOnly | QIODevice::Text) || file.write(words.join(u'\n').toUtf8() + '\n') < 0
            || !file.commit()) {
            if (error)
                *error = QStringLiteral("Não foi possível gravar a lista de palavras %1: %2.")
                             .arg(m_userWordsFile, file.errorString());
            return false;
        }
    }
    std::string encoded;
    if (encode(clean, encoded))
        m_hunspell->add(encoded);
    m_known.insert(clean, true);
    return true;
}

} // namespace trd::quality
