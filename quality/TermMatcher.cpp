#include "TermMatcher.h"

#include <algorithm>

namespace trd::quality {

namespace {

// Enough words for a long editing session or a language's rows; past it the
// words' keys are looked up again (the keys' numbers stay).
constexpr qsizetype MaxWords = 200000;
// The same for the pairs of words whose terms are kept.
constexpr qsizetype MaxStarts = 200000;

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

namespace {

// FNV-1a over the UTF-16 units: words are short, and this is a few cycles a
// character.
std::uint64_t spellingHash(QStringView word)
{
    std::uint64_t h = 1469598103934665603ULL;
    for (const QChar c : word)
        h = (h ^ c.unicode()) * 1099511628211ULL;
    return h;
}

} // namespace

std::size_t WordKeys::slotOf(QStringView folded, std::uint64_t hash) const
{
    const std::size_t mask = m_slots.size() - 1;
    for (std::size_t i = std::size_t(hash) & mask;; i = (i + 1) & mask) {
        const std::uint32_t s = m_slots[i];
        if (s == 0)
            return i;
        const Known& k = m_known[s - 1];
        if (k.hash == hash && k.length == std::size_t(folded.size())
            && std::equal(folded.begin(), folded.end(), m_spellings.begin() + k.at,
                          [](QChar a, char16_t b) { return a.unicode() == b; }))
            return i;
    }
}

void WordKeys::growSlots()
{
    m_slots.assign(std::max<std::size_t>(1024, m_slots.size() * 2), 0);
    const std::size_t mask = m_slots.size() - 1;
    for (std::size_t k = 0; k < m_known.size(); ++k) {
        std::size_t i = std::size_t(m_known[k].hash) & mask;
        while (m_slots[i] != 0)
            i = (i + 1) & mask;
        m_slots[i] = std::uint32_t(k + 1);
    }
}

WordKeys::Range WordKeys::keysOf(QStringView folded)
{
    if ((m_known.size() + 1) * 2 > m_slots.size())
        growSlots();
    const std::uint64_t hash = spellingHash(folded);
    const std::size_t slot = slotOf(folded, hash);
    if (m_slots[slot] != 0)
        return m_known[m_slots[slot] - 1].keys;
    const QString word = folded.toString();
    const WordForms::Keys keys = m_forms.keys(word);
    Range r{static_cast<std::uint32_t>(m_known.size()), static_cast<std::uint32_t>(m_flat.size()), 0, 0, 0};
    for (const QString& form : keys.forms)
        m_flat.push_back(idOf(form));
    r.forms = static_cast<std::uint16_t>(keys.forms.size());
    for (const QString& stem : keys.stems)
        if (word.startsWith(stem))
            m_flat.push_back(idOf(stem));
    r.leading = static_cast<std::uint16_t>(m_flat.size() - r.first);
    for (const QString& stem : keys.stems)
        if (!word.startsWith(stem))
            m_flat.push_back(idOf(stem));
    r.count = static_cast<std::uint16_t>(m_flat.size() - r.first);
    m_known.push_back(
        {hash, static_cast<std::uint32_t>(m_spellings.size()), static_cast<std::uint32_t>(word.size()), r});
    m_spellings.insert(m_spellings.end(), word.utf16(), word.utf16() + word.size());
    m_slots[slot] = static_cast<std::uint32_t>(m_known.size());
    return r;
}

void WordKeys::startText()
{
    if (m_known.size() >= std::size_t(MaxWords)) {
        m_known.clear();
        m_slots.clear();
        m_spellings.clear();
        m_flat.clear();
        ++m_generation;
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
    m_listed.assign(m_compiled.size(), 0);
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

void TermMatcher::readText(QStringView text, WordKeys& keys, KeyedText& out, bool positions)
{
    keys.startText();
    textWords(text, out.words);
    out.keys.clear();
    out.byKey.clear();
    for (std::size_t i = 0; i < out.words.size(); ++i) {
        foldWord(text.mid(out.words[i].start, out.words[i].length), out.scratch);
        out.keys.push_back(keys.keysOf(out.scratch));
    }
    if (!positions)
        return;
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

bool TermMatcher::leadingWordsMatch(std::size_t at, const Phrase& phrase) const
{
    const std::size_t count = std::min<std::size_t>(phrase.words.size(), 2);
    if (at + count > m_source.keys.size())
        return false;
    for (std::size_t w = 0; w < count; ++w) {
        const WordKeys::Range r = m_source.keys[at + w];
        if (!wordMatches(m_sourceKeys.at(r), r, phrase.words[w]))
            return false;
    }
    return true;
}

TermMatcher::Span TermMatcher::startingAt(std::size_t at)
{
    const std::size_t words = m_source.keys.size();
    const WordKeys::Range r = m_source.keys[at];
    const quint64 pair = (quint64(r.word) << 32) | (at + 1 < words ? quint64(m_source.keys[at + 1].word) + 1 : 0);
    if (const auto known = m_starts.constFind(pair); known != m_starts.cend())
        return *known;
    Span span{static_cast<std::uint32_t>(m_startTerms.size()), 0};
    if (++m_pairNumber == 0) { // wrapped: start the marks over
        std::fill(m_listed.begin(), m_listed.end(), 0);
        m_pairNumber = 1;
    }
    // Each term once, where its keys first lead to it: the order the terms
    // of one word are reported in.
    const auto list = [&](const std::vector<int>& candidates) {
        for (int t : candidates) {
            if (m_listed[std::size_t(t)] == m_pairNumber)
                continue;
            m_listed[std::size_t(t)] = m_pairNumber;
            if (leadingWordsMatch(at, m_compiled[std::size_t(t)].source))
                m_startTerms.push_back(t);
        }
    };
    const int* k = m_sourceKeys.at(r);
    for (std::uint32_t j = 0; j < r.count; ++j) {
        if (const auto single = m_byFirstKey.constFind(k[j]); single != m_byFirstKey.cend())
            list(*single);
        if (at + 1 == words || m_byPair.isEmpty())
            continue;
        const WordKeys::Range r2 = m_source.keys[at + 1];
        const int* k2 = m_sourceKeys.at(r2);
        for (std::uint32_t j2 = 0; j2 < r2.count; ++j2)
            if (const auto found = m_byPair.constFind(pairKey(k[j], k2[j2])); found != m_byPair.cend())
                list(*found);
    }
    span.count = static_cast<std::uint32_t>(m_startTerms.size()) - span.first;
    m_starts.insert(pair, span);
    return span;
}

std::vector<int> TermMatcher::termsIn(QStringView source, QStringView program)
{
    if (m_terms.isEmpty())
        return {};
    if (m_hasLast && source == m_lastSource && program == m_lastProgram)
        return m_lastFound;
    std::vector<int> found;
    readText(source, m_sourceKeys, m_source, false);
    // The pairs are numbered by the words' numbers: forgotten with them.
    if (m_sourceKeys.generation() != m_startsGeneration || m_starts.size() >= MaxStarts) {
        m_starts.clear();
        m_startTerms.clear();
        m_startsGeneration = m_sourceKeys.generation();
    }
    if (++m_textNumber == 0) { // wrapped: start the marks over
        std::fill(m_seen.begin(), m_seen.end(), 0);
        m_textNumber = 1;
    }
    for (std::size_t i = 0; i < m_source.keys.size(); ++i) {
        const Span span = startingAt(i);
        for (std::uint32_t n = 0; n < span.count; ++n) {
            const int t = m_startTerms[span.first + n];
            if (m_seen[std::size_t(t)] == m_textNumber
                || (!m_terms[t].program.isEmpty() && !appliesTo(m_terms[t], program)))
                continue;
            // The first two words are the pair's; a longer term needs the rest.
            const Phrase& phrase = m_compiled[std::size_t(t)].source;
            if (phrase.words.size() > 2 && !matchesAt(m_source, m_sourceKeys, i, phrase, false))
                continue;
            m_seen[std::size_t(t)] = m_textNumber;
            found.push_back(t);
        }
    }
    // resize and append keep the storage: no allocation per row.
    m_lastSource.resize(0);
    m_lastSource.append(source);
    m_lastProgram.resize(0);
    m_lastProgram.append(program);
    m_lastFound = found;
    m_hasLast = true;
    return found;
}

void TermMatcher::readDestination(QStringView destination)
{
    readText(destination, m_destinationKeys, m_destination, true);
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
    readText(source, m_sourceKeys, m_source, false);
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
