#include "log.h"
#include "text.h"
#include "uninstall_state.h"

#include <sim/machine.h>

#include <gtest/gtest.h>

namespace uninstall
{
namespace
{

TEST(UiIniNameTest, CutsTwoTrailingDigitsOnlyWhenACharacterIsLeft)
{
    struct Case
    {
        const char* program;
        const char* ini;
    };
    for (const Case& c :
         {Case{"C:\\x\\Uninst64.exe", "Uninst.ini"}, Case{"C:\\x\\Uninst32.exe", "Uninst.ini"},
          Case{"C:\\x\\Uninst.exe", "Uninst.ini"}, Case{"C:\\x\\A1.exe", "A1.ini"},
          Case{"C:\\x\\12.exe", "12.ini"}, Case{"C:\\x\\9.exe", "9.ini"}, Case{"C:\\x\\a12.exe", "a.ini"},
          Case{"C:\\x\\Setup-(.exe", "Setup.ini"}, Case{"Un.inst64.exe", "Un.inst.ini"}})
    {
        SplitModulePath split = SplitPath(c.program);
        EXPECT_EQ(UiIniName(split.baseName), c.ini) << c.program;
    }
    SplitModulePath split = SplitPath("C:\\Program Files\\X\\Uninst64.exe");
    EXPECT_EQ(split.folder, "C:\\Program Files\\X\\");
    EXPECT_EQ(split.extension, ".exe");
}

TEST(UiIniNameTest, AShiftJisTrailByteIsNoBackslash)
{
    sim::machine().SetCodePage(932);
    // 0x95 0x5C is one character; the folder ends at the real backslash after it.
    SplitModulePath split = SplitPath("C:\\\x95\x5C\\Uninst64.exe");
    EXPECT_EQ(split.folder, "C:\\\x95\x5C\\");
    EXPECT_EQ(split.baseName, "Uninst64");
    EXPECT_EQ(FolderOf("C:\\a\\\x95\x5C"), "C:\\a\\");
    EXPECT_EQ(ExpandEscapes("\x95\\n"), "\x95\\n"); // the lead byte takes the backslash as its trail
    EXPECT_EQ(JoinPath("C:\\\x95\x5C", "x.ini"), "C:\\\x95\x5C\\x.ini");
}

TEST(JoinPathTest, PutsExactlyOneBackslashBetween)
{
    EXPECT_EQ(JoinPath("C:\\a", "b.ini"), "C:\\a\\b.ini");
    EXPECT_EQ(JoinPath("C:\\a\\", "b.ini"), "C:\\a\\b.ini");
    EXPECT_EQ(JoinPath("C:\\a\\", "\\b.ini"), "C:\\a\\b.ini");
    EXPECT_EQ(JoinPath("C:\\a", ""), "C:\\a\\");
}

TEST(IniTextTest, EscapesAndTheArgumentOnlyInTheirPlace)
{
    EXPECT_EQ(ExpandEscapes("a\\nb\\tc\\\\d\\x"), "a\nb\tc\\\\d\\x");
    struct Case
    {
        const char* text;
        const char* argument;
        const char* out;
    };
    for (const Case& c : {Case{"%s is running", "Monitor", "Monitor is running"},
                          Case{"%s and %s", "A", "A and %s"}, Case{"100%% %d %x", "A", "100% %d %x"},
                          Case{"no argument", "A", "no argument"}, Case{"end %", "A", "end %"}})
        EXPECT_EQ(FormatWithArgument(c.text, c.argument, 2307), c.out) << c.text;
    EXPECT_EQ(FormatWithArgument("%s%s", std::string(5000, 'x'), 100).size(), 100u);
}

TEST(DebugOptionTest, TokensGiveTheLogBitsAndComeBackOnTheCommandLine)
{
    struct Case
    {
        const char* token;
        WORD before;
        WORD after;
        const char* suffix;
    };
    for (const Case& c :
         {Case{"-dout", 0, kLogDebugger, " -dout"}, Case{"-dlog", 0, kLogFile, " -dlog"},
          Case{"-dlogout", 0, kLogFile | kLogDebugger, " -dlogout"}, Case{"-DLOG", 0, kLogFile, " -dlog"},
          Case{"-dqa", 0, kLogQa, " -dqa"}, Case{"-d", 0, 0, ""}, Case{"-dx", 0, 0, ""},
          // "out" replaces what came before.
          Case{"-dout", kLogFile | kLogQa, kLogDebugger, " -dout"},
          Case{"-dlog", kLogDebugger, kLogDebugger | kLogFile, " -dlogout"}, Case{"-slog", 0, 0, ""}})
    {
        WORD flags = ParseDebugToken(c.token, c.before);
        EXPECT_EQ(flags, c.after) << c.token;
        EXPECT_EQ(DebugOptionsSuffix(flags), c.suffix) << c.token;
    }
}

TEST(LogPathTest, RelativeValuesGoUnderTheDriveRootOthersStand)
{
    struct Case
    {
        const char* value;
        const char* expanded;
        const char* path;
    };
    for (const Case& c : {Case{"Logs\\u.txt", "Logs\\u.txt", "C:\\Logs\\u.txt"},
                          Case{"\\Logs\\u.txt", "\\Logs\\u.txt", "C:\\Logs\\u.txt"},
                          Case{"D:\\Logs\\u.txt", "D:\\Logs\\u.txt", "D:\\Logs\\u.txt"},
                          Case{"\\\\srv\\share\\u.txt", "\\\\srv\\share\\u.txt", "\\\\srv\\share\\u.txt"},
                          Case{"%TEMP%\\u.txt", "C:\\Temp\\u.txt", "C:\\Temp\\u.txt"}})
        EXPECT_EQ(ResolveLogPath(c.value, c.expanded, "C:\\"), c.path) << c.value;
    EXPECT_TRUE(IsDriveRoot("C:\\"));
    EXPECT_TRUE(IsDriveRoot("\\\\srv\\share\\"));
    EXPECT_FALSE(IsDriveRoot("C:\\Logs\\"));
    EXPECT_FALSE(IsDriveRoot("\\\\srv\\share\\logs\\"));
}

TEST(LanguageTest, FullCodeFirstThenPrimaryElseTheDefault)
{
    // Codes are the primary language then the sublanguage: 0x0409 is "0901".
    const std::vector<std::string> entries = {"English;ENG;0901",
                                              "Japanese;JPN;11",
                                              "German;DEU;0701",
                                              "Chinese;CHT;0401",
                                              "Chinese;CHS;0402",
                                              "bad entry",
                                              "x;;0c"};
    struct Case
    {
        LANGID language;
        const char* folder;
    };
    for (const Case& c : {Case{0x0409, "ENG"}, Case{0x0411, "JPN"}, Case{0x0804, "CHS"}, Case{0x0c04, "DEF"},
                          Case{0x0807, "DEF"}, Case{0x040c, "DEF"}, Case{0x0011, "JPN"}})
        EXPECT_EQ(PickLanguageFolder(c.language, "DEF", entries), c.folder) << std::hex << c.language;
    // A full match later in the list wins over an earlier primary one.
    EXPECT_EQ(PickLanguageFolder(0x0411, "DEF", {"a;PRIMARY;11", "b;FULL;1101"}), "FULL");
    EXPECT_EQ(PickLanguageFolder(0x0409, "DEF", {"a;ONE;0901", "b;TWO;0901"}), "ONE");
}

TEST(ApplicationEntryTest, DisplayNameAndOffsetHaveDefaults)
{
    struct Case
    {
        const char* value;
        const char* name;
        const char* display;
        int offset;
    };
    for (const Case& c :
         {Case{"RXMonitor;Status Monitor;12", "RXMonitor", "Status Monitor", 12},
          Case{"RXMonitor", "RXMonitor", "Application", 0}, Case{"A;;3", "A", "Application", 3},
          Case{"A;B;x1", "A", "B", 0}, Case{"A;B;-4", "A", "B", 0}, Case{"A;B;99999999999", "A", "B", 0}})
    {
        ApplicationEntry e = ParseApplicationEntry(c.value);
        EXPECT_EQ(e.name, c.name) << c.value;
        EXPECT_EQ(e.displayName, c.display) << c.value;
        EXPECT_EQ(e.messageOffset, c.offset) << c.value;
    }
}

TEST(StatusLineTest, LeadingPathElementsGoFirstThenTheEnd)
{
    auto measure = [](std::string_view s) {
        return static_cast<int>(s.size()) * 5;
    }; // five pixels a character
    struct Case
    {
        const char* text;
        int width;
        const char* shown;
    };
    for (const Case& c :
         {Case{"C:\\a\\b.txt", 100, "C:\\a\\b.txt"},
          Case{"C:\\Program Files\\Maker\\Driver\\file.dll", 120, "C:\\...\\Driver\\file.dll"},
          Case{"C:\\Program Files\\Maker\\Driver\\file.dll", 80, "C:\\...\\file.dll"},
          Case{"C:\\Program Files\\Maker\\Driver\\file.dll", 60, "C:\\...\\fi..."},
          Case{"averyveryverylongname", 50, "averyve..."}, Case{"abcdef", 5, "..."}})
    {
        std::string shown = ShortenToFit(c.text, c.width, measure);
        EXPECT_EQ(shown, c.shown) << c.text << " in " << c.width;
        if (shown != "...")
        {
            EXPECT_LE(measure(shown), c.width);
        }
    }
}

TEST(FontSpecTest, FieldsNamesAndBadValues)
{
    struct Case
    {
        const char* value;
        bool font;
        LONG height;
        BYTE charset;
        LONG weight;
        bool underline;
    };
    for (const Case& c :
         {Case{"Arial,12,ANSI,BOLD", true, -12, ANSI_CHARSET, FW_BOLD, false},
          Case{"MS UI,9,SHIFTJIS,SEMIBOLD,UNDERLINE", true, -9, SHIFTJIS_CHARSET, FW_SEMIBOLD, true},
          Case{"Arial,12,RUSSIAN", true, -12, RUSSIAN_CHARSET, FW_DONTCARE, false},
          Case{"Arial,12,ansi,bold", true, -12, DEFAULT_CHARSET, FW_DONTCARE, false},
          Case{"Arial,12,KLINGON,HEAVY", true, -12, DEFAULT_CHARSET, FW_HEAVY, false},
          Case{"Arial, 10 ,GREEK,DEMIBOLD,underline", true, -10, GREEK_CHARSET, FW_SEMIBOLD, false},
          Case{"Arial,12", false, 0, 0, 0, false}, Case{"Arial,0x10,ANSI,BOLD", false, 0, 0, 0, false},
          Case{"Arial,1A,ANSI", false, 0, 0, 0, false}, Case{"Arial,,ANSI", false, 0, 0, 0, false},
          Case{"Arial,99999,ANSI", false, 0, 0, 0, false}, Case{"", false, 0, 0, 0, false}})
    {
        auto spec = ParseFontSpec(c.value);
        ASSERT_EQ(spec.has_value(), c.font) << c.value;
        if (!spec)
            continue;
        EXPECT_EQ(spec->height, c.height) << c.value;
        EXPECT_EQ(spec->charset, c.charset) << c.value;
        EXPECT_EQ(spec->weight, c.weight) << c.value;
        EXPECT_EQ(spec->underline, c.underline) << c.value;
    }
    EXPECT_EQ(ParseFontSpec(std::string(60, 'F') + ",9,ANSI")->face.size(), size_t{LF_FACESIZE - 1});
}

TEST(CentreTest, CentredThenKeptInsideTheArea)
{
    const RECT area{0, 0, 1920, 1040};
    struct Case
    {
        RECT window;
        RECT over;
        RECT placed;
    };
    for (const Case& c : {Case{{0, 0, 200, 100}, {100, 100, 500, 300}, {200, 150, 400, 250}},
                          Case{{0, 0, 400, 300}, {-300, -200, 0, 0}, {0, 0, 400, 300}},
                          Case{{0, 0, 400, 300}, {1800, 900, 2000, 1100}, {1520, 740, 1920, 1040}},
                          Case{{0, 0, 2000, 1200}, {0, 0, 1920, 1040}, {-80, -160, 1920, 1040}}})
    {
        RECT r = CentreRect(c.window, c.over, area);
        EXPECT_EQ(r.left, c.placed.left);
        EXPECT_EQ(r.top, c.placed.top);
        EXPECT_EQ(r.right, c.placed.right);
        EXPECT_EQ(r.bottom, c.placed.bottom);
    }
}

} // namespace
} // namespace uninstall
