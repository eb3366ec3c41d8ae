#include "page_search.h"

#include "driver_package.h"

namespace kgsetup::KGSetupPropertySheet
{
namespace
{
constexpr DWORD kSearchMs = 500;
constexpr DWORD kSearchAgainMs = 1500;

struct RadioChoice
{
    int control;
    int textId;
    WORD connectionKind;
};
constexpr RadioChoice kRadios[] = {
    {IDC_FOUND_DEVICE, 40, 3},
    {IDC_CONNECT_LATER, 45, 0},
    {IDC_CUSTOM, 52, 4},
    {IDC_PRINT_TO_FILE, 48, 2},
};

constexpr int kColumnTexts[] = {42, 43, 44};
constexpr int kColumnWidths[] = {160, 160, 170};

// The models of a language's package INF.
std::vector<WString> PackageModels(UINT lcid)
{
    const CSetupContext& c = Context();
    WCHAR folder[MAX_PATH] = {};
    if (!c.GetLanguageFolder(lcid, folder, MAX_PATH, TRUE, c.driverKind != 3))
        return {};
    const WString inf = WString(folder) + (c.driverKind == 3 ? TEXT("VelmoQ7.inf") : TEXT("VeKglV4.inf"));
    return CDriverPackage(inf).models;
}

std::vector<WString> PageModels()
{
    const CSetupContext& c = Context();
    if (!c.driverInstalled)
        return PackageModels(c.installLcid);
    std::vector<WString> all;
    for (const auto& [name, path] : c.CopyInstalledInfs())
    {
        std::vector<WString> some = CDriverPackage(path).models;
        all.insert(all.end(), some.begin(), some.end());
    }
    return all;
}

void SetColumnText(HWND list, int column, const WString& text)
{
    LVCOLUMNW col{};
    col.mask = LVCF_TEXT;
    col.pszText = const_cast<WCHAR*>(text.c_str());
    SendMessageW(list, LVM_SETCOLUMNW, static_cast<WPARAM>(column), reinterpret_cast<LPARAM>(&col));
}
} // namespace

CPropSheetSearch::CPropSheetSearch()
    : CBasePropPage(IDD_SEARCH), deviceSearch(std::make_shared<DeviceSearchThread>())
{
}

CPropSheetSearch::~CPropSheetSearch()
{
    StopSearch();
}

bool CPropSheetSearch::IsCurrent(HWND hwnd) const
{
    return reinterpret_cast<HWND>(SendMessageW(GetParent(hwnd), PSM_GETCURRENTPAGEHWND, 0, 0)) == hwnd;
}

void CPropSheetSearch::StartSearch(HWND hwnd, DWORD timeoutMs)
{
    if (!discover) // the list could not be made at the start: tried again with each search
    {
        discover = discoverRX::Create(hwnd, static_cast<WORD>(kSearchMs));
        if (discover)
            discover->SetModels(models);
    }
    if (!discover || !deviceSearch->StartSearch(hwnd, discover, timeoutMs, Context().driverKind))
        return; // no search: the list stays as it is and can be searched again
    EnableWindow(GetDlgItem(hwnd, IDC_SEARCH_AGAIN), FALSE);
}

void CPropSheetSearch::StopSearch()
{
    if (discover)
        discover->running = 0;
    deviceSearch->Cancel();
}

BOOL CPropSheetSearch::OnInitDialog(HWND hwnd, WPARAM, LPARAM)
{
    SetWizardButtons(hwnd, 0);
    CentreSheetOnce(hwnd);
    listView = GetDlgItem(hwnd, IDC_DEVICES);
    const DWORD styles = LVS_EX_GRIDLINES | LVS_EX_FULLROWSELECT;
    SendMessageW(listView, LVM_SETEXTENDEDLISTVIEWSTYLE, styles, styles);
    const CSetupContext& c = Context();
    for (int i = 0; i < 3; ++i)
    {
        LVCOLUMNW col{};
        col.mask = LVCF_FMT | LVCF_WIDTH | LVCF_TEXT | LVCF_SUBITEM;
        col.fmt = LVCFMT_LEFT;
        col.cx = kColumnWidths[i];
        col.pszText = const_cast<WCHAR*>(c.Text(kColumnTexts[i]).c_str());
        col.iSubItem = i;
        SendMessageW(listView, LVM_INSERTCOLUMNW, static_cast<WPARAM>(i), reinterpret_cast<LPARAM>(&col));
    }
    discover = discoverRX::Create(hwnd, static_cast<WORD>(kSearchMs));
    models = PageModels();
    if (discover)
        discover->SetModels(models);
    CheckDlgButton(hwnd, IDC_FOUND_DEVICE, BST_CHECKED);
    CheckDlgButton(hwnd, IDC_CONNECT_LATER, BST_UNCHECKED);
    CheckDlgButton(hwnd, IDC_CUSTOM, BST_UNCHECKED);
    FillLanguages(hwnd);
    SetWizardButtons(hwnd, PSWIZB_BACK);
    if (c.driverInstalled)
    {
        EnableWindow(GetDlgItem(hwnd, IDC_CONNECT_LATER), FALSE);
        EnableWindow(GetDlgItem(hwnd, IDC_INSTALL_LANGUAGE), FALSE);
    }
    return TRUE;
}

void CPropSheetSearch::FillLanguages(HWND hwnd)
{
    const CSetupContext& c = Context();
    HWND combo = GetDlgItem(hwnd, IDC_INSTALL_LANGUAGE);
    SendMessageW(combo, CB_RESETCONTENT, 0, 0);
    LanguageChoices choices = LanguagesOffered(c.packageMask, c.installLcid);
    languages = choices.entries;
    for (const InstallLanguage& language : languages)
        SendMessageW(combo, CB_ADDSTRING, 0, reinterpret_cast<LPARAM>(c.Text(language.textId).c_str()));
    if (choices.selected >= 0)
        SendMessageW(combo, CB_SETCURSEL, static_cast<WPARAM>(choices.selected), 0);
}

void CPropSheetSearch::SetTexts(HWND hwnd)
{
    const CSetupContext& c = Context();
    for (const RadioChoice& radio : kRadios)
        SetDlgItemTextW(hwnd, radio.control, c.Text(radio.textId).c_str());
    SetDlgItemTextW(hwnd, IDC_SEARCH_AGAIN, c.Text(41).c_str());
    SetDlgItemTextW(hwnd, IDC_INSTALL_LANGUAGE_LABEL, c.Text(c.isWin7 ? 29 : 28).c_str());
    for (int i = 0; i < 3; ++i)
        SetColumnText(listView, i, c.Text(kColumnTexts[i]));
}

void CPropSheetSearch::ApplyRadio(HWND hwnd, int radio)
{
    if (!IsCurrent(hwnd)) // a late click must not move the sequence under another page
        return;
    const RadioChoice* choice = nullptr;
    for (const RadioChoice& r : kRadios)
        if (r.control == radio)
            choice = &r;
    if (!choice)
        return;
    CSetupContext& c = Context();
    c.connectionKind = choice->connectionKind;
    SetPageSequence(IDD_SEARCH, c.BuildPageSequence());
    const bool found = radio == IDC_FOUND_DEVICE;
    EnableWindow(listView, found);
    EnableWindow(GetDlgItem(hwnd, IDC_SEARCH_AGAIN), found);
    DWORD buttons = PSWIZB_BACK;
    if (!found || (c.selectedDevice && SendMessageW(listView, LVM_GETSELECTEDCOUNT, 0, 0) > 0))
        buttons |= PSWIZB_NEXT;
    SetWizardButtons(hwnd, buttons);
}

void CPropSheetSearch::Pick(HWND hwnd)
{
    if (!IsCurrent(hwnd))
        return;
    if (discover)
        discover->running = 0;
    CSetupContext& c = Context();
    const LRESULT selected = SendMessageW(listView, LVM_GETSELECTEDCOUNT, 0, 0);
    const LRESULT mark = SendMessageW(listView, LVM_GETSELECTIONMARK, 0, 0);
    LVITEMW item{};
    item.mask = LVIF_PARAM;
    item.iItem = static_cast<int>(mark);
    if (selected > 0 && mark >= 0 &&
        SendMessageW(listView, LVM_GETITEMW, 0, reinterpret_cast<LPARAM>(&item)) && item.lParam >= 0 &&
        static_cast<size_t>(item.lParam) < rows.size())
    {
        c.selectedDevice = rows[static_cast<size_t>(item.lParam)];
        c.connectionKind = 3;
        SetPageSequence(IDD_SEARCH, c.BuildPageSequence());
        SetWizardButtons(hwnd, PSWIZB_BACK | PSWIZB_NEXT);
        return;
    }
    c.selectedDevice.reset();
    SetWizardButtons(hwnd, PSWIZB_BACK);
}

void CPropSheetSearch::OnCommand(HWND hwnd, int controlId, HWND, UINT notifyCode)
{
    if (controlId == IDC_INSTALL_LANGUAGE && notifyCode == CBN_SELCHANGE)
    {
        if (!IsCurrent(hwnd))
            return;
        const LRESULT index = SendMessageW(GetDlgItem(hwnd, IDC_INSTALL_LANGUAGE), CB_GETCURSEL, 0, 0);
        if (index < 0 || static_cast<size_t>(index) >= languages.size())
            return;
        SetWizardButtons(hwnd, PSWIZB_BACK);
        Context().SetInstallLcid(languages[static_cast<size_t>(index)].lcid);
        models = PackageModels(Context().installLcid);
        if (discover)
            discover->SetModels(models);
        StartSearch(hwnd, kSearchMs);
        return;
    }
    if (notifyCode != BN_CLICKED)
        return;
    if (controlId == IDC_SEARCH_AGAIN)
    {
        if (!IsCurrent(hwnd))
            return;
        StartSearch(hwnd, kSearchAgainMs);
        SetWizardButtons(hwnd, PSWIZB_BACK);
        return;
    }
    if (IsDlgButtonChecked(hwnd, controlId) == BST_CHECKED)
        ApplyRadio(hwnd, controlId);
}

LRESULT CPropSheetSearch::OnNotify(HWND hwnd, int controlId, NMHDR* header)
{
    if (controlId == IDC_DEVICES)
    {
        if (header->code == NM_CLICK)
            Pick(hwnd);
        return 0;
    }
    switch (header->code)
    {
    case PSN_SETACTIVE:
        SetWizardButtons(hwnd, IsDlgButtonChecked(hwnd, IDC_FOUND_DEVICE) == BST_CHECKED
                                   ? PSWIZB_BACK
                                   : PSWIZB_BACK | PSWIZB_NEXT);
        SetHeaderTexts(hwnd, 26, 27);
        SetTexts(hwnd);
        FillLanguages(hwnd);
        StartSearch(hwnd, kSearchMs);
        return 0;
    case PSN_WIZNEXT:
        StopSearch();
        return GoNext(hwnd);
    case PSN_WIZBACK:
        StopSearch();
        return GoBack(hwnd);
    case PSN_RESET:
        StopSearch();
        return 0;
    default:
        return 0;
    }
}

INT_PTR CPropSheetSearch::OnMessage(HWND hwnd, UINT message, WPARAM, LPARAM)
{
    switch (message)
    {
    case WM_SEARCH_STARTED:
        EnableWindow(GetDlgItem(hwnd, IDC_SEARCH_AGAIN), FALSE);
        SendMessageW(listView, LVM_DELETEALLITEMS, 0, 0);
        rows.clear();
        return TRUE;
    case WM_LIST_CHANGED:
        if (discover)
            discover->RefreshList(listView, rows);
        return TRUE;
    case WM_SEARCH_ENDED:
        if (IsDlgButtonChecked(hwnd, IDC_FOUND_DEVICE) == BST_CHECKED)
            EnableWindow(GetDlgItem(hwnd, IDC_SEARCH_AGAIN), TRUE);
        // The chosen way applied again, now that the list is complete.
        for (const RadioChoice& radio : kRadios)
            if (IsDlgButtonChecked(hwnd, radio.control) == BST_CHECKED)
            {
                PostMessageW(hwnd, WM_COMMAND, MAKEWPARAM(radio.control, BN_CLICKED),
                             reinterpret_cast<LPARAM>(GetDlgItem(hwnd, radio.control)));
                break;
            }
        return TRUE;
    case WM_DESTROY:
        StopSearch();
        return FALSE;
    default:
        return FALSE;
    }
}

} // namespace kgsetup::KGSetupPropertySheet
