// The port monitors' configuration channel: OpenPrinterW(",XcvMonitor <monitor>") gives a handle on
// which XcvDataW sends a monitor a command. The local monitor adds and deletes ports by name; the
// standard TCP/IP monitor takes its fixed records, checked byte by byte as outside input.
#include "core/state.h"
#include "kernel32/loader.h"
#include "winspool/spooler_internal.h"

#include <platform/tcpxcv.h>
#include <sim/port_monitors.h>

#include <cstring>
#include <map>

namespace sim
{
namespace
{
constexpr WStringView kXcvMonitorPrefix = u",XcvMonitor ";

struct XcvHandle : detail::PrinterHandle
{
    WString monitor;
    bool administer = false;
};

DWORD ReadDword(const BYTE* data, size_t offset)
{
    return DWORD(data[offset]) | DWORD(data[offset + 1]) << 8 | DWORD(data[offset + 2]) << 16 |
           DWORD(data[offset + 3]) << 24;
}

// A text field of `units` UTF-16 units at `offset`: none unless it ends within the field.
std::optional<WString> ReadText(const BYTE* data, size_t offset, size_t units)
{
    WString text;
    for (size_t i = 0; i < units; ++i)
    {
        char16_t c = char16_t(data[offset + 2 * i] | data[offset + 2 * i + 1] << 8);
        if (c == 0)
            return text;
        text += c;
    }
    return std::nullopt;
}

// The local monitor's input: a port name ended by its zero within the bytes given.
std::optional<WString> LocalName(const BYTE* input, DWORD size)
{
    if (!input || size < 4 || size % 2)
        return std::nullopt;
    std::optional<WString> name = ReadText(input, 0, size / 2);
    return name && !name->empty() ? name : std::nullopt;
}

DWORD AddLocal(const BYTE* input, DWORD size)
{
    std::optional<WString> name = LocalName(input, size);
    if (!name)
        return ERROR_INVALID_PARAMETER;
    return detail::AddMonitorPort({*name, WString(kLocalPortMonitor), WString(kLocalPortMonitor), {}});
}

DWORD DeleteLocal(const BYTE* input, DWORD size)
{
    std::optional<WString> name = LocalName(input, size);
    return name ? detail::RemovePort(*name, kLocalPortMonitor) : DWORD(ERROR_INVALID_PARAMETER);
}

DWORD AddTcpIp(const BYTE* input, DWORD size)
{
    if (!input || size != sizeof(PORT_DATA_1))
        return ERROR_INVALID_PARAMETER;
    if (ReadDword(input, offsetof(PORT_DATA_1, dwVersion)) != 1 ||
        ReadDword(input, offsetof(PORT_DATA_1, cbSize)) != sizeof(PORT_DATA_1))
        return ERROR_INVALID_PARAMETER;
    auto name = ReadText(input, offsetof(PORT_DATA_1, sztPortName), MAX_PORTNAME_LEN);
    auto host = ReadText(input, offsetof(PORT_DATA_1, sztHostAddress), MAX_NETWORKNAME_LEN);
    auto community = ReadText(input, offsetof(PORT_DATA_1, sztSNMPCommunity), MAX_SNMP_COMMUNITY_STR_LEN);
    auto queue = ReadText(input, offsetof(PORT_DATA_1, sztQueue), MAX_QUEUENAME_LEN);
    DWORD protocol = ReadDword(input, offsetof(PORT_DATA_1, dwProtocol));
    if (!name || name->empty() || !host || host->empty() || !community || !queue ||
        (protocol != PROTOCOL_RAWTCP_TYPE && protocol != PROTOCOL_LPR_TYPE))
        return ERROR_INVALID_PARAMETER;
    TcpIpPortRecord record;
    record.hostAddress = *host;
    record.protocol = protocol;
    record.portNumber = ReadDword(input, offsetof(PORT_DATA_1, dwPortNumber));
    record.queue = *queue;
    record.snmpCommunity = *community;
    record.snmpEnabled = ReadDword(input, offsetof(PORT_DATA_1, dwSNMPEnabled)) != 0;
    record.snmpDeviceIndex = ReadDword(input, offsetof(PORT_DATA_1, dwSNMPDevIndex));
    record.doubleSpool = ReadDword(input, offsetof(PORT_DATA_1, dwDoubleSpool)) != 0;
    return detail::AddMonitorPort({*name, WString(kTcpIpPortMonitor), WString(kTcpIpPortMonitor), record});
}

DWORD DeleteTcpIp(const BYTE* input, DWORD size)
{
    if (!input || size != sizeof(DELETE_PORT_DATA_1) ||
        ReadDword(input, offsetof(DELETE_PORT_DATA_1, dwVersion)) != 1)
        return ERROR_INVALID_PARAMETER;
    auto name = ReadText(input, offsetof(DELETE_PORT_DATA_1, psztPortName), MAX_PORTNAME_LEN);
    if (!name || name->empty())
        return ERROR_INVALID_PARAMETER;
    return detail::RemovePort(*name, kTcpIpPortMonitor);
}
} // namespace

namespace detail
{
bool IsXcvName(LPCWSTR name)
{
    return name && WStringView(name).starts_with(kXcvMonitorPrefix);
}

BOOL OpenXcv(LPCWSTR name, LPHANDLE printer, const PRINTER_DEFAULTSW* defaults)
{
    WStringView monitor = WStringView(name).substr(kXcvMonitorPrefix.size());
    if (!EqualNoCase(monitor, kLocalPortMonitor) && !EqualNoCase(monitor, kTcpIpPortMonitor))
    {
        SetLastError(ERROR_INVALID_PRINTER_NAME);
        return FALSE;
    }
    bool administer = defaults && (defaults->DesiredAccess & SERVER_ACCESS_ADMINISTER);
    if (administer && !Administrator())
    {
        SetLastError(ERROR_ACCESS_DENIED);
        return FALSE;
    }
    auto handle = std::make_shared<XcvHandle>();
    handle->monitor =
        EqualNoCase(monitor, kLocalPortMonitor) ? WString(kLocalPortMonitor) : WString(kTcpIpPortMonitor);
    handle->administer = administer;
    handle->spoolerRun = SpoolerRun();
    *printer = AddHandle(handle);
    return TRUE;
}
} // namespace detail

} // namespace sim

