// The IP Helper's table of the machine's interface addresses: the loopback interface, then those a
// test declared. As on Windows the broadcast field holds 1, not the interface's broadcast address.
#include "core/internal.h"
#include "ws2_32/network_internal.h"

#include <platform/iphlpapi.h>

#include <algorithm>

using namespace sim::detail;

DWORD WINAPI GetIpAddrTable(PMIB_IPADDRTABLE table, PULONG size, BOOL order)
{
    SIM_FAULT_STATUS("GetIpAddrTable", DWORD);
    if (!size)
        return ERROR_INVALID_PARAMETER;
    std::vector<NetInterfaceRecord> interfaces = NetInterfaces();
    const ULONG needed =
        static_cast<ULONG>(offsetof(MIB_IPADDRTABLE, table) + sizeof(MIB_IPADDRROW) * interfaces.size());
    if (!table || *size < needed)
    {
        *size = needed;
        return ERROR_INSUFFICIENT_BUFFER;
    }
    std::vector<MIB_IPADDRROW> rows;
    DWORD index = 1;
    for (const NetInterfaceRecord& i : interfaces)
    {
        MIB_IPADDRROW row{};
        row.dwAddr = htonl(i.address);
        row.dwIndex = index++;
        row.dwMask = htonl(i.mask);
        row.dwBCastAddr = 1;
        row.dwReasmSize = 65535;
        row.wType = 0x0001; // primary
        rows.push_back(row);
    }
    if (order)
        std::stable_sort(rows.begin(), rows.end(), [](const MIB_IPADDRROW& a, const MIB_IPADDRROW& b) {
            return ntohl(a.dwAddr) < ntohl(b.dwAddr);
        });
    table->dwNumEntries = static_cast<DWORD>(rows.size());
    std::copy(rows.begin(), rows.end(), table->table);
    return NO_ERROR;
}
