// A printer as the settings model sees it, kept in memory: its record, printer data, driver folder
// and system, with the writes and broadcasts it received.
#pragma once

#include "printer_port.h"
#include "ui_settings.h"

#include <gtest/gtest.h>
#include <platform/winddiui.h>
#include <sim/machine.h>
#include <sim/spooler.h>

#include <algorithm>
#include <cstring>
#include <map>
#include <memory>
#include <vector>

namespace velmoui_test
{

inline constexpr const char16_t* kPrinterName = u"Velmo Q7";
inline constexpr const char16_t* kDriverDir = u"C:\\Windows\\System32\\spool\\drivers\\x64";
inline constexpr const char16_t* kSettingsFile =
    u"C:\\Windows\\System32\\spool\\drivers\\x64\\3\\VelmoQ7.spd";

class FakePrinter : public velmoui::PrinterPort
{
public:
    explicit FakePrinter(const char16_t* driver = u"KORIGRAPH DX-2660") { record.driverName = driver; }

    std::optional<velmoui::PrinterRecord> Printer() override
    {
        if (!hasPrinter)
            return std::nullopt;
        return record;
    }
    DWORD GetData(const WCHAR* name, velmoui::PrinterValue& value) override
    {
        ++reads[WString(name)];
        auto it = data.find(WString(name));
        if (it == data.end())
            return ERROR_FILE_NOT_FOUND;
        value = it->second;
        return ERROR_SUCCESS;
    }
    DWORD SetData(const WCHAR* name, DWORD type, std::span<const BYTE> bytes) override
    {
        writes.push_back(WString(name));
        if (writeError)
            return writeError;
        data[WString(name)] = {type, std::vector<BYTE>(bytes.begin(), bytes.end())};
        return ERROR_SUCCESS;
    }
    WString DriverDirectory() override { return kDriverDir; }
    int OsCode() override { return osCode; }
    void BroadcastDevModeChange(const WCHAR* printerName) override
    {
        broadcasts.push_back(WString(printerName));
    }

    void SetBinary(const WCHAR* name, std::vector<BYTE> bytes)
    {
        data[WString(name)] = {REG_BINARY, std::move(bytes)};
    }

    velmoui::PrinterRecord record;
    bool hasPrinter = true;
    std::map<WString, velmoui::PrinterValue> data;
    std::map<WString, int> reads;
    std::vector<WString> writes;
    std::vector<WString> broadcasts;
    DWORD writeError = 0;
    int osCode = 211;
};

inline std::unique_ptr<velmo::SettingsRecord> Defaults(velmoui::PrinterPort& printer,
                                                       const char16_t* name = kPrinterName)
{
    auto r = std::make_unique<velmo::SettingsRecord>();
    velmoui::_UdcResetSelfDMode(*r, printer, name);
    return r;
}

// An export of a loaded DLL as the function it is.
template <typename F> F Proc(HMODULE module, const char* name)
{
    return reinterpret_cast<F>(reinterpret_cast<void (*)()>(GetProcAddress(module, name)));
}

template <typename T> std::vector<BYTE> BytesOf(const T& value, size_t size = sizeof(T))
{
    const BYTE* p = reinterpret_cast<const BYTE*>(&value);
    return std::vector<BYTE>(p, p + size);
}

template <size_t N> void CopyName(WCHAR (&dst)[N], const char16_t* src)
{
    std::fill(std::begin(dst), std::end(dst), WCHAR{0});
    for (size_t i = 0; i + 1 < N && src[i]; ++i)
        dst[i] = src[i];
}

inline LONG At(const std::vector<BYTE>& b, size_t offset)
{
    LONG v;
    std::memcpy(&v, b.data() + offset, 4);
    return v;
}

inline void Put(std::vector<BYTE>& b, size_t offset, LONG v)
{
    std::memcpy(b.data() + offset, &v, 4);
}

// The print processor's record: level, N-up options, page-order flags, copies.
inline std::vector<BYTE> CapsRecord(DWORD nup, DWORD pageOrder, DWORD level = 1)
{
    DWORD words[4] = {level, nup, pageOrder, 1};
    return BytesOf(words);
}

// The UI DLL loaded on the simulated desktop, and printers of the duplicator opened for it: what the
// tests of the sheets and their dialogs start from. Printers it opened are closed after the test.
class UiDllTest : public ::testing::Test
{
protected:
    using PropertiesFn = LONG(WINAPI*)(HWND, HANDLE, LPWSTR, PDEVMODEW, PDEVMODEW, DWORD);
    using PrinterPropertiesFn = BOOL(WINAPI*)(HWND, HANDLE);

    void SetUp() override
    {
        sim::desktop().RegisterResources(u"VelmQ7UI.dll", VELMO_UI_RC);
        module = LoadLibraryW(u"VelmQ7UI.dll");
        ASSERT_NE(module, nullptr);
        properties = Proc<PropertiesFn>(module, "DrvDocumentProperties");
        printerProperties = Proc<PrinterPropertiesFn>(module, "PrinterProperties");
        ASSERT_TRUE(properties && printerProperties);
    }
    void TearDown() override
    {
        for (HANDLE h : opened)
            sim::spooler().ClosePrinter(h);
        FreeLibrary(module);
    }

    // Adds a printer of `driver` and opens it. With `withDefaults` the spooler keeps the driver's own
    // default DEVMODE, so the printer block is read back as the driver made it.
    HANDLE AddPrinter(const char16_t* name, const char16_t* driver, bool withDefaults = true)
    {
        sim::PrinterSetup p;
        p.name = name;
        p.driverName = driver;
        if (withDefaults)
        {
            FakePrinter fake(driver);
            p.defaultDevMode = BytesOf(*Defaults(fake, name), 2944);
        }
        sim::spooler().AddPrinter(p);
        HANDLE h = sim::spooler().OpenPrinter(name);
        EXPECT_NE(h, nullptr) << "printer " << testing::PrintToString(WString(name));
        opened.push_back(h);
        return h;
    }

    // The document sheet of `name` under the scripted user, `in` (or none) handed in with `flags`;
    // what DrvDocumentProperties returned.
    LONG DocumentSheet(HANDLE h, const char16_t* name, std::vector<BYTE>& out, std::vector<BYTE>* in,
                       DWORD flags, const sim::Desktop::Script& script)
    {
        LONG result = 0;
        sim::desktop().Run(
            [&] {
                result =
                    properties(nullptr, h, const_cast<LPWSTR>(name), reinterpret_cast<DEVMODEW*>(out.data()),
                               in ? reinterpret_cast<DEVMODEW*>(in->data()) : nullptr, flags);
                return 0;
            },
            script);
        return result;
    }

    HMODULE module = nullptr;
    PropertiesFn properties = nullptr;
    PrinterPropertiesFn printerProperties = nullptr;
    std::vector<HANDLE> opened;
};

} // namespace velmoui_test
