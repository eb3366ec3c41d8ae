// The spooler as the driver's host: its own process (spoolsv.exe, SYSTEM, session 0) in which it loads
// the driver's configuration DLL when a printer is added and the user-mode spool DLL a printer's data
// names for its jobs. Driver code runs on a thread of that process, with no lock of the machine held.
#include "winspool/spooler_internal.h"

#include "core/state.h"
#include "core/sync.h"

#include <platform/winddiui.h>

namespace sim
{
namespace
{
constexpr DWORD kSpoolerProcessId = 0xF04; // below the ids the machine hands out

struct Host : detail::PartBase
{
    std::shared_ptr<detail::Process> process;
    std::vector<std::string> spoolDllCalls;
};

Host& host()
{
    return detail::Part<Host>();
}

template <typename F> F Export(HMODULE module, const char* name)
{
    return reinterpret_cast<F>(reinterpret_cast<void (*)()>(GetProcAddress(module, name)));
}

WString FileNameOf(WStringView path)
{
    size_t slash = path.find_last_of(u"\\/");
    return WString(slash == WStringView::npos ? path : path.substr(slash + 1));
}
} // namespace

std::shared_ptr<detail::Process> detail::SpoolerProcess()
{
    std::lock_guard g(StateLock());
    if (!host().process)
    {
        auto p = std::make_shared<Process>();
        p->id = kSpoolerProcessId;
        p->imagePath = u"C:\\Windows\\System32\\spoolsv.exe";
        p->commandLine = p->imagePath;
        p->commandLineA = Narrow(p->commandLine);
        p->currentDirectory = u"C:\\Windows\\System32";
        p->user = u"SYSTEM";
        p->elevated = true;
        p->sessionId = 0;
        host().process = p;
    }
    return host().process;
}

void detail::RunInSpooler(const std::function<void()>& body)
{
    auto thread = std::make_shared<ThreadObject>();
    StartSimThread(thread, SpoolerProcess(),
                   [&body] {
                       body();
                       return DWORD{0};
                   },
                   {});
    HANDLE handle = AddHandle(thread);
    WaitForSingleObject(handle, INFINITE);
    CloseHandle(handle);
}

void detail::RecordSpoolDllCall(std::string_view call)
{
    std::lock_guard g(StateLock());
    host().spoolDllCalls.emplace_back(call);
}

// What the spooler does for a printer just added: the driver's configuration DLL hears of it, then
// gives the printer's default DEVMODE when it has none.
void detail::HostNewPrinter(const WString& printerName, const WString& configFile)
{
    RunInSpooler([&] {
        HMODULE module = LoadLibraryW(FileNameOf(configFile).c_str());
        if (!module)
            return;
        using EventFn = BOOL(WINAPI*)(LPWSTR, INT, DWORD, LPARAM);
        using ConvertFn = BOOL(WINAPI*)(LPWSTR, PDEVMODEW, PDEVMODEW, PLONG, DWORD);
        WString name = printerName;
        if (auto event = Export<EventFn>(module, "DrvPrinterEvent"))
            event(name.data(), PRINTER_EVENT_INITIALIZE, 0, 0);
        bool hasDefault = true;
        {
            std::lock_guard g(StateLock());
            if (const PrinterSetup* p = FindPrinter(name))
                hasDefault = !p->defaultDevMode.empty();
        }
        auto convert = Export<ConvertFn>(module, "DrvConvertDevMode");
        LONG size = 0;
        if (!hasDefault && convert && !convert(name.data(), nullptr, nullptr, &size, CDM_DRIVER_DEFAULT) &&
            size >= static_cast<LONG>(offsetof(DEVMODEW, dmFields)))
        {
            std::vector<BYTE> devMode(static_cast<size_t>(size));
            if (convert(name.data(), nullptr, reinterpret_cast<PDEVMODEW>(devMode.data()), &size,
                        CDM_DRIVER_DEFAULT))
            {
                std::lock_guard g(StateLock());
                if (PrinterSetup* p = FindPrinterToChange(name))
                    p->defaultDevMode = std::move(devMode);
            }
        }
        FreeLibrary(module);
    });
}

std::vector<std::string> Spooler::SpoolDllCalls() const
{
    std::lock_guard g(detail::StateLock());
    return host().spoolDllCalls;
}
} // namespace sim

using namespace sim;
using namespace sim::detail;

// Applications ask the printer's driver, its configuration DLL loaded into their own process.
int WINAPI DeviceCapabilitiesW(LPCWSTR device, LPCWSTR, WORD capability, LPWSTR output,
                               const DEVMODEW* devMode)
{
    WString configFile;
    {
        std::lock_guard g(StateLock());
        const PrinterSetup* printer = device ? FindPrinter(device) : nullptr;
        const DriverSetup* driver = printer ? FindDriver(printer->driverName, NativeEnvironment()) : nullptr;
        if (!driver || driver->configFile.empty())
        {
            SetLastError(printer ? ERROR_UNKNOWN_PRINTER_DRIVER : ERROR_INVALID_PRINTER_NAME);
            return -1;
        }
        configFile = driver->configFile;
    }
    HANDLE printer = nullptr;
    WString name(device);
    if (!OpenPrinterW(name.data(), &printer, nullptr))
        return -1;
    int result = -1;
    if (HMODULE module = LoadLibraryW(FileNameOf(configFile).c_str()))
    {
        using CapsFn = DWORD(WINAPI*)(HANDLE, LPWSTR, WORD, PVOID, PDEVMODEW);
        if (auto caps = Export<CapsFn>(module, "DrvDeviceCapabilities"))
            result = static_cast<int>(
                caps(printer, name.data(), capability, output, const_cast<PDEVMODEW>(devMode)));
        FreeLibrary(module);
    }
    ClosePrinter(printer);
    return result;
}
