#include <gtest/gtest.h>

#include "page_common.h"
#include "sheet_state.h"
#include "ui_fixture.h"
#include "ui_settings.h"

#include <platform/commctrl.h>
#include <platform/htmlhelp.h>
#include <platform/winddiui.h>
#include <sim/gdi.h>
#include <sim/icons.h>
#include <sim/machine.h>
#include <sim/spooler.h>

#include <algorithm>
#include <cstring>
#include <functional>

using namespace velmoui;
using namespace velmoui_test;

namespace
{
using SheetFn = LONG(WINAPI*)(PPROPSHEETUI_INFO, LPARAM);

// A host that records the functions the driver calls and answers them as told.
struct FakeHost
{
    std::vector<UINT> functions;
    int refuseAt = -1; // the page adding that fails
    int added = 0;
};
FakeHost* g_host = nullptr;

LONG_PTR CALLBACK HostFunction(HANDLE, UINT function, LPARAM lParam1, LPARAM)
{
    g_host->functions.push_back(function);
    if (function == CPSFUNC_ADD_HPROPSHEETPAGE)
        return g_host->added++ == g_host->refuseAt ? 0 : lParam1;
    return 1;
}

class Sheets : public UiDllTest
{
protected:
    void SetUp() override
    {
        UiDllTest::SetUp();
        if (HasFatalFailure())
            return;
        documentSheets = Proc<SheetFn>(module, "DrvDocumentPropertySheets");
        deviceSheets = Proc<SheetFn>(module, "DrvDevicePropertySheets");
        ASSERT_TRUE(documentSheets && deviceSheets);
        printer = AddPrinter(kPrinterName, u"KORIGRAPH DX-2660");
        g_host = &host;
    }
    void TearDown() override
    {
        g_host = nullptr;
        UiDllTest::TearDown();
    }

    PROPSHEETUI_INFO Info(LPARAM header)
    {
        PROPSHEETUI_INFO info{};
        info.cbSize = sizeof info;
        info.hComPropSheet = reinterpret_cast<HANDLE>(0x1234);
        info.pfnComPropSheet = HostFunction;
        info.lParamInit = header;
        return info;
    }

    LONG Reason(SheetFn f, PROPSHEETUI_INFO& info, WORD reason, LPARAM lParam = 0)
    {
        info.Reason = reason;
        return f(&info, lParam);
    }

    std::vector<BYTE> Block() const
    {
        auto v = sim::spooler().PrinterData(kPrinterName, kPrivateDevModeValue);
        return v ? v->data : std::vector<BYTE>{};
    }

    SheetFn documentSheets = nullptr;
    SheetFn deviceSheets = nullptr;
    HANDLE printer = nullptr;
    FakeHost host;
};
} // namespace

TEST_F(Sheets, DocumentSheetReasonsFromInitToDestroy)
{
    std::vector<BYTE> out(2944, 0xEE);
    DOCUMENTPROPERTYHEADER header{};
    header.cbSize = sizeof header;
    header.hPrinter = printer;
    header.pszPrinterName = const_cast<LPWSTR>(kPrinterName);
    header.pdmOut = reinterpret_cast<DEVMODEW*>(out.data());
    header.fMode = DM_COPY;
    PROPSHEETUI_INFO info = Info(reinterpret_cast<LPARAM>(&header));

    ASSERT_EQ(Reason(documentSheets, info, PROPSHEETUI_REASON_INIT), 1);
    EXPECT_EQ(host.functions, std::vector<UINT>(5, CPSFUNC_ADD_HPROPSHEETPAGE));
    auto* state = reinterpret_cast<SheetState*>(info.UserData);
    ASSERT_TRUE(IsSheetState(state));
    EXPECT_EQ(state->pfnComPropSheet, &HostFunction);
    EXPECT_NE(state->slots[4].hostPage, nullptr);

    PROPSHEETUI_INFO_HEADER infoHeader{};
    infoHeader.cbSize = sizeof infoHeader;
    ASSERT_EQ(Reason(documentSheets, info, PROPSHEETUI_REASON_GET_INFO_HEADER,
                     reinterpret_cast<LPARAM>(&infoHeader)),
              1);
    EXPECT_EQ(infoHeader.Flags, PSUIHDRF_NOAPPLYNOW | PSUIHDRF_PROPTITLE);
    EXPECT_EQ(WString(infoHeader.pTitle), u"");
    EXPECT_EQ(infoHeader.IconID, static_cast<ULONG_PTR>(IDI_CPSUI_PRINTER));
    EXPECT_EQ(infoHeader.hInst, module);

    state->working.orientation = DMORIENT_LANDSCAPE;
    SETRESULT_INFO cancel{sizeof(SETRESULT_INFO), 0, nullptr, CPSUI_CANCEL};
    ASSERT_EQ(Reason(documentSheets, info, PROPSHEETUI_REASON_SET_RESULT, reinterpret_cast<LPARAM>(&cancel)),
              1);
    EXPECT_EQ(out[0], 0xEE) << "a cancelled sheet copies nothing";
    SETRESULT_INFO ok{sizeof(SETRESULT_INFO), 0, nullptr, CPSUI_OK};
    ASSERT_EQ(Reason(documentSheets, info, PROPSHEETUI_REASON_SET_RESULT, reinterpret_cast<LPARAM>(&ok)), 1);
    EXPECT_EQ(info.Result, static_cast<ULONG_PTR>(CPSUI_OK));
    EXPECT_EQ(At(out, 2940), 0x28116119);
    EXPECT_EQ(reinterpret_cast<DEVMODEW*>(out.data())->dmOrientation, DMORIENT_LANDSCAPE);
    EXPECT_EQ(reinterpret_cast<DEVMODEW*>(out.data())->dmDriverVersion, 1835);
    EXPECT_FALSE(sim::spooler().PrinterData(kPrinterName, kPrivateDevModeValue))
        << "document sheets write no printer data";

    EXPECT_EQ(Reason(documentSheets, info, 7), -1);
    ASSERT_EQ(Reason(documentSheets, info, PROPSHEETUI_REASON_DESTROY), 1);
    EXPECT_EQ(info.UserData, 0u);
    EXPECT_EQ(sim::machine().LiveHeaps(), 0u);
    info.UserData = reinterpret_cast<ULONG_PTR>(state);
    EXPECT_EQ(Reason(documentSheets, info, PROPSHEETUI_REASON_DESTROY), -1) << "a second DESTROY";
    int foreign = 0;
    info.UserData = reinterpret_cast<ULONG_PTR>(&foreign);
    EXPECT_EQ(Reason(documentSheets, info, PROPSHEETUI_REASON_DESTROY), -1);
    info.lParamInit = 0;
    EXPECT_EQ(Reason(documentSheets, info, PROPSHEETUI_REASON_INIT), -1);
}

