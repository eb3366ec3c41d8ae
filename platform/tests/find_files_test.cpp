#include <gtest/gtest.h>

#include <sim/machine.h>

#include <string>
#include <vector>

namespace
{
std::vector<WString> Find(const WString& pattern)
{
    std::vector<WString> names;
    WIN32_FIND_DATAW data{};
    HANDLE search = FindFirstFileW(pattern.c_str(), &data);
    if (search == INVALID_HANDLE_VALUE)
        return names;
    do
        names.emplace_back(data.cFileName);
    while (FindNextFileW(search, &data));
    EXPECT_EQ(GetLastError(), DWORD{ERROR_NO_MORE_FILES});
    EXPECT_TRUE(FindClose(search));
    return names;
}

TEST(FindFilesTest, MatchesStarsAndQuestionMarksWithoutCase)
{
    for (const char16_t* name : {u"oem1.inf", u"OEM12.INF", u"oem2.pnf", u"other.inf", u"oem.inf", u"readme"})
        sim::files().Put(WString(u"C:\\Windows\\INF\\") + name, "x");
    sim::files().Put(u"C:\\Windows\\INF\\sub\\oem9.inf", "x");
    struct Case
    {
        const char16_t* pattern;
        std::vector<WString> expected;
    } cases[] = {
        {u"C:\\Windows\\INF\\OEM*.INF", {u"oem.inf", u"oem1.inf", u"OEM12.INF"}},
        {u"C:\\Windows\\INF\\oem?.inf", {u"oem1.inf"}},
        {u"C:\\Windows\\INF\\*o*", {u"oem.inf", u"oem1.inf", u"OEM12.INF", u"oem2.pnf", u"other.inf"}},
        {u"C:\\Windows\\INF\\readme.*", {u"readme"}},
        {u"C:\\Windows\\INF\\s*", {u"sub"}},
        {u"C:\\Windows\\INF\\*",
         {u".", u"..", u"oem.inf", u"oem1.inf", u"OEM12.INF", u"oem2.pnf", u"other.inf", u"readme", u"sub"}},
        {u"C:\\Windows\\INF\\*.cat", {}},
    };
    for (const Case& c : cases)
        EXPECT_EQ(Find(c.pattern), c.expected)
            << std::string(c.pattern, c.pattern + std::char_traits<char16_t>::length(c.pattern));

    WIN32_FIND_DATAW data{};
    EXPECT_EQ(FindFirstFileW(u"C:\\Windows\\INF\\*.cat", &data), INVALID_HANDLE_VALUE);
    EXPECT_EQ(GetLastError(), DWORD{ERROR_FILE_NOT_FOUND});
    EXPECT_EQ(FindFirstFileW(u"C:\\Nowhere\\*", &data), INVALID_HANDLE_VALUE);
    EXPECT_EQ(GetLastError(), DWORD{ERROR_PATH_NOT_FOUND});
    HANDLE folder = FindFirstFileW(u"C:\\Windows\\INF\\sub", &data);
    ASSERT_NE(folder, INVALID_HANDLE_VALUE);
    EXPECT_TRUE(data.dwFileAttributes & FILE_ATTRIBUTE_DIRECTORY);
    EXPECT_TRUE(FindClose(folder));
}

} // namespace
