// DLL exports. On Windows the exported functions are defined in the DLL's entry file and named by its
// .def file; in the simulated machine the same entry file registers them under the DLL's file name,
// so that code loading that file (the graphics engine, LoadLibrary) finds them by name.
#pragma once

#include <platform/windows.h>

#if defined(_WIN32)

#define PLATFORM_DLL_BEGIN(dll)                                                                              \
    extern "C"                                                                                               \
    {
#define PLATFORM_DLL_END }
#define PLATFORM_DLL_EXPORT(dll, fn)
#define PLATFORM_DLL_REGISTER(fileName, ...)

#else

#include <initializer_list>

namespace sim
{
struct DllExport
{
    const char* name;
    void (*address)();
};
bool RegisterDll(const char16_t* fileName, std::initializer_list<DllExport> exports);
} // namespace sim

// The entry file's functions keep their Windows names inside a namespace of their own here, so that
// every DLL links into one test program beside the others.
#define PLATFORM_DLL_BEGIN(dll)                                                                              \
    namespace dll##_exports                                                                                  \
    {
#define PLATFORM_DLL_END }
#define PLATFORM_DLL_EXPORT(dll, fn)                                                                         \
    ::sim::DllExport                                                                                         \
    {                                                                                                        \
#fn, reinterpret_cast < void (*)()>(&dll##_exports::fn)                                              \
    }
#define PLATFORM_DLL_CAT2(a, b) a##b
#define PLATFORM_DLL_CAT(a, b) PLATFORM_DLL_CAT2(a, b)
#define PLATFORM_DLL_REGISTER(fileName, ...)                                                                 \
    static const bool PLATFORM_DLL_CAT(registeredDll_, __LINE__) =                                           \
        ::sim::RegisterDll(fileName, {__VA_ARGS__});

#endif
