// The state of one open document or device property sheet: the printer, the kind of sheet, the
// settings being edited and their opening copy, the table of pages and the records that describe each
// page to the property-sheet host. It lives in a private heap of its own; the option tables in another.
#pragma once

#include "printer_port.h"
#include "ui_tables.h"

#include <platform/winddiui.h>

#include <vector>

namespace velmoui
{

inline constexpr int kMaxSheetPages = 20;

enum SheetKind : int
{
    kSheetDocument = 0,
    kSheetAdvanced = 1,
    kSheetPrinterDefault = 2,
    kSheetDevice = 3,
};

// The header's fMode bits that decide the kind and the permission of a document sheet.
inline constexpr DWORD kModeAdvanced = 0x10;
inline constexpr DWORD kModeNoPermission = 0x20;
inline constexpr DWORD kModeUserDefault = 0x40;

inline constexpr WORD kPageKindDialog = 5;
inline constexpr DWORD kPageHasHelp = 0x1;
inline constexpr DWORD kPageIconGiven = 0x2;
inline constexpr DWORD kPageOwnInstance = 0x4;

// Page templates: the first of each pair for Windows Vista or newer, the second for older systems.
inline constexpr WORD kTemplatePreferences[2] = {110, 150};
inline constexpr WORD kTemplatePaper[2] = {111, 151};
inline constexpr WORD kTemplateLayout[2] = {112, 152};
inline constexpr WORD kTemplateGraphics[2] = {113, 153};
inline constexpr WORD kTemplateColour[2] = {114, 154};
inline constexpr WORD kTemplateOptions[2] = {115, 155};
inline constexpr WORD kTemplatePrintToFile[2] = {116, 156};

inline constexpr WORD kCallerVersion = 1835;
inline constexpr DWORD kFirstPageItemId = 100;
inline constexpr const WCHAR* kHelpFileName = TEXT("VelmoQ7.chm");

struct PageEntry
{
    WORD kind = kPageKindDialog;
    DWORD flags = kPageHasHelp;
    WORD templateId = 0;
    WORD iconId = 0;
    DLGPROC dialogProc = nullptr;
    const WCHAR* name = nullptr;
    HICON icon = nullptr;
    FARPROC callback = nullptr;
    // What the page needs of the option tables.
    WORD items = 0;
    WORD types = 0;
    WORD params = 0;
    WORD texts = 0;
    WORD textLength = 0;
    WORD halftoneSetups = 0;
    WORD extCheckBoxes = 0;
    WORD extPushButtons = 0;
};

struct PageSlot
{
    HANDLE hostPage;
    COMPROPSHEETUI ui;
    DLGPAGE dialogPage;
};

enum TableError : DWORD
{
    kTableOk = 0,
    kItemTableFull = 1,
    kTypeTableFull = 2,
    kParamTableFull = 3,
    kTextTableFull = 4,
    kHalftoneTableFull = 5,
    kExtCheckBoxTableFull = 6,
    kExtPushTableFull = 7,
    kParamsStillOpen = 8,
    kInvalidParameter = 9,
};

struct TableCapacity
{
    DWORD items = 0;
    DWORD types = 0;
    DWORD params = 0;
    DWORD texts = 0;
    DWORD textLength = 0; // wide characters a text slot holds, its terminator included
    DWORD halftoneSetups = 0;
    DWORD extCheckBoxes = 0;
    DWORD extPushButtons = 0;
};

// A halftone setup element, as the host's halftone dialog takes it.
struct HalftoneSetup
{
    DWORD deviceFlags;
    DWORD deviceXDpi;
    DWORD deviceYDpi;
    void* defaults;
    void* adjusted;
};

// One table: its elements, how many are used and how many additions were tried.
template <typename T> struct OptionTable
{
    T* at;
    DWORD used;
    DWORD capacity;
    DWORD attempts;
};

// The option records of every page, in one heap laid out as items, types, parameters, texts,
// halftone setups, extended check boxes and extended push buttons. Every builder returns nothing once
// an error is set.
struct OptionTables
{
    OptionTable<OPTITEM> items;
    OptionTable<OPTTYPE> types;
    OptionTable<OPTPARAM> params;
    OptionTable<WCHAR> texts; // `capacity` slots of `textLength` characters
    DWORD textLength;
    OptionTable<HalftoneSetup> halftoneSetups;
    OptionTable<EXTCHKBOX> extCheckBoxes;
    OptionTable<EXTPUSH> extPushButtons;
    DWORD openParams; // parameters the last type still waits for
    DWORD error;
    HANDLE heap;

