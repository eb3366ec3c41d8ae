#include <gtest/gtest.h>

#include "sheet_state.h"
#include "ui_fixture.h"

#include <sim/machine.h>

#include <vector>

using namespace velmoui;
using namespace velmoui_test;

namespace
{
std::vector<WORD> Templates(const std::vector<PageEntry>& pages)
{
    std::vector<WORD> ids;
    for (const PageEntry& p : pages)
        ids.push_back(p.templateId);
    return ids;
}
} // namespace

TEST(SheetPages, ByKindSystemCapabilityAndPrintToFileFlag)
{
    struct Case
    {
        int kind;
        int os;
        LONG caps;
        LONG toFile;
        std::vector<WORD> ids;
    } cases[] = {
        {kSheetDocument, 211, 0, 0, {111, 112, 113, 114, 115}},
        {kSheetDocument, 201, 0, 0, {151, 152, 153, 154, 155}},
        {kSheetAdvanced, 203, kCapPrintToFile, 1, {111, 112, 113, 114, 116}},
        {kSheetPrinterDefault, 104, kCapPrintToFile, 1, {151, 152, 153, 154, 156}},
        {kSheetDocument, 211, kCapPrintToFile, 0, {111, 112, 113, 114, 115}},
        {kSheetDocument, 211, 0, 1, {111, 112, 113, 114, 115}}, // the flag alone makes no print-to-file model
        {kSheetDevice, 211, kCapPrintToFile, 1, {110}},
        {kSheetDevice, 103, 0, 0, {150}},
    };
    for (const Case& c : cases)
    {
        auto pages = SheetPages(c.kind, c.os, c.caps, c.toFile);
        EXPECT_EQ(Templates(pages), c.ids) << "kind " << c.kind << " os " << c.os;
        for (const PageEntry& p : pages)
            EXPECT_TRUE(p.kind == kPageKindDialog && p.flags == kPageHasHelp);
    }
    EXPECT_NE(SheetPages(kSheetDevice, 211, 0, 0)[0].dialogProc, nullptr);
    TableCapacity c = TablesFor(SheetPages(kSheetDocument, 211, 0, 0));
    EXPECT_EQ(c.items, 5u); // one item a dialog page
}

TEST(SheetKinds, FromTheHeaderTheSystemAndTheShell)
{
    std::vector<BYTE> dm(220);
    auto* in = reinterpret_cast<DEVMODEW*>(dm.data());
    struct Case
    {
        DWORD mode;
        int os;
        bool shell;
        bool sameDevMode;
        DWORD cbOut;
        int kind;
    } cases[] = {
        {DM_COPY, 211, false, false, 0, kSheetDocument},
        {DM_COPY | kModeAdvanced, 211, false, false, 0, kSheetAdvanced},
        {DM_COPY | kModeUserDefault, 211, false, false, 0, kSheetPrinterDefault},
        {kModeAdvanced | kModeUserDefault, 211, false, false, 0, kSheetAdvanced},
        {DM_COPY, 103, true, true, 0, kSheetPrinterDefault}, // the shell's own sheet on Windows 2000
        {DM_COPY, 103, true, true, 2944, kSheetDocument},    // with cbOut given
        {DM_COPY, 103, true, false, 0, kSheetDocument},      // other DEVMODEs
        {DM_COPY, 103, false, true, 0, kSheetDocument},      // another program
        {DM_COPY, 104, true, true, 0, kSheetDocument},       // newer systems
    };
    for (const Case& c : cases)
    {
        DOCUMENTPROPERTYHEADER h{};
        h.fMode = c.mode;
        h.pdmIn = in;
        h.pdmOut = c.sameDevMode ? in : nullptr;
        h.cbOut = c.cbOut;
        EXPECT_EQ(DocumentSheetKind(h, c.os, c.shell), c.kind) << "mode " << c.mode << " os " << c.os;
    }

    DOCUMENTPROPERTYHEADER doc{};
    DEVICEPROPERTYHEADER dev{};
    SheetRequest request;
    request.document = &doc;
    EXPECT_TRUE(SheetEditable(request));
    doc.fMode = kModeNoPermission;
    EXPECT_FALSE(SheetEditable(request));
    request = {};
    request.device = &dev;
    EXPECT_TRUE(SheetEditable(request));
    dev.Flags = DPS_NOPERMISSION;
    EXPECT_FALSE(SheetEditable(request));
}

