// The simulated registry as tests see it: values and keys of every root, the 32- and 64-bit views of
// HKLM\SOFTWARE, hive files and the hives RegLoadKey has mounted. Programs reach it through advapi32's
// Reg* functions.
#pragma once

#include <platform/windows.h>

#include <optional>
#include <span>
#include <vector>

namespace sim
{

struct RegistryValue
{
    DWORD type = REG_NONE;
    std::vector<BYTE> data;
};

enum class RegistryView
{
    Native, // what a 64-bit program sees
    Wow32,  // what a 32-bit program sees on a 64-bit system
};

// One piece of a hive file: a value of a key (its path inside the hive), or with type REG_NONE and
// no name the key alone.
struct HiveValue
{
    WString key;
    WString name;
    DWORD type = REG_NONE;
    std::vector<BYTE> data;
};

class Registry
{
public:
    // The key path has no root; `view` picks the 32- or 64-bit view of HKLM\SOFTWARE.
    void SetValue(HKEY root, WStringView key, WStringView name, DWORD type, std::span<const BYTE> data,
                  RegistryView view = RegistryView::Native);
    std::optional<RegistryValue> Value(HKEY root, WStringView key, WStringView name,
                                       RegistryView view = RegistryView::Native) const;
    bool KeyExists(HKEY root, WStringView key, RegistryView view = RegistryView::Native) const;

    // Writes a hive file RegLoadKey can mount; ReadHive reads one back (nothing when it is none).
    void PutHive(WStringView file, const std::vector<HiveValue>& values);
    std::optional<std::vector<HiveValue>> ReadHive(WStringView file) const;
    // Keys mounted by RegLoadKey and not yet taken off ("HKEY_USERS\S-1-5-...").
    std::vector<WString> LoadedHives() const;
};

Registry& registry();

} // namespace sim
