#include "BackupSchedule.h"

#include "Log.h"
#include "SqliteBackup.h"
#include "SqliteStorage.h"

#include <algorithm>
#include <cstdio>
#include <ctime>
#include <filesystem>
#include <map>
#include <stdexcept>
#include <sys/resource.h>
#include <sys/syscall.h>
#include <unistd.h>

namespace trd::server {

namespace {

std::tm utcOf(std::int64_t seconds)
{
    const std::time_t t = static_cast<std::time_t>(seconds);
    std::tm utc{};
    gmtime_r(&t, &utc);
    return utc;
}

// The ISO week a day belongs to, as year * 100 + week: the week of its Thursday.
std::int64_t isoWeek(std::int64_t seconds)
{
    const std::int64_t day = seconds >= 0 ? seconds / 86400 : (seconds - 86399) / 86400;
    const std::int64_t weekday = ((day + 3) % 7 + 7) % 7; // 1970-01-01 was a Thursday: Monday = 0
    const std::int64_t thursday = day - weekday + 3;
    const std::tm t = utcOf(thursday * 86400);
    return static_cast<std::int64_t>(t.tm_year + 1900) * 100 + t.tm_yday / 7 + 1;
}

std::int64_t dayOf(std::int64_t seconds)
{
    const std::tm t = utcOf(seconds);
    return (t.tm_year + 1900) * 10000 + (t.tm_mon + 1) * 100 + t.tm_mday;
}

std::int64_t monthOf(std::int64_t seconds)
{
    const std::tm t = utcOf(seconds);
    return (t.tm_year + 1900) * 100 + t.tm_mon + 1;
}

std::int64_t nowSeconds()
{
    return std::chrono::duration_cast<std::chrono::seconds>(std::chrono::system_clock::now().time_since_epoch())
        .count();
}

// The whole check, every index against its table: a copy is read rarely,
// and only when it is needed.
void checkCopy(const std::string& path)
{
    SqliteOpenOptions check;
    check.readOnly = true;
    check.fullCheck = true;
    check.checkEverySeconds = 0;
    SqliteStorage verified(path, check);
}

} // namespace

std::string backupName(std::int64_t unixSeconds)
{
    const std::tm t = utcOf(unixSeconds);
    char name[64];
    std::snprintf(name, sizeof name, "trd-%04d%02d%02dT%02d%02d%02dZ.db", t.tm_year + 1900, t.tm_mon + 1, t.tm_mday,
                  t.tm_hour, t.tm_min, t.tm_sec);
    return name;
}

std::optional<std::int64_t> backupTime(std::string_view fileName)
{
    // trd-YYYYMMDDTHHMMSSZ.db
    if (fileName.size() != 23 || fileName.substr(0, 4) != "trd-" || fileName[12] != 'T'
        || fileName.substr(19) != "Z.db")
        return std::nullopt;
    const auto digits = [&](std::size_t at, std::size_t count) -> int {
        int value = 0;
        for (std::size_t i = at; i < at + count; ++i) {
            if (fileName[i] < '0' || fileName[i] > '9')
                return -1;
            value = value * 10 + (fileName[i] - '0');
        }
        return value;
    };
    std::tm t{};
    t.tm_year = digits(4, 4) - 1900;
    t.tm_mon = digits(8, 2) - 1;
    t.tm_mday = digits(10, 2);
    t.tm_hour = digits(13, 2);
    t.tm_min = digits(15, 2);
    t.tm_sec = digits(17, 2);
    if (t.tm_year < 70 || t.tm_mon < 0 || t.tm_mon > 11 || t.tm_mday < 1 || t.tm_mday > 31 || t.tm_hour < 0
        || t.tm_hour > 23 || t.tm_min < 0 || t.tm_min > 59 || t.tm_sec < 0 || t.tm_sec > 60)
        return std::nullopt;
    const std::int64_t at = timegm(&t);
    // A name that does not round-trip (31 of February) is no backup's.
    if (backupName(at) != fileName)
        return std::nullopt;
    return at;
}

std::vector<BackupCopy> backupsIn(const std::string& folder)
{
    std::vector<BackupCopy> copies;
    std::error_code ec;
    for (const auto& entry : std::filesystem::directory_iterator(folder, ec)) {
        if (!entry.is_regular_file(ec))
            continue;
        if (const auto at = backupTime(entry.path().filename().string()))
            copies.push_back({entry.path().string(), *at});
    }
    std::sort(copies.begin(), copies.end(), [](const BackupCopy& a, const BackupCopy& b) { return a.at < b.at; });
    return copies;
}

std::set<std::string> copiesToKeep(const std::vector<BackupCopy>& copies, const Retention& keep)
{
    std::set<std::string> kept;
    if (copies.empty())
        return kept;
    std::vector<BackupCopy> newestFirst(copies);
    std::sort(newestFirst.begin(), newestFirst.end(),
              [](const BackupCopy& a, const BackupCopy& b) { return a.at > b.at; });
    kept.insert(newestFirst.front().path);
    // For each period, the newest copy of each of the `count` latest periods that have one.
    const auto byPeriod = [&](int count, std::int64_t (*period)(std::int64_t)) {
        std::set<std::int64_t> seen;
        for (const BackupCopy& copy : newestFirst) {
            if (static_cast<int>(seen.size()) >= count)
                break;
            if (seen.insert(period(copy.at)).second)
                kept.insert(copy.path);
        }
    };
    byPeriod(keep.daily, dayOf);
    byPeriod(keep.weekly, isoWeek);
    byPeriod(keep.monthly, monthOf);
    return kept;
}

BackupSchedule::BackupSchedule(Settings settings, Clock clock, Copier copier)
    : m_settings(std::move(settings)), m_clock(clock ? std::move(clock) : Clock(nowSeconds)),
      m_copier(copier ? std::move(copier)
                      : Copier([](const std::string& db, const std::string& copy) { backupSqlite(db, copy); }))
{
    std::error_code ec;
    if (!std::filesystem::is_directory(m_settings.folder, ec))
        throw std::runtime_error("a pasta das cópias de segurança " + m_settings.folder
                                 + " não existe (--backup-dir); crie-a para o usuário do servidor");
    const std::vector<BackupCopy> copies = backupsIn(m_settings.folder);
    m_figures.kept = copies.size();
    if (!copies.empty())
        m_figures.lastMs = copies.back().at * 1000;
}

BackupSchedule::~BackupSchedule()
{
    {
        std::lock_guard lock(m_mutex);
        m_stop = true;
    }
    m_wake.notify_all();
    if (m_thread.joinable())
        m_thread.join();
}

void BackupSchedule::start()
{
    m_thread = std::thread([this] { run(); });
}

BackupFigures BackupSchedule::figures() const
{
    std::lock_guard lock(m_mutex);
    return m_figures;
}

bool BackupSchedule::runOnce()
{
    const std::int64_t now = m_clock();
    const std::string copy = (std::filesystem::path(m_settings.folder) / backupName(now)).string();
    const auto start = std::chrono::steady_clock::now();
    try {
        m_copier(m_settings.db, copy);
        checkCopy(copy);
    } catch (const std::exception& e) {
        // Older copies stay: they may be the only sound ones.
        std::error_code ignored;
        std::filesystem::remove(copy, ignored);
        logFormat(LogLevel::Error,
                  "trd-server: cópia de segurança agendada %s falhou; nenhuma cópia antiga removida: %s", copy.c_str(),
                  e.what());
        std::lock_guard lock(m_mutex);
        m_figures.lastOk = false;
        return false;
    }
    const std::vector<BackupCopy> copies = backupsIn(m_settings.folder);
    const std::set<std::string> kept = copiesToKeep(copies, m_settings.keep);
    std::size_t dropped = 0;
    for (const BackupCopy& old : copies) {
        std::error_code ec;
        if (!kept.count(old.path) && std::filesystem::remove(old.path, ec))
            ++dropped;
    }
    const double ms = std::chrono::duration<double, std::milli>(std::chrono::steady_clock::now() - start).count();
    logFormat(LogLevel::Info,
              "trd-server: cópia de segurança agendada gravada e verificada em %s (%.0f ms); %zu cópias mantidas, %zu "
              "removidas",
              copy.c_str(), ms, kept.size(), dropped);
    std::lock_guard lock(m_mutex);
    m_figures.lastOk = true;
    m_figures.lastMs = now * 1000;
    m_figures.kept = kept.size();
    return true;
}

void BackupSchedule::run()
{
    // A copy is work for the disk, not a call: it waits behind the calls.
    ::setpriority(PRIO_PROCESS, static_cast<id_t>(::syscall(SYS_gettid)), 10);
    std::unique_lock lock(m_mutex);
    while (!m_stop) {
        const std::vector<BackupCopy> copies = backupsIn(m_settings.folder);
        const std::int64_t due = copies.empty() ? 0 : copies.back().at + m_settings.every.count();
        const std::int64_t wait = due - m_clock();
        if (wait > 0) {
            m_wake.wait_for(lock, std::chrono::seconds(std::min<std::int64_t>(wait, 60)), [this] { return m_stop; });
            continue;
        }
        lock.unlock();
        if (!runOnce()) {
            // Try again after a while, not in a loop.
            lock.lock();
            m_wake.wait_for(lock, std::min(m_settings.every, std::chrono::seconds(600)), [this] { return m_stop; });
            continue;
        }
        lock.lock();
    }
}

} // namespace trd::server
