// The resources of simulated modules: which script belongs to which module, and the APIs that
// read them (strings, icons, cursors).
#include "rc/resources.h"

#include "core/faults.h"
#include "kernel32/loader.h"
#include "kernel32/program_files.h"
#include "rc/script.h"
#include "user32/desktop_internal.h"

#include <sim/icons.h>

#include <fstream>
#include <iterator>

namespace sim::detail
{
HBITMAP LoadBitmapFile(std::string_view bytes); // gdi: a .bmp file's bitmap
// gdi: the bitmap stretched to cx x cy (a zero keeps that extent), the original deleted.
HBITMAP ScaledBitmap(HBITMAP bitmap, int cx, int cy);

namespace
{
struct ResourceFiles
{
    std::mutex lock;
    std::map<WString, std::filesystem::path> files;                        // module file name → .rc
    std::map<std::filesystem::path, std::shared_ptr<ResourceFile>> parsed; // kept for the run
    std::map<std::filesystem::path, std::string> failed;
};

ResourceFiles& resourceFiles()
{
    static ResourceFiles r;
    return r;
}

WString FileNameOf(WStringView path)
{
    size_t slash = path.find_last_of(u"\\/");
    return WString(slash == WStringView::npos ? path : path.substr(slash + 1));
}

// Icon handles stand for resources by name; the value only has to be stable and non-null. They
// belong to the machine: a handle from an earlier machine names nothing. A module's icon loaded
// without LR_SHARED is the caller's own copy: a handle of its own until DestroyIcon.
struct IconHandles : PartBase
{
    std::map<WString, HICON> byName;
    std::map<HICON, WString> owned;
    ULONG_PTR ownedMade = 0;
};

std::map<WString, HICON>& iconHandles()
{
    return Part<IconHandles>().byName;
}

constexpr ULONG_PTR kOwnedIconBase = 0x70000000;

HICON OwnedIconHandle(const WString& key)
{
    std::lock_guard g(resourceFiles().lock);
    auto& part = Part<IconHandles>();
    auto h = reinterpret_cast<HICON>(kOwnedIconBase + 4 * part.ownedMade++);
    part.owned[h] = key;
    return h;
}

HICON IconHandle(const WString& key)
{
    std::lock_guard g(resourceFiles().lock);
    auto& map = iconHandles();
    auto it = map.find(key);
    if (it != map.end())
        return it->second;
    HICON h = reinterpret_cast<HICON>(static_cast<ULONG_PTR>(0x50000 + 4 * map.size()));
    map[key] = h;
    return h;
}
} // namespace

WString IconNameOf(HICON icon)
{
    std::lock_guard g(resourceFiles().lock);
    if (auto it = Part<IconHandles>().owned.find(icon); it != Part<IconHandles>().owned.end())
        return it->second;
    for (const auto& [key, handle] : iconHandles())
        if (handle == icon)
            return key;
    return {};
}

ResourceFile ParseResourceScript(const std::filesystem::path& rcFile)
{
    ResourceFile file = script::Parse(script::Preprocess(rcFile));
    for (auto& [name, path] : file.bitmaps)
        if (path.is_relative())
            path = rcFile.parent_path() / path;
    return file;
}

WString ResourceName(LPCWSTR name)
{
    if (IS_INTRESOURCE(name))
        return u"#" + Widen(std::to_string(reinterpret_cast<ULONG_PTR>(name)));
    WString n(name);
    if (!n.empty() && n[0] == u'#')
        return n;
    return Fold(n);
}

const ResourceFile* ResourcesOfFile(WStringView fileName)
{
    ResourceFiles& r = resourceFiles();
    WString key = Fold(FileNameOf(fileName));
    bool registered = false;
    {
        std::lock_guard g(r.lock);
        registered = r.files.count(key) != 0;
    }
    // A program's copy under another name: its file is read outside the lock (reading takes the
    // machine's state lock, which may be held around resource lookups).
    if (!registered && fileName.find(u'\\') != WStringView::npos)
        if (std::optional<WString> original = ProgramMadeFrom(fileName))
            key = *original;
    std::lock_guard g(r.lock);
    auto it = r.files.find(key);
    if (it == r.files.end())
        return nullptr;
    if (auto p = r.parsed.find(it->second); p != r.parsed.end())
        return p->second.get();
    if (r.failed.count(it->second))
        return nullptr;
    try
    {
        auto file = std::make_shared<ResourceFile>(ParseResourceScript(it->second));
        r.parsed[it->second] = file;
        return file.get();
    }
    catch (const std::exception& e)
    {
        r.failed[it->second] = e.what();
        ReportFailure(std::string("resource script unreadable: ") + e.what());
        return nullptr;
    }
}

const ResourceFile* ResourcesOf(HINSTANCE instance)
{
    if (instance && instance != GetModuleHandleW(nullptr))
    {
        WString dll = ProductModuleName(instance);
        return dll.empty() ? nullptr : ResourcesOfFile(dll);
    }
    return ResourcesOfFile(CurrentProcess().imagePath);
}

LANGID UiLanguage()
{
    return GetUserDefaultUILanguage();
}

} // namespace sim::detail

