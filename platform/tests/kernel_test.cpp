#include <gtest/gtest.h>

#include <platform/boundary.h>
#include <platform/crt.h>
#include <platform/entry.h>
#include <platform/windows.h>
#include <sim/machine.h>

#include <functional>
#include <string>
#include <vector>

namespace
{
// A program whose 200 ms timer ticks until the script ends it.
struct Ticker
{
    std::vector<ULONGLONG> ticks;
    DWORD operator()()
    {
        SetTimer(nullptr, 0, 200, nullptr);
        MSG msg;
        while (GetMessageW(&msg, nullptr, 0, 0) > 0)
            if (msg.message == WM_TIMER)
                ticks.push_back(GetTickCount64());
        return 0;
    }
};

TEST(Clock, MachineAndDesktopStepTheSameClockThroughEveryTimer)
{
    const std::vector<std::pair<const char*, std::function<void(ULONGLONG)>>> advances = {
        {"machine", [](ULONGLONG ms) { sim::virtualClock().Advance(ms); }},
        {"desktop", [](ULONGLONG ms) { sim::desktop().Advance(ms); }},
    };
    for (const auto& [name, advance] : advances)
    {
        SCOPED_TRACE(name);
        sim::machine().Reset();
        Ticker ticker;
        DWORD uiThread = 0;
        sim::desktop().Run(
            [&] {
                uiThread = GetCurrentThreadId();
                return ticker();
            },
            [&] {
                advance(1000);
                PostThreadMessageW(uiThread, WM_QUIT, 0, 0);
            });
        EXPECT_EQ(ticker.ticks, (std::vector<ULONGLONG>{200, 400, 600, 800, 1000}));
        EXPECT_EQ(sim::virtualClock().Now(), 1000u);
    }
}

// Failures the machine reports, collected instead of failing the test.
class CollectFailures
{
public:
    CollectFailures()
    {
        sim::desktop().SetFailureReporter([this](const std::string& m) { messages.push_back(m); });
    }
    ~CollectFailures()
    {
        sim::desktop().SetFailureReporter([](const std::string& m) { ADD_FAILURE() << m; });
    }
    std::string All() const
    {
        std::string all;
        for (const auto& m : messages)
            all += m + "\n";
        return all;
    }
    std::vector<std::string> messages;
};

constexpr DWORD kMarker = 0xDEADBEEF;

// The UI thread sets an event after its timer; the worker waiting for it ends with a code.
struct Handover
{
    ULONGLONG workerWoke = 0;
    DWORD activeWhileWaiting = 0;
    DWORD workerExit = 0;
    DWORD joined = WAIT_FAILED;
} g_handover;

DWORD WINAPI Worker(LPVOID event)
{
    if (WaitForSingleObject(static_cast<HANDLE>(event), INFINITE) != WAIT_OBJECT_0)
        return 1;
    g_handover.workerWoke = GetTickCount64();
    return 7;
}

int WINAPI HandoverMain(HINSTANCE, HINSTANCE, LPSTR, int)
{
    HANDLE event = CreateEventW(nullptr, FALSE, FALSE, nullptr);
    HANDLE worker = CreateThread(nullptr, 0, Worker, event, 0, nullptr);
    GetExitCodeThread(worker, &g_handover.activeWhileWaiting);
    SetTimer(nullptr, 0, 250, nullptr);
    MSG msg;
    while (GetMessageW(&msg, nullptr, 0, 0) > 0 && msg.message != WM_TIMER)
    {
    }
    SetEvent(event);
    g_handover.joined = WaitForSingleObject(worker, INFINITE);
    GetExitCodeThread(worker, &g_handover.workerExit);
    CloseHandle(worker);
    CloseHandle(event);
    return 0;
}
PLATFORM_WINMAIN(u"handover.exe", HandoverMain)

TEST(Threads, AWorkerWakesOnTheEventTheUiThreadSetsAfterItsTimer)
{
    for (int run = 0; run < 3; ++run)
    {
        sim::machine().Reset();
        g_handover = {};
        EXPECT_EQ(sim::processes().Run(u"C:\\handover.exe"), 0u);
        EXPECT_EQ(g_handover.activeWhileWaiting, static_cast<DWORD>(STILL_ACTIVE));
        EXPECT_EQ(g_handover.joined, static_cast<DWORD>(WAIT_OBJECT_0));
        EXPECT_EQ(g_handover.workerExit, 7u);
        EXPECT_EQ(g_handover.workerWoke, 250u) << "run " << run;
        EXPECT_EQ(sim::virtualClock().Now(), 250u);
    }
}

// Two processes share a named mutex: the second create opens the first one's, still owned.
int WINAPI MutexOwnerMain(HINSTANCE, HINSTANCE, LPSTR, int)
{
    SetLastError(kMarker);
    HANDLE mutex = CreateMutexW(nullptr, TRUE, u"Velmo.Probe");
    if (!mutex || GetLastError() != ERROR_SUCCESS)
        return 100;
    STARTUPINFOW si{};
    si.cb = sizeof si;
    PROCESS_INFORMATION pi{};
    WCHAR commandLine[] = u"C:\\bin\\second.exe";
    if (!CreateProcessW(nullptr, commandLine, nullptr, nullptr, FALSE, 0, nullptr, nullptr, &si, &pi))
        return 101;
    DWORD exitCode = 0;
    if (!GetExitCodeProcess(pi.hProcess, &exitCode) || exitCode != STILL_ACTIVE)
        return 102;
    if (WaitForSingleObject(pi.hProcess, INFINITE) != WAIT_OBJECT_0 ||
        !GetExitCodeProcess(pi.hProcess, &exitCode))
        return 103;
    if (WaitForSingleObject(pi.hThread, 0) != WAIT_OBJECT_0)
        return 104;
    CloseHandle(pi.hThread);
    CloseHandle(pi.hProcess);
    ReleaseMutex(mutex);
    CloseHandle(mutex);
    return static_cast<int>(exitCode);
}

int WINAPI MutexSecondMain(HINSTANCE, HINSTANCE, LPSTR, int)
{
    SetLastError(kMarker);
    HANDLE mutex = CreateMutexW(nullptr, TRUE, u"Velmo.Probe");
    if (!mutex)
        return 200;
    int code = GetLastError() == ERROR_ALREADY_EXISTS ? 40 : 20;
    if (WaitForSingleObject(mutex, 100) == WAIT_TIMEOUT)
        code += 2; // the first process still owns it, even after this create asked for it
    CloseHandle(mutex);
    return code;
}
PLATFORM_WINMAIN(u"first.exe", MutexOwnerMain)
PLATFORM_WINMAIN(u"second.exe", MutexSecondMain)

TEST(Processes, AStartedProgramIsWaitedForAndSharesNamedMutexesMachineWide)
{
    sim::files().Put(u"C:\\bin\\second.exe");
    EXPECT_EQ(sim::processes().Run(u"C:\\bin\\first.exe"), 42u);
    EXPECT_EQ(sim::virtualClock().Now(), 100u);
    ASSERT_EQ(sim::processes().Started().size(), 1u);
    EXPECT_EQ(sim::processes().Started()[0].applicationPath, u"C:\\bin\\second.exe");
}

TEST(Processes, CreateProcessOfWhatTheMachineCannotRunFailsWithFileNotFound)
{
    sim::files().Put(u"C:\\bin\\unknown.exe"); // a file, but no program behind it
    for (const char16_t* name : {u"C:\\bin\\unknown.exe", u"C:\\bin\\missing.exe"})
    {
        STARTUPINFOW si{};
        si.cb = sizeof si;
        PROCESS_INFORMATION pi{};
        WString commandLine = name;
        SetLastError(kMarker);
        EXPECT_FALSE(CreateProcessW(nullptr, commandLine.data(), nullptr, nullptr, FALSE, 0, nullptr, nullptr,
                                    &si, &pi));
        EXPECT_EQ(GetLastError(), static_cast<DWORD>(ERROR_FILE_NOT_FOUND));
        EXPECT_EQ(pi.hProcess, nullptr);
    }
    EXPECT_TRUE(sim::processes().Started().empty());
}

// Each thread takes its own mutex, then waits for the other's.
struct Crossed
{
    HANDLE mine, theirs, haveMine, haveTheirs;
};

DWORD WINAPI CrossedThread(LPVOID p)
{
    auto* c = static_cast<Crossed*>(p);
    WaitForSingleObject(c->mine, INFINITE);
    SetEvent(c->haveMine);
    WaitForSingleObject(c->haveTheirs, INFINITE);
    WaitForSingleObject(c->theirs, INFINITE);
    return 0;
}

int WINAPI DeadlockMain(HINSTANCE, HINSTANCE, LPSTR, int)
{
    HANDLE a = CreateMutexW(nullptr, FALSE, u"A");
    HANDLE b = CreateMutexW(nullptr, FALSE, u"B");
    HANDLE aHeld = CreateEventW(nullptr, TRUE, FALSE, nullptr);
    HANDLE bHeld = CreateEventW(nullptr, TRUE, FALSE, nullptr);
    Crossed first{a, b, aHeld, bHeld}, second{b, a, bHeld, aHeld};
    HANDLE threads[] = {CreateThread(nullptr, 0, CrossedThread, &first, 0, nullptr),
                        CreateThread(nullptr, 0, CrossedThread, &second, 0, nullptr)};
    WaitForMultipleObjects(2, threads, TRUE, INFINITE);
    return 0;
}
PLATFORM_WINMAIN(u"deadlock.exe", DeadlockMain)

TEST(Threads, ADeadlockFailsTheTestNamingBothWaits)
{
    CollectFailures failures;
    sim::processes().Run(u"C:\\deadlock.exe"); // its threads are ended; how it returns does not matter
    ASSERT_EQ(failures.messages.size(), 1u) << failures.All();
    const std::string& m = failures.messages[0];
    EXPECT_NE(m.find("nothing is left to wake it"), std::string::npos) << m;
    EXPECT_NE(m.find("waits for mutex \"A\" (owned by thread"), std::string::npos) << m;
    EXPECT_NE(m.find("waits for mutex \"B\" (owned by thread"), std::string::npos) << m;
    EXPECT_NE(m.find("waits for all of thread"), std::string::npos) << m;
}

TEST(Waits, AnyTakesTheFirstSignaledAndAllTakesNothingUntilEveryOneIs)
{
    HANDLE autoReset = CreateEventW(nullptr, FALSE, FALSE, nullptr);
    HANDLE manual = CreateEventW(nullptr, TRUE, TRUE, nullptr);
    HANDLE both[] = {autoReset, manual};
    SetLastError(kMarker);
    EXPECT_EQ(WaitForMultipleObjects(2, both, FALSE, 0), WAIT_OBJECT_0 + 1);

    SetEvent(autoReset);
    EXPECT_EQ(WaitForMultipleObjects(2, both, FALSE, 0), WAIT_OBJECT_0) << "the lowest index wins";
    EXPECT_EQ(WaitForSingleObject(autoReset, 0), static_cast<DWORD>(WAIT_TIMEOUT)) << "the wait reset it";
    EXPECT_EQ(WaitForSingleObject(manual, 0), WAIT_OBJECT_0) << "a manual event stays set";

    // Waiting for all takes nothing from a set object while another stays unset.
    HANDLE pair[] = {manual, autoReset};
    ResetEvent(manual);
    SetEvent(autoReset);
    EXPECT_EQ(WaitForMultipleObjects(2, pair, TRUE, 100), static_cast<DWORD>(WAIT_TIMEOUT));
    EXPECT_EQ(sim::virtualClock().Now(), 100u) << "the timeout ran on the machine's clock";
    EXPECT_EQ(GetLastError(), kMarker);
    SetEvent(manual);
    EXPECT_EQ(WaitForMultipleObjects(2, pair, TRUE, 0), WAIT_OBJECT_0);
    EXPECT_EQ(WaitForSingleObject(autoReset, 0), static_cast<DWORD>(WAIT_TIMEOUT));

    HANDLE twice[] = {manual, manual};
    EXPECT_EQ(WaitForMultipleObjects(2, twice, TRUE, 0), WAIT_FAILED);
    EXPECT_EQ(GetLastError(), static_cast<DWORD>(ERROR_INVALID_PARAMETER));
    CloseHandle(autoReset);
    SetLastError(kMarker);
    EXPECT_EQ(WaitForSingleObject(autoReset, 0), WAIT_FAILED);
    EXPECT_EQ(GetLastError(), static_cast<DWORD>(ERROR_INVALID_HANDLE));
    CloseHandle(manual);
}

DWORD WINAPI TakeAndLeave(LPVOID mutex)
{
    WaitForSingleObject(static_cast<HANDLE>(mutex), INFINITE);
    return 3; // ends owning it
}

TEST(Waits, AMutexLeftByItsEndedOwnerIsTakenAbandoned)
{
    HANDLE mutex = CreateMutexW(nullptr, FALSE, nullptr);
    HANDLE thread = CreateThread(nullptr, 0, TakeAndLeave, mutex, 0, nullptr);
    ASSERT_EQ(WaitForSingleObject(thread, INFINITE), WAIT_OBJECT_0);
    DWORD code = 0;
    EXPECT_TRUE(GetExitCodeThread(thread, &code));
    EXPECT_EQ(code, 3u);

    SetLastError(kMarker);
    EXPECT_FALSE(ReleaseMutex(mutex));
    EXPECT_EQ(GetLastError(), static_cast<DWORD>(ERROR_NOT_OWNER));
    EXPECT_EQ(WaitForSingleObject(mutex, 0), static_cast<DWORD>(WAIT_ABANDONED));
    EXPECT_EQ(WaitForSingleObject(mutex, 0), WAIT_OBJECT_0)
        << "taken again by its owner, no longer abandoned";
    EXPECT_TRUE(ReleaseMutex(mutex));
    EXPECT_TRUE(ReleaseMutex(mutex));
    EXPECT_FALSE(ReleaseMutex(mutex));
    CloseHandle(thread);
    CloseHandle(mutex);
}

TEST(Waits, NamedObjectsOpenByNameAndKind)
{
    HANDLE event = CreateEventW(nullptr, TRUE, FALSE, u"Local\\Velmo.Ready");
    HANDLE opened = OpenEventW(EVENT_ALL_ACCESS, FALSE, u"Velmo.Ready");
    ASSERT_NE(opened, nullptr);
    SetEvent(opened);
    EXPECT_EQ(WaitForSingleObject(event, 0), WAIT_OBJECT_0) << "one object behind both handles";

    SetLastError(kMarker);
    EXPECT_EQ(CreateMutexW(nullptr, FALSE, u"Velmo.Ready"), nullptr);
    EXPECT_EQ(GetLastError(), static_cast<DWORD>(ERROR_INVALID_HANDLE));
    EXPECT_EQ(OpenMutexW(MUTEX_ALL_ACCESS, FALSE, u"Velmo.Nothing"), nullptr);
    EXPECT_EQ(GetLastError(), static_cast<DWORD>(ERROR_FILE_NOT_FOUND));

    CloseHandle(event);
    CloseHandle(opened);
    EXPECT_EQ(OpenEventW(EVENT_ALL_ACCESS, FALSE, u"Velmo.Ready"), nullptr) << "gone with its last handle";
}

TEST(Waits, SemaphoresCountAndRefuseTooManyPosts)
{
    HANDLE semaphore = CreateSemaphoreW(nullptr, 1, 2, nullptr);
    EXPECT_EQ(WaitForSingleObject(semaphore, 0), WAIT_OBJECT_0);
    EXPECT_EQ(WaitForSingleObject(semaphore, 0), static_cast<DWORD>(WAIT_TIMEOUT));
    LONG previous = -1;
    EXPECT_TRUE(ReleaseSemaphore(semaphore, 2, &previous));
    EXPECT_EQ(previous, 0);
    SetLastError(kMarker);
    EXPECT_FALSE(ReleaseSemaphore(semaphore, 1, &previous));
    EXPECT_EQ(GetLastError(), static_cast<DWORD>(ERROR_TOO_MANY_POSTS));
    EXPECT_EQ(CreateSemaphoreW(nullptr, 3, 2, nullptr), nullptr);
    CloseHandle(semaphore);
}

TEST(Waits, AWaitableTimerWakesItsWaiterWhenTheClockReachesIt)
{
    HANDLE timer = CreateWaitableTimerW(nullptr, FALSE, nullptr);
    LARGE_INTEGER due{};
    due.QuadPart = -5000000; // 500 ms from now
    ASSERT_TRUE(SetWaitableTimer(timer, &due, 200, nullptr, nullptr, FALSE));
    EXPECT_EQ(WaitForSingleObject(timer, INFINITE), WAIT_OBJECT_0);
    EXPECT_EQ(sim::virtualClock().Now(), 500u);
    EXPECT_EQ(WaitForSingleObject(timer, INFINITE), WAIT_OBJECT_0);
    EXPECT_EQ(sim::virtualClock().Now(), 700u) << "then every period";
    EXPECT_TRUE(CancelWaitableTimer(timer));
    EXPECT_EQ(WaitForSingleObject(timer, 1000), static_cast<DWORD>(WAIT_TIMEOUT));
    CloseHandle(timer);
}
// Ends its thread from inside a call, as code deep in a worker may.
[[noreturn]] void EndHere(DWORD code)
{
    ExitThread(code);
}

DWORD WINAPI EndsInside(LPVOID)
{
    EndHere(5);
}

unsigned WINAPI CrtThread(void* endEarly)
{
    if (endEarly)
        _endthreadex(9);
    return 4;
}

// A guarded thread start, as every thread start of the product is.
DWORD WINAPI GuardedStart(LPVOID)
{
    return platform::Boundary(DWORD{1}, [] {
        EndHere(6);
        return DWORD{0};
    });
}

bool g_ranOnAfterExit = false;

// ExitThread inside a guarded handler: the thread ends at its next wait.
DWORD WINAPI EndsInsideAHandler(LPVOID)
{
    platform::Boundary([] { ExitThread(8); });
    Sleep(10);
    g_ranOnAfterExit = true;
    return 1;
}

TEST(Threads, AThreadEndsWithWhatItReturnsOrTheCodeItExitsWith)
{
    g_ranOnAfterExit = false;
    int early = 1;
    const struct
    {
        const char* what;
        HANDLE thread;
        DWORD code;
    } cases[] = {
        {"ExitThread", CreateThread(nullptr, 0, EndsInside, nullptr, 0, nullptr), 5},
        {"return", reinterpret_cast<HANDLE>(_beginthreadex(nullptr, 0, CrtThread, nullptr, 0, nullptr)), 4},
        {"_endthreadex", reinterpret_cast<HANDLE>(_beginthreadex(nullptr, 0, CrtThread, &early, 0, nullptr)),
         9},
        {"ExitThread under a boundary", CreateThread(nullptr, 0, GuardedStart, nullptr, 0, nullptr), 6},
        {"ExitThread in a handler", CreateThread(nullptr, 0, EndsInsideAHandler, nullptr, 0, nullptr), 8},
    };
    for (const auto& c : cases)
    {
        ASSERT_NE(c.thread, nullptr) << c.what;
        EXPECT_EQ(WaitForSingleObject(c.thread, INFINITE), WAIT_OBJECT_0) << c.what;
        DWORD code = 0;
        EXPECT_TRUE(GetExitCodeThread(c.thread, &code)) << c.what;
        EXPECT_EQ(code, c.code) << c.what;
        CloseHandle(c.thread);
    }
    EXPECT_FALSE(g_ranOnAfterExit);
}

TEST(Waits, AMessageWaitWakesForTheInputItsMaskNamesOrForItsObjects)
{
    HANDLE event = CreateEventW(nullptr, TRUE, FALSE, nullptr);
    const DWORD self = GetCurrentThreadId();
    PostThreadMessageW(self, WM_APP, 0, 0);
    EXPECT_EQ(MsgWaitForMultipleObjects(1, &event, FALSE, 100, QS_SENDMESSAGE),
              static_cast<DWORD>(WAIT_TIMEOUT))
        << "a posted message is not what the wait asked for";
    EXPECT_EQ(sim::virtualClock().Now(), 100u);
    EXPECT_EQ(MsgWaitForMultipleObjects(1, &event, FALSE, 100, QS_POSTMESSAGE), WAIT_OBJECT_0 + 1);
    EXPECT_EQ(sim::virtualClock().Now(), 100u);
    MSG msg{};
    ASSERT_TRUE(PeekMessageW(&msg, nullptr, 0, 0, PM_REMOVE));
    EXPECT_EQ(msg.message, static_cast<UINT>(WM_APP));

    // A timer is input once it comes due on the machine's clock.
    UINT_PTR timer = SetTimer(nullptr, 0, 250, nullptr);
    EXPECT_EQ(MsgWaitForMultipleObjects(1, &event, FALSE, INFINITE, QS_TIMER), WAIT_OBJECT_0 + 1);
    EXPECT_EQ(sim::virtualClock().Now(), 350u);
    KillTimer(nullptr, timer);
    while (PeekMessageW(&msg, nullptr, 0, 0, PM_REMOVE))
    {
    }

    // A signaled object is reported before input; with no object it is a wait for input alone.
    PostThreadMessageW(self, WM_APP, 0, 0);
    SetEvent(event);
    EXPECT_EQ(MsgWaitForMultipleObjects(1, &event, FALSE, 0, QS_ALLINPUT), WAIT_OBJECT_0);
    EXPECT_EQ(MsgWaitForMultipleObjects(0, nullptr, FALSE, 0, QS_ALLINPUT), WAIT_OBJECT_0);
    PeekMessageW(&msg, nullptr, 0, 0, PM_REMOVE);
    EXPECT_EQ(MsgWaitForMultipleObjects(0, nullptr, FALSE, 50, QS_ALLINPUT),
              static_cast<DWORD>(WAIT_TIMEOUT));
    EXPECT_EQ(sim::virtualClock().Now(), 400u);
    CloseHandle(event);
}
} // namespace
