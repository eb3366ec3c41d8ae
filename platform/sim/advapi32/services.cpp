// The service control manager: services with their states, pending for a while on the machine's
// clock after a start or a stop, dependencies kept as Windows keeps them (a service whose dependents
// run cannot stop; a start starts what it depends on), access checked per handle, deletion once the
// service is stopped and its last handle closed.
#include "core/internal.h"
#include "core/state.h"
#include "core/scheduler.h"
#include "kernel32/loader.h"
#include "winspool/spooler_internal.h"

#include <sim/services.h>

#include <algorithm>
#include <cstring>
#include <map>
#include <set>

namespace sim
{
namespace
{
struct Service
{
    ServiceSetup setup;
    DWORD state = SERVICE_STOPPED; // the settled state, or a pending one until `due`
    ULONGLONG due = 0;
    bool marked = false; // DeleteService called
    int handles = 0;
    DWORD processId = 0;
};

struct Manager : detail::PartBase
{
    std::map<WString, Service> byName; // by folded name
    std::vector<std::string> journal;
    std::set<WString> startsEndStopped; // folded names
    DWORD nextProcessId = 0x2000;
    unsigned spoolerRun = 1;
    Manager()
    {
        Service spooler;
        spooler.setup.name = u"Spooler";
        spooler.setup.displayName = u"Print Spooler";
        spooler.setup.binaryPath = u"C:\\Windows\\System32\\spoolsv.exe";
        spooler.setup.state = SERVICE_RUNNING;
        spooler.setup.startType = SERVICE_AUTO_START;
        spooler.state = SERVICE_RUNNING;
        spooler.processId = nextProcessId++;
        byName[u"SPOOLER"] = spooler;
    }
};

Manager& manager()
{
    return detail::Part<Manager>();
}

ULONGLONG Now()
{
    return detail::Clock();
}

bool IsSpooler(const Service& s)
{
    return detail::EqualNoCase(s.setup.name, u"Spooler");
}

// A pending state whose time has come settles (StateLock held). The spooler's stop ends its run (and
// every handle of it); its start reads the printers' stored settings again.
void Settle(Service& s)
{
    if (s.state == SERVICE_START_PENDING && !s.setup.neverStarts && Now() >= s.due &&
        (s.setup.startEndsStopped || manager().startsEndStopped.count(detail::Fold(s.setup.name))))
    {
        s.state = SERVICE_STOPPED;
        s.processId = 0;
    }
    else if (s.state == SERVICE_START_PENDING && !s.setup.neverStarts && Now() >= s.due)
    {
        s.state = SERVICE_RUNNING;
        if (IsSpooler(s))
            detail::ReloadDefaultDevModes();
    }
    else if (s.state == SERVICE_STOP_PENDING && !s.setup.neverStops && Now() >= s.due)
    {
        s.state = SERVICE_STOPPED;
        s.processId = 0;
        if (IsSpooler(s))
            ++manager().spoolerRun;
    }
}

// A service marked for deletion goes once it has stopped and its last handle is closed.
bool EraseIfGone(const WString& folded)
{
    auto it = manager().byName.find(folded);
    if (it != manager().byName.end() && it->second.marked && it->second.handles == 0 &&
        it->second.state == SERVICE_STOPPED)
    {
        manager().byName.erase(it);
        return true;
    }
    return false;
}

Service* Find(WStringView name)
{
    WString folded = detail::Fold(name);
    auto it = manager().byName.find(folded);
    if (it == manager().byName.end())
        return nullptr;
    Settle(it->second);
    return EraseIfGone(folded) ? nullptr : &it->second;
}

struct ManagerHandle : detail::KernelObject
{
    DWORD access = 0;
};

struct ServiceHandle : detail::KernelObject
{
    WString folded;
    DWORD access = 0;
    ~ServiceHandle() override = default;
};

BOOL Fail(DWORD error)
{
    SetLastError(error);
    return FALSE;
}

// The service behind a handle with the access the call needs (StateLock held).
Service* Checked(SC_HANDLE handle, DWORD needed)
{
    auto h = detail::FindHandleOf<ServiceHandle>(reinterpret_cast<HANDLE>(handle));
    if (!h)
    {
        SetLastError(ERROR_INVALID_HANDLE);
        return nullptr;
    }
    if ((h->access & needed) != needed)
    {
        SetLastError(ERROR_ACCESS_DENIED);
        return nullptr;
    }
    auto it = manager().byName.find(h->folded);
    if (it == manager().byName.end())
    {
        SetLastError(ERROR_INVALID_HANDLE);
        return nullptr;
    }
    Settle(it->second);
    return &it->second;
}

// Starting also starts the services it depends on; false with the last error when one cannot run.
bool StartLocked(Service& s, int depth = 0)
{
    if (s.setup.startType == SERVICE_DISABLED)
        return Fail(ERROR_SERVICE_DISABLED);
    if (s.marked)
        return Fail(ERROR_SERVICE_MARKED_FOR_DELETE);
    for (const WString& dependency : s.setup.dependencies)
    {
        Service* d = Find(dependency);
        // A dependency on its way down cannot be relied on.
        if (!d || depth > 8 || d->state == SERVICE_STOP_PENDING)
            return Fail(ERROR_SERVICE_DEPENDENCY_FAIL);
        if (d->state == SERVICE_STOPPED && !StartLocked(*d, depth + 1))
            return Fail(ERROR_SERVICE_DEPENDENCY_FAIL);
    }
    s.state = SERVICE_START_PENDING;
    s.due = Now() + s.setup.startMilliseconds;
    s.processId = manager().nextProcessId++;
    manager().journal.push_back("start " + detail::ToUtf8(s.setup.name));
    Settle(s);
    return true;
}

bool DependentsActive(const Service& s)
{
    for (auto& [folded, other] : manager().byName)
    {
        Settle(other);
        if (other.state == SERVICE_STOPPED)
            continue;
        for (const WString& dependency : other.setup.dependencies)
            if (detail::EqualNoCase(dependency, s.setup.name))
                return true;
    }
    return false;
}

void FillStatus(const Service& s, SERVICE_STATUS& status)
{
    status = {};
    status.dwServiceType = SERVICE_WIN32_OWN_PROCESS;
    status.dwCurrentState = s.state;
    status.dwControlsAccepted = s.state == SERVICE_RUNNING ? SERVICE_ACCEPT_STOP : 0;
    status.dwWaitHint = s.state == SERVICE_START_PENDING || s.state == SERVICE_STOP_PENDING ? 1000 : 0;
}

constexpr DWORD kAdministerManager =
    SC_MANAGER_ALL_ACCESS &
    ~(SC_MANAGER_CONNECT | SC_MANAGER_ENUMERATE_SERVICE | 0x00020000 /* READ_CONTROL */);
constexpr DWORD kAdministerService = SERVICE_START | SERVICE_STOP | SERVICE_CHANGE_CONFIG | DELETE;

SC_HANDLE NewServiceHandle(Service& s, DWORD access)
{
    auto h = std::make_shared<ServiceHandle>();
    h->folded = detail::Fold(s.setup.name);
    h->access = access == SERVICE_ALL_ACCESS || (access & MAXIMUM_ALLOWED) ? SERVICE_ALL_ACCESS : access;
    ++s.handles;
    return reinterpret_cast<SC_HANDLE>(detail::AddHandle(h));
}
} // namespace

namespace detail
{
unsigned SpoolerRun()
{
    std::lock_guard g(StateLock());
    return manager().spoolerRun;
}

bool ServiceRunning(WStringView name)
{
    std::lock_guard g(StateLock());
    Service* s = Find(name);
    return s && s->state == SERVICE_RUNNING;
}
} // namespace detail

void Services::Add(const ServiceSetup& setup)
{
    std::lock_guard g(detail::StateLock());
    Service s;
    s.setup = setup;
    s.state = setup.state == SERVICE_RUNNING ? SERVICE_RUNNING : SERVICE_STOPPED;
    s.processId = s.state == SERVICE_RUNNING ? manager().nextProcessId++ : 0;
    manager().byName[detail::Fold(setup.name)] = s;
}

void Services::Remove(WStringView name)
{
    std::lock_guard g(detail::StateLock());
    manager().byName.erase(detail::Fold(name));
}

std::optional<DWORD> Services::State(WStringView name) const
{
    std::lock_guard g(detail::StateLock());
    Service* s = Find(name);
    return s ? std::optional<DWORD>(s->state) : std::nullopt;
}

std::optional<ServiceSetup> Services::Setup(WStringView name) const
{
    std::lock_guard g(detail::StateLock());
    Service* s = Find(name);
    return s ? std::optional<ServiceSetup>(s->setup) : std::nullopt;
}

void Services::SetNeverStops(WStringView name, bool never)
{
    std::lock_guard g(detail::StateLock());
    if (Service* s = Find(name))
        s->setup.neverStops = never;
}

void Services::SetNeverStarts(WStringView name, bool never)
{
    std::lock_guard g(detail::StateLock());
    if (Service* s = Find(name))
        s->setup.neverStarts = never;
}

void Services::SetStartsEndStopped(WStringView name, bool ends)
{
    std::lock_guard g(detail::StateLock());
    if (ends)
        manager().startsEndStopped.insert(detail::Fold(name));
    else
        manager().startsEndStopped.erase(detail::Fold(name));
}

std::vector<std::string> Services::Journal() const
{
    std::lock_guard g(detail::StateLock());
    return manager().journal;
}

Services& services()
{
    static Services s;
    return s;
}
} // namespace sim

