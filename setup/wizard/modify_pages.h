// What the Update and Remove pages show and decide, apart from their windows.
#pragma once

#include <platform/windows.h>

#include <vector>

namespace kgsetup
{

// An installed INF's line: its ClassVer and the date and version of its DriverVer, each empty when
// the INF lacks it.
WString DriverLine(WStringView classVer, WStringView date, WStringView version);

// The line of the installed INF at `infPath`, read from its [Version] section; why it could not
// be read goes to *readError (0 when it was, or is no INF).
WString DriverLineOfInf(const WString& infPath, DWORD* readError = nullptr);

// The lines of the installed maker OEM INFs that `filter` picks; why the list may lack some goes to
// *scanError (0 when it was read whole).
std::vector<WString> InstalledInfLines(DWORD filter, DWORD* scanError = nullptr);

// The sheet's Next button text (up to 100 characters), and setting it.
WString NextButtonText(HWND page);
void SetNextButtonText(HWND page, const WString& text);

// One row of the Remove page: a printer (version 3 or 4) or an INF's driver row (version 0).
struct RemoveRow
{
    WString text;
    DWORD version = 0;
    bool checked = false;
};

struct RemoveInf
{
    WString line;
    struct Driver
    {
        DWORD version = 0;
        std::vector<WString> printers;
    };
    std::vector<Driver> drivers;
};

// Rows in the page's order: each INF's V3 and V4 printers, then its checked driver row when it has
// any driver. A printer two INFs offer is listed once (first INF wins).
std::vector<RemoveRow> BuildRemoveRows(const std::vector<RemoveInf>& infs);

// Back alone when nothing is checked, else Back and Next.
DWORD RemoveButtons(const std::vector<RemoveRow>& rows);

struct RemoveChoice
{
    UINT flags = 0;
    std::vector<WString> printers;
};
// Bit n of flags per checked printer row of version n; the names of those printers, each once.
RemoveChoice ChooseRemoval(const std::vector<RemoveRow>& rows);

} // namespace kgsetup
