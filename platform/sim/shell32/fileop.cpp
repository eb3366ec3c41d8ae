// Shell items and the shell's file operation object, over the machine's own file functions: a copy
// keeps the source's name unless given another and makes a missing destination folder; a deletion
// takes a folder with everything in it; failures come back as HRESULTs of the Win32 codes.
#include "ole32/com_internal.h"

#include <cstring>
#include <vector>

namespace fs = std::filesystem;
using namespace sim;
using namespace sim::detail;

namespace
{
HRESULT LastErrorResult()
{
    DWORD e = GetLastError();
    return e ? HRESULT_FROM_WIN32(e) : E_FAIL;
}

HRESULT CopyOutText(WStringView text, LPWSTR* out)
{
    if (!out)
        return E_POINTER;
    *out = TaskMemText(text);
    return *out ? S_OK : E_OUTOFMEMORY;
}

bool IsFolder(WStringView path)
{
    DWORD a = GetFileAttributesW(WString(path).c_str());
    return a != INVALID_FILE_ATTRIBUTES && (a & FILE_ATTRIBUTE_DIRECTORY);
}

WString NameOf(WStringView path)
{
    size_t slash = path.find_last_of(u'\\');
    return WString(slash == WStringView::npos ? path : path.substr(slash + 1));
}

// The names in a folder, as Windows spells them.
std::vector<WString> Children(WStringView folder)
{
    std::lock_guard g(StateLock());
    std::vector<WString> names;
    std::error_code ec;
    for (const auto& entry : fs::directory_iterator(HostPathOf(folder), ec))
        names.push_back(FromUtf8(entry.path().filename().string()));
    return names;
}

class ShellItem final : public IShellItem, public ComObject<ShellItem>
{
public:
    explicit ShellItem(WString path) : path_(std::move(path)) {}
    const WString& Path() const { return path_; }

    HRESULT STDMETHODCALLTYPE QueryInterface(REFIID riid, void** object) override
    {
        if (!object)
            return E_POINTER;
        *object = nullptr;
        if (riid != IID_IUnknown && riid != IID_IShellItem)
            return E_NOINTERFACE;
        *object = static_cast<IShellItem*>(this);
        AddRef();
        return S_OK;
    }
    ULONG STDMETHODCALLTYPE AddRef() override { return AddRefImpl(); }
    ULONG STDMETHODCALLTYPE Release() override { return ReleaseImpl(); }

