// Windows Sockets over the host's loopback interface. A program's socket is a real UDP socket bound
// to 127.0.0.1; the machine routes what it sends. Datagrams to the cards' port go to the simulated
// cards (never to the host's port), which answer from sockets of their own to the sender's real port;
// what arrives is pulled into the socket's queue at once, so a reply sent "now" is readable when the
// send returns and every run is the same. Waits run on the machine's clock.
#include "core/scheduler.h"
#include "ws2_32/host_udp.h"
#include "ws2_32/network_internal.h"

#include <platform/winsock2.h>
#include <sim/network.h>

#include <algorithm>
#include <atomic>
#include <bit>
#include <cstring>
#include <deque>
#include <map>
#include <memory>
#include <mutex>
#include <stdexcept>
#include <utility>

using namespace sim;
using namespace sim::detail;

namespace
{
using Bytes = std::vector<std::uint8_t>;

constexpr std::uint32_t kLoopbackNet = 0x7f000000u;
constexpr std::uint32_t kLoopbackMask = 0xff000000u;
constexpr std::uint32_t kLimitedBroadcast = 0xffffffffu;
constexpr int kMaxDatagram = 65507;
static_assert(std::endian::native == std::endian::little, "the byte-order functions swap");

constexpr int kArrivalWaitMs = 5000; // real time; loopback delivers far sooner

struct Arrived
{
    Bytes bytes;
    std::uint32_t fromAddress = 0; // host order
    std::uint16_t fromPort = 0;
};

struct Sock
{
    DWORD process = 0;
    int fd = -1; // the host socket, made when the socket is bound (explicitly or by a first send)
    std::uint32_t boundAddress = 0;
    std::uint16_t port = 0;
    bool broadcast = false;
    std::atomic<bool> closed{false}; // read by Find without the lock
    std::deque<Arrived> queue;
    std::atomic<std::size_t> queued{0}; // read by waits under the scheduler's lock
};

struct SocketObject : KernelObject
{
    std::shared_ptr<Sock> sock;
};

struct Card
{
    NetCard setup;
    std::uint32_t address = 0;
    std::vector<std::uint32_t> hears;
    int fd = -1;
    std::uint16_t port = 0;
    int answered = 0;
    int heard = 0;
    Bytes reply;
};

struct PendingReply
{
    ULONGLONG due = 0;
    std::uint64_t order = 0;
    std::size_t card = 0;
    std::weak_ptr<Sock> to;
};

struct Net : PartBase
{
    std::mutex mu; // taken after the state lock and the scheduler's, never before them
    std::vector<NetInterfaceRecord> interfaces;
    std::vector<Card> cards;
    std::vector<std::shared_ptr<Sock>> sockets;
    std::vector<PendingReply> pending;
    std::uint64_t nextOrder = 0;
    std::vector<SentDatagram> sent;
    std::map<DWORD, int> startups; // WSAStartup calls not yet cleaned up, by process
    WORD highestVersion = MAKEWORD(2, 2);
    ~Net() override
    {
        for (auto& s : sockets)
            host::Close(s->fd);
        for (auto& c : cards)
            host::Close(c.fd);
    }
};

Net& net()
{
    return Part<Net>();
}

std::string Dotted(std::uint32_t a)
{
    return std::to_string(a >> 24) + "." + std::to_string((a >> 16) & 0xff) + "." +
           std::to_string((a >> 8) & 0xff) + "." + std::to_string(a & 0xff);
}

std::uint32_t ParseOrThrow(std::string_view text)
{
    auto a = ParseDottedAddress(text);
    if (!a)
        throw std::invalid_argument("not a dotted IPv4 address: " + std::string(text));
    return *a;
}

// The card's reply as the card writes it: big-endian operation and protocol id, the printer and card
// names in fields of 32 and 16 bytes, the MAC and the card's address.
Bytes CardReply(const NetCard& c, std::uint32_t address)
{
    Bytes r(164, 0);
    r[0] = 0x00;
    r[1] = 0x02;
    r[2] = 0x95;
    r[3] = 0x06;
    std::copy_n(c.printerName.begin(), std::min<std::size_t>(c.printerName.size(), 32), r.begin() + 4);
    std::copy_n(c.cardName.begin(), std::min<std::size_t>(c.cardName.size(), 16), r.begin() + 36);
    std::copy(c.mac.begin(), c.mac.end(), r.begin() + 56);
    for (int i = 0; i < 4; ++i)
        r[66 + i] = static_cast<std::uint8_t>(address >> (24 - 8 * i));
    return r;
}

bool IsCardQuery(std::span<const std::uint8_t> d)
{
    return d.size() == 88 && d[0] == 0x00 && d[1] == 0x04 && d[2] == 0x95 && d[3] == 0x06;
}

bool IsBroadcastLocked(const Net& n, std::uint32_t to)
{
    if (to == kLimitedBroadcast || to == (kLoopbackNet | ~kLoopbackMask))
        return true;
    return std::any_of(n.interfaces.begin(), n.interfaces.end(),
                       [&](const NetInterfaceRecord& i) { return to == (i.address | ~i.mask); });
}

bool IsLocalLocked(const Net& n, std::uint32_t a)
{
    return (a & kLoopbackMask) == kLoopbackNet ||
           std::any_of(n.interfaces.begin(), n.interfaces.end(),
                       [&](const NetInterfaceRecord& i) { return a == i.address; });
}

bool CardHearsLocked(const Net& n, const Card& c, std::uint32_t to)
{
    if (to == kLimitedBroadcast || to == c.address)
        return true;
    for (const NetInterfaceRecord& i : n.interfaces)
        if (to == (i.address | ~i.mask) &&
            (c.hears.empty() || std::find(c.hears.begin(), c.hears.end(), i.address) != c.hears.end()))
            return true;
    return false;
}

// Moves what has arrived at the socket into its queue; with `awaited`, first waits (in real time) for
// the datagram just sent to it from that host port.
void PullLocked(Net& n, Sock& s, std::optional<std::uint16_t> awaited)
{
    for (;;)
    {
        auto d = host::Receive(s.fd, awaited ? kArrivalWaitMs : 0);
        if (!d)
            return;
        Arrived a{std::move(d->bytes), INADDR_LOOPBACK, d->fromPort};
        for (const Card& c : n.cards)
            if (c.port == d->fromPort)
            {
                a.fromAddress = c.address;
                a.fromPort = kCardPort;
            }
        if (awaited && *awaited == d->fromPort)
            awaited.reset();
        s.queue.push_back(std::move(a));
        ++s.queued;
    }
}

void CardSendLocked(Net& n, Card& c, Sock& to)
{
    long error = 0;
    if (!to.closed && host::SendTo(c.fd, to.port, c.reply, &error))
        PullLocked(n, to, c.port);
}

// Sends the delayed replies that have come due, in the order they fell due.
void PumpLocked(Net& n)
{
    const ULONGLONG now = Clock();
    std::vector<PendingReply> due;
    std::erase_if(n.pending, [&](const PendingReply& p) {
        if (p.to.expired())
            return true;
        if (p.due > now)
            return false;
        due.push_back(p);
        return true;
    });
    std::sort(due.begin(), due.end(), [](const PendingReply& a, const PendingReply& b) {
        return std::tie(a.due, a.order) < std::tie(b.due, b.order);
    });
    for (const PendingReply& p : due)
        if (auto to = p.to.lock())
            CardSendLocked(n, n.cards[p.card], *to);
}

ULONGLONG NextDueLocked(const Net& n, const std::vector<std::shared_ptr<Sock>>& for_)
{
    ULONGLONG d = ~0ULL;
    for (const PendingReply& p : n.pending)
        if (auto to = p.to.lock())
            if (std::find(for_.begin(), for_.end(), to) != for_.end())
                d = std::min(d, p.due);
    return d;
}

bool StartedLocked(Net& n)
{
    auto it = n.startups.find(CurrentProcess().id);
    return it != n.startups.end() && it->second > 0;
}

int Fail(long error)
{
    SetLastError(static_cast<DWORD>(error));
    return SOCKET_ERROR;
}

// The socket behind a handle of the calling process; null and the error set when there is none.
std::shared_ptr<Sock> Find(SOCKET s)
{
    {
        std::lock_guard g(net().mu);
        if (!StartedLocked(net()))
        {
            SetLastError(WSANOTINITIALISED);
            return nullptr;
        }
    }
    auto object = FindHandleOf<SocketObject>(reinterpret_cast<HANDLE>(s));
    if (!object || object->sock->closed || object->sock->process != CurrentProcess().id)
    {
        SetLastError(WSAENOTSOCK);
        return nullptr;
    }
    return object->sock;
}

bool BindLocked(Sock& s, std::uint32_t address, std::uint16_t port)
{
    long error = 0;
    int fd = host::OpenUdp(port, &error);
    if (fd < 0)
    {
        SetLastError(static_cast<DWORD>(error));
        return false;
    }
    s.fd = fd;
    s.boundAddress = address;
    s.port = host::LocalPort(fd);
    return true;
}

// Waits on the machine's clock until one of the sockets has a datagram queued or the clock reaches
// `until`; false when the machine gives up on the test's own thread.
bool WaitForDatagram(const std::vector<std::shared_ptr<Sock>>& socks, ULONGLONG until)
{
    auto self = SelfPtr();
    const std::function<bool()> ready = [&] {
        return Clock() >= until || std::any_of(socks.begin(), socks.end(), [](const auto& s) {
                   return s->queued.load() > 0 || s->closed.load();
               });
    };
    std::unique_lock lock(Sched().mu);
    try
    {
        WaitLocked(lock, *self, WaitKind::Object, until, ready, "a datagram on a socket");
    }
    catch (const ProgramStuck&)
    {
        if (self->simulated)
            throw;
        return false;
    }
    return ready();
}

std::uint32_t AddressOf(const sockaddr_in& a)
{
    return ntohl(a.sin_addr.s_addr);
}
} // namespace

