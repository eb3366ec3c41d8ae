#include "taskkill.h"

#include "kgsetup_resource.h"
#include "processes.h"
#include "status_word.h"
#include "wizard.h"

namespace kgsetup
{
namespace
{
WString Lower(WStringView text)
{
    WString lowered(text);
    for (WCHAR& c : lowered)
        if (c >= u'A' && c <= u'Z')
            c = static_cast<WCHAR>(c - u'A' + u'a');
    return lowered;
}

bool Contains(WStringView path, WStringView lowerText)
{
    return Lower(path).find(lowerText) != WString::npos;
}
} // namespace

std::map<DWORD, WString> FindDriverDllUsers()
{
    std::map<DWORD, WString> users;
    const DWORD self = GetCurrentProcessId();
    for (WStringView module : {WStringView(TEXT("Velmq7UI.dll")), WStringView(TEXT("VelmoQ7L.dll"))})
        for (auto& [id, image] : ProcessesHoldingModule(module))
            if (id != self && !Contains(image, TEXT("spoolsv")))
                users.emplace(id, std::move(image));
    return users;
}

void CTaskkill_win10::KillListed()
{
    WString shellPath;
    bool shellEnded = false;
    for (const auto& [id, image] : processes)
    {
        if (id == GetCurrentProcessId())
            continue; // ending itself would leave the driver half removed
        KillProcess(id);
        if (Contains(image, TEXT("explorer.exe")))
        {
            shellPath = image;
            shellEnded = true;
        }
    }
    if (!shellEnded)
        return;
    Sleep(2000); // the shell usually restarts itself
    for (const auto& [id, image] : ListProcesses())
        if (Contains(image, TEXT("explorer.exe")))
            return;
    RunQuoted(shellPath);
}

void CDialogTaskkill::FillList(HWND hwnd)
{
    HWND list = GetDlgItem(hwnd, IDC_PROGRAMS);
    SendMessageW(list, LB_RESETCONTENT, 0, 0);
    taskkill_->processes = FindDriverDllUsers();
    for (const auto& [id, image] : taskkill_->processes)
        SendMessageW(list, LB_ADDSTRING, 0, reinterpret_cast<LPARAM>(image.c_str()));
    if (taskkill_->processes.empty())
        End(hwnd, 0);
}

BOOL CDialogTaskkill::OnInitDialog(HWND hwnd, WPARAM, LPARAM)
{
    FillList(hwnd);
    const CSetupContext& c = Context();
    SetWindowTextW(hwnd, c.Text(142).c_str());
    SetDlgItemTextW(hwnd, IDC_CAUTION_TEXT, c.Text(143).c_str());
    SetDlgItemTextW(hwnd, IDC_END_ALL, c.Text(144).c_str());
    SetDlgItemTextW(hwnd, IDC_RETRY, c.Text(145).c_str());
    SetDlgItemTextW(hwnd, IDC_IGNORE, c.Text(146).c_str());
    SetDlgItemTextW(hwnd, IDCANCEL, c.Text(147).c_str());
    return TRUE;
}

void CDialogTaskkill::OnCommand(HWND hwnd, int controlId, HWND, UINT notifyCode)
{
    switch (controlId)
    {
    case IDCANCEL:
        End(hwnd, -1);
        break;
    case IDC_END_ALL:
        if (notifyCode == 0)
        {
            taskkill_->KillListed();
            FillList(hwnd);
        }
        break;
    case IDC_RETRY:
        if (notifyCode == 0)
            FillList(hwnd);
        break;
    case IDC_IGNORE:
        End(hwnd, 0);
        break;
    default:
        break;
    }
}

void CDialogTaskkill::End(HWND hwnd, INT_PTR result)
{
    if (ended_)
        *ended_ = true;
    EndDialog(hwnd, result);
}

CloseAnswer AskToCloseDriverDllUsers(HWND owner, DWORD& error)
{
    CTaskkill_win10 taskkill;
    bool ended = false;
    INT_PTR result = RunModalDialog(std::make_unique<CDialogTaskkill>(&taskkill, &ended), g_wizard->instance,
                                    IDD_TASKKILL, owner);
    error = 0;
    if (result == -1 && !ended)
    {
        error = GetLastError();
        if (!error)
            error = ERROR_GEN_FAILURE;
        return CloseAnswer::Failed;
    }
    return result == -1 ? CloseAnswer::Cancelled : CloseAnswer::GoOn;
}

LRESULT StartStepOnceDriverDllUsersClosed(HWND page)
{
    DWORD error = 0;
    const CloseAnswer answer = AskToCloseDriverDllUsers(page, error);
    if (answer == CloseAnswer::GoOn)
        return StartStep(page);
    // A dialog that could not be shown is no choice of the user's: a failure with its code.
    CSetupContext& c = Context();
    if (answer == CloseAnswer::Failed)
        c.LogError(error);
    c.statusWord = answer == CloseAnswer::Failed ? kFailGeneral : kFailUserCancelled;
    return JumpToFinish(page);
}

} // namespace kgsetup
