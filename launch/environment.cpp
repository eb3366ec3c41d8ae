#include "environment.h"

#include <array>
#include <utility>

namespace launch
{
namespace
{
constexpr WORD kBeyondTen = 0xFFFF;
constexpr DWORD kNt4Word = 0x04000120;
constexpr WORD kArchitectureAmd64 = 9;
constexpr DWORD kPlatformWindows = 1;
constexpr DWORD kPlatformNt = 2;

WORD ReportedVersion(const OsReading& os)
{
    return static_cast<WORD>(((os.major & 0xFF) << 8) | (os.minor & 0xFF));
}

DWORD ProductBits(const OsReading& os)
{
    return os.productType == 1 ? 0x100 : 0x300;
}

DWORD Compose(WORD version, DWORD low)
{
    return (static_cast<DWORD>(version) << 16) | low;
}
// Below Windows 2000: NT 4 is one fixed word whatever its minor version; 98 and Me keep theirs; 95
// and anything else are not identified.
DWORD OlderSystemWord(const OsReading& os, WORD version)
{
    if (os.platformId == kPlatformNt)
        return kNt4Word;
    if (os.platformId == kPlatformWindows && os.minor != 0)
        return Compose(version, kArchitectureOther);
    return 0;
}
} // namespace

WORD FindProbedVersion(const VersionProbe& atLeast)
{
    static constexpr std::array<std::pair<DWORD, DWORD>, 10> kProbes = {
        {{10, 1}, {10, 0}, {6, 3}, {6, 2}, {6, 1}, {6, 0}, {5, 2}, {5, 1}, {5, 0}, {4, 0}}};
    for (size_t i = 0; i < kProbes.size(); ++i)
        if (atLeast(kProbes[i].first, kProbes[i].second))
            return i == 0 ? kBeyondTen : static_cast<WORD>(kProbes[i].first << 8 | kProbes[i].second);
    return 0;
}

DWORD MenuEnvironmentWord(const std::optional<OsReading>& os, const VersionProbe& atLeast)
{
    if (!os || os->major < 4)
        return 0;
    WORD version = atLeast(10, 1) ? kBeyondTen : ReportedVersion(*os);
    if (os->major >= 5)
    {
        bool x64 = atLeast(5, 1) && os->architecture == kArchitectureAmd64;
        return Compose(version, ProductBits(*os) | (x64 ? kArchitectureX64 : kArchitectureOther));
    }
    return OlderSystemWord(*os, version);
}

DWORD LauncherEnvironmentWord(const std::optional<OsReading>& os, const VersionProbe& atLeast)
{
    if (!os || os->major < 4)
        return 0;
    WORD version = ReportedVersion(*os);
    if (atLeast(os->major, os->minor + 1))
        version = FindProbedVersion(atLeast);
    if (version >= 0x0500)
    {
        bool x64 = version >= 0x0501 && os->architecture == kArchitectureAmd64;
        return Compose(version, ProductBits(*os) | (x64 ? kArchitectureX64 : kArchitectureOther));
    }
    return OlderSystemWord(*os, version);
}

} // namespace launch
