#include "SqliteRestore.h"

#include "FileLocks.h"
#include "SqliteConnection.h"
#include "SqliteStorage.h"

#include <chrono>
#include <ctime>
#include <fcntl.h>
#include <filesystem>
#include <sys/stat.h>
#include <unistd.h>

namespace trd::server {

namespace {

void syncPath(const std::string& path, bool directory)
{
    const int fd = ::open(path.c_str(), (directory ? O_RDONLY | O_DIRECTORY : O_RDONLY) | O_CLOEXEC);
    const bool synced = fd >= 0 && ::fsync(fd) == 0;
    if (fd >= 0)
        ::close(fd);
    if (!synced)
        throw StorageError("não foi possível gravar em disco " + path);
}

std::string stamp()
{
    const std::time_t now = std::time(nullptr);
    std::tm utc{};
    gmtime_r(&now, &utc);
    char text[32];
    std::strftime(text, sizeof text, "%Y%m%dT%H%M%SZ", &utc);
    return text;
}

bool exists(const std::string& path)
{
    struct stat st { };
    return ::lstat(path.c_str(), &st) == 0;
}

} // namespace

std::string sqliteInUse(const std::string& path)
{
    // Every connection in WAL mode holds a read lock on the -shm's byte 128
    // (the "dead man switch") for as long as it is open; the bytes at 1 GiB
    // are the database file's own locks, taken by any transaction.
    if (exists(path + "-shm") && lockedRange(path + "-shm", 120, 9))
        return "o banco " + path + " está aberto por outro programa (um trd-server em execução?)";
    if (exists(path) && lockedBySqlite(path))
        return "o banco " + path + " está sendo lido ou gravado por outro programa";
    return {};
}

RestoreReport restoreSqlite(const std::string& copy, const std::string& target)
{
    namespace fs = std::filesystem;
    struct stat a {
    }, b{};
    if (::stat(copy.c_str(), &a) != 0)
        throw StorageError("a cópia " + copy + " não existe");
    if (::stat(target.c_str(), &b) == 0 && a.st_dev == b.st_dev && a.st_ino == b.st_ino)
        throw StorageError("a cópia " + copy + " é o próprio banco");
    if (exists(copy + "-wal") || exists(copy + "-journal"))
        throw StorageError("a cópia " + copy
                           + " tem um -wal ou -journal ao lado: não é uma cópia fechada; use a "
                             "cópia que --backup gravou");
    {
        SqliteOpenOptions check;
        check.readOnly = true;
        check.fullCheck = true;
        check.checkEverySeconds = 0;
        try {
            SqliteStorage verified(copy, check);
        } catch (const StorageError& e) {
            throw StorageError("a cópia " + copy + " não pode ser restaurada: " + e.what());
        }
    }
    if (const std::string inUse = sqliteInUse(target); !inUse.empty())
        throw StorageError(inUse + ": pare o servidor antes de restaurar (systemctl stop trd-server)");

    const std::string partial = target + ".restaurando";
    std::error_code ec;
    fs::remove(partial, ec);
    fs::copy_file(copy, partial, fs::copy_options::overwrite_existing, ec);
    if (ec)
        throw StorageError("não foi possível copiar " + copy + " para " + partial + ": " + ec.message());
    ::chmod(partial.c_str(), 0600);
    // Restored by root for a server that runs as its own user: the file stays that user's.
    if (b.st_ino != 0 && ::geteuid() == 0 && ::chown(partial.c_str(), b.st_uid, b.st_gid) != 0)
        throw StorageError("não foi possível dar " + partial + " ao dono de " + target);
    syncPath(partial, false);

    RestoreReport report;
    // Checked again just before the move: a server started meanwhile keeps its file.
    if (const std::string inUse = sqliteInUse(target); !inUse.empty()) {
        fs::remove(partial, ec);
        throw StorageError(inUse + ": pare o servidor antes de restaurar");
    }
    const std::string aside = target + ".antes-da-restauracao-" + stamp();
    for (const char* suffix : {"", "-wal", "-shm", "-journal"}) {
        if (!exists(target + suffix))
            continue;
        fs::rename(target + suffix, aside + suffix, ec);
        if (ec)
            throw StorageError("não foi possível pôr de lado " + target + suffix + ": " + ec.message());
        if (*suffix == '\0')
            report.setAside = aside;
    }
    fs::rename(partial, target, ec);
    if (ec)
        throw StorageError("não foi possível pôr a cópia no lugar de " + target + ": " + ec.message());
    const fs::path folder = fs::path(target).parent_path();
    syncPath(folder.empty() ? "." : folder.string(), true);
    return report;
}

} // namespace trd::server
