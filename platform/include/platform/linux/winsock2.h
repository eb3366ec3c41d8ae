// Linux declarations: Windows Sockets 2, the IPv4 datagram part. Written from the documented API;
// included by platform/winsock2.h.
//
// The host's C library already declares fd_set, struct timeval, select and a 64-bit u_long (through
// <cstdlib>), so Winsock's own stand beside them under other names and its FD_* macros replace the host's.
#pragma once

#include <sys/select.h>

#include <cstdint>

typedef std::uint8_t u_char;
typedef std::uint16_t u_short;
typedef unsigned int u_int;
#define u_long WinsockULong
typedef std::uint32_t u_long; // 32 bits, as on every Windows build
typedef UINT_PTR SOCKET;

#define INVALID_SOCKET (~SOCKET{0})
#define SOCKET_ERROR (-1)

#define AF_UNSPEC 0
#define AF_INET 2
#define SOCK_STREAM 1
#define SOCK_DGRAM 2
#define IPPROTO_UDP 17
#define SOL_SOCKET 0xffff
#define SO_BROADCAST 0x0020

#define INADDR_ANY 0x00000000u
#define INADDR_LOOPBACK 0x7f000001u
#define INADDR_BROADCAST 0xffffffffu
#define INADDR_NONE 0xffffffffu

#define WSAEINTR 10004L
#define WSAEACCES 10013L
#define WSAEFAULT 10014L
#define WSAEINVAL 10022L
#define WSAEMFILE 10024L
#define WSAEWOULDBLOCK 10035L
#define WSAENOTSOCK 10038L
#define WSAEDESTADDRREQ 10039L
#define WSAEMSGSIZE 10040L
#define WSAENOPROTOOPT 10042L
#define WSAEPROTONOSUPPORT 10043L
#define WSAESOCKTNOSUPPORT 10044L
#define WSAEAFNOSUPPORT 10047L
#define WSAEADDRINUSE 10048L
#define WSAEADDRNOTAVAIL 10049L
#define WSAENETDOWN 10050L
#define WSAECONNRESET 10054L
#define WSAENOBUFS 10055L
#define WSAETIMEDOUT 10060L
#define WSASYSNOTREADY 10091L
#define WSAVERNOTSUPPORTED 10092L
#define WSANOTINITIALISED 10093L

#define WSADESCRIPTION_LEN 256
#define WSASYS_STATUS_LEN 128

typedef struct WSAData
{
    WORD wVersion;
    WORD wHighVersion;
    unsigned short iMaxSockets;
    unsigned short iMaxUdpDg;
    char* lpVendorInfo;
    char szDescription[WSADESCRIPTION_LEN + 1];
    char szSystemStatus[WSASYS_STATUS_LEN + 1];
} WSADATA, *LPWSADATA;

typedef struct in_addr
{
    union {
        struct
        {
            u_char s_b1, s_b2, s_b3, s_b4;
        } S_un_b;
        struct
        {
            u_short s_w1, s_w2;
        } S_un_w;
        u_long S_addr;
    } S_un;
} IN_ADDR;
#define s_addr S_un.S_addr

struct sockaddr
{
    u_short sa_family;
    char sa_data[14];
};

struct sockaddr_in
{
    short sin_family;
    u_short sin_port;
    struct in_addr sin_addr;
    char sin_zero[8];
};

typedef struct sockaddr SOCKADDR;
typedef struct sockaddr_in SOCKADDR_IN;

static_assert(sizeof(in_addr) == 4 && sizeof(sockaddr) == 16 && sizeof(sockaddr_in) == 16,
              "socket addresses have Winsock's sizes");

#undef FD_SETSIZE
#undef FD_SET
#undef FD_CLR
#undef FD_ZERO
#undef FD_ISSET
#define FD_SETSIZE 64
#define fd_set WinsockFdSet
#define timeval WinsockTimeval

// Winsock's set is a counted array of sockets, not a bit mask.
typedef struct fd_set
{
    u_int fd_count;
    SOCKET fd_array[FD_SETSIZE];
} fd_set;

struct timeval
{
    long tv_sec;
    long tv_usec;
};

int WINAPI __WSAFDIsSet(SOCKET s, fd_set* set);

#define FD_ZERO(set) (((fd_set*)(set))->fd_count = 0)
#define FD_ISSET(s, set) __WSAFDIsSet((SOCKET)(s), (fd_set*)(set))
#define FD_SET(s, set)                                                                                       \
    do                                                                                                       \
    {                                                                                                        \
        fd_set* fdSet_ = (fd_set*)(set);                                                                     \
        u_int fdAt_ = 0;                                                                                     \
        while (fdAt_ < fdSet_->fd_count && fdSet_->fd_array[fdAt_] != (SOCKET)(s))                           \
            ++fdAt_;                                                                                         \
        if (fdAt_ == fdSet_->fd_count && fdSet_->fd_count < FD_SETSIZE)                                      \
            fdSet_->fd_array[fdSet_->fd_count++] = (SOCKET)(s);                                              \
    } while (0)
#define FD_CLR(s, set)                                                                                       \
    do                                                                                                       \
    {                                                                                                        \
        fd_set* fdSet_ = (fd_set*)(set);                                                                     \
        for (u_int fdAt_ = 0; fdAt_ < fdSet_->fd_count; ++fdAt_)                                             \
            if (fdSet_->fd_array[fdAt_] == (SOCKET)(s))                                                      \
            {                                                                                                \
                fdSet_->fd_array[fdAt_] = fdSet_->fd_array[--fdSet_->fd_count];                              \
                break;                                                                                       \
            }                                                                                                \
    } while (0)

int WINAPI WSAStartup(WORD versionRequested, LPWSADATA data);
int WINAPI WSACleanup();
int WINAPI WSAGetLastError();
void WINAPI WSASetLastError(int error);

SOCKET WINAPI socket(int af, int type, int protocol);
int WINAPI bind(SOCKET s, const struct sockaddr* name, int nameLength);
int WINAPI setsockopt(SOCKET s, int level, int name, const char* value, int length);
int WINAPI getsockopt(SOCKET s, int level, int name, char* value, int* length);
int WINAPI getsockname(SOCKET s, struct sockaddr* name, int* nameLength);
int WINAPI sendto(SOCKET s, const char* buffer, int length, int flags, const struct sockaddr* to,
                  int toLength);
int WINAPI recvfrom(SOCKET s, char* buffer, int length, int flags, struct sockaddr* from, int* fromLength);
int WINAPI select(int ignored, fd_set* readSet, fd_set* writeSet, fd_set* exceptSet,
                  const struct timeval* timeout);
int WINAPI closesocket(SOCKET s);

u_short WINAPI htons(u_short value);
u_long WINAPI htonl(u_long value);
u_short WINAPI ntohs(u_short value);
u_long WINAPI ntohl(u_long value);
u_long WINAPI inet_addr(const char* text);
