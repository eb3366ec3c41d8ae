// The discovery over the simulated network: real loopback sockets, cards that answer on the machine's
// clock, faults injected into Winsock.
#include "netfind.h"

#include <gtest/gtest.h>
#include <sim/machine.h>
#include <sim/network.h>

#include <cstring>
#include <string>
#include <vector>

namespace
{
using namespace netfind;
using Bytes = std::vector<std::uint8_t>;

struct Found
{
    std::string card;
    std::string printer;
    std::string address;
    bool operator==(const Found&) const = default;
};

std::ostream& operator<<(std::ostream& o, const Found& f)
{
    return o << f.card << "/" << f.printer << "@" << f.address;
}

std::uint32_t Ip(const char* dotted)
{
    return inet_addr(dotted);
}

std::string Dotted(const std::uint8_t* b)
{
    return std::to_string(b[0]) + "." + std::to_string(b[1]) + "." + std::to_string(b[2]) + "." +
           std::to_string(b[3]);
}

sim::NetCard Card(const char* address, const char* card = "RX-Q7NIC", const char* printer = "KG-100")
{
    sim::NetCard c;
    c.address = address;
    c.cardName = card;
    c.printerName = printer;
    c.mac = {0x02, 0x00, 0x00, 0x12, 0x34, static_cast<std::uint8_t>(address[std::strlen(address) - 1])};
    return c;
}

sim::NetCard RawCard(const char* address, Bytes reply)
{
    sim::NetCard c;
    c.address = address;
    c.rawReply = std::move(reply);
    return c;
}

// A reply in the cards' format, with a tail the test may vary.
Bytes RawReply(const char* card, const char* printer, std::uint8_t lastByte = 5, std::uint8_t tail = 0)
{
    Bytes r(164, tail);
    std::memset(r.data(), 0, 70);
    r[1] = 0x02, r[2] = 0x95, r[3] = 0x06;
    std::memcpy(&r[4], printer, std::strlen(printer));
    std::memcpy(&r[36], card, std::strlen(card));
    r[56] = 0x02, r[61] = lastByte;
    r[66] = 192, r[67] = 168, r[68] = 0, r[69] = lastByte;
    return r;
}

class Discovery : public ::testing::Test
{
protected:
    void SetUp() override
    {
        WSADATA data{};
        ASSERT_EQ(WSAStartup(MAKEWORD(2, 2), &data), 0);
        setDiscoverParams(1, 1500);
    }
    void TearDown() override
    {
        EXPECT_EQ(sim::network().OpenSockets(), 0u) << "a socket was left open";
        WSACleanup();
    }

