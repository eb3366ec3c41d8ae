// Background tasks of a dialog program: each runs on a thread of its own and hands back an int.
// A task's end is also a kernel event, so the UI thread can wait for it while it still answers the
// messages the task sends it. No exception leaves a task: it ends with 0.
#pragma once

#include <platform/boundary.h>
#include <platform/windows.h>

#include <future>
#include <memory>
#include <utility>

namespace platform
{

class Task
{
public:
    Task() = default;
    Task(std::future<int> result, HANDLE done) : m_result(std::move(result)), m_done(done) {}
    Task(Task&& other) noexcept
        : m_result(std::move(other.m_result)), m_done(std::exchange(other.m_done, nullptr))
    {
    }
    Task& operator=(Task&& other) noexcept
    {
        if (this != &other)
        {
            Release();
            m_result = std::move(other.m_result);
            m_done = std::exchange(other.m_done, nullptr);
        }
        return *this;
    }
    Task(const Task&) = delete;
    Task& operator=(const Task&) = delete;
    ~Task() { Release(); }

    // Waits for the task, answering messages sent to this thread meanwhile; its result.
    int Get()
    {
        if (!m_result.valid())
            return 0;
        if (m_done)
            while (MsgWaitForMultipleObjects(1, &m_done, FALSE, INFINITE, QS_ALLINPUT) == WAIT_OBJECT_0 + 1)
            {
                MSG msg;
                while (PeekMessageW(&msg, nullptr, 0, 0, PM_REMOVE))
                {
                    TranslateMessage(&msg);
                    DispatchMessageW(&msg);
                }
            }
        return m_result.get();
    }

private:
    void Release()
    {
        Get();
        if (m_done)
            CloseHandle(std::exchange(m_done, nullptr));
    }

    std::future<int> m_result;
    HANDLE m_done = nullptr;
};

#if defined(_WIN32)

template <typename Body> Task StartTask(Body body)
{
    HANDLE done = CreateEventW(nullptr, TRUE, FALSE, nullptr);
    auto result = std::async(std::launch::async, [body = std::move(body), done]() mutable {
        int r = Boundary(0, body);
        if (done)
            SetEvent(done);
        return r;
    });
    return Task(std::move(result), done);
}

#else

namespace detail
{
struct TaskStart
{
    std::packaged_task<int()> work;
    HANDLE done = nullptr;
};

inline DWORD WINAPI RunTask(LPVOID parameter)
{
    std::unique_ptr<TaskStart> start(static_cast<TaskStart*>(parameter));
    start->work();
    if (start->done)
        SetEvent(start->done);
    return 0;
}
} // namespace detail

// A thread of the simulated process, so the task's waits run on the machine's clock.
template <typename Body> Task StartTask(Body body)
{
    auto start = std::make_unique<detail::TaskStart>();
    start->work = std::packaged_task<int()>([body = std::move(body)]() mutable { return Boundary(0, body); });
    start->done = CreateEventW(nullptr, TRUE, FALSE, nullptr);
    std::future<int> result = start->work.get_future();
    HANDLE done = start->done;
    if (HANDLE thread = CreateThread(nullptr, 0, detail::RunTask, start.get(), 0, nullptr))
    {
        start.release();
        CloseHandle(thread);
    }
    else
        detail::RunTask(start.release()); // no thread to be had: the work runs here
    return Task(std::move(result), done);
}

#endif

} // namespace platform
