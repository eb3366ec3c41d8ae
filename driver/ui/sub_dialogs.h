// The modal dialogs the pages open: user paper sizes, the N-up page order, the booklet binding, the
// user ID explanation and the About box; and what they show, as plain functions.
#pragma once

#include "sheet_state.h"

#include <initializer_list>
#include <vector>

namespace velmoui
{

inline constexpr WORD kUserPaperDialog = 121;
inline constexpr WORD kOrderDialog = 122;
inline constexpr WORD kBindingDialog = 123;
inline constexpr WORD kUserIdDialog = 124;
inline constexpr WORD kAboutDialog = 100;

// Each runs modally, owned by `page`, on the sheet's working record. The user paper dialog gives IDOK
// when its changes were taken, IDCANCEL, or 2 when its editing copy cannot be had.
INT_PTR RunUserPaperDialog(HWND page, SheetState& state, const WString& caption);
INT_PTR RunOrderDialog(HWND page, SettingsRecord& r);
INT_PTR RunBindingDialog(HWND page, SettingsRecord& r);
INT_PTR RunUserIdDialog(HWND page, const WString& caption);
INT_PTR RunAboutDialog(HWND page);

// `format` with each "%s" replaced by the next of `values` (no fixed buffer, so no text is cut).
WString FormatTexts(const WString& format, std::initializer_list<WString> values);

// One choice of the order dialog: its radio button, the value it stores, and its picture.
struct OrderChoice
{
    int button;
    LONG value;
    WORD bitmap;
    UINT label; // a string replacing the template's text, 0 to keep it
    bool checked;
};
struct OrderView
{
    std::vector<OrderChoice> choices; // two for 2 pages per sheet, else four
    bool enabled;
};
OrderView OrderDialogView(LONG pagesPerSheet, LONG orientation, LONG order);
// The order the checked button stores; 1 when none is.
LONG OrderOfButton(int checkedButton);

// The About box's texts: the module line for Shift+Ctrl, the years of the build for the maker's
// line, and the legal notice as the read-only edit shows it.
WString CoreModuleText();
WString BuildYears();
WString LegalNoticeText();

} // namespace velmoui
