#include <gtest/gtest.h>

#include <sim/machine.h>

#include <cstring>
#include <string>

namespace
{
constexpr const char16_t* kIni = u"C:\\Drivers\\3\\settings.ini";

const char kText[] = "; comment\r\n"
                     "[OperationSetup]\r\n"
                     "  Density = 7  \r\n"
                     "Negative=-12\r\n"
                     "Trailing=42abc\r\n"
                     "Text=\"  quoted  \"\r\n"
                     "Empty=\r\n"
                     "[Model A]\n"
                     "DuplexMaxCopies=300\n"
                     "[operationsetup]\n"
                     "Density=99\n";

WString String(const char16_t* app, const char16_t* key, const char16_t* def, DWORD size, DWORD* count,
               const char16_t* file = kIni)
{
    std::u16string buf(size + 4, u'#');
    *count = GetPrivateProfileStringW(app, key, def, buf.data(), size, file);
    return WString(buf.data(), buf.data() + size + 4);
}

TEST(Profile, IntegersFollowTheFirstMatchingSectionAndKeyWithoutCase)
{
    sim::files().Put(kIni, kText);
    struct Row
    {
        const char16_t* app;
        const char16_t* key;
        INT def;
        UINT expected;
    } rows[] = {
        {u"OperationSetup", u"Density", 5, 7},
        {u"OPERATIONSETUP", u"density", 5, 7},
        {u"OperationSetup", u"Negative", 5, UINT(-12)},
        {u"OperationSetup", u"Trailing", 5, 42},
        {u"OperationSetup", u"Empty", 5, 0},
        {u"OperationSetup", u"Missing", 5, 5},
        {u"Model A", u"DuplexMaxCopies", 500, 300},
        {u"Model B", u"DuplexMaxCopies", 500, 500},
    };
    for (const Row& r : rows)
        EXPECT_EQ(GetPrivateProfileIntW(r.app, r.key, r.def, kIni), r.expected)
            << std::string(r.key, r.key + std::char_traits<char16_t>::length(r.key));
    EXPECT_EQ(GetPrivateProfileIntW(u"OperationSetup", u"Density", 5, u"C:\\Drivers\\3\\none.ini"), 5u);
}

TEST(Profile, StringsAreTrimmedUnquotedAndCutToTheBuffer)
{
    sim::files().Put(kIni, kText);
    DWORD n = 0;
    EXPECT_EQ(String(u"OperationSetup", u"Text", u"d", 20, &n).substr(0, 11), WString(u"  quoted  \0", 11));
    EXPECT_EQ(n, 10u);
    EXPECT_EQ(String(u"OperationSetup", u"Text", u"d", 5, &n).substr(0, 6), WString(u"  qu\0#", 6));
    EXPECT_EQ(n, 4u) << "a cut string counts size - 1";
    EXPECT_EQ(String(u"OperationSetup", u"Missing", u"dflt  ", 20, &n).substr(0, 5), WString(u"dflt\0", 5));
    EXPECT_EQ(n, 4u) << "the default loses its trailing blanks";
    EXPECT_EQ(String(u"OperationSetup", u"Missing", nullptr, 20, &n).substr(0, 1), WString(u"\0", 1));
    EXPECT_EQ(n, 0u);

    SetLastError(0);
    EXPECT_EQ(String(u"OperationSetup", u"Text", u"dflt", 20, &n, u"C:\\nowhere.ini").substr(0, 5),
              WString(u"dflt\0", 5));
    EXPECT_EQ(GetLastError(), static_cast<DWORD>(ERROR_FILE_NOT_FOUND));
}

TEST(Profile, NameListsEndInTwoNulsAndAreCutWithTwoNuls)
{
    sim::files().Put(kIni, kText);
    DWORD n = 0;
    WString all = String(nullptr, nullptr, u"", 64, &n);
    WString expected(u"OperationSetup\0Model A\0operationsetup\0\0", 39);
    EXPECT_EQ(all.substr(0, expected.size()), expected);
    EXPECT_EQ(n, 38u);
    EXPECT_EQ(String(nullptr, nullptr, u"", 10, &n).substr(0, 11), WString(u"Operatio\0\0#", 11));
    EXPECT_EQ(n, 8u);
    WString keys = String(u"Model A", nullptr, u"", 64, &n);
    EXPECT_EQ(keys.substr(0, 17), WString(u"DuplexMaxCopies\0\0", 17));
    EXPECT_EQ(n, 16u);
}

TEST(Profile, UnicodeFilesAndTheWindowsFolder)
{
    // UTF-16 with its mark: "[표준]\r\n값=3\r\n".
    const char16_t wide[] = u"\xFEFF[\uD45C\uC900]\r\n\uAC12=3\r\n";
    std::string bytes;
    for (size_t i = 0; i + 1 < std::size(wide); ++i)
    {
        bytes.push_back(static_cast<char>(wide[i] & 0xFF));
        bytes.push_back(static_cast<char>(wide[i] >> 8));
    }
    sim::files().Put(u"C:\\Windows\\wide.ini", bytes);
    EXPECT_EQ(GetPrivateProfileIntW(u"\uD45C\uC900", u"\uAC12", 0, u"wide.ini"), 3u);
    sim::files().Put(u"C:\\utf8.ini", "\xEF\xBB\xBF[\xED\x91\x9C]\nk=9\n");
    EXPECT_EQ(GetPrivateProfileIntW(u"\uD45C", u"k", 0, u"C:\\utf8.ini"), 9u);
}
TEST(Profile, NarrowFormsCutInBytesOfTheCodePage)
{
    sim::machine().SetCodePage(932);
    // "[設定]\nName=日本\n" in Shift-JIS: each of the four characters is two bytes.
    sim::files().Put(u"C:\\sjis.ini", "[\x90\xdd\x92\xe8]\r\nName=\x93\xfa\x96\x7b\r\nCount=12\r\n");
    char buf[16];
    std::memset(buf, '#', sizeof buf);
    EXPECT_EQ(GetPrivateProfileStringA("\x90\xdd\x92\xe8", "name", "", buf, sizeof buf, "C:\\sjis.ini"), 4u);
    EXPECT_EQ(std::string(buf), "\x93\xfa\x96\x7b");
    EXPECT_EQ(GetPrivateProfileStringA("\x90\xdd\x92\xe8", "Name", "", buf, 4, "C:\\sjis.ini"), 3u);
    EXPECT_EQ(std::string(buf, 4), std::string("\x93\xfa\x96\0", 4));
    EXPECT_EQ(GetPrivateProfileIntA("\x90\xdd\x92\xe8", "COUNT", 0, "C:\\sjis.ini"), 12u);
    EXPECT_EQ(GetPrivateProfileSectionNamesA(buf, sizeof buf, "C:\\sjis.ini"), 5u);
    EXPECT_EQ(std::string(buf, 6), std::string("\x90\xdd\x92\xe8\0\0", 6));
}

TEST(Profile, WholeSectionsAndSectionNames)
{
    sim::files().Put(kIni, kText);
    char16_t buf[80];
    DWORD n = GetPrivateProfileSectionW(u"operationSETUP", buf, 80, kIni);
    WString expected(u"Density = 7\0Negative=-12\0Trailing=42abc\0Text=\"  quoted  \"\0Empty=\0\0", 66);
    ASSERT_EQ(n, expected.size() - 1);
    EXPECT_EQ(WString(buf, n + 1), expected) << "lines as written, the first of a repeated section";
    EXPECT_EQ(GetPrivateProfileSectionW(u"none", buf, 64, kIni), 0u);
    EXPECT_EQ(GetPrivateProfileSectionNamesW(buf, 12, kIni), 10u);
    EXPECT_EQ(WString(buf, 12), WString(u"OperationS\0\0", 12));
}

TEST(Profile, WritesKeepTheFileAndItsForm)
{
    sim::files().Put(u"C:\\app\\a.ini", "; keep me\r\n[One]\r\nx=1\r\n\r\n[Two]\r\ny=2\r\n");
    EXPECT_TRUE(WritePrivateProfileStringW(u"one", u"X", u"10", u"C:\\app\\a.ini"));
    EXPECT_TRUE(WritePrivateProfileStringW(u"One", u"z", u"3", u"C:\\app\\a.ini"));
    EXPECT_TRUE(WritePrivateProfileStringW(u"Two", u"y", nullptr, u"C:\\app\\a.ini"));
    EXPECT_TRUE(WritePrivateProfileStringA("Three", "w", "4", "C:\\app\\a.ini"));
    EXPECT_EQ(*sim::files().Bytes(u"C:\\app\\a.ini"),
              "; keep me\r\n[One]\r\nX=10\r\nz=3\r\n\r\n[Two]\r\n[Three]\r\nw=4\r\n");
    EXPECT_TRUE(WritePrivateProfileStringW(u"Two", nullptr, nullptr, u"C:\\app\\a.ini"));
    EXPECT_EQ(GetPrivateProfileIntW(u"Three", u"w", 0, u"C:\\app\\a.ini"), 4u);
    EXPECT_EQ(sim::files().Bytes(u"C:\\app\\a.ini")->find("[Two]"), std::string::npos);
    EXPECT_TRUE(WritePrivateProfileStringW(nullptr, nullptr, nullptr, nullptr)) << "a flush";

    SetLastError(0);
    EXPECT_FALSE(WritePrivateProfileStringW(u"S", u"k", u"v", u"C:\\missing\\b.ini"));
    EXPECT_EQ(GetLastError(), static_cast<DWORD>(ERROR_PATH_NOT_FOUND));

    // A UTF-16 file stays UTF-16.
    sim::files().Put(u"C:\\app\\w.ini", std::string("\xFF\xFE[\0S\0]\0", 8));
    EXPECT_TRUE(WritePrivateProfileStringW(u"S", u"\u00e9", u"\u65e5", u"C:\\app\\w.ini"));
    std::string bytes = *sim::files().Bytes(u"C:\\app\\w.ini");
    EXPECT_EQ(bytes.substr(0, 2), "\xFF\xFE");
    char16_t value[4];
    EXPECT_EQ(GetPrivateProfileStringW(u"s", u"\u00c9", u"", value, 4, u"C:\\app\\w.ini"), 1u);
    EXPECT_EQ(value[0], u'\u65e5');
}
} // namespace
