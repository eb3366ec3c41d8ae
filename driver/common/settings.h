// The job settings record of the graphics DLL: a private DEVMODE of driver version 0x0716 whose
// private area ends in a signature, followed in the working copy by the printer-level block that is
// stored as the printer data "Private DevMode".
#pragma once

#include <platform/winddi.h>

#include "tables.h"

#include <cstddef>
#include <span>

namespace velmo
{

inline constexpr DWORD kSelfSignature = 0x28116119;
inline constexpr WORD kCmnDModeSize = 220;
inline constexpr WORD kPrivateSize = 2152;
inline constexpr size_t kDevModeSize = 2372; // what the spooler stores
inline constexpr size_t kPrinterBlockSize = 304;
inline constexpr size_t kSelfDModeSize = 2676; // the working record
inline constexpr const WCHAR* kPrivateDevModeValue = TEXT("Private DevMode");

struct UserPaper
{
    WCHAR name[40];
    LONG id;
    LONG width;
    LONG height;
};
static_assert(sizeof(UserPaper) == 92);

struct PrinterDModeBlock
{
    DEVHTINFO devHTInfo;
    WORD reservedWord;
    WORD pad;
    LONG printerValues[42]; // the last defaults to 1
};
static_assert(sizeof(PrinterDModeBlock) == kPrinterBlockSize);

struct SelfDMode
{
    DEVMODEW dm;
    LONG paperSource;
    LONG paperOverride;
    LONG zoom;
    LONG paperId;
    LONG outputSize;
    LONG rotate;
    LONG documentType;
    LONG orientation;
    LONG paperFeed;
    LONG copies;
    LONG reserved260[4];
    LONG collate;
    LONG sets;
    LONG customWidth;
    LONG customHeight;
    LONG customSizeEnabled;
    LONG maxPaperWidth;
    LONG maxPaperHeight;
    LONG minPaperWidth;
    LONG minPaperHeight;
    LONG userPaperFlag;
    UserPaper userPapers[kUserPaperCount];
    LONG reserved2156;
    LONG resolutionIndex;
    LONG resolutionType;
    LONG reserved2168;
    LONG ditherIndex;
    LONG densityAdjust;
    LONG contrastAdjust;
    LONG halftoneOn;
    LONG ProcessingMethodForDensity;
    LONG documentTypeIndex;
    LONG OrderedDitherMethod;
    LONG ErrorDiffusionMethod;
    LONG ProcessingMethodForColorSeparation;
    LONG colorSeparation;
    LONG separationInvert;
    LONG separationColors;
    DWORD swingValue; // only the low byte is used
    LONG capabilityFlags;
    LONG duplex;
    LONG binding;
    LONG booklet;
    LONG uiValue1;
    LONG uiValue2;
    LONG uiValue3;
    LONG reserved2252[3];
    LONG finishing[5];
    LONG modelResolutionType; // a resolution key
    LONG modelPaperListType;
    LONG bandingStartNo;
    LONG bandingEndNo;
    LONG forceBanding;
    LONG pixelOrder; // 2: red, green, blue; else blue, green, red
    COLORADJUSTMENT colorAdjustment;
    LONG uiValue4;
    LONG uiValue5;
    LONG reserved2340[2];
    LONG uiValue6;
    LONG uiValue7;
    LONG reserved2356;
    LONG grayShiftOn;
    LONG grayShift;
    DWORD signature;
    PrinterDModeBlock printer;
};
static_assert(sizeof(SelfDMode) == kSelfDModeSize);
static_assert(offsetof(SelfDMode, paperSource) == 220 && offsetof(SelfDMode, copies) == 256 &&
              offsetof(SelfDMode, collate) == 276 && offsetof(SelfDMode, userPaperFlag) == 312 &&
              offsetof(SelfDMode, userPapers) == 316 && offsetof(SelfDMode, resolutionIndex) == 2160 &&
              offsetof(SelfDMode, ditherIndex) == 2172 && offsetof(SelfDMode, swingValue) == 2220 &&
              offsetof(SelfDMode, duplex) == 2228 && offsetof(SelfDMode, finishing) == 2264 &&
              offsetof(SelfDMode, bandingStartNo) == 2292 && offsetof(SelfDMode, colorAdjustment) == 2308 &&
              offsetof(SelfDMode, uiValue4) == 2332 && offsetof(SelfDMode, uiValue6) == 2348 &&
              offsetof(SelfDMode, grayShiftOn) == 2360 && offsetof(SelfDMode, signature) == 2368 &&
              offsetof(SelfDMode, printer) == kDevModeSize);

extern const DEVHTINFO g_DefDevHTInfo;
extern const COLORADJUSTMENT g_DefHTClrAdj;

// Validity mask bits of a DEVMODE against this layout.
inline constexpr DWORD kMaskSpecVersion = 1;
inline constexpr DWORD kMaskDriverVersion = 2;
inline constexpr DWORD kMaskSize = 4;
inline constexpr DWORD kMaskDriverExtra = 8;
inline constexpr DWORD kMaskSignature = 16;
inline constexpr DWORD kMaskDeviceName = 32;

// `devMode` is exactly the bytes supplied; nothing past it is read.
DWORD CfcCheckMySelfDMode(std::span<const BYTE> devMode, const WCHAR* printerName);
bool CfcQueryMySelfDMode(std::span<const BYTE> devMode, const WCHAR* printerName);

// The bytes a DEVMODE handed over by the engine or an application claims to have.
std::span<const BYTE> DevModeBytes(const DEVMODEW* devMode);

void _UdcResetSelfDMode(SelfDMode& record, const WCHAR* printerName, const WCHAR* driverName);
void _UdcUpdateCmnDModeArea(SelfDMode& record, const WCHAR* printerName);
void _UdcMergeSelfDMode(SelfDMode& record, std::span<const BYTE> input, const WCHAR* printerName,
                        LONG forceCopies, DWORD inputMask);
void _UdcNormalizeSelfDMode(SelfDMode& record);

// Paper sides beyond this (0.1 mm) are no paper the series feeds.
constexpr LONG kLargestPaperSide = 20000;
// Holds the largest and smallest paper to sane values (the model's own otherwise), and the custom and
// user paper sizes between them.
void HoldPaperSizes(SelfDMode& record);
// Brings a stored record's numbers into the ranges a job's settings are held to.
void CfcLimitStoredSelfDMode(SelfDMode& record);
DWORD _UdcGetDriverVersion();
DWORD _UdcQueryDriverInfo(DWORD code);

// The spooler side: the printer's information by code, and the printer-level block. Both fail with
// last error 8 when the engine's pool runs out; the read otherwise always fills the record.
BOOL RtcGetPrinterInfo(HANDLE printer, const WCHAR* printerName, void* buffer, DWORD size, DWORD code,
                       DWORD* written = nullptr);
BOOL RtcReadRegSelfDMode(SelfDMode& record, HANDLE printer, const WCHAR* printerName);
BOOL RtcWriteRegSelfDMode(const SelfDMode& record, HANDLE printer);

// Conversion modes.
inline constexpr DWORD kConvertUpdate = 0x1;   // write the printer block back
inline constexpr DWORD kConvertCopy = 0x2;     // copy the DEVMODE part out
inline constexpr DWORD kConvertWhole = 0x1000; // copy the whole working record out
inline constexpr DWORD kConvertMerge = 0x2008; // any of these bits merges the input

// Mode 0: the record size. Otherwise 1 on success, 0 when the working record cannot be allocated
// (last error 8) or the output is too small for what the mode copies (last error 122).
DWORD CfcConvertSelfDMode(std::span<BYTE> output, std::span<const BYTE> input, const WCHAR* printerName,
                          HANDLE printer, DWORD mode, LONG forceCopies);

} // namespace velmo
