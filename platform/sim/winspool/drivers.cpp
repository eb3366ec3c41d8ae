// Printer drivers: installed from a package in the driver store (or by a test), listed with
// EnumPrinterDriversW, and what a printer names, its driver and the graphics DLL's path. A version-3
// driver's files are copied into the driver folder's "3" folder; a version-4 driver runs from the
// store. Installing a name again in the same version replaces it; a version-3 and a version-4
// driver of one name stand side by side.
#include "winspool/spooler_internal.h"

#include "core/state.h"
#include "core/two_call.h"
#include "setupapi/driverstore.h"
#include "setupapi/inf.h"

#include <filesystem>
#include <set>

namespace fs = std::filesystem;

namespace sim
{
namespace
{
struct Drivers : detail::PartBase
{
    std::vector<DriverSetup> installed; // in install order
    std::vector<WString> processors{u"winprint"};
    // The DLLs of the version-3 drivers the spooler's present run has loaded (folded paths): those
    // installed when it started and those installed since. A deleted driver's stay until it stops.
    std::set<WString> held;
    unsigned heldRun = 0;
};

Drivers& drivers()
{
    return detail::Part<Drivers>();
}

bool IsDll(WStringView path)
{
    return path.size() >= 4 && detail::EqualNoCase(path.substr(path.size() - 4), u".dll");
}

void Hold(const DriverSetup& d)
{
    if (d.version != 3)
        return;
    for (const WString& f : {d.driverPath, d.configFile})
        if (!f.empty())
            drivers().held.insert(detail::Fold(f));
    for (const WString& f : d.dependentFiles)
        if (IsDll(f))
            drivers().held.insert(detail::Fold(f));
}

// A new run of the spooler loads the drivers installed at its start.
void RefreshHeld()
{
    const unsigned run = detail::SpoolerRun();
    if (drivers().heldRun == run)
        return;
    drivers().heldRun = run;
    drivers().held.clear();
    for (const DriverSetup& d : drivers().installed)
        Hold(d);
}
} // namespace

bool detail::HeldBySpooler(WStringView fullPath)
{
    std::lock_guard g(StateLock());
    if (!SpoolerRunning())
        return false;
    RefreshHeld();
    return drivers().held.count(Fold(fullPath)) > 0;
}

WString detail::NativeEnvironment()
{
    return System64() ? u"Windows x64" : u"Windows NT x86";
}

// Of several versions of a name, the newest serves the printers.
const DriverSetup* detail::FindDriver(WStringView name, WStringView environment)
{
    const DriverSetup* found = nullptr;
    for (const DriverSetup& d : drivers().installed)
        if (EqualNoCase(d.name, name) && EqualNoCase(d.environment, environment) &&
            (!found || d.version > found->version))
            found = &d;
    return found;
}

void detail::PutDriver(const DriverSetup& driver)
{
    RefreshHeld();
    Hold(driver);
    for (DriverSetup& d : drivers().installed)
        if (EqualNoCase(d.name, driver.name) && EqualNoCase(d.environment, driver.environment) &&
            d.version == driver.version)
        {
            d = driver;
            return;
        }
    drivers().installed.push_back(driver);
}

bool detail::HasPrintProcessor(WStringView name)
{
    for (const WString& p : drivers().processors)
        if (EqualNoCase(p, name))
            return true;
    return false;
}

void detail::AddProcessor(WStringView name)
{
    if (!name.empty() && !HasPrintProcessor(name))
        drivers().processors.emplace_back(name);
}

void Spooler::InstallDriver(const DriverSetup& driver)
{
    std::lock_guard g(detail::StateLock());
    detail::PutDriver(driver);
    detail::AddProcessor(driver.printProcessor);
    detail::AddLanguageMonitor(driver.monitorName, WString());
}

std::vector<DriverSetup> Spooler::Drivers() const
{
    std::lock_guard g(detail::StateLock());
    return drivers().installed;
}

std::vector<WString> Spooler::PrintProcessors() const
{
    std::lock_guard g(detail::StateLock());
    return drivers().processors;
}

void Spooler::AddPrintProcessor(WStringView name)
{
    std::lock_guard g(detail::StateLock());
    detail::AddProcessor(name);
}
} // namespace sim

using namespace sim;
using namespace sim::detail;

