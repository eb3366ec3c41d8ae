#include <gtest/gtest.h>

#include "kgl_records.h"

#include <algorithm>
#include <string>
#include <functional>
#include <vector>

namespace
{

using namespace render;
using Bytes = std::vector<BYTE>;

Bytes Le(std::initializer_list<WORD> words)
{
    Bytes b;
    for (WORD w : words)
    {
        b.push_back(static_cast<BYTE>(w));
        b.push_back(static_cast<BYTE>(w >> 8));
    }
    return b;
}

template <class R> Bytes ToVector(const R& record)
{
    const auto a = RecordBytes(record);
    return Bytes(a.begin(), a.end());
}

// A4 at 600 dpi with the margins the tables give for it.
PageTableValues A4At600()
{
    PageTableValues t;
    t.paperWidth = 2100;
    t.paperHeight = 2970;
    t.margins = {272, 500, 272, 210};
    t.xDpi = 600;
    t.yDpi = 600;
    return t;
}

TEST(KglRecords, PageRecordsOfAnA4PageAt600DpiAreExact)
{
    const PageSettings s;
    const PageDeviceValues d{1, 4832};
    EXPECT_EQ(ToVector(MakePageOptions(s)), (Bytes{0, 0, 0, 0, 0}));
    Bytes layout{0x00, 0x02, 0x00, 0x11};
    for (BYTE b : Le({2100, 2970, 64, 49}))
        layout.push_back(b);
    layout.resize(26, 0);
    EXPECT_EQ(ToVector(MakePageLayout(s, A4At600(), 0)), layout);
    EXPECT_EQ(ToVector(KglPageExtra{}), (Bytes{0, 0}));
    EXPECT_EQ(ToVector(MakePageHeader(s, A4At600(), d)),
              Le({0, 1, 0x66, 5, 3, 604, 0, 64, 118, 0, 1, 0, 100}));
}

struct PaperCodeCase
{
    const char* name;
    LONG paperId, outputSize, paperFeed, userPaperFlag, paperOverride;
    WORD code;
};

TEST(KglRecords, PaperCodesFollowTheFeedAndFallBackToTheDefault)
{
    const PaperCodeCase cases[] = {
        {"A4 lengthwise", 9, 0, 1, 0, 0, 3},
        {"A4 fed with paperFeed 2", 9, 0, 2, 0, 0, 6},
        {"A3 fed with paperFeed 2 has no code", 8, 0, 2, 0, 0, 0},
        {"... nor with user papers", 8, 0, 2, 1, 0, 16},
        {"custom paper", 256, 0, 1, 0, 0, 0},
        {"custom paper with user papers", 256, 0, 1, 1, 0, 16},
        {"the output size wins over the paper", 9, 258, 1, 0, 0, 19},
        {"letter fed with paperFeed 2", 258, 0, 2, 0, 0, 22},
        {"statement lengthwise", 6, 0, 1, 0, 0, 20},
        {"postcard either way", 257, 0, 2, 0, 0, 14},
        {"legal with paperFeed 2 has no code", 5, 0, 2, 0, 0, 0},
        {"an override skips the lookup", 9, 0, 1, 1, 1, 16},
    };
    for (const auto& c : cases)
    {
        SCOPED_TRACE(c.name);
        PageSettings s;
        s.paperId = c.paperId;
        s.outputSize = c.outputSize;
        s.paperFeed = c.paperFeed;
        s.userPaperFlag = c.userPaperFlag;
        s.paperOverride = c.paperOverride;
        EXPECT_EQ(KglPaperCode(s), c.code);
    }
}

TEST(KglRecords, ResolutionCodesComeFromTheListNotFromArithmetic)
{
    struct Case
    {
        LONG x, y, type;
        WORD code;
    };
    const Case cases[] = {
        {300, 300, 0, 0x33}, {360, 360, 3, 0x33}, {400, 400, 0, 0x44}, {600, 600, 0, 0x66},
        {600, 600, 2, 0x66}, {600, 600, 1, 0x36}, {600, 600, 3, 0x36}, {800, 800, 1, 0x48},
        {600, 300, 0, 0},    {1200, 1200, 0, 0},  {-1, -1, 0, 0},
    };
    for (const auto& c : cases)
        EXPECT_EQ(KglResolutionCode(c.x, c.y, c.type), c.code) << c.x << "x" << c.y << " type " << c.type;
}

TEST(KglRecords, BytesPerLineRoundUpToWholeWordsOfTheHeadWidth)
{
    EXPECT_EQ(KglBytesPerLine(4960, 0), 620);
    EXPECT_EQ(KglBytesPerLine(4961, 0), 624);
    EXPECT_EQ(KglBytesPerLine(4960, 1), 312); // 2480 head pixels
    EXPECT_EQ(KglBytesPerLine(4960, 3), 520); // 4133 head pixels
}

TEST(KglRecords, OptionBytesAreGatedByTheModelCapabilities)
{
    struct Case
    {
        DWORD caps;
        LONG f1, f2, f3, f4, f5;
        BYTE a, b;
    };
    const Case cases[] = {
        {0x0, 0, 0, 4, 1, 1, 0x00, 0x00}, {0x1, 0, 0, 4, 0, 0, 0x83, 0x00}, {0x1, 1, 0, 4, 0, 0, 0x82, 0x00},
        {0x1, 0, 0, 5, 0, 0, 0x83, 0x00}, {0x1, 1, 0, 5, 0, 0, 0x82, 0x00}, {0x1, 1, 1, 5, 0, 0, 0x80, 0x00},
        {0x1, 0, 0, 3, 0, 0, 0x00, 0x00}, {0x2, 0, 0, 0, 3, 1, 0x00, 0x03}, {0x4, 0, 0, 0, 3, 2, 0x00, 0x08},
        {0x7, 1, 1, 5, 1, 1, 0x80, 0x05},
    };
    for (const auto& c : cases)
    {
        PageSettings s;
        s.capabilityFlags = c.caps;
        s.finishing1 = c.f1;
        s.finishing2 = c.f2;
        s.finishing3 = c.f3;
        s.finishing4 = c.f4;
        s.finishing5 = c.f5;
        const auto bytes = ToVector(MakePageOptions(s));
        EXPECT_EQ(bytes, (Bytes{c.a, c.b, 0, 0, 0})) << "caps " << c.caps << " finishing3 " << c.f3;
    }
}

struct TurnCase
{
    LONG paperFeed, rotate, orientation;
    PageMargins pixels; // left, top, right, bottom
    BYTE orientationByte;
};

TEST(KglRecords, MarginsAndRotationCodeTurnWithTheFeedAndRotation)
{
    // At 254 dpi a pixel is 0.1 mm: the margins 10, 20, 30, 40 mm read back as 100 .. 400.
    const TurnCase cases[] = {
        {1, 0, 1, {100, 200, 300, 400}, 0x02}, {1, 0, 2, {100, 200, 300, 400}, 0x08},
        {1, 1, 1, {300, 400, 100, 200}, 0x16}, {1, 1, 2, {300, 400, 100, 200}, 0x14},
        {2, 0, 1, {200, 300, 400, 100}, 0x09}, {2, 0, 2, {400, 100, 200, 300}, 0x03},
        {2, 1, 1, {400, 100, 200, 300}, 0x15}, {2, 1, 2, {200, 300, 400, 100}, 0x17},
    };
    for (const auto& c : cases)
    {
        SCOPED_TRACE("paperFeed " + std::to_string(c.paperFeed) + ", rotate " + std::to_string(c.rotate) +
                     ", orientation " + std::to_string(c.orientation));
        PageSettings s;
        s.paperFeed = c.paperFeed;
        s.rotate = c.rotate;
        s.orientation = c.orientation;
        PageTableValues t = A4At600();
        t.margins = {1000, 2000, 3000, 4000};
        t.xDpi = t.yDpi = 254;
        EXPECT_EQ(KglPixelMargins(s, t), c.pixels);
        const KglPageLayout layout = MakePageLayout(s, t, 0);
        EXPECT_EQ(layout.orientation, c.orientationByte);
        const auto bytes = ToVector(layout);
        EXPECT_EQ(Bytes(bytes.begin() + 8, bytes.begin() + 12),
                  Le({static_cast<WORD>(c.pixels.right), static_cast<WORD>(c.pixels.bottom)}));
        const auto header = ToVector(MakePageHeader(s, t, {1, 4832}));
        EXPECT_EQ(Bytes(header.begin() + 14, header.begin() + 18),
                  Le({static_cast<WORD>(c.pixels.left), static_cast<WORD>(c.pixels.top)}));
    }
}

TEST(KglRecords, ZoomScalesExtentsTruncatingAndMarginsRounding)
{
    PageSettings s;
    s.zoom = 50;
    PageTableValues t = A4At600();
    t.margins = {273, 501, 272, 210};
    EXPECT_EQ(KglPaperExtents(s, t), (std::array<WORD, 2>{1050, 1485}));
    // 137, 251, 136, 105 hundredths of a millimetre at 600 dpi.
    EXPECT_EQ(KglPixelMargins(s, t), (PageMargins{32, 59, 32, 24}));
    s.paperFeed = 2;
    EXPECT_EQ(KglPaperExtents(s, t), (std::array<WORD, 2>{1485, 1050}));

    // Inch papers go out in hundredths of an inch, after the zoom.
    PageSettings letter;
    letter.paperId = 258;
    const PageTableValues lt{2159, 2794, {}, 600, 600};
    EXPECT_EQ(KglPaperExtents(letter, lt), (std::array<WORD, 2>{850, 1100}));
    letter.zoom = 137;
    EXPECT_EQ(KglPaperExtents(letter, lt), (std::array<WORD, 2>{1164, 1507}));
}

TEST(KglRecords, HeadResolutionTypesNarrowTheHorizontalMargins)
{
    PageSettings s;
    PageTableValues t = A4At600();
    t.margins = {1000, 1000, 1000, 1000};
    s.resolutionType = 1;
    EXPECT_EQ(KglPixelMargins(s, t), (PageMargins{118, 236, 118, 236}));
    s.resolutionType = 3;
    EXPECT_EQ(KglPixelMargins(s, t), (PageMargins{196, 236, 196, 236}));
}

// --- job sequences -----------------------------------------------------------------------------

struct Record
{
    KglType type;
    Bytes payload; // a sub-band: band header, code block and trailer
};

const std::size_t kPayloadSize[] = {2, 26, 0, 0, 0, 0, 5, 0, 26, 0, 0, 0, 0}; // by type - 0x20

// Splits a stream the way the reader does, checking every header and sub-band trailer.
std::vector<Record> Parse(const Bytes& stream)
{
    std::vector<Record> records;
    std::size_t pos = 0;
    while (pos < stream.size())
    {
        EXPECT_GE(stream.size() - pos, 10u);
        if (stream.size() - pos < 10)
            break;
        EXPECT_TRUE(std::equal(kKglEscapePrefix.begin(), kKglEscapePrefix.end(), stream.begin() + pos));
        EXPECT_EQ(stream[pos + 9], 0);
        const BYTE type = stream[pos + 8];
        pos += 10;
        std::size_t size = 0;
        if (type == 0x22)
            size = 10 + (stream[pos] | (stream[pos + 1] << 8)) + 10;
        else if (type >= 0x20 && type <= 0x2C)
            size = kPayloadSize[type - 0x20];
        else
            ADD_FAILURE() << "unknown record type " << int(type);
        EXPECT_LE(pos + size, stream.size());
        if (pos + size > stream.size())
            break;
        records.push_back(
            {static_cast<KglType>(type), Bytes(stream.begin() + pos, stream.begin() + pos + size)});
        if (type == 0x22)
        {
            EXPECT_EQ(Bytes(records.back().payload.end() - 10, records.back().payload.end()), Bytes(10, 0));
        }
        pos += size;
    }
    return records;
}

std::vector<KglType> Types(const std::vector<Record>& records)
{
    std::vector<KglType> types;
    for (const auto& r : records)
        types.push_back(r.type);
    return types;
}

struct Job
{
    Bytes buffer = Bytes(kSpoolBufferSize);
    Bytes stream;
    int failFromCall = -1;
    int calls = 0;
    std::function<BOOL(const BYTE*, DWORD, DWORD*)> write = [this](const BYTE* data, DWORD size,
                                                                   DWORD* written) -> BOOL {
        if (failFromCall >= 0 && calls++ >= failFromCall)
            return FALSE;
        stream.insert(stream.end(), data, data + size);
        *written = size;
        return TRUE;
    };
    SpoolState spool{buffer, render::SpoolWriterOf(write)};
    KglJobState first;
    StringTableMemory table;
    BandCoder coder{table.Table()};
    Bytes code = Bytes(MaxBlockSize(0xFFFF));

