// Jobs through a user-mode spool DLL: when a printer's data "SPLUserModePrinterDriver" names one, the
// spooler loads it from the driver folder for each job and hands it the job's calls, in its own
// process; the DLL writes to the port through the spooler's own handle for the job. A name that does
// not load fails every write of the job with the loader's error.
#include "winspool/spooler_internal.h"

#include "core/state.h"

#include <cstring>

namespace sim::detail
{
namespace
{
constexpr WStringView kSpoolDllValue = u"SPLUserModePrinterDriver";

template <typename F> F Export(HMODULE module, const char* name)
{
    return module ? reinterpret_cast<F>(reinterpret_cast<void (*)()>(GetProcAddress(module, name))) : nullptr;
}

using StartDocFn = HANDLE(WINAPI*)(HANDLE, DWORD);
using HandleFn = BOOL(WINAPI*)(HANDLE);
using WriteFn = BOOL(WINAPI*)(HANDLE, LPVOID, DWORD, LPDWORD);

// The DLL's name as the printer's data gives it; empty when there is none.
WString SpoolDllName(WStringView printerName)
{
    DWORD type = 0, needed = 0;
    if (GetPrinterValue(printerName, kPrinterDriverData, kSpoolDllValue, &type, nullptr, 0, &needed) !=
            ERROR_MORE_DATA ||
        type != REG_SZ)
        return {};
    std::vector<BYTE> data(needed);
    if (GetPrinterValue(printerName, kPrinterDriverData, kSpoolDllValue, &type, data.data(), needed, &needed))
        return {};
    WString name(needed / sizeof(WCHAR), u'\0');
    std::memcpy(name.data(), data.data(), name.size() * sizeof(WCHAR));
    name.resize(std::char_traits<WCHAR>::length(name.c_str()));
    return name;
}

std::shared_ptr<SpoolDllJob> JobOf(HANDLE printer)
{
    std::lock_guard g(StateLock());
    auto handle = FindHandleOf<PrinterHandle>(printer);
    return handle ? handle->spoolDll : nullptr;
}

// One of the DLL's per-handle calls, recorded, on the spooler's thread; its last error comes back.
BOOL Call(const SpoolDllJob& job, const char* name)
{
    BOOL ok = FALSE;
    DWORD error = 0;
    RunInSpooler([&] {
        RecordSpoolDllCall(name);
        auto fn = Export<HandleFn>(job.module, name);
        ok = fn ? fn(job.handle) : FALSE;
        error = fn ? GetLastError() : ERROR_PROC_NOT_FOUND;
    });
    if (!ok)
        SetLastError(error);
    return ok;
}
} // namespace

void BeginSpoolDllJob(HANDLE printer, DWORD jobId)
{
    auto job = std::make_shared<SpoolDllJob>();
    WString dllName;
    {
        std::lock_guard g(StateLock());
        auto handle = FindHandleOf<PrinterHandle>(printer);
        if (!handle || handle->provider)
            return;
        dllName = SpoolDllName(handle->printerName);
        if (dllName.empty())
            return;
        auto provider = std::make_shared<PrinterHandle>();
        provider->printerName = handle->printerName;
        provider->job = jobId;
        provider->provider = true;
        job->provider = AddHandle(provider);
        handle->spoolDll = job;
    }
    RunInSpooler([&] {
        // By its name: the spooler knows its drivers whether or not a test put their files.
        job->module = LoadLibraryW(dllName.c_str());
        if (!job->module)
        {
            job->error = GetLastError() ? GetLastError() : DWORD{ERROR_MOD_NOT_FOUND};
            return;
        }
        RecordSpoolDllCall("DrvSplStartDoc");
        auto start = Export<StartDocFn>(job->module, "DrvSplStartDoc");
        job->handle = start ? start(job->provider, jobId) : nullptr;
        if (!job->handle)
            job->error = start ? GetLastError() : DWORD{ERROR_PROC_NOT_FOUND};
    });
}

std::optional<BOOL> WriteThroughSpoolDll(HANDLE printer, const void* data, DWORD size, DWORD* written)
{
    auto job = JobOf(printer);
    if (!job)
        return std::nullopt;
    if (job->error)
    {
        SetLastError(job->error);
        return FALSE;
    }
    BOOL ok = FALSE;
    DWORD error = 0, done = 0;
    RunInSpooler([&] {
        RecordSpoolDllCall("DrvSplWritePrinter");
        auto write = Export<WriteFn>(job->module, "DrvSplWritePrinter");
        ok = write ? write(job->handle, const_cast<void*>(data), size, &done) : FALSE;
        error = write ? GetLastError() : ERROR_PROC_NOT_FOUND;
    });
    if (written)
        *written = done;
    if (!ok)
        SetLastError(error);
    return ok;
}

std::optional<BOOL> PageThroughSpoolDll(HANDLE printer, bool start)
{
    auto job = JobOf(printer);
    if (!job)
        return std::nullopt;
    if (job->error)
    {
        SetLastError(job->error);
        return FALSE;
    }
    return Call(*job, start ? "DrvSplStartPage" : "DrvSplEndPage");
}

BOOL EndSpoolDllJob(HANDLE printer, bool abort)
{
    std::shared_ptr<SpoolDllJob> job;
    {
        std::lock_guard g(StateLock());
        auto handle = FindHandleOf<PrinterHandle>(printer);
        if (!handle || !handle->spoolDll)
            return TRUE;
        job = std::move(handle->spoolDll);
    }
    BOOL ended = job->error ? FALSE : TRUE;
    if (job->handle)
    {
        ended = Call(*job, abort ? "DrvSplAbort" : "DrvSplEndDoc");
        Call(*job, "DrvSplClose");
    }
    if (job->module)
        RunInSpooler([&] { FreeLibrary(job->module); });
    std::lock_guard g(StateLock());
    if (auto provider = FindHandleOf<PrinterHandle>(job->provider))
        provider->job = 0; // the application's handle ends the job
    RemoveHandle(job->provider);
    return ended;
}
} // namespace sim::detail
