#include <gtest/gtest.h>

#include "printer_event.h"
#include "ui_fixture.h"
#include "ui_strings.h"

#include <platform/winddiui.h>
#include <sim/machine.h>
#include <platform/winspool.h>
#include <sim/spooler.h>

#include <algorithm>
#include <climits>
#include <optional>

using namespace velmoui;
using namespace velmoui_test;

namespace
{
using EventFn = BOOL(WINAPI*)(LPWSTR, INT, DWORD, LPARAM);

std::string Ascii(std::u16string_view text)
{
    return std::string(text.begin(), text.end());
}

// "label: x x y dpi" as the comment writes it, from the DLL's own strings.
WString Line(UINT label, const char16_t* x, const char16_t* y)
{
    return UiString(label) + u": " + x + u" x " + y + u" " + UiString(602);
}

// A small raw job reaches the printer's port whole (through the spool DLL its data names, if any).
bool RawJobPrints(const char16_t* name)
{
    const std::string before = sim::spooler().Output(name);
    HANDLE printer = sim::spooler().OpenPrinter(name);
    DOC_INFO_1W doc{const_cast<LPWSTR>(u"check"), nullptr, nullptr};
    char data[] = "job bytes";
    DWORD written = 0;
    bool ok = printer && StartDocPrinterW(printer, 1, reinterpret_cast<LPBYTE>(&doc)) &&
              WritePrinter(printer, data, 9, &written) && EndDocPrinter(printer);
    if (printer)
        sim::spooler().ClosePrinter(printer);
    return ok && sim::spooler().Output(name) == before + "job bytes";
}

class PrinterEvent : public ::testing::Test
{
protected:
    void SetUp() override
    {
        sim::spooler().AddPrintProcessor(u"KglPrint");
        module = LoadLibraryW(u"VelmQ7UI.dll");
        ASSERT_NE(module, nullptr);
        event = Proc<EventFn>(module, "DrvPrinterEvent");
        ASSERT_TRUE(event);
    }
    void TearDown() override { FreeLibrary(module); }

    void Install(const char16_t* name, const char16_t* driver, std::optional<WString> comment = std::nullopt)
    {
        sim::PrinterSetup s;
        s.name = name;
        s.driverName = driver;
        s.comment = std::move(comment);
        sim::spooler().AddPrinter(s);
    }
    BOOL Initialize(const char16_t* name)
    {
        return event(const_cast<LPWSTR>(name), PRINTER_EVENT_INITIALIZE, 0, 0);
    }
    static std::optional<WString> Comment(const char16_t* name)
    {
        return sim::spooler().Printer(name)->comment;
    }