TEST_F(Sheets, OpeningFailsCleanlyWhereverACallFails)
{
    DOCUMENTPROPERTYHEADER header{};
    header.cbSize = sizeof header;
    header.hPrinter = printer;
    header.pszPrinterName = const_cast<LPWSTR>(kPrinterName);
    header.fMode = DM_COPY;
    struct Case
    {
        const char* api; // null: the host refuses the third page
        int skip;
    } cases[] = {{"HeapCreate", 0},
                 {"HeapCreate", 1},
                 {"HeapAlloc", 0},
                 {"HeapAlloc", 1},
                 {"CreatePropertySheetPageW", 0},
                 {"CreatePropertySheetPageW", 3},
                 {nullptr, 0}};
    for (const Case& c : cases)
    {
        host = FakeHost{};
        if (c.api)
            sim::faults().FailNext(c.api, ERROR_NOT_ENOUGH_MEMORY, 1, c.skip);
        else
            host.refuseAt = 2;
        PROPSHEETUI_INFO info = Info(reinterpret_cast<LPARAM>(&header));
        EXPECT_EQ(Reason(documentSheets, info, PROPSHEETUI_REASON_INIT), -1) << (c.api ? c.api : "adding");
        EXPECT_EQ(info.UserData, 0u);
        EXPECT_EQ(sim::machine().LiveHeaps(), 0u) << (c.api ? c.api : "adding");
    }
    EXPECT_FALSE(sim::spooler().PrinterData(kPrinterName, kPrivateDevModeValue));
}

TEST_F(Sheets, DevicePropertySheetsAnswerEveryReason)
{
    DEVICEPROPERTYHEADER header{};
    header.cbSize = sizeof header;
    header.hPrinter = printer;
    header.pszPrinterName = const_cast<LPWSTR>(kPrinterName);
    PROPSHEETUI_INFO info = Info(reinterpret_cast<LPARAM>(&header));
    EXPECT_EQ(deviceSheets(nullptr, 0), -1);
    ASSERT_EQ(Reason(deviceSheets, info, PROPSHEETUI_REASON_INIT), 1);
    EXPECT_EQ(host.functions, std::vector<UINT>{CPSFUNC_ADD_HPROPSHEETPAGE});
    PROPSHEETUI_INFO_HEADER infoHeader{};
    ASSERT_EQ(
        Reason(deviceSheets, info, PROPSHEETUI_REASON_GET_INFO_HEADER, reinterpret_cast<LPARAM>(&infoHeader)),
        1);
    EXPECT_EQ(infoHeader.pTitle, MAKEINTRESOURCEW(IDS_CPSUI_PRINTER));
    auto* state = reinterpret_cast<SheetState*>(info.UserData);
    state->working.printer.printerValues[41] = 77;
    SETRESULT_INFO ok{sizeof(SETRESULT_INFO), 0, nullptr, CPSUI_OK};
    ASSERT_EQ(Reason(deviceSheets, info, PROPSHEETUI_REASON_SET_RESULT, reinterpret_cast<LPARAM>(&ok)), 1);
    auto block = Block();
    ASSERT_EQ(block.size(), 304u);
    EXPECT_EQ(At(block, 300), 77);
    ASSERT_EQ(sim::desktop().Broadcasts().size(), 1u);
    EXPECT_EQ(sim::desktop().Broadcasts()[0].message, static_cast<UINT>(WM_DEVMODECHANGE));
    EXPECT_EQ(Reason(deviceSheets, info, PROPSHEETUI_REASON_DESTROY), 1);
    EXPECT_EQ(sim::machine().LiveHeaps(), 0u);
}

