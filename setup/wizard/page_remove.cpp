// The Remove page: the maker's printers and driver packages to remove, chosen with check boxes.
#include "inventory.h"
#include "modify_pages.h"
#include "status_word.h"
#include "taskkill.h"
#include "wizard.h"

#include <algorithm>
#include <set>

namespace kgsetup
{

std::vector<RemoveRow> BuildRemoveRows(const std::vector<RemoveInf>& infs)
{
    std::vector<RemoveRow> rows;
    std::set<WString> listed;
    for (const RemoveInf& inf : infs)
    {
        for (const RemoveInf::Driver& driver : inf.drivers)
        {
            if (driver.version != 3 && driver.version != 4)
                continue;
            for (const WString& printer : driver.printers)
                if (listed.insert(printer).second)
                    rows.push_back({printer, driver.version, false});
        }
        // A package whose driver is gone (an install or a removal that failed between the two) has
        // its row too: nothing else would ever take it out of the store.
        rows.push_back({inf.line, 0, true});
    }
    return rows;
}

DWORD RemoveButtons(const std::vector<RemoveRow>& rows)
{
    bool any = std::any_of(rows.begin(), rows.end(), [](const RemoveRow& r) { return r.checked; });
    return any ? PSWIZB_BACK | PSWIZB_NEXT : PSWIZB_BACK;
}

RemoveChoice ChooseRemoval(const std::vector<RemoveRow>& rows)
{
    RemoveChoice choice;
    for (const RemoveRow& row : rows)
    {
        if (!row.checked || row.version == 0)
            continue;
        if (row.version < 32)
            choice.flags |= 1u << row.version;
        if (std::find(choice.printers.begin(), choice.printers.end(), row.text) == choice.printers.end())
            choice.printers.push_back(row.text);
    }
    return choice;
}

namespace
{
constexpr UINT kChecked = INDEXTOSTATEIMAGEMASK(2);
constexpr UINT kUnchecked = INDEXTOSTATEIMAGEMASK(1);

// The installed maker INFs with their V3 and V4 drivers and the printers of each.
std::vector<RemoveInf> InstalledForRemoval(DWORD& scanError)
{
    CDriverPackage package{WString()};
    package.oemInfFilter = kFilterMaker;
    CInstalledInventory inventory(&package);
    scanError = inventory.infError;
    WCHAR windows[MAX_PATH] = {};
    UINT length = GetWindowsDirectoryW(windows, MAX_PATH);
    const WString folder =
        (length && length < MAX_PATH ? WString(windows, length) : WString(TEXT("C:\\Windows"))) +
        TEXT("\\INF\\");
    std::vector<RemoveInf> infs;
    for (const WString& name : package.oemInfs)
    {
        RemoveInf inf;
        DWORD readError = 0;
        inf.line = DriverLineOfInf(folder + name, &readError);
        scanError = scanError ? scanError : readError;
        auto drivers = inventory.driversByInf.find(name);
        if (drivers != inventory.driversByInf.end())
            for (const DRIVER_INFO_8W& record : drivers->second.records)
            {
                RemoveInf::Driver driver;
                driver.version = record.cVersion;
                const WString driverName = record.pName ? WString(record.pName) : WString();
                auto printers = inventory.printersByDriver.find(driverName);
                if (printers != inventory.printersByDriver.end())
                    for (const PRINTER_INFO_2W& p : printers->second.records)
                        if (p.pPrinterName)
                            driver.printers.emplace_back(p.pPrinterName);
                inf.drivers.push_back(std::move(driver));
            }
        infs.push_back(std::move(inf));
    }
    return infs;
}

std::vector<RemoveRow> ReadRows(HWND list)
{
    std::vector<RemoveRow> rows;
    int count = static_cast<int>(SendMessageW(list, LVM_GETITEMCOUNT, 0, 0));
    for (int i = 0; i < count; ++i)
    {
        WCHAR text[260] = {};
        LVITEMW item{};
        item.mask = LVIF_TEXT | LVIF_PARAM | LVIF_STATE;
        item.iItem = i;
        item.stateMask = LVIS_STATEIMAGEMASK;
        item.pszText = text;
        item.cchTextMax = 260;
        SendMessageW(list, LVM_GETITEMW, 0, reinterpret_cast<LPARAM>(&item));
        rows.push_back(
            {text, static_cast<DWORD>(item.lParam), (item.state & LVIS_STATEIMAGEMASK) == kChecked});
    }
    return rows;
}

void SetChecked(HWND list, int index, bool checked)
{
    LVITEMW item{};
    item.stateMask = LVIS_STATEIMAGEMASK;
    item.state = checked ? kChecked : kUnchecked;
    SendMessageW(list, LVM_SETITEMSTATE, static_cast<WPARAM>(index), reinterpret_cast<LPARAM>(&item));
}
} // namespace

namespace KGSetupPropertySheet
{

BOOL CPropSheetRemove::OnInitDialog(HWND hwnd, WPARAM, LPARAM)
{
    Context().flags = 0;
    SetWizardButtons(hwnd, 0);
    CentreSheetOnce(hwnd);
    HWND list = GetDlgItem(hwnd, IDC_LIST);
    SendMessageW(list, LVM_SETEXTENDEDLISTVIEWSTYLE, LVS_EX_CHECKBOXES | LVS_EX_FULLROWSELECT,
                 LVS_EX_CHECKBOXES | LVS_EX_FULLROWSELECT);
    int column = 0;
    for (int width : {300, 35})
    {
        LVCOLUMNW c{};
        c.mask = LVCF_WIDTH;
        c.cx = width;
        SendMessageW(list, LVM_INSERTCOLUMNW, static_cast<WPARAM>(column++), reinterpret_cast<LPARAM>(&c));
    }
    int index = 0;
    for (const RemoveRow& row : BuildRemoveRows(InstalledForRemoval(scanError)))
    {
        LVITEMW item{};
        item.mask = LVIF_TEXT | LVIF_PARAM | LVIF_STATE;
        item.iItem = index;
        item.pszText = const_cast<LPWSTR>(row.text.c_str());
        item.lParam = static_cast<LPARAM>(row.version);
        item.stateMask = LVIS_STATEIMAGEMASK;
        item.state = row.checked ? kChecked : kUnchecked;
        int at = static_cast<int>(SendMessageW(list, LVM_INSERTITEMW, 0, reinterpret_cast<LPARAM>(&item)));
        if (at < 0)
            continue;
        SetChecked(list, at, row.checked); // some list views drop the state given at insertion
        if (row.version != 0)
        {
            WString kind = row.version == 3 ? TEXT("V3") : TEXT("V4");
            LVITEMW sub{};
            sub.iSubItem = 1;
            sub.pszText = kind.data();
            SendMessageW(list, LVM_SETITEMTEXTW, static_cast<WPARAM>(at), reinterpret_cast<LPARAM>(&sub));
        }
        ++index;
    }
    buttons = RemoveButtons(ReadRows(list));
    return TRUE;
}

void CPropSheetRemove::OnCommand(HWND hwnd, int controlId, HWND, UINT notifyCode)
{
    if (notifyCode != BN_CLICKED || (controlId != IDC_CHECK_ALL && controlId != IDC_UNCHECK_ALL))
        return;
    HWND list = GetDlgItem(hwnd, IDC_LIST);
    std::vector<RemoveRow> rows = ReadRows(list);
    bool driverRow = false;
    for (size_t i = 0; i < rows.size(); ++i)
    {
        driverRow = driverRow || rows[i].version == 0;
        if (controlId == IDC_CHECK_ALL || rows[i].version != 0)
            SetChecked(list, static_cast<int>(i), controlId == IDC_CHECK_ALL);
    }
    if (controlId == IDC_CHECK_ALL)
        buttons = RemoveButtons(ReadRows(list)); // an empty list still has nothing to remove
    else if (!driverRow)
        buttons = PSWIZB_BACK;
    SetWizardButtons(hwnd, buttons);
}

LRESULT CPropSheetRemove::OnNotify(HWND hwnd, int controlId, NMHDR* header)
{
    CSetupContext& c = Context();
    if (controlId == IDC_LIST && header->code == LVN_ITEMCHANGED)
    {
        const auto* change = reinterpret_cast<const NMLISTVIEW*>(header);
        HWND list = header->hwndFrom;
        if (change->lParam == 0 && change->iItem >= 0 &&
            (change->uNewState & LVIS_STATEIMAGEMASK) == kUnchecked)
            SetChecked(list, change->iItem, true); // a driver row stays chosen
        buttons = RemoveButtons(ReadRows(list));
        SetWizardButtons(hwnd, buttons);
        return 0;
    }
    switch (header->code)
    {
    case PSN_SETACTIVE:
        // Rows missing for an INF that could not be read would hide drivers: the failure instead.
        if (scanError)
        {
            c.LogError(scanError);
            c.statusWord = kFailGeneral;
            return JumpToFinish(hwnd);
        }
        SetWizardButtons(hwnd, 0);
        savedNextText = NextButtonText(hwnd);
        SetNextButtonText(hwnd, c.Text(87));
        SetHeaderTexts(hwnd, 85, 86);
        SetDlgItemTextW(hwnd, IDC_CHECK_ALL, c.Text(88).c_str());
        SetDlgItemTextW(hwnd, IDC_UNCHECK_ALL, c.Text(89).c_str());
        SetWizardButtons(hwnd, buttons);
        return 0;
    case PSN_WIZNEXT: {
        SetWizardButtons(hwnd, 0);
        SetNextButtonText(hwnd, savedNextText);
        RemoveChoice choice = ChooseRemoval(ReadRows(GetDlgItem(hwnd, IDC_LIST)));
        c.flags = choice.flags;
        c.printersToUpdate = std::move(choice.printers);
        return (c.flags & (1u << 3)) ? StartStepOnceDriverDllUsersClosed(hwnd) : StartStep(hwnd);
    }
    case PSN_WIZBACK:
        SetNextButtonText(hwnd, savedNextText);
        return GoBack(hwnd);
    default:
        return 0;
    }
}

} // namespace KGSetupPropertySheet
} // namespace kgsetup
