#include "SqliteBackup.h"

#include "FileLocks.h"
#include "SqliteConnection.h"
#include "SqliteStorage.h"

#include <chrono>
#include <cstdio>
#include <fcntl.h>
#include <filesystem>
#include <sys/stat.h>
#include <unistd.h>

namespace trd::server {

namespace {

bool sameFile(const std::string& a, const std::string& b)
{
    struct stat sa {
    }, sb{};
    return ::stat(a.c_str(), &sa) == 0 && ::stat(b.c_str(), &sb) == 0 && sa.st_dev == sb.st_dev
        && sa.st_ino == sb.st_ino;
}

void syncPath(const std::string& path, bool directory)
{
    const int fd = ::open(path.c_str(), directory ? O_RDONLY | O_DIRECTORY : O_RDONLY);
    if (fd < 0 || ::fsync(fd) != 0) {
        if (fd >= 0)
            ::close(fd);
        throw StorageError("não foi possível gravar em disco " + path);
    }
    ::close(fd);
}

bool exists(const std::string& path)
{
    struct stat st { };
    return ::stat(path.c_str(), &st) == 0;
}

// A target that is a database in use (a running server's, or any program's)
// is never written over: the rename would leave that program writing into a
// nameless file and its WAL beside a copy it does not belong to.
void refuseTargetInUse(const std::string& target)
{
    for (const char* suffix : {"-wal", "-shm", "-journal"})
        if (exists(target + suffix))
            throw StorageError("o destino " + target + " tem " + target + suffix
                               + " ao lado: é um banco em uso (talvez o de outro servidor) ou fechado no meio de uma "
                                 "gravação; escolha outro nome para a cópia");
    if (lockedBySqlite(target))
        throw StorageError("o destino " + target
                           + " é um banco SQLite em uso por outro programa; escolha outro nome para a cópia");
}

void removeCopy(const std::string& path)
{
    for (const char* suffix : {"", "-wal", "-shm", "-journal"})
        std::filesystem::remove(path + suffix);
}

} // namespace

BackupReport backupSqlite(const std::string& source, const std::string& target)
{
    const auto start = std::chrono::steady_clock::now();
    if (sameFile(source, target))
        throw StorageError("a cópia " + target + " seria o próprio banco");
    // The source passes the start-up checks first: a backup of a damaged or
    // foreign file would only look like a backup.
    SqliteOpenOptions check;
    check.readOnly = true;
    {
        SqliteStorage verified(source, check);
    }
    refuseTargetInUse(target);
    // Never overwrite something that is not an earlier copy.
    struct stat st { };
    if (::stat(target.c_str(), &st) == 0 && st.st_size > 0) {
        try {
            SqliteStorage earlier(target, check);
        } catch (const StorageError& e) {
            throw StorageError("o destino " + target + " já existe e não é uma cópia deste banco; escolha outro nome");
        }
    }

    const std::filesystem::path finalPath(target);
    const std::string partial = target + ".parcial";
    removeCopy(partial);
    BackupReport report;
    try {
        SqliteConnection from(source, true, SqliteConnection::Mode::ReadOnly);
        SqliteConnection to(partial, true, SqliteConnection::Mode::Create);
        sqlite3_backup* backup = sqlite3_backup_init(to.handle(), "main", from.handle(), "main");
        if (!backup)
            to.fail(SQLITE_ERROR);
        // One step for the whole file: one read transaction, one moment.
        const int rc = sqlite3_backup_step(backup, -1);
        report.pages = sqlite3_backup_pagecount(backup);
        sqlite3_backup_finish(backup);
        if (rc != SQLITE_DONE)
            to.fail(rc);
        {
            auto quick = to.prepare("PRAGMA quick_check");
            if (!quick.step() || quick.text(0) != "ok")
                throw StorageError("a cópia não passou na verificação de integridade");
        }
        // A copy stands alone: no WAL beside it, fully in its own file.
        to.exec("PRAGMA journal_mode=DELETE");
    } catch (const StorageError& e) {
        removeCopy(partial);
        throw StorageError("não foi possível copiar " + source + " para " + target + ": " + e.what());
    }
    syncPath(partial, false);
    std::filesystem::rename(partial, finalPath);
    syncPath(finalPath.has_parent_path() ? finalPath.parent_path().string() : ".", true);
    report.bytes = static_cast<std::int64_t>(std::filesystem::file_size(finalPath));
    report.ms = std::chrono::duration<double, std::milli>(std::chrono::steady_clock::now() - start).count();
    return report;
}

} // namespace trd::server
