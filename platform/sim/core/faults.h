// Fault points: the APIs a test may make fail. One list, so a misspelt name is refused at once
// instead of never firing, and one prologue per return convention instead of a hand-written check
// at every site.
#pragma once

#include <platform/windows.h>

#include <algorithm>
#include <cstdint>
#include <optional>
#include <string_view>

namespace sim::detail
{

// Kept sorted: FailNext looks names up here. A part that adds a fault point adds its name.
inline constexpr std::string_view kFaultPoints[] = {
    "AddPrinterW",
    "AdjustTokenPrivileges",
    "AssocQueryStringW",
    "CM_Locate_DevNodeW",
    "CM_Reenumerate_DevNode",
    "ChangeServiceConfig2A",
    "ChangeServiceConfigW",
    "CloseHandle",
    "CoCreateInstance",
    "CoInitializeEx",
    "ComPropSheetAddPage",
    "ControlService",
    "CopyFileA",
    "CopyFileW",
    "CreateActCtxW",
    "CreateCompatibleBitmap",
    "CreateCompatibleDC",
    "CreateDirectoryW",
    "CreateEventW",
    "CreateFileA",
    "CreateFileMappingW",
    "CreateFileW",
    "CreateMutexA",
    "CreateMutexW",
    "CreateProcessW",
    "CreateProcessWithTokenW",
    "CreatePropertySheetPageW",
    "CreateSemaphoreW",
    "CreateServiceA",
    "CreateServiceW",
    "CreateStreamOnHGlobal",
    "CreateThread",
    "CreateWaitableTimerW",
    "CreateWindowExW",
    "DeleteFileW",
    "DeleteMonitorA",
    "DeleteMonitorW",
    "DeletePortA",
    "DeletePortW",
    "DeletePrintProcessorW",
    "DeletePrinter",
    "DeletePrinterDriverA",
    "DeletePrinterDriverExA",
    "DeletePrinterDriverExW",
    "DeletePrinterDriverW",
    "DeleteService",
    "DeviceIoControl",
    "DiUninstallDevice",
    "DialogBoxParamW",
    "DocumentPropertiesW",
    "DuplicateTokenEx",
    "EngAllocMem",
    "EngAssociateSurface",
    "EngCreateBitmap",
    "EngCreatePalette",
    "EngGetPrinter",
    "EngGetPrinterData",
    "EngGetPrinterDriver",
    "EngMarkBandingSurface",
    "EngSetPrinterData",
    "EngWritePrinter",
    "EnumJobsA",
    "EnumJobsW",
    "EnumMonitorsA",
    "EnumPortsW",
    "EnumPrinterDriversW",
    "EnumPrintersA",
    "EnumPrintersW",
    "ExitWindowsEx",
    "FindFirstFileW",
    "FormatMessageW",
    "GetCurrentDirectoryW",
    "GetFileAttributesW",
    "GetFileVersionInfoW",
    "GetIpAddrTable",
    "GetLocaleInfoW",
    "GetModuleFileNameA",
    "GetOpenFileNameW",
    "GetOverlappedResult",
    "GetPrinterDataW",
    "GetPrinterDriverDirectoryW",
    "GetPrinterW",
    "GetProcAddress",
    "GetSaveFileNameW",
    "GetSystemDirectoryW",
    "GetTempFileNameW",
    "GlobalAlloc",
    "HeapAlloc",
    "HeapCreate",
    "INetFwPolicy2::get_Rules",
    "INetFwRule::put_Action",
    "INetFwRule::put_ApplicationName",
    "INetFwRule::put_Direction",
    "INetFwRule::put_Enabled",
    "INetFwRule::put_Name",
    "INetFwRule::put_Profiles",
    "INetFwRules::Add",
    "INetFwRules::Remove",
    "InitCommonControlsEx",
    "InstallPrinterDriverFromPackageW",
    "K32EnumProcessModulesEx",
    "K32EnumProcesses",
    "K32GetModuleFileNameExW",
    "LoadImageW",
    "LoadLibraryA",
    "LoadLibraryExW",
    "MapViewOfFile",
    "MessageBoxW",
    "MoveFileExA",
    "NetUserEnum",
    "OpenFileMappingW",
    "OpenPrinter2W",
    "OpenPrinterA",
    "OpenPrinterW",
    "OpenProcess",
    "OpenProcessToken",
    "OpenSCManagerA",
    "OpenSCManagerW",
    "OpenServiceA",
    "OpenServiceW",
    "PTConvertDevModeToPrintTicket",
    "PTConvertPrintTicketToDevMode",
    "PTOpenProvider",
    "PropertySheetW",
    "QueryServiceStatus",
    "QueryServiceStatusEx",
    "ReadFile",
    "RegCreateKeyA",
    "RegCreateKeyExA",
    "RegCreateKeyExW",
    "RegCreateKeyW",
    "RegDeleteKeyA",
    "RegDeleteKeyExW",
    "RegDeleteKeyW",
    "RegDeleteValueA",
    "RegDeleteValueW",
    "RegEnumKeyExA",
    "RegEnumKeyExW",
    "RegEnumValueW",
    "RegLoadKeyA",
    "RegOpenKeyExA",
    "RegOpenKeyExW",
    "RegQueryValueExA",
    "RegQueryValueExW",
    "RegSetValueExA",
    "RegSetValueExW",
    "RegUnLoadKeyA",
    "RegisterClassA",
    "RemoveDirectoryW",
    "SHBrowseForFolderW",
    "SHCreateItemFromParsingName",
    "SHGetFolderPathW",
    "SHGetPathFromIDListW",
    "SetCurrentDirectoryW",
    "SetDllDirectoryW",
    "SetFileAttributesW",
    "SetJobW",
    "SetPrinterA",
    "SetPrinterDataW",
    "SetPrinterW",
    "SetTimer",
    "SetupCopyOEMInfW",
    "SetupDiCallClassInstaller",
    "SetupDiCreateDeviceInfoW",
    "SetupDiGetClassDevsW",
    "SetupDiGetDeviceInstallParamsW",
    "SetupDiGetDeviceInterfaceDetailW",
    "SetupDiGetDevicePropertyW",
    "SetupDiGetDeviceRegistryPropertyA",
    "SetupDiGetDeviceRegistryPropertyW",
    "SetupDiOpenDevRegKey",
    "SetupDiOpenDeviceInfoW",
    "SetupDiRemoveDevice",
    "SetupDiSetClassInstallParamsW",
    "SetupDiSetDeviceRegistryPropertyW",
    "SetupGetInfDriverStoreLocationW",
    "SetupOpenInfFileW",
    "SetupUninstallOEMInfW",
    "ShellExecuteExA",
    "ShellExecuteExW",
    "StartServiceA",
    "StartServiceW",
    "SysAllocString",
    "TerminateProcess",
    "UpdateDriverForPlugAndPlayDevicesW",
    "UploadPrinterDriverPackageW",
    "WSAStartup",
    "WinExec",
    "WriteFile",
    "WritePrinter",
    "XcvDataW",
    "bind",
    "closesocket",
    "recvfrom",
    "select",
    "sendto",
    "setsockopt",
    "socket",
};

constexpr bool IsFaultPoint(std::string_view api)
{
    return std::binary_search(std::begin(kFaultPoints), std::end(kFaultPoints), api);
}

static_assert(std::is_sorted(std::begin(kFaultPoints), std::end(kFaultPoints)), "keep the list sorted");

// A fault point's name, refused where it is written when it is not listed: a misspelt site would
// otherwise never fail.
consteval std::string_view FaultPointName(std::string_view api)
{
    if (!IsFaultPoint(api))
        throw "not a listed fault point";
    return api;
}

// The fault the next call of `api` should report, if a test asked for one.
std::optional<DWORD> TakeFault(std::string_view api);

// How many asked-for faults this thread has reported so far. A simulated API that fails after one
// fired beneath it fails as Windows would; one that fails without tells the caller's own mistake.
std::uint64_t FaultsReportedOnThisThread();

// Whether a fault fired on this thread since the watch was made.
class FaultWatch
{
public:
    bool Fired() const { return FaultsReportedOnThisThread() != start_; }

private:
    std::uint64_t start_ = FaultsReportedOnThisThread();
};

// A fault's code as an HRESULT: one given as an HRESULT stays, a Win32 code is wrapped, so a test
// that names a Win32 code never makes a COM call report success.
constexpr HRESULT FaultHResult(DWORD code)
{
    return static_cast<HRESULT>(code) < 0 ? static_cast<HRESULT>(code)
                                          : static_cast<HRESULT>((code & 0xFFFF) | 0x80070000);
}

} // namespace sim::detail

