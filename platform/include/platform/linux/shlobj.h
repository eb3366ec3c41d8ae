// Linux declarations: shell items, file operations, shell links and special folders (shell32). Written
// from the documented API, methods in the order the interfaces define them; included by
// platform/shlobj.h.
#pragma once

struct IBindCtx;
struct IShellItemArray;
struct IFileOperationProgressSink;
struct IPropertyChangeArray;
struct _WIN32_FIND_DATAW;

// Shell file operation flags.
#define FOF_MULTIDESTFILES 0x0001
#define FOF_SILENT 0x0004
#define FOF_RENAMEONCOLLISION 0x0008
#define FOF_NOCONFIRMATION 0x0010
#define FOF_ALLOWUNDO 0x0040
#define FOF_FILESONLY 0x0080
#define FOF_NOCONFIRMMKDIR 0x0200
#define FOF_NOERRORUI 0x0400

typedef ULONG SFGAOF;
typedef DWORD SICHINTF;
enum SIGDN
{
    SIGDN_NORMALDISPLAY = 0,
    SIGDN_PARENTRELATIVEPARSING = (int)0x80018001,
    SIGDN_DESKTOPABSOLUTEPARSING = (int)0x80028000,
    SIGDN_FILESYSPATH = (int)0x80058000,
};
#define SFGAO_FOLDER 0x20000000L
#define SFGAO_FILESYSTEM 0x40000000L

struct IShellItem : IUnknown
{
    virtual HRESULT STDMETHODCALLTYPE BindToHandler(IBindCtx* bc, REFGUID handler, REFIID riid,
                                                    void** object) = 0;
    virtual HRESULT STDMETHODCALLTYPE GetParent(IShellItem** parent) = 0;
    virtual HRESULT STDMETHODCALLTYPE GetDisplayName(SIGDN form, LPWSTR* name) = 0;
    virtual HRESULT STDMETHODCALLTYPE GetAttributes(SFGAOF mask, SFGAOF* attributes) = 0;
    virtual HRESULT STDMETHODCALLTYPE Compare(IShellItem* other, SICHINTF hint, int* order) = 0;
};

struct IFileOperation : IUnknown
{
    virtual HRESULT STDMETHODCALLTYPE Advise(IFileOperationProgressSink* sink, DWORD* cookie) = 0;
    virtual HRESULT STDMETHODCALLTYPE Unadvise(DWORD cookie) = 0;
    virtual HRESULT STDMETHODCALLTYPE SetOperationFlags(DWORD flags) = 0;
    virtual HRESULT STDMETHODCALLTYPE SetProgressMessage(LPCWSTR message) = 0;
    virtual HRESULT STDMETHODCALLTYPE SetProgressDialog(IUnknown* dialog) = 0;
    virtual HRESULT STDMETHODCALLTYPE SetProperties(IPropertyChangeArray* properties) = 0;
    virtual HRESULT STDMETHODCALLTYPE SetOwnerWindow(HWND owner) = 0;
    virtual HRESULT STDMETHODCALLTYPE ApplyPropertiesToItem(IShellItem* item) = 0;
    virtual HRESULT STDMETHODCALLTYPE ApplyPropertiesToItems(IUnknown* items) = 0;
    virtual HRESULT STDMETHODCALLTYPE RenameItem(IShellItem* item, LPCWSTR newName,
                                                 IFileOperationProgressSink* sink) = 0;
    virtual HRESULT STDMETHODCALLTYPE RenameItems(IUnknown* items, LPCWSTR newName) = 0;
    virtual HRESULT STDMETHODCALLTYPE MoveItem(IShellItem* item, IShellItem* destinationFolder,
                                               LPCWSTR newName, IFileOperationProgressSink* sink) = 0;
    virtual HRESULT STDMETHODCALLTYPE MoveItems(IUnknown* items, IShellItem* destinationFolder) = 0;
    virtual HRESULT STDMETHODCALLTYPE CopyItem(IShellItem* item, IShellItem* destinationFolder,
                                               LPCWSTR copyName, IFileOperationProgressSink* sink) = 0;
    virtual HRESULT STDMETHODCALLTYPE CopyItems(IUnknown* items, IShellItem* destinationFolder) = 0;
    virtual HRESULT STDMETHODCALLTYPE DeleteItem(IShellItem* item, IFileOperationProgressSink* sink) = 0;
    virtual HRESULT STDMETHODCALLTYPE DeleteItems(IUnknown* items) = 0;
    virtual HRESULT STDMETHODCALLTYPE NewItem(IShellItem* destinationFolder, DWORD attributes, LPCWSTR name,
                                              LPCWSTR templateName, IFileOperationProgressSink* sink) = 0;
    virtual HRESULT STDMETHODCALLTYPE PerformOperations() = 0;
    virtual HRESULT STDMETHODCALLTYPE GetAnyOperationsAborted(BOOL* aborted) = 0;
};