TEST(OptionTables, OverflowsAndOrderErrorsAreCountedAndStopEverything)
{
    OptionTables t;
    TableCapacity c;
    c.items = 2;
    c.types = 1;
    c.params = 2;
    c.texts = 4;
    c.textLength = 32;
    ASSERT_TRUE(t.Create(c));
    EXPECT_NE(t.AddItem(1, TEXT("one"), 0, nullptr, nullptr, false, 7), nullptr);
    EXPECT_NE(t.AddItem(1, TEXT("two"), 0, nullptr, nullptr, false, 8), nullptr);
    EXPECT_EQ(t.AddItem(1, TEXT("three"), 0, nullptr, nullptr, false, 9), nullptr);
    EXPECT_EQ(t.error, kItemTableFull);
    EXPECT_EQ(TreeErrorText(t.error, t.AttemptsFor(t.error)), u"ItemTable OverFlow!!\n( 3 )");
    EXPECT_EQ(t.AddText(TEXT("later")), nullptr); // an error stops every table
    EXPECT_EQ(t.texts.attempts, 2u);
    t.Destroy();

    ASSERT_TRUE(t.Create(c));
    POPTTYPE type = t.AddType(TVOT_EDITBOX, 2);
    ASSERT_NE(type, nullptr);
    EXPECT_NE(t.AddParam(TEXT("a"), 0), nullptr);
    EXPECT_EQ(t.AddItem(1, TEXT("early"), 0, type, nullptr, false, 7), nullptr);
    EXPECT_EQ(t.error, kParamsStillOpen);
    EXPECT_EQ(TreeErrorText(t.error, t.AttemptsFor(t.error)), u"NotEqual AddParam!!\n");
    t.Destroy();

    ASSERT_TRUE(t.Create(c));
    type = t.AddType(TVOT_EDITBOX, 1);
    EXPECT_NE(t.AddParam(TEXT("a"), 0), nullptr);
    POPTITEM edit = t.AddItem(1, TEXT("edit"), 0, type, nullptr, false, 7);
    POPTITEM plain = t.AddItem(1, MAKEINTRESOURCEW(IDS_CPSUI_NONE), 0, nullptr, nullptr, false, 8);
    ASSERT_TRUE(edit && plain);
    EXPECT_EQ(plain->pName, MAKEINTRESOURCEW(IDS_CPSUI_NONE)); // resource ids pass through
    EXPECT_EQ(edit->cbSize, sizeof(OPTITEM));
    EXPECT_EQ(edit->Flags, static_cast<DWORD>(OPTIF_CALLBACK));
    EXPECT_TRUE(t.SetSelection(7, 42));
    EXPECT_TRUE(t.SetSelection(8, 42));
    EXPECT_EQ(edit->Sel, 42);
    EXPECT_EQ(plain->Sel, 0); // only an edit box keeps a selection given
    EXPECT_FALSE(t.SetSelection(99, 1));
    EXPECT_EQ(t.error, kInvalidParameter);
    t.Destroy();

    c.texts = 1;
    ASSERT_TRUE(t.Create(c));
    const WCHAR* longText = TEXT("0123456789012345678901234567890123456789");
    LPWSTR kept = t.AddText(longText);
    ASSERT_NE(kept, nullptr);
    EXPECT_EQ(WString(kept), WString(longText).substr(0, 31));
    EXPECT_EQ(t.AddText(TEXT("more")), nullptr);
    EXPECT_EQ(TreeErrorText(t.error, t.AttemptsFor(t.error)), u"TextTable OverFlow!!\n( 2 )");
    t.Destroy();
    EXPECT_EQ(sim::machine().LiveHeaps(), 0u);
}

TEST(OptionTables, EveryErrorHasItsText)
{
    struct Case
    {
        DWORD code;
        const char16_t* text;
    } cases[] = {
        {2, u"TypeTable OverFlow!!\n( 4 )"},
        {3, u"ParamTable OverFlow!!\n( 4 )"},
        {5, u"HTSetupTable OverFlow!!\n( 4 )"},
        {6, u"ExtCheckBoxTable OverFlow!!\n( 4 )"},
        {7, u"ExtPushButtonTable OverFlow!!\n( 4 )"},
        {9, u"Invalid Parameter!!\n"},
        {12, u"Internal Error!!\n( 12 )"},
    };
    for (const Case& c : cases)
        EXPECT_EQ(TreeErrorText(c.code, c.code == 12 ? 12 : 4), c.text);
}

class SheetStateOpen : public ::testing::Test
{
protected:
    SheetState* OpenDocument(DWORD mode = DM_COPY)
    {
        header.cbSize = sizeof header;
        header.pszPrinterName = const_cast<LPWSTR>(kPrinterName);
        header.fMode = mode;
        SheetRequest request;
        request.document = &header;
        return OpenSheetState(request, printer);
    }

