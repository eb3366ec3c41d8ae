#include <gtest/gtest.h>

#include <sim/machine.h>

#include <cstring>
#include <string>

namespace
{
HANDLE OpenRead(const char16_t* name)
{
    return CreateFileW(name, GENERIC_READ, FILE_SHARE_READ, nullptr, OPEN_EXISTING, 0, nullptr);
}

TEST(Mapping, ViewsStartOnTheAllocationGranularityAndStayInsideTheSection)
{
    SYSTEM_INFO info{};
    GetSystemInfo(&info);
    ASSERT_EQ(info.dwAllocationGranularity, 65536u);

    std::string bytes(190000, '\0');
    for (size_t i = 0; i < bytes.size(); ++i)
        bytes[i] = static_cast<char>(i * 7);
    sim::files().Put(u"C:\\data.bin", bytes);
    HANDLE file = OpenRead(u"C:\\data.bin");
    ASSERT_NE(file, INVALID_HANDLE_VALUE);
    HANDLE section = CreateFileMappingW(file, nullptr, PAGE_READONLY, 0, 0, nullptr);
    ASSERT_NE(section, nullptr);
    CloseHandle(file); // the section keeps the file

    EXPECT_EQ(MapViewOfFile(section, FILE_MAP_READ, 0, 4096, 10), nullptr);
    EXPECT_EQ(GetLastError(), static_cast<DWORD>(ERROR_MAPPED_ALIGNMENT));
    EXPECT_EQ(MapViewOfFile(section, FILE_MAP_READ, 0, 196608, 10), nullptr) << "starts past the end";
    EXPECT_EQ(GetLastError(), static_cast<DWORD>(ERROR_ACCESS_DENIED));
    EXPECT_EQ(MapViewOfFile(section, FILE_MAP_READ, 0, 131072, 70000), nullptr) << "ends past the end";
    EXPECT_EQ(MapViewOfFile(section, FILE_MAP_WRITE, 0, 0, 0), nullptr) << "read-only section";
    EXPECT_EQ(GetLastError(), static_cast<DWORD>(ERROR_ACCESS_DENIED));

    auto* tail = static_cast<const unsigned char*>(MapViewOfFile(section, FILE_MAP_READ, 0, 131072, 0));
    ASSERT_NE(tail, nullptr);
    EXPECT_EQ(tail[190000 - 131072 - 1], static_cast<unsigned char>((190000 - 1) * 7));
    EXPECT_TRUE(UnmapViewOfFile(tail));
    EXPECT_FALSE(UnmapViewOfFile(tail));
    EXPECT_EQ(GetLastError(), static_cast<DWORD>(ERROR_INVALID_ADDRESS));
    CloseHandle(section);
}

TEST(Mapping, SectionSizesAgainstTheFile)
{
    sim::files().Put(u"C:\\empty.bin");
    sim::files().Put(u"C:\\small.bin", "abc");
    HANDLE empty = OpenRead(u"C:\\empty.bin");
    EXPECT_EQ(CreateFileMappingW(empty, nullptr, PAGE_READONLY, 0, 0, nullptr), nullptr);
    EXPECT_EQ(GetLastError(), static_cast<DWORD>(ERROR_FILE_INVALID));
    CloseHandle(empty);

    HANDLE small = OpenRead(u"C:\\small.bin");
    EXPECT_EQ(CreateFileMappingW(small, nullptr, PAGE_READONLY, 0, 100, nullptr), nullptr)
        << "a read-only section cannot be larger than its file";
    EXPECT_EQ(CreateFileMappingW(small, nullptr, PAGE_READWRITE, 0, 0, nullptr), nullptr)
        << "a writable section needs a writable file";
    EXPECT_EQ(GetLastError(), static_cast<DWORD>(ERROR_ACCESS_DENIED));
    CloseHandle(small);

    HANDLE rw =
        CreateFileW(u"C:\\small.bin", GENERIC_READ | GENERIC_WRITE, 0, nullptr, OPEN_EXISTING, 0, nullptr);
    HANDLE grown = CreateFileMappingW(rw, nullptr, PAGE_READWRITE, 0, 65536 + 10, nullptr);
    ASSERT_NE(grown, nullptr);
    auto* p = static_cast<char*>(MapViewOfFile(grown, FILE_MAP_WRITE, 0, 65536, 0));
    ASSERT_NE(p, nullptr);
    std::memcpy(p + 6, "xyzw", 4);
    EXPECT_TRUE(FlushViewOfFile(p, 0));
    EXPECT_TRUE(UnmapViewOfFile(p));
    CloseHandle(grown);
    CloseHandle(rw);
    auto bytes = sim::files().Bytes(u"C:\\small.bin");
    ASSERT_TRUE(bytes);
    EXPECT_EQ(bytes->size(), 65536u + 10) << "the writable section grew its file";
    EXPECT_EQ(bytes->substr(0, 3), "abc");
    EXPECT_EQ(bytes->substr(65536 + 6), "xyzw");
}

TEST(Mapping, AViewOfAFileThatShrankNeverReadsPastIt)
{
    sim::files().Put(u"C:\\shrinks.bin", std::string(150000, 'a'));
    HANDLE file = OpenRead(u"C:\\shrinks.bin");
    HANDLE section = CreateFileMappingW(file, nullptr, PAGE_READONLY, 0, 0, nullptr);
    ASSERT_NE(section, nullptr);
    sim::files().Put(u"C:\\shrinks.bin", "bb"); // truncated behind the section's back
    auto* view = static_cast<const char*>(MapViewOfFile(section, FILE_MAP_READ, 0, 65536, 0));
    ASSERT_NE(view, nullptr);
    EXPECT_EQ(view[150000 - 65536 - 1], 0) << "bytes the file no longer has read as zero";
    UnmapViewOfFile(view);
    CloseHandle(section);
    CloseHandle(file);

    // Opened anew, the file is what it is now.
    file = OpenRead(u"C:\\shrinks.bin");
    section = CreateFileMappingW(file, nullptr, PAGE_READONLY, 0, 0, nullptr);
    ASSERT_NE(section, nullptr);
    EXPECT_EQ(MapViewOfFile(section, FILE_MAP_READ, 0, 65536, 0), nullptr);
    auto* whole = static_cast<const char*>(MapViewOfFile(section, FILE_MAP_READ, 0, 0, 0));
    ASSERT_NE(whole, nullptr);
    EXPECT_EQ(std::string(whole, 2), "bb");
    UnmapViewOfFile(whole);
    CloseHandle(section);
    CloseHandle(file);
}

TEST(Mapping, NamedPageFileSectionsAreSharedMachineWide)
{
    EXPECT_EQ(CreateFileMappingW(INVALID_HANDLE_VALUE, nullptr, PAGE_READWRITE, 0, 0, u"Local\\Shared"),
              nullptr);
    EXPECT_EQ(GetLastError(), static_cast<DWORD>(ERROR_INVALID_PARAMETER)) << "the page file needs a size";
    EXPECT_EQ(OpenFileMappingW(FILE_MAP_READ, FALSE, u"Local\\Shared"), nullptr);
    EXPECT_EQ(GetLastError(), static_cast<DWORD>(ERROR_FILE_NOT_FOUND));

    HANDLE first =
        CreateFileMappingW(INVALID_HANDLE_VALUE, nullptr, PAGE_READWRITE, 0, 4096, u"Local\\Shared");
    ASSERT_NE(first, nullptr);
    EXPECT_EQ(GetLastError(), static_cast<DWORD>(ERROR_SUCCESS));
    HANDLE again =
        CreateFileMappingW(INVALID_HANDLE_VALUE, nullptr, PAGE_READWRITE, 0, 4096, u"Local\\Shared");
    ASSERT_NE(again, nullptr);
    EXPECT_EQ(GetLastError(), static_cast<DWORD>(ERROR_ALREADY_EXISTS));
    HANDLE otherCase =
        CreateFileMappingW(INVALID_HANDLE_VALUE, nullptr, PAGE_READWRITE, 0, 4096, u"local\\SHARED");
    ASSERT_NE(otherCase, nullptr);
    EXPECT_EQ(GetLastError(), static_cast<DWORD>(ERROR_SUCCESS)) << "kernel object names compare with case";
    CloseHandle(otherCase);
    HANDLE opened = OpenFileMappingW(FILE_MAP_WRITE, FALSE, u"Local\\Shared");
    ASSERT_NE(opened, nullptr);
    HANDLE reader = OpenFileMappingW(FILE_MAP_READ, FALSE, u"Local\\Shared");
    ASSERT_NE(reader, nullptr);
    EXPECT_EQ(MapViewOfFile(reader, FILE_MAP_WRITE, 0, 0, 0), nullptr) << "opened for reading only";

    auto* a = static_cast<char*>(MapViewOfFile(first, FILE_MAP_ALL_ACCESS, 0, 0, 0));
    auto* b = static_cast<char*>(MapViewOfFile(opened, FILE_MAP_WRITE, 0, 0, 0));
    ASSERT_NE(a, nullptr);
    ASSERT_NE(b, nullptr);
    EXPECT_NE(a, b) << "two views, two addresses";
    std::strcpy(a, "from a");
    EXPECT_STREQ(b, "from a");
    b[0] = 'F';
    EXPECT_EQ(a[0], 'F');

    // The name lives while a handle does; the views keep only the memory.
    CloseHandle(first);
    CloseHandle(again);
    CloseHandle(opened);
    HANDLE still = OpenFileMappingW(FILE_MAP_READ, FALSE, u"Local\\Shared");
    ASSERT_NE(still, nullptr);
    CloseHandle(still);
    CloseHandle(reader);
    EXPECT_EQ(OpenFileMappingW(FILE_MAP_READ, FALSE, u"Local\\Shared"), nullptr);
    EXPECT_EQ(GetLastError(), static_cast<DWORD>(ERROR_FILE_NOT_FOUND));
    EXPECT_EQ(b[0], 'F');
    UnmapViewOfFile(a);
    UnmapViewOfFile(b);
    EXPECT_EQ(OpenFileMappingW(FILE_MAP_READ, FALSE, u"Local\\Shared"), nullptr);
}
} // namespace

