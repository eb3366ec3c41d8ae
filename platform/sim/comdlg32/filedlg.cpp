// The open and save dialogs, answered by the scripted user.
#include "ole32/com_internal.h"
#include "user32/desktop_internal.h"

#include <algorithm>

using namespace sim;
using namespace sim::detail;

namespace
{
std::vector<std::pair<WString, WString>> Filters(LPCWSTR filter)
{
    std::vector<std::pair<WString, WString>> out;
    if (!filter)
        return out;
    for (const WCHAR* p = filter; *p;)
    {
        WString description(p);
        p += description.size() + 1;
        WString pattern(p);
        p += pattern.size() + (*p ? 1 : 0);
        out.emplace_back(description, pattern);
        if (pattern.empty())
            break;
    }
    return out;
}

BOOL FileDialog(LPOPENFILENAMEW ofn, FileDialogKind kind)
{
    DesktopState& d = Desk();
    std::optional<DWORD> fault = kind == FileDialogKind::Open ? SIM_TAKE_FAULT("GetOpenFileNameW")
                                                              : SIM_TAKE_FAULT("GetSaveFileNameW");
    if (fault)
    {
        // A common-dialog code is what the dialog reports; any other fault is a failed dialog.
        bool dialogCode =
            *fault == CDERR_STRUCTSIZE || (*fault >= FNERR_SUBCLASSFAILURE && *fault <= FNERR_BUFFERTOOSMALL);
        std::lock_guard g(d.mu);
        d.commDlgError = dialogCode ? *fault : CDERR_DIALOGFAILURE;
        return FALSE;
    }
    if (!ofn || ofn->lStructSize < sizeof(OPENFILENAMEW) - sizeof(void*) - 2 * sizeof(DWORD) ||
        !ofn->lpstrFile)
    {
        std::lock_guard g(d.mu);
        d.commDlgError = CDERR_STRUCTSIZE;
        return FALSE;
    }
    // An initial name no file can have ends the dialog before it shows.
    if (ofn->nMaxFile &&
        std::any_of(ofn->lpstrFile, std::find(ofn->lpstrFile, ofn->lpstrFile + ofn->nMaxFile, 0),
                    [](WCHAR c) { return c < 0x20 || WStringView(u"<>\"|").find(c) != WStringView::npos; }))
    {
        std::lock_guard g(d.mu);
        d.commDlgError = FNERR_INVALIDFILENAME;
        return FALSE;
    }
    auto pending = std::make_shared<PendingFileDialog>();
    FileDialogShown& s = pending->shown;
    s.kind = kind;
    s.title = ToWString(ofn->lpstrTitle);
    s.initialFolder = ToWString(ofn->lpstrInitialDir);
    s.fileName = ofn->nMaxFile
                     ? WString(ofn->lpstrFile, std::find(ofn->lpstrFile, ofn->lpstrFile + ofn->nMaxFile, 0))
                     : WString();
    s.defaultExtension = ToWString(ofn->lpstrDefExt);
    s.filters = Filters(ofn->lpstrFilter);
    s.filterIndex = ofn->nFilterIndex;
    s.flags = ofn->Flags;
    s.apartment = ApartmentModel();
    {
        std::lock_guard g(d.mu);
        d.fileDialog = pending;
        d.commDlgError = 0;
    }
    WaitForAnswer([pending] { return pending->answered; }, ofn->hwndOwner);
    {
        std::lock_guard g(d.mu);
        if (d.fileDialog == pending)
            d.fileDialog.reset();
    }
    if (!pending->path)
        return FALSE;
    WString path = *pending->path;
    size_t slash = path.find_last_of(u"\\/");
    size_t nameStart = slash == WString::npos ? 0 : slash + 1;
    size_t dot = path.find_last_of(u'.');
    if ((dot == WString::npos || dot < nameStart) && ofn->lpstrDefExt && *ofn->lpstrDefExt)
    {
        path += u"." + WString(ofn->lpstrDefExt);
        dot = path.find_last_of(u'.');
    }
    if (path.size() + 1 > ofn->nMaxFile)
    {
        std::lock_guard g(d.mu);
        d.commDlgError = FNERR_BUFFERTOOSMALL;
        if (ofn->nMaxFile >= 2)
            ofn->lpstrFile[0] = static_cast<WCHAR>(path.size() + 1);
        return FALSE;
    }
    CopyOut(path, ofn->lpstrFile, static_cast<int>(ofn->nMaxFile));
    if (pending->filterIndex)
        ofn->nFilterIndex = *pending->filterIndex;
    ofn->nFileOffset = static_cast<WORD>(nameStart);
    ofn->nFileExtension = static_cast<WORD>(dot == WString::npos || dot < nameStart ? path.size() : dot + 1);
    if (ofn->lpstrFileTitle && ofn->nMaxFileTitle)
        CopyOut(WStringView(path).substr(nameStart), ofn->lpstrFileTitle,
                static_cast<int>(ofn->nMaxFileTitle));
    if (!(ofn->Flags & OFN_NOCHANGEDIR) && nameStart > 0)
        CurrentProcess().currentDirectory = path.substr(0, nameStart - 1);
    return TRUE;
}
} // namespace

BOOL WINAPI GetOpenFileNameW(LPOPENFILENAMEW ofn)
{
    return FileDialog(ofn, FileDialogKind::Open);
}

BOOL WINAPI GetSaveFileNameW(LPOPENFILENAMEW ofn)
{
    return FileDialog(ofn, FileDialogKind::Save);
}

DWORD WINAPI CommDlgExtendedError()
{
    std::lock_guard g(Desk().mu);
    return Desk().commDlgError;
}