using namespace sim;

SC_HANDLE WINAPI OpenSCManagerW(LPCWSTR machineName, LPCWSTR databaseName, DWORD desiredAccess)
{
    SIM_FAULT_POINT("OpenSCManagerW", nullptr);
    if (machineName && *machineName)
    {
        SetLastError(RPC_S_SERVER_UNAVAILABLE); // no other machine answers
        return nullptr;
    }
    if (databaseName && !detail::EqualNoCase(databaseName, SERVICES_ACTIVE_DATABASEW))
    {
        SetLastError(ERROR_INVALID_NAME);
        return nullptr;
    }
    if ((desiredAccess & kAdministerManager) && !detail::Administrator())
    {
        SetLastError(ERROR_ACCESS_DENIED);
        return nullptr;
    }
    auto h = std::make_shared<ManagerHandle>();
    h->access = desiredAccess | SC_MANAGER_CONNECT;
    return reinterpret_cast<SC_HANDLE>(detail::AddHandle(h));
}

SC_HANDLE WINAPI OpenServiceW(SC_HANDLE scManager, LPCWSTR serviceName, DWORD desiredAccess)
{
    SIM_FAULT_POINT("OpenServiceW", nullptr);
    std::lock_guard g(detail::StateLock());
    if (!detail::FindHandleOf<ManagerHandle>(reinterpret_cast<HANDLE>(scManager)))
    {
        SetLastError(ERROR_INVALID_HANDLE);
        return nullptr;
    }
    if (!serviceName)
    {
        SetLastError(ERROR_INVALID_ADDRESS);
        return nullptr;
    }
    Service* s = Find(serviceName);
    if (!s)
    {
        SetLastError(ERROR_SERVICE_DOES_NOT_EXIST);
        return nullptr;
    }
    if (s->marked)
    {
        SetLastError(ERROR_SERVICE_MARKED_FOR_DELETE);
        return nullptr;
    }
    if ((desiredAccess & kAdministerService) && !detail::Administrator())
    {
        SetLastError(ERROR_ACCESS_DENIED);
        return nullptr;
    }
    return NewServiceHandle(*s, desiredAccess);
}

