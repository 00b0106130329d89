#pragma once
// The reconciliation of one language's rows with a release's keys: which rows
// are kept, revived, or leave, and which new keys take a leaving row's
// translation (reworded, moved), the memory's exact match, or nothing (new).
// Pure: rows and keys in, a plan out; the rules and their ties are those of
// docs/releases.md, "The rules, per language".
#include "ReleaseFile.h"

#include <cstdint>
#include <optional>
#include <string>
#include <vector>

namespace trd::server::release {

// A translation row of the language as it stands, obsolete ones included.
struct LanguageRow {
    std::int64_t id = 0;
    std::string program, component, source, destination, status;
    bool obsolete = false;
};

struct ReconcileOptions {
    int threshold = 70; // least similarity, percent, for a reworded text
    bool memory = true; // offer a new key the memory's exact translated match
};

// The release's keys, indexed once for every language.
class ReleaseIndex {
public:
    explicit ReleaseIndex(const std::vector<ReleaseKey>& keys);
    const std::vector<ReleaseKey>& keys() const { return m_keys; }
    // The key's index, or none.
    std::optional<std::size_t> find(std::string_view program, std::string_view component,
                                    std::string_view source) const;
    // Key indices in the order program, component, source (bytewise).
    const std::vector<std::size_t>& ordered() const { return m_ordered; }

private:
    // Open addressing over the keys' indices: a language's every row is
    // looked up once, and neither a joined key nor a node is built for it.
    static std::uint64_t hash(std::string_view program, std::string_view component, std::string_view source);

    const std::vector<ReleaseKey>& m_keys;
    std::vector<std::uint32_t> m_slots; // key index + 1; 0: empty
    std::uint64_t m_mask = 0;
    std::vector<std::size_t> m_ordered;
};

// A new key that takes a leaving row's translation.
struct Carried {
    std::size_t key = 0; // into the release's keys
    std::size_t row = 0; // into the language's rows: the row that leaves
    int similarity = 100; // shown percent, rounded down
};

struct Added {
    std::size_t key = 0;
    std::optional<std::size_t> memoryRow; // the row whose translation is offered as D
};

struct LanguagePlan {
    std::vector<std::size_t> kept; // key indices
    std::vector<Carried> reworded; // same program and component
    std::vector<Carried> moved; // identical source elsewhere
    std::vector<Added> added; // new keys, in key order
    std::vector<std::size_t> revived; // row indices: obsolete rows whose key is back
    std::vector<std::size_t> vanished; // row indices: live rows that leave, carried nowhere
    std::size_t liveBefore = 0;

    // True when applying would write nothing.
    bool unchanged() const
    {
        return reworded.empty() && moved.empty() && added.empty() && revived.empty() && vanished.empty();
    }
};

LanguagePlan reconcile(const ReleaseIndex& release, const std::vector<LanguageRow>& rows,
                       const ReconcileOptions& options);

} // namespace trd::server::release
