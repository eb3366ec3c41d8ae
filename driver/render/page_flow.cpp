#include "page_flow.h"

#include "enable.h"

#include <algorithm>
#include <cstring>

namespace velmoq7
{

render::PageSettings PageSettingsOf(const velmo::SelfDMode& s)
{
    render::PageSettings p;
    p.paperSource = s.paperSource;
    p.paperOverride = s.paperOverride;
    p.zoom = s.zoom;
    p.paperId = s.paperId;
    p.outputSize = s.outputSize;
    p.rotate = s.rotate;
    p.orientation = s.orientation;
    p.paperFeed = s.paperFeed;
    p.sets = s.sets;
    p.userPaperFlag = s.userPaperFlag;
    p.resolutionType = s.resolutionType;
    p.duplex = s.duplex;
    p.binding = s.binding;
    p.booklet = s.booklet;
    p.finishing1 = s.finishing[0];
    p.finishing2 = s.finishing[1];
    p.finishing3 = s.finishing[2];
    p.finishing4 = s.finishing[3];
    p.finishing5 = s.finishing[4];
    p.capabilityFlags = static_cast<DWORD>(s.capabilityFlags);
    return p;
}

render::PageTableValues PageTableValuesOf(const velmo::SelfDMode& s)
{
    render::PageTableValues t;
    if (auto size = velmo::_UduGetPaperListSize(s, velmo::PaperIndexOfId(s, s.paperId)))
    {
        t.paperWidth = size->width;
        t.paperHeight = size->height;
    }
    t.paperWidth = std::clamp<LONG>(t.paperWidth, 0, velmo::kLargestPaperSide);
    t.paperHeight = std::clamp<LONG>(t.paperHeight, 0, velmo::kLargestPaperSide);
    SIZEL paper001{t.paperWidth * 10, t.paperHeight * 10};
    velmo::Margins m{};
    velmo::KgGetMarginSize(s, m, &paper001);
    t.margins = render::PageMargins{m.left, m.top, m.right, m.bottom};
    // The dpi without zoom: the margins are already scaled by it.
    const velmo::ResolutionRow& reso = velmo::ResolutionOf(s);
    t.xDpi = reso.x;
    t.yDpi = reso.y;
    return t;
}

render::PageDeviceValues PageDeviceValuesOf(const PDev& pdev)
{
    render::PageDeviceValues d;
    d.copies = pdev.device.copies;
    d.printableWidth = pdev.flow.image.lineLength;
    return d;
}

render::PageSetupWords PageSetupWordsOf(const PDev& pdev)
{
    const PageFormat& f = pdev.page;
    return {f.paperWidth,  f.paperHeight,  f.printableWidth,   f.printableHeight,
            f.pageWidthPx, f.pageHeightPx, f.printableWidthPx, f.printableHeightPx};
}

namespace
{
bool Horizontal(LONG code)
{
    return code == kBandTopDown || code == kBandBottomUp;
}
} // namespace

PageImage ComputePageImage(const PDev& pdev)
{
    const velmo::SelfDMode& s = *pdev.settings;
    const PageFormat& f = pdev.page;
    PageImage img{};
    const bool horizontal = Horizontal(pdev.band.code);
    img.drawnLength = horizontal ? f.printableWidthPx : f.printableHeightPx;
    img.drawnCount = horizontal ? f.printableHeightPx : f.printableWidthPx;

    // The printable area of the largest paper, in device pixels at the unscaled resolution. The device
    // lays its lines across the feed: along the paper's width when fed lengthwise. A record without a
    // sane largest paper gets the model's, so that the cropping always holds.
    velmo::PaperSize largest{s.maxPaperWidth, s.maxPaperHeight};
    if (largest.width <= 0 || largest.height <= 0 || largest.width > velmo::kLargestPaperSide ||
        largest.height > velmo::kLargestPaperSide)
        largest = velmo::MaxPaperSize(s.modelPaperListType);
    SIZEL max001{largest.width * 10, largest.height * 10};
    velmo::Margins m{};
    velmo::KgGetMarginSize(s, m, &max001);
    const velmo::ResolutionRow& reso = velmo::ResolutionOf(s);
    auto px = [](LONG v001, LONG dpi) {
        return static_cast<LONG>(static_cast<long long>(std::max<LONG>(v001, 0)) * dpi / 2540);
    };
    LONG w = px(max001.cx - m.left - m.right, reso.x);
    LONG h = px(max001.cy - m.top - m.bottom, reso.y);
    if (s.paperFeed != 1)
        std::swap(w, h);
    const LONG along = w / 4 * 4;
    const LONG across = h;
    img.lineLength = std::max<LONG>(1, std::min(img.drawnLength, along));
    img.lineCount = std::max<LONG>(1, std::min(img.drawnCount, across));
    img.firstPixel = (img.drawnLength - img.lineLength) / 2;
    img.firstLine = (img.drawnCount - img.lineCount) / 2;
    img.bytesPerLine = render::KglBytesPerLine(img.lineLength, s.resolutionType);
    return img;
}

const BandRect& BandInSendOrder(const PDev& pdev, LONG sent)
{
    const LONG count = pdev.band.bandCount;
    const bool reversed = pdev.band.code == kBandBottomUp || pdev.band.code == kBandRightToLeft;
    return pdev.flow.bands[reversed ? count - 1 - sent : sent];
}

namespace
{
// One band's lines, collected into sub-bands of at most 32,768 bytes and one more line.
class SubBandCutter
{
public:
    SubBandCutter(PDev& pdev, render::KglJobWriter& writer)
        : m_pdev(pdev), m_writer(writer), m_raw(pdev.userBuffers[0] + kRawSubBandOffset, kRawSubBandSize),
          m_code(pdev.userBuffers[0] + kCodeOutputOffset, kColumnOffset - kCodeOutputOffset),
          m_bytesPerLine(pdev.flow.image.bytesPerLine)
    {
        std::fill(m_raw.begin(), m_raw.end(), BYTE{0});
    }

