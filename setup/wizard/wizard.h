// The setup wizard: navigation by the context's sequence of page ids, the pages of the sheet and the
// sheet itself. Pages never rely on the sheet's own order: every Next and Back names the page.
#pragma once

#include "kgsetup_resource.h"
#include "prop_page.h"
#include "setup_context.h"

#include <platform/process_local.h>

#include <memory>
#include <vector>

namespace kgsetup
{

// The wizard's globals, per process: a relaunched build shares the test binary with its parent.
struct WizardGlobals
{
    std::vector<UINT> pageSequence;
    UINT pageIndex = 0;
    HINSTANCE instance = nullptr;
};
extern ProcessLocal<WizardGlobals> g_wizard;

CSetupContext& Context();

// pageSequence = sequence; pageIndex = the first entry equal to anchorId, else 0. Returns pageIndex.
UINT SetPageSequence(UINT anchorId, std::vector<UINT> sequence);

// The answers of a page's PSN_WIZNEXT and PSN_WIZBACK: the page to show as the message result, TRUE.
LRESULT GoNext(HWND page);
LRESULT GoBack(HWND page);
// A refused operation leaves the sequence for the Finish page.
LRESULT JumpToFinish(HWND page);
// The PSN_WIZNEXT answer of a page that starts the operation: the sheet is moved to the next page
// here, so a page the system cannot make ends on the Finish page with the failure and its code.
LRESULT StartStep(HWND page);
// Moves on as Next does, without the Next button.
void MoveDirect(HWND page);

// Sheet helpers for pages.
void SetWizardButtons(HWND page, DWORD buttons);
void SetHeaderTexts(HWND page, int titleId, int subtitleId);
// Centres the sheet on the screen the first time one of the opening pages starts.
void CentreSheetOnce(HWND page);
void SetSheetIcon(HWND page);

// The Finish page's result text for a status word.
int FinishTextId(UINT status, int versionCompare, WORD connectionKind);

namespace KGSetupPropertySheet
{

// A page that only moves along the sequence: Back where there is an entry before it, Next where
// there is one after it.
template <typename T> class CSequencePage : public CBasePropPage<T>
{
public:
    explicit CSequencePage(UINT dialogId, bool opensSheet = false, bool setsIcon = false)
        : CBasePropPage<T>(dialogId), opensSheet_(opensSheet), setsIcon_(setsIcon)
    {
    }
    BOOL OnInitDialog(HWND hwnd, WPARAM, LPARAM) override
    {
        if (setsIcon_)
            SetSheetIcon(hwnd);
        if (opensSheet_)
            CentreSheetOnce(hwnd);
        return TRUE;
    }
    void OnCommand(HWND, int, HWND, UINT) override {}
    LRESULT OnNotify(HWND hwnd, int, NMHDR* header) override
    {
        switch (header->code)
        {
        case PSN_SETACTIVE: {
            const WizardGlobals& w = *g_wizard;
            DWORD buttons = 0;
            if (w.pageIndex > 0)
                buttons |= PSWIZB_BACK;
            if (w.pageIndex + 1 < w.pageSequence.size())
                buttons |= PSWIZB_NEXT;
            SetWizardButtons(hwnd, buttons);
            return 0;
        }
        case PSN_WIZNEXT:
            return GoNext(hwnd);
        case PSN_WIZBACK:
            return GoBack(hwnd);
        default:
            return 0;
        }
    }

private:
    bool opensSheet_;
    bool setsIcon_;
};

// The mode buttons rebuild the sequence for their mode and move on at once.
class CPropSheetModify final : public CSequencePage<CPropSheetModify>
{
public:
    CPropSheetModify() : CSequencePage(IDD_MODIFY, true, true) {}
    BOOL OnInitDialog(HWND hwnd, WPARAM wParam, LPARAM lParam) override;
    void OnCommand(HWND hwnd, int controlId, HWND, UINT notifyCode) override;
    LRESULT OnNotify(HWND hwnd, int controlId, NMHDR* header) override;

private:
    void ApplyTexts(HWND hwnd);
};

class CPropSheetSearch; // page_search.h

class CPropSheetUpdate final : public CSequencePage<CPropSheetUpdate>
{
public:
    CPropSheetUpdate() : CSequencePage(IDD_UPDATE) {}
    BOOL OnInitDialog(HWND hwnd, WPARAM wParam, LPARAM lParam) override;
    LRESULT OnNotify(HWND hwnd, int controlId, NMHDR* header) override;
    WString savedNextText;
    DWORD scanError = 0; // why the installed INFs could not all be listed
};

class CPropSheetRemove final : public CSequencePage<CPropSheetRemove>
{
public:
    CPropSheetRemove() : CSequencePage(IDD_REMOVE, true) {}
    BOOL OnInitDialog(HWND hwnd, WPARAM wParam, LPARAM lParam) override;
    void OnCommand(HWND hwnd, int controlId, HWND control, UINT notifyCode) override;
    LRESULT OnNotify(HWND hwnd, int controlId, NMHDR* header) override;
    WString savedNextText;
    DWORD buttons = 0;
    DWORD scanError = 0; // why the installed drivers could not all be listed
};

// Reports the operation's result from the status word.
class CPropSheetFinish final : public CBasePropPage<CPropSheetFinish>
{
public:
    CPropSheetFinish() : CBasePropPage(IDD_FINISH) {}
    BOOL OnInitDialog(HWND hwnd, WPARAM wParam, LPARAM lParam) override;
    void OnCommand(HWND, int, HWND, UINT) override {}
    LRESULT OnNotify(HWND hwnd, int controlId, NMHDR* header) override;
};

} // namespace KGSetupPropertySheet

} // namespace kgsetup

// The install pages, declared beside their own code.
#include "install_pages.h"
