// The worker thread, the status word protocol between a worker and its page, and the progress
// logics' tables.
#include "base_thread.h"
#include "on_machine.h"
#include "progress.h"

#include <gtest/gtest.h>
#include <sim/machine.h>

#include <functional>
#include <vector>

namespace kgsetup
{
namespace
{

// A page: the mutex that guards the word, unnamed.
class TestPage : public IProgressPage
{
public:
    TestPage() : mutex_(CreateMutexW(nullptr, FALSE, nullptr)) {}
    ~TestPage() override { CloseHandle(mutex_); }
    HANDLE PageMutex() const override { return mutex_; }

private:
    HANDLE mutex_;
};

// A worker whose steps are given by the test: each maps the word it answers to the report it makes.
class ScriptedWorker : public CThreadMethodBase
{
public:
    ScriptedWorker(std::weak_ptr<CMethodProgressBase> progress, CSetupContext& context, UINT first,
                   std::map<UINT, std::function<UINT()>> steps)
        : CThreadMethodBase(std::move(progress), context), steps_(std::move(steps))
    {
        ReportStatus(first);
    }
    void Run() override
    {
        const UINT status = QueryStatus();
        auto it = steps_.find(status);
        if (it == steps_.end())
        {
            Finish();
            return;
        }
        ReportStatus(it->second());
    }
    std::map<UINT, int> BuildStepMessages() const override
    {
        std::map<UINT, int> map;
        for (const auto& [step, run] : steps_)
            map[step] = StepMessageOf(step);
        return map;
    }

private:
    std::map<UINT, std::function<UINT()>> steps_;
};

class ScriptedProgress : public CMethodProgressBase
{
public:
    using CMethodProgressBase::CMethodProgressBase;
    int HeaderTitleId() const override { return 0; }
    int HeaderSubtitleId() const override { return 0; }
    bool CreateWorker() override
    {
        if (self.expired())
            return false;
        return Adopt(std::make_shared<ScriptedWorker>(self, context, first, steps));
    }
    UINT first = 1;
    std::map<UINT, std::function<UINT()>> steps;
};

struct Fixture
{
    CSetupContext context;
    std::shared_ptr<TestPage> page = std::make_shared<TestPage>();
    std::shared_ptr<ScriptedProgress> logic = MakeProgress<ScriptedProgress>(context, page);
};

TEST(Progress, ResultsBecomeFinalOnTheNextCall)
{
    Fixture f;
    f.logic->steps = {{1, [] { return 8u; }}, {8, [] { return UINT{kResultInstalled}; }}};
    ASSERT_TRUE(f.logic->CreateWorker());
    EXPECT_EQ(f.context.statusWord, 1u) << "the worker's constructor reports its first step";
    std::vector<UINT> words;
    f.logic->running = 1;
    while (f.logic->running)
    {
        f.logic->worker->Run();
        words.push_back(f.context.statusWord);
    }
    EXPECT_EQ(words, (std::vector<UINT>{8, kResultInstalled, kResultInstalled | kStatusFinished}));
    EXPECT_EQ(f.logic->GetStatus(), 0x80020000u);
    EXPECT_EQ(FinishTextOf(f.context.statusWord), 125);
}

TEST(Progress, AFailingConstructorStopsOnTheFirstCall)
{
    Fixture f;
    f.logic->first = kFailSourceFiles;
    f.logic->steps = {{1, [] { return 8u; }}};
    ASSERT_TRUE(f.logic->CreateWorker());
    f.logic->running = 1;
    f.logic->worker->Run();
    EXPECT_EQ(f.context.statusWord, 0x96000000u);
    EXPECT_EQ(f.logic->running, 0u);
    EXPECT_EQ(FinishTextOf(f.context.statusWord), 133);
}

TEST(Progress, NothingIsWrittenOnceThePageIsGone)
{
    Fixture f;
    f.logic->steps = {{1, [] { return 8u; }}};
    ASSERT_TRUE(f.logic->CreateWorker());
    f.page.reset();
    f.context.statusWord = 1;
    EXPECT_EQ(f.logic->SetStatus(8), kStatusUnreadable);
    EXPECT_EQ(f.logic->GetStatus(), kStatusUnreadable);
    f.logic->running = 1;
    f.logic->worker->Run();
    EXPECT_EQ(f.context.statusWord, 1u);
    EXPECT_EQ(f.logic->running, 0u) << "an unreadable word is no step: the loop stops";

    // A worker whose logic is gone reports nothing either.
    auto worker = f.logic->worker;
    f.logic.reset();
    EXPECT_EQ(worker->ReportStatus(8), kStatusUnreadable);
    EXPECT_EQ(worker->QueryStatus(), kStatusUnreadable);
    EXPECT_EQ(f.context.statusWord, 1u);
}

TEST(Progress, AMutexNotObtainedWritesNothing)
{
    Fixture f;
    f.context.statusWord = 1;
    // The mutex abandoned by a thread that ended while holding it.
    OnMachine([&] {
        HANDLE mutex = f.page->PageMutex();
        HANDLE t = CreateThread(
            nullptr, 0, [](LPVOID m) -> DWORD { return WaitForSingleObject(static_cast<HANDLE>(m), 0); },
            mutex, 0, nullptr);
        WaitForSingleObject(t, INFINITE);
        CloseHandle(t);
        return 0;
    });
    EXPECT_EQ(f.logic->SetStatus(8), kStatusUnreadable);
    EXPECT_EQ(f.context.statusWord, 1u);
    EXPECT_EQ(f.logic->SetStatus(8), 8u) << "the abandoned mutex was released again";
}

TEST(Progress, LogicsAndTheirTables)
{
    Fixture f;
    struct Case
    {
        std::shared_ptr<CMethodProgressBase> logic;
        int title, subtitle;
    } cases[] = {
        {MakeProgress<CInstallProgress>(f.context, f.page), 67, 90},
        {MakeProgress<CUpdateProgress>(f.context, f.page), 82, 91},
        {MakeProgress<CRemoveProgress>(f.context, f.page), 85, 92},
    };
    for (const Case& c : cases)
    {
        EXPECT_EQ(c.logic->HeaderTitleId(), c.title);
        EXPECT_EQ(c.logic->HeaderSubtitleId(), c.subtitle);
        EXPECT_EQ(c.logic->NextPageId(), 139);
        EXPECT_EQ(c.logic->StartFailurePageId(), 139);
        EXPECT_EQ(c.logic->periodMs, 200);
    }
    // The install workers' maps: every step with a message counts, run or not.
    f.context.driverKind = 3;
    ASSERT_TRUE(cases[0].logic->CreateWorker());
    EXPECT_EQ(cases[0].logic->StepCount(), 4u);
    EXPECT_EQ(cases[0].logic->StepMessageId(28), -1) << "the classic driver's result step shows nothing";
    EXPECT_EQ(cases[0].logic->StepMessageId(10), 101);
    f.context.driverKind = 4;
    ASSERT_TRUE(cases[0].logic->CreateWorker());
    EXPECT_EQ(cases[0].logic->StepCount(), 8u);
    EXPECT_EQ(cases[0].logic->StepMessageId(28), 118);
    EXPECT_EQ(cases[0].logic->StepMessageId(14), 105);

    // No driver kind the install knows: no worker, a start failure for the page.
    cases[0].logic->stepMessages.clear();
    f.context.driverKind = 0;
    EXPECT_FALSE(cases[0].logic->CreateWorker());
    EXPECT_EQ(cases[0].logic->StepCount(), 0u);

    // An expired self pointer makes no worker (and throws nothing).
    auto unshared = std::make_shared<ScriptedProgress>(f.context, 200);
    EXPECT_FALSE(unshared->CreateWorker());

    EXPECT_EQ(StepMessageOf(30), 90);
    EXPECT_EQ(StepMessageOf(2), -1);
    EXPECT_EQ(StepMessages({1, 8, 9, 10}), (std::map<UINT, int>{{1, 94}, {8, 99}, {9, 100}, {10, 101}}));
    EXPECT_EQ(FinishTextOf(kFailStart), 140);
    EXPECT_EQ(FinishTextOf(kFailUserCancelled | kStatusFinished), 141);
    EXPECT_EQ(FinishTextOf(8), -1);
    EXPECT_EQ(FinishTextOf(kStatusUnreadable), -1);
}

TEST(Progress, NextPageFollowsTheWorker)
{
    Fixture f;
    f.logic->steps = {{1, [&] {
                           f.logic->worker->SetNextPageRemove();
                           return UINT{kResultInstalled};
                       }}};
    ASSERT_TRUE(f.logic->CreateWorker());
    f.logic->running = 1;
    f.logic->worker->Run();
    EXPECT_EQ(f.logic->NextPageId(), 157);
    EXPECT_EQ(f.logic->StepMessageId(1), 94);
    EXPECT_EQ(f.logic->StepMessageId(28), -1);
}

// A thread object of its own for the template's tests.
class Sleeper : public CBaseThread<Sleeper>
{
public:
    explicit Sleeper(DWORD sleepMs) : CBaseThread<Sleeper>(200), sleepMs_(sleepMs) {}
    ~Sleeper() override { Stop(); }
    void Run() override
    {
        Sleep(sleepMs_);
        ++runs;
        if (stopAfter && runs >= stopAfter)
            running = 0;
    }
    std::atomic<int> runs{0};
    int stopAfter = 0;

private:
    DWORD sleepMs_;
};

TEST(BaseThread, StartStopAndRestart)
{
    OnMachine([] {
        Sleeper sleeper(300);
        EXPECT_EQ(sleeper.Start(), 1u);
        EXPECT_EQ(GetThreadPriority(sleeper.thread), THREAD_PRIORITY_BELOW_NORMAL);
        Sleep(100);
        const ULONGLONG before = sim::virtualClock().Now();
        sleeper.Stop();
        // The Run under way ends first; then the handle is closed.
        EXPECT_EQ(sleeper.thread, nullptr);
        EXPECT_EQ(sleeper.runs, 1);
        EXPECT_LE(sim::virtualClock().Now() - before, 400u);

        // A thread that ended by itself is made again by the next Start.
        sleeper.stopAfter = 2;
        EXPECT_EQ(sleeper.Start(), 1u);
        Sleep(1000);
        EXPECT_EQ(sleeper.runs, 2);
        EXPECT_EQ(sleeper.Start(), 1u);
        Sleep(1000);
        EXPECT_GE(sleeper.runs, 3) << "the ended thread was replaced";
        sleeper.Stop();
        return 0;
    });
}

// A worker that is done in its first round may clear `running` before Start has returned: the thread
// was made, so Start still reports it started.
TEST(BaseThread, AWorkerDoneAtOnceStillCountsAsStarted)
{
    class DoneAtOnce : public CBaseThread<DoneAtOnce>
    {
    public:
        DoneAtOnce() : CBaseThread<DoneAtOnce>(200) {}
        ~DoneAtOnce() override { Stop(); }
        void Run() override { running = 0; }
    };
    OnMachine([] {
        for (int round = 0; round < 200; ++round)
        {
            DoneAtOnce worker;
            const UINT started = worker.Start();
            EXPECT_EQ(started, 1u) << "round " << round;
            if (started != 1u)
                break;
            EXPECT_EQ(WaitForSingleObject(worker.thread, INFINITE), WAIT_OBJECT_0);
        }
        return 0;
    });
}

TEST(BaseThread, CreationFailureLeavesNothingRunning)
{
    OnMachine([] {
        Sleeper sleeper(10);
        sim::faults().FailNext("CreateThread", ERROR_NOT_ENOUGH_MEMORY);
        EXPECT_EQ(sleeper.Start(), 0u);
        EXPECT_EQ(sleeper.running, 0u);
        EXPECT_EQ(sleeper.thread, nullptr);
        return 0;
    });
}

TEST(BaseThread, TheLogicOutlivesAStepThatBlocks)
{
    // The page and every owner let go while a step waits far longer than Stop's 20 rounds: the
    // thread keeps the logic until the step returns, and the late report writes nothing.
    auto context = std::make_unique<CSetupContext>();
    std::atomic<bool> stepEnded{false};
    OnMachine([&] {
        auto page = std::make_shared<TestPage>();
        auto logic = MakeProgress<ScriptedProgress>(*context, page);
        logic->steps = {{1, [&] {
                             Sleep(60000);
                             stepEnded = true;
                             return 8u;
                         }}};
        EXPECT_TRUE(logic->CreateWorker());
        EXPECT_EQ(logic->Start(), 1u);
        Sleep(50);
        std::weak_ptr<CMethodProgressBase> watch = logic;
        page.reset();
        logic->Stop(); // gives up after 20 rounds: the step still runs
        EXPECT_FALSE(stepEnded);
        logic.reset();
        EXPECT_FALSE(watch.expired()) << "the thread holds the logic";
        Sleep(60000);
        EXPECT_TRUE(stepEnded);
        EXPECT_TRUE(watch.expired());
        return 0;
    });
    EXPECT_EQ(context->statusWord, 1u);
}

TEST(Progress, AWholeRunOnTheLogicsThread)
{
    auto context = std::make_unique<CSetupContext>();
    std::vector<UINT> seen;
    OnMachine([&] {
        auto page = std::make_shared<TestPage>();
        auto logic = MakeProgress<ScriptedProgress>(*context, page);
        logic->steps = {{1, [] { return 8u; }},
                        {8,
                         [] {
                             Sleep(500);
                             return 9u;
                         }},
                        {9, [] { return UINT{kResultNetworkCard}; }}};
        EXPECT_TRUE(logic->CreateWorker());
        EXPECT_EQ(logic->Start(), 1u);
        // The page's poll.
        for (int tick = 0; tick < 50; ++tick)
        {
            UINT word = logic->GetStatus();
            if (seen.empty() || seen.back() != word)
                seen.push_back(word);
            if (word & kStatusFinished)
                break;
            Sleep(200);
        }
        EXPECT_TRUE(logic->StopRound());
        return 0;
    });
    ASSERT_FALSE(seen.empty());
    EXPECT_EQ(seen.back(), 0x80070000u);
    EXPECT_NE(std::find(seen.begin(), seen.end(), 8u), seen.end()) << "the slow step was seen";
}

} // namespace
} // namespace kgsetup
