// Printer data: values under keys of a printer, the driver's own under "PrinterDriverData". Get
// answers with the size needed and ERROR_MORE_DATA when the buffer is short, as the registry does.
#include "winspool/spooler_internal.h"

#include "core/state.h"

#include <cstring>
#include <map>

namespace sim
{
namespace
{
struct PrinterValues
{
    std::map<WString, std::map<WString, PrinterDataValue>> keys; // by folded key, then folded value
    int reads = 0;
};

struct PrinterData : detail::PartBase
{
    std::map<WString, PrinterValues> byPrinter; // by folded printer name
};

PrinterData& printerData()
{
    return detail::Part<PrinterData>();
}

const PrinterDataValue* FindValue(WStringView printerName, WStringView key, WStringView value)
{
    auto printer = printerData().byPrinter.find(detail::Fold(printerName));
    if (printer == printerData().byPrinter.end())
        return nullptr;
    auto k = printer->second.keys.find(detail::Fold(key));
    if (k == printer->second.keys.end())
        return nullptr;
    auto v = k->second.find(detail::Fold(value));
    return v == k->second.end() ? nullptr : &v->second;
}
} // namespace

namespace detail
{
void RenamePrinterData(WStringView oldName, WStringView newName)
{
    auto node = printerData().byPrinter.extract(Fold(oldName));
    if (node.empty())
        return;
    node.key() = Fold(newName);
    printerData().byPrinter.insert(std::move(node));
}

void ForgetPrinterData(WStringView printerName)
{
    printerData().byPrinter.erase(Fold(printerName));
}

DWORD GetPrinterValue(WStringView printerName, WStringView key, WStringView value, DWORD* type, BYTE* data,
                      DWORD size, DWORD* needed)
{
    ++printerData().byPrinter[Fold(printerName)].reads;
    const PrinterDataValue* found = FindValue(printerName, key, value);
    if (!found)
        return ERROR_FILE_NOT_FOUND;
    if (type)
        *type = found->type;
    if (needed)
        *needed = static_cast<DWORD>(found->data.size());
    if (found->data.size() > size || (!data && !found->data.empty()))
        return ERROR_MORE_DATA;
    if (!found->data.empty())
        std::memcpy(data, found->data.data(), found->data.size());
    return ERROR_SUCCESS;
}

DWORD SetPrinterValue(WStringView printerName, WStringView key, WStringView value, DWORD type,
                      const BYTE* data, DWORD size)
{
    if (!data && size)
        return ERROR_INVALID_PARAMETER;
    printerData().byPrinter[Fold(printerName)].keys[Fold(key)][Fold(value)] =
        PrinterDataValue{type, data ? std::vector<BYTE>(data, data + size) : std::vector<BYTE>()};
    return ERROR_SUCCESS;
}
} // namespace detail

void Spooler::SetPrinterData(WStringView printerName, WStringView valueName, DWORD type,
                             std::vector<BYTE> data)
{
    std::lock_guard g(detail::StateLock());
    if (detail::FindPrinter(printerName))
        detail::SetPrinterValue(printerName, detail::kPrinterDriverData, valueName, type, data.data(),
                                static_cast<DWORD>(data.size()));
}

std::optional<PrinterDataValue> Spooler::PrinterData(WStringView printerName, WStringView valueName) const
{
    std::lock_guard g(detail::StateLock());
    const PrinterDataValue* found = FindValue(printerName, detail::kPrinterDriverData, valueName);
    return found ? std::optional(*found) : std::nullopt;
}

int Spooler::PrinterDataReads(WStringView printerName) const
{
    std::lock_guard g(detail::StateLock());
    auto it = printerData().byPrinter.find(detail::Fold(printerName));
    return it == printerData().byPrinter.end() ? 0 : it->second.reads;
}
} // namespace sim

using namespace sim;
using namespace sim::detail;

DWORD WINAPI GetPrinterDataExW(HANDLE printer, LPCWSTR keyName, LPCWSTR valueName, LPDWORD type, LPBYTE data,
                               DWORD size, LPDWORD needed)
{
    std::lock_guard g(StateLock());
    auto handle = CheckedPrinterHandle(printer);
    if (!handle)
        return ERROR_INVALID_HANDLE;
    if (!keyName || !*keyName)
        return ERROR_INVALID_PARAMETER;
    return GetPrinterValue(handle->printerName, keyName, valueName ? WStringView(valueName) : WStringView(),
                           type, data, size, needed);
}

DWORD WINAPI GetPrinterDataW(HANDLE printer, LPWSTR valueName, LPDWORD type, LPBYTE data, DWORD size,
                             LPDWORD needed)
{
    SIM_FAULT_STATUS("GetPrinterDataW", DWORD);
    WString key(kPrinterDriverData);
    return GetPrinterDataExW(printer, key.c_str(), valueName, type, data, size, needed);
}

DWORD WINAPI SetPrinterDataExW(HANDLE printer, LPCWSTR keyName, LPCWSTR valueName, DWORD type, LPBYTE data,
                               DWORD size)
{
    std::lock_guard g(StateLock());
    auto handle = CheckedPrinterHandle(printer);
    if (!handle)
        return ERROR_INVALID_HANDLE;
    if (!keyName || !*keyName || !valueName)
        return ERROR_INVALID_PARAMETER;
    return SetPrinterValue(handle->printerName, keyName, valueName, type, data, size);
}

DWORD WINAPI SetPrinterDataW(HANDLE printer, LPWSTR valueName, DWORD type, LPBYTE data, DWORD size)
{
    SIM_FAULT_STATUS("SetPrinterDataW", DWORD);
    WString key(kPrinterDriverData);
    return SetPrinterDataExW(printer, key.c_str(), valueName, type, data, size);
}