SC_HANDLE WINAPI CreateServiceW(SC_HANDLE scManager, LPCWSTR serviceName, LPCWSTR displayName,
                                DWORD desiredAccess, DWORD, DWORD startType, DWORD, LPCWSTR binaryPathName,
                                LPCWSTR, LPDWORD, LPCWSTR dependencies, LPCWSTR, LPCWSTR)
{
    SIM_FAULT_POINT("CreateServiceW", nullptr);
    std::lock_guard g(detail::StateLock());
    auto m = detail::FindHandleOf<ManagerHandle>(reinterpret_cast<HANDLE>(scManager));
    if (!m)
    {
        SetLastError(ERROR_INVALID_HANDLE);
        return nullptr;
    }
    if (!(m->access & SC_MANAGER_CREATE_SERVICE))
    {
        SetLastError(ERROR_ACCESS_DENIED);
        return nullptr;
    }
    if (!serviceName || !*serviceName || !binaryPathName || !*binaryPathName || startType > SERVICE_DISABLED)
    {
        SetLastError(ERROR_INVALID_PARAMETER);
        return nullptr;
    }
    if (Service* existing = Find(serviceName))
    {
        SetLastError(existing->marked ? ERROR_SERVICE_MARKED_FOR_DELETE : ERROR_SERVICE_EXISTS);
        return nullptr;
    }
    Service s;
    s.setup.name = serviceName;
    s.setup.displayName = displayName ? displayName : serviceName;
    s.setup.binaryPath = binaryPathName;
    s.setup.startType = startType;
    // A list of names, each ended by a zero, the list by another.
    for (LPCWSTR d = dependencies; d && *d; d += std::char_traits<WCHAR>::length(d) + 1)
        s.setup.dependencies.emplace_back(d);
    Service& stored = manager().byName[detail::Fold(serviceName)] = s;
    return NewServiceHandle(stored, desiredAccess);
}

