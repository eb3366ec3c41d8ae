#include "page_preferences.h"

#include "sub_dialogs.h"

#include <platform/boundary.h>
#include <platform/commctrl.h>

namespace velmoui
{

namespace
{
constexpr int kWarnSwitch = 1702;
constexpr int kWarnLabel = 1703;
constexpr int kWarnEdit = 1704;
constexpr int kWarnSpin = 1705;
constexpr int kWarnUnit = 1706;
constexpr int kAbout = 1707;
constexpr int kWarnChars = 6;

class PreferencesPage : public Page
{
public:
    void Init() override
    {
        SendDlgItemMessageW(dialog, kWarnEdit, EM_LIMITTEXT, kWarnChars, 0);
        SendDlgItemMessageW(dialog, kWarnSpin, UDM_SETRANGE32, kMinWarnCount, kMaxWarnCount);
    }

    void Load() override
    {
        SettingsRecord& r = state->working;
        SetChecked(kWarnSwitch, WarnSwitch(r) != 0);
        SendDlgItemMessageW(dialog, kWarnSpin, UDM_SETPOS32, 0, WarnThreshold(r));
        SetText(kWarnEdit, FormatDecimal(WarnThreshold(r), 0, TEXT("")));
        EnableGroup();
    }

    bool Command(int control, int code) override
    {
        SettingsRecord& r = state->working;
        if (control == kWarnSwitch && code == BN_CLICKED)
        {
            WarnSwitch(r) = Checked(kWarnSwitch) ? 1 : 0;
            EnableGroup();
            return true;
        }
        if (control == kWarnEdit && code == EN_CHANGE)
            return true; // read when the page is left
        if (control == kAbout && code == BN_CLICKED)
            RunAboutDialog(dialog);
        return false;
    }

    bool Leave() override
    {
        SettingsRecord& r = state->working;
        WarnSwitch(r) = Checked(kWarnSwitch) ? 1 : 0;
        FieldRead read = ReadWarnThreshold(Text(kWarnEdit), WarnThreshold(r));
        WarnThreshold(r) = read.value;
        if (read.corrected)
        {
            loading = true;
            SetText(kWarnEdit, FormatDecimal(read.value, 0, TEXT("")));
            SendDlgItemMessageW(dialog, kWarnSpin, UDM_SETPOS32, 0, read.value);
            loading = false;
        }
        return !read.corrected;
    }

    std::span<const HelpRow> HelpTable() const override { return g_PreferencesHelp; }
    const WCHAR* Keyword() const override { return TEXT("Preferences tab"); }
    int KeepEnabled() const override { return kAbout; }

private:
    void EnableGroup()
    {
        bool on = state->editable && Checked(kWarnSwitch);
        for (int id : {kWarnLabel, kWarnEdit, kWarnSpin, kWarnUnit})
            Enable(id, on);
    }
};

std::unique_ptr<Page> MakePreferences()
{
    return std::make_unique<PreferencesPage>();
}
} // namespace

const HelpRow g_PreferencesHelp[6] = {
    {kWarnSwitch, TEXT("idh_min_count_warning")}, {kWarnLabel, TEXT("idh_min_count_value")},
    {kWarnEdit, TEXT("idh_min_count_value")},     {kWarnSpin, TEXT("idh_min_count_value")},
    {kWarnUnit, TEXT("idh_min_count_value")},     {kAbout, TEXT("idh_version_information")},
};

LONG& WarnSwitch(SettingsRecord& r)
{
    return r.printer.printerValues[40];
}

LONG& WarnThreshold(SettingsRecord& r)
{
    return r.printer.printerValues[41];
}

FieldRead ReadWarnThreshold(WStringView typed, LONG previous)
{
    auto value = ParseDecimal(typed, 0);
    if (!value)
        return {previous, true};
    LONG clamped = Clamp(*value, kMinWarnCount, kMaxWarnCount);
    return {clamped, clamped != *value};
}

INT_PTR CALLBACK PreferencesPageProc(HWND dialog, UINT message, WPARAM wParam, LPARAM lParam)
{
    return platform::Boundary(
        INT_PTR{FALSE}, [&] { return PageDialogProc(MakePreferences, dialog, message, wParam, lParam); });
}

} // namespace velmoui
