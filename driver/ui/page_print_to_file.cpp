#include "page_print_to_file.h"

#include "page_common.h"
#include "page_models.h"
#include "ui_settings.h"
#include "ui_strings.h"

#include <platform/boundary.h>
#include <platform/objbase.h>
#include <platform/shellapi.h>

#include <algorithm>
#include <cwctype>
#include <memory>

namespace velmoui
{

FolderVerdict JudgeFolder(WStringView current, WStringView chosen)
{
    if (chosen.size() > kFolderMaxChars)
        return FolderVerdict::TooLong;
    if (current.size() == chosen.size() &&
        std::equal(current.begin(), current.end(), chosen.begin(), [](char16_t a, char16_t b) {
            return std::towlower(static_cast<wint_t>(a)) == std::towlower(static_cast<wint_t>(b));
        }))
        return FolderVerdict::Same;
    return FolderVerdict::Replace;
}

WriteCheck CheckFolderWritable(const WString& folder)
{
    // A name of our own, short enough beside a folder of the longest allowed length to stay
    // within MAX_PATH; taken again with the next number while one exists.
    static const WCHAR kHex[] = TEXT("0123456789ABCDEF");
    WString base = folder;
    if (base.empty() || base.back() != TEXT('\\'))
        base += TEXT('\\');
    DWORD seed = GetTickCount() ^ GetCurrentProcessId();
    for (DWORD attempt = 0; attempt < 64; ++attempt)
    {
        DWORD n = (seed + attempt) & 0xFFFF;
        WString file = base + TEXT("~vq");
        for (int shift = 12; shift >= 0; shift -= 4)
            file += kHex[(n >> shift) & 0xF];
        file += TEXT(".tmp");
        HANDLE h =
            CreateFileW(file.c_str(), GENERIC_WRITE, 0, nullptr, CREATE_NEW, FILE_ATTRIBUTE_NORMAL, nullptr);
        if (h == INVALID_HANDLE_VALUE)
        {
            if (GetLastError() == ERROR_FILE_EXISTS || GetLastError() == ERROR_ALREADY_EXISTS)
                continue;
            return {WriteOutcome::CannotCreate, file};
        }
        CloseHandle(h);
        if (!DeleteFileW(file.c_str()))
            return {WriteOutcome::CannotDelete, file};
        return {WriteOutcome::Written, file};
    }
    return {WriteOutcome::CannotCreate, {}};
}

namespace
{
constexpr HelpRow g_PrintToFileHelp[] = {
    {kFolderEdit, TEXT("idh_print_to_file_folder")},
    {kFolderBrowse, TEXT("idh_print_to_file_browse")},
    {kRestoreDefaults, TEXT("idh_restore_defaults")},
    {kSummary, TEXT("idh_summary")},
};

// Selects the page's folder when the browser opens.
int CALLBACK BrowseCallback(HWND browser, UINT message, LPARAM, LPARAM data)
{
    if (message == BFFM_INITIALIZED && data)
        SendMessageW(browser, BFFM_SETSELECTIONW, TRUE, data);
    return 0;
}

class PrintToFilePage : public Page
{
public:
    void Init() override { SendMessageW(Item(kFolderEdit), EM_LIMITTEXT, kFolderMaxChars, 0); }

    void Load() override
    {
        const SettingsRecord& r = R();
        WString folder(r.printToFileFolder,
                       std::find(std::begin(r.printToFileFolder), std::end(r.printToFileFolder), WCHAR{0}));
        SetText(kFolderEdit, folder);
        Enable(kFolderEdit, state->editable != FALSE);
        Enable(kFolderBrowse, state->editable != FALSE);
    }

    bool Command(int control, int code) override
    {
        if (control == kFolderEdit && code == EN_CHANGE)
            return true;
        if (code != BN_CLICKED)
            return false;
        if (control == kRestoreDefaults)
        {
            std::fill(std::begin(R().printToFileFolder), std::end(R().printToFileFolder), WCHAR{0});
            Reload();
            return true;
        }
        if (control == kFolderBrowse)
            return Browse();
        return false;
    }

    bool Leave() override
    {
        Store(Text(kFolderEdit));
        return true;
    }

    std::span<const HelpRow> HelpTable() const override { return g_PrintToFileHelp; }
    const WCHAR* Keyword() const override { return TEXT("Print to File tab"); }
    WString Summary() const override { return SummaryText(R(), UiString, DecimalSeparator()); }

private:
    SettingsRecord& R() { return state->working; }
    const SettingsRecord& R() const { return state->working; }

    void Store(const WString& folder)
    {
        WCHAR* f = R().printToFileFolder;
        std::fill(f, f + std::size(R().printToFileFolder), WCHAR{0});
        std::copy_n(folder.begin(), std::min(folder.size(), kFolderMaxChars), f);
    }

    bool Browse()
    {
        WString current = Text(kFolderEdit);
        std::optional<WString> chosen = AskFolder(current);
        if (!chosen)
            return false;
        FolderVerdict verdict = JudgeFolder(current, *chosen);
        if (verdict == FolderVerdict::TooLong)
        {
            Message(UiString(574), MB_ICONERROR);
            return false;
        }
        WriteCheck check = CheckFolderWritable(*chosen);
        if (check.outcome == WriteOutcome::CannotCreate)
            Message(UiString(560), MB_ICONWARNING);
        else if (check.outcome == WriteOutcome::CannotDelete)
            Message(FormatWithText(UiString(576), check.file), MB_ICONERROR);
        if (verdict == FolderVerdict::Same)
            return false;
        Store(*chosen);
        Reload();
        return true;
    }

    // The folder the user picks in the shell's browser, inside a COM apartment left only when
    // entering it succeeded.
    std::optional<WString> AskFolder(const WString& current) const
    {
        HRESULT com = CoInitializeEx(nullptr, COINIT_APARTMENTTHREADED);
        WString title = UiString(578);
        WCHAR display[MAX_PATH] = {};
        BROWSEINFOW info{};
        info.hwndOwner = dialog;
        info.pszDisplayName = display;
        info.lpszTitle = title.c_str();
        info.ulFlags = BIF_RETURNONLYFSDIRS | BIF_DONTGOBELOWDOMAIN | BIF_NEWDIALOGSTYLE | BIF_UAHINT;
        info.lpfn = BrowseCallback;
        info.lParam = reinterpret_cast<LPARAM>(current.c_str());
        std::optional<WString> chosen;
        if (PIDLIST_ABSOLUTE list = SHBrowseForFolderW(&info))
        {
            WCHAR path[MAX_PATH] = {};
            if (SHGetPathFromIDListW(list, path))
                chosen = WString(path);
            CoTaskMemFree(list);
        }
        if (SUCCEEDED(com))
            CoUninitialize();
        return chosen;
    }
};

std::unique_ptr<Page> MakePage()
{
    return std::make_unique<PrintToFilePage>();
}
} // namespace

INT_PTR CALLBACK PrintToFilePageProc(HWND dialog, UINT message, WPARAM wParam, LPARAM lParam)
{
    return platform::Boundary(INT_PTR{FALSE},
                              [&] { return PageDialogProc(MakePage, dialog, message, wParam, lParam); });
}

} // namespace velmoui