TEST_F(Sheets, WithoutTheHostPromptingFailsAndNothingIsRead)
{
    sim::processes().RemoveSystemModule(u"compstui.dll");
    std::vector<BYTE> out(2944, 0xEE);
    EXPECT_EQ(properties(nullptr, printer, const_cast<LPWSTR>(kPrinterName),
                         reinterpret_cast<DEVMODEW*>(out.data()), nullptr, DM_PROMPT | DM_COPY),
              -1);
    EXPECT_EQ(out[0], 0xEE);
    EXPECT_FALSE(printerProperties(nullptr, printer));
    EXPECT_TRUE(Block().empty());
    EXPECT_TRUE(sim::desktop().Broadcasts().empty());
}

TEST_F(Sheets, AHostThatCannotAddThePageShowsNoSheet)
{
    sim::faults().FailNext("ComPropSheetAddPage", ERROR_NOT_ENOUGH_MEMORY);
    EXPECT_FALSE(printerProperties(nullptr, printer));
    EXPECT_EQ(sim::machine().LiveHeaps(), 0u);
    EXPECT_TRUE(Block().empty());
    ASSERT_EQ(sim::desktop().HostedSheets().size(), 1u);
    EXPECT_TRUE(sim::desktop().HostedSheets()[0].caption.empty()) << "no sheet was shown";
}

TEST_F(Sheets, WithoutTheHostsEntryPromptingFails)
{
    sim::machine().RemoveSystemExport(u"compstui.dll", "CommonPropertySheetUIW");
    EXPECT_FALSE(printerProperties(nullptr, printer));
    EXPECT_EQ(sim::machine().LiveHeaps(), 0u);
    sim::faults().FailNext("LoadLibraryExW", ERROR_MOD_NOT_FOUND);
    std::vector<BYTE> out(2944, 0xEE);
    EXPECT_EQ(properties(nullptr, printer, const_cast<LPWSTR>(kPrinterName),
                         reinterpret_cast<DEVMODEW*>(out.data()), nullptr, DM_PROMPT | DM_COPY),
              -1);
}

// The device sheet under the scripted user: the warning threshold goes to the printer block once.
TEST_F(Sheets, DeviceSheetOkWritesTheBlockOnceAndTheNextSheetShowsIt)
{
    BOOL result = FALSE;
    sim::desktop().Run(
        [&] {
            result = printerProperties(nullptr, printer);
            return 0;
        },
        [&] {
            auto& d = sim::desktop();
            HWND sheet = d.TopWindow(u"Printer Properties");
            ASSERT_NE(sheet, nullptr);
            EXPECT_EQ(d.Items(d.FindControl(sheet, u"SysTabControl32")), std::vector<WString>{u"환경 설정"});
            HWND page = GetParent(d.Control(sheet, 1704));
            ASSERT_NE(page, nullptr);
            EXPECT_FALSE(d.IsEnabled(d.Control(page, 1704)));
            EXPECT_TRUE(d.SetCheck(d.Control(page, 1702), true));
            EXPECT_TRUE(d.IsEnabled(d.Control(page, 1704)));
            EXPECT_TRUE(d.Type(d.Control(page, 1704), u"120"));
            EXPECT_TRUE(d.Click(d.Control(sheet, IDOK)));
        });
    EXPECT_TRUE(result);
    auto block = Block();
    ASSERT_EQ(block.size(), 304u);
    EXPECT_EQ(At(block, 296), 1);
    EXPECT_EQ(At(block, 300), 120);
    EXPECT_EQ(sim::desktop().Broadcasts().size(), 1u) << "one write, one broadcast";
    auto hosted = sim::desktop().HostedSheets();
    ASSERT_EQ(hosted.size(), 1u);
    EXPECT_EQ(hosted[0].caption, u"Printer Properties");
    EXPECT_FALSE(hosted[0].applyButton);
    EXPECT_EQ(hosted[0].functions, (std::vector<UINT>{CPSFUNC_ADD_HPROPSHEETPAGE, CPSFUNC_SET_RESULT}));
    EXPECT_EQ(sim::machine().LiveHeaps(), 0u);

    sim::desktop().Run(
        [&] {
            result = printerProperties(nullptr, printer);
            return 0;
        },
        [&] {
            auto& d = sim::desktop();
            HWND sheet = d.TopWindow(u"Printer Properties");
            HWND edit = d.Control(sheet, 1704);
            ASSERT_NE(edit, nullptr);
            EXPECT_EQ(d.Text(edit), u"120");
            EXPECT_TRUE(d.Click(d.Control(sheet, IDCANCEL)));
        });
    EXPECT_FALSE(result);
    EXPECT_EQ(Block(), block) << "a cancelled sheet writes no block";
    EXPECT_EQ(sim::desktop().Broadcasts().size(), 1u);
    EXPECT_EQ(sim::desktop().HostedSheets()[1].functions, std::vector<UINT>{CPSFUNC_ADD_HPROPSHEETPAGE});
}

