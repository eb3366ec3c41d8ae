// The common property-sheet host: CommonPropertySheetUIW asks the driver's sheet function for its
// pages and header, shows them in the property-sheet frame, hands the pages' results back to the
// driver and ends the sheet with DESTROY. Each sheet it hosted is kept for tests.
#include "core/faults.h"
#include "core/internal.h"
#include "core/state.h"
#include "kernel32/loader.h"

#include <platform/commctrl.h>
#include <platform/winddiui.h>
#include <sim/machine.h>

#include <map>
#include <vector>

using namespace sim;
using namespace sim::detail;

namespace
{
struct Host
{
    PFNPROPSHEETUI function = nullptr;
    PROPSHEETUI_INFO info{};
    std::vector<HPROPSHEETPAGE> pages;
    size_t record = 0; // index in the hosted sheets
};

struct Hosts : PartBase
{
    std::map<ULONG_PTR, Host*> live;
    ULONG_PTR next = 0xC0500;
    std::vector<HostedSheet> hosted;
};

Hosts& hosts()
{
    return Part<Hosts>();
}

Host* HostOf(HANDLE handle)
{
    std::lock_guard g(StateLock());
    auto it = hosts().live.find(reinterpret_cast<ULONG_PTR>(handle));
    return it == hosts().live.end() ? nullptr : it->second;
}

void Note(Host& host, UINT function)
{
    std::lock_guard g(StateLock());
    hosts().hosted[host.record].functions.push_back(function);
}

LONG_PTR CALLBACK HostFunction(HANDLE handle, UINT function, LPARAM lParam1, LPARAM lParam2)
{
    Host* host = HostOf(handle);
    if (!host)
        return 0;
    Note(*host, function);
    switch (function)
    {
    case CPSFUNC_ADD_HPROPSHEETPAGE:
        if (SIM_TAKE_FAULT("ComPropSheetAddPage") || !lParam1)
            return 0;
        host->pages.push_back(reinterpret_cast<HPROPSHEETPAGE>(lParam1));
        return lParam1;
    case CPSFUNC_ADD_PCOMPROPSHEETUIW:
        return SIM_TAKE_FAULT("ComPropSheetAddPage") ? 0 : 1; // recorded only: its pages are the host's own
    case CPSFUNC_SET_RESULT: {
        SETRESULT_INFO result{};
        result.cbSize = sizeof result;
        result.hSetResult = reinterpret_cast<HANDLE>(lParam1);
        result.Result = lParam2;
        host->info.Reason = PROPSHEETUI_REASON_SET_RESULT;
        return host->function(&host->info, reinterpret_cast<LPARAM>(&result));
    }
    default:
        return 0;
    }
}

// The common texts the host resolves itself; any other id is the caller's string.
WString TitleOf(const PROPSHEETUI_INFO_HEADER& header)
{
    if (!header.pTitle)
        return {};
    if (!IS_INTRESOURCE(header.pTitle))
        return WString(header.pTitle);
    auto id = static_cast<UINT>(reinterpret_cast<ULONG_PTR>(header.pTitle));
    if (id == IDS_CPSUI_PRINTER)
        return u"Printer";
    if (id == IDS_CPSUI_NONE)
        return u"None";
    WCHAR text[260];
    int n = LoadStringW(header.hInst, id, text, 260);
    return n > 0 ? WString(text, static_cast<size_t>(n)) : WString();
}
} // namespace

LONG WINAPI CommonPropertySheetUIW(HWND owner, PFNPROPSHEETUI function, LPARAM lParam, LPDWORD result)
{
    if (!function)
    {
        SetLastError(ERROR_INVALID_PARAMETER);
        return -1;
    }
    Host host;
    host.function = function;
    HANDLE handle;
    {
        std::lock_guard g(StateLock());
        handle = reinterpret_cast<HANDLE>(hosts().next);
        hosts().next += 0x10;
        hosts().live[reinterpret_cast<ULONG_PTR>(handle)] = &host;
        host.record = hosts().hosted.size();
        hosts().hosted.emplace_back();
    }
    auto finish = [&](LONG r) {
        std::lock_guard g(StateLock());
        hosts().live.erase(reinterpret_cast<ULONG_PTR>(handle));
        hosts().hosted[host.record].result = static_cast<LONG_PTR>(host.info.Result);
        return r;
    };
    PROPSHEETUI_INFO& info = host.info;
    info.cbSize = sizeof info;
    info.Version = 0x0100;
    info.Reason = PROPSHEETUI_REASON_INIT;
    info.hComPropSheet = handle;
    info.pfnComPropSheet = HostFunction;
    info.lParamInit = lParam;
    if (function(&info, 0) <= 0)
        return finish(-1);

    PROPSHEETUI_INFO_HEADER header{};
    header.cbSize = sizeof header;
    header.hWndParent = owner;
    info.Reason = PROPSHEETUI_REASON_GET_INFO_HEADER;
    LONG answered = function(&info, reinterpret_cast<LPARAM>(&header));
    WString caption = TitleOf(header);
    if (header.Flags & PSUIHDRF_PROPTITLE)
        caption += caption.empty() ? u"Properties" : u" Properties";
    {
        std::lock_guard g(StateLock());
        hosts().hosted[host.record].caption = caption;
        hosts().hosted[host.record].applyButton = !(header.Flags & PSUIHDRF_NOAPPLYNOW);
    }
    INT_PTR shown = -1;
    if (answered > 0 && !host.pages.empty())
    {
        PROPSHEETHEADERW sheet{};
        sheet.dwSize = sizeof sheet;
        sheet.dwFlags = (header.Flags & PSUIHDRF_NOAPPLYNOW) ? PSH_NOAPPLYNOW : 0;
        sheet.hwndParent = owner;
        sheet.hInstance = header.hInst;
        sheet.pszCaption = caption.c_str();
        sheet.nPages = static_cast<UINT>(host.pages.size());
        sheet.phpage = host.pages.data();
        shown = PropertySheetW(&sheet);
    }
    info.Reason = PROPSHEETUI_REASON_DESTROY;
    function(&info, shown > 0 ? 1 : 0);
    if (result)
        *result = static_cast<DWORD>(info.Result);
    if (shown < 0)
        return finish(-1);
    return finish(shown > 0 ? CPSUI_OK : CPSUI_CANCEL);
}

namespace sim::detail
{
std::vector<SystemExport> PropertySheetHostExports()
{
    return {{u"compstui.dll", "CommonPropertySheetUIW", ExportAddress(&CommonPropertySheetUIW)}};
}
} // namespace sim::detail

std::vector<HostedSheet> sim::Desktop::HostedSheets() const
{
    std::lock_guard g(StateLock());
    return hosts().hosted;
}
