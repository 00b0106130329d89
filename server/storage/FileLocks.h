#pragma once
// Whether another process holds a lock on part of a file, asked without
// taking one: how the backup and the restore tell a database in use.
#include <fcntl.h>
#include <string>
#include <unistd.h>

namespace trd::server {

// Some process holds a lock in [start, start + length) of the file.
inline bool lockedRange(const std::string& path, off_t start, off_t length)
{
    const int fd = ::open(path.c_str(), O_RDONLY | O_CLOEXEC);
    if (fd < 0)
        return false;
    struct flock probe { };
    probe.l_type = F_WRLCK;
    probe.l_whence = SEEK_SET;
    probe.l_start = start;
    probe.l_len = length;
    const bool locked = ::fcntl(fd, F_GETLK, &probe) == 0 && probe.l_type != F_UNLCK;
    ::close(fd);
    return locked;
}

// One of SQLite's locks is held on the database file (the bytes at 1 GiB that
// SQLite locks, whatever the file's size): a connection reads or writes it now.
inline bool lockedBySqlite(const std::string& path)
{
    return lockedRange(path, 0x40000000, 512); // the PENDING byte, then RESERVED and the SHARED range
}

} // namespace trd::server