TEST_F(Sheets, DeviceSheetWithoutPermissionDisablesAllButTheAboutButton)
{
    sim::faults().FailNext("SetPrinterDataW", ERROR_ACCESS_DENIED);
    sim::desktop().Run(
        [&] {
            printerProperties(nullptr, printer);
            return 0;
        },
        [&] {
            auto& d = sim::desktop();
            HWND sheet = d.TopWindow(u"Printer Properties");
            HWND page = GetParent(d.Control(sheet, 1704));
            for (int id : {1702, 1703, 1704, 1705, 1706})
                EXPECT_FALSE(d.IsEnabled(d.Control(page, id))) << id;
            EXPECT_TRUE(d.IsEnabled(d.Control(page, 1707)));
            EXPECT_TRUE(d.Click(d.Control(sheet, IDCANCEL)));
        });
}

TEST_F(Sheets, AFailingBlockWriteFailsTheSheetAndAnnouncesNothing)
{
    BOOL result = TRUE;
    DWORD error = 0;
    sim::faults().FailNext("SetPrinterDataW", ERROR_WRITE_FAULT, 1, 1);
    sim::desktop().Run(
        [&] {
            result = printerProperties(nullptr, printer);
            error = GetLastError();
            return 0;
        },
        [&] {
            auto& d = sim::desktop();
            HWND sheet = d.TopWindow(u"Printer Properties");
            HWND page = GetParent(d.Control(sheet, 1704));
            EXPECT_TRUE(d.SetCheck(d.Control(page, 1702), true));
            EXPECT_TRUE(d.Click(d.Control(sheet, IDOK)));
        });
    EXPECT_FALSE(result);
    EXPECT_EQ(error, static_cast<DWORD>(ERROR_WRITE_FAULT));
    EXPECT_TRUE(Block().empty());
    EXPECT_TRUE(sim::desktop().Broadcasts().empty());
}

TEST_F(Sheets, PreferencesCorrectsTheThresholdAndKeepsThePage)
{
    struct Case
    {
        const char16_t* typed;
        const char16_t* shown;
    } cases[] = {{u"0", u"1"}, {u"999999", u"989901"}, {u"abc", u"2"}};
    for (const Case& c : cases)
    {
        sim::desktop().Run(
            [&] {
                printerProperties(nullptr, printer);
                return 0;
            },
            [&] {
                auto& d = sim::desktop();
                HWND sheet = d.TopWindow(u"Printer Properties");
                HWND page = GetParent(d.Control(sheet, 1704));
                EXPECT_TRUE(d.SetCheck(d.Control(page, 1702), true));
                EXPECT_TRUE(d.Type(d.Control(page, 1704), c.typed));
                EXPECT_TRUE(d.Click(d.Control(sheet, IDOK)));
                ASSERT_NE(d.TopWindow(u"Printer Properties"), nullptr) << ": the page stays";
                EXPECT_EQ(d.Text(d.Control(page, 1704)), c.shown);
                EXPECT_TRUE(d.Click(d.Control(sheet, IDCANCEL)));
            });
    }
    EXPECT_TRUE(Block().empty());
}

TEST_F(Sheets, HelpComesFromTheContextMenuF1AndTheSheet)
{
    sim::desktop().Run(
        [&] {
            printerProperties(nullptr, printer);
            return 0;
        },
        [&] {
            auto& d = sim::desktop();
            HWND sheet = d.TopWindow(u"Printer Properties");
            HWND page = GetParent(d.Control(sheet, 1704));
            d.ChoosePopupMenuItem(40001);
            EXPECT_TRUE(d.RightClick(d.Control(page, 1702)));
            d.ChoosePopupMenuItem(40001);
            EXPECT_TRUE(d.AskHelp(d.Control(page, 1707)));
            d.ChoosePopupMenuItem(0); // dismissed
            EXPECT_TRUE(d.RightClick(d.Control(page, 1702)));
            EXPECT_TRUE(d.Click(d.Control(sheet, IDCANCEL)));
        });
    auto help = sim::desktop().HelpRequests();
    ASSERT_EQ(help.size(), 2u);
    EXPECT_EQ(help[0].keyword, u"idh_min_count_warning");
    EXPECT_EQ(help[1].keyword, u"idh_version_information");
    for (const auto& h : help)
    {
        EXPECT_EQ(h.command, static_cast<UINT>(HH_KEYWORD_LOOKUP));
        EXPECT_TRUE(h.indexOnFail);
        EXPECT_EQ(h.file, WString(u"C:\\Windows\\System32\\spool\\drivers\\x64\\3\\VelmoQ7.chm"));
    }
}

