#include <gtest/gtest.h>

#include <sim/machine.h>

#include <filesystem>
#include <fstream>

namespace
{
TEST(Files, NamesCompareWithoutCaseAndStayInsideTheSandbox)
{
    sim::files().Put(u"C:\\Data\\Report.TXT", "hello");
    EXPECT_EQ(sim::files().Bytes(u"c:/DATA/report.txt"), "hello");
    EXPECT_EQ(sim::files().Bytes(u"C:\\Data\\Report.TXT. . "), "hello")
        << "trailing dots and blanks are dropped";
    EXPECT_EQ(sim::files().HostPath(u"C:\\..\\..\\..\\etc\\passwd"),
              sim::files().HostPath(u"C:\\etc\\passwd"));
    EXPECT_EQ(sim::files().HostPath(u"d:\\x").parent_path(), sim::files().Sandbox() / "D");

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
    sim::processes().SetCallingProgram(u"C:\\App\\prog.exe", u"prog");
    sim::files().Put(u"C:\\App\\sub\\a.bin", "x");
    EXPECT_EQ(GetFileAttributesW(u"sub\\a.bin"), static_cast<DWORD>(FILE_ATTRIBUTE_ARCHIVE));
    EXPECT_EQ(GetFileAttributesW(u"..\\App\\SUB"), static_cast<DWORD>(FILE_ATTRIBUTE_DIRECTORY));
}

TEST(Files, DispositionsSharingAndErrors)
{
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
    EXPECT_FALSE(sim::files().Exists(u"C:\\f"));

    sim::faults().FailNext("WriteFile", ERROR_WRITE_FAULT);
    HANDLE f = open(u"C:\\g", GENERIC_WRITE, 0, CREATE_ALWAYS);
    EXPECT_FALSE(WriteFile(f, "a", 1, &written, nullptr));
    EXPECT_EQ(GetLastError(), static_cast<DWORD>(ERROR_WRITE_FAULT));
    EXPECT_EQ(written, 0u);
    CloseHandle(f);
}

// Windows keeps a read-only file from DeleteFileW, but a move (a rename there) takes it along.
TEST(Files, AReadOnlyFileIsNotDeletedButMoves)
{
    sim::files().Put(u"C:\\T\\locked.ini", "kept");
    sim::files().Put(u"C:\\T\\other.ini", "other");
    ASSERT_TRUE(SetFileAttributesW(u"C:\\T\\locked.ini", FILE_ATTRIBUTE_READONLY));

    SetLastError(0);
    EXPECT_FALSE(DeleteFileW(u"C:\\T\\locked.ini"));
    EXPECT_EQ(GetLastError(), static_cast<DWORD>(ERROR_ACCESS_DENIED));
    EXPECT_FALSE(DeleteFileA("C:\\T\\LOCKED.INI"));
    EXPECT_EQ(sim::files().Bytes(u"C:\\T\\locked.ini"), "kept");

    SetLastError(0);
    EXPECT_FALSE(MoveFileExA("C:\\T\\other.ini", "C:\\T\\locked.ini", MOVEFILE_REPLACE_EXISTING));
    EXPECT_EQ(GetLastError(), static_cast<DWORD>(ERROR_ACCESS_DENIED));
    EXPECT_EQ(sim::files().Bytes(u"C:\\T\\locked.ini"), "kept");
    EXPECT_EQ(sim::files().Bytes(u"C:\\T\\other.ini"), "other");

    ASSERT_TRUE(MoveFileExA("C:\\T\\locked.ini", "C:\\T\\moved.ini", 0));
    EXPECT_FALSE(sim::files().Exists(u"C:\\T\\locked.ini"));
    EXPECT_EQ(sim::files().Bytes(u"C:\\T\\moved.ini"), "kept");
    EXPECT_TRUE(GetFileAttributesW(u"C:\\T\\moved.ini") & FILE_ATTRIBUTE_READONLY);

    ASSERT_TRUE(SetFileAttributesW(u"C:\\T\\moved.ini", FILE_ATTRIBUTE_NORMAL));
    EXPECT_TRUE(DeleteFileW(u"C:\\T\\moved.ini"));
    EXPECT_FALSE(sim::files().Exists(u"C:\\T\\moved.ini"));
}

// Names are looked up from what each folder was seen to hold; whoever changes a folder, through the
// machine or on the host, the next lookup must see the change under any case.
TEST(Files, NamesStayExactWhoeverChangesTheFolder)
{
    namespace fs = std::filesystem;
    auto found = [](const char16_t* name) { return GetFileAttributesW(name) != INVALID_FILE_ATTRIBUTES; };
    const fs::path c = sim::files().Sandbox() / "C";

    sim::files().Put(u"C:\\Jobs\\Page.kgl", "1");
    EXPECT_TRUE(found(u"c:\\JOBS\\page.KGL"));
    EXPECT_FALSE(found(u"C:\\jobs\\Other.kgl"));

    std::ofstream(c / "Jobs" / "Other.kgl") << "2"; // written on the host
    EXPECT_TRUE(found(u"C:\\jobs\\OTHER.KGL"));
    fs::rename(c / "Jobs" / "Page.kgl", c / "Jobs" / "Moved.kgl");
    EXPECT_FALSE(found(u"C:\\JOBS\\PAGE.KGL"));
    EXPECT_EQ(sim::files().Bytes(u"c:\\jobs\\moved.KGL"), "1");
    EXPECT_TRUE(DeleteFileW(u"C:\\JOBS\\MOVED.KGL"));
    EXPECT_FALSE(found(u"C:\\Jobs\\Moved.kgl"));
    HANDLE h = CreateFileW(u"C:\\JOBS\\New.kgl", GENERIC_WRITE, 0, nullptr, CREATE_NEW, 0, nullptr);
    ASSERT_NE(h, INVALID_HANDLE_VALUE);
    CloseHandle(h);
    EXPECT_TRUE(found(u"C:\\jobs\\new.kgl"));

    // A folder moved away and another made in its place under another case.
    fs::rename(c / "Jobs", c / "Old");
    EXPECT_FALSE(found(u"C:\\JOBS\\NEW.KGL"));
    EXPECT_TRUE(found(u"C:\\old\\NEW.KGL"));
    EXPECT_TRUE(CreateDirectoryW(u"C:\\JOBS", nullptr));
    sim::files().Put(u"C:\\jobs\\Fresh.kgl");
    EXPECT_FALSE(found(u"C:\\Jobs\\New.kgl"));
    EXPECT_TRUE(found(u"C:\\Jobs\\FRESH.kgl"));
    EXPECT_TRUE(DeleteFileW(u"C:\\jobs\\fresh.kgl"));
    EXPECT_TRUE(RemoveDirectoryW(u"c:\\jobs"));
    EXPECT_FALSE(found(u"C:\\JOBS"));

    // A folder reached through a link: what the link leads to changes above the folder.
    fs::create_directories(sim::files().Sandbox() / "D" / "One" / "Box");
    std::ofstream(sim::files().Sandbox() / "D" / "One" / "Box" / "First.kgl") << "1";
    fs::create_directory_symlink(sim::files().Sandbox() / "D" / "One" / "Box", c / "Link");
    EXPECT_TRUE(found(u"C:\\LINK\\FIRST.KGL"));
    fs::rename(sim::files().Sandbox() / "D" / "One", sim::files().Sandbox() / "D" / "Two");
    fs::create_directories(sim::files().Sandbox() / "D" / "One" / "Box");
    std::ofstream(sim::files().Sandbox() / "D" / "One" / "Box" / "Second.kgl") << "2";
    EXPECT_FALSE(found(u"C:\\link\\first.kgl"));
    EXPECT_TRUE(found(u"C:\\link\\second.kgl"));
}
} // namespace
