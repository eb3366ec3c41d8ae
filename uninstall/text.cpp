#include "text.h"

#include "uninstall_state.h"

#include <algorithm>
#include <array>
#include <cstdio>

namespace uninstall
{
namespace
{
// The byte length of the character at `i`.
size_t CharLength(std::string_view s, size_t i)
{
    if (i >= s.size())
        return 0;
    if (i + 1 < s.size() && IsDBCSLeadByte(static_cast<BYTE>(s[i])))
        return 2;
    return 1;
}

// Positions where characters start.
std::vector<size_t> CharStarts(std::string_view s)
{
    std::vector<size_t> starts;
    for (size_t i = 0; i < s.size(); i += CharLength(s, i))
        starts.push_back(i);
    return starts;
}

// The first single-byte `c` at or after byte `from` (which starts a character).
size_t FindChar(std::string_view s, char c, size_t from)
{
    for (size_t i = from; i < s.size(); i += CharLength(s, i))
        if (s[i] == c && CharLength(s, i) == 1)
            return i;
    return std::string_view::npos;
}

char Lower(char c)
{
    return c >= 'A' && c <= 'Z' ? static_cast<char>(c + 32) : c;
}

std::string_view Trim(std::string_view s)
{
    while (!s.empty() && (s.front() == ' ' || s.front() == '\t'))
        s.remove_prefix(1);
    while (!s.empty() && (s.back() == ' ' || s.back() == '\t'))
        s.remove_suffix(1);
    return s;
}
} // namespace

SplitModulePath SplitPath(std::string_view path)
{
    size_t nameStart = 0;
    for (size_t i = 0; i < path.size(); i += CharLength(path, i))
        if (CharLength(path, i) == 1 && (path[i] == '\\' || path[i] == '/' || (i == 1 && path[i] == ':')))
            nameStart = i + 1;
    SplitModulePath split;
    split.folder = std::string(path.substr(0, nameStart));
    std::string_view name = path.substr(nameStart);
    size_t dot = std::string_view::npos;
    for (size_t i = 0; i < name.size(); i += CharLength(name, i))
        if (name[i] == '.' && CharLength(name, i) == 1)
            dot = i;
    split.baseName = std::string(name.substr(0, dot));
    split.extension = dot == std::string_view::npos ? std::string() : std::string(name.substr(dot));
    return split;
}

std::string UiIniName(std::string_view baseName)
{
    std::string base(baseName);
    auto starts = CharStarts(base);
    size_t n = base.size();
    if (starts.size() >= 3 && base[n - 1] <= '9' && base[n - 2] <= '9' && CharLength(base, n - 2) == 1 &&
        starts[starts.size() - 2] == n - 2)
        base.resize(n - 2);
    return base + ".ini";
}

std::string JoinPath(std::string_view folder, std::string_view name)
{
    std::string out(folder);
    bool endsWithSlash = !out.empty() && FolderOf(out).size() == out.size();
    while (!name.empty() && (name.front() == '\\' || name.front() == '/'))
        name.remove_prefix(1);
    if (!out.empty() && !endsWithSlash)
        out += '\\';
    out += name;
    return out;
}

std::string FolderOf(std::string_view path)
{
    size_t end = 0;
    for (size_t i = 0; i < path.size(); i += CharLength(path, i))
        if (CharLength(path, i) == 1 && (path[i] == '\\' || path[i] == '/'))
            end = i + 1;
    return std::string(path.substr(0, end));
}

bool IsDriveRoot(std::string_view folder)
{
    if (folder.size() == 3 && folder[1] == ':' && (folder[2] == '\\' || folder[2] == '/'))
        return true;
    if (folder.size() == 2 && folder[1] == ':')
        return true;
    // "\\server\share\" is a root too.
    if (folder.size() > 2 && folder[0] == '\\' && folder[1] == '\\')
    {
        size_t share = FindChar(folder, '\\', 2);
        size_t after = share == std::string_view::npos ? share : FindChar(folder, '\\', share + 1);
        return after == std::string_view::npos || after + 1 == folder.size();
    }
    return false;
}

bool IsAbsolutePath(std::string_view path)
{
    bool drive = path.size() >= 2 && path[1] == ':' &&
                 ((path[0] >= 'A' && path[0] <= 'Z') || (path[0] >= 'a' && path[0] <= 'z'));
    bool unc = path.size() >= 2 && path[0] == '\\' && path[1] == '\\';
    return drive || unc;
}

std::string ExpandEscapes(std::string_view text)
{
    std::string out;
    for (size_t i = 0; i < text.size();)
    {
        size_t len = CharLength(text, i);
        if (len == 1 && text[i] == '\\' && i + 1 < text.size() && (text[i + 1] == 'n' || text[i + 1] == 't'))
        {
            out += text[i + 1] == 'n' ? '\n' : '\t';
            i += 2;
            continue;
        }
        out.append(text.substr(i, len));
        i += len;
    }
    return out;
}

std::string FormatWithArgument(std::string_view text, std::string_view argument, size_t limit)
{
    std::string out;
    bool used = false;
    for (size_t i = 0; i < text.size() && out.size() < limit;)
    {
        size_t len = CharLength(text, i);
        if (len == 1 && text[i] == '%' && i + 1 < text.size() && text[i + 1] == '%')
        {
            out += '%';
            i += 2;
        }
        else if (len == 1 && text[i] == '%' && i + 1 < text.size() && text[i + 1] == 's' && !used)
        {
            out.append(argument);
            used = true;
            i += 2;
        }
        else
        {
            out.append(text.substr(i, len));
            i += len;
        }
    }
    if (out.size() > limit)
    {
        // Cut at a character boundary.
        size_t keep = 0;
        for (size_t i = 0; i < out.size() && i + CharLength(out, i) <= limit; i += CharLength(out, i))
            keep = i + CharLength(out, i);
        out.resize(keep);
    }
    return out;
}

std::vector<std::string> SplitFields(std::string_view value, char separator)
{
    std::vector<std::string> fields;
    size_t start = 0;
    for (;;)
    {
        size_t at = FindChar(value, separator, start);
        fields.emplace_back(
            value.substr(start, at == std::string_view::npos ? std::string_view::npos : at - start));
        if (at == std::string_view::npos)
            return fields;
        start = at + 1;
    }
}

bool EqualNoCase(std::string_view a, std::string_view b)
{
    return a.size() == b.size() &&
           std::equal(a.begin(), a.end(), b.begin(), [](char x, char y) { return Lower(x) == Lower(y); });
}

bool ContainsNoCase(std::string_view text, std::string_view part)
{
    if (part.size() > text.size())
        return false;
    for (size_t i = 0; i + part.size() <= text.size(); ++i)
        if (EqualNoCase(text.substr(i, part.size()), part))
            return true;
    return false;
}

WORD ParseDebugToken(std::string_view token, WORD flags)
{
    if (token.size() < 3 || !EqualNoCase(token.substr(0, 2), "-d"))
        return flags;
    std::string_view options = token.substr(2);
    if (ContainsNoCase(options, "out"))
        flags = kLogDebugger;
    if (ContainsNoCase(options, "log"))
        flags |= kLogFile;
    if (ContainsNoCase(options, "qa"))
        flags |= kLogQa;
    return flags;
}

std::string DebugOptionsSuffix(WORD flags)
{
    if (!(flags & (kLogFile | kLogDebugger | kLogQa)))
        return {};
    std::string s = " -d";
    if (flags & kLogFile)
        s += "log";
    if (flags & kLogDebugger)
        s += "out";
    if (flags & kLogQa)
        s += "qa";
    return s;
}

std::string PickLanguageFolder(LANGID language, std::string_view fallback,
                               const std::vector<std::string>& entries)
{
    char full[16];
    char primary[8];
    std::snprintf(full, sizeof full, "%02x%02x", language & 0x3FF, language >> 10);
    std::snprintf(primary, sizeof primary, "%02x", language & 0x3FF);
    for (int pass = 0; pass < 2; ++pass)
        for (const std::string& entry : entries)
        {
            auto fields = SplitFields(entry, ';');
            if (fields.size() < 3 || fields[1].empty())
                continue;
            if (EqualNoCase(fields[2], full) || (pass == 1 && EqualNoCase(fields[2], primary)))
                return fields[1].substr(0, 127);
        }
    return std::string(fallback);
}

ApplicationEntry ParseApplicationEntry(std::string_view value)
{
    auto fields = SplitFields(value, ';');
    ApplicationEntry e;
    e.name = fields[0];
    e.displayName = fields.size() > 1 && !fields[1].empty() ? fields[1] : "Application";
    if (fields.size() > 2)
    {
        std::string_view digits = Trim(fields[2]);
        int n = 0;
        bool ok = !digits.empty() && digits.size() <= 5;
        for (char c : digits)
            ok = ok && c >= '0' && c <= '9';
        for (char c : digits)
            if (ok)
                n = n * 10 + (c - '0');
        e.messageOffset = ok ? n : 0;
    }
    return e;
}

std::string ShortenToFit(std::string_view text, int width, const Measure& measure)
{
    if (measure(text) <= width)
        return std::string(text);
    auto starts = CharStarts(text);
    std::string candidate(text);
    if (starts.size() > 3)
    {
        std::string_view prefix = text.substr(0, starts[3]);
        size_t rest = FindChar(text, '\\', starts[3]);
        while (rest != std::string_view::npos)
        {
            candidate = std::string(prefix) + "..." + std::string(text.substr(rest));
            if (measure(candidate) <= width)
                return candidate;
            rest = FindChar(text, '\\', rest + 1);
        }
    }
    // No element left to drop: cut from the end.
    auto cut = CharStarts(candidate);
    for (size_t n = cut.size(); n-- > 0;)
    {
        std::string shorter = candidate.substr(0, cut[n]) + "...";
        if (measure(shorter) <= width)
            return shorter;
    }
    return "...";
}

std::optional<FontSpec> ParseFontSpec(std::string_view value)
{
    auto fields = SplitFields(value, ',');
    if (fields.size() < 3)
        return std::nullopt;
    for (auto& f : fields)
        f = std::string(Trim(f));
    FontSpec spec;
    spec.face = fields[0].substr(0, LF_FACESIZE - 1);
    std::string_view height = fields[1];
    if (height.empty() || height.size() > 4 ||
        !std::all_of(height.begin(), height.end(), [](char c) { return c >= '0' && c <= '9'; }))
        return std::nullopt;
    spec.height = -std::stol(std::string(height));
    static constexpr std::array<std::pair<std::string_view, BYTE>, 19> kCharsets = {{
        {"DEFAULT", DEFAULT_CHARSET},
        {"ANSI", ANSI_CHARSET},
        {"SYMBOL", SYMBOL_CHARSET},
        {"SHIFTJIS", SHIFTJIS_CHARSET},
        {"HANGEUL", HANGEUL_CHARSET},
        {"GB2312", GB2312_CHARSET},
        {"CHINESEBIG5", CHINESEBIG5_CHARSET},
        {"OEM", OEM_CHARSET},
        {"JOHAB", JOHAB_CHARSET},
        {"HEBREW", HEBREW_CHARSET},
        {"ARABIC", ARABIC_CHARSET},
        {"GREEK", GREEK_CHARSET},
        {"TURKISH", TURKISH_CHARSET},
        {"VIETNAMESE", VIETNAMESE_CHARSET},
        {"THAI", THAI_CHARSET},
        {"EASTEUROPE", EASTEUROPE_CHARSET},
        {"RUSSIAN", RUSSIAN_CHARSET},
        {"MAC", MAC_CHARSET},
        {"BALTIC", BALTIC_CHARSET},
    }};
    for (const auto& [name, charset] : kCharsets)
        if (fields[2] == name)
            spec.charset = charset;
    static constexpr std::array<std::pair<std::string_view, LONG>, 15> kWeights = {{
        {"DONTCARE", FW_DONTCARE},
        {"THIN", FW_THIN},
        {"EXTRALIGHT", FW_EXTRALIGHT},
        {"ULTRALIGHT", FW_EXTRALIGHT},
        {"LIGHT", FW_LIGHT},
        {"NORMAL", FW_NORMAL},
        {"REGULAR", FW_NORMAL},
        {"MEDIUM", FW_MEDIUM},
        {"SEMIBOLD", FW_SEMIBOLD},
        {"DEMIBOLD", FW_SEMIBOLD},
        {"BOLD", FW_BOLD},
        {"EXTRABOLD", FW_EXTRABOLD},
        {"ULTRABOLD", FW_EXTRABOLD},
        {"HEAVY", FW_HEAVY},
        {"BLACK", FW_HEAVY},
    }};
    if (fields.size() > 3)
        for (const auto& [name, weight] : kWeights)
            if (fields[3] == name)
                spec.weight = weight;
    spec.underline = fields.size() > 4 && fields[4] == "UNDERLINE";
    return spec;
}

RECT CentreRect(const RECT& window, const RECT& over, const RECT& area)
{
    LONG w = window.right - window.left;
    LONG h = window.bottom - window.top;
    LONG x = over.left + ((over.right - over.left) - w) / 2;
    LONG y = over.top + ((over.bottom - over.top) - h) / 2;
    x = std::max(x, area.left);
    y = std::max(y, area.top);
    if (x + w > area.right)
        x = area.right - w;
    if (y + h > area.bottom)
        y = area.bottom - h;
    return RECT{x, y, x + w, y + h};
}

} // namespace uninstall
