#include <gtest/gtest.h>

#include <sim/machine.h>
#include <sim/spooler.h>

#include <cstring>
#include <vector>

namespace
{
constexpr DWORD kMarker = 0xDEADBEEF;

HANDLE Install(const WCHAR* name = u"Duplicator")
{
    sim::PrinterSetup p;
    p.name = name;
    p.driverName = u"KORIGRAPH DX-2660";
    p.portName = u"USB001";
    p.driverPath = u"C:\\Windows\\System32\\spool\\drivers\\x64\\3\\VELMOQ7.DLL";
    p.defaultDevMode = {1, 2, 3, 4, 5};
    sim::spooler().AddPrinter(p);
    WString open = u"duplicator"; // names compare without case
    HANDLE printer = nullptr;
    EXPECT_TRUE(OpenPrinterW(open.data(), &printer, nullptr));
    return printer;
}

WString At(LPCWSTR text)
{
    return text ? WString(text) : WString(u"(null)");
}

// Asks with no buffer, then one byte short, then with the size asked for: the first two fail with
// the size, leaving the buffer untouched; the third fills it.
template <typename Get> std::vector<BYTE> TwoCalls(Get get)
{
    DWORD needed = 0;
    SetLastError(kMarker);
    EXPECT_FALSE(get(nullptr, 0, &needed));
    EXPECT_EQ(GetLastError(), DWORD{ERROR_INSUFFICIENT_BUFFER});
    EXPECT_GT(needed, 0u);
    std::vector<BYTE> buffer(needed, 0xCD);
    DWORD again = 0;
    SetLastError(kMarker);
    EXPECT_FALSE(get(buffer.data(), needed - 1, &again));
    EXPECT_EQ(GetLastError(), DWORD{ERROR_INSUFFICIENT_BUFFER});
    EXPECT_EQ(again, needed);
    EXPECT_EQ(buffer, std::vector<BYTE>(needed, 0xCD)) << "a short buffer is left as it was";
    EXPECT_TRUE(get(buffer.data(), needed, &again));
    return buffer;
}

// Every pointer of a record points into the buffer that holds it.
bool Inside(const std::vector<BYTE>& buffer, const void* p)
{
    auto* b = static_cast<const BYTE*>(p);
    return b >= buffer.data() && b < buffer.data() + buffer.size();
}

TEST(Spooler, PrinterRecordsComeInTwoCallsWithTheirStringsInTheBuffer)
{
    HANDLE printer = Install();
    ASSERT_NE(printer, nullptr);

    auto info2 =
        TwoCalls([&](BYTE* b, DWORD n, DWORD* needed) { return GetPrinterW(printer, 2, b, n, needed); });
    const auto* p2 = reinterpret_cast<const PRINTER_INFO_2W*>(info2.data());
    EXPECT_EQ(At(p2->pPrinterName), u"Duplicator");
    EXPECT_EQ(At(p2->pPortName), u"USB001");
    EXPECT_EQ(At(p2->pDriverName), u"KORIGRAPH DX-2660");
    EXPECT_EQ(At(p2->pPrintProcessor), u"WinPrint");
    EXPECT_EQ(p2->Attributes, DWORD{PRINTER_ATTRIBUTE_LOCAL});
    ASSERT_TRUE(Inside(info2, p2->pPrinterName) && Inside(info2, p2->pDevMode));
    EXPECT_EQ(std::memcmp(p2->pDevMode, "\1\2\3\4\5", 5), 0);

    auto info4 =
        TwoCalls([&](BYTE* b, DWORD n, DWORD* needed) { return GetPrinterW(printer, 4, b, n, needed); });
    const auto* p4 = reinterpret_cast<const PRINTER_INFO_4W*>(info4.data());
    EXPECT_TRUE(Inside(info4, p4->pPrinterName));
    EXPECT_EQ(At(p4->pPrinterName), u"Duplicator");

    auto info5 =
        TwoCalls([&](BYTE* b, DWORD n, DWORD* needed) { return GetPrinterW(printer, 5, b, n, needed); });
    const auto* p5 = reinterpret_cast<const PRINTER_INFO_5W*>(info5.data());
    EXPECT_TRUE(Inside(info5, p5->pPortName));
    EXPECT_EQ(At(p5->pPortName), u"USB001");

    auto driver = TwoCalls([&](BYTE* b, DWORD n, DWORD* needed) {
        return GetPrinterDriverW(printer, nullptr, 2, b, n, needed);
    });
    const auto* d2 = reinterpret_cast<const DRIVER_INFO_2W*>(driver.data());
    EXPECT_EQ(d2->cVersion, 3u);
    EXPECT_EQ(At(d2->pName), u"KORIGRAPH DX-2660");
    EXPECT_TRUE(Inside(driver, d2->pDriverPath));
    EXPECT_EQ(At(d2->pDriverPath), u"C:\\Windows\\System32\\spool\\drivers\\x64\\3\\VELMOQ7.DLL");

    BYTE buffer[512];
    DWORD needed = 0;
    for (DWORD level : {1u, 3u, 6u})
    {
        SetLastError(kMarker);
        EXPECT_FALSE(GetPrinterW(printer, level, buffer, sizeof buffer, &needed)) << level;
        EXPECT_EQ(GetLastError(), DWORD{ERROR_INVALID_LEVEL}) << level;
    }
    SetLastError(kMarker);
    EXPECT_FALSE(GetPrinterDriverW(printer, nullptr, 3, buffer, sizeof buffer, &needed));
    EXPECT_EQ(GetLastError(), DWORD{ERROR_INVALID_LEVEL});
    EXPECT_TRUE(ClosePrinter(printer));
}

TEST(Spooler, PrinterDataRoundTripsUnderItsKey)
{
    HANDLE printer = Install();
    WString value = u"Private DevMode";
    BYTE data[] = {9, 8, 7, 6};
    EXPECT_EQ(SetPrinterDataW(printer, value.data(), REG_BINARY, data, sizeof data), DWORD{ERROR_SUCCESS});

    WString asked = u"PRIVATE DEVMODE";
    DWORD type = 0;
    DWORD needed = 0;
    BYTE out[8] = {};
    EXPECT_EQ(GetPrinterDataW(printer, asked.data(), &type, out, 3, &needed), DWORD{ERROR_MORE_DATA});
    EXPECT_EQ(needed, 4u);
    EXPECT_EQ(GetPrinterDataW(printer, asked.data(), &type, out, needed, &needed), DWORD{ERROR_SUCCESS});
    EXPECT_EQ(type, DWORD{REG_BINARY});
    EXPECT_EQ(std::memcmp(out, data, sizeof data), 0);
    ASSERT_TRUE(sim::spooler().PrinterData(u"Duplicator", u"private devmode"));
    EXPECT_EQ(sim::spooler().PrinterData(u"Duplicator", u"private devmode")->data,
              std::vector<BYTE>(data, data + sizeof data));
    EXPECT_EQ(sim::spooler().PrinterDataReads(u"Duplicator"), 2);

    // The driver's own values live under PrinterDriverData; another key is another place.
    EXPECT_EQ(
        GetPrinterDataExW(printer, u"PrinterDriverData", u"Private DevMode", &type, out, sizeof out, &needed),
        DWORD{ERROR_SUCCESS});
    EXPECT_EQ(GetPrinterDataExW(printer, u"Other", u"Private DevMode", &type, out, sizeof out, &needed),
              DWORD{ERROR_FILE_NOT_FOUND});
    EXPECT_EQ(SetPrinterDataExW(printer, u"", u"x", REG_BINARY, data, 1), DWORD{ERROR_INVALID_PARAMETER});
    WString missing = u"Missing";
    EXPECT_EQ(GetPrinterDataW(printer, missing.data(), &type, out, sizeof out, &needed),
              DWORD{ERROR_FILE_NOT_FOUND});

    // A printer installed again starts without data.
    ClosePrinter(printer);
    printer = Install();
    EXPECT_EQ(GetPrinterDataW(printer, asked.data(), &type, out, sizeof out, &needed),
              DWORD{ERROR_FILE_NOT_FOUND});
    ClosePrinter(printer);
}

TEST(Spooler, AJobSendsWhatIsWrittenToThePrintersPort)
{
    HANDLE printer = Install();
    char bytes[] = "KGL";
    DWORD written = 7;
    SetLastError(kMarker);
    EXPECT_FALSE(WritePrinter(printer, bytes, 3, &written));
    EXPECT_EQ(GetLastError(), DWORD{ERROR_SPL_NO_STARTDOC});
    EXPECT_EQ(written, 0u);

    WString name = u"Page";
    DOC_INFO_1W doc{name.data(), nullptr, nullptr};
    DWORD job = StartDocPrinterW(printer, 1, reinterpret_cast<LPBYTE>(&doc));
    EXPECT_NE(job, 0u);
    SetLastError(kMarker);
    EXPECT_EQ(StartDocPrinterW(printer, 1, reinterpret_cast<LPBYTE>(&doc)), 0u) << "one document at a time";
    EXPECT_EQ(GetLastError(), DWORD{ERROR_INVALID_PRINTER_STATE});
    EXPECT_TRUE(WritePrinter(printer, bytes, 3, &written));
    EXPECT_EQ(written, 3u);
    EXPECT_TRUE(EndDocPrinter(printer));
    SetLastError(kMarker);
    EXPECT_FALSE(EndDocPrinter(printer));
    EXPECT_EQ(GetLastError(), DWORD{ERROR_SPL_NO_STARTDOC});
    EXPECT_EQ(sim::spooler().Output(u"Duplicator"), "KGL");

    // Job numbers go on machine-wide.
    EXPECT_GT(StartDocPrinterW(printer, 1, reinterpret_cast<LPBYTE>(&doc)), job);
    EXPECT_TRUE(ClosePrinter(printer));
}

TEST(Spooler, UnknownPrintersAndBadHandlesAreRefused)
{
    HANDLE printer = reinterpret_cast<HANDLE>(1);
    WString unknown = u"Nobody";
    SetLastError(kMarker);
    EXPECT_FALSE(OpenPrinterW(unknown.data(), &printer, nullptr));
    EXPECT_EQ(GetLastError(), DWORD{ERROR_INVALID_PRINTER_NAME});
    EXPECT_EQ(printer, nullptr);

    HANDLE closed = Install();
    EXPECT_TRUE(ClosePrinter(closed));
    HANDLE notPrinter = CreateFileMappingW(INVALID_HANDLE_VALUE, nullptr, PAGE_READWRITE, 0, 4096, nullptr);
    ASSERT_NE(notPrinter, nullptr);
    for (HANDLE bad : {closed, notPrinter, static_cast<HANDLE>(nullptr)})
    {
        BYTE buffer[512];
        DWORD needed = 0;
        auto refused = [&](BOOL ok) {
            EXPECT_FALSE(ok);
            EXPECT_EQ(GetLastError(), DWORD{ERROR_INVALID_HANDLE});
            SetLastError(kMarker);
        };
        SetLastError(kMarker);
        refused(GetPrinterW(bad, 2, buffer, sizeof buffer, &needed));
        refused(GetPrinterDriverW(bad, nullptr, 2, buffer, sizeof buffer, &needed));
        refused(WritePrinter(bad, buffer, 1, &needed));
        refused(EndDocPrinter(bad));
        refused(ClosePrinter(bad));
        DOC_INFO_1W doc{};
        EXPECT_EQ(StartDocPrinterW(bad, 1, reinterpret_cast<LPBYTE>(&doc)), 0u);
        EXPECT_EQ(GetLastError(), DWORD{ERROR_INVALID_HANDLE});
        WString value = u"v";
        EXPECT_EQ(GetPrinterDataW(bad, value.data(), nullptr, buffer, sizeof buffer, &needed),
                  DWORD{ERROR_INVALID_HANDLE});
        EXPECT_EQ(SetPrinterDataW(bad, value.data(), REG_BINARY, buffer, 1), DWORD{ERROR_INVALID_HANDLE});
    }
    CloseHandle(notPrinter);
}
} // namespace
