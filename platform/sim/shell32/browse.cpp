// The folder browser, answered by the scripted user; its item id lists stand for the paths picked.
#include "user32/desktop_internal.h"

using namespace sim;
using namespace sim::detail;

PIDLIST_ABSOLUTE WINAPI SHBrowseForFolderW(LPBROWSEINFOW info)
{
    if (!info)
        return nullptr;
    auto pending = std::make_shared<PendingFileDialog>();
    pending->shown.kind = FileDialogKind::Folder;
    pending->shown.title = ToWString(info->lpszTitle);
    pending->shown.flags = info->ulFlags;
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
    std::lock_guard g(Desk().mu);
    auto it = Desk().folders.find(reinterpret_cast<ULONG_PTR>(list));
    if (it == Desk().folders.end() || !path)
        return FALSE;
    CopyOut(it->second, path, MAX_PATH);
    return TRUE;
}
