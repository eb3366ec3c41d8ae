// Version records: the binary VS_VERSIONINFO block and the queries over it.
#include "rc/resources.h"

#include <cstring>
#include <optional>
#include <string_view>
#include <vector>

using namespace sim;
using namespace sim::detail;

namespace
{
// A plain file carries its version record in its bytes, after this mark, so the record goes wherever
// the file is copied or renamed.
constexpr std::string_view kVersionMark = "SIMVERSION\x1A";

enum class Carried
{
    None,    // no mark: the version comes from the module's resources, if any
    Damaged, // a mark with no sound record after it
    Found,
};

Carried CarriedRecord(LPCWSTR fileName, std::vector<BYTE>& record)
{
    std::optional<std::string> bytes = files().Bytes(fileName);
    if (!bytes || bytes->compare(0, kVersionMark.size(), kVersionMark) != 0)
        return Carried::None;
    std::string_view rest = std::string_view(*bytes).substr(kVersionMark.size());
    if (rest.size() < 6)
        return Carried::Damaged;
    size_t length = static_cast<BYTE>(rest[0]) | (static_cast<BYTE>(rest[1]) << 8);
    if (length < 6 || length > rest.size())
        return Carried::Damaged;
    record.assign(rest.begin(), rest.begin() + static_cast<std::ptrdiff_t>(length));
    return Carried::Found;
}
} // namespace

namespace sim
{
void Files::SetVersionRecord(WStringView windowsPath, std::span<const BYTE> record)
{
    std::string bytes(kVersionMark);
    bytes.append(reinterpret_cast<const char*>(record.data()), record.size());
    Put(windowsPath, bytes);
}

void Files::SetVersion(WStringView windowsPath, WORD major, WORD minor, WORD build, WORD revision)
{
    // VS_VERSION_INFO: length, value length, type, the key, padding to 4, then the fixed record.
    const WStringView key = u"VS_VERSION_INFO";
    std::vector<BYTE> b(6);
    for (WCHAR c : key)
    {
        b.push_back(static_cast<BYTE>(c));
        b.push_back(static_cast<BYTE>(c >> 8));
    }
    b.insert(b.end(), 2, 0);
    while (b.size() % 4)
        b.push_back(0);
    VS_FIXEDFILEINFO fixed{};
    fixed.dwSignature = VS_FFI_SIGNATURE;
    fixed.dwStrucVersion = VS_FFI_STRUCVERSION;
    fixed.dwFileVersionMS = fixed.dwProductVersionMS = (DWORD{major} << 16) | minor;
    fixed.dwFileVersionLS = fixed.dwProductVersionLS = (DWORD{build} << 16) | revision;
    fixed.dwFileOS = VOS_NT_WINDOWS32;
    fixed.dwFileType = VFT_APP;
    const BYTE* raw = reinterpret_cast<const BYTE*>(&fixed);
    b.insert(b.end(), raw, raw + sizeof fixed);
    b[0] = static_cast<BYTE>(b.size());
    b[1] = static_cast<BYTE>(b.size() >> 8);
    b[2] = static_cast<BYTE>(sizeof fixed);
    SetVersionRecord(windowsPath, b);
}
} // namespace sim

DWORD WINAPI GetFileVersionInfoSizeW(LPCWSTR fileName, LPDWORD handle)
{
    if (handle)
        *handle = 0;
    if (!fileName)
    {
        SetLastError(ERROR_INVALID_PARAMETER);
        return 0;
    }
    std::vector<BYTE> carried;
    switch (CarriedRecord(fileName, carried))
    {
    case Carried::Found:
        return static_cast<DWORD>(carried.size());
    case Carried::Damaged:
        SetLastError(ERROR_RESOURCE_DATA_NOT_FOUND);
        return 0;
    case Carried::None:
        break;
    }
    const ResourceFile* file = ResourcesOfFile(fileName);
    if (!file)
    {
        SetLastError(GetFileAttributesW(fileName) == INVALID_FILE_ATTRIBUTES ? ERROR_FILE_NOT_FOUND
                                                                             : ERROR_RESOURCE_TYPE_NOT_FOUND);
        return 0;
    }
    if (file->version.empty())
    {
        SetLastError(ERROR_RESOURCE_TYPE_NOT_FOUND);
        return 0;
    }
    return static_cast<DWORD>(file->version.size());
}