namespace
{
WString DriverFolder()
{
    return System64() ? u"C:\\Windows\\System32\\spool\\drivers\\x64"
                      : u"C:\\Windows\\System32\\spool\\drivers\\W32X86";
}

// "mm/dd/yyyy" as the FILETIME of that day's start; zero when it is no date.
FILETIME DateOf(WStringView text)
{
    unsigned part[3] = {};
    size_t n = 0;
    bool digits = false;
    for (WCHAR c : text)
    {
        if (c >= u'0' && c <= u'9' && n < 3)
        {
            part[n] = part[n] * 10 + (c - u'0');
            digits = true;
            if (part[n] > 99999)
                return {};
        }
        else if (c == u'/' && digits)
        {
            ++n;
            digits = false;
        }
        else
            return {};
    }
    if (n != 2 || !digits || part[0] < 1 || part[0] > 12 || part[1] < 1 || part[1] > 31 || part[2] < 1601)
        return {};
    // Days from 1601-01-01 by the civil calendar.
    auto daysFromCivil = [](long long y, unsigned m, unsigned d) {
        y -= m <= 2;
        const long long era = (y >= 0 ? y : y - 399) / 400;
        const unsigned yoe = static_cast<unsigned>(y - era * 400);
        const unsigned doy = (153 * (m + (m > 2 ? -3 : 9)) + 2) / 5 + d - 1;
        const unsigned doe = yoe * 365 + yoe / 4 - yoe / 100 + doy;
        return era * 146097 + static_cast<long long>(doe);
    };
    const long long days = daysFromCivil(part[2], part[0], part[1]) - daysFromCivil(1601, 1, 1);
    const ULONGLONG ticks = static_cast<ULONGLONG>(days) * 86400ull * 10000000ull;
    return FILETIME{static_cast<DWORD>(ticks), static_cast<DWORD>(ticks >> 32)};
}

ULONGLONG VersionOf(WStringView text)
{
    ULONGLONG v = 0;
    unsigned part = 0, n = 0;
    bool digits = false;
    for (WCHAR c : text)
    {
        if (c >= u'0' && c <= u'9')
        {
            part = part * 10 + (c - u'0');
            digits = true;
            if (part > 0xFFFF)
                return 0;
        }
        else if (c == u'.' && digits && n < 3)
        {
            v |= ULONGLONG{part} << (48 - 16 * n++);
            part = 0;
            digits = false;
        }
        else
            return 0;
    }
    return digits ? v | ULONGLONG{part} << (48 - 16 * n) : 0;
}

// The models section of a manufacturer line for this machine: an NTamd64 (or NTx86, or on x86 no)
// decoration.
std::optional<WString> ModelsSectionFor(const InfLine& manufacturer)
{
    if (manufacturer.fields.empty() || manufacturer.fields[0].empty())
        return std::nullopt;
    const WStringView arch = System64() ? u"NTamd64" : u"NTx86";
    for (size_t i = 1; i < manufacturer.fields.size(); ++i)
    {
        WStringView d = manufacturer.fields[i];
        if (d.size() >= arch.size() && EqualNoCase(d.substr(0, arch.size()), arch) &&
            (d.size() == arch.size() || d[arch.size()] == u'.'))
            return manufacturer.fields[0] + u"." + WString(d);
    }
    if (!System64())
        return manufacturer.fields[0];
    return std::nullopt;
}

// The files an install section copies: its CopyFiles sections' lines and "@file" entries.
std::vector<WString> CopiedFiles(const Inf& inf, WStringView install)
{
    std::vector<WString> files;
    const InfSection* section = inf.Find(install);
    if (!section)
        return files;
    for (const InfLine& line : section->lines)
    {
        if (!line.hasKey || !EqualNoCase(line.key, u"CopyFiles"))
            continue;
        for (const WString& entry : line.fields)
        {
            if (!entry.empty() && entry[0] == u'@')
                files.push_back(entry.substr(1));
            else if (const InfSection* list = inf.Find(entry))
                for (const InfLine& f : list->lines)
                    if (!f.fields.empty() && !f.fields[0].empty())
                        files.push_back(f.hasKey ? f.key : f.fields[0]);
        }
    }
    return files;
}
} // namespace

