// The simulated print spooler as tests see them: the driver store's packages, the installed drivers,
// printers with their drivers, default DEVMODEs and printer data, jobs, ports and what the jobs sent
// to a printer's port. Programs reach it through winspool's and setupapi's functions (OpenPrinterW,
// GetPrinterW, UploadPrinterDriverPackageW, ...); the graphics engine through its Eng* services.
#pragma once

#include <platform/winspool.h>

#include <optional>
#include <string>
#include <vector>

namespace sim
{

struct PrinterSetup
{
    WString name;
    WString driverName;
    WString portName = u"LPT1:";
    WString printProcessor = u"WinPrint";
    DWORD attributes = PRINTER_ATTRIBUTE_LOCAL;
    std::vector<BYTE> defaultDevMode; // any size and version, as stored; empty: none
    WString driverPath;               // the graphics DLL, e.g. C:\...\spool\drivers\x64\3\VELMOQ7.DLL
    DWORD status = 0;
    ACCESS_MASK grantedAccess = PRINTER_ALL_ACCESS; // what an OpenPrinter may ask for
    std::optional<WString> comment;                 // none: PRINTER_INFO_2W's pComment is null
};

// An installed driver, as DRIVER_INFO_8W gives it.
struct DriverSetup
{
    WString name;
    DWORD version = 3; // cVersion
    WString environment = u"Windows x64";
    WString driverPath, dataFile, configFile, helpFile;
    std::vector<WString> dependentFiles;
    WString monitorName, defaultDataType;
    WString manufacturer, provider, hardwareId;
    WString printProcessor;
    WString infPath; // the driver-store INF it came from
    FILETIME date{};
    ULONGLONG driverVersion = 0;
};

// A package in the driver store.
struct StorePackage
{
    WString publishedName; // oemNN.inf in the system INF folder
    WString storeInfPath;  // ...\DriverStore\FileRepository\<folder>\<name>.inf
    WString originalInfPath;
    bool usedByDevices = false; // kept by SetupUninstallOEMInfW without SUOI_FORCEDELETE
};

struct JobSetup
{
    DWORD id = 0;
    WString printerName;
    WString document;
    WString user = u"User";
    DWORD status = 0;
    DWORD totalPages = 0;
    size_t bytes = 0;
};

struct PortSetup
{
    WString name;
    WString monitor = u"Local Port";
    WString description = u"Local Port";
};

struct PrinterDataValue
{
    DWORD type = REG_NONE;
    std::vector<BYTE> data;
};

class Spooler
{
public:
    // Installs (or replaces, with no data) a printer.
    void AddPrinter(const PrinterSetup& printer);
    HANDLE OpenPrinter(WStringView printerName); // null when there is no such printer
    void ClosePrinter(HANDLE printer);

    // The driver's printer data (GetPrinterDataW's values).
    void SetPrinterData(WStringView printerName, WStringView valueName, DWORD type, std::vector<BYTE> data);
    std::optional<PrinterDataValue> PrinterData(WStringView printerName, WStringView valueName) const;
    int PrinterDataReads(WStringView printerName) const; // GetPrinterData calls so far, the engine's too

    // What the jobs sent to the printer's port, in the order written.
    std::string Output(WStringView printerName) const;

    // What the spooler holds, in its own order.
    std::vector<PrinterSetup> Printers() const;
    std::optional<PrinterSetup> Printer(WStringView name) const;
    void InstallDriver(const DriverSetup& driver); // replaces one of the same name, environment and version
    std::vector<DriverSetup> Drivers() const;
    std::vector<StorePackage> Packages() const;
    void SetPackageUsedByDevices(WStringView publishedName, bool used);
    // What UploadPrinterDriverPackageW answers for a package already in the store (S_OK at start).
    void SetUploadExistingAnswer(HRESULT answer);
    DWORD AddJob(WStringView printerName, WStringView document, DWORD totalPages = 1); // the job's id
    std::vector<JobSetup> Jobs() const;
    void AddPort(const PortSetup& port);
    std::vector<PortSetup> Ports() const;
    void AddPrintProcessor(WStringView name);
    std::vector<WString> PrintProcessors() const; // "winprint" and those drivers brought

    // The calls the spooler made of user-mode spool DLLs, in order ("DrvSplStartDoc", ...).
    std::vector<std::string> SpoolDllCalls() const;

    // The spooler's and setup API's calls made so far, in order, by API name (those FailNext knows).
    std::vector<std::string> Calls() const;
    void ClearCalls();
};

Spooler& spooler();

} // namespace sim