    FakePrinter printer;
    DOCUMENTPROPERTYHEADER header{};
};

TEST_F(SheetStateOpen, HoldsThePrinterTheSettingsAndOnePageRecordEach)
{
    SheetState* s = OpenDocument();
    ASSERT_NE(s, nullptr);
    EXPECT_TRUE(IsSheetState(s));
    EXPECT_EQ(s->self, s);
    EXPECT_EQ(s->back, s);
    EXPECT_EQ(s->size, sizeof(SheetState));
    EXPECT_EQ(WString(s->printerName), kPrinterName);
    EXPECT_EQ(s->kind, kSheetDocument);
    EXPECT_TRUE(s->editable);
    EXPECT_EQ(WString(s->helpPath), WString(kDriverDir) + u"\\3\\VelmoQ7.chm");
    EXPECT_EQ(std::memcmp(&s->working, &s->opening, sizeof s->working), 0);
    EXPECT_EQ(s->working.signature, Defaults(printer)->signature);
    ASSERT_EQ(s->pageCount, 5);
    for (int i = 0; i < s->pageCount; ++i)
    {
        const COMPROPSHEETUI& ui = s->slots[i].ui;
        EXPECT_EQ(ui.cbSize, sizeof(COMPROPSHEETUI));
        EXPECT_EQ(ui.UserData, reinterpret_cast<ULONG_PTR>(s));
        EXPECT_EQ(ui.cOptItem, 1);
        EXPECT_EQ(ui.pOptItem->UserData, kFirstPageItemId + static_cast<DWORD>(i));
        EXPECT_EQ(ui.CallerVersion, 1835);
        EXPECT_EQ(ui.Flags, static_cast<WORD>(CPSUIF_UPDATE_PERMISSION));
        EXPECT_EQ(s->slots[i].dialogPage.DlgTemplateID, s->pages[i].templateId);
    }
    EXPECT_EQ(sim::machine().LiveHeaps(), 2u);
    EXPECT_TRUE(CloseSheetState(s));
    EXPECT_EQ(sim::machine().LiveHeaps(), 0u);
}

TEST_F(SheetStateOpen, ClosedForeignAndNullStatesAreRefusedWithoutBeingRead)
{
    SheetState* s = OpenDocument(DM_COPY | kModeNoPermission);
    ASSERT_NE(s, nullptr);
    EXPECT_FALSE(s->editable);
    EXPECT_EQ(s->slots[0].ui.Flags, 0);
    ASSERT_TRUE(CloseSheetState(s));
    EXPECT_FALSE(IsSheetState(s));
    EXPECT_FALSE(CloseSheetState(s));
    int local = 0;
    EXPECT_FALSE(IsSheetState(&local));
    EXPECT_FALSE(CloseSheetState(reinterpret_cast<SheetState*>(&local)));
    EXPECT_FALSE(IsSheetState(nullptr));
    EXPECT_FALSE(CloseSheetState(nullptr));
}

TEST_F(SheetStateOpen, EachFailingHeapCallLeavesNoStateAndNoHeap)
{
    struct Case
    {
        const char* api;
        int skip;
    } cases[] = {{"HeapCreate", 0}, {"HeapAlloc", 0}, {"HeapCreate", 1}, {"HeapAlloc", 1}};
    for (const Case& c : cases)
    {
        sim::faults().FailNext(c.api, ERROR_NOT_ENOUGH_MEMORY, 1, c.skip);
        EXPECT_EQ(OpenDocument(), nullptr) << c.api << " " << c.skip;
        EXPECT_EQ(sim::machine().LiveHeaps(), 0u) << c.api << " " << c.skip;
    }
    SheetState* s = OpenDocument(); // nothing left pending
    ASSERT_NE(s, nullptr);
    EXPECT_TRUE(CloseSheetState(s));
}

TEST_F(SheetStateOpen, DeviceSheetsTakeTheNameOfTheHandleWhenNoneIsGiven)
{
    printer.record.printerName = u"From the handle";
    DEVICEPROPERTYHEADER device{};
    device.cbSize = sizeof device;
    device.Flags = DPS_NOPERMISSION;
    SheetRequest request;
    request.device = &device;
    SheetState* s = OpenSheetState(request, printer);
    ASSERT_NE(s, nullptr);
    EXPECT_EQ(s->kind, kSheetDevice);
    EXPECT_EQ(WString(s->printerName), u"From the handle");
    EXPECT_FALSE(s->editable);
    EXPECT_EQ(s->pageCount, 1);
    EXPECT_EQ(s->pages[0].templateId, 110);
    EXPECT_TRUE(CloseSheetState(s));
}
