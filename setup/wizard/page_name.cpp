// The Name page: a default printer name proposed, and the name the user types checked.
#include "install_pages.h"
#include "inventory.h"
#include "ports.h"

#include <string>

namespace kgsetup
{

namespace
{
constexpr WCHAR kPrintToFile[] = TEXT("Print to File");
// Bounds the search for a free name: every candidate is one spooler enumeration.
constexpr int kMaxNameTries = 10000;

WString Decimal(int value)
{
    std::string digits = std::to_string(value);
    return WString(digits.begin(), digits.end());
}

// The device the name was made for: its kind and what tells it from another of that kind.
WString DeviceKey(const CSetupContext& c)
{
    if (c.connectionKind != 3 || !c.selectedDevice)
        return WString();
    const FoundDevice& d = *c.selectedDevice;
    return Decimal(d.kind) + TEXT("|") + d.localKey + TEXT("|") + d.ipAddress;
}

WString EditText(HWND edit)
{
    WCHAR text[kMaxPrinterName + 1] = {};
    int n = GetWindowTextW(edit, text, kMaxPrinterName + 1);
    return WString(text, static_cast<size_t>(std::max(n, 0)));
}

void CaretToEnd(HWND edit)
{
    SetFocus(edit);
    auto end = static_cast<WPARAM>(GetWindowTextLengthW(edit));
    SendMessageW(edit, EM_SETSEL, end, static_cast<LPARAM>(end));
}
} // namespace

bool LocalPrinterExists(const WString& name)
{
    return !EnumPrintersByName({name}).records.empty();
}

WString MakeDefaultPrinterName(const CSetupContext& c, const std::function<bool(const WString&)>& exists)
{
    if (c.connectionKind == 0)
        return WString();
    WString model;
    if (c.connectionKind == 3 && c.selectedDevice)
        model = c.selectedDevice->displayName;
    else if (c.selectedModel < c.models.size())
        model = c.models[c.selectedModel];
    model = NormalizeModelName(model);
    WString suffix;
    if (c.connectionKind == 2)
        suffix = c.driverKind == 4 ? TEXT(" [File]") : TEXT(" Print to File");
    if (model.empty() && suffix.empty())
        return WString();
    // The model part gives way, so the suffix and the number always fit and are always tested.
    for (int n = 0; n < kMaxNameTries; ++n)
    {
        WString tail = suffix + (n ? TEXT("_") + Decimal(n) : WString());
        size_t room = tail.size() < size_t{kMaxPrinterName} ? kMaxPrinterName - tail.size() : 0;
        WString candidate = model.substr(0, room) + tail;
        if (candidate.size() > size_t{kMaxPrinterName})
            candidate.resize(kMaxPrinterName);
        if (!exists(candidate))
            return candidate;
    }
    return WString();
}

NameCheck CheckPrinterName(WStringView typed, const CSetupContext& c,
                           const std::function<bool(const WString&)>& exists)
{
    WString name(typed.substr(0, kMaxPrinterName));
    size_t last = name.find_last_not_of(TEXT(" \t\u3000"));
    name.resize(last == WString::npos ? 0 : last + 1);
    NameCheck check;
    // A name of blanks only is as empty as no name.
    if (name.empty() || name.find_first_of(TEXT(",\\")) != WString::npos || exists(name))
    {
        check.warning = IDC_WARNING_INVALID;
        return check;
    }
    if (c.driverKind == 3 && c.connectionKind == 2 && name.find(kPrintToFile) == WString::npos)
    {
        check.warning = IDC_WARNING_PRINT_TO_FILE;
        return check;
    }
    check.buttons = PSWIZB_BACK | PSWIZB_NEXT;
    return check;
}

namespace KGSetupPropertySheet
{

BOOL CPropSheetName::OnInitDialog(HWND hwnd, WPARAM, LPARAM)
{
    SetWizardButtons(hwnd, 0);
    buttons = 0;
    SendMessageW(GetDlgItem(hwnd, IDC_PRINTER_NAME), EM_LIMITTEXT, static_cast<WPARAM>(maxLength), 0);
    WCHAR system[MAX_PATH] = {};
    UINT n = GetSystemDirectoryW(system, MAX_PATH);
    if (n > 0 && n < MAX_PATH)
    {
        WString user32 = WString(system, n) + TEXT("\\user32.dll");
        if (HMODULE module = LoadLibraryW(user32.c_str()))
        {
            HANDLE icon = LoadImageW(module, MAKEINTRESOURCEW(101), IMAGE_ICON, GetSystemMetrics(SM_CXSMICON),
                                     GetSystemMetrics(SM_CYSMICON), LR_SHARED);
            if (icon)
                SendMessageW(GetDlgItem(hwnd, IDC_WARNING_ICON), STM_SETICON, reinterpret_cast<WPARAM>(icon),
                             0);
            FreeLibrary(module); // the system keeps user32.dll and its shared icons loaded
        }
    }
    return TRUE;
}

void CPropSheetName::MakeDefaultName(HWND hwnd)
{
    WString name = MakeDefaultPrinterName(Context(), &LocalPrinterExists);
    SetDlgItemTextW(hwnd, IDC_PRINTER_NAME, name.c_str());
}

DWORD CPropSheetName::ValidateName(HWND hwnd)
{
    NameCheck check =
        CheckPrinterName(EditText(GetDlgItem(hwnd, IDC_PRINTER_NAME)), Context(), &LocalPrinterExists);
    ShowWindow(GetDlgItem(hwnd, IDC_WARNING_ICON), check.warning ? SW_SHOW : SW_HIDE);
    ShowWindow(GetDlgItem(hwnd, IDC_WARNING_INVALID),
               check.warning == IDC_WARNING_INVALID ? SW_SHOW : SW_HIDE);
    ShowWindow(GetDlgItem(hwnd, IDC_WARNING_PRINT_TO_FILE),
               check.warning == IDC_WARNING_PRINT_TO_FILE ? SW_SHOW : SW_HIDE);
    buttons = check.buttons;
    return buttons;
}

void CPropSheetName::OnCommand(HWND hwnd, int controlId, HWND, UINT notifyCode)
{
    if (controlId == IDC_PRINTER_NAME && notifyCode == EN_CHANGE)
        SetWizardButtons(hwnd, ValidateName(hwnd));
    else if (controlId == IDC_PRINTER_NAME_NOTE && notifyCode == BN_CLICKED)
    {
        MakeDefaultName(hwnd);
        CaretToEnd(GetDlgItem(hwnd, IDC_PRINTER_NAME));
    }
}

LRESULT CPropSheetName::OnNotify(HWND hwnd, int, NMHDR* header)
{
    switch (header->code)
    {
    case PSN_SETACTIVE: {
        SetWizardButtons(hwnd, 0);
        CSetupContext& c = Context();
        WString device = DeviceKey(c);
        if (static_cast<int>(c.selectedModel) != lastModel || c.connectionKind != lastConnectionKind ||
            device != lastDevice)
        {
            lastModel = static_cast<int>(c.selectedModel);
            lastConnectionKind = c.connectionKind;
            lastDevice = device;
            MakeDefaultName(hwnd);
        }
        SetHeaderTexts(hwnd, 62, 63);
        SetDlgItemTextW(hwnd, IDC_PRINTER_NAME_LABEL, c.Text(62).c_str());
        SetDlgItemTextW(hwnd, IDC_PRINTER_NAME_NOTE, c.Text(64).c_str());
        SetDlgItemTextW(hwnd, IDC_WARNING_INVALID, c.Text(65).c_str());
        WString note = c.Text(66);
        if (size_t at = note.find(TEXT("%s")); at != WString::npos)
            note.replace(at, 2, kPrintToFile);
        SetDlgItemTextW(hwnd, IDC_WARNING_PRINT_TO_FILE, note.c_str());
        SetWizardButtons(hwnd, ValidateName(hwnd));
        CaretToEnd(GetDlgItem(hwnd, IDC_PRINTER_NAME));
        return 0;
    }
    case PSN_WIZNEXT:
        Context().printerName = EditText(GetDlgItem(hwnd, IDC_PRINTER_NAME));
        return GoNext(hwnd);
    case PSN_WIZBACK:
        return GoBack(hwnd);
    default:
        return 0;
    }
}

} // namespace KGSetupPropertySheet

} // namespace kgsetup
