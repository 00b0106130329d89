#pragma once
// Finds a glossary's terms in source texts and their translations in
// destination texts, each side with its language's word forms
// (WordForms.h): a term's words are found whatever their inflection, in
// order, next to each other, and never inside a longer word.
//
// Why it is fast enough to run on every row of a language and on every key
// typed: each phrase of the glossary is read into word keys once; each word
// of a text is looked up once per matcher (the keys of the words met are
// kept, each distinct word numbered); the terms that begin at a word depend
// only on that word and the next, so they are worked out once per pair of
// words met and kept too, and a text then costs a look-up per word. The
// source of the last text read is remembered, as typing changes only the
// destination. One matcher serves one thread.
#include "GlossaryTerm.h"
#include "TextWords.h"
#include "WordForms.h"

#include <QHash>
#include <QList>
#include <QString>
#include <QStringView>

#include <cstdint>
#include <vector>

namespace trd::quality {

// The keys of the words of one language, each key an interned number.
class WordKeys {
public:
    explicit WordKeys(WordForms& forms) : m_forms(forms) { }

    // A word's keys in one run: its forms (its own spelling first), the
    // stems it begins with ("custom" of "customers"), the other stems
    // ("pedir" of "pedido").
    struct Range {
        std::uint32_t word = 0; // the word's number among those met
        std::uint32_t first = 0;
        std::uint16_t forms = 0;
        std::uint16_t leading = 0; // forms + the stems the word begins with
        std::uint16_t count = 0;
    };
    // Before reading a text: the words met are forgotten when they are
    // many, never in the middle of a text whose ranges are being kept.
    void startText();
    // The keys of a folded word (TextWords.h).
    Range keysOf(QStringView folded);
    int idOf(const QString& key);
    const int* at(Range r) const { return m_flat.data() + r.first; }
    bool stems() const { return m_forms.stems(); }
    // Changes when the words met are forgotten (their numbers with them).
    std::uint32_t generation() const { return m_generation; }

private:
    // The words met, by their spelling: a table of their own rather than a
    // QHash<QString, ...>, whose hashing of every word of every row was
    // most of the time of a language's check.
    struct Known {
        std::uint64_t hash;
        std::uint32_t at; // the spelling in m_spellings
        std::uint32_t length;
        Range keys;
    };
    std::size_t slotOf(QStringView folded, std::uint64_t hash) const;
    void growSlots();

    WordForms& m_forms;
    QHash<QString, int> m_ids; // key -> number, stable for the matcher's life
    std::vector<Known> m_known; // words met -> their keys in m_flat
    std::vector<std::uint32_t> m_slots; // open addressing: index into m_known + 1, 0 empty
    std::vector<char16_t> m_spellings;
    std::vector<int> m_flat;
    std::uint32_t m_generation = 0;
};

// A text read into its words' keys.
struct KeyedText {
    std::vector<TextWord> words;
    std::vector<WordKeys::Range> keys;
    std::vector<std::pair<int, int>> byKey; // (key, word) sorted: where each key is
    QString scratch;
};

// A word of a phrase (a term's source words, a translation), as WordForms.h
// matches it.
struct PhraseWord {
    int self = 0; // its own spelling
    bool isStem = false; // a stem of itself: every form and derived word matches
    std::vector<int> forms; // sorted
    std::vector<int> leading; // the stems it begins with, sorted
};

struct Phrase {
    std::vector<PhraseWord> words;
    bool isEmpty() const { return words.empty(); }
};

class TermMatcher {
public:
    TermMatcher(QList<GlossaryTerm> terms, WordForms& sourceForms, WordForms& destinationForms);

    const QList<GlossaryTerm>& terms() const { return m_terms; }

    // The terms found in `source` that apply to `program`, by index into
    // terms(), in the order they first appear; each once.
    std::vector<int> termsIn(QStringView source, QStringView program);

    // After termsIn: whether the destination holds, whatever its inflection,
    // one of the term's preferred translations; one of its forbidden ones
    // (which, else -1); its source words as written (do not translate).
    void readDestination(QStringView destination);
    bool hasPreferred(int term) const;
    int forbiddenFound(int term) const;
    bool hasUntranslated(int term) const;

    // Where the term's words are in the last source read: start and length of
    // each occurrence in the text (the panel and the insert key need it).
    std::vector<std::pair<qsizetype, qsizetype>> occurrences(QStringView source, int term);

private:
    struct Compiled {
        Phrase source;
        Phrase sourceInDestination; // the source words as the destination reads them
        std::vector<Phrase> preferred;
        std::vector<Phrase> forbidden;
    };
    Phrase compile(const QString& text, WordKeys& keys);
    // `positions`: also where each key stands (KeyedText::byKey), which only
    // the destination's look-ups need.
    void readText(QStringView text, WordKeys& keys, KeyedText& out, bool positions);
    struct Span {
        std::uint32_t first = 0;
        std::uint32_t count = 0;
    };
    // The terms whose first words (one or two) are the text's words at `at`
    // and the next, in the order the keys lead to them.
    Span startingAt(std::size_t at);
    bool leadingWordsMatch(std::size_t at, const Phrase& phrase) const;
    bool matchesAt(const KeyedText& text, const WordKeys& keys, std::size_t at, const Phrase& phrase, bool exact) const;
    bool contains(const KeyedText& text, const WordKeys& keys, const Phrase& phrase, bool exact) const;

    QList<GlossaryTerm> m_terms;
    WordKeys m_sourceKeys;
    WordKeys m_destinationKeys;
    std::vector<Compiled> m_compiled;
    QHash<int, std::vector<int>> m_byFirstKey; // a key of a one-word term -> terms
    QHash<quint64, std::vector<int>> m_byPair; // keys of a longer term's first two words -> terms
    // (word, next word + 1, 0 at the end) -> the terms starting there, in m_startTerms.
    QHash<quint64, Span> m_starts;
    std::vector<int> m_startTerms;
    std::uint32_t m_startsGeneration = 0;
    std::vector<std::uint32_t> m_listed; // per term: the pair it was last listed for
    std::uint32_t m_pairNumber = 0;
    // The last source read with its program and the terms found in it.
    QString m_lastSource;
    QString m_lastProgram;
    std::vector<int> m_lastFound;
    bool m_hasLast = false;
    KeyedText m_source;
    KeyedText m_destination;
    std::vector<std::uint32_t> m_seen; // per term: the text it was last found in
    std::uint32_t m_textNumber = 0;
};

} // namespace trd::quality
