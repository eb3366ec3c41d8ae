// The driver's entry in the system's list of installed programs, the copy of the setup program it
// points at, and that copy's removal of itself once the last driver is gone.
#pragma once

#include <platform/windows.h>

#include <map>
#include <optional>
#include <vector>

namespace kgsetup
{

inline constexpr WCHAR kUninstallEntryName[] = TEXT("KORIGRAPH Printer Driver");
inline constexpr WCHAR kUninstallerTarget[] = TEXT("Velmo\\KORIGRAPH\\uninst.exe");
inline constexpr WCHAR kPublisher[] = TEXT("Velmo Ranth Corporation");
inline constexpr size_t kMaxSelfDeleteCommand = 1024;

class CUninstallEntry
{
public:
    explicit CUninstallEntry(WString name);
    ~CUninstallEntry();
    CUninstallEntry(const CUninstallEntry&) = delete;
    CUninstallEntry& operator=(const CUninstallEntry&) = delete;

    void SetCommands(const WString& path);
    void SetDisplayName(const WString& text);
    CUninstallEntry& SetPublisher(const WString& text);

    // Reads the entry's values (64-bit view); false when the key cannot be opened.
    bool Exists();
    WString GetValue(const WString& name) const;
    WString GetDisplayIcon() const { return GetValue(TEXT("DisplayIcon")); }
    bool Delete();

    // Starts the hidden command that waits, then deletes the shortcut, the copy and its emptied
    // folders, and deletes the entry once it has started. False when nothing was started.
    bool SelfDelete();

    // Places the running program as the uninstaller unless the registered one is as new; false
    // when the registered file has no readable version or the copy could not be placed. A copy
    // already at the target is set aside, not deleted, until Commit decides.
    bool InstallUninstaller(const WString& runningProgramPath, const WString& relativeTarget);
    bool CopyAndRegister(const WString& runningProgramPath, const WString& relativeTarget);
    // Writes every pending value (64-bit view). On failure the entry is left as it was (one this call
    // created is removed) and so is the uninstaller: the placed copy goes and a copy set aside comes
    // back. On success the copies it replaces are deleted. A failure here, as in CopyAndRegister,
    // leaves the failed call's code as the last error.
    bool Commit();

private:
    // Takes back what CopyAndRegister placed, or deletes the copies it replaces once the entry names
    // it (the error of one that would not go).
    void UndoCopy();
    DWORD KeepCopy();

    HKEY openKey_ = nullptr;
    HKEY root_ = HKEY_LOCAL_MACHINE;
    WString keyPath_;
    WString name_;
    std::map<WString, WString> values_;
    LSTATUS openStatus_ = ERROR_FILE_NOT_FOUND; // of the last Exists
    WString target_;                            // the uninstaller's place
    WString placed_;                            // the copy made for this entry
    WString setAside_;                          // the copy that was at target_ before
    WString replaced_;                          // a registered copy elsewhere
    std::vector<WString> madeFolders_;
};

// The registration every install and update ends with: InstallUninstaller, then name, publisher
// and Commit.
bool RegisterUninstaller(const WString& modulePath);

// The self-removal command line for a registered DisplayIcon, or nothing when the icon path is not
// a sound absolute path or the command would pass kMaxSelfDeleteCommand characters. `programData`
// empty leaves the shortcut out.
std::optional<WString> BuildSelfDeleteCommand(WStringView displayIcon, WStringView interpreter,
                                              WStringView systemRoot, WStringView programData);

} // namespace kgsetup
