// Windows Sockets 2 as system code sees it (winsock2.h): IPv4 datagram sockets.
#pragma once

#if defined(_WIN32)
#include <winsock2.h>
#include <windows.h>
#else
#include <platform/windows.h>
#include <platform/linux/winsock2.h>
#endif