    std::span<BYTE> NextLine() { return m_raw.subspan(m_fill, m_bytesPerLine); }

    BOOL LineDone()
    {
        m_fill += m_bytesPerLine;
        ++m_lines;
        return m_fill > kSubBandFlushBytes ? Send() : TRUE;
    }

    BOOL Finish() { return m_lines ? Send() : TRUE; }

private:
    BOOL Send()
    {
        const BOOL ok =
            m_writer.SendSubBand(*m_pdev.coder, m_raw.first(m_fill), static_cast<WORD>(m_lines), m_code);
        std::fill(m_raw.begin(), m_raw.begin() + m_fill, BYTE{0});
        m_fill = 0;
        m_lines = 0;
        return ok;
    }

    PDev& m_pdev;
    render::KglJobWriter& m_writer;
    std::span<BYTE> m_raw;
    std::span<BYTE> m_code;
    ULONG m_bytesPerLine;
    ULONG m_fill = 0;
    LONG m_lines = 0;
};

void Fail(PDev& pdev)
{
    pdev.spool->jobFlags |= render::kJobWriteError;
}
} // namespace

// Line order and numbering by band code. Lines of the image are numbered by their place in the image
// (0 for the first line sent), so that dither rows and error diffusion follow the lines in the order
// they are handed over:
// - 17: rows top to bottom; numbers 0, 1, ...
// - 33: rows bottom to top, each mirrored (the page turns by 180 degrees); numbers count down from the
//   line count to 1, the order the conversion expects for strips sent bottom up;
// - 34: columns right to left, each read top to bottom (a quarter turn); numbers 0, 1, ...
// - 18: columns left to right, each read bottom to top (the other quarter turn); numbers 0, 1, ...
BOOL _UdgSendPageMemory(PDev& pdev, const SURFOBJ& surface, const BandRect& band)
{
    const PageImage& img = pdev.flow.image;
    const LONG code = pdev.band.code;
    if (!pdev.coder || !pdev.spool || img.lineLength > kMaxGrayPixels || img.bytesPerLine > kMaxLineBytes ||
        img.lineLength > kMaxColumnPixels)
    {
        Fail(pdev);
        return FALSE;
    }
    render::KglJobWriter writer(*pdev.spool, pdev.flow.job);
    SubBandCutter cutter(pdev, writer);
    LineConverter converter(pdev);
    const BYTE* bits = static_cast<const BYTE*>(surface.pvScan0);
    const LONG stride = surface.lDelta;
    auto pixelAt = [&](LONG pageX, LONG pageY) {
        return bits + static_cast<std::ptrdiff_t>(pageY - band.y) * stride + 3 * (pageX - band.x);
    };
    BYTE* column = pdev.userBuffers[0] + kColumnOffset;
    const bool horizontal = Horizontal(code);
    const LONG lines = horizontal ? band.height : band.width;
    for (LONG i = 0; i < lines; ++i)
    {
        // The drawn line's place among the drawn lines, counted in the image's direction.
        LONG drawn = 0;
        std::span<const BYTE> line;
        if (horizontal)
        {
            const LONG y = code == kBandTopDown ? band.y + i : band.y + band.height - 1 - i;
            drawn = code == kBandTopDown ? y : img.drawnCount - 1 - y;
            if (drawn < img.firstLine || drawn >= img.firstLine + img.lineCount)
                continue;
            line = std::span<const BYTE>(pixelAt(img.firstPixel, y), static_cast<size_t>(img.lineLength) * 3);
        }
        else
        {
            const LONG x = code == kBandRightToLeft ? band.x + band.width - 1 - i : band.x + i;
            drawn = code == kBandRightToLeft ? img.drawnCount - 1 - x : x;
            if (drawn < img.firstLine || drawn >= img.firstLine + img.lineCount)
                continue;
            for (LONG p = 0; p < img.lineLength; ++p)
            {
                const LONG along = img.firstPixel + p;
                const LONG y = code == kBandRightToLeft ? along : img.drawnLength - 1 - along;
                std::memcpy(column + 3 * p, pixelAt(x, y), 3);
            }
            line = std::span<const BYTE>(column, static_cast<size_t>(img.lineLength) * 3);
        }
        const LONG index = drawn - img.firstLine;
        const int number =
            code == kBandBottomUp ? static_cast<int>(img.lineCount - index) : static_cast<int>(index);
        std::span<BYTE> out = cutter.NextLine();
        if (converter.NeedsConversion(line, img.lineLength))
        {
            if (!converter.Convert(line, img.lineLength, number, out))
            {
                Fail(pdev);
                return FALSE;
            }
            if (code == kBandBottomUp)
                converter.Mirror(out);
        }
        if (!cutter.LineDone())
            return FALSE;
    }
    return cutter.Finish();
}

namespace
{
PDev* PdevOf(SURFOBJ* surface)
{
    return CfgQueryMyDevice(surface ? surface->dhpdev : nullptr);
}

// The spool output exists with the surface; a hook reached without it cannot send anything.
PDev* ReadyPdevOf(SURFOBJ* surface)
{
    PDev* pdev = PdevOf(surface);
    if (pdev && !pdev->spool)
    {
        EngSetLastError(ERROR_INVALID_PARAMETER);
        return nullptr;
    }
    return pdev;
}

void EraseSurface(SURFOBJ* surface)
{
    if (surface->pvBits && surface->cjBits)
        std::memset(surface->pvBits, 0xFF, surface->cjBits);
}

// The duplex copy limit holds for the copy count each page is sent with, also when the application
// changes it after the job was decided: before anything went out the job vanishes like any refused one;
// once pages are out it can only be abandoned.
BOOL HoldCopiesToTheDuplexLimit(PDev& pdev)
{
    FlowState& flow = pdev.flow;
    render::SpoolState& spool = *pdev.spool;
    if (pdev.device.copies == flow.refusalCopies || spool.duplexRefused)
        return TRUE;
    flow.refusalCopies = pdev.device.copies;
    if (velmo::KgCheckEnableDuplexJob(*pdev.settings, pdev.device.copies))
        return TRUE;
    if (!(spool.jobFlags & render::kJobWriteSucceeded) && spool.fill == 0)
    {
        spool.duplexRefused = true;
        return TRUE;
    }
    Fail(pdev);
    return FALSE;
}

BOOL SendStartPage(PDev& pdev)
{
    if (!HoldCopiesToTheDuplexLimit(pdev))
        return FALSE;
    render::KglJobWriter writer(*pdev.spool, pdev.flow.job);
    pdev.flow.image = ComputePageImage(pdev);
    const velmo::SelfDMode& s = *pdev.settings;
    return writer.StartPage(PageSettingsOf(s), PageTableValuesOf(s), PageDeviceValuesOf(pdev));
}

void ReportBand(const PDev& pdev, POINTL* origin)
{
    if (!origin)
        return;
    const BandRect& b = BandInSendOrder(pdev, pdev.flow.bandIndex);
    *origin = POINTL{b.x, b.y};
}

// After a band was sent: on to the next one and its origin, or after the last one the page's end and
// the origin that tells the engine the page is done.
BOOL NextBandPrePost(PDev& pdev, POINTL* origin)
{
    if (++pdev.flow.bandIndex < pdev.band.bandCount)
    {
        ReportBand(pdev, origin);
        return TRUE;
    }
    if (origin)
        *origin = POINTL{-1, -1};
    return render::KglJobWriter(*pdev.spool, pdev.flow.job).EndPage();
}
} // namespace

BOOL APIENTRY DrvStartDoc(SURFOBJ* surface, LPWSTR docName, DWORD jobId)
{
    PDev* pdev = ReadyPdevOf(surface);
    if (!pdev)
        return FALSE;
    size_t n = 0;
    for (; docName && docName[n] && n + 1 < std::size(pdev->flow.docName); ++n)
        pdev->flow.docName[n] = docName[n];
    pdev->flow.docName[n] = 0;
    pdev->flow.jobId = jobId;
    return render::KglJobWriter(*pdev->spool, pdev->flow.job).StartDoc();
}

BOOL APIENTRY DrvStartPage(SURFOBJ* surface)
{
    PDev* pdev = ReadyPdevOf(surface);
    if (!pdev)
        return FALSE;
    if (pdev->flow.job.pdevPageCount == 0)
    {
        // Recomputed on every PDEV, so a refusal never outlives the settings that caused it.
        pdev->spool->duplexRefused = !velmo::KgCheckEnableDuplexJob(*pdev->settings, pdev->device.copies);
        pdev->flow.refusalCopies = pdev->device.copies;
    }
    pdev->flow.bandIndex = 0;
    EraseSurface(surface);
    if (pdev->band.banding)
        return render::SpoolFailed(*pdev->spool) ? FALSE : TRUE;
    return SendStartPage(*pdev);
}

BOOL APIENTRY DrvSendPage(SURFOBJ* surface)
{
    PDev* pdev = ReadyPdevOf(surface);
    if (!pdev)
        return FALSE;
    if (pdev->band.banding)
        return TRUE;
    BOOL ok = _UdgSendPageMemory(*pdev, *surface, pdev->flow.bands[0]);
    EraseSurface(surface);
    ok = render::KglJobWriter(*pdev->spool, pdev->flow.job).EndPage() && ok;
    return ok;
}

BOOL APIENTRY DrvEndDoc(SURFOBJ* surface, FLONG)
{
    PDev* pdev = ReadyPdevOf(surface);
    if (!pdev)
        return FALSE;
    return render::KglJobWriter(*pdev->spool, pdev->flow.job).EndDoc();
}

BOOL APIENTRY DrvStartBanding(SURFOBJ* surface, POINTL* origin)
{
    PDev* pdev = ReadyPdevOf(surface);
    if (!pdev)
        return FALSE;
    pdev->flow.bandIndex = 0;
    ReportBand(*pdev, origin);
    EraseSurface(surface);
    return render::SpoolFailed(*pdev->spool) ? FALSE : TRUE;
}

BOOL APIENTRY DrvNextBand(SURFOBJ* surface, POINTL* origin)
{
    PDev* pdev = ReadyPdevOf(surface);
    if (!pdev)
        return FALSE;
    FlowState& flow = pdev->flow;
    if (flow.bandIndex >= pdev->band.bandCount)
    {
        if (origin)
            *origin = POINTL{-1, -1};
        return TRUE;
    }
    if (flow.bandIndex == 0 && !SendStartPage(*pdev))
        return FALSE;
    BOOL ok = _UdgSendPageMemory(*pdev, *surface, BandInSendOrder(*pdev, flow.bandIndex));
    EraseSurface(surface);
    if (!ok)
        return FALSE;
    return NextBandPrePost(*pdev, origin);
}

BOOL APIENTRY DrvResetPDEV(DHPDEV oldPdev, DHPDEV newPdev)
{
    PDev* from = CfgQueryMyDevice(oldPdev);
    PDev* to = CfgQueryMyDevice(newPdev);
    if (!from || !to || from == to)
    {
        EngSetLastError(ERROR_INVALID_PARAMETER);
        return FALSE;
    }
    BOOL ok = TRUE;
    DWORD spoolFlags = from->flow.carriedSpoolFlags;
    BOOL refused = from->flow.carriedRefusal;
    if (from->spool)
    {
        ok = render::KglJobWriter(*from->spool, from->flow.job)
                 .Reset(to->flow.job, PageSetupWordsOf(*from), PageSetupWordsOf(*to));
        spoolFlags = from->spool->jobFlags;
        refused = from->spool->duplexRefused;
    }
    else
    {
        to->flow.job.jobPageCount = from->flow.job.jobPageCount;
    }
    std::memcpy(to->flow.docName, from->flow.docName, sizeof to->flow.docName);
    to->flow.jobId = from->flow.jobId;
    to->flow.carriedSpoolFlags = spoolFlags;
    to->flow.carriedRefusal = refused;
    if (to->spool)
    {
        to->spool->jobFlags = spoolFlags;
        to->spool->duplexRefused = refused != FALSE;
    }
    return ok;
}

} // namespace velmoq7
