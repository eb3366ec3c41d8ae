#include "wizard.h"
#include "page_search.h"
#include "status_word.h"
#include "sheet.h"

#include <algorithm>

namespace kgsetup
{

ProcessLocal<WizardGlobals> g_wizard;

CSetupContext& Context()
{
    return **g_setupContext;
}

UINT SetPageSequence(UINT anchorId, std::vector<UINT> sequence)
{
    WizardGlobals& w = *g_wizard;
    w.pageSequence = std::move(sequence);
    auto it = std::find(w.pageSequence.begin(), w.pageSequence.end(), anchorId);
    w.pageIndex = it == w.pageSequence.end() ? 0 : static_cast<UINT>(it - w.pageSequence.begin());
    return w.pageIndex;
}

namespace
{
HWND SheetOf(HWND page)
{
    return GetParent(page);
}

// The page the sheet is to show; -1 (stay) when the sequence holds nothing to show.
LRESULT Answer(HWND page, const WizardGlobals& w)
{
    LRESULT target =
        w.pageIndex < w.pageSequence.size() ? static_cast<LRESULT>(w.pageSequence[w.pageIndex]) : -1;
    SetWindowLongPtrW(page, DWLP_MSGRESULT, target);
    return TRUE;
}
} // namespace

LRESULT GoNext(HWND page)
{
    WizardGlobals& w = *g_wizard;
    if (w.pageIndex + 1 < w.pageSequence.size())
        ++w.pageIndex;
    return Answer(page, w);
}

LRESULT GoBack(HWND page)
{
    WizardGlobals& w = *g_wizard;
    if (w.pageIndex > 0)
        --w.pageIndex;
    return Answer(page, w);
}

LRESULT JumpToFinish(HWND page)
{
    SetWindowLongPtrW(page, DWLP_MSGRESULT, IDD_FINISH);
    return TRUE;
}

LRESULT StartStep(HWND page)
{
    WizardGlobals& w = *g_wizard;
    if (w.pageIndex + 1 >= w.pageSequence.size())
        return Answer(page, w);
    // Answered with the next page's id, the sheet would stay here when it cannot make that page, and
    // leave the user only Cancel: a failure taken for his choice.
    ++w.pageIndex;
    SetLastError(ERROR_SUCCESS);
    if (SendMessageW(SheetOf(page), PSM_SETCURSELID, 0, static_cast<LPARAM>(w.pageSequence[w.pageIndex])))
    {
        SetWindowLongPtrW(page, DWLP_MSGRESULT, -1); // the sheet is there already
        return TRUE;
    }
    const DWORD error = GetLastError();
    --w.pageIndex;
    CSetupContext& c = Context();
    c.LogError(error ? error : static_cast<DWORD>(E_FAIL));
    c.statusWord = kFailGeneral;
    return JumpToFinish(page);
}

void MoveDirect(HWND page)
{
    WizardGlobals& w = *g_wizard;
    if (w.pageIndex + 1 >= w.pageSequence.size())
        return;
    ++w.pageIndex;
    SendMessageW(SheetOf(page), PSM_SETCURSELID, 0, static_cast<LPARAM>(w.pageSequence[w.pageIndex]));
}

void SetWizardButtons(HWND page, DWORD buttons)
{
    PostMessageW(SheetOf(page), PSM_SETWIZBUTTONS, 0, static_cast<LPARAM>(buttons));
}

void SetHeaderTexts(HWND page, int titleId, int subtitleId)
{
    HWND sheet = SheetOf(page);
    WPARAM index =
        static_cast<WPARAM>(SendMessageW(sheet, PSM_HWNDTOINDEX, reinterpret_cast<WPARAM>(page), 0));
    const CSetupContext& c = Context();
    SendMessageW(sheet, PSM_SETHEADERTITLEW, index, reinterpret_cast<LPARAM>(c.Text(titleId).c_str()));
    SendMessageW(sheet, PSM_SETHEADERSUBTITLEW, index, reinterpret_cast<LPARAM>(c.Text(subtitleId).c_str()));
}

void CentreSheetOnce(HWND page)
{
    CSetupContext& c = Context();
    if (c.searchPageReady)
        return;
    HWND sheet = SheetOf(page);
    RECT r{};
    GetWindowRect(sheet, &r);
    int x = (GetSystemMetrics(SM_CXFULLSCREEN) - (r.right - r.left)) / 2;
    int y = (GetSystemMetrics(SM_CYFULLSCREEN) - (r.bottom - r.top)) / 2;
    SetWindowPos(sheet, nullptr, x, y, 0, 0, SWP_NOSIZE | SWP_NOZORDER);
    c.searchPageReady = 1;
}

void SetSheetIcon(HWND page)
{
    HICON icon = LoadIconW(g_wizard->instance, MAKEINTRESOURCEW(IDI_SETUP));
    SendMessageW(SheetOf(page), WM_SETICON, ICON_BIG, reinterpret_cast<LPARAM>(icon));
}

int FinishTextId(UINT status, int versionCompare, WORD connectionKind)
{
    switch (status & 0x7FFF0000)
    {
    case 0x00010000:
        return 124;
    case 0x00020000:
    case 0x00060000:
    case 0x00070000:
        return 125;
    case 0x00040000:
        if (versionCompare == 1 || versionCompare == 2)
            return connectionKind == 0 ? 124 : 125;
        return 127;
    case 0x00050000:
        return 126;
    case 0x0F000000:
        return 128;
    case 0x10000000:
        return 129;
    case 0x11000000:
        return 130;
    case 0x12000000:
        return 131;
    case 0x14000000:
        return 132;
    case 0x16000000:
        return 133;
    case 0x17000000:
        return 134;
    case 0x18000000:
        return 135;
    case 0x19000000:
        return 136;
    case 0x1A000000:
        return 137;
    case 0x1B000000:
        return 138;
    case 0x1C000000:
        return 139;
    case 0x1D000000:
        return 141;
    default:
        return 140;
    }
}

namespace KGSetupPropertySheet
{

BOOL CPropSheetFinish::OnInitDialog(HWND hwnd, WPARAM, LPARAM)
{
    SetWizardButtons(hwnd, 0);
    SetWizardButtons(hwnd, PSWIZB_FINISH);
    return TRUE;
}

LRESULT CPropSheetFinish::OnNotify(HWND hwnd, int, NMHDR* header)
{
    switch (header->code)
    {
    case PSN_SETACTIVE: {
        EnableWindow(GetDlgItem(SheetOf(hwnd), IDCANCEL), TRUE);
        SetWizardButtons(hwnd, 0);
        const CSetupContext& c = Context();
        UINT status = c.statusWord;
        if (status & 0xFF0000)
            SetHeaderTexts(hwnd, 120, 121);
        else
            SetHeaderTexts(hwnd, 122, 123);
        WString text = c.Text(FinishTextId(status, c.versionCompare, c.connectionKind));
        if (!c.errorLog.empty())
            text += TEXT("\r\n\r\n\r\n") + c.errorLog;
        SetDlgItemTextW(hwnd, IDC_RESULT, text.c_str());
        SetWizardButtons(hwnd, PSWIZB_FINISH);
        return 0;
    }
    case PSN_WIZFINISH:
        SetWindowLongPtrW(hwnd, DWLP_MSGRESULT, 0); // the sheet closes
        return TRUE;
    default:
        return 0;
    }
}

} // namespace KGSetupPropertySheet

using namespace KGSetupPropertySheet;

CSetupWizard::CSetupWizard() = default;

CSetupWizard::~CSetupWizard()
{
    // Pages the sheet never took are ours to destroy.
    if (!sheetOwnsPages_)
        for (HPROPSHEETPAGE h : handles_)
            if (h)
                DestroyPropertySheetPage(h);
}

template <typename Page> void CSetupWizard::Add(Page& page, PROPSHEETPAGEW record)
{
    handles_.push_back(page.CreatePage(record));
    pageIds_.push_back(page.dialogId);
}

bool CSetupWizard::Create(HINSTANCE instance, const WString& caption)
{
    CSetupContext& c = Context();
    g_wizard->instance = instance;
    caption_ = caption;

    PROPSHEETPAGEW record{};
    record.dwSize = sizeof record;
    record.hInstance = instance;
    record.pszTitle = caption_.c_str();
    record.pszHeaderTitle = TEXT(""); // each page sets its own when it becomes active
    record.pszHeaderSubTitle = TEXT("");
    if (!c.driverInstalled)
    {
        welcome_ = std::make_unique<CPropSheetWelcome>();
        PROPSHEETPAGEW welcome = record;
        welcome.dwFlags = PSP_HIDEHEADER | PSP_USETITLE;
        Add(*welcome_, welcome);
    }
    record.dwFlags = PSP_USETITLE | PSP_USEHEADERTITLE | PSP_USEHEADERSUBTITLE;
    modify_ = std::make_unique<CPropSheetModify>();
    update_ = std::make_unique<CPropSheetUpdate>();
    remove_ = std::make_unique<CPropSheetRemove>();
    search_ = std::make_unique<CPropSheetSearch>();
    printer_ = std::make_unique<CPropSheetPrinter>();
    port_ = std::make_unique<CPropSheetPort>();
    name_ = std::make_unique<CPropSheetName>();
    install_ = std::make_unique<CPropSheetInstall>();
    finish_ = std::make_unique<CPropSheetFinish>();
    removeProgress_ = CSheetProgress<CRemoveProgress>::Create(IDD_REMOVE_PROGRESS);
    installProgress_ = CSheetProgress<CInstallProgress>::Create(IDD_INSTALL_PROGRESS);
    updateProgress_ = CSheetProgress<CUpdateProgress>::Create(IDD_UPDATE_PROGRESS);
    Add(*modify_, record);
    Add(*update_, record);
    Add(*remove_, record);
    Add(*search_, record);
    Add(*printer_, record);
    Add(*port_, record);
    Add(*name_, record);
    Add(*install_, record);
    Add(*finish_, record);
    Add(*installProgress_, record);
    Add(*updateProgress_, record);
    Add(*removeProgress_, record);
    if (std::find(handles_.begin(), handles_.end(), nullptr) != handles_.end())
        return false;

    if (c.driverInstalled)
        SetPageSequence(IDD_MODIFY, c.BuildPageSequence());
    else
    {
        c.mode = 0; // whatever the options said: there is nothing to modify or remove
        SetPageSequence(IDD_WELCOME, c.BuildPageSequence());
    }
    UINT startId = 0;
    if (c.mode == 3)
    {
        WizardGlobals& w = *g_wizard;
        SetPageSequence(IDD_SEARCH, c.BuildPageSequence());
        if (w.pageSequence.at(w.pageIndex) != IDD_SEARCH) // "/fs" took the Search page out
        {
            auto modify = std::find(w.pageSequence.begin(), w.pageSequence.end(), UINT{IDD_MODIFY});
            size_t next = static_cast<size_t>(modify - w.pageSequence.begin()) + 1;
            w.pageIndex = static_cast<UINT>(std::min(next, w.pageSequence.size() - 1));
        }
        startId = w.pageSequence[w.pageIndex];
    }
    else if (c.mode == 2)
    {
        SetPageSequence(IDD_REMOVE, c.BuildPageSequence());
        startId = g_wizard->pageSequence[g_wizard->pageIndex];
    }
    auto start = std::find(pageIds_.begin(), pageIds_.end(), startId);

    header_.dwSize = sizeof header_;
    header_.dwFlags = PSH_WIZARD97 | PSH_WATERMARK | PSH_HEADER;
    header_.hwndParent = nullptr;
    header_.hInstance = instance;
    header_.pszCaption = caption_.c_str();
    header_.nPages = static_cast<UINT>(handles_.size());
    header_.nStartPage = start == pageIds_.end() ? 0 : static_cast<UINT>(start - pageIds_.begin());
    header_.phpage = handles_.data();
    header_.pszbmWatermark = MAKEINTRESOURCEW(IDB_WATERMARK);
    header_.pszbmHeader = MAKEINTRESOURCEW(IDB_HEADER);
    return true;
}

INT_PTR CSetupWizard::Run()
{
    if (handles_.empty() || std::find(handles_.begin(), handles_.end(), nullptr) != handles_.end())
        return -1;
    sheetOwnsPages_ = true; // the sheet owns the pages from here on
    return PropertySheetW(&header_);
}

} // namespace kgsetup
