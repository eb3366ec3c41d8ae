// One background thread per object: Run is called in a loop while `running` is set, and the thread
// is stopped with a bounded wait.
#pragma once

#include <platform/crt.h>
#include <platform/windows.h>

#include <atomic>
#include <cstdint>
#include <memory>

namespace kgsetup
{

// T derives from CBaseThread<T>. When T has a `KeepAlive()` that gives a shared pointer to the
// object, the thread holds that until it returns, so a shared-owned object outlives its thread
// whoever drops it last. Any other T must call Stop in its own destructor, before its members go:
// the base's Stop runs after them.
template <typename T> class CBaseThread
{
public:
    explicit CBaseThread(int period) : periodMs(period) {}
    virtual ~CBaseThread() { Stop(); }
    CBaseThread(const CBaseThread&) = delete;
    CBaseThread& operator=(const CBaseThread&) = delete;

    virtual void Run() = 0;

    // Sets `running` and makes the thread unless one still runs; a thread that has ended is reaped
    // and made again. 0 (with `running` cleared) when no thread could be made.
    UINT Start()
    {
        running = 1;
        if (thread && WaitForSingleObject(thread, 0) == WAIT_OBJECT_0)
        {
            CloseHandle(thread);
            thread = nullptr;
        }
        if (thread)
            return 1;
        auto launch =
            std::make_unique<Launch>(Launch{static_cast<T*>(this), KeepAliveOf(static_cast<T*>(this))});
        uintptr_t handle = _beginthreadex(nullptr, 0, ThreadProc, launch.get(), 0, nullptr);
        if (!handle)
        {
            running = 0;
            return 0;
        }
        launch.release(); // the thread's now
        thread = reinterpret_cast<HANDLE>(handle);
        SetThreadPriority(thread, THREAD_PRIORITY_BELOW_NORMAL);
        return 1; // not `running`: a worker done at once may have cleared it already
    }

    // Up to 20 rounds of StopRound.
    void Stop()
    {
        for (int round = 0; round < 20 && thread; ++round)
            StopRound();
    }

    // One round: clear `running`, wait 2 x period for the thread, close it once it has ended. True
    // when no thread is held any more. On the object's own thread (its last owner let go there)
    // there is nothing to wait for.
    bool StopRound()
    {
        if (!thread)
            return true;
        running = 0;
        if (GetThreadId(thread) == GetCurrentThreadId() ||
            WaitForSingleObject(thread, static_cast<DWORD>(2 * periodMs)) == WAIT_OBJECT_0)
        {
            CloseHandle(thread);
            thread = nullptr;
        }
        return thread == nullptr;
    }

    HANDLE thread = nullptr;
    std::atomic<uint32_t> running{0};
    int periodMs;

private:
    struct Launch
    {
        T* object;
        std::shared_ptr<T> keep;
    };

    static std::shared_ptr<T> KeepAliveOf(T* object)
    {
        if constexpr (requires(T * o) { o->KeepAlive(); })
            return object->KeepAlive();
        else
            return nullptr;
    }

    static void Loop(void* parameter)
    {
        std::unique_ptr<Launch> launch(static_cast<Launch*>(parameter));
        T* object = launch->object;
        while (object->running)
            object->Run();
    }

    static unsigned WINAPI ThreadProc(void* parameter)
    {
        // Nothing of the loop may still be alive here: _endthreadex does not unwind.
        Loop(parameter);
        _endthreadex(0);
        return 0;
    }
};

} // namespace kgsetup
