// Loads the user-mode spool DLL as the spooler does and checks what it answers for valid, closed and
// missing handles, by name and by ordinal. Prints one line a check and "FAIL ..." at the first wrong one.
//   spool_dll_harness <dll>
#include "drive.h"

#include <string>

namespace
{
using drive::Fail;

template <typename F> F Export(HMODULE module, const char* name)
{
    auto proc = GetProcAddress(module, name);
    if (!proc)
        Fail(std::string("no export ") + name);
    return reinterpret_cast<F>(reinterpret_cast<void*>(proc));
}

void Expect(bool ok, const std::string& what)
{
    if (!ok)
        Fail(what + " (last error " + std::to_string(GetLastError()) + ")");
    std::printf("ok %s\n", what.c_str());
}
} // namespace

int main()
{
    auto args = drive::Arguments();
    if (args.size() < 2)
        Fail("usage: spool_dll_harness <dll>");
    HMODULE module = LoadLibraryW(args[1].c_str());
    if (!module)
        Fail("the DLL does not load");
    using StartDocFn = HANDLE(WINAPI*)(HANDLE, DWORD);
    using HandleFn = BOOL(WINAPI*)(HANDLE);
    auto startDoc = Export<StartDocFn>(module, "DrvSplStartDoc");
    auto startPage = Export<HandleFn>(module, "DrvSplStartPage");
    auto endPage = Export<HandleFn>(module, "DrvSplEndPage");
    auto endDoc = Export<HandleFn>(module, "DrvSplEndDoc");
    auto close = Export<HandleFn>(module, "DrvSplClose");
    auto abort = Export<HandleFn>(module, "DrvSplAbort");
    const char* names[] = {"DrvSplAbort",    "DrvSplClose",     "DrvSplEndDoc",      "DrvSplEndPage",
                           "DrvSplStartDoc", "DrvSplStartPage", "DrvSplWritePrinter"};
    for (int ordinal = 1; ordinal <= 7; ++ordinal)
        Expect(GetProcAddress(module, MAKEINTRESOURCEA(ordinal)) ==
                   GetProcAddress(module, names[ordinal - 1]),
               std::string(names[ordinal - 1]) + " at ordinal " + std::to_string(ordinal));

    HANDLE job = startDoc(nullptr, 7);
    Expect(job != nullptr, "a job's handle");
    Expect(startPage(job) && endPage(job) && endDoc(job), "pages and the end of a valid job");
    Expect(close(job), "a valid job closed");
    SetLastError(0);
    Expect(!close(job) && GetLastError() == ERROR_INVALID_PARAMETER, "a closed job refused");
    SetLastError(0);
    Expect(!startPage(nullptr) && GetLastError() == ERROR_INVALID_PARAMETER, "no handle refused");
    SetLastError(0);
    Expect(abort(nullptr) && GetLastError() == ERROR_INVALID_PARAMETER, "an abort without a handle");
    FreeLibrary(module);
    std::printf("spool dll: done\n");
    return 0;
}
