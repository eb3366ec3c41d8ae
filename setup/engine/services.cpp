#include "services.h"

#include "ports.h"

#include <platform/winsvc.h>

namespace kgsetup
{
namespace
{
constexpr int kPolls = 120;
constexpr DWORD kPollMilliseconds = 1000;

// The manager's entry points, found in advapi32 as the program loaded it.
struct ServiceManager
{
    decltype(&::OpenSCManagerW) openManager = nullptr;
    decltype(&::OpenServiceW) openService = nullptr;
    decltype(&::StartServiceW) start = nullptr;
    decltype(&::QueryServiceStatus) query = nullptr;
    decltype(&::ControlService) control = nullptr;
    decltype(&::CloseServiceHandle) close = nullptr;

    bool Load()
    {
        HMODULE advapi = GetSystemModule(TEXT("advapi32.dll"));
        if (!advapi)
            return false;
        Find(advapi, "OpenSCManagerW", openManager);
        Find(advapi, "OpenServiceW", openService);
        Find(advapi, "StartServiceW", start);
        Find(advapi, "QueryServiceStatus", query);
        Find(advapi, "ControlService", control);
        Find(advapi, "CloseServiceHandle", close);
        return openManager && openService && start && query && control && close;
    }

    template <typename F> static void Find(HMODULE module, const char* name, F& f)
    {
        f = reinterpret_cast<F>(reinterpret_cast<void*>(GetProcAddress(module, name)));
    }
};

class ServiceRun
{
public:
    ServiceRun(const ServiceManager& m, SC_HANDLE service) : m_(m), service_(service) {}

    // The state after the pending one the service is in has passed; 0 when the status cannot be read
    // or it stays pending past the polls left.
    DWORD Settled()
    {
        DWORD state = Query();
        while ((state == SERVICE_START_PENDING || state == SERVICE_STOP_PENDING) && Poll())
            state = Query();
        return state == SERVICE_START_PENDING || state == SERVICE_STOP_PENDING ? 0 : state;
    }

    // Polls, 1 s apart, until the service is in `wanted`.
    bool WaitFor(DWORD wanted)
    {
        while (Poll())
        {
            DWORD state = Query();
            if (state == wanted)
                return true;
            if (state == 0)
                return false;
        }
        return false;
    }

    bool Stop()
    {
        SERVICE_STATUS status{};
        return m_.control(service_, SERVICE_CONTROL_STOP, &status) && WaitFor(SERVICE_STOPPED);
    }

    bool Start()
    {
        if (!m_.start(service_, 0, nullptr) && GetLastError() != ERROR_SERVICE_ALREADY_RUNNING)
            return false;
        return WaitFor(SERVICE_RUNNING);
    }

private:
    DWORD Query()
    {
        SERVICE_STATUS status{};
        return m_.query(service_, &status) ? status.dwCurrentState : 0;
    }

    bool Poll()
    {
        if (polls_ >= kPolls)
            return false;
        ++polls_;
        Sleep(kPollMilliseconds);
        return true;
    }

