#pragma once
// A SQLite VFS that works like the system's own and tells a listener every
// write into a connection's database file, with the bytes written. The file
// guard uses it to check, at the end of the server's own checkpoints, that
// the file still holds what they wrote: another program writing over the
// file while a checkpoint runs (a backup copied over it in place) leaves a
// file of the same length and no hole, and would otherwise be taken for the
// checkpoint's own work. Only the main database file is listened to, and
// only once a listener is set; its WAL and shared memory pass straight through.
#include <sqlite3.h>

namespace trd::server {

class WriteListener {
public:
    // Called on the writing thread, after the write succeeded.
    virtual void written(sqlite3_int64 offset, const void* data, int amount) = 0;
    virtual void truncated(sqlite3_int64 size) = 0;

protected:
    ~WriteListener() = default;
};

// The VFS's name for sqlite3_open_v2; registered on first use.
const char* notedVfsName();

// The connection's database file (opened through this VFS) tells listener
// of its writes from now on; nullptr stops it. listener must outlive the
// connection or be taken off first. False when the connection's file is not
// one of this VFS's: nothing will be told.
bool noteWritesInto(sqlite3* db, WriteListener* listener);

} // namespace trd::server
