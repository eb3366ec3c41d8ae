#include <gtest/gtest.h>

#include <platform/windows.h>
#include <sim/machine.h>

namespace
{
WString Call(const WString& folder, UINT unique, UINT* result)
{
    WCHAR name[MAX_PATH] = {};
    *result = GetTempFileNameW(folder.c_str(), u"vqx9", unique, name);
    return WString(name);
}

TEST(TempFileName, MakesAUniqueEmptyFileInFoldersUpToTheLimit)
{
    const WString folder = u"C:\\" + WString(MAX_PATH - 14 - 3, u't'); // 246 characters
    ASSERT_TRUE(CreateDirectoryW(folder.c_str(), nullptr));
    UINT first = 0, second = 0;
    WString a = Call(folder, 0, &first);
    WString b = Call(folder, 0, &second);
    ASSERT_NE(first, 0u);
    ASSERT_NE(second, 0u);
    EXPECT_NE(a, b);
    for (const WString& name : {a, b})
    {
        EXPECT_EQ(name.rfind(folder + u"\\vqx", 0), 0u) << "three characters of the prefix";
        EXPECT_EQ(name.substr(name.size() - 4), u".TMP");
        EXPECT_NE(GetFileAttributesW(name.c_str()), INVALID_FILE_ATTRIBUTES) << "the file is made";
    }

    // A number of the caller's own is only formatted.
    UINT given = 0;
    WString named = Call(folder, 0x1A2B, &given);
    EXPECT_EQ(given, 0x1A2Bu);
    EXPECT_EQ(named, folder + u"\\vqx1A2B.TMP");
    EXPECT_EQ(GetFileAttributesW(named.c_str()), INVALID_FILE_ATTRIBUTES);
}

TEST(TempFileName, RefusesLongFoldersMissingFoldersAndFaults)
{
    struct Case
    {
        WString folder;
        DWORD error;
    } cases[] = {
        {u"C:\\" + WString(MAX_PATH - 14 - 2, u't'), ERROR_BUFFER_OVERFLOW}, // 247: refused before any file
        {u"C:\\Missing", ERROR_PATH_NOT_FOUND},
    };
    for (const Case& c : cases)
    {
        UINT result = 1;
        SetLastError(0);
        Call(c.folder, 0, &result);
        EXPECT_EQ(result, 0u) << c.folder.size();
        EXPECT_EQ(GetLastError(), c.error) << c.folder.size();
    }
    ASSERT_TRUE(CreateDirectoryW(u"C:\\Temp2", nullptr));
    sim::faults().FailNext("GetTempFileNameW", ERROR_ACCESS_DENIED);
    UINT result = 1;
    Call(u"C:\\Temp2", 0, &result);
    EXPECT_EQ(result, 0u);
    EXPECT_EQ(GetLastError(), static_cast<DWORD>(ERROR_ACCESS_DENIED));
}
} // namespace