    // One search; the records it returned, checked against the counts it reported.
    std::vector<Found> Search(std::vector<std::uint32_t> addresses, std::uint32_t records = 16,
                              int* result = nullptr)
    {
        std::vector<PrnSvrInfo> out(records + 1);
        std::uint32_t bytes = 0xFFFF, cards = 0xFFFF;
        const int r = discoverCards(addresses.empty() ? nullptr : addresses.data(),
                                    static_cast<std::uint32_t>(addresses.size()), out.data(),
                                    records * sizeof(PrnSvrInfo), &bytes, &cards);
        if (result)
            *result = r;
        std::vector<Found> found;
        if (r != 1)
            return found;
        EXPECT_LE(cards, records);
        EXPECT_EQ(bytes, cards * sizeof(PrnSvrInfo));
        for (std::uint32_t i = 0; i < cards; ++i)
            found.push_back({std::string(out[i].cardName, strnlen(out[i].cardName, 16)),
                             std::string(out[i].printerName, strnlen(out[i].printerName, 32)),
                             Dotted(out[i].ipv4)});
        return found;
    }
};

TEST(DiscoverySettings, DefaultToThreeRoundsOfThreeSeconds)
{
    WSADATA data{};
    ASSERT_EQ(WSAStartup(MAKEWORD(2, 2), &data), 0);
    sim::network().AddCard(Card("192.168.0.5"));
    PrnSvrInfo out[2];
    std::uint32_t cards = 0;
    const ULONGLONG start = sim::virtualClock().Now();
    ASSERT_EQ(discoverCards(nullptr, 0, out, sizeof out, nullptr, &cards), 1);
    EXPECT_EQ(cards, 1u);
    EXPECT_EQ(sim::network().Sent().size(), 3u);
    EXPECT_EQ(sim::virtualClock().Now() - start, 9000u);
    EXPECT_EQ(WSACleanup(), 0);
}

TEST_F(Discovery, AnOutputUnderOneRecordSendsNothingAndOneRecordHoldsOneCard)
{
    sim::network().AddCard(Card("192.168.0.5", "RX-FIRST"));
    sim::network().AddCard(Card("192.168.0.6", "RX-SECOND"));
    PrnSvrInfo out[2];
    std::memset(out, 0x5A, sizeof out);
    std::uint32_t bytes = 7, cards = 7;
    EXPECT_EQ(discoverCards(nullptr, 0, out, 57, &bytes, &cards), 0);
    EXPECT_EQ(discoverCards(nullptr, 0, nullptr, 58, &bytes, &cards), 0);
    EXPECT_EQ(bytes, 7u);
    EXPECT_EQ(cards, 7u);
    EXPECT_TRUE(sim::network().Sent().empty());
    EXPECT_EQ(out[0].cardName[0], 0x5A);

    int result = 0;
    EXPECT_EQ(Search({}, 1, &result), (std::vector<Found>{{"RX-FIRST", "KG-100", "192.168.0.5"}}));
    EXPECT_EQ(result, 1);
}

TEST_F(Discovery, ANullListBroadcastsOnceAndAnEmptyOneSendsNothingButWaits)
{
    sim::network().AddCard(Card("192.168.0.5"));
    std::vector<PrnSvrInfo> out(4);
    std::uint32_t cards = 9;
    const ULONGLONG start = sim::virtualClock().Now();
    const std::uint32_t none = 0;
    EXPECT_EQ(discoverCards(&none, 0, out.data(), 4 * sizeof(PrnSvrInfo), nullptr, &cards), 1);
    EXPECT_EQ(cards, 0u);
    EXPECT_TRUE(sim::network().Sent().empty());
    EXPECT_EQ(sim::virtualClock().Now() - start, 1500u);

    EXPECT_EQ(discoverCards(nullptr, 5, out.data(), 4 * sizeof(PrnSvrInfo), nullptr, &cards), 1);
    EXPECT_EQ(cards, 1u);
    const auto sent = sim::network().Sent();
    ASSERT_EQ(sent.size(), 1u);
    EXPECT_EQ(sent[0].to, "255.255.255.255");
    EXPECT_EQ(sent[0].toPort, 19541);
    Bytes query(88, 0);
    query[1] = 0x04, query[2] = 0x95, query[3] = 0x06;
    EXPECT_EQ(sent[0].bytes, query);
}

TEST_F(Discovery, ACardHeardOnTwoSubnetsInThreeRoundsIsOneRecord)
{
    sim::network().AddInterface("192.168.0.10", "255.255.255.0");
    sim::network().AddInterface("10.1.0.10", "255.255.0.0");
    sim::network().AddCard(Card("192.168.0.5"));
    setDiscoverParams(3, 1000);
    const ULONGLONG start = sim::virtualClock().Now();
    std::vector<PrnSvrInfo> out(8);
    std::uint32_t cards = 0;
    ASSERT_EQ(discoverCardsOnInterfaces(out.data(), 8 * sizeof(PrnSvrInfo), nullptr, &cards), 1);
    EXPECT_EQ(cards, 1u);
    EXPECT_EQ(sim::network().QueriesHeard(), std::vector<int>{6});
    std::vector<std::string> to;
    for (const auto& d : sim::network().Sent())
        to.push_back(d.to);
    EXPECT_EQ(to, (std::vector<std::string>{"192.168.0.255", "10.1.255.255", "192.168.0.255", "10.1.255.255",
                                            "192.168.0.255", "10.1.255.255"}));
    EXPECT_EQ(sim::virtualClock().Now() - start, 3000u); // three rounds, each one time-out after its answers
}

TEST_F(Discovery, RepliesEqualInTheirIdentityAreOneRecord)
{
    sim::network().AddCard(RawCard("192.168.0.5", RawReply("RX-A", "KG", 5, 0x11)));
    sim::network().AddCard(RawCard("192.168.0.6", RawReply("RX-A", "KG", 5, 0x22)));
    EXPECT_EQ(Search({}), (std::vector<Found>{{"RX-A", "KG", "192.168.0.5"}}));
}

TEST_F(Discovery, IgnoresOtherProtocolsOperationsAndShortDatagrams)
{
    Bytes wrongOp = RawReply("RX-OP", "KG", 1);
    wrongOp[1] = 0x04;
    Bytes wrongId = RawReply("RX-ID", "KG", 2);
    wrongId[3] = 0x07;
    Bytes cut = RawReply("RX-CUT", "KG", 3);
    cut.resize(40); // ends inside the card's name: it must not borrow the address of the reply before
    sim::network().AddCard(RawCard("192.168.0.4", RawReply("RX-FULL", "KG", 4, 0x33)));
    for (const Bytes& raw : {wrongOp, wrongId, cut})
        sim::network().AddCard(RawCard("192.168.0.9", raw));
    EXPECT_EQ(Search({}), (std::vector<Found>{{"RX-FULL", "KG", "192.168.0.4"}}));
}

TEST_F(Discovery, AReplyLongerThanTheBufferIsReadAsFarAsItGoes)
{
    Bytes longReply = RawReply("RX-LONG", "KG", 7, 0x44);
    longReply.resize(600, 0x55);
    sim::network().AddCard(RawCard("192.168.0.7", longReply));
    sim::network().AddCard(Card("192.168.0.8", "RX-AFTER"));
    EXPECT_EQ(Search({}),
              (std::vector<Found>{{"RX-LONG", "KG", "192.168.0.7"}, {"RX-AFTER", "KG-100", "192.168.0.8"}}));
}

TEST_F(Discovery, AForeignCardFillingTheTableHidesTheNextOne)
{
    sim::network().AddCard(Card("192.168.0.5", "XX-OTHER"));
    sim::network().AddCard(Card("192.168.0.6", "RX-Q7NIC"));
    EXPECT_EQ(Search({}, 1), std::vector<Found>{});
    EXPECT_EQ(Search({}, 2), (std::vector<Found>{{"RX-Q7NIC", "KG-100", "192.168.0.6"}}));
}

TEST_F(Discovery, DirectedQueriesReachOnlyTheirCards)
{
    sim::network().AddInterface("192.168.0.10", "255.255.255.0");
    sim::network().AddInterface("10.1.0.10", "255.255.0.0");
    auto zero = Card("192.168.0.5", "RX-ZERO");
    zero.hears = {"192.168.0.10"};
    sim::network().AddCard(zero);
    auto other = Card("10.1.0.7", "RX-TEN");
    other.hears = {"10.1.0.10"};
    sim::network().AddCard(other);
    EXPECT_EQ(Search({Ip("10.1.255.255")}), (std::vector<Found>{{"RX-TEN", "KG-100", "10.1.0.7"}}));
    EXPECT_EQ(Search({Ip("192.168.0.5")}), (std::vector<Found>{{"RX-ZERO", "KG-100", "192.168.0.5"}}));
    EXPECT_EQ(Search({Ip("172.16.0.1")}), std::vector<Found>{});
}

TEST_F(Discovery, ARoundEndsOneTimeOutAfterItsLastReply)
{
    struct Case
    {
        DWORD delayMs;
        int repliesPerQuery;
        std::uint16_t timeoutMs;
        ULONGLONG roundMs;
    } cases[] = {
        {0, 1, 1500, 1500},     {1000, 1, 1500, 2500},
        {400, 2, 1000, 1800},   {0, 0, 3000, 3000}, // no reply at all
        {400, 100, 1000, 8000}, // a card that never stops: the round ends eight time-outs after it began
    };
    for (const Case& c : cases)
    {
        sim::machine().Reset();
        WSADATA data{};
        ASSERT_EQ(WSAStartup(MAKEWORD(2, 2), &data), 0);
        auto card = Card("192.168.0.5");
        card.delayMs = c.delayMs;
        card.repliesPerQuery = c.repliesPerQuery;
        sim::network().AddCard(card);
        setDiscoverParams(1, c.timeoutMs);
        const ULONGLONG start = sim::virtualClock().Now();
        EXPECT_EQ(Search({}).size(), c.repliesPerQuery > 0 ? 1u : 0u) << c.delayMs;
        EXPECT_EQ(sim::virtualClock().Now() - start, c.roundMs) << c.delayMs << " " << c.repliesPerQuery;
    }
}

TEST_F(Discovery, ASearchOnAThreadOfItsOwnWaitsOnTheMachinesClock)
{
    auto card = Card("192.168.0.5");
    card.delayMs = 1200;
    sim::network().AddCard(card);
    struct Run
    {
        PrnSvrInfo out[2];
        std::uint32_t cards = 0;
        int result = 0;
    } run;
    const ULONGLONG start = sim::virtualClock().Now();
    HANDLE thread = CreateThread(
        nullptr, 0,
        [](LPVOID p) -> DWORD {
            auto& r = *static_cast<Run*>(p);
            r.result = discoverCards(nullptr, 0, r.out, sizeof r.out, nullptr, &r.cards);
            return 0;
        },
        &run, 0, nullptr);
    ASSERT_NE(thread, nullptr);
    EXPECT_EQ(WaitForSingleObject(thread, INFINITE), WAIT_OBJECT_0);
    CloseHandle(thread);
    EXPECT_EQ(run.result, 1);
    EXPECT_EQ(run.cards, 1u);
    EXPECT_EQ(sim::virtualClock().Now() - start, 2700u);
}

TEST_F(Discovery, AnEchoOfAnUnreachableDestinationNeitherEndsNorStretchesTheRound)
{
    sim::network().AddCard(Card("192.168.0.5"));
    sim::faults().FailNext("recvfrom", WSAECONNRESET);
    const ULONGLONG start = sim::virtualClock().Now();
    EXPECT_EQ(Search({}), (std::vector<Found>{{"RX-Q7NIC", "KG-100", "192.168.0.5"}}));
    EXPECT_EQ(sim::virtualClock().Now() - start, 1500u);
}

TEST_F(Discovery, EveryFailingCallEndsTheSearchWithWhatCouldBeFound)
{
    struct Case
    {
        const char* api;
        DWORD error;
        bool found; // a socket that could not be made is tried again within the time-out
    } cases[] = {
        {"socket", WSAENOBUFS, true},       {"bind", WSAEADDRINUSE, true},  {"setsockopt", WSAENOBUFS, true},
        {"sendto", WSAENETDOWN, false},     {"select", WSAENETDOWN, false}, {"recvfrom", WSAENETDOWN, false},
        {"closesocket", WSAENETDOWN, true},
    };
    for (const Case& c : cases)
    {
        sim::machine().Reset();
        WSADATA data{};
        ASSERT_EQ(WSAStartup(MAKEWORD(2, 2), &data), 0);
        setDiscoverParams(1, 1500);
        sim::network().AddCard(Card("192.168.0.5"));
        sim::faults().FailNext(c.api, c.error);
        int result = 0;
        const ULONGLONG start = sim::virtualClock().Now();
        EXPECT_EQ(Search({}, 4, &result).size(), c.found ? 1u : 0u) << c.api;
        EXPECT_EQ(result, 1) << c.api;
        EXPECT_LE(sim::virtualClock().Now() - start, 2000u) << c.api;
        EXPECT_TRUE(sim::faults().Pending().empty()) << c.api;
        if (std::string(c.api) == "closesocket")
        {
            EXPECT_EQ(sim::network().OpenSockets(), 1u); // its socket stays open, as Winsock leaves it
        }
        WSACleanup();
    }
    WSADATA data{};
    ASSERT_EQ(WSAStartup(MAKEWORD(2, 2), &data), 0);
}

TEST_F(Discovery, WithoutWinsockEachRoundWaitsOneTimeOutAndFindsNothing)
{
    sim::network().AddCard(Card("192.168.0.5"));
    WSACleanup();
    setDiscoverParams(2, 1000);
    const ULONGLONG start = sim::virtualClock().Now();
    int result = 0;
    EXPECT_EQ(Search({}, 4, &result), std::vector<Found>{});
    EXPECT_EQ(result, 1);
    EXPECT_EQ(sim::virtualClock().Now() - start, 2000u);
    EXPECT_TRUE(sim::network().Sent().empty());
    WSADATA data{};
    ASSERT_EQ(WSAStartup(MAKEWORD(2, 2), &data), 0);
}

TEST_F(Discovery, TheInterfacesGiveTheirDirectedBroadcastsOrNone)
{
    EXPECT_TRUE(directedBroadcasts().empty()); // loopback alone
    sim::network().AddCard(Card("192.168.0.5"));
    std::vector<PrnSvrInfo> out(2);
    std::uint32_t cards = 0;
    ASSERT_EQ(discoverCardsOnInterfaces(out.data(), 2 * sizeof(PrnSvrInfo), nullptr, &cards), 1);
    EXPECT_EQ(cards, 1u);
    ASSERT_EQ(sim::network().Sent().size(), 1u);
    EXPECT_EQ(sim::network().Sent()[0].to, "255.255.255.255");

    sim::network().AddInterface("192.168.0.10", "255.255.255.0");
    sim::network().AddInterface("192.168.0.11", "255.255.255.0"); // the same subnet: one broadcast
    sim::network().AddInterface("10.0.0.1", "255.255.255.255");   // a host route has none
    sim::network().AddInterface("172.16.5.1", "255.240.0.0");
    EXPECT_EQ(directedBroadcasts(), (std::vector<std::uint32_t>{Ip("192.168.0.255"), Ip("172.31.255.255")}));
    sim::faults().FailNext("GetIpAddrTable", ERROR_NOT_SUPPORTED);
    EXPECT_TRUE(directedBroadcasts().empty());
}
} // namespace
