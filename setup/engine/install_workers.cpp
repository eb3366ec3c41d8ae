#include "install_workers.h"

#include "devices.h"
#include "inventory.h"
#include "ports.h"
#include "services.h"
#include "shell_files.h"
#include "uninstall_entry.h"

#include <platform/objbase.h>
#include <platform/shlwapi.h>
#include <platform/winspool.h>

#include <algorithm>
#include <cstring>

namespace kgsetup
{
namespace
{
constexpr WCHAR kPortPrefix[] = TEXT("KORIGRAPH_");
constexpr WCHAR kNulPort[] = TEXT("NUL:");
constexpr int kTicketAttempts = 50;
constexpr DWORD kTicketPauseMs = 200;
constexpr HRESULT kNotFound = static_cast<HRESULT>(0x80070002);
constexpr HRESULT kPathNotFound = static_cast<HRESULT>(0x80070003);

const char kTicketOff[] =
    "<psf:Feature name=\"ns0000:JobPrintToFile\"><psf:Option name=\"psk:Off\"/></psf:Feature>";
const char kTicketOn[] =
    "<psf:Feature name=\"ns0000:JobPrintToFile\"><psf:Option name=\"psk:On\"/></psf:Feature>";

// A failure of a later clean-up goes into the log below the entry of the failure that ended the
// run: the code the Finish page shows first stays that one.
void LogBelow(CSetupContext& context, DWORD code)
{
    const WString first = context.errorLog;
    context.LogError(code);
    if (context.errorLog != first)
        context.errorLog = first + context.errorLog;
}

// The size of a file that can be opened for reading; 0 otherwise.
ULONGLONG ReadableSize(const WString& path)
{
    HANDLE file = CreateFileW(path.c_str(), GENERIC_READ, FILE_SHARE_READ, nullptr, OPEN_EXISTING,
                              FILE_ATTRIBUTE_NORMAL, nullptr);
    if (file == INVALID_HANDLE_VALUE)
        return 0;
    LARGE_INTEGER size{};
    BOOL ok = GetFileSizeEx(file, &size);
    CloseHandle(file);
    return ok && size.QuadPart > 0 ? static_cast<ULONGLONG>(size.QuadPart) : 0;
}

bool IsLocalDevice(const CSetupContext& context, WORD connectionKind)
{
    return connectionKind == 3 && context.selectedDevice &&
           (context.selectedDevice->kind == 0 || context.selectedDevice->kind == 2);
}

// Step 8's upload: the next step, or the failure to report.
UINT Upload(CSetupContext& context, CDriverPackage& package, UINT next)
{
    package.Upload();
    if (package.result != 0)
    {
        context.LogError(package.lastError);
        return kFailUpload;
    }
    return next;
}

// Step 8's Plug and Play path for a found local device: the device's driver updated from the package,
// then the printer the system made for it on the device's port given the name entered. Only printers
// of the package's models are renamed: another maker's printer on "LPT1:" keeps its name. 0 when
// done, else the failure to report.
UINT InstallForLocalDevice(CSetupContext& context, CDriverPackage& package, bool failureCounts)
{
    const FoundDevice& device = *context.selectedDevice;
    package.UpdatePnpDriver(device.localKey, device.kind == 0 ? device.portName : WString());
    if (package.result != 0 && failureCounts)
    {
        context.LogError(package.lastError);
        return kFailDriverInstall;
    }
    // A printer left under the system's name is no success: the name entered is what the user looks for.
    EnumBuffer<PRINTER_INFO_2W> printers = EnumPrintersLocal();
    if (printers.error)
    {
        context.LogError(printers.error);
        return kFailPortOrPrinter;
    }
    bool named = false;
    DWORD renameError = 0;
    for (const PRINTER_INFO_2W& printer : printers.records)
    {
        if (!printer.pPrinterName || !printer.pPortName || !printer.pDriverName || device.portName.empty() ||
            device.portName != printer.pPortName)
            continue;
        const WString driver = printer.pDriverName;
        if (std::find(package.models.begin(), package.models.end(), driver) == package.models.end())
            continue;
        if (context.printerName == printer.pPrinterName ||
            RenamePrinter(printer.pPrinterName, context.printerName))
            named = true;
        else if (!renameError)
            renameError = GetLastError() ? GetLastError() : static_cast<DWORD>(ERROR_INVALID_PRINTER_NAME);
    }
    if (renameError && !named)
    {
        context.LogError(renameError);
        return kFailPortOrPrinter;
    }
    return 0;
}

// A printer to be connected later: the maker's USB and parallel printer nodes go, so that Plug and
// Play finds the printer afresh when it comes. What fails here is not reported.
void CleanDevicesForLater()
{
    const WORD products[] = {2, 4};
    RemoveUsbPrinters(products, WString());
    RemoveLptDevices(TEXT("VELMO_RANTH"));
    ReenumerateDevices();
}

UINT InstallDriver(CSetupContext& context, CDriverPackage& package, const WString& model, UINT next)
{
    if (model.empty())
        return kFailDriverInstall;
    package.InstallFromPackage(model);
    if (package.result != 0)
    {
        context.LogError(package.lastError);
        return kFailDriverInstall;
    }
    return next;
}

// The port a printer is added on and whether it talks both ways; an empty port when none can be had.
struct PortChoice
{
    WString port;
    bool bidi = true;
    UINT failure = 0; // a port that could not be made
};

PortChoice ChoosePort(CSetupContext& context, WORD connectionKind)
{
    PortChoice choice;
    if (connectionKind == 3)
    {
        choice.bidi = false;
        if (!context.selectedDevice || context.selectedDevice->kind != 1)
            return choice;
        const WString& address = context.selectedDevice->ipAddress;
        WString port = kPortPrefix + address;
        if (DWORD status = AddStandardTcpIpPort(kPortPrefix, address))
        {
            // The monitor says so also for a port that is already there.
            context.LogError(status);
            context.portsListed = 0;
            WString listed = port;
            if (!context.FindPort(listed))
            {
                choice.failure = kFailPortOrPrinter;
                return choice;
            }
        }
        context.portsListed = 0;
        choice.port = port;
        return choice;
    }
    if (connectionKind == 2)
    {
        choice.bidi = false;
        WString nul = kNulPort;
        if (context.FindPort(nul))
            choice.port = nul;
        else if (AddLocalPort(kNulPort) == 0)
        {
            context.portsListed = 0;
            choice.port = kNulPort;
        }
        return choice;
    }
    if (context.selectedPort >= 0 && static_cast<size_t>(context.selectedPort) < context.portNames.size())
        choice.port = context.portNames[static_cast<size_t>(context.selectedPort)];
    return choice;
}

UINT AddPrinterOn(CSetupContext& context, CDriverPackage& package, const PortChoice& choice, bool bidi,
                  UINT next)
{
    if (choice.failure)
        return choice.failure;
    if (context.printerName.empty() || choice.port.empty())
        return kFailPortOrPrinter;
    package.AddPrinter(context.printerName, choice.port, bidi);
    if (package.result != 0)
    {
        context.LogError(package.lastError);
        return kFailPortOrPrinter;
    }
    return next;
}

// The result of an install by the connection kind it was made for.
UINT InstalledResult(const CSetupContext& context, WORD connectionKind)
{
    switch (connectionKind)
    {
    case 0:
        return kResultConnectLater;
    case 1:
    case 2:
    case 4:
        return kResultInstalled;
    case 3:
        if (context.selectedDevice && context.selectedDevice->kind == 1)
            return kResultNetworkCard;
        if (context.selectedDevice &&
            (context.selectedDevice->kind == 0 || context.selectedDevice->kind == 2))
            return kResultLocalDevice;
        return kFailGeneral;
    default:
        return kFailGeneral;
    }
}

UINT Register(CSetupContext& context, UINT result)
{
    return RegisterForResult(context, result);
}

// The model named by the context's model list.
WString SelectedModel(const CSetupContext& context)
{
    return context.selectedModel < context.models.size() ? context.models[context.selectedModel] : WString();
}

WString DeviceModelSuffix(const CSetupContext& context)
{
    return context.selectedDevice ? NormalizeModelName(context.selectedDevice->displayName) : WString();
}

template <typename Fn> Fn ProcByOrdinal(HMODULE module, WORD ordinal)
{
    return reinterpret_cast<Fn>(reinterpret_cast<void (*)()>(
        GetProcAddress(module, reinterpret_cast<LPCSTR>(static_cast<ULONG_PTR>(ordinal)))));
}

using HPTPROVIDER = HANDLE;
using QuerySchemaFn = HRESULT(WINAPI*)(LPCWSTR, DWORD*);
using OpenProviderFn = HRESULT(WINAPI*)(LPCWSTR, DWORD, HPTPROVIDER*);
using CloseProviderFn = HRESULT(WINAPI*)(HPTPROVIDER);
using TicketToDevModeFn = HRESULT(WINAPI*)(HPTPROVIDER, IStream*, int, int, ULONG*, PDEVMODEW*, void**);
using DevModeToTicketFn = HRESULT(WINAPI*)(HPTPROVIDER, ULONG, PDEVMODEW, int, IStream*);
using ReleaseMemoryFn = HRESULT(WINAPI*)(PVOID);
constexpr int kUserDefaultDevmode = 0;
constexpr int kJobScope = 2;

// The record's own length, when it lies within the bytes given; 0 otherwise.
size_t DevModeLength(const BYTE* bytes, size_t available)
{
    if (!bytes || available < sizeof(DEVMODEW))
        return 0;
    DEVMODEW head;
    std::memcpy(&head, bytes, sizeof head);
    const size_t length = size_t{head.dmSize} + head.dmDriverExtra;
    return head.dmSize >= offsetof(DEVMODEW, dmFields) && length <= available ? length : 0;
}

// The printer's settings record as DocumentPropertiesW gives it; empty when there is none.
std::vector<BYTE> PrinterSettings(const WString& printerName)
{
    std::vector<BYTE> settings;
    HANDLE printer = nullptr;
    PRINTER_DEFAULTSW defaults{nullptr, nullptr, PRINTER_ALL_ACCESS};
    if (!OpenPrinter2W(printerName.c_str(), &printer, &defaults, nullptr))
        return settings;
    WString device = printerName;
    LONG size = DocumentPropertiesW(nullptr, printer, device.data(), nullptr, nullptr, 0);
    if (size > 0)
    {
        settings.assign(static_cast<size_t>(size), 0);
        if (DocumentPropertiesW(nullptr, printer, device.data(), reinterpret_cast<PDEVMODEW>(settings.data()),
                                nullptr, DM_OUT_BUFFER) != IDOK ||
            DevModeLength(settings.data(), settings.size()) == 0)
            settings.clear();
    }
    ClosePrinter(printer);
    if (size_t length = DevModeLength(settings.data(), settings.size()))
        settings.resize(length);
    return settings;
}

// The whole of a stream, from its start.
bool ReadStream(IStream* stream, std::string& text)
{
    STATSTG stat{};
    if (FAILED(stream->Stat(&stat, STATFLAG_NONAME)) || stat.cbSize.QuadPart > (1u << 24))
        return false;
    LARGE_INTEGER start{};
    if (FAILED(stream->Seek(start, STREAM_SEEK_SET, nullptr)))
        return false;
    text.assign(static_cast<size_t>(stat.cbSize.QuadPart), 0);
    ULONG read = 0;
    if (!text.empty() && FAILED(stream->Read(text.data(), static_cast<ULONG>(text.size()), &read)))
        return false;
    text.resize(read);
    return true;
}

// Writes the ticket over the stream from its start and cuts the stream to it, so nothing of a longer
// ticket stays behind, then goes back to the start for the reader.
bool RewriteStream(IStream* stream, const std::string& text)
{
    LARGE_INTEGER start{};
    ULONG written = 0;
    ULARGE_INTEGER size{};
    size.QuadPart = text.size();
    return SUCCEEDED(stream->Seek(start, STREAM_SEEK_SET, nullptr)) &&
           SUCCEEDED(stream->Write(text.data(), static_cast<ULONG>(text.size()), &written)) &&
           written == text.size() && SUCCEEDED(stream->SetSize(size)) &&
           SUCCEEDED(stream->Seek(start, STREAM_SEEK_SET, nullptr));
}
} // namespace

WString ProgramDataFolder()
{
    WCHAR buffer[MAX_PATH] = {};
    DWORD n = GetEnvironmentVariableW(TEXT("ProgramData"), buffer, MAX_PATH);
    return n && n < MAX_PATH ? WString(buffer, n) : WString();
}

WString LanguageFolder(const CSetupContext& context, bool withDriverFolder, bool isV4)
{
    WCHAR folder[MAX_PATH];
    UINT n = context.GetLanguageFolder(context.installLcid, folder, MAX_PATH, withDriverFolder, isV4);
    return n ? WString(folder, n) : WString();
}

void MakeMetadataStoreFolder(const WString& programData)
{
    const WString storeFolder = MetadataStoreFolder(programData);
    for (size_t at = storeFolder.find(TEXT('\\'), 3); at != WString::npos;
         at = storeFolder.find(TEXT('\\'), at + 1))
        CreateDirectoryW(storeFolder.substr(0, at).c_str(), nullptr);
}

UINT RegisterForResult(CSetupContext& context, UINT result)
{
    if (RegisterUninstaller(context.modulePath))
        return result;
    DWORD error = GetLastError();
    context.LogError(error ? error : static_cast<DWORD>(ERROR_WRITE_FAULT));
    const bool success = (result & kStatusResultMask) != 0 && (result & kStatusResultMask) < 0x00100000;
    return success ? UINT{kFailGeneral} : result;
}

WString MetadataStoreFolder(const WString& programData)
{
    return programData + TEXT("\\Microsoft\\Windows\\DeviceMetadataStore\\");
}

WString MetadataStoreFile(const WString& programData)
{
    return MetadataStoreFolder(programData) + TEXT("en\\") + kMetadataFile;
}

WString MetadataCacheFolder(const WString& programData)
{
    return programData + TEXT("\\Microsoft\\Windows\\DeviceMetadataCache\\dmrccache\\multiloc\\") +
           kMetadataPackageId;
}

HRESULT DeleteDeviceMetadata(const WString& programData)
{
    for (const WString& path : {MetadataStoreFile(programData), MetadataCacheFolder(programData)})
    {
        // A machine that never had a store lacks the folder as well as the file: nothing to delete.
        HRESULT hr = DeleteWithShell(path);
        if (FAILED(hr) && hr != kNotFound && hr != kPathNotFound)
            return hr;
    }
    return S_OK;
}

TicketEdit EditPrintToFileTicket(std::string& ticket)
{
    const size_t at = ticket.find(kTicketOff);
    if (at != std::string::npos)
    {
        ticket.replace(at, sizeof kTicketOff - 1, kTicketOn);
        return TicketEdit::Edited;
    }
    return ticket.find(kTicketOn) != std::string::npos ? TicketEdit::AlreadyOn : TicketEdit::NoFeature;
}

WString ModelEndingWith(const std::vector<WString>& models, const WString& suffix)
{
    if (suffix.empty())
        return WString();
    for (const WString& model : models)
        if (model.size() >= suffix.size() &&
            model.compare(model.size() - suffix.size(), suffix.size(), suffix) == 0)
            return model;
    return WString();
}

UINT SetPrintToFileOption(CSetupContext& context, const WString& printerName)
{
    std::vector<BYTE> settings = PrinterSettings(printerName);
    HMODULE module = LoadLibraryExW(TEXT("prntvpt.dll"), nullptr, LOAD_LIBRARY_SEARCH_SYSTEM32);
    auto querySchema = ProcByOrdinal<QuerySchemaFn>(module, 1);
    auto openProvider = ProcByOrdinal<OpenProviderFn>(module, 2);
    auto closeProvider = ProcByOrdinal<CloseProviderFn>(module, 4);
    auto ticketToDevMode = ProcByOrdinal<TicketToDevModeFn>(module, 8);
    auto devModeToTicket = ProcByOrdinal<DevModeToTicketFn>(module, 9);
    // The converted record is the provider's memory; without this it would be left behind.
    auto releaseMemory = module ? reinterpret_cast<ReleaseMemoryFn>(
                                      reinterpret_cast<void (*)()>(GetProcAddress(module, "PTReleaseMemory")))
                                : nullptr;
    if (!querySchema || !openProvider || !closeProvider || !ticketToDevMode || !devModeToTicket)
    {
        context.LogError(GetLastError() ? GetLastError() : static_cast<DWORD>(ERROR_PROC_NOT_FOUND));
        if (module)
            FreeLibrary(module);
        return kFailGeneral;
    }

    const WString key = TEXT("SYSTEM\\CurrentControlSet\\Control\\Print\\Printers\\") + printerName;
    DWORD lastStatus = 0;
    UINT failure = 0;
    bool done = false;
    {
        CComInitScope com;
        for (int attempt = 0; attempt < kTicketAttempts && !done && !failure; ++attempt)
        {
            Sleep(kTicketPauseMs);
            IStream* stream = nullptr;
            HRESULT hr = CreateStreamOnHGlobal(nullptr, TRUE, &stream);
            if (FAILED(hr) || !stream)
            {
                lastStatus = static_cast<DWORD>(hr);
                continue;
            }
            DWORD version = 0;
            HPTPROVIDER provider = nullptr;
            querySchema(printerName.c_str(), &version);
            hr = openProvider(printerName.c_str(), 1, &provider);
            if (FAILED(hr))
                lastStatus = static_cast<DWORD>(hr);
            else if (settings.empty())
                failure = kFailGeneral;
            else if (FAILED(hr = devModeToTicket(provider, static_cast<ULONG>(settings.size()),
                                                 reinterpret_cast<PDEVMODEW>(settings.data()), kJobScope,
                                                 stream)))
                lastStatus = static_cast<DWORD>(hr);
            else
            {
                std::string ticket;
                TicketEdit edit = TicketEdit::NoFeature;
                if (!ReadStream(stream, ticket))
                    lastStatus = static_cast<DWORD>(E_FAIL);
                else if ((edit = EditPrintToFileTicket(ticket)) == TicketEdit::NoFeature)
                {
                    context.LogError(ERROR_INVALID_DATA);
                    failure = kFailGeneral;
                }
                else if (!RewriteStream(stream, ticket))
                    lastStatus = static_cast<DWORD>(E_FAIL);
                else
                {
                    ULONG bytes = 0;
                    PDEVMODEW converted = nullptr;
                    hr = ticketToDevMode(provider, stream, kUserDefaultDevmode, kJobScope, &bytes, &converted,
                                         nullptr);
                    size_t length =
                        SUCCEEDED(hr) ? DevModeLength(reinterpret_cast<const BYTE*>(converted), bytes) : 0;
                    if (FAILED(hr))
                        lastStatus = static_cast<DWORD>(hr);
                    else if (!length)
                        lastStatus = ERROR_INVALID_DATA;
                    else
                    {
                        HKEY printerKey = nullptr;
                        LSTATUS status =
                            RegOpenKeyExW(HKEY_LOCAL_MACHINE, key.c_str(), 0, KEY_ALL_ACCESS, &printerKey);
                        if (status == ERROR_SUCCESS)
                        {
                            status = RegSetValueExW(printerKey, TEXT("Default DevMode"), 0, REG_BINARY,
                                                    reinterpret_cast<const BYTE*>(converted),
                                                    static_cast<DWORD>(length));
                            RegCloseKey(printerKey);
                        }
                        lastStatus = static_cast<DWORD>(status);
                        done = status == ERROR_SUCCESS;
                    }
                    if (converted && releaseMemory)
                        releaseMemory(converted);
                }
            }
            if (provider)
                closeProvider(provider);
            stream->Release();
        }
    }
    FreeLibrary(module);
    if (failure)
        return failure;
    if (!done)
    {
        context.LogError(lastStatus ? lastStatus : static_cast<DWORD>(E_FAIL));
        return kFailGeneral;
    }
    if (!RestartSpooler())
    {
        context.LogError(GetLastError());
        return kFailSpoolerRestart;
    }
    return 0;
}

bool CInstallProgress::CreateWorker()
{
    if (self.expired())
        return false;
    switch (context.driverKind)
    {
    case 3:
        return Adopt(std::make_shared<CThreadInstallV3>(self, context));
    case 4:
        return Adopt(std::make_shared<CThreadInstallV4>(self, context));
    default:
        return false;
    }
}

CThreadInstallV3::CThreadInstallV3(std::weak_ptr<CMethodProgressBase> progress, CSetupContext& context)
    : CThreadInstallBase(std::move(progress), context)
{
    ReportStatus(kStepStartInstall);
}

std::map<UINT, int> CThreadInstallV3::BuildStepMessages() const
{
    return StepMessages({kStepStartInstall, kStepCopyDriver, kStepRegisterDriver, kStepAddPrinter});
}

void CThreadInstallV3::Run()
{
    switch (QueryStatus())
    {
    case kStepStartInstall:
        Start();
        break;
    case kStepCopyDriver:
        CopyDriver();
        break;
    case kStepRegisterDriver:
        RegisterDriver();
        break;
    case kStepAddPrinter:
        AddPrinter();
        break;
    case kStepMetadata:
        Result();
        break;
    default:
        Finish();
        break;
    }
}

void CThreadInstallV3::Start()
{
    package_ = std::make_unique<CDriverPackage>(infPath);
    connectionKind_ = context_.connectionKind;
    context_.LogError(package_->infReadError);
    ReportStatus(package_->lastError == ERROR_INVALID_DATA || package_->infReadError ? UINT{kFailSourceFiles}
                                                                                     : UINT{kStepCopyDriver});
}

void CThreadInstallV3::CopyDriver()
{
    if (IsLocalDevice(context_, connectionKind_))
    {
        // Windows 7 reports a failed update for a driver that took all the same.
        UINT failure = InstallForLocalDevice(context_, *package_, context_.isWin7 == 0);
        ReportStatus(failure ? failure : UINT{kStepMetadata});
        return;
    }
    ReportStatus(Upload(context_, *package_, connectionKind_ == 0 ? kStepMetadata : kStepRegisterDriver));
}

void CThreadInstallV3::RegisterDriver()
{
    WString model = connectionKind_ == 3 ? ModelEndingWith(package_->models, DeviceModelSuffix(context_))
                                         : SelectedModel(context_);
    ReportStatus(InstallDriver(context_, *package_, model, kStepAddPrinter));
}

void CThreadInstallV3::AddPrinter()
{
    PortChoice choice = ChoosePort(context_, connectionKind_);
    ReportStatus(AddPrinterOn(context_, *package_, choice, choice.bidi, kStepMetadata));
}

void CThreadInstallV3::Result()
{
    if (connectionKind_ == 0)
        CleanDevicesForLater();
    ReportStatus(Register(context_, InstalledResult(context_, connectionKind_)));
}

CThreadInstallV4::CThreadInstallV4(std::weak_ptr<CMethodProgressBase> progress, CSetupContext& context)
    : CThreadInstallBase(std::move(progress), context)
{
    const WString folder = LanguageFolder(context, false, true);
    if (!folder.empty())
    {
        monitorFolder = folder + TEXT("Monitor");
        metadataFolder = folder + TEXT("DeviceApp\\en");
    }
    ReportStatus(kStepStartInstall);
    companions = std::make_unique<CV4CompanionFiles>(monitorFolder);
    driverBefore_ = context.driverInstalled != 0;
    if (driverBefore_)
        return;
    // Judged by the source itself: the "already installed" state hides a missing source.
    if (!companions->sourceComplete)
        ReportStatus(kFailSourceFiles);
    if (metadataFolder.empty() || !PathFileExistsW((metadataFolder + TEXT("\\") + kMetadataFile).c_str()))
        ReportStatus(kFailSourceFiles);
}

std::map<UINT, int> CThreadInstallV4::BuildStepMessages() const
{
    return StepMessages({kStepStartInstall, kStepCopyDriver, kStepRegisterDriver, kStepAddPrinter,
                         kStepRegisterMonitor, kStepDeleteMonitor, kStepMetadata, kStepInstallResult});
}

void CThreadInstallV4::Run()
{
    switch (QueryStatus())
    {
    case kStepStartInstall:
        Start();
        break;
    case kStepMetadata:
        CopyMetadata();
        break;
    case kStepRegisterMonitor:
        RegisterMonitor();
        break;
    case kStepCopyDriver:
        CopyDriver();
        break;
    case kStepRegisterDriver:
        RegisterDriver();
        break;
    case kStepAddPrinter:
        AddPrinter();
        break;
    case kStepInstallResult:
        Result();
        break;
    default:
        Finish();
        return;
    }
    TakeBackAfterFailure();
}

void CThreadInstallV4::TakeBackAfterFailure()
{
    const UINT status = QueryStatus();
    if (driverBefore_ || (!metadataPut_ && !companionsPut_) || status == kStatusUnreadable ||
        (status & kStatusResultMask) == 0 || IsSuccessResult(status & kStatusResultMask))
        return;
    if (package_ && package_->isUploaded)
        return;
    // Once a package of ours is in the store, "/uninstall" finds it and takes everything with it;
    // a store that cannot be read may hold one.
    CDriverPackage store{WString()};
    store.FindMakerOemInfs(kFilterMakerV4);
    if (!store.oemInfs.empty() || store.oemInfsError)
        return;
    if (companionsPut_)
    {
        // The install's own object refuses a removal after its failure: a fresh one takes what is there.
        CV4CompanionFiles left(monitorFolder);
        if (!left.Remove() && left.state == CV4CompanionFiles::kRemoveFailed)
            LogBelow(context_, left.lastError);
    }
    if (metadataPut_)
        if (HRESULT hr = DeleteDeviceMetadata(ProgramDataFolder()); FAILED(hr))
            LogBelow(context_, static_cast<DWORD>(hr));
}

void CThreadInstallV4::Start()
{
    package_ = std::make_unique<CDriverPackage>(infPath);
    connectionKind_ = context_.connectionKind;
    context_.LogError(package_->infReadError); // nothing when it was read
    if (package_->lastError == ERROR_INVALID_DATA || package_->infReadError)
        ReportStatus(kFailSourceFiles);
    else
        ReportStatus(context_.mode == 3 ? UINT{kStepCopyDriver} : UINT{kStepMetadata});
}

void CThreadInstallV4::CopyMetadata()
{
    // What the store holds after this step is its doing, a copy found there of the same size too.
    metadataPut_ = true;
    const WString programData = ProgramDataFolder();
    const WString source = metadataFolder + TEXT("\\") + kMetadataFile;
    const WString storeFile = MetadataStoreFile(programData);
    const ULONGLONG stored = ReadableSize(storeFile);
    if (stored != 0 && stored == ReadableSize(source))
    {
        ReportStatus(kStepRegisterMonitor);
        return;
    }
    if (stored != 0)
    {
        DeleteWithShell(storeFile);
        HRESULT hr = DeleteWithShell(MetadataCacheFolder(programData));
        if (FAILED(hr) && hr != kNotFound)
        {
            context_.LogError(static_cast<DWORD>(hr));
            ReportStatus(kFailDeleteMetadata);
            return;
        }
    }
    // The copy makes no folder above its target: a machine without a store yet gets one.
    const WString storeFolder = MetadataStoreFolder(programData);
    MakeMetadataStoreFolder(programData);
    HRESULT hr = CopyWithShell(metadataFolder, storeFolder);
    // "Not found" is no failure for a package without metadata (a driver already installed); with
    // its file there, the copy counts only once the store holds it.
    const bool sourceThere = PathFileExistsW(source.c_str()) != FALSE;
    const bool copied = SUCCEEDED(hr) || (hr == kNotFound && !sourceThere);
    if (!copied || (sourceThere && !PathFileExistsW(storeFile.c_str())))
    {
        context_.LogError(FAILED(hr) ? static_cast<DWORD>(hr) : static_cast<DWORD>(ERROR_FILE_NOT_FOUND));
        ReportStatus(kFailCopyMetadata);
        return;
    }
    ReportStatus(kStepRegisterMonitor);
}

void CThreadInstallV4::RegisterMonitor()
{
    companionsPut_ = true;
    companions->Remove();
    if (companions->Install())
    {
        ReportStatus(kStepCopyDriver);
        return;
    }
    context_.LogError(companions->lastError);
    ReportStatus(kFailCompanions);
}

void CThreadInstallV4::CopyDriver()
{
    if (IsLocalDevice(context_, connectionKind_))
    {
        UINT failure = InstallForLocalDevice(context_, *package_, true);
        ReportStatus(failure ? failure : UINT{kStepInstallResult});
        return;
    }
    ReportStatus(
        Upload(context_, *package_, connectionKind_ == 0 ? kStepInstallResult : kStepRegisterDriver));
}

void CThreadInstallV4::RegisterDriver()
{
    WString suffix = connectionKind_ == 3 ? DeviceModelSuffix(context_) : SelectedModel(context_);
    ReportStatus(
        InstallDriver(context_, *package_, ModelEndingWith(package_->models, suffix), kStepAddPrinter));
}

void CThreadInstallV4::AddPrinter()
{
    ReportStatus(
        AddPrinterOn(context_, *package_, ChoosePort(context_, connectionKind_), true, kStepInstallResult));
}

void CThreadInstallV4::Result()
{
    UINT result = InstalledResult(context_, connectionKind_);
    if (connectionKind_ == 0)
        CleanDevicesForLater();
    if (connectionKind_ == 2)
        if (UINT failure = SetPrintToFileOption(context_, context_.printerName))
        {
            ReportStatus(failure);
            return;
        }
    result = Register(context_, result);
    if (IsSuccessResult(result))
    {
        CComInitScope com;
        CUninstallEntry entry(kUninstallEntryName);
        HRESULT hr = entry.Exists() ? CreateStartMenuShortcut(entry.GetDisplayIcon()) : E_FAIL;
        if (FAILED(hr))
        {
            context_.LogError(static_cast<DWORD>(hr));
            result = kFailGeneral;
        }
    }
    // The old drivers go only after the new one is in place.
    if (IsSuccessResult(result) && context_.versionCompare == 2)
    {
        context_.SetFlag(0);
        context_.SetFlag(3);
        SetNextPageRemove();
    }
    ReportStatus(result);
}

} // namespace kgsetup
