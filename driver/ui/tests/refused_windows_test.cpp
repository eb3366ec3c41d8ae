// The sheets and their dialogs under a system that refuses a window: each window a good run of a
// user's path makes is refused once in turn. A refused sheet gives the caller its failure with the
// refusal's code and changes nothing; a refused dialog tells the user and changes nothing of its own;
// whatever else the user did still reaches the caller.
#include <gtest/gtest.h>

#include "page_print_to_file.h"
#include "print_proc_caps.h"
#include "ui_fixture.h"
#include "ui_settings.h"
#include "ui_strings.h"

#include <platform/winddiui.h>
#include <sim/fault_record.h>
#include <sim/machine.h>
#include <sim/spooler.h>

#include <algorithm>
#include <functional>

using namespace velmoui;
using namespace velmoui_test;

namespace
{
constexpr DWORD kRefused = ERROR_NOT_ENOUGH_MEMORY;
constexpr const char16_t* kRefusedText =
    u"Not enough memory resources are available to process this command.\r\n";

// How far the user's step came: the sheet's page it is on, or the dialog it opens, may be refused.
enum class Step
{
    Done,
    NoPage,
    NoDialog,
};

// What one run of a path ended with, as the caller and the user saw it.
struct Outcome
{
    LONG result = 0;
    DWORD error = 0;
    std::vector<BYTE> out;
    std::vector<BYTE> block; // the printer's device block afterwards
    size_t broadcasts = 0;
    bool sheetShown = false;
    Step step = Step::Done;
    std::vector<sim::MessageBoxShown> boxes;
};

// One path: the sheet it opens, what the user does there, and whether its step's change is in the
// settings the caller got.
struct Path
{
    const char* name;
    bool device; // PrinterProperties, not the document sheet
    const char16_t* printer;
    const char16_t* driver;
    bool withDefaults; // the spooler keeps the driver's own default settings
    std::function<Step(sim::Desktop&, HWND sheet, Outcome&)> step;
    std::function<bool(const Outcome&)> applied;
};

void PrintTo(const Path& path, std::ostream* os)
{
    *os << path.name;
}

const SettingsRecord& Settings(const Outcome& o)
{
    return *reinterpret_cast<const SettingsRecord*>(o.out.data());
}

LONG BlockValue(const std::vector<BYTE>& block, size_t offset)
{
    return block.size() >= offset + 4 ? At(block, offset) : -1;
}

// Answers the box a refused dialog brought up, keeping it.
void AnswerBox(sim::Desktop& d, Outcome& o)
{
    if (auto box = d.MessageBox())
    {
        o.boxes.push_back(*box);
        d.AnswerMessageBox(IDOK);
    }
}

HWND PageTab(sim::Desktop& d, HWND sheet, int index, int control)
{
    return d.Pick(d.FindControl(sheet, u"SysTabControl32"), index) ? d.Control(sheet, control) : nullptr;
}

// The Layout page's mode, and its details dialog opened; null when a window did not come.
HWND LayoutDetails(sim::Desktop& d, HWND sheet, UINT mode, int pages, const char16_t* caption)
{
    d.PickText(d.Control(sheet, 1211), UiString(mode));
    if (pages >= 0)
        d.Pick(d.Control(sheet, 1212), pages);
    d.Click(d.Control(sheet, 1214));
    return d.TopWindow(caption);
}

WString NameOf(const WCHAR* name, size_t size)
{
    return WString(name, std::find(name, name + size, WCHAR{0}));
}

std::vector<Path> Paths()
{
    return {
        {"PaperPageAndPreview", false, kPrinterName, u"KORIGRAPH DX-2660", true,
         [](sim::Desktop& d, HWND sheet, Outcome&) {
             return d.Click(d.Control(sheet, 1118)) ? Step::Done : Step::NoPage;
         },
         [](const Outcome& o) { return Settings(o).dm.dmOrientation == DMORIENT_LANDSCAPE; }},
        // Copies past the duplex limit: the sheet corrects them on OK with a notice, shown or not.
        {"CopiesCorrected", false, kPrinterName, u"KORIGRAPH DX-2660", true,
         [](sim::Desktop& d, HWND sheet, Outcome& o) {
             d.Type(d.Control(sheet, 1121), u"300");
             d.Type(d.Control(sheet, 1125), u"2");
             if (!PageTab(d, sheet, 1, 1216))
                 return Step::NoPage;
             d.SetCheck(d.Control(sheet, 1216), true);
             d.Pick(d.FindControl(sheet, u"SysTabControl32"), 0);
             d.Click(d.Control(sheet, IDOK));
             AnswerBox(d, o);
             return Step::Done;
         },
         [](const Outcome& o) { return At(o.out, 256) == 250 && Settings(o).dm.dmDuplex == 2; }},
        {"UserPapers", false, kPrinterName, u"KORIGRAPH DX-2650", true,
         [](sim::Desktop& d, HWND sheet, Outcome&) {
             d.Click(d.Control(sheet, 1107));
             HWND dlg = d.TopWindow(u"사용자 용지 크기");
             if (!dlg)
                 return Step::NoDialog;
             d.Type(d.Control(dlg, 2003), u"Delta");
             d.Type(d.Control(dlg, 2006), u"150");
             d.Type(d.Control(dlg, 2009), u"200");
             d.Click(d.Control(dlg, 2017));
             d.Click(d.Control(dlg, IDOK));
             return Step::Done;
         },
         [](const Outcome& o) {
             const auto& papers = Settings(o).userPapers;
             return std::any_of(std::begin(papers), std::end(papers),
                                [](const auto& p) { return NameOf(p.name, std::size(p.name)) == u"Delta"; });
         }},
        {"NupOrder", false, kPrinterName, u"KORIGRAPH DX-2650", true,
         [](sim::Desktop& d, HWND sheet, Outcome&) {
             if (!PageTab(d, sheet, 1, 1211))
                 return Step::NoPage;
             HWND dlg = LayoutDetails(d, sheet, 586, 1, u"배치 순서");
             if (!dlg)
                 return Step::NoDialog;
             d.Click(d.Control(dlg, 2108));
             d.Click(d.Control(dlg, IDOK));
             return Step::Done;
         },
         [](const Outcome& o) { return Settings(o).nupOrder == 8; }},
        {"Binding", false, u"Velmo Duplex", u"KORIGRAPH DX-2660", false,
         [](sim::Desktop& d, HWND sheet, Outcome&) {
             if (!PageTab(d, sheet, 1, 1211))
                 return Step::NoPage;
             HWND dlg = LayoutDetails(d, sheet, 584, -1, u"제본");
             if (!dlg)
                 return Step::NoDialog;
             d.Click(d.Control(dlg, 2204));
             d.Click(d.Control(dlg, IDOK));
             return Step::Done;
         },
         [](const Outcome& o) { return Settings(o).bookletOpening == 1; }},
        {"UserId", false, u"Velmo Memory", u"KORIGRAPH DX-4600", false,
         [](sim::Desktop& d, HWND sheet, Outcome&) {
             HWND tabs = d.FindControl(sheet, u"SysTabControl32");
             if (!PageTab(d, sheet, static_cast<int>(d.Items(tabs).size()) - 1, 1513))
                 return Step::NoPage;
             d.Click(d.Control(sheet, 1513));
             HWND box = d.TopWindow(u"Properties");
             if (!box || box == sheet)
                 return Step::NoDialog;
             d.Click(d.Control(box, IDOK));
             return Step::Done;
         },
         nullptr},
        {"PrintToFileFolder", false, u"DX Print to File", u"KORIGRAPH DX-2600", false,
         [](sim::Desktop& d, HWND sheet, Outcome&) {
             HWND edit = PageTab(d, sheet, 4, kFolderEdit);
             if (!edit)
                 return Step::NoPage;
             d.Click(d.Control(GetParent(edit), kFolderBrowse));
             if (!d.FileDialog())
                 return Step::NoDialog;
             d.AnswerFileDialog(u"C:\\Prints");
             return Step::Done;
         },
         [](const Outcome& o) {
             const auto* p = reinterpret_cast<const WCHAR*>(o.out.data() + 2288);
             return NameOf(p, 260) == u"C:\\Prints";
         }},
        {"DeviceSheet", true, kPrinterName, u"KORIGRAPH DX-2660", true,
         [](sim::Desktop& d, HWND sheet, Outcome&) {
             HWND edit = d.Control(sheet, 1704);
             if (!edit)
                 return Step::NoPage;
             d.SetCheck(d.Control(sheet, 1702), true);
             d.Type(edit, u"120");
             return Step::Done;
         },
         [](const Outcome& o) { return BlockValue(o.block, 300) == 120; }},
        {"AboutBox", true, kPrinterName, u"KORIGRAPH DX-2660", true,
         [](sim::Desktop& d, HWND sheet, Outcome&) {
             d.Click(d.Control(sheet, 1707));
             HWND about = d.TopWindow(u"About...");
             if (!about)
                 return Step::NoDialog;
             d.Click(d.Control(about, IDOK));
             return Step::Done;
         },
         nullptr},
    };
}

class RefusedWindows : public UiDllTest, public ::testing::WithParamInterface<Path>
{
protected:
    void SetUp() override
    {
        UiDllTest::SetUp();
        if (HasFatalFailure())
            return;
        const Path& path = GetParam();
        printer = AddPrinter(path.printer, path.driver, path.withDefaults);
        if (WString(path.printer) == u"DX Print to File")
        {
            sim::spooler().AddPrintProcessor(u"KglPrint");
            using EventFn = BOOL(WINAPI*)(LPWSTR, INT, DWORD, LPARAM);
            ASSERT_TRUE(Proc<EventFn>(module, "DrvPrinterEvent")(const_cast<LPWSTR>(path.printer),
                                                                 PRINTER_EVENT_INITIALIZE, 0, 0));
            ASSERT_TRUE(CreateDirectoryW(u"C:\\Prints", nullptr));
        }
        // The Layout page offers N-up and booklets only where the print processor can make them.
        sim::spooler().SetPrinterData(path.printer, kPrintProcCapsValue, REG_BINARY, CapsRecord(0x3F, 0x2));
    }

