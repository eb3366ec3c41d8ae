// Fault points: the APIs a test may make fail. One list, so a misspelt name is refused at once
// instead of never firing, and one prologue per return convention instead of a hand-written check
// at every site.
#pragma once

#include <platform/windows.h>

#include <algorithm>
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

// The fault the next call of `api` should report, if a test asked for one.
std::optional<DWORD> TakeFault(std::string_view api);

} // namespace sim::detail

// A function that reports failure through the last error: the fault's code is set and `result` returned.
#define SIM_FAULT_POINT(api, result)                                                                         \
    do                                                                                                       \
    {                                                                                                        \
        static_assert(::sim::detail::IsFaultPoint(api), "not a listed fault point");                         \
        if (auto simFault_ = ::sim::detail::TakeFault(api))                                                  \
        {                                                                                                    \
            SetLastError(*simFault_);                                                                        \
            return result;                                                                                   \
        }                                                                                                    \
    } while (0)

// A function whose result is the error code itself (registry status, printer-data codes).
#define SIM_FAULT_STATUS(api, Type)                                                                          \
    do                                                                                                       \
    {                                                                                                        \
        static_assert(::sim::detail::IsFaultPoint(api), "not a listed fault point");                         \
        if (auto simFault_ = ::sim::detail::TakeFault(api))                                                  \
            return static_cast<Type>(*simFault_);                                                            \
    } while (0)
