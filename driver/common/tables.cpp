#include "tables.h"

#include "models.h"
#include "settings.h"

#include <algorithm>

namespace velmo
{

#define PAPER_A3                                                                                             \
    {                                                                                                        \
        TEXT("A3 (297 x 420 mm)"), 8, 2970, 4200                                                             \
    }
#define PAPER_B4                                                                                             \
    {                                                                                                        \
        TEXT("B4 (257 x 364 mm)"), 12, 2570, 3640                                                            \
    }
#define PAPER_A4                                                                                             \
    {                                                                                                        \
        TEXT("A4 (210 x 297 mm)"), 9, 2100, 2970                                                             \
    }
#define PAPER_B5                                                                                             \
    {                                                                                                        \
        TEXT("B5 (182 x 257 mm)"), 13, 1820, 2570                                                            \
    }
#define PAPER_A5                                                                                             \
    {                                                                                                        \
        TEXT("A5 (148 x 210 mm)"), 11, 1480, 2100                                                            \
    }
#define PAPER_POSTCARD                                                                                       \
    {                                                                                                        \
        TEXT("Postcard (100 x 148 mm)"), 257, 1000, 1480                                                     \
    }
#define PAPER_TABLOID                                                                                        \
    {                                                                                                        \
        TEXT("Tabloid  (280 x 432 mm)"), 3, 2794, 4318                                                       \
    }
#define PAPER_LEGAL                                                                                          \
    {                                                                                                        \
        TEXT("Legal    (216 x 356 mm)"), 5, 2159, 3556                                                       \
    }
#define PAPER_LETTER                                                                                         \
    {                                                                                                        \
        TEXT("Letter   (216 x 280 mm)"), 258, 2159, 2794                                                     \
    }
#define PAPER_STATEMENT                                                                                      \
    {                                                                                                        \
        TEXT("Statement(140 x 216 mm)"), 6, 1397, 2159                                                       \
    }
#define PAPER_CUSTOM                                                                                         \
    {                                                                                                        \
        TEXT("Custom Paper Size"), kCustomPaperId, 2100, 2970                                                \
    }
#define PAPER_EQUAL                                                                                          \
    {                                                                                                        \
        TEXT("Equal to document size"), 0, 0, 0                                                              \
    }
#define PAPER_END                                                                                            \
    {                                                                                                        \
        {}, 0, 0, 0                                                                                          \
    }

const PaperRow g_PaperListTypeA3[12] = {PAPER_A3,     PAPER_B4,        PAPER_A4,      PAPER_B5,
                                        PAPER_A5,     PAPER_POSTCARD,  PAPER_TABLOID, PAPER_LEGAL,
                                        PAPER_LETTER, PAPER_STATEMENT, PAPER_CUSTOM,  PAPER_END};
const PaperRow g_PaperListTypeB4[10] = {PAPER_B4,       PAPER_A4,    PAPER_B5,     PAPER_A5,
                                        PAPER_POSTCARD, PAPER_LEGAL, PAPER_LETTER, PAPER_STATEMENT,
                                        PAPER_CUSTOM,   PAPER_END};
const PaperRow g_PaperListTypeA4[8] = {PAPER_A4,     PAPER_B5,        PAPER_A5,     PAPER_POSTCARD,
                                       PAPER_LETTER, PAPER_STATEMENT, PAPER_CUSTOM, PAPER_END};
const PaperRow g_PaperListTypeLegal[9] = {PAPER_A4,        PAPER_B5,     PAPER_A5,
                                          PAPER_POSTCARD,  PAPER_LEGAL,  PAPER_LETTER,
                                          PAPER_STATEMENT, PAPER_CUSTOM, PAPER_END};

const PaperRow g_PrintListTypeA3[12] = {PAPER_EQUAL, PAPER_A3,     PAPER_B4,        PAPER_A4,
                                        PAPER_B5,    PAPER_A5,     PAPER_POSTCARD,  PAPER_TABLOID,
                                        PAPER_LEGAL, PAPER_LETTER, PAPER_STATEMENT, PAPER_END};
const PaperRow g_PrintListTypeB4[10] = {PAPER_EQUAL,     PAPER_B4,       PAPER_A4,    PAPER_B5,
                                        PAPER_A5,        PAPER_POSTCARD, PAPER_LEGAL, PAPER_LETTER,
                                        PAPER_STATEMENT, PAPER_END};
const PaperRow g_PrintListTypeA4[8] = {PAPER_EQUAL,    PAPER_A4,     PAPER_B5,        PAPER_A5,
                                       PAPER_POSTCARD, PAPER_LETTER, PAPER_STATEMENT, PAPER_END};
const PaperRow g_PrintListTypeLegal[9] = {PAPER_EQUAL,  PAPER_A4,        PAPER_B5,
                                          PAPER_A5,     PAPER_POSTCARD,  PAPER_LEGAL,
                                          PAPER_LETTER, PAPER_STATEMENT, PAPER_END};

const BinRow g_BinList[7] = {{TEXT("Automatic paper feed"), 5, 0},
                             {TEXT("Upper cassette"), 2, 0},
                             {TEXT("Middle cassette"), 3, 0},
                             {TEXT("Lower cassette"), 4, 0},
                             {TEXT("Manual paper feed"), 1, 0},
                             {TEXT("Panel Setting"), 0, 0},
                             {{}, 0, 0}};

const DocumentTypeRow g_DocumentTypeList[5] = {{TEXT("Plain text / Table"), 0},
                                               {TEXT("Plain text / Photograph"), 1},
                                               {TEXT("Graphics"), 2},
                                               {TEXT("Photograph"), 3},
                                               {{}, 0}};
const DocumentTypeRow g_DocTypeList[3] = {
    {TEXT("Plain Text / Drawing"), 0}, {TEXT("Photograph"), 3}, {{}, 0}};
const DocumentTypeRow g_QualityTypeList[3] = {
    {TEXT("Plain Text / Drawing"), 0}, {TEXT("Photograph"), 3}, {{}, 0}};
const MediaTypeRow g_MediaTypeList[2] = {{TEXT("Standard paper"), 1}, {{}, 0}};

const ResolutionRow g_ResolutionList[8] = {
    {1, 300, 300, 424, 64035}, {2, 400, 400, 565, 64036},  {3, 600, 600, 848, 64037},
    {4, 600, 600, 848, 64036}, {5, 800, 800, 1131, 64037}, {6, 600, 600, 848, 64037},
    {7, 360, 360, 509, 64036}, {0, -1, -1, -1, 0},
};

// The series' models, from the one list both DLLs read.
#define VELMO_GRAPHICS_MODEL_ROW(name, key, paperListType, capabilities, uiPaperListType, uiCapabilities,    \
                                 scanLine)                                                                   \
    {name, key, paperListType, capabilities},
