// Initialization files read and written by the profile functions: sections and keys compared
// without case, the first of a repeated section or key wins, values trimmed and a pair of enclosing
// quotes dropped (key names are kept as written). A file name without a folder lies in the Windows
// folder. The file is read as UTF-16 when it starts with that byte-order mark, as UTF-8 after that
// mark, and in the system code page otherwise; a write keeps the file's form, and a new file is in
// the system code page. The 8-bit forms cut their answers in bytes, as Windows does.
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
    WString line; // as written, trimmed: what a whole-section read returns
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

WString IniPath(LPCWSTR fileName)
{
    WString path(fileName);
    if (path.find_first_of(u"\\/:") == WString::npos)
        path = u"C:\\Windows\\" + path;
    return path;
}

// The file's lines, without their ends.
std::vector<WString> Lines(WStringView text)
{
    std::vector<WString> lines;
    size_t i = 0;
    while (i < text.size())
    {
        size_t end = text.find(u'\n', i);
        if (end == WStringView::npos)
            end = text.size();
        WStringView raw = text.substr(i, end - i);
        if (!raw.empty() && raw.back() == u'\r')
            raw.remove_suffix(1);
        lines.emplace_back(raw);
        i = end + 1;
    }
    return lines;
}

// A section header's name, or nothing for any other line.
std::optional<WString> HeaderName(const WString& trimmed)
{
    if (trimmed.empty() || trimmed[0] != u'[')
        return std::nullopt;
    size_t close = trimmed.find(u']');
    return Trim(WStringView(trimmed).substr(1, close == WString::npos ? WString::npos : close - 1));
}

