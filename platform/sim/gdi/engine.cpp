// The graphics engine of the simulated machine: pool memory with tags, 24-bit surfaces, palettes, and
// graphics DLLs loaded by their driver file name. Printers, their data and output are the spooler's.
#include <sim/engine.h>

#include "core/internal.h"
#include "core/state.h"
#include "kernel32/loader.h"
#include "winspool/spooler_internal.h"

#include <platform/dllentry.h>

#include <algorithm>
#include <cstring>
#include <map>

namespace sim
{
namespace
{
struct Surface
{
    SurfaceInfo info;
    std::vector<BYTE> bits;
    SURFOBJ object{};
};

struct EngineState : detail::PartBase
{
    ~EngineState() override
    {
        for (auto& [mem, block] : pool)
            std::free(mem);
    }

    std::map<void*, PoolBlock> pool;
    std::map<ULONG, int> failTags;
    size_t surfaceLimit = 0;
    std::map<ULONG_PTR, Surface> surfaces;
    std::map<ULONG_PTR, ULONG> palettes;
    ULONG_PTR nextObject = 0x1000;
    struct Device
    {
        DHPDEV pdev = nullptr;
        bool rgb = false;
    };
    std::map<HDEV, Device> devices;
    bool recording = false;
    std::vector<EngCall> calls;
    std::function<void(DHPDEV)> pdevHook;
};

EngineState& state()
{
    return detail::Part<EngineState>();
}

template <typename F> F As(PFN fn)
{
    return reinterpret_cast<F>(reinterpret_cast<void (*)()>(fn));
}

BOOL Fail(DWORD error)
{
    SetLastError(error);
    return FALSE;
}
} // namespace

namespace detail
{
void RegisterDevice(HDEV hdev, DHPDEV pdev, HPALETTE palette)
{
    std::lock_guard g(StateLock());
    auto pal = state().palettes.find(reinterpret_cast<ULONG_PTR>(palette));
    state().devices[hdev] =
        EngineState::Device{pdev, pal != state().palettes.end() && pal->second == PAL_RGB};
}

void ForgetDevice(HDEV hdev)
{
    std::lock_guard g(StateLock());
    state().devices.erase(hdev);
}

bool DeviceIsRgb(HDEV hdev)
{
    std::lock_guard g(StateLock());
    auto it = state().devices.find(hdev);
    return it != state().devices.end() && it->second.rgb;
}

void RecordCall(EngCall call)
{
    std::lock_guard g(StateLock());
    if (state().recording)
        state().calls.push_back(std::move(call));
}

HDEV NewDeviceHandle()
{
    std::lock_guard g(StateLock());
    return reinterpret_cast<HDEV>(state().nextObject += 16);
}
} // namespace detail

void detail::PdevEnabled(DHPDEV pdev)
{
    std::function<void(DHPDEV)> hook;
    {
        std::lock_guard g(detail::StateLock());
        hook = state().pdevHook;
    }
    if (hook)
        hook(pdev);
}

void Engine::OnPdevEnabled(std::function<void(DHPDEV)> hook)
{
    std::lock_guard g(detail::StateLock());
    state().pdevHook = std::move(hook);
}

void Engine::RecordDrawing(bool on)
{
    std::lock_guard g(detail::StateLock());
    state().recording = on;
    state().calls.clear();
}

std::vector<EngCall> Engine::DrawingCalls() const
{
    std::lock_guard g(detail::StateLock());
    return state().calls;
}

PFN LoadedDriver::Hook(ULONG index) const
{
    for (ULONG i = 0; i < data.c; ++i)
        if (data.pdrvfn[i].iFunc == index)
            return data.pdrvfn[i].pfn;
    return nullptr;
}

std::vector<PoolBlock> Engine::Outstanding() const
{
    std::lock_guard g(detail::StateLock());
    std::vector<PoolBlock> out;
    for (const auto& [mem, block] : state().pool)
        out.push_back(block);
    return out;
}

void Engine::FailTag(ULONG tag, int count)
{
    std::lock_guard g(detail::StateLock());
    state().failTags[tag] += count;
}

void Engine::SetSurfaceLimit(size_t bytes)
{
    std::lock_guard g(detail::StateLock());
    state().surfaceLimit = bytes;
}

std::vector<SurfaceInfo> Engine::Surfaces() const
{
    std::lock_guard g(detail::StateLock());
    std::vector<SurfaceInfo> out;
    for (const auto& [h, s] : state().surfaces)
        out.push_back(s.info);
    return out;
}

std::optional<SurfaceInfo> Engine::Surface(HSURF surface) const
{
    std::lock_guard g(detail::StateLock());
    auto it = state().surfaces.find(reinterpret_cast<ULONG_PTR>(surface));
    if (it == state().surfaces.end())
        return std::nullopt;
    return it->second.info;
}

std::vector<ULONG> Engine::Palettes() const
{
    std::lock_guard g(detail::StateLock());
    std::vector<ULONG> out;
    for (const auto& [h, mode] : state().palettes)
        out.push_back(mode);
    return out;
}

std::optional<LoadedDriver> Engine::LoadDriver(WStringView printerName, ULONG engineVersion)
{
    WString path;
    {
        std::lock_guard g(detail::StateLock());
        const PrinterSetup* p = detail::FindPrinter(printerName);
        if (!p)
        {
            SetLastError(ERROR_INVALID_PRINTER_NAME);
            return std::nullopt;
        }
        path = p->driverPath;
    }
    LoadedDriver driver;
    // The spooler knows its printers' drivers by name; a test's printer need not have their files.
    driver.module = detail::LoadModule(WStringView(path).substr(path.find_last_of(u'\\') + 1));
    if (!driver.module)
        return std::nullopt;
    using EnableDriver = BOOL(APIENTRY*)(ULONG, ULONG, DRVENABLEDATA*);
    auto enable = reinterpret_cast<EnableDriver>(detail::ExportOf(driver.module, "DrvEnableDriver"));
    if (!enable || !enable(engineVersion, sizeof(DRVENABLEDATA), &driver.data))
    {
        DWORD error = GetLastError();
        UnloadDriver(driver);
        SetLastError(error);
        return std::nullopt;
    }
    return driver;
}

void Engine::UnloadDriver(LoadedDriver& driver)
{
    if (driver.module)
        FreeLibrary(driver.module);
    driver = LoadedDriver{};
}

std::optional<PrinterDC> Engine::CreateDC(WStringView printerName, const DEVMODEW* devMode)
{
    auto driver = LoadDriver(printerName);
    if (!driver)
        return std::nullopt;
    using EnablePDEV = DHPDEV(APIENTRY*)(DEVMODEW*, LPWSTR, ULONG, HSURF*, ULONG, ULONG*, ULONG, DEVINFO*,
                                         HDEV, LPWSTR, HANDLE);
    using CompletePDEV = VOID(APIENTRY*)(DHPDEV, HDEV);
    using DisablePDEV = VOID(APIENTRY*)(DHPDEV);
    using EnableSurface = HSURF(APIENTRY*)(DHPDEV);
    auto enablePdev = As<EnablePDEV>(driver->Hook(INDEX_DrvEnablePDEV));
    auto completePdev = As<CompletePDEV>(driver->Hook(INDEX_DrvCompletePDEV));
    auto disablePdev = As<DisablePDEV>(driver->Hook(INDEX_DrvDisablePDEV));
    auto enableSurface = As<EnableSurface>(driver->Hook(INDEX_DrvEnableSurface));
    if (!enablePdev || !completePdev || !disablePdev || !enableSurface)
    {
        UnloadDriver(*driver);
        SetLastError(ERROR_PROC_NOT_FOUND);
        return std::nullopt;
    }
    PrinterDC dc;
    dc.driver = *driver;
    dc.printer = spooler().OpenPrinter(printerName);
    dc.hdev = detail::NewDeviceHandle();
    WString device(printerName);
    dc.pdev = enablePdev(const_cast<DEVMODEW*>(devMode), nullptr, 0, nullptr, sizeof(GDIINFO),
                         reinterpret_cast<ULONG*>(&dc.gdiInfo), sizeof(DEVINFO), &dc.devInfo, dc.hdev,
                         device.data(), dc.printer);
    if (!dc.pdev)
    {
        spooler().ClosePrinter(dc.printer);
        UnloadDriver(dc.driver);
        return std::nullopt;
    }
    detail::RegisterDevice(dc.hdev, dc.pdev, dc.devInfo.hpalDefault);
    completePdev(dc.pdev, dc.hdev);
    detail::PdevEnabled(dc.pdev);
    dc.surface = enableSurface(dc.pdev);
    if (!dc.surface)
    {
        DWORD error = GetLastError();
        disablePdev(dc.pdev);
        detail::ForgetDevice(dc.hdev);
        spooler().ClosePrinter(dc.printer);
        UnloadDriver(dc.driver);
        SetLastError(error);
        return std::nullopt;
    }
    return dc;
}

void Engine::DeleteDC(PrinterDC& dc)
{
    using DisablePDEV = VOID(APIENTRY*)(DHPDEV);
    using DisableSurface = VOID(APIENTRY*)(DHPDEV);
    if (dc.surface)
        As<DisableSurface>(dc.driver.Hook(INDEX_DrvDisableSurface))(dc.pdev);
    if (dc.pdev)
        As<DisablePDEV>(dc.driver.Hook(INDEX_DrvDisablePDEV))(dc.pdev);
    detail::ForgetDevice(dc.hdev);
    spooler().ClosePrinter(dc.printer);
    UnloadDriver(dc.driver);
    dc = PrinterDC{};
}

Engine& engine()
{
    static Engine e;
    return e;
}

} // namespace sim

