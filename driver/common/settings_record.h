// The user-interface DLL's settings record: a private DEVMODE of driver version 1835 (a larger private
// area in another field order than SelfDMode's, standard paper codes) followed by the same
// printer-level block. Both DLLs read it by these names; its offsets are a stored format.
#pragma once

#include "settings.h"

#include <cstddef>

namespace velmo
{

inline constexpr WORD kRecordDriverVersion = 1835;
inline constexpr WORD kRecordPrivateSize = 2724;
inline constexpr size_t kRecordDevModeSize = 2944; // what the spooler stores
inline constexpr size_t kSettingsRecordSize = 3248;

struct SettingsRecord
{
    DEVMODEW dm;
    LONG paperSource;
    LONG zoomMode; // 0 automatic, 1 user zoom
    LONG reserved228;
    LONG paperId;    // standard paper codes; 256 custom; 259.. user papers
    LONG outputSize; // 0 as the document, 257 as the document within the maximum, else a paper id
    LONG rotate;     // 0: 90 degrees, 1: 270 degrees
    LONG documentType;
    LONG orientation;
    LONG paperFeed;
    LONG copies;
    LONG nupPagesPerSide;
    LONG ppSwitch1; // border off
    LONG ppSwitch2; // reverse order
    LONG ppSwitch3;
    LONG collate;
    LONG sets;
    LONG rotate180;
    LONG customWidth; // 0.1 mm
    LONG customHeight;
    LONG customSizeEnabled;
    LONG maxPaperWidth;
    LONG maxPaperHeight;
    LONG minPaperWidth;
    LONG minPaperHeight;
    LONG userPaperFlag; // unit of custom and user sizes: 0 mm, 1 inch
    UserPaper userPapers[kUserPaperCount];
    LONG binListEnable;
    LONG resolutionIndex;
    LONG resolutionType; // resolution class 0..3
    LONG reserved2172;
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
    LONG swingValue;
    LONG capabilityFlags;
    LONG duplex;
    LONG binding; // 0 long edge, 1 short edge
    LONG sameMasterBothSides;
    LONG layoutMode; // 1 standard, 2 split, 4 combination, 8 booklet, 16 scaling
    LONG pagesPerSheet;
    LONG nupOrder;
    LONG reserved2256[3];
    LONG finishing[5];
    WCHAR printToFileFolder[260];
    LONG printToFile;
    LONG modelResolutionType; // a resolution key
    LONG modelPaperListType;  // 2..21
    LONG bandingStartNo;
    LONG bandingEndNo;
    LONG forceBanding;
    LONG pixelOrder;
    COLORADJUSTMENT colorAdjustment;
    LONG uiValue4;
    LONG uiValue5;
    LONG reserved2868[2];
    LONG uiValue6;
    LONG uiValue7;
    LONG reserved2884;
    LONG grayShiftOn;
    LONG grayShift;
    LONG bookletOpening; // 0 left, 1 right
    LONG zoom;           // 1/100 percent
    LONG effectiveZoom;
    LONG printableMaxWidth; // 0.1 mm
    LONG printableMaxHeight;
    LONG nupBorderOff;
    LONG ditherType;
    LONG edgeEmphasis;
    LONG rotateReference; // 1 the paper, 0 the image
    LONG duplexMaxCopies;
    WORD memoryStorage; // 4: per user ID
    WORD userNumber;
    DWORD signature;
    PrinterDModeBlock printer;
};

static_assert(sizeof(SettingsRecord) == kSettingsRecordSize);
static_assert(offsetof(SettingsRecord, paperSource) == 220 && offsetof(SettingsRecord, zoomMode) == 224 &&
              offsetof(SettingsRecord, reserved228) == 228 && offsetof(SettingsRecord, paperId) == 232 &&
              offsetof(SettingsRecord, outputSize) == 236 && offsetof(SettingsRecord, rotate) == 240 &&
              offsetof(SettingsRecord, documentType) == 244 && offsetof(SettingsRecord, orientation) == 248 &&
              offsetof(SettingsRecord, paperFeed) == 252 && offsetof(SettingsRecord, copies) == 256 &&
              offsetof(SettingsRecord, nupPagesPerSide) == 260 &&
              offsetof(SettingsRecord, ppSwitch1) == 264 && offsetof(SettingsRecord, ppSwitch2) == 268 &&
              offsetof(SettingsRecord, ppSwitch3) == 272 && offsetof(SettingsRecord, collate) == 276 &&
              offsetof(SettingsRecord, sets) == 280 && offsetof(SettingsRecord, rotate180) == 284 &&
              offsetof(SettingsRecord, customWidth) == 288 && offsetof(SettingsRecord, customHeight) == 292 &&
              offsetof(SettingsRecord, customSizeEnabled) == 296 &&
              offsetof(SettingsRecord, maxPaperWidth) == 300 &&
              offsetof(SettingsRecord, maxPaperHeight) == 304 &&
              offsetof(SettingsRecord, minPaperWidth) == 308 &&
              offsetof(SettingsRecord, minPaperHeight) == 312 &&
              offsetof(SettingsRecord, userPaperFlag) == 316 && offsetof(SettingsRecord, userPapers) == 320);
static_assert(
    offsetof(SettingsRecord, binListEnable) == 2160 && offsetof(SettingsRecord, resolutionIndex) == 2164 &&
    offsetof(SettingsRecord, resolutionType) == 2168 && offsetof(SettingsRecord, reserved2172) == 2172 &&
    offsetof(SettingsRecord, ditherIndex) == 2176 && offsetof(SettingsRecord, densityAdjust) == 2180 &&
    offsetof(SettingsRecord, contrastAdjust) == 2184 && offsetof(SettingsRecord, halftoneOn) == 2188 &&
    offsetof(SettingsRecord, ProcessingMethodForDensity) == 2192 &&
    offsetof(SettingsRecord, documentTypeIndex) == 2196 &&
    offsetof(SettingsRecord, OrderedDitherMethod) == 2200 &&
    offsetof(SettingsRecord, ErrorDiffusionMethod) == 2204 &&
    offsetof(SettingsRecord, ProcessingMethodForColorSeparation) == 2208 &&
    offsetof(SettingsRecord, colorSeparation) == 2212 && offsetof(SettingsRecord, separationInvert) == 2216 &&
    offsetof(SettingsRecord, separationColors) == 2220 && offsetof(SettingsRecord, swingValue) == 2224 &&
    offsetof(SettingsRecord, capabilityFlags) == 2228 && offsetof(SettingsRecord, duplex) == 2232 &&
    offsetof(SettingsRecord, binding) == 2236 && offsetof(SettingsRecord, sameMasterBothSides) == 2240 &&
    offsetof(SettingsRecord, layoutMode) == 2244 && offsetof(SettingsRecord, pagesPerSheet) == 2248 &&
    offsetof(SettingsRecord, nupOrder) == 2252 && offsetof(SettingsRecord, reserved2256) == 2256 &&
    offsetof(SettingsRecord, finishing) == 2268 && offsetof(SettingsRecord, printToFileFolder) == 2288);
static_assert(
    offsetof(SettingsRecord, printToFile) == 2808 && offsetof(SettingsRecord, modelResolutionType) == 2812 &&
    offsetof(SettingsRecord, modelPaperListType) == 2816 &&
    offsetof(SettingsRecord, bandingStartNo) == 2820 && offsetof(SettingsRecord, bandingEndNo) == 2824 &&
    offsetof(SettingsRecord, forceBanding) == 2828 && offsetof(SettingsRecord, pixelOrder) == 2832 &&
    offsetof(SettingsRecord, colorAdjustment) == 2836 && offsetof(SettingsRecord, uiValue4) == 2860 &&
    offsetof(SettingsRecord, uiValue5) == 2864 && offsetof(SettingsRecord, reserved2868) == 2868 &&
    offsetof(SettingsRecord, uiValue6) == 2876 && offsetof(SettingsRecord, uiValue7) == 2880 &&
    offsetof(SettingsRecord, reserved2884) == 2884 && offsetof(SettingsRecord, grayShiftOn) == 2888 &&
    offsetof(SettingsRecord, grayShift) == 2892 && offsetof(SettingsRecord, bookletOpening) == 2896 &&
    offsetof(SettingsRecord, zoom) == 2900 && offsetof(SettingsRecord, effectiveZoom) == 2904 &&
    offsetof(SettingsRecord, printableMaxWidth) == 2908 &&
    offsetof(SettingsRecord, printableMaxHeight) == 2912 && offsetof(SettingsRecord, nupBorderOff) == 2916 &&
    offsetof(SettingsRecord, ditherType) == 2920 && offsetof(SettingsRecord, edgeEmphasis) == 2924 &&
    offsetof(SettingsRecord, rotateReference) == 2928 && offsetof(SettingsRecord, duplexMaxCopies) == 2932 &&
    offsetof(SettingsRecord, memoryStorage) == 2936 && offsetof(SettingsRecord, userNumber) == 2938 &&
    offsetof(SettingsRecord, signature) == 2940 && offsetof(SettingsRecord, printer) == kRecordDevModeSize);
static_assert(kRecordDevModeSize == kCmnDModeSize + kRecordPrivateSize);

// The printer-level words the Preferences page edits, at block offsets 296 and 300.
inline constexpr int kBlockCountWarning = 40;
inline constexpr int kBlockCountThreshold = 41;
static_assert(offsetof(PrinterDModeBlock, printerValues) + 4 * kBlockCountWarning == 296);

} // namespace velmo
