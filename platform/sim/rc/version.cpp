// Version records: the binary VS_VERSIONINFO block and the queries over it.
#include "rc/resources.h"

#include <cstring>

using namespace sim;
using namespace sim::detail;

DWORD WINAPI GetFileVersionInfoSizeW(LPCWSTR fileName, LPDWORD handle)
{
    if (handle)
        *handle = 0;
    if (!fileName)
    {
        SetLastError(ERROR_INVALID_PARAMETER);
        return 0;
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
    value = base + valueAt(nodeStart, nodeEnd);
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