    HMODULE module = nullptr;
    EventFn event = nullptr;
};

TEST_F(PrinterEvent, EventsOutsideTheRangeAreRefusedAndTheOthersDoNothing)
{
    Install(kPrinterName, u"KORIGRAPH DX-2600");
    for (INT e : {0, -1, 9, INT_MIN, INT_MAX})
    {
        SetLastError(0);
        EXPECT_FALSE(event(const_cast<LPWSTR>(kPrinterName), e, 0, 0)) << e;
        EXPECT_EQ(GetLastError(), DWORD{ERROR_INVALID_PARAMETER}) << e;
    }
    for (INT e = 1; e <= 8; ++e)
    {
        if (e != PRINTER_EVENT_INITIALIZE)
        {
            EXPECT_TRUE(event(const_cast<LPWSTR>(kPrinterName), e, 0, 0)) << e;
        }
    }
    EXPECT_FALSE(sim::spooler().PrinterData(kPrinterName, u"Private DevMode"));
    EXPECT_EQ(sim::spooler().Printer(kPrinterName)->printProcessor, u"WinPrint");

    // A printer that cannot be opened is left alone, and the event still succeeds.
    EXPECT_TRUE(Initialize(u"No Such Printer"));
    EXPECT_TRUE(event(nullptr, PRINTER_EVENT_INITIALIZE, 0, 0));
}

TEST_F(PrinterEvent, InitializeWritesThePrinterDataByNameModelAndComment)
{
    const WString density600 = Line(597, u"600", u"600"), print600 = Line(600, u"600", u"600");
    const WString twoLines600 = density600 + u"\r\n" + print600;
    struct Case
    {
        const char16_t* name;
        const char16_t* driver;
        std::optional<WString> oldComment;
        BYTE toFile;
        bool userMode;
        std::optional<WString> comment; // none: the old one stays
    } cases[] = {
        {u"DX Print to File", u"KORIGRAPH DX-2600", std::nullopt, 1, false, twoLines600},
        {u"DX on the network", u"korigraph dx-2600", u"", 0, false, u"\r\n" + twoLines600},
        {u"No file Print to File", u"KORIGRAPH DX-5370", u"Hall 2", 0, false, u"Hall 2\r\n" + twoLines600},
        {u"Hall", u"KORIGRAPH DX-2650", u"Hall 2", 0, false,
         u"Hall 2\r\n" + Line(601, u"600", u"600") + u"\r\n" + twoLines600},
        {u"Mixed", u"KORIGRAPH DX-3600", std::nullopt, 0, false,
         density600 + u"\r\n" + Line(600, u"300", u"600")},
        {u"Low", u"KORIGRAPH DX-1300", std::nullopt, 0, false,
         Line(597, u"300", u"300") + u"\r\n" + Line(600, u"300", u"300")},
        {u"Fine", u"KORIGRAPH DX-5360", std::nullopt, 0, false,
         Line(597, u"360", u"360") + u"\r\n" + Line(600, u"300", u"360")},
        {u"Wide", u"KORIGRAPH DX-3800", std::nullopt, 0, false,
         Line(601, u"800", u"800") + u"\r\n" + Line(597, u"800", u"800") + u"\r\n" +
             Line(600, u"400", u"800")},
        {u"Type six", u"KORIGRAPH DX-4600", u"Kept", 0, false, std::nullopt},
        {u"Other maker Print to File", u"Other Driver", std::nullopt, 0, false, twoLines600},
        {u"Kernel Print to File", u"KORIGRAPH Driver", std::nullopt, 1, false,
         Line(601, u"600", u"600") + u"\r\n" + twoLines600},
        {u"User mode", u"KORIGRAPH Driver with UserMode", std::nullopt, 0, true,
         Line(601, u"600", u"600") + u"\r\n" + twoLines600},
        {u"User mode, other case", u"korigraph driver with usermode", std::nullopt, 0, false,
         Line(601, u"600", u"600") + u"\r\n" + twoLines600},
    };
    for (const Case& c : cases)
    {
        SCOPED_TRACE(Ascii(c.name));
        Install(c.name, c.driver, c.oldComment);
        ASSERT_TRUE(Initialize(c.name));

        auto toFile = sim::spooler().PrinterData(c.name, u"Default PrintToFile");
        ASSERT_TRUE(toFile);
        EXPECT_EQ(toFile->type, DWORD{REG_BINARY});
        EXPECT_EQ(toFile->data, std::vector<BYTE>{c.toFile});

        auto block = sim::spooler().PrinterData(c.name, u"Private DevMode");
        ASSERT_TRUE(block);
        EXPECT_EQ(block->type, DWORD{REG_BINARY});
        EXPECT_EQ(block->data.size(), size_t{304});

        auto printer = sim::spooler().Printer(c.name);
        EXPECT_EQ(printer->printProcessor, u"KglPrint");
        EXPECT_EQ(printer->comment, c.comment ? c.comment : c.oldComment);

        auto dll = sim::spooler().PrinterData(c.name, u"SPLUserModePrinterDriver");
        EXPECT_EQ(dll.has_value(), c.userMode);
        if (dll)
        {
            EXPECT_EQ(dll->type, DWORD{REG_SZ});
            const char16_t name[] = u"VelmQ7UM";
            EXPECT_EQ(dll->data, BytesOf(name, 8 * sizeof(char16_t))); // no terminator
        }
    }
}

TEST_F(PrinterEvent, TheCommentGrowsWithEveryInitializeWhileItFits)
{
    Install(u"Measure", u"KORIGRAPH DX-2600");
    ASSERT_TRUE(Initialize(u"Measure"));
    const WString lines = *Comment(u"Measure");
    const size_t room = kMaxCommentLength - lines.size() - 2;

    Install(kPrinterName, u"KORIGRAPH DX-2600", u"A");
    ASSERT_TRUE(Initialize(kPrinterName));
    ASSERT_TRUE(Initialize(kPrinterName));
    EXPECT_EQ(Comment(kPrinterName), u"A\r\n" + lines + u"\r\n" + lines);

    // Exactly the printer's limit fits; one more character keeps the old comment as it was.
    const WString fits(room, u'x'), over(room + 1, u'y');
    Install(kPrinterName, u"KORIGRAPH DX-2600", fits);
    ASSERT_TRUE(Initialize(kPrinterName));
    EXPECT_EQ(Comment(kPrinterName)->size(), kMaxCommentLength);
    EXPECT_EQ(Comment(kPrinterName), fits + u"\r\n" + lines);
    for (const WString& kept : {over, WString(4000, u'z')})
    {
        Install(kPrinterName, u"KORIGRAPH DX-2600", kept);
        ASSERT_TRUE(Initialize(kPrinterName));
        EXPECT_EQ(Comment(kPrinterName), kept);
        EXPECT_EQ(sim::spooler().Printer(kPrinterName)->printProcessor, u"KglPrint");
    }
}

TEST_F(PrinterEvent, EachFailingCallLeavesWholeValuesAndASecondInitializeCompletesThem)
{
    const char16_t* name = u"User mode Print to File";
    const char16_t* driver = u"KORIGRAPH Driver with UserMode";
    Install(name, driver);
    ASSERT_TRUE(Initialize(name));
    const auto full = sim::spooler().Printer(name);
    const WString lines = *full->comment;
    const std::vector<const char16_t*> values = {u"Default PrintToFile", u"Private DevMode",
                                                 u"SPLUserModePrinterDriver"};
    std::vector<std::optional<sim::PrinterDataValue>> whole;
    for (const char16_t* v : values)
        whole.push_back(sim::spooler().PrinterData(name, v));

    struct Fault
    {
        const char* api;
        int skip;
    } faults[] = {{"OpenPrinterW", 0},    {"GetPrinterW", 0},
                  {"GetPrinterW", 1},     {"GetPrinterW", 2},
                  {"GetPrinterW", 3},     {"GetPrinterW", 4},
                  {"GetPrinterW", 5},     {"SetPrinterDataW", 0},
                  {"SetPrinterDataW", 1}, {"SetPrinterDataW", 2},
                  {"SetPrinterW", 0},     {"SetPrinterW", 1},
                  {"GetPrinterDataW", 0}, {"GetPrinterDriverDirectoryW", 0},
                  {"GlobalAlloc", 0}};
    for (const Fault& f : faults)
    {
        SCOPED_TRACE(std::string(f.api) + " " + std::to_string(f.skip));
        Install(name, driver, u"Old");
        sim::faults().FailNext(f.api, ERROR_NOT_ENOUGH_MEMORY, 1, f.skip);
        EXPECT_TRUE(Initialize(name));
        for (size_t i = 0; i < values.size(); ++i)
        {
            auto now = sim::spooler().PrinterData(name, values[i]);
            if (now)
            {
                EXPECT_EQ(now->data, whole[i]->data) << Ascii(values[i]);
            }
        }
        auto comment = Comment(name);
        EXPECT_TRUE(comment == u"Old" || comment == u"Old\r\n" + lines);

        ASSERT_TRUE(Initialize(name));
        for (size_t i = 0; i < values.size(); ++i)
        {
            auto now = sim::spooler().PrinterData(name, values[i]);
            ASSERT_TRUE(now) << Ascii(values[i]);
            EXPECT_EQ(now->data, whole[i]->data);
        }
        EXPECT_EQ(sim::spooler().Printer(name)->printProcessor, u"KglPrint");
        EXPECT_TRUE(Comment(name)->ends_with(u"\r\n" + lines));
        EXPECT_TRUE(RawJobPrints(name));
    }
    auto calls = sim::spooler().SpoolDllCalls();
    EXPECT_EQ(std::count(calls.begin(), calls.end(), "DrvSplStartDoc"), std::ssize(faults));
}

} // namespace
