#include <gtest/gtest.h>

#include <platform/boundary.h>
#include <platform/handles.h>
#include <sim/machine.h>

#include <stdexcept>
#include <string>
#include <vector>

namespace
{
HKEY OpenTestKey()
{
    HKEY key = nullptr;
    EXPECT_EQ(RegCreateKeyExW(HKEY_CURRENT_USER, u"Software\\Handles", 0, nullptr, 0, KEY_ALL_ACCESS, nullptr,
                              &key, nullptr),
              ERROR_SUCCESS);
    return key;
}

TEST(UniqueHandle, ClosesOnceOnEveryWayOut)
{
    HKEY scoped = nullptr;
    {
        platform::UniqueRegKey key(OpenTestKey());
        scoped = key.Get();
    }
    EXPECT_EQ(RegCloseKey(scoped), ERROR_INVALID_HANDLE) << "closed when the scope ended";

    platform::UniqueRegKey first(OpenTestKey());
    HKEY replaced = first.Get();
    first = platform::UniqueRegKey(OpenTestKey());
    EXPECT_EQ(RegCloseKey(replaced), ERROR_INVALID_HANDLE) << "closed when another took its place";

    platform::UniqueRegKey moved(std::move(first));
    EXPECT_FALSE(first);
    HKEY released = moved.Release();
    EXPECT_FALSE(moved);
    EXPECT_EQ(RegCloseKey(released), ERROR_SUCCESS) << "a released key stays open for its new owner";

    platform::UniqueRegKey put;
    ASSERT_EQ(RegOpenKeyExW(HKEY_CURRENT_USER, u"Software\\Handles", 0, KEY_READ, put.Put()), ERROR_SUCCESS);
    EXPECT_TRUE(put);
}

TEST(UniqueHandle, KernelHandleTakesNeitherFailureValueForAnObject)
{
    HANDLE section = CreateFileMappingW(INVALID_HANDLE_VALUE, nullptr, PAGE_READWRITE, 0, 4096, nullptr);
    ASSERT_NE(section, nullptr);
    {
        platform::UniqueKernelHandle owned(section);
        platform::UniqueMappedView view(MapViewOfFile(section, FILE_MAP_WRITE, 0, 0, 0));
        ASSERT_TRUE(view);
    }
    EXPECT_FALSE(CloseHandle(section));
    EXPECT_EQ(GetLastError(), static_cast<DWORD>(ERROR_INVALID_HANDLE));

    SetLastError(0);
    {
        platform::UniqueKernelHandle failedOpen(INVALID_HANDLE_VALUE);
        EXPECT_FALSE(failedOpen);
    }
    EXPECT_EQ(GetLastError(), 0u) << "nothing was closed";
}

TEST(UniqueHandle, ServiceDeviceSetInfAndSocketEachCloseWithTheirOwnFunction)
{
    sim::files().Put(u"C:\\probe.inf", "[Version]\r\nSignature=\"$Windows NT$\"\r\n");
    WSADATA wsa{};
    ASSERT_EQ(WSAStartup(MAKEWORD(2, 2), &wsa), 0);
    SC_HANDLE manager = nullptr;
    HDEVINFO set = nullptr;
    HINF inf = nullptr;
    SOCKET socket = INVALID_SOCKET;
    INFCONTEXT line{};
    {
        platform::UniqueServiceHandle m(OpenSCManagerW(nullptr, nullptr, SC_MANAGER_CONNECT));
        platform::UniqueDeviceInfo d(SetupDiGetClassDevsW(nullptr, nullptr, nullptr, DIGCF_ALLCLASSES));
        platform::UniqueInf i(SetupOpenInfFileW(u"C:\\probe.inf", nullptr, INF_STYLE_WIN4, nullptr));
        platform::UniqueSocket s(::socket(AF_INET, SOCK_DGRAM, IPPROTO_UDP));
        ASSERT_TRUE(m && d && i && s);
        manager = m.Get();
        set = d.Get();
        inf = i.Get();
        socket = s.Get();
        EXPECT_TRUE(SetupFindFirstLineW(inf, u"Version", nullptr, &line));
    }
    EXPECT_FALSE(CloseServiceHandle(manager));
    EXPECT_FALSE(SetupDiDestroyDeviceInfoList(set));
    EXPECT_FALSE(SetupFindFirstLineW(inf, u"Version", nullptr, &line));
    EXPECT_EQ(closesocket(socket), SOCKET_ERROR);

    // What a failed open gives holds nothing.
    EXPECT_FALSE(platform::UniqueDeviceInfo(INVALID_HANDLE_VALUE));
    EXPECT_FALSE(platform::UniqueInf(INVALID_HANDLE_VALUE));
    EXPECT_FALSE(platform::UniqueSocket(INVALID_SOCKET));
    EXPECT_FALSE(platform::UniqueServiceHandle(nullptr));
    WSACleanup();
}

TEST(Boundary, AnExceptionBecomesTheFallbackAndFailsTheTest)
{
    std::vector<std::string> reported;
    sim::desktop().SetFailureReporter([&](const std::string& m) { reported.push_back(m); });
    EXPECT_EQ(platform::Boundary(FALSE, []() -> BOOL { throw std::runtime_error("handler failed"); }), FALSE);
    EXPECT_EQ(platform::Boundary(LRESULT{-1}, [] { return LRESULT{42}; }), 42);
    EXPECT_EQ(platform::Boundary(0, []() -> int { throw 7; }), 0);
    bool ran = false;
    platform::Boundary([&] {
        ran = true;
        throw std::bad_alloc();
    });
    sim::desktop().SetFailureReporter([](const std::string& m) { ADD_FAILURE() << m; });
    EXPECT_TRUE(ran);
    ASSERT_EQ(reported.size(), 3u);
    EXPECT_NE(reported[0].find("handler failed"), std::string::npos);
    EXPECT_NE(reported[1].find("unknown"), std::string::npos);
    EXPECT_NE(reported[2].find("bad_alloc"), std::string::npos);
}
} // namespace
