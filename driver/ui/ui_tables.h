// The user interface's tables: papers with standard ids, output sizes, custom-size and printable
// extents by paper-list type (2..21), the model table keyed by the printer's driver name, paper
// sources, media types and layout modes.
#pragma once

#include <settings_record.h>
#include <tables.h>

#include <optional>
#include <span>

namespace velmoui
{

using velmo::BinRow;
using velmo::MediaTypeRow;
using velmo::ModelRow;
using velmo::PaperRow;
using velmo::PaperSize;
using velmo::SettingsRecord;

inline constexpr LONG kPaperA4 = 9;
inline constexpr LONG kCustomPaperId = 256;
inline constexpr LONG kOutputAsDocument = 0;
inline constexpr LONG kOutputWithinMaximum = 257;
inline constexpr LONG kFirstUserPaperId = 259;
inline constexpr LONG kMaxCopies = 9999;
inline constexpr LONG kMaxSets = 99;
inline constexpr LONG kDuplexMaxCopiesDefault = 500;

inline constexpr LONG kCapOptionA = 0x1;
inline constexpr LONG kCapOptionB1 = 0x2;
inline constexpr LONG kCapOptionB2 = 0x4;
inline constexpr LONG kCapMemoryStorage = 0x10;
inline constexpr LONG kCapPrintToFile = 0x100;
inline constexpr LONG kCapDuplex = 0x10000;
inline constexpr LONG kCapDuplexB5 = 0x80000;

// What a printer whose driver name is in no row gets.
inline constexpr LONG kUnknownPaperListType = 2;
inline constexpr LONG kUnknownResolutionKey = 3;

// Each table ends in its terminator row, as stored; the spans below leave it out.
extern const PaperRow g_PaperListTypeA3[12];    // types 5 and 14..17
extern const PaperRow g_PaperListTypeA3Ex[12];  // every type without a list of its own
extern const PaperRow g_PaperListTypeB4[10];    // type 4
extern const PaperRow g_PaperListTypeA4[8];     // type 2
extern const PaperRow g_PaperListTypeLegal[9];  // type 3
extern const PaperRow g_PrintListTypeA4[8];     // types 2, 6, 10, 14, 18
extern const PaperRow g_PrintListTypeLegal[10]; // types 3, 7, 11, 15, 19
extern const PaperRow g_PrintListTypeB4[11];    // types 4, 8, 12, 16, 20
extern const PaperRow g_PrintListTypeA3[13];    // types 5, 9, 13, 17, 21
extern const ModelRow g_ModelList[];
extern const BinRow g_BinList[7];
extern const MediaTypeRow g_MediaTypeList[2];

struct LayoutModeRow
{
    LONG stringId;
    LONG mode;
    LONG featureBit;
};
extern const LayoutModeRow g_LayoutModeList[6];

std::span<const PaperRow> PaperList(LONG paperListType);
std::span<const PaperRow> OutputSizeList(LONG paperListType); // empty below 2 and above 21
PaperSize MinPaperSize(LONG paperListType);
PaperSize MaxPaperSize(LONG paperListType);
PaperSize PrintableMaxSize(LONG paperListType);
std::span<const ModelRow> Models();

// Model lookups: row index or -1. Capabilities are found without case, key and type exactly.
int FindModelExact(const WCHAR* driverName);
int FindModelNoCase(const WCHAR* driverName);
// Whether the model's printer comment carries the scanning-resolution line as well.
bool HasScanResolutionLine(const WCHAR* driverName);

// The paper sources offered: all six with "BinListEnable" 1, else automatic feed alone.
std::span<const BinRow> OfferedBins(const SettingsRecord& r);

// Papers offered: the model's list (its custom row only while customSizeEnabled), then the user
// papers up to the first without a name.
int ModelPaperCount(const SettingsRecord& r);
int OfferedPaperCount(const SettingsRecord& r);
LONG OfferedPaperId(const SettingsRecord& r, int index); // -1 when out of range
bool IsOfferedPaper(const SettingsRecord& r, LONG id);
bool IsOutputSize(const SettingsRecord& r, LONG id);
// Width and height of a paper id the record can hold (custom: its custom size; user papers: theirs).
std::optional<PaperSize> PaperSizeOf(const SettingsRecord& r, LONG id);

// The dpi of the record's resolution row (the fallback key's row for an index out of range).
const velmo::ResolutionRow& ResolutionOf(const SettingsRecord& r);

// Copies allowed: "DuplexMaxCopies" for a duplex job on a duplex model, else 9999.
LONG CopyLimit(const SettingsRecord& r);

} // namespace velmoui
