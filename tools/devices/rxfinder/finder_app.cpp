// RX-Finder's start: one instance, the common controls, a firewall rule that lets the cards' replies
// in, Windows Sockets, then the dialog.
#include "finder_dialog.h"
#include "firewall.h"
#include "finder_text.h"
#include "rxfinder_resource.h"

#include <platform/commctrl.h>
#include <platform/dll_search.h>

#include <memory>

namespace rxfinder
{
namespace
{
constexpr const WCHAR* kMutexName = TEXT("Global\\BCFFF087-A9A4-4EC5-9D6C-434DE2F5BDA6");
constexpr DWORD kPathChars = 260;
} // namespace

int WINAPI Main(HINSTANCE instance, HINSTANCE, LPWSTR, int)
{
    return platform::Boundary(0, [&]() -> int {
        platform::HardenDllSearchPath();
        HANDLE mutex = CreateMutexW(nullptr, FALSE, kMutexName);
        if (!mutex)
            return 0;
        if (GetLastError() == ERROR_ALREADY_EXISTS)
        {
            CloseHandle(mutex);
            return 0;
        }
        INITCOMMONCONTROLSEX controls{sizeof controls, ICC_LISTVIEW_CLASSES | ICC_INTERNET_CLASSES};
        InitCommonControlsEx(&controls);
        WCHAR path[kPathChars] = {};
        GetModuleFileNameW(nullptr, path, kPathChars);
        const WString ruleName = LoadText(instance, IDS_PRODUCT);

        // The rule is a courtesy to the user: without it (no firewall, no rights) the search still runs.
        auto rule = std::make_unique<firewall::CFirewallPolicy>();
        rule->AddApplicationRule(ruleName.c_str(), path);

        auto searcher = std::make_unique<CTzPrnSvrSearcher>();
        searcher->StartSockets();
        auto dialog = std::make_unique<CRxFinderDlg>(instance, std::move(searcher));
        const int result = static_cast<int>(dialog->Run());
        rule->RemoveRule(ruleName.c_str());
        CloseHandle(mutex);
        dialog.reset(); // the searcher goes with it and stops Windows Sockets
        rule.reset();   // ends COM when it was started here
        return result;
    });
}

} // namespace rxfinder
