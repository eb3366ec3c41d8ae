// Loads the graphics DLL as the spooler's graphics engine would and calls its entry points.
//   dll_harness <dll> <printer> <model> <export>...
// Adds <printer> with driver <model> to the spooler (the DLL copied into the driver folder), checks
// each named export, then prints what DrvQueryDriverInfo, DrvEnableDriver and DrvEnablePDEV answer.
// The DLL's imports are bound here: an Eng service the system's gdi32 lacks is supplied by this
// harness, and named in the output.
#include "drive.h"
#include "pdev_geometry.h"
#include "settings.h"

#include <platform/winspool.h>

#include <cstring>
#include <string>

namespace
{
using drive::Fail;
using drive::Utf8;

// Palettes are the only Eng service the check reaches that a system without a graphics engine for
// printer drivers may lack; a palette here is a token the DLL only hands back.
HPALETTE APIENTRY SuppliedCreatePalette(ULONG, ULONG, ULONG*, FLONG, FLONG, FLONG)
{
    static int token;
    return reinterpret_cast<HPALETTE>(&token);
}

BOOL APIENTRY SuppliedDeletePalette(HPALETTE)
{
    return TRUE;
}

// Any other missing service is a drawing call, which the check never reaches: reaching one ends the run.
template <int N> void Unreached()
{
    Fail("the DLL called a service this system lacks (import " + std::to_string(N) + ")");
}
using Thunk = void (*)();
constexpr Thunk kUnreached[] = {Unreached<0>,  Unreached<1>,  Unreached<2>,  Unreached<3>,  Unreached<4>,
                                Unreached<5>,  Unreached<6>,  Unreached<7>,  Unreached<8>,  Unreached<9>,
                                Unreached<10>, Unreached<11>, Unreached<12>, Unreached<13>, Unreached<14>,
                                Unreached<15>, Unreached<16>, Unreached<17>, Unreached<18>, Unreached<19>};

// A function's address in an import slot, whatever its type.
template <typename F> FARPROC Erase(F* function)
{
    return reinterpret_cast<FARPROC>(reinterpret_cast<void*>(function));
}

template <typename T> T* At(HMODULE module, DWORD rva)
{
    return reinterpret_cast<T*>(reinterpret_cast<BYTE*>(module) + rva);
}

// Binds the import table of a module loaded without its references, then runs its start-up code.
void BindAndStart(HMODULE module)
{
    auto* dos = At<IMAGE_DOS_HEADER>(module, 0);
    auto* nt = At<IMAGE_NT_HEADERS>(module, static_cast<DWORD>(dos->e_lfanew));
    const IMAGE_DATA_DIRECTORY& dir = nt->OptionalHeader.DataDirectory[IMAGE_DIRECTORY_ENTRY_IMPORT];
    std::string supplied;
    int unreached = 0;
    for (auto* d = At<IMAGE_IMPORT_DESCRIPTOR>(module, dir.VirtualAddress); d->Name; ++d)
    {
        const char* dllName = At<char>(module, d->Name);
        HMODULE dll = LoadLibraryA(dllName);
        if (!dll)
            Fail(std::string("cannot load ") + dllName);
        auto* names =
            At<IMAGE_THUNK_DATA>(module, d->OriginalFirstThunk ? d->OriginalFirstThunk : d->FirstThunk);
        auto* slots = At<IMAGE_THUNK_DATA>(module, d->FirstThunk);
        for (; names->u1.AddressOfData; ++names, ++slots)
        {
            FARPROC proc = nullptr;
            std::string name;
            if (IMAGE_SNAP_BY_ORDINAL(names->u1.Ordinal))
            {
                name = "#" + std::to_string(IMAGE_ORDINAL(names->u1.Ordinal));
                proc = GetProcAddress(dll, reinterpret_cast<LPCSTR>(IMAGE_ORDINAL(names->u1.Ordinal)));
            }
            else
            {
                name = reinterpret_cast<const char*>(
                    At<IMAGE_IMPORT_BY_NAME>(module, static_cast<DWORD>(names->u1.AddressOfData))->Name);
                proc = GetProcAddress(dll, name.c_str());
            }
            if (!proc)
            {
                if (name.rfind("Eng", 0) != 0)
                    Fail(std::string(dllName) + " has no " + name);
                if (name == "EngCreatePalette")
                    proc = Erase(SuppliedCreatePalette);
                else if (name == "EngDeletePalette")
                    proc = Erase(SuppliedDeletePalette);
                else if (unreached < static_cast<int>(std::size(kUnreached)))
                    proc = Erase(kUnreached[unreached++]);
                else
                    Fail("too many missing services");
                supplied += " " + name;
            }
            DWORD old = 0;
            VirtualProtect(&slots->u1.Function, sizeof slots->u1.Function, PAGE_READWRITE, &old);
            slots->u1.Function = reinterpret_cast<ULONG_PTR>(proc);
            VirtualProtect(&slots->u1.Function, sizeof slots->u1.Function, old, &old);
        }
    }
    std::printf("supplied by the harness:%s\n", supplied.empty() ? " nothing" : supplied.c_str());
    using Entry = BOOL(WINAPI*)(HINSTANCE, DWORD, LPVOID);
    auto entry = At<std::remove_pointer_t<Entry>>(module, nt->OptionalHeader.AddressOfEntryPoint);
    if (!entry(module, DLL_PROCESS_ATTACH, nullptr))
        Fail("the DLL refused to start");
}

// The printer the PDEV is made for: the DLL installed as its driver, on the file port.
void InstallPrinter(const WString& dll, const WString& printer, const WString& model, DEVMODEW& settings)
{
    WCHAR folder[MAX_PATH] = {};
    DWORD needed = 0;
    if (!GetPrinterDriverDirectoryW(nullptr, nullptr, 1, reinterpret_cast<BYTE*>(folder), sizeof folder,
                                    &needed))
        Fail("no driver folder");
    const WString installed = WString(folder) + TEXT("\\VELMOQ7.DLL");
    if (!CopyFileW(dll.c_str(), installed.c_str(), FALSE))
        Fail("cannot copy the DLL into the driver folder");
    DRIVER_INFO_3W driver{};
    driver.cVersion = 3;
    driver.pName = const_cast<LPWSTR>(model.c_str());
    driver.pDriverPath = const_cast<LPWSTR>(TEXT("VELMOQ7.DLL"));
    driver.pDataFile = const_cast<LPWSTR>(TEXT("VELMOQ7.DLL"));
    // This package has no user interface DLL yet: the system's own stands in for it.
    driver.pConfigFile = const_cast<LPWSTR>(TEXT("C:\\windows\\system32\\wineps.drv"));
    if (!AddPrinterDriverW(nullptr, 3, reinterpret_cast<BYTE*>(&driver)) &&
        GetLastError() != ERROR_PRINTER_DRIVER_ALREADY_INSTALLED)
        Fail("AddPrinterDriver failed, error " + std::to_string(GetLastError()));
    PRINTER_INFO_2W info{};
    info.pPrinterName = const_cast<LPWSTR>(printer.c_str());
    info.pPortName = const_cast<LPWSTR>(TEXT("FILE:"));
    info.pDriverName = const_cast<LPWSTR>(model.c_str());
    info.pPrintProcessor = const_cast<LPWSTR>(TEXT("WinPrint"));
    info.pDatatype = const_cast<LPWSTR>(TEXT("RAW"));
    info.Attributes = PRINTER_ATTRIBUTE_LOCAL;
    // Given no settings, the spooler would ask the driver's user interface DLL, which this package
    // does not build yet.
    info.pDevMode = &settings;
    HANDLE added = AddPrinterW(nullptr, 2, reinterpret_cast<BYTE*>(&info));
    if (!added && GetLastError() != ERROR_PRINTER_ALREADY_EXISTS)
        Fail("AddPrinter failed, error " + std::to_string(GetLastError()));
    if (added)
        ClosePrinter(added);
}

template <typename F> F Export(HMODULE module, const char* name)
{
    auto proc = GetProcAddress(module, name);
    if (!proc)
        Fail(std::string("no export ") + name);
    return reinterpret_cast<F>(reinterpret_cast<void (*)()>(proc));
}

template <typename F> F Hook(const DRVENABLEDATA& data, ULONG index)
{
    for (ULONG i = 0; i < data.c; ++i)
        if (data.pdrvfn[i].iFunc == index)
            return reinterpret_cast<F>(reinterpret_cast<void*>(data.pdrvfn[i].pfn));
    Fail("no hook " + std::to_string(index));
}

} // namespace

