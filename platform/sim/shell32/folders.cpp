// Special folders by CSIDL and by known-folder id. A 32-bit program on 64-bit Windows is given the
// 32-bit Program Files. The folders exist on every Windows, so the machine makes one the first time
// it is asked for.
#include "ole32/com_internal.h"

#include <optional>

using namespace sim;
using namespace sim::detail;

namespace
{
std::optional<WString> FolderOf(int csidl)
{
    bool wow = System64() && CurrentProcess().is32;
    switch (csidl)
    {
    case CSIDL_PROGRAM_FILES:
        return wow ? u"C:\\Program Files (x86)" : u"C:\\Program Files";
    case CSIDL_PROGRAM_FILESX86:
        return System64() ? u"C:\\Program Files (x86)" : u"C:\\Program Files";
    case CSIDL_COMMON_APPDATA:
        return u"C:\\ProgramData";
    case CSIDL_COMMON_PROGRAMS:
        return u"C:\\ProgramData\\Microsoft\\Windows\\Start Menu\\Programs";
    case CSIDL_WINDOWS:
        return u"C:\\Windows";
    case CSIDL_SYSTEM:
        return u"C:\\Windows\\System32";
    case CSIDL_APPDATA:
        return u"C:\\Users\\User\\AppData\\Roaming";
    case CSIDL_PROGRAMS:
        return u"C:\\Users\\User\\AppData\\Roaming\\Microsoft\\Windows\\Start Menu\\Programs";
    default:
        return std::nullopt;
    }
}

void MakeSure(const WString& folder)
{
    std::lock_guard g(StateLock());
    std::error_code ec;
    std::filesystem::create_directories(HostPathOf(folder), ec);
}
} // namespace

HRESULT WINAPI SHGetFolderPathW(HWND, int csidl, HANDLE, DWORD, LPWSTR path)
{
    SIM_FAULT_HRESULT("SHGetFolderPathW");
    if (!path)
        return E_INVALIDARG;
    path[0] = 0;
    std::optional<WString> folder = FolderOf(csidl & ~CSIDL_FLAG_CREATE);
    if (!folder)
        return E_INVALIDARG;
    MakeSure(*folder);
    std::copy(folder->begin(), folder->end(), path);
    path[folder->size()] = 0;
    return S_OK;
}

HRESULT WINAPI SHGetKnownFolderPath(REFKNOWNFOLDERID id, DWORD, HANDLE, LPWSTR* path)
{
    if (!path)
        return E_INVALIDARG;
    *path = nullptr;
    int csidl = id == FOLDERID_ProgramFiles      ? CSIDL_PROGRAM_FILES
                : id == FOLDERID_ProgramFilesX86 ? CSIDL_PROGRAM_FILESX86
                : id == FOLDERID_ProgramData     ? CSIDL_COMMON_APPDATA
                                                 : -1;
    std::optional<WString> folder = FolderOf(csidl);
    if (!folder)
        return HRESULT_FROM_WIN32(ERROR_FILE_NOT_FOUND);
    MakeSure(*folder);
    *path = TaskMemText(*folder);
    return *path ? S_OK : E_OUTOFMEMORY;
}
