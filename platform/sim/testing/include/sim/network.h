// The simulated network as tests see it: the machine's interfaces (after the loopback interface) and
// the duplicators' network cards on them. Programs reach it through Winsock (ws2_32) and the IP
// Helper (iphlpapi). Every socket a program opens is a real UDP socket on the host's loopback
// interface; the machine routes what is sent to the cards' port, so nothing reaches a real network
// and tests run side by side.
#pragma once

#include <platform/winsock2.h>

#include <array>
#include <cstdint>
#include <optional>
#include <string>
#include <string_view>
#include <vector>

namespace sim
{

// The UDP port the cards listen on.
inline constexpr u_short kCardPort = 19541;

struct NetCard
{
    std::string address; // dotted IPv4, e.g. "192.168.0.5"
    std::array<std::uint8_t, 6> mac{};
    std::string cardName = "RX-Q7NIC"; // 8-bit text, cut to its 16-byte field
    std::string printerName;           // 8-bit text, cut to its 32-byte field
    // Sent as it stands instead of the reply made from the fields above.
    std::optional<std::vector<std::uint8_t>> rawReply;
    // The interfaces (by address) whose directed broadcasts reach the card; empty: every interface.
    std::vector<std::string> hears;
    DWORD delayMs = 0;       // 0: the reply is readable before the query's sendto returns
    int answers = -1;        // how many queries it answers; -1: every one
    int repliesPerQuery = 1; // replies to each query, delayMs apart
};

// A datagram a program sent, as the machine routed it.
struct SentDatagram
{
    u_short fromPort = 0; // the sending socket's port
    std::string to;       // dotted IPv4
    u_short toPort = 0;
    std::vector<std::uint8_t> bytes;
    ULONGLONG time = 0; // machine clock
};

class Network
{
public:
    // An interface of the machine, listed by GetIpAddrTable after 127.0.0.1/255.0.0.0.
    void AddInterface(std::string_view address, std::string_view mask);
    void AddCard(const NetCard& card);
    // The highest Windows Sockets version WSAStartup offers (MAKEWORD(major, minor)); 2.2 unless set.
    void SetWinsockVersion(WORD highest);

    std::vector<SentDatagram> Sent() const;
    // How many queries of the right form each card heard, in the order the cards were added.
    std::vector<int> QueriesHeard() const;
    // Sockets the programs opened and have not closed.
    std::size_t OpenSockets() const;
};

Network& network();

} // namespace sim
