// Hardening the DLL search of a program at its start: system libraries from System32 only, and the
// current folder out of the search. Each step only where this Windows has the function.
#pragma once

#include <platform/windows.h>

namespace platform
{

template <typename F> F ProcAddress(HMODULE module, LPCSTR name)
{
    return reinterpret_cast<F>(reinterpret_cast<void (*)()>(GetProcAddress(module, name)));
}

inline void HardenDllSearchPath()
{
    HMODULE kernel = LoadLibraryExW(TEXT("kernel32.dll"), nullptr, LOAD_LIBRARY_SEARCH_SYSTEM32);
    const bool loadedHere = kernel != nullptr;
    if (kernel)
    {
        if (auto setDefault = ProcAddress<BOOL(WINAPI*)(DWORD)>(kernel, "SetDefaultDllDirectories"))
            setDefault(LOAD_LIBRARY_SEARCH_SYSTEM32);
    }
    else
        kernel = GetModuleHandleW(TEXT("kernel32.dll"));
    if (kernel)
    {
        if (auto setDirectory = ProcAddress<BOOL(WINAPI*)(LPCWSTR)>(kernel, "SetDllDirectoryW"))
            setDirectory(TEXT(""));
        if (auto setMode = ProcAddress<BOOL(WINAPI*)(DWORD)>(kernel, "SetSearchPathMode"))
            setMode(BASE_SEARCH_PATH_ENABLE_SAFE_SEARCHMODE | BASE_SEARCH_PATH_PERMANENT);
    }
    if (loadedHere)
        FreeLibrary(kernel);
}

} // namespace platform
