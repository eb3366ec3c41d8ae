// Winsock and the IP Helper on the simulated network: Windows' rules, the routing of datagrams to the
// cards and between the program's own sockets, and waits on the machine's clock.
#include <gtest/gtest.h>

#include <platform/iphlpapi.h>
#include <sim/machine.h>
#include <sim/network.h>

#include <cstring>
#include <string>
#include <vector>

namespace
{
using Bytes = std::vector<std::uint8_t>;

sockaddr_in To(const char* address, u_short port)
{
    sockaddr_in a{};
    a.sin_family = AF_INET;
    a.sin_port = htons(port);
    a.sin_addr.s_addr = inet_addr(address);
    return a;
}

Bytes Query()
{
    Bytes q(88, 0);
    q[1] = 0x04, q[2] = 0x95, q[3] = 0x06;
    return q;
}

int SendTo(SOCKET s, const Bytes& bytes, const char* address, u_short port = sim::kCardPort)
{
    sockaddr_in a = To(address, port);
    return sendto(s, reinterpret_cast<const char*>(bytes.data()), static_cast<int>(bytes.size()), 0,
                  reinterpret_cast<const sockaddr*>(&a), sizeof a);
}

// Readable sockets after a wait of `ms` on the machine's clock.
int Readable(SOCKET s, long ms)
{
    fd_set set;
    FD_ZERO(&set);
    FD_SET(s, &set);
    timeval t{ms / 1000, (ms % 1000) * 1000};
    return select(0, &set, nullptr, nullptr, &t);
}

class Network : public ::testing::Test
{
protected:
    void SetUp() override
    {
        WSADATA data{};
        ASSERT_EQ(WSAStartup(MAKEWORD(2, 2), &data), 0);
        EXPECT_EQ(data.wVersion, MAKEWORD(2, 2));
    }
    void TearDown() override { EXPECT_EQ(WSACleanup(), 0); }

