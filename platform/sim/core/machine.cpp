#include "core/internal.h"

#include "core/state.h"
#include "core/scheduler.h"

#include <atomic>
#include <deque>
#include <cstdio>
#include <cstdlib>
#include <map>
#include <stdexcept>

namespace sim
{
namespace
{
struct FaultRule
{
    DWORD error;
    int count;
    int skip;
};

struct Core : detail::PartBase
{
    std::recursive_mutex lock;
    std::map<std::string, std::deque<FaultRule>, std::less<>> faults;
    std::atomic<UINT> codePage{1252};
    bool system64 = true;
    bool administrator = true;
    std::map<ULONG_PTR, std::shared_ptr<detail::KernelObject>> handles;
    ULONG_PTR nextHandle = 0x100;
};

Core& core()
{
    return detail::Part<Core>();
}

thread_local DWORD t_lastError = 0;
thread_local std::uint64_t t_faultsReported = 0;
} // namespace

namespace detail
{
std::recursive_mutex& StateLock()
{
    return core().lock;
}

std::optional<DWORD> TakeFault(std::string_view api)
{
    if (!IsFaultPoint(api))
    {
        // A site whose name is not listed could never be made to fail by a test.
        std::fprintf(stderr, "simulated machine: %.*s is not a listed fault point\n",
                     static_cast<int>(api.size()), api.data());
        std::abort();
    }
    RecordFaultPoint(api);
    std::lock_guard g(core().lock);
    auto it = core().faults.find(api);
    if (it == core().faults.end() || it->second.empty())
        return std::nullopt;
    FaultRule& rule = it->second.front();
    if (rule.skip > 0)
    {
        --rule.skip;
        return std::nullopt;
    }
    DWORD error = rule.error;
    if (--rule.count <= 0)
        it->second.pop_front();
    ++t_faultsReported;
    return error;
}

std::uint64_t FaultsReportedOnThisThread()
{
    return t_faultsReported;
}

char16_t FoldChar(char16_t c)
{
    if (c >= u'a' && c <= u'z')
        return static_cast<char16_t>(c - 0x20);
    if (c < 0xE0)
        return c;
    if (c <= 0xFE && c != 0xF7)
        return static_cast<char16_t>(c - 0x20);
    if (c == 0xFF)
        return 0x178;
    if (c >= 0x3B1 && c <= 0x3C9 && c != 0x3C2)
        return static_cast<char16_t>(c - 0x20);
    if (c >= 0x430 && c <= 0x44F)
        return static_cast<char16_t>(c - 0x20);
    if (c >= 0x450 && c <= 0x45F)
        return static_cast<char16_t>(c - 0x50);
    if (c >= 0xFF41 && c <= 0xFF5A)
        return static_cast<char16_t>(c - 0x20);
    return c;
}

WString Fold(WStringView s)
{
    WString out(s);
    for (auto& c : out)
        c = FoldChar(c);
    return out;
}

bool EqualNoCase(WStringView a, WStringView b)
{
    if (a.size() != b.size())
        return false;
    for (size_t i = 0; i < a.size(); ++i)
        if (FoldChar(a[i]) != FoldChar(b[i]))
            return false;
    return true;
}

HANDLE AddHandle(std::shared_ptr<KernelObject> object)
{
    std::lock_guard g(core().lock);
    ULONG_PTR value = core().nextHandle;
    core().nextHandle += 4;
    core().handles[value] = std::move(object);
    return reinterpret_cast<HANDLE>(value);
}

std::shared_ptr<KernelObject> FindHandle(HANDLE handle)
{
    std::lock_guard g(core().lock);
    auto it = core().handles.find(reinterpret_cast<ULONG_PTR>(handle));
    return it == core().handles.end() ? nullptr : it->second;
}

std::vector<std::shared_ptr<KernelObject>> OpenHandleObjects()
{
    std::lock_guard g(core().lock);
    std::vector<std::shared_ptr<KernelObject>> objects;
    for (const auto& [value, object] : core().handles)
        objects.push_back(object);
    return objects;
}

bool RemoveHandle(HANDLE handle)
{
    std::shared_ptr<KernelObject> keep; // destroyed outside the lock
    std::lock_guard g(core().lock);
    auto it = core().handles.find(reinterpret_cast<ULONG_PTR>(handle));
    if (it == core().handles.end())
        return false;
    keep = std::move(it->second);
    core().handles.erase(it);
    return true;
}

bool System64()
{
    std::lock_guard g(core().lock);
    return core().system64;
}

bool Administrator()
{
    std::lock_guard g(core().lock);
    return core().administrator;
}

UINT ResolveCodePage(UINT codePage)
{
    if (codePage == CP_ACP)
        return core().codePage.load();
    if (codePage == CP_OEMCP)
        return core().codePage.load() == 932 ? 932 : 437;
    return codePage;
}
} // namespace detail

void Machine::Reset()
{
    detail::JoinPrograms();     // nothing may run while the state goes
    detail::EndProcessLocals(); // the test program's own, while the machine still stands
    detail::DestroyParts();
    t_lastError = 0;
}

void Machine::SetCodePage(UINT acp)
{
    core().codePage = acp;
}

UINT Machine::CodePage() const
{
    return core().codePage;
}

void Machine::SetSystem64(bool is64)
{
    std::lock_guard g(core().lock);
    core().system64 = is64;
}

void Machine::SetProgram32(bool is32)
{
    detail::CurrentProcess().is32 = is32;
}

void Machine::SetAdministrator(bool admin)
{
    std::lock_guard g(core().lock);
    core().administrator = admin;
}

void Faults::FailNext(std::string_view api, DWORD error, int count, int skip)
{
    if (!detail::IsFaultPoint(api))
        throw std::invalid_argument("no fault point is named " + std::string(api));
    std::lock_guard g(core().lock);
    auto it = core().faults.find(api);
    if (it == core().faults.end())
        it = core().faults.emplace(std::string(api), std::deque<FaultRule>{}).first;
    it->second.push_back({error, count, skip});
}

std::vector<std::string> Faults::Pending() const
{
    std::lock_guard g(core().lock);
    std::vector<std::string> pending;
    for (const auto& [api, rules] : core().faults)
        if (!rules.empty())
            pending.push_back(api);
    return pending;
}

Faults& faults()
{
    static Faults f;
    return f;
}

ULONGLONG VirtualClock::Now() const
{
    return detail::Clock();
}

void VirtualClock::Advance(ULONGLONG milliseconds)
{
    detail::Step(milliseconds);
}

VirtualClock& virtualClock()
{
    static VirtualClock c;
    return c;
}

Machine& machine()
{
    static Machine m;
    return m;
}

} // namespace sim

using namespace sim;

DWORD WINAPI GetLastError()
{
    return t_lastError;
}

void WINAPI SetLastError(DWORD code)
{
    t_lastError = code;
}

DWORD WINAPI GetTickCount()
{
    return static_cast<DWORD>(detail::Clock().load());
}

ULONGLONG WINAPI GetTickCount64()
{
    return detail::Clock().load();
}

// A simulated program's thread sleeps on the machine's clock (which jumps when every simulated
// thread waits); the test's own thread simply moves the clock on.
void WINAPI Sleep(DWORD milliseconds)
{
    if (!detail::SleepOnClock(milliseconds))
        detail::Clock() += milliseconds;
}

UINT WINAPI GetACP()
{
    return core().codePage;
}

BOOL WINAPI CloseHandle(HANDLE object)
{
    SIM_FAULT_POINT("CloseHandle", FALSE);
    if (!detail::RemoveHandle(object))
    {
        SetLastError(ERROR_INVALID_HANDLE);
        return FALSE;
    }
    return TRUE;
}
