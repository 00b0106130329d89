#include "SqliteNotedWritesVfs.h"

#include "SqliteVfsShim.h"

namespace trd::server {

namespace {

struct NotedFile {
    ShimFile shim;
    WriteListener* listener;
};

// Our own file-control opcode (SQLite keeps those below 100 for itself).
constexpr int ListenOp = 0x54524432;

NotedFile* noted(sqlite3_file* f)
{
    return reinterpret_cast<NotedFile*>(f);
}

int notedWrite(sqlite3_file* f, const void* data, int amount, sqlite3_int64 offset)
{
    sqlite3_file* real = noted(f)->shim.real;
    const int rc = real->pMethods->xWrite(real, data, amount, offset);
    if (rc == SQLITE_OK && noted(f)->listener)
        noted(f)->listener->written(offset, data, amount);
    return rc;
}

int notedTruncate(sqlite3_file* f, sqlite3_int64 size)
{
    sqlite3_file* real = noted(f)->shim.real;
    const int rc = real->pMethods->xTruncate(real, size);
    // Told even when it failed: whatever lay past size may be gone.
    if (noted(f)->listener)
        noted(f)->listener->truncated(size);
    return rc;
}

int notedFileControl(sqlite3_file* f, int op, void* arg)
{
    if (op == ListenOp) {
        noted(f)->listener = static_cast<WriteListener*>(arg);
        return SQLITE_OK;
    }
    sqlite3_file* real = noted(f)->shim.real;
    return real->pMethods->xFileControl(real, op, arg);
}

const sqlite3_io_methods NotedMethods = [] {
    sqlite3_io_methods m = shimPassThroughMethods();
    m.xWrite = notedWrite;
    m.xTruncate = notedTruncate;
    m.xFileControl = notedFileControl;
    return m;
}();

int notedOpen(sqlite3_vfs* vfs, const char* name, sqlite3_file* f, int flags, int* outFlags)
{
    NotedFile* file = noted(f);
    file->listener = nullptr;
    return shimOpenFile(vfs, name, file, flags, outFlags, &NotedMethods);
}

} // namespace

const char* notedVfsName()
{
    return shimVfs<NotedFile>("trd-noted", notedOpen);
}

bool noteWritesInto(sqlite3* db, WriteListener* listener)
{
    return sqlite3_file_control(db, "main", ListenOp, listener) == SQLITE_OK;
}

} // namespace trd::server