HRESULT WINAPI InstallPrinterDriverFromPackageW(LPCWSTR server, LPCWSTR infPath, LPCWSTR driverName, LPCWSTR,
                                                DWORD)
{
    SIM_SPOOLER_CALL_HRESULT("InstallPrinterDriverFromPackageW");
    if (!infPath || !driverName || !*driverName || (server && *server))
        return HResultOf(ERROR_INVALID_PARAMETER);
    std::lock_guard g(StateLock());
    if (!Administrator())
        return HResultOf(ERROR_ACCESS_DENIED);
    const StorePackage* package = FindStorePackage(infPath);
    if (!package)
        return HResultOf(ERROR_FILE_NOT_FOUND);
    DWORD error = 0;
    auto inf = ReadInfFile(package->storeInfPath, &error);
    if (!inf)
        return HResultOf(ERROR_INVALID_DATA);
    // The model, listed for this machine's architecture under one of the manufacturers.
    const InfLine* model = nullptr;
    WString manufacturer;
    if (const InfSection* makers = inf->Find(u"Manufacturer"))
        for (const InfLine& maker : makers->lines)
        {
            auto section = ModelsSectionFor(maker);
            if (!section || model)
                continue;
            model = inf->FindLine(*section, driverName);
            manufacturer = maker.key;
        }
    if (!model || model->fields.empty() || model->fields[0].empty())
        return HResultOf(ERROR_UNKNOWN_PRINTER_DRIVER);
    const WString install = model->fields[0];
    if (!inf->Find(install))
        return HResultOf(ERROR_INVALID_DATA);

    DriverSetup d;
    d.name = model->key;
    d.environment = NativeEnvironment();
    d.version = EqualNoCase(inf->Field(u"Version", u"ClassVer"), u"4.0") ? 4 : 3;
    d.manufacturer = manufacturer;
    d.provider = inf->Field(u"Version", u"Provider");
    d.hardwareId = model->fields.size() > 1 ? model->fields[1] : WString();
    d.infPath = package->storeInfPath;
    d.date = DateOf(inf->Field(u"Version", u"DriverVer", 1));
    d.driverVersion = VersionOf(inf->Field(u"Version", u"DriverVer", 2));
    d.printProcessor = inf->Field(install, u"PrintProcessor");
    d.monitorName = inf->Field(install, u"LanguageMonitor");
    d.defaultDataType = inf->Field(install, u"DefaultDataType");

    // Every file is checked before any is copied, so a broken package installs nothing.
    const WString storeFolder = StoreFolderOf(*package);
    const WString target = d.version == 3 ? DriverFolder() + u"\\3" : storeFolder;
    std::vector<WString> files = CopiedFiles(*inf, install);
    for (const WString& f : files)
        if (!sim::files().Exists(storeFolder + u"\\" + f))
            return HResultOf(ERROR_FILE_NOT_FOUND);
    if (d.version == 3)
    {
        std::error_code ec;
        fs::create_directories(HostPathOf(target), ec);
        for (const WString& f : files)
        {
            fs::copy_file(HostPathOf(storeFolder + u"\\" + f), HostPathOf(target + u"\\" + f),
                          fs::copy_options::overwrite_existing, ec);
            if (ec)
                return HResultOf(ERROR_WRITE_FAULT);
        }
    }
    auto placed = [&](WStringView key) {
        WString file = inf->Field(install, key);
        return file.empty() ? WString() : target + u"\\" + file;
    };
    d.driverPath = placed(u"DriverFile");
    d.dataFile = placed(u"DataFile");
    d.configFile = placed(u"ConfigFile");
    d.helpFile = placed(u"HelpFile");
    for (const WString& f : files)
        d.dependentFiles.push_back(target + u"\\" + f);
    PutDriver(d);
    AddProcessor(d.printProcessor);
    AddLanguageMonitor(d.monitorName, inf->Field(install, u"LanguageMonitor", 2));
    return 0;
}

BOOL WINAPI EnumPrinterDriversW(LPWSTR serverName, LPWSTR environment, DWORD level, LPBYTE buffer, DWORD size,
                                LPDWORD needed, LPDWORD returned)
{
    SIM_SPOOLER_CALL("EnumPrinterDriversW", FALSE);
    if (!EnumerationArguments(serverName, level, {2, 8}, needed, returned))
        return FALSE;
    std::lock_guard g(StateLock());
    const WString env = environment ? WString(environment) : NativeEnvironment();
    std::vector<const DriverSetup*> list;
    for (const DriverSetup& d : drivers().installed)
        if (EqualNoCase(env, u"all") || EqualNoCase(d.environment, env))
            list.push_back(&d);
    const size_t fixed = level == 2 ? sizeof(DRIVER_INFO_2W) : sizeof(DRIVER_INFO_8W);
    return PackEnumeration(buffer, size, needed, returned, list.size(), fixed, [&](Packer& pack) {
        for (size_t i = 0; i < list.size(); ++i)
        {
            const DriverSetup& d = *list[i];
            // Every level begins with the same six fields.
            auto begin = [&](auto* info) {
                info->cVersion = d.version;
                info->pName = pack.String(d.name);
                info->pEnvironment = pack.String(d.environment);
                info->pDriverPath = pack.String(d.driverPath);
                info->pDataFile = pack.String(d.dataFile);
                info->pConfigFile = pack.String(d.configFile);
            };
            if (level == 2)
            {
                begin(pack.Fixed<DRIVER_INFO_2W>(i));
                continue;
            }
            auto* info = pack.Fixed<DRIVER_INFO_8W>(i);
            begin(info);
            info->pHelpFile = pack.String(d.helpFile);
            WString dependent;
            for (const WString& f : d.dependentFiles)
                dependent += f + WString(1, u'\0');
            dependent.push_back(u'\0');
            info->pDependentFiles =
                reinterpret_cast<LPWSTR>(pack.Bytes(dependent.data(), dependent.size() * sizeof(WCHAR)));
            info->pMonitorName = d.monitorName.empty() ? nullptr : pack.String(d.monitorName);
            info->pDefaultDataType = pack.String(d.defaultDataType);
            info->ftDriverDate = d.date;
            info->dwlDriverVersion = d.driverVersion;
            info->pszMfgName = pack.String(d.manufacturer);
            info->pszHardwareID = pack.String(d.hardwareId);
            info->pszProvider = pack.String(d.provider);
            info->pszPrintProcessor = d.printProcessor.empty() ? nullptr : pack.String(d.printProcessor);
            info->pszInfPath = pack.String(d.infPath);
        }
    });
}

