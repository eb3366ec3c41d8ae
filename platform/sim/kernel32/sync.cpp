// Events, mutexes, semaphores and waitable timers, and the waits on them (and on thread and process
// handles), all on the machine's scheduler and its virtual clock. Named objects share one namespace
// across the machine's processes, as on Windows.
#include "core/sync.h"

#include <algorithm>
#include <map>

using namespace sim::detail;

namespace
{
struct Named : Waitable
{
    WString name;
    std::string Label(const char* kind) const
    {
        return name.empty() ? std::string(kind) : std::string(kind) + " \"" + ToUtf8(name) + "\"";
    }
};

struct Event : Named
{
    bool manual = false;
    bool signaled = false;
    bool SignaledLocked(const ThreadState&) override { return signaled; }
    bool AcquireLocked(const std::shared_ptr<ThreadState>&) override
    {
        if (!manual)
            signaled = false;
        return false;
    }
    std::string DescribeLocked() const override { return Label("event"); }
};

struct Mutex : Named
{
    std::shared_ptr<ThreadState> owner;
    int count = 0;
    bool abandoned = false;
    bool SignaledLocked(const ThreadState& t) override { return !owner || owner.get() == &t; }
    bool AcquireLocked(const std::shared_ptr<ThreadState>& t) override
    {
        owner = t;
        ++count;
        return std::exchange(abandoned, false);
    }
    std::string DescribeLocked() const override
    {
        return Label("mutex") + (owner ? " (owned by thread " + std::to_string(owner->id) + ")" : "");
    }
};

struct Semaphore : Named
{
    LONG count = 0;
    LONG maximum = 1;
    bool SignaledLocked(const ThreadState&) override { return count > 0; }
    bool AcquireLocked(const std::shared_ptr<ThreadState>&) override
    {
        --count;
        return false;
    }
    std::string DescribeLocked() const override { return Label("semaphore") + " (count 0)"; }
};

struct WaitableTimer : Named
{
    bool manual = false;
    bool signaled = false;
    bool armed = false;
    ULONGLONG due = 0;
    ULONGLONG period = 0;
    void UpdateLocked()
    {
        ULONGLONG now = Clock();
        if (!armed || now < due)
            return;
        signaled = true;
        if (period)
            due += ((now - due) / period + 1) * period;
        else
            armed = false;
    }
    bool SignaledLocked(const ThreadState&) override
    {
        UpdateLocked();
        return signaled;
    }
    bool AcquireLocked(const std::shared_ptr<ThreadState>&) override
    {
        if (!manual)
            signaled = false;
        return false;
    }
    ULONGLONG DueLocked() override { return armed ? due : ~0ULL; }
    std::string DescribeLocked() const override
    {
        return Label("waitable timer") + (armed ? " (due at " + std::to_string(due) + " ms)" : " (not set)");
    }
};

// Named objects by name (StateLock); what is named lives as long as a handle to it.
struct Namespace : PartBase
{
    std::map<WString, std::weak_ptr<Named>> objects;
};

// Every mutex, so the ones a thread owns are abandoned when it ends (Sched().mu).
struct Mutexes : PartBase
{
    std::vector<std::weak_ptr<Mutex>> all;
};

void AbandonOnEndLocked(const std::shared_ptr<ThreadState>& thread, std::vector<std::shared_ptr<void>>&)
{
    AbandonMutexesLocked(thread);
}

const bool g_scheduled =
    AddSchedulerClient(SchedulerClient{nullptr, nullptr, AbandonOnEndLocked, nullptr, nullptr});

// Session-local names are the plain ones: the machine has one session.
WString NameKey(LPCWSTR name)
{
    WStringView n(name);
    if (n.starts_with(u"Local\\"))
        n.remove_prefix(6);
    return WString(n);
}

// Creates the object, or opens the one of that name; ERROR_ALREADY_EXISTS tells which.
template <typename T, typename Init> HANDLE CreateNamed(LPCWSTR name, Init init)
{
    std::lock_guard g(StateLock());
    if (name && *name)
    {
        auto& objects = Part<Namespace>().objects;
        if (auto it = objects.find(NameKey(name)); it != objects.end())
            if (auto existing = it->second.lock())
            {
                auto same = std::dynamic_pointer_cast<T>(existing);
                if (!same)
                {
                    SetLastError(ERROR_INVALID_HANDLE); // the name belongs to another kind of object
                    return nullptr;
                }
                HANDLE h = AddHandle(same);
                SetLastError(ERROR_ALREADY_EXISTS);
                return h;
            }
    }
    auto object = std::make_shared<T>();
    if (name)
        object->name = name;
    {
        std::lock_guard s(Sched().mu);
        init(*object);
    }
    if (name && *name)
        Part<Namespace>().objects[NameKey(name)] = object;
    HANDLE h = AddHandle(object);
    SetLastError(ERROR_SUCCESS);
    return h;
}

template <typename T> HANDLE OpenNamed(LPCWSTR name)
{
    if (!name || !*name)
    {
        SetLastError(ERROR_INVALID_PARAMETER);
        return nullptr;
    }
    std::lock_guard g(StateLock());
    auto& objects = Part<Namespace>().objects;
    auto it = objects.find(NameKey(name));
    auto existing = it == objects.end() ? nullptr : it->second.lock();
    if (!existing)
    {
        SetLastError(ERROR_FILE_NOT_FOUND);
        return nullptr;
    }
    auto same = std::dynamic_pointer_cast<T>(existing);
    if (!same)
    {
        SetLastError(ERROR_INVALID_HANDLE);
        return nullptr;
    }
    return AddHandle(same);
}

template <typename T, typename F> BOOL Change(HANDLE handle, F f)
{
    auto object = FindHandleOf<T>(handle);
    if (!object)
    {
        SetLastError(ERROR_INVALID_HANDLE);
        return FALSE;
    }
    std::lock_guard g(Sched().mu);
    BOOL ok = f(*object);
    RescheduleLocked(); // wakes who waits for it
    return ok;
}

DWORD Wait(DWORD count, const HANDLE* handles, bool all, DWORD milliseconds, DWORD wakeMask, bool messages)
{
    if (count > MAXIMUM_WAIT_OBJECTS || (count == 0 && !messages) || (count > 0 && !handles))
    {
        SetLastError(ERROR_INVALID_PARAMETER);
        return WAIT_FAILED;
    }
    std::vector<std::shared_ptr<Waitable>> objects;
    for (DWORD i = 0; i < count; ++i)
    {
        auto object = FindHandleOf<Waitable>(handles[i]);
        if (!object)
        {
            SetLastError(ERROR_INVALID_HANDLE);
            return WAIT_FAILED;
        }
        if (all && std::find(objects.begin(), objects.end(), object) != objects.end())
        {
            SetLastError(ERROR_INVALID_PARAMETER); // the same object twice in a wait for all
            return WAIT_FAILED;
        }
        objects.push_back(std::move(object));
    }
    auto self = SelfPtr();
    ThreadState& t = *self;
    std::unique_lock lock(Sched().mu);
    ULONGLONG deadline = milliseconds == INFINITE ? ~0ULL : Clock() + milliseconds;
    auto satisfied = [&]() -> std::optional<DWORD> {
        if (all)
        {
            if (objects.empty() || !std::all_of(objects.begin(), objects.end(),
                                                [&](const auto& o) { return o->SignaledLocked(t); }))
                return std::nullopt;
            return 0;
        }
        for (DWORD i = 0; i < objects.size(); ++i)
            if (objects[i]->SignaledLocked(t))
                return i;
        return std::nullopt;
    };
    auto input = [&] { return messages && InputLocked(t, wakeMask); };
    const std::function<bool()> ready = [&] { return satisfied() || input() || Clock() >= deadline; };
    const std::function<ULONGLONG()> due = [&] {
        ULONGLONG d = ~0ULL;
        for (const auto& o : objects)
            d = std::min(d, o->DueLocked());
        return d;
    };
    std::string what = objects.size() > 1 ? (all ? "all of " : "one of ") : "";
    for (size_t i = 0; i < objects.size(); ++i)
        what += (i ? ", " : "") + objects[i]->DescribeLocked();
    if (messages)
        what += objects.empty() ? "messages" : " or messages";
    try
    {
        WaitLocked(lock, t, messages ? WaitKind::Message : WaitKind::Object, deadline, ready, what, &due);
    }
    catch (const ProgramStuck&)
    {
        if (t.simulated)
            throw;
        SetLastError(ERROR_POSSIBLE_DEADLOCK); // the test's own thread: the failure is reported
        return WAIT_FAILED;
    }
    if (auto index = satisfied())
    {
        bool abandoned = false;
        if (all)
            for (const auto& o : objects)
                abandoned = o->AcquireLocked(self) || abandoned;
        else
            abandoned = objects[*index]->AcquireLocked(self);
        RescheduleLocked();
        return (abandoned ? WAIT_ABANDONED_0 : WAIT_OBJECT_0) + *index;
    }
    if (input())
        return WAIT_OBJECT_0 + count;
    if (Clock() >= deadline)
        return WAIT_TIMEOUT;
    SetLastError(ERROR_POSSIBLE_DEADLOCK);
    return WAIT_FAILED;
}
} // namespace

