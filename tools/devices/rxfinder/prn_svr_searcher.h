// The finder's search: its settings (time-out, rounds, broadcast addresses), Windows Sockets for the
// program's lifetime, and the cards the last search found.
#pragma once

#include <netfind.h>

#include <cstdint>
#include <mutex>
#include <vector>

namespace rxfinder
{

class CTzPrnSvrSearcher
{
public:
    static constexpr std::size_t kMaxResults = 256;
    // Kept when Windows Sockets answer another version than 2.2: the system's text for a program made
    // for another version.
    static constexpr int kVersionNotSupported = 1151;

    CTzPrnSvrSearcher() = default;
    CTzPrnSvrSearcher(const CTzPrnSvrSearcher&) = delete;
    CTzPrnSvrSearcher& operator=(const CTzPrnSvrSearcher&) = delete;
    // Stops Windows Sockets when they were started here.
    virtual ~CTzPrnSvrSearcher();

    // The number of cards found; the previous results are dropped.
    virtual std::size_t Search();
    // What starting Windows Sockets failed with; 0 when ready.
    virtual int GetErrorCode() const;
    virtual std::vector<netfind::PrnSvrInfo> GetResults() const;
    // Milliseconds for each receive; 0 becomes 1, anything above 65535 becomes 65535.
    virtual void SetTimeout(std::uint32_t timeoutMs);
    virtual std::uint16_t GetTimeout() const;
    virtual void SetRetryCount(std::uint32_t rounds); // clamped as the time-out
    virtual std::uint16_t GetRetryCount() const;
    // Host byte order in and out; zeros dropped, sorted, each once. Empty: the limited broadcast.
    virtual std::size_t SetBroadcastAddresses(const std::vector<std::uint32_t>& addresses);
    virtual std::vector<std::uint32_t> GetBroadcastAddresses() const;

    // Starts Windows Sockets 2.2: true when ready, otherwise the error code is kept.
    bool StartSockets();
    bool IsReady() const;

private:
    mutable std::mutex m_mutex; // the search runs as a task beside the dialog
    bool m_ready = false;
    int m_errorCode = 0;
    std::uint16_t m_timeoutMs = 1000;
    std::uint16_t m_rounds = 1;
    std::vector<netfind::PrnSvrInfo> m_results;
    std::vector<std::uint32_t> m_broadcast; // network byte order
};

} // namespace rxfinder
