// The records the standard TCP/IP port monitor takes through XcvData ("AddPort", "DeletePort"). The
// import headers of the Windows build lack them, so both builds declare them here; the monitor reads
// them byte by byte, so their layout is fixed below.
#pragma once

#include <platform/windows.h>

#include <cstddef>

#define MAX_PORTNAME_LEN 64
#define MAX_NETWORKNAME_LEN 49
#define MAX_SNMP_COMMUNITY_STR_LEN 33
#define MAX_QUEUENAME_LEN 33
#define MAX_IPADDR_STR_LEN 16
#define PROTOCOL_RAWTCP_TYPE 1
#define PROTOCOL_LPR_TYPE 2

struct PORT_DATA_1
{
    WCHAR sztPortName[MAX_PORTNAME_LEN];
    DWORD dwVersion;
    DWORD dwProtocol;
    DWORD cbSize;
    DWORD dwReserved;
    WCHAR sztHostAddress[MAX_NETWORKNAME_LEN];
    WCHAR sztSNMPCommunity[MAX_SNMP_COMMUNITY_STR_LEN];
    DWORD dwDoubleSpool;
    WCHAR sztQueue[MAX_QUEUENAME_LEN];
    WCHAR sztIPAddress[MAX_IPADDR_STR_LEN];
    BYTE Reserved[540];
    DWORD dwPortNumber;
    DWORD dwSNMPEnabled;
    DWORD dwSNMPDevIndex;
};

struct DELETE_PORT_DATA_1
{
    WCHAR psztPortName[MAX_PORTNAME_LEN];
    BYTE Reserved[98];
    DWORD dwVersion;
    DWORD dwReserved;
};

static_assert(sizeof(PORT_DATA_1) == 964);
static_assert(offsetof(PORT_DATA_1, dwVersion) == 128 && offsetof(PORT_DATA_1, dwProtocol) == 132);
static_assert(offsetof(PORT_DATA_1, cbSize) == 136 && offsetof(PORT_DATA_1, dwReserved) == 140);
static_assert(offsetof(PORT_DATA_1, sztHostAddress) == 144 && offsetof(PORT_DATA_1, sztSNMPCommunity) == 242);
static_assert(offsetof(PORT_DATA_1, dwDoubleSpool) == 308 && offsetof(PORT_DATA_1, sztQueue) == 312);
static_assert(offsetof(PORT_DATA_1, sztIPAddress) == 378 && offsetof(PORT_DATA_1, Reserved) == 410);
static_assert(offsetof(PORT_DATA_1, dwPortNumber) == 952 && offsetof(PORT_DATA_1, dwSNMPEnabled) == 956);
static_assert(offsetof(PORT_DATA_1, dwSNMPDevIndex) == 960);
static_assert(sizeof(DELETE_PORT_DATA_1) == 236);
static_assert(offsetof(DELETE_PORT_DATA_1, Reserved) == 128 &&
              offsetof(DELETE_PORT_DATA_1, dwVersion) == 228);
static_assert(offsetof(DELETE_PORT_DATA_1, dwReserved) == 232);