int main()
{
    const std::vector<WString> args = drive::Arguments();
    if (args.size() < 4)
        Fail("usage: dll_harness <dll> <printer> <model> <export>...");
    const WString& dll = args[1];
    const WString& printer = args[2];
    const WString& model = args[3];

    HMODULE module = LoadLibraryExW(dll.c_str(), nullptr, DONT_RESOLVE_DLL_REFERENCES);
    if (!module)
        Fail("cannot load " + Utf8(dll) + ", error " + std::to_string(GetLastError()));
    BindAndStart(module);
    for (size_t i = 4; i < args.size(); ++i)
        Export<FARPROC>(module, Utf8(args[i]).c_str());
    std::printf("exports: %zu found\n", args.size() - 4);

    auto query = Export<BOOL(APIENTRY*)(DWORD, PVOID, DWORD, PDWORD)>(module, "DrvQueryDriverInfo");
    DWORD userMode = 0, needed = 0;
    const BOOL queried = query(DRVQUERY_USERMODE, &userMode, sizeof userMode, &needed);
    std::printf("user mode: %d %lu\n", queried, static_cast<unsigned long>(userMode));

    auto enable = Export<BOOL(APIENTRY*)(ULONG, ULONG, DRVENABLEDATA*)>(module, "DrvEnableDriver");
    DRVENABLEDATA data{};
    if (!enable(drive::kEngineVersion, sizeof data, &data))
        Fail("DrvEnableDriver refused, error " + std::to_string(GetLastError()));
    std::printf("driver version 0x%lx, %lu hooks\n", static_cast<unsigned long>(data.iDriverVersion),
                static_cast<unsigned long>(data.c));

    velmo::SelfDMode s;
    velmo::_UdcResetSelfDMode(s, printer.c_str(), model.c_str());
    InstallPrinter(dll, printer, model, s.dm);
    HANDLE handle = nullptr;
    if (!OpenPrinterW(const_cast<LPWSTR>(printer.c_str()), &handle, nullptr))
        Fail("cannot open the printer, error " + std::to_string(GetLastError()));
    auto enablePdev = Hook<PFN_DrvEnablePDEV>(data, INDEX_DrvEnablePDEV);
    auto disablePdev = Hook<PFN_DrvDisablePDEV>(data, INDEX_DrvDisablePDEV);
    GDIINFO gdi{};
    DEVINFO info{};
    HSURF patterns[HS_DDI_MAX] = {};
    DHPDEV pdev = enablePdev(&s.dm, nullptr, HS_DDI_MAX, patterns, sizeof gdi, &gdi, sizeof info, &info,
                             reinterpret_cast<HDEV>(handle), const_cast<LPWSTR>(printer.c_str()), handle);
    if (!pdev)
        Fail("DrvEnablePDEV refused, error " + std::to_string(GetLastError()));
    drive::PrintGeometry(gdi);
    disablePdev(pdev);
    ClosePrinter(handle);
    return 0;
}
