// Hive files: RegLoadKey mounts one under HKEY_USERS or HKLM and RegUnLoadKey writes the key's tree
// back and takes it off. The file is the machine's own format: a magic, then pieces (key path, value
// name, type, data), each length-prefixed and read with bounds.
#include "advapi32/accounts.h"
#include "core/state.h"

#include <fstream>
#include <iterator>
#include <map>
#include <sstream>

namespace sim::detail
{
LSTATUS MountHive(HKEY base, WStringView name, const std::vector<HiveValue>& pieces);
LSTATUS UnmountHive(HKEY base, WStringView name, std::vector<HiveValue>* pieces);

namespace
{
constexpr std::string_view kMagic{"SIMHIVE1", 8};

struct Mounted
{
    WString file; // full path, as loaded
    HKEY base = nullptr;
    WString name;
};

struct Hives : PartBase
{
    std::map<WString, Mounted> byKey; // by folded "HKEY_USERS\<name>"
};

void PutU32(std::string& out, DWORD v)
{
    for (int i = 0; i < 4; ++i)
        out.push_back(static_cast<char>(v >> (8 * i)));
}

void PutText(std::string& out, WStringView text)
{
    PutU32(out, static_cast<DWORD>(text.size()));
    for (char16_t c : text)
    {
        out.push_back(static_cast<char>(c & 0xFF));
        out.push_back(static_cast<char>(c >> 8));
    }
}

std::string Encode(const std::vector<HiveValue>& pieces)
{
    std::string out(kMagic);
    PutU32(out, static_cast<DWORD>(pieces.size()));
    for (const HiveValue& p : pieces)
    {
        PutText(out, p.key);
        PutText(out, p.name);
        PutU32(out, p.type);
        PutU32(out, static_cast<DWORD>(p.data.size()));
        out.append(p.data.begin(), p.data.end());
    }
    return out;
}

struct Reader
{
    std::string_view in;
    size_t at = 0;
    bool U32(DWORD& v)
    {
        if (in.size() - at < 4)
            return false;
        v = 0;
        for (int i = 3; i >= 0; --i)
            v = v << 8 | static_cast<unsigned char>(in[at + static_cast<size_t>(i)]);
        at += 4;
        return true;
    }
    bool Text(WString& text)
    {
        DWORD n = 0;
        if (!U32(n) || (in.size() - at) / 2 < n)
            return false;
        text.resize(n);
        for (DWORD i = 0; i < n; ++i, at += 2)
            text[i] = static_cast<char16_t>(static_cast<unsigned char>(in[at]) |
                                            static_cast<unsigned char>(in[at + 1]) << 8);
        return true;
    }
};

std::optional<std::vector<HiveValue>> Decode(std::string_view bytes)
{
    if (bytes.substr(0, kMagic.size()) != kMagic)
        return std::nullopt;
    Reader r{bytes, kMagic.size()};
    DWORD count = 0;
    if (!r.U32(count))
        return std::nullopt;
    std::vector<HiveValue> pieces;
    for (DWORD i = 0; i < count; ++i)
    {
        HiveValue p;
        DWORD size = 0;
        if (!r.Text(p.key) || !r.Text(p.name) || !r.U32(p.type) || !r.U32(size) || bytes.size() - r.at < size)
            return std::nullopt;
        p.data.assign(bytes.begin() + static_cast<std::ptrdiff_t>(r.at),
                      bytes.begin() + static_cast<std::ptrdiff_t>(r.at + size));
        r.at += size;
        pieces.push_back(std::move(p));
    }
    return pieces;
}

std::optional<std::string> ReadBytes(WStringView file)
{
    std::ifstream in(HostPathOf(file), std::ios::binary);
    if (!in)
        return std::nullopt;
    return std::string(std::istreambuf_iterator<char>(in), {});
}

bool WriteBytes(WStringView file, const std::string& bytes)
{
    std::ofstream out(HostPathOf(file), std::ios::binary | std::ios::trunc);
    out.write(bytes.data(), static_cast<std::streamsize>(bytes.size()));
    return static_cast<bool>(out);
}

WString RootText(HKEY base)
{
    return base == HKEY_USERS ? u"HKEY_USERS\\" : u"HKEY_LOCAL_MACHINE\\";
}

bool MayMount(HKEY base)
{
    return base == HKEY_USERS || base == HKEY_LOCAL_MACHINE;
}

bool HasHivePrivileges()
{
    DWORD self = CurrentProcess().id;
    return PrivilegeEnabled(self, kPrivilegeRestore) && PrivilegeEnabled(self, kPrivilegeBackup);
}
} // namespace
} // namespace sim::detail

