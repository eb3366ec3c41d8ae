// What every property page shares: decimal fields in the user's notation, the help tables that serve
// context help and the read-only sheet, and the page machinery under each page's own logic (the
// dialog procedure, the sheet notifications, help and the summary font).
#pragma once

#include "sheet_state.h"

#include <cstdint>
#include <memory>
#include <optional>
#include <span>

namespace velmoui
{

// Typed text as a number of 10^-decimals units: characters before the first digit are skipped (a
// '+' or '-' among them sets the sign), then up to 10 digits, then '.' or ',' and the decimals
// (missing ones count as 0). Only the first 12 characters count. Nothing when there is no digit.
std::optional<int64_t> ParseDecimal(WStringView text, int decimals);
// A value of 10^-decimals units with that many decimals and the separator given.
WString FormatDecimal(int64_t value, int decimals, WStringView separator);
// The user's decimal separator; "." when it cannot be read.
WString DecimalSeparator();
// A 64-bit value brought into [low, high].
LONG Clamp(int64_t value, LONG low, LONG high);

struct HelpRow
{
    int control;
    const WCHAR* keyword;
};

inline constexpr int kVersionText = 1003;
inline constexpr int kRestoreDefaults = 1011;
inline constexpr int kPreview = 1012;
inline constexpr int kSummary = 1013;
inline constexpr WORD kContextMenu = 170;
inline constexpr UINT kContextHelpCommand = 40001;

// One page over the sheet's working record. The machinery calls Load with notifications off, so what
// code writes into the controls is no change of the user's.
class Page
{
public:
    virtual ~Page() = default;

    SheetState* state = nullptr;
    HWND dialog = nullptr;

    virtual void Init() {}                           // lists and ranges
    virtual void Load() = 0;                         // record to controls
    virtual bool Command(int control, int code) = 0; // true when the user changed something
    virtual bool Scroll(HWND) { return false; }      // track bars
    // Controls to record; false when a value was corrected (the corrected value is shown, the page stays).
    virtual bool Leave() = 0;
    virtual std::span<const HelpRow> HelpTable() const = 0;
    virtual const WCHAR* Keyword() const = 0;
    virtual WString Summary() const { return {}; }
    virtual int KeepEnabled() const { return 0; } // a control a read-only sheet leaves enabled

    // Helpers for the pages.
    HWND Item(int id) const { return GetDlgItem(dialog, id); }
    void SetChecked(int id, bool on) const;
    bool Checked(int id) const;
    void Enable(int id, bool on) const;
    void Show(int id, bool on) const;
    void SetText(int id, const WString& text) const;
    WString Text(int id) const;
    // Tells the sheet, redraws the preview and rebuilds the summary.
    void Changed();
    // Reloads the controls without notifying changes.
    void Reload();
    int Message(const WString& text, UINT style) const;
    WString SheetCaption() const;
    // Puts the system's help icon on a static; the page destroys it with itself. Without it the
    // static stays empty.
    void ShowHelpIcon(int id);
    // Puts one of the system's shared icons (IDI_...) on a static.
    void ShowSystemIcon(int id, LPCWSTR icon) const;

    bool loading = false;
    WORD templateId = 0;
    HFONT summaryFont = nullptr;
    HICON helpIcon = nullptr;
};

// Looks a keyword up in the sheet's help file.
void ShowHelpKeyword(const SheetState& state, HWND caller, const WCHAR* keyword);

// The dialog procedure shared by every page; `make` gives the page its logic.
INT_PTR PageDialogProc(std::unique_ptr<Page> (*make)(), HWND dialog, UINT message, WPARAM wParam,
                       LPARAM lParam);

// The summary control's font: the icon-title font at 11/12 of its height.
LONG SummaryFontHeight(LONG iconTitleHeight);

} // namespace velmoui