// The document sheet under the scripted user: landscape, letter printed on A4, duplex and 300 x 2
// copies, which the duplex limit of 500 corrects to 250 before the sheet may close.
TEST_F(Sheets, DocumentSheetUnderTheUserCopiesOutWhatWasSetAndWritesNothing)
{
    std::vector<BYTE> in(2944), out(2944, 0xEE);
    LONG size = 2944;
    auto convert =
        Proc<BOOL(WINAPI*)(LPWSTR, PDEVMODEW, PDEVMODEW, PLONG, DWORD)>(module, "DrvConvertDevMode");
    ASSERT_TRUE(convert(const_cast<LPWSTR>(kPrinterName), nullptr, reinterpret_cast<DEVMODEW*>(in.data()),
                        &size, CDM_DRIVER_DEFAULT));
    LONG result = 0;
    std::vector<WString> boxes;
    result = DocumentSheet(printer, kPrinterName, out, &in, DM_PROMPT | DM_COPY | DM_MODIFY, [&] {
        auto& d = sim::desktop();
        HWND sheet = d.TopWindow(u"Properties");
        ASSERT_NE(sheet, nullptr);
        HWND tabs = d.FindControl(sheet, u"SysTabControl32");
        EXPECT_EQ(d.Items(tabs),
                  (std::vector<WString>{u"용지", u"레이아웃", u"그래픽", u"색 분리 기능", u"옵션"}));
        EXPECT_EQ(d.Text(d.Control(sheet, 1003)), u"Version 7.43");
        EXPECT_TRUE(d.Click(d.Control(sheet, 1118)));
        EXPECT_TRUE(d.PickText(d.Control(sheet, 1104), u"Letter (215.9 x 279.4 mm)"));
        EXPECT_TRUE(d.PickText(d.Control(sheet, 1109), u"A4 (210 x 297 mm)"));
        EXPECT_TRUE(d.Type(d.Control(sheet, 1121), u"300"));
        EXPECT_TRUE(d.Type(d.Control(sheet, 1125), u"2"));
        EXPECT_TRUE(d.Pick(tabs, 1));
        EXPECT_TRUE(d.SetCheck(d.Control(sheet, 1216), true));
        EXPECT_TRUE(d.IsEnabled(d.Control(sheet, 1217)));
        EXPECT_TRUE(d.Pick(tabs, 0));
        EXPECT_TRUE(d.Click(d.Control(sheet, IDOK)));
        auto box = d.MessageBox();
        ASSERT_TRUE(box.has_value());
        boxes.push_back(box->text);
        EXPECT_TRUE(d.AnswerMessageBox(IDOK));
        EXPECT_EQ(d.Text(d.Control(sheet, 1121)), u"250");
        EXPECT_TRUE(d.Click(d.Control(sheet, IDOK)));
    });
    EXPECT_EQ(result, IDOK);
    ASSERT_EQ(boxes.size(), 1u);
    EXPECT_NE(boxes[0].find(u"500"), WString::npos) << "string 564 with the limit";
    const auto* dm = reinterpret_cast<const DEVMODEW*>(out.data());
    EXPECT_EQ(dm->dmOrientation, DMORIENT_LANDSCAPE);
    EXPECT_EQ(dm->dmPaperSize, 1);
    EXPECT_EQ(dm->dmDuplex, 2);
    EXPECT_EQ(At(out, 256), 250) << "copies";
    EXPECT_EQ(At(out, 280), 2) << "sets";
    EXPECT_EQ(At(out, 2940), 0x28116119);
    EXPECT_FALSE(sim::spooler().PrinterData(kPrinterName, kPrivateDevModeValue));
    EXPECT_TRUE(sim::desktop().Broadcasts().empty());
    EXPECT_EQ(sim::machine().LiveHeaps(), 0u);

    std::vector<BYTE> untouched(2944, 0xEE);
    result = DocumentSheet(printer, kPrinterName, untouched, &in, DM_PROMPT | DM_COPY | DM_MODIFY, [&] {
        auto& d = sim::desktop();
        HWND sheet = d.TopWindow(u"Properties");
        EXPECT_TRUE(d.Click(d.Control(sheet, 1118)));
        EXPECT_TRUE(d.Click(d.Control(sheet, IDCANCEL)));
    });
    EXPECT_EQ(result, IDCANCEL);
    EXPECT_EQ(untouched, std::vector<BYTE>(2944, 0xEE));
}

TEST_F(Sheets, DocumentPagesWireHelpTrackBarsAndThePrintingPreferences)
{
    sim::files().Put(u"C:\\Windows\\System32\\rundll32.exe");
    sim::processes().RegisterStandIn(u"rundll32.exe", [](const sim::StartedProcess&) -> DWORD { return 0; });
    std::vector<BYTE> out(2944, 0xEE);
    DocumentSheet(printer, kPrinterName, out, nullptr, DM_PROMPT | DM_COPY, [&] {
        auto& d = sim::desktop();
        HWND sheet = d.TopWindow(u"Properties");
        HWND tabs = d.FindControl(sheet, u"SysTabControl32");
        EXPECT_TRUE(d.Click(d.Control(sheet, 1110)));
        EXPECT_TRUE(d.IsEnabled(d.Control(sheet, 1112)));
        EXPECT_TRUE(d.StepUpDown(d.Control(sheet, 1112), 5));
        EXPECT_EQ(d.Text(d.Control(sheet, 1111)), u"105.0") << "a click steps a whole percent";
        EXPECT_TRUE(d.Pick(tabs, 1));
        EXPECT_TRUE(d.Click(d.Control(sheet, 1219)));
        EXPECT_TRUE(d.Pick(tabs, 2));
        EXPECT_FALSE(d.IsVisible(d.Control(sheet, 1322)));
        EXPECT_TRUE(d.SetTrackPosition(d.Control(sheet, 1309), -20));
        EXPECT_EQ(d.Text(d.Control(sheet, 1310)), u"-20") << "a moved track bar shows its value at once";
        EXPECT_TRUE(d.Pick(tabs, 4));
        EXPECT_TRUE(d.Click(d.Control(sheet, 1515)));
        auto box = d.MessageBox();
        ASSERT_TRUE(box.has_value());
        EXPECT_NE(box->text.find(u"Properties"), WString::npos) << "617 names the sheet";
        EXPECT_TRUE(d.AnswerMessageBox(IDOK));
        EXPECT_TRUE(d.Click(d.Control(sheet, IDOK)));
    });
    auto help = sim::desktop().HelpRequests();
    ASSERT_EQ(help.size(), 1u);
    EXPECT_EQ(help[0].keyword, u"idh_duplex_same_both_sides");
    auto started = sim::processes().Started();
    ASSERT_EQ(started.size(), 1u);
    EXPECT_EQ(started[0].commandLine, u"C:\\Windows\\System32\\rundll32.exe "
                                      u"C:\\Windows\\System32\\printui.dll,PrintUIEntry /e /n \"Velmo Q7\"");
    EXPECT_EQ(started[0].currentDirectory, u"C:\\Windows\\System32");
    EXPECT_EQ(At(out, 2180), -20) << "brightness";
    EXPECT_EQ(At(out, 224), 1) << "user zoom";
    EXPECT_EQ(At(out, 2900), 10500) << "zoom in 1/100 percent";
}

