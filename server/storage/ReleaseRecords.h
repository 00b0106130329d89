#pragma once
// What a release writes and reads through the storage interface
// (docs/releases.md): every row of a language with its obsolete flag, the
// rows a release creates with where their translation came from, and the
// rows it makes obsolete or live again. The reconciliation deciding it all
// lives above storage (release/); a back end only writes it, in bulk where it
// can.
#include <cstdint>
#include <functional>
#include <string>
#include <string_view>
#include <vector>

namespace trd::server {

// A translation row, obsolete or live, as a release compares it.
struct ReleaseRowView {
    std::int64_t id = 0;
    std::string_view program, component, source, destination, status;
    bool obsolete = false;
};
using ReleaseRowVisitor = std::function<void(const ReleaseRowView&)>;

// Where a row created by a release took its translation from.
enum class ReleaseOrigin : char {
    Reworded = 'R', // a similar source that left, same program and component
    Moved = 'M', // the identical source that left elsewhere
    Memory = 'N', // a new key given the memory's exact translated match
};

struct ReleaseInsert {
    std::string program, component, source, destination, status;
    // Absent for a new row carried from nothing.
    bool hasOrigin = false;
    ReleaseOrigin origin = ReleaseOrigin::Memory;
    std::int64_t fromRow = 0;
    std::string fromProgram, fromComponent, fromSource;
    int similarity = 0;
};

// One language's writes of a release (or of its undo), into the batch of the
// writer's origin (StorageWriter::batchesWritten names it after). Rows made obsolete or live keep their text,
// status and change date: only the flag moves, with a version of its own.
struct ReleaseWrite {
    std::string language;
    std::vector<ReleaseInsert> inserts;
    std::vector<std::int64_t> obsolete; // live rows that leave
    std::vector<std::int64_t> revive; // obsolete rows that come back
    std::vector<std::int64_t> remove; // rows deleted (an undo of what a release created)
};

// A live row created by a release, with what it came from.
struct PreviousSourceView {
    std::string_view program, component, source;
    ReleaseOrigin origin = ReleaseOrigin::Memory;
    std::string_view fromProgram, fromComponent, fromSource;
    int similarity = 0;
    std::int64_t batch = 0;
    double batchWhen = 0;
};
using PreviousSourceVisitor = std::function<void(const PreviousSourceView&)>;

// An obsolete row with the batch that made it so (0 when its newest version
// is not that one's).
struct ObsoleteRowView {
    std::string_view program, component, source, destination, status;
    double changed = 0;
    std::int64_t batch = 0;
};
using ObsoleteRowVisitor = std::function<void(const ObsoleteRowView&)>;

} // namespace trd::server
