#include <gtest/gtest.h>

#include <platform/crt.h>
#include <sim/machine.h>

#include <functional>

namespace
{
constexpr DWORD kMarked = FILE_ATTRIBUTE_HIDDEN | FILE_ATTRIBUTE_SYSTEM | FILE_ATTRIBUTE_READONLY;

DWORD Attributes(const WCHAR* path)
{
    return GetFileAttributesW(path);
}

bool MakeNew(const WCHAR* path, DWORD attributes = FILE_ATTRIBUTE_NORMAL)
{
    HANDLE h = CreateFileW(path, GENERIC_WRITE, 0, nullptr, CREATE_NEW, attributes, nullptr);
    if (h == INVALID_HANDLE_VALUE)
        return false;
    DWORD written = 0;
    bool ok = WriteFile(h, "new", 3, &written, nullptr) && written == 3;
    CloseHandle(h);
    return ok;
}

// A file's attributes are the file's: whichever way it leaves its path, a new file there starts
// plain, and a move takes them along.
TEST(FileAttributes, GoWithTheFileWhenItLeavesItsPath)
{
    const WCHAR* path = u"C:\\T\\marked.ini";
    const struct
    {
        const char* how;
        std::function<bool()> leave;
        const WCHAR* movedTo; // where the file went, or null when it is gone
    } ways[] = {
        {"deleted",
         [&] {
             return SetFileAttributesW(path, FILE_ATTRIBUTE_HIDDEN | FILE_ATTRIBUTE_SYSTEM) &&
                    DeleteFileW(path);
         },
         nullptr},
        {"moved", [&] { return MoveFileExA("C:\\T\\marked.ini", "C:\\T\\moved.ini", 0) != FALSE; },
         u"C:\\T\\moved.ini"},
        {"renamed", [&] { return _wrename(path, u"C:\\T\\renamed.ini") == 0; }, u"C:\\T\\renamed.ini"},
    };
    for (const auto& way : ways)
    {
        SCOPED_TRACE(way.how);
        sim::files().Put(path, "old");
        ASSERT_TRUE(SetFileAttributesW(path, kMarked));
        ASSERT_EQ(Attributes(path) & kMarked, kMarked);
        if (!way.movedTo) // a read-only file is not deleted
        {
            ASSERT_TRUE(SetFileAttributesW(path, FILE_ATTRIBUTE_NORMAL));
        }
        ASSERT_TRUE(way.leave());
        EXPECT_EQ(Attributes(path), INVALID_FILE_ATTRIBUTES);
        if (way.movedTo)
        {
            EXPECT_EQ(Attributes(way.movedTo) & kMarked, kMarked);
            EXPECT_EQ(sim::files().Bytes(way.movedTo), "old");
        }
        ASSERT_TRUE(MakeNew(path));
        EXPECT_EQ(Attributes(path), DWORD{FILE_ATTRIBUTE_ARCHIVE});
        ASSERT_TRUE(DeleteFileW(path));
        sim::files().Put(path, "put");
        EXPECT_EQ(Attributes(path), DWORD{FILE_ATTRIBUTE_ARCHIVE});
        ASSERT_TRUE(DeleteFileW(path));
    }
}

// A folder's attributes, and those of what it holds, move with it and go when it goes.
TEST(FileAttributes, AFolderTakesItsOwnAndItsFilesAlong)
{
    sim::files().Put(u"C:\\Old\\inside.dat", "x");
    ASSERT_TRUE(SetFileAttributesW(u"C:\\Old", FILE_ATTRIBUTE_HIDDEN));
    ASSERT_TRUE(SetFileAttributesW(u"C:\\Old\\inside.dat", FILE_ATTRIBUTE_SYSTEM));
    ASSERT_EQ(_wrename(u"C:\\Old", u"C:\\New"), 0);
    EXPECT_EQ(Attributes(u"C:\\New"), DWORD{FILE_ATTRIBUTE_DIRECTORY | FILE_ATTRIBUTE_HIDDEN});
    EXPECT_EQ(Attributes(u"C:\\New\\inside.dat"), DWORD{FILE_ATTRIBUTE_ARCHIVE | FILE_ATTRIBUTE_SYSTEM});

    ASSERT_TRUE(CreateDirectoryW(u"C:\\Old", nullptr));
    EXPECT_EQ(Attributes(u"C:\\Old"), DWORD{FILE_ATTRIBUTE_DIRECTORY});
    ASSERT_TRUE(MakeNew(u"C:\\Old\\inside.dat"));
    EXPECT_EQ(Attributes(u"C:\\Old\\inside.dat"), DWORD{FILE_ATTRIBUTE_ARCHIVE});

    ASSERT_TRUE(DeleteFileW(u"C:\\New\\inside.dat"));
    ASSERT_TRUE(RemoveDirectoryW(u"C:\\New"));
    ASSERT_TRUE(CreateDirectoryW(u"C:\\New", nullptr));
    EXPECT_EQ(Attributes(u"C:\\New"), DWORD{FILE_ATTRIBUTE_DIRECTORY});
}

// CreateFileW gives a new file the attributes asked for, and will not overwrite a hidden or system
// file unless asked for them too; a search reports them.
TEST(FileAttributes, CreateFileAsksForThem)
{
    const WCHAR* path = u"C:\\T\\made.ini";
    sim::files().Put(u"C:\\T\\plain.ini", "");
    ASSERT_TRUE(MakeNew(path, FILE_ATTRIBUTE_HIDDEN | FILE_ATTRIBUTE_READONLY)) << "the handle still writes";
    EXPECT_EQ(Attributes(path),
              DWORD{FILE_ATTRIBUTE_ARCHIVE | FILE_ATTRIBUTE_HIDDEN | FILE_ATTRIBUTE_READONLY});
    ASSERT_TRUE(SetFileAttributesW(path, FILE_ATTRIBUTE_HIDDEN));

    const struct
    {
        DWORD attributes;
        bool opens;
    } overwrites[] = {
        {FILE_ATTRIBUTE_NORMAL, false}, {FILE_ATTRIBUTE_SYSTEM, false}, {FILE_ATTRIBUTE_HIDDEN, true}};
    for (const auto& o : overwrites)
    {
        SCOPED_TRACE(o.attributes);
        SetLastError(ERROR_SUCCESS);
        HANDLE h = CreateFileW(path, GENERIC_WRITE, 0, nullptr, CREATE_ALWAYS, o.attributes, nullptr);
        EXPECT_EQ(h != INVALID_HANDLE_VALUE, o.opens);
        EXPECT_EQ(GetLastError(), o.opens ? DWORD{ERROR_ALREADY_EXISTS} : DWORD{ERROR_ACCESS_DENIED});
        if (h != INVALID_HANDLE_VALUE)
            CloseHandle(h);
        EXPECT_EQ(Attributes(path), DWORD{FILE_ATTRIBUTE_ARCHIVE | FILE_ATTRIBUTE_HIDDEN});
    }

    WIN32_FIND_DATAW found{};
    HANDLE search = FindFirstFileW(u"C:\\T\\*.ini", &found);
    ASSERT_NE(search, INVALID_HANDLE_VALUE);
    EXPECT_EQ(WString(found.cFileName), u"made.ini");
    EXPECT_EQ(found.dwFileAttributes, DWORD{FILE_ATTRIBUTE_ARCHIVE | FILE_ATTRIBUTE_HIDDEN});
    ASSERT_TRUE(FindNextFileW(search, &found));
    EXPECT_EQ(found.dwFileAttributes, DWORD{FILE_ATTRIBUTE_ARCHIVE});
    FindClose(search);
}
} // namespace
