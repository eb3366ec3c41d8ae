// The environment word: one 32-bit value that tells the menu and the launcher which Windows runs.
// Bits 31-16 the version (major × 256 + minor, 0xFFFF above 10.0), bits 9-8 the product type (1
// workstation, 3 server), the low byte the architecture (0x40 x64, 0x20 anything else); 0 is a
// system not identified or too old.
#pragma once

#include <platform/windows.h>

#include <functional>
#include <optional>

namespace launch
{

// What the version query reported.
struct OsReading
{
    DWORD major = 0;
    DWORD minor = 0;
    DWORD platformId = 0;
    BYTE productType = 0;  // 0 when the query gives none
    WORD architecture = 0; // the native processor architecture
};

// "Is the running system at least major.minor?", as VerifyVersionInfo answers it.
using VersionProbe = std::function<bool(DWORD major, DWORD minor)>;

constexpr WORD VersionOf(DWORD word)
{
    return static_cast<WORD>(word >> 16);
}
constexpr BYTE ProductTypeOf(DWORD word)
{
    return static_cast<BYTE>(word >> 8);
}
constexpr BYTE ArchitectureOf(DWORD word)
{
    return static_cast<BYTE>(word);
}

constexpr BYTE kArchitectureX64 = 0x40;
constexpr BYTE kArchitectureOther = 0x20;

// The menu trusts the reported version but for the one probe above 10.0.
DWORD MenuEnvironmentWord(const std::optional<OsReading>& os, const VersionProbe& atLeast);
// The launcher repairs an understated version by probing downwards from 10.1.
DWORD LauncherEnvironmentWord(const std::optional<OsReading>& os, const VersionProbe& atLeast);
// The first of 10.1, 10.0, 6.3 ... 4.0 the system passes: 0xFFFF for 10.1, 0 for none.
WORD FindProbedVersion(const VersionProbe& atLeast);

// The two readings: the menu's GetVersionExW (so its manifest decides what it is told) and the
// launcher's RtlGetVersion, else GetVersionExA. Nothing when the query is missing or fails.
std::optional<OsReading> ReadOsVersionW();
std::optional<OsReading> ReadOsVersion();
// VerifyVersionInfo for major.minor and service pack 0 or greater, looked up at run time; false
// when kernel32 lacks it or VerSetConditionMask.
bool IsVersionOrGreater(DWORD major, DWORD minor, bool wide);

class CAnalyzeEnvironment
{
public:
    enum class Form
    {
        Menu,
        Launcher,
    };

    explicit CAnalyzeEnvironment(Form form) : form_(form) {}
    virtual ~CAnalyzeEnvironment() = default;

    // Fills the word; the creator then stores the two LCIDs.
    void Analyze();
    bool IsVersionOrGreater(DWORD major, DWORD minor) const;

    DWORD environmentWord = 0;
    LCID systemLcid = 0;
    LCID userLcid = 0;

private:
    Form form_;
};

} // namespace launch
