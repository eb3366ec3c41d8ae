// Each process's environment block and current folder. A process started by a test starts from the
// machine's system variables, as one started from the desktop does; one started by a program
// inherits that program's block. Names compare without case.
#include "core/internal.h"
#include "core/state.h"

#include <map>
#include <optional>

using namespace sim;
using namespace sim::detail;

namespace
{
struct Variable
{
    WString name; // as first set
    WString value;
};
using Block = std::map<WString, Variable>; // by folded name

struct Environments : PartBase
{
    std::map<DWORD, Block> byProcess;
    std::map<WString, std::pair<WString, std::optional<WString>>> system; // changes to the system's block
};

Block SystemBlock()
{
    bool wow = System64() && CurrentProcess().is32;
    Block b;
    auto put = [&](WStringView name, WStringView value) { b[Fold(name)] = {WString(name), WString(value)}; };
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
            b[folded] = {change.first, *change.second};
        else
            b.erase(folded);
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
    {
        WStringView folder = child.is32 ? u"C:\\Program Files (x86)" : u"C:\\Program Files";
        block[Fold(u"ProgramFiles")] = {u"ProgramFiles", WString(folder)};
    }
    Part<Environments>().byProcess[child.id] = std::move(block);
}

namespace
{
const Variable* Find(WStringView name)
{
    Block& b = OwnBlock();
    auto it = b.find(Fold(name));
    return it == b.end() ? nullptr : &it->second;
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
    const Variable* v = Find(name);
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
    WString key = Fold(name);
    if (!value)
    {
        if (!b.erase(key))
        {
            SetLastError(ERROR_ENVVAR_NOT_FOUND);
            return FALSE;
        }
        return TRUE;
    }
    auto it = b.find(key);
    if (it == b.end())
        b[key] = {WString(name), WString(value)};
    else
        it->second.value = value;
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
            const Variable* v = close > open + 1 ? Find(s.substr(open + 1, close - open - 1)) : nullptr;
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
