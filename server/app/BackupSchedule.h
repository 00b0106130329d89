#pragma once
// Backups on a schedule (--backup-dir): every --backup-every seconds an
// online copy of the SQLite database (SqliteBackup.h) is written into the
// folder as trd-YYYYMMDDTHHMMSSZ.db, opened and checked whole (the start-up
// checks with the full integrity check), and only then are older copies
// dropped, by a retention of daily, weekly and monthly counts: the newest
// copy of each of the last N days, N ISO weeks and N months is kept, with
// the newest copy of all. A copy that fails its check is removed and
// nothing older is dropped. Files of other names in the folder are never
// touched.
#include "ServiceMetrics.h"

#include <chrono>
#include <condition_variable>
#include <cstdint>
#include <functional>
#include <mutex>
#include <optional>
#include <set>
#include <string>
#include <string_view>
#include <thread>
#include <vector>

namespace trd::server {

struct Retention {
    int daily = 14;
    int weekly = 8;
    int monthly = 6;
};

struct BackupCopy {
    std::string path;
    std::int64_t at = 0; // Unix seconds, from the name
};

// "trd-20261209T083000Z.db" for that moment (UTC).
std::string backupName(std::int64_t unixSeconds);
// The moment a backup's file name stands for; nothing for any other name.
std::optional<std::int64_t> backupTime(std::string_view fileName);
// The backups in the folder, oldest first.
std::vector<BackupCopy> backupsIn(const std::string& folder);
// The paths the retention keeps among the copies.
std::set<std::string> copiesToKeep(const std::vector<BackupCopy>& copies, const Retention& keep);

class BackupSchedule {
public:
    struct Settings {
        std::string db;
        std::string folder;
        std::chrono::seconds every{86400};
        Retention keep;
    };
    using Clock = std::function<std::int64_t()>; // Unix seconds now
    using Copier = std::function<void(const std::string& db, const std::string& copy)>;

    // clock and copier: the system's time and the online backup, unless a test gives its own.
    explicit BackupSchedule(Settings settings, Clock clock = {}, Copier copier = {});
    ~BackupSchedule();
    BackupSchedule(const BackupSchedule&) = delete;
    BackupSchedule& operator=(const BackupSchedule&) = delete;

    // Runs the schedule on a thread of its own: the first copy when the
    // newest in the folder is `every` old (at once when there is none).
    void start();
    // One copy now, checked, then the retention; true when the copy was made and found sound.
    bool runOnce();
    BackupFigures figures() const;

private:
    void run();

    Settings m_settings;
    Clock m_clock;
    Copier m_copier;
    mutable std::mutex m_mutex;
    std::condition_variable m_wake;
    bool m_stop = false;
    BackupFigures m_figures;
    std::thread m_thread;
};

} // namespace trd::server