void sim::detail::AbandonMutexesLocked(const std::shared_ptr<ThreadState>& thread)
{
    auto& all = Part<Mutexes>().all;
    std::erase_if(all, [](const std::weak_ptr<Mutex>& m) { return m.expired(); });
    for (const auto& weak : all)
        if (auto m = weak.lock(); m && m->owner == thread)
        {
            m->owner.reset();
            m->count = 0;
            m->abandoned = true;
        }
}

HANDLE WINAPI CreateEventW(LPSECURITY_ATTRIBUTES, BOOL manualReset, BOOL initialState, LPCWSTR name)
{
    SIM_FAULT_POINT("CreateEventW", nullptr);
    return CreateNamed<Event>(name, [&](Event& e) {
        e.manual = manualReset != FALSE;
        e.signaled = initialState != FALSE;
    });
}

HANDLE WINAPI OpenEventW(DWORD, BOOL, LPCWSTR name)
{
    return OpenNamed<Event>(name);
}

BOOL WINAPI SetEvent(HANDLE event)
{
    return Change<Event>(event, [](Event& e) { return e.signaled = true; });
}

BOOL WINAPI ResetEvent(HANDLE event)
{
    return Change<Event>(event, [](Event& e) {
        e.signaled = false;
        return TRUE;
    });
}

