#include "sheet_state.h"

#include "settings.h"
#include "spooler_printer.h"
#include "ui_settings.h"
#include "ui_strings.h"

#include <platform/winspool.h>

#include <algorithm>
#include <cstring>
#include <memory>
#include <mutex>
#include <new>
#include <set>
#include <span>

namespace velmoui
{

namespace
{
constexpr DWORD kCallerSheet = 13;
constexpr DWORD kConvertWithInput = kConvertWhole | kConvertMergeInput;

// States opened and not yet closed: IsSheetState asks here and never reads the pointer.
std::mutex g_liveMutex;
std::set<const void*>& LiveStates()
{
    static std::set<const void*> live;
    return live;
}

template <size_t N> void CopyText(WCHAR (&dst)[N], const WString& src)
{
    size_t n = std::min(src.size(), N - 1);
    std::copy_n(src.begin(), n, dst);
    dst[n] = 0;
}

template <typename T> T* Next(OptionTable<T>& table)
{
    if (table.used >= table.capacity)
        return nullptr;
    return table.at + table.used++;
}

size_t Align(size_t n)
{
    return (n + alignof(std::max_align_t) - 1) / alignof(std::max_align_t) * alignof(std::max_align_t);
}

template <typename T> void Layout(OptionTable<T>& table, BYTE*& at, DWORD count, size_t elementSize)
{
    table = {count ? reinterpret_cast<T*>(at) : nullptr, 0, count, 0};
    at += Align(elementSize * count);
}
} // namespace

bool OptionTables::Create(const TableCapacity& c)
{
    const size_t bytes[] = {Align(sizeof(OPTITEM) * c.items),
                            Align(sizeof(OPTTYPE) * c.types),
                            Align(sizeof(OPTPARAM) * c.params),
                            Align(size_t{c.textLength} * 2 * c.texts),
                            Align(sizeof(HalftoneSetup) * c.halftoneSetups),
                            Align(sizeof(EXTCHKBOX) * c.extCheckBoxes),
                            Align(sizeof(EXTPUSH) * c.extPushButtons)};
    size_t total = 0;
    for (size_t b : bytes)
        total += b;
    *this = OptionTables{};
    HANDLE h = HeapCreate(0, total, 0);
    if (!h)
        return false;
    BYTE* base = static_cast<BYTE*>(HeapAlloc(h, HEAP_ZERO_MEMORY, total ? total : 1));
    if (!base)
    {
        HeapDestroy(h);
        return false;
    }
    heap = h;
    BYTE* at = base;
    Layout(items, at, c.items, sizeof(OPTITEM));
    Layout(types, at, c.types, sizeof(OPTTYPE));
    Layout(params, at, c.params, sizeof(OPTPARAM));
    Layout(texts, at, c.texts, size_t{c.textLength} * 2);
    textLength = c.textLength;
    Layout(halftoneSetups, at, c.halftoneSetups, sizeof(HalftoneSetup));
    Layout(extCheckBoxes, at, c.extCheckBoxes, sizeof(EXTCHKBOX));
    Layout(extPushButtons, at, c.extPushButtons, sizeof(EXTPUSH));
    return true;
}

void OptionTables::Destroy()
{
    HANDLE h = heap;
    *this = OptionTables{};
    if (h)
        HeapDestroy(h);
}

LPWSTR OptionTables::AddText(const WCHAR* text)
{
    if (error)
        return nullptr;
    if (text && reinterpret_cast<ULONG_PTR>(text) < 0x10000)
        return const_cast<LPWSTR>(text); // a resource id for the host to load
    ++texts.attempts;
    if (texts.used >= texts.capacity || textLength == 0)
    {
        error = kTextTableFull;
        return nullptr;
    }
    WCHAR* slot = texts.at + size_t{texts.used++} * textLength;
    size_t n = 0;
    for (; text && text[n] && n + 1 < textLength; ++n)
        slot[n] = text[n];
    slot[n] = 0;
    return slot;
}

POPTITEM OptionTables::AddItem(BYTE level, const WCHAR* name, LONG selection, POPTTYPE type, void* extension,
                               bool extensionIsPush, DWORD itemId)
{
    if (error)
        return nullptr;
    ++items.attempts;
    if (openParams)
    {
        error = kParamsStillOpen;
        return nullptr;
    }
    POPTITEM item = Next(items);
    if (!item)
    {
        error = kItemTableFull;
        return nullptr;
    }
    LPWSTR text = AddText(name ? name : TEXT(""));
    if (!text)
    {
        --items.used;
        return nullptr;
    }
    *item = OPTITEM{};
    item->cbSize = sizeof(OPTITEM);
    item->Level = level;
    item->DlgPageIdx = 0;
    item->Flags = OPTIF_CALLBACK | (extension && extensionIsPush ? OPTIF_EXT_IS_EXTPUSH : 0);
    item->pName = text;
    item->Sel = selection;
    item->pOptType = type;
    if (extensionIsPush)
        item->pExtPush = static_cast<PEXTPUSH>(extension);
    else
        item->pExtChkBox = static_cast<PEXTCHKBOX>(extension);
    item->UserData = itemId;
    return item;
}

POPTTYPE OptionTables::AddType(BYTE type, WORD count)
{
    if (error)
        return nullptr;
    ++types.attempts;
    if (openParams)
    {
        error = kParamsStillOpen;
        return nullptr;
    }
    POPTTYPE t = Next(types);
    if (!t)
    {
        error = kTypeTableFull;
        return nullptr;
    }
    *t = OPTTYPE{};
    t->cbSize = sizeof(OPTTYPE);
    t->Type = type;
    t->Count = count;
    t->pOptParam = params.at ? params.at + params.used : nullptr;
    openParams = count;
    return t;
}

POPTPARAM OptionTables::AddParam(const WCHAR* text, ULONG_PTR iconId)
{
    if (error)
        return nullptr;
    ++params.attempts;
    POPTPARAM p = Next(params);
    if (!p)
    {
        error = kParamTableFull;
        return nullptr;
    }
    LPWSTR data = AddText(text);
    if (!data)
        return nullptr;
    *p = OPTPARAM{};
    p->cbSize = sizeof(OPTPARAM);
    p->pData = data;
    p->IconID = iconId;
    if (openParams)
        --openParams;
    return p;
}

HalftoneSetup* OptionTables::AddHalftoneSetup()
{
    if (error)
        return nullptr;
    ++halftoneSetups.attempts;
    HalftoneSetup* h = Next(halftoneSetups);
    if (!h)
        error = kHalftoneTableFull;
    return h;
}

PEXTCHKBOX OptionTables::AddExtCheckBox(WORD flags, const WCHAR* title, const WCHAR* separator,
                                        const WCHAR* checkedName, ULONG_PTR iconId)
{
    if (error)
        return nullptr;
    ++extCheckBoxes.attempts;
    PEXTCHKBOX box = Next(extCheckBoxes);
    if (!box)
    {
        error = kExtCheckBoxTableFull;
        return nullptr;
    }
    *box = EXTCHKBOX{};
    box->cbSize = sizeof(EXTCHKBOX);
    box->Flags = flags;
    box->pTitle = AddText(title);
    box->pSeparator = AddText(separator);
    box->pCheckedName = AddText(checkedName);
    box->IconID = iconId;
    return error ? nullptr : box;
}

PEXTPUSH OptionTables::AddExtPush(WORD flags, const WCHAR* title, DLGPROC dialogProc)
{
    if (error)
        return nullptr;
    ++extPushButtons.attempts;
    PEXTPUSH push = Next(extPushButtons);
    if (!push)
    {
        error = kExtPushTableFull;
        return nullptr;
    }
    *push = EXTPUSH{};
    push->cbSize = sizeof(EXTPUSH);
    push->Flags = flags;
    push->pTitle = AddText(title);
    push->DlgProc = dialogProc;
    return error ? nullptr : push;
}

POPTITEM OptionTables::FindItem(DWORD itemId)
{
    for (DWORD i = 0; i < items.used; ++i)
        if (items.at[i].UserData == itemId)
            return items.at + i;
    return nullptr;
}

bool OptionTables::SetSelection(DWORD itemId, LONG selection)
{
    if (error)
        return false;
    POPTITEM item = FindItem(itemId);
    if (!item)
    {
        error = kInvalidParameter;
        return false;
    }
    item->Sel = item->pOptType && item->pOptType->Type == TVOT_EDITBOX ? selection : 0;
    return true;
}

DWORD OptionTables::AttemptsFor(DWORD errorCode) const
{
    switch (errorCode)
    {
    case kItemTableFull:
        return items.attempts;
    case kTypeTableFull:
        return types.attempts;
    case kParamTableFull:
        return params.attempts;
    case kTextTableFull:
        return texts.attempts;
    case kHalftoneTableFull:
        return halftoneSetups.attempts;
    case kExtCheckBoxTableFull:
        return extCheckBoxes.attempts;
    case kExtPushTableFull:
        return extPushButtons.attempts;
    default:
        return errorCode;
    }
}

WString TreeErrorText(DWORD errorCode, DWORD attempts)
{
    static constexpr const WCHAR* kTables[] = {
        TEXT("ItemTable"),    TEXT("TypeTable"),        TEXT("ParamTable"),         TEXT("TextTable"),
        TEXT("HTSetupTable"), TEXT("ExtCheckBoxTable"), TEXT("ExtPushButtonTable"),
    };
    auto number = [](DWORD n) {
        WCHAR digits[16];
        wsprintfW(digits, TEXT("%u"), n);
        return WString(digits);
    };
    if (errorCode >= kItemTableFull && errorCode <= kExtPushTableFull)
        return WString(kTables[errorCode - 1]) + TEXT(" OverFlow!!\n( ") + number(attempts) + TEXT(" )");
    if (errorCode == kParamsStillOpen)
        return TEXT("NotEqual AddParam!!\n");
    if (errorCode == kInvalidParameter)
        return TEXT("Invalid Parameter!!\n");
    return WString(TEXT("Internal Error!!\n( ")) + number(errorCode) + TEXT(" )");
}

int DocumentSheetKind(const DOCUMENTPROPERTYHEADER& header, int osCode, bool openedByShell)
{
    if (header.fMode & kModeAdvanced)
        return kSheetAdvanced;
    if (header.fMode & kModeUserDefault)
        return kSheetPrinterDefault;
    if (osCode <= 103 && openedByShell && header.pdmIn == header.pdmOut && header.cbOut == 0)
        return kSheetPrinterDefault;
    return kSheetDocument;
}

bool SheetEditable(const SheetRequest& request)
{
    if (request.document)
        return !(request.document->fMode & kModeNoPermission);
    return request.device && !(request.device->Flags & DPS_NOPERMISSION);
}

std::vector<PageEntry> SheetPages(int kind, int osCode, LONG capabilityFlags, LONG printToFile)
{
    const int older = osCode < kOsVista ? 1 : 0;
    std::vector<WORD> ids;
    if (kind == kSheetDevice)
        ids = {kTemplatePreferences[older]};
    else
    {
        ids = {kTemplatePaper[older], kTemplateLayout[older], kTemplateGraphics[older],
               kTemplateColour[older]};
        ids.push_back((capabilityFlags & kCapPrintToFile) && printToFile ? kTemplatePrintToFile[older]
                                                                         : kTemplateOptions[older]);
    }
    std::vector<PageEntry> pages;
    for (WORD id : ids)
    {
        PageEntry page;
        page.templateId = id;
        page.dialogProc = PageProcedure(id);
        pages.push_back(page);
    }
    if (pages.empty())
        pages.push_back(PageEntry{});
    if (pages.size() > kMaxSheetPages)
        pages.resize(kMaxSheetPages);
    return pages;
}

TableCapacity TablesFor(const std::vector<PageEntry>& pages)
{
    TableCapacity c;
    for (const PageEntry& p : pages)
    {
        if (p.kind == kPageKindDialog)
            ++c.items;
        c.items += p.items;
        c.types += p.types;
        c.params += p.params;
        c.texts += p.texts;
        c.textLength = std::max<DWORD>(c.textLength, p.textLength);
        c.halftoneSetups += p.halftoneSetups;
        c.extCheckBoxes += p.extCheckBoxes;
        c.extPushButtons += p.extPushButtons;
    }
    return c;
}

BOOL ReportTreeError(SheetState* state)
{
    if (!state || !state->tables.error)
        return TRUE;
    WString text = TreeErrorText(state->tables.error, state->tables.AttemptsFor(state->tables.error));
    MessageBeep(0);
    MessageBoxW(nullptr, text.c_str(), TEXT("TreeViewMakeError"), MB_SETFOREGROUND | MB_ICONERROR);
    return FALSE;
}

namespace
{
void ReleaseState(SheetState* state)
{
    state->tables.Destroy();
    HANDLE heap = state->heap;
    HeapFree(heap, 0, state);
    HeapDestroy(heap);
}

// Fills a page's host records; false when the option tables refused.
bool DescribePage(SheetState& s, int index)
{
    const PageEntry& page = s.pages[index];
    PageSlot& slot = s.slots[index];
    POPTITEM first = s.tables.items.at ? s.tables.items.at + s.tables.items.used : nullptr;
    DWORD before = s.tables.items.used;
    if (page.kind == kPageKindDialog)
    {
        DWORD itemId = kFirstPageItemId + static_cast<DWORD>(index);
        s.tables.AddItem(1, MAKEINTRESOURCEW(IDS_CPSUI_NONE), 0, nullptr, nullptr, false, itemId);
        s.tables.SetSelection(itemId, 0);
    }
    if (!ReportTreeError(&s))
        return false;
    COMPROPSHEETUI& ui = slot.ui;
    ui.cbSize = sizeof(COMPROPSHEETUI);
    ui.hInstCaller = ModuleInstance();
    ui.UserData = reinterpret_cast<ULONG_PTR>(&s);
    ui.pHelpFile = s.helpPath;
    ui.pOptItem = first;
    ui.cOptItem = static_cast<WORD>(s.tables.items.used - before);
    ui.CallerVersion = kCallerVersion;
    ui.IconID = page.iconId;
    if (page.kind == kPageKindDialog)
    {
        static WCHAR empty[1] = {0};
        ui.pCallerName = empty;
        slot.dialogPage.cbSize = sizeof(DLGPAGE);
        slot.dialogPage.DlgProc = page.dialogProc;
        slot.dialogPage.DlgTemplateID = page.templateId;
        slot.dialogPage.IconID = page.iconId;
        ui.pDlgPage = &slot.dialogPage;
        ui.cDlgPage = 1;
    }
    if (s.editable)
        ui.Flags |= CPSUIF_UPDATE_PERMISSION;
    return true;
}
} // namespace

SheetState* OpenSheetState(const SheetRequest& request, PrinterPort& printer)
{
    if (!request.document && !request.device)
        return nullptr;
    HANDLE heap = HeapCreate(0, sizeof(SheetState), 0);
    if (!heap)
        return nullptr;
    void* memory = HeapAlloc(heap, HEAP_ZERO_MEMORY, sizeof(SheetState));
    if (!memory)
    {
        HeapDestroy(heap);
        return nullptr;
    }
    SheetState* s = new (memory) SheetState{};
    s->self = s;
    s->size = sizeof(SheetState);
    s->back = s;
    s->heap = heap;
    s->osCode = printer.OsCode();

    const WCHAR* name = nullptr;
    std::span<const BYTE> input;
    DWORD flags = kConvertWhole;
    if (request.document)
    {
        const DOCUMENTPROPERTYHEADER& h = *request.document;
        s->printer = h.hPrinter;
        s->mode = h.fMode;
        s->kind = DocumentSheetKind(h, s->osCode, request.openedByShell);
        name = h.pszPrinterName;
        if (h.pdmIn)
        {
            input = velmo::DevModeBytes(h.pdmIn);
            flags = kConvertWithInput;
        }
    }
    else
    {
        s->printer = request.device->hPrinter;
        s->kind = kSheetDevice;
        name = request.device->pszPrinterName;
    }
    WString printerName = name ? WString(name) : WString();
    if (printerName.empty())
        if (auto record = printer.Printer())
            printerName = record->printerName;
    CopyText(s->printerName, printerName);
    s->editable = SheetEditable(request) ? TRUE : FALSE;

    std::span<BYTE> working(reinterpret_cast<BYTE*>(&s->working), sizeof(SettingsRecord));
    if (!CfcConvertSelfDMode(working, input, printer, s->printerName, flags, kCallerSheet))
    {
        ReleaseState(s);
        return nullptr;
    }
    s->opening = s->working;

    std::vector<PageEntry> pages =
        SheetPages(s->kind, s->osCode, s->working.capabilityFlags, s->working.printToFile);
    s->pageCount = static_cast<int>(pages.size());
    std::copy(pages.begin(), pages.end(), s->pages);
    if (!s->tables.Create(TablesFor(pages)))
    {
        ReleaseState(s);
        return nullptr;
    }

    CopyText(s->helpFileName, kHelpFileName);
    WString help = printer.DriverDirectory() + TEXT("\\3\\") + s->helpFileName;
    CopyText(s->helpPath, help);

    for (int i = 0; i < s->pageCount; ++i)
        if (!DescribePage(*s, i))
        {
            ReleaseState(s);
            return nullptr;
        }
    std::lock_guard g(g_liveMutex);
    LiveStates().insert(s);
    return s;
}

namespace
{
// The Windows 2000 rule: the shell of the Windows folder opening a plain document sheet.
bool OpenedByShell()
{
    WCHAR image[MAX_PATH] = {};
    WCHAR windows[MAX_PATH] = {};
    if (!GetModuleFileNameW(nullptr, image, MAX_PATH) || !GetWindowsDirectoryW(windows, MAX_PATH))
        return false;
    WString shell = WString(windows) + TEXT("\\explorer.exe");
    return lstrcmpiW(image, shell.c_str()) == 0;
}
} // namespace

SheetState* OpenSheetState(const DOCUMENTPROPERTYHEADER* header)
{
    if (!header)
        return nullptr;
    SpoolerPrinter port(header->hPrinter);
    SheetRequest request;
    request.document = header;
    request.openedByShell = port.OsCode() <= 103 && OpenedByShell();
    return OpenSheetState(request, port);
}

SheetState* OpenSheetState(const DEVICEPROPERTYHEADER* header)
{
    if (!header)
        return nullptr;
    SpoolerPrinter port(header->hPrinter);
    SheetRequest request;
    request.device = header;
    return OpenSheetState(request, port);
}

BOOL IsSheetState(const void* state)
{
    if (!state)
        return FALSE;
    std::lock_guard g(g_liveMutex);
    return LiveStates().contains(state) ? TRUE : FALSE;
}

BOOL CloseSheetState(SheetState* state)
{
    {
        std::lock_guard g(g_liveMutex);
        if (!state || !LiveStates().erase(state))
            return FALSE;
    }
    ReleaseState(state);
    return TRUE;
}

} // namespace velmoui