const ModelRow g_ModeleList[] = {
    VELMO_MODELS(VELMO_GRAPHICS_MODEL_ROW){{}, 0, 0, 0},
};
#undef VELMO_GRAPHICS_MODEL_ROW

const DitherRow g_DitherList[5] = {
    {g_Dither_So, 4, 530, 64042, g_Dither_So, 4},
    {g_Dither_Standard, 4, 531, 64043, g_Dither_Standard, 4},
    {g_Dither_Mitsu, 4, 526, 64043, g_Dither_Mitsu, 4},
    {g_Dither_Gosa, 4, 527, 64043, g_Dither_Gosa, 4},
    {DitherMatrix::None, 0, 0, 0, DitherMatrix::None, 0},
};

const WCHAR* const g_DeviceList[2] = {TEXT("KORIGRAPH Driver"), TEXT("KORIGRAPH Driver with UserMode")};
const WCHAR* const g_DriverFileName[3] = {TEXT("VELMOQ7"), TEXT("VELMQ7UM"), TEXT("VelmQ7UI")};
const WCHAR g_HelpFileName[] = TEXT("VELMOQ7.HLP");

namespace
{
template <size_t N> std::span<const PaperRow> Rows(const PaperRow (&table)[N])
{
    return std::span<const PaperRow>(table, N - 1);
}

bool SameText(const WCHAR* a, const WCHAR* b, size_t bound, bool ignoreCase)
{
    auto fold = [&](WCHAR c) { return ignoreCase && c >= u'a' && c <= u'z' ? WCHAR(c - 0x20) : c; };
    for (size_t i = 0; i < bound; ++i)
    {
        if (fold(a[i]) != fold(b[i]))
            return false;
        if (a[i] == 0)
            return true;
    }
    return b[bound] == 0; // a name that fills the row must end there in the other text too
}

int FindModel(const WCHAR* driverName, bool ignoreCase)
{
    if (!driverName)
        return -1;
    auto models = Models();
    for (size_t i = 0; i < models.size(); ++i)
        if (SameText(models[i].name, driverName, std::size(models[i].name), ignoreCase))
            return static_cast<int>(i);
    return -1;
}
} // namespace

std::span<const PaperRow> PaperList(LONG paperListType)
{
    switch (paperListType)
    {
    case 1:
        return Rows(g_PaperListTypeA3);
    case 2:
        return Rows(g_PaperListTypeB4);
    case 4:
        return Rows(g_PaperListTypeLegal);
    default:
        return Rows(g_PaperListTypeA4);
    }
}