BOOL WINAPI DeleteService(SC_HANDLE service)
{
    SIM_FAULT_POINT("DeleteService", FALSE);
    std::lock_guard g(detail::StateLock());
    Service* s = Checked(service, DELETE);
    if (!s)
        return FALSE;
    if (s->marked)
        return Fail(ERROR_SERVICE_MARKED_FOR_DELETE);
    s->marked = true;
    return TRUE;
}

BOOL WINAPI CloseServiceHandle(SC_HANDLE handle)
{
    std::lock_guard g(detail::StateLock());
    HANDLE h = reinterpret_cast<HANDLE>(handle);
    if (auto service = detail::FindHandleOf<ServiceHandle>(h))
    {
        detail::RemoveHandle(h);
        auto it = manager().byName.find(service->folded);
        if (it != manager().byName.end())
        {
            --it->second.handles;
            Settle(it->second);
            EraseIfGone(service->folded);
        }
        return TRUE;
    }
    if (detail::FindHandleOf<ManagerHandle>(h))
    {
        detail::RemoveHandle(h);
        return TRUE;
    }
    return Fail(ERROR_INVALID_HANDLE);
}

BOOL WINAPI StartServiceW(SC_HANDLE service, DWORD, LPCWSTR*)
{
    SIM_FAULT_POINT("StartServiceW", FALSE);
    std::lock_guard g(detail::StateLock());
    Service* s = Checked(service, SERVICE_START);
    if (!s)
        return FALSE;
    if (s->state != SERVICE_STOPPED)
        return Fail(ERROR_SERVICE_ALREADY_RUNNING);
    return StartLocked(*s) ? TRUE : FALSE;
}

BOOL WINAPI ControlService(SC_HANDLE service, DWORD control, LPSERVICE_STATUS status)
{
    SIM_FAULT_POINT("ControlService", FALSE);
    std::lock_guard g(detail::StateLock());
    if (!status)
        return Fail(ERROR_INVALID_ADDRESS);
    Service* s = Checked(service, control == SERVICE_CONTROL_STOP ? SERVICE_STOP : SERVICE_QUERY_STATUS);
    if (!s)
        return FALSE;
    if (control != SERVICE_CONTROL_STOP && control != SERVICE_CONTROL_INTERROGATE)
        return Fail(ERROR_INVALID_SERVICE_CONTROL);
    if (s->state == SERVICE_STOPPED)
        return Fail(ERROR_SERVICE_NOT_ACTIVE);
    if (s->state != SERVICE_RUNNING)
    {
        FillStatus(*s, *status);
        return Fail(ERROR_SERVICE_CANNOT_ACCEPT_CTRL);
    }
    if (control == SERVICE_CONTROL_STOP)
    {
        if (DependentsActive(*s))
            return Fail(ERROR_DEPENDENT_SERVICES_RUNNING);
        s->state = SERVICE_STOP_PENDING;
        s->due = Now() + s->setup.stopMilliseconds;
        manager().journal.push_back("stop " + detail::ToUtf8(s->setup.name));
        Settle(*s);
    }
    FillStatus(*s, *status);
    return TRUE;
}

