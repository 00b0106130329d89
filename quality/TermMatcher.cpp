#include "TermMatcher.h"

#include <algorithm>

namespace trd::quality {

namespace {

// Enough words for a long editing session or a language's rows; past it the
// words' keys are looked up again (the keys' numbers stay).
constexpr qsizetype MaxWords = 200000;

bool hasForm(const int* keys, std::uint32_t count, const std::vector<int>& forms)
{
    // Both short (a word has one to four forms).
    for (std::uint32_t i = 0; i < count; ++i)
        if (std::binary_search(forms.begin(), forms.end(), keys[i]))
            return true;
    return false;
}

// The rule of WordForms.h: one form in common, the phrase's word is a stem
// the text word has, or both begin with one stem.
bool wordMatches(const int* keys, WordKeys::Range r, const PhraseWord& w)
{
    if (hasForm(keys, r.forms, w.forms))
        return true;
    if (w.isStem && std::find(keys + r.forms, keys + r.count, w.self) != keys + r.count)
        return true;
    return !w.leading.empty() && hasForm(keys + r.forms, r.leading - r.forms, w.leading);
}

quint64 pairKey(int a, int b)
{
    return (quint64(quint32(a)) << 32) | quint32(b);
}

// The keys a text word may meet the phrase's word by (wordMatches).
std::vector<int> indexKeys(const PhraseWord& w)
{
    std::vector<int> keys = w.forms;
    keys.insert(keys.end(), w.leading.begin(), w.leading.end());
    if (w.isStem)
        keys.push_back(w.self);
    std::sort(keys.begin(), keys.end());
    keys.erase(std::unique(keys.begin(), keys.end()), keys.end());
    return keys;
}

} // namespace

bool appliesTo(const GlossaryTerm& term, QStringView program)
{
    return term.program.isEmpty() || QStringView(term.program).compare(program, Qt::CaseInsensitive) == 0;
}

int WordKeys::idOf(const QString& key)
{
    auto id = m_ids.constFind(key);
    if (id == m_ids.cend())
        id = m_ids.insert(key, static_cast<int>(m_ids.size()));
    return *id;
}

WordKeys::Range WordKeys::keysOf(const QString& folded)
{
    if (const auto found = m_words.constFind(folded); found != m_words.cend())
        return *found;
    const WordForms::Keys keys = m_forms.keys(folded);
    Range r{static_cast<std::uint32_t>(m_flat.size()), 0, 0, 0};
    for (const QString& form : keys.forms)
        m_flat.push_back(idOf(form));
    r.forms = static_cast<std::uint16_t>(keys.forms.size());
    for (const QString& stem : keys.stems)
        if (folded.startsWith(stem))
            m_flat.push_back(idOf(stem));
    r.leading = static_cast<std::uint16_t>(m_flat.size() - r.first);
    for (const QString& stem : keys.stems)
        if (!folded.startsWith(stem))
            m_flat.push_back(idOf(stem));
    r.count = static_cast<std::uint16_t>(m_flat.size() - r.first);
    m_words.insert(folded, r);
    return r;
}

void WordKeys::startText()
{
    if (m_words.size() >= MaxWords) {
        m_words.clear();
        m_flat.clear();
    }
}

TermMatcher::TermMatcher(QList<GlossaryTerm> terms, WordForms& sourceForms, WordForms& destinationForms)
    : m_terms(std::move(terms)), m_sourceKeys(sourceForms), m_destinationKeys(destinationForms)
{
    m_compiled.reserve(std::size_t(m_terms.size()));
    for (qsizetype t = 0; t < m_terms.size(); ++t) {
        const GlossaryTerm& term = m_terms[t];
        Compiled c;
        c.source = compile(term.source, m_sourceKeys);
        c.sourceInDestination = compile(term.source, m_destinationKeys);
        // One phrase per translation, empty ones too: the indexes are the term's.
        for (const QString& p : term.preferred)
            c.preferred.push_back(compile(p, m_destinationKeys));
        for (const QString& f : term.forbidden)
            c.forbidden.push_back(compile(f, m_destinationKeys));
        if (!c.source.isEmpty()) {
            // A term of several words is looked for where two text words
            // hold keys of its first two: few candidates even when many terms
            // begin with one word.
            const std::vector<int> first = indexKeys(c.source.words[0]);
            if (c.source.words.size() == 1) {
                for (int key : first)
                    m_byFirstKey[key].push_back(int(t));
            } else {
                for (int a : first)
                    for (int b : indexKeys(c.source.words[1]))
                        m_byPair[pairKey(a, b)].push_back(int(t));
            }
        }
        m_compiled.push_back(std::move(c));
    }
    m_seen.assign(m_compiled.size(), 0);
}

Phrase TermMatcher::compile(const QString& text, WordKeys& keys)
{
    Phrase phrase;
    std::vector<TextWord> words;
    textWords(text, words);
    QString folded;
    for (const TextWord& w : words) {
        foldWord(QStringView(text).mid(w.start, w.length), folded);
        const WordKeys::Range r = keys.keysOf(folded);
        const int* k = keys.at(r);
        PhraseWord word;
        word.self = k[0];
        word.forms.assign(k, k + r.forms);
        word.leading.assign(k + r.forms, k + r.leading);
        word.isStem = std::find(k + r.forms, k + r.count, word.self) != k + r.count;
        std::sort(word.forms.begin(), word.forms.end());
        std::sort(word.leading.begin(), word.leading.end());
        phrase.words.push_back(std::move(word));
    }
    return phrase;
}

void TermMatcher::readText(QStringView text, WordKeys& keys, KeyedText& out)
{
    keys.startText();
    textWords(text, out.words);
    out.keys.clear();
    out.byKey.clear();
    for (std::size_t i = 0; i < out.words.size(); ++i) {
        foldWord(text.mid(out.words[i].start, out.words[i].length), out.scratch);
        out.keys.push_back(keys.keysOf(out.scratch));
    }
    for (std::size_t i = 0; i < out.keys.size(); ++i) {
        const int* k = keys.at(out.keys[i]);
        for (std::uint32_t j = 0; j < out.keys[i].count; ++j)
            out.byKey.emplace_back(k[j], int(i));
    }
    std::sort(out.byKey.begin(), out.byKey.end());
}

bool TermMatcher::matchesAt(const KeyedText& text, const WordKeys& keys, std::size_t at, const Phrase& phrase,
                            bool exact) const
{
    if (at + phrase.words.size() > text.keys.size())
        return false;
    for (std::size_t w = 0; w < phrase.words.size(); ++w) {
        const WordKeys::Range r = text.keys[at + w];
        if (exact ? keys.at(r)[0] != phrase.words[w].self : !wordMatches(keys.at(r), r, phrase.words[w]))
            return false;
    }
    return true;
}

bool TermMatcher::contains(const KeyedText& text, const WordKeys& keys, const Phrase& phrase, bool exact) const
{
    if (phrase.isEmpty())
        return false;
    // Only where the text has a key of the phrase's first word.
    const auto startsAt = [&](int key) {
        auto it = std::lower_bound(text.byKey.begin(), text.byKey.end(), std::pair<int, int>(key, -1));
        for (; it != text.byKey.end() && it->first == key; ++it)
            if (matchesAt(text, keys, std::size_t(it->second), phrase, exact))
                return true;
        return false;
    };
    const PhraseWord& first = phrase.words.front();
    if (exact)
        return startsAt(first.self);
    if (first.isStem && startsAt(first.self))
        return true;
    return std::any_of(first.forms.begin(), first.forms.end(), startsAt)
        || std::any_of(first.leading.begin(), first.leading.end(), startsAt);
}

std::vector<int> TermMatcher::termsIn(QStringView source, QStringView program)
{
    std::vector<int> found;
    if (m_terms.isEmpty())
        return found;
    readText(source, m_sourceKeys, m_source);
    if (++m_textNumber == 0) { // wrapped: start the marks over
        std::fill(m_seen.begin(), m_seen.end(), 0);
        m_textNumber = 1;
    }
    const auto consider = [&](const std::vector<int>& candidates, std::size_t at) {
        for (int t : candidates) {
            if (m_seen[std::size_t(t)] == m_textNumber || !appliesTo(m_terms[t], program))
                continue;
            if (matchesAt(m_source, m_sourceKeys, at, m_compiled[std::size_t(t)].source, false)) {
                m_seen[std::size_t(t)] = m_textNumber;
                found.push_back(t);
            }
        }
    };
    const std::size_t words = m_source.keys.size();
    for (std::size_t i = 0; i < words; ++i) {
        const WordKeys::Range r = m_source.keys[i];
        const int* k = m_sourceKeys.at(r);
        for (std::uint32_t j = 0; j < r.count; ++j) {
            if (const auto single = m_byFirstKey.constFind(k[j]); single != m_byFirstKey.cend())
                consider(*single, i);
            if (i + 1 == words || m_byPair.isEmpty())
                continue;
            const WordKeys::Range r2 = m_source.keys[i + 1];
            const int* k2 = m_sourceKeys.at(r2);
            for (std::uint32_t j2 = 0; j2 < r2.count; ++j2)
                if (const auto pair = m_byPair.constFind(pairKey(k[j], k2[j2])); pair != m_byPair.cend())
                    consider(*pair, i);
        }
    }
    return found;
}

void TermMatcher::readDestination(QStringView destination)
{
    readText(destination, m_destinationKeys, m_destination);
}

bool TermMatcher::hasPreferred(int term) const
{
    const Compiled& c = m_compiled[std::size_t(term)];
    return std::any_of(c.preferred.begin(), c.preferred.end(),
                       [&](const Phrase& p) { return contains(m_destination, m_destinationKeys, p, false); });
}

int TermMatcher::forbiddenFound(int term) const
{
    const Compiled& c = m_compiled[std::size_t(term)];
    for (std::size_t i = 0; i < c.forbidden.size(); ++i)
        if (contains(m_destination, m_destinationKeys, c.forbidden[i], false))
            return int(i);
    return -1;
}

bool TermMatcher::hasUntranslated(int term) const
{
    return contains(m_destination, m_destinationKeys, m_compiled[std::size_t(term)].sourceInDestination, true);
}

std::vector<std::pair<qsizetype, qsizetype>> TermMatcher::occurrences(QStringView source, int term)
{
    std::vector<std::pair<qsizetype, qsizetype>> out;
    readText(source, m_sourceKeys, m_source);
    const Phrase& phrase = m_compiled[std::size_t(term)].source;
    for (std::size_t i = 0; i < m_source.keys.size(); ++i)
        if (matchesAt(m_source, m_sourceKeys, i, phrase, false)) {
            const TextWord& first = m_source.words[i];
            const TextWord& last = m_source.words[i + phrase.words.size() - 1];
            out.emplace_back(first.start, last.start + last.length - first.start);
        }
    return out;
}

} // namespace trd::quality