std::span<const PaperRow> OutputSizeList(LONG paperListType)
{
    switch (paperListType)
    {
    case 1:
        return Rows(g_PrintListTypeA3);
    case 2:
        return Rows(g_PrintListTypeB4);
    case 3:
        return Rows(g_PrintListTypeA4);
    case 4:
        return Rows(g_PrintListTypeLegal);
    default:
        return {};
    }
}

std::span<const ModelRow> Models()
{
    return std::span<const ModelRow>(g_ModeleList, std::size(g_ModeleList) - 1);
}

PaperSize MaxPaperSize(LONG paperListType)
{
    switch (paperListType)
    {
    case 1:
        return g_MaxPaperSizeA3;
    case 2:
        return g_MaxPaperSizeB4;
    case 4:
        return g_MaxPaperSizeLegal;
    default:
        return g_MaxPaperSizeA4;
    }
}

int VelmoGetResoAndPaperType(SelfDMode& settings, const WCHAR* driverName)
{
    int row = FindModel(driverName, false);
    if (row >= 0)
    {
        settings.modelResolutionType = g_ModeleList[row].resolutionKey;
        settings.modelPaperListType = g_ModeleList[row].paperListType;
    }
    return row;
}

int KgGetPrinterCapability(SelfDMode& settings, const WCHAR* driverName)
{
    int row = FindModel(driverName, true);
    if (row >= 0)
        settings.capabilityFlags = g_ModeleList[row].capabilityFlags;
    return row;
}

int VelmoGetDevResoIndex(LONG key)
{
    int i = 0;
    while (g_ResolutionList[i].key != 0 && g_ResolutionList[i].key != key)
        ++i;
    return i;
}

LONG VelmoGetDevResoType(LONG key)
{
    switch (key)
    {
    case 4:
    case 5:
        return 1;
    case 6:
        return 2;
    case 7:
        return 3;
    default:
        return 0;
    }
}

const ResolutionRow& ResolutionOf(const SelfDMode& settings)
{
    constexpr int rows = static_cast<int>(std::size(g_ResolutionList)) - 1;
    if (settings.resolutionIndex >= 0 && settings.resolutionIndex < rows)
        return g_ResolutionList[settings.resolutionIndex];
    return g_ResolutionList[VelmoGetDevResoIndex(kFallbackResolutionKey)];
}

int _UduGetDevResoListCount(const SelfDMode&)
{
    return 1;
}

LONG _UduGetDevResoListHorz(const SelfDMode& settings, int)
{
    return ResolutionOf(settings).x;
}

LONG _UduGetDevResoListVert(const SelfDMode& settings, int)
{
    return ResolutionOf(settings).y;
}

LONG _UduGetDevResoListHV(const SelfDMode& settings, int)
{
    return ResolutionOf(settings).diagonal;
}

int _UduGetBinListIndex(LONG value)
{
    for (int i = 0; g_BinList[i].name[0]; ++i)
        if (g_BinList[i].value == value)
            return i;
    return -1;
}

int GetDefaultPaperListCount(const SelfDMode& settings)
{
    auto list = PaperList(settings.modelPaperListType);
    int count = static_cast<int>(list.size());
    if (!settings.customSizeEnabled && !list.empty() && list.back().id == kCustomPaperId)
        --count;
    return count;
}

int _UduGetPaperListIndex(const SelfDMode& settings, LONG id)
{
    auto list = PaperList(settings.modelPaperListType);
    int count = GetDefaultPaperListCount(settings);
    for (int i = 0; i < count; ++i)
        if (list[i].id == id)
            return i;
    return -1;
}

LONG _UduGetPaperListResource(const SelfDMode& settings, int index)
{
    int count = GetDefaultPaperListCount(settings);
    if (index >= 0 && index < count)
        return PaperList(settings.modelPaperListType)[index].id;
    if (index >= count && index < count + kUserPaperCount)
        return settings.userPapers[index - count].id;
    return -1;
}

std::optional<PaperSize> _UduGetPaperListSize(const SelfDMode& settings, int index)
{
    int count = GetDefaultPaperListCount(settings);
    if (index >= 0 && index < count)
    {
        const PaperRow& row = PaperList(settings.modelPaperListType)[index];
        if (row.id == kCustomPaperId)
            return PaperSize{settings.customWidth, settings.customHeight};
        return PaperSize{row.width, row.height};
    }
    if (index >= count && index < count + kUserPaperCount)
    {
        const UserPaper& p = settings.userPapers[index - count];
        return PaperSize{p.width, p.height};
    }
    return std::nullopt;
}

