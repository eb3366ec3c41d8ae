// The folder browser, answered by the scripted user; its item id lists stand for the paths picked.
#include "core/faults.h"
#include "ole32/com_internal.h"
#include "user32/desktop_internal.h"

using namespace sim;
using namespace sim::detail;

namespace
{
constexpr const char16_t* kBrowserClass = u"SimFolderBrowser";

// The browser's window as its callback sees it: it takes the folder to select.
LRESULT CALLBACK BrowserProc(HWND window, UINT message, WPARAM wParam, LPARAM lParam)
{
    if (message != BFFM_SETSELECTIONW)
        return DefWindowProcW(window, message, wParam, lParam);
    auto* pending = reinterpret_cast<PendingFileDialog*>(GetWindowLongPtrW(window, GWLP_USERDATA));
    if (!pending || !wParam || !lParam)
        return FALSE; // only paths are understood here, not item id lists
    WString path = ToWString(reinterpret_cast<LPCWSTR>(lParam));
    std::lock_guard g(Desk().mu);
    pending->shown.initialFolder = path;
    return TRUE;
}

// Makes the browser's window and runs the caller's callback as it opens; false when the system
// refused the window, as then no browser shows.
bool Initialise(const BROWSEINFOW& info, PendingFileDialog& pending)
{
    WNDCLASSEXW wc{};
    wc.cbSize = sizeof wc;
    wc.lpfnWndProc = BrowserProc;
    wc.lpszClassName = kBrowserClass;
    RegisterClassExW(&wc); // fails harmlessly once registered
    HWND browser = CreateWindowExW(0, kBrowserClass, info.lpszTitle, WS_POPUP, 0, 0, 400, 300, info.hwndOwner,
                                   nullptr, nullptr, nullptr);
    if (!browser)
        return false;
    SetWindowLongPtrW(browser, GWLP_USERDATA, reinterpret_cast<LONG_PTR>(&pending));
    if (info.lpfn)
        info.lpfn(browser, BFFM_INITIALIZED, 0, info.lParam);
    DestroyWindow(browser);
    return true;
}
} // namespace

PIDLIST_ABSOLUTE WINAPI SHBrowseForFolderW(LPBROWSEINFOW info)
{
    if (!info)
        return nullptr;
    SIM_FAULT_POINT("SHBrowseForFolderW", nullptr);
    auto pending = std::make_shared<PendingFileDialog>();
    pending->shown.kind = FileDialogKind::Folder;
    pending->shown.title = ToWString(info->lpszTitle);
    pending->shown.flags = info->ulFlags;
    pending->shown.apartment = ApartmentModel();
    if (!Initialise(*info, *pending))
        return nullptr;
    {
        std::lock_guard g(Desk().mu);
        Desk().fileDialog = pending;
    }
    WaitForAnswer([pending] { return pending->answered; }, info->hwndOwner);
    std::lock_guard g(Desk().mu);
    if (Desk().fileDialog == pending)
        Desk().fileDialog.reset();
    if (!pending->path)
        return nullptr;
    WString path = *pending->path;
    if (info->pszDisplayName)
    {
        size_t slash = path.find_last_of(u'\\');
        CopyOut(slash == WString::npos ? WStringView(path) : WStringView(path).substr(slash + 1),
                info->pszDisplayName, MAX_PATH);
    }
    ULONG_PTR id = Desk().nextObject;
    Desk().nextObject += 4;
    Desk().folders[id] = path;
    return reinterpret_cast<PIDLIST_ABSOLUTE>(id);
}

BOOL WINAPI SHGetPathFromIDListW(PCIDLIST_ABSOLUTE list, LPWSTR path)
{
    SIM_FAULT_RESULT("SHGetPathFromIDListW", FALSE);
    std::lock_guard g(Desk().mu);
    auto it = Desk().folders.find(reinterpret_cast<ULONG_PTR>(list));
    if (it == Desk().folders.end() || !path)
        return FALSE;
    CopyOut(it->second, path, MAX_PATH);
    return TRUE;
}
