// Behaviour of Windows that the product's programs rely on, written once against the Win32 API: the
// Wine stage runs these in a cross-built program, and the Linux tests run the same expectations over
// the simulated machine, so a difference between the simulation and a real Win32 shows on one side.
// Each check answers "" when the behaviour holds, else what was seen instead.
#pragma once

#include <platform/shlwapi.h>
#include <platform/windows.h>

#include <cstring>
#include <string>
#include <vector>

namespace behaviour
{

struct Check
{
    const char* name;
    std::string (*run)();
};

inline std::string Error(const char* what, DWORD expected)
{
    const DWORD seen = GetLastError();
    return seen == expected ? std::string()
                            : std::string(what) + ": error " + std::to_string(seen) + ", expected " +
                                  std::to_string(expected);
}

inline HANDLE NewSection(LPCWSTR name, DWORD size = 4096)
{
    return CreateFileMappingW(INVALID_HANDLE_VALUE, nullptr, PAGE_READWRITE, 0, size, name);
}

// Kernel object names compare with case: another case is another name.
inline std::string SectionNamesCompareWithCase()
{
    HANDLE section = NewSection(TEXT("Local\\velmo.check.Case"));
    if (!section)
        return "no section";
    std::string result;
    if (HANDLE same = OpenFileMappingW(FILE_MAP_READ, FALSE, TEXT("Local\\velmo.check.Case")))
        CloseHandle(same);
    else
        result = "the section is not found by its own name";
    if (HANDLE other = OpenFileMappingW(FILE_MAP_READ, FALSE, TEXT("Local\\VELMO.CHECK.CASE")))
    {
        CloseHandle(other);
        result = "the name in other case opens the section";
    }
    else if (result.empty())
        result = Error("other case", ERROR_FILE_NOT_FOUND);
    CloseHandle(section);
    return result;
}

// A section's name lasts while a handle to it is open, as a kernel object's name does; a view keeps
// only its memory.
inline std::string SectionNameGoesWithItsLastHandle()
{
    const LPCWSTR name = TEXT("Local\\velmo.check.lifetime");
    HANDLE section = NewSection(name);
    HANDLE second = section ? OpenFileMappingW(FILE_MAP_READ, FALSE, name) : nullptr;
    auto* view = section ? static_cast<char*>(MapViewOfFile(section, FILE_MAP_WRITE, 0, 0, 0)) : nullptr;
    if (!second || !view)
        return "no section";
    view[0] = 'v';
    CloseHandle(section);
    std::string result;
    if (HANDLE again = OpenFileMappingW(FILE_MAP_READ, FALSE, name))
        CloseHandle(again);
    else
        result = "the name went while a handle was open";
    CloseHandle(second);
    if (HANDLE stale = OpenFileMappingW(FILE_MAP_READ, FALSE, name))
    {
        CloseHandle(stale);
        result = "the section still opens by name after its last handle closed";
    }
    else if (result.empty())
        result = Error("after the last handle", ERROR_FILE_NOT_FOUND);
    if (result.empty() && view[0] != 'v')
        result = "the view lost its memory";
    UnmapViewOfFile(view);
    return result;
}

// A view asked to reach past the section's end is refused, and says it is not allowed.
inline std::string ViewPastTheEndIsRefused()
{
    HANDLE section = NewSection(nullptr, 4096);
    if (!section)
        return "no section";
    std::string result;
    if (void* view = MapViewOfFile(section, FILE_MAP_READ, 0, 0, 8192))
    {
        UnmapViewOfFile(view);
        result = "a view past the end was mapped";
    }
    else
        result = Error("view past the end", ERROR_ACCESS_DENIED);
    CloseHandle(section);
    return result;
}

// LoadLibraryEx refuses flags it does not know rather than ignoring them.
inline std::string UnknownLoadFlagsAreRefused()
{
    if (HMODULE module = LoadLibraryExW(TEXT("kernel32.dll"), nullptr, 0x01000000))
    {
        FreeLibrary(module);
        return "an unknown flag was ignored";
    }
    return Error("unknown flag", ERROR_INVALID_PARAMETER);
}

// Module names cut to the buffer: nSize - 1 characters and a terminator, nSize returned, and
// ERROR_INSUFFICIENT_BUFFER.
inline std::string ModuleNameIsCutToTheBuffer()
{
    char whole[MAX_PATH] = {};
    const DWORD length = GetModuleFileNameA(nullptr, whole, MAX_PATH);
    if (length < 8)
        return "no module name";
    char cut[8];
    std::memset(cut, 'x', sizeof cut);
    SetLastError(ERROR_SUCCESS);
    const DWORD n = GetModuleFileNameA(nullptr, cut, 6);
    if (n != 6)
        return "returned " + std::to_string(n) + ", expected 6";
    if (std::string(cut, 5) != std::string(whole, 5) || cut[5] != 0 || cut[6] != 'x')
        return "the buffer holds \"" + std::string(cut, 7) + "\", not 5 characters and a terminator";
    return Error("cut name", ERROR_INSUFFICIENT_BUFFER);
}

// The classes a print file's title is checked with: wildcards, separators, characters no name may hold,
// and name characters. Whether a name character also fits an 8.3 name is not asked of them; nor is the
// class of '/', which is not documented (see wine-known-differences.txt).
inline std::string PathCharacterClasses()
{
    struct Case
    {
        WCHAR c;
        UINT type;
    };
    const Case cases[] = {
        {u'*', GCT_WILD},      {u'?', GCT_WILD},    {u'\\', GCT_SEPARATOR}, {u':', GCT_SEPARATOR},
        {u'"', GCT_INVALID},   {u'<', GCT_INVALID}, {u'>', GCT_INVALID},    {u'|', GCT_INVALID},
        {0x1F, GCT_INVALID},   {u'a', GCT_LFNCHAR}, {u'0', GCT_LFNCHAR},    {u'.', GCT_LFNCHAR},
        {u' ', GCT_LFNCHAR},   {u'+', GCT_LFNCHAR}, {u',', GCT_LFNCHAR},    {u';', GCT_LFNCHAR},
        {u'=', GCT_LFNCHAR},   {u'[', GCT_LFNCHAR}, {0x00E9, GCT_LFNCHAR},  {0x3042, GCT_LFNCHAR},
        {0xFF76, GCT_LFNCHAR},
    };
    std::string result;
    for (const Case& c : cases)
    {
        const UINT seen = PathGetCharTypeW(c.c) & ~static_cast<UINT>(GCT_SHORTCHAR);
        if (seen != c.type)
            result += (result.empty() ? "" : ", ") + std::string("U+") + std::to_string(c.c) + " is " +
                      std::to_string(seen) + " not " + std::to_string(c.type);
    }
    return result;
}

inline std::vector<Check> Checks()
{
    return {
        {"section-names-compare-with-case", SectionNamesCompareWithCase},
        {"section-name-goes-with-its-last-handle", SectionNameGoesWithItsLastHandle},
        {"view-past-the-end-is-refused", ViewPastTheEndIsRefused},
        {"unknown-load-flags-are-refused", UnknownLoadFlagsAreRefused},
        {"module-name-is-cut-to-the-buffer", ModuleNameIsCutToTheBuffer},
        {"path-character-classes", PathCharacterClasses},
    };
}

} // namespace behaviour
