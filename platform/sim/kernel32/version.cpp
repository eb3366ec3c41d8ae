// The operating system's identity: its version as each program is allowed to see it (a program not
// declared for Windows 8.1 and 10 in its manifest is told 6.2 there, the true version only through
// RtlGetVersion), the processor architecture and the system's language.
#include "core/internal.h"
#include "core/state.h"

#include <algorithm>
#include <cstring>
#include <map>
#include <optional>

namespace sim
{
namespace
{
constexpr LONG kStatusSuccess = 0;
constexpr LONG kStatusInvalidParameter = static_cast<LONG>(0xC000000D);

struct OsState : detail::PartBase
{
    OsIdentity os;
    std::optional<WORD> architecture;
    std::map<WString, bool> manifestAware; // by folded program file name
    LANGID systemLanguage = 0x0409;
};

OsState& state()
{
    return detail::Part<OsState>();
}

WString FileNameOf(WStringView path)
{
    size_t slash = path.find_last_of(u"\\/");
    return detail::Fold(path.substr(slash == WStringView::npos ? 0 : slash + 1));
}

// What the calling program is told by the version functions that follow its manifest.
OsIdentity ApparentOs()
{
    std::lock_guard g(detail::StateLock());
    OsIdentity os = state().os;
    auto it = state().manifestAware.find(FileNameOf(detail::CurrentProcess().imagePath));
    bool aware = it == state().manifestAware.end() || it->second;
    if (!aware && os.platformId == VER_PLATFORM_WIN32_NT && (os.major > 6 || (os.major == 6 && os.minor > 2)))
    {
        os.major = 6;
        os.minor = 2;
        os.build = 9200;
        os.servicePackMajor = os.servicePackMinor = 0;
        os.csdVersion.clear();
    }
    return os;
}

OsIdentity TrueOs()
{
    std::lock_guard g(detail::StateLock());
    return state().os;
}

template <typename Char> void CopyCsd(const WString& csd, Char (&out)[128])
{
    std::memset(out, 0, sizeof out);
    if constexpr (sizeof(Char) == 1)
    {
        std::string narrow = detail::Narrow(csd);
        std::copy_n(narrow.begin(), std::min<size_t>(narrow.size(), 127), out);
    }
    else
        std::copy_n(csd.begin(), std::min<size_t>(csd.size(), 127), out);
}

// Fills an OSVERSIONINFO(EX) of either width; false when the size names neither form.
template <typename Info, typename InfoEx> bool Fill(Info* info, const OsIdentity& os)
{
    if (!info || (info->dwOSVersionInfoSize != sizeof(Info) && info->dwOSVersionInfoSize != sizeof(InfoEx)))
        return false;
    info->dwMajorVersion = os.major;
    info->dwMinorVersion = os.minor;
    info->dwBuildNumber = os.build;
    info->dwPlatformId = os.platformId;
    CopyCsd(os.csdVersion, info->szCSDVersion);
    if (info->dwOSVersionInfoSize == sizeof(InfoEx))
    {
        auto* ex = reinterpret_cast<InfoEx*>(info);
        ex->wServicePackMajor = os.servicePackMajor;
        ex->wServicePackMinor = os.servicePackMinor;
        ex->wSuiteMask = os.suiteMask;
        ex->wProductType = os.productType;
        ex->wReserved = 0;
    }
    return true;
}

BYTE ConditionOf(ULONGLONG mask, DWORD typeBit)
{
    int index = 0;
    while (index < 8 && !(typeBit & (1u << index)))
        ++index;
    return static_cast<BYTE>((mask >> (index * 3)) & 7);
}

bool Holds(BYTE condition, DWORD actual, DWORD wanted)
{
    switch (condition)
    {
    case VER_EQUAL:
        return actual == wanted;
    case VER_GREATER:
        return actual > wanted;
    case VER_GREATER_EQUAL:
        return actual >= wanted;
    case VER_LESS:
        return actual < wanted;
    case VER_LESS_EQUAL:
        return actual <= wanted;
    default:
        return false;
    }
}

// The checks VerifyVersionInfo makes, on the version the program is allowed to see. Major, minor and
// service pack compare as one number, from the most significant field asked for: the first field
// that differs decides by its own condition, all equal decide by the last one asked for.
DWORD Verify(const OSVERSIONINFOEXW& wanted, DWORD typeMask, ULONGLONG mask)
{
    if (typeMask == 0 || mask == 0)
        return ERROR_BAD_ARGUMENTS;
    OsIdentity os = ApparentOs();
    struct Field
    {
        DWORD bit;
        DWORD actual;
        DWORD wanted;
    } chain[] = {
        {VER_MAJORVERSION, os.major, wanted.dwMajorVersion},
        {VER_MINORVERSION, os.minor, wanted.dwMinorVersion},
        {VER_SERVICEPACKMAJOR, os.servicePackMajor, wanted.wServicePackMajor},
        {VER_SERVICEPACKMINOR, os.servicePackMinor, wanted.wServicePackMinor},
    };
    std::optional<bool> versionHolds;
    BYTE lastCondition = 0;
    for (const Field& f : chain)
    {
        if (!(typeMask & f.bit))
            continue;
        lastCondition = ConditionOf(mask, f.bit);
        if (versionHolds)
            continue;
        if (f.actual != f.wanted)
            versionHolds = Holds(lastCondition, f.actual, f.wanted);
    }
    if (!versionHolds && lastCondition)
        versionHolds = Holds(lastCondition, 0, 0);
    bool ok = versionHolds.value_or(true);
    if (typeMask & VER_BUILDNUMBER)
        ok = ok && Holds(ConditionOf(mask, VER_BUILDNUMBER), os.build, wanted.dwBuildNumber);
    if (typeMask & VER_PLATFORMID)
        ok = ok && Holds(ConditionOf(mask, VER_PLATFORMID), os.platformId, wanted.dwPlatformId);
    if (typeMask & VER_PRODUCT_TYPE)
        ok = ok && Holds(ConditionOf(mask, VER_PRODUCT_TYPE), os.productType, wanted.wProductType);
    if (typeMask & VER_SUITENAME)
    {
        BYTE c = ConditionOf(mask, VER_SUITENAME);
        ok = ok && (c == VER_OR ? (os.suiteMask & wanted.wSuiteMask) != 0
                                : (os.suiteMask & wanted.wSuiteMask) == wanted.wSuiteMask);
    }
    return ok ? ERROR_SUCCESS : ERROR_OLD_WIN_VERSION;
}

WORD NativeArchitecture()
{
    std::lock_guard g(detail::StateLock());
    bool is64 = detail::System64();
    if (state().architecture && (*state().architecture != PROCESSOR_ARCHITECTURE_INTEL) == is64)
        return *state().architecture;
    return is64 ? PROCESSOR_ARCHITECTURE_AMD64 : PROCESSOR_ARCHITECTURE_INTEL;
}
} // namespace

namespace detail
{
bool ServerR2()
{
    std::lock_guard g(StateLock());
    return state().os.serverR2;
}
} // namespace detail

void Machine::SetOs(const OsIdentity& os)
{
    std::lock_guard g(detail::StateLock());
    state().os = os;
}

OsIdentity Machine::Os() const
{
    return TrueOs();
}

void Machine::SetNativeArchitecture(WORD architecture)
{
    SetSystem64(architecture != PROCESSOR_ARCHITECTURE_INTEL);
    std::lock_guard g(detail::StateLock());
    state().architecture = architecture;
}

void Machine::SetManifestOsAware(WStringView programFileName, bool aware)
{
    std::lock_guard g(detail::StateLock());
    state().manifestAware[FileNameOf(programFileName)] = aware;
}

void Machine::SetSystemLanguage(LANGID language)
{
    std::lock_guard g(detail::StateLock());
    state().systemLanguage = language;
}

} // namespace sim

