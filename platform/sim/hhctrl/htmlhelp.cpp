// HTML Help: requests are recorded for tests; no help window opens.
#include "core/internal.h"
#include "core/state.h"
#include "kernel32/loader.h"

#include <platform/htmlhelp.h>
#include <sim/machine.h>

#include <vector>

using namespace sim;
using namespace sim::detail;

namespace
{
struct HelpLog : PartBase
{
    std::vector<HelpRequest> requests;
};

HelpLog& helpLog()
{
    return Part<HelpLog>();
}
} // namespace

HWND WINAPI HtmlHelpW(HWND, LPCWSTR file, UINT command, DWORD_PTR data)
{
    HelpRequest request;
    request.file = file ? WString(file) : WString();
    request.command = command;
    if (command == HH_KEYWORD_LOOKUP && data)
    {
        auto* link = reinterpret_cast<const HH_AKLINK*>(data);
        if (link->cbStruct >= static_cast<int>(sizeof(HH_AKLINK)))
        {
            request.keyword = link->pszKeywords ? WString(link->pszKeywords) : WString();
            request.indexOnFail = link->fIndexOnFail != FALSE;
        }
    }
    std::lock_guard g(StateLock());
    helpLog().requests.push_back(request);
    return nullptr;
}

namespace sim::detail
{
std::vector<SystemExport> HtmlHelpExports()
{
    return {{u"hhctrl.ocx", "HtmlHelpW", ExportAddress(&HtmlHelpW)}};
}
} // namespace sim::detail

std::vector<HelpRequest> sim::Desktop::HelpRequests() const
{
    std::lock_guard g(StateLock());
    return helpLog().requests;
}
