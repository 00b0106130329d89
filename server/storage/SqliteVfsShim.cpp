#include "SqliteVfsShim.h"

namespace trd::server {

namespace {

sqlite3_file* real(sqlite3_file* f)
{
    return reinterpret_cast<ShimFile*>(f)->real;
}

int passClose(sqlite3_file* f)
{
    sqlite3_file* r = real(f);
    const int rc = r->pMethods ? r->pMethods->xClose(r) : SQLITE_OK;
    f->pMethods = nullptr;
    return rc;
}
int passRead(sqlite3_file* f, void* b, int n, sqlite3_int64 o)
{
    return real(f)->pMethods->xRead(real(f), b, n, o);
}
int passWrite(sqlite3_file* f, const void* b, int n, sqlite3_int64 o)
{
    return real(f)->pMethods->xWrite(real(f), b, n, o);
}
int passTruncate(sqlite3_file* f, sqlite3_int64 size)
{
    return real(f)->pMethods->xTruncate(real(f), size);
}
int passSync(sqlite3_file* f, int flags)
{
    return real(f)->pMethods->xSync(real(f), flags);
}
int passFileSize(sqlite3_file* f, sqlite3_int64* size)
{
    return real(f)->pMethods->xFileSize(real(f), size);
}
int passLock(sqlite3_file* f, int level)
{
    return real(f)->pMethods->xLock(real(f), level);
}
int passUnlock(sqlite3_file* f, int level)
{
    return real(f)->pMethods->xUnlock(real(f), level);
}
int passCheckReserved(sqlite3_file* f, int* out)
{
    return real(f)->pMethods->xCheckReservedLock(real(f), out);
}
int passFileControl(sqlite3_file* f, int op, void* arg)
{
    return real(f)->pMethods->xFileControl(real(f), op, arg);
}
int passSectorSize(sqlite3_file* f)
{
    return real(f)->pMethods->xSectorSize(real(f));
}
int passCharacteristics(sqlite3_file* f)
{
    return real(f)->pMethods->xDeviceCharacteristics(real(f));
}
int passShmMap(sqlite3_file* f, int region, int size, int extend, void volatile** out)
{
    return real(f)->pMethods->xShmMap(real(f), region, size, extend, out);
}
int passShmLock(sqlite3_file* f, int offset, int n, int flags)
{
    return real(f)->pMethods->xShmLock(real(f), offset, n, flags);
}
void passShmBarrier(sqlite3_file* f)
{
    real(f)->pMethods->xShmBarrier(real(f));
}
int passShmUnmap(sqlite3_file* f, int deleteFlag)
{
    return real(f)->pMethods->xShmUnmap(real(f), deleteFlag);
}
int passFetch(sqlite3_file* f, sqlite3_int64 offset, int amount, void** out)
{
    return real(f)->pMethods->xFetch(real(f), offset, amount, out);
}
int passUnfetch(sqlite3_file* f, sqlite3_int64 offset, void* p)
{
    return real(f)->pMethods->xUnfetch(real(f), offset, p);
}

sqlite3_vfs* defaultVfs(sqlite3_vfs* ours)
{
    return static_cast<sqlite3_vfs*>(ours->pAppData);
}

int vfsDelete(sqlite3_vfs* v, const char* name, int syncDir)
{
    return defaultVfs(v)->xDelete(defaultVfs(v), name, syncDir);
}
int vfsAccess(sqlite3_vfs* v, const char* name, int flags, int* out)
{
    return defaultVfs(v)->xAccess(defaultVfs(v), name, flags, out);
}
int vfsFullPath(sqlite3_vfs* v, const char* name, int n, char* out)
{
    return defaultVfs(v)->xFullPathname(defaultVfs(v), name, n, out);
}
void* vfsDlOpen(sqlite3_vfs* v, const char* name)
{
    return defaultVfs(v)->xDlOpen(defaultVfs(v), name);
}
void vfsDlError(sqlite3_vfs* v, int n, char* out)
{
    defaultVfs(v)->xDlError(defaultVfs(v), n, out);
}
void (*vfsDlSym(sqlite3_vfs* v, void* handle, const char* name))(void)
{
    return defaultVfs(v)->xDlSym(defaultVfs(v), handle, name);
}
void vfsDlClose(sqlite3_vfs* v, void* handle)
{
    defaultVfs(v)->xDlClose(defaultVfs(v), handle);
}
int vfsRandomness(sqlite3_vfs* v, int n, char* out)
{
    return defaultVfs(v)->xRandomness(defaultVfs(v), n, out);
}
int vfsSleep(sqlite3_vfs* v, int micro)
{
    return defaultVfs(v)->xSleep(defaultVfs(v), micro);
}
int vfsCurrentTime(sqlite3_vfs* v, double* out)
{
    return defaultVfs(v)->xCurrentTime(defaultVfs(v), out);
}
int vfsLastError(sqlite3_vfs* v, int n, char* out)
{
    return defaultVfs(v)->xGetLastError ? defaultVfs(v)->xGetLastError(defaultVfs(v), n, out) : 0;
}
int vfsCurrentTimeInt64(sqlite3_vfs* v, sqlite3_int64* out)
{
    return defaultVfs(v)->xCurrentTimeInt64(defaultVfs(v), out);
}

} // namespace

sqlite3_io_methods shimPassThroughMethods()
{
    return {
        3,
        passClose,
        passRead,
        passWrite,
        passTruncate,
        passSync,
        passFileSize,
        passLock,
        passUnlock,
        passCheckReserved,
        passFileControl,
        passSectorSize,
        passCharacteristics,
        passShmMap,
        passShmLock,
        passShmBarrier,
        passShmUnmap,
        passFetch,
        passUnfetch,
    };
}

int shimOpen(sqlite3_vfs* vfs, const char* name, ShimFile* file, int flags, int* outFlags,
             const sqlite3_io_methods* methods)
{
    file->base.pMethods = nullptr;
    sqlite3_vfs* base = defaultVfs(vfs);
    const int rc = base->xOpen(base, name, file->real, flags, outFlags);
    if (file->real->pMethods)
        file->base.pMethods = methods;
    return rc;
}

const char* shimRegister(sqlite3_vfs& v, const char* name, int fileBytes,
                         int (*open)(sqlite3_vfs*, const char*, sqlite3_file*, int, int*))
{
    sqlite3_vfs* base = sqlite3_vfs_find(nullptr);
    v.iVersion = 2;
    v.szOsFile = fileBytes + base->szOsFile;
    v.mxPathname = base->mxPathname;
    v.zName = name;
    v.pAppData = base;
    v.xOpen = open;
    v.xDelete = vfsDelete;
    v.xAccess = vfsAccess;
    v.xFullPathname = vfsFullPath;
    v.xDlOpen = vfsDlOpen;
    v.xDlError = vfsDlError;
    v.xDlSym = vfsDlSym;
    v.xDlClose = vfsDlClose;
    v.xRandomness = vfsRandomness;
    v.xSleep = vfsSleep;
    v.xCurrentTime = vfsCurrentTime;
    v.xGetLastError = vfsLastError;
    v.xCurrentTimeInt64 = vfsCurrentTimeInt64;
    sqlite3_vfs_register(&v, 0);
    return name;
}

} // namespace trd::server