    HRESULT STDMETHODCALLTYPE BindToHandler(IBindCtx*, REFGUID, REFIID, void** object) override
    {
        if (object)
            *object = nullptr;
        return E_NOTIMPL;
    }
    HRESULT STDMETHODCALLTYPE GetParent(IShellItem** parent) override
    {
        if (!parent)
            return E_POINTER;
        *parent = nullptr;
        size_t slash = path_.find_last_of(u'\\');
        if (slash == WString::npos || slash < 3)
            return S_FALSE; // a drive's root has the desktop above it, which is no file-system item
        *parent = new ShellItem(path_.substr(0, slash));
        return S_OK;
    }
    HRESULT STDMETHODCALLTYPE GetDisplayName(SIGDN form, LPWSTR* name) override
    {
        if (form == SIGDN_NORMALDISPLAY || form == SIGDN_PARENTRELATIVEPARSING)
            return CopyOutText(NameOf(path_), name);
        return CopyOutText(path_, name);
    }
    HRESULT STDMETHODCALLTYPE GetAttributes(SFGAOF mask, SFGAOF* attributes) override
    {
        if (!attributes)
            return E_POINTER;
        SFGAOF all = SFGAO_FILESYSTEM | (IsFolder(path_) ? SFGAO_FOLDER : 0);
        *attributes = all & mask;
        return *attributes == mask ? S_OK : S_FALSE;
    }
    HRESULT STDMETHODCALLTYPE Compare(IShellItem* other, SICHINTF, int* order) override
    {
        if (!other || !order)
            return E_POINTER;
        LPWSTR theirs = nullptr;
        HRESULT hr = other->GetDisplayName(SIGDN_FILESYSPATH, &theirs);
        if (FAILED(hr))
            return hr;
        *order = EqualNoCase(path_, theirs) ? 0 : (Fold(path_) < Fold(theirs) ? -1 : 1);
        CoTaskMemFree(theirs);
        return *order == 0 ? S_OK : S_FALSE;
    }

private:
    WString path_;
};

HRESULT PathOfItem(IShellItem* item, WString& path)
{
    if (!item)
        return E_INVALIDARG;
    LPWSTR name = nullptr;
    HRESULT hr = item->GetDisplayName(SIGDN_FILESYSPATH, &name);
    if (FAILED(hr))
        return hr;
    path = name;
    CoTaskMemFree(name);
    return S_OK;
}

// The copy engine's own handles: a close that fails is reported, and the engine holds the handle
// no longer.
bool CloseOwn(HANDLE handle)
{
    if (CloseHandle(handle))
        return true;
    const DWORD error = GetLastError();
    RemoveHandle(handle);
    SetLastError(error);
    return false;
}

HRESULT CopyFileTo(const WString& source, const WString& target, bool overwrite)
{
    HANDLE in =
        CreateFileW(source.c_str(), GENERIC_READ, FILE_SHARE_READ, nullptr, OPEN_EXISTING, 0, nullptr);
    if (in == INVALID_HANDLE_VALUE)
        return LastErrorResult();
    HANDLE out = CreateFileW(target.c_str(), GENERIC_WRITE, 0, nullptr,
                             overwrite ? CREATE_ALWAYS : CREATE_NEW, 0, nullptr);
    if (out == INVALID_HANDLE_VALUE)
    {
        HRESULT hr = LastErrorResult();
        CloseHandle(in);
        return hr;
    }
    HRESULT hr = S_OK;
    std::vector<BYTE> buffer(65536);
    for (;;)
    {
        DWORD read = 0, written = 0;
        if (!ReadFile(in, buffer.data(), static_cast<DWORD>(buffer.size()), &read, nullptr))
        {
            hr = LastErrorResult();
            break;
        }
        if (read == 0)
            break;
        if (!WriteFile(out, buffer.data(), read, &written, nullptr) || written != read)
        {
            hr = LastErrorResult();
            break;
        }
    }
    // The written file is only sound once closed; the source's close changes nothing of the copy.
    if (!CloseOwn(out) && SUCCEEDED(hr))
        hr = LastErrorResult();
    CloseOwn(in);
    return hr;
}

HRESULT CopyTree(const WString& source, const WString& target, bool overwrite)
{
    if (!IsFolder(source))
        return CopyFileTo(source, target, overwrite);
    if (!IsFolder(target) && !CreateDirectoryW(target.c_str(), nullptr))
        return LastErrorResult();
    for (const WString& name : Children(source))
    {
        HRESULT hr = CopyTree(source + u"\\" + name, target + u"\\" + name, overwrite);
        if (FAILED(hr))
            return hr;
    }
    return S_OK;
}

HRESULT DeleteTree(const WString& path)
{
    if (!IsFolder(path))
    {
        // The shell takes read-only files too, where DeleteFileW alone refuses them.
        DWORD attributes = GetFileAttributesW(path.c_str());
        if (attributes != INVALID_FILE_ATTRIBUTES && (attributes & FILE_ATTRIBUTE_READONLY))
            SetFileAttributesW(path.c_str(), attributes & ~FILE_ATTRIBUTE_READONLY);
        return DeleteFileW(path.c_str()) ? S_OK : LastErrorResult();
    }
    for (const WString& name : Children(path))
    {
        HRESULT hr = DeleteTree(path + u"\\" + name);
        if (FAILED(hr))
            return hr;
    }
    return RemoveDirectoryW(path.c_str()) ? S_OK : LastErrorResult();
}

// Makes a folder and the folders above it.
HRESULT MakeFolders(const WString& folder)
{
    if (IsFolder(folder))
        return S_OK;
    size_t slash = folder.find_last_of(u'\\');
    if (slash != WString::npos && slash > 2)
    {
        HRESULT hr = MakeFolders(folder.substr(0, slash));
        if (FAILED(hr))
            return hr;
    }
    return CreateDirectoryW(folder.c_str(), nullptr) || GetLastError() == ERROR_ALREADY_EXISTS
               ? S_OK
               : LastErrorResult();
}

class FileOperation final : public IFileOperation, public ComObject<FileOperation>
{
public:
    HRESULT STDMETHODCALLTYPE QueryInterface(REFIID riid, void** object) override
    {
        if (!object)
            return E_POINTER;
        *object = nullptr;
        if (riid != IID_IUnknown && riid != IID_IFileOperation)
            return E_NOINTERFACE;
        *object = static_cast<IFileOperation*>(this);
        AddRef();
        return S_OK;
    }
    ULONG STDMETHODCALLTYPE AddRef() override { return AddRefImpl(); }
    ULONG STDMETHODCALLTYPE Release() override { return ReleaseImpl(); }