HANDLE WINAPI CreateMutexW(LPSECURITY_ATTRIBUTES, BOOL initialOwner, LPCWSTR name)
{
    SIM_FAULT_POINT("CreateMutexW", nullptr);
    std::shared_ptr<ThreadState> self = initialOwner ? SelfPtr() : nullptr;
    HANDLE h = CreateNamed<Mutex>(name, [&](Mutex& m) {
        m.owner = self; // an existing mutex keeps its owner
        m.count = self ? 1 : 0;
    });
    if (auto m = FindHandleOf<Mutex>(h))
    {
        std::lock_guard g(Sched().mu);
        Part<Mutexes>().all.push_back(m);
    }
    return h;
}

HANDLE WINAPI OpenMutexW(DWORD, BOOL, LPCWSTR name)
{
    return OpenNamed<Mutex>(name);
}

BOOL WINAPI ReleaseMutex(HANDLE mutex)
{
    auto self = SelfPtr();
    return Change<Mutex>(mutex, [&](Mutex& m) {
        if (m.owner != self)
        {
            SetLastError(ERROR_NOT_OWNER);
            return FALSE;
        }
        if (--m.count == 0)
            m.owner.reset();
        return TRUE;
    });
}

HANDLE WINAPI CreateSemaphoreW(LPSECURITY_ATTRIBUTES, LONG initialCount, LONG maximumCount, LPCWSTR name)
{
    SIM_FAULT_POINT("CreateSemaphoreW", nullptr);
    if (maximumCount <= 0 || initialCount < 0 || initialCount > maximumCount)
    {
        SetLastError(ERROR_INVALID_PARAMETER);
        return nullptr;
    }
    return CreateNamed<Semaphore>(name, [&](Semaphore& s) {
        s.count = initialCount;
        s.maximum = maximumCount;
    });
}

