// Each process's environment block and current folder. A process started by a test starts from the
// machine's system variables, as one started from the desktop does; one started by a program
// inherits that program's block unless it was given one. Names compare without case; a block keeps
// its order, and a new name goes where the system's sorted order puts it.
#include "core/internal.h"
#include "core/state.h"

#include <algorithm>
#include <map>
#include <memory>
#include <optional>

using namespace sim;
using namespace sim::detail;

namespace
{
using Block = EnvironmentBlock;

struct Environments : PartBase
{
    std::map<DWORD, Block> byProcess;
    std::map<WString, std::pair<WString, std::optional<WString>>> system; // changes to the system's block
    std::map<const WCHAR*, std::unique_ptr<WCHAR[]>> copies;              // GetEnvironmentStringsW's
};

Block::iterator FindIn(Block& b, WStringView name)
{
    WString folded = Fold(name);
    return std::ranges::find_if(b, [&](const EnvironmentVariable& v) { return Fold(v.name) == folded; });
}

// Sets or adds a variable: a new one goes before the first name that sorts after it.
void Put(Block& b, WStringView name, WStringView value)
{
    if (auto it = FindIn(b, name); it != b.end())
    {
        it->value = WString(value);
        return;
    }
    WString folded = Fold(name);
    auto at = std::ranges::find_if(b, [&](const EnvironmentVariable& v) { return Fold(v.name) > folded; });
    b.insert(at, {WString(name), WString(value)});
}

Block SystemBlock()
{
    bool wow = System64() && CurrentProcess().is32;
    Block b;
    auto put = [&](WStringView name, WStringView value) { Put(b, name, value); };
    put(u"ALLUSERSPROFILE", u"C:\\ProgramData");
    put(u"APPDATA", u"C:\\Users\\User\\AppData\\Roaming");
    put(u"COMSPEC", u"C:\\Windows\\system32\\cmd.exe");
    put(u"LOCALAPPDATA", u"C:\\Users\\User\\AppData\\Local");
    put(u"PATH", u"C:\\Windows\\system32;C:\\Windows");
    put(u"PATHEXT", u".COM;.EXE;.BAT;.CMD");
    put(u"ProgramData", u"C:\\ProgramData");
    put(u"ProgramFiles", wow ? u"C:\\Program Files (x86)" : u"C:\\Program Files");
    if (System64())
    {
        put(u"ProgramFiles(x86)", u"C:\\Program Files (x86)");
        put(u"ProgramW6432", u"C:\\Program Files");
    }
    put(u"SystemDrive", u"C:");
    put(u"SystemRoot", u"C:\\Windows");
    put(u"TEMP", u"C:\\Users\\User\\AppData\\Local\\Temp");
    put(u"TMP", u"C:\\Users\\User\\AppData\\Local\\Temp");
    put(u"USERPROFILE", u"C:\\Users\\User");
    put(u"windir", u"C:\\Windows");
    for (const auto& [folded, change] : Part<Environments>().system)
    {
        if (change.second)
            Put(b, change.first, *change.second);
        else if (auto it = FindIn(b, change.first); it != b.end())
            b.erase(it);
    }
    return b;
}

} // namespace

void sim::Processes::SetSystemVariable(WStringView name, std::optional<WString> value)
{
    std::lock_guard g(StateLock());
    Part<Environments>().system[Fold(name)] = {WString(name), std::move(value)};
}

namespace
{
// The calling process's block; the state lock is held.
Block& OwnBlock()
{
    auto& all = Part<Environments>().byProcess;
    DWORD id = CurrentProcess().id;
    auto it = all.find(id);
    if (it == all.end())
        it = all.emplace(id, SystemBlock()).first;
    return it->second;
}

} // namespace

void sim::detail::InheritEnvironment(const Process& child)
{
    std::lock_guard g(StateLock());
    Block block = OwnBlock();
    // WOW64 sets ProgramFiles for the child's width when it differs from its parent's.
    if (System64() && child.is32 != CurrentProcess().is32)
        Put(block, u"ProgramFiles", child.is32 ? u"C:\\Program Files (x86)" : u"C:\\Program Files");
    Part<Environments>().byProcess[child.id] = std::move(block);
}

void sim::detail::GiveEnvironment(const Process& child, EnvironmentBlock block)
{
    std::lock_guard g(StateLock());
    Part<Environments>().byProcess[child.id] = std::move(block);
}

namespace
{
// The longest block a caller may give, in characters: past it a block without its end is refused
// rather than read on.
constexpr size_t kMaxBlock = size_t{1} << 20;

template <typename Char>
std::optional<Block> ReadBlock(const Char* p, WString (*widen)(std::basic_string_view<Char>))
{
    Block b;
    size_t used = 0;
    while (used < kMaxBlock && p[used] != 0)
    {
        size_t length = 0;
        while (used + length < kMaxBlock && p[used + length] != 0)
            ++length;
        if (used + length == kMaxBlock)
            return std::nullopt; // no end within reach
        WString entry = widen(std::basic_string_view<Char>(p + used, length));
        // A name may start with '=' (the hidden per-drive folders), so the separator is looked for
        // after the first character.
        size_t equals = entry.find(u'=', 1);
        if (equals == WString::npos)
            return std::nullopt;
        b.push_back({entry.substr(0, equals), entry.substr(equals + 1)});
        used += length + 1;
    }
    if (used >= kMaxBlock)
        return std::nullopt;
    return b;
}

WString WidenWide(WStringView text)
{
    return WString(text);
}

WString WidenNarrow(std::string_view text)
{
    return Widen(text);
}
} // namespace

