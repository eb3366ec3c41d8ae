#include "prn_svr_searcher.h"

#include "finder_text.h"

#include <algorithm>
#include <iterator>
#include <utility>

namespace rxfinder
{
CTzPrnSvrSearcher::~CTzPrnSvrSearcher()
{
    if (std::exchange(m_ready, false))
        WSACleanup();
}

bool CTzPrnSvrSearcher::StartSockets()
{
    std::lock_guard g(m_mutex);
    if (m_ready)
        return true;
    WSADATA data{};
    // The start-up reports its failure as its result, not through the last error.
    if (const int error = WSAStartup(MAKEWORD(2, 2), &data); error != 0)
    {
        m_errorCode = error;
        return false;
    }
    if (data.wVersion != MAKEWORD(2, 2))
    {
        WSACleanup();
        m_errorCode = kVersionNotSupported;
        return false;
    }
    m_errorCode = 0;
    m_ready = true;
    return true;
}

bool CTzPrnSvrSearcher::IsReady() const
{
    std::lock_guard g(m_mutex);
    return m_ready;
}

std::size_t CTzPrnSvrSearcher::Search()
{
    std::vector<std::uint32_t> addresses;
    {
        std::lock_guard g(m_mutex);
        netfind::setDiscoverParams(m_rounds, m_timeoutMs);
        addresses = m_broadcast;
        m_results.clear();
    }
    std::vector<netfind::PrnSvrInfo> table(kMaxResults, netfind::PrnSvrInfo{});
    std::uint32_t bytes = 0;
    std::uint32_t cards = 0;
    const int ran = netfind::discoverCards(
        addresses.empty() ? nullptr : addresses.data(), static_cast<std::uint32_t>(addresses.size()),
        table.data(), static_cast<std::uint32_t>(table.size() * sizeof(netfind::PrnSvrInfo)), &bytes, &cards);
    std::lock_guard g(m_mutex);
    if (ran)
        m_results.assign(table.begin(), table.begin() + std::min<std::size_t>(cards, kMaxResults));
    return m_results.size();
}

int CTzPrnSvrSearcher::GetErrorCode() const
{
    std::lock_guard g(m_mutex);
    return m_errorCode;
}

std::vector<netfind::PrnSvrInfo> CTzPrnSvrSearcher::GetResults() const
{
    std::lock_guard g(m_mutex);
    return m_results;
}

void CTzPrnSvrSearcher::SetTimeout(std::uint32_t timeoutMs)
{
    std::lock_guard g(m_mutex);
    m_timeoutMs = ClampSetting(timeoutMs);
}

std::uint16_t CTzPrnSvrSearcher::GetTimeout() const
{
    std::lock_guard g(m_mutex);
    return m_timeoutMs;
}

void CTzPrnSvrSearcher::SetRetryCount(std::uint32_t rounds)
{
    std::lock_guard g(m_mutex);
    m_rounds = ClampSetting(rounds);
}

std::uint16_t CTzPrnSvrSearcher::GetRetryCount() const
{
    std::lock_guard g(m_mutex);
    return m_rounds;
}

std::size_t CTzPrnSvrSearcher::SetBroadcastAddresses(const std::vector<std::uint32_t>& addresses)
{
    std::vector<std::uint32_t> kept;
    std::copy_if(addresses.begin(), addresses.end(), std::back_inserter(kept),
                 [](std::uint32_t a) { return a != 0; });
    std::sort(kept.begin(), kept.end());
    kept.erase(std::unique(kept.begin(), kept.end()), kept.end());
    for (std::uint32_t& a : kept)
        a = htonl(a);
    std::lock_guard g(m_mutex);
    m_broadcast = std::move(kept);
    return m_broadcast.size();
}

std::vector<std::uint32_t> CTzPrnSvrSearcher::GetBroadcastAddresses() const
{
    std::lock_guard g(m_mutex);
    std::vector<std::uint32_t> hostOrder;
    for (std::uint32_t a : m_broadcast)
        hostOrder.push_back(ntohl(a));
    return hostOrder;
}

} // namespace rxfinder
