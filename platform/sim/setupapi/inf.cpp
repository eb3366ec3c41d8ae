// INF files: sections and keys without case, ";" comments, quotes removed ("" inside quotes is one),
// %name% from [Strings] outside quotes (%% is a percent sign), fields separated by commas. Strings
// are substituted once, so a string naming itself stays as it is.
#include "setupapi/inf.h"
#include "winspool/spooler_internal.h"

#include <platform/setupapi.h>

#include <map>

namespace sim::detail
{
namespace
{
using Strings = std::map<WString, WString>; // by folded key

bool IsBlank(WCHAR c)
{
    return c == u' ' || c == u'\t' || c == u'\r' || c == u'\x1a';
}

// One piece of a line (a key or a field): blanks outside quotes trimmed at both ends.
struct Piece
{
    WString text;
    size_t keep = 0; // text up to here is kept even if blank (it came from quotes)
    bool any = false;

    void Trim()
    {
        while (text.size() > keep && IsBlank(text.back()))
            text.pop_back();
    }
};

void Substitute(WStringView raw, const Strings* strings, WString& out)
{
    if (!strings)
    {
        out += raw;
        return;
    }
    size_t i = 0;
    while (i < raw.size())
    {
        if (raw[i] != u'%')
        {
            out.push_back(raw[i++]);
            continue;
        }
        size_t close = raw.find(u'%', i + 1);
        if (close == WStringView::npos)
        {
            out += raw.substr(i);
            return;
        }
        WStringView name = raw.substr(i + 1, close - i - 1);
        if (name.empty())
            out.push_back(u'%');
        else if (auto it = strings->find(Fold(name)); it != strings->end())
            out += it->second;
        else
            out += raw.substr(i, close - i + 1);
        i = close + 1;
    }
}

// Splits one line (no section header) into key and fields. Unbalanced quotes run to the line's end.
InfLine SplitLine(WStringView line, const Strings* strings)
{
    InfLine out;
    std::vector<Piece> pieces(1);
    bool keyDone = false;
    size_t i = 0;
    WString unquoted;
    auto flush = [&]() {
        Substitute(unquoted, strings, pieces.back().text);
        unquoted.clear();
    };
    while (i < line.size())
    {
        WCHAR c = line[i];
        if (c == u'"')
        {
            flush();
            size_t j = i + 1;
            while (j < line.size())
            {
                if (line[j] == u'"')
                {
                    if (j + 1 < line.size() && line[j + 1] == u'"')
                    {
                        pieces.back().text.push_back(u'"');
                        j += 2;
                        continue;
                    }
                    break;
                }
                pieces.back().text.push_back(line[j++]);
            }
            pieces.back().keep = pieces.back().text.size();
            pieces.back().any = true;
            i = j + 1;
            continue;
        }
        if (c == u';')
            break;
        if (c == u',' || (c == u'=' && !keyDone))
        {
            flush();
            pieces.back().Trim();
            if (c == u'=')
            {
                keyDone = true;
                out.hasKey = true;
                out.key = std::move(pieces.back().text);
                pieces.back() = Piece{};
            }
            else
                pieces.emplace_back();
            ++i;
            continue;
        }
        if (IsBlank(c) && pieces.back().text.empty() && unquoted.empty())
        {
            ++i; // leading blanks
            continue;
        }
        unquoted.push_back(c);
        pieces.back().any = true;
        ++i;
    }
    flush();
    pieces.back().Trim();
    for (Piece& p : pieces)
        out.fields.push_back(std::move(p.text));
    if (!out.hasKey && out.fields.size() == 1 && out.fields[0].empty() && !pieces[0].any)
        out.fields.clear(); // nothing but blanks or a comment
    return out;
}

std::optional<Inf> ParseText(const WString& text, const Strings* strings, DWORD* error, UINT* errorLine)
{
    Inf inf;
    std::map<WString, size_t> byName; // folded section name to index
    InfSection* current = nullptr;
    UINT lineNo = 0;
    size_t i = 0;
    while (i < text.size())
    {
        size_t end = text.find_first_of(u"\n", i);
        if (end == WString::npos)
            end = text.size();
        WStringView line = WStringView(text).substr(i, end - i);
        i = end + 1;
        ++lineNo;
        size_t nul = line.find(u'\0');
        if (nul != WStringView::npos)
            line = line.substr(0, nul);
        size_t b = 0;
        while (b < line.size() && IsBlank(line[b]))
            ++b;
        line.remove_prefix(b);
        if (line.empty() || line[0] == u';')
            continue;
        if (line[0] == u'[')
        {
            size_t close = line.find(u']');
            if (close == WStringView::npos)
            {
                *error = ERROR_BAD_SECTION_NAME_LINE;
                *errorLine = lineNo;
                return std::nullopt;
            }
            WString name(line.substr(1, close - 1));
            while (!name.empty() && IsBlank(name.back()))
                name.pop_back();
            while (!name.empty() && IsBlank(name.front()))
                name.erase(0, 1);
            auto [it, added] = byName.emplace(Fold(name), inf.sections.size());
            if (added)
                inf.sections.push_back({name, {}});
            current = &inf.sections[it->second];
            continue;
        }
        InfLine parsed = SplitLine(line, strings);
        if (!parsed.hasKey && parsed.fields.empty())
            continue;
        if (!current)
        {
            *error = ERROR_EXPECTED_SECTION_NAME;
            *errorLine = lineNo;
            return std::nullopt;
        }
        current->lines.push_back(std::move(parsed));
    }
    return inf;
}
} // namespace

const InfSection* Inf::Find(WStringView section) const
{
    for (const InfSection& s : sections)
        if (EqualNoCase(s.name, section))
            return &s;
    return nullptr;
}

const InfLine* Inf::FindLine(WStringView section, WStringView key) const
{
    const InfSection* s = Find(section);
    if (!s)
        return nullptr;
    for (const InfLine& l : s->lines)
        if (l.hasKey && EqualNoCase(l.key, key))
            return &l;
    return nullptr;
}

WString Inf::Field(WStringView section, WStringView key, size_t index) const
{
    const InfLine* l = FindLine(section, key);
    return l && index >= 1 && index <= l->fields.size() ? l->fields[index - 1] : WString();
}

std::vector<WString> Inf::Keys(WStringView section) const
{
    std::vector<WString> keys;
    if (const InfSection* s = Find(section))
        for (const InfLine& l : s->lines)
            if (l.hasKey)
                keys.push_back(l.key);
    return keys;
}

std::optional<Inf> ParseInf(std::string_view bytes, DWORD* error, UINT* errorLine)
{
    DWORD e = 0;
    UINT line = 0;
    WString text = DecodeTextFile(bytes);
    // Strings first: every other section's keys and fields refer to them.
    auto raw = ParseText(text, nullptr, &e, &line);
    if (!raw)
    {
        *error = e;
        if (errorLine)
            *errorLine = line;
        return std::nullopt;
    }
    Strings strings;
    if (const InfSection* s = raw->Find(u"Strings"))
        for (const InfLine& l : s->lines)
            if (l.hasKey)
            {
                // A string's "%%" is one percent sign once it stands in another line.
                WString value = l.fields.empty() ? WString() : l.fields[0];
                for (size_t at = value.find(u"%%"); at != WString::npos; at = value.find(u"%%", at + 1))
                    value.erase(at, 1);
                strings.emplace(Fold(l.key), std::move(value));
            }
    auto inf = ParseText(text, &strings, &e, &line);
    if (!inf)
    {
        *error = e;
        if (errorLine)
            *errorLine = line;
    }
    return inf;
}

WString InfPathOf(WStringView name)
{
    if (name.find_first_of(u"\\/:") == WStringView::npos)
        return FullPath(WString(kInfFolder) + u"\\" + WString(name));
    return FullPath(name);
}

std::optional<Inf> ReadInfFile(WStringView name, DWORD* error, UINT* errorLine)
{
    if (name.empty())
    {
        *error = ERROR_FILE_NOT_FOUND;
        return std::nullopt;
    }
    auto bytes = files().Bytes(InfPathOf(name));
    if (!bytes)
    {
        *error = ERROR_FILE_NOT_FOUND;
        return std::nullopt;
    }
    return ParseInf(*bytes, error, errorLine);
}

namespace
{
struct InfHandle : KernelObject
{
    Inf inf;
};

std::shared_ptr<InfHandle> CheckedInf(PVOID inf)
{
    auto h = FindHandleOf<InfHandle>(inf);
    if (!h)
        SetLastError(ERROR_INVALID_HANDLE);
    return h;
}

bool HasWin4Signature(const Inf& inf)
{
    WString signature = inf.Field(u"Version", u"Signature");
    return EqualNoCase(signature, u"$Windows NT$") || EqualNoCase(signature, u"$Chicago$") ||
           EqualNoCase(signature, u"$Windows 95$");
}
} // namespace
} // namespace sim::detail

