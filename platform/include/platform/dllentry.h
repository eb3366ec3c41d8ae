// DLL exports. Each DLL names its exports once, in an X-macro list beside its entry file, one
// X(ordinal, name) a line (named NAME_EXPORT_LIST: the build defines NAME_EXPORTS for a DLL):
//
//     #define NAME_EXPORT_LIST(X) X(1, FirstExport) X(2, SecondExport) ...
//
// The entry file defines the functions between PLATFORM_DLL_BEGIN and PLATFORM_DLL_END. On Windows
// they are plain exported functions and the build writes the DLL's .def from the list (velmo_dll ...
// EXPORTS); in the simulated machine the list registers them with the loader under the DLL's file
// name, so LoadLibrary finds them by name and by ordinal.
#pragma once

#include <platform/windows.h>

#if defined(_WIN32)

#define PLATFORM_DLL_BEGIN(dll)                                                                              \
    extern "C"                                                                                               \
    {
#define PLATFORM_DLL_END }
#define PLATFORM_DLL_REGISTER(dll, fileName, exports)
#define PLATFORM_DLL_REGISTER_WITH_MAIN(dll, fileName, exports)

#else

#include <initializer_list>

namespace sim
{
struct DllExport
{
    const char* name;
    WORD ordinal;
    void (*address)();
};
using DllEntryPoint = BOOL(WINAPI*)(HINSTANCE, DWORD, LPVOID);
// Before main only: a product DLL the loader finds by `fileName`, with its entry point (or null).
bool RegisterDll(const char16_t* fileName, std::initializer_list<DllExport> exports, DllEntryPoint dllMain);
bool RegisterModuleResources(const char16_t* fileName, const char* rcFile);
} // namespace sim

// The build names the DLL's resource script; the machine reads it for LoadStringW of its instance.
#if defined(PLATFORM_RESOURCE_FILE)
#define PLATFORM_DLL_RESOURCES(fileName)                                                                     \
    static const bool resourcesRegistered = ::sim::RegisterModuleResources(fileName, PLATFORM_RESOURCE_FILE);
#else
#define PLATFORM_DLL_RESOURCES(fileName)
#endif

// The entry file's functions keep their Windows names inside a namespace of their own here, so that
// every DLL links into one test program beside the others.
#define PLATFORM_DLL_BEGIN(dll)                                                                              \
    namespace dll##_exports                                                                                  \
    {
#define PLATFORM_DLL_END }
#define PLATFORM_DLL_EXPORT_ENTRY(ordinal, fn)                                                               \
    ::sim::DllExport{#fn, ordinal, reinterpret_cast<void (*)()>(&fn)},
#define PLATFORM_DLL_REGISTER(dll, fileName, exports)                                                        \
    namespace dll##_exports                                                                                  \
    {                                                                                                        \
        static const bool registered =                                                                       \
            ::sim::RegisterDll(fileName, {exports(PLATFORM_DLL_EXPORT_ENTRY)}, nullptr);                     \
        PLATFORM_DLL_RESOURCES(fileName)                                                                     \
    }
// The same, for a DLL whose entry file also defines DllMain.
#define PLATFORM_DLL_REGISTER_WITH_MAIN(dll, fileName, exports)                                              \
    namespace dll##_exports                                                                                  \
    {                                                                                                        \
        static const bool registered =                                                                       \
            ::sim::RegisterDll(fileName, {exports(PLATFORM_DLL_EXPORT_ENTRY)}, &DllMain);                    \
        PLATFORM_DLL_RESOURCES(fileName)                                                                     \
    }

#endif
