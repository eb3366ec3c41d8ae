// The shell's FindExecutable: a program file is its own program; any other file's class names the
// program that opens it. Results above 32 are success, as ShellExecute's are.
#include "core/internal.h"

#include <platform/shellapi.h>

#include <cstring>
#include <optional>

namespace sim::detail
{
std::optional<WString> AssociatedCommand(WStringView file, WStringView verb); // shell32/execute.cpp
WString ProgramOfCommand(WStringView command);
} // namespace sim::detail

using namespace sim::detail;

HINSTANCE WINAPI FindExecutableA(LPCSTR file, LPCSTR directory, LPSTR result)
{
    auto code = [](INT_PTR value) { return reinterpret_cast<HINSTANCE>(value); };
    if (!file || !result)
        return code(SE_ERR_FNF);
    *result = '\0';
    WString path = Widen(file);
    bool absolute = path.size() > 2 && (path[1] == u':' || (path[0] == u'\\' && path[1] == u'\\'));
    if (!absolute && directory && *directory)
        path = Widen(directory) + u"\\" + path;
    if (GetFileAttributesW(path.c_str()) == INVALID_FILE_ATTRIBUTES)
        return code(SE_ERR_FNF);
    WString program;
    size_t dot = path.rfind(u'.');
    WString extension = dot == WString::npos ? WString() : path.substr(dot);
    if (EqualNoCase(extension, u".exe") || EqualNoCase(extension, u".com") ||
        EqualNoCase(extension, u".bat") || EqualNoCase(extension, u".cmd"))
        program = path;
    else
    {
        std::optional<WString> command;
        {
            std::lock_guard g(StateLock());
            command = AssociatedCommand(path, u"open");
        }
        if (!command)
            return code(SE_ERR_NOASSOC);
        program = ProgramOfCommand(*command);
    }
    std::string narrow = Narrow(program);
    if (narrow.size() >= MAX_PATH)
        return code(SE_ERR_OOM);
    std::memcpy(result, narrow.c_str(), narrow.size() + 1);
    return code(42);
}