    SOCKET Broadcaster()
    {
        SOCKET s = socket(AF_INET, SOCK_DGRAM, IPPROTO_UDP);
        const DWORD on = 1;
        EXPECT_EQ(setsockopt(s, SOL_SOCKET, SO_BROADCAST, reinterpret_cast<const char*>(&on), sizeof on), 0);
        return s;
    }
};

TEST(Winsock, NeedsStartingAndAVersionItKnows)
{
    EXPECT_EQ(socket(AF_INET, SOCK_DGRAM, 0), INVALID_SOCKET);
    EXPECT_EQ(WSAGetLastError(), WSANOTINITIALISED);
    EXPECT_EQ(WSACleanup(), SOCKET_ERROR);
    EXPECT_EQ(WSAGetLastError(), WSANOTINITIALISED);
    WSADATA data{};
    EXPECT_EQ(WSAStartup(MAKEWORD(2, 2), nullptr), WSAEFAULT);
    EXPECT_EQ(WSAStartup(MAKEWORD(1, 0), &data), WSAVERNOTSUPPORTED);
    sim::faults().FailNext("WSAStartup", WSASYSNOTREADY);
    EXPECT_EQ(WSAStartup(MAKEWORD(2, 2), &data), WSASYSNOTREADY);

    // Every start is matched by a cleanup; the last one closes what the program left open.
    ASSERT_EQ(WSAStartup(MAKEWORD(2, 2), &data), 0);
    ASSERT_EQ(WSAStartup(MAKEWORD(2, 0), &data), 0);
    EXPECT_EQ(data.wVersion, MAKEWORD(2, 0));
    SOCKET s = socket(AF_INET, SOCK_DGRAM, 0);
    ASSERT_NE(s, INVALID_SOCKET);
    EXPECT_EQ(WSACleanup(), 0);
    EXPECT_EQ(sim::network().OpenSockets(), 1u);
    EXPECT_EQ(WSACleanup(), 0);
    EXPECT_EQ(sim::network().OpenSockets(), 0u);
    EXPECT_EQ(closesocket(s), SOCKET_ERROR);
    EXPECT_EQ(WSAGetLastError(), WSANOTINITIALISED);
}

TEST_F(Network, RefusesWhatWinsockRefuses)
{
    struct Case
    {
        int af, type, protocol;
        long error;
    } cases[] = {
        {23, SOCK_DGRAM, 0, WSAEAFNOSUPPORT},
        {AF_INET, SOCK_STREAM, 0, WSAESOCKTNOSUPPORT},
        {AF_INET, SOCK_DGRAM, 6, WSAEPROTONOSUPPORT},
    };
    for (const Case& c : cases)
    {
        EXPECT_EQ(socket(c.af, c.type, c.protocol), INVALID_SOCKET);
        EXPECT_EQ(WSAGetLastError(), c.error) << c.af << " " << c.type << " " << c.protocol;
    }
    SOCKET s = socket(AF_INET, SOCK_DGRAM, 0);
    char buffer[8];
    EXPECT_EQ(recvfrom(s, buffer, sizeof buffer, 0, nullptr, nullptr), SOCKET_ERROR);
    EXPECT_EQ(WSAGetLastError(), WSAEINVAL); // not bound yet
    sockaddr_in elsewhere = To("10.9.9.9", 0);
    EXPECT_EQ(bind(s, reinterpret_cast<const sockaddr*>(&elsewhere), sizeof elsewhere), SOCKET_ERROR);
    EXPECT_EQ(WSAGetLastError(), WSAEADDRNOTAVAIL);
    sockaddr_in any = To("0.0.0.0", 0);
    EXPECT_EQ(bind(s, reinterpret_cast<const sockaddr*>(&any), sizeof any), 0);
    EXPECT_EQ(bind(s, reinterpret_cast<const sockaddr*>(&any), sizeof any), SOCKET_ERROR);
    EXPECT_EQ(WSAGetLastError(), WSAEINVAL);
    fd_set none;
    FD_ZERO(&none);
    timeval t{0, 0};
    EXPECT_EQ(select(0, &none, nullptr, nullptr, &t), SOCKET_ERROR);
    EXPECT_EQ(WSAGetLastError(), WSAEINVAL);
    EXPECT_EQ(closesocket(s), 0);
    EXPECT_EQ(closesocket(s), SOCKET_ERROR);
    EXPECT_EQ(WSAGetLastError(), WSAENOTSOCK);
}

TEST_F(Network, ABroadcastNeedsPermissionAndIsLogged)
{
    sim::network().AddInterface("192.168.0.10", "255.255.255.0");
    SOCKET plain = socket(AF_INET, SOCK_DGRAM, 0);
    for (const char* to : {"255.255.255.255", "192.168.0.255", "127.255.255.255"})
    {
        EXPECT_EQ(SendTo(plain, Query(), to), SOCKET_ERROR) << to;
        EXPECT_EQ(WSAGetLastError(), WSAEACCES) << to;
    }
    EXPECT_TRUE(sim::network().Sent().empty());
    EXPECT_EQ(SendTo(plain, Query(), "192.168.7.7"), 88); // nobody there: sent all the same
    SOCKET s = Broadcaster();
    EXPECT_EQ(SendTo(s, Query(), "192.168.0.255"), 88);
    sockaddr_in own{};
    int length = sizeof own;
    ASSERT_EQ(getsockname(s, reinterpret_cast<sockaddr*>(&own), &length), 0);
    const auto sent = sim::network().Sent();
    ASSERT_EQ(sent.size(), 2u);
    EXPECT_EQ(sent[0].to, "192.168.7.7");
    EXPECT_EQ(sent[1].to, "192.168.0.255");
    EXPECT_EQ(sent[1].toPort, sim::kCardPort);
    EXPECT_EQ(sent[1].fromPort, ntohs(own.sin_port));
    EXPECT_EQ(sent[1].bytes, Query());
    closesocket(plain);
    closesocket(s);
}

TEST_F(Network, ACardAnswersAQueryItHearsFromItsOwnAddress)
{
    sim::network().AddInterface("192.168.0.10", "255.255.255.0");
    sim::network().AddInterface("10.1.0.10", "255.255.0.0");
    sim::NetCard card;
    card.address = "192.168.0.5";
    card.mac = {2, 0, 0, 0x12, 0x34, 0x56};
    card.printerName = "KG-100";
    card.hears = {"192.168.0.10"};
    sim::network().AddCard(card);
    SOCKET s = Broadcaster();

    Bytes shortQuery = Query(), otherId = Query();
    shortQuery.pop_back();
    otherId[3] = 0x07;
    struct Case
    {
        Bytes query;
        const char* to;
        bool answered;
    } cases[] = {
        {Query(), "255.255.255.255", true}, {Query(), "192.168.0.255", true},
        {Query(), "192.168.0.5", true},     {Query(), "10.1.255.255", false},
        {Query(), "192.168.0.6", false},    {shortQuery, "192.168.0.5", false},
        {otherId, "192.168.0.5", false},
    };
    for (const Case& c : cases)
    {
        ASSERT_EQ(SendTo(s, c.query, c.to), static_cast<int>(c.query.size()));
        // A card that answers at once is heard before the send returns: no wait, no clock.
        EXPECT_EQ(Readable(s, 0), c.answered ? 1 : 0) << c.to;
        if (!c.answered)
            continue;
        char reply[512];
        sockaddr_in from{};
        int fromLength = sizeof from;
        ASSERT_EQ(recvfrom(s, reply, sizeof reply, 0, reinterpret_cast<sockaddr*>(&from), &fromLength), 164);
        EXPECT_EQ(from.sin_addr.s_addr, inet_addr("192.168.0.5"));
        EXPECT_EQ(ntohs(from.sin_port), sim::kCardPort);
        Bytes expected(164, 0);
        expected[1] = 0x02, expected[2] = 0x95, expected[3] = 0x06;
        std::memcpy(&expected[4], "KG-100", 6);
        std::memcpy(&expected[36], "RX-Q7NIC", 8);
        const std::uint8_t macAndIp[] = {2, 0, 0, 0x12, 0x34, 0x56, 0, 0, 0, 0, 192, 168, 0, 5};
        std::memcpy(&expected[56], macAndIp, sizeof macAndIp);
        EXPECT_EQ(Bytes(reply, reply + 164), expected);
    }
    EXPECT_EQ(sim::network().QueriesHeard(), std::vector<int>{3});
    closesocket(s);
}

TEST_F(Network, DelayedRepliesArriveOnTheMachinesClock)
{
    sim::NetCard card;
    card.address = "192.168.0.5";
    card.delayMs = 700;
    card.answers = 1;
    card.repliesPerQuery = 2;
    sim::network().AddCard(card);
    SOCKET s = Broadcaster();
    ASSERT_EQ(SendTo(s, Query(), "255.255.255.255"), 88);
    ASSERT_EQ(SendTo(s, Query(), "255.255.255.255"), 88); // answered no more
    const ULONGLONG start = sim::virtualClock().Now();
    EXPECT_EQ(Readable(s, 500), 0);
    EXPECT_EQ(sim::virtualClock().Now() - start, 500u);
    EXPECT_EQ(Readable(s, 5000), 1);
    EXPECT_EQ(sim::virtualClock().Now() - start, 700u);
    char reply[512];
    EXPECT_EQ(recvfrom(s, reply, sizeof reply, 0, nullptr, nullptr), 164);
    // A blocking receive waits for the second reply.
    EXPECT_EQ(recvfrom(s, reply, sizeof reply, 0, nullptr, nullptr), 164);
    EXPECT_EQ(sim::virtualClock().Now() - start, 1400u);
    EXPECT_EQ(Readable(s, 3000), 0);
    EXPECT_EQ(sim::network().QueriesHeard(), std::vector<int>{2});
    closesocket(s);
}

TEST_F(Network, TheProgramsSocketsTalkOverLoopbackAndALongDatagramIsCut)
{
    SOCKET a = socket(AF_INET, SOCK_DGRAM, 0), b = socket(AF_INET, SOCK_DGRAM, 0);
    sockaddr_in local = To("127.0.0.1", 0);
    ASSERT_EQ(bind(a, reinterpret_cast<const sockaddr*>(&local), sizeof local), 0);
    sockaddr_in bound{};
    int length = sizeof bound;
    ASSERT_EQ(getsockname(a, reinterpret_cast<sockaddr*>(&bound), &length), 0);
    const u_short port = ntohs(bound.sin_port);
    ASSERT_EQ(SendTo(b, Bytes(100, 0x41), "127.0.0.1", port), 100);
    ASSERT_EQ(SendTo(b, Bytes{1, 2, 3}, "127.0.0.1", port), 3);

    char buffer[10];
    sockaddr_in from{};
    int fromLength = sizeof from;
    EXPECT_EQ(recvfrom(a, buffer, sizeof buffer, 0, reinterpret_cast<sockaddr*>(&from), &fromLength),
              SOCKET_ERROR);
    EXPECT_EQ(WSAGetLastError(), WSAEMSGSIZE);
    EXPECT_EQ(Bytes(buffer, buffer + 10), Bytes(10, 0x41));
    sockaddr_in sender{};
    length = sizeof sender;
    ASSERT_EQ(getsockname(b, reinterpret_cast<sockaddr*>(&sender), &length), 0);
    EXPECT_EQ(from.sin_port, sender.sin_port);
    EXPECT_EQ(from.sin_addr.s_addr, inet_addr("127.0.0.1"));
    // The rest of the long one is gone; the next datagram is whole.
    EXPECT_EQ(recvfrom(a, buffer, sizeof buffer, 0, nullptr, nullptr), 3);
    EXPECT_EQ(Bytes(buffer, buffer + 3), (Bytes{1, 2, 3}));
    int tooShort = 8;
    EXPECT_EQ(recvfrom(a, buffer, sizeof buffer, 0, reinterpret_cast<sockaddr*>(&from), &tooShort),
              SOCKET_ERROR);
    EXPECT_EQ(WSAGetLastError(), WSAEFAULT);
    closesocket(a);
    closesocket(b);
}

TEST(IpAddrTable, ListsLoopbackThenTheInterfacesByTheTwoCallRule)
{
    sim::network().AddInterface("192.168.0.10", "255.255.255.0");
    sim::network().AddInterface("10.1.0.10", "255.255.0.0");
    ULONG size = 0;
    EXPECT_EQ(GetIpAddrTable(nullptr, nullptr, FALSE), static_cast<DWORD>(ERROR_INVALID_PARAMETER));
    ASSERT_EQ(GetIpAddrTable(nullptr, &size, FALSE), static_cast<DWORD>(ERROR_INSUFFICIENT_BUFFER));
    EXPECT_EQ(size, 4u + 3 * 24);
    std::vector<std::uint8_t> storage(size);
    auto* table = reinterpret_cast<PMIB_IPADDRTABLE>(storage.data());
    ULONG small = size - 1;
    EXPECT_EQ(GetIpAddrTable(table, &small, FALSE), static_cast<DWORD>(ERROR_INSUFFICIENT_BUFFER));
    EXPECT_EQ(small, size);
    for (BOOL order : {FALSE, TRUE})
    {
        ASSERT_EQ(GetIpAddrTable(table, &size, order), static_cast<DWORD>(NO_ERROR));
        ASSERT_EQ(table->dwNumEntries, 3u);
        std::vector<std::pair<DWORD, DWORD>> rows;
        for (DWORD i = 0; i < table->dwNumEntries; ++i)
            rows.push_back({table->table[i].dwAddr, table->table[i].dwMask});
        std::vector<std::pair<DWORD, DWORD>> expected = {
            {inet_addr("127.0.0.1"), inet_addr("255.0.0.0")},
            {inet_addr("192.168.0.10"), inet_addr("255.255.255.0")},
            {inet_addr("10.1.0.10"), inet_addr("255.255.0.0")}};
        if (order)
            std::swap(expected[0], expected[2]), std::swap(expected[1], expected[2]);
        EXPECT_EQ(rows, expected) << order;
    }
}
} // namespace