namespace sim::detail
{
std::vector<NetInterfaceRecord> NetInterfaces()
{
    std::lock_guard g(net().mu);
    std::vector<NetInterfaceRecord> all{{INADDR_LOOPBACK, kLoopbackMask}};
    all.insert(all.end(), net().interfaces.begin(), net().interfaces.end());
    return all;
}

std::optional<std::uint32_t> ParseDottedAddress(std::string_view text)
{
    std::uint32_t a = 0;
    int parts = 0;
    std::size_t at = 0;
    while (parts < 4)
    {
        std::size_t digits = 0;
        std::uint32_t part = 0;
        while (at < text.size() && text[at] >= '0' && text[at] <= '9' && digits < 3)
        {
            part = part * 10 + static_cast<std::uint32_t>(text[at++] - '0');
            ++digits;
        }
        if (digits == 0 || part > 255)
            return std::nullopt;
        a = a << 8 | part;
        if (++parts < 4 && (at >= text.size() || text[at++] != '.'))
            return std::nullopt;
    }
    if (at != text.size())
        return std::nullopt;
    return a;
}
} // namespace sim::detail

namespace sim
{
Network& network()
{
    static Network n;
    return n;
}

void Network::AddInterface(std::string_view address, std::string_view mask)
{
    NetInterfaceRecord i{ParseOrThrow(address), ParseOrThrow(mask)};
    std::lock_guard g(net().mu);
    net().interfaces.push_back(i);
}

void Network::AddCard(const NetCard& setup)
{
    Card c;
    c.setup = setup;
    c.address = ParseOrThrow(setup.address);
    for (const std::string& i : setup.hears)
        c.hears.push_back(ParseOrThrow(i));
    c.reply = setup.rawReply ? *setup.rawReply : CardReply(setup, c.address);
    long error = 0;
    c.fd = host::OpenUdp(0, &error);
    if (c.fd < 0)
        throw std::runtime_error("the host gave no loopback socket for a card");
    c.port = host::LocalPort(c.fd);
    std::lock_guard g(net().mu);
    net().cards.push_back(std::move(c));
}

void Network::SetWinsockVersion(WORD highest)
{
    std::lock_guard g(net().mu);
    net().highestVersion = highest;
}

std::vector<SentDatagram> Network::Sent() const
{
    std::lock_guard g(net().mu);
    return net().sent;
}

std::vector<int> Network::QueriesHeard() const
{
    std::lock_guard g(net().mu);
    std::vector<int> heard;
    for (const Card& c : net().cards)
        heard.push_back(c.heard);
    return heard;
}

std::size_t Network::OpenSockets() const
{
    std::lock_guard g(net().mu);
    return net().sockets.size();
}
} // namespace sim

