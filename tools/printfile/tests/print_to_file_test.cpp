#include <gtest/gtest.h>

#include <sim/machine.h>

#include "print_to_file.h"

#include <vector>

namespace
{
using namespace velmoprinttofile;

TEST(PrintToFileCore, ServiceComesFromAMarkerAfterTheFirstCharacter)
{
    const WString message = u"velmo-ranth.4CF96C9C-7A46-4FC2-88F2-4B7AE5E194F7";
    struct Row
    {
        WString name;
        Service expected;
    };
    const Row rows[] = {
        {u"Local\\velmo.getpath.1234", Service::SavePath},
        {u"velmo.getpath", Service::None},
        {u"xvelmo.getpath", Service::SavePath},
        {u"Local\\" + message, Service::MessageBox},
        {message, Service::None},
        {u"a" + message + u"velmo.getpath", Service::SavePath}, // the save path is tested first
        {u"Local\\VELMO.GETPATH", Service::None},
        {WString(250, u'x') + u"velmo.getpath", Service::None}, // past the 259 characters read
        {u"", Service::None},
    };
    for (const Row& r : rows)
        EXPECT_EQ(SelectService(r.name), r.expected) << r.name.size();
}

TEST(PrintToFileCore, NeutralTextsForFileNamesStartingWithVeo)
{
    EXPECT_TRUE(UsesNeutralTexts(u"C:\\Drivers\\VeoPrintToFile.exe"));
    EXPECT_TRUE(UsesNeutralTexts(u"veo.exe"));
    EXPECT_FALSE(UsesNeutralTexts(u"C:\\veo\\VelmoPrintToFile.exe"));
    EXPECT_FALSE(UsesNeutralTexts(u"ve"));
}

TEST(PrintToFileCore, TitlesTheDuplicatorCanOpen)
{
    struct Row
    {
        const char16_t* title;
        bool ok;
    };
    const Row rows[] = {
        {u"ABCDEFGHIJKLMNOP.kgl", true},   // 16 + extension
        {u"ABCDEFGHIJKLMNOPQ.kgl", false}, // 17 + extension
        {u"my page 1.kgl", true},
        {u"\uff76\uff85.kgl", true}, // half-width katakana
        {u"a~b.kgl", false},
        {u"a+b.kgl", false},
        {u"a,b.kgl", false},
        {u"a;b.kgl", false},
        {u"a=b.kgl", false},
        {u"a*b.kgl", false},
        {u"a?b.kgl", false},
        {u"a\\b.kgl", false},
        {u"a:b.kgl", false},
        {u"caf\u00e9.kgl", false},
        {u"\u3042.kgl", false}, // full-width kana
    };
    for (const Row& r : rows)
        EXPECT_EQ(IsAcceptableTitle(r.title), r.ok) << static_cast<int>(r.title[1]);
}

TEST(PrintToFileCore, DefaultNameTakesTheFirstFreeNumber)
{
    sim::files().Put(u"C:\\Out\\IMAGE00001.kgl");
    sim::files().Put(u"C:\\Out\\image00003.KGL");
    WCHAR out[MAX_PATH];
    ASSERT_TRUE(MakeDefaultFileName(out, u"C:\\Out"));
    EXPECT_EQ(WString(out), u"C:\\Out\\IMAGE00002.kgl");
    ASSERT_TRUE(MakeDefaultFileName(out, u"C:\\Out\\"));
    EXPECT_EQ(WString(out), u"C:\\Out\\IMAGE00002.kgl");
    EXPECT_FALSE(MakeDefaultFileName(out, u""));
    EXPECT_EQ(out[0], 0);

    // Folder, separator and the 14-character name must fit with the terminator in 260.
    WString fits = u"C:\\" + WString(241, u'f'); // 244 characters, 245 with the separator
    WString tooLong = fits + u"g";
    ASSERT_TRUE(MakeDefaultFileName(out, fits.c_str()));
    EXPECT_EQ(lstrlenW(out), 259);
    EXPECT_FALSE(MakeDefaultFileName(out, tooLong.c_str()));
}

std::vector<BYTE> Utf16Bytes(const WString& s, size_t size)
{
    std::vector<BYTE> b(size, 0);
    for (size_t i = 0; i < s.size() && 2 * i + 1 < size; ++i)
    {
        b[2 * i] = static_cast<BYTE>(s[i] & 0xFF);
        b[2 * i + 1] = static_cast<BYTE>(s[i] >> 8);
    }
    return b;
}

TEST(PrintToFileCore, SaveFolderIsNormalisedOrIgnored)
{
    sim::processes().SetCallingProgram(u"C:\\Users\\User\\starter.exe", u"starter");
    EXPECT_EQ(ReadSaveFolder(Utf16Bytes(u"C:\\Out\\..\\Data", kSavePathBytes)), u"C:\\Data\\");
    EXPECT_EQ(ReadSaveFolder(Utf16Bytes(u"docs", kSavePathBytes)), u"C:\\Users\\User\\docs\\");
    EXPECT_EQ(ReadSaveFolder(Utf16Bytes(u"", kSavePathBytes)), std::nullopt);
    EXPECT_EQ(ReadSaveFolder(Utf16Bytes(WString(MAX_PATH, u'a'), kSavePathBytes)), std::nullopt)
        << "unterminated";
    EXPECT_EQ(ReadSaveFolder(Utf16Bytes(u"C:\\" + WString(250, u'a'), kSavePathBytes)), std::nullopt)
        << "no room for a numbered name";
}

std::vector<BYTE> MessageSection(DWORD type, DWORD timeout, DWORD count, const std::vector<WString>& strings,
                                 bool terminateLast = true)
{
    std::vector<BYTE> b(20, 0);
    auto put = [&](size_t at, DWORD v) {
        for (int i = 0; i < 4; ++i)
            b[at + i] = static_cast<BYTE>(v >> (8 * i));
    };
    put(0, 0xDEADBEEF);
    put(8, type);
    put(12, timeout);
    put(16, count);
    for (size_t k = 0; k < strings.size(); ++k)
    {
        for (WCHAR c : strings[k])
        {
            b.push_back(static_cast<BYTE>(c & 0xFF));
            b.push_back(static_cast<BYTE>(c >> 8));
        }
        if (terminateLast || k + 1 < strings.size())
        {
            b.push_back(0);
            b.push_back(0);
        }
    }
    return b;
}

TEST(PrintToFileCore, MessageRequestsAreReadWithinTheView)
{
    auto one = ParseMessageBoxRequest(MessageSection(0x30, 5000, 1, {u"Text", u"ignored"}));
    ASSERT_TRUE(one);
    EXPECT_EQ(one->type, 0x30u);
    EXPECT_EQ(one->timeout, 5000u);
    EXPECT_EQ(one->text, u"Text");
    EXPECT_FALSE(one->caption);

    auto two = ParseMessageBoxRequest(MessageSection(1, 0, 2, {u"Text", u"Caption"}));
    ASSERT_TRUE(two && two->caption);
    EXPECT_EQ(*two->caption, u"Caption");

    EXPECT_FALSE(ParseMessageBoxRequest(MessageSection(0, 0, 1, {u"Text"}, false))) << "unterminated text";
    EXPECT_FALSE(ParseMessageBoxRequest(MessageSection(0, 0, 2, {u"Text", u"Cap"}, false)))
        << "unterminated caption";
    auto shortHeader = MessageSection(0, 0, 1, {});
    shortHeader.resize(19);
    EXPECT_FALSE(ParseMessageBoxRequest(shortHeader));
    auto odd = MessageSection(0, 0, 1, {u"Ab"});
    odd.resize(odd.size() - 1); // the terminator's second byte is missing
    EXPECT_FALSE(ParseMessageBoxRequest(odd));
}
} // namespace
