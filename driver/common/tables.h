// Constant tables of the driver and the lookups over them: papers, output sizes, paper sources,
// document types, resolutions, dithers and the model table keyed by the printer's driver name.
#pragma once

#include <platform/windows.h>

#include <optional>
#include <span>

namespace velmo
{

struct SelfDMode;

inline constexpr WORD g_DriverVersion = 0x0716;
inline constexpr LONG g_PaperResDefault = 9;
inline constexpr LONG g_SwingValueDefault = 30;
inline constexpr LONG g_BinResDefault = 5;
inline constexpr LONG g_MediaTypeResDefault = 1;
inline constexpr LONG g_DocumentTypeDefault = 1;
inline constexpr LONG g_DocTypeDefault = 0;
inline constexpr LONG g_PrintResDefault = 0;
inline constexpr LONG g_DitherDefault = 1;
inline constexpr LONG g_MaxCopies = 9999;
inline constexpr LONG g_MaxSetNum = 99;
inline constexpr LONG g_MaxCopiesDuplex = 500;

struct PaperSize
{
    LONG width;
    LONG height;
};
inline constexpr PaperSize g_MinPaperSize{1000, 1480};
inline constexpr PaperSize g_MaxPaperSizeA3{2970, 4318};
inline constexpr PaperSize g_MaxPaperSizeB4{2570, 3640};
inline constexpr PaperSize g_MaxPaperSizeA4{2159, 2970};
inline constexpr PaperSize g_MaxPaperSizeLegal{2159, 3556};

struct Margins
{
    LONG left;
    LONG top;
    LONG right;
    LONG bottom;
};
inline constexpr Margins g_MarginSize{300, 500, 300, 200}; // 0.01 mm

inline constexpr LONG kCustomPaperId = 256;
inline constexpr LONG kFirstUserPaperId = 259;
inline constexpr int kUserPaperCount = 20;

struct PaperRow
{
    WCHAR name[40];
    LONG id;
    LONG width; // 0.1 mm
    LONG height;
};
static_assert(sizeof(PaperRow) == 92);

struct BinRow
{
    WCHAR name[32];
    LONG value;
    LONG reserved;
};
static_assert(sizeof(BinRow) == 72);

struct DocumentTypeRow
{
    WCHAR name[32];
    LONG value;
};
static_assert(sizeof(DocumentTypeRow) == 68);

struct MediaTypeRow
{
    WCHAR name[64];
    LONG value;
};
static_assert(sizeof(MediaTypeRow) == 132);

struct ResolutionRow
{
    LONG key;
    LONG x;
    LONG y;
    LONG diagonal;
    LONG icon;
};
static_assert(sizeof(ResolutionRow) == 20);

struct ModelRow
{
    WCHAR name[36];
    LONG resolutionKey;
    LONG paperListType; // 1 A3, 2 B4, 3 A4, 4 Legal
    LONG capabilityFlags;
};
static_assert(sizeof(ModelRow) == 84);

// Which threshold matrix a dither row draws with; error diffusion has none.
enum class DitherMatrix : LONG
{
    None = 0,
    So,
    Standard,
    Mitsu,
};

// The dither list's matrices by their table names; the error-diffusion row draws with none.
inline constexpr DitherMatrix g_Dither_So = DitherMatrix::So;
inline constexpr DitherMatrix g_Dither_Standard = DitherMatrix::Standard;
inline constexpr DitherMatrix g_Dither_Mitsu = DitherMatrix::Mitsu;
inline constexpr DitherMatrix g_Dither_Gosa = DitherMatrix::None;

struct DitherRow
{
    DitherMatrix matrix;
    LONG size;
    LONG nameId;
    LONG iconId;
    DitherMatrix matrix2;
    LONG size2;
};
static_assert(sizeof(DitherRow) == 24);

inline constexpr LONG kCapOptionA = 0x1;
inline constexpr LONG kCapOptionB1 = 0x2;
inline constexpr LONG kCapOptionB2 = 0x4;
inline constexpr LONG kCapDuplex = 0x10000;

// Each table ends in its terminator row, as stored; the spans below leave it out.
extern const PaperRow g_PaperListTypeA3[12];
extern const PaperRow g_PaperListTypeB4[10];
extern const PaperRow g_PaperListTypeA4[8];
extern const PaperRow g_PaperListTypeLegal[9];
extern const PaperRow g_PrintListTypeA3[12];
extern const PaperRow g_PrintListTypeB4[10];
extern const PaperRow g_PrintListTypeA4[8];
extern const PaperRow g_PrintListTypeLegal[9];
extern const BinRow g_BinList[7];
extern const DocumentTypeRow g_DocumentTypeList[5];
extern const DocumentTypeRow g_DocTypeList[3];
extern const DocumentTypeRow g_QualityTypeList[3];
extern const MediaTypeRow g_MediaTypeList[2];
extern const ResolutionRow g_ResolutionList[8];
extern const ModelRow g_ModeleList[];
extern const DitherRow g_DitherList[5];
extern const WCHAR* const g_DeviceList[2];
extern const WCHAR* const g_DriverFileName[3];
extern const WCHAR g_HelpFileName[];

std::span<const PaperRow> PaperList(LONG paperListType);      // the A4 list for an unknown type
std::span<const PaperRow> OutputSizeList(LONG paperListType); // empty for an unknown type
std::span<const ModelRow> Models();
PaperSize MaxPaperSize(LONG paperListType);

// Model lookups: row index or -1. The first compares case-sensitively, the second does not.
int VelmoGetResoAndPaperType(SelfDMode& settings, const WCHAR* driverName);
int KgGetPrinterCapability(SelfDMode& settings, const WCHAR* driverName);

// Resolution lookups.
int VelmoGetDevResoIndex(LONG key); // the terminator's index when absent
LONG VelmoGetDevResoType(LONG key);
// The row the settings print with; a record whose index is out of range gets the fallback key's row.
const ResolutionRow& ResolutionOf(const SelfDMode& settings);
inline constexpr LONG kFallbackResolutionKey = 3;
inline constexpr LONG kFallbackPaperListType = 3;
int _UduGetDevResoListCount(const SelfDMode& settings);
LONG _UduGetDevResoListHorz(const SelfDMode& settings, int index);
LONG _UduGetDevResoListVert(const SelfDMode& settings, int index);
LONG _UduGetDevResoListHV(const SelfDMode& settings, int index);

int _UduGetBinListIndex(LONG value);

// Paper lists: the model's list first (its custom row only while customSizeEnabled), then the
// 20 user papers.
int GetDefaultPaperListCount(const SelfDMode& settings);
int _UduGetPaperListIndex(const SelfDMode& settings, LONG id);
LONG _UduGetPaperListResource(const SelfDMode& settings, int index); // -1 when out of range
std::optional<PaperSize> _UduGetPaperListSize(const SelfDMode& settings, int index);
int _UduGetPaperListName(const SelfDMode& settings, int index, WCHAR* buffer, int length); // characters
// The paper list index of any paper id the settings can hold, user papers included; -1 when none.
int PaperIndexOfId(const SelfDMode& settings, LONG id);
PaperSize _UduGetPaperMinSize(const SelfDMode& settings);
PaperSize _UduGetPaperMaxSize(const SelfDMode& settings);
int _GetPrintListIndex(const SelfDMode& settings, LONG id);
LONG _UduGetCopiesMaxCount();
bool _UduSupportDuplex(const SelfDMode& settings);

// Printable margins in 0.01 mm. Without a paper size (in 0.01 mm) the constant margins (result 0);
// with one the centred margins at the head's resolution (result 1).
int KgGetMarginSize(const SelfDMode& settings, Margins& margins, const SIZEL* paperSize);

// False when a duplex job must be refused (it then gives no output at all); true otherwise.
bool KgCheckEnableDuplexJob(const SelfDMode& settings, LONG copies);

} // namespace velmo