using namespace sim;

BOOL WINAPI XcvDataW(HANDLE xcv, LPCWSTR dataName, PBYTE inputData, DWORD inputSize, PBYTE outputData,
                     DWORD outputSize, PDWORD outputNeeded, PDWORD status);

// The call's result says whether the monitor was reached; the monitor's own answer is the status.
BOOL WINAPI XcvDataW(HANDLE xcv, LPCWSTR dataName, PBYTE inputData, DWORD inputSize, PBYTE, DWORD,
                     PDWORD outputNeeded, PDWORD status)
{
    SIM_FAULT_POINT("XcvDataW", FALSE);
    std::lock_guard g(detail::StateLock());
    auto handle = detail::FindHandleOf<XcvHandle>(xcv);
    if (!handle || (detail::SpoolerRunning() && handle->spoolerRun != detail::SpoolerRun()))
    {
        SetLastError(ERROR_INVALID_HANDLE);
        return FALSE;
    }
    if (!dataName || !outputNeeded || !status)
    {
        SetLastError(ERROR_INVALID_PARAMETER);
        return FALSE;
    }
    if (!detail::SpoolerRunning())
    {
        SetLastError(RPC_S_SERVER_UNAVAILABLE);
        return FALSE;
    }
    *outputNeeded = 0;
    WStringView command(dataName);
    bool local = handle->monitor == kLocalPortMonitor;
    bool changes = command == u"AddPort" || command == u"DeletePort";
    if (changes && !handle->administer)
        *status = ERROR_ACCESS_DENIED;
    else if (command == u"AddPort")
        *status = local ? AddLocal(inputData, inputSize) : AddTcpIp(inputData, inputSize);
    else if (command == u"DeletePort")
        *status = local ? DeleteLocal(inputData, inputSize) : DeleteTcpIp(inputData, inputSize);
    else
        *status = ERROR_INVALID_FUNCTION;
    return TRUE;
}

std::vector<sim::detail::SystemExport> sim::detail::PortMonitorExports()
{
    return {{u"winspool.drv", "XcvDataW", ExportAddress(&XcvDataW)}};
}
