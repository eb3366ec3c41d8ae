// Shell links: IShellLinkW with its property store and IPersistFile. A saved link is a small text
// file of its fields, which ReadShellLink reads back for tests; property values reach the file only
// once committed, as on Windows.
#include "ole32/com_internal.h"

#include <map>
#include <sstream>

using namespace sim;
using namespace sim::detail;

namespace
{
constexpr std::string_view kLinkMark = "SIMSHELLLINK";

bool SameKey(REFPROPERTYKEY a, REFPROPERTYKEY b)
{
    return a.fmtid == b.fmtid && a.pid == b.pid;
}

HRESULT CopyOut(const WString& text, LPWSTR buffer, int size)
{
    if (!buffer || size <= 0)
        return E_INVALIDARG;
    size_t n = std::min<size_t>(text.size(), static_cast<size_t>(size) - 1);
    std::copy_n(text.begin(), n, buffer);
    buffer[n] = 0;
    return S_OK;
}

std::string Serialise(const ShellLinkRecord& r)
{
    std::string out(kLinkMark);
    out += '\n';
    auto line = [&](const char* key, const WString& value) {
        out += key;
        out += '=';
        out += ToUtf8(value);
        out += '\n';
    };
    line("Target", r.target);
    line("Arguments", r.arguments);
    line("WorkingDirectory", r.workingDirectory);
    line("Description", r.description);
    line("IconPath", r.iconPath);
    line("IconIndex", FromUtf8(std::to_string(r.iconIndex)));
    line("AppUserModelID", r.appUserModelId);
    return out;
}

std::optional<ShellLinkRecord> Parse(const std::string& bytes)
{
    std::istringstream in(bytes);
    std::string line;
    if (!std::getline(in, line) || line != kLinkMark)
        return std::nullopt;
    ShellLinkRecord r;
    while (std::getline(in, line))
    {
        size_t eq = line.find('=');
        if (eq == std::string::npos)
            return std::nullopt;
        std::string key = line.substr(0, eq);
        WString value = FromUtf8(line.substr(eq + 1));
        if (key == "Target")
            r.target = value;
        else if (key == "Arguments")
            r.arguments = value;
        else if (key == "WorkingDirectory")
            r.workingDirectory = value;
        else if (key == "Description")
            r.description = value;
        else if (key == "IconPath")
            r.iconPath = value;
        else if (key == "IconIndex")
            r.iconIndex = std::atoi(line.c_str() + eq + 1);
        else if (key == "AppUserModelID")
            r.appUserModelId = value;
        else
            return std::nullopt;
    }
    return r;
}

bool HasLineBreak(LPCWSTR text)
{
    return text && WStringView(text).find_first_of(u"\r\n") != WStringView::npos;
}

class ShellLink final : public IShellLinkW,
                        public IPropertyStore,
                        public IPersistFile,
                        public ComObject<ShellLink>
{
public:
    HRESULT STDMETHODCALLTYPE QueryInterface(REFIID riid, void** object) override
    {
        if (!object)
            return E_POINTER;
        *object = nullptr;
        if (riid == IID_IUnknown || riid == IID_IShellLinkW)
            *object = static_cast<IShellLinkW*>(this);
        else if (riid == IID_IPropertyStore)
            *object = static_cast<IPropertyStore*>(this);
        else if (riid == IID_IPersistFile || riid == IID_IPersist)
            *object = static_cast<IPersistFile*>(this);
        else
            return E_NOINTERFACE;
        AddRef();
        return S_OK;
    }
    ULONG STDMETHODCALLTYPE AddRef() override { return AddRefImpl(); }
    ULONG STDMETHODCALLTYPE Release() override { return ReleaseImpl(); }

    // IShellLinkW
    HRESULT STDMETHODCALLTYPE GetPath(LPWSTR file, int size, _WIN32_FIND_DATAW*, DWORD) override
    {
        HRESULT hr = CopyOut(link_.target, file, size);
        return FAILED(hr) ? hr : (link_.target.empty() ? S_FALSE : S_OK);
    }
    HRESULT STDMETHODCALLTYPE GetIDList(LPITEMIDLIST*) override { return E_NOTIMPL; }
    HRESULT STDMETHODCALLTYPE SetIDList(LPCITEMIDLIST) override { return E_NOTIMPL; }
    HRESULT STDMETHODCALLTYPE GetDescription(LPWSTR name, int size) override
    {
        return CopyOut(link_.description, name, size);
    }
    HRESULT STDMETHODCALLTYPE SetDescription(LPCWSTR name) override { return Set(link_.description, name); }
    HRESULT STDMETHODCALLTYPE GetWorkingDirectory(LPWSTR dir, int size) override
    {
        return CopyOut(link_.workingDirectory, dir, size);
    }
    HRESULT STDMETHODCALLTYPE SetWorkingDirectory(LPCWSTR dir) override
    {
        return Set(link_.workingDirectory, dir);
    }
    HRESULT STDMETHODCALLTYPE GetArguments(LPWSTR args, int size) override
    {
        return CopyOut(link_.arguments, args, size);
    }
    HRESULT STDMETHODCALLTYPE SetArguments(LPCWSTR args) override { return Set(link_.arguments, args); }
    HRESULT STDMETHODCALLTYPE GetHotkey(WORD*) override { return E_NOTIMPL; }
    HRESULT STDMETHODCALLTYPE SetHotkey(WORD) override { return E_NOTIMPL; }
    HRESULT STDMETHODCALLTYPE GetShowCmd(int*) override { return E_NOTIMPL; }
    HRESULT STDMETHODCALLTYPE SetShowCmd(int) override { return E_NOTIMPL; }
    HRESULT STDMETHODCALLTYPE GetIconLocation(LPWSTR iconPath, int size, int* icon) override
    {
        if (!icon)
            return E_POINTER;
        *icon = link_.iconIndex;
        return CopyOut(link_.iconPath, iconPath, size);
    }
    HRESULT STDMETHODCALLTYPE SetIconLocation(LPCWSTR iconPath, int icon) override
    {
        HRESULT hr = Set(link_.iconPath, iconPath);
        if (SUCCEEDED(hr))
            link_.iconIndex = icon;
        return hr;
    }
    HRESULT STDMETHODCALLTYPE SetRelativePath(LPCWSTR, DWORD) override { return E_NOTIMPL; }
    HRESULT STDMETHODCALLTYPE Resolve(HWND, DWORD) override { return S_OK; }
    HRESULT STDMETHODCALLTYPE SetPath(LPCWSTR file) override
    {
        if (!file)
            return E_INVALIDARG;
        return Set(link_.target, file);
    }

    // IPropertyStore: text values only, which is what links carry here.
    HRESULT STDMETHODCALLTYPE GetCount(DWORD* count) override
    {
        if (!count)
            return E_POINTER;
        *count = pending_.empty() ? 0 : 1;
        return S_OK;
    }
    HRESULT STDMETHODCALLTYPE GetAt(DWORD index, PROPERTYKEY* key) override
    {
        if (!key)
            return E_POINTER;
        if (index != 0 || pending_.empty())
            return E_INVALIDARG;
        *key = PKEY_AppUserModel_ID;
        return S_OK;
    }
    HRESULT STDMETHODCALLTYPE GetValue(REFPROPERTYKEY key, PROPVARIANT* value) override
    {
        if (!value)
            return E_POINTER;
        PropVariantInit(value);
        if (!SameKey(key, PKEY_AppUserModel_ID) || pending_.empty())
            return S_OK; // an unset property reads as VT_EMPTY
        LPWSTR text = TaskMemText(pending_);
        if (!text)
            return E_OUTOFMEMORY;
        value->vt = VT_LPWSTR;
        value->pwszVal = text;
        return S_OK;
    }
    HRESULT STDMETHODCALLTYPE SetValue(REFPROPERTYKEY key, REFPROPVARIANT value) override
    {
        if (!SameKey(key, PKEY_AppUserModel_ID))
            return E_INVALIDARG; // only the application id is simulated
        if (value.vt == VT_EMPTY)
        {
            pending_.clear();
            return S_OK;
        }
        if (value.vt != VT_LPWSTR || !value.pwszVal)
            return E_INVALIDARG;
        if (HasLineBreak(value.pwszVal))
            return E_INVALIDARG;
        pending_ = value.pwszVal;
        return S_OK;
    }
    HRESULT STDMETHODCALLTYPE Commit() override
    {
        link_.appUserModelId = pending_;
        dirty_ = true;
        return S_OK;
    }

    // IPersistFile
    HRESULT STDMETHODCALLTYPE GetClassID(CLSID* classId) override
    {
        if (!classId)
            return E_POINTER;
        *classId = CLSID_ShellLink;
        return S_OK;
    }
    HRESULT STDMETHODCALLTYPE IsDirty() override { return dirty_ ? S_OK : S_FALSE; }
    HRESULT STDMETHODCALLTYPE Load(LPCWSTR fileName, DWORD) override
    {
        if (!fileName)
            return E_INVALIDARG;
        std::optional<ShellLinkRecord> r = files().ReadShellLink(fileName);
        if (!r)
            return files().Exists(fileName) ? E_FAIL : HRESULT_FROM_WIN32(ERROR_FILE_NOT_FOUND);
        link_ = *r;
        pending_ = link_.appUserModelId;
        file_ = fileName;
        dirty_ = false;
        return S_OK;
    }
    HRESULT STDMETHODCALLTYPE Save(LPCWSTR fileName, BOOL remember) override
    {
        WString target = fileName ? WString(fileName) : file_;
        if (target.empty())
            return E_INVALIDARG;
        std::string bytes = Serialise(link_);
        HANDLE out = CreateFileW(target.c_str(), GENERIC_WRITE, 0, nullptr, CREATE_ALWAYS, 0, nullptr);
        if (out == INVALID_HANDLE_VALUE)
            return HRESULT_FROM_WIN32(GetLastError());
        DWORD written = 0;
        BOOL ok = WriteFile(out, bytes.data(), static_cast<DWORD>(bytes.size()), &written, nullptr);
        DWORD error = GetLastError();
        CloseHandle(out);
        if (!ok || written != bytes.size())
            return error ? HRESULT_FROM_WIN32(error) : E_FAIL;
        if (remember || !fileName)
        {
            file_ = target;
            dirty_ = false;
        }
        return S_OK;
    }
    HRESULT STDMETHODCALLTYPE SaveCompleted(LPCWSTR) override { return S_OK; }
    HRESULT STDMETHODCALLTYPE GetCurFile(LPWSTR* fileName) override
    {
        if (!fileName)
            return E_POINTER;
        *fileName = nullptr;
        if (file_.empty())
            return S_FALSE;
        *fileName = TaskMemText(file_);
        return *fileName ? S_OK : E_OUTOFMEMORY;
    }

private:
    HRESULT Set(WString& field, LPCWSTR text)
    {
        if (HasLineBreak(text))
            return E_INVALIDARG;
        field = text ? text : u"";
        dirty_ = true;
        return S_OK;
    }

    ShellLinkRecord link_;
    WString pending_; // the application id as set, before Commit
    WString file_;
    bool dirty_ = false;
};
} // namespace

namespace sim
{
std::optional<ShellLinkRecord> Files::ReadShellLink(WStringView windowsPath) const
{
    std::optional<std::string> bytes = Bytes(windowsPath);
    return bytes ? Parse(*bytes) : std::nullopt;
}
} // namespace sim

namespace sim::detail
{
HRESULT CreateShellLink(REFIID riid, void** object)
{
    auto* link = new ShellLink;
    HRESULT hr = link->QueryInterface(riid, object);
    link->Release();
    return hr;
}
} // namespace sim::detail
