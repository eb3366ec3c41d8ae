// The document pages' logic over a settings record, without windows: lists, corrections, the
// automatic zoom, layout transitions and the summary. The dialog procedures show and read it.
#pragma once

#include "page_common.h"
#include "print_proc_caps.h"

#include <optional>
#include <vector>

namespace velmoui
{

// ---- Paper ------------------------------------------------------------------------------------------

inline constexpr LONG kZoomMin = 5000; // 1/100 percent
inline constexpr LONG kZoomMax = 20000;
inline constexpr LONG kAutoZoom = 10000;

struct PrintableArea
{
    int64_t width;  // dots, a multiple of 32 (of 64 / 12 for the halved classes)
    int64_t height; // dots
};

// The printable area of a W x H size (0.1 mm) at X x Y dpi for a resolution class.
PrintableArea PrintableAreaOf(LONG width, LONG height, LONG xDpi, LONG yDpi, LONG resolutionClass);
// The zoom (1/100 percent) that fits size `a` into size `b`, snapped to whole dots; 10000 when either
// has no printable area.
LONG FitZoom(PaperSize a, PaperSize b, LONG xDpi, LONG yDpi, LONG resolutionClass);
// The automatic zoom of the record's paper and output size.
LONG AutomaticZoom(const SettingsRecord& r);
// Whether the document paper is larger than the largest printable size (the warning 1105/1106).
bool PaperTooLarge(const SettingsRecord& r);

struct TypedPaperFields
{
    std::optional<int64_t> copies;
    std::optional<int64_t> sets;
    std::optional<int64_t> zoom; // 1/100 percent; read only with the user zoom
};

struct Correction
{
    bool corrected = false;
    UINT message = 0; // a string id to show, 0: none
    LONG messageValue = 0;
    int focus = 0; // the control to give the focus, 0: none
};

// Takes the typed fields into the record with the page's corrections.
Correction CorrectPaper(SettingsRecord& r, const TypedPaperFields& typed);
// The Paper page's fields as a fresh record has them.
void RestorePaperDefaults(SettingsRecord& r, const SettingsRecord& defaults);

// ---- Layout -----------------------------------------------------------------------------------------

inline constexpr LONG kModeStandard = 1;
inline constexpr LONG kModeSplit = 2;
inline constexpr LONG kModeCombination = 4;
inline constexpr LONG kModeBooklet = 8;

DWORD LayoutFeatureWord(const std::optional<PrintProcCaps>& caps, int osCode, const SettingsRecord& r);
bool BookletPaperOk(const SettingsRecord& r);
// The modes offered by the word, in table order.
std::vector<LONG> OfferedModes(DWORD featureWord);
bool LayoutListShown(DWORD featureWord);
// Pages per sheet offered for a mode: the N-up list from its second value on.
std::vector<LONG> PagesPerSheetChoices(const std::optional<PrintProcCaps>& caps);

struct Transition
{
    bool taken = true;
    UINT message = 0; // 568 or 569 when a mode or duplex is refused
};

// The duplex message of the model (569 when it can print B5 duplex).
UINT DuplexPaperMessage(const SettingsRecord& r);
Transition ChooseLayoutMode(SettingsRecord& r, LONG mode, DWORD featureWord);
Transition SetDuplex(SettingsRecord& r, bool on);
// After a change of paper, output size, feed or duplex: refused duplex falls back to simplex.
Transition DuplexCheck(SettingsRecord& r);
// The binding list: {598, 599}, or {584} in booklet mode.
std::vector<UINT> BindingChoices(const SettingsRecord& r);

// ---- Graphics and colour separation -----------------------------------------------------------------

inline constexpr LONG kAdjustMin = -64;
inline constexpr LONG kAdjustMax = 64;
extern const UINT g_DocumentTypeNames[4]; // by document type
LONG DocumentTypeRow(LONG documentType);  // outside 0..3: 1
Correction CorrectGrayShift(SettingsRecord& r, std::optional<int64_t> typed);
Correction CorrectSwingValue(SettingsRecord& r, std::optional<int64_t> typed);

// ---- Options ----------------------------------------------------------------------------------------

// The tape cluster list position of the record's fields, and the fields of a position.
int TapeClusterRow(const SettingsRecord& r);
void SetTapeCluster(SettingsRecord& r, int row);
extern const UINT g_TapeClusterNames[4];
// Memory storage: the values listed, in order, and their names.
extern const WORD g_MemoryStorageValues[3];
UINT MemoryStorageName(WORD value);
Correction CorrectUserNumber(SettingsRecord& r, std::optional<int64_t> typed);
// The printui command line for the printer; nothing for a name that cannot be quoted.
std::optional<WString> PrintUiCommandLine(const WString& systemDirectory, const WString& printerName);

// ---- Summary ----------------------------------------------------------------------------------------

// The summary text; `text` gives the UI's strings by id.
WString SummaryText(const SettingsRecord& r, WString (*text)(UINT), WStringView decimal);

// String `id` formatted with one number (no fixed buffer).
WString FormatWithNumber(const WString& format, LONG value);
// String `id` formatted with one text in place of its %s.
WString FormatWithText(const WString& format, const WString& value);

} // namespace velmoui
