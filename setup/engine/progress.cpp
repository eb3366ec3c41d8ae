#include "progress.h"

namespace kgsetup
{

CMethodProgressBase::CMethodProgressBase(CSetupContext& ctx, int period)
    : CBaseThread<CMethodProgressBase>(period), context(ctx)
{
}

CMethodProgressBase::~CMethodProgressBase()
{
    // The thread holds the logic while it runs, so this runs on that thread or after it ended.
    Stop();
}

void CMethodProgressBase::Run()
{
    if (!worker)
    {
        running = 0;
        return;
    }
    while (running)
        worker->Run();
}

UINT CMethodProgressBase::SetStatus(UINT code)
{
    std::shared_ptr<IProgressPage> owner = page.lock();
    if (!owner)
        return kStatusUnreadable;
    HANDLE mutex = owner->PageMutex();
    DWORD wait = WaitForSingleObject(mutex, INFINITE);
    if (wait != WAIT_OBJECT_0)
    {
        if (wait == WAIT_ABANDONED)
            ReleaseMutex(mutex); // owned all the same; the word it guards may be half written
        return kStatusUnreadable;
    }
    context.statusWord = code;
    ReleaseMutex(mutex);
    return code;
}

UINT CMethodProgressBase::GetStatus()
{
    std::shared_ptr<IProgressPage> owner = page.lock();
    if (!owner)
        return kStatusUnreadable;
    HANDLE mutex = owner->PageMutex();
    DWORD wait = WaitForSingleObject(mutex, INFINITE);
    if (wait != WAIT_OBJECT_0)
    {
        if (wait == WAIT_ABANDONED)
            ReleaseMutex(mutex);
        return kStatusUnreadable;
    }
    UINT value = context.statusWord;
    ReleaseMutex(mutex);
    return value;
}

int CMethodProgressBase::StepMessageId(UINT stepCode) const
{
    auto it = stepMessages.find(stepCode);
    return it == stepMessages.end() ? -1 : it->second;
}

UINT CMethodProgressBase::StepCount() const
{
    return static_cast<UINT>(stepMessages.size());
}

bool CMethodProgressBase::Adopt(std::shared_ptr<CThreadMethodBase> made)
{
    if (!made)
        return false;
    stepMessages = made->BuildStepMessages();
    worker = std::move(made);
    return true;
}

CThreadMethodBase::CThreadMethodBase(std::weak_ptr<CMethodProgressBase> progress, CSetupContext& context)
    : progress_(std::move(progress)), context_(context)
{
}

void CThreadMethodBase::ReleaseProgress()
{
    progress_.reset();
}

UINT CThreadMethodBase::ReportStatus(UINT code)
{
    std::shared_ptr<CMethodProgressBase> logic = progress_.lock();
    return logic ? logic->SetStatus(code) : kStatusUnreadable;
}

UINT CThreadMethodBase::QueryStatus()
{
    std::shared_ptr<CMethodProgressBase> logic = progress_.lock();
    return logic ? logic->GetStatus() : kStatusUnreadable;
}

void CThreadMethodBase::StopProgressLoop()
{
    if (std::shared_ptr<CMethodProgressBase> logic = progress_.lock())
        logic->running = 0;
}

void CThreadMethodBase::SetNextPageRemove()
{
    if (std::shared_ptr<CMethodProgressBase> logic = progress_.lock())
        logic->nextPageId = kRemoveProgressPageId;
}

void CThreadMethodBase::Finish()
{
    StopProgressLoop();
    const UINT status = QueryStatus();
    // A word that could not be read still ends as a failure the page can show, never as 0xFFFFFFFF,
    // which the page ignores.
    ReportStatus(status == kStatusUnreadable ? kFailGeneral | kStatusFinished : status | kStatusFinished);
}

CThreadInstallBase::CThreadInstallBase(std::weak_ptr<CMethodProgressBase> progress, CSetupContext& context)
    : CThreadMethodBase(std::move(progress), context), infPath(context.GetDriverInfPath())
{
}

} // namespace kgsetup
