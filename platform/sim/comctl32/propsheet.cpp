// Property sheets and wizards: pages made from templates when first shown, the navigation
// notifications pages answer through DWLP_MSGRESULT, and the sheet messages pages send back.
#include "rc/resources.h"
#include "user32/desktop_internal.h"

#include <algorithm>
#include <cstddef>
#include <cstring>

using namespace sim;
using namespace sim::detail;

namespace
{
constexpr int kTab = 0x3020;
constexpr int kApply = 0x3021;
constexpr int kBack = 0x3023;
constexpr int kNext = 0x3024;
constexpr int kFinish = 0x3025;

struct Page
{
    std::vector<BYTE> raw; // the caller's page record, copied whole (pages may carry data behind it)
    WString templateName, title, headerTitle, headerSubtitle;
    HWND window = nullptr;

    PROPSHEETPAGEW& Record() { return *reinterpret_cast<PROPSHEETPAGEW*>(raw.data()); }
    const PROPSHEETPAGEW& Record() const { return *reinterpret_cast<const PROPSHEETPAGEW*>(raw.data()); }
};

struct Sheet
{
    std::vector<std::shared_ptr<Page>> pages;
    int current = -1;
    bool wizard = false;
    DWORD flags = 0;
    bool changed = false;
};

// Pages made and sheets shown on this machine; guarded by the desktop lock.
struct SheetState : PartBase
{
    std::map<ULONG_PTR, std::shared_ptr<Page>> pages;
    std::map<HWND, std::shared_ptr<Sheet>> sheets;
};

std::map<ULONG_PTR, std::shared_ptr<Page>>& Pages()
{
    return Part<SheetState>().pages;
}

std::map<HWND, std::shared_ptr<Sheet>>& Sheets()
{
    return Part<SheetState>().sheets;
}

std::shared_ptr<Sheet> SheetOf(HWND sheet)
{
    std::lock_guard g(Desk().mu);
    auto it = Sheets().find(sheet);
    return it == Sheets().end() ? nullptr : it->second;
}

struct Snapshot
{
    std::shared_ptr<Sheet> sheet;
    std::shared_ptr<Page> page;
    int index = -1;
};

Snapshot Current(HWND sheetWindow)
{
    auto sheet = SheetOf(sheetWindow);
    if (!sheet)
        return {};
    std::lock_guard g(Desk().mu);
    Snapshot s{sheet, nullptr, sheet->current};
    if (sheet->current >= 0 && sheet->current < static_cast<int>(sheet->pages.size()))
        s.page = sheet->pages[static_cast<size_t>(sheet->current)];
    return s;
}

struct PageNotify
{
    NMHDR hdr;
    LPARAM lParam;
};

LRESULT Notify(HWND sheet, HWND page, UINT code, LPARAM lParam = 0)
{
    if (!page)
        return 0;
    PageNotify nm{{sheet, 0, code}, lParam};
    return SendMessageW(page, WM_NOTIFY, 0, reinterpret_cast<LPARAM>(&nm));
}

int IndexOfId(const Sheet& sheet, LRESULT id)
{
    for (size_t i = 0; i < sheet.pages.size(); ++i)
    {
        LPCWSTR t = sheet.pages[i]->Record().pszTemplate;
        if (IS_INTRESOURCE(t) && static_cast<LRESULT>(reinterpret_cast<ULONG_PTR>(t)) == id)
            return static_cast<int>(i);
    }
    return -1;
}

void SetHeader(HWND sheet, const Page& page)
{
    bool hidden = (page.Record().dwFlags & PSP_HIDEHEADER) != 0;
    SetDlgItemTextW(sheet, sim::kSheetHeaderTitle, hidden ? u"" : page.headerTitle.c_str());
    SetDlgItemTextW(sheet, sim::kSheetHeaderSubtitle, hidden ? u"" : page.headerSubtitle.c_str());
}

// Shows page `index`, creating its window on first use; a page that refuses activation (-1) passes it
// on in `direction`, one that answers a template id passes it to that page. `notMade` tells a page
// whose window could not be made from one that refused.
bool ChangeTo(HWND sheetWindow, int index, int direction, bool* notMade = nullptr)
{
    auto sheet = SheetOf(sheetWindow);
    if (!sheet)
        return false;
    for (int guard = 0; guard < 64; ++guard)
    {
        std::shared_ptr<Page> page;
        std::shared_ptr<Page> old;
        {
            std::lock_guard g(Desk().mu);
            if (index < 0 || index >= static_cast<int>(sheet->pages.size()))
                return false;
            page = sheet->pages[static_cast<size_t>(index)];
            if (sheet->current >= 0 && sheet->current < static_cast<int>(sheet->pages.size()))
                old = sheet->pages[static_cast<size_t>(sheet->current)];
        }
        if (!page->window)
        {
            PROPSHEETPAGEW& psp = page->Record();
            if ((psp.dwFlags & PSP_USECALLBACK) && psp.pfnCallback &&
                !psp.pfnCallback(nullptr, PSPCB_CREATE, &psp))
            {
                index += direction;
                continue;
            }
            const FaultWatch watch;
            page->window = CreateDialogFromTemplate(psp.hInstance, psp.pszTemplate, sheetWindow,
                                                    psp.pfnDlgProc, reinterpret_cast<LPARAM>(&psp), true);
            // A page the system could not make is not shown: the sheet stays where it was.
            if (!page->window)
            {
                const DWORD error = GetLastError();
                if (!watch.Fired())
                    ReportFailure("property sheet page template not found");
                if (notMade)
                    *notMade = true;
                SetLastError(error);
                return false;
            }
        }
        if (old && old != page && old->window)
            ShowWindow(old->window, SW_HIDE);
        {
            std::lock_guard g(Desk().mu);
            sheet->current = index;
        }
        ShowWindow(page->window, SW_SHOW);
        SetHeader(sheetWindow, *page);
        if (HWND tab = GetDlgItem(sheetWindow, kTab))
            SendMessageW(tab, TCM_SETCURSEL, static_cast<WPARAM>(index), 0);
        LRESULT r = Notify(sheetWindow, page->window, PSN_SETACTIVE);
        if (r == 0)
            return true;
        ShowWindow(page->window, SW_HIDE);
        if (r == -1)
            index += direction;
        else
        {
            std::lock_guard g(Desk().mu);
            index = IndexOfId(*sheet, r);
        }
    }
    return false;
}

// The current page may refuse to be left (PSN_KILLACTIVE answers TRUE).
bool Leave(HWND sheetWindow)
{
    Snapshot s = Current(sheetWindow);
    return !s.page || Notify(sheetWindow, s.page->window, PSN_KILLACTIVE) == 0;
}

void End(HWND sheetWindow, INT_PTR result)
{
    EndDialog(sheetWindow, result);
}

// Sends PSN_APPLY to every page made so far; false when one keeps the sheet open.
bool Apply(HWND sheetWindow, bool closing)
{
    auto sheet = SheetOf(sheetWindow);
    std::vector<std::shared_ptr<Page>> pages;
    {
        std::lock_guard g(Desk().mu);
        pages = sheet->pages;
    }
    for (size_t i = 0; i < pages.size(); ++i)
    {
        if (!pages[i]->window)
            continue;
        LRESULT r = Notify(sheetWindow, pages[i]->window, PSN_APPLY, closing);
        if (r == PSNRET_INVALID_NOCHANGEPAGE)
            return false;
        if (r == PSNRET_INVALID)
        {
            ChangeTo(sheetWindow, static_cast<int>(i), 1);
            return false;
        }
    }
    std::lock_guard g(Desk().mu);
    sheet->changed = false;
    return true;
}

void Button(HWND sheetWindow, int id)
{
    Snapshot s = Current(sheetWindow);
    if (!s.sheet)
        return;
    HWND page = s.page ? s.page->window : nullptr;
    switch (id)
    {
    case kNext:
    case kBack: {
        LRESULT r = Notify(sheetWindow, page, id == kNext ? PSN_WIZNEXT : PSN_WIZBACK);
        if (r == -1)
            return;
        int target;
        {
            std::lock_guard g(Desk().mu);
            target = r == 0 ? s.index + (id == kNext ? 1 : -1) : IndexOfId(*s.sheet, r);
        }
        if (target < 0 || !Leave(sheetWindow))
            return;
        ChangeTo(sheetWindow, target, id == kNext ? 1 : -1);
        return;
    }
    case kFinish:
        if (Notify(sheetWindow, page, PSN_WIZFINISH) == 0)
            End(sheetWindow, 1);
        return;
    case IDOK:
        if (Leave(sheetWindow) && Apply(sheetWindow, true))
            End(sheetWindow, 1);
        return;
    case kApply:
        if (Leave(sheetWindow) && Apply(sheetWindow, false))
            EnableWindow(GetDlgItem(sheetWindow, kApply), FALSE);
        return;
    case IDCANCEL: {
        if (Notify(sheetWindow, page, PSN_QUERYCANCEL) != 0)
            return;
        std::vector<std::shared_ptr<Page>> pages;
        {
            std::lock_guard g(Desk().mu);
            pages = s.sheet->pages;
        }
        for (auto& p : pages)
            if (p->window)
                Notify(sheetWindow, p->window, PSN_RESET);
        End(sheetWindow, 0);
        return;
    }
    case IDHELP:
        Notify(sheetWindow, page, PSN_HELP);
        return;
    default:
        return;
    }
}

void SetWizardButtons(HWND sheet, DWORD flags, DWORD sheetFlags)
{
    EnableWindow(GetDlgItem(sheet, kBack), (flags & PSWIZB_BACK) ? TRUE : FALSE);
    HWND next = GetDlgItem(sheet, kNext), finish = GetDlgItem(sheet, kFinish);
    if (flags & (PSWIZB_FINISH | PSWIZB_DISABLEDFINISH))
    {
        if (!(sheetFlags & PSH_WIZARDHASFINISH))
            ShowWindow(next, SW_HIDE);
        ShowWindow(finish, SW_SHOW);
        EnableWindow(finish, (flags & PSWIZB_FINISH) ? TRUE : FALSE);
    }
    else
    {
        ShowWindow(next, SW_SHOW);
        EnableWindow(next, (flags & PSWIZB_NEXT) ? TRUE : FALSE);
        if (!(sheetFlags & PSH_WIZARDHASFINISH))
            ShowWindow(finish, SW_HIDE);
    }
}

LRESULT SheetMessage(HWND window, const std::shared_ptr<Sheet>& sheet, UINT message, WPARAM wParam,
                     LPARAM lParam)
{
    auto indexOfPage = [&](auto pred) {
        std::lock_guard g(Desk().mu);
        for (size_t i = 0; i < sheet->pages.size(); ++i)
            if (pred(*sheet->pages[i]))
                return static_cast<LRESULT>(i);
        return LRESULT{-1};
    };
    auto pageAt = [&](WPARAM i) -> std::shared_ptr<Page> {
        std::lock_guard g(Desk().mu);
        return i < sheet->pages.size() ? sheet->pages[i] : nullptr;
    };
    switch (message)
    {
    case PSM_SETCURSEL:
    case PSM_SETCURSELID: {
        LRESULT index = message == PSM_SETCURSELID ? indexOfPage([&](Page& p) {
            LPCWSTR t = p.Record().pszTemplate;
            return IS_INTRESOURCE(t) && reinterpret_cast<ULONG_PTR>(t) == static_cast<ULONG_PTR>(lParam);
        })
                        : lParam
                            ? indexOfPage([&](Page& p) { return reinterpret_cast<LPARAM>(&p) == lParam; })
                            : static_cast<LRESULT>(wParam);
        if (index < 0 || !Leave(window))
            return FALSE;
        return ChangeTo(window, static_cast<int>(index), 1);
    }
    case PSM_SETWIZBUTTONS:
        SetWizardButtons(window, static_cast<DWORD>(lParam), sheet->flags);
        return 0;
    case PSM_PRESSBUTTON: {
        static const int kIds[] = {kBack, kNext, kFinish, IDOK, kApply, IDCANCEL, IDHELP};
        if (wParam < std::size(kIds))
            PostMessageW(window, WM_COMMAND, MAKEWPARAM(kIds[wParam], BN_CLICKED),
                         reinterpret_cast<LPARAM>(GetDlgItem(window, kIds[wParam])));
        return 0;
    }
    case PSM_CHANGED:
    case PSM_UNCHANGED: {
        std::lock_guard g(Desk().mu);
        sheet->changed = message == PSM_CHANGED;
    }
        EnableWindow(GetDlgItem(window, kApply), message == PSM_CHANGED ? TRUE : FALSE);
        return 0;
    case PSM_APPLY:
        return Leave(window) && Apply(window, false);
    case PSM_CANCELTOCLOSE:
        SetDlgItemTextW(window, IDCANCEL, u"Close");
        return 0;
    case PSM_GETCURRENTPAGEHWND: {
        Snapshot s = Current(window);
        return reinterpret_cast<LRESULT>(s.page ? s.page->window : nullptr);
    }
    case PSM_GETTABCONTROL:
        return reinterpret_cast<LRESULT>(GetDlgItem(window, kTab));
    case PSM_SETTITLEW:
        SetWindowTextW(window, reinterpret_cast<LPCWSTR>(lParam));
        return 0;
    case PSM_SETFINISHTEXTW:
        SetDlgItemTextW(window, kFinish, reinterpret_cast<LPCWSTR>(lParam));
        ShowWindow(GetDlgItem(window, kFinish), SW_SHOW);
        EnableWindow(GetDlgItem(window, kFinish), TRUE);
        ShowWindow(GetDlgItem(window, kNext), SW_HIDE);
        ShowWindow(GetDlgItem(window, kBack), SW_HIDE);
        return 0;
    case PSM_SETHEADERTITLEW:
    case PSM_SETHEADERSUBTITLEW: {
        auto page = pageAt(wParam);
        if (!page)
            return 0;
        (message == PSM_SETHEADERTITLEW ? page->headerTitle : page->headerSubtitle) =
            ToWString(reinterpret_cast<LPCWSTR>(lParam));
        if (Current(window).page == page)
            SetHeader(window, *page);
        return 0;
    }
    case PSM_HWNDTOINDEX:
        return indexOfPage([&](Page& p) { return p.window && p.window == reinterpret_cast<HWND>(wParam); });
    case PSM_INDEXTOHWND: {
        auto page = pageAt(wParam);
        return reinterpret_cast<LRESULT>(page ? page->window : nullptr);
    }
    case PSM_PAGETOINDEX:
        return indexOfPage([&](Page& p) { return reinterpret_cast<LPARAM>(&p) == lParam; });
    case PSM_INDEXTOPAGE:
        return reinterpret_cast<LRESULT>(pageAt(wParam).get());
    case PSM_IDTOINDEX:
        return indexOfPage([&](Page& p) {
            LPCWSTR t = p.Record().pszTemplate;
            return IS_INTRESOURCE(t) && reinterpret_cast<ULONG_PTR>(t) == static_cast<ULONG_PTR>(lParam);
        });
    case PSM_INDEXTOID: {
        auto page = pageAt(wParam);
        return page ? reinterpret_cast<LRESULT>(page->Record().pszTemplate) : 0;
    }
    default:
        return 0;
    }
}

INT_PTR CALLBACK SheetProc(HWND window, UINT message, WPARAM wParam, LPARAM lParam)
{
    auto sheet = SheetOf(window);
    if (!sheet)
        return FALSE;
    if (message == WM_COMMAND && HIWORD(wParam) == BN_CLICKED)
    {
        Button(window, LOWORD(wParam));
        return TRUE;
    }
    if (message == WM_CLOSE)
    {
        Button(window, IDCANCEL);
        return TRUE;
    }
    if (message == WM_NOTIFY && reinterpret_cast<NMHDR*>(lParam)->idFrom == kTab)
    {
        UINT code = reinterpret_cast<NMHDR*>(lParam)->code;
        if (code == TCN_SELCHANGING)
            SetWindowLongPtrW(window, DWLP_MSGRESULT, Leave(window) ? FALSE : TRUE);
        else if (code == TCN_SELCHANGE)
            ChangeTo(window, static_cast<int>(SendDlgItemMessageW(window, kTab, TCM_GETCURSEL, 0, 0)), 1);
        return TRUE;
    }
    if (message >= PSM_SETCURSEL && message <= PSM_GETRESULT)
    {
        SetWindowLongPtrW(window, DWLP_MSGRESULT, SheetMessage(window, sheet, message, wParam, lParam));
        return TRUE;
    }
    return FALSE;
}

// A tab shows the page's own title, else its template's caption.
WString TabName(const Page& page)
{
    if (!page.title.empty() || (page.Record().dwFlags & PSP_USETITLE))
        return page.title;
    const ResourceFile* file = ResourcesOf(page.Record().hInstance);
    if (!file)
        return {};
    auto it = file->dialogs.find(ResourceName(page.Record().pszTemplate));
    if (it == file->dialogs.end())
        return {};
    const DialogTemplate* t = PickLanguage(it->second, UiLanguage());
    return t ? t->caption : WString();
}

HWND AddButton(HWND sheet, int id, const WCHAR* text, DWORD style)
{
    return CreateWindowExW(0, WC_BUTTONW, text, WS_CHILD | WS_VISIBLE | WS_TABSTOP | style, 0, 0, 75, 23,
                           sheet, reinterpret_cast<HMENU>(static_cast<LONG_PTR>(id)), nullptr, nullptr);
}
} // namespace

