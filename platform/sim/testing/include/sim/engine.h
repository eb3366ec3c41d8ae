// The simulated graphics engine as tests see it: the pool, surfaces and palettes; loading a printer's
// graphics DLL and opening a device context on it as an application's print would. The printers
// themselves are the spooler's (sim/spooler.h).
#pragma once

#include <platform/winddi.h>
#include <sim/spooler.h>

#include <chrono>
#include <functional>
#include <optional>
#include <string>
#include <vector>

namespace sim
{

struct PoolBlock
{
    ULONG tag = 0;
    size_t size = 0;
};

struct SurfaceInfo
{
    SIZEL size{};
    LONG stride = 0;
    ULONG format = 0;
    bool topDown = false;
    HDEV device = nullptr; // set by EngAssociateSurface
    FLONG hooks = 0;
    bool banding = false;
};

// A graphics DLL as the engine holds it after DrvEnableDriver: loaded until UnloadDriver.
struct LoadedDriver
{
    HMODULE module = nullptr;
    DRVENABLEDATA data{};
    PFN Hook(ULONG index) const; // null when the table has no such entry
};

// What the engine keeps of one device context of a printer.
struct PrinterDC
{
    HANDLE printer = nullptr;
    LoadedDriver driver;
    HDEV hdev = nullptr;
    DHPDEV pdev = nullptr;
    GDIINFO gdiInfo{};
    DEVINFO devInfo{};
    HSURF surface = nullptr;
};

// A call that reached the engine's own drawing, as the recorder keeps it.
struct EngCall
{
    std::string name; // "EngBitBlt", "EngStretchBlt", ...
    const SURFOBJ* dst = nullptr;
    const SURFOBJ* src = nullptr;
    const CLIPOBJ* clip = nullptr;
    const void* object = nullptr; // the STROBJ or PATHOBJ passed on
    RECTL dstRect{};
    RECTL srcRect{};
    POINTL srcPoint{};
    bool hasBrushOrigin = false;
    POINTL brushOrigin{};
    ULONG mode = 0; // stretch mode
    bool hasColorAdjustment = false;
    COLORADJUSTMENT colorAdjustment{};
    ROP4 rop = 0;
    MIX mix = 0;
};

class Engine
{
public:
    // Pool: what is allocated now; allocations with `tag` fail `count` times from now on. The Nth
    // allocation from now fails with faults().FailNext("EngAllocMem", ERROR_NOT_ENOUGH_MEMORY, 1, N - 1).
    std::vector<PoolBlock> Outstanding() const;
    void FailTag(ULONG tag, int count = 1);

    // Surfaces and palettes: bitmaps above `bytes` cannot be created (0: no limit).
    void SetSurfaceLimit(size_t bytes);
    std::vector<SurfaceInfo> Surfaces() const;
    std::optional<SurfaceInfo> Surface(HSURF surface) const;
    std::vector<ULONG> Palettes() const; // the modes of the palettes that exist

    // Drivers: the DLL the printer's driver path names, loaded as LoadLibrary does, and its
    // DrvEnableDriver called.
    std::optional<LoadedDriver> LoadDriver(WStringView printerName, ULONG engineVersion = 0x00030100);
    void UnloadDriver(LoadedDriver& driver);
    // A device context for a printer with a DEVMODE: enable the PDEV, complete it, enable the surface.
    // Null when a step fails (the last error tells which); nothing is left behind then.
    std::optional<PrinterDC> CreateDC(WStringView printerName, const DEVMODEW* devMode);
    void DeleteDC(PrinterDC& dc);

    // Called with every PDEV the engine enables, before its surface is enabled: lets a test set what
    // no DEVMODE can (the band counts, the diffusion method). Empty: none.
    void OnPdevEnabled(std::function<void(DHPDEV)> hook);

    // The engine's drawing calls from now on are kept (and those kept so far dropped) while on.
    void RecordDrawing(bool on);
    std::vector<EngCall> DrawingCalls() const;
    // The time the engine's own drawing calls took since the program started, on every thread: what
    // a page costs beside the driver's conversion, coding and spooling.
    std::chrono::nanoseconds DrawingTime() const;
};

namespace detail
{
// What the engine knows of a device once its PDEV exists: the PDEV (set into the SURFOBJ of a
// surface associated with the device) and the byte order of its palette.
void RegisterDevice(HDEV hdev, DHPDEV pdev, HPALETTE palette);
void ForgetDevice(HDEV hdev);
bool DeviceIsRgb(HDEV hdev);
void RecordCall(EngCall call);
HDEV NewDeviceHandle();
void PdevEnabled(DHPDEV pdev);
} // namespace detail

Engine& engine();

} // namespace sim
