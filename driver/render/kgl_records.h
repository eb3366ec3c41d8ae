// The print stream records: the fixed header, the page records made from the job settings, the
// sub-band record, and the order in which a job sends them through the spool output.
#pragma once

#include <platform/windows.h>

#include "band_coder.h"
#include "kgl_format.h"
#include "spool.h"

#include <array>
#include <bit>
#include <cstddef>
#include <span>

namespace render
{

// A little-endian 16-bit field, written byte by byte.
struct Le16
{
    BYTE lo = 0;
    BYTE hi = 0;

    constexpr Le16() = default;
    constexpr Le16(WORD v) : lo(static_cast<BYTE>(v)), hi(static_cast<BYTE>(v >> 8)) {}
};
static_assert(sizeof(Le16) == 2 && alignof(Le16) == 1);

using KglType = kgl::RecordType;

inline constexpr std::array<BYTE, 8> kKglEscapePrefix = kgl::kEscapePrefix;

struct KglRecordHeader
{
    std::array<BYTE, 8> escape = kKglEscapePrefix;
    KglType type{};
    BYTE terminator = 0;
};
static_assert(sizeof(KglRecordHeader) == kgl::kRecordHeaderSize);
static_assert(offsetof(KglRecordHeader, type) == kgl::kRecordTypeOffset &&
              offsetof(KglRecordHeader, terminator) == 9);

struct KglPageOptions
{
    BYTE optionA = 0;
    BYTE optionB = 0;
    Le16 reserved2;
    BYTE reserved4 = 0;
};
static_assert(sizeof(KglPageOptions) == kgl::kPageOptionsSize);
static_assert(offsetof(KglPageOptions, optionB) == 1 && offsetof(KglPageOptions, reserved2) == 2 &&
              offsetof(KglPageOptions, reserved4) == 4);

struct KglPageLayout
{
    BYTE duplex = 0;
    BYTE orientation = 0;
    BYTE reserved2 = 0;
    BYTE marker = 0x11;
    Le16 extent1;
    Le16 extent2;
    Le16 rightMargin;
    Le16 bottomMargin;
    std::array<BYTE, 14> reserved12{};
};
static_assert(sizeof(KglPageLayout) == kgl::kPageLayoutSize);
static_assert(offsetof(KglPageLayout, marker) == 3 && offsetof(KglPageLayout, extent1) == 4 &&
              offsetof(KglPageLayout, extent2) == 6 && offsetof(KglPageLayout, rightMargin) == 8 &&
              offsetof(KglPageLayout, bottomMargin) == 10 && offsetof(KglPageLayout, reserved12) == 12);

struct KglPageExtra
{
    Le16 reserved0;
};
static_assert(sizeof(KglPageExtra) == kgl::kPageExtraSize);

struct KglPageHeader
{
    Le16 reserved0;
    Le16 copies;
    Le16 resolutionCode;
    Le16 paperSource;
    Le16 paperCode;
    Le16 bytesPerLine;
    Le16 reserved12;
    Le16 leftMargin;
    Le16 topMargin;
    Le16 reserved18;
    Le16 sets;
    Le16 reserved22;
    Le16 scale = 100;
};
static_assert(sizeof(KglPageHeader) == kgl::kPageHeaderSize);
static_assert(offsetof(KglPageHeader, copies) == 2 && offsetof(KglPageHeader, resolutionCode) == 4 &&
              offsetof(KglPageHeader, paperSource) == 6 && offsetof(KglPageHeader, paperCode) == 8 &&
              offsetof(KglPageHeader, bytesPerLine) == 10 && offsetof(KglPageHeader, leftMargin) == 14 &&
              offsetof(KglPageHeader, topMargin) == 16 && offsetof(KglPageHeader, sets) == 20 &&
              offsetof(KglPageHeader, scale) == 24);

inline constexpr WORD kSubBandEncodingCoded = kgl::kEncodingCoded;

struct KglSubBandHeader
{
    Le16 blockLength;
    Le16 firstLine;
    Le16 lineCount;
    Le16 encoding = kSubBandEncodingCoded;
    Le16 reserved8;
};
static_assert(sizeof(KglSubBandHeader) == kgl::kSubBandHeaderSize);
static_assert(offsetof(KglSubBandHeader, firstLine) == 2 && offsetof(KglSubBandHeader, lineCount) == 4 &&
              offsetof(KglSubBandHeader, encoding) == 6);

inline constexpr std::array<BYTE, kgl::kSubBandTrailerSize> g_SubBandNull10{};

template <class Record> std::array<BYTE, sizeof(Record)> RecordBytes(const Record& r)
{
    return std::bit_cast<std::array<BYTE, sizeof(Record)>>(r);
}

// The job settings the page records are made from, under their settings names.
struct PageSettings
{
    LONG paperSource = 5;
    LONG paperOverride = 0;
    LONG zoom = 100;
    LONG paperId = 9;
    LONG outputSize = 0;
    LONG rotate = 0;
    LONG orientation = 1;
    LONG paperFeed = 1;
    LONG sets = 1;
    LONG userPaperFlag = 0;
    LONG resolutionType = 0;
    LONG duplex = 0;
    LONG binding = 0;
    LONG booklet = 0;
    LONG finishing1 = 0;
    LONG finishing2 = 0;
    LONG finishing3 = 0;
    LONG finishing4 = 0;
    LONG finishing5 = 0;
    DWORD capabilityFlags = 0;
};

inline constexpr DWORD kCapabilityOptionA = 0x1;
inline constexpr DWORD kCapabilityOptionB1 = 0x2;
inline constexpr DWORD kCapabilityOptionB2 = 0x4;
inline constexpr DWORD kCapabilityDuplex = 0x10000;

struct PageMargins
{
    LONG left = 0;
    LONG top = 0;
    LONG right = 0;
    LONG bottom = 0;

