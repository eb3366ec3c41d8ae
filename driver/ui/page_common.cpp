#include "page_common.h"

#include "preview_painter.h"
#include "ui_settings.h"
#include "ui_strings.h"

#include <platform/commctrl.h>
#include <platform/dll_search.h>
#include <platform/htmlhelp.h>

#include <algorithm>
#include <limits>

namespace velmoui
{

namespace
{
constexpr size_t kTypedCharacters = 12;
constexpr int kMaxDigits = 10;
} // namespace

std::optional<int64_t> ParseDecimal(WStringView text, int decimals)
{
    text = text.substr(0, std::min(text.size(), kTypedCharacters));
    size_t i = 0;
    bool negative = false;
    for (; i < text.size() && !(text[i] >= u'0' && text[i] <= u'9'); ++i)
        if (text[i] == u'+' || text[i] == u'-')
            negative = text[i] == u'-';
    if (i == text.size())
        return std::nullopt;
    int64_t whole = 0;
    for (int n = 0; i < text.size() && n < kMaxDigits && text[i] >= u'0' && text[i] <= u'9'; ++i, ++n)
        whole = whole * 10 + (text[i] - u'0');
    int64_t fraction = 0;
    int taken = 0;
    if (i < text.size() && (text[i] == u'.' || text[i] == u','))
        for (++i; i < text.size() && taken < decimals && text[i] >= u'0' && text[i] <= u'9'; ++i, ++taken)
            fraction = fraction * 10 + (text[i] - u'0');
    for (; taken < decimals; ++taken)
        fraction *= 10;
    int64_t scale = 1;
    for (int d = 0; d < decimals; ++d)
        scale *= 10;
    int64_t value = whole * scale + fraction; // at most 10 digits and a few decimals: no overflow
    return negative ? -value : value;
}

WString FormatDecimal(int64_t value, int decimals, WStringView separator)
{
    bool negative = value < 0;
    uint64_t magnitude = negative ? 0 - static_cast<uint64_t>(value) : static_cast<uint64_t>(value);
    WString digits;
    do
    {
        digits.insert(digits.begin(), static_cast<WCHAR>(u'0' + magnitude % 10));
        magnitude /= 10;
    } while (magnitude);
    if (decimals > 0)
    {
        while (digits.size() <= static_cast<size_t>(decimals))
            digits.insert(digits.begin(), u'0');
        digits.insert(digits.size() - static_cast<size_t>(decimals), separator);
    }
    return negative ? TEXT("-") + digits : digits;
}

WString DecimalSeparator()
{
    WCHAR text[8] = {};
    int n = GetLocaleInfoW(LOCALE_USER_DEFAULT, LOCALE_SDECIMAL, text, static_cast<int>(std::size(text)));
    if (n <= 1)
        return TEXT(".");
    return WString(text);
}

LONG Clamp(int64_t value, LONG low, LONG high)
{
    return static_cast<LONG>(std::clamp<int64_t>(value, low, high));
}

LONG SummaryFontHeight(LONG height)
{
    return static_cast<LONG>((int64_t{height} * 11 + 6) / 12);
}

void Page::SetChecked(int id, bool on) const
{
    CheckDlgButton(dialog, id, on ? BST_CHECKED : BST_UNCHECKED);
}

bool Page::Checked(int id) const
{
    return IsDlgButtonChecked(dialog, id) == BST_CHECKED;
}

void Page::Enable(int id, bool on) const
{
    if (HWND h = Item(id))
        EnableWindow(h, on ? TRUE : FALSE);
}

void Page::Show(int id, bool on) const
{
    if (HWND h = Item(id))
        ShowWindow(h, on ? SW_SHOW : SW_HIDE);
}

void Page::SetText(int id, const WString& text) const
{
    SetDlgItemTextW(dialog, id, text.c_str());
}

WString Page::Text(int id) const
{
    HWND h = Item(id);
    if (!h)
        return {};
    int length = GetWindowTextLengthW(h);
    WString text(static_cast<size_t>(std::max(length, 0)) + 1, 0);
    int n = GetWindowTextW(h, text.data(), static_cast<int>(text.size()));
    text.resize(static_cast<size_t>(std::max(n, 0)));
    return text;
}

void Page::Changed()
{
    if (state->osCode >= 103)
        SendMessageW(GetParent(dialog), PSM_CHANGED, reinterpret_cast<WPARAM>(dialog), 0);
    if (HWND preview = Item(kPreview))
        InvalidateRect(preview, nullptr, TRUE);
    if (Item(kSummary))
    {
        loading = true;
        SetText(kSummary, Summary());
        loading = false;
    }
}

void Page::Reload()
{
    loading = true;
    Load();
    if (Item(kSummary))
        SetText(kSummary, Summary());
    loading = false;
}

WString Page::SheetCaption() const
{
    HWND sheet = GetParent(dialog);
    int length = GetWindowTextLengthW(sheet);
    WString text(static_cast<size_t>(std::max(length, 0)) + 1, 0);
    int n = GetWindowTextW(sheet, text.data(), static_cast<int>(text.size()));
    text.resize(static_cast<size_t>(std::max(n, 0)));
    return text;
}

void Page::ShowHelpIcon(int id)
{
    constexpr WORD kShellHelpIcon = 24;
    HWND control = Item(id);
    if (!control)
        return;
    if (!helpIcon)
    {
        // Mapped for its resources alone: the shell's start-up code has no business in the caller's
        // process.
        HMODULE shell = LoadLibraryExW(TEXT("shell32.dll"), nullptr,
                                       LOAD_LIBRARY_SEARCH_SYSTEM32 | LOAD_LIBRARY_AS_DATAFILE |
                                           LOAD_LIBRARY_AS_IMAGE_RESOURCE);
        if (!shell)
            return;
        // Not shared: the copy outlives the library, which need not stay loaded.
        helpIcon = static_cast<HICON>(
            LoadImageW(shell, MAKEINTRESOURCEW(kShellHelpIcon), IMAGE_ICON, 0, 0, LR_DEFAULTSIZE));
        FreeLibrary(shell);
    }
    if (helpIcon)
        SendMessageW(control, STM_SETICON, reinterpret_cast<WPARAM>(helpIcon), 0);
}

void Page::ShowSystemIcon(int id, LPCWSTR icon) const
{
    HWND control = Item(id);
    if (HICON shared = control ? LoadIconW(nullptr, icon) : nullptr)
        SendMessageW(control, STM_SETICON, reinterpret_cast<WPARAM>(shared), 0);
}

int Page::Message(const WString& text, UINT style) const
{
    return MessageBoxW(dialog, text.c_str(), SheetCaption().c_str(), style);
}

// The help library stays loaded: its window outlives the call.
void ShowHelpKeyword(const SheetState& state, HWND caller, const WCHAR* keyword)
{
    HMODULE help = LoadLibraryExW(TEXT("hhctrl.ocx"), nullptr, LOAD_LIBRARY_SEARCH_SYSTEM32);
    if (!help)
        return;
    auto htmlHelp = platform::ProcAddress<HtmlHelpFunction>(help, "HtmlHelpW");
    if (!htmlHelp)
        return;
    HH_AKLINK link{};
    link.cbStruct = sizeof link;
    link.pszKeywords = keyword;
    link.fIndexOnFail = TRUE;
    htmlHelp(caller, state.helpPath, HH_KEYWORD_LOOKUP, reinterpret_cast<DWORD_PTR>(&link));
}

namespace
{
Page* PageOf(HWND dialog)
{
    return reinterpret_cast<Page*>(GetWindowLongPtrW(dialog, DWLP_USER));
}

const HelpRow* HelpRowOf(const Page& page, int control)
{
    for (const HelpRow& row : page.HelpTable())
        if (row.control == control)
            return &row;
    return nullptr;
}

// The context menu's one item looks the control's keyword up.
void ContextHelp(Page& page, int control, int x, int y)
{
    const HelpRow* row = HelpRowOf(page, control);
    if (!row)
        return;
    HMENU menu = LoadMenuW(ModuleInstance(), MAKEINTRESOURCEW(kContextMenu));
    if (!menu)
        return;
    HMENU popup = GetSubMenu(menu, 0);
    UINT command = popup ? static_cast<UINT>(TrackPopupMenu(popup, TPM_RETURNCMD | TPM_RIGHTBUTTON, x, y, 0,
                                                            page.dialog, nullptr))
                         : 0;
    DestroyMenu(menu);
    if (command == kContextHelpCommand)
        ShowHelpKeyword(*page.state, page.dialog, row->keyword);
}

int HostPageIndex(const SheetState& s, WORD templateId)
{
    for (int i = 0; i < s.pageCount; ++i)
        if (s.pages[i].templateId == templateId)
            return i;
    return -1;
}

BOOL InitPage(std::unique_ptr<Page> (*make)(), HWND dialog, LPARAM lParam)
{
    auto* psp = reinterpret_cast<const PROPSHEETPAGEW*>(lParam);
    auto* s = psp ? reinterpret_cast<SheetState*>(psp->lParam) : nullptr;
    if (!IsSheetState(s))
        return FALSE;
    std::unique_ptr<Page> owned = make();
    Page* page = owned.get();
    page->state = s;
    page->dialog = dialog;
    page->templateId = static_cast<WORD>(reinterpret_cast<ULONG_PTR>(psp->pszTemplate));
    SetWindowLongPtrW(dialog, DWLP_USER, reinterpret_cast<LONG_PTR>(owned.release()));
    page->loading = true;
    page->Init();
    if (page->Item(kVersionText))
        page->SetText(kVersionText, VersionText());
    if (HWND summary = page->Item(kSummary))
    {
        LOGFONTW font{};
        if (SystemParametersInfoW(SPI_GETICONTITLELOGFONT, sizeof font, &font, 0))
        {
            font.lfHeight = SummaryFontHeight(font.lfHeight);
            page->summaryFont = CreateFontIndirectW(&font);
            if (page->summaryFont)
                SendMessageW(summary, WM_SETFONT, reinterpret_cast<WPARAM>(page->summaryFont), TRUE);
        }
    }
    page->loading = false;
    page->Reload();
    if (!s->editable)
        for (const HelpRow& row : page->HelpTable())
            if (row.control != page->KeepEnabled())
                page->Enable(row.control, false);
    return TRUE;
}

BOOL Notify(Page& page, const NMHDR& header)
{
    SheetState& s = *page.state;
    LONG_PTR answer = 0;
    switch (header.code)
    {
    case PSN_SETACTIVE:
        page.Reload();
        break;
    case PSN_KILLACTIVE:
        if (page.Leave())
            _UdcUpdateCmnDModeArea(s.working, s.printerName);
        else
        {
            if (page.Item(kSummary))
                page.SetText(kSummary, page.Summary());
            answer = TRUE;
        }
        break;
    case PSN_APPLY: {
        int index = HostPageIndex(s, page.templateId);
        if (index >= 0 && s.pfnComPropSheet)
            s.pfnComPropSheet(s.hComPropSheet, CPSFUNC_SET_RESULT,
                              reinterpret_cast<LPARAM>(s.slots[index].hostPage), CPSUI_OK);
        answer = PSNRET_NOERROR;
        break;
    }
    case PSN_HELP:
        ShowHelpKeyword(s, page.dialog, page.Keyword());
        break;
    default:
        return FALSE;
    }
    SetWindowLongPtrW(page.dialog, DWLP_MSGRESULT, answer);
    return TRUE;
}
} // namespace

INT_PTR PageDialogProc(std::unique_ptr<Page> (*make)(), HWND dialog, UINT message, WPARAM wParam,
                       LPARAM lParam)
{
    if (message == WM_INITDIALOG)
        return InitPage(make, dialog, lParam);
    Page* page = PageOf(dialog);
    if (!page)
        return FALSE;
    switch (message)
    {
    case WM_COMMAND:
        if (page->loading)
            return FALSE;
        if (page->Command(LOWORD(wParam), HIWORD(wParam)))
            page->Changed();
        return TRUE;
    case WM_HSCROLL:
    case WM_VSCROLL:
        if (!page->loading && page->Scroll(reinterpret_cast<HWND>(lParam)))
            page->Changed();
        return TRUE;
    case WM_NOTIFY:
        return lParam ? Notify(*page, *reinterpret_cast<const NMHDR*>(lParam)) : FALSE;
    case WM_HELP: {
        auto* info = reinterpret_cast<const HELPINFO*>(lParam);
        if (info)
            ContextHelp(*page, info->iCtrlId, info->MousePos.x, info->MousePos.y);
        return TRUE;
    }
    case WM_DRAWITEM: {
        auto* item = reinterpret_cast<const DRAWITEMSTRUCT*>(lParam);
        if (!item || item->CtlID != kPreview)
            return FALSE;
        bool graphics = page->templateId == kTemplateGraphics[0] || page->templateId == kTemplateGraphics[1];
        PaintPreview(ModuleInstance(), *item, PreviewInputOf(page->state->working, graphics));
        return TRUE;
    }
    case WM_CONTEXTMENU:
        ContextHelp(*page, GetDlgCtrlID(reinterpret_cast<HWND>(wParam)), static_cast<short>(LOWORD(lParam)),
                    static_cast<short>(HIWORD(lParam)));
        return TRUE;
    case WM_DESTROY: {
        std::unique_ptr<Page> owned(page);
        SetWindowLongPtrW(dialog, DWLP_USER, 0);
        if (owned->summaryFont)
            DeleteObject(owned->summaryFont);
        if (owned->helpIcon)
            DestroyIcon(owned->helpIcon);
        return TRUE;
    }
    default:
        return FALSE;
    }
}

} // namespace velmoui
