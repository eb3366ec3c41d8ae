#include <gtest/gtest.h>

#include "driver/render/tests/stream_decoder.h"
#include "print_job.h"

#include <algorithm>

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
