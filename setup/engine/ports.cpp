#include "ports.h"

#include <platform/tcpxcv.h>
#include <platform/winspool.h>

#include <array>
#include <cstring>

namespace kgsetup
{
namespace
{
using XcvDataProc = BOOL(WINAPI*)(HANDLE, LPCWSTR, PBYTE, DWORD, PBYTE, DWORD, PDWORD, PDWORD);

XcvDataProc FindXcvData()
{
    HMODULE spooler = GetSystemModule(TEXT("winspool.drv"));
    return spooler
               ? reinterpret_cast<XcvDataProc>(reinterpret_cast<void*>(GetProcAddress(spooler, "XcvDataW")))
               : nullptr;
}

// Copies text and its terminating zero into a field of `units` characters; false when it does not fit.
template <size_t N> bool PutText(WCHAR (&field)[N], WStringView text)
{
    if (text.size() >= N)
        return false;
    std::copy(text.begin(), text.end(), field);
    field[text.size()] = 0;
    return true;
}

template <typename T> std::vector<BYTE> BytesOf(const T& record)
{
    std::vector<BYTE> bytes(sizeof record);
    std::memcpy(bytes.data(), &record, sizeof record);
    return bytes;
}

struct XcvResult
{
    bool opened = false;
    DWORD error = 0; // when the call itself failed
    DWORD status = 0;
};

// One command to a monitor, repeated once with the output room the monitor asks for.
XcvResult SendToMonitor(XcvDataProc xcv, WStringView monitor, WStringView command, std::vector<BYTE> input)
{
    XcvResult result;
    WString name = WString(TEXT(",XcvMonitor ")) + WString(monitor);
    PRINTER_DEFAULTSW defaults{nullptr, nullptr, SERVER_ACCESS_ADMINISTER};
    HANDLE handle = nullptr;
    if (!OpenPrinterW(name.data(), &handle, &defaults))
    {
        result.error = GetLastError();
        return result;
    }
    result.opened = true;
    WString commandName(command);
    DWORD needed = 0, status = 0;
    std::vector<BYTE> output;
    BOOL ok = xcv(handle, commandName.c_str(), input.data(), static_cast<DWORD>(input.size()), nullptr, 0,
                  &needed, &status);
    if ((!ok && GetLastError() == ERROR_INSUFFICIENT_BUFFER) || (ok && status == ERROR_INSUFFICIENT_BUFFER))
    {
        output.resize(needed);
        status = 0;
        ok = xcv(handle, commandName.c_str(), input.data(), static_cast<DWORD>(input.size()), output.data(),
                 static_cast<DWORD>(output.size()), &needed, &status);
    }
    // A call that never reached the monitor leaves the status untouched: its error is the answer.
    if (!ok)
        result.error = GetLastError() ? GetLastError() : ERROR_INVALID_FUNCTION;
    result.status = status;
    ClosePrinter(handle);
    return result;
}
} // namespace

HMODULE GetSystemModule(const WString& name)
{
    std::array<WCHAR, MAX_PATH> previous{}, system{};
    DWORD previousLength = GetCurrentDirectoryW(static_cast<DWORD>(previous.size()), previous.data());
    UINT systemLength = GetSystemDirectoryW(system.data(), static_cast<UINT>(system.size()));
    // The failed call's code stays for the caller; a folder too long for the room has none of its own.
    if (previousLength == 0 || systemLength == 0)
        return nullptr;
    if (previousLength >= previous.size() || systemLength >= system.size())
    {
        SetLastError(ERROR_FILENAME_EXCED_RANGE);
        return nullptr;
    }
    if (!SetCurrentDirectoryW(system.data()))
        return nullptr;
    HMODULE module = GetModuleHandleW(name.c_str());
    DWORD error = GetLastError();
    SetCurrentDirectoryW(previous.data());
    SetLastError(error);
    return module;
}

std::optional<std::vector<BYTE>> BuildPortData1(WStringView prefix, WStringView address)
{
    PORT_DATA_1 data{};
    if (!PutText(data.sztPortName, WString(prefix) + WString(address)) ||
        !PutText(data.sztHostAddress, address) || !PutText(data.sztIPAddress, address))
        return std::nullopt;
    data.dwVersion = 1;
    data.dwProtocol = PROTOCOL_RAWTCP_TYPE;
    data.cbSize = sizeof(PORT_DATA_1);
    PutText(data.sztSNMPCommunity, TEXT("vextor"));
    data.dwDoubleSpool = 1;
    PutText(data.sztQueue, TEXT("lp"));
    data.dwPortNumber = 9100;
    data.dwSNMPEnabled = 0;
    data.dwSNMPDevIndex = 1;
    return BytesOf(data);
}

std::optional<std::vector<BYTE>> BuildDeletePortData1(WStringView portName)
{
    DELETE_PORT_DATA_1 data{};
    if (!PutText(data.psztPortName, portName))
        return std::nullopt;
    data.dwVersion = 1;
    return BytesOf(data);
}

DWORD AddLocalPort(WStringView name)
{
    XcvDataProc xcv = FindXcvData();
    if (!xcv)
        return GetLastError();
    std::vector<BYTE> input((name.size() + 1) * sizeof(WCHAR), 0);
    std::memcpy(input.data(), name.data(), name.size() * sizeof(WCHAR));
    XcvResult r = SendToMonitor(xcv, TEXT("Local Port"), TEXT("AddPort"), std::move(input));
    if (!r.opened)
        return 1;
    return r.error ? r.error : r.status;
}

DWORD AddStandardTcpIpPort(WStringView prefix, WStringView address)
{
    XcvDataProc xcv = FindXcvData();
    if (!xcv)
        return GetLastError();
    auto input = BuildPortData1(prefix, address);
    if (!input)
        return ERROR_INVALID_PARAMETER;
    XcvResult r = SendToMonitor(xcv, TEXT("Standard TCP/IP Port"), TEXT("AddPort"), std::move(*input));
    if (!r.opened)
        return 1;
    return r.error ? r.error : r.status;
}

DWORD DeleteTcpIpPort(WStringView portName)
{
    XcvDataProc xcv = FindXcvData();
    if (!xcv)
        return GetLastError() ? GetLastError() : static_cast<DWORD>(ERROR_PROC_NOT_FOUND);
    auto input = BuildDeletePortData1(portName);
    if (!input)
        return ERROR_INVALID_PARAMETER;
    XcvResult r = SendToMonitor(xcv, TEXT("Standard TCP/IP Port"), TEXT("DeletePort"), std::move(*input));
    if (!r.opened)
        return r.error;
    return r.error ? r.error : r.status;
}

WString NormalizeModelName(WString name)
{
    // In this order; each replaces only the last occurrence, matched with case.
    static const std::pair<WStringView, WStringView> kPairs[] = {
        {TEXT("Velmo Ranth"), TEXT("Velmo ")},
        {TEXT("TAVON "), TEXT("NOVAT ")},
        {TEXT("TAVON"), TEXT("")},
        {TEXT("NOVAT"), TEXT("TAVON")},
        {TEXT("  "), TEXT(" ")},
        {TEXT("0a"), TEXT("0\u03B1")},
        {TEXT("-a"), TEXT("-\u03B1")},
        {TEXT("Velmo CD"), TEXT("CD")},
    };
    for (const auto& [search, replacement] : kPairs)
    {
        size_t at = name.rfind(search);
        if (at != WString::npos)
            name.replace(at, search.size(), replacement);
    }
    return name;
}

} // namespace kgsetup
