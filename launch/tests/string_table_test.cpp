#include "launch_fixture.h"

#include "string_table.h"

namespace
{
using launch::CMultilingualStringTable;
using namespace launchtest;

constexpr LANGID kJapanese = 17;

WString Get(const CMultilingualStringTable& t, LANGID language, int slot)
{
    LPCWSTR s = t.GetString(language, slot);
    return s ? WString(s) : WString(u"<null>");
}

class StringTable : public MenuFilesTest
{
};

TEST_F(StringTable, WithoutLanguageFilesTheResourcesHoldAndPathsOnlyForFilesThatExist)
{
    sim::files().Put(kDriver);
    CMultilingualStringTable table;
    EXPECT_EQ(table.ModuleFolder(), kMenuFolder);
    struct Row
    {
        LANGID language;
        int slot;
        WString expected;
    };
    for (const Row& row : {
             Row{9, launch::kSlotAppTitle, u"Velmo KORIGRAPH series Setup Menu"},
             Row{kJapanese, launch::kSlotButtonDriver, u"Install the printer &driver"},
             Row{0x0804, launch::kSlotLabelTopMenu, u"KORIGRAPH series Setup Menu"},
             Row{9, launch::kSlotDriver, kDriver},
             Row{9, launch::kSlotDriver64, kDriver},
             Row{9, launch::kSlotUtility0, u"<null>"}, // its file is not on the media
             Row{9, -1, u"<null>"},
             Row{9, launch::kSlotCount, u"<null>"},
         })
        EXPECT_EQ(Get(table, row.language, row.slot), row.expected) << row.slot;
}

TEST_F(StringTable, LanguageFilesOverrideWithEnglishAsEveryLanguagesFallback)
{
    sim::files().Put(kDriver);
    sim::files().Put(kMedia + u"\\Driver\\ja\\KGSetup.exe");
    PutText(kMenuFolder + u"Languages\\ja.lng", "[Dialog]\r\n"
                                                "ButtonManual=JA manual\r\n"
                                                "NoteManual=\r\n"
                                                "[Setup]\r\n"
                                                "Driver=..\\Driver\\Missing.exe\r\n"
                                                "Driver64=..\\Driver\\ja\\KGSetup.exe\r\n"
                                                "Utility0=Tools\\Card.exe\r\n");
    PutText(kMenuFolder + u"Languages\\en.lng", "[Dialog]\r\n"
                                                "NoteManual=EN note\r\n"
                                                "ButtonBack=EN monitor\r\n");
    PutText(kMenuFolder + u"Languages\\zh-tw.lng", "[Dialog]\r\nButtonBack=TW monitor\r\n");
    PutText(kMenuFolder + u"Languages\\zh-cn.lng", "[Dialog]\r\nButtonBack=CN monitor\r\n");
    CMultilingualStringTable table;
    struct Row
    {
        LANGID language;
        int slot;
        WString expected;
    };
    for (const Row& row : {
             Row{kJapanese, launch::kSlotButtonManual, u"JA manual"},
             Row{kJapanese, launch::kSlotNoteManual, u"EN note"},       // empty in ja: en.lng's
             Row{9, launch::kSlotButtonManual, u"Instruction &manual"}, // en.lng has none: the resource
             Row{kJapanese, launch::kSlotDriver, kDriver},              // missing file: the default stays
             Row{kJapanese, launch::kSlotDriver64, kMedia + u"\\Driver\\ja\\KGSetup.exe"},
             Row{kJapanese, launch::kSlotUtility0, u"Tools\\Card.exe"}, // not ".\" or "..\": unchecked
             Row{kJapanese, 26, u"EN monitor"}, Row{0x7C04, 26, u"TW monitor"}, Row{4, 26, u"CN monitor"},
             Row{0x0804, 26, u"EN monitor"}, // a full LANGID is no table's id
         })
        EXPECT_EQ(Get(table, row.language, row.slot), row.expected) << row.language << " " << row.slot;
}

TEST_F(StringTable, LoadLanguageFileCountsWhatItStoresAndCutsLongValues)
{
    CMultilingualStringTable table;
    CMultilingualStringTable::Table target;
    target[launch::kSlotAppTitle] = u"kept";
    WString missing = kMenuFolder + u"Languages\\none.lng";
    EXPECT_EQ(table.LoadLanguageFile(missing.c_str(), target), 0);
    EXPECT_EQ(table.LoadLanguageFile(nullptr, target), 0);
    EXPECT_EQ(target[launch::kSlotAppTitle], u"kept");

    WString path = kMenuFolder + u"Languages\\de.lng";
    PutText(path, "[dialog]\r\napptitle=" + std::string(1500, 'x') +
                      "\r\nButtonDriver=Treiber\r\n"
                      "[Setup]\r\nDriver=..\\Driver\\Missing.exe\r\n");
    EXPECT_EQ(table.LoadLanguageFile(path.c_str(), target), 2);
    EXPECT_EQ(target[launch::kSlotAppTitle], WString(1023, u'x'));
    EXPECT_EQ(target[launch::kSlotButtonDriver], u"Treiber");
    EXPECT_TRUE(target[launch::kSlotDriver].empty());
}

TEST_F(StringTable, ResolveRelativePathNeedsAnExistingFileThatFits)
{
    sim::files().Put(kDriver);
    CMultilingualStringTable table;
    WString out = u"stale";
    EXPECT_TRUE(table.ResolveRelativePath(out, u"..\\Driver\\KGSetup.exe"));
    EXPECT_EQ(out, kDriver);
    EXPECT_FALSE(table.ResolveRelativePath(out, u"..\\Driver\\Other.exe"));
    EXPECT_EQ(out, kMedia + u"\\Driver\\Other.exe");
    EXPECT_FALSE(table.ResolveRelativePath(out, WString(300, u'a')));
    EXPECT_TRUE(out.empty());
}
} // namespace