BOOL WINAPI QueryServiceStatus(SC_HANDLE service, LPSERVICE_STATUS status)
{
    SIM_FAULT_POINT("QueryServiceStatus", FALSE);
    std::lock_guard g(detail::StateLock());
    if (!status)
        return Fail(ERROR_INVALID_ADDRESS);
    Service* s = Checked(service, SERVICE_QUERY_STATUS);
    if (!s)
        return FALSE;
    FillStatus(*s, *status);
    return TRUE;
}

BOOL WINAPI QueryServiceStatusEx(SC_HANDLE service, SC_STATUS_TYPE infoLevel, LPBYTE buffer, DWORD bufferSize,
                                 LPDWORD bytesNeeded)
{
    SIM_FAULT_POINT("QueryServiceStatusEx", FALSE);
    std::lock_guard g(detail::StateLock());
    if (infoLevel != SC_STATUS_PROCESS_INFO)
        return Fail(ERROR_INVALID_LEVEL);
    if (!bytesNeeded)
        return Fail(ERROR_INVALID_ADDRESS);
    Service* s = Checked(service, SERVICE_QUERY_STATUS);
    if (!s)
        return FALSE;
    *bytesNeeded = sizeof(SERVICE_STATUS_PROCESS);
    if (!buffer || bufferSize < sizeof(SERVICE_STATUS_PROCESS))
        return Fail(ERROR_INSUFFICIENT_BUFFER);
    SERVICE_STATUS status;
    FillStatus(*s, status);
    SERVICE_STATUS_PROCESS full{};
    full.dwServiceType = status.dwServiceType;
    full.dwCurrentState = status.dwCurrentState;
    full.dwControlsAccepted = status.dwControlsAccepted;
    full.dwWaitHint = status.dwWaitHint;
    full.dwProcessId = s->state == SERVICE_STOPPED ? 0 : s->processId;
    std::memcpy(buffer, &full, sizeof full);
    return TRUE;
}

BOOL WINAPI ChangeServiceConfigW(SC_HANDLE service, DWORD, DWORD startType, DWORD, LPCWSTR binaryPathName,
                                 LPCWSTR, LPDWORD, LPCWSTR dependencies, LPCWSTR, LPCWSTR,
                                 LPCWSTR displayName)
{
    SIM_FAULT_POINT("ChangeServiceConfigW", FALSE);
    std::lock_guard g(detail::StateLock());
    Service* s = Checked(service, SERVICE_CHANGE_CONFIG);
    if (!s)
        return FALSE;
    if (s->marked)
        return Fail(ERROR_SERVICE_MARKED_FOR_DELETE);
    if (startType != SERVICE_NO_CHANGE && startType > SERVICE_DISABLED)
        return Fail(ERROR_INVALID_PARAMETER);
    if (startType != SERVICE_NO_CHANGE)
        s->setup.startType = startType;
    if (binaryPathName)
        s->setup.binaryPath = binaryPathName;
    if (displayName)
        s->setup.displayName = displayName;
    if (dependencies)
    {
        s->setup.dependencies.clear();
        for (LPCWSTR d = dependencies; *d; d += std::char_traits<WCHAR>::length(d) + 1)
            s->setup.dependencies.emplace_back(d);
    }
    return TRUE;
}

// The 8-bit forms: names in the system code page, handed to the wide core.
namespace
{
WString WideOrEmpty(LPCSTR text)
{
    return text ? detail::Widen(text) : WString();
}

// A list of names each ended by a zero, the list by another.
WString WideList(LPCSTR list)
{
    WString wide;
    for (LPCSTR d = list; d && *d; d += std::strlen(d) + 1)
    {
        wide += detail::Widen(d);
        wide += u'\0';
    }
    wide += u'\0';
    return wide;
}
} // namespace

SC_HANDLE WINAPI OpenSCManagerA(LPCSTR machineName, LPCSTR databaseName, DWORD desiredAccess)
{
    SIM_FAULT_POINT("OpenSCManagerA", nullptr);
    WString machineWide = WideOrEmpty(machineName), databaseWide = WideOrEmpty(databaseName);
    return OpenSCManagerW(machineName ? machineWide.c_str() : nullptr,
                          databaseName ? databaseWide.c_str() : nullptr, desiredAccess);
}

