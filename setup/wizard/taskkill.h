// The programs, other than the spooler, that hold the V3 driver's UI DLL or language monitor, and
// the dialog that asks the user to close them before those files are replaced or removed.
#pragma once

#include "prop_page.h"

#include <platform/windows.h>

#include <map>

namespace kgsetup
{

// Process id to image path of every process but the spooler and this program that has loaded
// one of the watched modules (matched without case).
std::map<DWORD, WString> FindDriverDllUsers();

class CTaskkill
{
public:
    virtual ~CTaskkill() = default;
    virtual void KillListed() = 0;

    std::map<DWORD, WString> processes;
};

// Ends each listed process with taskkill; a shell that was ended and did not come back by itself
// is started again.
class CTaskkill_win10 final : public CTaskkill
{
public:
    void KillListed() override;
};

// Dialog result: 0 go on (nothing holds the files, or Ignore), -1 cancelled.
class CDialogTaskkill final : public CBaseDialog<CDialogTaskkill>
{
public:
    // `ended`, when given, is set once the dialog ends itself: a -1 without it is a dialog that failed.
    explicit CDialogTaskkill(CTaskkill* taskkill, bool* ended = nullptr) : taskkill_(taskkill), ended_(ended)
    {
    }
    void FillList(HWND hwnd);
    BOOL OnInitDialog(HWND hwnd, WPARAM wParam, LPARAM lParam) override;
    void OnCommand(HWND hwnd, int controlId, HWND control, UINT notifyCode) override;
    // Closing the box cancels as Cancel does: going on would remove files the programs still hold.
    LRESULT OnClose(HWND hwnd) override
    {
        End(hwnd, -1);
        return 0;
    }

private:
    void End(HWND hwnd, INT_PTR result);

    CTaskkill* taskkill_;
    bool* ended_;
};

enum class CloseAnswer
{
    GoOn,
    Cancelled,
    Failed, // the dialog could not be shown
};

// Runs the dialog owned by `owner`; with Failed, `error` gets the failed call's code.
CloseAnswer AskToCloseDriverDllUsers(HWND owner, DWORD& error);

// A page's Next into a step that replaces the driver's files: the dialog first, then the step; a cancel
// or a dialog that could not be shown goes to the Finish page instead.
LRESULT StartStepOnceDriverDllUsersClosed(HWND page);

} // namespace kgsetup
