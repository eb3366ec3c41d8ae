#include <gtest/gtest.h>

#include "ui_tables.h"

#include <models.h>

#include <algorithm>
#include <set>
#include <string>
#include <vector>

using namespace velmoui;

namespace
{
std::vector<LONG> Ids(std::span<const PaperRow> rows)
{
    std::vector<LONG> ids;
    for (const PaperRow& r : rows)
        ids.push_back(r.id);
    return ids;
}

std::string Name(const WCHAR* s)
{
    std::string out;
    for (; *s; ++s)
        out.push_back(static_cast<char>(*s));
    return out;
}
} // namespace

TEST(UiTables, PaperListsByType)
{
    const std::vector<LONG> a3 = {8, 12, 9, 13, 11, 43, 3, 5, 1, 6, 256};
    struct Row
    {
        LONG type;
        std::vector<LONG> ids;
    } rows[] = {
        {2, {9, 13, 11, 43, 1, 6, 256}},
        {3, {9, 13, 11, 43, 5, 1, 6, 256}},
        {4, {12, 9, 13, 11, 43, 5, 1, 6, 256}},
        {5, a3},
        {14, a3},
        {17, a3},
        {6, a3},
        {13, a3},
        {21, a3},
    };
    for (const Row& r : rows)
        EXPECT_EQ(Ids(PaperList(r.type)), r.ids) << "type " << r.type;
    EXPECT_NE(PaperList(5).data(), PaperList(6).data()) << "two A3 lists";
}

TEST(UiTables, OutputSizesFitTheGroupsPrintableSize)
{
    struct Row
    {
        LONG type;
        std::vector<LONG> ids;
        PaperSize printable;
    } rows[] = {
        {2, {0, 257, 9, 13, 11, 43, 6}, {2100, 2970}},
        {18, {0, 257, 9, 13, 11, 43, 6}, {2100, 2970}},
        {3, {0, 257, 9, 13, 11, 43, 5, 1, 6}, {2159, 3556}},
        {7, {0, 257, 9, 13, 11, 43, 5, 1, 6}, {2159, 3640}},
        {12, {0, 257, 12, 9, 13, 11, 43, 5, 1, 6}, {2570, 3640}},
        {21, {0, 257, 8, 12, 9, 13, 11, 43, 3, 5, 1, 6}, {2970, 4318}},
    };
    for (const Row& r : rows)
    {
        EXPECT_EQ(Ids(OutputSizeList(r.type)), r.ids) << "type " << r.type;
        EXPECT_EQ(PrintableMaxSize(r.type).width, r.printable.width) << "type " << r.type;
        EXPECT_EQ(PrintableMaxSize(r.type).height, r.printable.height) << "type " << r.type;
        for (const PaperRow& p : OutputSizeList(r.type))
            EXPECT_TRUE(p.width <= r.printable.width && p.height <= r.printable.height) << Name(p.name);
    }
    EXPECT_TRUE(OutputSizeList(1).empty());
    EXPECT_TRUE(OutputSizeList(22).empty());
}

TEST(UiTables, CustomSizeExtentsByType)
{
    struct Row
    {
        LONG type;
        PaperSize min, max;
    } rows[] = {
        {2, {1000, 1480}, {2100, 2970}},  {3, {1000, 1480}, {2159, 3556}}, {4, {1000, 1480}, {2570, 3640}},
        {5, {1000, 1480}, {2970, 4318}},  {6, {500, 1480}, {2970, 5400}},  {9, {500, 1480}, {2970, 5400}},
        {10, {500, 1480}, {3200, 5400}},  {13, {500, 1480}, {3200, 5400}}, {14, {1000, 1480}, {2970, 4200}},
        {17, {1000, 1480}, {2970, 4200}}, {18, {500, 1480}, {3200, 4500}}, {20, {500, 1480}, {3200, 4500}},
        {21, {500, 1480}, {3200, 5400}},
    };
    for (const Row& r : rows)
    {
        PaperSize min = MinPaperSize(r.type), max = MaxPaperSize(r.type);
        EXPECT_EQ(std::make_pair(min.width, min.height), std::make_pair(r.min.width, r.min.height)) << r.type;
        EXPECT_EQ(std::make_pair(max.width, max.height), std::make_pair(r.max.width, r.max.height)) << r.type;
    }
}

// Both DLLs read one model list: the same names and keys, finishing and duplex agreeing, the UI's
// paper-list type in the group of the graphics type's largest paper.
TEST(UiTables, ModelRowsAgreeWithTheGraphicsTable)
{
    auto ui = Models();
    auto graphics = velmo::Models();
    ASSERT_EQ(ui.size(), graphics.size());
    std::set<LONG> types, keys;
    LONG flags = 0;
    for (size_t i = 0; i < ui.size(); ++i)
    {
        SCOPED_TRACE(Name(ui[i].name));
        EXPECT_EQ(Name(ui[i].name), Name(graphics[i].name));
        EXPECT_EQ(ui[i].resolutionKey, graphics[i].resolutionKey);
        const LONG shared = kCapOptionA | kCapOptionB1 | kCapOptionB2 | kCapDuplex;
        EXPECT_EQ(ui[i].capabilityFlags & shared, graphics[i].capabilityFlags & shared);
        static constexpr LONG kGroupOf[5] = {0, 3, 2, 0, 1}; // A3, B4, A4, Legal
        EXPECT_EQ((ui[i].paperListType - 2) % 4, kGroupOf[graphics[i].paperListType]);
        types.insert(ui[i].paperListType);
        keys.insert(ui[i].resolutionKey);
        flags |= ui[i].capabilityFlags;
    }
    EXPECT_EQ(types.size(), 20u) << "every paper-list type 2..21";
    EXPECT_EQ(*types.begin(), 2);
    EXPECT_EQ(*types.rbegin(), 21);
    EXPECT_EQ(keys.size(), 7u);
    EXPECT_EQ(flags, 0x90117);
}

TEST(UiTables, LookupsFindCapabilitiesWithoutCaseAndTypeExactly)
{
    EXPECT_EQ(FindModelExact(u"KORIGRAPH DX-3800"), FindModelNoCase(u"korigraph dx-3800"));
    EXPECT_EQ(FindModelExact(u"korigraph dx-3800"), -1);
    EXPECT_EQ(FindModelNoCase(u"KORIGRAPH DX-38"), -1);
    EXPECT_EQ(FindModelNoCase(u"KORIGRAPH DX-38000"), -1);
    EXPECT_EQ(FindModelNoCase(nullptr), -1);
    EXPECT_TRUE(HasScanResolutionLine(u"korigraph driver"));
    EXPECT_FALSE(HasScanResolutionLine(u"KORIGRAPH DX-1300"));
    EXPECT_FALSE(HasScanResolutionLine(u"Unknown"));
}