namespace
{
// Counts what the pages tell the sheet by sitting in front of its window procedure.
WNDPROC g_sheetProc = nullptr;
int g_changedCount = 0;

LRESULT CALLBACK SheetSpy(HWND window, UINT message, WPARAM wParam, LPARAM lParam)
{
    if (message == PSM_CHANGED)
        ++g_changedCount;
    return CallWindowProcW(g_sheetProc, window, message, wParam, lParam);
}

void SpyOn(HWND sheet)
{
    g_changedCount = 0;
    g_sheetProc = reinterpret_cast<WNDPROC>(
        SetWindowLongPtrW(sheet, GWLP_WNDPROC, reinterpret_cast<LONG_PTR>(&SheetSpy)));
}

std::vector<BYTE> DriverDefaults(HMODULE module)
{
    std::vector<BYTE> dm(2944);
    LONG size = 2944;
    auto convert =
        Proc<BOOL(WINAPI*)(LPWSTR, PDEVMODEW, PDEVMODEW, PLONG, DWORD)>(module, "DrvConvertDevMode");
    EXPECT_TRUE(convert(const_cast<LPWSTR>(kPrinterName), nullptr, reinterpret_cast<DEVMODEW*>(dm.data()),
                        &size, CDM_DRIVER_DEFAULT));
    return dm;
}
} // namespace

// Every page is shown and reloaded, so each one sets its own texts; none of that is a change.
TEST_F(Sheets, UnchangedDocumentPagesTellTheSheetNothingAndCopyTheInputBack)
{
    std::vector<BYTE> in = DriverDefaults(module);
    std::vector<BYTE> out(2944, 0xEE);
    LONG result = 0;
    int changedWhileShown = -1;
    result = DocumentSheet(printer, kPrinterName, out, &in, DM_PROMPT | DM_COPY | DM_MODIFY, [&] {
        auto& d = sim::desktop();
        HWND sheet = d.TopWindow(u"Properties");
        ASSERT_NE(sheet, nullptr);
        SpyOn(sheet);
        HWND tabs = d.FindControl(sheet, u"SysTabControl32");
        for (int tab : {1, 2, 3, 4, 0})
            EXPECT_TRUE(d.Pick(tabs, tab));
        changedWhileShown = g_changedCount;
        EXPECT_TRUE(d.Click(d.Control(sheet, IDOK)));
    });
    EXPECT_EQ(changedWhileShown, 0);
    EXPECT_EQ(result, IDOK);
    EXPECT_EQ(out, in) << "an unchanged sheet gives its input back";
    EXPECT_FALSE(sim::spooler().PrinterData(kPrinterName, kPrivateDevModeValue));
    EXPECT_TRUE(sim::desktop().Broadcasts().empty());

    // The spy does see what a user types, where the field is open to typing.
    struct Case
    {
        int tab;
        int enabler; // a check box that opens the field, or 0
        int edit;
        const char16_t* typed;
    } typedCases[] = {{0, 0, 1121, u"3"}, {0, 0, 1125, u"2"}, {3, 1401, 1420, u"4"}};
    for (const Case& c : typedCases)
    {
        int beforeTyping = -1, afterTyping = -1;
        DocumentSheet(printer, kPrinterName, out, &in, DM_PROMPT | DM_COPY | DM_MODIFY, [&] {
            auto& d = sim::desktop();
            HWND sheet = d.TopWindow(u"Properties");
            SpyOn(sheet);
            EXPECT_TRUE(d.Pick(d.FindControl(sheet, u"SysTabControl32"), c.tab));
            EXPECT_EQ(g_changedCount, 0) << c.edit;
            if (c.enabler)
            {
                EXPECT_TRUE(d.SetCheck(d.Control(sheet, c.enabler), true));
            }
            beforeTyping = g_changedCount;
            EXPECT_TRUE(d.Type(d.Control(sheet, c.edit), c.typed));
            afterTyping = g_changedCount;
            EXPECT_TRUE(d.Click(d.Control(sheet, IDCANCEL)));
        });
        EXPECT_GT(afterTyping, beforeTyping) << c.edit;
    }
}