using namespace sim;

BOOL WINAPI GetVersionExW(LPOSVERSIONINFOW info)
{
    if (!Fill<OSVERSIONINFOW, OSVERSIONINFOEXW>(info, ApparentOs()))
    {
        SetLastError(ERROR_INSUFFICIENT_BUFFER);
        return FALSE;
    }
    return TRUE;
}

BOOL WINAPI GetVersionExA(LPOSVERSIONINFOA info)
{
    if (!Fill<OSVERSIONINFOA, OSVERSIONINFOEXA>(info, ApparentOs()))
    {
        SetLastError(ERROR_INSUFFICIENT_BUFFER);
        return FALSE;
    }
    return TRUE;
}

// ntdll's answer ignores the manifest: the version as it is.
LONG WINAPI RtlGetVersion(PRTL_OSVERSIONINFOW info)
{
    return Fill<OSVERSIONINFOW, OSVERSIONINFOEXW>(info, TrueOs()) ? kStatusSuccess : kStatusInvalidParameter;
}

ULONGLONG WINAPI VerSetConditionMask(ULONGLONG conditionMask, DWORD typeMask, BYTE condition)
{
    condition &= 7;
    for (int index = 0; index < 8; ++index)
        if (typeMask & (1u << index))
        {
            conditionMask &= ~(ULONGLONG{7} << (index * 3));
            conditionMask |= ULONGLONG{condition} << (index * 3);
        }
    return conditionMask;
}

