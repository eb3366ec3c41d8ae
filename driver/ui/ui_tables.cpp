#include "ui_tables.h"

#include <models.h>

#include <algorithm>

namespace velmoui
{

namespace
{
constexpr PaperRow kA3{TEXT("A3 (297 x 420 mm)"), 8, 2970, 4200};
constexpr PaperRow kB4{TEXT("B4 (257 x 364 mm)"), 12, 2570, 3640};
constexpr PaperRow kA4{TEXT("A4 (210 x 297 mm)"), 9, 2100, 2970};
constexpr PaperRow kB5{TEXT("B5 (182 x 257 mm)"), 13, 1820, 2570};
constexpr PaperRow kA5{TEXT("A5 (148 x 210 mm)"), 11, 1480, 2100};
constexpr PaperRow kPostcard{TEXT("Postcard (100 x 148 mm)"), 43, 1000, 1480};
constexpr PaperRow kTabloid{TEXT("Tabloid  (280 x 432 mm)"), 3, 2794, 4318};
constexpr PaperRow kLegal{TEXT("Legal    (216 x 356 mm)"), 5, 2159, 3556};
constexpr PaperRow kLetter{TEXT("Letter   (216 x 280 mm)"), 1, 2159, 2794};
constexpr PaperRow kStatement{TEXT("Statement(140 x 216 mm)"), 6, 1397, 2159};
constexpr PaperRow kCustom{TEXT("Custom Paper Size"), kCustomPaperId, 2100, 2970};
constexpr PaperRow kAsDocument{TEXT("Equal to document size"), kOutputAsDocument, 0, 0};
constexpr PaperRow kWithinMaximum{TEXT("100% (Automatic correction ON)"), kOutputWithinMaximum, 0, 0};
constexpr PaperRow kEnd{{}, 0, 0, 0};

template <size_t N> std::span<const PaperRow> Rows(const PaperRow (&table)[N])
{
    return std::span<const PaperRow>(table, N - 1);
}

bool SameName(const WCHAR* row, size_t bound, const WCHAR* name, bool ignoreCase)
{
    auto fold = [&](WCHAR c) { return ignoreCase && c >= u'a' && c <= u'z' ? WCHAR(c - 0x20) : c; };
    for (size_t i = 0; i < bound; ++i)
    {
        if (fold(row[i]) != fold(name[i]))
            return false;
        if (!row[i])
            return true;
    }
    return name[bound] == 0;
}

int FindModel(const WCHAR* driverName, bool ignoreCase)
{
    if (!driverName)
        return -1;
    auto models = Models();
    for (size_t i = 0; i < models.size(); ++i)
        if (SameName(models[i].name, std::size(models[i].name), driverName, ignoreCase))
            return static_cast<int>(i);
    return -1;
}

// Output-size groups: 2, 6, 10, 14, 18 / 3, 7, 11, 15, 19 / 4, 8, 12, 16, 20 / 5, 9, 13, 17, 21.
int Group(LONG type)
{
    return static_cast<int>((type - 2) % 4);
}

bool KnownType(LONG type)
{
    return type >= 2 && type <= 21;
}
} // namespace

const PaperRow g_PaperListTypeA3[12] = {kA3,      kB4,    kA4,     kB5,        kA5,     kPostcard,
                                        kTabloid, kLegal, kLetter, kStatement, kCustom, kEnd};
const PaperRow g_PaperListTypeA3Ex[12] = {kA3,      kB4,    kA4,     kB5,        kA5,     kPostcard,
                                          kTabloid, kLegal, kLetter, kStatement, kCustom, kEnd};
const PaperRow g_PaperListTypeB4[10] = {kB4,    kA4,     kB5,        kA5,     kPostcard,
                                        kLegal, kLetter, kStatement, kCustom, kEnd};
const PaperRow g_PaperListTypeA4[8] = {kA4, kB5, kA5, kPostcard, kLetter, kStatement, kCustom, kEnd};
const PaperRow g_PaperListTypeLegal[9] = {kA4,     kB5,        kA5,     kPostcard, kLegal,
                                          kLetter, kStatement, kCustom, kEnd};

// Each output-size list offers the papers that fit its group's largest printable size.
const PaperRow g_PrintListTypeA4[8] = {kAsDocument, kWithinMaximum, kA4,        kB5,
                                       kA5,         kPostcard,      kStatement, kEnd};
const PaperRow g_PrintListTypeLegal[10] = {kAsDocument, kWithinMaximum, kA4,     kB5,        kA5,
                                           kPostcard,   kLegal,         kLetter, kStatement, kEnd};
const PaperRow g_PrintListTypeB4[11] = {kAsDocument, kWithinMaximum, kB4,     kA4,        kB5, kA5,
                                        kPostcard,   kLegal,         kLetter, kStatement, kEnd};
const PaperRow g_PrintListTypeA3[13] = {kAsDocument, kWithinMaximum, kA3,    kB4,     kA4,        kB5, kA5,
                                        kPostcard,   kTabloid,       kLegal, kLetter, kStatement, kEnd};

#define VELMO_UI_MODEL_ROW(name, key, paperListType, capabilities, uiPaperListType, uiCapabilities,          \
                           scanLine)                                                                         \
    {name, key, uiPaperListType, uiCapabilities},