TEST_F(Sheets, DevicePageLeftAloneTellsTheSheetNothing)
{
    int changed = -1;
    sim::desktop().Run(
        [&] {
            printerProperties(nullptr, printer);
            return 0;
        },
        [&] {
            auto& d = sim::desktop();
            HWND sheet = d.TopWindow(u"Printer Properties");
            SpyOn(sheet);
            HWND page = GetParent(d.Control(sheet, 1704));
            NMHDR active{sheet, 0, static_cast<UINT>(PSN_SETACTIVE)};
            SendMessageW(page, WM_NOTIFY, 0, reinterpret_cast<LPARAM>(&active)); // reloads its texts
            EXPECT_EQ(SendMessageW(page, WM_NOTIFY, 0, 0), 0) << "no header: nothing to answer";
            changed = g_changedCount;
            EXPECT_TRUE(d.SetCheck(d.Control(page, 1702), true));
            EXPECT_GT(g_changedCount, changed);
            EXPECT_TRUE(d.Click(d.Control(sheet, IDCANCEL)));
        });
    EXPECT_EQ(changed, 0);
    EXPECT_TRUE(Block().empty());
}

// On each page F1 and the context menu's item look the control's keyword up, the sheet's help its tab's.
TEST_F(Sheets, EveryPageGivesItsHelpKeywords)
{
    struct Case
    {
        int tab; // -1: the device sheet's page
        int control;
        const char16_t* controlKeyword;
        const char16_t* pageKeyword;
    } cases[] = {{0, 1121, u"idh_copies", u"Paper tab"},
                 {1, 1216, u"idh_duplex", u"Layout tab"},
                 {2, 1309, u"idh_brightness", u"Graphics tab"},
                 {3, 1401, u"idh_color_separation", u"Color Separation tab"},
                 {4, 1509, u"idh_memory_storage", u"Options tab"},
                 {-1, 1702, u"idh_min_count_warning", u"Preferences tab"}};
    std::vector<BYTE> out(2944);
    for (const Case& c : cases)
    {
        size_t before = sim::desktop().HelpRequests().size();
        const char16_t* caption = c.tab < 0 ? u"Printer Properties" : u"Properties";
        sim::desktop().Run(
            [&] {
                if (c.tab < 0)
                    printerProperties(nullptr, printer);
                else
                    properties(nullptr, printer, const_cast<LPWSTR>(kPrinterName),
                               reinterpret_cast<DEVMODEW*>(out.data()), nullptr, DM_PROMPT | DM_COPY);
                return 0;
            },
            [&] {
                auto& d = sim::desktop();
                HWND sheet = d.TopWindow(caption);
                ASSERT_NE(sheet, nullptr);
                if (c.tab >= 0)
                {
                    EXPECT_TRUE(d.Pick(d.FindControl(sheet, u"SysTabControl32"), c.tab));
                }
                HWND control = d.Control(sheet, c.control);
                d.ChoosePopupMenuItem(kContextHelpCommand);
                EXPECT_TRUE(d.AskHelp(control));
                d.ChoosePopupMenuItem(kContextHelpCommand);
                EXPECT_TRUE(d.RightClick(control));
                PostMessageW(sheet, PSM_PRESSBUTTON, PSBTN_HELP, 0);
                EXPECT_TRUE(d.WaitIdle());
                EXPECT_TRUE(d.Click(d.Control(sheet, IDCANCEL)));
            });
        auto help = sim::desktop().HelpRequests();
        ASSERT_EQ(help.size(), before + 3) << c.control;
        EXPECT_EQ(help[before].keyword, c.controlKeyword);
        EXPECT_EQ(help[before + 1].keyword, c.controlKeyword);
        EXPECT_EQ(help[before + 2].keyword, c.pageKeyword);
        EXPECT_EQ(help[before + 2].command, static_cast<UINT>(HH_KEYWORD_LOOKUP));
    }
}

// A changed control on each page goes back to what the driver's defaults show, and so does the
// record: OK then copies out the defaults the sheet opened with.
TEST_F(Sheets, RestoreDefaultsPutsEachPageBack)
{
    std::vector<BYTE> in = DriverDefaults(module);
    std::vector<BYTE> out(2944, 0xEE);
    LONG result = 0;
    result = DocumentSheet(printer, kPrinterName, out, &in, DM_PROMPT | DM_COPY | DM_MODIFY, [&] {
        auto& d = sim::desktop();
        HWND sheet = d.TopWindow(u"Properties");
        ASSERT_NE(sheet, nullptr);
        HWND tabs = d.FindControl(sheet, u"SysTabControl32");
        struct Shown
        {
            WString text;
            int check;
            int position;
            bool operator==(const Shown&) const = default;
        };
        auto shown = [&](int id) {
            HWND h = d.Control(sheet, id);
            return Shown{d.Text(h), d.CheckState(h), d.Position(h)};
        };
        struct Case
        {
            int tab;
            int control;
            std::function<bool(HWND)> change;
            std::vector<int> watched;
        } cases[] = {
            {0, 1118, [&](HWND h) { return d.Click(h); }, {1117, 1118}},
            {0, 1121, [&](HWND h) { return d.Type(h, u"7"); }, {1121}},
            {1, 1216, [&](HWND h) { return d.SetCheck(h, true); }, {1216}},
            {2, 1309, [&](HWND h) { return d.SetTrackPosition(h, -20); }, {1309, 1310}},
            {3, 1401, [&](HWND h) { return d.SetCheck(h, true); }, {1401}},
            {4, 1509, [&](HWND h) { return d.Pick(h, 2); }, {1509, 1511}},
        };
        for (const Case& c : cases)
        {
            EXPECT_TRUE(d.Pick(tabs, c.tab));
            std::vector<Shown> before, changed, after;
            for (int id : c.watched)
                before.push_back(shown(id));
            EXPECT_TRUE(c.change(d.Control(sheet, c.control))) << c.control;
            for (int id : c.watched)
                changed.push_back(shown(id));
            EXPECT_NE(changed, before) << c.control << " did not change";
            EXPECT_TRUE(d.Click(d.Control(sheet, kRestoreDefaults)));
            for (int id : c.watched)
                after.push_back(shown(id));
            EXPECT_EQ(after, before) << c.control;
        }
        EXPECT_TRUE(d.Click(d.Control(sheet, IDOK)));
    });
    EXPECT_EQ(result, IDOK);
    EXPECT_EQ(out, in) << "every page's defaults are back in the record";
}