using namespace sim;

PVOID APIENTRY EngAllocMem(ULONG flags, ULONG size, ULONG tag)
{
    std::lock_guard g(detail::StateLock());
    SIM_FAULT_POINT("EngAllocMem", nullptr);
    auto failing = state().failTags.find(tag);
    if (failing != state().failTags.end() && failing->second > 0)
    {
        --failing->second;
        SetLastError(ERROR_NOT_ENOUGH_MEMORY);
        return nullptr;
    }
    void* mem = std::malloc(size ? size : 1);
    if (!mem)
        return nullptr;
    if (flags & FL_ZERO_MEMORY)
        std::memset(mem, 0, size);
    else
        std::memset(mem, 0xCD, size); // pool memory is not cleared unless asked
    state().pool[mem] = PoolBlock{tag, size};
    return mem;
}

VOID APIENTRY EngFreeMem(PVOID mem)
{
    if (!mem)
        return;
    std::lock_guard g(detail::StateLock());
    auto it = state().pool.find(mem);
    if (it == state().pool.end())
        return; // not from the pool: the real engine would stop the system; the test sees the leak
    state().pool.erase(it);
    std::free(mem);
}

VOID APIENTRY EngSetLastError(ULONG error)
{
    SetLastError(error);
}

ULONG APIENTRY EngGetLastError()
{
    return GetLastError();
}

