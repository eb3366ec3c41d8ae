#include "message_table.h"

#include <gtest/gtest.h>

#include <set>

namespace kgsetup
{
namespace
{

const std::set<int> kSameInBoth = {4, 11, 12, 15, 16, 17, 28, 29, 61, 75};

TEST(MessageTables, BothHoldEveryIdAndNoOther)
{
    auto tables = LoadMessageTables();
    ASSERT_EQ(tables.size(), 2u);
    for (const auto& entry : tables)
    {
        const MessageTable& table = *entry.table;
        ASSERT_EQ(table.texts.size(), static_cast<size_t>(kLastMessageId + 1)) << entry.language;
        EXPECT_EQ(table.texts.begin()->first, 0);
        EXPECT_EQ(table.texts.rbegin()->first, kLastMessageId);
        for (const auto& [id, text] : table.texts)
            EXPECT_FALSE(text.empty()) << entry.language << " id " << id;
        EXPECT_GT(table.Text(0).size(), 500u) << "the licence agreement";
    }
}

TEST(MessageTables, JapaneseSharesOnlyTheNamedTexts)
{
    MessageTable en, ja;
    LoadEnglishMessageTable(en);
    LoadJapaneseMessageTable(ja);
    for (int id = 0; id <= kLastMessageId; ++id)
    {
        if (kSameInBoth.count(id))
            EXPECT_EQ(ja.Text(id), en.Text(id)) << id;
        else
            EXPECT_NE(ja.Text(id), en.Text(id)) << id;
    }
    EXPECT_EQ(en.displayLanguageName, u"English [en]");
    EXPECT_EQ(ja.displayLanguageName, u"日本語 [ja]");
}

TEST(MessageTables, EmojiTextsEndInASurrogatePair)
{
    MessageTable en;
    LoadEnglishMessageTable(en);
    struct Case
    {
        int id;
        char16_t high, low;
    } cases[] = {{11, 0xD83D, 0xDCAC}, {28, 0xD83C, 0xDF10}};
    for (const Case& c : cases)
    {
        const WString& text = en.Text(c.id);
        ASSERT_GE(text.size(), 2u);
        EXPECT_EQ(text[text.size() - 2], c.high) << c.id;
        EXPECT_EQ(text[text.size() - 1], c.low) << c.id;
        // The plain variant is the same label without the space and the emoji.
        EXPECT_EQ(text.substr(0, text.size() - 3), en.Text(c.id + 1)) << c.id;
    }
}

TEST(MessageTables, LookupOfAnUnknownIdAddsNothing)
{
    MessageTable en;
    LoadEnglishMessageTable(en);
    EXPECT_TRUE(en.Text(148).empty());
    EXPECT_TRUE(en.Text(-1).empty());
    EXPECT_FALSE(en.Has(148));
    EXPECT_EQ(en.texts.size(), static_cast<size_t>(kLastMessageId + 1));
}

TEST(MessageTables, ChoiceFollowsTheDisplayLanguage)
{
    auto tables = LoadMessageTables();
    const MessageTable* en = tables[0].table.get();
    const MessageTable* ja = tables[1].table.get();
    struct Case
    {
        UINT language;
        const MessageTable* expected;
    } cases[] = {{9, en}, {17, ja}, {7, en}, {0, en}};
    for (const Case& c : cases)
        EXPECT_EQ(ChooseMessageTable(tables, c.language), c.expected) << c.language;
    EXPECT_EQ(ChooseMessageTable({}, 9), nullptr);

    // The first entry, not English, is the fallback.
    std::swap(tables[0], tables[1]);
    EXPECT_EQ(ChooseMessageTable(tables, 7), ja);
}

} // namespace
} // namespace kgsetup