namespace
{
TEST(Mapping, AViewReachesToTheEndOfItsLastPage)
{
    HANDLE section =
        CreateFileMappingW(INVALID_HANDLE_VALUE, nullptr, PAGE_READWRITE, 0, 5000, u"Local\\Sized");
    ASSERT_NE(section, nullptr);
    auto* view = static_cast<BYTE*>(MapViewOfFile(section, FILE_MAP_WRITE, 0, 0, 0));
    ASSERT_NE(view, nullptr);
    MEMORY_BASIC_INFORMATION info{};
    ASSERT_EQ(VirtualQuery(view + 4100, &info, sizeof info), sizeof info);
    EXPECT_EQ(info.BaseAddress, view + 4096);
    EXPECT_EQ(info.AllocationBase, view);
    EXPECT_EQ(info.RegionSize, 4096u);
    EXPECT_EQ(info.Protect, static_cast<DWORD>(PAGE_READWRITE));
    EXPECT_EQ(info.Type, static_cast<DWORD>(MEM_MAPPED));
    EXPECT_EQ(view[8191], 0) << "the rest of the last page reads as zero";
    EXPECT_EQ(VirtualQuery(view + 8192, &info, sizeof info), 0u);
    EXPECT_EQ(VirtualQuery(view, &info, sizeof info - 1), 0u);

    auto* readOnly = static_cast<BYTE*>(MapViewOfFile(section, FILE_MAP_READ, 0, 0, 100));
    ASSERT_EQ(VirtualQuery(readOnly, &info, sizeof info), sizeof info);
    EXPECT_EQ(info.RegionSize, 4096u);
    EXPECT_EQ(info.Protect, static_cast<DWORD>(PAGE_READONLY));
    UnmapViewOfFile(readOnly);
    UnmapViewOfFile(view);
    EXPECT_EQ(VirtualQuery(view, &info, sizeof info), 0u) << "gone with the view";
    CloseHandle(section);
}
} // namespace
