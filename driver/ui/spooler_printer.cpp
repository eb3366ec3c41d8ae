#include "spooler_printer.h"

#include <platform/winspool.h>

#include <algorithm>
#include <cstring>

namespace velmoui
{

namespace
{
// GetPrinterW's two calls: the answer's bytes, empty when the spooler gives none.
std::vector<BYTE> PrinterInfo(HANDLE printer, DWORD level)
{
    std::vector<BYTE> buffer;
    for (int attempt = 0; attempt < 2; ++attempt)
    {
        DWORD needed = 0;
        if (GetPrinterW(printer, level, buffer.empty() ? nullptr : buffer.data(),
                        static_cast<DWORD>(buffer.size()), &needed))
            return buffer;
        if (GetLastError() != ERROR_INSUFFICIENT_BUFFER || needed <= buffer.size())
            break;
        buffer.assign(needed, 0);
    }
    return {};
}

// The DEVMODE an answer points to, no further than the answer's end.
std::vector<BYTE> DevModeIn(const std::vector<BYTE>& answer, const DEVMODEW* devMode)
{
    const BYTE* begin = answer.data();
    const BYTE* end = begin + answer.size();
    const BYTE* at = reinterpret_cast<const BYTE*>(devMode);
    if (!devMode || at < begin || at >= end)
        return {};
    size_t available = static_cast<size_t>(end - at);
    size_t size = available;
    if (available >= offsetof(DEVMODEW, dmFields))
    {
        WORD dmSize, extra;
        std::memcpy(&dmSize, at + offsetof(DEVMODEW, dmSize), sizeof dmSize);
        std::memcpy(&extra, at + offsetof(DEVMODEW, dmDriverExtra), sizeof extra);
        size = std::min(available, size_t{dmSize} + extra);
    }
    return std::vector<BYTE>(at, at + size);
}

WString Text(const WCHAR* s)
{
    return s ? WString(s) : WString();
}
} // namespace

OpenedPrinter::OpenedPrinter(const WCHAR* printerName)
{
    if (!printerName || !OpenPrinterW(const_cast<LPWSTR>(printerName), &handle_, nullptr))
        handle_ = nullptr;
}

OpenedPrinter::~OpenedPrinter()
{
    if (handle_)
        ClosePrinter(handle_);
}

std::optional<PrinterRecord> SpoolerPrinter::Printer()
{
    std::vector<BYTE> answer = PrinterInfo(printer_, 2);
    if (answer.size() < sizeof(PRINTER_INFO_2W))
        return std::nullopt;
    PRINTER_INFO_2W info;
    std::memcpy(&info, answer.data(), sizeof info);
    PrinterRecord record;
    record.printerName = Text(info.pPrinterName);
    record.driverName = Text(info.pDriverName);
    record.portName = Text(info.pPortName);
    record.attributes = info.Attributes;
    record.defaultDevMode = DevModeIn(answer, info.pDevMode);
    return record;
}

DWORD SpoolerPrinter::GetData(const WCHAR* valueName, PrinterValue& value)
{
    LPWSTR name = const_cast<LPWSTR>(valueName);
    std::vector<BYTE> data;
    for (int attempt = 0; attempt < 3; ++attempt)
    {
        DWORD type = 0, needed = 0;
        DWORD error = GetPrinterDataW(printer_, name, &type, data.empty() ? nullptr : data.data(),
                                      static_cast<DWORD>(data.size()), &needed);
        if (error == ERROR_SUCCESS)
        {
            data.resize(std::min<size_t>(needed, data.size()));
            value = PrinterValue{type, std::move(data)};
            return ERROR_SUCCESS;
        }
        if (error != ERROR_MORE_DATA && error != ERROR_INSUFFICIENT_BUFFER)
            return error;
        data.assign(needed, 0);
    }
    return ERROR_MORE_DATA;
}

DWORD SpoolerPrinter::SetData(const WCHAR* valueName, DWORD type, std::span<const BYTE> data)
{
    return SetPrinterDataW(printer_, const_cast<LPWSTR>(valueName), type, const_cast<LPBYTE>(data.data()),
                           static_cast<DWORD>(data.size()));
}

WString SpoolerPrinter::DriverDirectory()
{
    WCHAR folder[MAX_PATH + 1] = {};
    DWORD needed = 0;
    if (!GetPrinterDriverDirectoryW(nullptr, nullptr, 1, reinterpret_cast<LPBYTE>(folder),
                                    static_cast<DWORD>(sizeof folder - sizeof(WCHAR)), &needed))
        return {};
    return WString(folder);
}

int SpoolerPrinter::OsCode()
{
    return GetOsCode();
}

void SpoolerPrinter::BroadcastDevModeChange(const WCHAR* printerName)
{
    DWORD_PTR result = 0;
    SendMessageTimeoutW(HWND_BROADCAST, WM_DEVMODECHANGE, 0, reinterpret_cast<LPARAM>(printerName),
                        SMTO_ABORTIFHUNG, 300, &result);
}

int GetOsCode()
{
    OSVERSIONINFOEXW workstation = {};
    workstation.dwOSVersionInfoSize = sizeof workstation;
    workstation.wProductType = VER_NT_WORKSTATION;
    const bool server = !VerifyVersionInfoW(&workstation, VER_PRODUCT_TYPE,
                                            VerSetConditionMask(0, VER_PRODUCT_TYPE, VER_EQUAL));

    struct Step
    {
        DWORD major, minor;
        int code;
    };
    static constexpr Step kSteps[] = {{10, 0, 211}, {6, 3, 209}, {6, 2, 207},
                                      {6, 1, 205},  {6, 0, 203}, {5, 1, 201}};
    const ULONGLONG atLeast = VerSetConditionMask(VerSetConditionMask(0, VER_MAJORVERSION, VER_GREATER_EQUAL),
                                                  VER_MINORVERSION, VER_GREATER_EQUAL);
    for (const Step& step : kSteps)
    {
        OSVERSIONINFOEXW wanted = {};
        wanted.dwOSVersionInfoSize = sizeof wanted;
        wanted.dwMajorVersion = step.major;
        wanted.dwMinorVersion = step.minor;
        if (VerifyVersionInfoW(&wanted, VER_MAJORVERSION | VER_MINORVERSION, atLeast))
            return step.code + (server ? 1 : 0);
    }

    OSVERSIONINFOEXW v = {};
    v.dwOSVersionInfoSize = sizeof v;
    if (!GetVersionExW(reinterpret_cast<LPOSVERSIONINFOW>(&v)))
        return -1;
    const bool ownServer = v.wProductType != VER_NT_WORKSTATION;
    switch (v.dwMajorVersion)
    {
    case 3:
        return 101;
    case 4:
        return v.dwPlatformId == VER_PLATFORM_WIN32_NT ? 102 : -1;
    case 5:
        return v.dwMinorVersion == 0 ? 103 : v.dwMinorVersion == 1 ? 104 : v.dwMinorVersion == 2 ? 201 : -1;
    case 6:
        if (v.dwMinorVersion > 3)
            return -1;
        return 203 + 2 * static_cast<int>(v.dwMinorVersion) + (ownServer ? 1 : 0);
    default:
        return -1;
    }
}

} // namespace velmoui
