#include "execute.h"

#include "string_table.h"

#include <platform/objbase.h>
#include <platform/shellapi.h>
#include <platform/shlwapi.h>

namespace launch
{
namespace
{
constexpr UINT kFileNotFoundText = 507;
constexpr WORD kWindows7 = 0x0601;

// Waits for the child and answers messages sent meanwhile, so a child that broadcasts cannot hang
// both; posted messages and input stay queued.
void WaitForChild(HANDLE process)
{
    for (;;)
    {
        DWORD woke = MsgWaitForMultipleObjects(1, &process, FALSE, INFINITE, QS_SENDMESSAGE);
        if (woke != WAIT_OBJECT_0 + 1)
            return;
        MSG message;
        PeekMessageW(&message, nullptr, 0, 0, PM_NOREMOVE | PM_QS_SENDMESSAGE);
    }
}

// The shell launch both forms share: no verb, the path's folder as working folder, shown normally.
DWORD ShellLaunch(LPCWSTR path, bool wait)
{
    WString directory = WorkingDirectoryOf(path);
    SHELLEXECUTEINFOW info{};
    info.cbSize = sizeof info;
    info.fMask = wait ? SEE_MASK_NOCLOSEPROCESS : SEE_MASK_DEFAULT;
    info.lpFile = path;
    info.lpDirectory = directory.c_str();
    info.nShow = SW_SHOWNORMAL;
    HRESULT com = CoInitializeEx(nullptr, COINIT_APARTMENTTHREADED | COINIT_DISABLE_OLE1DDE);
    DWORD result = 0;
    if (!ShellExecuteExW(&info))
        result = GetLastError();
    else if (wait && info.hProcess)
    {
        WaitForChild(info.hProcess);
        if (!GetExitCodeProcess(info.hProcess, &result))
            result = GetLastError();
        CloseHandle(info.hProcess);
    }
    if (SUCCEEDED(com))
        CoUninitialize();
    return result;
}

WString FullPathOf(const WString& moduleFolder, WStringView relativePath)
{
    WString joined = moduleFolder + WString(relativePath);
    WCHAR full[MAX_PATH] = {};
    DWORD length = GetFullPathNameW(joined.c_str(), MAX_PATH, full, nullptr);
    return length > 0 && length < MAX_PATH ? WString(full) : WString();
}
} // namespace

WString WorkingDirectoryOf(LPCWSTR path)
{
    WCHAR directory[MAX_PATH] = {};
    lstrcpynW(directory, path, MAX_PATH);
    *PathFindFileNameW(directory) = 0;
    return directory;
}

DWORD ExecuteAndWait(HWND owner, LPCWSTR path, bool wait)
{
    if (!path)
        return 3;
    if (!PathFileExistsW(path))
        return 2;
    if (wait)
    {
        EnableWindow(owner, FALSE);
        ShowWindow(owner, SW_HIDE);
    }
    DWORD result = ShellLaunch(path, wait);
    if (wait)
    {
        EnableWindow(owner, TRUE);
        ShowWindow(owner, SW_RESTORE);
    }
    return result;
}

void CExecuteProcess::OpenDocument(LPCWSTR path)
{
    if (path && PathFileExistsW(path))
        ShellLaunch(path, false);
}

bool IsPdfViewerAvailable()
{
    WCHAR executable[520] = {};
    DWORD length = 520;
    HRESULT hr = AssocQueryStringW(ASSOCF_NOTRUNCATE, ASSOCSTR_EXECUTABLE, TEXT(".pdf"), TEXT("open"),
                                   executable, &length);
    return SUCCEEDED(hr) && length != 0;
}

void ShowFileNotFound(HWND owner)
{
    WCHAR text[1024] = {};
    LoadStringW(GetModuleHandleW(nullptr), kFileNotFoundText, text, 1024);
    WCHAR caption[MAX_PATH] = {};
    GetWindowTextW(owner, caption, MAX_PATH);
    MessageBoxW(owner, text, caption, MB_ICONWARNING);
}

void OpenManual(HWND owner, CExecuteProcess& launcher, const CMultilingualStringTable& strings,
                LANGID language, const WString& moduleFolder, WStringView relativePath)
{
    WString full = FullPathOf(moduleFolder, relativePath);
    bool viewer = launcher.Version() > kWindows7 || IsPdfViewerAvailable();
    if (full.empty() || !PathFileExistsW(full.c_str()))
    {
        ShowFileNotFound(owner);
        return;
    }
    if (viewer)
    {
        launcher.OpenDocument(full.c_str());
        return;
    }
    if (MessageBoxW(owner, strings.GetString(language, kSlotNoteNotFoundViewer),
                    strings.GetString(language, kSlotAppTitle), MB_YESNO | MB_ICONINFORMATION) == IDYES)
        launcher.OpenDocument(WorkingDirectoryOf(full.c_str()).c_str());
}

void RunPackageProgram(HWND owner, CExecuteProcess& launcher, const WString& moduleFolder,
                       WStringView relativePath)
{
    WString full = FullPathOf(moduleFolder, relativePath);
    if (full.empty() || !PathFileExistsW(full.c_str()))
    {
        ShowFileNotFound(owner);
        return;
    }
    launcher.RunAndWait(owner, full.c_str());
}

} // namespace launch