int WINAPI WSAStartup(WORD versionRequested, LPWSADATA data)
{
    SIM_FAULT_STATUS("WSAStartup", int);
    if (!data)
        return WSAEFAULT;
    const BYTE major = LOBYTE(versionRequested);
    const BYTE minor = HIBYTE(versionRequested);
    if (major < 1 || (major == 1 && minor < 1))
        return WSAVERNOTSUPPORTED;
    std::lock_guard g(net().mu);
    const WORD highest = net().highestVersion;
    // Versions compare major first; the caller gets the lower of what it asked for and what there is.
    auto order = [](WORD v) { return LOBYTE(v) << 8 | HIBYTE(v); };
    *data = {};
    data->wVersion = order(versionRequested) < order(highest) ? versionRequested : highest;
    data->wHighVersion = highest;
    const char description[] = "WinSock 2.0";
    std::copy(std::begin(description), std::end(description), data->szDescription);
    const char status[] = "Running";
    std::copy(std::begin(status), std::end(status), data->szSystemStatus);
    ++net().startups[CurrentProcess().id];
    return 0;
}

int WINAPI WSACleanup()
{
    {
        Net& n = net();
        std::lock_guard g(n.mu);
        if (!StartedLocked(n))
            return Fail(WSANOTINITIALISED);
        const DWORD process = CurrentProcess().id;
        if (--n.startups[process] > 0)
            return 0;
        // The last cleanup of a process closes the sockets it left open.
        std::erase_if(n.sockets, [&](const std::shared_ptr<Sock>& s) {
            if (s->process != process)
                return false;
            s->closed = true;
            host::Close(std::exchange(s->fd, -1));
            return true;
        });
    }
    ClockMoved(); // a thread blocked on one of them returns
    return 0;
}

