#include "MemoryIndex.h"

#include "EditDistance.h"

#include <algorithm>
#include <cmath>
#include <cstring>

namespace trd::server::memory {

namespace {

// Row ids below this (or below four times the rows held) go into the dense
// vector: four bytes an id. Databases hand out ids one after another, so this
// is every id in practice; anything else falls back to a map.
constexpr std::int64_t DenseIds = 1 << 20;

// The tail is searched text by text; past this share of the language the
// bigram lists are rebuilt.
constexpr std::size_t TailFloor = 2048;
constexpr std::size_t TailShare = 8; // 1/8 of the entries in the lists

// The largest distance at which a pair whose longer text has `longer`
// characters still reaches the threshold; -1 when none does.
int maxDistance(int longer, double threshold)
{
    int d = static_cast<int>(std::floor(longer - threshold * longer / 100.0));
    d = std::min(d, longer);
    while (d >= 0 && !Similarity{d, longer}.meets(threshold))
        --d;
    while (d >= 0 && d < longer && Similarity{d + 1, longer}.meets(threshold))
        ++d;
    return d;
}

// A store of texts that never moves what it holds: chunks that double up to
// 4 MiB, so a small language does not hold megabytes.
class TextStore {
public:
    const char* add(std::string_view text)
    {
        if (m_chunks.empty() || m_used + text.size() > m_size) {
            m_size = std::max<std::size_t>(text.size(),
                                           m_chunks.empty() ? 64 * 1024 : std::min<std::size_t>(m_size * 2, 4 << 20));
            m_chunks.push_back(std::make_unique<char[]>(m_size));
            m_capacity += m_size;
            m_used = 0;
        }
        char* at = m_chunks.back().get() + m_used;
        if (!text.empty())
            std::memcpy(at, text.data(), text.size());
        m_used += text.size();
        m_bytes += text.size();
        return at;
    }
    std::size_t bytes() const { return m_bytes; }
    std::size_t capacity() const { return m_capacity; }

private:
    std::vector<std::unique_ptr<char[]>> m_chunks;
    std::size_t m_size = 0, m_used = 0, m_bytes = 0, m_capacity = 0;
};

// A vector's capacity brought to its size plus `room`.
template <typename T>
void keepWithRoom(std::vector<T>& v, std::size_t room)
{
    if (v.capacity() <= v.size() + room)
        return;
    std::vector<T> kept;
    kept.reserve(v.size() + room);
    kept.insert(kept.end(), v.begin(), v.end());
    v.swap(kept);
}

} // namespace

struct MemoryIndex::Language {
    std::string code;
    std::uint16_t number = 0;
    std::vector<Entry> entries;
    TextStore store;
    std::vector<std::uint32_t> slots; // open addressing by text: entry + 1, 0 empty
    std::shared_ptr<const GramIndex> grams;
    std::vector<std::uint32_t> tail; // indexed entries not in the lists
    // One bit an entry, set while it has a row that can be suggested: what a
    // search tests for every candidate, small enough to stay in the cache.
    std::vector<std::uint64_t> offered;

    bool isOffered(std::uint32_t e) const { return (e >> 6) < offered.size() && ((offered[e >> 6] >> (e & 63)) & 1); }
    void setOffered(std::uint32_t e, bool on)
    {
        if (offered.size() <= (e >> 6))
            offered.resize((e >> 6) + 1 + offered.size() / 2, 0);
        if (on)
            offered[e >> 6] |= std::uint64_t(1) << (e & 63);
        else
            offered[e >> 6] &= ~(std::uint64_t(1) << (e & 63));
    }

    std::string_view text(std::uint32_t e) const { return {entries[e].text, entries[e].length}; }