std::optional<EnvironmentBlock> sim::detail::ReadEnvironmentBlock(const void* block, bool unicode)
{
    if (unicode)
        return ReadBlock<WCHAR>(static_cast<const WCHAR*>(block), &WidenWide);
    return ReadBlock<char>(static_cast<const char*>(block), &WidenNarrow);
}

namespace
{
const EnvironmentVariable* Find(WStringView name)
{
    Block& b = OwnBlock();
    auto it = FindIn(b, name);
    return it == b.end() ? nullptr : &*it;
}

// Two-call copy: the length without the terminator when it fits, else the size needed with it.
DWORD CopyOut(WStringView text, LPWSTR buffer, DWORD size)
{
    if (!buffer || size <= text.size())
        return static_cast<DWORD>(text.size() + 1);
    std::copy(text.begin(), text.end(), buffer);
    buffer[text.size()] = 0;
    return static_cast<DWORD>(text.size());
}
} // namespace

DWORD WINAPI GetEnvironmentVariableW(LPCWSTR name, LPWSTR buffer, DWORD size)
{
    if (!name || !*name)
    {
        SetLastError(ERROR_ENVVAR_NOT_FOUND);
        return 0;
    }
    std::lock_guard g(StateLock());
    const EnvironmentVariable* v = Find(name);
    if (!v)
    {
        SetLastError(ERROR_ENVVAR_NOT_FOUND);
        return 0;
    }
    SetLastError(ERROR_SUCCESS);
    return CopyOut(v->value, buffer, size);
}

BOOL WINAPI SetEnvironmentVariableW(LPCWSTR name, LPCWSTR value)
{
    if (!name || !*name || WStringView(name).find(u'=') != WStringView::npos)
    {
        SetLastError(ERROR_INVALID_PARAMETER);
        return FALSE;
    }
    std::lock_guard g(StateLock());
    Block& b = OwnBlock();
    if (!value)
    {
        auto it = FindIn(b, name);
        if (it == b.end())
        {
            SetLastError(ERROR_ENVVAR_NOT_FOUND);
            return FALSE;
        }
        b.erase(it);
        return TRUE;
    }
    Put(b, name, value);
    return TRUE;
}

// A copy of the block, "name=value" entries each ended by a NUL and the whole by one more.
LPWCH WINAPI GetEnvironmentStringsW()
{
    std::lock_guard g(StateLock());
    WString text;
    for (const EnvironmentVariable& v : OwnBlock())
        text += v.name + u"=" + v.value + WString(1, u'\0');
    text += u'\0';
    if (text.size() == 1)
        text += u'\0'; // an empty block still ends in two
    auto copy = std::make_unique<WCHAR[]>(text.size());
    std::ranges::copy(text, copy.get());
    LPWCH block = copy.get();
    Part<Environments>().copies[block] = std::move(copy);
    return block;
}

BOOL WINAPI FreeEnvironmentStringsW(LPWCH block)
{
    std::lock_guard g(StateLock());
    if (!block || !Part<Environments>().copies.erase(block))
    {
        SetLastError(ERROR_INVALID_PARAMETER);
        return FALSE;
    }
    return TRUE;
}

DWORD WINAPI ExpandEnvironmentStringsW(LPCWSTR source, LPWSTR destination, DWORD size)
{
    if (!source)
    {
        SetLastError(ERROR_INVALID_PARAMETER);
        return 0;
    }
    WString out;
    {
        std::lock_guard g(StateLock());
        WStringView s(source);
        size_t i = 0;
        while (i < s.size())
        {
            size_t open = s.find(u'%', i);
            if (open == WStringView::npos)
            {
                out += s.substr(i);
                break;
            }
            out += s.substr(i, open - i);
            size_t close = s.find(u'%', open + 1);
            if (close == WStringView::npos)
            {
                out += s.substr(open);
                break;
            }
            const EnvironmentVariable* v =
                close > open + 1 ? Find(s.substr(open + 1, close - open - 1)) : nullptr;
            if (v)
            {
                out += v->value;
                i = close + 1;
            }
            else
            {
                out += s.substr(open, close - open + 1); // an unknown name stays as written
                i = close + 1;
            }
        }
    }
    // The count includes the terminator, whether or not the text fitted.
    if (destination && size > out.size())
    {
        std::copy(out.begin(), out.end(), destination);
        destination[out.size()] = 0;
    }
    return static_cast<DWORD>(out.size() + 1);
}
