// The spooler's printer events: INITIALIZE writes the printer data the rest of the driver reads (the
// print-to-file default, the printer-level settings, the print processor, the resolution comment and,
// for the user-mode variant, the spool DLL's name); every other event needs nothing of this driver.
#pragma once

#include <platform/winddiui.h>

#include <optional>

namespace velmoui
{

inline constexpr const WCHAR* kPrintProcessorName = TEXT("KglPrint");
inline constexpr const WCHAR* kUserModeDriverValue = TEXT("SPLUserModePrinterDriver");
inline constexpr const WCHAR* kUserModeSpoolDll = TEXT("VelmQ7UM");
inline constexpr size_t kMaxCommentLength = 259; // what a printer's comment may hold

BOOL DrvPrinterEvent(LPWSTR printerName, INT event, DWORD flags, LPARAM lParam);

// The printer comment with the resolution lines of `resolutionType` behind `oldComment` (none: no
// line break in front). Nothing when the type has no lines or the result would be too long.
std::optional<WString> ResolutionComment(const WCHAR* oldComment, const WString& driverName,
                                         LONG resolutionType);

} // namespace velmoui
