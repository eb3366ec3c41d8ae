// The settings record against the spooler: the printer's information, the printer-level block kept
// as printer data, and the one conversion entry of the graphics DLL.
#include "settings.h"

#include <algorithm>
#include <cstring>
#include <memory>
#include <vector>

namespace velmo
{
namespace
{
struct PoolFree
{
    void operator()(void* p) const { EngFreeMem(p); }
};

std::vector<BYTE> GetPrinterLevel(HANDLE printer, DWORD level)
{
    DWORD needed = 0;
    EngGetPrinter(printer, level, nullptr, 0, &needed);
    if (!needed)
        return {};
    std::vector<BYTE> buffer(needed);
    if (!EngGetPrinter(printer, level, buffer.data(), needed, &needed))
        return {};
    return buffer;
}

BOOL PutText(const WCHAR* text, void* buffer, DWORD size, DWORD* written)
{
    if (!text)
        return FALSE;
    size_t chars = size / sizeof(WCHAR);
    if (!chars)
        return FALSE;
    size_t n = 0;
    while (text[n] && n + 1 < chars)
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
} // namespace

BOOL RtcGetPrinterInfo(HANDLE printer, const WCHAR*, void* buffer, DWORD size, DWORD code, DWORD* written)
{
    if (written)
        *written = 0;
    if (!buffer)
        return FALSE;
    std::memset(buffer, 0, size);
    switch (code)
    {
    case 0:
    case 11:
    case 14:
    case 12:
    case 4:
    case 10:
    case 13: {
        std::vector<BYTE> raw = GetPrinterLevel(printer, 2);
        if (raw.size() < sizeof(PRINTER_INFO_2W))
            return FALSE;
        const auto* info = reinterpret_cast<const PRINTER_INFO_2W*>(raw.data());
        switch (code)
        {
        case 14:
            return PutText(info->pPrinterName, buffer, size, written);
        case 12:
            return PutText(info->pPortName, buffer, size, written);
        case 4:
            return PutText(info->pPrintProcessor, buffer, size, written);
        case 13:
            return PutDword(info->Attributes, buffer, size, written);
        case 10: {
            if (!info->pDevMode)
                return FALSE;
            // Only what the spooler really returned: a DEVMODE claiming more stops at the buffer's end.
            size_t available = raw.size() - (reinterpret_cast<const BYTE*>(info->pDevMode) - raw.data());
            size_t claimed = size_t{info->pDevMode->dmSize} + info->pDevMode->dmDriverExtra;
            size_t n = std::min({available, claimed, size_t{size}});
            std::memcpy(buffer, info->pDevMode, n);
            if (written)
                *written = static_cast<DWORD>(n);
            return TRUE;
        }
        default:
            return PutText(info->pDriverName, buffer, size, written);
        }
    }
    case 20:
    case 30: {
        std::vector<BYTE> raw = GetPrinterLevel(printer, code == 20 ? 4 : 5);
        if (code == 20 && raw.size() >= sizeof(PRINTER_INFO_4W))
            return PutDword(reinterpret_cast<const PRINTER_INFO_4W*>(raw.data())->Attributes, buffer, size,
                            written);
        if (code == 30 && raw.size() >= sizeof(PRINTER_INFO_5W))
            return PutDword(reinterpret_cast<const PRINTER_INFO_5W*>(raw.data())->Attributes, buffer, size,
                            written);
        return FALSE;
    }
    case 3:
    case 1:
    case 2:
    case 100: {
        DWORD needed = 0;
        EngGetPrinterDriver(printer, nullptr, 2, nullptr, 0, &needed);
        if (!needed)
            return FALSE;
        std::vector<BYTE> raw(needed);
        if (!EngGetPrinterDriver(printer, nullptr, 2, raw.data(), needed, &needed) ||
            raw.size() < sizeof(DRIVER_INFO_2W))
            return FALSE;
        const WCHAR* path = reinterpret_cast<const DRIVER_INFO_2W*>(raw.data())->pDriverPath;
        if (!path)
            return FALSE;
        WString folder(path);
        size_t slash = folder.find_last_of(u'\\');
        folder.resize(slash == WString::npos ? 0 : slash);
        if (code != 3)
        {
            slash = folder.find_last_of(u'\\');
            folder.resize(slash == WString::npos ? 0 : slash + 1);
        }
        return PutText(folder.c_str(), buffer, size, written);
    }
    default:
        return FALSE; // 110 and 111 ask for device fonts, which this driver has none of
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
    for (LONG* size : {&r.customWidth, &r.customHeight, &r.maxPaperWidth, &r.maxPaperHeight, &r.minPaperWidth,
                       &r.minPaperHeight})
        limit(*size, 0, kLargestPaperSide, 0);
    for (UserPaper& paper : r.userPapers)
    {
        limit(paper.width, 0, kLargestPaperSide, 0);
        limit(paper.height, 0, kLargestPaperSide, 0);
    }
}

BOOL RtcReadRegSelfDMode(SelfDMode& record, HANDLE printer, const WCHAR* printerName)
{
    BYTE devMode[kDevModeSize] = {};
    DWORD got = 0;
    if (RtcGetPrinterInfo(printer, printerName, devMode, sizeof devMode, 10, &got) &&
        CfcQueryMySelfDMode(std::span<const BYTE>(devMode, got), printerName))
    {
        DWORD type = 0;
        DWORD needed = 0;
        BYTE block[kPrinterBlockSize] = {};
        WString name(kPrivateDevModeValue);
        if (EngGetPrinterData(printer, name.data(), &type, block, sizeof block, &needed) == ERROR_SUCCESS &&
            needed == kPrinterBlockSize)
        {
            std::memcpy(&record, devMode, kDevModeSize);
            std::memcpy(&record.printer, block, kPrinterBlockSize);
            CfcLimitStoredSelfDMode(record);
            return TRUE;
        }
    }
    WCHAR driver[MAX_PATH] = {};
    RtcGetPrinterInfo(printer, printerName, driver, sizeof driver, 0);
    _UdcResetSelfDMode(record, printerName, driver);
    return TRUE;
}

BOOL RtcWriteRegSelfDMode(const SelfDMode& record, HANDLE printer)
{
    BYTE block[kPrinterBlockSize];
    std::memcpy(block, &record.printer, sizeof block);
    WString name(kPrivateDevModeValue);
    return EngSetPrinterData(printer, name.data(), REG_BINARY, block, sizeof block) == ERROR_SUCCESS;
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
    RtcReadRegSelfDMode(*work, printer, printerName);

    bool merged = (mode & kConvertMerge) && !input.empty();
    if (merged)
    {
        DWORD mask = CfcCheckMySelfDMode(input, printerName);
        if (mask == 0)
            std::memcpy(&work->signature, input.data() + offsetof(SelfDMode, signature), sizeof(DWORD));
        _UdcMergeSelfDMode(*work, input, printerName, forceCopies, mask);
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
