// The device sheet's page: the minimum print-count warning kept in the printer block.
#pragma once

#include "page_common.h"

namespace velmoui
{

inline constexpr LONG kMinWarnCount = 1;
inline constexpr LONG kMaxWarnCount = 989901;

// The block's dwords at 296 (the warning switch) and 300 (its threshold in copies times sets).
LONG& WarnSwitch(SettingsRecord& r);
LONG& WarnThreshold(SettingsRecord& r);

struct FieldRead
{
    LONG value;
    bool corrected; // the page shows the value and stays
};

// The threshold as typed: brought into 1..989901; unreadable text keeps `previous`.
FieldRead ReadWarnThreshold(WStringView typed, LONG previous);

extern const HelpRow g_PreferencesHelp[6];

INT_PTR CALLBACK PreferencesPageProc(HWND dialog, UINT message, WPARAM wParam, LPARAM lParam);

} // namespace velmoui