SC_HANDLE WINAPI OpenServiceA(SC_HANDLE scManager, LPCSTR serviceName, DWORD desiredAccess)
{
    SIM_FAULT_POINT("OpenServiceA", nullptr);
    WString name = WideOrEmpty(serviceName);
    return OpenServiceW(scManager, serviceName ? name.c_str() : nullptr, desiredAccess);
}

SC_HANDLE WINAPI CreateServiceA(SC_HANDLE scManager, LPCSTR serviceName, LPCSTR displayName,
                                DWORD desiredAccess, DWORD serviceType, DWORD startType, DWORD errorControl,
                                LPCSTR binaryPathName, LPCSTR loadOrderGroup, LPDWORD tagId,
                                LPCSTR dependencies, LPCSTR, LPCSTR)
{
    SIM_FAULT_POINT("CreateServiceA", nullptr);
    WString name = WideOrEmpty(serviceName), display = WideOrEmpty(displayName),
            binary = WideOrEmpty(binaryPathName), group = WideOrEmpty(loadOrderGroup),
            depends = WideList(dependencies);
    return CreateServiceW(scManager, serviceName ? name.c_str() : nullptr,
                          displayName ? display.c_str() : nullptr, desiredAccess, serviceType, startType,
                          errorControl, binaryPathName ? binary.c_str() : nullptr,
                          loadOrderGroup ? group.c_str() : nullptr, tagId,
                          dependencies ? depends.c_str() : nullptr, nullptr, nullptr);
}

BOOL WINAPI StartServiceA(SC_HANDLE service, DWORD, LPCSTR*)
{
    SIM_FAULT_POINT("StartServiceA", FALSE);
    return StartServiceW(service, 0, nullptr);
}

BOOL WINAPI ChangeServiceConfig2A(SC_HANDLE service, DWORD infoLevel, LPVOID info)
{
    SIM_FAULT_POINT("ChangeServiceConfig2A", FALSE);
    std::lock_guard g(detail::StateLock());
    Service* s = Checked(service, SERVICE_CHANGE_CONFIG);
    if (!s)
        return FALSE;
    if (infoLevel != SERVICE_CONFIG_DESCRIPTION)
        return Fail(ERROR_INVALID_LEVEL);
    if (!info)
        return Fail(ERROR_INVALID_ADDRESS);
    LPCSTR text = static_cast<SERVICE_DESCRIPTIONA*>(info)->lpDescription;
    // A null description leaves it as it was; an empty one removes it.
    if (text)
        s->setup.description = detail::Widen(text);
    return TRUE;
}

std::vector<sim::detail::SystemExport> sim::detail::ServiceManagerExports()
{
    constexpr WStringView dll = u"advapi32.dll";
    return {{dll, "OpenSCManagerW", ExportAddress(&OpenSCManagerW)},
            {dll, "OpenServiceW", ExportAddress(&OpenServiceW)},
            {dll, "CreateServiceW", ExportAddress(&CreateServiceW)},
            {dll, "DeleteService", ExportAddress(&DeleteService)},
            {dll, "CloseServiceHandle", ExportAddress(&CloseServiceHandle)},
            {dll, "StartServiceW", ExportAddress(&StartServiceW)},
            {dll, "ControlService", ExportAddress(&ControlService)},
            {dll, "QueryServiceStatus", ExportAddress(&QueryServiceStatus)},
            {dll, "QueryServiceStatusEx", ExportAddress(&QueryServiceStatusEx)},
            {dll, "ChangeServiceConfigW", ExportAddress(&ChangeServiceConfigW)},
            {dll, "OpenSCManagerA", ExportAddress(&OpenSCManagerA)},
            {dll, "OpenServiceA", ExportAddress(&OpenServiceA)},
            {dll, "CreateServiceA", ExportAddress(&CreateServiceA)},
            {dll, "StartServiceA", ExportAddress(&StartServiceA)},
            {dll, "ChangeServiceConfig2A", ExportAddress(&ChangeServiceConfig2A)}};
}