using namespace sim::detail;

HINF WINAPI SetupOpenInfFileW(PCWSTR fileName, PCWSTR, DWORD infStyle, PUINT errorLine)
{
    SIM_SPOOLER_CALL("SetupOpenInfFileW", INVALID_HANDLE_VALUE);
    if (errorLine)
        *errorLine = 0;
    if (!fileName)
    {
        SetLastError(ERROR_INVALID_PARAMETER);
        return INVALID_HANDLE_VALUE;
    }
    std::lock_guard g(StateLock());
    DWORD error = 0;
    auto inf = ReadInfFile(fileName, &error, errorLine);
    if (!inf)
    {
        SetLastError(error);
        return INVALID_HANDLE_VALUE;
    }
    if ((infStyle & INF_STYLE_WIN4) && !HasWin4Signature(*inf))
    {
        SetLastError(ERROR_WRONG_INF_STYLE);
        return INVALID_HANDLE_VALUE;
    }
    auto handle = std::make_shared<InfHandle>();
    handle->inf = std::move(*inf);
    return AddHandle(handle);
}

void WINAPI SetupCloseInfFile(HINF inf)
{
    std::lock_guard g(StateLock());
    if (FindHandleOf<InfHandle>(inf))
        RemoveHandle(inf);
}

BOOL WINAPI SetupFindFirstLineW(HINF inf, PCWSTR section, PCWSTR key, PINFCONTEXT context)
{
    std::lock_guard g(StateLock());
    auto h = CheckedInf(inf);
    if (!h)
        return FALSE;
    if (!section || !context)
    {
        SetLastError(ERROR_INVALID_PARAMETER);
        return FALSE;
    }
    const auto& sections = h->inf.sections;
    for (size_t s = 0; s < sections.size(); ++s)
    {
        if (!EqualNoCase(sections[s].name, section))
            continue;
        const auto& lines = sections[s].lines;
        for (size_t l = 0; l < lines.size(); ++l)
            if (!key || (lines[l].hasKey && EqualNoCase(lines[l].key, key)))
            {
                *context = INFCONTEXT{inf, inf, static_cast<UINT>(s), static_cast<UINT>(l)};
                return TRUE;
            }
    }
    SetLastError(ERROR_LINE_NOT_FOUND);
    return FALSE;
}

