// Files and folders through the shell's file operation object, file versions, and the start-menu
// shortcut of the installed uninstaller.
#pragma once

#include <platform/windows.h>

#include <optional>
#include <span>
#include <vector>

namespace kgsetup
{

// Copies a file or folder into a folder; the copy keeps the source's name.
HRESULT CopyWithShell(const WString& sourcePath, const WString& destinationFolder);
// Deletes a file, or a folder with everything in it.
HRESULT DeleteWithShell(const WString& path);

enum FileVersionOrder : UINT
{
    kVersionsEqual = 0,
    kFirstNewer = 1,
    kFirstOlder = 2,
    kVersionUnreadable = 3,
};
UINT CompareFileVersions(const WString& fileA, const WString& fileB);

// The file version (major << 16 | minor, build << 16 | revision) of a version record, or nothing
// when the record holds no sound fixed part.
struct FileVersion
{
    DWORD high = 0;
    DWORD low = 0;
};
std::optional<FileVersion> ParseFileVersion(std::span<const BYTE> record);

// %ProgramData%\Microsoft\Windows\Start Menu\Programs\Velmo\KORIGRAPH Printer Driver.lnk to the
// target: S_OK when made, S_FALSE (1) when the link is already there (never overwritten). The
// caller's thread must be in an apartment (CComInitScope).
HRESULT CreateStartMenuShortcut(const WString& targetPath);
HRESULT CreateShellLink(const WString& linkPath, const WString& targetPath);

// The shortcut's folder and file under a ProgramData folder.
WString StartMenuFolder(const WString& programData);
WString StartMenuShortcut(const WString& programData);

// CoInitialize for a scope; undone only when it took.
class CComInitScope
{
public:
    CComInitScope();
    ~CComInitScope();
    CComInitScope(const CComInitScope&) = delete;
    CComInitScope& operator=(const CComInitScope&) = delete;
    HRESULT Result() const { return result_; }

private:
    HRESULT result_;
};

// The parts between backslashes, in order; empty parts are dropped.
std::vector<WString> SplitPath(WStringView text);

} // namespace kgsetup
