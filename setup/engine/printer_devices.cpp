// The driver package's work on devices and queues: a printer removed through its software device or the
// spooler, the plug-and-play driver of a USB printer updated, a printer renamed.
#include "devices.h"
#include "driver_package.h"
#include "inf_file.h"
#include "ports.h"
#include "services.h"

#include <platform/newdev.h>

#include <algorithm>

namespace kgsetup
{
namespace
{
constexpr DWORD kInstallPollMilliseconds = 100;
constexpr DWORD kInstallPollLimit = 5 * 60 * 1000 / kInstallPollMilliseconds; // five minutes
const WORD kDuplicatorProducts[] = {2, 4};

// {A45C254E-DF1C-4EFD-8020-67D146A850E0},14: the device's friendly name.
constexpr DEVPROPKEY kFriendlyName = {
    {0xA45C254E, 0xDF1C, 0x4EFD, {0x80, 0x20, 0x67, 0xD1, 0x46, 0xA8, 0x50, 0xE0}}, 14};

bool SameName(const WString& a, const WString& b)
{
    return EqualsNoCase(a, b);
}

// The friendly name of a node, bounded; empty when it has none.
WString FriendlyNameOf(HDEVINFO set, SP_DEVINFO_DATA& data)
{
    BYTE buffer[1024] = {};
    DEVPROPTYPE type = 0;
    DWORD needed = 0;
    if (!SetupDiGetDevicePropertyW(set, &data, &kFriendlyName, &type, buffer, sizeof buffer, &needed, 0) ||
        type != DEVPROP_TYPE_STRING)
        return WString();
    return PropertyText(std::span<const BYTE>(buffer, std::min<DWORD>(needed, sizeof buffer)));
}

// The system's wait for the plug-and-play installs an update started, asked again while they run.
void WaitForInstallEvents()
{
    HMODULE setupapi = GetSystemModule(TEXT("setupapi.dll"));
    auto wait = setupapi ? reinterpret_cast<CmpWaitNoPendingInstallEventsProc>(reinterpret_cast<void*>(
                               GetProcAddress(setupapi, "CMP_WaitNoPendingInstallEvents")))
                         : nullptr;
    if (!wait)
        return;
    for (DWORD polls = 0; wait(0) == WAIT_TIMEOUT && polls < kInstallPollLimit; ++polls)
        Sleep(kInstallPollMilliseconds);
}
} // namespace

void CDriverPackage::RemovePrinter(const WString& name)
{
    HDEVINFO queues = SetupDiGetClassDevsW(nullptr, TEXT("SWD"), nullptr, DIGCF_ALLCLASSES);
    if (queues != INVALID_HANDLE_VALUE && queues != nullptr)
    {
        bool found = false;
        SP_DEVINFO_DATA data{};
        data.cbSize = sizeof data;
        for (DWORD i = 0; !found && SetupDiEnumDeviceInfo(queues, i, &data); ++i)
        {
            if (!SameName(FriendlyNameOf(queues, data), name))
                continue;
            found = true;
            result = 0;
            if (!SetupDiRemoveDevice(queues, &data))
            {
                lastError = GetLastError() ? GetLastError() : 1;
                result = 1;
            }
        }
        SetupDiDestroyDeviceInfoList(queues);
        if (found)
            return;
        // No software device bears the name: the queue is deleted through the spooler instead of
        // being reported removed while it stays.
    }
    PRINTER_DEFAULTSW all{nullptr, nullptr, PRINTER_ALL_ACCESS};
    HANDLE handle = nullptr;
    if (!OpenPrinterW(const_cast<LPWSTR>(name.c_str()), &handle, &all))
    {
        lastError = GetLastError();
        result = 1;
        return;
    }
    result = 0;
    if (!DeletePrinter(handle))
    {
        lastError = GetLastError();
        result = 1;
    }
    ClosePrinter(handle);
}

void CDriverPackage::UpdatePnpDriver(const WString& hardwareId, const WString& usbKey)
{
    if (!usbKey.empty() && RemoveUsbPrinters(kDuplicatorProducts, usbKey, 0) != S_OK)
    {
        result = 1;
        lastError = 1;
        return;
    }
    Upload();
    // The device's nodes are gone: Plug and Play makes them again, as they were when the upload failed.
    ReenumerateDevices();
    if (result != 0)
        return;
    BOOL reboot = FALSE;
    const BOOL updated = UpdateDriverForPlugAndPlayDevicesW(nullptr, hardwareId.c_str(), infPath.c_str(),
                                                            INSTALLFLAG_FORCE, &reboot);
    // Only a failed call's code counts: a stale one would send a success down the wrong branch.
    lastError = updated ? 0 : GetLastError();
    WaitForInstallEvents();
    if (lastError == ERROR_NO_SUCH_DEVINST)
    {
        result = 1;
        for (const WString& id : HardwareIdsOf(TEXT("USBPRINT")))
            if (SameName(id, hardwareId))
                result = 0;
        return;
    }
    if (lastError == ERROR_NOT_FOUND)
    {
        result = RestartSpooler() ? 0 : 1;
        return;
    }
    result = updated ? 0 : 1;
}

bool RenamePrinter(const WString& oldName, const WString& newName)
{
    if (oldName == newName)
        return false;
    PRINTER_DEFAULTSW all{nullptr, nullptr, PRINTER_ALL_ACCESS};
    HANDLE handle = nullptr;
    if (!OpenPrinterW(const_cast<LPWSTR>(oldName.c_str()), &handle, &all))
        return false;
    bool renamed = false;
    DWORD needed = 0;
    GetPrinterW(handle, 2, nullptr, 0, &needed);
    if (needed >= sizeof(PRINTER_INFO_2W))
    {
        std::vector<BYTE> buffer(needed, 0);
        if (GetPrinterW(handle, 2, buffer.data(), needed, &needed))
        {
            auto* info = reinterpret_cast<PRINTER_INFO_2W*>(buffer.data());
            WString name = newName;
            info->pPrinterName = name.data();
            renamed = SetPrinterW(handle, 2, buffer.data(), 0) != FALSE;
        }
    }
    ClosePrinter(handle);
    return renamed;
}

} // namespace kgsetup
