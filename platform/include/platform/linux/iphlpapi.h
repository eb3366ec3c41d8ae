// Linux declarations: the IP Helper's address table. Written from the documented API; included by
// platform/iphlpapi.h.
#pragma once

typedef struct _MIB_IPADDRROW
{
    DWORD dwAddr; // network byte order, as are the mask and the broadcast field
    DWORD dwIndex;
    DWORD dwMask;
    DWORD dwBCastAddr;
    DWORD dwReasmSize;
    unsigned short unused1;
    unsigned short wType;
} MIB_IPADDRROW, *PMIB_IPADDRROW;

#define ANY_SIZE 1

typedef struct _MIB_IPADDRTABLE
{
    DWORD dwNumEntries;
    MIB_IPADDRROW table[ANY_SIZE];
} MIB_IPADDRTABLE, *PMIB_IPADDRTABLE;

static_assert(sizeof(MIB_IPADDRROW) == 24, "the row is 24 bytes on every Windows build");

DWORD WINAPI GetIpAddrTable(PMIB_IPADDRTABLE table, PULONG size, BOOL order);