    const ServiceManager& m_;
    SC_HANDLE service_;
    int polls_ = 0;
};

bool Operate(const ServiceManager& m, SC_HANDLE service, DWORD operation)
{
    ServiceRun run(m, service);
    // A service caught between states is waited for within the same bound.
    DWORD state = run.Settled();
    if (operation == kServiceStop || operation == kServiceRestart)
    {
        if (state == SERVICE_RUNNING)
        {
            if (!run.Stop())
                return false;
            state = SERVICE_STOPPED;
        }
        if (state != SERVICE_STOPPED)
            return false;
        if (operation == kServiceStop)
            return true;
    }
    ServiceRun startRun(m, service);
    if (state == SERVICE_RUNNING)
        return true;
    return state == SERVICE_STOPPED && startRun.Start();
}

// One look at a service: stopped for one that is not there; a code for a look that failed. One marked
// for deletion that cannot be opened any more is still there until it has stopped.
struct Look
{
    DWORD state = 0;
    DWORD error = 0;
    bool gone = false;
};

Look LookAt(const WString& name)
{
    Look look;
    SC_HANDLE manager = OpenSCManagerW(nullptr, SERVICES_ACTIVE_DATABASEW, SC_MANAGER_CONNECT);
    if (!manager)
    {
        look.error = GetLastError();
    }
    else if (SC_HANDLE service = OpenServiceW(manager, name.c_str(), SERVICE_QUERY_STATUS))
    {
        SERVICE_STATUS status{};
        if (QueryServiceStatus(service, &status))
            look.state = status.dwCurrentState;
        else
            look.error = GetLastError();
        CloseServiceHandle(service);
    }
    else if (DWORD error = GetLastError(); error == ERROR_SERVICE_DOES_NOT_EXIST)
    {
        look.state = SERVICE_STOPPED;
        look.gone = true;
    }
    else if (error == ERROR_SERVICE_MARKED_FOR_DELETE)
        look.state = SERVICE_STOP_PENDING;
    else
        look.error = error;
    if (manager)
        CloseServiceHandle(manager);
    if (!look.error && !look.state)
        look.error = ERROR_GEN_FAILURE; // a failure that left no code of its own
    return look;
}
} // namespace

bool ServiceGone(WStringView serviceName)
{
    Look look = LookAt(WString(serviceName));
    return !look.error && look.gone;
}

bool WaitForServiceStopped(WStringView serviceName)
{
    const WString name(serviceName);
    DWORD failed = 0; // the previous look's code when it failed
    for (int poll = 0;; ++poll)
    {
        Look look = LookAt(name);
        if (!look.error && look.state == SERVICE_STOPPED)
            return true;
        // A passing failure is looked past; two in a row are the answer.
        if (look.error && failed)
        {
            SetLastError(look.error);
            return false;
        }
        failed = look.error;
        if (poll == kPolls)
        {
            SetLastError(failed ? failed : static_cast<DWORD>(ERROR_SERVICE_REQUEST_TIMEOUT));
            return false;
        }
        Sleep(kPollMilliseconds);
    }
}

bool ControlService(WStringView serviceName, DWORD operation)
{
    if (operation != kServiceStart && operation != kServiceStop && operation != kServiceRestart)
        return false;
    ServiceManager m;
    if (!m.Load())
        return false;
    SC_HANDLE manager = m.openManager(nullptr, SERVICES_ACTIVE_DATABASEW, SC_MANAGER_ALL_ACCESS);
    if (!manager)
        return false;
    WString name(serviceName);
    SC_HANDLE service =
        m.openService(manager, name.c_str(), SERVICE_QUERY_STATUS | SERVICE_START | SERVICE_STOP);
    bool done = service && Operate(m, service, operation);
    // The failure's code outlives the handles' closing; a wait that ran out has none of its own.
    const DWORD error = done ? 0 : GetLastError();
    if (service)
        m.close(service);
    m.close(manager);
    if (!done)
        SetLastError(error ? error : ERROR_SERVICE_REQUEST_TIMEOUT);
    return done;
}

bool RestartSpooler()
{
    ControlService(TEXT("LPDSVC"), kServiceStop);
    bool restarted = ControlService(TEXT("Spooler"), kServiceRestart);
    const DWORD error = restarted ? 0 : GetLastError();
    // A restart that failed half way must not leave printing down: the spooler is started again.
    if (!restarted)
        ControlService(TEXT("Spooler"), kServiceStart);
    // Once more when the first start failed: the LPD service must not stay down for a passing fault.
    if (!ControlService(TEXT("LPDSVC"), kServiceStart))
        ControlService(TEXT("LPDSVC"), kServiceStart);
    if (!restarted)
        SetLastError(error); // the restart's code, not the clean-up's
    return restarted;
}

} // namespace kgsetup