// The summary's font lives as long as its page: the icon-title font at 11/12 while the sheet is
// open, and no graphics object left once it has closed.
TEST_F(Sheets, TheSummaryFontGoesWithItsPage)
{
    LOGFONTW iconTitle{};
    ASSERT_TRUE(SystemParametersInfoW(SPI_GETICONTITLELOGFONT, sizeof iconTitle, &iconTitle, 0));
    const sim::GdiCounts before = sim::CountGdi();
    std::vector<BYTE> out(2944, 0xEE);
    DocumentSheet(printer, kPrinterName, out, nullptr, DM_PROMPT | DM_COPY, [&] {
        auto& d = sim::desktop();
        HWND sheet = d.TopWindow(u"Properties");
        ASSERT_NE(sheet, nullptr);
        HWND tabs = d.FindControl(sheet, u"SysTabControl32");
        for (int page = 0; page < static_cast<int>(d.Items(tabs).size()); ++page)
        {
            EXPECT_TRUE(d.Pick(tabs, page));
            auto font = d.Font(d.Control(sheet, 1013));
            ASSERT_TRUE(font.has_value()) << page;
            EXPECT_EQ(font->lfHeight, SummaryFontHeight(iconTitle.lfHeight)) << page;
        }
        EXPECT_GT(sim::CountGdi().objects, before.objects);
        EXPECT_TRUE(d.Click(d.Control(sheet, IDCANCEL)));
    });
    EXPECT_EQ(sim::CountGdi(), before);
}

// The help icons are the system shell's, the paper warning the system's own. Each page destroys its
// copy and shell32.dll is not kept loaded; where the icon cannot be had the page works without it.
TEST_F(Sheets, PagesShowTheSystemIconsAndKeepNone)
{
    for (bool shellThere : {true, false})
    {
        SCOPED_TRACE(shellThere);
        if (!shellThere)
            sim::processes().RemoveSystemModule(u"shell32.dll");
        const WString help = shellThere ? u"shell32.dll#24" : u"";
        std::vector<BYTE> out(2944, 0xEE);
        LONG result = 0;
        result = DocumentSheet(printer, kPrinterName, out, nullptr, DM_PROMPT | DM_COPY, [&] {
            auto& d = sim::desktop();
            HWND sheet = d.TopWindow(u"Properties");
            ASSERT_NE(sheet, nullptr);
            HWND tabs = d.FindControl(sheet, u"SysTabControl32");
            EXPECT_EQ(d.Icon(d.Control(sheet, 1105), false), u"system#32515");
            EXPECT_TRUE(d.Pick(tabs, 1));
            EXPECT_EQ(d.Icon(d.Control(sheet, 1219), false), help);
            EXPECT_TRUE(d.Pick(tabs, 4));
            EXPECT_EQ(d.Icon(d.Control(sheet, 1513), false), help);
            EXPECT_EQ(sim::LiveIcons(), shellThere ? 2u : 0u) << "one copy a page";
            EXPECT_EQ(GetModuleHandleW(u"shell32.dll"), nullptr);
            EXPECT_TRUE(d.Click(d.Control(sheet, IDOK)));
        });
        EXPECT_EQ(result, IDOK);
        EXPECT_EQ(sim::LiveIcons(), 0u);
        // Only ever mapped for its icon, from the system folder: none of its code runs here.
        constexpr DWORD kResourceOnly = LOAD_LIBRARY_AS_DATAFILE | LOAD_LIBRARY_AS_IMAGE_RESOURCE;
        int shellLoads = 0;
        for (const auto& [name, flags] : sim::processes().LibraryLoads())
            if (lstrcmpiW(name.c_str(), u"shell32.dll") == 0)
            {
                ++shellLoads;
                EXPECT_EQ(flags & (kResourceOnly | LOAD_LIBRARY_SEARCH_SYSTEM32),
                          kResourceOnly | LOAD_LIBRARY_SEARCH_SYSTEM32);
            }
        EXPECT_GT(shellLoads, 0);
    }
}
