#include "spool_dll.h"

#include <tables.h>

#include <platform/winspool.h>
#include <platform/wtsapi32.h>

#include <cstring>
#include <iterator>
#include <new>
#include <set>

namespace velmq7um
{

const PdlKeyRow g_PDLKey[3] = {
    {"\x1B%-12345X@PJL SET RESOLUTION=300", TEXT("300dpi Printing")},
    {"\x1B%-12345X@PJL SET RESOLUTION=600", TEXT("600dpi Printing")},
    {{}, {}},
};

namespace
{
HINSTANCE g_instance = nullptr;
CRITICAL_SECTION g_section;
bool g_sectionReady = false;

// The handles handed out and not yet closed. A pointer is looked up here before any of its words is
// read, so a closed or foreign one is refused without touching its memory.
std::set<const DrvSplHandle*>& LiveHandles()
{
    static std::set<const DrvSplHandle*> live;
    return live;
}

class SectionLock
{
public:
    SectionLock()
    {
        if (g_sectionReady)
            EnterCriticalSection(&g_section);
    }
    ~SectionLock()
    {
        if (g_sectionReady)
            LeaveCriticalSection(&g_section);
    }
    SectionLock(const SectionLock&) = delete;
    SectionLock& operator=(const SectionLock&) = delete;
};

DrvSplHandle* Valid(HANDLE handle)
{
    auto* h = static_cast<DrvSplHandle*>(handle);
    if (!h)
        return nullptr;
    SectionLock lock;
    if (!LiveHandles().contains(h))
        return nullptr;
    return h->self == h && h->selfEnd == h && h->size == sizeof(DrvSplHandle) ? h : nullptr;
}

BOOL Invalid()
{
    SetLastError(ERROR_INVALID_PARAMETER);
    return FALSE;
}

size_t CommandLength(const PdlKeyRow& row)
{
    return strnlen(row.command, std::size(row.command));
}

// The job must not wait for a box in the spooler's session nobody sees: the console user is told
// without the spooler waiting for an answer.
void Tell(const WCHAR* message)
{
    const DWORD session = WTSGetActiveConsoleSessionId();
    if (session == 0xFFFFFFFF)
        return;
    WString caption(velmo::g_DeviceList[0]), text(message);
    DWORD response = 0;
    WTSSendMessageW(WTS_CURRENT_SERVER_HANDLE, session, caption.data(),
                    static_cast<DWORD>(caption.size() * sizeof(WCHAR)), text.data(),
                    static_cast<DWORD>(text.size() * sizeof(WCHAR)), MB_SETFOREGROUND, 0, &response, FALSE);
}
} // namespace

void CfcSetDriverInst(HINSTANCE instance)
{
    g_instance = instance;
}

HINSTANCE CfcGetDriverInst()
{
    return g_instance;
}

void CfcInitCriticalSection()
{
    if (g_sectionReady)
        return;
    InitializeCriticalSection(&g_section);
    g_sectionReady = true;
}

void CfcDelCriticalSection()
{
    if (!g_sectionReady)
        return;
    g_sectionReady = false;
    DeleteCriticalSection(&g_section);
}

BOOL UduSplInitUserSpl(DrvSplHandle*, DWORD)
{
    return TRUE;
}

BOOL UduSplStartPage(DrvSplHandle*)
{
    return TRUE;
}

int MatchingRows(const void* buffer, DWORD length, int (&rows)[2])
{
    int count = 0;
    if (!buffer)
        return 0;
    for (int i = 0; g_PDLKey[i].command[0] && count < 2; ++i)
    {
        size_t n = CommandLength(g_PDLKey[i]);
        if (length >= n && std::memcmp(buffer, g_PDLKey[i].command, n) == 0)
            rows[count++] = i;
    }
    return count;
}

BOOL UduSplWritePrinter(DrvSplHandle* handle, const void* buffer, DWORD length, DWORD* written)
{
    int rows[2];
    int count = MatchingRows(buffer, length, rows);
    for (int i = 0; i < count; ++i)
        Tell(g_PDLKey[rows[i]].message);
    return WritePrinter(handle->printer, const_cast<void*>(buffer), length, written);
}

HANDLE DrvSplStartDoc(HANDLE printer, DWORD jobId)
{
    auto* h = static_cast<DrvSplHandle*>(GlobalAlloc(GMEM_ZEROINIT, sizeof(DrvSplHandle)));
    if (!h)
    {
        SetLastError(ERROR_NOT_ENOUGH_MEMORY);
        return nullptr;
    }
    h->self = h;
    h->size = sizeof(DrvSplHandle);
    h->printer = printer;
    h->jobId = jobId;
    h->selfEnd = h;
    bool kept = false;
    {
        SectionLock lock;
        try
        {
            LiveHandles().insert(h);
            kept = true;
        }
        catch (const std::bad_alloc&)
        {
        }
    }
    if (!kept)
    {
        GlobalFree(h);
        SetLastError(ERROR_NOT_ENOUGH_MEMORY);
        return nullptr;
    }
    UduSplInitUserSpl(h, kStartDoc);
    return h;
}

BOOL DrvSplStartPage(HANDLE handle)
{
    DrvSplHandle* h = Valid(handle);
    return h ? UduSplStartPage(h) : Invalid();
}

BOOL DrvSplEndPage(HANDLE handle)
{
    return DrvSplStartPage(handle);
}

BOOL DrvSplWritePrinter(HANDLE handle, LPVOID buffer, DWORD length, LPDWORD written)
{
    DrvSplHandle* h = Valid(handle);
    return h ? UduSplWritePrinter(h, buffer, length, written) : Invalid();
}

BOOL DrvSplEndDoc(HANDLE handle)
{
    DrvSplHandle* h = Valid(handle);
    return h ? UduSplInitUserSpl(h, kEndDoc) : Invalid();
}

BOOL DrvSplClose(HANDLE handle)
{
    DrvSplHandle* h = Valid(handle);
    if (!h)
        return Invalid();
    UduSplInitUserSpl(h, kClose);
    {
        SectionLock lock;
        LiveHandles().erase(h);
    }
    std::memset(h, 0, sizeof *h);
    GlobalFree(h);
    return TRUE;
}

BOOL DrvSplAbort(HANDLE handle)
{
    if (DrvSplHandle* h = Valid(handle))
        UduSplInitUserSpl(h, kAbort);
    else
        SetLastError(ERROR_INVALID_PARAMETER);
    return TRUE;
}

} // namespace velmq7um