std::vector<IniSection> Parse(WStringView text)
{
    std::vector<IniSection> sections;
    for (const WString& raw : Lines(text))
    {
        WString line = Trim(raw);
        if (line.empty() || line[0] == u';')
            continue;
        if (auto name = HeaderName(line))
        {
            sections.push_back({*name, {}});
            continue;
        }
        if (sections.empty())
            continue; // keys before the first section belong to none
        size_t eq = line.find(u'=');
        IniEntry entry{Trim(WStringView(line).substr(0, eq)), {}, line};
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

std::optional<std::vector<IniSection>> ReadIni(LPCWSTR fileName)
{
    if (!fileName || !*fileName)
        return std::nullopt;
    auto bytes = files().Bytes(IniPath(fileName));
    if (!bytes)
        return std::nullopt;
    return Parse(DecodeTextFile(*bytes));
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

// An answer before it is cut to the caller's buffer: one string, or a list of names.
struct Answer
{
    bool list = false;
    std::vector<WString> items; // a string answer has exactly one
};

template <typename Char> using Text = std::basic_string<Char>;

template <typename Char> Text<Char> InForm(const WString& s)
{
    if constexpr (sizeof(Char) == 1)
        return Narrow(s, CP_ACP);
    else
        return s;
}

// One string, cut to the buffer: the count copied, size - 1 when cut. Names each followed by a NUL
// and the list by one more; a list that does not fit is cut and ends in two NULs, and the count is
// then size - 2.
template <typename Char> DWORD Render(const Answer& answer, Char* out, DWORD size)
{
    if (!out || size == 0)
        return 0;
    if (!answer.list)
    {
        Text<Char> s = answer.items.empty() ? Text<Char>() : InForm<Char>(answer.items.front());
        size_t n = std::min<size_t>(s.size(), size - 1);
        std::copy_n(s.data(), n, out);
        out[n] = 0;
        return static_cast<DWORD>(n);
    }
    Text<Char> all;
    for (const WString& item : answer.items)
    {
        all += InForm<Char>(item);
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

Answer Default(LPCWSTR defaultValue)
{
    WStringView d = defaultValue ? WStringView(defaultValue) : WStringView();
    while (!d.empty() && IsBlank(d.back()))
        d.remove_suffix(1);
    return Answer{false, {WString(d)}};
}

Answer GetString(LPCWSTR appName, LPCWSTR keyName, LPCWSTR defaultValue, LPCWSTR fileName)
{
    auto sections = ReadIni(fileName);
    if (!sections)
    {
        SetLastError(ERROR_FILE_NOT_FOUND);
        return Default(defaultValue);
    }
    Answer names{true, {}};
    if (!appName)
    {
        for (const IniSection& s : *sections)
            names.items.push_back(s.name);
        return names;
    }
    const IniSection* section = FindSection(*sections, appName);
    if (section && !keyName)
    {
        for (const IniEntry& e : section->entries)
            names.items.push_back(e.key);
        return names;
    }
    if (section && keyName)
        if (const IniEntry* e = FindEntry(*section, keyName))
            return Answer{false, {e->value}};
    SetLastError(ERROR_FILE_NOT_FOUND);
    return Default(defaultValue);
}

UINT GetInt(LPCWSTR appName, LPCWSTR keyName, INT defaultValue, LPCWSTR fileName)
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

Answer GetSection(LPCWSTR appName, LPCWSTR fileName)
{
    Answer lines{true, {}};
    auto sections = ReadIni(fileName);
    if (!sections || !appName)
        return lines;
    if (const IniSection* section = FindSection(*sections, appName))
        for (const IniEntry& e : section->entries)
            lines.items.push_back(e.line);
    return lines;
}

// Sets, adds or deletes (null value: the key; null key: the whole section), keeping the file's
// other lines, comments and form as they were.
BOOL Write(LPCWSTR appName, LPCWSTR keyName, LPCWSTR value, LPCWSTR fileName)
{
    if (!appName && !keyName && !value)
        return TRUE; // a flush: nothing is held back
    if (!appName || !fileName || !*fileName)
    {
        SetLastError(ERROR_INVALID_PARAMETER);
        return FALSE;
    }
    WString path = FullPath(IniPath(fileName));
    std::filesystem::path host = HostPathOf(path);
    if (!HostIsDirectory(host.parent_path()))
    {
        SetLastError(ERROR_PATH_NOT_FOUND);
        return FALSE;
    }
    TextForm encoding = TextForm::CodePage;
    std::vector<WString> lines;
    if (auto bytes = files().Bytes(path))
        lines = Lines(DecodeTextFile(*bytes, &encoding));
    if (HostIsDirectory(host))
    {
        SetLastError(ERROR_ACCESS_DENIED);
        return FALSE;
    }

    // The first section of that name: its header line and the end of its lines.
    size_t header = lines.size(), end = lines.size();
    for (size_t i = 0; i < lines.size(); ++i)
    {
        auto name = HeaderName(Trim(lines[i]));
        if (!name)
            continue;
        if (header != lines.size())
        {
            end = i;
            break;
        }
        if (EqualNoCase(*name, appName))
            header = i;
    }
    if (header == lines.size())
    {
        if (!keyName || !value)
            return TRUE; // nothing to delete
        lines.push_back(u"[" + WString(appName) + u"]");
        lines.push_back(WString(keyName) + u"=" + WString(value));
    }
    else if (!keyName)
        lines.erase(lines.begin() + static_cast<ptrdiff_t>(header),
                    lines.begin() + static_cast<ptrdiff_t>(end));
    else
    {
        size_t found = end;
        for (size_t i = header + 1; i < end && found == end; ++i)
        {
            WString line = Trim(lines[i]);
            if (!line.empty() && line[0] != u';' &&
                EqualNoCase(Trim(WStringView(line).substr(0, line.find(u'='))), keyName))
                found = i;
        }
        if (found != end && !value)
            lines.erase(lines.begin() + static_cast<ptrdiff_t>(found));
        else if (found != end)
            lines[found] = WString(keyName) + u"=" + WString(value);
        else if (value)
        {
            size_t at = end; // after the section's last non-blank line
            while (at > header + 1 && Trim(lines[at - 1]).empty())
                --at;
            lines.insert(lines.begin() + static_cast<ptrdiff_t>(at),
                         WString(keyName) + u"=" + WString(value));
        }
    }
    WString text;
    for (const WString& line : lines)
        text += line + u"\r\n";
    files().Put(path, EncodeTextFile(text, encoding));
    return TRUE;
}

// The 8-bit forms: names and texts in the system code page.
struct Wide
{
    std::optional<WString> text;
    explicit Wide(LPCSTR s)
    {
        if (s)
            text = Widen(s, CP_ACP);
    }
    LPCWSTR get() const { return text ? text->c_str() : nullptr; }
};
} // namespace
} // namespace sim::detail

using namespace sim::detail;

DWORD WINAPI GetPrivateProfileStringW(LPCWSTR appName, LPCWSTR keyName, LPCWSTR defaultValue, LPWSTR returned,
                                      DWORD size, LPCWSTR fileName)
{
    return Render(GetString(appName, keyName, defaultValue, fileName), returned, size);
}

DWORD WINAPI GetPrivateProfileStringA(LPCSTR appName, LPCSTR keyName, LPCSTR defaultValue, LPSTR returned,
                                      DWORD size, LPCSTR fileName)
{
    return Render(
        GetString(Wide(appName).get(), Wide(keyName).get(), Wide(defaultValue).get(), Wide(fileName).get()),
        returned, size);
}

UINT WINAPI GetPrivateProfileIntW(LPCWSTR appName, LPCWSTR keyName, INT defaultValue, LPCWSTR fileName)
{
    return GetInt(appName, keyName, defaultValue, fileName);
}

UINT WINAPI GetPrivateProfileIntA(LPCSTR appName, LPCSTR keyName, INT defaultValue, LPCSTR fileName)
{
    return GetInt(Wide(appName).get(), Wide(keyName).get(), defaultValue, Wide(fileName).get());
}

DWORD WINAPI GetPrivateProfileSectionNamesW(LPWSTR returned, DWORD size, LPCWSTR fileName)
{
    auto sections = ReadIni(fileName);
    Answer names{true, {}};
    if (sections)
        for (const IniSection& s : *sections)
            names.items.push_back(s.name);
    return Render(names, returned, size);
}

DWORD WINAPI GetPrivateProfileSectionNamesA(LPSTR returned, DWORD size, LPCSTR fileName)
{
    auto sections = ReadIni(Wide(fileName).get());
    Answer names{true, {}};
    if (sections)
        for (const IniSection& s : *sections)
            names.items.push_back(s.name);
    return Render(names, returned, size);
}

DWORD WINAPI GetPrivateProfileSectionW(LPCWSTR appName, LPWSTR returned, DWORD size, LPCWSTR fileName)
{
    return Render(GetSection(appName, fileName), returned, size);
}

DWORD WINAPI GetPrivateProfileSectionA(LPCSTR appName, LPSTR returned, DWORD size, LPCSTR fileName)
{
    return Render(GetSection(Wide(appName).get(), Wide(fileName).get()), returned, size);
}

BOOL WINAPI WritePrivateProfileStringW(LPCWSTR appName, LPCWSTR keyName, LPCWSTR value, LPCWSTR fileName)
{
    return Write(appName, keyName, value, fileName);
}

BOOL WINAPI WritePrivateProfileStringA(LPCSTR appName, LPCSTR keyName, LPCSTR value, LPCSTR fileName)
{
    return Write(Wide(appName).get(), Wide(keyName).get(), Wide(value).get(), Wide(fileName).get());
}
