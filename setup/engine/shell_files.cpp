#include "shell_files.h"

#include <platform/crt.h>
#include <platform/shlobj.h>

namespace kgsetup
{

namespace
{
constexpr DWORD kSilentFileOperation = FOF_SILENT | FOF_NOCONFIRMATION | FOF_NOCONFIRMMKDIR | FOF_NOERRORUI;
constexpr WCHAR kAppUserModelId[] = TEXT("Velmo_Ranth.KORIGRAPH");

template <typename T> void ReleaseAll(T*& p)
{
    if (p)
        p->Release();
    p = nullptr;
}

// One copy (with a destination) or one deletion, in an apartment of its own.
HRESULT RunFileOperation(const WString& path, const WString* destinationFolder)
{
    HRESULT init = CoInitializeEx(nullptr, COINIT_APARTMENTTHREADED | COINIT_DISABLE_OLE1DDE);
    if (FAILED(init))
        return init;
    IFileOperation* operation = nullptr;
    IShellItem* item = nullptr;
    IShellItem* folder = nullptr;
    HRESULT hr = CoCreateInstance(CLSID_FileOperation, nullptr, CLSCTX_ALL, IID_IFileOperation,
                                  reinterpret_cast<void**>(&operation));
    if (SUCCEEDED(hr) && !operation)
        hr = E_NOINTERFACE;
    if (SUCCEEDED(hr))
        hr = operation->SetOperationFlags(kSilentFileOperation);
    if (SUCCEEDED(hr))
        hr = SHCreateItemFromParsingName(path.c_str(), nullptr, IID_IShellItem,
                                         reinterpret_cast<void**>(&item));
    if (SUCCEEDED(hr) && destinationFolder)
        hr = SHCreateItemFromParsingName(destinationFolder->c_str(), nullptr, IID_IShellItem,
                                         reinterpret_cast<void**>(&folder));
    if (SUCCEEDED(hr))
        hr = destinationFolder ? operation->CopyItem(item, folder, nullptr, nullptr)
                               : operation->DeleteItem(item, nullptr);
    if (SUCCEEDED(hr))
        hr = operation->PerformOperations();
    ReleaseAll(folder);
    ReleaseAll(item);
    ReleaseAll(operation);
    CoUninitialize();
    return hr;
}

WORD Word(std::span<const BYTE> b, size_t at)
{
    return static_cast<WORD>(b[at] | (b[at + 1] << 8));
}

DWORD Dword(std::span<const BYTE> b, size_t at)
{
    return Word(b, at) | (static_cast<DWORD>(Word(b, at + 2)) << 16);
}

std::optional<FileVersion> ReadFileVersion(const WString& file)
{
    DWORD handle = 0;
    DWORD size = GetFileVersionInfoSizeW(file.c_str(), &handle);
    if (size == 0)
        return std::nullopt;
    std::vector<BYTE> block(size);
    if (!GetFileVersionInfoW(file.c_str(), 0, size, block.data()))
        return std::nullopt;
    return ParseFileVersion(block);
}
} // namespace

HRESULT CopyWithShell(const WString& sourcePath, const WString& destinationFolder)
{
    return RunFileOperation(sourcePath, &destinationFolder);
}

HRESULT DeleteWithShell(const WString& path)
{
    return RunFileOperation(path, nullptr);
}

std::optional<FileVersion> ParseFileVersion(std::span<const BYTE> record)
{
    // The record's root is VS_VERSION_INFO: length, value length, type, the key, padding to 4, then
    // the fixed part. Every length is checked against the bytes at hand.
    constexpr size_t kFixedSize = 52;
    if (record.size() < 6)
        return std::nullopt;
    size_t length = Word(record, 0);
    size_t valueLength = Word(record, 2);
    if (length > record.size() || valueLength < kFixedSize)
        return std::nullopt;
    size_t at = 6;
    while (at + 1 < length && Word(record, at) != 0)
        at += 2;
    at = (at + 2 + 3) & ~size_t{3};
    if (at + kFixedSize > length)
        return std::nullopt;
    if (Dword(record, at) != VS_FFI_SIGNATURE)
        return std::nullopt;
    return FileVersion{Dword(record, at + 8), Dword(record, at + 12)};
}

UINT CompareFileVersions(const WString& fileA, const WString& fileB)
{
    std::optional<FileVersion> a = ReadFileVersion(fileA);
    std::optional<FileVersion> b = ReadFileVersion(fileB);
    if (!a || !b)
        return kVersionUnreadable;
    if (a->high != b->high)
        return a->high > b->high ? kFirstNewer : kFirstOlder;
    if (a->low == b->low)
        return kVersionsEqual;
    return a->low > b->low ? kFirstNewer : kFirstOlder;
}

WString StartMenuFolder(const WString& programData)
{
    return programData + TEXT("\\Microsoft\\Windows\\Start Menu\\Programs\\Velmo");
}

WString StartMenuShortcut(const WString& programData)
{
    return StartMenuFolder(programData) + TEXT("\\KORIGRAPH Printer Driver.lnk");
}

HRESULT CreateStartMenuShortcut(const WString& targetPath)
{
    WCHAR programData[MAX_PATH];
    DWORD n = GetEnvironmentVariableW(TEXT("ProgramData"), programData, MAX_PATH);
    if (n == 0 || n >= MAX_PATH)
        return E_INVALIDARG;
    _wmkdir(StartMenuFolder(programData).c_str()); // an existing folder is fine
    if (targetPath.empty())
        return E_FAIL;
    WString link = StartMenuShortcut(programData);
    if (GetFileAttributesW(link.c_str()) != INVALID_FILE_ATTRIBUTES)
        return S_FALSE;
    return CreateShellLink(link, targetPath);
}

HRESULT CreateShellLink(const WString& linkPath, const WString& targetPath)
{
    IShellLinkW* link = nullptr;
    IPropertyStore* store = nullptr;
    IPersistFile* file = nullptr;
    HRESULT hr = CoCreateInstance(CLSID_ShellLink, nullptr, CLSCTX_INPROC_SERVER, IID_IShellLinkW,
                                  reinterpret_cast<void**>(&link));
    if (SUCCEEDED(hr) && !link)
        hr = E_NOINTERFACE;
    if (SUCCEEDED(hr))
        hr = link->SetPath(targetPath.c_str());
    if (SUCCEEDED(hr))
        hr = link->SetArguments(TEXT(""));
    if (SUCCEEDED(hr))
    {
        link->SetIconLocation(targetPath.c_str(), 4); // a link without its icon still works
        hr = link->QueryInterface(IID_IPropertyStore, reinterpret_cast<void**>(&store));
    }
    if (SUCCEEDED(hr))
    {
        PROPVARIANT value;
        PropVariantInit(&value);
        value.vt = VT_LPWSTR;
        value.pwszVal = const_cast<LPWSTR>(kAppUserModelId); // read only by SetValue, never freed
        hr = store->SetValue(PKEY_AppUserModel_ID, value);
    }
    if (SUCCEEDED(hr))
        hr = store->Commit();
    if (SUCCEEDED(hr))
        hr = link->QueryInterface(IID_IPersistFile, reinterpret_cast<void**>(&file));
    if (SUCCEEDED(hr))
        hr = file->Save(linkPath.c_str(), TRUE);
    ReleaseAll(file);
    ReleaseAll(store);
    ReleaseAll(link);
    return hr;
}

CComInitScope::CComInitScope() : result_(CoInitialize(nullptr)) {}

CComInitScope::~CComInitScope()
{
    // A refused initialisation (another apartment model) must not undo the thread's own.
    if (SUCCEEDED(result_))
        CoUninitialize();
}

std::vector<WString> SplitPath(WStringView text)
{
    std::vector<WString> parts;
    size_t start = 0;
    while (start <= text.size())
    {
        size_t end = text.find(TEXT('\\'), start);
        if (end == WStringView::npos)
            end = text.size();
        if (end > start)
            parts.emplace_back(text.substr(start, end - start));
        start = end + 1;
    }
    return parts;
}

} // namespace kgsetup