// The driver's spooler calls, as the engine passes them to the spooler.
BOOL APIENTRY EngGetPrinter(HANDLE printer, DWORD level, LPBYTE buffer, DWORD size, LPDWORD needed)
{
    SIM_FAULT_POINT("EngGetPrinter", FALSE);
    return GetPrinterW(printer, level, buffer, size, needed);
}

BOOL APIENTRY EngGetPrinterDriver(HANDLE printer, LPWSTR environment, DWORD level, BYTE* buffer, DWORD size,
                                  DWORD* needed)
{
    SIM_FAULT_POINT("EngGetPrinterDriver", FALSE);
    return GetPrinterDriverW(printer, environment, level, buffer, size, needed);
}

DWORD APIENTRY EngGetPrinterData(HANDLE printer, LPWSTR valueName, LPDWORD type, LPBYTE data, DWORD size,
                                 LPDWORD needed)
{
    SIM_FAULT_STATUS("EngGetPrinterData", DWORD);
    return GetPrinterDataW(printer, valueName, type, data, size, needed);
}

DWORD APIENTRY EngSetPrinterData(HANDLE printer, LPWSTR valueName, DWORD type, LPBYTE data, DWORD size)
{
    SIM_FAULT_STATUS("EngSetPrinterData", DWORD);
    return SetPrinterDataW(printer, valueName, type, data, size);
}

// Unlike WritePrinter, this needs no document: a driver driven by a test without one still prints.
BOOL APIENTRY EngWritePrinter(HANDLE printer, LPVOID buffer, DWORD size, LPDWORD written)
{
    if (written)
        *written = 0;
    SIM_FAULT_POINT("EngWritePrinter", FALSE);
    // A job the spooler hands to a user-mode spool DLL goes through it.
    if (auto routed = detail::WriteThroughSpoolDll(printer, buffer, size, written))
        return *routed;
    std::lock_guard g(detail::StateLock());
    auto handle = detail::CheckedPrinterHandle(printer);
    if (!handle)
        return FALSE;
    detail::WriteForEngine(*handle, buffer, size);
    if (written)
        *written = size;
    return TRUE;
}

