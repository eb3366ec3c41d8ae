// The attributes the host file system cannot hold (hidden, system): kept beside the files by full
// path, so GetFileAttributesW reports what SetFileAttributesW set, a copy or a move carries them and
// they go with a file that is deleted (a new one in its place starts without them).
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

namespace
{
// Whether `key` is `folder` or something inside it (both folded full paths).
bool Within(const WString& key, const WString& folder)
{
    return key == folder ||
           (key.size() > folder.size() && key.starts_with(folder) && key[folder.size()] == u'\\');
}
} // namespace

void ForgetFileAttributes(WStringView windowsPath)
{
    std::lock_guard g(StateLock());
    WString folder = Fold(FullPath(windowsPath));
    std::erase_if(Part<KeptAttributes>().byPath,
                  [&](const auto& entry) { return Within(entry.first, folder); });
}

void AddKeptFileAttributes(WStringView windowsPath, DWORD attributes)
{
    std::lock_guard g(StateLock());
    if (attributes & kKept)
        Part<KeptAttributes>().byPath[Fold(FullPath(windowsPath))] |= attributes & kKept;
}

void MoveKeptFileAttributes(WStringView from, WStringView to)
{
    std::lock_guard g(StateLock());
    auto& kept = Part<KeptAttributes>().byPath;
    WString source = Fold(FullPath(from)), target = Fold(FullPath(to));
    std::map<WString, DWORD> moved;
    std::erase_if(kept, [&](const auto& entry) {
        if (!Within(entry.first, source))
            return false;
        moved[target + entry.first.substr(source.size())] = entry.second;
        return true;
    });
    std::erase_if(kept, [&](const auto& entry) { return Within(entry.first, target); });
    kept.merge(moved);
}

void CopyKeptFileAttributes(WStringView from, WStringView to)
{
    std::lock_guard g(StateLock());
    auto& kept = Part<KeptAttributes>().byPath;
    DWORD attributes = KeptFileAttributes(from);
    if (attributes)
        kept[Fold(FullPath(to))] = attributes;
    else
        kept.erase(Fold(FullPath(to)));
}
} // namespace sim::detail

BOOL WINAPI SetFileAttributesW(LPCWSTR name, DWORD attributes)
{
    SIM_FAULT_POINT("SetFileAttributesW", FALSE);
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