struct IShellLinkW : IUnknown
{
    virtual HRESULT STDMETHODCALLTYPE GetPath(LPWSTR file, int size, _WIN32_FIND_DATAW* data,
                                              DWORD flags) = 0;
    virtual HRESULT STDMETHODCALLTYPE GetIDList(LPITEMIDLIST* list) = 0;
    virtual HRESULT STDMETHODCALLTYPE SetIDList(LPCITEMIDLIST list) = 0;
    virtual HRESULT STDMETHODCALLTYPE GetDescription(LPWSTR name, int size) = 0;
    virtual HRESULT STDMETHODCALLTYPE SetDescription(LPCWSTR name) = 0;
    virtual HRESULT STDMETHODCALLTYPE GetWorkingDirectory(LPWSTR dir, int size) = 0;
    virtual HRESULT STDMETHODCALLTYPE SetWorkingDirectory(LPCWSTR dir) = 0;
    virtual HRESULT STDMETHODCALLTYPE GetArguments(LPWSTR args, int size) = 0;
    virtual HRESULT STDMETHODCALLTYPE SetArguments(LPCWSTR args) = 0;
    virtual HRESULT STDMETHODCALLTYPE GetHotkey(WORD* hotkey) = 0;
    virtual HRESULT STDMETHODCALLTYPE SetHotkey(WORD hotkey) = 0;
    virtual HRESULT STDMETHODCALLTYPE GetShowCmd(int* showCmd) = 0;
    virtual HRESULT STDMETHODCALLTYPE SetShowCmd(int showCmd) = 0;
    virtual HRESULT STDMETHODCALLTYPE GetIconLocation(LPWSTR iconPath, int size, int* icon) = 0;
    virtual HRESULT STDMETHODCALLTYPE SetIconLocation(LPCWSTR iconPath, int icon) = 0;
    virtual HRESULT STDMETHODCALLTYPE SetRelativePath(LPCWSTR pathRel, DWORD reserved) = 0;
    virtual HRESULT STDMETHODCALLTYPE Resolve(HWND window, DWORD flags) = 0;
    virtual HRESULT STDMETHODCALLTYPE SetPath(LPCWSTR file) = 0;
};

HRESULT WINAPI SHCreateItemFromParsingName(LPCWSTR path, IBindCtx* bc, REFIID riid, void** item);

extern const CLSID CLSID_FileOperation;
extern const CLSID CLSID_ShellLink;
extern const IID IID_IFileOperation;
extern const IID IID_IShellItem;
extern const IID IID_IShellLinkW;
extern const PROPERTYKEY PKEY_AppUserModel_ID;

// Special folders.
#define CSIDL_PROGRAMS 0x0002
#define CSIDL_APPDATA 0x001a
#define CSIDL_COMMON_PROGRAMS 0x0017
#define CSIDL_COMMON_APPDATA 0x0023
#define CSIDL_WINDOWS 0x0024
#define CSIDL_SYSTEM 0x0025
#define CSIDL_PROGRAM_FILES 0x0026
#define CSIDL_PROGRAM_FILESX86 0x002a
#define CSIDL_FLAG_CREATE 0x8000
#define SHGFP_TYPE_CURRENT 0
#define SHGFP_TYPE_DEFAULT 1

typedef GUID KNOWNFOLDERID;
typedef const KNOWNFOLDERID& REFKNOWNFOLDERID;
#define KF_FLAG_CREATE 0x00008000

HRESULT WINAPI SHGetFolderPathW(HWND owner, int csidl, HANDLE token, DWORD flags, LPWSTR path);
HRESULT WINAPI SHGetKnownFolderPath(REFKNOWNFOLDERID id, DWORD flags, HANDLE token, LPWSTR* path);

extern const KNOWNFOLDERID FOLDERID_ProgramFiles;
extern const KNOWNFOLDERID FOLDERID_ProgramFilesX86;
extern const KNOWNFOLDERID FOLDERID_ProgramData;
