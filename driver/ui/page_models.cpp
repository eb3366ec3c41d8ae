#include "page_models.h"

#include "ui_strings.h"

#include <algorithm>

namespace velmoui
{

namespace
{
constexpr LONG kLeftMargin = 300; // 0.01 mm
constexpr LONG kTopMargin = 500;
constexpr LONG kRightMargin = 300;
constexpr LONG kBottomMargin = 200;

int64_t Round32(int64_t v)
{
    return v < 0 ? 0 : v / 32 * 32;
}

std::optional<PaperSize> SizeOf(const SettingsRecord& r, LONG id)
{
    auto size = PaperSizeOf(r, id);
    if (size && size->width > 0 && size->height > 0)
        return size;
    return std::nullopt;
}

// Whole-number ratio a/b in 1/100 percent, rounded; 10000 for an empty divisor.
int64_t Ratio(int64_t a, int64_t b)
{
    return b > 0 ? (a * 10000 + b / 2) / b : kAutoZoom;
}
} // namespace

PrintableArea PrintableAreaOf(LONG width, LONG height, LONG xDpi, LONG yDpi, LONG resolutionClass)
{
    int64_t x = xDpi;
    if (resolutionClass == 1)
        x = x / 2;
    else if (resolutionClass == 3)
        x = (x * 5 + 3) / 6;
    const int64_t w = width, h = height;
    const int64_t roundedWidth = (w * 10000 + 500) / 1000;
    const int64_t sheetWidth = x * roundedWidth / 2540;
    int64_t printable =
        Round32((x * ((w * 10 - (kLeftMargin + kRightMargin)) * 10000 + 5000) / 10000 + 2539) / 2540 + 22);
    printable = std::min(printable, Round32(sheetWidth));
    if (resolutionClass == 1)
        printable *= 2;
    else if (resolutionClass == 3)
        printable = (printable * 6 + 2) / 5;
    int64_t printableHeight =
        (int64_t{yDpi} * ((h * 10 - (kTopMargin + kBottomMargin)) * 10000 + 5000) / 10000 + 2539) / 2540;
    return {std::max<int64_t>(printable, 0), std::max<int64_t>(printableHeight, 0)};
}

LONG FitZoom(PaperSize a, PaperSize b, LONG xDpi, LONG yDpi, LONG resolutionClass)
{
    PrintableArea pa = PrintableAreaOf(a.width, a.height, xDpi, yDpi, resolutionClass);
    PrintableArea pb = PrintableAreaOf(b.width, b.height, xDpi, yDpi, resolutionClass);
    if (pa.width <= 0 || pa.height <= 0 || xDpi <= 0 || yDpi <= 0)
        return kAutoZoom;
    int64_t rw = (pb.width * 10000 + pa.width / 2) / pa.width;
    int64_t rh = (pb.height * 10000 + pa.height / 2) / pa.height;
    int64_t zoom =
        rw < rh ? (rw * xDpi + 5000) / 10000 * 10000 / xDpi : (rh * yDpi + 5000) / 10000 * 10000 / yDpi;
    return Clamp(zoom, 1, kZoomMax * 100);
}

LONG AutomaticZoom(const SettingsRecord& r)
{
    if (r.outputSize == kOutputAsDocument)
        return kAutoZoom;
    auto document = SizeOf(r, r.paperId);
    if (!document)
        return kAutoZoom;
    if (r.outputSize == kOutputWithinMaximum)
    {
        const bool crossed = r.paperFeed == 2;
        LONG maxW = crossed ? r.printableMaxHeight : r.printableMaxWidth;
        LONG maxH = crossed ? r.printableMaxWidth : r.printableMaxHeight;
        if (document->width <= maxW && document->height <= maxH)
            return kAutoZoom;
        PaperSize clamped{std::min(document->width, maxW), std::min(document->height, maxH)};
        const velmo::ResolutionRow& dpi = ResolutionOf(r);
        return FitZoom(*document, clamped, dpi.x, dpi.y, r.resolutionType);
    }
    auto output = SizeOf(r, r.outputSize);
    if (!output)
        return kAutoZoom;
    return Clamp(std::min(Ratio(output->width, document->width), Ratio(output->height, document->height)), 1,
                 kZoomMax * 100);
}

bool PaperTooLarge(const SettingsRecord& r)
{
    auto document = SizeOf(r, r.paperId);
    return document && (document->width > r.printableMaxWidth || document->height > r.printableMaxHeight);
}

Correction CorrectPaper(SettingsRecord& r, const TypedPaperFields& typed)
{
    Correction c;
    auto take = [&](const std::optional<int64_t>& value, LONG& field, LONG low, LONG high) {
        int64_t v = value ? *value : field;
        LONG clamped = Clamp(v, low, high);
        if (!value || clamped != v)
            c.corrected = true;
        field = clamped;
    };
    if (r.zoomMode == 1)
        take(typed.zoom, r.zoom, kZoomMin, kZoomMax);
    take(typed.copies, r.copies, 1, CopyLimit(r));
    take(typed.sets, r.sets, 1, kMaxSets);
    const LONG limit = std::max<LONG>(r.duplexMaxCopies, 1);
    if ((r.capabilityFlags & kCapDuplex) && r.duplex && int64_t{r.copies} * r.sets > limit)
    {
        r.copies = std::max<LONG>(1, limit / r.sets);
        if (int64_t{r.copies} * r.sets > limit)
            r.sets = std::max<LONG>(1, limit / r.copies);
        c = {true, 564, limit, 1121};
    }
    return c;
}

void RestorePaperDefaults(SettingsRecord& r, const SettingsRecord& d)
{
    r.paperSource = d.paperSource;
    r.paperId = d.paperId;
    r.outputSize = d.outputSize;
    r.zoomMode = d.zoomMode;
    r.zoom = d.zoom;
    r.orientation = d.orientation;
    r.copies = d.copies;
    r.sets = d.sets;
    if (r.zoomMode == 0)
        r.zoom = AutomaticZoom(r);
}

DWORD LayoutFeatureWord(const std::optional<PrintProcCaps>& caps, int osCode, const SettingsRecord& r)
{
    DWORD word = 0x100000;
    if (caps)
        word |= caps->pageOrderFlags & 0x7C100000;
    if (osCode >= kOsVista)
        word |= 0x60000000;
    if (caps && caps->nupList.size() > 1)
        word |= 0x200000;
    if (caps && caps->booklet && (r.capabilityFlags & kCapDuplex))
        word |= 0x2;
    return word;
}

bool BookletPaperOk(const SettingsRecord& r)
{
    if (!(r.capabilityFlags & kCapDuplex) || r.zoomMode != 0)
        return false;
    const bool byPaper = r.outputSize == kOutputAsDocument || r.outputSize == kOutputWithinMaximum;
    const LONG paper = byPaper ? r.paperId : r.outputSize;
    constexpr LONG kA3 = 8, kA4 = 9, kB4 = 12, kB5 = 13;
    if (r.paperFeed == 2)
        return paper == kA4 || (paper == kB5 && (r.capabilityFlags & kCapDuplexB5));
    return paper == kA3 || paper == kA4 || paper == kB4;
}

std::vector<LONG> OfferedModes(DWORD word)
{
    std::vector<LONG> modes;
    for (const LayoutModeRow& row : g_LayoutModeList)
        if (row.mode && (static_cast<DWORD>(row.featureBit) & word))
            modes.push_back(row.mode);
    return modes;
}

bool LayoutListShown(DWORD word)
{
    return (word & (0x10000000 | 0x200000 | 0x2)) != 0;
}

std::vector<LONG> PagesPerSheetChoices(const std::optional<PrintProcCaps>& caps)
{
    if (!caps || caps->nupList.size() < 2)
        return {};
    return std::vector<LONG>(caps->nupList.begin() + 1, caps->nupList.end());
}

UINT DuplexPaperMessage(const SettingsRecord& r)
{
    return (r.capabilityFlags & kCapDuplexB5) ? 569 : 568;
}

Transition ChooseLayoutMode(SettingsRecord& r, LONG mode, DWORD word)
{
    auto offered = OfferedModes(word);
    if (std::find(offered.begin(), offered.end(), mode) == offered.end())
        return {false, 0};
    if (mode == kModeBooklet)
    {
        if (!BookletPaperOk(r))
            return {false, DuplexPaperMessage(r)};
        r.duplex = 1;
        r.binding = 1;
        r.sameMasterBothSides = 0;
    }
    else if (r.layoutMode == kModeBooklet)
        r.duplex = 0;
    r.layoutMode = mode;
    return {};
}

Transition SetDuplex(SettingsRecord& r, bool on)
{
    r.duplex = on ? 1 : 0;
    if (!on && r.layoutMode == kModeBooklet)
        r.layoutMode = kModeStandard;
    return on ? DuplexCheck(r) : Transition{};
}

Transition DuplexCheck(SettingsRecord& r)
{
    if (!r.duplex || BookletPaperOk(r))
        return {};
    if (r.layoutMode == kModeBooklet)
        r.layoutMode = kModeStandard;
    r.duplex = 0;
    return {false, DuplexPaperMessage(r)};
}

std::vector<UINT> BindingChoices(const SettingsRecord& r)
{
    if (r.layoutMode == kModeBooklet)
        return {584};
    return {598, 599};
}

const UINT g_DocumentTypeNames[4] = {555, 552, 553, 554};

LONG DocumentTypeRow(LONG documentType)
{
    return documentType >= 0 && documentType <= 3 ? documentType : 1;
}

namespace
{
Correction Bounded(LONG& field, std::optional<int64_t> typed, LONG low, LONG high)
{
    Correction c;
    int64_t v = typed ? *typed : field;
    field = Clamp(v, low, high);
    c.corrected = !typed || field != v;
    return c;
}
} // namespace

Correction CorrectGrayShift(SettingsRecord& r, std::optional<int64_t> typed)
{
    return Bounded(r.grayShift, typed, kAdjustMin, kAdjustMax);
}

Correction CorrectSwingValue(SettingsRecord& r, std::optional<int64_t> typed)
{
    return Bounded(r.swingValue, typed, 1, 255);
}

const UINT g_TapeClusterNames[4] = {522, 535, 534, 532};

int TapeClusterRow(const SettingsRecord& r)
{
    if (r.finishing[2] == 0)
        return 0;
    if (r.finishing[0] == 0)
        return 3;
    return r.finishing[1] == 1 ? 1 : 2;
}

void SetTapeCluster(SettingsRecord& r, int row)
{
    static constexpr LONG kFields[4][3] = {{0, 0, 0}, {5, 1, 1}, {4, 1, 0}, {4, 0, 0}};
    const auto& f = kFields[std::clamp(row, 0, 3)];
    r.finishing[2] = f[0]; // 2276
    r.finishing[0] = f[1]; // 2268
    r.finishing[1] = f[2]; // 2272
}

const WORD g_MemoryStorageValues[3] = {0, 3, 4};

UINT MemoryStorageName(WORD value)
{
    static constexpr UINT kNames[5] = {529, 530, 531, 528, 527};
    return value < 5 ? kNames[value] : kNames[0];
}

Correction CorrectUserNumber(SettingsRecord& r, std::optional<int64_t> typed)
{
    Correction c;
    if (!typed)
        return {true, 0, 0, 0}; // unreadable: the old value stays
    LONG v = Clamp(*typed, 0, 100);
    c.corrected = v != *typed;
    r.userNumber = static_cast<WORD>(v);
    return c;
}

std::optional<WString> PrintUiCommandLine(const WString& system, const WString& printer)
{
    if (printer.find(u'"') != WString::npos)
        return std::nullopt;
    return system + TEXT("\\rundll32.exe ") + system + TEXT("\\printui.dll,PrintUIEntry /e /n \"") + printer +
           TEXT("\"");
}

WString FormatWithNumber(const WString& format, LONG value)
{
    WString number = FormatDecimal(value, 0, TEXT(""));
    size_t at = format.find(TEXT("%d"));
    if (at == WString::npos)
        return format;
    return format.substr(0, at) + number + format.substr(at + 2);
}

WString FormatWithText(const WString& format, const WString& value)
{
    size_t at = format.find(TEXT("%s"));
    if (at == WString::npos)
        return format;
    return format.substr(0, at) + value + format.substr(at + 2);
}

namespace
{
WString PaperName(const SettingsRecord& r, LONG id, WString (*text)(UINT))
{
    if (id >= kFirstUserPaperId)
        for (const auto& p : r.userPapers)
            if (p.id == id)
                return WString(p.name, std::find(std::begin(p.name), std::end(p.name), WCHAR{0}));
    UINT nameId = PaperNameId(id);
    return nameId ? text(nameId) : WString();
}
} // namespace

WString SummaryText(const SettingsRecord& r, WString (*text)(UINT), WStringView decimal)
{
    const WString nl = TEXT("\r\n");
    WString s = text(557) + TEXT(":") + nl + TEXT("  ") + PaperName(r, r.paperId, text);
    if (r.paperId == kCustomPaperId || r.paperId >= kFirstUserPaperId)
        if (auto size = PaperSizeOf(r, r.paperId))
        {
            const bool inches = r.userPaperFlag == 1;
            auto show = [&](LONG v) {
                return inches ? FormatDecimal((int64_t{v} * 100 + 127) / 254, 2, decimal)
                              : FormatDecimal(v, 1, decimal);
            };
            s += nl + TEXT("    (") + show(size->width) + TEXT(" x ") + show(size->height) + TEXT(" ") +
                 text(inches ? 608 : 609) + TEXT(")");
        }
    if (r.zoomMode == 0 && r.outputSize != kOutputAsDocument)
    {
        s += nl + text(595) + TEXT(":") + nl + TEXT("  ") + PaperName(r, r.outputSize, text);
        s += nl + text(604) + TEXT(": ") + FormatDecimal(r.zoom, 2, decimal) + TEXT("%");
    }
    else if (r.zoomMode != 0)
        s += nl + text(605) + TEXT(": ") + FormatDecimal(r.zoom / 10, 1, decimal) + TEXT("%");
    if ((r.capabilityFlags & kCapDuplex) && r.duplex)
    {
        WString how;
        if (r.sameMasterBothSides)
            how = text(559);
        else if (r.layoutMode == kModeBooklet)
        {
            how = text(584);
            if (r.orientation == DMORIENT_PORTRAIT)
                how += TEXT(" [") + text(r.bookletOpening == 1 ? 515 : 514) + TEXT("]");
        }
        else
            how = text(r.binding == 1 ? 599 : 598);
        s += nl + text(558) + TEXT(":") + nl + TEXT("  ") + how;
    }
    s += nl + text(556) + TEXT(":") + nl + TEXT("  ") +
         text(g_DocumentTypeNames[DocumentTypeRow(r.documentType)]);
    if (r.rotate180)
        s += nl + text(603);
    return s;
}

} // namespace velmoui
