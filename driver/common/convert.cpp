// The settings record against the spooler: the printer's information, the printer-level block kept
// as printer data, and the one conversion entry of the graphics DLL.
#include "settings.h"
#include "settings_record.h"
#include "ui_layout.h"

#include <algorithm>
#include <cstring>
#include <memory>

namespace velmo
{
namespace
{
struct PoolFree
{
    void operator()(void* p) const { EngFreeMem(p); }
};

// What the spooler answered to a query: memory of the engine's pool, so that running out of it is a
// failure the caller reports (error 8) rather than an exception.
struct PoolBytes
{
    std::unique_ptr<BYTE, PoolFree> data;
    DWORD size = 0;
};

enum class Got
{
    Yes,
    No,
    OutOfMemory,
};

Got Allocate(PoolBytes& out, DWORD size)
{
    out.data.reset(static_cast<BYTE*>(EngAllocMem(FL_ZERO_MEMORY, size, EngPoolTag("Dad0"))));
    out.size = out.data ? size : 0;
    return out.data ? Got::Yes : Got::OutOfMemory;
}

Got GetPrinterLevel(HANDLE printer, DWORD level, PoolBytes& out)
{
    DWORD needed = 0;
    EngGetPrinter(printer, level, nullptr, 0, &needed);
    if (!needed)
        return Got::No;
    if (Allocate(out, needed) != Got::Yes)
        return Got::OutOfMemory;
    if (!EngGetPrinter(printer, level, out.data.get(), needed, &needed))
        return Got::No;
    return Got::Yes;
}

Got GetDriverPath(HANDLE printer, PoolBytes& out, const WCHAR*& path)
{
    DWORD needed = 0;
    EngGetPrinterDriver(printer, nullptr, 2, nullptr, 0, &needed);
    if (!needed)
        return Got::No;
    if (Allocate(out, needed) != Got::Yes)
        return Got::OutOfMemory;
    if (!EngGetPrinterDriver(printer, nullptr, 2, out.data.get(), needed, &needed) ||
        out.size < sizeof(DRIVER_INFO_2W))
        return Got::No;
    path = reinterpret_cast<const DRIVER_INFO_2W*>(out.data.get())->pDriverPath;
    return path ? Got::Yes : Got::No;
}

// `length` characters of `text` (all of it when npos), cut to the buffer and ended there.
BOOL PutText(const WCHAR* text, void* buffer, DWORD size, DWORD* written, size_t length = size_t(-1))
{
    if (!text)
        return FALSE;
    size_t chars = size / sizeof(WCHAR);
    if (!chars)
        return FALSE;
    size_t n = 0;
    while (n < length && text[n] && n + 1 < chars)
        ++n;
    std::memcpy(buffer, text, n * sizeof(WCHAR));
    static_cast<WCHAR*>(buffer)[n] = 0;
    if (written)
        *written = static_cast<DWORD>((n + 1) * sizeof(WCHAR));
    return TRUE;
}

BOOL PutDword(DWORD value, void* buffer, DWORD size, DWORD* written)
{
    if (size < sizeof(DWORD))
        return FALSE;
    std::memcpy(buffer, &value, sizeof value);
    if (written)
        *written = sizeof value;
    return TRUE;
}

// The last backslash among the first `length` characters of `text`, or npos.
size_t LastSlash(const WCHAR* text, size_t length)
{
    size_t slash = size_t(-1);
    for (size_t i = 0; i < length && text[i]; ++i)
        if (text[i] == u'\\')
            slash = i;
    return slash;
}

Got Yes(BOOL answered)
{
    return answered ? Got::Yes : Got::No;
}

Got PrinterInfo(HANDLE printer, void* buffer, DWORD size, DWORD code, DWORD* written)
{
    switch (code)
    {
    case 0:
    case 11:
    case 14:
    case 12:
    case 4:
    case 10:
    case 13: {
        PoolBytes raw;
        Got got = GetPrinterLevel(printer, 2, raw);
        if (got != Got::Yes || raw.size < sizeof(PRINTER_INFO_2W))
            return got == Got::Yes ? Got::No : got;
        const auto* info = reinterpret_cast<const PRINTER_INFO_2W*>(raw.data.get());
        switch (code)
        {
        case 14:
            return Yes(PutText(info->pPrinterName, buffer, size, written));
        case 12:
            return Yes(PutText(info->pPortName, buffer, size, written));
        case 4:
            return Yes(PutText(info->pPrintProcessor, buffer, size, written));
        case 13:
            return Yes(PutDword(info->Attributes, buffer, size, written));
        case 10: {
            if (!info->pDevMode)
                return Got::No;
            // Only what the spooler really returned: a DEVMODE claiming more stops at the buffer's end,
            // and one too short to hold its own size fields is taken as it is.
            const BYTE* devMode = reinterpret_cast<const BYTE*>(info->pDevMode);
            size_t available = raw.size - (devMode - raw.data.get());
            size_t claimed = available;
            if (available >= offsetof(DEVMODEW, dmFields))
                claimed = size_t{static_cast<WORD>(devMode[68] | devMode[69] << 8)} +
                          static_cast<WORD>(devMode[70] | devMode[71] << 8);
            size_t n = std::min({available, claimed, size_t{size}});
            std::memcpy(buffer, info->pDevMode, n);
            if (written)
                *written = static_cast<DWORD>(n);
            return Got::Yes;
        }
        default:
            return Yes(PutText(info->pDriverName, buffer, size, written));
        }
    }
    case 20:
    case 30: {
        PoolBytes raw;
        Got got = GetPrinterLevel(printer, code == 20 ? 4 : 5, raw);
        if (got != Got::Yes)
            return got;
        if (code == 20 && raw.size >= sizeof(PRINTER_INFO_4W))
            return Yes(PutDword(reinterpret_cast<const PRINTER_INFO_4W*>(raw.data.get())->Attributes, buffer,
                                size, written));
        if (code == 30 && raw.size >= sizeof(PRINTER_INFO_5W))
            return Yes(PutDword(reinterpret_cast<const PRINTER_INFO_5W*>(raw.data.get())->Attributes, buffer,
                                size, written));
        return Got::No;
    }
    case 3:
    case 1:
    case 2:
    case 100: {
        PoolBytes raw;
        const WCHAR* path = nullptr;
        Got got = GetDriverPath(printer, raw, path);
        if (got != Got::Yes)
            return got;
        // The driver file's folder (3), or that folder's parent ending in its backslash.
        size_t folder = LastSlash(path, size_t(-1));
        if (folder == size_t(-1))
            folder = 0;
        if (code != 3)
        {
            size_t parent = LastSlash(path, folder);
            folder = parent == size_t(-1) ? 0 : parent + 1;
        }
        return Yes(PutText(path, buffer, size, written, folder));
    }
    default:
        return Got::No; // 110 and 111 ask for device fonts, which this driver has none of
    }
}
} // namespace

BOOL RtcGetPrinterInfo(HANDLE printer, const WCHAR*, void* buffer, DWORD size, DWORD code, DWORD* written)
{
    if (written)
        *written = 0;
    if (!buffer)
        return FALSE;
    std::memset(buffer, 0, size);
    switch (PrinterInfo(printer, buffer, size, code, written))
    {
    case Got::Yes:
        return TRUE;
    case Got::OutOfMemory:
        EngSetLastError(ERROR_NOT_ENOUGH_MEMORY);
        return FALSE;
    default:
        return FALSE;
    }
}

void CfcLimitStoredSelfDMode(SelfDMode& r)
{
    // A stored record that passes the check is taken whole, so its numbers get the ranges a job's
    // settings get before any of them reaches the device geometry.
    auto limit = [](LONG& v, LONG lo, LONG hi, LONG otherwise) {
        if (v < lo || v > hi)
            v = otherwise;
    };
    limit(r.zoom, 50, 200, 100);
    limit(r.copies, 1, g_MaxCopies, 1);
    limit(r.sets, 1, g_MaxSetNum, 1);
    limit(r.densityAdjust, -64, 64, 0);
    limit(r.contrastAdjust, -64, 64, 0);
    limit(r.grayShift, -64, 64, 30);
    // A largest paper of 0 would turn the page's cropping off.
    HoldPaperSizes(r);
}

namespace
{
bool ReadBlock(HANDLE printer, BYTE (&block)[kPrinterBlockSize])
{
    DWORD type = 0;
    DWORD needed = 0;
    WCHAR name[] = TEXT("Private DevMode");
    return EngGetPrinterData(printer, name, &type, block, sizeof block, &needed) == ERROR_SUCCESS &&
           needed == kPrinterBlockSize;
}
} // namespace

BOOL RtcReadRegSelfDMode(SelfDMode& record, HANDLE printer, const WCHAR* printerName)
{
    // Room for the user interface's larger layout, which the printer's default may be.
    BYTE devMode[kRecordDevModeSize] = {};
    DWORD got = 0;
    // A query that ran out of memory is no missing default: the job must not print with the defaults.
    const Got query = PrinterInfo(printer, devMode, sizeof devMode, 10, &got);
    if (query == Got::OutOfMemory)
    {
        EngSetLastError(ERROR_NOT_ENOUGH_MEMORY);
        return FALSE;
    }
    const auto stored = std::span<const BYTE>(devMode, got);
    BYTE block[kPrinterBlockSize] = {};
    if (query == Got::Yes && CfcQueryMySelfDMode(stored, printerName) && ReadBlock(printer, block))
    {
        std::memcpy(&record, devMode, kDevModeSize);
        std::memcpy(&record.printer, block, kPrinterBlockSize);
        CfcLimitStoredSelfDMode(record);
        return TRUE;
    }
    WCHAR driver[MAX_PATH] = {};
    if (PrinterInfo(printer, driver, sizeof driver, 0, nullptr) == Got::OutOfMemory)
    {
        EngSetLastError(ERROR_NOT_ENOUGH_MEMORY);
        return FALSE;
    }
    _UdcResetSelfDMode(record, printerName, driver);
    // The UI's default is the printer's own: its settings, then the block it wrote behind them.
    if (query == Got::Yes && IsUiLayout(stored))
    {
        MergeUiLayout(record, stored, printerName, 0);
        if (ReadBlock(printer, block))
        {
            std::memcpy(&record.printer, block, kPrinterBlockSize);
            CfcLimitStoredSelfDMode(record);
        }
    }
    return TRUE;
}

BOOL RtcWriteRegSelfDMode(const SelfDMode& record, HANDLE printer)
{
    BYTE block[kPrinterBlockSize];
    std::memcpy(block, &record.printer, sizeof block);
    WCHAR name[] = TEXT("Private DevMode");
    return EngSetPrinterData(printer, name, REG_BINARY, block, sizeof block) == ERROR_SUCCESS;
}

DWORD CfcConvertSelfDMode(std::span<BYTE> output, std::span<const BYTE> input, const WCHAR* printerName,
                          HANDLE printer, DWORD mode, LONG forceCopies)
{
    if (mode == 0)
        return kSelfDModeSize;
    std::unique_ptr<SelfDMode, PoolFree> work(
        static_cast<SelfDMode*>(EngAllocMem(FL_ZERO_MEMORY, kSelfDModeSize, EngPoolTag("Dad0"))));
    if (!work)
    {
        EngSetLastError(ERROR_NOT_ENOUGH_MEMORY);
        return 0;
    }
    if (!RtcReadRegSelfDMode(*work, printer, printerName))
        return 0; // out of memory, last error 8

    bool merged = (mode & kConvertMerge) && !input.empty();
    if (merged)
    {
        if (IsUiLayout(input))
            MergeUiLayout(*work, input, printerName, forceCopies);
        else
        {
            DWORD mask = CfcCheckMySelfDMode(input, printerName);
            if (mask == 0)
                std::memcpy(&work->signature, input.data() + offsetof(SelfDMode, signature), sizeof(DWORD));
            _UdcMergeSelfDMode(*work, input, printerName, forceCopies, mask);
        }
    }
    if ((mode & kConvertUpdate) && !RtcWriteRegSelfDMode(*work, printer))
        return 0;
    if ((mode & kConvertCopy) && !output.empty())
    {
        WORD inSize = input.size() >= 72 ? static_cast<WORD>(input[68] | input[69] << 8) : 0;
        if (merged && input.size() >= 72 && inSize < kCmnDModeSize)
        {
            // An older, shorter DEVMODE goes back in its own shape.
            WORD inExtra = static_cast<WORD>(input[70] | input[71] << 8);
            WORD extra = std::min(inExtra, kPrivateSize);
            size_t standard = std::min<size_t>(inSize, input.size());
            size_t priv = std::min<size_t>(extra, input.size() - standard);
            if (output.size() < standard + priv)
            {
                EngSetLastError(ERROR_INSUFFICIENT_BUFFER);
                return 0;
            }
            std::memcpy(output.data(), input.data(), standard + priv);
            if (standard >= offsetof(DEVMODEW, dmFields)) // a standard part too short has no field for it
            {
                output[70] = static_cast<BYTE>(extra);
                output[71] = static_cast<BYTE>(extra >> 8);
            }
        }
        else
        {
            if (output.size() < kDevModeSize)
            {
                EngSetLastError(ERROR_INSUFFICIENT_BUFFER);
                return 0;
            }
            std::memcpy(output.data(), work.get(), kDevModeSize);
        }
    }
    if ((mode & kConvertWhole) && !output.empty())
    {
        if (output.size() < kSelfDModeSize)
        {
            EngSetLastError(ERROR_INSUFFICIENT_BUFFER);
            return 0;
        }
        std::memcpy(output.data(), work.get(), kSelfDModeSize);
    }
    return 1;
}

} // namespace velmo
