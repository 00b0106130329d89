#include "TranslationMemory.h"

#include "Log.h"
#include "RowFieldCopy.h"

#include <algorithm>
#include <iterator>
#include <cstdio>
#include <map>
#include <unordered_map>

namespace trd::server::memory {

namespace {

// Rows read again per statement after changes.
constexpr std::size_t RefreshChunk = 2000;
// Rows read per translation of the same source for its list of programs:
// a text repeated on a thousand screens costs no thousand rows a question.
constexpr std::size_t ProgramRows = 64;

MemoryRowDetail detailOf(std::int64_t id, const TranslationRowView& row)
{
    MemoryRowDetail d;
    d.id = id;
    copyRowText(d, row);
    d.changed = row.changed;
    d.obsolete = row.obsolete;
    return d;
}

MemoryRow memoryRow(std::int64_t id, const TranslationRowView& row)
{
    MemoryRow m;
    m.id = id;
    m.language = row.language;
    m.source = row.source;
    m.destination = row.destination;
    m.status = row.status.empty() ? 'N' : row.status[0];
    m.changed = row.changed;
    m.program = row.program;
    m.component = row.component;
    return m;
}

// The order rows are shown in: T before D, then the newest, then the lowest id.
bool shownBefore(const MemoryRowDetail& a, const MemoryRowDetail& b)
{
    if (a.status != b.status)
        return a.status == "T";
    if (a.changed != b.changed)
        return a.changed > b.changed;
    return a.id < b.id;
}

// Groups rows of one source by their translation with the shortcut marks
// removed: the variant most rows agree on first (a T one before a D one).
std::vector<TranslationVariant> variantsOf(const std::vector<const MemoryRowDetail*>& rows)
{
    std::map<std::string, std::vector<const MemoryRowDetail*>> byTranslation;
    for (const MemoryRowDetail* d : rows)
        byTranslation[memoryText(d->destination)].push_back(d);
    std::vector<TranslationVariant> variants;
    for (auto& [translation, group] : byTranslation) {
        std::sort(group.begin(), group.end(), [](const auto* a, const auto* b) { return shownBefore(*a, *b); });
        TranslationVariant v;
        v.best = *group.front();
        v.rows = group.size();
        for (const MemoryRowDetail* d : group) {
            if (v.statuses.find(d->status) == std::string::npos)
                v.statuses += d->status;
            v.programs.push_back(d->program);
        }
        std::sort(v.statuses.begin(), v.statuses.end(), [](char a, char b) { return a == 'T' && b != 'T'; });
        std::sort(v.programs.begin(), v.programs.end());
        v.programs.erase(std::unique(v.programs.begin(), v.programs.end()), v.programs.end());
        variants.push_back(std::move(v));
    }
    std::sort(variants.begin(), variants.end(), [](const TranslationVariant& a, const TranslationVariant& b) {
        if (a.best.status != b.best.status)
            return a.best.status == "T";
        if (a.rows != b.rows)
            return a.rows > b.rows;
        return shownBefore(a.best, b.best);
    });
    return variants;
}

bool suggestible(const MemoryRowDetail& d)
{
    return !d.destination.empty() && (d.status == "T" || d.status == "D");
}

} // namespace

TranslationMemory::TranslationMemory(StorageBackend& backend, SessionPool& sessions)
    : m_backend(backend), m_sessions(sessions), m_index(std::make_unique<MemoryIndex>())
{
}

TranslationMemory::~TranslationMemory()
{
    {
        std::lock_guard lock(m_queueMutex);
        m_stop = true;
    }
    m_wake.notify_all();
    if (m_thread.joinable())
        m_thread.join();
    m_backend.unwatchRowChanges(m_watch);
}

void TranslationMemory::start()
{
    if (m_thread.joinable())
        return;
    // Changes are followed before the rows are read, so a commit that the
    // read misses is still told, and read again after it.
    m_watch = m_backend.watchRowChanges([this](RowChanges changes) { onChanges(std::move(changes)); });
    {
        std::lock_guard lock(m_queueMutex);
        m_readAll = true;
        ++m_told;
    }
    m_thread = std::thread([this] { run(); });
}

void TranslationMemory::onChanges(RowChanges changes)
{
    {
        std::lock_guard lock(m_queueMutex);
        if (changes.everything)
            m_readAll = true;
        else
            m_pending.insert(m_pending.end(), changes.ids.begin(), changes.ids.end());
        ++m_told;
    }
    m_wake.notify_all();
}

bool TranslationMemory::waitReady(std::chrono::milliseconds timeout)
{
    std::unique_lock lock(m_queueMutex);
    return m_progress.wait_for(lock, timeout, [this] { return m_ready.load(); });
}

bool TranslationMemory::waitCaughtUp(std::chrono::milliseconds timeout)
{
    std::unique_lock lock(m_queueMutex);
    const std::uint64_t target = m_told;
    return m_progress.wait_for(lock, timeout, [&] { return m_applied >= target && m_ready.load(); });
}

bool TranslationMemory::pause(std::chrono::milliseconds wait)
{
    std::unique_lock lock(m_queueMutex);
    m_wake.wait_for(lock, wait, [this] { return m_stop; });
    return m_stop;
}

void TranslationMemory::run()
{
    std::chrono::milliseconds retry(500);
    for (;;) {
        std::vector<std::int64_t> ids;
        bool readAll = false;
        std::uint64_t upTo = 0;
        {
            std::unique_lock lock(m_queueMutex);
            m_wake.wait(lock, [this] { return m_stop || m_readAll || !m_pending.empty(); });
            if (m_stop)
                return;
            readAll = m_readAll;
            m_readAll = false;
            ids.swap(m_pending);
            upTo = m_told;
        }
        try {
            if (readAll) {
                rebuild(); // covers the ids told before it began
            } else {
                std::sort(ids.begin(), ids.end());
                ids.erase(std::unique(ids.begin(), ids.end()), ids.end());
                refresh(ids);
                maintainGrams();
            }
            retry = std::chrono::milliseconds(500);
            {
                std::lock_guard lock(m_queueMutex);
                m_applied = std::max(m_applied, upTo);
            }
            m_progress.notify_all();
        } catch (const std::exception& e) {
            // The database did not answer: keep what was asked and try again
            // later; the index meanwhile answers as it stands.
            logFormat(LogLevel::Warning, "trd-server: memória de tradução: %s; nova tentativa em %lld ms", e.what(),
                      static_cast<long long>(retry.count()));
            {
                std::lock_guard lock(m_queueMutex);
                if (readAll)
                    m_readAll = true;
                m_pending.insert(m_pending.end(), ids.begin(), ids.end());
            }
            m_session.reset();
            if (pause(retry))
                return;
            retry = std::min(retry * 2, std::chrono::milliseconds(30000));
        }
    }
}

void TranslationMemory::rebuild()
{
    const auto started = std::chrono::steady_clock::now();
    if (!m_session)
        m_session = m_backend.openSession();
    auto index = std::make_unique<MemoryIndex>();
    m_session->scanRows([&](std::int64_t id, const TranslationRowView& row) { index->put(memoryRow(id, row)); });
    index->buildAllGrams();
    {
        std::unique_lock lock(m_indexMutex);
        m_index.swap(index);
    }
    index.reset(); // the old one, outside the lock
    const double seconds = std::chrono::duration<double>(std::chrono::steady_clock::now() - started).count();
    m_buildSeconds = seconds;
    bool first = false;
    {
        std::lock_guard lock(m_queueMutex);
        first = !m_ready.exchange(true);
    }
    if (first)
        logFormat(LogLevel::Info, "trd-server: memória de tradução pronta: %zu linhas em %.1f s", m_index->rowCount(),
                  seconds);
    m_progress.notify_all();
}

void TranslationMemory::refresh(const std::vector<std::int64_t>& ids)
{
    if (!m_session)
        m_session = m_backend.openSession();
    for (std::size_t start = 0; start < ids.size(); start += RefreshChunk) {
        const std::vector<std::int64_t> chunk(
            ids.begin() + static_cast<std::ptrdiff_t>(start),
            ids.begin() + static_cast<std::ptrdiff_t>(std::min(ids.size(), start + RefreshChunk)));
        // Read outside the lock, applied inside: a row not found was deleted.
        struct Found {
            std::int64_t id;
            std::string language, source, destination, program, component;
            char status;
            double changed;
        };
        std::vector<Found> found;
        m_session->selectRowsById(chunk, [&](std::int64_t id, const TranslationRowView& row) {
            found.push_back({id, std::string(row.language), std::string(row.source), std::string(row.destination),
                             std::string(row.program), std::string(row.component),
                             row.status.empty() ? 'N' : row.status[0], row.changed});
        });
        std::sort(found.begin(), found.end(), [](const Found& a, const Found& b) { return a.id < b.id; });
        std::unique_lock lock(m_indexMutex);
        auto f = found.begin();
        for (const std::int64_t id : chunk) {
            if (f != found.end() && f->id == id) {
                m_index->put(
                    {id, f->language, f->source, f->destination, f->status, f->changed, f->program, f->component});
                ++f;
            } else {
                m_index->remove(id);
            }
        }
        m_refreshed += chunk.size();
    }
}

void TranslationMemory::maintainGrams()
{
    std::vector<std::string> languages;
    {
        std::shared_lock lock(m_indexMutex);
        languages = m_index->languagesWantingGrams();
    }
    for (const std::string& code : languages) {
        std::optional<MemoryIndex::GramSnapshot> snapshot;
        {
            std::shared_lock lock(m_indexMutex);
            snapshot = m_index->gramSnapshot(code);
        }
        if (!snapshot)
            continue;
        // The texts the snapshot points at never move (only this thread
        // replaces the index), so the lists are built outside the lock.
        auto grams = std::make_shared<const GramIndex>(snapshot->texts);
        std::unique_lock lock(m_indexMutex);
        m_index->installGrams(*snapshot, std::move(grams));
    }
}

void TranslationMemory::requireReady() const
{
    if (!m_ready)
        throw ServerError(ErrorKind::Unavailable,
                          "A memória de tradução do servidor ainda está sendo preparada; tente de novo em instantes.");
}

std::vector<MemoryRowDetail> TranslationMemory::details(const std::vector<std::int64_t>& ids)
{
    std::vector<MemoryRowDetail> rows;
    if (ids.empty())
        return rows;
    auto session = m_sessions.acquire();
    session->selectRowsById(ids,
                            [&](std::int64_t id, const TranslationRowView& row) { rows.push_back(detailOf(id, row)); });
    return rows;
}

Suggestions TranslationMemory::suggest(const MemoryQuery& query)
{
    requireReady();
    const std::string text = memoryText(query.source);
    // The same source's rows are grouped by translation in the index itself;
    // the database is read only for each group's best row and, for its list
    // of programs, a bounded number of its other rows.
    struct Group {
        std::int64_t best = 0;
        std::size_t rows = 0;
        std::string statuses;
        std::vector<std::int64_t> read; // best first
    };
    std::vector<Group> groups;
    struct Found {
        Similarity similarity;
        std::int64_t best;
        std::size_t rows, translations;
    };
    std::vector<Found> fuzzy;
    {
        std::shared_lock lock(m_indexMutex);
        if (const MemoryIndex::Language* language = m_index->language(query.language)) {
            if (query.exact)
                if (const auto e = m_index->entryOf(*language, text)) {
                    const std::uint64_t asked = rowKeyHash(query.program, query.component, query.source);
                    std::map<std::uint64_t, std::vector<std::uint32_t>> byTranslation;
                    for (const std::uint32_t r : m_index->rowsOf(*language, *e)) {
                        const MemoryIndex::Row& row = m_index->row(r);
                        if (row.suggestible() && row.key != asked)
                            byTranslation[row.translation].push_back(r);
                    }
                    for (auto& [translation, rows] : byTranslation) {
                        std::sort(rows.begin(), rows.end(), [&](std::uint32_t a, std::uint32_t b) {
                            const MemoryIndex::Row& x = m_index->row(a);
                            const MemoryIndex::Row& y = m_index->row(b);
                            if (x.status != y.status)
                                return x.status == 'T';
                            if (x.changed != y.changed)
                                return x.changed > y.changed;
                            return x.id < y.id;
                        });
                        Group g;
                        g.best = m_index->row(rows.front()).id;
                        g.rows = rows.size();
                        for (const std::uint32_t r : rows) {
                            if (g.statuses.find(m_index->row(r).status) == std::string::npos)
                                g.statuses += m_index->row(r).status;
                            if (g.read.size() < ProgramRows)
                                g.read.push_back(m_index->row(r).id);
                        }
                        std::sort(g.statuses.begin(), g.statuses.end(),
                                  [](char a, char b) { return a == 'T' && b != 'T'; });
                        groups.push_back(std::move(g));
                    }
                }
            if (query.fuzzy)
                for (const MemoryIndex::Hit& hit : m_index->fuzzy(*language, text, query.threshold, query.limit))
                    fuzzy.push_back({hit.similarity, m_index->row(hit.best).id,
                                     m_index->entry(*language, hit.entry).suggestible,
                                     m_index->translationCount(*language, hit.entry)});
        }
    }

    std::vector<std::int64_t> ids;
    for (const Group& g : groups)
        ids.insert(ids.end(), g.read.begin(), g.read.end());
    for (const Found& f : fuzzy)
        ids.push_back(f.best);
    std::unordered_map<std::int64_t, MemoryRowDetail> byId;
    for (MemoryRowDetail& d : details(ids))
        byId.emplace(d.id, std::move(d));

    Suggestions answer;
    for (const Group& g : groups) {
        const auto best = byId.find(g.best);
        if (best == byId.end())
            continue; // deleted meanwhile
        TranslationVariant v;
        v.best = best->second;
        v.rows = g.rows;
        v.statuses = g.statuses;
        for (const std::int64_t id : g.read)
            if (const auto it = byId.find(id); it != byId.end())
                v.programs.push_back(it->second.program);
        std::sort(v.programs.begin(), v.programs.end());
        v.programs.erase(std::unique(v.programs.begin(), v.programs.end()), v.programs.end());
        v.programsComplete = g.read.size() == g.rows;
        answer.exact.push_back(std::move(v));
    }
    // The variant most rows agree on first (a T one before a D one).
    std::sort(answer.exact.begin(), answer.exact.end(), [](const TranslationVariant& a, const TranslationVariant& b) {
        if (a.best.status != b.best.status)
            return a.best.status == "T";
        if (a.rows != b.rows)
            return a.rows > b.rows;
        return shownBefore(a.best, b.best);
    });
    for (const Found& f : fuzzy) {
        const auto it = byId.find(f.best);
        if (it == byId.end())
            continue; // deleted meanwhile
        answer.fuzzy.push_back({f.similarity, it->second, f.rows, f.translations});
    }
    return answer;
}

std::vector<MemoryRowDetail> TranslationMemory::sameSource(const MemoryQuery& query)
{
    requireReady();
    const std::string text = memoryText(query.source);
    std::vector<std::int64_t> ids;
    {
        std::shared_lock lock(m_indexMutex);
        if (const MemoryIndex::Language* language = m_index->language(query.language))
            if (const auto e = m_index->entryOf(*language, text))
                for (const std::uint32_t r : m_index->rowsOf(*language, *e))
                    ids.push_back(m_index->row(r).id);
    }
    std::vector<MemoryRowDetail> rows = details(ids);
    std::erase_if(rows, [&](const MemoryRowDetail& d) {
        return (d.program == query.program && d.component == query.component && d.source == query.source)
            || memoryText(d.source) != text || d.obsolete;
    });
    std::sort(rows.begin(), rows.end(), [](const MemoryRowDetail& a, const MemoryRowDetail& b) {
        if (a.program != b.program)
            return a.program < b.program;
        if (a.component != b.component)
            return a.component < b.component;
        return a.source < b.source;
    });
    return rows;
}

std::vector<InconsistentSource> TranslationMemory::inconsistencies(const std::string& language)
{
    requireReady();
    // The index tells which sources have more than one translation without
    // reading a row; only theirs are read.
    std::vector<std::int64_t> ids;
    {
        std::shared_lock lock(m_indexMutex);
        const MemoryIndex::Language* lang = m_index->language(language);
        if (!lang)
            return {};
        for (std::uint32_t e = 0;; ++e) {
            if (!m_index->hasEntry(*lang, e))
                break;
            if (m_index->entry(*lang, e).suggestible < 2 || m_index->translationCount(*lang, e) < 2)
                continue;
            for (const std::uint32_t r : m_index->rowsOf(*lang, e))
                if (m_index->row(r).suggestible())
                    ids.push_back(m_index->row(r).id);
        }
    }
    std::vector<MemoryRowDetail> rows;
    for (std::size_t start = 0; start < ids.size(); start += RefreshChunk) {
        auto chunk = details(std::vector<std::int64_t>(
            ids.begin() + static_cast<std::ptrdiff_t>(start),
            ids.begin() + static_cast<std::ptrdiff_t>(std::min(ids.size(), start + RefreshChunk))));
        std::move(chunk.begin(), chunk.end(), std::back_inserter(rows));
    }
    std::map<std::string, std::vector<const MemoryRowDetail*>> bySource; // folded, then as written
    for (const MemoryRowDetail& d : rows)
        if (suggestible(d) && !d.obsolete) {
            const std::string text = memoryText(d.source);
            bySource[folded(text) + '\0' + text].push_back(&d);
        }
    std::vector<InconsistentSource> found;
    for (const auto& [key, group] : bySource) {
        std::vector<TranslationVariant> variants = variantsOf(group);
        if (variants.size() < 2)
            continue; // agreed meanwhile
        InconsistentSource source;
        source.source = variants.front().best.source;
        source.rows = group.size();
        source.variants = std::move(variants);
        found.push_back(std::move(source));
    }
    return found;
}

TranslationMemory::Figures TranslationMemory::figures() const
{
    Figures f;
    f.ready = m_ready;
    f.buildSeconds = m_buildSeconds;
    f.refreshed = m_refreshed;
    std::shared_lock lock(m_indexMutex);
    f.rows = m_index->rowCount();
    f.usage = m_index->usage();
    return f;
}

} // namespace trd::server::memory
