#include "kgl_records.h"

#include <utility>

namespace render
{

namespace
{

struct PaperCodeRow
{
    LONG paperId;
    WORD fedLengthwise; // paperFeed 1
    WORD fedOtherwise;  // 0: the default code
};

constexpr PaperCodeRow kPaperCodes[] = {
    {8, 1, 0},     // A3
    {12, 2, 0},    // B4
    {9, 3, 6},     // A4
    {13, 4, 12},   // B5
    {11, 5, 13},   // A5
    {257, 14, 14}, // postcard
    {3, 17, 0},    // tabloid
    {5, 18, 0},    // legal
    {258, 19, 22}, // letter
    {6, 20, 28},   // statement
};

constexpr WORD kInchPaperBit = 0x10;

LONG ScaleByZoom(LONG v, LONG zoom)
{
    return zoom == 100 ? v : v * zoom / 100;
}

// The aligned set-up: orientation and feed agree.
bool Aligned(const PageSettings& s)
{
    return (s.orientation == 1) == (s.paperFeed == 1);
}

} // namespace

BYTE KglOptionByteA(const PageSettings& s)
{
    if (!(s.capabilityFlags & kCapabilityOptionA))
        return 0;
    BYTE a = s.finishing3 == 4 ? 0x82 : s.finishing3 == 5 ? 0x80 : 0;
    if (a & 0x80)
    {
        if (s.finishing1 == 0)
            a |= 0x03;
        else if (s.finishing2 == 0)
            a |= 0x02;
    }
    return a;
}

BYTE KglOptionByteB(const PageSettings& s)
{
    LONG b = 0;
    if ((s.capabilityFlags & kCapabilityOptionB1) && s.finishing4 != 0)
        b |= s.finishing4;
    if ((s.capabilityFlags & kCapabilityOptionB2) && s.finishing5 != 0)
        b |= s.finishing5 << 2;
    return static_cast<BYTE>(b);
}

WORD KglPaperCode(const PageSettings& s)
{
    const WORD fallback = s.userPaperFlag ? 16 : 0;
    if (s.paperOverride != 0)
        return fallback;
    const LONG id = s.outputSize != 0 ? s.outputSize : s.paperId;
    for (const auto& row : kPaperCodes)
    {
        if (row.paperId != id)
            continue;
        const WORD code = s.paperFeed == 1 ? row.fedLengthwise : row.fedOtherwise;
        return code != 0 ? code : fallback;
    }
    return fallback;
}

WORD KglResolutionCode(LONG xDpi, LONG yDpi, LONG resolutionType)
{
    if (xDpi != yDpi)
        return 0;
    switch (xDpi)
    {
    case 300:
    case 360:
        return 0x33;
    case 400:
        return 0x44;
    case 600:
        return resolutionType == 0 || resolutionType == 2 ? 0x66 : 0x36;
    case 800:
        return 0x48;
    default:
        return 0;
    }
}

BYTE KglRotationCode(const PageSettings& s)
{
    const bool rotated = s.rotate != 0;
    if (Aligned(s))
        return rotated ? 3 : 1;
    return rotated ? 2 : 4;
}

BYTE KglDuplexByte(const PageSettings& s, DWORD duplexPageCount)
{
    if (!(s.capabilityFlags & kCapabilityDuplex) || s.duplex == 0)
        return 0;
    if (s.booklet != 0)
        return s.paperFeed == 1 ? 0x0B : 0x03;
    BYTE b = duplexPageCount % 2 == 0 ? 0x01 : 0x05;
    if (s.binding == 1)
        b |= 0x08;
    return b;
}

std::array<WORD, 2> KglPaperExtents(const PageSettings& s, const PageTableValues& t)
{
    LONG width = ScaleByZoom(t.paperWidth, s.zoom);
    LONG height = ScaleByZoom(t.paperHeight, s.zoom);
    if (KglPaperCode(s) & kInchPaperBit)
    {
        width = (width * 100 + 127) / 254;
        height = (height * 100 + 127) / 254;
    }
    if (s.paperFeed != 1)
        std::swap(width, height);
    return {static_cast<WORD>(width), static_cast<WORD>(height)};
}

PageMargins KglPixelMargins(const PageSettings& s, const PageTableValues& t)
{
    PageMargins m = t.margins;
    if (s.zoom != 100)
    {
        for (LONG* v : {&m.left, &m.top, &m.right, &m.bottom})
            *v = (*v * s.zoom + 50) / 100;
    }
    if (s.paperFeed == 1 && s.rotate == 1)
        m = {m.right, m.bottom, m.left, m.top};
    else if (s.paperFeed == 2 || s.rotate == 1)
    {
        if (Aligned(s) == (s.rotate == 0))
            m = {m.bottom, m.left, m.top, m.right};
        else
            m = {m.top, m.right, m.bottom, m.left};
    }
    PageMargins px{m.left * t.xDpi / 2540, m.top * t.yDpi / 2540, m.right * t.xDpi / 2540,
                   m.bottom * t.yDpi / 2540};
    if (s.resolutionType == 1)
    {
        px.left /= 2;
        px.right /= 2;
    }
    else if (s.resolutionType == 3)
    {
        px.left = px.left * 5 / 6;
        px.right = px.right * 5 / 6;
    }
    return px;
}

WORD KglBytesPerLine(LONG printableWidth, LONG resolutionType)
{
    LONG w = printableWidth;
    if (resolutionType == 1)
        w /= 2;
    else if (resolutionType == 3)
        w = w * 5 / 6;
    return static_cast<WORD>(((w + 31) >> 3) & 0xFFFC);
}

KglPageOptions MakePageOptions(const PageSettings& s)
{
    KglPageOptions r;
    r.optionA = KglOptionByteA(s);
    r.optionB = KglOptionByteB(s);
    return r;
}

KglPageLayout MakePageLayout(const PageSettings& s, const PageTableValues& t, DWORD duplexPageCount)
{
    KglPageLayout r;
    r.duplex = KglDuplexByte(s, duplexPageCount);
    r.orientation = static_cast<BYTE>((s.paperFeed == 2 ? 0x01 : 0) | (KglRotationCode(s) << 1) |
                                      (s.rotate == 1 ? 0x10 : 0));
    const auto extents = KglPaperExtents(s, t);
    r.extent1 = extents[0];
    r.extent2 = extents[1];
    const PageMargins px = KglPixelMargins(s, t);
    r.rightMargin = static_cast<WORD>(px.right);
    r.bottomMargin = static_cast<WORD>(px.bottom);
    return r;
}

KglPageHeader MakePageHeader(const PageSettings& s, const PageTableValues& t, const PageDeviceValues& d)
{
    KglPageHeader r;
    r.copies = static_cast<WORD>(d.copies);
    r.resolutionCode = KglResolutionCode(t.xDpi, t.yDpi, s.resolutionType);
    r.paperSource = static_cast<WORD>(s.paperSource);
    r.paperCode = KglPaperCode(s);
    r.bytesPerLine = KglBytesPerLine(d.printableWidth, s.resolutionType);
    const PageMargins px = KglPixelMargins(s, t);
    r.leftMargin = static_cast<WORD>(px.left);
    r.topMargin = static_cast<WORD>(px.top);
    r.sets = static_cast<WORD>(s.sets);
    return r;
}

BOOL WriteKglRecord(SpoolState& spool, KglType type, std::span<const BYTE> payload)
{
    KglRecordHeader header;
    header.type = type;
    const auto bytes = RecordBytes(header);
    if (!KgWriteSpoolOrFile(spool, bytes.data(), static_cast<DWORD>(bytes.size())))
        return FALSE;
    if (payload.empty())
        return TRUE;
    return KgWriteSpoolOrFile(spool, payload.data(), static_cast<DWORD>(payload.size()));
}

BOOL _UdgSendStartDoc(SpoolState& spool, KglJobState& job)
{
    job.jobRecordSent = true;
    if (job.jobPageCount != 1 && !job.resend)
        return TRUE;
    job.resend = false;
    job.jobStartDropped = spool.duplexRefused;
    return WriteKglRecord(spool, KglType::JobStart);
}

BOOL _UdgSendStartPage(SpoolState& spool, KglJobState& job, const PageSettings& s, const PageTableValues& t,
                       const PageDeviceValues& d)
{
    job.pageOpen = true;
    job.nextLine = 0;
    const auto options = RecordBytes(MakePageOptions(s));
    const auto layout = RecordBytes(MakePageLayout(s, t, job.duplexPageCount));
    const auto extra = RecordBytes(KglPageExtra{});
    const auto header = RecordBytes(MakePageHeader(s, t, d));
    if (KglDuplexByte(s, job.duplexPageCount) != 0)
        ++job.duplexPageCount;
    return WriteKglRecord(spool, KglType::PageOptions, options) &&
           WriteKglRecord(spool, KglType::PageLayout, layout) &&
           WriteKglRecord(spool, KglType::PageExtra, extra) &&
           WriteKglRecord(spool, KglType::PageHeader, header);
}

BOOL VelmoSendSubBandData(SpoolState& spool, KglJobState& job, BandCoder& coder, std::span<const BYTE> lines,
                          WORD lineCount, std::span<BYTE> codeBuffer)
{
    // A sub-band that cannot be sent, or whose lines cannot be numbered, would shift or wrap every
    // later line: stop the job instead.
    if (job.nextLine + lineCount > static_cast<DWORD>(kMaxPageLines))
    {
        spool.jobFlags |= kJobWriteError;
        return FALSE;
    }
    const auto length = coder.Compress(lines, codeBuffer);
    if (!length || *length > 0xFFFF)
    {
        spool.jobFlags |= kJobWriteError;
        return FALSE;
    }
    KglSubBandHeader band;
    band.blockLength = static_cast<WORD>(*length);
    band.firstLine = static_cast<WORD>(job.nextLine);
    band.lineCount = lineCount;
    job.nextLine += lineCount;
    const auto bandBytes = RecordBytes(band);
    return WriteKglRecord(spool, KglType::SubBand, bandBytes) &&
           KgWriteSpoolOrFile(spool, codeBuffer.data(), static_cast<DWORD>(*length)) &&
           KgWriteSpoolOrFile(spool, g_SubBandNull10.data(), static_cast<DWORD>(g_SubBandNull10.size()));
}

BOOL _UdgSendEndPage(SpoolState& spool, KglJobState& job)
{
    job.pageOpen = false;
    return WriteKglRecord(spool, KglType::PageEnd);
}

BOOL _UdgSendEndDoc(SpoolState& spool, KglJobState& job)
{
    // Pages started in the job mean a job start went out, perhaps through a PDEV replaced since.
    if (!job.jobRecordSent && job.jobPageCount == 0)
        return TRUE;
    return WriteKglRecord(spool, KglType::JobEnd);
}

void _UdgSendResetDoc(const KglJobState& oldJob, KglJobState& newJob, const PageSetupWords& oldWords,
                      const PageSetupWords& newWords)
{
    bool turned = true;
    for (std::size_t i = 0; i < oldWords.size(); i += 2)
        turned = turned && oldWords[i] == newWords[i + 1] && oldWords[i + 1] == newWords[i];
    // A job start that a refused job dropped stands for nothing: the next page must send one.
    if ((oldWords == newWords || turned) && !oldJob.jobStartDropped)
    {
        newJob.duplexPageCount = oldJob.duplexPageCount;
        return;
    }
    newJob.resend = true;
    newJob.duplexPageCount = 0;
}

// The record writers report a dropped write as failure; a refused job is meant to vanish quietly,
// so the hooks judge success by the error stop alone.
BOOL KglJobWriter::Succeeded() const
{
    return SpoolFailed(m_spool) ? FALSE : TRUE;
}

BOOL KglJobWriter::StartDoc()
{
    RtgWriteSpoolFlash(m_spool);
    return Succeeded();
}

BOOL KglJobWriter::StartPage(const PageSettings& s, const PageTableValues& t, const PageDeviceValues& d)
{
    ++m_job.jobPageCount;
    if (m_job.pdevPageCount++ == 0)
        _UdgSendStartDoc(m_spool, m_job);
    _UdgSendStartPage(m_spool, m_job, s, t, d);
    return Succeeded();
}

BOOL KglJobWriter::SendSubBand(BandCoder& coder, std::span<const BYTE> lines, WORD lineCount,
                               std::span<BYTE> codeBuffer)
{
    VelmoSendSubBandData(m_spool, m_job, coder, lines, lineCount, codeBuffer);
    return Succeeded();
}

BOOL KglJobWriter::EndPage()
{
    _UdgSendEndPage(m_spool, m_job);
    RtgWriteSpoolFlash(m_spool);
    return Succeeded();
}

BOOL KglJobWriter::EndDoc()
{
    // A document ended in the middle of a page still closes it, so the stream stays well formed.
    if (m_job.pageOpen)
        _UdgSendEndPage(m_spool, m_job);
    _UdgSendEndDoc(m_spool, m_job);
    RtgWriteSpoolFlash(m_spool);
    const BOOL ok = Succeeded();
    m_job = KglJobState{};
    ClearSpoolJobFlags(m_spool);
    return ok;
}

BOOL KglJobWriter::Reset(KglJobState& next, const PageSetupWords& oldWords, const PageSetupWords& newWords)
{
    if (m_job.pageOpen)
        _UdgSendEndPage(m_spool, m_job);
    // A PDEV replaced before its first page still carries the job it took over: it is compared like
    // any other, and a job start it was told to resend stays owed.
    if (m_job.jobRecordSent || m_job.jobPageCount > 0)
    {
        _UdgSendResetDoc(m_job, next, oldWords, newWords);
        if (m_job.resend)
        {
            next.resend = true;
            next.duplexPageCount = 0;
        }
    }
    next.jobPageCount = m_job.jobPageCount;
    RtgWriteSpoolFlash(m_spool);
    return Succeeded();
}

} // namespace render