BOOL WINAPI VerifyVersionInfoW(LPOSVERSIONINFOEXW info, DWORD typeMask, DWORDLONG conditionMask)
{
    DWORD error = info && info->dwOSVersionInfoSize == sizeof(OSVERSIONINFOEXW)
                      ? Verify(*info, typeMask, conditionMask)
                      : ERROR_BAD_ARGUMENTS;
    if (error != ERROR_SUCCESS)
    {
        SetLastError(error);
        return FALSE;
    }
    return TRUE;
}

BOOL WINAPI VerifyVersionInfoA(LPOSVERSIONINFOEXA info, DWORD typeMask, DWORDLONG conditionMask)
{
    if (!info || info->dwOSVersionInfoSize != sizeof(OSVERSIONINFOEXA))
    {
        SetLastError(ERROR_BAD_ARGUMENTS);
        return FALSE;
    }
    OSVERSIONINFOEXW wide{};
    wide.dwOSVersionInfoSize = sizeof wide;
    wide.dwMajorVersion = info->dwMajorVersion;
    wide.dwMinorVersion = info->dwMinorVersion;
    wide.dwBuildNumber = info->dwBuildNumber;
    wide.dwPlatformId = info->dwPlatformId;
    wide.wServicePackMajor = info->wServicePackMajor;
    wide.wServicePackMinor = info->wServicePackMinor;
    wide.wSuiteMask = info->wSuiteMask;
    wide.wProductType = info->wProductType;
    return VerifyVersionInfoW(&wide, typeMask, conditionMask);
}

void WINAPI GetNativeSystemInfo(LPSYSTEM_INFO info)
{
    if (!info)
        return;
    GetSystemInfo(info);
    WORD arch = NativeArchitecture();
    info->u.s.wProcessorArchitecture = arch;
    bool wide = arch != PROCESSOR_ARCHITECTURE_INTEL;
    info->lpMaximumApplicationAddress =
        reinterpret_cast<LPVOID>(wide ? static_cast<ULONG_PTR>(0x7FFFFFFEFFFFull) : ULONG_PTR{0x7FFEFFFF});
    info->dwProcessorType = wide ? 8664 : 586;
}

// Only the calling process can be asked: other processes' handles carry no bitness here.
BOOL WINAPI IsWow64Process(HANDLE process, PBOOL wow64Process)
{
    if (!wow64Process || process != GetCurrentProcess())
    {
        SetLastError(wow64Process ? ERROR_INVALID_HANDLE : ERROR_INVALID_PARAMETER);
        return FALSE;
    }
    *wow64Process = detail::CurrentProcess().is32 && detail::System64();
    return TRUE;
}

LANGID WINAPI GetSystemDefaultLangID()
{
    std::lock_guard g(detail::StateLock());
    return state().systemLanguage;
}

LANGID WINAPI GetSystemDefaultUILanguage()
{
    return GetSystemDefaultLangID();
}

LCID WINAPI GetSystemDefaultLCID()
{
    return GetSystemDefaultLangID();
}
