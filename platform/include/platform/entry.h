// Program entry points. On Windows these define the names the loader looks for; in the simulated
// machine they register the program under its file name so that starting that file runs it.
#pragma once

#include <platform/windows.h>

#if defined(_WIN32)

#define PLATFORM_WINMAIN(fileName, fn)                                                                       \
    int WINAPI WinMain(HINSTANCE instance, HINSTANCE previous, LPSTR commandLine, int showCommand)           \
    {                                                                                                        \
        return fn(instance, previous, commandLine, showCommand);                                             \
    }

#define PLATFORM_WWINMAIN(fileName, fn)                                                                      \
    int WINAPI wWinMain(HINSTANCE instance, HINSTANCE previous, LPWSTR commandLine, int showCommand)         \
    {                                                                                                        \
        return fn(instance, previous, commandLine, showCommand);                                             \
    }
// A program built for 32-bit Windows only (the build chooses which file it makes).
#define PLATFORM_WWINMAIN_32BIT(fileName, fn) PLATFORM_WWINMAIN(fileName, fn)

#else

namespace sim
{
using WinMainA = int (*)(HINSTANCE, HINSTANCE, LPSTR, int);
using WinMainW = int (*)(HINSTANCE, HINSTANCE, LPWSTR, int);
bool RegisterProgram(const char16_t* fileName, WinMainA entry);
bool RegisterProgram(const char16_t* fileName, WinMainW entry);
bool RegisterModuleResources(const char16_t* fileName, const char* rcFile);
// The program registered under this name runs as a 32-bit process (under WOW64 on a 64-bit system).
bool RegisterProgram32Bit(const char16_t* fileName);
} // namespace sim

// The build names the program's resource script; the machine reads it for LoadStringW and friends.
#if defined(PLATFORM_RESOURCE_FILE)
#define PLATFORM_ENTRY_RESOURCES(fileName)                                                                   \
    static const bool PLATFORM_ENTRY_CAT(resources_, __LINE__) =                                             \
        ::sim::RegisterModuleResources(fileName, PLATFORM_RESOURCE_FILE);
#else
#define PLATFORM_ENTRY_RESOURCES(fileName)
#endif

#define PLATFORM_ENTRY_CAT2(a, b) a##b
#define PLATFORM_ENTRY_CAT(a, b) PLATFORM_ENTRY_CAT2(a, b)
#define PLATFORM_WINMAIN(fileName, fn)                                                                       \
    static const bool PLATFORM_ENTRY_CAT(registered_, __LINE__) = ::sim::RegisterProgram(fileName, &fn);     \
    PLATFORM_ENTRY_RESOURCES(fileName)
#define PLATFORM_WWINMAIN(fileName, fn) PLATFORM_WINMAIN(fileName, fn)
#define PLATFORM_WWINMAIN_32BIT(fileName, fn)                                                                \
    PLATFORM_WINMAIN(fileName, fn)                                                                           \
    static const bool PLATFORM_ENTRY_CAT(bits32_, __LINE__) = ::sim::RegisterProgram32Bit(fileName);

#endif