HBITMAP APIENTRY EngCreateBitmap(SIZEL size, LONG stride, ULONG format, FLONG flags, PVOID bits)
{
    std::lock_guard g(detail::StateLock());
    SIM_FAULT_POINT("EngCreateBitmap", nullptr);
    // Only what a printer driver asks for: engine-managed 24-bit bitmaps.
    if (format != BMF_24BPP || bits || size.cx <= 0 || size.cy <= 0 || stride < size.cx * 3)
    {
        SetLastError(ERROR_INVALID_PARAMETER);
        return nullptr;
    }
    size_t bytes = static_cast<size_t>(stride) * static_cast<size_t>(size.cy);
    if (state().surfaceLimit && bytes > state().surfaceLimit)
    {
        SetLastError(ERROR_NOT_ENOUGH_MEMORY);
        return nullptr;
    }
    ULONG_PTR handle = state().nextObject += 16;
    Surface& s = state().surfaces[handle];
    s.info = SurfaceInfo{size, stride, format, (flags & BMF_TOPDOWN) != 0, nullptr, 0, false};
    s.bits.assign(bytes, 0xFF);
    s.object.hsurf = reinterpret_cast<HSURF>(handle);
    s.object.sizlBitmap = size;
    s.object.cjBits = static_cast<ULONG>(bytes);
    s.object.pvBits = s.bits.data();
    s.object.pvScan0 = (flags & BMF_TOPDOWN) ? s.bits.data() : s.bits.data() + bytes - stride;
    s.object.lDelta = (flags & BMF_TOPDOWN) ? stride : -stride;
    s.object.iBitmapFormat = format;
    s.object.iType = STYPE_BITMAP;
    return reinterpret_cast<HBITMAP>(handle);
}

BOOL APIENTRY EngAssociateSurface(HSURF surface, HDEV device, FLONG hooks)
{
    std::lock_guard g(detail::StateLock());
    SIM_FAULT_POINT("EngAssociateSurface", FALSE);
    auto it = state().surfaces.find(reinterpret_cast<ULONG_PTR>(surface));
    if (it == state().surfaces.end() || !device)
        return Fail(ERROR_INVALID_PARAMETER);
    it->second.info.device = device;
    it->second.info.hooks = hooks;
    it->second.object.hdev = device;
    auto dev = state().devices.find(device);
    it->second.object.dhpdev = dev == state().devices.end() ? nullptr : dev->second.pdev;
    return TRUE;
}

BOOL APIENTRY EngMarkBandingSurface(HSURF surface)
{
    std::lock_guard g(detail::StateLock());
    SIM_FAULT_POINT("EngMarkBandingSurface", FALSE);
    auto it = state().surfaces.find(reinterpret_cast<ULONG_PTR>(surface));
    if (it == state().surfaces.end())
        return Fail(ERROR_INVALID_PARAMETER);
    it->second.info.banding = true;
    return TRUE;
}

BOOL APIENTRY EngDeleteSurface(HSURF surface)
{
    std::lock_guard g(detail::StateLock());
    if (!state().surfaces.erase(reinterpret_cast<ULONG_PTR>(surface)))
        return Fail(ERROR_INVALID_HANDLE);
    return TRUE;
}

SURFOBJ* APIENTRY EngLockSurface(HSURF surface)
{
    std::lock_guard g(detail::StateLock());
    auto it = state().surfaces.find(reinterpret_cast<ULONG_PTR>(surface));
    return it == state().surfaces.end() ? nullptr : &it->second.object;
}

VOID APIENTRY EngUnlockSurface(SURFOBJ*) {}

HPALETTE APIENTRY EngCreatePalette(ULONG mode, ULONG, ULONG*, FLONG, FLONG, FLONG)
{
    std::lock_guard g(detail::StateLock());
    SIM_FAULT_POINT("EngCreatePalette", nullptr);
    if (mode != PAL_RGB && mode != PAL_BGR)
    {
        SetLastError(ERROR_INVALID_PARAMETER);
        return nullptr;
    }
    ULONG_PTR handle = state().nextObject += 16;
    state().palettes[handle] = mode;
    return reinterpret_cast<HPALETTE>(handle);
}

BOOL APIENTRY EngDeletePalette(HPALETTE palette)
{
    std::lock_guard g(detail::StateLock());
    if (!state().palettes.erase(reinterpret_cast<ULONG_PTR>(palette)))
        return Fail(ERROR_INVALID_HANDLE);
    return TRUE;
}
