#include "hardening.h"

#include <platform/windows.h>

namespace launch
{
namespace
{
template <typename F> F Proc(HMODULE module, const char* name)
{
    return reinterpret_cast<F>(reinterpret_cast<void (*)()>(GetProcAddress(module, name)));
}
} // namespace

void HardenDllSearch(CharacterWidth width)
{
    bool narrow = width == CharacterWidth::Narrow;
    HMODULE kernel = narrow ? LoadLibraryExA("kernel32.dll", nullptr, LOAD_LIBRARY_SEARCH_SYSTEM32)
                            : LoadLibraryExW(TEXT("kernel32.dll"), nullptr, LOAD_LIBRARY_SEARCH_SYSTEM32);
    bool loadedHere = kernel != nullptr;
    if (kernel)
    {
        if (auto setDefault = Proc<BOOL(WINAPI*)(DWORD)>(kernel, "SetDefaultDllDirectories"))
            setDefault(LOAD_LIBRARY_SEARCH_SYSTEM32);
    }
    else
        kernel = narrow ? GetModuleHandleA("kernel32.dll") : GetModuleHandleW(TEXT("kernel32.dll"));
    if (kernel)
    {
        if (narrow)
        {
            if (auto setDirectory = Proc<BOOL(WINAPI*)(LPCSTR)>(kernel, "SetDllDirectoryA"))
                setDirectory("");
        }
        else if (auto setDirectory = Proc<BOOL(WINAPI*)(LPCWSTR)>(kernel, "SetDllDirectoryW"))
            setDirectory(TEXT(""));
        if (auto setMode = Proc<BOOL(WINAPI*)(DWORD)>(kernel, "SetSearchPathMode"))
            setMode(BASE_SEARCH_PATH_ENABLE_SAFE_SEARCHMODE | BASE_SEARCH_PATH_PERMANENT);
    }
    if (loadedHere)
        FreeLibrary(kernel);
}

} // namespace launch
