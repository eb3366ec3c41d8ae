#include "setup_context.h"

#include "driver_package.h"
#include "inf_file.h"
#include "inventory.h"
#include "uninstall_entry.h"

#include <platform/windows.h>

#include <algorithm>
#include <cstring>

namespace kgsetup
{

ProcessLocal<std::unique_ptr<CSetupContext>> g_setupContext;

namespace
{
struct LanguageRow
{
    int lcid;
    int languageBit;
    const WCHAR* names[3];
};

const LanguageRow kLanguages[] = {
    {2057, 2, {TEXT("Velmo ENGLISH"), TEXT("0x0809"), TEXT("0x0009")}},
    {1033, 4, {TEXT("Velmo USA"), TEXT("0x0409"), nullptr}},
    {2052, 1, {TEXT("Velmo LORVAN"), TEXT("0x0804"), TEXT("0x0004")}},
    {1036, 8, {TEXT("Velmo French"), TEXT("0x040C"), TEXT("0x000C")}},
    {1031, 16, {TEXT("Velmo German"), TEXT("0x0407"), TEXT("0x0007")}},
    {1040, 32, {TEXT("Velmo Italian"), TEXT("0x0410"), TEXT("0x0010")}},
    {1041, 64, {TEXT("Velmo JAPAN"), TEXT("0x0411"), TEXT("0x0011")}},
    {1042, 128, {TEXT("Velmo KOREA"), TEXT("0x0412"), TEXT("0x0012")}},
    {1049, 256, {TEXT("Velmo Russian"), TEXT("0x0419"), TEXT("0x0019")}},
    {1034, 512, {TEXT("Velmo Spanish"), TEXT("0x0C0A"), TEXT("0x000A")}},
};

struct FolderRow
{
    int lcid;
    const WCHAR* folder;
};

const FolderRow kLanguageFolders[] = {
    {1031, TEXT("German\\")},    {1033, TEXT("EnglishUS\\")}, {1034, TEXT("Spanish\\")},
    {1036, TEXT("French\\")},    {1040, TEXT("Italian\\")},   {1041, TEXT("Japanese\\")},
    {1042, TEXT("Korean\\")},    {1049, TEXT("Russian\\")},   {2052, TEXT("Chinese\\")},
    {2057, TEXT("EnglishAB\\")},
};

using RtlGetVersionFn = LONG(WINAPI*)(PRTL_OSVERSIONINFOW);
using GetNativeSystemInfoFn = void(WINAPI*)(LPSYSTEM_INFO);

template <typename Fn> Fn ProcOf(HMODULE module, const char* name)
{
    if (!module)
        return nullptr;
    return reinterpret_cast<Fn>(reinterpret_cast<void (*)()>(GetProcAddress(module, name)));
}

bool Is64BitArchitecture(WORD architecture)
{
    return architecture == PROCESSOR_ARCHITECTURE_AMD64 || architecture == PROCESSOR_ARCHITECTURE_ARM64 ||
           architecture == PROCESSOR_ARCHITECTURE_IA64;
}

void AppendHex8(WString& out, DWORD value)
{
    const WCHAR digits[] = TEXT("0123456789ABCDEF");
    for (int shift = 28; shift >= 0; shift -= 4)
        out += digits[(value >> shift) & 0xF];
}
} // namespace

const WCHAR* RunningBuildId()
{
    // The build's own architecture is what GetSystemInfo reports to it (x86 under WOW64).
    SYSTEM_INFO info{};
    GetSystemInfo(&info);
    return Is64BitArchitecture(info.wProcessorArchitecture) ? kSetup64BuildId : kSetup32BuildId;
}

int OsCode(DWORD major, DWORD minor, WORD architecture, bool serverR2)
{
    bool x86 = architecture == PROCESSOR_ARCHITECTURE_INTEL;
    bool x64 = architecture == PROCESSOR_ARCHITECTURE_AMD64;
    auto pick = [&](int x86Code, int x64Code) { return x86 ? x86Code : x64 ? x64Code : 0; };
    if (major == 5)
    {
        switch (minor)
        {
        case 0:
            return 103;
        case 1:
            return 104;
        case 2:
            return x64 && !serverR2 ? 201 : 0;
        default:
            return 0;
        }
    }
    if (major == 6)
    {
        switch (minor)
        {
        case 0:
            return pick(106, 203);
        case 1:
            return pick(108, 205);
        case 2:
            return pick(109, 207);
        case 3:
            return pick(110, 209);
        default:
            return -1;
        }
    }
    if (major == 10)
        return minor == 0 ? pick(111, 211) : -1;
    return major >= 11 ? -1 : 0;
}

UINT LcidToLanguage(LCID lcid)
{
    // The sublanguage of the language id: the sort bits above it do not count.
    UINT sublanguage = (lcid & 0xFFFF) >> 10;
    switch (lcid & 0x3FF)
    {
    case 4:
        return 2052;
    case 7:
        return 1031;
    case 9:
        return sublanguage == 1 ? 1033 : 2057;
    case 10:
        return 1034;
    case 12:
        return 1036;
    case 16:
        return 1040;
    case 17:
        return 1041;
    case 18:
        return 1042;
    case 25:
        return 1049;
    default:
        return 2057;
    }
}

UINT ParseIeVersion(WStringView text)
{
    // As "%d.%d.%d.%d" reads it: blanks, a sign and digits per number, dots between.
    long numbers[2] = {};
    int read = 0;
    size_t i = 0;
    while (read < 4)
    {
        while (i < text.size() && (text[i] == TEXT(' ') || text[i] == TEXT('\t')))
            ++i;
        bool negative = false;
        if (i < text.size() && (text[i] == TEXT('-') || text[i] == TEXT('+')))
            negative = text[i++] == TEXT('-');
        size_t start = i;
        long value = 0;
        while (i < text.size() && text[i] >= TEXT('0') && text[i] <= TEXT('9'))
        {
            long digit = text[i] - TEXT('0');
            value = value > (0x7FFFFFFF - digit) / 10 ? 0x7FFFFFFF : value * 10 + digit; // saturates
            ++i;
        }
        if (i == start)
            break;
        if (read < 2)
            numbers[read] = negative ? -value : value;
        ++read;
        if (i >= text.size() || text[i] != TEXT('.'))
            break;
        ++i;
    }
    if (read < 2)
        return 0;
    return (static_cast<UINT>(numbers[0]) << 16) | (static_cast<UINT>(numbers[1]) & 0xFFFF);
}

WString LanguageFolderName(int lcid)
{
    for (const FolderRow& row : kLanguageFolders)
        if (row.lcid == lcid)
            return row.folder;
    return {};
}

std::map<WString, DriverLanguage> MakeDriverLanguages()
{
    std::map<WString, DriverLanguage> map;
    for (const LanguageRow& row : kLanguages)
        for (const WCHAR* name : row.names)
            if (name)
                map[name] = {row.lcid, row.languageBit};
    return map;
}

bool IsSupportedInstallLcid(int lcid)
{
    return !LanguageFolderName(lcid).empty();
}

CSetupContext::CSetupContext()
{
    driverLanguages = MakeDriverLanguages();
    DetectOs();
    ReadIeVersion();
    ReadModulePaths();
    installLcid = LcidToLanguage(GetSystemDefaultLCID());
    uiLanguage = LcidToLanguage(GetUserDefaultLCID()) == 1041 ? 17 : 9;
    SelectNativeBuild();
    connectionKind = 0;
    FindPackageInfs();
    FindInstalledDriver();
    messageTables = LoadMessageTables();
    ChooseCurrentMessageTable();
}

CSetupContext::~CSetupContext()
{
    CleanUpAtExit();
}

void CSetupContext::DetectOs()
{
    DWORD major = 0, minor = 0;
    bool known = false;
    if (HMODULE ntdll = LoadLibraryExW(TEXT("ntdll.dll"), nullptr, LOAD_LIBRARY_SEARCH_SYSTEM32))
    {
        if (auto rtlGetVersion = ProcOf<RtlGetVersionFn>(ntdll, "RtlGetVersion"))
        {
            RTL_OSVERSIONINFOW version{};
            version.dwOSVersionInfoSize = sizeof version;
            if (rtlGetVersion(&version) == 0)
            {
                major = version.dwMajorVersion;
                minor = version.dwMinorVersion;
                known = true;
            }
        }
        FreeLibrary(ntdll);
    }
    if (!known)
    {
        const DWORD tries[][2] = {{10, 0}, {6, 3}, {6, 2}, {6, 1}, {6, 0}, {5, 1}};
        for (const auto& v : tries)
            if (IsOsAtLeast(v[0], v[1]))
            {
                major = v[0];
                minor = v[1];
                break;
            }
    }
    SYSTEM_INFO info{};
    if (auto native =
            ProcOf<GetNativeSystemInfoFn>(GetModuleHandleW(TEXT("kernel32.dll")), "GetNativeSystemInfo"))
        native(&info);
    else
        GetSystemInfo(&info);
    WORD architecture = info.wProcessorArchitecture;
    isX64 = architecture == PROCESSOR_ARCHITECTURE_AMD64 ? 1 : 0;
    bool serverR2 = major == 5 && minor == 2 && GetSystemMetrics(SM_SERVERR2) != 0;
    osCode = OsCode(major, minor, architecture, serverR2);
    isWin7 = major == 6 && minor == 1 ? 1 : 0;
}

void CSetupContext::ReadIeVersion()
{
    ieVersion = 0;
    HKEY key = nullptr;
    if (RegOpenKeyExW(HKEY_LOCAL_MACHINE, TEXT("Software\\Microsoft\\Internet Explorer"), 0, KEY_READ,
                      &key) != ERROR_SUCCESS)
        return;
    WCHAR text[25] = {};
    DWORD type = 0;
    DWORD bytes = 24 * sizeof(WCHAR);
    LSTATUS status =
        RegQueryValueExW(key, TEXT("Version"), nullptr, &type, reinterpret_cast<BYTE*>(text), &bytes);
    RegCloseKey(key);
    if (status != ERROR_SUCCESS || type != REG_SZ || bytes > 24 * sizeof(WCHAR))
        return;
    // The value may come without its terminator.
    ieVersion = ParseIeVersion(WStringView(text, bytes / sizeof(WCHAR)));
}

void CSetupContext::ReadModulePaths()
{
    WCHAR path[MAX_PATH];
    DWORD n = GetModuleFileNameW(nullptr, path, MAX_PATH);
    if (n == 0 || n >= MAX_PATH)
        return;
    modulePath.assign(path, n);
    size_t slash = modulePath.find_last_of(TEXT("\\/"));
    moduleFolder = slash == WString::npos ? WString() : modulePath.substr(0, slash + 1);
    moduleFileName = modulePath.substr(slash == WString::npos ? 0 : slash + 1);
}

void CSetupContext::SelectNativeBuild()
{
    nativeSetupPath = moduleFolder + (isX64 ? TEXT("KGSetup64.exe") : TEXT("KGSetup.exe"));
    const WCHAR* fitting = isX64 ? kSetup64BuildId : kSetup32BuildId;
    isNativeBuild = lstrcmpiW(fitting, RunningBuildId()) == 0 ? 1 : 0;
}

namespace
{
constexpr WCHAR kV4InfName[] = TEXT("VeKglV4.inf");
constexpr WCHAR kV3InfName[] = TEXT("VelmoQ7.inf");
constexpr WCHAR kPrintToFileGpd[] = TEXT("VeKglV4-PrintToFile.gpd");

bool IsFile(const WString& path)
{
    DWORD attributes = GetFileAttributesW(path.c_str());
    return attributes != INVALID_FILE_ATTRIBUTES && !(attributes & FILE_ATTRIBUTE_DIRECTORY);
}

WString InfFolder()
{
    WCHAR windows[MAX_PATH] = {};
    UINT length = GetWindowsDirectoryW(windows, MAX_PATH);
    return (length && length < MAX_PATH ? WString(windows, length) : WString(TEXT("C:\\Windows"))) +
           TEXT("\\INF\\");
}
} // namespace

const DriverLanguage* CSetupContext::DestinationOf(const WString& infPath, DWORD* readError) const
{
    CInfFile inf(infPath);
    if (readError)
        *readError = inf.ReadError();
    if (!inf.IsOpen())
        return nullptr;
    auto it = driverLanguages.find(inf.GetField(TEXT("Strings"), TEXT("Destination"), 1));
    return it == driverLanguages.end() ? nullptr : &it->second;
}

UINT CSetupContext::ProbePackages(bool isV4)
{
    const WString infName = isV4 ? kV4InfName : kV3InfName;
    folderLayout = 1;
    UINT mask = 0;
    WCHAR folder[MAX_PATH];
    if (GetLanguageFolder(installLcid, folder, MAX_PATH, TRUE, isV4) && IsFile(folder + infName))
    {
        if (const DriverLanguage* language = DestinationOf(folder + infName))
            mask = static_cast<UINT>(language->languageBit);
        return mask;
    }
    folderLayout = 2;
    for (const auto& [name, language] : driverLanguages)
        if (GetLanguageFolder(static_cast<UINT>(language.lcid), folder, MAX_PATH, TRUE, isV4) &&
            IsFile(folder + infName))
            mask |= static_cast<UINT>(language.languageBit);
    return mask;
}

void CSetupContext::FindPackageInfs()
{
    packageMask = ProbePackages(true);
    if (packageMask)
        driverKind = 4;
    else
    {
        packageMask = ProbePackages(false);
        if (!packageMask)
        {
            folderLayout = 0;
            return;
        }
        driverKind = 3;
    }
    if (folderLayout != 2)
        return;
    int installBit = 0;
    for (const auto& [name, language] : driverLanguages)
        if (static_cast<UINT>(language.lcid) == installLcid)
        {
            installBit = language.languageBit;
            break;
        }
    if (packageMask & static_cast<UINT>(installBit))
        return;
    for (const auto& [name, language] : driverLanguages)
        if (packageMask & static_cast<UINT>(language.languageBit))
        {
            SetInstallLcid(static_cast<UINT>(language.lcid));
            return;
        }
}

void CSetupContext::FindInstalledDriver()
{
    driverInstalled = 0;
    CDriverPackage scratch{WString()};
    scratch.oemInfFilter = kFilterMaker;
    CInstalledInventory inventory(&scratch);
    installedScanError = inventory.infError;
    auto noteError = [&](DWORD error) {
        installedScanError = installedScanError ? installedScanError : error;
    };
    const WString infFolder = InfFolder();
    auto takeInfs = [&](DWORD filter) {
        scratch.FindMakerOemInfs(filter);
        noteError(scratch.oemInfsError);
        installedInfs.clear();
        for (const WString& name : scratch.oemInfs)
            installedInfs[name] = infFolder + name;
        return !installedInfs.empty();
    };

    if (!packageMask)
    {
        scratch.FindMakerOemInfs(kFilterMakerV4);
        noteError(scratch.oemInfsError);
        bool v4 = !scratch.oemInfs.empty();
        scratch.FindMakerOemInfs(kFilterMakerV3);
        noteError(scratch.oemInfsError);
        bool v3 = !scratch.oemInfs.empty();
        if (!v4 && !v3)
        {
            versionCompare = 6;
            return;
        }
        driverInstalled = 1;
        if (v4 && v3)
        {
            driverKind = 0;
            takeInfs(kFilterMaker);
            versionCompare = 5;
            return;
        }
        driverKind = v4 ? 4 : 3;
        // Listed again, the INF may be gone or unreadable (its error noted): nothing to name then.
        if (!takeInfs(v4 ? kFilterMakerV4 : kFilterMakerV3))
        {
            driverInstalled = 0;
            versionCompare = 6;
            return;
        }
        installedInfPath = installedInfs.rbegin()->second;
        versionCompare = 4;
        return;
    }

    const bool isV4 = driverKind == 4;
    int& slot = isV4 ? v4CompareResult : v3CompareResult;
    slot = 0;
    // An INF in the store counts with or without a driver installed from it: a package uploaded for
    // a printer connected later leaves just that.
    if (takeInfs(isV4 ? kFilterMakerV4 : kFilterMakerV3))
    {
        driverInstalled = 1;
        // The greatest name by ordinal order ("oem9.inf" above "oem10.inf").
        const WString& greatest = installedInfs.rbegin()->second;
        bool present = false;
        DWORD readError = 0;
        if (const DriverLanguage* language = DestinationOf(greatest, &readError))
            if (packageMask & static_cast<UINT>(language->languageBit))
            {
                SetInstallLcid(static_cast<UINT>(language->lcid));
                present = true;
            }
        noteError(readError);
        WCHAR folder[MAX_PATH];
        if (GetLanguageFolder(installLcid, folder, MAX_PATH, TRUE, isV4))
        {
            installedInfPath = greatest;
            DWORD compareError = 0;
            slot = CDriverPackage::CompareDriverVer(
                installedInfPath, folder + WString(isV4 ? kV4InfName : kV3InfName), &compareError);
            noteError(compareError);
            if (!present)
                versionCompare = 6;
            else if (slot == 2)
                versionCompare = 3;
            else if (slot != 0)
                versionCompare = 4;
        }
    }
    if (slot != 0)
        return;
    if (!isV4)
    {
        updateAvailable = 0;
        versionCompare = 0;
        return;
    }
    const bool hasV3 = inventory.HasDrivers(3);
    noteError(inventory.infError);
    if (!hasV3)
    {
        updateAvailable = 0;
        versionCompare = 0;
        return;
    }
    printersToUpdate.clear();
    EnumBuffer<PRINTER_INFO_2W> printers = EnumPrintersByDrivers(inventory.driverNames);
    for (const PRINTER_INFO_2W& printer : printers.records)
        if (printer.pPrinterName)
            printersToUpdate.emplace_back(printer.pPrinterName);
    updateAvailable = printersToUpdate.empty() ? 0 : 1;
    versionCompare = printersToUpdate.empty() ? 2 : 0;
}

bool CSetupContext::MakerOemInfsRemain() const
{
    CDriverPackage scratch{WString()};
    scratch.FindMakerOemInfs(kFilterMaker);
    return !scratch.oemInfs.empty() || scratch.oemInfsError; // an unread list may hold one
}

int CSetupContext::LoadModelList()
{
    if (modelsLcid == installLcid && modelsKind == connectionKind)
        return 0;
    models.clear();
    modelMap.clear();
    std::vector<WString> infs;
    if (driverInstalled)
        for (const auto& [name, path] : installedInfs)
            infs.push_back(path);
    else if (WString inf = GetDriverInfPath(); !inf.empty())
        infs.push_back(inf);
    std::vector<WString> list;
    modelsError = 0;
    for (const WString& inf : infs)
    {
        CDriverPackage package(inf);
        if (package.infReadError)
        {
            modelsError = package.infReadError;
            break;
        }
        std::vector<WString> kept = package.models;
        if (connectionKind == 2)
        {
            if (package.driverKind == 3)
            {
                package.LoadFilingModels();
                std::erase_if(kept, [&](const WString& model) {
                    return std::none_of(package.filingModels.begin(), package.filingModels.end(),
                                        [&](const WString& filing) { return EqualsNoCase(filing, model); });
                });
            }
            else
                std::erase_if(kept, [&](const WString& model) {
                    return !package.ModelHasFile(model, kPrintToFileGpd);
                });
        }
        for (const WString& model : kept)
        {
            modelMap[model] = static_cast<int>(package.driverKind);
            list.push_back(model);
        }
    }
    for (const WString& model : list)
        if (std::find(models.begin(), models.end(), model) == models.end())
            models.push_back(model);
    // A list not whole is read again next time.
    modelsLcid = modelsError ? 0 : installLcid;
    modelsKind = connectionKind;
    return 1;
}

int CSetupContext::EnumPorts()
{
    if (portsListed)
        return 0;
    portNames.clear();
    portDescriptions.clear();
    DWORD needed = 0, returned = 0;
    if (::EnumPortsW(nullptr, 2, nullptr, 0, &needed, &returned) ||
        GetLastError() != ERROR_INSUFFICIENT_BUFFER || needed == 0)
        return 0;
    std::vector<BYTE> buffer(needed, 0);
    if (!::EnumPortsW(nullptr, 2, buffer.data(), needed, &needed, &returned))
        return 0;
    const WString blank = TEXT("   ");
    for (DWORD i = 0; i < returned && (size_t{i} + 1) * sizeof(PORT_INFO_2W) <= buffer.size(); ++i)
    {
        PORT_INFO_2W port;
        std::memcpy(&port, buffer.data() + size_t{i} * sizeof(PORT_INFO_2W), sizeof port);
        portNames.push_back(port.pPortName && *port.pPortName ? WString(port.pPortName) : blank);
        portDescriptions.push_back(port.pDescription && *port.pDescription ? WString(port.pDescription)
                                                                           : blank);
    }
    portsListed = portNames.empty() ? 0 : 1;
    return portsListed;
}

int CSetupContext::FindPort(WString& name)
{
    EnumPorts();
    for (const WString& port : portNames)
        if (EqualsNoCase(port, name))
        {
            name = port;
            return 1;
        }
    return 0;
}

UINT CSetupContext::GetLanguageFolder(UINT lcid, WCHAR* buffer, UINT capacity, BOOL withDriverFolder,
                                      BOOL isV4) const
{
    if (folderLayout == 0)
        return 0;
    WString path = moduleFolder;
    if (folderLayout == 2)
    {
        WString language = LanguageFolderName(static_cast<int>(lcid));
        if (language.empty())
            return 0;
        path += language;
    }
    if (withDriverFolder)
    {
        if (isV4)
            path += TEXT("Driver\\");
        else if (static_cast<UINT>(osCode) > 102) // unsigned: -1, a newer system, counts as above
            path += isX64 ? TEXT("Win64\\") : TEXT("Win2k\\");
    }
    if (!buffer || capacity == 0 || path.size() > capacity - 1)
        return 0;
    std::copy(path.begin(), path.end(), buffer);
    buffer[path.size()] = 0;
    return static_cast<UINT>(path.size());
}

void CSetupContext::SetInstallLcid(UINT lcid)
{
    installLcid = IsSupportedInstallLcid(static_cast<int>(lcid)) ? lcid : 2057;
}

std::vector<UINT> CSetupContext::BuildPageSequence() const
{
    std::vector<UINT> pages;
    switch (mode)
    {
    case 1:
        pages = {146, 150, 156, 139};
        break;
    case 2:
        pages = {146, 151, 157, 139};
        break;
    case 3:
        pages = {146, 152, 160, 137, 153, 138, 155, 139};
        break;
    default:
        pages = {132, 152, 160, 137, 153, 138, 155, 139};
        break;
    }
    std::vector<UINT> dropped;
    if (mode == 0 || mode == 3)
    {
        switch (connectionKind)
        {
        case 0:
            dropped = {137, 153, 160};
            break;
        case 3:
            dropped = {160, 137};
            break;
        case 2:
            dropped = {137};
            break;
        default:
            break;
        }
    }
    if (fileOnly)
        dropped.push_back(152);
    std::erase_if(pages,
                  [&](UINT id) { return std::find(dropped.begin(), dropped.end(), id) != dropped.end(); });
    return pages;
}

void CSetupContext::SetInstalledInfPath(const WString& path)
{
    if (&path != &installedInfPath)
        installedInfPath = path;
}

void CSetupContext::SelectModel(UINT index)
{
    selectedModel = index;
    driverKind = 0;
    if (index < models.size())
        if (auto it = modelMap.find(models[index]); it != modelMap.end())
            driverKind = it->second;
}

WString CSetupContext::GetDriverInfPath() const
{
    if (driverInstalled)
        return installedInfPath;
    WCHAR folder[MAX_PATH];
    if (GetLanguageFolder(installLcid, folder, MAX_PATH, TRUE, driverKind != 3) == 0)
        return {}; // a bare name would open any INF of that name in the system's INF folder
    return WString(folder) + (driverKind == 3 ? TEXT("VelmoQ7.inf") : TEXT("VeKglV4.inf"));
}

bool CSetupContext::IsOsAtLeast(DWORD major, DWORD minor) const
{
    OSVERSIONINFOEXW version{};
    version.dwOSVersionInfoSize = sizeof version;
    version.dwMajorVersion = major;
    version.dwMinorVersion = minor;
    version.wServicePackMajor = 0;
    ULONGLONG mask = 0;
    mask = VerSetConditionMask(mask, VER_MAJORVERSION, VER_GREATER_EQUAL);
    mask = VerSetConditionMask(mask, VER_MINORVERSION, VER_GREATER_EQUAL);
    mask = VerSetConditionMask(mask, VER_SERVICEPACKMAJOR, VER_GREATER_EQUAL);
    return VerifyVersionInfoW(&version, VER_MAJORVERSION | VER_MINORVERSION | VER_SERVICEPACKMAJOR, mask) !=
           FALSE;
}

void CSetupContext::LogError(DWORD code)
{
    if (code == 0)
        return;
    WString text = TEXT("Error Code:\t0x");
    AppendHex8(text, code);
    text += TEXT("\r\n");
    LPWSTR message = nullptr;
    DWORD n = FormatMessageW(FORMAT_MESSAGE_FROM_SYSTEM | FORMAT_MESSAGE_IGNORE_INSERTS |
                                 FORMAT_MESSAGE_ALLOCATE_BUFFER,
                             nullptr, code, 1024, reinterpret_cast<LPWSTR>(&message), 0, nullptr);
    if (n && message)
        text.append(message, n);
    if (message)
        LocalFree(message);
    if (!text.empty())
        errorLog = text;
}

void CSetupContext::SetFlag(UINT n)
{
    if (n == 0)
        flags = 0;
    else if (n < 32)
        flags |= 1u << n;
}

void CSetupContext::ChooseCurrentMessageTable()
{
    currentMessageTable = ChooseMessageTable(messageTables, uiLanguage);
}

const WString& CSetupContext::Text(int id) const
{
    static const WString none;
    return currentMessageTable ? currentMessageTable->Text(id) : none;
}

void CSetupContext::CleanUpAtExit()
{
    // The copy removes itself (and its entry) once no maker INF is left; the entry is read by the
    // removal itself, so it must still be there.
    if (!selfDeleteAtExit || MakerOemInfsRemain())
        return;
    CUninstallEntry(kUninstallEntryName).SelfDelete();
}

} // namespace kgsetup
