// The Install page: the choices summed up, the V3 question, and the driver kind and INF settled
// before the install runs.
#include "driver_package.h"
#include "install_pages.h"

namespace kgsetup
{

namespace
{
constexpr WCHAR kRule[] = TEXT("\r\n  ================================= ");

WString SystemRootInf(const WString& oemInf)
{
    WCHAR folder[MAX_PATH] = {};
    UINT n = GetWindowsDirectoryW(folder, MAX_PATH);
    if (n == 0 || n >= MAX_PATH)
        return WString();
    return WString(folder, n) + TEXT("\\INF\\") + oemInf;
}

// The full path of the last maker OEM INF a filter finds; empty when it finds none, or when the
// list could not be read (the code logged: the install fails with it).
WString LastOemInf(CDriverPackage& package, DWORD filter)
{
    package.FindMakerOemInfs(filter);
    if (package.oemInfsError)
    {
        Context().LogError(package.oemInfsError);
        return WString();
    }
    return package.oemInfs.empty() ? WString() : SystemRootInf(package.oemInfs.back());
}

bool EndsWith(const WString& text, const WString& end)
{
    return text.size() >= end.size() && text.compare(text.size() - end.size(), end.size(), end) == 0;
}
} // namespace

WString V3RemovalQuestion(const CSetupContext& c)
{
    WString text = c.Text(78) + kRule + TEXT("\r\n  ") + c.Text(79);
    for (const WString& name : c.printersToUpdate)
        text += TEXT("\r\n  - ") + name;
    return text + kRule;
}

namespace KGSetupPropertySheet
{

BOOL CPropSheetInstall::OnInitDialog(HWND hwnd, WPARAM, LPARAM)
{
    SetWizardButtons(hwnd, 0);
    WCHAR text[101] = {};
    GetWindowTextW(GetDlgItem(GetParent(hwnd), kSheetNextButton), text, 101);
    savedNextText = text;
    SetWizardButtons(hwnd, PSWIZB_BACK | PSWIZB_NEXT);
    return TRUE;
}

void CPropSheetInstall::RestoreNextText(HWND hwnd)
{
    SetWindowTextW(GetDlgItem(GetParent(hwnd), kSheetNextButton), savedNextText.c_str());
}

void CPropSheetInstall::ShowSummary(HWND hwnd)
{
    const CSetupContext& c = Context();
    SetHeaderTexts(hwnd, 67, 68);
    SetDlgItemTextW(hwnd, IDC_SUMMARY_TITLE, c.Text(69).c_str());
    SetDlgItemTextW(hwnd, IDC_SUMMARY_CONNECTION_LABEL, c.Text(70).c_str());
    SetDlgItemTextW(hwnd, IDC_SUMMARY_PRINTER_LABEL, c.Text(71).c_str());
    SetDlgItemTextW(hwnd, IDC_SUMMARY_PORT_LABEL, c.Text(73).c_str());
    WString connection, printer = c.printerName, port;
    switch (c.connectionKind)
    {
    case 0:
        connection = c.Text(45);
        printer = c.Text(72);
        port = c.Text(74);
        break;
    case 2:
        connection = c.Text(48);
        port = TEXT("NUL:");
        break;
    case 3:
        if (!c.selectedDevice)
            return;
        switch (c.selectedDevice->kind)
        {
        case 1:
            connection = c.Text(51);
            port = TEXT("KORIGRAPH_") + c.selectedDevice->ipAddress;
            break;
        case 2:
            connection = c.Text(50);
            port = c.selectedDevice->portName;
            break;
        default:
            connection = c.Text(46);
            port = c.selectedDevice->portName;
            break;
        }
        break;
    case 4:
        connection = c.Text(52);
        if (c.selectedPort >= 0 && static_cast<size_t>(c.selectedPort) < c.portNames.size())
        {
            port = c.portNames[c.selectedPort];
            if (static_cast<size_t>(c.selectedPort) < c.portDescriptions.size())
                port += TEXT("  (") + c.portDescriptions[c.selectedPort] + TEXT(")");
        }
        break;
    default:
        return;
    }
    SetDlgItemTextW(hwnd, IDC_SUMMARY_CONNECTION, connection.c_str());
    SetDlgItemTextW(hwnd, IDC_SUMMARY_PRINTER, printer.c_str());
    SetDlgItemTextW(hwnd, IDC_SUMMARY_PORT, port.c_str());
}

bool CPropSheetInstall::SettleDriver()
{
    CSetupContext& c = Context();
    CDriverPackage package{WString()};
    if (c.driverKind != 0)
    {
        if (!c.driverInstalled)
            return true; // the package's own INF is installed
        // An installed kind whose OEM INF is gone has nothing to install from.
        WString inf = LastOemInf(package, c.driverKind == 3 ? kFilterMakerV3 : kFilterMakerV4);
        if (inf.empty())
            return false;
        c.SetInstalledInfPath(inf);
        return true;
    }
    WString model;
    if (c.connectionKind == 3 && c.selectedDevice)
        model = c.selectedDevice->displayName;
    else if (c.connectionKind != 0 && c.selectedModel < c.models.size())
        model = c.models[c.selectedModel];
    WString v4 = LastOemInf(package, kFilterMakerV4);
    if (v4.empty())
        return false;
    package.Reload(v4);
    if (package.infReadError)
    {
        c.LogError(package.infReadError);
        return false;
    }
    for (const WString& candidate : package.models)
        if (EndsWith(candidate, model))
        {
            c.driverKind = 4;
            c.SetInstalledInfPath(v4);
            return true;
        }
    WString v3 = LastOemInf(package, kFilterMakerV3);
    if (v3.empty())
        return false;
    c.driverKind = 3;
    c.SetInstalledInfPath(v3);
    return true;
}

LRESULT CPropSheetInstall::OnNotify(HWND hwnd, int, NMHDR* header)
{
    switch (header->code)
    {
    case PSN_SETACTIVE:
        SetWizardButtons(hwnd, PSWIZB_BACK | PSWIZB_NEXT);
        ShowSummary(hwnd);
        SetWindowTextW(GetDlgItem(GetParent(hwnd), kSheetNextButton), Context().Text(76).c_str());
        return 0;
    case PSN_WIZNEXT: {
        CSetupContext& c = Context();
        int answer = IDNO;
        if (c.versionCompare == 0 && c.updateAvailable)
            answer = MessageBoxW(hwnd, V3RemovalQuestion(c).c_str(), c.Text(77).c_str(),
                                 MB_ICONQUESTION | MB_YESNO);
        const DWORD boxError = answer == 0 ? GetLastError() : 0;
        if (answer == IDYES)
            c.versionCompare = 2;
        RestoreNextText(hwnd);
        // A question that could not be asked is no answer of the user's: a failure with its code.
        if (answer == 0)
        {
            c.LogError(boxError ? boxError : static_cast<DWORD>(E_FAIL));
            c.statusWord = 0x64000000;
            return JumpToFinish(hwnd);
        }
        if (!SettleDriver())
        {
            c.statusWord = 0x64000000;
            return JumpToFinish(hwnd);
        }
        return StartStep(hwnd);
    }
    case PSN_WIZBACK:
        RestoreNextText(hwnd);
        return GoBack(hwnd);
    default:
        return 0;
    }
}

} // namespace KGSetupPropertySheet

} // namespace kgsetup