int WINAPI WSAGetLastError()
{
    return static_cast<int>(GetLastError());
}

void WINAPI WSASetLastError(int error)
{
    SetLastError(static_cast<DWORD>(error));
}

SOCKET WINAPI socket(int af, int type, int protocol)
{
    SIM_FAULT_POINT("socket", INVALID_SOCKET);
    auto sock = std::make_shared<Sock>();
    sock->process = CurrentProcess().id;
    {
        std::lock_guard g(net().mu);
        if (!StartedLocked(net()))
        {
            SetLastError(WSANOTINITIALISED);
            return INVALID_SOCKET;
        }
    }
    if (af != AF_INET)
    {
        SetLastError(WSAEAFNOSUPPORT);
        return INVALID_SOCKET;
    }
    if (type != SOCK_DGRAM)
    {
        SetLastError(WSAESOCKTNOSUPPORT); // the machine carries datagrams only
        return INVALID_SOCKET;
    }
    if (protocol != 0 && protocol != IPPROTO_UDP)
    {
        SetLastError(WSAEPROTONOSUPPORT);
        return INVALID_SOCKET;
    }
    auto object = std::make_shared<SocketObject>();
    object->sock = sock;
    HANDLE h = AddHandle(object);
    std::lock_guard g(net().mu);
    net().sockets.push_back(sock);
    return reinterpret_cast<SOCKET>(h);
}