    // Makes the heap and lays the tables out; false (nothing kept) when the heap cannot be had.
    bool Create(const TableCapacity& capacity);
    // Clears the tables and destroys their heap.
    void Destroy();

    LPWSTR AddText(const WCHAR* text);
    POPTITEM AddItem(BYTE level, const WCHAR* name, LONG selection, POPTTYPE type, void* extension,
                     bool extensionIsPush, DWORD itemId);
    // A type of `count` parameters, each then added with AddParam.
    POPTTYPE AddType(BYTE type, WORD count);
    POPTPARAM AddParam(const WCHAR* text, ULONG_PTR iconId);
    HalftoneSetup* AddHalftoneSetup();
    PEXTCHKBOX AddExtCheckBox(WORD flags, const WCHAR* title, const WCHAR* separator,
                              const WCHAR* checkedName, ULONG_PTR iconId);
    PEXTPUSH AddExtPush(WORD flags, const WCHAR* title, DLGPROC dialogProc);
    bool SetSelection(DWORD itemId, LONG selection);
    POPTITEM FindItem(DWORD itemId);
    // The attempts made on the table an error code names.
    DWORD AttemptsFor(DWORD errorCode) const;
};

struct SheetState
{
    SheetState* self;
    DWORD size;

    PageEntry pages[kMaxSheetPages];
    int pageCount;
    PageSlot slots[kMaxSheetPages];

    HANDLE printer;
    WCHAR printerName[260];
    int kind;
    BOOL editable;
    DWORD mode; // the header's fMode (document sheets)
    int osCode;

    // The host's callback for this sheet, kept at INIT for the pages' CPSFUNC_SET_RESULT.
    HANDLE hComPropSheet;
    PFNCOMPROPSHEET pfnComPropSheet;

    SettingsRecord working;
    SettingsRecord opening;

    WCHAR helpPath[260];
    WCHAR helpFileName[32];

    OptionTables tables;
    HANDLE heap;

    SheetState* back;
};

// What a sheet is opened for.
struct SheetRequest
{
    const DOCUMENTPROPERTYHEADER* document = nullptr;
    const DEVICEPROPERTYHEADER* device = nullptr;
    // A plain document sheet that the shell of the Windows folder opened (the Windows 2000 rule).
    bool openedByShell = false;
};

// The kind of a document sheet (device sheets are kSheetDevice).
int DocumentSheetKind(const DOCUMENTPROPERTYHEADER& header, int osCode, bool openedByShell);
bool SheetEditable(const SheetRequest& request);

// The pages of a sheet, in order.
std::vector<PageEntry> SheetPages(int kind, int osCode, LONG capabilityFlags, LONG printToFile);
// What the pages need of the option tables (one item for each dialog page on top of their own).
TableCapacity TablesFor(const std::vector<PageEntry>& pages);

// The text ReportTreeError shows for an error and the attempts made on its table.
WString TreeErrorText(DWORD errorCode, DWORD attempts);

// Null when the heap, the state or its tables cannot be had, or the tables overflow. `printer` reaches
// the spooler for the settings, the driver folder and the system's version.
SheetState* OpenSheetState(const SheetRequest& request, PrinterPort& printer);
SheetState* OpenSheetState(const DOCUMENTPROPERTYHEADER* header);
SheetState* OpenSheetState(const DEVICEPROPERTYHEADER* header);
// Releases the tables, then the state's heap. False for anything that is not a live state.
BOOL CloseSheetState(SheetState* state);
// Whether the pointer is a state opened and not yet closed; the pointer is never read.
BOOL IsSheetState(const void* state);
// Shows the tables' error (beep and box); FALSE when there was one.
BOOL ReportTreeError(SheetState* state);

// The dialog procedure of a page template (either system's id); null for a template without one.
DLGPROC PageProcedure(WORD templateId);

} // namespace velmoui