    std::vector<BYTE> Block() const
    {
        auto v = sim::spooler().PrinterData(GetParam().printer, kPrivateDevModeValue);
        return v ? v->data : std::vector<BYTE>{};
    }

    // The path played once; `arm` runs just before the sheet is asked for.
    Outcome Play(const std::function<void()>& arm)
    {
        const Path& path = GetParam();
        Outcome o;
        o.out.assign(2944, 0xEE);
        const size_t broadcastsBefore = sim::desktop().Broadcasts().size();
        const size_t boxesBefore = sim::desktop().MessageBoxes().size();
        auto script = [&] {
            auto& d = sim::desktop();
            HWND sheet = d.TopWindow(path.device ? u"Printer Properties" : u"Properties");
            if (!sheet)
                return;
            o.sheetShown = true;
            o.step = path.step(d, sheet, o);
            AnswerBox(d, o);
            d.Click(d.Control(sheet, IDOK));
        };
        arm();
        sim::desktop().Run(
            [&] {
                if (path.device)
                    o.result = printerProperties(nullptr, printer);
                else
                    o.result =
                        properties(nullptr, printer, const_cast<LPWSTR>(path.printer),
                                   reinterpret_cast<DEVMODEW*>(o.out.data()), nullptr, DM_PROMPT | DM_COPY);
                o.error = GetLastError();
                return 0;
            },
            script);
        o.block = Block();
        o.broadcasts = sim::desktop().Broadcasts().size() - broadcastsBefore;
        auto boxes = sim::desktop().MessageBoxes();
        EXPECT_EQ(boxes.size() - boxesBefore, o.boxes.size()) << "every box shown was one the user answered";
        return o;
    }