HANDLE WINAPI OpenSemaphoreW(DWORD, BOOL, LPCWSTR name)
{
    return OpenNamed<Semaphore>(name);
}

BOOL WINAPI ReleaseSemaphore(HANDLE semaphore, LONG releaseCount, LPLONG previousCount)
{
    return Change<Semaphore>(semaphore, [&](Semaphore& s) {
        if (releaseCount <= 0 || releaseCount > s.maximum - s.count)
        {
            SetLastError(releaseCount <= 0 ? ERROR_INVALID_PARAMETER : ERROR_TOO_MANY_POSTS);
            return FALSE;
        }
        if (previousCount)
            *previousCount = s.count;
        s.count += releaseCount;
        return TRUE;
    });
}

HANDLE WINAPI CreateWaitableTimerW(LPSECURITY_ATTRIBUTES, BOOL manualReset, LPCWSTR name)
{
    SIM_FAULT_POINT("CreateWaitableTimerW", nullptr);
    return CreateNamed<WaitableTimer>(name, [&](WaitableTimer& t) { t.manual = manualReset != FALSE; });
}

HANDLE WINAPI OpenWaitableTimerW(DWORD, BOOL, LPCWSTR name)
{
    return OpenNamed<WaitableTimer>(name);
}

// A negative due time is relative, in 100 ns units; a positive one is absolute, on the machine's
// clock (100 ns units since the machine started).
BOOL WINAPI SetWaitableTimer(HANDLE timer, const LARGE_INTEGER* dueTime, LONG period,
                             PTIMERAPCROUTINE completion, LPVOID, BOOL)
{
    if (!dueTime || period < 0 || completion)
    {
        // No code of the system queues completion routines; a test hears of one at once.
        SetLastError(completion ? ERROR_NOT_SUPPORTED : ERROR_INVALID_PARAMETER);
        return FALSE;
    }
    return Change<WaitableTimer>(timer, [&](WaitableTimer& t) {
        LONGLONG due = dueTime->QuadPart;
        ULONGLONG now = Clock();
        t.due = due < 0 ? now + static_cast<ULONGLONG>((-due + 9999) / 10000)
                        : std::max(now, static_cast<ULONGLONG>(due / 10000));
        t.period = static_cast<ULONGLONG>(period);
        t.armed = true;
        t.signaled = false;
        return TRUE;
    });
}

BOOL WINAPI CancelWaitableTimer(HANDLE timer)
{
    return Change<WaitableTimer>(timer, [](WaitableTimer& t) {
        t.UpdateLocked(); // what came due before stays signaled
        t.armed = false;
        return TRUE;
    });
}

DWORD WINAPI WaitForSingleObject(HANDLE object, DWORD milliseconds)
{
    return Wait(1, &object, false, milliseconds, 0, false);
}

DWORD WINAPI WaitForMultipleObjects(DWORD count, const HANDLE* objects, BOOL waitAll, DWORD milliseconds)
{
    return Wait(count, objects, waitAll != FALSE, milliseconds, 0, false);
}

DWORD WINAPI MsgWaitForMultipleObjects(DWORD count, const HANDLE* handles, BOOL waitAll, DWORD milliseconds,
                                       DWORD wakeMask)
{
    return Wait(count, handles, waitAll != FALSE, milliseconds, wakeMask, true);
}
