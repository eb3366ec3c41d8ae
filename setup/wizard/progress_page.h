// The progress pages: each makes its operation's logic and worker, starts the worker's thread from a
// timer, polls the status word, shows the step's message and steps its bar, and moves the sheet on
// once the worker has finished. The sheet's buttons stay off while it runs.
#pragma once

#include "progress.h"
#include "wizard.h"

#include <platform/process_local.h>

#include <memory>

namespace kgsetup::KGSetupPropertySheet
{

inline constexpr UINT_PTR kStartTimerId = 554;
inline constexpr UINT_PTR kPollTimerId = 555;
inline constexpr UINT_PTR kMoveTimerId = 556;
// Posted to the page itself: move on to the page in lParam once the sheet is done activating this one.
inline constexpr UINT kMoveOnMessage = WM_APP + 1;
// Tries at moving on to a page the system could not make, one poll period apart.
inline constexpr int kMoveTries = 5;
inline constexpr UINT kStartFailureStatus = 0xE4000000;

// The word a page kind showed last, per process; never reset between runs of the page.
template <typename T> inline ProcessLocal<UINT> g_lastShownStatus;

template <typename T>
class CSheetProgress final : public CBasePropPage<CSheetProgress<T>>, public IProgressPage
{
public:
    static std::shared_ptr<CSheetProgress> Create(UINT dialogId)
    {
        std::shared_ptr<CSheetProgress> page(new CSheetProgress(dialogId));
        page->self = page;
        return page;
    }
    ~CSheetProgress() override
    {
        logic.reset(); // a thread still running holds its own reference and writes nothing from now on
        if (pageMutex)
            CloseHandle(pageMutex);
    }

    HANDLE PageMutex() const override { return pageMutex; }

    BOOL OnInitDialog(HWND hwnd, WPARAM, LPARAM) override
    {
        this->hwnd = hwnd;
        EnableWindow(GetDlgItem(GetParent(hwnd), IDCANCEL), FALSE);
        SetWizardButtons(hwnd, 0);
        SetDlgItemTextW(hwnd, IDC_STATUS_TEXT, TEXT(""));
        CSetupContext& c = Context();
        logic = MakeProgress<T>(c, std::weak_ptr<IProgressPage>(self.lock()));
        bool made = logic->CreateWorker();
        const DWORD makeError = made ? 0 : GetLastError();
        SetDlgItemTextW(hwnd, IDC_STATUS_LABEL, c.Text(93).c_str());
        UINT steps = logic->StepCount();
        SendDlgItemMessageW(hwnd, IDC_PROGRESS_BAR, PBM_SETRANGE, 0, MAKELPARAM(0, steps ? steps - 1 : 0));
        SendDlgItemMessageW(hwnd, IDC_PROGRESS_BAR, PBM_SETSTEP, 1, 0);
        // Without a worker the page would wait for ever with every button off.
        if (!made)
            FailStart(hwnd, true, makeError);
        else if (!SetTimer(hwnd, kStartTimerId, kProgressPeriodMs, &TimerProc))
            FailStart(hwnd, true, GetLastError());
        return TRUE;
    }
    void OnCommand(HWND, int, HWND, UINT) override {}
    LRESULT OnNotify(HWND hwnd, int, NMHDR* header) override
    {
        if (header->code == PSN_SETACTIVE && logic)
            SetHeaderTexts(hwnd, logic->HeaderTitleId(), logic->HeaderSubtitleId());
        else if (header->code == PSN_QUERYCANCEL && logic && logic->thread)
        {
            // The close box must not free the logic under its running thread.
            SetWindowLongPtrW(hwnd, DWLP_MSGRESULT, TRUE);
            return TRUE;
        }
        return 0;
    }
    INT_PTR OnMessage(HWND hwnd, UINT message, WPARAM, LPARAM lParam) override
    {
        if (message != kMoveOnMessage)
            return FALSE;
        MoveOn(hwnd, lParam);
        return TRUE;
    }

    static void CALLBACK TimerProc(HWND hwnd, UINT, UINT_PTR id, DWORD)
    {
        auto* base = reinterpret_cast<CBasePropPage<CSheetProgress>*>(GetWindowLongPtrW(hwnd, GWLP_USERDATA));
        if (!base)
            return;
        auto* page = static_cast<CSheetProgress*>(base);
        if (id == kStartTimerId)
            page->StartTick(hwnd);
        else if (id == kPollTimerId)
            page->PollTick(hwnd);
        else if (id == kMoveTimerId && KillTimer(hwnd, kMoveTimerId))
            page->MoveOn(hwnd, page->movePage);
    }

