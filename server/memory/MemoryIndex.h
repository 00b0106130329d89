#pragma once
// The translation memory's index: every row of every language, grouped by
// its source with the shortcut marks removed (an entry), with what the
// searches rank by kept beside it (status, whether it has a translation, the
// change date, a hash of the translation). Texts are kept once per entry, as
// Windows-1252 bytes; the rows' other columns stay in the database, which the
// answers read by row id.
//
// Not thread-safe: TranslationMemory guards it (many readers, one writer).
#include "GramIndex.h"
#include "MemoryText.h"

#include <cstdint>
#include <map>
#include <memory>
#include <optional>
#include <string>
#include <string_view>
#include <vector>

namespace trd::server::memory {

// A row as the database holds it (UTF-8 texts), for put().
struct MemoryRow {
    std::int64_t id = 0;
    std::string_view language;
    std::string_view source;
    std::string_view destination;
    char status = 'N';
    double changed = 0;
    std::string_view program;
    std::string_view component;
};

// A hash of a row's key within its language (program, component, source as
// written): tells the row asked about from the others without its columns.
std::uint64_t rowKeyHash(std::string_view program, std::string_view component, std::string_view source);

class MemoryIndex {
public:
    static constexpr std::uint32_t None = 0xFFFFFFFF;

    struct Row {
        std::int64_t id = 0;
        double changed = 0;
        std::uint64_t translation = 0; // textHash of the translation, marks removed
        std::uint64_t key = 0; // rowKeyHash
        std::uint32_t entry = None;
        std::uint32_t next = None; // next row of the same entry
        std::uint16_t language = 0;
        char status = 'N';
        bool translated = false; // the translation is not empty
        // Only translated rows in T or D are ever suggested.
        bool suggestible() const { return translated && (status == 'T' || status == 'D'); }
    };

    // A distinct source of a language, shortcut marks removed, case kept.
    struct Entry {
        const char* text = nullptr; // its bytes, in the language's store
        std::uint32_t length : 16 = 0;
        std::uint32_t grams : 15 = 0; // its distinct bigrams (GramIndex)
        std::uint32_t indexed : 1 = 0; // in the bigram lists or in the tail
        std::uint32_t firstRow = None;
        std::uint32_t rows = 0;
        std::uint32_t suggestible = 0;
    };

    struct Language; // defined in the .cpp

    MemoryIndex();
    ~MemoryIndex();
    MemoryIndex(const MemoryIndex&) = delete;
    MemoryIndex& operator=(const MemoryIndex&) = delete;

    // Adds the row or brings it up to date (it may have moved to another
    // source or language).
    void put(const MemoryRow& row);
    void remove(std::int64_t id);
    std::size_t rowCount() const { return m_rowCount; }

    // Builds the bigram lists of every language over what is there now (after
    // the first load).
    void buildAllGrams();

    // A language by code, or nullptr.
    const Language* language(std::string_view code) const;
    std::vector<std::string> languageCodes() const;

    // The entry of a text (memoryText form) in a language, if any.
    std::optional<std::uint32_t> entryOf(const Language& language, std::string_view text) const;
    const Entry& entry(const Language& language, std::uint32_t e) const;
    bool hasEntry(const Language& language, std::uint32_t e) const;
    std::string_view text(const Language& language, std::uint32_t e) const;
    const Row& row(std::uint32_t r) const { return m_rows[r]; }
    // The rows of an entry, in no particular order.
    std::vector<std::uint32_t> rowsOf(const Language& language, std::uint32_t e) const;
    // The row an entry is shown by: translated, T before D, then the newest
    // change, then the lowest id. None when no row of it can be suggested.
    std::uint32_t bestRow(const Language& language, std::uint32_t e) const;
    // How many distinct translations (marks removed) its suggestible rows have.
    std::uint32_t translationCount(const Language& language, std::uint32_t e) const;

    struct Hit {
        std::uint32_t entry = None;
        Similarity similarity;
        std::uint32_t best = None; // bestRow
    };
    // The `limit` entries most similar to `text` (memoryText form) at or
    // above `threshold` percent, best first; never the entry of `text` itself.
    // Ties: the best row's status (T before D), its change (newest first),
    // then the text's bytes.
    struct SearchCounts {
        std::size_t counted = 0; // bigram list entries read
        std::size_t candidates = 0; // texts that held enough bigrams
        std::size_t verified = 0; // of those, texts whose distance was computed
    };
    std::vector<Hit> fuzzy(const Language& language, std::string_view text, double threshold, std::size_t limit,
                           SearchCounts* counts = nullptr) const;
    // The same by computing the distance to every suggestible entry: the
    // floor the benchmark compares the filter with.
    std::vector<Hit> fuzzyBruteForce(const Language& language, std::string_view text, double threshold,
                                     std::size_t limit) const;

    // The bigram lists are rebuilt off the lock, over a snapshot of the
    // entries; a language whose tail has grown past its share asks for it.
    struct GramSnapshot {
        std::string language;
        std::vector<GramIndex::Text> texts;
        std::size_t tailSeen = 0;
    };
    std::vector<std::string> languagesWantingGrams() const;
    std::optional<GramSnapshot> gramSnapshot(std::string_view language) const;
    void installGrams(const GramSnapshot& snapshot, std::shared_ptr<const GramIndex> grams);

    struct Usage {
        std::size_t texts = 0; // the entries' bytes
        std::size_t structure = 0; // everything else
    };
    Usage usage() const;

private:
    Language& languageFor(std::string_view code);
    std::uint32_t entryFor(Language& language, std::string_view text);
    std::optional<std::uint32_t> findRow(std::int64_t id) const;
    void link(std::uint32_t r);
    void unlink(std::uint32_t r);
    bool better(const Language& language, const Hit& a, const Hit& b) const;
    void offer(const Language& language, std::vector<Hit>& top, std::size_t limit, Hit hit) const;

    std::vector<std::unique_ptr<Language>> m_languages;
    std::map<std::string, std::uint16_t, std::less<>> m_languageNumbers;
    std::vector<Row> m_rows;
    std::vector<std::uint32_t> m_freeRows;
    std::vector<std::uint32_t> m_rowOfId; // id -> row + 1 (0: none), for the usual dense ids
    std::map<std::int64_t, std::uint32_t> m_farIds; // ids too far apart for that vector
    std::size_t m_rowCount = 0;
};

} // namespace trd::server::memory
