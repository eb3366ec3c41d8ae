// The IP Helper's interface address table as system code sees it (iphlpapi.h).
#pragma once

#include <platform/winsock2.h>

#if defined(_WIN32)
#include <iphlpapi.h>
#else
#include <platform/linux/iphlpapi.h>
#endif
