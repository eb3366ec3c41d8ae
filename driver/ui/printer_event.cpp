#include "printer_event.h"

#include "spooler_printer.h"
#include "ui_settings.h"
#include "ui_strings.h"
#include "ui_tables.h"

#include <tables.h>

#include <platform/winspool.h>

#include <cstring>
#include <new>
#include <vector>

namespace velmoui
{

namespace
{
constexpr INT kFirstEvent = 1;
constexpr INT kLastEvent = 8;
constexpr const WCHAR* kPrintToFileMark = TEXT("Print to File");

// String ids of the comment's labels.
constexpr UINT kScanResolutionLabel = 601;
constexpr UINT kPrintResolutionLabel = 600;
constexpr UINT kMasterDensityLabel = 597;
constexpr UINT kDpiUnit = 602;

struct ResolutionText
{
    LONG type;
    int full;       // scanning and master density, both ways
    int horizontal; // the print resolution across
};
constexpr ResolutionText kResolutionTexts[] = {{1, 300, 300}, {2, 400, 400}, {3, 600, 600},
                                               {4, 600, 300}, {5, 800, 400}, {7, 360, 300}};

WString Decimal(int value)
{
    WString digits;
    do
    {
        digits.insert(digits.begin(), static_cast<WCHAR>(u'0' + value % 10));
        value /= 10;
    } while (value > 0);
    return digits;
}

// "label: x x y unit"
WString Line(UINT label, int x, int y)
{
    return UiString(label) + TEXT(": ") + Decimal(x) + TEXT(" x ") + Decimal(y) + TEXT(" ") +
           UiString(kDpiUnit);
}

bool Contains(const WCHAR* text, const WCHAR* part)
{
    return text && WStringView(text).find(part) != WStringView::npos;
}

// GetPrinterW's two calls at level 2; empty when the spooler gives nothing.
std::vector<BYTE> PrinterInfo2(HANDLE printer)
{
    std::vector<BYTE> buffer;
    for (int attempt = 0; attempt < 2; ++attempt)
    {
        DWORD needed = 0;
        if (GetPrinterW(printer, 2, buffer.empty() ? nullptr : buffer.data(),
                        static_cast<DWORD>(buffer.size()), &needed) &&
            buffer.size() >= sizeof(PRINTER_INFO_2W))
            return buffer;
        if (GetLastError() != ERROR_INSUFFICIENT_BUFFER || needed <= buffer.size())
            break;
        buffer.assign(needed, 0);
    }
    return {};
}

// The print processor, then the resolution comment, each written on its own so one refused change
// leaves the other.
void UpdatePrinterInfo(HANDLE printer, const WString& driverName, LONG resolutionType)
{
    std::vector<BYTE> answer = PrinterInfo2(printer);
    if (answer.empty())
        return;
    auto* info = reinterpret_cast<PRINTER_INFO_2W*>(answer.data());
    WString processor(kPrintProcessorName);
    if (!info->pPrintProcessor || lstrcmpiW(info->pPrintProcessor, processor.c_str()) != 0)
    {
        LPWSTR old = info->pPrintProcessor;
        info->pPrintProcessor = processor.data();
        if (!SetPrinterW(printer, 2, answer.data(), 0))
            info->pPrintProcessor = old;
    }
    auto comment = ResolutionComment(info->pComment, driverName, resolutionType);
    if (!comment)
        return;
    info->pComment = comment->data();
    SetPrinterW(printer, 2, answer.data(), 0);
}

void Initialize(LPWSTR printerName)
{
    PRINTER_DEFAULTSW defaults{nullptr, nullptr, PRINTER_ALL_ACCESS};
    HANDLE printer = nullptr;
    if (!printerName || !OpenPrinterW(printerName, &printer, &defaults) || !printer)
        return;
    SpoolerPrinter port(printer);
    // Without the printer's record every model-dependent value would be a guess: nothing is written,
    // and the next INITIALIZE writes them all.
    auto record = port.Printer();
    if (!record)
    {
        ClosePrinter(printer);
        return;
    }
    const WString driver = record->driverName;

    // The whole record is one block so a short machine fails here, before anything is written.
    if (HGLOBAL block = GlobalAlloc(GMEM_ZEROINIT, sizeof(SettingsRecord)))
    {
        BYTE toFile = 0;
        if (int row = FindModelNoCase(driver.c_str()); row >= 0 && Contains(printerName, kPrintToFileMark))
            toFile = (Models()[row].capabilityFlags & kCapPrintToFile) ? 1 : 0;
        port.SetData(kDefaultPrintToFileValue, REG_BINARY, std::span<const BYTE>(&toFile, 1));

        auto* r = static_cast<SettingsRecord*>(static_cast<void*>(block));
        _UdcResetSelfDMode(*r, port, printerName);
        RtcWriteRegSelfDMode(*r, port);
        const LONG resolutionType = r->modelResolutionType;
        GlobalFree(block);

        UpdatePrinterInfo(printer, driver, resolutionType);
    }

    // The spooler reads the name as the registry keeps it: no terminator counted.
    if (driver == velmo::g_DeviceList[1])
    {
        WString dll(kUserModeSpoolDll);
        port.SetData(
            kUserModeDriverValue, REG_SZ,
            std::span<const BYTE>(reinterpret_cast<const BYTE*>(dll.data()), dll.size() * sizeof(WCHAR)));
    }
    ClosePrinter(printer);
}
} // namespace

std::optional<WString> ResolutionComment(const WCHAR* oldComment, const WString& driverName,
                                         LONG resolutionType)
{
    const ResolutionText* text = nullptr;
    for (const ResolutionText& row : kResolutionTexts)
        if (row.type == resolutionType)
            text = &row;
    if (!text)
        return std::nullopt;
    const int r = text->full, h = text->horizontal;
    WString lines;
    if (HasScanResolutionLine(driverName.c_str()))
        lines = Line(kScanResolutionLabel, r, r) + TEXT("\r\n");
    lines += Line(kMasterDensityLabel, r, r) + TEXT("\r\n") + Line(kPrintResolutionLabel, h, r);
    WString comment = oldComment ? WString(oldComment) + TEXT("\r\n") + lines : lines;
    // A comment grown past what the printer keeps stays as it was rather than cut mid-line.
    if (comment.size() > kMaxCommentLength)
        return std::nullopt;
    return comment;
}

BOOL DrvPrinterEvent(LPWSTR printerName, INT event, DWORD, LPARAM)
{
    if (event < kFirstEvent || event > kLastEvent)
    {
        SetLastError(ERROR_INVALID_PARAMETER);
        return FALSE;
    }
    if (event == PRINTER_EVENT_INITIALIZE)
        Initialize(printerName);
    return TRUE;
}

} // namespace velmoui
