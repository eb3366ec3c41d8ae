// The simulated file system as tests see it: drive letters map to folders under a per-machine
// temporary root, and names compare without case. Programs reach it through kernel32's file
// functions (CreateFileW, FindFirstFileW, CopyFileW, ...).
#pragma once

#include <platform/windows.h>

#include <filesystem>
#include <optional>
#include <span>
#include <string>
#include <string_view>

namespace sim
{

// A shell link file as IShellLinkW and IPersistFile saved it.
struct ShellLinkRecord
{
    WString target;
    WString arguments;
    WString workingDirectory;
    WString description;
    WString iconPath;
    int iconIndex = 0;
    WString appUserModelId; // PKEY_AppUserModel_ID, empty when not set
};

class Files
{
public:
    std::filesystem::path Sandbox() const;
    std::filesystem::path HostPath(WStringView windowsPath) const;
    void Put(WStringView windowsPath, std::string_view bytes = {});
    std::optional<std::string> Bytes(WStringView windowsPath) const;
    bool Exists(WStringView windowsPath) const;
    // A file's version record (what GetFileVersionInfoW reads), kept in the file's bytes so it goes
    // wherever the file is copied or renamed. SetVersion writes a file holding just the record;
    // SetVersionRecord stores the given bytes as the record, sound or not.
    void SetVersion(WStringView windowsPath, WORD major, WORD minor, WORD build, WORD revision);
    void SetVersionRecord(WStringView windowsPath, std::span<const BYTE> record);
    // The link saved at that path, or nothing when the file is missing or no shell link.
    std::optional<ShellLinkRecord> ReadShellLink(WStringView windowsPath) const;
    // Puts a file of the registered program `programFileName` (after any bytes already there): a copy
    // of it, under any name, starts as that program with its resources, as a copied program file does.
    void PutProgram(WStringView windowsPath, WStringView programFileName);
};

Files& files();

} // namespace sim