    std::weak_ptr<CSheetProgress> self;
    HANDLE pageMutex = nullptr;
    std::shared_ptr<T> logic;

private:
    explicit CSheetProgress(UINT dialogId) : CBasePropPage<CSheetProgress>(dialogId)
    {
        pageMutex = CreateMutexW(nullptr, FALSE, nullptr);
    }

    // The worker could not be started: the Finish page says so. From the page's own set-up the move
    // waits for the sheet, which is still activating the page. The Finish page shows the code.
    void FailStart(HWND hwnd, bool posted, DWORD error)
    {
        Context().LogError(error ? error : static_cast<DWORD>(E_FAIL));
        if (pageMutex && WaitForSingleObject(pageMutex, INFINITE) == WAIT_OBJECT_0)
        {
            Context().statusWord = kStartFailureStatus;
            ReleaseMutex(pageMutex);
        }
        LPARAM next = logic ? logic->StartFailurePageId() : IDD_FINISH;
        if (posted)
            PostMessageW(hwnd, kMoveOnMessage, 0, next);
        else
            MoveOn(hwnd, next);
    }

    // The sheet moves on to `pageId`. A page the system could not make is tried again a few times;
    // when it never comes the sheet ends, as nothing is left that could show the result.
    void MoveOn(HWND hwnd, LPARAM pageId)
    {
        HWND sheet = GetParent(hwnd);
        if (SendMessageW(sheet, PSM_SETCURSELID, 0, pageId))
            return;
        movePage = pageId;
        if (++moveTries < kMoveTries && SetTimer(hwnd, kMoveTimerId, kProgressPeriodMs, &TimerProc))
            return;
        SendMessageW(sheet, PSM_SETWIZBUTTONS, 0, PSWIZB_FINISH);
        PostMessageW(sheet, PSM_PRESSBUTTON, PSBTN_FINISH, 0);
    }

    void StartTick(HWND hwnd)
    {
        if (!KillTimer(hwnd, kStartTimerId))
            return;
        DWORD error = 0;
        if (logic->Start())
        {
            if (SetTimer(hwnd, kPollTimerId, kProgressPeriodMs, &TimerProc))
                return;
            error = GetLastError();
            // Nobody would watch the worker: it stops after the step it is in instead of running on
            // behind the Finish page.
            logic->Stop();
        }
        else
            error = GetLastError();
        FailStart(hwnd, false, error);
    }

    void PollTick(HWND hwnd)
    {
        if (!pageMutex || WaitForSingleObject(pageMutex, INFINITE) != WAIT_OBJECT_0)
            return;
        UINT word = Context().statusWord;
        ReleaseMutex(pageMutex);
        if (word == 0 || word == 0xFFFFFFFF)
            return;
        if (!(word & 0x80000000))
        {
            UINT& lastShown = *g_lastShownStatus<T>;
            UINT step = word & 0xFFFF;
            if (step == 0 || word == lastShown)
                return;
            int id = logic->StepMessageId(step);
            if (id != -1)
                SetDlgItemTextW(hwnd, IDC_STATUS_TEXT, Context().Text(id).c_str());
            HWND bar = GetDlgItem(hwnd, IDC_PROGRESS_BAR);
            // The bar stops at its top: stepping past it would start it again from the bottom.
            if (SendMessageW(bar, PBM_GETPOS, 0, 0) < SendMessageW(bar, PBM_GETRANGE, FALSE, 0))
                SendMessageW(bar, PBM_STEPIT, 0, 0);
            lastShown = word;
            return;
        }
        // Words of quick steps pass between two polls, and a map may count a step a run never takes:
        // a run that succeeded fills the bar, so it never ends short of its top.
        if (IsSuccessResult(word & kStatusResultMask))
        {
            HWND bar = GetDlgItem(hwnd, IDC_PROGRESS_BAR);
            SendMessageW(bar, PBM_SETPOS, static_cast<WPARAM>(SendMessageW(bar, PBM_GETRANGE, FALSE, 0)), 0);
        }
        if (!logic->StopRound())
            return; // the thread has not ended yet: the next tick tries again
        KillTimer(hwnd, kPollTimerId);
        MoveOn(hwnd, logic->NextPageId());
    }

    LPARAM movePage = 0;
    int moveTries = 0;
};

} // namespace kgsetup::KGSetupPropertySheet
