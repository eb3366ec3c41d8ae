#include "driver_devices.h"

#include "components.h"
#include "log.h"
#include "os_index.h"
#include "text.h"

#include <platform/setupapi.h>

#include <cstring>

namespace uninstall
{
namespace
{
constexpr DWORD kClearComInfoControl = 0x806021C4;
constexpr int kClearComInfoPolls = 30;
constexpr DWORD kClearComInfoWait = 1000;

std::string WindowsFolder()
{
    char folder[MAX_PATH] = {};
    UINT n = GetWindowsDirectoryA(folder, MAX_PATH);
    return n > 0 && n < MAX_PATH ? std::string(folder) : std::string("C:\\Windows");
}

std::string SystemFolder()
{
    char folder[MAX_PATH] = {};
    UINT n = GetSystemDirectoryA(folder, MAX_PATH);
    return n > 0 && n < MAX_PATH ? std::string(folder) : std::string("C:\\Windows\\System32");
}

bool DeletePlain(const std::string& path)
{
    DWORD attributes = GetFileAttributesA(path.c_str());
    if (attributes == INVALID_FILE_ATTRIBUTES)
        return false;
    SetFileAttributesA(path.c_str(), FILE_ATTRIBUTE_NORMAL);
    return DeleteFileA(path.c_str()) != FALSE;
}

// The OEM INFs in the Windows "inf" folder that carry the driver's hardware id: through the setup API
// (the driver store goes with it); a file the store does not know is deleted with its PNF.
bool RemoveOemInfs(const InfDriver& driver)
{
    std::string folder = WindowsFolder() + "\\inf\\";
    WIN32_FIND_DATAA found{};
    HANDLE search = FindFirstFileA((folder + "oem*.inf").c_str(), &found);
    if (search == INVALID_HANDLE_VALUE)
        return false;
    std::vector<std::string> names;
    do
        names.emplace_back(found.cFileName);
    while (FindNextFileA(search, &found));
    FindClose(search);
    bool any = false;
    for (const std::string& name : names)
    {
        std::string path = folder + name;
        std::optional<std::string> text = ReadInfBytes(path);
        if (!text)
        {
            // Unread, it may be this driver's: said so rather than passed over.
            LogPrint("  INF File Read Error(%u) : %s", static_cast<unsigned>(GetLastError()), path.c_str());
            continue;
        }
        if (!OemInfMatches(InfText::Parse(*text), driver))
            continue;
        any = true;
        std::string pnf = path.substr(0, path.size() - 3) + "pnf";
        LogPrint("  Delete INF File : %s", path.c_str());
        if (SetupUninstallOEMInfA(name.c_str(), 0, nullptr))
        {
            LogPrint("  Delete PNF File : %s", pnf.c_str());
            continue;
        }
        if (GetLastError() != ERROR_NOT_AN_INSTALLED_OEM_INF)
            continue; // still used by a device: the store keeps it
        DeletePlain(path);
        if (DeletePlain(pnf))
            LogPrint("  Delete PNF File : %s", pnf.c_str());
    }
    return any;
}

// The filter driver that ships beside the device server from Windows 8 on: set to start on demand and
// its file removed.
void ReleaseHidFilter(const std::string& windowsFolder, const std::string& systemFolder)
{
    std::string key = "System\\CurrentControlSet\\Services\\tzhidflt";
    HKEY h = nullptr;
    bool changed = false;
    if (RegOpenKeyExA(HKEY_LOCAL_MACHINE, key.c_str(), 0, KEY_SET_VALUE, &h) == ERROR_SUCCESS)
    {
        DWORD start = 3;
        changed = RegSetValueExA(h, "Start", 0, REG_DWORD, reinterpret_cast<const BYTE*>(&start),
                                 sizeof start) == ERROR_SUCCESS;
        RegCloseKey(h);
    }
    LogPrint(changed ? "    Change \"Start\" = 3" : "    Not change \"Start\" value.");
    std::string file =
        JoinPath(FolderOf(ServiceImagePath("tzhidflt", windowsFolder, systemFolder)), "Tzhidflt.sys");
    if (DeletePlain(file))
        LogPrint("  Delete SYS File : %s", file.c_str());
}
} // namespace

std::optional<std::string> ReadInfBytes(const std::string& path)
{
    HANDLE file = CreateFileA(path.c_str(), GENERIC_READ, FILE_SHARE_READ, nullptr, OPEN_EXISTING,
                              FILE_ATTRIBUTE_NORMAL, nullptr);
    if (file == INVALID_HANDLE_VALUE)
        return std::nullopt;
    std::string bytes;
    char chunk[4096];
    DWORD read = 0;
    bool ok = true;
    while (bytes.size() < InfText::kMaxBytes)
    {
        if (!ReadFile(file, chunk, sizeof chunk, &read, nullptr))
        {
            ok = false;
            break;
        }
        if (read == 0)
            break;
        bytes.append(chunk, read);
    }
    DWORD error = GetLastError();
    CloseHandle(file);
    if (!ok)
    {
        SetLastError(error);
        return std::nullopt; // a part of the file is no INF to judge by
    }
    return bytes;
}

std::string ServiceImagePath(const std::string& service, const std::string& windowsFolder,
                             const std::string& systemFolder)
{
    std::optional<std::string> image =
        ReadString("System\\CurrentControlSet\\Services\\" + service, "ImagePath");
    if (!image || image->empty())
        return systemFolder + "\\drivers\\" + service + ".sys";
    std::string path = *image;
    for (const char* prefix : {"\\SystemRoot\\", "SystemRoot\\", "%SystemRoot%\\", "\\??\\"})
    {
        size_t n = std::strlen(prefix);
        if (path.size() > n && EqualNoCase(std::string_view(path).substr(0, n), prefix))
        {
            if (std::strcmp(prefix, "\\??\\") == 0)
                return path.substr(n);
            return JoinPath(windowsFolder, path.substr(n));
        }
    }
    // "System32\drivers\x.sys" is relative to the Windows folder as the loader reads it.
    return IsAbsolutePath(path) ? path : JoinPath(windowsFolder, path);
}

bool OemInfMatches(const InfText& inf, const InfDriver& driver)
{
    if (driver.hardwareId.empty() || !EqualNoCase(inf.Value("Version", "Class"), driver.className))
        return false;
    const auto* manufacturer = inf.Section("Manufacturer");
    if (!manufacturer || manufacturer->empty() || manufacturer->front().fields.empty())
        return false;
    const auto& first = manufacturer->front().fields;
    // The plain model section and any decorated one it names.
    std::vector<std::string> sections{first[0]};
    for (size_t i = 1; i < first.size(); ++i)
        if (!first[i].empty())
            sections.push_back(first[0] + "." + first[i]);
    for (const std::string& name : sections)
        if (const auto* models = inf.Section(name); models && !models->empty())
            if (models->front().fields.size() > 1 &&
                EqualNoCase(models->front().fields[1], driver.hardwareId))
                return true;
    return false;
}

DWORD UninstallDriverDevices(const InfDriver& driver, WORD osIndex)
{
    if (!EqualNoCase(driver.className, "USB") && !EqualNoCase(driver.className, "System") &&
        !EqualNoCase(driver.className, "Ports"))
        return kResultNoProcess;
    std::string windowsFolder = WindowsFolder(), systemFolder = SystemFolder();
    std::vector<std::string> files;
    for (const std::string& service : driver.services)
        files.push_back(ServiceImagePath(service, windowsFolder, systemFolder));
    // Every device goes before any file, so none is left pointing at a missing driver.
    DWORD removed = RemoveDevicesByHardwareId(driver.hardwareId);
    if (removed != kResultSuccess && removed != kResultRestart)
        return removed;
    if (!RemoveOemInfs(driver))
        LogPrint("  Driver's File isn't Found.");
    for (const std::string& file : files)
        if (DeletePlain(file))
            LogPrint("  Delete SYS File : %s", file.c_str());
    if (osIndex > kOs2008R2)
        for (const std::string& service : driver.services)
            if (EqualNoCase(service, "TZUPTP"))
            {
                ReleaseHidFilter(windowsFolder, systemFolder);
                break;
            }
    return removed;
}

int Tzuptp_AllClearComInfo()
{
    HANDLE device =
        CreateFileA("\\\\.\\tzuptp", GENERIC_READ | GENERIC_WRITE, FILE_SHARE_READ | FILE_SHARE_WRITE,
                    nullptr, OPEN_EXISTING, FILE_ATTRIBUTE_NORMAL, nullptr);
    if (device == INVALID_HANDLE_VALUE)
        return 1;
    BYTE input[8] = {};
    input[6] = 0xFF;
    DWORD returned = 0;
    BOOL sent =
        DeviceIoControl(device, kClearComInfoControl, input, sizeof input, nullptr, 0, &returned, nullptr);
    CloseHandle(device);
    if (!sent)
        return 1;
    for (int i = 0; i < kClearComInfoPolls && TzspeComPortPresent(); ++i)
    {
        LogPrint("    Tzuptp_AllClearComInfo [tzspe driver] exists.");
        Sleep(kClearComInfoWait);
    }
    return 1;
}

} // namespace uninstall
