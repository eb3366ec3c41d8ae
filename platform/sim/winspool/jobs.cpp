// Jobs: a document started on a printer handle, its bytes passed to the printer's port as they are
// written, numbered machine-wide from 1.
#include "winspool/spooler_internal.h"

#include "core/state.h"

#include <map>

namespace sim
{
namespace
{
struct Job
{
    WString printerName;
    WString document;
    size_t bytes = 0;
    bool open = true;
};

struct Jobs : detail::PartBase
{
    std::map<DWORD, Job> byId;
    DWORD nextId = 1;
};

Jobs& jobs()
{
    return detail::Part<Jobs>();
}

void Write(detail::PrinterHandle& handle, const void* data, DWORD size)
{
    if (handle.job)
        jobs().byId[handle.job].bytes += size;
    detail::SendToPort(detail::FindPrinter(handle.printerName)->portName, data, size);
}
} // namespace

void detail::EndOpenJob(PrinterHandle& handle)
{
    if (handle.job)
        jobs().byId[handle.job].open = false;
    handle.job = 0;
}

void detail::WriteForEngine(PrinterHandle& handle, const void* data, DWORD size)
{
    Write(handle, data, size);
}
} // namespace sim

using namespace sim;
using namespace sim::detail;

DWORD WINAPI StartDocPrinterW(HANDLE printer, DWORD level, LPBYTE docInfo)
{
    std::lock_guard g(StateLock());
    auto handle = CheckedPrinterHandle(printer);
    if (!handle)
        return 0;
    if (level != 1)
    {
        SetLastError(ERROR_INVALID_LEVEL);
        return 0;
    }
    if (!docInfo)
    {
        SetLastError(ERROR_INVALID_PARAMETER);
        return 0;
    }
    if (handle->job)
    {
        SetLastError(ERROR_INVALID_PRINTER_STATE);
        return 0;
    }
    const auto* info = reinterpret_cast<const DOC_INFO_1W*>(docInfo);
    DWORD id = jobs().nextId++;
    jobs().byId[id] = Job{handle->printerName, info->pDocName ? WString(info->pDocName) : WString(), 0, true};
    handle->job = id;
    return id;
}

BOOL WINAPI WritePrinter(HANDLE printer, LPVOID buffer, DWORD size, LPDWORD written)
{
    std::lock_guard g(StateLock());
    if (written)
        *written = 0;
    auto handle = CheckedPrinterHandle(printer);
    if (!handle)
        return FALSE;
    if (!handle->job)
    {
        SetLastError(ERROR_SPL_NO_STARTDOC);
        return FALSE;
    }
    if (!buffer && size)
    {
        SetLastError(ERROR_INVALID_PARAMETER);
        return FALSE;
    }
    Write(*handle, buffer, size);
    if (written)
        *written = size;
    return TRUE;
}

BOOL WINAPI EndDocPrinter(HANDLE printer)
{
    std::lock_guard g(StateLock());
    auto handle = CheckedPrinterHandle(printer);
    if (!handle)
        return FALSE;
    if (!handle->job)
    {
        SetLastError(ERROR_SPL_NO_STARTDOC);
        return FALSE;
    }
    EndOpenJob(*handle);
    return TRUE;
}
