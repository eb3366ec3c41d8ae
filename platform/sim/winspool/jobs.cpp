// Jobs: a document started on a printer handle, its bytes passed to the printer's port as they are
// written, numbered machine-wide from 1. A job is listed while it is being written; once ended it has
// been printed. A job a test adds waits in the queue.
#include "winspool/spooler_internal.h"

#include "core/state.h"
#include "core/two_call.h"

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
    bool waiting = false;
    WString user = u"User";
    DWORD status = 0;
    DWORD totalPages = 0;
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

JobSetup SetupOf(DWORD id, const Job& j)
{
    return JobSetup{id, j.printerName, j.document, j.user, j.status, j.totalPages, j.bytes};
}
} // namespace

std::vector<JobSetup> detail::JobsOf(WStringView printerName)
{
    std::vector<JobSetup> out;
    for (const auto& [id, j] : jobs().byId)
        if ((j.open || j.waiting) && EqualNoCase(j.printerName, printerName))
            out.push_back(SetupOf(id, j));
    return out;
}

void detail::RenameJobs(WStringView oldName, WStringView newName)
{
    for (auto& [id, j] : jobs().byId)
        if (EqualNoCase(j.printerName, oldName))
            j.printerName = WString(newName);
}

void detail::ForgetJobs(WStringView printerName)
{
    std::erase_if(jobs().byId,
                  [&](const auto& entry) { return EqualNoCase(entry.second.printerName, printerName); });
}

DWORD Spooler::AddJob(WStringView printerName, WStringView document, DWORD totalPages)
{
    std::lock_guard g(detail::StateLock());
    if (!detail::FindPrinter(printerName))
        return 0;
    DWORD id = jobs().nextId++;
    Job job{WString(detail::FindPrinter(printerName)->name), WString(document), 0, false, true};
    job.totalPages = totalPages;
    jobs().byId[id] = job;
    return id;
}

std::vector<JobSetup> Spooler::Jobs() const
{
    std::lock_guard g(detail::StateLock());
    std::vector<JobSetup> out;
    for (const auto& [id, j] : jobs().byId)
        if (j.open || j.waiting)
            out.push_back(SetupOf(id, j));
    return out;
}

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
    DWORD id = 0;
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
        id = jobs().nextId++;
        jobs().byId[id] =
            Job{handle->printerName, info->pDocName ? WString(info->pDocName) : WString(), 0, true};
        handle->job = id;
    }
    BeginSpoolDllJob(printer, id);
    return id;
}

BOOL WINAPI WritePrinter(HANDLE printer, LPVOID buffer, DWORD size, LPDWORD written)
{
    if (written)
        *written = 0;
    SIM_FAULT_POINT("WritePrinter", FALSE);
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
        if (!buffer && size)
        {
            SetLastError(ERROR_INVALID_PARAMETER);
            return FALSE;
        }
    }
    if (auto routed = WriteThroughSpoolDll(printer, buffer, size, written))
        return *routed;
    std::lock_guard g(StateLock());
    auto handle = CheckedPrinterHandle(printer);
    if (!handle)
        return FALSE;
    Write(*handle, buffer, size);
    if (written)
        *written = size;
    return TRUE;
}

namespace
{
// The handle has a document open; FALSE with the error otherwise.
BOOL InDocument(HANDLE printer)
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
    return TRUE;
}
} // namespace

BOOL WINAPI StartPagePrinter(HANDLE printer)
{
    if (!InDocument(printer))
        return FALSE;
    return PageThroughSpoolDll(printer, true).value_or(TRUE);
}

BOOL WINAPI EndPagePrinter(HANDLE printer)
{
    if (!InDocument(printer))
        return FALSE;
    return PageThroughSpoolDll(printer, false).value_or(TRUE);
}

BOOL WINAPI AbortPrinter(HANDLE printer)
{
    if (!InDocument(printer))
        return FALSE;
    EndSpoolDllJob(printer, true);
    std::lock_guard g(StateLock());
    if (auto handle = CheckedPrinterHandle(printer))
    {
        if (handle->job)
            jobs().byId.erase(handle->job); // an aborted job is deleted, not printed
        handle->job = 0;
    }
    return TRUE;
}

BOOL WINAPI EnumJobsW(HANDLE printer, DWORD firstJob, DWORD count, DWORD level, LPBYTE buffer, DWORD size,
                      LPDWORD needed, LPDWORD returned)
{
    SIM_SPOOLER_CALL("EnumJobsW", FALSE);
    if (!EnumerationArguments(nullptr, level, {2}, needed, returned))
        return FALSE;
    std::lock_guard g(StateLock());
    auto handle = CheckedPrinterHandle(printer);
    if (!handle)
        return FALSE;
    const PrinterSetup& s = *FindPrinter(handle->printerName);
    std::vector<JobSetup> all = JobsOf(s.name), list;
    for (size_t i = firstJob; i < all.size() && list.size() < count; ++i)
        list.push_back(all[i]);
    return PackEnumeration(buffer, size, needed, returned, list.size(), sizeof(JOB_INFO_2W),
                           [&](Packer& pack) {
                               for (size_t i = 0; i < list.size(); ++i)
                               {
                                   auto* info = pack.Fixed<JOB_INFO_2W>(i);
                                   info->JobId = list[i].id;
                                   info->pPrinterName = pack.String(s.name);
                                   info->pMachineName = pack.String(u"\\\\VELMO-PC");
                                   info->pUserName = pack.String(list[i].user);
                                   info->pDocument = pack.String(list[i].document);
                                   info->pDatatype = pack.String(u"RAW");
                                   info->pPrintProcessor = pack.String(s.printProcessor);
                                   info->pDriverName = pack.String(s.driverName);
                                   info->Status = list[i].status;
                                   info->Position = static_cast<DWORD>(firstJob + i + 1);
                                   info->TotalPages = list[i].totalPages;
                                   info->Size = static_cast<DWORD>(list[i].bytes);
                               }
                           });
}

BOOL WINAPI EndDocPrinter(HANDLE printer)
{
    if (!InDocument(printer))
        return FALSE;
    BOOL ended = EndSpoolDllJob(printer, false);
    std::lock_guard g(StateLock());
    if (auto handle = CheckedPrinterHandle(printer))
        EndOpenJob(*handle);
    return ended;
}

BOOL WINAPI SetJobW(HANDLE printer, DWORD jobId, DWORD level, LPBYTE job, DWORD command)
{
    SIM_SPOOLER_CALL("SetJobW", FALSE);
    std::lock_guard g(StateLock());
    if (!SpoolerRunning())
        return SetLastError(RPC_S_SERVER_UNAVAILABLE), FALSE;
    if (!CheckedPrinterHandle(printer))
        return FALSE;
    if (level > 4 || (level != 0 && !job))
        return SetLastError(ERROR_INVALID_LEVEL), FALSE;
    // Only cancelling is simulated; it takes the right to administer the printer.
    if (command != JOB_CONTROL_CANCEL && command != JOB_CONTROL_DELETE)
        return SetLastError(ERROR_NOT_SUPPORTED), FALSE;
    auto handle = AdministeredPrinterHandle(printer);
    if (!handle)
        return FALSE;
    auto it = jobs().byId.find(jobId);
    if (it == jobs().byId.end() || !(it->second.open || it->second.waiting) ||
        !EqualNoCase(it->second.printerName, handle->printerName))
        return SetLastError(ERROR_INVALID_PARAMETER), FALSE;
    jobs().byId.erase(it);
    return TRUE;
}