namespace sim
{
bool RegisterModuleResources(const char16_t* fileName, const char* rcPath)
{
    std::lock_guard g(detail::resourceFiles().lock);
    detail::resourceFiles().files[detail::Fold(fileName)] = std::filesystem::path(rcPath);
    return true;
}

void Desktop::RegisterResources(WStringView moduleFileName, const std::filesystem::path& rcFile)
{
    std::lock_guard g(detail::resourceFiles().lock);
    detail::resourceFiles().files[detail::Fold(moduleFileName)] = rcFile;
}
} // namespace sim

using namespace sim;
using namespace sim::detail;

int WINAPI LoadStringW(HINSTANCE instance, UINT id, LPWSTR buffer, int bufferMax)
{
    const ResourceFile* file = ResourcesOf(instance);
    const WString* text = nullptr;
    if (file)
        if (auto it = file->strings.find(id); it != file->strings.end())
            text = PickLanguage(it->second, UiLanguage());
    if (!text)
    {
        if (buffer && bufferMax > 0)
            buffer[0] = 0;
        SetLastError(ERROR_RESOURCE_NAME_NOT_FOUND);
        return 0;
    }
    if (!buffer)
        return 0;
    if (bufferMax == 0)
    {
        // The caller gets a pointer to the resource itself.
        *reinterpret_cast<LPCWSTR*>(buffer) = text->c_str();
        return static_cast<int>(text->size());
    }
    CopyOut(*text, buffer, bufferMax);
    return static_cast<int>(std::min<size_t>(text->size(), static_cast<size_t>(bufferMax - 1)));
}

int WINAPI LoadStringA(HINSTANCE instance, UINT id, LPSTR buffer, int bufferMax)
{
    if (!buffer || bufferMax <= 0)
        return 0;
    LPCWSTR text = nullptr;
    int length = LoadStringW(instance, id, reinterpret_cast<LPWSTR>(&text), 0);
    if (length == 0 || !text)
    {
        buffer[0] = 0;
        return 0;
    }
    std::string narrow = Narrow(WStringView(text, static_cast<size_t>(length)));
    size_t copied = std::min(narrow.size(), static_cast<size_t>(bufferMax - 1));
    std::copy_n(narrow.begin(), copied, buffer);
    buffer[copied] = 0;
    return static_cast<int>(copied);
}

namespace
{
// The icons the system folder's DLLs carry: user32.dll's standard ones, 100 to 108, and
// shell32.dll's 24 (the help icon).
bool IsSystemIcon(HINSTANCE instance, LPCWSTR name)
{
    if (!IS_INTRESOURCE(name))
        return false;
    const auto id = reinterpret_cast<ULONG_PTR>(name);
    const WString module = SystemModuleName(instance);
    return (EqualNoCase(module, u"user32.dll") && id >= 100 && id <= 108) ||
           (EqualNoCase(module, u"shell32.dll") && id == 24);
}
} // namespace

