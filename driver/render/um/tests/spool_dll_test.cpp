#include <gtest/gtest.h>

#include "spool_dll.h"

#include <platform/winspool.h>
#include <sim/machine.h>
#include <sim/sessions.h>
#include <sim/spooler.h>

#include <cstring>
#include <string>
#include <vector>

using namespace velmq7um;

namespace
{
using StartDocFn = HANDLE(WINAPI*)(HANDLE, DWORD);
using HandleFn = BOOL(WINAPI*)(HANDLE);
using WriteFn = BOOL(WINAPI*)(HANDLE, LPVOID, DWORD, LPDWORD);

constexpr const char16_t* kPrinter = u"Velmo UM";
constexpr DWORD kUntouched = 0xFFFF;

template <typename F> F Proc(HMODULE module, const char* name)
{
    return reinterpret_cast<F>(reinterpret_cast<void (*)()>(GetProcAddress(module, name)));
}

class SpoolDll : public ::testing::Test
{
protected:
    void SetUp() override
    {
        sim::PrinterSetup s;
        s.name = kPrinter;
        s.driverName = u"KORIGRAPH Driver with UserMode";
        s.portName = u"LPT2:";
        sim::spooler().AddPrinter(s);
        module = LoadLibraryW(u"VelmQ7UM.dll");
        ASSERT_NE(module, nullptr);
        startDoc = Proc<StartDocFn>(module, "DrvSplStartDoc");
        write = Proc<WriteFn>(module, "DrvSplWritePrinter");
        close = Proc<HandleFn>(module, "DrvSplClose");
        ASSERT_TRUE(startDoc && write && close);
        printer = sim::spooler().OpenPrinter(kPrinter);
        DOC_INFO_1W doc{const_cast<LPWSTR>(u"Job"), nullptr, nullptr};
        job = StartDocPrinterW(printer, 1, reinterpret_cast<LPBYTE>(&doc));
        ASSERT_NE(job, 0u);
    }
    void TearDown() override
    {
        EndDocPrinter(printer);
        sim::spooler().ClosePrinter(printer);
        FreeLibrary(module);
    }