const ModelRow g_ModelList[] = {
    VELMO_MODELS(VELMO_UI_MODEL_ROW){{}, 0, 0, 0},
};
#undef VELMO_UI_MODEL_ROW

namespace
{
#define VELMO_SCAN_LINE_ROW(name, key, paperListType, capabilities, uiPaperListType, uiCapabilities,         \
                            scanLine)                                                                        \
    scanLine,
constexpr bool kScanLine[] = {VELMO_MODELS(VELMO_SCAN_LINE_ROW)};
#undef VELMO_SCAN_LINE_ROW
static_assert(std::size(kScanLine) + 1 == std::size(g_ModelList));
} // namespace

const BinRow g_BinList[7] = {{TEXT("Automatic paper feed"), 5, 0},
                             {TEXT("Upper cassette"), 2, 0},
                             {TEXT("Middle cassette"), 3, 0},
                             {TEXT("Lower cassette"), 4, 0},
                             {TEXT("Manual paper feed"), 1, 0},
                             {TEXT("Panel Setting"), 0, 0},
                             {{}, 0, 0}};
const MediaTypeRow g_MediaTypeList[2] = {{TEXT("Standard paper"), 1}, {{}, 0}};
const LayoutModeRow g_LayoutModeList[6] = {{588, 1, 0x100000},
                                           {585, 2, 0x10000000},
                                           {586, 4, 0x200000},
                                           {584, 8, 0x2},
                                           {587, 16, static_cast<LONG>(0x80000000)},
                                           {0, 0, 0}};

std::span<const PaperRow> PaperList(LONG type)
{
    switch (type)
    {
    case 2:
        return Rows(g_PaperListTypeA4);
    case 3:
        return Rows(g_PaperListTypeLegal);
    case 4:
        return Rows(g_PaperListTypeB4);
    case 5:
    case 14:
    case 15:
    case 16:
    case 17:
        return Rows(g_PaperListTypeA3);
    default:
        return Rows(g_PaperListTypeA3Ex);
    }
}

std::span<const PaperRow> OutputSizeList(LONG type)
{
    if (!KnownType(type))
        return {};
    switch (Group(type))
    {
    case 0:
        return Rows(g_PrintListTypeA4);
    case 1:
        return Rows(g_PrintListTypeLegal);
    case 2:
        return Rows(g_PrintListTypeB4);
    default:
        return Rows(g_PrintListTypeA3);
    }
}

PaperSize MinPaperSize(LONG type)
{
    bool narrow = (type >= 6 && type <= 13) || (type >= 18 && type <= 21);
    return {narrow ? 500 : 1000, 1480};
}

