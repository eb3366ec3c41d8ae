// The Welcome page, and the licence and version dialogs it opens.
#include "install_pages.h"

#include <algorithm>
#include <string>

namespace kgsetup
{

namespace
{
WString Decimal(int value, int width = 0)
{
    std::string digits = std::to_string(value);
    if (static_cast<int>(digits.size()) < width)
        digits.insert(0, static_cast<size_t>(width) - digits.size(), '0');
    return WString(digits.begin(), digits.end());
}

// Replaces the first `directive` of `text` with `value`.
void Fill(WString& text, WStringView directive, const WString& value)
{
    size_t at = text.find(directive);
    if (at != WString::npos)
        text.replace(at, directive.size(), value);
}
} // namespace

WString FormatVersionText(const WString& format, int major, int minor)
{
    WString text = format;
    Fill(text, TEXT("%d"), Decimal(major));
    Fill(text, TEXT("%02d"), Decimal(minor, 2));
    if (text.size() > 99)
        text.resize(99);
    return text;
}

namespace KGSetupPropertySheet
{

BOOL CPropSheetWelcome::OnInitDialog(HWND hwnd, WPARAM, LPARAM)
{
    SetWizardButtons(hwnd, 0);
    SetSheetIcon(hwnd);
    CentreSheetOnce(hwnd);
    FillLanguageCombo(GetDlgItem(hwnd, IDC_LANGUAGE));
    SetWizardButtons(hwnd, PSWIZB_NEXT);
    return TRUE;
}

void CPropSheetWelcome::ApplyTexts(HWND hwnd)
{
    const CSetupContext& c = Context();
    WString welcome = c.Text(5) + TEXT("\r\n\r\n") + c.Text(7) + TEXT("\r\n\r\n") + c.Text(8);
    SetDlgItemTextW(hwnd, IDC_WELCOME_TEXT, welcome.c_str());
    SetDlgItemTextW(hwnd, IDC_ABOUT, c.Text(10).c_str());
    SetDlgItemTextW(hwnd, IDC_LICENCE, c.Text(9).c_str());
    SetDlgItemTextW(hwnd, IDC_WINDOWS7_NOTE, c.Text(c.isWin7 ? 12 : 11).c_str());
}

void CPropSheetWelcome::OnCommand(HWND hwnd, int controlId, HWND control, UINT notifyCode)
{
    OnOpeningPageCommand(hwnd, controlId, control, notifyCode, [this](HWND page) { ApplyTexts(page); });
}

void FillLanguageCombo(HWND combo)
{
    const CSetupContext& c = Context();
    int selected = 0;
    for (size_t i = 0; i < c.messageTables.size(); ++i)
    {
        const MessageTableEntry& entry = c.messageTables[i];
        SendMessageW(
            combo, CB_ADDSTRING, 0,
            reinterpret_cast<LPARAM>(entry.table ? entry.table->displayLanguageName.c_str() : TEXT("")));
        if (entry.language == c.uiLanguage)
            selected = static_cast<int>(i);
    }
    SendMessageW(combo, CB_SETCURSEL, static_cast<WPARAM>(selected), 0);
}

bool OnOpeningPageCommand(HWND hwnd, int controlId, HWND control, UINT notifyCode,
                          const std::function<void(HWND)>& applyTexts)
{
    CSetupContext& c = Context();
    if (controlId == IDC_LANGUAGE && notifyCode == CBN_SELCHANGE)
    {
        auto index = static_cast<size_t>(SendMessageW(control, CB_GETCURSEL, 0, 0));
        if (index >= c.messageTables.size() || c.messageTables[index].language == c.uiLanguage)
            return true;
        c.uiLanguage = c.messageTables[index].language;
        c.currentMessageTable = c.messageTables[index].table.get();
        applyTexts(hwnd);
        return true;
    }
    if (notifyCode != BN_CLICKED)
        return false;
    if (controlId == IDC_ABOUT)
        RunModalDialog(std::make_unique<CDialogAboutBox>(), g_wizard->instance, IDD_ABOUT, hwnd);
    else if (controlId == IDC_LICENCE)
        RunModalDialog(std::make_unique<CDialogEulaBox>(), g_wizard->instance, IDD_EULA, hwnd);
    else
        return false;
    return true;
}

LRESULT CPropSheetWelcome::OnNotify(HWND hwnd, int, NMHDR* header)
{
    switch (header->code)
    {
    case PSN_SETACTIVE:
        SetWizardButtons(hwnd, PSWIZB_NEXT);
        ApplyTexts(hwnd);
        return 0;
    case PSN_WIZNEXT:
        return GoNext(hwnd);
    case PSN_WIZBACK:
        return GoBack(hwnd);
    default:
        return 0;
    }
}

BOOL CDialogEulaBox::OnInitDialog(HWND hwnd, WPARAM, LPARAM)
{
    const CSetupContext& c = Context();
    SetWindowTextW(hwnd, c.Text(13).c_str());
    SetDlgItemTextW(hwnd, IDC_AGREEMENT, c.Text(0).c_str());
    SetDlgItemTextW(hwnd, IDC_INSTRUCTION, c.Text(14).c_str());
    HWND agreement = GetDlgItem(hwnd, IDC_AGREEMENT);
    SetFocus(agreement);
    auto end = static_cast<WPARAM>(c.Text(0).size());
    SendMessageW(agreement, EM_SETSEL, end, static_cast<LPARAM>(end));
    return FALSE; // the focus is set
}

void CDialogEulaBox::OnCommand(HWND hwnd, int controlId, HWND, UINT)
{
    if (controlId == IDOK)
        EndDialog(hwnd, 1);
}

HBRUSH CDialogEulaBox::OnCtlColor(HWND, HDC dc, HWND control, int kind)
{
    if (kind != kCtlColorStatic || GetDlgCtrlID(control) != IDC_AGREEMENT)
        return nullptr;
    SetBkMode(dc, TRANSPARENT);
    return GetSysColorBrush(COLOR_WINDOW);
}

BOOL CDialogAboutBox::OnInitDialog(HWND hwnd, WPARAM, LPARAM)
{
    // The client area is 300 x 270 whatever the frame.
    RECT window{}, client{};
    GetWindowRect(hwnd, &window);
    GetClientRect(hwnd, &client);
    int frameX = (window.right - window.left) - (client.right - client.left);
    int frameY = (window.bottom - window.top) - (client.bottom - client.top);
    constexpr UINT kMove = SWP_NOZORDER | SWP_NOACTIVATE;
    SetWindowPos(hwnd, nullptr, 0, 0, 300 + frameX, 270 + frameY, kMove | SWP_NOMOVE);
    SetWindowPos(GetDlgItem(hwnd, IDC_PICTURE), nullptr, 0, 0, 300, 150, kMove);
    int y = 160;
    for (int id : {IDC_PRODUCT, IDC_VERSION, IDC_BUILD})
    {
        SetWindowPos(GetDlgItem(hwnd, id), nullptr, 0, y, 300, 20, kMove);
        y += 20;
    }
    SetWindowPos(GetDlgItem(hwnd, IDC_NOTICE), nullptr, 0, 250, 300, 20, kMove);
    SetWindowPos(GetDlgItem(hwnd, IDOK), nullptr, 110, 220, 80, 25, kMove);

    const CSetupContext& c = Context();
    WString version, build, notice;
    DWORD ignored = 0;
    DWORD size = GetFileVersionInfoSizeW(c.modulePath.c_str(), &ignored);
    std::vector<BYTE> block(size);
    if (size && GetFileVersionInfoW(c.modulePath.c_str(), 0, size, block.data()))
    {
        VS_FIXEDFILEINFO* fixed = nullptr;
        UINT length = 0;
        if (VerQueryValueW(block.data(), TEXT("\\"), reinterpret_cast<LPVOID*>(&fixed), &length) && fixed &&
            length >= sizeof(VS_FIXEDFILEINFO))
            version =
                FormatVersionText(c.Text(15), HIWORD(fixed->dwFileVersionMS), LOWORD(fixed->dwFileVersionMS));
        build = c.Text(RunningBuildId() == kSetup64BuildId ? 16 : 17);
        LPWSTR copyright = nullptr;
        if (VerQueryValueW(block.data(), TEXT("\\StringFileInfo\\040004b0\\LegalCopyright"),
                           reinterpret_cast<LPVOID*>(&copyright), &length) &&
            copyright)
        {
            // The length may or may not count the terminator: the text ends at the first one.
            notice.assign(copyright, length);
            notice.resize(std::min(notice.find(WCHAR{0}), size_t{99}));
        }
    }
    SetDlgItemTextW(hwnd, IDC_VERSION, version.c_str());
    SetDlgItemTextW(hwnd, IDC_BUILD, build.c_str());
    SetDlgItemTextW(hwnd, IDC_NOTICE, notice.c_str());
    return TRUE;
}

void CDialogAboutBox::OnCommand(HWND hwnd, int controlId, HWND, UINT)
{
    if (controlId == IDOK)
        EndDialog(hwnd, 1);
}

} // namespace KGSetupPropertySheet

} // namespace kgsetup
