// Reading the facts the environment word is made of, each function looked up at run time as older
// systems lack them.
#include "environment.h"

#include <cstring>

namespace launch
{
namespace
{
using GetVersionExWFn = BOOL(WINAPI*)(LPOSVERSIONINFOW);
using GetVersionExAFn = BOOL(WINAPI*)(LPOSVERSIONINFOA);
using RtlGetVersionFn = LONG(WINAPI*)(PRTL_OSVERSIONINFOW);
using VerifyVersionInfoWFn = BOOL(WINAPI*)(LPOSVERSIONINFOEXW, DWORD, DWORDLONG);
using VerifyVersionInfoAFn = BOOL(WINAPI*)(LPOSVERSIONINFOEXA, DWORD, DWORDLONG);
using VerSetConditionMaskFn = ULONGLONG(WINAPI*)(ULONGLONG, DWORD, BYTE);
using GetSystemInfoFn = void(WINAPI*)(LPSYSTEM_INFO);

template <typename F> F Proc(HMODULE module, const char* name)
{
    return module ? reinterpret_cast<F>(reinterpret_cast<void (*)()>(GetProcAddress(module, name))) : nullptr;
}

HMODULE Kernel32()
{
    return GetModuleHandleW(TEXT("kernel32.dll"));
}

WORD NativeArchitecture()
{
    SYSTEM_INFO info{};
    if (auto native = Proc<GetSystemInfoFn>(Kernel32(), "GetNativeSystemInfo"))
        native(&info);
    else
        GetSystemInfo(&info);
    // The architecture is the first word of the structure's leading union on every build.
    WORD architecture = 0;
    std::memcpy(&architecture, &info, sizeof architecture);
    return architecture;
}

template <typename Info> OsReading ReadingOf(const Info& info, BYTE productType)
{
    return OsReading{info.dwMajorVersion, info.dwMinorVersion, info.dwPlatformId, productType, 0};
}

// RtlGetVersion from ntdll: the version as it is, whatever the program's manifest says.
std::optional<OsReading> ReadWithRtlGetVersion()
{
    HMODULE ntdll = GetModuleHandleA("ntdll.dll");
    bool loadedHere = false;
    if (!ntdll)
    {
        ntdll = LoadLibraryExA("ntdll.dll", nullptr, LOAD_LIBRARY_SEARCH_SYSTEM32);
        if (!ntdll)
        {
            char system[MAX_PATH] = {};
            UINT length = GetSystemDirectoryA(system, MAX_PATH);
            std::string path = length > 0 && length < MAX_PATH ? std::string(system, length) : std::string();
            if (!path.empty())
                ntdll = LoadLibraryA((path + "\\ntdll.dll").c_str());
        }
        loadedHere = ntdll != nullptr;
    }
    std::optional<OsReading> reading;
    bool found = false;
    if (auto rtlGetVersion = Proc<RtlGetVersionFn>(ntdll, "RtlGetVersion"))
    {
        found = true;
        RTL_OSVERSIONINFOEXW wide{};
        wide.dwOSVersionInfoSize = sizeof wide;
        if (rtlGetVersion(reinterpret_cast<PRTL_OSVERSIONINFOW>(&wide)) == 0)
        {
            // Copied into the narrow record the launcher works on, the service-pack text narrowed.
            OSVERSIONINFOEXA narrow{};
            narrow.dwOSVersionInfoSize = sizeof narrow;
            narrow.dwMajorVersion = wide.dwMajorVersion;
            narrow.dwMinorVersion = wide.dwMinorVersion;
            narrow.dwBuildNumber = wide.dwBuildNumber;
            narrow.dwPlatformId = wide.dwPlatformId;
            for (size_t i = 0; i + 1 < sizeof narrow.szCSDVersion && wide.szCSDVersion[i]; ++i)
                narrow.szCSDVersion[i] = static_cast<CHAR>(wide.szCSDVersion[i]);
            narrow.wServicePackMajor = wide.wServicePackMajor;
            narrow.wServicePackMinor = wide.wServicePackMinor;
            narrow.wSuiteMask = wide.wSuiteMask;
            narrow.wProductType = wide.wProductType;
            reading = ReadingOf(narrow, narrow.wProductType);
        }
    }
    if (loadedHere)
        FreeLibrary(ntdll);
    if (!found)
        return std::nullopt;
    // A failing RtlGetVersion is a failed query, not a reason to ask GetVersionExA.
    return reading ? reading : std::optional<OsReading>(OsReading{});
}
} // namespace

std::optional<OsReading> ReadOsVersionW()
{
    auto getVersionEx = Proc<GetVersionExWFn>(Kernel32(), "GetVersionExW");
    if (!getVersionEx)
        return std::nullopt;
    OSVERSIONINFOW info{};
    info.dwOSVersionInfoSize = sizeof info;
    if (!getVersionEx(&info) || info.dwMajorVersion < 4)
        return std::nullopt;
    OsReading reading = ReadingOf(info, 0);
    if (info.dwMajorVersion >= 5)
    {
        OSVERSIONINFOEXW ex{};
        ex.dwOSVersionInfoSize = sizeof ex;
        if (getVersionEx(reinterpret_cast<LPOSVERSIONINFOW>(&ex)))
            reading = ReadingOf(ex, ex.wProductType);
    }
    reading.architecture = NativeArchitecture();
    return reading;
}

std::optional<OsReading> ReadOsVersion()
{
    std::optional<OsReading> reading = ReadWithRtlGetVersion();
    if (!reading)
    {
        auto getVersionEx = Proc<GetVersionExAFn>(Kernel32(), "GetVersionExA");
        OSVERSIONINFOA info{};
        info.dwOSVersionInfoSize = sizeof info;
        if (!getVersionEx || !getVersionEx(&info))
            return std::nullopt;
        reading = ReadingOf(info, 0); // this record has no product type
    }
    if (reading->major < 4)
        return std::nullopt;
    reading->architecture = NativeArchitecture();
    return reading;
}

bool IsVersionOrGreater(DWORD major, DWORD minor, bool wide)
{
    HMODULE kernel = Kernel32();
    auto setMask = Proc<VerSetConditionMaskFn>(kernel, "VerSetConditionMask");
    if (!setMask)
        return false;
    ULONGLONG mask =
        setMask(setMask(setMask(0, VER_MAJORVERSION, VER_GREATER_EQUAL), VER_MINORVERSION, VER_GREATER_EQUAL),
                VER_SERVICEPACKMAJOR, VER_GREATER_EQUAL);
    constexpr DWORD kTypes = VER_MAJORVERSION | VER_MINORVERSION | VER_SERVICEPACKMAJOR;
    if (wide)
    {
        auto verify = Proc<VerifyVersionInfoWFn>(kernel, "VerifyVersionInfoW");
        OSVERSIONINFOEXW info{};
        info.dwOSVersionInfoSize = sizeof info;
        info.dwMajorVersion = major;
        info.dwMinorVersion = minor;
        return verify && verify(&info, kTypes, mask);
    }
    auto verify = Proc<VerifyVersionInfoAFn>(kernel, "VerifyVersionInfoA");
    OSVERSIONINFOEXA info{};
    info.dwOSVersionInfoSize = sizeof info;
    info.dwMajorVersion = major;
    info.dwMinorVersion = minor;
    return verify && verify(&info, kTypes, mask);
}

void CAnalyzeEnvironment::Analyze()
{
    VersionProbe probe = [this](DWORD major, DWORD minor) { return IsVersionOrGreater(major, minor); };
    environmentWord = form_ == Form::Menu ? MenuEnvironmentWord(ReadOsVersionW(), probe)
                                          : LauncherEnvironmentWord(ReadOsVersion(), probe);
}

bool CAnalyzeEnvironment::IsVersionOrGreater(DWORD major, DWORD minor) const
{
    return launch::IsVersionOrGreater(major, minor, form_ == Form::Menu);
}

} // namespace launch
