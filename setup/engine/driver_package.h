// A driver package: its INF classified and its models read, uploaded to the driver store, a driver
// installed from it and a printer added. Results are numbers in the object; nothing throws.
#pragma once

#include <platform/setupapi.h>
#include <platform/windows.h>
#include <platform/winspool.h>

#include <vector>

namespace kgsetup
{

// ClassifyInf bits and the filters made of them.
enum : DWORD
{
    kInfMaker = 1,   // Class Printer, our Provider, a catalog of ours
    kInfClassV4 = 2, // ClassVer 4.0
    kInfClassV3 = 4, // any other ClassVer
    kFilterMaker = kInfMaker,
    kFilterMakerV4 = kInfMaker | kInfClassV4,
    kFilterMakerV3 = kInfMaker | kInfClassV3,
};

inline constexpr size_t kMaxModels = 512;

class CDriverPackage
{
public:
    explicit CDriverPackage(const WString& infPath);

    DWORD lastError = 0;
    INT result = 0;
    WString infPath;
    WString driverStoreFolder;
    WString uploadedInfPath;
    WString driverName;
    HANDLE printer = INVALID_HANDLE_VALUE;
    DWORD uploadFlags = UPDP_UPLOAD_ALWAYS;
    INT oemInfFilter = kFilterMaker;
    DWORD driverKind = 4;
    BYTE isValid = 1;
    BYTE isUploaded = 0;
    BYTE isInstalled = 0;
    BYTE printerAdded = 0;
    std::vector<WString> filingModels;
    std::vector<WString> models;
    std::vector<WString> oemInfs;
    // Why the last FindMakerOemInfs may have missed INFs (the folder or the store could not be read);
    // 0 when it read them all.
    DWORD oemInfsError = 0;
    // Why the last Classify (the constructor, Reload) could not read infPath: its kind and models
    // are then not known; 0 when it was read or is no INF.
    DWORD infReadError = 0;

    // False for an INF that is not of `bits`, and for one that could not be read, whose code then
    // goes to *readError (set to 0 otherwise).
    static bool ClassifyInf(const WString& path, DWORD bits, DWORD* readError = nullptr);
    void Reload(const WString& path);
    std::vector<WString> LoadModels(const WString& path);
    void FindMakerOemInfs(DWORD bits);
    void Upload();
    void InstallFromPackage(const WString& name);
    void AddPrinter(const WString& printerName, const WString& portName, bool bidi);
    void UninstallOemInf(const WString& name);
    // 0 when either INF cannot be opened (why, for a read failure, in *readError); 1 equal; 2 the
    // installed one is older; 3 it is newer.
    static int CompareDriverVer(const WString& installedInf, const WString& packageInf,
                                DWORD* readError = nullptr);
    // 'd' for a DriverVer date, 'v' for its version; 0 for anything else.
    static ULONGLONG ParseDriverVer(const WString& text, char kind);
    void LoadFilingModels();
    // The printer's queue removed: its software device where the system has them, else through the
    // spooler (also when no device bears the name).
    void RemovePrinter(const WString& name);
    // The USB printer's own devices removed (for `usbKey`, a serial or port key), the package uploaded
    // and the plug-and-play driver of `hardwareId` updated from it; result 0 when a device runs it.
    void UpdatePnpDriver(const WString& hardwareId, const WString& usbKey);
    bool ModelHasFile(const WString& model, const WString& file);

private:
    void Classify();
};

// Sets or clears attribute bits of a printer: 1 when nothing had to change, 0 when the printer could
// not be read, else SetPrinterW's result.
int SetPrinterAttributeBit(HANDLE printer, DWORD bit, bool on);

// Gives a printer a new name, its settings and data kept; false when the names are the same or the
// spooler refused.
bool RenamePrinter(const WString& oldName, const WString& newName);

} // namespace kgsetup
