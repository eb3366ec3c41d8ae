// The C runtime's threads: machine threads made through CreateThread, so they take part in the
// virtual clock and its fault point.
#include <platform/crt.h>

#include <cerrno>
#include <memory>

namespace
{
struct Start
{
    unsigned(WINAPI* start)(void*);
    void* argument;
};

DWORD WINAPI RunStart(LPVOID parameter)
{
    std::unique_ptr<Start> start(static_cast<Start*>(parameter));
    auto routine = start->start;
    void* argument = start->argument;
    start.reset();
    return routine(argument);
}
} // namespace

uintptr_t _beginthreadex(void*, unsigned, unsigned(WINAPI* start)(void*), void* argument, unsigned flags,
                         unsigned* threadId)
{
    if (!start)
    {
        errno = EINVAL;
        return 0;
    }
    auto parameter = std::make_unique<Start>(Start{start, argument});
    DWORD id = 0;
    HANDLE thread = CreateThread(nullptr, 0, RunStart, parameter.get(), flags, &id);
    if (!thread)
    {
        errno = GetLastError() == ERROR_NOT_ENOUGH_MEMORY ? ENOMEM : EAGAIN;
        return 0;
    }
    parameter.release(); // the thread owns it now
    if (threadId)
        *threadId = id;
    return reinterpret_cast<uintptr_t>(thread);
}

void _endthreadex(unsigned exitCode)
{
    ExitThread(exitCode);
}
