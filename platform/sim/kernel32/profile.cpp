// Initialization files read by the profile functions: sections and keys compared without case, the
// first of a repeated section or key wins, values trimmed and a pair of enclosing quotes dropped. A
// file name without a folder lies in the Windows folder. The file is read as UTF-16 when it starts
// with that byte-order mark, as UTF-8 after that mark, and in the system code page otherwise.
#include "core/internal.h"

#include <algorithm>
#include <optional>
#include <vector>

namespace sim::detail
{
namespace
{
struct IniEntry
{
    WString key;
    WString value;
};

struct IniSection
{
    WString name;
    std::vector<IniEntry> entries;
};

bool IsBlank(WCHAR c)
{
    return c == u' ' || c == u'\t';
}

WString Trim(WStringView s)
{
    size_t b = 0, e = s.size();
    while (b < e && IsBlank(s[b]))
        ++b;
    while (e > b && IsBlank(s[e - 1]))
        --e;
    return WString(s.substr(b, e - b));
}

WString Decode(const std::string& bytes)
{
    if (bytes.size() >= 2 && static_cast<unsigned char>(bytes[0]) == 0xFF &&
        static_cast<unsigned char>(bytes[1]) == 0xFE)
    {
        WString out;
        for (size_t i = 2; i + 1 < bytes.size(); i += 2)
            out.push_back(static_cast<WCHAR>(static_cast<unsigned char>(bytes[i]) |
                                             static_cast<unsigned char>(bytes[i + 1]) << 8));
        return out;
    }
    if (bytes.size() >= 3 && bytes.compare(0, 3, "\xEF\xBB\xBF") == 0)
        return FromUtf8(std::string_view(bytes).substr(3));
    return Widen(bytes, CP_ACP);
}

std::optional<std::vector<IniSection>> ReadIni(LPCWSTR fileName)
{
    if (!fileName || !*fileName)
        return std::nullopt;
    WString path(fileName);
    if (path.find_first_of(u"\\/:") == WString::npos)
        path = u"C:\\Windows\\" + path;
    auto bytes = machine().FileBytes(path);
    if (!bytes)
        return std::nullopt;
    WString text = Decode(*bytes);
    std::vector<IniSection> sections;
    size_t i = 0;
    while (i < text.size())
    {
        size_t end = text.find(u'\n', i);
        if (end == WString::npos)
            end = text.size();
        WStringView raw = WStringView(text).substr(i, end - i);
        if (!raw.empty() && raw.back() == u'\r')
            raw.remove_suffix(1);
        i = end + 1;
        WString line = Trim(raw);
        if (line.empty() || line[0] == u';')
            continue;
        if (line[0] == u'[')
        {
            size_t close = line.find(u']');
            WStringView name =
                WStringView(line).substr(1, close == WString::npos ? WString::npos : close - 1);
            sections.push_back({Trim(name), {}});
            continue;
        }
        if (sections.empty())
            continue; // keys before the first section belong to none
        size_t eq = line.find(u'=');
        IniEntry entry{Trim(WStringView(line).substr(0, eq)), {}};
        if (eq != WString::npos)
        {
            entry.value = Trim(WStringView(line).substr(eq + 1));
            if (entry.value.size() >= 2 && (entry.value[0] == u'"' || entry.value[0] == u'\'') &&
                entry.value.back() == entry.value[0])
                entry.value = entry.value.substr(1, entry.value.size() - 2);
        }
        sections.back().entries.push_back(std::move(entry));
    }
    return sections;
}

const IniSection* FindSection(const std::vector<IniSection>& sections, WStringView name)
{
    for (const IniSection& s : sections)
        if (EqualNoCase(s.name, name))
            return &s;
    return nullptr;
}

const IniEntry* FindEntry(const IniSection& section, WStringView key)
{
    for (const IniEntry& e : section.entries)
        if (EqualNoCase(e.key, key))
            return &e;
    return nullptr;
}

// One string, cut to the buffer: the count copied, size - 1 when cut.
DWORD CopyString(WStringView s, LPWSTR out, DWORD size)
{
    if (!out || size == 0)
        return 0;
    size_t n = std::min<size_t>(s.size(), size - 1);
    std::copy_n(s.data(), n, out);
    out[n] = 0;
    return static_cast<DWORD>(n);
}

// Names each followed by a NUL and the list by one more; a list that does not fit is cut and ends in
// two NULs, and the count is then size - 2.
DWORD CopyList(const std::vector<WString>& names, LPWSTR out, DWORD size)
{
    if (!out || size == 0)
        return 0;
    WString all;
    for (const WString& n : names)
    {
        all += n;
        all.push_back(0);
    }
    if (all.size() + 1 <= size)
    {
        std::copy(all.begin(), all.end(), out);
        out[all.size()] = 0;
        return static_cast<DWORD>(all.size());
    }
    if (size < 2)
    {
        out[0] = 0;
        return 0;
    }
    std::copy_n(all.begin(), size - 2, out);
    out[size - 2] = 0;
    out[size - 1] = 0;
    return size - 2;
}

DWORD CopyDefault(LPCWSTR defaultValue, LPWSTR out, DWORD size)
{
    WStringView d = defaultValue ? WStringView(defaultValue) : WStringView();
    while (!d.empty() && IsBlank(d.back()))
        d.remove_suffix(1);
    return CopyString(d, out, size);
}
} // namespace
} // namespace sim::detail

using namespace sim::detail;

DWORD WINAPI GetPrivateProfileStringW(LPCWSTR appName, LPCWSTR keyName, LPCWSTR defaultValue, LPWSTR returned,
                                      DWORD size, LPCWSTR fileName)
{
    auto sections = ReadIni(fileName);
    if (!sections)
    {
        DWORD n = CopyDefault(defaultValue, returned, size);
        SetLastError(ERROR_FILE_NOT_FOUND);
        return n;
    }
    if (!appName)
    {
        std::vector<WString> names;
        for (const IniSection& s : *sections)
            names.push_back(s.name);
        return CopyList(names, returned, size);
    }
    const IniSection* section = FindSection(*sections, appName);
    if (section && !keyName)
    {
        std::vector<WString> names;
        for (const IniEntry& e : section->entries)
            names.push_back(e.key);
        return CopyList(names, returned, size);
    }
    if (section && keyName)
        if (const IniEntry* e = FindEntry(*section, keyName))
            return CopyString(e->value, returned, size);
    SetLastError(ERROR_FILE_NOT_FOUND);
    return CopyDefault(defaultValue, returned, size);
}

UINT WINAPI GetPrivateProfileIntW(LPCWSTR appName, LPCWSTR keyName, INT defaultValue, LPCWSTR fileName)
{
    if (!appName || !keyName)
        return static_cast<UINT>(defaultValue);
    auto sections = ReadIni(fileName);
    if (!sections)
    {
        SetLastError(ERROR_FILE_NOT_FOUND);
        return static_cast<UINT>(defaultValue);
    }
    const IniSection* section = FindSection(*sections, appName);
    const IniEntry* entry = section ? FindEntry(*section, keyName) : nullptr;
    if (!entry)
        return static_cast<UINT>(defaultValue);
    // The leading number of the value, its sign included; what follows the digits is ignored.
    WStringView v = entry->value;
    bool negative = !v.empty() && v[0] == u'-';
    if (!v.empty() && (v[0] == u'-' || v[0] == u'+'))
        v.remove_prefix(1);
    UINT n = 0;
    for (WCHAR c : v)
    {
        if (c < u'0' || c > u'9')
            break;
        n = n * 10 + static_cast<UINT>(c - u'0');
    }
    return negative ? 0u - n : n;
}