int WINAPI bind(SOCKET s, const sockaddr* name, int nameLength)
{
    SIM_FAULT_POINT("bind", SOCKET_ERROR);
    auto sock = Find(s);
    if (!sock)
        return SOCKET_ERROR;
    if (!name || nameLength < static_cast<int>(sizeof(sockaddr_in)))
        return Fail(WSAEFAULT);
    sockaddr_in a{};
    std::memcpy(&a, name, sizeof a);
    if (a.sin_family != AF_INET)
        return Fail(WSAEAFNOSUPPORT);
    Net& n = net();
    std::lock_guard g(n.mu);
    if (sock->fd >= 0)
        return Fail(WSAEINVAL);
    const std::uint32_t address = AddressOf(a);
    if (address != INADDR_ANY && !IsLocalLocked(n, address))
        return Fail(WSAEADDRNOTAVAIL);
    return BindLocked(*sock, address, ntohs(a.sin_port)) ? 0 : SOCKET_ERROR;
}

int WINAPI setsockopt(SOCKET s, int level, int name, const char* value, int length)
{
    SIM_FAULT_POINT("setsockopt", SOCKET_ERROR);
    auto sock = Find(s);
    if (!sock)
        return SOCKET_ERROR;
    if (level != SOL_SOCKET || name != SO_BROADCAST)
        return Fail(WSAENOPROTOOPT);
    if (!value || length < static_cast<int>(sizeof(DWORD)))
        return Fail(WSAEFAULT);
    DWORD on = 0;
    std::memcpy(&on, value, sizeof on);
    std::lock_guard g(net().mu);
    sock->broadcast = on != 0;
    return 0;
}

int WINAPI getsockopt(SOCKET s, int level, int name, char* value, int* length)
{
    auto sock = Find(s);
    if (!sock)
        return SOCKET_ERROR;
    if (level != SOL_SOCKET || name != SO_BROADCAST)
        return Fail(WSAENOPROTOOPT);
    if (!value || !length || *length < static_cast<int>(sizeof(DWORD)))
        return Fail(WSAEFAULT);
    std::lock_guard g(net().mu);
    const DWORD on = sock->broadcast ? 1 : 0;
    std::memcpy(value, &on, sizeof on);
    *length = sizeof on;
    return 0;
}

int WINAPI getsockname(SOCKET s, sockaddr* name, int* nameLength)
{
    auto sock = Find(s);
    if (!sock)
        return SOCKET_ERROR;
    if (!name || !nameLength || *nameLength < static_cast<int>(sizeof(sockaddr_in)))
        return Fail(WSAEFAULT);
    std::lock_guard g(net().mu);
    if (sock->fd < 0)
        return Fail(WSAEINVAL);
    sockaddr_in a{};
    a.sin_family = AF_INET;
    a.sin_port = htons(sock->port);
    a.sin_addr.s_addr = htonl(sock->boundAddress);
    std::memcpy(name, &a, sizeof a);
    *nameLength = sizeof a;
    return 0;
}

