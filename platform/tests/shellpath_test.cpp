#include <gtest/gtest.h>

#include <platform/shlwapi.h>
#include <sim/machine.h>

namespace
{
TEST(ShellPath, CharacterClasses)
{
    struct Row
    {
        WCHAR c;
        UINT type;
    };
    const Row rows[] = {{u'a', GCT_LFNCHAR | GCT_SHORTCHAR},
                        {u'~', GCT_LFNCHAR | GCT_SHORTCHAR},
                        {u'.', GCT_LFNCHAR | GCT_SHORTCHAR},
                        {u' ', GCT_LFNCHAR},
                        {u'+', GCT_LFNCHAR},
                        {u'[', GCT_LFNCHAR},
                        {u'*', GCT_WILD},
                        {u'?', GCT_WILD},
                        {u'\\', GCT_SEPARATOR},
                        {u'/', GCT_SEPARATOR},
                        {u':', GCT_SEPARATOR},
                        {u'|', GCT_INVALID},
                        {u'"', GCT_INVALID},
                        {0x1F, GCT_INVALID},
                        {0x3042, GCT_LFNCHAR}};
    for (const Row& r : rows)
        EXPECT_EQ(PathGetCharTypeW(r.c), r.type) << static_cast<int>(r.c);
}

TEST(ShellPath, FullPathNamesAndPredicates)
{
    sim::processes().SetCallingProgram(u"C:\\App\\a.exe", u"a");
    sim::files().Put(u"C:\\App\\Data\\f.txt");
    WCHAR buf[MAX_PATH];
    LPWSTR part = nullptr;
    EXPECT_EQ(GetFullPathNameW(u"Data\\..\\Data\\f.txt", MAX_PATH, buf, &part), 17u);
    EXPECT_EQ(WString(buf), u"C:\\App\\Data\\f.txt");
    EXPECT_EQ(WString(part), u"f.txt");
    EXPECT_EQ(GetFullPathNameW(u"Data\\", MAX_PATH, buf, nullptr), 12u);
    EXPECT_EQ(WString(buf), u"C:\\App\\Data\\");
    EXPECT_EQ(GetFullPathNameW(u"Data", 5, buf, nullptr), 12u)
        << "too small: the size needed with terminator";

    EXPECT_TRUE(PathFileExistsW(u"c:\\app\\DATA\\F.TXT"));
    EXPECT_TRUE(PathIsDirectoryW(u"C:\\App\\Data"));
    EXPECT_FALSE(PathIsDirectoryW(u"C:\\App\\Data\\f.txt"));
    EXPECT_FALSE(PathFileExistsW(u"C:\\App\\nothing"));
}
} // namespace
