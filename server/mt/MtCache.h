#pragma once
// The engine's answers kept on disk, by engine, route and the text sent, so
// that a row asked again, by this server or after its restart, is answered
// without the engine. Each answer carries the engine's version (Engine::
// version): one of another version is never used, and is replaced by the
// next answer for its text. A SQLite file of its own beside the database,
// written with synchronous=NORMAL: losing the last answers in a power cut
// costs only asking the engine again.
#include <cstdint>
#include <memory>
#include <mutex>
#include <optional>
#include <string>
#include <vector>

struct sqlite3;

namespace trd::server::mt {

class MtCache {
public:
    // path: the file (created when missing); empty: answers kept in memory only.
    explicit MtCache(const std::string& path);
    ~MtCache();
    MtCache(const MtCache&) = delete;
    MtCache& operator=(const MtCache&) = delete;

    struct Key {
        std::string engine;
        std::string version;
        std::string route;
        std::string text;
    };
    std::optional<std::string> find(const Key& key);
    // Several answers in one transaction.
    void store(const std::vector<std::pair<Key, std::string>>& answers);
    std::int64_t size();

private:
    std::mutex m_mutex;
    sqlite3* m_db = nullptr;
};

} // namespace trd::server::mt