int WINAPI sendto(SOCKET s, const char* buffer, int length, int flags, const sockaddr* to, int toLength)
{
    SIM_FAULT_POINT("sendto", SOCKET_ERROR);
    auto sock = Find(s);
    if (!sock)
        return SOCKET_ERROR;
    (void)flags;
    if (!to)
        return Fail(WSAEDESTADDRREQ);
    if (toLength < static_cast<int>(sizeof(sockaddr_in)) || length < 0 || (length > 0 && !buffer))
        return Fail(WSAEFAULT);
    sockaddr_in a{};
    std::memcpy(&a, to, sizeof a);
    if (a.sin_family != AF_INET)
        return Fail(WSAEAFNOSUPPORT);
    if (length > kMaxDatagram)
        return Fail(WSAEMSGSIZE);
    const std::uint32_t address = AddressOf(a);
    const std::uint16_t port = ntohs(a.sin_port);
    if (address == INADDR_ANY || port == 0)
        return Fail(WSAEADDRNOTAVAIL);
    const std::span<const std::uint8_t> bytes(reinterpret_cast<const std::uint8_t*>(buffer),
                                              static_cast<std::size_t>(length));
    bool woke = false;
    {
        Net& n = net();
        std::lock_guard g(n.mu);
        if (IsBroadcastLocked(n, address) && !sock->broadcast)
            return Fail(WSAEACCES);
        if (sock->fd < 0 && !BindLocked(*sock, INADDR_ANY, 0))
            return SOCKET_ERROR;
        PumpLocked(n);
        n.sent.push_back({sock->port, Dotted(address), port, Bytes(bytes.begin(), bytes.end()), Clock()});
        if (port == kCardPort)
        {
            // The cards' port is never the host's: the machine hands the query to the cards that hear it.
            for (std::size_t i = 0; i < n.cards.size(); ++i)
            {
                Card& c = n.cards[i];
                if (!CardHearsLocked(n, c, address) || !IsCardQuery(bytes))
                    continue;
                ++c.heard;
                if (c.setup.answers >= 0 && c.answered >= c.setup.answers)
                    continue;
                ++c.answered;
                for (int k = 0; k < c.setup.repliesPerQuery; ++k)
                    if (c.setup.delayMs == 0)
                        CardSendLocked(n, c, *sock);
                    else
                        n.pending.push_back(
                            {Clock() + ULONGLONG{c.setup.delayMs} * (k + 1), n.nextOrder++, i, sock});
            }
        }
        else if (IsLocalLocked(n, address))
        {
            long error = 0;
            if (!host::SendTo(sock->fd, port, bytes, &error))
                return Fail(error);
            for (auto& other : n.sockets)
                if (other->fd >= 0 && other->port == port)
                {
                    PullLocked(n, *other, sock->port);
                    woke = true;
                }
        }
    }
    if (woke)
        ClockMoved(); // a thread waiting on the other socket looks again
    return length;
}

int WINAPI recvfrom(SOCKET s, char* buffer, int length, int flags, sockaddr* from, int* fromLength)
{
    SIM_FAULT_POINT("recvfrom", SOCKET_ERROR);
    auto sock = Find(s);
    if (!sock)
        return SOCKET_ERROR;
    (void)flags;
    if ((from && (!fromLength || *fromLength < static_cast<int>(sizeof(sockaddr_in)))) || length < 0 ||
        (length > 0 && !buffer))
        return Fail(WSAEFAULT);
    Net& n = net();
    for (;;)
    {
        ULONGLONG next;
        {
            std::lock_guard g(n.mu);
            if (sock->closed)
                return Fail(WSAEINTR); // closed by another thread while this one waited
            if (sock->fd < 0)
                return Fail(WSAEINVAL);
            PumpLocked(n);
            PullLocked(n, *sock, std::nullopt);
            if (!sock->queue.empty())
            {
                Arrived a = std::move(sock->queue.front());
                sock->queue.pop_front();
                --sock->queued;
                const int copied = std::min(length, static_cast<int>(a.bytes.size()));
                std::copy_n(a.bytes.begin(), copied, buffer);
                if (from)
                {
                    sockaddr_in f{};
                    f.sin_family = AF_INET;
                    f.sin_port = htons(a.fromPort);
                    f.sin_addr.s_addr = htonl(a.fromAddress);
                    std::memcpy(from, &f, sizeof f);
                    *fromLength = sizeof f;
                }
                // A datagram longer than the buffer is cut and the rest lost, as Winsock does.
                if (copied < static_cast<int>(a.bytes.size()))
                    return Fail(WSAEMSGSIZE);
                return copied;
            }
            next = NextDueLocked(n, {sock});
        }
        if (!WaitForDatagram({sock}, next))
            return Fail(WSAEINTR);
    }
}