    BOOL Page(KglJobState& state, const PageSettings& s, WORD lines = 2)
    {
        KglJobWriter w(spool, state);
        const Bytes blank(static_cast<std::size_t>(lines) * 604, 0);
        return w.StartPage(s, A4At600(), {1, 4832}) && w.SendSubBand(coder, blank, lines, code) &&
               w.EndPage();
    }
};

const std::vector<KglType> kPageRecords = {KglType::PageOptions, KglType::PageLayout, KglType::PageExtra,
                                           KglType::PageHeader};

TEST(KglJob, OneBlankPageGivesTheFullRecordSequence)
{
    Job job;
    KglJobWriter w(job.spool, job.first);
    ASSERT_TRUE(w.StartDoc());
    ASSERT_TRUE(w.StartPage(PageSettings{}, A4At600(), {1, 4832}));
    const Bytes blank(60 * 604, 0);
    ASSERT_TRUE(w.SendSubBand(job.coder, std::span(blank).first(54 * 604), 54, job.code));
    ASSERT_TRUE(w.SendSubBand(job.coder, std::span(blank).subspan(54 * 604), 6, job.code));
    EXPECT_TRUE(job.stream.empty()) << "nothing leaves before the page ends";
    ASSERT_TRUE(w.EndPage());
    ASSERT_TRUE(w.EndDoc());

    const auto records = Parse(job.stream);
    std::vector<KglType> expected = {KglType::JobStart};
    expected.insert(expected.end(), kPageRecords.begin(), kPageRecords.end());
    expected.insert(expected.end(), {KglType::SubBand, KglType::SubBand, KglType::PageEnd, KglType::JobEnd});
    ASSERT_EQ(Types(records), expected);
    EXPECT_EQ(records[4].payload, ToVector(MakePageHeader(PageSettings{}, A4At600(), {1, 4832})));

    StringTableMemory table;
    BandCoder reference{table.Table()};
    const WORD bands[][2] = {{0, 54}, {54, 6}};
    for (int i = 0; i < 2; ++i)
    {
        const Bytes& p = records[5 + i].payload;
        const Bytes lines(bands[i][1] * 604u, 0);
        Bytes block(MaxBlockSize(lines.size()));
        block.resize(*reference.Compress(lines, block));
        EXPECT_EQ(Bytes(p.begin(), p.begin() + 10),
                  Le({static_cast<WORD>(block.size()), bands[i][0], bands[i][1], 2, 0}));
        EXPECT_EQ(Bytes(p.begin() + 10, p.end() - 10), block);
    }
}

TEST(KglJob, DuplexBytesAlternateOverThePagesOfAJob)
{
    struct Case
    {
        const char* name;
        LONG binding, booklet, paperFeed;
        DWORD caps;
        Bytes bytes;
    };
    const Case cases[] = {
        {"plain", 0, 0, 1, kCapabilityDuplex, {0x01, 0x05, 0x01, 0x05}},
        {"binding", 1, 0, 2, kCapabilityDuplex, {0x09, 0x0D, 0x09, 0x0D}},
        {"booklet", 0, 1, 2, kCapabilityDuplex, {0x03, 0x03, 0x03}},
        {"booklet fed lengthwise", 1, 1, 1, kCapabilityDuplex, {0x0B, 0x0B}},
        {"a model without duplex", 0, 0, 1, 0, {0x00, 0x00}},
    };
    for (const auto& c : cases)
    {
        SCOPED_TRACE(c.name);
        Job job;
        PageSettings s;
        s.duplex = 1;
        s.binding = c.binding;
        s.booklet = c.booklet;
        s.paperFeed = c.paperFeed;
        s.capabilityFlags = c.caps;
        for (std::size_t i = 0; i < c.bytes.size(); ++i)
            ASSERT_TRUE(job.Page(job.first, s));
        Bytes got;
        for (const auto& r : Parse(job.stream))
            if (r.type == KglType::PageLayout)
                got.push_back(r.payload[0]);
        EXPECT_EQ(got, c.bytes);
    }
}

TEST(KglJob, AResetThatTurnsThePageKeepsTheJobAndItsDuplexCount)
{
    struct Case
    {
        const char* name;
        PageSetupWords next;
        bool newJob;
        BYTE secondDuplexByte;
    };
    const PageSetupWords before{4960, 7016, 10, 20, 4832, 6848, 64, 118};
    const Case cases[] = {
        {"same format", before, false, 0x05},
        {"turned by 90 degrees", {7016, 4960, 20, 10, 6848, 4832, 118, 64}, false, 0x05},
        {"other paper", {4960, 7016, 10, 20, 4832, 6848, 64, 119}, true, 0x01},
    };
    for (const auto& c : cases)
    {
        SCOPED_TRACE(c.name);
        Job job;
        PageSettings s;
        s.duplex = 1;
        s.capabilityFlags = kCapabilityDuplex;
        ASSERT_TRUE(job.Page(job.first, s));
        KglJobState second;
        ASSERT_TRUE(KglJobWriter(job.spool, job.first).Reset(second, before, c.next));
        ASSERT_TRUE(job.Page(second, s));
        ASSERT_TRUE(KglJobWriter(job.spool, second).EndDoc());

        const auto records = Parse(job.stream);
        std::vector<KglType> expected = {KglType::JobStart};
        for (int page = 0; page < 2; ++page)
        {
            if (page == 1 && c.newJob)
                expected.push_back(KglType::JobStart);
            expected.insert(expected.end(), kPageRecords.begin(), kPageRecords.end());
            expected.insert(expected.end(), {KglType::SubBand, KglType::PageEnd});
        }
        expected.push_back(KglType::JobEnd);
        ASSERT_EQ(Types(records), expected);
        EXPECT_EQ(records[records.size() - 6].payload[0], c.secondDuplexByte);
    }
}

// A PDEV replaced again before its first page passes the job on as it took it over: the resend it
// was told of, and the comparison with the page it replaces.
TEST(KglJob, TwoResetsWithoutAPageBetweenThemKeepTheJobDecision)
{
    struct Case
    {
        const char* name;
        PageSetupWords middle, last;
        int jobStarts;
        BYTE secondDuplexByte;
    };
    const PageSetupWords a4{2100, 2970, 10, 20, 4832, 6848, 64, 118};
    const PageSetupWords a3{2970, 4200, 10, 20, 6848, 9696, 64, 118};
    const Case cases[] = {
        {"same format throughout", a4, a4, 1, 0x05},
        {"other paper, then kept", a3, a3, 2, 0x01},
        {"same, then other paper", a4, a3, 2, 0x01},
    };
    for (const auto& c : cases)
    {
        SCOPED_TRACE(c.name);
        Job job;
        PageSettings s;
        s.duplex = 1;
        s.capabilityFlags = kCapabilityDuplex;
        ASSERT_TRUE(job.Page(job.first, s));
        KglJobState second;
        KglJobState third;
        ASSERT_TRUE(KglJobWriter(job.spool, job.first).Reset(second, a4, c.middle));
        ASSERT_TRUE(KglJobWriter(job.spool, second).Reset(third, c.middle, c.last));
        ASSERT_TRUE(job.Page(third, s));
        ASSERT_TRUE(KglJobWriter(job.spool, third).EndDoc());

        const auto records = Parse(job.stream);
        int jobStarts = 0;
        Bytes duplexBytes;
        for (const auto& r : records)
        {
            jobStarts += r.type == KglType::JobStart;
            if (r.type == KglType::PageLayout)
                duplexBytes.push_back(r.payload[0]);
        }
        EXPECT_EQ(jobStarts, c.jobStarts);
        EXPECT_EQ(duplexBytes, (Bytes{0x01, c.secondDuplexByte}));
        EXPECT_EQ(Types(records).back(), KglType::JobEnd);
    }
}

TEST(KglJob, AResetWhileAPageIsOpenClosesItAndTheOldPdevWritesNoJobEnd)
{
    Job job;
    KglJobWriter w(job.spool, job.first);
    ASSERT_TRUE(w.StartPage(PageSettings{}, A4At600(), {1, 4832}));
    KglJobState second;
    const PageSetupWords words{1, 2, 3, 4, 5, 6, 7, 8};
    ASSERT_TRUE(w.Reset(second, words, words));
    std::vector<KglType> expected = {KglType::JobStart};
    expected.insert(expected.end(), kPageRecords.begin(), kPageRecords.end());
    expected.push_back(KglType::PageEnd);
    EXPECT_EQ(Types(Parse(job.stream)), expected);
    EXPECT_EQ(second.jobPageCount, 1u);
}

// The PDEV in force at the end of the document closes the job that an earlier PDEV started, even when
// no page went out through it; a refused job stays silent to the end.
TEST(KglJob, AJobEndsAfterAResetThatNoPageFollowed)
{
    for (const bool refused : {false, true})
    {
        SCOPED_TRACE(refused ? "refused" : "printed");
        Job job;
        job.spool.duplexRefused = refused;
        ASSERT_TRUE(job.Page(job.first, PageSettings{}));
        KglJobState second;
        const PageSetupWords words{1, 2, 3, 4, 5, 6, 7, 8};
        ASSERT_TRUE(KglJobWriter(job.spool, job.first).Reset(second, words, words));
        ASSERT_TRUE(KglJobWriter(job.spool, second).EndDoc());
        const auto types = Types(Parse(job.stream));
        if (refused)
        {
            EXPECT_TRUE(types.empty());
            continue;
        }
        ASSERT_FALSE(types.empty());
        EXPECT_EQ(types.front(), KglType::JobStart);
        EXPECT_EQ(types.back(), KglType::JobEnd);
        EXPECT_EQ(std::count(types.begin(), types.end(), KglType::JobEnd), 1);
    }
}

TEST(KglJob, AJobStartDroppedByARefusedPdevIsSentAgainAfterAReset)
{
    Job job;
    job.spool.duplexRefused = true;
    ASSERT_TRUE(job.Page(job.first, PageSettings{}));
    EXPECT_TRUE(job.stream.empty());
    KglJobState second;
    const PageSetupWords words{1, 2, 3, 4, 5, 6, 7, 8};
    ASSERT_TRUE(KglJobWriter(job.spool, job.first).Reset(second, words, words));
    job.spool.duplexRefused = false;
    ASSERT_TRUE(job.Page(second, PageSettings{}));
    const auto records = Parse(job.stream);
    ASSERT_FALSE(records.empty());
    EXPECT_EQ(records.front().type, KglType::JobStart);
}

TEST(KglJob, ADocumentWithoutPagesYieldsAnEmptyStream)
{
    Job job;
    KglJobWriter w(job.spool, job.first);
    EXPECT_TRUE(w.StartDoc());
    EXPECT_TRUE(w.EndDoc());
    EXPECT_TRUE(job.stream.empty());
}

TEST(KglJob, OnceTheSpoolerFailsEveryHookReportsFailure)
{
    Job job;
    job.failFromCall = 0;
    KglJobWriter w(job.spool, job.first);
    EXPECT_TRUE(w.StartPage(PageSettings{}, A4At600(), {1, 4832})); // only buffered so far
    EXPECT_FALSE(w.EndPage());
    EXPECT_FALSE(w.StartPage(PageSettings{}, A4At600(), {1, 4832}));
    EXPECT_FALSE(w.EndDoc());
    EXPECT_EQ(job.calls, 1);
    EXPECT_TRUE(job.stream.empty());
}

TEST(KglJob, ASubBandTheCoderCannotTakeStopsTheJob)
{
    Job job;
    KglJobWriter w(job.spool, job.first);
    ASSERT_TRUE(w.StartPage(PageSettings{}, A4At600(), {1, 4832}));
    const Bytes tooLong(0x10000, 0);
    EXPECT_FALSE(w.SendSubBand(job.coder, tooLong, 100, job.code));
    EXPECT_FALSE(w.EndPage());
}

TEST(KglJob, SubBandsPastTheLastLineNumberStopTheJob)
{
    // Lines 0 to 65,534 can be numbered; a sub-band reaching beyond would wrap to the page's top.
    for (WORD lines : {WORD{5}, WORD{6}})
    {
        SCOPED_TRACE(lines);
        Job job;
        KglJobWriter w(job.spool, job.first);
        ASSERT_TRUE(w.StartPage(PageSettings{}, A4At600(), {1, 4832}));
        job.first.nextLine = 0xFFFA;
        const Bytes blank(lines * 604u, 0);
        EXPECT_EQ(w.SendSubBand(job.coder, blank, lines, job.code), lines == 5);
        EXPECT_EQ(w.EndPage(), lines == 5);
    }
}

} // namespace