HANDLE WINAPI LoadImageW(HINSTANCE instance, LPCWSTR name, UINT type, int cx, int cy, UINT flags)
{
    SIM_FAULT_POINT("LoadImageW", nullptr);
    if (!name)
    {
        SetLastError(ERROR_INVALID_PARAMETER);
        return nullptr;
    }
    if (flags & LR_LOADFROMFILE)
    {
        std::ifstream in(HostPathOf(name), std::ios::binary);
        if (!in || type != IMAGE_BITMAP)
        {
            SetLastError(in ? ERROR_NOT_SUPPORTED : ERROR_FILE_NOT_FOUND);
            return nullptr;
        }
        std::string bytes((std::istreambuf_iterator<char>(in)), std::istreambuf_iterator<char>());
        return ScaledBitmap(LoadBitmapFile(bytes), cx, cy);
    }
    if (type == IMAGE_BITMAP && instance)
    {
        const ResourceFile* file = ResourcesOf(instance);
        auto it = file ? file->bitmaps.find(ResourceName(name)) : decltype(file->bitmaps.end()){};
        if (!file || it == file->bitmaps.end())
        {
            SetLastError(ERROR_RESOURCE_NAME_NOT_FOUND);
            return nullptr;
        }
        std::ifstream in(it->second, std::ios::binary);
        if (!in)
        {
            SetLastError(ERROR_RESOURCE_DATA_NOT_FOUND);
            return nullptr;
        }
        std::string bytes((std::istreambuf_iterator<char>(in)), std::istreambuf_iterator<char>());
        return ScaledBitmap(LoadBitmapFile(bytes), cx, cy);
    }
    if (!instance)
    {
        if (!IS_INTRESOURCE(name))
        {
            SetLastError(ERROR_RESOURCE_NAME_NOT_FOUND);
            return nullptr;
        }
        return IconHandle(u"system" + ResourceName(name));
    }
    const ResourceFile* file = ResourcesOf(instance);
    WString key = ResourceName(name);
    if (type == IMAGE_ICON && !file && IsSystemIcon(instance, name))
        key = SystemModuleName(instance) + key;
    else if (type != IMAGE_ICON || !file || !file->icons.count(key))
    {
        SetLastError(ERROR_RESOURCE_NAME_NOT_FOUND);
        return nullptr;
    }
    return (flags & LR_SHARED) ? IconHandle(key) : OwnedIconHandle(key);
}

HICON WINAPI LoadIconW(HINSTANCE instance, LPCWSTR name)
{
    return static_cast<HICON>(LoadImageW(instance, name, IMAGE_ICON, 0, 0, LR_DEFAULTSIZE | LR_SHARED));
}

HCURSOR WINAPI LoadCursorW(HINSTANCE instance, LPCWSTR name)
{
    if (instance)
    {
        SetLastError(ERROR_RESOURCE_NAME_NOT_FOUND);
        return nullptr;
    }
    return IconHandle(u"cursor" + ResourceName(name));
}

BOOL WINAPI DestroyIcon(HICON icon)
{
    std::lock_guard g(resourceFiles().lock);
    const auto value = reinterpret_cast<ULONG_PTR>(icon);
    auto& owned = Part<IconHandles>().owned;
    if (value >= kOwnedIconBase && !owned.erase(icon)) // an own copy destroyed twice
    {
        SetLastError(ERROR_INVALID_CURSOR_HANDLE);
        return FALSE;
    }
    return icon ? TRUE : FALSE;
}

namespace sim
{
size_t LiveIcons()
{
    std::lock_guard g(resourceFiles().lock);
    return Part<IconHandles>().owned.size();
}
} // namespace sim
