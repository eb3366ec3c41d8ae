#include "print_proc_caps.h"

#include <algorithm>

namespace velmoui
{

namespace
{
DWORD U32(std::span<const BYTE> b, size_t offset)
{
    return static_cast<DWORD>(b[offset]) | static_cast<DWORD>(b[offset + 1]) << 8 |
           static_cast<DWORD>(b[offset + 2]) << 16 | static_cast<DWORD>(b[offset + 3]) << 24;
}

bool SameNoCase(WStringView a, WStringView b)
{
    auto fold = [](WCHAR c) { return c >= u'a' && c <= u'z' ? WCHAR(c - 0x20) : c; };
    return a.size() == b.size() &&
           std::equal(a.begin(), a.end(), b.begin(), [&](WCHAR x, WCHAR y) { return fold(x) == fold(y); });
}
} // namespace

bool PrintProcCaps::Lists(LONG pages) const
{
    return std::find(nupList.begin(), nupList.end(), pages) != nupList.end();
}

std::optional<PrintProcCaps> ParsePrintProcCaps(std::span<const BYTE> value, const PrinterRecord& printer,
                                                bool forSheets)
{
    if (value.size() < 16 || U32(value, 0) != 1 || (printer.attributes & kPrinterRawOnly))
        return std::nullopt;
    if (forSheets && ((printer.attributes & kPrinterDirect) || SameNoCase(printer.portName, TEXT("FILE:"))))
        return std::nullopt;
    PrintProcCaps caps;
    DWORD nup = U32(value, 4);
    for (int i = 0; i < 32; ++i)
        if (nup & (DWORD{1} << i))
            caps.nupList.push_back(i + 1);
    caps.pageOrderFlags = U32(value, 8);
    caps.copies = U32(value, 12);
    caps.booklet = (caps.pageOrderFlags & 0x2) != 0;
    return caps;
}

std::optional<PrintProcCaps> ReadPrintProcCaps(PrinterPort& port, bool forSheets)
{
    auto printer = port.Printer();
    if (!printer)
        return std::nullopt;
    PrinterValue value;
    if (port.GetData(kPrintProcCapsValue, value) != ERROR_SUCCESS)
        return std::nullopt;
    return ParsePrintProcCaps(value.data, *printer, forSheets);
}

} // namespace velmoui
