#include "Reconcile.h"

#include "MemoryText.h"

#include <algorithm>
#include <map>
#include <numeric>
#include <tuple>
#include <unordered_map>

namespace trd::server::release {

namespace {

std::string joinKey(std::string_view program, std::string_view component, std::string_view source)
{
    std::string key;
    key.reserve(program.size() + component.size() + source.size() + 2);
    key.append(program).append(1, '\0').append(component).append(1, '\0').append(source);
    return key;
}

template <typename A, typename B>
bool keyLess(const A& a, const B& b)
{
    return std::tie(a.program, a.component, a.source) < std::tie(b.program, b.component, b.source);
}

// Rows that can give their translation: a text someone wrote and looked at.
// An untranslated row carries nothing but its status, and carrying a text in
// N as D would promote a copy of the source nobody checked.
bool carriable(const LanguageRow& row)
{
    return (row.status == "T" || row.status == "D") && !row.destination.empty();
}

struct Work {
    const ReleaseIndex& release;
    const std::vector<LanguageRow>& rows;
    const ReconcileOptions& options;
    LanguagePlan plan;

    std::vector<std::size_t> leaving; // row indices, key order
    std::vector<std::string> leavingText; // their sources as the memory compares them
    std::vector<std::string> leavingTranslation;
    std::vector<char> rowTaken;
    std::vector<std::size_t> fresh; // key indices without a row, key order
    std::vector<std::string> freshText;
    std::vector<char> carried;
    std::vector<char> ruledOut; // a guess between texts: carried from nothing

    const ReleaseKey& key(std::size_t j) const { return release.keys()[fresh[j]]; }
    const LanguageRow& row(std::size_t i) const { return rows[leaving[i]]; }

    void matchKeys()
    {
        std::vector<char> matched(release.keys().size(), 0);
        for (std::size_t r = 0; r < rows.size(); ++r) {
            const LanguageRow& row = rows[r];
            if (!row.obsolete)
                ++plan.liveBefore;
            const auto k = release.find(row.program, row.component, row.source);
            if (k) {
                matched[*k] = 1;
                if (row.obsolete)
                    plan.revived.push_back(r);
                else
                    plan.kept.push_back(*k);
            } else if (!row.obsolete) {
                leaving.push_back(r);
            }
        }
        std::sort(leaving.begin(), leaving.end(),
                  [&](std::size_t a, std::size_t b) { return keyLess(rows[a], rows[b]); });
        std::sort(plan.revived.begin(), plan.revived.end(),
                  [&](std::size_t a, std::size_t b) { return keyLess(rows[a], rows[b]); });
        for (const std::size_t k : release.ordered())
            if (!matched[k])
                fresh.push_back(k);
        for (const std::size_t i : leaving) {
            leavingText.push_back(memory::memoryText(rows[i].source));
            leavingTranslation.push_back(memory::memoryText(rows[i].destination));
        }
        for (const std::size_t k : fresh)
            freshText.push_back(memory::memoryText(release.keys()[k].source));
        rowTaken.assign(leaving.size(), 0);
        carried.assign(fresh.size(), 0);
        ruledOut.assign(fresh.size(), 0);
    }

    bool agree(const std::vector<std::size_t>& candidates) const
    {
        for (const std::size_t i : candidates)
            if (leavingTranslation[i] != leavingTranslation[candidates.front()])
                return false;
        return true;
    }

    void take(std::size_t j, std::size_t i, int similarity, bool samePlace)
    {
        rowTaken[i] = 1;
        carried[j] = 1;
        (samePlace ? plan.reworded : plan.moved).push_back({fresh[j], leaving[i], similarity});
    }

