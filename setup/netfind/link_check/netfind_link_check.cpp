// Links every public function of the discovery library against the system's import libraries.
#include "netfind.h"

int main()
{
    WSADATA data{};
    if (WSAStartup(MAKEWORD(2, 2), &data) != 0)
        return 1;
    netfind::PrnSvrInfo records[4]{};
    std::uint32_t bytes = 0;
    std::uint32_t cards = 0;
    netfind::setDiscoverParams(1, 500);
    const int ran = netfind::discoverCardsOnInterfaces(records, sizeof records, &bytes, &cards) +
                    netfind::discoverCards(nullptr, 0, records, sizeof records, &bytes, &cards);
    WSACleanup();
    return ran == 2 ? 0 : 1;
}