int WINAPI select(int ignored, fd_set* readSet, fd_set* writeSet, fd_set* exceptSet, const timeval* timeout)
{
    (void)ignored;
    {
        std::lock_guard g(net().mu);
        if (!StartedLocked(net()))
            return Fail(WSANOTINITIALISED);
    }
    SIM_FAULT_POINT("select", SOCKET_ERROR);
    const u_int count = (readSet ? readSet->fd_count : 0) + (writeSet ? writeSet->fd_count : 0) +
                        (exceptSet ? exceptSet->fd_count : 0);
    if (count == 0)
        return Fail(WSAEINVAL);
    auto resolve = [](fd_set* set, std::vector<std::shared_ptr<Sock>>& socks) {
        for (u_int i = 0; set && i < std::min<u_int>(set->fd_count, FD_SETSIZE); ++i)
        {
            auto sock = Find(set->fd_array[i]);
            if (!sock)
                return false;
            socks.push_back(std::move(sock));
        }
        return true;
    };
    std::vector<std::shared_ptr<Sock>> reads, writes, excepts;
    if (!resolve(readSet, reads) || !resolve(writeSet, writes) || !resolve(exceptSet, excepts))
        return SOCKET_ERROR;
    if (timeout && (timeout->tv_sec < 0 || timeout->tv_usec < 0))
        return Fail(WSAEINVAL);
    const ULONGLONG start = Clock();
    const ULONGLONG deadline = timeout ? start + static_cast<ULONGLONG>(timeout->tv_sec) * 1000 +
                                             (static_cast<ULONGLONG>(timeout->tv_usec) + 999) / 1000
                                       : ~0ULL;
    Net& n = net();
    for (;;)
    {
        ULONGLONG next;
        {
            std::lock_guard g(n.mu);
            if (std::any_of(reads.begin(), reads.end(), [](const auto& s) { return s->closed.load(); }))
                return Fail(WSAEINTR); // closed by another thread while this one waited
            PumpLocked(n);
            for (auto& s : reads)
                if (s->fd >= 0)
                    PullLocked(n, *s, std::nullopt);
            // A datagram socket can always send; nothing here raises an exception condition.
            std::vector<bool> readable;
            int ready = static_cast<int>(writes.size());
            for (auto& s : reads)
            {
                readable.push_back(!s->queue.empty());
                ready += readable.back() ? 1 : 0;
            }
            if (ready > 0 || Clock() >= deadline)
            {
                if (readSet)
                {
                    u_int kept = 0;
                    for (std::size_t i = 0; i < reads.size(); ++i)
                        if (readable[i])
                            readSet->fd_array[kept++] = readSet->fd_array[i];
                    readSet->fd_count = kept;
                }
                if (exceptSet)
                    exceptSet->fd_count = 0;
                return ready;
            }
            next = std::min(deadline, NextDueLocked(n, reads));
        }
        if (!WaitForDatagram(reads, next))
            return Fail(WSAEINTR);
    }
}

int WINAPI closesocket(SOCKET s)
{
    SIM_FAULT_POINT("closesocket", SOCKET_ERROR);
    auto sock = Find(s);
    if (!sock)
        return SOCKET_ERROR;
    RemoveHandle(reinterpret_cast<HANDLE>(s));
    {
        Net& n = net();
        std::lock_guard g(n.mu);
        sock->closed = true;
        host::Close(std::exchange(sock->fd, -1));
        std::erase(n.sockets, sock);
        std::erase_if(n.pending, [&](const PendingReply& p) { return p.to.lock() == sock; });
    }
    ClockMoved(); // a thread blocked on the socket returns
    return 0;
}

int WINAPI __WSAFDIsSet(SOCKET s, fd_set* set)
{
    for (u_int i = 0; set && i < std::min<u_int>(set->fd_count, FD_SETSIZE); ++i)
        if (set->fd_array[i] == s)
            return 1;
    return 0;
}

u_short WINAPI htons(u_short value)
{
    return static_cast<u_short>(value >> 8 | value << 8);
}

u_short WINAPI ntohs(u_short value)
{
    return htons(value);
}

u_long WINAPI htonl(u_long value)
{
    return value >> 24 | (value >> 8 & 0xff00u) | (value << 8 & 0xff0000u) | value << 24;
}

u_long WINAPI ntohl(u_long value)
{
    return htonl(value);
}

u_long WINAPI inet_addr(const char* text)
{
    if (!text)
        return INADDR_NONE;
    auto a = ParseDottedAddress(text);
    return a ? htonl(*a) : INADDR_NONE;
}
