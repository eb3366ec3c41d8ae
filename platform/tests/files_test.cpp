#include <gtest/gtest.h>

#include <sim/machine.h>

namespace
{
TEST(Files, NamesCompareWithoutCaseAndStayInsideTheSandbox)
{
    auto& m = sim::machine();
    m.PutFile(u"C:\\Data\\Report.TXT", "hello");
    EXPECT_EQ(m.FileBytes(u"c:/DATA/report.txt"), "hello");
    EXPECT_EQ(m.FileBytes(u"C:\\Data\\Report.TXT. . "), "hello") << "trailing dots and blanks are dropped";
    EXPECT_EQ(m.HostPath(u"C:\\..\\..\\..\\etc\\passwd"), m.HostPath(u"C:\\etc\\passwd"));
    EXPECT_EQ(m.HostPath(u"d:\\x").parent_path(), m.Sandbox() / "D");

    HANDLE h = CreateFileW(u"C:\\DATA\\REPORT.txt", GENERIC_READ, FILE_SHARE_READ, nullptr, OPEN_EXISTING, 0,
                           nullptr);
    ASSERT_NE(h, INVALID_HANDLE_VALUE);
    char buf[16] = {};
    DWORD read = 0;
    ASSERT_TRUE(ReadFile(h, buf, sizeof buf, &read, nullptr));
    EXPECT_EQ(std::string(buf, read), "hello");
    EXPECT_EQ(GetFileSize(h, nullptr), 5u);
    CloseHandle(h);
}

TEST(Files, RelativeNamesUseTheCurrentFolder)
{
    auto& m = sim::machine();
    m.SetCallingProgram(u"C:\\App\\prog.exe", u"prog");
    m.PutFile(u"C:\\App\\sub\\a.bin", "x");
    EXPECT_EQ(GetFileAttributesW(u"sub\\a.bin"), static_cast<DWORD>(FILE_ATTRIBUTE_ARCHIVE));
    EXPECT_EQ(GetFileAttributesW(u"..\\App\\SUB"), static_cast<DWORD>(FILE_ATTRIBUTE_DIRECTORY));
}

TEST(Files, DispositionsSharingAndErrors)
{
    auto& m = sim::machine();
    auto open = [](const char16_t* name, DWORD access, DWORD share, DWORD disposition) {
        SetLastError(0xDEAD);
        return CreateFileW(name, access, share, nullptr, disposition, 0, nullptr);
    };
    EXPECT_EQ(open(u"C:\\Missing\\f", GENERIC_WRITE, 0, CREATE_ALWAYS), INVALID_HANDLE_VALUE);
    EXPECT_EQ(GetLastError(), static_cast<DWORD>(ERROR_PATH_NOT_FOUND));
    EXPECT_EQ(open(u"C:\\f", GENERIC_READ, 0, OPEN_EXISTING), INVALID_HANDLE_VALUE);
    EXPECT_EQ(GetLastError(), static_cast<DWORD>(ERROR_FILE_NOT_FOUND));

    HANDLE w = open(u"C:\\f", GENERIC_WRITE, FILE_SHARE_READ, CREATE_NEW);
    ASSERT_NE(w, INVALID_HANDLE_VALUE);
    DWORD written = 0;
    ASSERT_TRUE(WriteFile(w, "abc", 3, &written, nullptr));
    EXPECT_EQ(written, 3u);
    EXPECT_EQ(open(u"C:\\F", GENERIC_WRITE, 0, CREATE_NEW), INVALID_HANDLE_VALUE);
    EXPECT_EQ(GetLastError(), static_cast<DWORD>(ERROR_FILE_EXISTS));
    EXPECT_EQ(open(u"C:\\F", GENERIC_WRITE, FILE_SHARE_READ | FILE_SHARE_WRITE, OPEN_EXISTING),
              INVALID_HANDLE_VALUE);
    EXPECT_EQ(GetLastError(), static_cast<DWORD>(ERROR_SHARING_VIOLATION));
    HANDLE r = open(u"C:\\F", GENERIC_READ, FILE_SHARE_READ | FILE_SHARE_WRITE, OPEN_EXISTING);
    EXPECT_NE(r, INVALID_HANDLE_VALUE);
    EXPECT_FALSE(DeleteFileW(u"C:\\f"));
    EXPECT_EQ(GetLastError(), static_cast<DWORD>(ERROR_SHARING_VIOLATION));
    CloseHandle(r);
    CloseHandle(w);
    EXPECT_TRUE(DeleteFileW(u"C:\\f"));
    EXPECT_FALSE(m.FileExists(u"C:\\f"));

    m.FailNext("WriteFile", ERROR_WRITE_FAULT);
    HANDLE f = open(u"C:\\g", GENERIC_WRITE, 0, CREATE_ALWAYS);
    EXPECT_FALSE(WriteFile(f, "a", 1, &written, nullptr));
    EXPECT_EQ(GetLastError(), static_cast<DWORD>(ERROR_WRITE_FAULT));
    EXPECT_EQ(written, 0u);
    CloseHandle(f);
}
} // namespace