int _UduGetPaperListName(const SelfDMode& settings, int index, WCHAR* buffer, int length)
{
    if (!buffer || length <= 0)
        return 0;
    buffer[0] = 0;
    int count = GetDefaultPaperListCount(settings);
    const WCHAR* name = nullptr;
    size_t bound = 0;
    if (index >= 0 && index < count)
    {
        name = PaperList(settings.modelPaperListType)[index].name;
        bound = 40;
    }
    else if (index >= count && index < count + kUserPaperCount)
    {
        name = settings.userPapers[index - count].name;
        bound = 40;
    }
    if (!name)
        return 0;
    size_t n = 0;
    while (n < bound && n + 1 < static_cast<size_t>(length) && name[n])
    {
        buffer[n] = name[n];
        ++n;
    }
    buffer[n] = 0;
    return static_cast<int>(n);
}

int PaperIndexOfId(const SelfDMode& settings, LONG id)
{
    int index = _UduGetPaperListIndex(settings, id);
    if (index >= 0)
        return index;
    int count = GetDefaultPaperListCount(settings);
    for (int i = 0; i < kUserPaperCount; ++i)
        if (settings.userPapers[i].id == id)
            return count + i;
    return -1;
}

PaperSize _UduGetPaperMinSize(const SelfDMode& settings)
{
    return {settings.minPaperWidth, settings.minPaperHeight};
}

PaperSize _UduGetPaperMaxSize(const SelfDMode& settings)
{
    return {settings.maxPaperWidth, settings.maxPaperHeight};
}

int _GetPrintListIndex(const SelfDMode& settings, LONG id)
{
    auto list = OutputSizeList(settings.modelPaperListType);
    for (size_t i = 0; i < list.size(); ++i)
        if (list[i].id == id)
            return static_cast<int>(i);
    return -1;
}

LONG _UduGetCopiesMaxCount()
{
    return g_MaxCopies;
}

bool _UduSupportDuplex(const SelfDMode& settings)
{
    return (settings.capabilityFlags & kCapDuplex) != 0;
}

namespace
{
// In 64 bits: a paper side of a stored record times a resolution does not fit in 32.
LONG CeilDiv(long long a, LONG b)
{
    return static_cast<LONG>((a + b - 1) / b);
}

// Printable pixels across `extent` (0.01 mm) less two margins, rounded to a multiple of 32.
LONG PrintablePixels(LONG extent, LONG margins, LONG dpi)
{
    long long p = ((static_cast<long long>(extent) - margins) * dpi + 1270) / 2540;
    return static_cast<LONG>((p + 16) & ~31LL);
}
} // namespace

int KgGetMarginSize(const SelfDMode& settings, Margins& margins, const SIZEL* paperSize)
{
    if (!paperSize)
    {
        margins = g_MarginSize;
        return 0;
    }
    const ResolutionRow& reso = ResolutionOf(settings);
    LONG key = reso.key;
    LONG h = (key == 4 || key == 7) ? 300 : key == 5 ? 400 : reso.x;
    LONG v = reso.y;
    LONG W = paperSize->cx;
    LONG H = paperSize->cy;
    LONG p = std::max<LONG>(0, PrintablePixels(W, g_MarginSize.left + g_MarginSize.right, h));
    LONG w = std::min(W, CeilDiv(static_cast<long long>(p) * 2540, h));
    margins.left = (W - w) / 2;
    margins.right = W - margins.left - w;
    margins.top = g_MarginSize.top;
    LONG q = std::max<LONG>(0, PrintablePixels(H, g_MarginSize.top + g_MarginSize.bottom, v));
    margins.bottom = std::max<LONG>(0, H - g_MarginSize.top - CeilDiv(static_cast<long long>(q) * 2540, v));
    return 1;
}

bool KgCheckEnableDuplexJob(const SelfDMode& settings, LONG copies)
{
    if (!_UduSupportDuplex(settings) || !settings.duplex)
        return true;
    if (settings.paperOverride)
        return false;
    auto large = [](LONG id) { return id == 8 || id == 9 || id == 12; };
    if (settings.paperFeed == 1)
    {
        if (settings.outputSize != 0 ? !large(settings.outputSize) : !large(settings.paperId))
            return false;
    }
    else if (settings.paperFeed == 2)
    {
        if (!(settings.outputSize == 9 || (settings.outputSize == 0 && settings.paperId == 9)))
            return false;
    }
    return static_cast<long long>(copies) * settings.sets <= g_MaxCopiesDuplex;
}

} // namespace velmo