PaperSize MaxPaperSize(LONG type)
{
    if (type == 3)
        return {2159, 3556};
    if (type == 4)
        return {2570, 3640};
    if (type == 5)
        return {2970, 4318};
    if (type >= 6 && type <= 9)
        return {2970, 5400};
    if (type >= 10 && type <= 13)
        return {3200, 5400};
    if (type >= 14 && type <= 17)
        return {2970, 4200};
    if (type >= 18 && type <= 20)
        return {3200, 4500};
    if (type == 21)
        return {3200, 5400};
    return {2100, 2970};
}

PaperSize PrintableMaxSize(LONG type)
{
    if (type == 3)
        return {2159, 3556};
    if (!KnownType(type))
        return {2100, 2970};
    static constexpr PaperSize kByGroup[4] = {{2100, 2970}, {2159, 3640}, {2570, 3640}, {2970, 4318}};
    return kByGroup[Group(type)];
}

std::span<const ModelRow> Models()
{
    return std::span<const ModelRow>(g_ModelList, std::size(g_ModelList) - 1);
}

int FindModelExact(const WCHAR* driverName)
{
    return FindModel(driverName, false);
}

int FindModelNoCase(const WCHAR* driverName)
{
    return FindModel(driverName, true);
}

bool HasScanResolutionLine(const WCHAR* driverName)
{
    int row = FindModelNoCase(driverName);
    return row >= 0 && kScanLine[row];
}

std::span<const BinRow> OfferedBins(const SettingsRecord& r)
{
    return std::span<const BinRow>(g_BinList, r.binListEnable == 1 ? 6 : 1);
}

int ModelPaperCount(const SettingsRecord& r)
{
    auto list = PaperList(r.modelPaperListType);
    int count = static_cast<int>(list.size());
    if (!r.customSizeEnabled && list.back().id == kCustomPaperId)
        --count;
    return count;
}

int OfferedPaperCount(const SettingsRecord& r)
{
    int users = 0;
    while (users < velmo::kUserPaperCount && r.userPapers[users].name[0])
        ++users;
    return ModelPaperCount(r) + users;
}

LONG OfferedPaperId(const SettingsRecord& r, int index)
{
    int model = ModelPaperCount(r);
    if (index < 0 || index >= OfferedPaperCount(r))
        return -1;
    return index < model ? PaperList(r.modelPaperListType)[index].id : r.userPapers[index - model].id;
}

bool IsOfferedPaper(const SettingsRecord& r, LONG id)
{
    for (int i = 0; i < OfferedPaperCount(r); ++i)
        if (OfferedPaperId(r, i) == id)
            return true;
    return false;
}

bool IsOutputSize(const SettingsRecord& r, LONG id)
{
    auto list = OutputSizeList(r.modelPaperListType);
    return std::any_of(list.begin(), list.end(), [&](const PaperRow& row) { return row.id == id; });
}

std::optional<PaperSize> PaperSizeOf(const SettingsRecord& r, LONG id)
{
    if (id == kCustomPaperId)
        return PaperSize{r.customWidth, r.customHeight};
    for (const PaperRow& row : PaperList(r.modelPaperListType))
        if (row.id == id)
            return PaperSize{row.width, row.height};
    for (const velmo::UserPaper& p : r.userPapers)
        if (p.id == id)
            return PaperSize{p.width, p.height};
    return std::nullopt;
}

const velmo::ResolutionRow& ResolutionOf(const SettingsRecord& r)
{
    constexpr int rows = static_cast<int>(std::size(velmo::g_ResolutionList)) - 1;
    if (r.resolutionIndex >= 0 && r.resolutionIndex < rows)
        return velmo::g_ResolutionList[r.resolutionIndex];
    return velmo::g_ResolutionList[velmo::VelmoGetDevResoIndex(kUnknownResolutionKey)];
}

LONG CopyLimit(const SettingsRecord& r)
{
    return (r.capabilityFlags & kCapDuplex) && r.duplex ? r.duplexMaxCopies : kMaxCopies;
}

} // namespace velmoui