// GetPrinterDriverDirectoryW is in driver_directory.cpp, by environment.

BOOL WINAPI GetPrinterDriverW(HANDLE printer, LPWSTR, DWORD level, LPBYTE buffer, DWORD size, LPDWORD needed)
{
    std::lock_guard g(StateLock());
    auto handle = CheckedPrinterHandle(printer);
    if (!handle)
        return FALSE;
    if (level != 2)
    {
        SetLastError(ERROR_INVALID_LEVEL);
        return FALSE;
    }
    const PrinterSetup& s = *FindPrinter(handle->printerName);
    const DriverSetup* d = FindDriver(s.driverName, NativeEnvironment());
    return PackTwoCall(buffer, size, needed, sizeof(DRIVER_INFO_2W), [&](Packer& pack) {
        auto* info = pack.Fixed<DRIVER_INFO_2W>();
        info->cVersion = d ? d->version : 3;
        info->pName = pack.String(s.driverName);
        info->pDriverPath = pack.String(s.driverPath);
        if (d)
        {
            info->pEnvironment = pack.String(d->environment);
            info->pDataFile = pack.String(d->dataFile);
            info->pConfigFile = pack.String(d->configFile);
        }
    });
}

namespace
{
// The environments a spooler keeps drivers for, its own and its clients'.
bool KnownEnvironment(WStringView environment)
{
    for (WStringView known :
         {u"Windows NT x86", u"Windows x64", u"Windows IA64", u"Windows ARM64", u"Windows 4.0"})
        if (EqualNoCase(environment, known))
            return true;
    return false;
}

std::vector<WString> FilesOf(const DriverSetup& d)
{
    std::vector<WString> files;
    for (const WString& f : {d.driverPath, d.dataFile, d.configFile, d.helpFile})
        if (!f.empty())
            files.push_back(f);
    for (const WString& f : d.dependentFiles)
        if (!f.empty())
            files.push_back(f);
    return files;
}

bool UsesFile(const DriverSetup& d, WStringView file)
{
    for (const WString& f : FilesOf(d))
        if (EqualNoCase(FullPath(f), FullPath(file)))
            return true;
    return false;
}

// Deletes a file nobody has open; one the running spooler has loaded stays until it stops.
void RemoveDriverFile(const WString& file)
{
    if (drivers().held.count(Fold(file)) || ImageInUse(FullPath(file)))
        return;
    std::filesystem::path host = HostPathOf(file);
    if (OpenWithoutShareDelete(host))
        return;
    std::error_code ec;
    fs::remove(host, ec);
}

// DeletePrinterDriver(Ex) in either character set, past the journal and its fault point. Without
// DPD_DELETE_SPECIFIC_VERSION every version of the name goes, and none while a printer uses it;
// with it only that version, refused when it is the one the printers run on.
DWORD DeleteDriverNamed(bool hasServer, WStringView environment, WStringView name, DWORD flags, DWORD version)
{
    if (hasServer)
        return ERROR_INVALID_NAME;
    if (name.empty() ||
        (flags & ~DWORD(DPD_DELETE_UNUSED_FILES | DPD_DELETE_SPECIFIC_VERSION | DPD_DELETE_ALL_FILES)))
        return ERROR_INVALID_PARAMETER;
    std::lock_guard g(StateLock());
    if (!SpoolerRunning())
        return RPC_S_SERVER_UNAVAILABLE;
    if (!Administrator())
        return ERROR_ACCESS_DENIED;
    const WString env = environment.empty() ? NativeEnvironment() : WString(environment);
    if (!KnownEnvironment(env))
        return ERROR_INVALID_ENVIRONMENT;
    const bool specific = flags & DPD_DELETE_SPECIFIC_VERSION;
    auto victim = [&](const DriverSetup& d) {
        return EqualNoCase(d.name, name) && EqualNoCase(d.environment, env) &&
               (!specific || d.version == version);
    };
    std::vector<DriverSetup> going;
    for (const DriverSetup& d : drivers().installed)
        if (victim(d))
            going.push_back(d);
    if (going.empty())
        return ERROR_UNKNOWN_PRINTER_DRIVER;
    // Printers run on the newest version of their driver's name, in this machine's environment.
    const DriverSetup* serving = FindDriver(name, NativeEnvironment());
    if (serving && victim(*serving))
        for (const PrinterSetup& p : spooler().Printers())
            if (EqualNoCase(p.driverName, name))
                return ERROR_PRINTER_DRIVER_IN_USE;
    std::vector<WString> files;
    if (flags & (DPD_DELETE_UNUSED_FILES | DPD_DELETE_ALL_FILES))
        for (const DriverSetup& d : going)
            for (const WString& f : FilesOf(d))
            {
                bool shared = false;
                for (const DriverSetup& other : drivers().installed)
                    shared = shared || (!victim(other) && UsesFile(other, f));
                if (shared && (flags & DPD_DELETE_ALL_FILES))
                    return ERROR_PRINTER_DRIVER_IN_USE;
                if (!shared)
                    files.push_back(f);
            }
    // The spooler keeps what it loaded of the driver until it stops.
    RefreshHeld();
    std::erase_if(drivers().installed, victim);
    for (const WString& f : files)
        RemoveDriverFile(f);
    return ERROR_SUCCESS;
}

BOOL Answer(DWORD error)
{
    if (error)
        SetLastError(error);
    return error ? FALSE : TRUE;
}

WStringView Text(LPCWSTR s)
{
    return s ? WStringView(s) : WStringView();
}
} // namespace