    // Progress sinks, dialogs and property changes are not simulated.
    HRESULT STDMETHODCALLTYPE Advise(IFileOperationProgressSink*, DWORD*) override { return E_NOTIMPL; }
    HRESULT STDMETHODCALLTYPE Unadvise(DWORD) override { return E_NOTIMPL; }
    HRESULT STDMETHODCALLTYPE SetOperationFlags(DWORD flags) override
    {
        flags_ = flags;
        return S_OK;
    }
    HRESULT STDMETHODCALLTYPE SetProgressMessage(LPCWSTR) override { return E_NOTIMPL; }
    HRESULT STDMETHODCALLTYPE SetProgressDialog(IUnknown*) override { return E_NOTIMPL; }
    HRESULT STDMETHODCALLTYPE SetProperties(IPropertyChangeArray*) override { return E_NOTIMPL; }
    HRESULT STDMETHODCALLTYPE SetOwnerWindow(HWND) override { return S_OK; }
    HRESULT STDMETHODCALLTYPE ApplyPropertiesToItem(IShellItem*) override { return E_NOTIMPL; }
    HRESULT STDMETHODCALLTYPE ApplyPropertiesToItems(IUnknown*) override { return E_NOTIMPL; }
    HRESULT STDMETHODCALLTYPE RenameItem(IShellItem*, LPCWSTR, IFileOperationProgressSink*) override
    {
        return E_NOTIMPL;
    }
    HRESULT STDMETHODCALLTYPE RenameItems(IUnknown*, LPCWSTR) override { return E_NOTIMPL; }
    HRESULT STDMETHODCALLTYPE MoveItem(IShellItem*, IShellItem*, LPCWSTR,
                                       IFileOperationProgressSink*) override
    {
        return E_NOTIMPL;
    }
    HRESULT STDMETHODCALLTYPE MoveItems(IUnknown*, IShellItem*) override { return E_NOTIMPL; }
    HRESULT STDMETHODCALLTYPE CopyItem(IShellItem* item, IShellItem* destinationFolder, LPCWSTR copyName,
                                       IFileOperationProgressSink*) override
    {
        Operation op;
        op.kind = Kind::Copy;
        HRESULT hr = PathOfItem(item, op.source);
        if (SUCCEEDED(hr))
            hr = PathOfItem(destinationFolder, op.folder);
        if (FAILED(hr))
            return hr;
        op.name = copyName && *copyName ? WString(copyName) : NameOf(op.source);
        queue_.push_back(std::move(op));
        return S_OK;
    }
    HRESULT STDMETHODCALLTYPE CopyItems(IUnknown*, IShellItem*) override { return E_NOTIMPL; }
    HRESULT STDMETHODCALLTYPE DeleteItem(IShellItem* item, IFileOperationProgressSink*) override
    {
        Operation op;
        op.kind = Kind::Delete;
        HRESULT hr = PathOfItem(item, op.source);
        if (FAILED(hr))
            return hr;
        queue_.push_back(std::move(op));
        return S_OK;
    }
    HRESULT STDMETHODCALLTYPE DeleteItems(IUnknown*) override { return E_NOTIMPL; }
    HRESULT STDMETHODCALLTYPE NewItem(IShellItem*, DWORD, LPCWSTR, LPCWSTR,
                                      IFileOperationProgressSink*) override
    {
        return E_NOTIMPL;
    }
    HRESULT STDMETHODCALLTYPE PerformOperations() override
    {
        if (performed_)
            return E_UNEXPECTED;
        performed_ = true;
        for (const Operation& op : queue_)
        {
            HRESULT hr = Perform(op);
            if (FAILED(hr))
            {
                aborted_ = true;
                return hr;
            }
        }
        return S_OK;
    }
    HRESULT STDMETHODCALLTYPE GetAnyOperationsAborted(BOOL* aborted) override
    {
        if (!aborted)
            return E_POINTER;
        *aborted = aborted_;
        return S_OK;
    }

private:
    enum class Kind
    {
        Copy,
        Delete
    };
    struct Operation
    {
        Kind kind = Kind::Copy;
        WString source;
        WString folder; // copy: the destination folder
        WString name;   // copy: the name in it
    };

    HRESULT Perform(const Operation& op) const
    {
        // Only a source that is not there is reported as missing; a check that failed keeps its code.
        if (GetFileAttributesW(op.source.c_str()) == INVALID_FILE_ATTRIBUTES)
            return LastErrorResult();
        if (op.kind == Kind::Delete)
            return DeleteTree(op.source);
        HRESULT hr = MakeFolders(op.folder);
        if (FAILED(hr))
            return hr;
        // Without FOF_NOCONFIRMATION the shell would ask before replacing; nobody answers here.
        return CopyTree(op.source, op.folder + u"\\" + op.name, (flags_ & FOF_NOCONFIRMATION) != 0);
    }

    DWORD flags_ = 0;
    std::vector<Operation> queue_;
    bool performed_ = false;
    bool aborted_ = false;
};
} // namespace

namespace sim::detail
{
HRESULT CreateFileOperation(REFIID riid, void** object)
{
    auto* op = new FileOperation;
    HRESULT hr = op->QueryInterface(riid, object);
    op->Release();
    return hr;
}
} // namespace sim::detail

HRESULT WINAPI SHCreateItemFromParsingName(LPCWSTR path, IBindCtx*, REFIID riid, void** item)
{
    if (!item)
        return E_POINTER;
    *item = nullptr;
    SIM_FAULT_HRESULT("SHCreateItemFromParsingName");
    if (!path || !*path)
        return E_INVALIDARG;
    WString full;
    {
        std::lock_guard g(StateLock());
        full = FullPath(path);
    }
    if (GetFileAttributesW(full.c_str()) == INVALID_FILE_ATTRIBUTES)
        return HRESULT_FROM_WIN32(GetLastError() ? GetLastError() : ERROR_FILE_NOT_FOUND);
    auto* shellItem = new ShellItem(full);
    HRESULT hr = shellItem->QueryInterface(riid, item);
    shellItem->Release();
    return hr;
}
