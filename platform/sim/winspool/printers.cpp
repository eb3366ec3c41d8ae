// Printers: installed by a test, read with GetPrinterW at the levels the driver asks for.
#include "winspool/spooler_internal.h"

#include "core/state.h"
#include "core/two_call.h"

#include <map>

namespace sim
{
namespace
{
struct Printers : detail::PartBase
{
    std::map<WString, PrinterSetup> byName; // by folded name
};

Printers& printers()
{
    return detail::Part<Printers>();
}
} // namespace

const PrinterSetup* detail::FindPrinter(WStringView name)
{
    auto it = printers().byName.find(Fold(name));
    return it == printers().byName.end() ? nullptr : &it->second;
}

bool detail::PortInUse(WStringView portName)
{
    for (const auto& [folded, printer] : printers().byName)
        if (EqualNoCase(printer.portName, portName))
            return true;
    return false;
}

// What the spooler reads at its start: the DEVMODE stored with each printer in the registry.
void detail::ReloadDefaultDevModes()
{
    for (auto& [folded, printer] : printers().byName)
    {
        auto stored = machine().GetRegistryValue(
            HKEY_LOCAL_MACHINE, u"SYSTEM\\CurrentControlSet\\Control\\Print\\Printers\\" + printer.name,
            u"Default DevMode");
        if (stored && stored->type == REG_BINARY)
            printer.defaultDevMode = stored->data;
    }
}

void Spooler::AddPrinter(const PrinterSetup& printer)
{
    std::lock_guard g(detail::StateLock());
    printers().byName[detail::Fold(printer.name)] = printer;
    detail::ForgetPrinterData(printer.name);
}
} // namespace sim

using namespace sim;
using namespace sim::detail;

BOOL WINAPI GetPrinterW(HANDLE printer, DWORD level, LPBYTE buffer, DWORD size, LPDWORD needed)
{
    std::lock_guard g(StateLock());
    auto handle = CheckedPrinterHandle(printer);
    if (!handle)
        return FALSE;
    const PrinterSetup& s = *FindPrinter(handle->printerName);
    switch (level)
    {
    case 2:
        return PackTwoCall(buffer, size, needed, sizeof(PRINTER_INFO_2W), [&](Packer& pack) {
            auto* info = pack.Fixed<PRINTER_INFO_2W>();
            info->pPrinterName = pack.String(s.name);
            info->pPortName = pack.String(s.portName);
            info->pDriverName = pack.String(s.driverName);
            info->pPrintProcessor = pack.String(s.printProcessor);
            if (!s.defaultDevMode.empty())
                info->pDevMode = reinterpret_cast<LPDEVMODEW>(
                    pack.Bytes(s.defaultDevMode.data(), s.defaultDevMode.size()));
            info->Attributes = s.attributes;
        });
    case 4:
        return PackTwoCall(buffer, size, needed, sizeof(PRINTER_INFO_4W), [&](Packer& pack) {
            auto* info = pack.Fixed<PRINTER_INFO_4W>();
            info->pPrinterName = pack.String(s.name);
            info->Attributes = s.attributes;
        });
    case 5:
        return PackTwoCall(buffer, size, needed, sizeof(PRINTER_INFO_5W), [&](Packer& pack) {
            auto* info = pack.Fixed<PRINTER_INFO_5W>();
            info->pPrinterName = pack.String(s.name);
            info->pPortName = pack.String(s.portName);
            info->Attributes = s.attributes;
        });
    default:
        SetLastError(ERROR_INVALID_LEVEL);
        return FALSE;
    }
}