HPROPSHEETPAGE WINAPI CreatePropertySheetPageW(LPCPROPSHEETPAGEW psp)
{
    SIM_FAULT_POINT("CreatePropertySheetPageW", nullptr);
    constexpr DWORD kMinimum = offsetof(PROPSHEETPAGEW, pszHeaderTitle);
    if (!psp || psp->dwSize < kMinimum || (psp->dwFlags & PSP_DLGINDIRECT))
    {
        SetLastError(ERROR_INVALID_PARAMETER);
        return nullptr;
    }
    auto page = std::make_shared<Page>();
    page->raw.assign(std::max<size_t>(psp->dwSize, sizeof(PROPSHEETPAGEW)), 0);
    std::memcpy(page->raw.data(), psp, psp->dwSize);
    PROPSHEETPAGEW& r = page->Record();
    if (!IS_INTRESOURCE(r.pszTemplate))
    {
        page->templateName = r.pszTemplate;
        r.pszTemplate = page->templateName.c_str();
    }
    if ((r.dwFlags & PSP_USETITLE) && r.pszTitle && !IS_INTRESOURCE(r.pszTitle))
        page->title = r.pszTitle;
    if (psp->dwSize >= sizeof(PROPSHEETPAGEW) - sizeof(HANDLE))
    {
        if ((r.dwFlags & PSP_USEHEADERTITLE) && r.pszHeaderTitle && !IS_INTRESOURCE(r.pszHeaderTitle))
            page->headerTitle = r.pszHeaderTitle;
        if ((r.dwFlags & PSP_USEHEADERSUBTITLE) && r.pszHeaderSubTitle &&
            !IS_INTRESOURCE(r.pszHeaderSubTitle))
            page->headerSubtitle = r.pszHeaderSubTitle;
    }
    std::lock_guard g(Desk().mu);
    Pages()[reinterpret_cast<ULONG_PTR>(page.get())] = page;
    return reinterpret_cast<HPROPSHEETPAGE>(page.get());
}

