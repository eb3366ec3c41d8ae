// FindExecutable: the program that opens a file. A program answers for itself; a document for the
// program its class's "open" command names.
#include "core/internal.h"

#include <platform/shellapi.h>

#include <cstring>

namespace sim::detail
{
std::optional<WString> AssociatedCommand(WStringView file, WStringView verb);
WString ProgramOfCommand(WStringView command);
} // namespace sim::detail

using namespace sim::detail;

namespace
{
HINSTANCE Code(ULONG_PTR code)
{
    return reinterpret_cast<HINSTANCE>(code);
}

bool IsProgram(WStringView path)
{
    size_t dot = path.rfind(u'.');
    if (dot == WStringView::npos || path.find(u'\\', dot) != WStringView::npos)
        return false;
    WStringView ext = path.substr(dot);
    for (WStringView p : {u".exe", u".com", u".bat", u".cmd", u".pif"})
        if (EqualNoCase(ext, p))
            return true;
    return false;
}
} // namespace

HINSTANCE WINAPI FindExecutableA(LPCSTR file, LPCSTR directory, LPSTR result)
{
    constexpr ULONG_PTR kFileNotFound = 2, kPathNotFound = 3, kNoAssociation = 31, kFound = 42;
    if (!result)
        return Code(kPathNotFound);
    *result = 0;
    if (!file || !*file)
        return Code(kFileNotFound);
    WString name = Widen(file);
    WString full = directory && *directory && name.find(u':') == WString::npos && !name.starts_with(u"\\\\")
                       ? FullPath(Widen(directory) + u"\\" + name)
                       : FullPath(name);
    if (GetFileAttributesW(full.c_str()) == INVALID_FILE_ATTRIBUTES)
        return Code(kFileNotFound);
    WString program;
    if (IsProgram(full))
        program = full;
    else if (auto command = AssociatedCommand(full, u"open"))
        program = ProgramOfCommand(*command);
    if (program.empty())
        return Code(kNoAssociation);
    std::string narrow = Narrow(program);
    if (narrow.size() >= MAX_PATH)
        return Code(kPathNotFound);
    std::memcpy(result, narrow.c_str(), narrow.size() + 1);
    return Code(kFound);
}
