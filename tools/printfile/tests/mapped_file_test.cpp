#include <gtest/gtest.h>

#include "kgl_fixture.h"
#include "page_render.h"
#include "print_scan.h"

#include <sim/machine.h>

namespace printfile
{
namespace
{
using namespace fixture;

std::string_view AsText(const Bytes& b)
{
    return {reinterpret_cast<const char*>(b.data()), b.size()};
}

Bytes OnePage(unsigned lines, BYTE fill)
{
    Stream s;
    s.Page(Bytes(lines * 4, fill), Header{}, 4);
    return s.bytes;
}

// Pages placed so that records straddle the given file offsets, zeros between them.
Bytes PagesAcross(std::initializer_list<size_t> straddle, size_t total)
{
    Bytes file = OnePage(3, 0x11);
    BYTE fill = 0x22;
    for (size_t at : straddle)
    {
        Bytes page = OnePage(5, fill++);
        file.resize(at - page.size() / 2, 0);
        file.insert(file.end(), page.begin(), page.end());
    }
    file.resize(total, 0);
    return file;
}

TEST(MappedFile, OpenRefusesWhatCannotBeMapped)
{
    sim::files().Put(u"C:\\empty.kgl");
    CMemoryMappedFile file;
    EXPECT_FALSE(file.Open(nullptr));
    EXPECT_FALSE(file.Open(u"C:\\missing.kgl"));
    EXPECT_FALSE(file.Open(u"C:\\empty.kgl"));
    EXPECT_EQ(file.GetFileSize(), 0u);
    const BYTE* p = nullptr;
    EXPECT_FALSE(file.MapView(&p, 0, 10));

    sim::files().Put(u"C:\\x.kgl", "abc");
    ASSERT_TRUE(file.Open(u"C:\\x.kgl"));
    EXPECT_FALSE(file.MapView(nullptr, 0, 1));
    EXPECT_FALSE(file.MapView(&p, 3, 1)) << "past the end of the file";
    ASSERT_TRUE(file.MapView(&p, 2, 1));
    EXPECT_EQ(*p, 'c');
}

TEST(MappedFile, AFileOf32MiBIsViewedWhole)
{
    Bytes bytes = PagesAcross({20u << 20}, CMemoryMappedFile::kWholeFileLimit);
    sim::files().Put(u"C:\\w.kgl", AsText(bytes));
    CMemoryMappedFile file;
    ASSERT_TRUE(file.Open(u"C:\\w.kgl"));
    const BYTE* p = nullptr;
    ASSERT_TRUE(file.MapView(&p, (20u << 20) + 5, 10));
    EXPECT_EQ(file.GetViewOffset(), 0u);
    EXPECT_EQ(file.GetViewSize(), CMemoryMappedFile::kWholeFileLimit);
    EXPECT_EQ(*p, bytes[(20u << 20) + 5]);
}

TEST(MappedFile, ALargerFileIsScannedThroughMovingViews)
{
    const size_t total = 40u << 20;
    Bytes bytes = PagesAcross({32u << 20, 33u << 20, (33u << 20) + 65536 * 3 + 100}, total);
    sim::files().Put(u"C:\\big.kgl", AsText(bytes));

    MemoryByteView memory(bytes);
    std::vector<CPrintTicket> expected;
    ASSERT_EQ(ScanPrintFile(expected, memory), 4);

    CMemoryMappedFile file;
    ASSERT_TRUE(file.Open(u"C:\\big.kgl"));
    std::vector<CPrintTicket> pages;
    ASSERT_EQ(ScanPrintFile(pages, file), 4);
    EXPECT_GT(file.GetViewOffset(), 0u) << "the view moved on";
    EXPECT_EQ(file.GetViewOffset() % 65536, 0u);
    for (size_t i = 0; i < pages.size(); ++i)
    {
        SCOPED_TRACE(i);
        EXPECT_EQ(pages[i].dataOffset, expected[i].dataOffset);
        EXPECT_EQ(pages[i].lineCount, expected[i].lineCount);
        MappedFileByteView mapped(file);
        std::vector<BandEntry> a, b;
        ASSERT_EQ(CollectBands(mapped, pages[i].dataOffset, a), RenderError::None);
        ASSERT_EQ(CollectBands(memory, pages[i].dataOffset, b), RenderError::None);
        ASSERT_EQ(a.size(), b.size());
        for (size_t k = 0; k < a.size(); ++k)
            EXPECT_EQ(a[k].data, b[k].data);
    }

    // A view asked for near the end reaches the end; one far from it covers what was asked.
    const BYTE* p = nullptr;
    ASSERT_TRUE(file.MapView(&p, static_cast<DWORD>(total - 100), 1u << 20));
    EXPECT_EQ(size_t{file.GetViewOffset()} + file.GetViewSize(), total);
    ASSERT_TRUE(file.MapView(&p, 100000, 1000));
    EXPECT_EQ(file.GetViewOffset(), 65536u);
    EXPECT_GE(file.GetViewSize(), 100000u - 65536u + 1000u);
    EXPECT_EQ(*p, bytes[100000]);
}

TEST(MappedFile, AFileThatShrankSinceItsScanGivesNoPage)
{
    CreateDirectoryW(u"C:\\out", nullptr);
    Bytes bytes = OnePage(3, 0x11);
    Bytes second = OnePage(5, 0x22);
    bytes.insert(bytes.end(), second.begin(), second.end());
    sim::files().Put(u"C:\\job.kgl", AsText(bytes));
    std::vector<CPrintTicket> pages;
    {
        CMemoryMappedFile file;
        ASSERT_TRUE(file.Open(u"C:\\job.kgl"));
        ASSERT_EQ(ScanPrintFile(pages, file), 2);
    }
    sim::files().Put(
        u"C:\\job.kgl",
        AsText(Bytes(bytes.begin(), bytes.begin() + static_cast<std::ptrdiff_t>(bytes.size() / 2))));
    CMemoryMappedFile file;
    ASSERT_TRUE(file.Open(u"C:\\job.kgl"));
    EXPECT_TRUE(RenderPageToBmp(file, pages[0], u"C:\\out\\p1.bmp").Written())
        << "the first page is still whole";
    const RenderResult r = RenderPageToBmp(file, pages[1], u"C:\\out\\p2.bmp");
    EXPECT_FALSE(r.Written());
    EXPECT_FALSE(sim::files().Exists(u"C:\\out\\p2.bmp"));
}

TEST(MappedFile, AFailedViewEndsTheScan)
{
    Bytes bytes = PagesAcross({34u << 20}, 36u << 20);
    sim::files().Put(u"C:\\big.kgl", AsText(bytes));
    CMemoryMappedFile file;
    ASSERT_TRUE(file.Open(u"C:\\big.kgl"));
    std::vector<CPrintTicket> pages(3);
    sim::faults().FailNext("MapViewOfFile", ERROR_NOT_ENOUGH_MEMORY);
    EXPECT_EQ(ScanPrintFile(pages, file), 0);
    EXPECT_EQ(pages.size(), 3u) << "the list stays when the file cannot be read at all";
    sim::faults().FailNext("MapViewOfFile", ERROR_NOT_ENOUGH_MEMORY, 1, 1);
    EXPECT_EQ(ScanPrintFile(pages, file), 0);
    EXPECT_TRUE(pages.empty()) << "a scan cut short lists nothing";
}
} // namespace
} // namespace printfile
