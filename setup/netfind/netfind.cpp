#include "netfind.h"

#include <platform/iphlpapi.h>
#include <platform/process_local.h>

#include <algorithm>
#include <cstring>
#include <memory>
#include <new>

namespace netfind
{
namespace
{
constexpr DWORD kSliceMs = 500;
// A round ends this many time-outs after it began, however many datagrams keep arriving.
constexpr std::uint32_t kRoundCapTimeouts = 8;
constexpr std::uint32_t kLimitedBroadcast = 0xffffffffu;

// Process-wide, as the two settings are documented; set immediately before each search.
struct Settings
{
    std::uint16_t rounds = 3;
    std::uint16_t timeoutMs = 3000;
};
ProcessLocal<Settings> g_settings;

std::uint16_t ReadBigEndian16(const std::uint8_t* p)
{
    return static_cast<std::uint16_t>(p[0] << 8 | p[1]);
}

void WriteBigEndian16(std::uint8_t* p, std::uint16_t value)
{
    p[0] = static_cast<std::uint8_t>(value >> 8);
    p[1] = static_cast<std::uint8_t>(value);
}

char AsciiUpper(char c)
{
    return c >= 'a' && c <= 'z' ? static_cast<char>(c - 'a' + 'A') : c;
}

// Up to the first NUL, never past the field; a name that fills its field keeps no NUL.
void CopyName(char* to, const std::uint8_t* from, std::size_t field)
{
    std::size_t n = 0;
    while (n < field && from[n] != 0)
        ++n;
    std::memcpy(to, from, n);
}

void CloseQuietly(SOCKET s)
{
    const int error = WSAGetLastError();
    closesocket(s);
    WSASetLastError(error);
}
} // namespace

int setDiscoverParams(std::uint16_t rounds, std::uint16_t timeoutMs)
{
    g_settings->rounds = rounds;
    g_settings->timeoutMs = timeoutMs;
    return 1;
}

std::uint16_t cardReplyKey(const char* cardName, const std::uint8_t* mac)
{
    std::uint16_t key = 0;
    for (int i = 0; i < 16; ++i)
        key = static_cast<std::uint16_t>(key + static_cast<std::int8_t>(cardName[i]));
    for (int i = 0; i < 6; ++i)
        key = static_cast<std::uint16_t>(key + mac[i]);
    return key;
}

bool isCardReply(std::span<const std::uint8_t> datagram)
{
    return datagram.size() >= kMinReplySize && ReadBigEndian16(datagram.data()) == PRNSVR_OP_REPLY &&
           ReadBigEndian16(datagram.data() + 2) == PRNSVR_PROTOCOL_ID;
}

bool addUniqueReply(std::span<PrnSvrReplyEntry> table, const std::uint8_t* reply)
{
    if (table.empty() || table.back().inUse)
        return false; // full: later replies are dropped
    const std::uint8_t* body = reply + kReplyBodyOffset;
    const std::uint16_t key =
        cardReplyKey(reinterpret_cast<const char*>(reply + offsetof(PrnSvrReply, cardName)),
                     reply + offsetof(PrnSvrReply, mac));
    for (PrnSvrReplyEntry& slot : table)
    {
        if (!slot.inUse)
        {
            slot.inUse = 1;
            slot.key = key;
            std::memcpy(slot.body, body, kReplyBodySize);
            return true;
        }
        if (slot.key == key && std::memcmp(slot.body, body, kReplyIdentitySize) == 0)
            return false;
    }
    return false;
}

std::size_t writeCardRecords(std::span<const PrnSvrReplyEntry> table, std::size_t stored, PrnSvrInfo* out,
                             std::size_t capacity)
{
    constexpr std::size_t card = offsetof(PrnSvrReply, cardName) - kReplyBodyOffset;
    constexpr std::size_t printer = offsetof(PrnSvrReply, printerName) - kReplyBodyOffset;
    constexpr std::size_t mac = offsetof(PrnSvrReply, mac) - kReplyBodyOffset;
    constexpr std::size_t ipv4 = offsetof(PrnSvrReply, ipv4) - kReplyBodyOffset;
    std::size_t records = 0;
    for (std::size_t i = 0; i < std::min(stored, table.size()) && records < capacity; ++i)
    {
        const std::uint8_t* body = table[i].body;
        if (AsciiUpper(static_cast<char>(body[card])) != 'R' ||
            AsciiUpper(static_cast<char>(body[card + 1])) != 'X' || body[card + 2] != '-')
            continue;
        PrnSvrInfo& r = out[records++];
        std::memset(&r, 0, sizeof r); // the caller's buffer may hold anything
        std::memcpy(r.mac, body + mac, sizeof r.mac);
        std::memcpy(r.ipv4, body + ipv4, sizeof r.ipv4);
        CopyName(r.cardName, body + card, sizeof r.cardName);
        CopyName(r.printerName, body + printer, sizeof r.printerName);
    }
    return records;
}

SOCKET createDiscoverySocket()
{
    SOCKET s = socket(AF_INET, SOCK_DGRAM, 0);
    if (s == INVALID_SOCKET)
        return INVALID_SOCKET;
    sockaddr_in local{};
    local.sin_family = AF_INET;
    local.sin_addr.s_addr = htonl(INADDR_ANY);
    local.sin_port = 0;
    const DWORD on = 1;
    if (bind(s, reinterpret_cast<const sockaddr*>(&local), sizeof local) == SOCKET_ERROR ||
        setsockopt(s, SOL_SOCKET, SO_BROADCAST, reinterpret_cast<const char*>(&on), sizeof on) ==
            SOCKET_ERROR)
    {
        CloseQuietly(s);
        return INVALID_SOCKET;
    }
    return s;
}

int recvWithTimeout(SOCKET s, char* buffer, int size, sockaddr_in* from, std::uint32_t timeoutMs)
{
    const DWORD start = GetTickCount();
    for (;;)
    {
        fd_set readable;
        FD_ZERO(&readable);
        FD_SET(s, &readable);
        timeval slice{0, static_cast<long>(kSliceMs * 1000)};
        const int ready = select(0, &readable, nullptr, nullptr, &slice);
        if (ready == SOCKET_ERROR)
            return -1;
        if (ready > 0 && FD_ISSET(s, &readable))
        {
            int fromLength = from ? static_cast<int>(sizeof *from) : 0;
            return recvfrom(s, buffer, size, 0, reinterpret_cast<sockaddr*>(from),
                            from ? &fromLength : nullptr);
        }
        // Told apart from a receive that failed, so a stale error never keeps a round open.
        if (GetTickCount() - start >= timeoutMs)
        {
            WSASetLastError(WSAETIMEDOUT);
            return -1;
        }
    }
}

std::uint32_t discoverOnce(PrnSvrSearchState& state, std::span<PrnSvrReplyEntry> table)
{
    std::memset(&state.query, 0, sizeof state.query);
    WriteBigEndian16(state.query.operation, PRNSVR_OP_QUERY);
    WriteBigEndian16(state.query.protocolId, PRNSVR_PROTOCOL_ID);

    // A socket that cannot be made now (Winsock not started yet, no buffers) is tried again until
    // one time-out has passed; then the round stores nothing.
    const DWORD begun = GetTickCount();
    SOCKET s = createDiscoverySocket();
    while (s == INVALID_SOCKET)
    {
        if (GetTickCount() - begun >= state.timeoutMs)
            return 0;
        Sleep(std::min<DWORD>(kSliceMs, state.timeoutMs));
        s = createDiscoverySocket();
    }

    auto sendTo = [&](std::uint32_t address) {
        sockaddr_in to{};
        to.sin_family = AF_INET;
        to.sin_port = htons(state.port);
        to.sin_addr.s_addr = address;
        sendto(s, reinterpret_cast<const char*>(&state.query), sizeof state.query, 0,
               reinterpret_cast<const sockaddr*>(&to), sizeof to); // a failed send only loses its replies
    };
    if (state.addresses)
        for (std::uint32_t i = 0; i < state.addressCount; ++i)
            sendTo(state.addresses[i]);
    else
        sendTo(htonl(kLimitedBroadcast));

    const DWORD roundStart = GetTickCount();
    const std::uint64_t cap = std::uint64_t{state.timeoutMs} * kRoundCapTimeouts;
    std::uint32_t stored = 0;
    for (bool first = true;; first = false)
    {
        const std::uint64_t spent = GetTickCount() - roundStart;
        if (spent >= cap && !first)
            break;
        const auto wait =
            static_cast<std::uint32_t>(std::min<std::uint64_t>(state.timeoutMs, cap - std::min(cap, spent)));
        // No reply may inherit the bytes of the one before.
        std::memset(state.buffer, 0, sizeof state.buffer);
        int received =
            recvWithTimeout(s, reinterpret_cast<char*>(state.buffer), sizeof state.buffer, nullptr, wait);
        if (received < 0 && WSAGetLastError() == WSAEMSGSIZE)
            received = sizeof state.buffer; // longer than the buffer: read as far as it goes, not an end
        if (received < 0)
        {
            if (WSAGetLastError() == WSAECONNRESET)
                continue; // the echo of an unreachable destination
            break;        // the time-out, or a failure
        }
        if (isCardReply({state.buffer, static_cast<std::size_t>(received)}) &&
            addUniqueReply(table, state.buffer))
            ++stored;
    }
    CloseQuietly(s);
    return stored;
}

int discoverCards(const std::uint32_t* addresses, std::uint32_t addressCount, PrnSvrInfo* out,
                  std::uint32_t outSize, std::uint32_t* byteCount, std::uint32_t* cardCount)
{
    if (!out || outSize < sizeof(PrnSvrInfo))
        return 0;
    const std::size_t capacity = outSize / sizeof(PrnSvrInfo);
    std::unique_ptr<PrnSvrReplyEntry[]> table(new (std::nothrow) PrnSvrReplyEntry[capacity]());
    if (!table)
        return 0;
    std::unique_ptr<PrnSvrSearchState> state(new (std::nothrow) PrnSvrSearchState());
    if (!state)
        return 0;
    state->rounds = g_settings->rounds;
    state->timeoutMs = g_settings->timeoutMs;
    state->addresses = addresses;
    state->addressCount = addressCount;
    state->port = PRNSVR_PORT;
    if (cardCount)
        *cardCount = 0;
    std::uint32_t stored = 0;
    const std::span<PrnSvrReplyEntry> slots(table.get(), capacity);
    for (std::uint32_t round = 0; round < state->rounds; ++round)
        stored += discoverOnce(*state, slots);
    const std::size_t records = writeCardRecords(slots, stored, out, capacity);
    if (cardCount)
        *cardCount = static_cast<std::uint32_t>(records);
    if (byteCount)
        *byteCount = static_cast<std::uint32_t>(records * sizeof(PrnSvrInfo));
    return 1;
}

std::vector<std::uint32_t> directedBroadcasts()
{
    std::vector<std::uint32_t> list;
    ULONG size = 0;
    std::vector<std::uint8_t> storage;
    DWORD status = ERROR_INSUFFICIENT_BUFFER;
    // The table may grow between the two calls; a few tries settle it.
    for (int attempt = 0; attempt < 4 && status == ERROR_INSUFFICIENT_BUFFER; ++attempt)
    {
        storage.assign(std::max<std::size_t>(size, sizeof(MIB_IPADDRTABLE)), 0);
        size = static_cast<ULONG>(storage.size());
        status = GetIpAddrTable(reinterpret_cast<PMIB_IPADDRTABLE>(storage.data()), &size, FALSE);
    }
    if (status != NO_ERROR)
        return list;
    const auto* table = reinterpret_cast<const MIB_IPADDRTABLE*>(storage.data());
    const std::size_t rows = std::min<std::size_t>(
        table->dwNumEntries, (storage.size() - offsetof(MIB_IPADDRTABLE, table)) / sizeof(MIB_IPADDRROW));
    for (std::size_t i = 0; i < rows; ++i)
    {
        MIB_IPADDRROW row;
        std::memcpy(&row, storage.data() + offsetof(MIB_IPADDRTABLE, table) + i * sizeof row, sizeof row);
        const std::uint32_t address = ntohl(row.dwAddr);
        const std::uint32_t mask = ntohl(row.dwMask);
        const std::uint32_t broadcast = address | ~mask;
        // Loopback and host routes have no broadcast of their own.
        if (address == 0 || (address >> 24) == 127 || broadcast == address)
            continue;
        if (std::find(list.begin(), list.end(), htonl(broadcast)) == list.end())
            list.push_back(htonl(broadcast));
    }
    return list;
}

int discoverCardsOnInterfaces(PrnSvrInfo* out, std::uint32_t outSize, std::uint32_t* byteCount,
                              std::uint32_t* cardCount)
{
    const std::vector<std::uint32_t> list = directedBroadcasts();
    // No directed broadcast: the limited broadcast (a null list), never an empty list that sends nothing.
    return discoverCards(list.empty() ? nullptr : list.data(), static_cast<std::uint32_t>(list.size()), out,
                         outSize, byteCount, cardCount);
}

} // namespace netfind
