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
#define BFFM_INITIALIZED 1
#define BFFM_SELCHANGED 2
#define BFFM_SETSELECTIONW (WM_USER + 103)

PIDLIST_ABSOLUTE WINAPI SHBrowseForFolderW(LPBROWSEINFOW info);
BOOL WINAPI SHGetPathFromIDListW(PCIDLIST_ABSOLUTE list, LPWSTR path);
void WINAPI CoTaskMemFree(LPVOID memory);