    HMODULE module = nullptr;
    StartDocFn startDoc = nullptr;
    WriteFn write = nullptr;
    HandleFn close = nullptr;
    HANDLE printer = nullptr;
    DWORD job = 0;
};

TEST_F(SpoolDll, ExportsByNameAndOrdinal)
{
    const char* names[] = {"DrvSplAbort",    "DrvSplClose",     "DrvSplEndDoc",      "DrvSplEndPage",
                           "DrvSplStartDoc", "DrvSplStartPage", "DrvSplWritePrinter"};
    for (int ordinal = 1; ordinal <= 7; ++ordinal)
    {
        FARPROC byName = GetProcAddress(module, names[ordinal - 1]);
        EXPECT_NE(byName, nullptr) << names[ordinal - 1];
        EXPECT_EQ(GetProcAddress(module, MAKEINTRESOURCEA(ordinal)), byName) << ordinal;
    }
}

TEST_F(SpoolDll, EveryExportChecksItsHandleBeforeReadingIt)
{
    HANDLE live = startDoc(printer, job);
    ASSERT_NE(live, nullptr);
    auto* h = static_cast<DrvSplHandle*>(live);
    EXPECT_EQ(h->self, h);
    EXPECT_EQ(h->selfEnd, h);
    EXPECT_EQ(h->size, DWORD{sizeof(DrvSplHandle)});
    EXPECT_EQ(h->printer, printer);
    EXPECT_EQ(h->jobId, job);

    HANDLE closed = startDoc(printer, job);
    ASSERT_TRUE(close(closed));
    // A copy of a live handle's words that was never handed out, and one with a wrong size.
    DrvSplHandle lookalike{};
    lookalike.self = lookalike.selfEnd = &lookalike;
    lookalike.size = sizeof(DrvSplHandle);
    DrvSplHandle wrongSize = lookalike;
    wrongSize.self = wrongSize.selfEnd = &wrongSize;
    wrongSize.size = 28 + 1;

    struct Export
    {
        const char* name;
        BOOL invalidResult;
    } exports[] = {{"DrvSplStartPage", FALSE}, {"DrvSplEndPage", FALSE},      {"DrvSplEndDoc", FALSE},
                   {"DrvSplAbort", TRUE},      {"DrvSplWritePrinter", FALSE}, {"DrvSplClose", FALSE}};
    char data[] = "data";
    for (const Export& e : exports)
    {
        for (HANDLE bad : {HANDLE{}, closed, HANDLE(&lookalike), HANDLE(&wrongSize)})
        {
            SetLastError(kUntouched);
            DWORD written = 0;
            BOOL result = std::string(e.name) == "DrvSplWritePrinter" ? write(bad, data, 4, &written)
                                                                      : Proc<HandleFn>(module, e.name)(bad);
            EXPECT_EQ(result, e.invalidResult) << e.name;
            EXPECT_EQ(GetLastError(), DWORD{ERROR_INVALID_PARAMETER}) << e.name;
        }
        SetLastError(kUntouched);
        DWORD written = 0;
        BOOL result = std::string(e.name) == "DrvSplWritePrinter" ? write(live, data, 4, &written)
                                                                  : Proc<HandleFn>(module, e.name)(live);
        EXPECT_TRUE(result) << e.name;
        EXPECT_EQ(GetLastError(), kUntouched) << e.name;
    }
    EXPECT_EQ(sim::spooler().Output(kPrinter), "data");
    // Closed by the last row: it is refused from now on.
    EXPECT_FALSE(close(live));
    EXPECT_EQ(GetLastError(), DWORD{ERROR_INVALID_PARAMETER});
}

TEST_F(SpoolDll, ResolutionCommandsTellTheConsoleAndTheBufferGoesOnUnchanged)
{
    const std::string c300 = g_PDLKey[0].command, c600 = g_PDLKey[1].command;
    ASSERT_EQ(c300.size(), 32u);
    ASSERT_EQ(c300[0], '\x1B');
    struct Case
    {
        std::string buffer;
        std::vector<std::u16string> messages;
    } cases[] = {
        {c300, {u"300dpi Printing"}},
        {c300 + "\x0C page data", {u"300dpi Printing"}},
        {c300.substr(0, 31), {}},
        {c600, {u"600dpi Printing"}},
        {c600 + c300, {u"600dpi Printing"}},
        {"\x1B%-12345X@PJL SET RESOLUTION=400", {}},
        {"\x1B#12345X", {}},
        {"", {}},
    };
    std::string all;
    size_t told = 0;
    HANDLE h = startDoc(printer, job);
    for (const Case& c : cases)
    {
        SCOPED_TRACE(c.buffer.size());
        std::string copy = c.buffer;
        DWORD written = 0xFFFF;
        ASSERT_TRUE(write(h, copy.data(), static_cast<DWORD>(copy.size()), &written));
        EXPECT_EQ(written, copy.size());
        all += c.buffer;
        EXPECT_EQ(sim::spooler().Output(kPrinter), all);
        auto sent = sim::sessions().Messages();
        ASSERT_EQ(sent.size(), told + c.messages.size());
        for (size_t i = 0; i < c.messages.size(); ++i)
        {
            const auto& m = sent[told + i];
            EXPECT_EQ(m.text, c.messages[i]);
            EXPECT_EQ(m.title, u"KORIGRAPH Driver");
            EXPECT_EQ(m.sessionId, 1u);
            EXPECT_EQ(m.style, DWORD{MB_SETFOREGROUND});
            EXPECT_FALSE(m.wait);
        }
        told = sent.size();
    }

    // Nobody at the console: the buffer is written all the same, with nobody told.
    sim::sessions().SetActiveConsole(0xFFFFFFFF);
    std::string copy = c300;
    DWORD written = 0;
    EXPECT_TRUE(write(h, copy.data(), static_cast<DWORD>(copy.size()), &written));
    EXPECT_EQ(sim::spooler().Output(kPrinter), all + c300);
    EXPECT_EQ(sim::sessions().Messages().size(), told);
    close(h);
}

TEST_F(SpoolDll, FailuresComeBackWithTheirErrors)
{
    // The spooler's refusal is passed back as its own.
    HANDLE other = sim::spooler().OpenPrinter(kPrinter);
    HANDLE h = startDoc(other, 7);
    ASSERT_NE(h, nullptr);
    char data[] = "abc";
    DWORD written = 5;
    EXPECT_FALSE(write(h, data, 3, &written));
    EXPECT_EQ(GetLastError(), DWORD{ERROR_SPL_NO_STARTDOC});
    EXPECT_EQ(written, 0u);
    close(h);
    sim::spooler().ClosePrinter(other);

    sim::faults().FailNext("GlobalAlloc", ERROR_NOT_ENOUGH_MEMORY);
    SetLastError(0);
    EXPECT_EQ(startDoc(printer, job), nullptr);
    EXPECT_EQ(GetLastError(), DWORD{ERROR_NOT_ENOUGH_MEMORY});
}

TEST_F(SpoolDll, TwoJobsHaveTheirOwnHandles)
{
    HANDLE a = startDoc(printer, job), b = startDoc(printer, job + 1);
    ASSERT_TRUE(a && b);
    EXPECT_NE(a, b);
    ASSERT_TRUE(close(a));
    char data[] = "b";
    DWORD written = 0;
    EXPECT_TRUE(write(b, data, 1, &written));
    EXPECT_FALSE(write(a, data, 1, &written));
    EXPECT_TRUE(close(b));
    EXPECT_EQ(sim::spooler().Output(kPrinter), "b");
}

} // namespace
