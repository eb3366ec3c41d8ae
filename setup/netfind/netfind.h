// Finds the duplicators' network cards on the local network: a query broadcast over UDP, one fixed
// record per card that answers. No user interface, no threads; the caller starts Windows Sockets
// (WSAStartup) before and cleans them up after.
#pragma once

#include <platform/winsock2.h>

#include <cstddef>
#include <cstdint>
#include <span>
#include <vector>

namespace netfind
{

inline constexpr u_short PRNSVR_PORT = 19541;
inline constexpr std::uint16_t PRNSVR_PROTOCOL_ID = 0x9506;
inline constexpr std::uint16_t PRNSVR_OP_QUERY = 0x0004;
inline constexpr std::uint16_t PRNSVR_OP_REPLY = 0x0002;

// Every 16-bit protocol field is big-endian on the wire; the records hold them as bytes.
#pragma pack(push, 1)
struct PrnSvrQuery
{
    std::uint8_t operation[2];
    std::uint8_t protocolId[2];
    std::uint8_t zero[84];
};

struct PrnSvrReply
{
    std::uint8_t operation[2];
    std::uint8_t protocolId[2];
    char printerName[32]; // 8-bit text, NUL-padded
    char cardName[16];
    std::uint8_t unused1[4];
    std::uint8_t mac[6];
    std::uint8_t unused2[4];
    std::uint8_t ipv4[4]; // network byte order
    std::uint8_t unused3[94];
};

inline constexpr std::size_t kReplyBodyOffset = 4;
inline constexpr std::size_t kReplyBodySize = 160;
// What tells two replies apart: the names, the MAC and the address (body bytes 0-65).
inline constexpr std::size_t kReplyIdentitySize = 66;
// A datagram shorter than this ends before the card's address.
inline constexpr std::size_t kMinReplySize = 70;
inline constexpr std::size_t kReceiveBufferSize = 512;

struct PrnSvrReplyEntry
{
    std::uint32_t inUse;
    std::uint16_t key;
    std::uint8_t body[kReplyBodySize];
};

// The record handed to the caller.
struct PrnSvrInfo
{
    std::uint8_t mac[6];
    std::uint8_t ipv4[4]; // network byte order
    char cardName[16];    // NUL-padded; no NUL when the name fills the field
    char printerName[32]; // the same
};
#pragma pack(pop)

static_assert(sizeof(PrnSvrQuery) == 88);
static_assert(sizeof(PrnSvrReply) == 164 && offsetof(PrnSvrReply, printerName) == 4 &&
              offsetof(PrnSvrReply, cardName) == 36 && offsetof(PrnSvrReply, mac) == 56 &&
              offsetof(PrnSvrReply, ipv4) == 66);
static_assert(sizeof(PrnSvrReplyEntry) == 166 && offsetof(PrnSvrReplyEntry, body) == 6);
static_assert(sizeof(PrnSvrInfo) == 58 && offsetof(PrnSvrInfo, ipv4) == 6 &&
              offsetof(PrnSvrInfo, cardName) == 10 && offsetof(PrnSvrInfo, printerName) == 26);

// The state of one call of discoverCards.
struct PrnSvrSearchState
{
    std::uint32_t rounds;
    std::uint32_t timeoutMs;
    const std::uint32_t* addresses; // null: the limited broadcast
    std::uint32_t addressCount;
    PrnSvrQuery query;
    std::uint8_t buffer[kReceiveBufferSize];
    std::uint16_t port; // destination, host order
};

// Rounds and the time-out of each round's receive, for later calls of discoverCards; always 1.
int setDiscoverParams(std::uint16_t rounds, std::uint16_t timeoutMs);

// Queries the addresses (IPv4, network byte order, used as stored; null: 255.255.255.255) and writes
// one record per card whose name begins with "RX-". 1 when the search ran, also when it found
// nothing; 0, with nothing written or sent, for a null output, a size under one record or no memory.
int discoverCards(const std::uint32_t* addresses, std::uint32_t addressCount, PrnSvrInfo* out,
                  std::uint32_t outSize, std::uint32_t* byteCount, std::uint32_t* cardCount);

// The directed broadcast address (network byte order) of each interface but loopback; empty when
// the table cannot be read or has none.
std::vector<std::uint32_t> directedBroadcasts();

// discoverCards over every interface's directed broadcast, or over the limited broadcast when there
// is none.
int discoverCardsOnInterfaces(PrnSvrInfo* out, std::uint32_t outSize, std::uint32_t* byteCount,
                              std::uint32_t* cardCount);

// The library's steps, for its tests and fuzz target.

// A UDP socket on any local address and port with broadcasts allowed; INVALID_SOCKET on failure.
SOCKET createDiscoverySocket();
// One round: the query sent, replies gathered into `table`; the number of entries it stored.
std::uint32_t discoverOnce(PrnSvrSearchState& state, std::span<PrnSvrReplyEntry> table);
// The next datagram, waiting in 500 ms slices; -1 with WSAETIMEDOUT once `timeoutMs` passed without
// one, -1 with the socket's error when the wait or the receive failed.
int recvWithTimeout(SOCKET s, char* buffer, int size, sockaddr_in* from, std::uint32_t timeoutMs);
std::uint16_t cardReplyKey(const char* cardName, const std::uint8_t* mac);
// A datagram of the right protocol and operation, long enough to name its card.
bool isCardReply(std::span<const std::uint8_t> datagram);
// Stores the reply (164 bytes) unless the table is full or holds it already; true when stored.
bool addUniqueReply(std::span<PrnSvrReplyEntry> table, const std::uint8_t* reply);
// One record for each of the first `stored` entries whose card name begins with "RX-"; how many.
std::size_t writeCardRecords(std::span<const PrnSvrReplyEntry> table, std::size_t stored, PrnSvrInfo* out,
                             std::size_t capacity);

} // namespace netfind