// For a site whose failure none of the prologues below describes: the fault asked for, if any.
#define SIM_TAKE_FAULT(api) ::sim::detail::TakeFault(::sim::detail::FaultPointName(api))

// A function that reports failure through the last error: the fault's code is set and `result` returned.
#define SIM_FAULT_POINT(api, result)                                                                         \
    do                                                                                                       \
    {                                                                                                        \
        if (auto simFault_ = SIM_TAKE_FAULT(api))                                                            \
        {                                                                                                    \
            SetLastError(*simFault_);                                                                        \
            return result;                                                                                   \
        }                                                                                                    \
    } while (0)

// A function whose result is the error code itself (registry status, printer-data codes).
#define SIM_FAULT_STATUS(api, Type)                                                                          \
    do                                                                                                       \
    {                                                                                                        \
        if (auto simFault_ = SIM_TAKE_FAULT(api))                                                            \
            return static_cast<Type>(*simFault_);                                                            \
    } while (0)

// A function that returns an HRESULT (COM methods, the shell's and the print ticket's functions).
#define SIM_FAULT_HRESULT(api)                                                                               \
    do                                                                                                       \
    {                                                                                                        \
        if (auto simFault_ = SIM_TAKE_FAULT(api))                                                            \
            return ::sim::detail::FaultHResult(*simFault_);                                                  \
    } while (0)

// A function that fails with one fixed result and sets no last error.
#define SIM_FAULT_RESULT(api, result)                                                                        \
    do                                                                                                       \
    {                                                                                                        \
        if (SIM_TAKE_FAULT(api))                                                                             \
            return result;                                                                                   \
    } while (0)
