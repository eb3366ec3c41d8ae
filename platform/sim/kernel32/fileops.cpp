// Copying files and the attributes the host file system cannot hold (hidden, system): kept beside the
// files by full path, so GetFileAttributesW reports what SetFileAttributesW set.
#include "core/internal.h"
#include "core/state.h"

#include <filesystem>
#include <map>

namespace fs = std::filesystem;
using namespace sim;
using namespace sim::detail;

namespace
{
constexpr DWORD kKept = FILE_ATTRIBUTE_HIDDEN | FILE_ATTRIBUTE_SYSTEM;

struct KeptAttributes : PartBase
{
    std::map<WString, DWORD> byPath; // folded full path
};

DWORD Fail(DWORD error)
{
    SetLastError(error);
    return FALSE;
}
} // namespace

namespace sim::detail
{
DWORD KeptFileAttributes(WStringView windowsPath)
{
    std::lock_guard g(StateLock());
    auto& kept = Part<KeptAttributes>().byPath;
    auto it = kept.find(Fold(FullPath(windowsPath)));
    return it == kept.end() ? 0 : it->second;
}
} // namespace sim::detail

BOOL WINAPI SetFileAttributesW(LPCWSTR name, DWORD attributes)
{
    if (!name || !*name)
        return Fail(ERROR_PATH_NOT_FOUND);
    std::lock_guard g(StateLock());
    fs::path host = HostPathOf(name);
    std::error_code ec;
    if (!fs::exists(host, ec))
        return Fail(HostIsDirectory(host.parent_path()) ? ERROR_FILE_NOT_FOUND : ERROR_PATH_NOT_FOUND);
    if (!HostIsDirectory(host))
    {
        fs::perms write = fs::perms::owner_write;
        fs::permissions(
            host, write,
            (attributes & FILE_ATTRIBUTE_READONLY) ? fs::perm_options::remove : fs::perm_options::add, ec);
        if (ec)
            return Fail(ERROR_ACCESS_DENIED);
    }
    auto& kept = Part<KeptAttributes>().byPath;
    WString key = Fold(FullPath(name));
    if (attributes & kKept)
        kept[key] = attributes & kKept;
    else
        kept.erase(key);
    return TRUE;
}

BOOL WINAPI CopyFileW(LPCWSTR existing, LPCWSTR newName, BOOL failIfExists)
{
    if (!existing || !newName || !*existing || !*newName)
        return Fail(ERROR_PATH_NOT_FOUND);
    std::lock_guard g(StateLock());
    fs::path from = HostPathOf(existing);
    fs::path to = HostPathOf(newName);
    std::error_code ec;
    if (!fs::is_regular_file(from, ec))
        return Fail(HostIsDirectory(from.parent_path()) ? ERROR_FILE_NOT_FOUND : ERROR_PATH_NOT_FOUND);
    if (!HostIsDirectory(to.parent_path()))
        return Fail(ERROR_PATH_NOT_FOUND);
    if (fs::exists(to, ec))
    {
        if (failIfExists)
            return Fail(ERROR_FILE_EXISTS);
        // A read-only or hidden destination is not overwritten, as on Windows.
        if ((fs::status(to, ec).permissions() & fs::perms::owner_write) == fs::perms::none ||
            (KeptFileAttributes(newName) & FILE_ATTRIBUTE_HIDDEN))
            return Fail(ERROR_ACCESS_DENIED);
    }
    if (!fs::copy_file(from, to, fs::copy_options::overwrite_existing, ec))
        return Fail(ERROR_ACCESS_DENIED);
    // The copy takes the source's attributes.
    auto& kept = Part<KeptAttributes>().byPath;
    DWORD attributes = KeptFileAttributes(existing);
    if (attributes)
        kept[Fold(FullPath(newName))] = attributes;
    else
        kept.erase(Fold(FullPath(newName)));
    return TRUE;
}
