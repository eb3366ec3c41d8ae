#include "os_index.h"

#include <array>
#include <cstdio>

namespace uninstall
{
namespace
{
struct Probe
{
    DWORD major, minor;
    WORD workstation, server;
};

constexpr std::array<Probe, 8> kProbes = {{
    {10, 0, kOs10, kOsServer10},
    {6, 3, kOs81, kOs2012R2},
    {6, 2, kOs8, kOs2012},
    {6, 1, kOs7, kOs2008R2},
    {6, 0, kOsVista, kOs2008},
    {5, 2, kOsXp, kOs2003}, // a 5.2 workstation is the 64-bit XP
    {5, 1, kOsXp, kOsXp},
    {5, 0, kOs2000, kOs2000},
}};

constexpr std::array<const char*, 18> kNames = {
    "Unknown OS", "Windows 95",   "Windows 98",    "Windows ME",     "Windows NT", "Windows 2000",
    "Windows XP", "Windows 2003", "Windows Vista", "Windows 2008",   "Windows 7",  "Windows 2008R2",
    "Windows 8",  "Windows 2012", "Windows 8.1",   "Windows 2012R2", "Windows 10", "Windows Server",
};
} // namespace

WORD OsIndexByProbe(const std::function<bool(DWORD, DWORD)>& atLeast, bool workstation, bool)
{
    for (const Probe& p : kProbes)
        if (atLeast(p.major, p.minor))
            return workstation ? p.workstation : p.server;
    return atLeast(4, 0) ? kOsNt4 : kOsUnknown;
}

WORD OsIndexByVersion(DWORD platform, DWORD major, DWORD minor, bool workstation, bool is64)
{
    if (platform == 1)
        return minor == 0 ? kOs95 : minor == 90 ? kOsMe : kOs98;
    if (platform != 2)
        return kOsUnknown;
    return OsIndexByProbe([&](DWORD ma, DWORD mi) { return major > ma || (major == ma && minor >= mi); },
                          workstation, is64);
}

const char* OsName(WORD index)
{
    return index < kNames.size() ? kNames[index] : kNames[0];
}

WORD GetOsIndex(UninstallState& state, WORD* flags)
{
    SYSTEM_INFO info{};
    GetNativeSystemInfo(&info);
    WORD arch = info.wProcessorArchitecture;
    bool is64 = arch == 6 || arch == 9 || arch == 10; // ARM64 (12) is not told apart
    OSVERSIONINFOEXA version{};
    version.dwOSVersionInfoSize = sizeof version;
    bool haveVersion = GetVersionExA(reinterpret_cast<OSVERSIONINFOA*>(&version)) != FALSE;
    state.osMajor = version.dwMajorVersion;
    state.osMinor = version.dwMinorVersion;
    state.osBuild = version.dwBuildNumber;
    state.servicePackMajor = version.wServicePackMajor;
    state.servicePackMinor = version.wServicePackMinor;

    OSVERSIONINFOEXA probe{};
    probe.dwOSVersionInfoSize = sizeof probe;
    probe.wProductType = VER_NT_WORKSTATION;
    ULONGLONG typeMask = VerSetConditionMask(0, VER_PRODUCT_TYPE, VER_EQUAL);
    bool workstation = VerifyVersionInfoA(&probe, VER_PRODUCT_TYPE, typeMask) != FALSE;
    auto atLeast = [](DWORD major, DWORD minor) {
        OSVERSIONINFOEXA want{};
        want.dwOSVersionInfoSize = sizeof want;
        want.dwMajorVersion = major;
        want.dwMinorVersion = minor;
        ULONGLONG mask = VerSetConditionMask(0, VER_MAJORVERSION, VER_GREATER_EQUAL);
        mask = VerSetConditionMask(mask, VER_MINORVERSION, VER_GREATER_EQUAL);
        return VerifyVersionInfoA(&want, VER_MAJORVERSION | VER_MINORVERSION, mask) != FALSE;
    };
    // The 95 family has no version probe: its version record decides.
    bool win9x = haveVersion && version.dwPlatformId == 1;
    WORD index = win9x ? WORD{kOsUnknown} : OsIndexByProbe(atLeast, workstation, is64);
    if (index == kOsUnknown && haveVersion)
        index = OsIndexByVersion(version.dwPlatformId, version.dwMajorVersion, version.dwMinorVersion,
                                 version.wProductType == VER_NT_WORKSTATION, is64);
    state.osIndex = index;
    state.osFlags = is64 ? kOs64Bit : 0;
    if (flags)
        *flags = state.osFlags;
    return index;
}

std::string GetOsText(const UninstallState& state)
{
    char text[256];
    std::snprintf(text, sizeof text, "%s(%sbit) (OS = %lu.%lu.%lu, SP = %u.%u)", OsName(state.osIndex),
                  (state.osFlags & kOs64Bit) ? "64" : "32", static_cast<unsigned long>(state.osMajor),
                  static_cast<unsigned long>(state.osMinor), static_cast<unsigned long>(state.osBuild),
                  static_cast<unsigned>(state.servicePackMajor),
                  static_cast<unsigned>(state.servicePackMinor));
    return text;
}

} // namespace uninstall
