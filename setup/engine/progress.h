// The progress logic of the install, update and remove pages: it owns the worker and its thread, and
// the worker reports each step and its result through the status word under the page's mutex.
#pragma once

#include "base_thread.h"
#include "setup_context.h"
#include "status_word.h"

#include <platform/windows.h>

#include <map>
#include <memory>

namespace kgsetup
{

// What a progress logic needs of its page: the mutex that guards the status word. The wizard's
// progress pages implement it; tests do with an unnamed mutex of their own.
class IProgressPage
{
public:
    virtual ~IProgressPage() = default;
    virtual HANDLE PageMutex() const = 0;
};

class MessageTableInterface
{
public:
    virtual ~MessageTableInterface() = default;
    // The message of a step, -1 when the worker's map has none.
    virtual int StepMessageId(UINT stepCode) const = 0;
    virtual int HeaderTitleId() const = 0;
    virtual int HeaderSubtitleId() const = 0;
    // Entries of the map, not steps run: the progress bar's range.
    virtual UINT StepCount() const = 0;
    virtual int NextPageId() const = 0;
    virtual int StartFailurePageId() const = 0;
};

class CThreadMethodBase;

inline constexpr int kFinishPageId = 139;
inline constexpr int kRemoveProgressPageId = 157;
inline constexpr int kProgressPeriodMs = 200;

class CMethodProgressBase : public CBaseThread<CMethodProgressBase>, public MessageTableInterface
{
public:
    CMethodProgressBase(CSetupContext& context, int periodMs);
    ~CMethodProgressBase() override;

    // The thread body: the worker's steps while `running` is set.
    void Run() override;
    // The status word under the page's mutex; kStatusUnreadable when the page is gone or its
    // mutex cannot be had (nothing written then).
    virtual UINT SetStatus(UINT code);
    virtual UINT GetStatus();
    // Makes the worker (which reports its first step) and takes its step messages. False when no
    // worker was made: the self pointer has expired or there is no worker for the context's
    // driver; the page shows that as a start failure.
    virtual bool CreateWorker() = 0;

    int StepMessageId(UINT stepCode) const override;
    UINT StepCount() const override;
    int NextPageId() const override { return nextPageId; }
    int StartFailurePageId() const override { return startFailurePageId; }

    // Held by the thread while it runs (see CBaseThread).
    std::shared_ptr<CMethodProgressBase> KeepAlive() const { return self.lock(); }

    CSetupContext& context;
    int nextPageId = kFinishPageId;
    int startFailurePageId = kFinishPageId;
    std::map<UINT, int> stepMessages;
    std::shared_ptr<CThreadMethodBase> worker;
    std::weak_ptr<CMethodProgressBase> self;
    std::weak_ptr<IProgressPage> page;

protected:
    // Takes the worker a CreateWorker made; false for none.
    bool Adopt(std::shared_ptr<CThreadMethodBase> made);
};

// A logic made shared, with its self and page pointers set, as the pages make theirs.
template <typename Logic>
std::shared_ptr<Logic> MakeProgress(CSetupContext& context, std::weak_ptr<IProgressPage> page,
                                    int periodMs = kProgressPeriodMs)
{
    auto logic = std::make_shared<Logic>(context, periodMs);
    logic->self = logic;
    logic->page = std::move(page);
    return logic;
}

class CInstallProgress : public CMethodProgressBase
{
public:
    using CMethodProgressBase::CMethodProgressBase;
    static constexpr int kPageId = 155;
    int HeaderTitleId() const override { return 67; }
    int HeaderSubtitleId() const override { return 90; }
    // CThreadInstallV3 for driverKind 3, CThreadInstallV4 for 4, none otherwise.
    bool CreateWorker() override;
};

class CUpdateProgress : public CMethodProgressBase
{
public:
    using CMethodProgressBase::CMethodProgressBase;
    static constexpr int kPageId = 156;
    int HeaderTitleId() const override { return 82; }
    int HeaderSubtitleId() const override { return 91; }
    // CThreadUpdateV3 for driverKind 3, CThreadUpdateV4 for any other.
    bool CreateWorker() override;
};

class CRemoveProgress : public CMethodProgressBase
{
public:
    using CMethodProgressBase::CMethodProgressBase;
    static constexpr int kPageId = kRemoveProgressPageId;
    int HeaderTitleId() const override { return 85; }
    int HeaderSubtitleId() const override { return 92; }
    // CThreadRemove.
    bool CreateWorker() override;
};

// A worker: one step of its step machine per Run. It reaches its logic through a weak pointer only,
// so reports after the page and logic are gone write nothing.
class CThreadMethodBase
{
public:
    CThreadMethodBase(std::weak_ptr<CMethodProgressBase> progress, CSetupContext& context);
    virtual ~CThreadMethodBase() = default;
    CThreadMethodBase(const CThreadMethodBase&) = delete;
    CThreadMethodBase& operator=(const CThreadMethodBase&) = delete;

    virtual void Run() = 0;
    virtual std::map<UINT, int> BuildStepMessages() const = 0;
    virtual void ReleaseProgress();

    UINT ReportStatus(UINT code);
    UINT QueryStatus();
    void StopProgressLoop();
    void SetNextPageRemove();

protected:
    // What a Run does with a word that names none of its steps: stop the loop and make the word
    // final.
    void Finish();

    std::weak_ptr<CMethodProgressBase> progress_;
    CSetupContext& context_;
};

class CThreadInstallBase : public CThreadMethodBase
{
public:
    CThreadInstallBase(std::weak_ptr<CMethodProgressBase> progress, CSetupContext& context);
    WString infPath;
};

class CThreadUpdateBase : public CThreadMethodBase
{
public:
    using CThreadMethodBase::CThreadMethodBase;
};

class CThreadRemoveBase : public CThreadMethodBase
{
public:
    using CThreadMethodBase::CThreadMethodBase;
};

} // namespace kgsetup