    friend bool operator==(const PageMargins&, const PageMargins&) = default;
};

// What the settings tables give for those settings.
struct PageTableValues
{
    LONG paperWidth = 0;  // paper list size of paperId, 0.1 mm
    LONG paperHeight = 0; //
    PageMargins margins;  // printable margins for the paper, 0.01 mm
    LONG xDpi = 0;        // resolution row resolutionIndex
    LONG yDpi = 0;
};

// What the PDEV holds for the page.
struct PageDeviceValues
{
    LONG copies = 1;         // from the settings or the copy-count escape
    LONG printableWidth = 0; // printable width of the page image in pixels
};

BYTE KglOptionByteA(const PageSettings& s);
BYTE KglOptionByteB(const PageSettings& s);
WORD KglPaperCode(const PageSettings& s);
WORD KglResolutionCode(LONG xDpi, LONG yDpi, LONG resolutionType);
BYTE KglRotationCode(const PageSettings& s);
BYTE KglDuplexByte(const PageSettings& s, DWORD duplexPageCount);
std::array<WORD, 2> KglPaperExtents(const PageSettings& s, const PageTableValues& t);
PageMargins KglPixelMargins(const PageSettings& s, const PageTableValues& t);
WORD KglBytesPerLine(LONG printableWidth, LONG resolutionType);

KglPageOptions MakePageOptions(const PageSettings& s);
KglPageLayout MakePageLayout(const PageSettings& s, const PageTableValues& t, DWORD duplexPageCount);
KglPageHeader MakePageHeader(const PageSettings& s, const PageTableValues& t, const PageDeviceValues& d);

// Header, then payload, as two writes.
BOOL WriteKglRecord(SpoolState& spool, KglType type, std::span<const BYTE> payload = {});

// The eight page-setup words of a page format that decide whether a reset starts a new job.
using PageSetupWords = std::array<LONG, 8>;

// The job's place in the stream, one per PDEV.
struct KglJobState
{
    DWORD jobPageCount = 0;  // pages started in the job; a replacing PDEV takes it over
    DWORD pdevPageCount = 0; // pages started since the document started on this PDEV
    bool jobRecordSent = false;
    bool jobStartDropped = false; // the job start went nowhere (refused job)
    bool pageOpen = false;
    bool resend = false;
    DWORD duplexPageCount = 0;
    DWORD nextLine = 0; // first line of the next sub-band of the open page
};

// Lines of one page: the sub-band header numbers them in 16 bits.
inline constexpr LONG kMaxPageLines = 0xFFFF;

BOOL _UdgSendStartDoc(SpoolState& spool, KglJobState& job);
BOOL _UdgSendStartPage(SpoolState& spool, KglJobState& job, const PageSettings& s, const PageTableValues& t,
                       const PageDeviceValues& d);
// Codes `lines` (whole lines of the 1-bit page image) into `codeBuffer` and sends the sub-band.
BOOL VelmoSendSubBandData(SpoolState& spool, KglJobState& job, BandCoder& coder, std::span<const BYTE> lines,
                          WORD lineCount, std::span<BYTE> codeBuffer);
BOOL _UdgSendEndPage(SpoolState& spool, KglJobState& job);
BOOL _UdgSendEndDoc(SpoolState& spool, KglJobState& job);
// The old PDEV's part of a reset between pages: whether the replacing PDEV starts a new job.
void _UdgSendResetDoc(const KglJobState& oldJob, KglJobState& newJob, const PageSetupWords& oldWords,
                      const PageSetupWords& newWords);

// The record order of a job over the spool output, with its flush points. Each call reports
// failure once the spool output has stopped, so the job is abandoned rather than rendered on.
class KglJobWriter
{
public:
    KglJobWriter(SpoolState& spool, KglJobState& job) : m_spool(spool), m_job(job) {}

    BOOL StartDoc();
    BOOL StartPage(const PageSettings& s, const PageTableValues& t, const PageDeviceValues& d);
    BOOL SendSubBand(BandCoder& coder, std::span<const BYTE> lines, WORD lineCount,
                     std::span<BYTE> codeBuffer);
    BOOL EndPage();
    BOOL EndDoc();
    // Replaces this PDEV by one whose job state is `next`; both share the spool output.
    BOOL Reset(KglJobState& next, const PageSetupWords& oldWords, const PageSetupWords& newWords);

private:
    BOOL Succeeded() const;

    SpoolState& m_spool;
    KglJobState& m_job;
};

} // namespace render
