// The finder's searcher on the simulated network: its settings, the start of Windows Sockets and the
// cards a search keeps.
#include "prn_svr_searcher.h"

#include <gtest/gtest.h>
#include <sim/machine.h>
#include <sim/network.h>

#include <memory>
#include <string>
#include <vector>

namespace
{
using rxfinder::CTzPrnSvrSearcher;

sim::NetCard Card(const std::string& address, const std::string& name, const std::string& printer = "KG-100")
{
    sim::NetCard c;
    c.address = address;
    c.cardName = name;
    c.printerName = printer;
    c.mac = {0x02, 0x00, 0x00, 0xAB, 0xCD, static_cast<std::uint8_t>(address.back())};
    return c;
}

std::vector<std::string> Names(const std::vector<netfind::PrnSvrInfo>& results)
{
    std::vector<std::string> names;
    for (const auto& r : results)
        names.emplace_back(r.cardName, strnlen(r.cardName, sizeof r.cardName));
    return names;
}

std::vector<std::string> Destinations()
{
    std::vector<std::string> to;
    for (const auto& d : sim::network().Sent())
        to.push_back(d.to);
    return to;
}

TEST(Searcher, ClampsItsSettingsAndKeepsAddressesSortedOnceInNetworkOrder)
{
    CTzPrnSvrSearcher s;
    EXPECT_EQ(s.GetTimeout(), 1000);
    EXPECT_EQ(s.GetRetryCount(), 1);
    struct Case
    {
        std::uint32_t in;
        std::uint16_t kept;
    } cases[] = {{0, 1}, {1, 1}, {1500, 1500}, {65535, 65535}, {70000, 65535}};
    for (const Case& c : cases)
    {
        s.SetTimeout(c.in);
        s.SetRetryCount(c.in);
        EXPECT_EQ(s.GetTimeout(), c.kept) << c.in;
        EXPECT_EQ(s.GetRetryCount(), c.kept) << c.in;
    }
    const std::uint32_t a = 0xC0A801FF, b = 0x0A0000FF; // 192.168.1.255, 10.0.0.255
    EXPECT_EQ(s.SetBroadcastAddresses({a, 0, b, a}), 2u);
    EXPECT_EQ(s.GetBroadcastAddresses(), (std::vector<std::uint32_t>{b, a}));
    EXPECT_EQ(s.SetBroadcastAddresses({}), 0u);
    EXPECT_TRUE(s.GetBroadcastAddresses().empty());
}

TEST(Searcher, StartsWindowsSocketsTwoTwoOrKeepsWhyNot)
{
    {
        CTzPrnSvrSearcher s;
        ASSERT_TRUE(s.StartSockets());
        EXPECT_EQ(s.GetErrorCode(), 0);
        EXPECT_NE(socket(AF_INET, SOCK_DGRAM, 0), INVALID_SOCKET);
    }
    EXPECT_EQ(socket(AF_INET, SOCK_DGRAM, 0), INVALID_SOCKET); // the searcher stopped them
    EXPECT_EQ(WSAGetLastError(), WSANOTINITIALISED);

    sim::faults().FailNext("WSAStartup", WSASYSNOTREADY);
    CTzPrnSvrSearcher failed;
    EXPECT_FALSE(failed.StartSockets());
    EXPECT_EQ(failed.GetErrorCode(), WSASYSNOTREADY);

    sim::network().SetWinsockVersion(MAKEWORD(1, 1));
    CTzPrnSvrSearcher old;
    EXPECT_FALSE(old.StartSockets());
    EXPECT_FALSE(old.IsReady());
    EXPECT_EQ(old.GetErrorCode(), CTzPrnSvrSearcher::kVersionNotSupported);
    EXPECT_EQ(WSACleanup(), SOCKET_ERROR); // stopped again at once
}

TEST(Searcher, KeepsTheRxCardsInOrderOfFirstArrivalAndDropsThePreviousSearch)
{
    sim::network().AddInterface("192.168.1.10", "255.255.255.0");
    sim::network().AddInterface("10.0.0.10", "255.255.255.0");
    auto twice = Card("192.168.1.20", "RX-TWICE", std::string(32, 'P'));
    twice.repliesPerQuery = 2;
    sim::network().AddCard(twice);
    auto lower = Card("192.168.1.21", "rx-lower");
    lower.delayMs = 600;
    sim::network().AddCard(lower);
    sim::network().AddCard(Card("192.168.1.22", "XY-OTHER"));
    sim::NetCard foreign = Card("192.168.1.23", "RX-FOREIGN");
    std::vector<std::uint8_t> reply(164, 0);
    reply[1] = 0x02, reply[2] = 0x95, reply[3] = 0x07; // another protocol
    std::copy_n("RX-FOREIGN", 10, reply.begin() + 36);
    foreign.rawReply = reply;
    sim::network().AddCard(foreign);

    CTzPrnSvrSearcher s;
    ASSERT_TRUE(s.StartSockets());
    EXPECT_EQ(s.Search(), 2u);
    const auto results = s.GetResults();
    EXPECT_EQ(Names(results), (std::vector<std::string>{"RX-TWICE", "rx-lower"}));
    EXPECT_EQ(std::string(results[0].printerName, 32), std::string(32, 'P'));
    EXPECT_EQ(Destinations(), std::vector<std::string>{"255.255.255.255"});

    s.SetBroadcastAddresses({0xC0A801FF, 0x0A0000FF, 0xC0A801FF});
    s.SetTimeout(0);
    EXPECT_EQ(s.Search(), 1u); // the delayed card answers after the round's one 500 ms slice
    EXPECT_EQ(Destinations(), (std::vector<std::string>{"255.255.255.255", "10.0.0.255", "192.168.1.255"}));
    EXPECT_EQ(Names(s.GetResults()), std::vector<std::string>{"RX-TWICE"});
}

TEST(Searcher, KeepsAtMostItsTableOfCards)
{
    for (int i = 0; i < 300; ++i)
        sim::network().AddCard(Card("10.0." + std::to_string(i / 250) + "." + std::to_string(i % 250 + 1),
                                    "RX-" + std::to_string(i)));
    CTzPrnSvrSearcher s;
    ASSERT_TRUE(s.StartSockets());
    EXPECT_EQ(s.Search(), CTzPrnSvrSearcher::kMaxResults);
    const auto results = s.GetResults();
    ASSERT_EQ(results.size(), CTzPrnSvrSearcher::kMaxResults);
    EXPECT_EQ(Names(results).back(), "RX-255");
}
} // namespace
