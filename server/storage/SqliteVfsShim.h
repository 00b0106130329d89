#pragma once
// What our VFSes share: each stands in front of SQLite's default VFS, opens
// the default VFS's file right behind its own (SQLite allocates both in one
// block), and passes every call it has no business with straight through.
// A VFS of ours changes only the file methods it is about.
#include <sqlite3.h>

namespace trd::server {

// The start of every file of ours; the default VFS's file follows the whole
// struct a VFS declares (see shimFileBytes).
struct ShimFile {
    sqlite3_file base;
    sqlite3_file* real;
};

// Every file method passing straight through to the default VFS's file.
sqlite3_io_methods shimPassThroughMethods();

// Opens the default VFS's file behind ours and gives ours the methods once
// it exists (SQLite closes through them even after a failed open).
int shimOpen(sqlite3_vfs* vfs, const char* name, ShimFile* file, int flags, int* outFlags,
             const sqlite3_io_methods* methods);

// Registers a VFS named name in front of the default one, its files
// fileBytes long (the struct that starts with ShimFile), opened by open
// (which calls shimOpenFile). Returns name. SQLite keeps its VFSes in a
// process-wide list; ours are added once, on first use, and never change.
const char* shimRegister(sqlite3_vfs& vfs, const char* name, int fileBytes,
                         int (*open)(sqlite3_vfs*, const char*, sqlite3_file*, int, int*));

// Our file of type File (which starts with a ShimFile named shim) with the
// default VFS's file right behind it, opened.
template <class File>
int shimOpenFile(sqlite3_vfs* vfs, const char* name, File* file, int flags, int* outFlags,
                 const sqlite3_io_methods* methods)
{
    file->shim.real = reinterpret_cast<sqlite3_file*>(file + 1);
    return shimOpen(vfs, name, &file->shim, flags, outFlags, methods);
}

// The VFS of files of type File, registered under name on first use.
template <class File>
const char* shimVfs(const char* name, int (*open)(sqlite3_vfs*, const char*, sqlite3_file*, int, int*))
{
    static const char* const registered = [&] {
        static sqlite3_vfs v{};
        return shimRegister(v, name, static_cast<int>(sizeof(File)), open);
    }();
    return registered;
}

} // namespace trd::server