    std::size_t slotOf(std::string_view t) const
    {
        const std::size_t mask = slots.size() - 1;
        std::size_t i = textHash(t) & mask;
        while (slots[i] != 0 && text(slots[i] - 1) != t)
            i = (i + 1) & mask;
        return i;
    }
    void grow()
    {
        std::vector<std::uint32_t> old = std::move(slots);
        slots.assign(std::max<std::size_t>(64, old.size() * 2), 0);
        for (const std::uint32_t s : old)
            if (s != 0)
                slots[slotOf(text(s - 1))] = s;
    }
};

std::uint64_t rowKeyHash(std::string_view program, std::string_view component, std::string_view source)
{
    thread_local std::string key;
    key.assign(program);
    key += '\x1f';
    key += component;
    key += '\x1f';
    key += source;
    return textHash(key);
}

MemoryIndex::MemoryIndex() = default;
MemoryIndex::~MemoryIndex() = default;

MemoryIndex::Language& MemoryIndex::languageFor(std::string_view code)
{
    if (const auto it = m_languageNumbers.find(code); it != m_languageNumbers.end())
        return *m_languages[it->second];
    auto language = std::make_unique<Language>();
    language->code = std::string(code);
    language->number = static_cast<std::uint16_t>(m_languages.size());
    m_languageNumbers.emplace(language->code, language->number);
    m_languages.push_back(std::move(language));
    return *m_languages.back();
}

const MemoryIndex::Language* MemoryIndex::language(std::string_view code) const
{
    const auto it = m_languageNumbers.find(code);
    return it == m_languageNumbers.end() ? nullptr : m_languages[it->second].get();
}

std::vector<std::string> MemoryIndex::languageCodes() const
{
    std::vector<std::string> codes;
    for (const auto& [code, number] : m_languageNumbers)
        codes.push_back(code);
    return codes;
}

std::uint32_t MemoryIndex::entryFor(Language& language, std::string_view text)
{
    if ((language.entries.size() + 1) * 2 > language.slots.size())
        language.grow();
    const std::size_t slot = language.slotOf(text);
    if (language.slots[slot] != 0)
        return language.slots[slot] - 1;
    Entry entry;
    const std::string_view kept = text.substr(0, 0xFFFF);
    entry.text = language.store.add(kept);
    entry.length = static_cast<std::uint32_t>(kept.size());
    thread_local std::vector<std::uint16_t> grams;
    distinctBigrams(kept, grams);
    entry.grams = static_cast<std::uint32_t>(std::min<std::size_t>(grams.size(), 0x7FFF));
    language.entries.push_back(entry);
    language.slots[slot] = static_cast<std::uint32_t>(language.entries.size());
    return static_cast<std::uint32_t>(language.entries.size() - 1);
}

std::optional<std::uint32_t> MemoryIndex::findRow(std::int64_t id) const
{
    if (id >= 0 && static_cast<std::size_t>(id) < m_rowOfId.size() && m_rowOfId[static_cast<std::size_t>(id)] != 0)
        return m_rowOfId[static_cast<std::size_t>(id)] - 1;
    if (const auto it = m_farIds.find(id); it != m_farIds.end())
        return it->second;
    return std::nullopt;
}

void MemoryIndex::put(const MemoryRow& row)
{
    Language& language = languageFor(row.language);
    thread_local std::string text;
    memoryText(row.source, text);
    const std::uint32_t e = entryFor(language, text);
    std::uint32_t r;
    if (const auto found = findRow(row.id)) {
        r = *found;
        unlink(r);
    } else {
        if (!m_freeRows.empty()) {
            r = m_freeRows.back();
            m_freeRows.pop_back();
        } else {
            r = static_cast<std::uint32_t>(m_rows.size());
            m_rows.emplace_back();
        }
        const std::int64_t denseLimit = std::max<std::int64_t>(DenseIds, 4 * static_cast<std::int64_t>(m_rowCount + 1));
        if (row.id >= 0 && row.id < denseLimit) {
            if (static_cast<std::size_t>(row.id) >= m_rowOfId.size())
                m_rowOfId.resize(std::max<std::size_t>(static_cast<std::size_t>(row.id) + 1, m_rowOfId.size() * 3 / 2));
            m_rowOfId[static_cast<std::size_t>(row.id)] = r + 1;
        } else {
            m_farIds[row.id] = r;
        }
        ++m_rowCount;
    }
    Row& x = m_rows[r];
    x.id = row.id;
    x.changed = row.changed;
    memoryText(row.destination, text);
    x.translation = textHash(text);
    x.translated = !row.destination.empty();
    x.key = rowKeyHash(row.program, row.component, row.source);
    x.status = row.status;
    x.language = language.number;
    x.entry = e;
    link(r);
}

void MemoryIndex::remove(std::int64_t id)
{
    const auto found = findRow(id);
    if (!found)
        return;
    unlink(*found);
    m_rows[*found] = Row{};
    m_freeRows.push_back(*found);
    if (id >= 0 && static_cast<std::size_t>(id) < m_rowOfId.size() && m_rowOfId[static_cast<std::size_t>(id)] != 0)
        m_rowOfId[static_cast<std::size_t>(id)] = 0;
    else
        m_farIds.erase(id);
    --m_rowCount;
}

void MemoryIndex::link(std::uint32_t r)
{
    Row& row = m_rows[r];
    Language& language = *m_languages[row.language];
    Entry& entry = language.entries[row.entry];
    row.next = entry.firstRow;
    entry.firstRow = r;
    ++entry.rows;
    if (row.suggestible()) {
        if (entry.suggestible++ == 0)
            language.setOffered(row.entry, true);
        if (!entry.indexed) {
            entry.indexed = 1;
            language.tail.push_back(row.entry);
        }
    }
}

void MemoryIndex::unlink(std::uint32_t r)
{
    Row& row = m_rows[r];
    Language& language = *m_languages[row.language];
    Entry& entry = language.entries[row.entry];
    std::uint32_t* link = &entry.firstRow;
    while (*link != r && *link != None)
        link = &m_rows[*link].next;
    if (*link == r)
        *link = row.next;
    row.next = None;
    --entry.rows;
    if (row.suggestible() && --entry.suggestible == 0)
        language.setOffered(row.entry, false);
}

std::optional<std::uint32_t> MemoryIndex::entryOf(const Language& language, std::string_view text) const
{
    if (language.slots.empty())
        return std::nullopt;
    const std::uint32_t s = language.slots[language.slotOf(text)];
    if (s == 0)
        return std::nullopt;
    return s - 1;
}

const MemoryIndex::Entry& MemoryIndex::entry(const Language& language, std::uint32_t e) const
{
    return language.entries[e];
}

bool MemoryIndex::hasEntry(const Language& language, std::uint32_t e) const
{
    return e < language.entries.size();
}

std::string_view MemoryIndex::text(const Language& language, std::uint32_t e) const
{
    return language.text(e);
}

std::vector<std::uint32_t> MemoryIndex::rowsOf(const Language& language, std::uint32_t e) const
{
    std::vector<std::uint32_t> rows;
    for (std::uint32_t r = language.entries[e].firstRow; r != None; r = m_rows[r].next)
        rows.push_back(r);
    return rows;
}

std::uint32_t MemoryIndex::bestRow(const Language& language, std::uint32_t e) const
{
    std::uint32_t best = None;
    for (std::uint32_t r = language.entries[e].firstRow; r != None; r = m_rows[r].next) {
        const Row& row = m_rows[r];
        if (!row.suggestible())
            continue;
        if (best == None) {
            best = r;
            continue;
        }
        const Row& b = m_rows[best];
        if (row.status != b.status         ? row.status == 'T'
                : row.changed != b.changed ? row.changed > b.changed
                                           : row.id < b.id)
            best = r;
    }
    return best;
}

std::uint32_t MemoryIndex::translationCount(const Language& language, std::uint32_t e) const
{
    std::vector<std::uint64_t> hashes;
    for (std::uint32_t r = language.entries[e].firstRow; r != None; r = m_rows[r].next)
        if (m_rows[r].suggestible())
            hashes.push_back(m_rows[r].translation);
    std::sort(hashes.begin(), hashes.end());
    return static_cast<std::uint32_t>(std::unique(hashes.begin(), hashes.end()) - hashes.begin());
}

bool MemoryIndex::better(const Language& language, const Hit& a, const Hit& b) const
{
    if (const int c = compare(a.similarity, b.similarity); c != 0)
        return c > 0;
    const Row& ra = m_rows[a.best];
    const Row& rb = m_rows[b.best];
    if (ra.status != rb.status)
        return ra.status == 'T';
    if (ra.changed != rb.changed)
        return ra.changed > rb.changed;
    return language.text(a.entry) < language.text(b.entry);
}

void MemoryIndex::offer(const Language& language, std::vector<Hit>& top, std::size_t limit, Hit hit) const
{
    const auto at = std::find_if(top.begin(), top.end(), [&](const Hit& h) { return better(language, hit, h); });
    if (at == top.end() && top.size() >= limit)
        return;
    top.insert(at, hit);
    if (top.size() > limit)
        top.pop_back();
}

std::vector<MemoryIndex::Hit> MemoryIndex::fuzzy(const Language& language, std::string_view text, double threshold,
                                                 std::size_t limit, SearchCounts* searchCounts) const
{
    SearchCounts local;
    SearchCounts& stats = searchCounts ? *searchCounts : local;
    std::vector<Hit> top;
    if (limit == 0 || text.empty() || threshold > 100)
        return top;
    const int m = static_cast<int>(text.size());
    const auto self = entryOf(language, text);
    // The lengths a match can have: |m - n| is itself a lower bound of the distance.
    const int shortest = m - maxDistance(m, threshold);
    int longest = m;
    while (longest < 0xFFFF && longest + 1 - m <= maxDistance(longest + 1, threshold))
        ++longest;

    thread_local std::vector<std::uint16_t> grams;
    distinctBigrams(text, grams);
    const int gramCount = static_cast<int>(grams.size());
    // The largest distance that still reaches the threshold, by the length
    // of the longer text.
    thread_local std::vector<int> allowed;
    allowed.resize(static_cast<std::size_t>(longest) + 1);
    for (int n = shortest; n <= longest; ++n)
        allowed[static_cast<std::size_t>(n)] = maxDistance(std::max(m, n), threshold);
    // A text within distance d keeps at least max(|Gq|, |Gt|) − 2d of the
    // bigrams, counted from either side (GramIndex.h).
    const auto lowestDistance = [&](int length, int textGrams, int shared) {
        const int fromLength = std::abs(m - length);
        if (shared < 0)
            return fromLength;
        return std::max(fromLength, (std::max(gramCount, textGrams) - shared + 1) / 2);
    };
    // Once the top is full, a text whose distance cannot be below `lowest`
    // and that would still rank below the last of the top is left out; one
    // that could tie is not (the ties' order decides).
    const auto outranked = [&](int lowest, int length) {
        return top.size() >= limit && compare(Similarity{lowest, std::max(m, length)}, top.back().similarity) < 0;
    };

    // What the distance needs, copied from the band's arrays, so that the
    // loop below reads the candidates in order rather than the entries.
    struct Candidate {
        std::uint32_t entry;
        std::int32_t shared; // bigrams shared with the query; -1 when not counted (the tail)
        std::uint32_t length;
        std::uint32_t grams;
        std::int32_t lowest; // the distance the counts leave possible at least
        const char* text;
    };
    thread_local std::vector<Candidate> candidates;
    thread_local std::vector<std::uint16_t> counts;
    thread_local std::vector<std::uint32_t> starts;
    thread_local std::vector<Candidate> ordered;

    const EditDistancePattern pattern(text);
    const LetterCounts letters = letterCounts(text);
    // Distances go a lane each (EditDistancePattern::distances); the
    // texts lie anywhere in the store, so those a few candidates ahead are
    // asked for from memory while these are computed.
    constexpr std::size_t Ahead = 16;
    constexpr std::size_t Lanes = EditDistancePattern::Lanes;
    const Candidate* batch[Lanes];
    std::size_t batched = 0;
    const auto settle = [&] {
        std::string_view texts[Lanes];
        int distances[Lanes];
        for (std::size_t k = 0; k < Lanes; ++k)
            texts[k] = k < batched ? std::string_view(batch[k]->text, batch[k]->length) : batch[0]->text;
        if (batched == Lanes)
            pattern.distances(texts, distances);
        else
            for (std::size_t k = 0; k < batched; ++k)
                distances[k] = pattern.distance(texts[k]);
        for (std::size_t k = 0; k < batched; ++k) {
            const Similarity s{distances[k], std::max(m, static_cast<int>(batch[k]->length))};
            if (s.meets(threshold) && (top.size() < limit || compare(s, top.back().similarity) >= 0))
                offer(language, top, limit, Hit{batch[k]->entry, s, bestRow(language, batch[k]->entry)});
        }
        stats.verified += batched;
        batched = 0;
    };
    // The candidates gathered so far, most shared bigrams first: the
    // likeliest matches fill the top early, and its bound then spares the
    // distance of most of the rest.
    const auto verify = [&] {
        starts.assign(static_cast<std::size_t>(gramCount) + 3, 0);
        for (const Candidate& c : candidates)
            ++starts[static_cast<std::size_t>(gramCount - c.shared + 1)];
        for (std::size_t i = 1; i < starts.size(); ++i)
            starts[i] += starts[i - 1];
        ordered.resize(candidates.size());
        for (const Candidate& c : candidates)
            ordered[--starts[static_cast<std::size_t>(gramCount - c.shared + 1)]] = c;
        stats.candidates += ordered.size();
        for (std::size_t i = 0; i < ordered.size(); ++i) {
            if (i + Ahead < ordered.size()) {
                const Candidate& next = ordered[i + Ahead];
                __builtin_prefetch(next.text);
                if (next.length > 64)
                    __builtin_prefetch(next.text + 64);
            }
            const Candidate& c = ordered[i];
            const int n = static_cast<int>(c.length);
            if (c.lowest > allowed[static_cast<std::size_t>(n)] || outranked(c.lowest, n))
                continue;
            batch[batched++] = &c;
            if (batched == Lanes)
                settle();
        }
        if (batched > 0)
            settle();
        candidates.clear();
    };

    candidates.clear();
    if (language.grams) {
        // The bands nearest the query's length first: a match there ranks
        // above any of a band farther off, so once the top is full the farther
        // bands whose lengths alone rank below it are not read at all.
        const int first = LengthBands::bandOf(static_cast<std::size_t>(shortest));
        const int last = LengthBands::bandOf(static_cast<std::size_t>(longest));
        // The length of band b nearest the query's, and the rank it bounds.
        const auto nearest = [&](int b) {
            const int low = std::max(static_cast<int>(std::min<std::size_t>(LengthBands::low(b), 0xFFFF)), shortest);
            const int high = std::min(static_cast<int>(std::min<std::size_t>(LengthBands::high(b), 0xFFFF)), longest);
            return std::clamp(m, low, high);
        };
        const auto bound = [&](int b) { return Similarity{std::abs(nearest(b) - m), std::max(m, nearest(b))}; };
        int below = LengthBands::bandOf(static_cast<std::size_t>(m)) - 1;
        int above = below + 1;
        while (below >= first || above <= last) {
            const bool up = below < first || (above <= last && compare(bound(above), bound(below)) >= 0);
            const int b = up ? above++ : below--;
            // Farther bands on this side bound lower still.
            if (outranked(bound(b).distance, nearest(b))) {
                if (up)
                    above = last + 1;
                else
                    below = first - 1;
                continue;
            }
            const GramIndex::Band& band = language.grams->band(b);
            if (band.entries.empty())
                continue;
            counts.assign(band.entries.size(), 0);
            for (const std::uint16_t g : grams)
                stats.counted += GramIndex::count(band, g, counts.data());
            const std::uint16_t* lengths = band.lengths.data();
            const std::uint16_t* bandGrams = band.gramCounts.data();
            for (std::size_t pos = 0; pos < band.entries.size(); ++pos) {
                const int n = lengths[pos];
                if (n < shortest || n > longest)
                    continue;
                const int shared = counts[pos];
                int lowest = lowestDistance(n, bandGrams[pos], shared);
                if (lowest > allowed[static_cast<std::size_t>(n)] || outranked(lowest, n))
                    continue;
                // Then the letters' counts (EditDistance.h), a few
                // instructions against the distance's pass over the text.
                lowest = std::max(lowest, letterDistance(letters, band.letters[pos]));
                if (lowest > allowed[static_cast<std::size_t>(n)] || outranked(lowest, n))
                    continue;
                const std::uint32_t e = band.entries[pos];
                if (language.isOffered(e) && (!self || *self != e))
                    candidates.push_back(
                        {e, shared, static_cast<std::uint32_t>(n), bandGrams[pos], lowest, band.texts[pos]});
            }
            verify();
        }
    }
    for (const std::uint32_t e : language.tail) {
        const Entry& entry = language.entries[e];
        const int n = static_cast<int>(entry.length);
        if (language.isOffered(e) && n >= shortest && n <= longest && (!self || *self != e))
            candidates.push_back({e, -1, entry.length, entry.grams, std::abs(n - m), entry.text});
    }
    verify();
    return top;
}

std::vector<MemoryIndex::Hit> MemoryIndex::fuzzyBruteForce(const Language& language, std::string_view text,
                                                           double threshold, std::size_t limit) const
{
    std::vector<Hit> top;
    if (limit == 0 || text.empty() || threshold > 100)
        return top;
    const auto self = entryOf(language, text);
    const EditDistancePattern pattern(text);
    for (std::uint32_t e = 0; e < language.entries.size(); ++e) {
        if (language.entries[e].suggestible == 0 || (self && *self == e))
            continue;
        const std::string_view other = language.text(e);
        const Similarity s{pattern.distance(other), static_cast<int>(std::max(text.size(), other.size()))};
        if (s.meets(threshold))
            offer(language, top, limit, Hit{e, s, bestRow(language, e)});
    }
    return top;
}

void MemoryIndex::buildAllGrams()
{
    for (const auto& language : m_languages) {
        if (auto snapshot = gramSnapshot(language->code))
            installGrams(*snapshot, std::make_shared<const GramIndex>(snapshot->texts));
    }
    // The first load is done: what the vectors hold now is what they keep,
    // with room for some growth, rather than the up to double that growing
    // one row at a time left them.
    keepWithRoom(m_rows, m_rows.size() / 8);
    while (!m_rowOfId.empty() && m_rowOfId.back() == 0)
        m_rowOfId.pop_back();
    m_rowOfId.resize(m_rowOfId.size() + m_rowOfId.size() / 16, 0);
    m_rowOfId.shrink_to_fit();
    for (const auto& language : m_languages)
        keepWithRoom(language->entries, language->entries.size() / 16);
}

std::vector<std::string> MemoryIndex::languagesWantingGrams() const
{
    std::vector<std::string> wanting;
    for (const auto& language : m_languages) {
        const std::size_t listed = language->grams ? language->grams->entryCount() : 0;
        if (language->tail.size() > TailFloor + listed / TailShare)
            wanting.push_back(language->code);
    }
    return wanting;
}

std::optional<MemoryIndex::GramSnapshot> MemoryIndex::gramSnapshot(std::string_view code) const
{
    const Language* language = this->language(code);
    if (!language)
        return std::nullopt;
    GramSnapshot snapshot;
    snapshot.language = language->code;
    for (std::uint32_t e = 0; e < language->entries.size(); ++e)
        if (language->entries[e].suggestible > 0)
            snapshot.texts.push_back({e, language->text(e)});
    snapshot.tailSeen = language->tail.size();
    return snapshot;
}

void MemoryIndex::installGrams(const GramSnapshot& snapshot, std::shared_ptr<const GramIndex> grams)
{
    const auto found = m_languageNumbers.find(snapshot.language);
    if (found == m_languageNumbers.end())
        return;
    Language& language = *m_languages[found->second];
    // Entries of the snapshot are in the lists; any other that can be
    // suggested now (it became so after the snapshot) waits in the tail.
    std::vector<bool> listed(language.entries.size(), false);
    for (const GramIndex::Text& t : snapshot.texts)
        listed[t.entry] = true;
    language.tail.clear();
    for (std::uint32_t e = 0; e < language.entries.size(); ++e) {
        Entry& entry = language.entries[e];
        entry.indexed = listed[e] || entry.suggestible > 0 ? 1 : 0;
        if (!listed[e] && entry.suggestible > 0)
            language.tail.push_back(e);
    }
    language.tail.shrink_to_fit();
    language.grams = std::move(grams);
}

MemoryIndex::Usage MemoryIndex::usage() const
{
    Usage u;
    u.structure = m_rows.capacity() * sizeof(Row) + m_freeRows.capacity() * 4 + m_rowOfId.capacity() * 4
        + m_farIds.size() * 48 + m_languages.capacity() * sizeof(void*);
    std::vector<const GramIndex*> counted;
    for (const auto& language : m_languages) {
        u.texts += language->store.bytes();
        u.structure += sizeof(Language) + language->store.capacity() - language->store.bytes()
            + language->entries.capacity() * sizeof(Entry) + language->slots.capacity() * 4
            + language->tail.capacity() * 4 + language->offered.capacity() * 8;
        if (language->grams)
            u.structure += language->grams->memoryBytes();
    }
    return u;
}

} // namespace trd::server::memory