namespace sim
{
void Registry::PutHive(WStringView file, const std::vector<HiveValue>& values)
{
    files().Put(file, detail::Encode(values));
}

std::optional<std::vector<HiveValue>> Registry::ReadHive(WStringView file) const
{
    std::lock_guard g(detail::StateLock());
    auto bytes = detail::ReadBytes(detail::FullPath(file));
    return bytes ? detail::Decode(*bytes) : std::nullopt;
}

std::vector<WString> Registry::LoadedHives() const
{
    std::lock_guard g(detail::StateLock());
    std::vector<WString> keys;
    for (const auto& [folded, m] : detail::Part<detail::Hives>().byKey)
        keys.push_back(detail::RootText(m.base) + m.name);
    return keys;
}
} // namespace sim

using namespace sim;
using namespace sim::detail;

LSTATUS WINAPI RegLoadKeyA(HKEY key, LPCSTR subKey, LPCSTR file)
{
    SIM_FAULT_STATUS("RegLoadKeyA", LSTATUS);
    if (!subKey || !*subKey || !file || !*file || !MayMount(key))
        return ERROR_INVALID_PARAMETER;
    std::lock_guard g(StateLock());
    if (!HasHivePrivileges())
        return ERROR_PRIVILEGE_NOT_HELD;
    WString path = FullPath(Widen(file));
    WString name = Widen(subKey);
    // The system keeps the hive of a signed-in user, and any hive mounted now, open.
    for (const LocalUser& user : Accounts())
        if (user.signedIn && EqualNoCase(HiveFileOf(user), path))
            return ERROR_SHARING_VIOLATION;
    auto& hives = Part<Hives>().byKey;
    for (const auto& [folded, m] : hives)
        if (EqualNoCase(m.file, path))
            return ERROR_SHARING_VIOLATION;
    auto bytes = ReadBytes(path);
    if (!bytes)
        return HostIsDirectory(HostPathOf(path).parent_path()) ? ERROR_FILE_NOT_FOUND : ERROR_PATH_NOT_FOUND;
    auto pieces = Decode(*bytes);
    if (!pieces)
        return ERROR_BADDB;
    LSTATUS status = MountHive(key, name, *pieces);
    if (status != ERROR_SUCCESS)
        return status;
    hives[Fold(RootText(key) + name)] = Mounted{path, key, name};
    return ERROR_SUCCESS;
}

LSTATUS WINAPI RegUnLoadKeyA(HKEY key, LPCSTR subKey)
{
    SIM_FAULT_STATUS("RegUnLoadKeyA", LSTATUS);
    if (!subKey || !MayMount(key))
        return ERROR_INVALID_PARAMETER;
    std::lock_guard g(StateLock());
    if (!HasHivePrivileges())
        return ERROR_PRIVILEGE_NOT_HELD;
    auto& hives = Part<Hives>().byKey;
    auto it = hives.find(Fold(RootText(key) + Widen(subKey)));
    if (it == hives.end())
        return ERROR_INVALID_PARAMETER;
    std::vector<HiveValue> pieces;
    LSTATUS status = UnmountHive(key, it->second.name, &pieces);
    if (status != ERROR_SUCCESS)
        return status;
    // Changes made while it was mounted go back to its file.
    WriteBytes(it->second.file, Encode(pieces));
    hives.erase(it);
    return ERROR_SUCCESS;
}
