// The machine's network as the simulated system DLLs share it (ws2_32 and iphlpapi).
#pragma once

#include <cstdint>
#include <optional>
#include <string_view>
#include <vector>

namespace sim::detail
{

// An interface's address and mask, in host byte order.
struct NetInterfaceRecord
{
    std::uint32_t address = 0;
    std::uint32_t mask = 0;
};

// The loopback interface first, then those the test declared.
std::vector<NetInterfaceRecord> NetInterfaces();

// Dotted IPv4 text ("a.b.c.d", decimal) in host byte order.
std::optional<std::uint32_t> ParseDottedAddress(std::string_view text);

} // namespace sim::detail