DWORD detail::DeletePrinterDriverNamed(bool hasServer, WStringView environment, WStringView name, DWORD flags,
                                       DWORD version)
{
    return DeleteDriverNamed(hasServer, environment, name, flags, version);
}

// Its files stay where they are.
BOOL WINAPI DeletePrinterDriverW(LPWSTR serverName, LPWSTR environment, LPWSTR driverName)
{
    SIM_SPOOLER_CALL("DeletePrinterDriverW", FALSE);
    return Answer(DeleteDriverNamed(serverName && *serverName, Text(environment), Text(driverName), 0, 0));
}

BOOL WINAPI DeletePrinterDriverExW(LPWSTR serverName, LPWSTR environment, LPWSTR driverName,
                                   DWORD deleteFlags, DWORD version)
{
    SIM_SPOOLER_CALL("DeletePrinterDriverExW", FALSE);
    return Answer(DeleteDriverNamed(serverName && *serverName, Text(environment), Text(driverName),
                                    deleteFlags, version));
}

BOOL WINAPI DeletePrintProcessorW(LPWSTR serverName, LPWSTR environment, LPWSTR processorName)
{
    SIM_SPOOLER_CALL("DeletePrintProcessorW", FALSE);
    if (serverName && *serverName)
        return SetLastError(ERROR_INVALID_NAME), FALSE;
    if (!processorName || !*processorName)
        return SetLastError(ERROR_INVALID_PARAMETER), FALSE;
    std::lock_guard g(StateLock());
    if (!SpoolerRunning())
        return SetLastError(RPC_S_SERVER_UNAVAILABLE), FALSE;
    if (!Administrator())
        return SetLastError(ERROR_ACCESS_DENIED), FALSE;
    if (environment && *environment && !EqualNoCase(environment, NativeEnvironment()))
        return SetLastError(ERROR_INVALID_ENVIRONMENT), FALSE;
    if (!HasPrintProcessor(processorName))
        return SetLastError(ERROR_UNKNOWN_PRINTPROCESSOR), FALSE;
    for (const PrinterSetup& p : spooler().Printers())
        if (EqualNoCase(p.printProcessor, processorName))
            return SetLastError(ERROR_CAN_NOT_COMPLETE), FALSE;
    std::erase_if(drivers().processors, [&](const WString& p) { return EqualNoCase(p, processorName); });
    return TRUE;
}
