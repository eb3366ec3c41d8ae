// The Update page: the installed INFs of the kind about to be replaced.
#include "driver_package.h"
#include "inf_file.h"
#include "modify_pages.h"
#include "status_word.h"
#include "taskkill.h"
#include "wizard.h"

namespace kgsetup
{

WString DriverLine(WStringView classVer, WStringView date, WStringView version)
{
    WString line = TEXT("KORIGRAPH Printer Driver (V");
    if (classVer.empty())
        line += TEXT("3.0");
    else
        line += classVer.front();
    line += TEXT(") Ver:");
    line += version;
    line += TEXT(" Date:");
    line += date;
    return line;
}

WString DriverLineOfInf(const WString& infPath, DWORD* readError)
{
    CInfFile inf(infPath);
    if (readError)
        *readError = inf.ReadError();
    auto field = [&](const WString& key, DWORD index) {
        WString value = inf.GetField(TEXT("Version"), key, index);
        return value == kNoData ? WString() : value;
    };
    return DriverLine(field(TEXT("ClassVer"), 1), field(TEXT("DriverVer"), 1), field(TEXT("DriverVer"), 2));
}

namespace
{
WString InfFolder()
{
    WCHAR windows[MAX_PATH] = {};
    UINT length = GetWindowsDirectoryW(windows, MAX_PATH);
    return (length && length < MAX_PATH ? WString(windows, length) : WString(TEXT("C:\\Windows"))) +
           TEXT("\\INF\\");
}

} // namespace

std::vector<WString> InstalledInfLines(DWORD filter, DWORD* scanError)
{
    CDriverPackage package{WString()};
    package.FindMakerOemInfs(filter);
    if (scanError)
        *scanError = package.oemInfsError;
    std::vector<WString> lines;
    const WString folder = InfFolder();
    for (const WString& inf : package.oemInfs)
    {
        DWORD readError = 0;
        lines.push_back(DriverLineOfInf(folder + inf, &readError));
        if (scanError && !*scanError)
            *scanError = readError;
    }
    return lines;
}

WString NextButtonText(HWND page)
{
    WCHAR text[101] = {};
    GetWindowTextW(GetDlgItem(GetParent(page), kSheetNextButton), text, 101);
    return text;
}

void SetNextButtonText(HWND page, const WString& text)
{
    SetWindowTextW(GetDlgItem(GetParent(page), kSheetNextButton), text.c_str());
}

namespace KGSetupPropertySheet
{

BOOL CPropSheetUpdate::OnInitDialog(HWND hwnd, WPARAM, LPARAM)
{
    const CSetupContext& c = Context();
    const DWORD filter = c.driverKind == 4   ? kFilterMakerV4
                         : c.driverKind == 3 ? kFilterMakerV3
                                             : kFilterMaker;
    HWND list = GetDlgItem(hwnd, IDC_UPDATE_LIST);
    for (const WString& line : InstalledInfLines(filter, &scanError))
        SendMessageW(list, LB_ADDSTRING, 0, reinterpret_cast<LPARAM>(line.c_str()));
    SetWizardButtons(hwnd, PSWIZB_BACK | PSWIZB_NEXT);
    return TRUE;
}

LRESULT CPropSheetUpdate::OnNotify(HWND hwnd, int controlId, NMHDR* header)
{
    CSetupContext& c = Context();
    switch (header->code)
    {
    case PSN_SETACTIVE:
        // A list that could not be read would offer an update of what it missed: the failure instead.
        if (scanError)
        {
            c.LogError(scanError);
            c.statusWord = kFailGeneral;
            return JumpToFinish(hwnd);
        }
        SetWizardButtons(hwnd, PSWIZB_BACK | PSWIZB_NEXT);
        savedNextText = NextButtonText(hwnd);
        SetNextButtonText(hwnd, c.Text(84));
        SetHeaderTexts(hwnd, 82, 83);
        return 0;
    case PSN_WIZNEXT: {
        SetWizardButtons(hwnd, 0);
        SetNextButtonText(hwnd, savedNextText);
        return c.driverKind == 3 ? StartStepOnceDriverDllUsersClosed(hwnd) : StartStep(hwnd);
    }
    case PSN_WIZBACK:
        SetNextButtonText(hwnd, savedNextText);
        return GoBack(hwnd);
    default:
        return CSequencePage::OnNotify(hwnd, controlId, header);
    }
}

} // namespace KGSetupPropertySheet
} // namespace kgsetup