BOOL WINAPI GetFileVersionInfoW(LPCWSTR fileName, DWORD, DWORD size, LPVOID data)
{
    SIM_FAULT_POINT("GetFileVersionInfoW", FALSE);
    DWORD need = GetFileVersionInfoSizeW(fileName, nullptr);
    if (!need || !data)
        return FALSE;
    std::vector<BYTE> carried;
    if (CarriedRecord(fileName, carried) == Carried::Found)
    {
        std::memcpy(data, carried.data(), std::min<size_t>(size, carried.size()));
        return TRUE;
    }
    const ResourceFile* file = ResourcesOfFile(fileName);
    std::memcpy(data, file->version.data(), std::min<size_t>(size, file->version.size()));
    return TRUE;
}

namespace
{
WORD ReadWord(const BYTE* p)
{
    return static_cast<WORD>(p[0] | (p[1] << 8));
}

// Walks the version record's nodes by key, bounded by each node's own length.
bool FindNode(const BYTE* base, size_t size, WStringView path, const BYTE*& value, UINT& length)
{
    size_t at = 0;
    size_t end = size;
    if (size < 6)
        return false;
    end = std::min<size_t>(ReadWord(base), size);
    auto keyEnd = [&](size_t node, size_t limit) {
        size_t k = node + 6;
        while (k + 1 < limit && (base[k] | base[k + 1]))
            k += 2;
        return k + 2;
    };
    auto valueAt = [&](size_t node, size_t limit) {
        return std::min(limit, (keyEnd(node, limit) + 3) & ~size_t{3});
    };
    size_t nodeStart = at, nodeEnd = end;
    while (!path.empty())
    {
        size_t slash = path.find(u'\\');
        WStringView part = path.substr(0, slash);
        path = slash == WStringView::npos ? WStringView() : path.substr(slash + 1);
        if (part.empty())
            continue;
        // Children start after the node's value.
        WORD valueLength = ReadWord(base + nodeStart + 2);
        WORD type = ReadWord(base + nodeStart + 4);
        size_t child = valueAt(nodeStart, nodeEnd) + (type == 1 ? valueLength * 2u : valueLength);
        child = (child + 3) & ~size_t{3};
        bool found = false;
        while (child + 6 <= nodeEnd)
        {
            size_t len = ReadWord(base + child);
            if (len < 6 || child + len > nodeEnd)
                return false;
            WString key;
            for (size_t k = child + 6; k + 1 < child + len && (base[k] | base[k + 1]); k += 2)
                key += static_cast<WCHAR>(base[k] | (base[k + 1] << 8));
            if (EqualNoCase(key, part))
            {
                nodeStart = child;
                nodeEnd = child + len;
                found = true;
                break;
            }
            child = (child + len + 3) & ~size_t{3};
        }
        if (!found)
            return false;
    }
    WORD valueLength = ReadWord(base + nodeStart + 2);
    WORD type = ReadWord(base + nodeStart + 4);
    size_t valueStart = valueAt(nodeStart, nodeEnd);
    // A damaged record may claim a value longer than its node: nothing past the node is handed out.
    if (valueStart + (type == 1 ? valueLength * 2u : valueLength) > nodeEnd)
        return false;
    value = base + valueStart;
    length = valueLength;
    return true;
}
} // namespace

BOOL WINAPI VerQueryValueW(LPCVOID block, LPCWSTR subBlock, LPVOID* buffer, UINT* length)
{
    if (!block || !subBlock || !buffer || !length)
        return FALSE;
    const BYTE* base = static_cast<const BYTE*>(block);
    const BYTE* value = nullptr;
    UINT len = 0;
    if (!FindNode(base, ReadWord(base), subBlock, value, len) || len == 0)
        return FALSE;
    *buffer = const_cast<BYTE*>(value);
    *length = len;
    return TRUE;
}
