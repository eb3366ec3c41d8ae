#include <gtest/gtest.h>

#include <testing/stream_decoder.h>

#include "print_job.h"

#include <unistd.h>

#include <algorithm>
#include <filesystem>
#include <fstream>
#include <iterator>

using namespace streamtest;

TEST(PrintJob, TestPagePrintsAsAWholeJob)
{
    demo::JobOptions o;
    o.model = "KORIGRAPH DX-1300";
    o.paper = "a5";
    o.pages = 2;
    const demo::JobResult r = demo::RunJob(o);
    ASSERT_TRUE(r.error.empty()) << r.error;
    EXPECT_EQ(r.dpi, 300);
    std::string error;
    const auto records = ReadStream(r.stream, error);
    ASSERT_TRUE(records) << error;
    const std::string types = Types(*records);
    EXPECT_EQ(types.substr(0, 5), ",&( !");
    EXPECT_EQ(std::count(types.begin(), types.end(), ','), 1); // one job of two pages
    EXPECT_EQ(std::count(types.begin(), types.end(), '#'), 2);
    EXPECT_EQ(types.back(), '\'');
    const auto pages = Pages(*records, error);
    ASSERT_TRUE(pages) << error;
    ASSERT_EQ(pages->size(), 2u);
    EXPECT_EQ((*pages)[0].lines.size(), static_cast<size_t>(r.drawn.cy));
    EXPECT_EQ((*pages)[0].lines, (*pages)[1].lines);
    size_t dots = 0;
    for (const auto& line : (*pages)[0].lines)
        for (auto b : line)
            dots += static_cast<size_t>(__builtin_popcount(b));
    const size_t all = (*pages)[0].lines.size() * (*pages)[0].bytesPerLine * 8;
    EXPECT_GT(dots, all / 20); // text, rules, boxes, gray and a picture
    EXPECT_LT(dots, all / 2);
}

TEST(PrintJob, UnknownChoicesAreNamed)
{
    demo::JobOptions o;
    o.model = "NO SUCH MODEL";
    EXPECT_NE(demo::RunJob(o).error.find("unknown model"), std::string::npos);
    o = {};
    o.paper = "A3"; // not on an A4 model's list
    EXPECT_NE(demo::RunJob(o).error.find("no paper"), std::string::npos);
    o = {};
    o.dpi = 400;
    EXPECT_NE(demo::RunJob(o).error.find("600 dpi only"), std::string::npos);
}

namespace
{
std::string ReadAll(const std::filesystem::path& path)
{
    std::ifstream in(path, std::ios::binary);
    return std::string(std::istreambuf_iterator<char>(in), std::istreambuf_iterator<char>());
}

std::uint32_t U32(const std::string& s, size_t at)
{
    return static_cast<std::uint8_t>(s[at]) | static_cast<std::uint8_t>(s[at + 1]) << 8 |
           static_cast<std::uint8_t>(s[at + 2]) << 16 |
           static_cast<std::uint32_t>(static_cast<std::uint8_t>(s[at + 3])) << 24;
}

class ScratchFolder
{
public:
    ScratchFolder()
        : m_path(std::filesystem::temp_directory_path() /
                 ("velmo-demo-" + std::to_string(::getpid()) + "-" +
                  ::testing::UnitTest::GetInstance()->current_test_info()->name()))
    {
        std::filesystem::remove_all(m_path);
    }
    ~ScratchFolder() { std::filesystem::remove_all(m_path); }
    const std::filesystem::path& Path() const { return m_path; }

private:
    std::filesystem::path m_path;
};
} // namespace

TEST(PrintJob, SavedJobHasTheBitmapOfEverySheetAsPrinted)
{
    demo::JobOptions o;
    o.model = "KORIGRAPH DX-1300";
    o.paper = "A5";
    o.pages = 2;
    o.halftone = demo::Halftone::DitherA;
    const demo::JobResult r = demo::RunJob(o);
    ASSERT_TRUE(r.error.empty()) << r.error;
    ScratchFolder folder;
    const demo::SavedJob saved = demo::SaveJob(r.stream, folder.Path(), "job");
    ASSERT_TRUE(saved.error.empty()) << saved.error;
    EXPECT_EQ(saved.printFile, folder.Path() / "job.kgl");
    EXPECT_EQ(ReadAll(saved.printFile), r.stream);

    std::string error;
    const auto records = ReadStream(r.stream, error);
    ASSERT_TRUE(records) << error;
    const auto pages = Pages(*records, error);
    ASSERT_TRUE(pages) << error;
    std::vector<std::pair<std::uint16_t, std::uint16_t>> offsets; // left and top, as the page headers say
    for (const auto& rec : *records)
        if (rec.type == '!')
            offsets.emplace_back(Le16At(rec.payload, 14), Le16At(rec.payload, 16));
    ASSERT_EQ(saved.bitmaps.size(), 2u);
    ASSERT_EQ(offsets.size(), 2u);

    // A5 at 300 dpi: 148 x 210 mm.
    const std::uint32_t width = 1480 * 300 / 254, height = 2100 * 300 / 254;
    const size_t rowBytes = ((width + 31) >> 3) & ~3u;
    for (size_t p = 0; p < saved.bitmaps.size(); ++p)
    {
        SCOPED_TRACE(p);
        EXPECT_EQ(saved.bitmaps[p], folder.Path() / ("job-page" + std::to_string(p + 1) + ".bmp"));
        const std::string bmp = ReadAll(saved.bitmaps[p]);
        ASSERT_EQ(bmp.size(), 62 + rowBytes * height);
        EXPECT_EQ(bmp.substr(0, 2), "BM");
        EXPECT_EQ(U32(bmp, 18), width);
        EXPECT_EQ(U32(bmp, 22), height);
        EXPECT_EQ(U32(bmp, 26), 1u | 1u << 16);
        const auto [left, top] = offsets[p];
        const PageImageBits& page = (*pages)[p];
        size_t mismatches = 0, dots = 0;
        for (std::uint32_t y = 0; y < height; ++y)
        {
            const char* row = bmp.data() + 62 + (height - 1 - y) * rowBytes; // bottom row first
            for (std::uint32_t x = 0; x < width; ++x)
            {
                const bool black = (static_cast<std::uint8_t>(row[x / 8]) >> (7 - x % 8)) & 1;
                const bool printed = x >= left && y >= top && page.Dot(x - left, y - top);
                mismatches += black != printed;
                dots += printed;
            }
        }
        EXPECT_EQ(mismatches, 0u);
        EXPECT_GT(dots, size_t{width} * height / 20);
    }
}

TEST(PrintJob, AJobThatCannotBeSavedOrReadBackSaysSo)
{
    ScratchFolder folder;
    EXPECT_EQ(demo::RenderPages("").error, "the print file is empty");
    EXPECT_EQ(demo::RenderPages(std::string(100, 'x')).error, "the print file holds no page");

    // The folder is a file: nothing can be written under it.
    std::filesystem::create_directories(folder.Path());
    std::ofstream(folder.Path() / "taken") << "x";
    demo::JobOptions o;
    o.model = "KORIGRAPH DX-1300";
    o.paper = "Postcard";
    o.halftone = demo::Halftone::LineArt;
    const demo::JobResult r = demo::RunJob(o);
    ASSERT_TRUE(r.error.empty()) << r.error;
    const demo::SavedJob saved = demo::SaveJob(r.stream, folder.Path() / "taken", "job");
    EXPECT_NE(saved.error.find("cannot write"), std::string::npos) << saved.error;
    EXPECT_TRUE(saved.bitmaps.empty());
}