BOOL WINAPI SetupFindNextLine(const INFCONTEXT* contextIn, PINFCONTEXT contextOut)
{
    std::lock_guard g(StateLock());
    if (!contextIn || !contextOut)
    {
        SetLastError(ERROR_INVALID_PARAMETER);
        return FALSE;
    }
    auto h = CheckedInf(contextIn->Inf);
    if (!h)
        return FALSE;
    if (contextIn->Section >= h->inf.sections.size() ||
        size_t{contextIn->Line} + 1 >= h->inf.sections[contextIn->Section].lines.size())
    {
        SetLastError(ERROR_LINE_NOT_FOUND);
        return FALSE;
    }
    INFCONTEXT next = *contextIn;
    ++next.Line;
    *contextOut = next;
    return TRUE;
}

BOOL WINAPI SetupGetStringFieldW(PINFCONTEXT context, DWORD fieldIndex, PWSTR returnBuffer,
                                 DWORD returnBufferSize, PDWORD requiredSize)
{
    std::lock_guard g(StateLock());
    if (!context)
    {
        SetLastError(ERROR_INVALID_PARAMETER);
        return FALSE;
    }
    auto h = CheckedInf(context->Inf);
    if (!h)
        return FALSE;
    if (context->Section >= h->inf.sections.size() ||
        context->Line >= h->inf.sections[context->Section].lines.size())
    {
        SetLastError(ERROR_INVALID_PARAMETER);
        return FALSE;
    }
    const InfLine& line = h->inf.sections[context->Section].lines[context->Line];
    const WString* field = nullptr;
    if (fieldIndex == 0 && line.hasKey)
        field = &line.key;
    else if (fieldIndex >= 1 && fieldIndex <= line.fields.size())
        field = &line.fields[fieldIndex - 1];
    if (!field)
    {
        SetLastError(ERROR_INVALID_PARAMETER);
        return FALSE;
    }
    const DWORD needed = static_cast<DWORD>(field->size() + 1);
    if (requiredSize)
        *requiredSize = needed;
    if (!returnBuffer)
        return TRUE;
    if (returnBufferSize < needed)
    {
        SetLastError(ERROR_INSUFFICIENT_BUFFER);
        return FALSE;
    }
    std::copy(field->begin(), field->end(), returnBuffer);
    returnBuffer[field->size()] = 0;
    return TRUE;
}
