// The C runtime's wide folder and rename functions, over the machine's file system.
#include "core/internal.h"
#include <platform/crt.h>

#include <cerrno>
#include <cstdio>

namespace fs = std::filesystem;
using namespace sim::detail;

int _wmkdir(const WCHAR* dirName)
{
    if (!dirName || !*dirName)
    {
        errno = ENOENT;
        return -1;
    }
    if (CreateDirectoryW(dirName, nullptr))
        return 0;
    DWORD e = GetLastError();
    errno = e == ERROR_ALREADY_EXISTS ? EEXIST : e == ERROR_PATH_NOT_FOUND ? ENOENT : EACCES;
    return -1;
}

int _wrename(const WCHAR* oldName, const WCHAR* newName)
{
    if (!oldName || !newName || !*oldName || !*newName)
    {
        errno = ENOENT;
        return -1;
    }
    std::lock_guard g(StateLock());
    fs::path from = HostPathOf(oldName), to = HostPathOf(newName);
    std::error_code ec;
    if (!fs::exists(from, ec) || !HostIsDirectory(to.parent_path()))
    {
        errno = ENOENT;
        return -1;
    }
    // Windows renames onto nothing: an existing target, even the same file under another case, stays.
    if (fs::exists(to, ec) && !fs::equivalent(from, to, ec))
    {
        errno = EACCES;
        return -1;
    }
    if (OpenWithoutShareDelete(from) || std::rename(from.c_str(), to.c_str()) != 0)
    {
        errno = EACCES;
        return -1;
    }
    MoveKeptFileAttributes(oldName, newName); // a rename keeps what the file is
    return 0;
}
