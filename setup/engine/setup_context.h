// The setup program's one context: what it found out about the machine at start, the packages and
// drivers, and what the wizard pages and workers decide on the way.
#pragma once

#include "message_table.h"

#include <platform/process_local.h>
#include <platform/windows.h>

#include <map>
#include <memory>
#include <optional>
#include <vector>

namespace kgsetup
{

// The two builds' identifiers; the running build's is also its single-instance mutex name.
inline constexpr WCHAR kSetup64BuildId[] = TEXT("51E25047-F757-4BF1-877B-B4116AC5AF7D");
inline constexpr WCHAR kSetup32BuildId[] = TEXT("B5BDC00B-4B0F-4386-B547-4E523098E098");
// The identifier of the build that is running.
const WCHAR* RunningBuildId();

// One device of the search page's list.
struct FoundDevice
{
    int kind = 0; // 0 USB printer, 1 network card, 2 parallel port
    WString displayName;
    WString ipAddress;
    WString macAddress;
    WString localKey;
    WString portName;
    WString detail;
    BYTE alreadyInstalled = 0;
};

// The same device: USB printers by their hardware id, cards by their address, any two of another
// kind always.
inline bool operator==(const FoundDevice& a, const FoundDevice& b)
{
    if (a.kind != b.kind)
        return false;
    if (a.kind == 0)
        return a.localKey == b.localKey;
    if (a.kind == 1)
        return a.ipAddress == b.ipAddress;
    return true;
}

struct DriverLanguage
{
    int lcid = 0;
    int languageBit = 0;
};

// Pure steps of the constructor, exposed for their tables.
int OsCode(DWORD major, DWORD minor, WORD architecture, bool serverR2);
UINT LcidToLanguage(LCID lcid);
// "%d.%d.%d.%d" of the browser's version value: (major << 16) | minor, 0 with fewer than two numbers.
UINT ParseIeVersion(WStringView text);
// The language folder of an LCID for per-language packages ("German\"), empty when none.
WString LanguageFolderName(int lcid);
std::map<WString, DriverLanguage> MakeDriverLanguages();
bool IsSupportedInstallLcid(int lcid);

class CSetupContext
{
public:
    CSetupContext();
    ~CSetupContext();
    CSetupContext(const CSetupContext&) = delete;
    CSetupContext& operator=(const CSetupContext&) = delete;

    void DetectOs();
    void SelectNativeBuild();
    void FindPackageInfs();
    void FindInstalledDriver();

    // The package folder of a language into `buffer`; its length, 0 when there is none or it does
    // not fit.
    UINT GetLanguageFolder(UINT lcid, WCHAR* buffer, UINT capacity, BOOL withDriverFolder, BOOL isV4) const;
    void SetInstallLcid(UINT lcid);
    std::map<WString, WString> CopyInstalledInfs() const { return installedInfs; }
    // The models of the installed INFs, or of the package's; 1 when loaded, 0 when the list loaded
    // for the same language and connection kind still holds.
    int LoadModelList();
    // The spooler's ports; 1 when listed now, 0 when the list is current or the spooler gave none.
    int EnumPorts();
    // 1 and the listed spelling into `name` when the port exists (without case).
    int FindPort(WString& name);
    std::vector<UINT> BuildPageSequence() const;
    void SetInstalledInfPath(const WString& path);
    // selectedModel = index; driverKind the model's from modelMap, 0 for an index or model it lacks.
    void SelectModel(UINT index);
    // The INF to install; empty when no package folder can be named (error 13 for the caller).
    WString GetDriverInfPath() const;
    bool IsOsAtLeast(DWORD major, DWORD minor) const;
    void LogError(DWORD code);
    // 0 clears every flag; n sets bit n.
    void SetFlag(UINT n);
    // currentMessageTable for the present uiLanguage.
    void ChooseCurrentMessageTable();
    const WString& Text(int id) const;
    void CleanUpAtExit();

    int osCode = 0;
    UINT isX64 = 0;
    UINT ieVersion = 0;
    UINT isNativeBuild = 0;
    WString modulePath;
    WString moduleFileName;
    WString moduleFolder;
    WString nativeSetupPath;
    int driverInstalled = 0;
    // Why the installed maker drivers could not all be read at start-up; 0 when they were.
    DWORD installedScanError = 0;
    std::map<WString, WString> installedInfs;
    int driverKind = 0;
    UINT packageMask = 0;
    UINT searchPageReady = 0;
    UINT isWin7 = 0;
    UINT uiLanguage = 9;
    UINT installLcid = 2057;
    UINT languageMonitorSwitch = 1;
    UINT fileOnly = 0;
    UINT selfDeleteAtExit = 0;
    WORD connectionKind = 0;
    SHORT folderLayout = 0;
    WORD mode = 0;
    UINT selectedModel = 0;
    // Why the last LoadModelList could not read an INF's models (the list is then not whole); 0
    // when it read them all.
    DWORD modelsError = 0;
    UINT modelsLcid = 0;
    UINT modelsKind = 0;
    std::vector<WString> models;
    std::optional<FoundDevice> selectedDevice; // a copy: every search clears the list it came from
    int selectedPort = 0;
    int portsListed = 0;
    std::vector<WString> portNames;
    std::vector<WString> portDescriptions;
    int v4CompareResult = 0;
    int v3CompareResult = 0;
    std::vector<MessageTableEntry> messageTables;
    const MessageTable* currentMessageTable = nullptr;
    WString errorLog;
    WString printerName;
    std::vector<WString> printersToUpdate;
    UINT statusWord = 0;
    ULONGLONG workerData = 0;
    UINT flags = 0;
    int updateAvailable = 1;
    int versionCompare = 0;
    WString installedInfPath;
    std::map<WString, int> modelMap;
    std::map<WString, DriverLanguage> driverLanguages;
    std::map<int, int> lcidToLanguageBit;

private:
    void ReadIeVersion();
    void ReadModulePaths();
    bool MakerOemInfsRemain() const;
    // The package bits of VeKglV4.inf or VelmoQ7.inf, one folder or per language; sets folderLayout.
    UINT ProbePackages(bool isV4);
    // The language an INF's [Strings] "Destination" names, or none.
    const DriverLanguage* DestinationOf(const WString& infPath, DWORD* readError = nullptr) const;
};

// The program's one context, per process.
extern ProcessLocal<std::unique_ptr<CSetupContext>> g_setupContext;

} // namespace kgsetup