    // Identical sources, nearest first: the same component, the same
    // program, a component of the same name in another program (a screen
    // renamed), anywhere else.
    void identical()
    {
        std::unordered_map<std::string_view, std::vector<std::size_t>> bySource;
        for (std::size_t i = 0; i < leaving.size(); ++i)
            if (carriable(row(i)))
                bySource[leavingText[i]].push_back(i);
        for (std::size_t j = 0; j < fresh.size(); ++j) {
            const auto it = bySource.find(freshText[j]);
            if (it == bySource.end())
                continue;
            const ReleaseKey& k = key(j);
            const auto rank = [&](std::size_t i) {
                const LanguageRow& r = row(i);
                if (r.program == k.program)
                    return r.component == k.component ? 0 : 1;
                return r.component == k.component ? 2 : 3;
            };
            int best = 4;
            for (const std::size_t i : it->second)
                if (!rowTaken[i])
                    best = std::min(best, rank(i));
            std::vector<std::size_t> nearest;
            for (const std::size_t i : it->second)
                if (!rowTaken[i] && rank(i) == best)
                    nearest.push_back(i);
            if (nearest.empty() || !agree(nearest))
                continue;
            take(j, nearest.front(), 100, best == 0);
        }
    }

    struct Pair {
        memory::Similarity similarity;
        std::size_t j, i;
    };

    // Similar sources inside one program and component, most similar first.
    void similar()
    {
        std::map<std::string, std::pair<std::vector<std::size_t>, std::vector<std::size_t>>> places;
        for (std::size_t i = 0; i < leaving.size(); ++i)
            if (!rowTaken[i] && carriable(row(i)))
                places[joinKey(row(i).program, row(i).component, {})].first.push_back(i);
        for (std::size_t j = 0; j < fresh.size(); ++j)
            if (!carried[j]) {
                const auto place = places.find(joinKey(key(j).program, key(j).component, {}));
                if (place != places.end())
                    place->second.second.push_back(j);
            }
        for (auto& [name, sides] : places) {
            std::vector<Pair> pairs = candidatePairs(sides.first, sides.second);
            takePairs(pairs);
        }
    }

    std::vector<Pair> candidatePairs(const std::vector<std::size_t>& rowsHere,
                                     const std::vector<std::size_t>& keysHere) const
    {
        std::vector<Pair> pairs;
        const double t = options.threshold;
        for (const std::size_t j : keysHere) {
            const std::string& a = freshText[j];
            for (const std::size_t i : rowsHere) {
                const std::string& b = leavingText[i];
                // The distance is at least the difference of the lengths:
                // a pair that cannot reach the threshold is not measured.
                const auto longer = static_cast<double>(std::max(a.size(), b.size()));
                const auto gap = static_cast<double>(a.size() > b.size() ? a.size() - b.size() : b.size() - a.size());
                if (100.0 * (longer - gap) < t * longer)
                    continue;
                const memory::Similarity s = memory::similarity(a, b);
                if (s.meets(t))
                    pairs.push_back({s, j, i});
            }
        }
        std::sort(pairs.begin(), pairs.end(), [](const Pair& x, const Pair& y) {
            const int c = memory::compare(x.similarity, y.similarity);
            if (c != 0)
                return c > 0;
            return std::tie(x.j, x.i) < std::tie(y.j, y.i);
        });
        return pairs;
    }

    void takePairs(const std::vector<Pair>& pairs)
    {
        // Pairs of one new key at one similarity stand together: the run.
        for (std::size_t start = 0; start < pairs.size();) {
            std::size_t end = start + 1;
            while (end < pairs.size() && pairs[end].j == pairs[start].j
                   && memory::compare(pairs[end].similarity, pairs[start].similarity) == 0)
                ++end;
            const std::size_t j = pairs[start].j;
            if (!carried[j] && !ruledOut[j]) {
                std::vector<std::size_t> free;
                for (std::size_t p = start; p < end; ++p)
                    if (!rowTaken[pairs[p].i])
                        free.push_back(pairs[p].i);
                if (!free.empty()) {
                    if (agree(free))
                        take(j, free.front(), pairs[start].similarity.shownPercent(), true);
                    else
                        ruledOut[j] = 1;
                }
            }
            start = end;
        }
    }

