// Linux declarations: shell drag and drop and folder browsing. Written from the documented API; included
// by platform/shellapi.h.
#pragma once

DECLARE_HANDLE(HDROP);

UINT WINAPI DragQueryFileW(HDROP drop, UINT index, LPWSTR file, UINT count);
BOOL WINAPI DragQueryPoint(HDROP drop, POINT* point);
void WINAPI DragFinish(HDROP drop);
void WINAPI DragAcceptFiles(HWND window, BOOL accept);

// Command lines split as the shell does; the array is freed with LocalFree.
LPWSTR* WINAPI CommandLineToArgvW(LPCWSTR commandLine, int* count);

// Folder browsing. An item id list is opaque to the code: it only converts it back to a path.
typedef struct _ITEMIDLIST ITEMIDLIST;
typedef ITEMIDLIST* LPITEMIDLIST;
typedef const ITEMIDLIST* LPCITEMIDLIST;
typedef LPITEMIDLIST PIDLIST_ABSOLUTE;
typedef LPCITEMIDLIST PCIDLIST_ABSOLUTE;
typedef int(CALLBACK* BFFCALLBACK)(HWND, UINT, LPARAM, LPARAM);

typedef struct _browseinfoW
{
    HWND hwndOwner;
    PCIDLIST_ABSOLUTE pidlRoot;
    LPWSTR pszDisplayName;
    LPCWSTR lpszTitle;
    UINT ulFlags;
    BFFCALLBACK lpfn;
    LPARAM lParam;
    int iImage;
} BROWSEINFOW, *LPBROWSEINFOW;

#define BIF_RETURNONLYFSDIRS 0x00000001
#define BIF_DONTGOBELOWDOMAIN 0x00000002
#define BIF_EDITBOX 0x00000010
#define BIF_VALIDATE 0x00000020
#define BIF_NEWDIALOGSTYLE 0x00000040
#define BIF_USENEWUI (BIF_NEWDIALOGSTYLE | BIF_EDITBOX)
#define BIF_NONEWFOLDERBUTTON 0x00000200
#define BIF_UAHINT 0x00000100
#define BFFM_INITIALIZED 1
#define BFFM_SELCHANGED 2
#define BFFM_SETSELECTIONW (WM_USER + 103)

PIDLIST_ABSOLUTE WINAPI SHBrowseForFolderW(LPBROWSEINFOW info);
BOOL WINAPI SHGetPathFromIDListW(PCIDLIST_ABSOLUTE list, LPWSTR path);
void WINAPI CoTaskMemFree(LPVOID memory);

// Starting programs and opening documents, folders and URLs through the shell.
#define SEE_MASK_DEFAULT 0x00000000
#define SEE_MASK_NOCLOSEPROCESS 0x00000040
#define SEE_MASK_FLAG_NO_UI 0x00000400
#define SE_ERR_FNF 2
#define SE_ERR_PNF 3
#define SE_ERR_ACCESSDENIED 5
#define SE_ERR_OOM 8
#define SE_ERR_NOASSOC 31

typedef struct _SHELLEXECUTEINFOW
{
    DWORD cbSize;
    ULONG fMask;
    HWND hwnd;
    LPCWSTR lpVerb;
    LPCWSTR lpFile;
    LPCWSTR lpParameters;
    LPCWSTR lpDirectory;
    int nShow;
    HINSTANCE hInstApp;
    void* lpIDList;
    LPCWSTR lpClass;
    HKEY hkeyClass;
    DWORD dwHotKey;
    HANDLE hIcon;
    HANDLE hProcess;
} SHELLEXECUTEINFOW, *LPSHELLEXECUTEINFOW;

typedef struct _SHELLEXECUTEINFOA
{
    DWORD cbSize;
    ULONG fMask;
    HWND hwnd;
    LPCSTR lpVerb;
    LPCSTR lpFile;
    LPCSTR lpParameters;
    LPCSTR lpDirectory;
    int nShow;
    HINSTANCE hInstApp;
    void* lpIDList;
    LPCSTR lpClass;
    HKEY hkeyClass;
    DWORD dwHotKey;
    HANDLE hIcon;
    HANDLE hProcess;
} SHELLEXECUTEINFOA, *LPSHELLEXECUTEINFOA;

BOOL WINAPI ShellExecuteExW(SHELLEXECUTEINFOW* info);
// Above 32 when the shell took the request, else an SE_ERR_ code.
HINSTANCE WINAPI ShellExecuteW(HWND window, LPCWSTR verb, LPCWSTR file, LPCWSTR parameters, LPCWSTR directory,
                               INT showCommand);
BOOL WINAPI ShellExecuteExA(SHELLEXECUTEINFOA* info);
HINSTANCE WINAPI FindExecutableA(LPCSTR file, LPCSTR directory, LPSTR result);