BOOL WINAPI DestroyPropertySheetPage(HPROPSHEETPAGE page)
{
    std::lock_guard g(Desk().mu);
    return Pages().erase(reinterpret_cast<ULONG_PTR>(page)) ? TRUE : FALSE;
}

INT_PTR WINAPI PropertySheetW(LPCPROPSHEETHEADERW header)
{
    if (!header || header->dwSize < offsetof(PROPSHEETHEADERW, pfnCallback))
    {
        SetLastError(ERROR_INVALID_PARAMETER);
        return -1;
    }
    SIM_FAULT_POINT("PropertySheetW", -1);
    auto sheet = std::make_shared<Sheet>();
    sheet->flags = header->dwFlags;
    sheet->wizard = (header->dwFlags & (PSH_WIZARD | PSH_WIZARD97 | PSH_WIZARD_LITE)) != 0;
    std::vector<HPROPSHEETPAGE> handles;
    if (header->dwFlags & PSH_PROPSHEETPAGE)
    {
        const BYTE* at = reinterpret_cast<const BYTE*>(header->ppsp);
        for (UINT i = 0; i < header->nPages && at; ++i)
        {
            auto psp = reinterpret_cast<LPCPROPSHEETPAGEW>(at);
            handles.push_back(CreatePropertySheetPageW(psp));
            at += psp->dwSize;
        }
    }
    else
        for (UINT i = 0; i < header->nPages && header->phpage; ++i)
            handles.push_back(header->phpage[i]);
    {
        std::lock_guard g(Desk().mu);
        for (HPROPSHEETPAGE h : handles)
            if (auto it = Pages().find(reinterpret_cast<ULONG_PTR>(h)); it != Pages().end())
                sheet->pages.push_back(it->second);
    }
    if (sheet->pages.empty())
    {
        SetLastError(ERROR_INVALID_PARAMETER);
        return -1;
    }
    // What the sheet made goes with it, when it ends or cannot be made whole.
    auto forget = [&](HWND window) {
        std::lock_guard g(Desk().mu);
        Sheets().erase(window);
        for (auto& page : sheet->pages)
        {
            page->window = nullptr;
            if (header->dwFlags & PSH_PROPSHEETPAGE)
                Pages().erase(reinterpret_cast<ULONG_PTR>(page.get()));
        }
    };
    // A sheet whose frame, one of its controls or its first page cannot be made fails with the
    // failing call's code.
    auto fail = [&](HWND window) -> INT_PTR {
        const DWORD error = GetLastError();
        if (window)
            DestroyWindow(window);
        forget(window);
        SetLastError(error);
        return -1;
    };
    HWND owner = header->hwndParent ? GetAncestor(header->hwndParent, GA_ROOT) : nullptr;
    HWND window = CreateWindowExW(WS_EX_CONTROLPARENT | WS_EX_DLGMODALFRAME, u"#32770",
                                  ToWString(header->pszCaption).c_str(),
                                  WS_POPUP | WS_CAPTION | WS_SYSMENU | DS_MODALFRAME, 0, 0, 500, 380, owner,
                                  nullptr, header->hInstance, nullptr);
    if (!window)
        return fail(nullptr);
    {
        std::lock_guard g(Desk().mu);
        Window* w = FindLocked(window);
        w->isDialog = true;
        w->dialogProc = SheetProc;
        Sheets()[window] = sheet;
    }
    bool whole = true;
    auto made = [&](HWND control) {
        whole = whole && control;
        return control;
    };
    auto label = [&](int id) {
        made(CreateWindowExW(0, WC_STATICW, u"", WS_CHILD | WS_VISIBLE, 0, 0, 400, 16, window,
                             reinterpret_cast<HMENU>(static_cast<LONG_PTR>(id)), nullptr, nullptr));
    };
    if (sheet->wizard)
    {
        label(sim::kSheetHeaderTitle);
        label(sim::kSheetHeaderSubtitle);
        made(AddButton(window, kBack, u"< &Back", BS_PUSHBUTTON));
        made(AddButton(window, kNext, u"&Next >", BS_DEFPUSHBUTTON));
        HWND finish = made(AddButton(window, kFinish, u"&Finish", BS_PUSHBUTTON));
        if (finish && !(header->dwFlags & PSH_WIZARDHASFINISH))
            ShowWindow(finish, SW_HIDE);
        made(AddButton(window, IDCANCEL, u"Cancel", BS_PUSHBUTTON));
    }
    else
    {
        HWND tab = made(CreateWindowExW(0, WC_TABCONTROLW, u"", WS_CHILD | WS_VISIBLE | WS_TABSTOP, 0, 0, 480,
                                        300, window, reinterpret_cast<HMENU>(static_cast<LONG_PTR>(kTab)),
                                        nullptr, nullptr));
        for (size_t i = 0; tab && i < sheet->pages.size(); ++i)
        {
            TCITEMW item{};
            item.mask = TCIF_TEXT;
            WString name = TabName(*sheet->pages[i]);
            item.pszText = const_cast<LPWSTR>(name.c_str());
            SendMessageW(tab, TCM_INSERTITEMW, i, reinterpret_cast<LPARAM>(&item));
        }
        made(AddButton(window, IDOK, u"OK", BS_DEFPUSHBUTTON));
        made(AddButton(window, IDCANCEL, u"Cancel", BS_PUSHBUTTON));
        if (!(header->dwFlags & PSH_NOAPPLYNOW))
            if (HWND apply = made(AddButton(window, kApply, u"&Apply", BS_PUSHBUTTON)))
                EnableWindow(apply, FALSE);
    }
    if (header->dwFlags & PSH_HASHELP)
        made(AddButton(window, IDHELP, u"Help", BS_PUSHBUTTON));
    if (!whole)
        return fail(window);
    if ((header->dwFlags & PSH_USECALLBACK) && header->pfnCallback)
        header->pfnCallback(window, PSCB_INITIALIZED, 0);
    UINT start = (header->dwFlags & PSH_USEPSTARTPAGE) ? 0 : header->nStartPage;
    bool notMade = false;
    if (!ChangeTo(window, static_cast<int>(std::min<size_t>(start, sheet->pages.size() - 1)), 1, &notMade) &&
        notMade)
        return fail(window);
    if (header->dwFlags & PSH_MODELESS)
    {
        ShowWindow(window, SW_SHOW);
        return reinterpret_cast<INT_PTR>(window);
    }
    INT_PTR result = RunModal(window, owner);
    forget(window);
    return result;
}
