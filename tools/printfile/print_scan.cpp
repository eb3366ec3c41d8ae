#include "print_scan.h"

#include "kgl_records.h"

#include <algorithm>
#include <cstdlib>

namespace printfile
{
namespace
{
struct Pending
{
    DWORD flags = 0;
    std::array<BYTE, 5> options{};
    std::array<BYTE, 26> layout{};
    std::array<BYTE, 20> reserved{};
    WORD extra = 0;
    std::array<BYTE, 26> header{};
    uint64_t bandLineSum = 0;
    uint64_t lastBandEnd = 0;
    uint32_t dataOffset = 0;

    void ClearPage()
    {
        flags &= seen::JobStart | seen::Dollar | seen::Reserved | seen::Extra;
        options = {};
        layout = {};
        reserved = {};
        extra = 0;
        header = {};
        bandLineSum = 0;
        lastBandEnd = 0;
        dataOffset = 0;
    }
};

struct PaperRow
{
    int code;
    int paperId;
    int width;
    int height;
    bool inch;
    bool landscape;
};

constexpr PaperRow kPapers[] = {
    {1, 8, 2970, 4200, false, false},  {2, 12, 2570, 3640, false, false}, {3, 9, 2100, 2970, false, false},
    {4, 13, 1820, 2570, false, false}, {5, 11, 1480, 2100, false, false}, {6, 77, 2970, 2100, false, true},
    {12, 80, 2570, 1820, false, true}, {13, 78, 2100, 1480, false, true}, {14, 43, 1000, 1480, false, false},
    {30, 43, 1000, 1480, true, false}, {17, 3, 2794, 4318, true, false},  {18, 5, 2159, 3556, true, false},
    {19, 1, 2159, 2794, true, false},  {20, 6, 1397, 2159, true, false},  {22, 75, 2794, 2159, true, true},
    {28, 257, 2159, 1397, true, true},
};
constexpr int kPostcardCode = 14;
constexpr int kInchCustomCode = 16;
constexpr int kUserPaper = 256;

// 300- and 360-dpi pages share one code (at 360 dpi, 5 of 6 pixels are kept across); the lines down and
// the margins above and below them fill the sheet at the one or the other.
constexpr int kSharedResolutionCode = 0x33;
constexpr int kSharedDpi[] = {300, 360};

// The resolution down at which the page's lines and margins best fill its sheet, whose height `extent` (the
// layout's, zoom included) is in 0.1 mm or, for inch papers, 0.01 inch.
int LinesPerInchDown(const CPrintTicket& t, int extent)
{
    const int64_t tenthMm = t.inchUnits ? int64_t{extent} * 254 / 100 : extent;
    const int64_t height = tenthMm ? tenthMm : t.paperHeight;
    const int64_t lines = int64_t{t.topOffset} + t.lineCount + t.bottomMargin;
    int best = t.yDpi;
    int64_t bestMiss = INT64_MAX;
    for (int dpi : kSharedDpi)
    {
        const int64_t miss = std::abs(height * dpi / 254 - lines);
        if (miss < bestMiss)
            best = dpi, bestMiss = miss;
    }
    return best;
}

int Clamp32(uint64_t v)
{
    return static_cast<int>(std::min<uint64_t>(v, INT32_MAX));
}

void ClosePage(Pending& p, std::vector<CPrintTicket>& pages, int& count)
{
    if (p.flags & seen::Header)
    {
        CPrintTicket& t = pages.emplace_back();
        t.rawOptions = p.options;
        t.rawLayout = p.layout;
        t.rawReserved = p.reserved;
        t.rawExtra = p.extra;
        t.rawHeader = p.header;
        t.lineCount = Clamp32(std::max(p.bandLineSum, p.lastBandEnd));
        t.dataOffset = p.dataOffset;
        if (DecodePageRecord(pages.size() - 1, pages, p.flags))
            ++count;
    }
    p.ClearPage();
}

// Applies one whole record; `behind` is the file offset of the byte after it.
void Apply(kgl::RecordType type, std::span<const BYTE> payload, uint32_t behind, Pending& p,
           std::vector<CPrintTicket>& pages, int& count)
{
    const BYTE* d = payload.data();
    switch (type)
    {
    case kgl::RecordType::JobStart:
        p.flags = seen::JobStart;
        break;
    case kgl::RecordType::PageOptions:
        std::copy_n(d, p.options.size(), p.options.begin());
        p.flags |= seen::Options;
        break;
    case kgl::RecordType::PageLayout:
        std::copy_n(d, p.layout.size(), p.layout.begin());
        p.flags |= seen::Layout;
        break;
    case kgl::RecordType::PageExtra:
        p.extra = ReadU16(d);
        p.flags |= seen::Extra;
        break;
    case kgl::RecordType::PageHeader:
        std::copy_n(d, p.header.size(), p.header.begin());
        p.dataOffset = behind;
        p.bandLineSum = 0;
        p.lastBandEnd = 0; // a page dropped by a job start must not lend its bands to the next
        p.flags |= seen::Header;
        break;
    case kgl::RecordType::SubBand:
        p.bandLineSum += ReadU16(d + offsetof(SubBandHeader, lineCount));
        p.lastBandEnd = uint64_t{ReadU16(d + offsetof(SubBandHeader, firstLine))} +
                        ReadU16(d + offsetof(SubBandHeader, lineCount));
        p.flags |= seen::SubBand;
        break;
    case kgl::RecordType::PageEnd:
        p.flags |= seen::PageEnd;
        ClosePage(p, pages, count);
        break;
    case kgl::RecordType::Dollar:
        p.flags |= seen::Dollar;
        break;
    case kgl::RecordType::Reserved:
        std::copy_n(d, p.reserved.size(), p.reserved.begin());
        p.flags |= seen::Reserved;
        break;
    case kgl::RecordType::JobEnd:
        p.flags |= seen::JobEnd;
        break;
    default:
        break;
    }
}
} // namespace

int MulDivRounded(int number, int numerator, int denominator)
{
    if (denominator == 0)
        return -1;
    const int64_t product = int64_t{number} * numerator;
    const int64_t half = std::abs(int64_t{denominator}) / 2;
    const bool negative = (product < 0) != (denominator < 0);
    const int64_t magnitude = (std::abs(product) + half) / std::abs(int64_t{denominator});
    const int64_t result = negative ? -magnitude : magnitude;
    return result > INT32_MAX || result < INT32_MIN ? -1 : static_cast<int>(result);
}

int ScanPrintFile(std::vector<CPrintTicket>& pages, IByteView& file)
{
    const uint32_t size = file.Size();
    std::span<const BYTE> view = file.View(0, kScanWindow);
    if (view.empty())
        return 0;
    uint32_t viewStart = 0;
    pages.clear();
    int count = 0;
    Pending p;
    uint32_t pos = 0;
    while (pos < size)
    {
        if ((p.flags & seen::JobEnd) || count >= kMaxPages)
            break;
        uint64_t viewEnd = uint64_t{viewStart} + view.size();
        if (viewEnd < size && viewEnd - pos < kScanRemapMargin)
        {
            view = file.View(pos, kScanWindow);
            if (view.empty())
            {
                pages.clear();
                return 0;
            }
            viewStart = pos;
            viewEnd = uint64_t{viewStart} + view.size();
        }
        const std::span<const BYTE> ahead = view.subspan(pos - viewStart);
        if (ahead.front() != kgl::kEscapePrefix[0])
        {
            // Bytes between records are passed over; find the next escape quickly.
            const void* esc = std::memchr(ahead.data(), kgl::kEscapePrefix[0], ahead.size());
            pos = esc ? pos + static_cast<uint32_t>(static_cast<const BYTE*>(esc) - ahead.data())
                      : static_cast<uint32_t>(viewEnd);
            continue;
        }
        if (!IsRecordHeader(ahead))
        {
            ++pos;
            continue;
        }
        if (ahead.size() < kRecordHeaderSize)
            break; // a header cut off by the end of the file
        const kgl::RecordType type = RecordTypeAt(ahead);
        const auto payload = PayloadSize(type, ahead.subspan(kRecordHeaderSize));
        if (!payload || ahead.size() - kRecordHeaderSize < *payload)
            break; // a payload cut off by the end of the file: its page is not complete
        const uint32_t behind = pos + kRecordHeaderSize + *payload;
        Apply(type, ahead.subspan(kRecordHeaderSize, *payload), behind, p, pages, count);
        pos = behind;
    }
    return count;
}

int ScanPrintFile(std::vector<CPrintTicket>& pages, CMemoryMappedFile& file)
{
    MappedFileByteView view(file);
    return ScanPrintFile(pages, view);
}

bool DecodePageRecord(size_t index, std::vector<CPrintTicket>& pages, DWORD seenFlags)
{
    if (index >= pages.size())
        return false;
    CPrintTicket& t = pages[index];
    const BYTE* h = t.rawHeader.data();
    const BYTE* l = t.rawLayout.data();
    const bool hasLayout = seenFlags & seen::Layout;

    t.sets = ReadU16(h + offsetof(PageHeaderWords, sets));
    t.copies = ReadU16(h + offsetof(PageHeaderWords, copies));
    const int resolution = ReadU16(h + offsetof(PageHeaderWords, resolution));
    t.yDpi = (resolution & 0xF) * 100;
    t.xDpi = ((resolution >> 4) & 0xF) * 100;

    switch (ReadU16(h + offsetof(PageHeaderWords, source)))
    {
    case 1:
        t.bin = 4;
        break;
    case 2:
        t.bin = 1;
        break;
    case 3:
        t.bin = 3;
        break;
    case 4:
        t.bin = 2;
        break;
    default:
        t.bin = 7;
        break;
    }

    const int code = ReadU16(h + offsetof(PageHeaderWords, paperCode));
    const auto row = std::find_if(std::begin(kPapers), std::end(kPapers),
                                  [&](const PaperRow& r) { return r.code == code; });
    if (row != std::end(kPapers))
    {
        t.paperId = row->paperId;
        t.paperWidth = row->width;
        t.paperHeight = row->height;
        t.inchUnits = row->inch ? 1 : 0;
        if (row->landscape)
            t.orientation = 2;
        // A postcard fed the other way carries the portrait code; its image lies along the long edge.
        if (code == kPostcardCode && hasLayout && (l[offsetof(PageLayoutBytes, feed)] & 1))
        {
            std::swap(t.paperWidth, t.paperHeight);
            t.orientation = 2;
        }
    }
    else
    {
        t.paperId = kUserPaper;
        t.inchUnits = code == kInchCustomCode ? 1 : 0;
        if (hasLayout)
        {
            const int w = ReadU16(l + offsetof(PageLayoutBytes, extent1)),
                      hgt = ReadU16(l + offsetof(PageLayoutBytes, extent2));
            t.paperWidth = t.inchUnits ? w * 254 / 100 : w;
            t.paperHeight = t.inchUnits ? hgt * 254 / 100 : hgt;
            if (l[offsetof(PageLayoutBytes, feed)] & 1)
                t.orientation = 2;
        }
    }

    t.lineWidth = ReadU16(h + offsetof(PageHeaderWords, bytesPerLine)) * 8;
    t.leftOffset = ReadU16(h + offsetof(PageHeaderWords, leftOffset));
    t.topOffset = ReadU16(h + offsetof(PageHeaderWords, topOffset));

    if (hasLayout)
    {
        t.rightMargin = ReadU16(l + offsetof(PageLayoutBytes, rightMargin));
        t.bottomMargin = ReadU16(l + offsetof(PageLayoutBytes, bottomMargin));
    }
    else if (t.paperWidth != 0)
    {
        t.rightMargin = MulDivRounded(t.paperWidth, t.xDpi, 254) - t.leftOffset - t.lineWidth;
        t.bottomMargin = static_cast<int>(std::clamp<int64_t>(
            int64_t{MulDivRounded(t.paperHeight, t.yDpi, 254)} - t.lineCount - t.topOffset, INT32_MIN,
            INT32_MAX));
    }
    else
    {
        t.paperWidth = MulDivRounded(t.leftOffset + t.lineWidth, 254, t.xDpi);
        t.paperHeight = MulDivRounded(
            static_cast<int>(std::min<int64_t>(int64_t{t.lineCount} + t.topOffset, INT32_MAX)), 254, t.yDpi);
    }

    if (hasLayout && resolution == kSharedResolutionCode)
        t.yDpi = LinesPerInchDown(t, ReadU16(l + offsetof(PageLayoutBytes, extent2)));

    if (hasLayout)
    {
        const BYTE d = l[offsetof(PageLayoutBytes, duplex)];
        if (!(d & 1))
            t.duplexMode = 1;
        else if (d & 2)
            t.duplexMode = 4;
        else
        {
            t.duplexMode = (d & 8) ? 3 : 2;
            if (d & 4)
                t.backSide = 1;
        }
        static constexpr int kAngles[8] = {-1, 0, 90, 180, 270, -1, -1, -1};
        t.angle = kAngles[(l[offsetof(PageLayoutBytes, feed)] >> 1) & 7];
        t.rotate180 = (l[offsetof(PageLayoutBytes, feed)] >> 4) & 1;
        switch (l[offsetof(PageLayoutBytes, layoutMode)] & 0xF)
        {
        case 1:
            t.layoutMode = 2;
            break;
        case 2:
            t.layoutMode = 4;
            break;
        case 3:
            t.layoutMode = 8;
            break;
        default:
            t.layoutMode = 1;
            break;
        }
        t.layoutHigh = l[offsetof(PageLayoutBytes, layoutNibbles)] >> 4;
        t.layoutLow = l[offsetof(PageLayoutBytes, layoutNibbles)] & 0xF;
    }
    return true;
}

} // namespace printfile
