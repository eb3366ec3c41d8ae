// The Modify page: update, add / repair or remove an installed maker driver.
#include "install_pages.h"
#include "wizard.h"

namespace kgsetup
{
namespace KGSetupPropertySheet
{

BOOL CPropSheetModify::OnInitDialog(HWND hwnd, WPARAM, LPARAM)
{
    SetWizardButtons(hwnd, 0);
    SetSheetIcon(hwnd);
    const std::pair<int, int> icons[] = {
        {IDC_UPDATE_BUTTON, IDI_UPDATE}, {IDC_REPAIR_BUTTON, IDI_REPAIR}, {IDC_REMOVE_BUTTON, IDI_REMOVE}};
    for (const auto& [button, icon] : icons)
    {
        HANDLE image = LoadImageW(g_wizard->instance, MAKEINTRESOURCEW(icon), IMAGE_ICON, 128, 128, 0);
        SendDlgItemMessageW(hwnd, button, BM_SETIMAGE, IMAGE_ICON, reinterpret_cast<LPARAM>(image));
    }
    CentreSheetOnce(hwnd);
    FillLanguageCombo(GetDlgItem(hwnd, IDC_LANGUAGE));
    const CSetupContext& c = Context();
    const int compare = c.driverKind == 3 ? c.v3CompareResult : c.v4CompareResult;
    EnableWindow(GetDlgItem(hwnd, IDC_UPDATE_BUTTON), compare == 2);
    return TRUE;
}

void CPropSheetModify::ApplyTexts(HWND hwnd)
{
    const CSetupContext& c = Context();
    SetHeaderTexts(hwnd, 18, 19);
    SetDlgItemTextW(hwnd, IDC_UPDATE_TEXT, c.Text(20).c_str());
    SetDlgItemTextW(hwnd, IDC_REPAIR_TEXT, c.Text(22).c_str());
    SetDlgItemTextW(hwnd, IDC_REMOVE_TEXT, c.Text(24).c_str());
    SetDlgItemTextW(hwnd, IDC_ABOUT, c.Text(10).c_str());
    SetDlgItemTextW(hwnd, IDC_LICENCE, c.Text(9).c_str());
    SetDlgItemTextW(hwnd, IDC_WINDOWS7_NOTE, c.Text(c.isWin7 ? 12 : 11).c_str());
}

void CPropSheetModify::OnCommand(HWND hwnd, int controlId, HWND control, UINT notifyCode)
{
    if (OnOpeningPageCommand(hwnd, controlId, control, notifyCode, [this](HWND page) { ApplyTexts(page); }) ||
        notifyCode != BN_CLICKED)
        return;
    WORD mode = 0;
    switch (controlId)
    {
    case IDC_UPDATE_BUTTON:
        mode = 1;
        break;
    case IDC_REPAIR_BUTTON:
        mode = 3;
        break;
    case IDC_REMOVE_BUTTON:
        mode = 2;
        break;
    default:
        return;
    }
    CSetupContext& c = Context();
    c.mode = mode;
    SetPageSequence(IDD_MODIFY, c.BuildPageSequence());
    MoveDirect(hwnd);
}

LRESULT CPropSheetModify::OnNotify(HWND hwnd, int controlId, NMHDR* header)
{
    switch (header->code)
    {
    case PSN_SETACTIVE: {
        HWND update = GetDlgItem(hwnd, IDC_UPDATE_BUTTON);
        HWND repair = GetDlgItem(hwnd, IDC_REPAIR_BUTTON);
        switch (Context().versionCompare)
        {
        case 3:
            EnableWindow(update, TRUE);
            EnableWindow(repair, FALSE);
            break;
        case 4:
            EnableWindow(update, FALSE);
            EnableWindow(repair, TRUE);
            break;
        case 6:
            EnableWindow(update, FALSE);
            EnableWindow(repair, FALSE);
            break;
        default:
            break;
        }
        SetWizardButtons(hwnd, 0); // the page is left by its mode buttons
        ApplyTexts(hwnd);
        return 0;
    }
    case PSN_WIZNEXT:
    case PSN_WIZBACK:
        SetPageSequence(IDD_MODIFY, Context().BuildPageSequence());
        return CSequencePage::OnNotify(hwnd, controlId, header);
    default:
        return 0;
    }
}

} // namespace KGSetupPropertySheet
} // namespace kgsetup