    // The memory's exact translated match for the keys carried from nothing:
    // the language's T rows of the same source grouped by their text, the
    // larger group offered, equal groups none.
    void added()
    {
        std::unordered_map<std::string_view, std::optional<std::size_t>> offer;
        if (options.memory) {
            for (std::size_t j = 0; j < fresh.size(); ++j)
                if (!carried[j])
                    offer.emplace(freshText[j], std::nullopt);
            struct Group {
                std::size_t count = 0;
                std::size_t first = 0;
            };
            std::unordered_map<std::string, std::map<std::string, Group>> groups;
            std::string text;
            for (std::size_t r = 0; r < rows.size(); ++r) {
                const LanguageRow& row = rows[r];
                if (row.status != "T" || row.destination.empty())
                    continue;
                memory::memoryText(row.source, text);
                if (!offer.count(text))
                    continue;
                Group& g = groups[text][memory::memoryText(row.destination)];
                if (g.count++ == 0 || keyLess(row, rows[g.first]))
                    g.first = r;
            }
            for (auto& [source, variants] : groups) {
                const Group* best = nullptr;
                bool tie = false;
                for (const auto& [translation, g] : variants) {
                    if (best && g.count == best->count)
                        tie = true;
                    else if (!best || g.count > best->count) {
                        best = &g;
                        tie = false;
                    }
                }
                if (best && !tie)
                    offer[source] = best->first;
            }
        }
        for (std::size_t j = 0; j < fresh.size(); ++j)
            if (!carried[j]) {
                const auto it = offer.find(freshText[j]);
                plan.added.push_back({fresh[j], it == offer.end() ? std::nullopt : it->second});
            }
        for (std::size_t i = 0; i < leaving.size(); ++i)
            if (!rowTaken[i])
                plan.vanished.push_back(leaving[i]);
    }
};

} // namespace

std::uint64_t ReleaseIndex::hash(std::string_view program, std::string_view component, std::string_view source)
{
    std::uint64_t h = memory::textHash(source);
    h = (h ^ memory::textHash(component)) * 0x9E3779B97F4A7C15ULL;
    h = (h ^ memory::textHash(program)) * 0x9E3779B97F4A7C15ULL;
    return h ^ (h >> 29);
}

ReleaseIndex::ReleaseIndex(const std::vector<ReleaseKey>& keys) : m_keys(keys)
{
    std::size_t size = 16;
    while (size < 2 * keys.size())
        size *= 2;
    m_slots.assign(size, 0);
    m_mask = size - 1;
    for (std::size_t i = 0; i < keys.size(); ++i) {
        std::uint64_t at = hash(keys[i].program, keys[i].component, keys[i].source) & m_mask;
        while (m_slots[at] != 0)
            at = (at + 1) & m_mask;
        m_slots[at] = static_cast<std::uint32_t>(i + 1);
    }
    m_ordered.resize(keys.size());
    std::iota(m_ordered.begin(), m_ordered.end(), std::size_t{0});
    std::sort(m_ordered.begin(), m_ordered.end(),
              [&](std::size_t a, std::size_t b) { return keyLess(keys[a], keys[b]); });
}

std::optional<std::size_t> ReleaseIndex::find(std::string_view program, std::string_view component,
                                              std::string_view source) const
{
    for (std::uint64_t at = hash(program, component, source) & m_mask; m_slots[at] != 0; at = (at + 1) & m_mask) {
        const ReleaseKey& k = m_keys[m_slots[at] - 1];
        if (k.source == source && k.component == component && k.program == program)
            return m_slots[at] - 1;
    }
    return std::nullopt;
}

LanguagePlan reconcile(const ReleaseIndex& release, const std::vector<LanguageRow>& rows,
                       const ReconcileOptions& options)
{
    Work work{release, rows, options, {}, {}, {}, {}, {}, {}, {}, {}, {}};
    work.matchKeys();
    work.identical();
    work.similar();
    work.added();
    auto byKey = [&](const Carried& a, const Carried& b) {
        return keyLess(release.keys()[a.key], release.keys()[b.key]);
    };
    std::sort(work.plan.reworded.begin(), work.plan.reworded.end(), byKey);
    std::sort(work.plan.moved.begin(), work.plan.moved.end(), byKey);
    return std::move(work.plan);
}

} // namespace trd::server::release