    HANDLE printer = nullptr;
};

TEST_P(RefusedWindows, EachWindowOfThePathRefusedInTurn)
{
    const Path& path = GetParam();
    std::vector<sim::FaultPointCall> calls;
    Outcome good = Play([] { sim::StartFaultPointRecord(); });
    for (const auto& call : sim::StopFaultPointRecord())
        if (call.api == "CreateWindowExW")
            calls.push_back(call);
    ASSERT_TRUE(good.sheetShown);
    ASSERT_EQ(good.step, Step::Done);
    const LONG okResult = path.device ? TRUE : IDOK;
    ASSERT_EQ(good.result, okResult);
    if (path.applied)
    {
        ASSERT_TRUE(path.applied(good)) << "the good run makes the change the sweep looks for";
    }
    ASSERT_GT(calls.size(), 3u) << "the frame, its buttons and a page at least";

    for (const auto& call : calls)
    {
        SCOPED_TRACE(testing::Message() << "window " << call.nth << " refused");
        const std::vector<BYTE> blockNow = Block();
        Outcome o = Play([&] { sim::faults().FailNext("CreateWindowExW", kRefused, 1, call.nth); });
        EXPECT_EQ(sim::machine().LiveHeaps(), 0u) << "the sheet's state went with it";
        if (!o.sheetShown)
        {
            // The caller is told the sheet failed, and why; nothing was changed or announced.
            EXPECT_EQ(o.result, path.device ? LONG{FALSE} : LONG{-1});
            EXPECT_EQ(o.error, kRefused);
            if (!path.device)
            {
                EXPECT_EQ(o.out, std::vector<BYTE>(2944, 0xEE));
            }
            EXPECT_EQ(o.block, blockNow);
            EXPECT_EQ(o.broadcasts, 0u);
            EXPECT_TRUE(o.boxes.empty());
            continue;
        }
        EXPECT_EQ(o.result, okResult) << "the user's OK still counts";
        if (o.step == Step::Done)
        {
            EXPECT_LE(o.boxes.size(), good.boxes.size()) << "a refused notice is the only box to miss";
            if (path.applied)
            {
                EXPECT_TRUE(path.applied(o));
            }
            continue;
        }
        // The step's window did not come, so its change is not in. A page the sheet could not make
        // is the system's to show; a dialog of the driver's own says why it did not open.
        if (path.applied)
        {
            EXPECT_FALSE(path.applied(o)) << "a change made in no window";
        }
        // The shell's folder browser answers a refusal as a cancel, so that page cannot tell them apart.
        if (o.step == Step::NoDialog && path.name != std::string("PrintToFileFolder"))
        {
            ASSERT_EQ(o.boxes.size(), 1u);
            EXPECT_EQ(o.boxes[0].text, kRefusedText);
            EXPECT_EQ(o.boxes[0].caption, path.device ? u"Printer Properties" : u"Properties");
        }
        else
        {
            EXPECT_TRUE(o.boxes.empty());
        }
    }
}

INSTANTIATE_TEST_SUITE_P(Paths, RefusedWindows, ::testing::ValuesIn(Paths()),
                         [](const ::testing::TestParamInfo<Path>& info) { return info.param.name; });
} // namespace
