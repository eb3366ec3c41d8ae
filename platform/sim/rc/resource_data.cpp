// A module's resources as bytes (FindResourceW, LoadResource): a string block's sixteen counted
// strings in the user-interface language, the version record, a bitmap without its file header.
// Dialogs, menus and icon groups are found, but their binary templates are not made here.
#include "core/internal.h"
#include "core/state.h"
#include "rc/resources.h"

#include <fstream>
#include <iterator>
#include <map>
#include <tuple>
#include <variant>
#include <vector>

using namespace sim;
using namespace sim::detail;

namespace
{
struct Found
{
    std::vector<BYTE> bytes;
    bool hasBytes = false;
};

// Found resources stay for the machine's life, as a module's mapped resources stay while it is
// loaded; finding one again gives the same handle.
struct ResourceData : PartBase
{
    std::map<std::tuple<const ResourceFile*, ULONG_PTR, WString, LANGID>, Found> found;
};

Found* FoundOf(HRSRC resource)
{
    for (auto& [key, found] : Part<ResourceData>().found)
        if (reinterpret_cast<HRSRC>(&found) == resource)
            return &found;
    return nullptr;
}

void PutWord(std::vector<BYTE>& bytes, WORD word)
{
    bytes.push_back(static_cast<BYTE>(word));
    bytes.push_back(static_cast<BYTE>(word >> 8));
}

// The bytes of a resource the script holds, or the error saying what is missing.
std::variant<Found, DWORD> Read(const ResourceFile& file, ULONG_PTR type, LPCWSTR name)
{
    const bool byNumber = IS_INTRESOURCE(name);
    const ULONG_PTR number = byNumber ? reinterpret_cast<ULONG_PTR>(name) : 0;
    Found found;
    switch (type)
    {
    case 6: // RT_STRING: block n holds the strings 16 (n - 1) to 16 n - 1
    {
        if (!byNumber || number == 0)
            return DWORD{ERROR_RESOURCE_NAME_NOT_FOUND};
        bool any = false;
        for (UINT id = static_cast<UINT>((number - 1) * 16); id < number * 16; ++id)
        {
            const WString* text = nullptr;
            if (auto it = file.strings.find(id); it != file.strings.end())
                text = PickLanguage(it->second, UiLanguage());
            any = any || text;
            PutWord(found.bytes, static_cast<WORD>(text ? text->size() : 0));
            if (text)
                for (WCHAR c : *text)
                    PutWord(found.bytes, static_cast<WORD>(c));
        }
        if (!any)
            return static_cast<DWORD>(file.strings.empty() ? ERROR_RESOURCE_TYPE_NOT_FOUND
                                                           : ERROR_RESOURCE_NAME_NOT_FOUND);
        found.hasBytes = true;
        return found;
    }
    case 16: // RT_VERSION, named 1
        if (file.version.empty())
            return DWORD{ERROR_RESOURCE_TYPE_NOT_FOUND};
        if (number != 1)
            return DWORD{ERROR_RESOURCE_NAME_NOT_FOUND};
        found.bytes = file.version;
        found.hasBytes = true;
        return found;
    case 2: // RT_BITMAP
    {
        if (file.bitmaps.empty())
            return DWORD{ERROR_RESOURCE_TYPE_NOT_FOUND};
        auto it = file.bitmaps.find(ResourceName(name));
        if (it == file.bitmaps.end())
            return DWORD{ERROR_RESOURCE_NAME_NOT_FOUND};
        std::ifstream in(it->second, std::ios::binary);
        std::string bytes((std::istreambuf_iterator<char>(in)), std::istreambuf_iterator<char>());
        constexpr size_t kFileHeader = 14; // a resource holds the bitmap from its info header on
        if (!in.eof() || bytes.size() <= kFileHeader || bytes.compare(0, 2, "BM") != 0)
            return DWORD{ERROR_RESOURCE_DATA_NOT_FOUND};
        found.bytes.assign(bytes.begin() + kFileHeader, bytes.end());
        found.hasBytes = true;
        return found;
    }
    case 5:  // RT_DIALOG
    case 4:  // RT_MENU
    case 14: // RT_GROUP_ICON
    {
        WString key = ResourceName(name);
        bool typeThere = type == 5   ? !file.dialogs.empty()
                         : type == 4 ? !file.menus.empty()
                                     : !file.icons.empty();
        bool nameThere = type == 5   ? file.dialogs.contains(key)
                         : type == 4 ? file.menus.contains(key)
                                     : file.icons.contains(key);
        if (!nameThere)
            return static_cast<DWORD>(typeThere ? ERROR_RESOURCE_NAME_NOT_FOUND
                                                : ERROR_RESOURCE_TYPE_NOT_FOUND);
        return found;
    }
    default:
        return DWORD{ERROR_RESOURCE_TYPE_NOT_FOUND};
    }
}
} // namespace

HRSRC WINAPI FindResourceW(HMODULE module, LPCWSTR name, LPCWSTR type)
{
    if (!name || !type)
    {
        SetLastError(ERROR_INVALID_PARAMETER);
        return nullptr;
    }
    const ResourceFile* file = ResourcesOf(module);
    if (!file)
    {
        SetLastError(ERROR_RESOURCE_DATA_NOT_FOUND);
        return nullptr;
    }
    if (!IS_INTRESOURCE(type))
    {
        SetLastError(ERROR_RESOURCE_TYPE_NOT_FOUND); // a script's own types are not kept
        return nullptr;
    }
    const auto typeNumber = reinterpret_cast<ULONG_PTR>(type);
    auto read = Read(*file, typeNumber, name);
    if (const DWORD* error = std::get_if<DWORD>(&read))
    {
        SetLastError(*error);
        return nullptr;
    }
    std::lock_guard g(StateLock());
    auto key = std::make_tuple(file, typeNumber, ResourceName(name), UiLanguage());
    auto& all = Part<ResourceData>().found;
    auto it = all.find(key);
    if (it == all.end())
        it = all.emplace(key, std::move(std::get<Found>(read))).first;
    return reinterpret_cast<HRSRC>(&it->second);
}

DWORD WINAPI SizeofResource(HMODULE, HRSRC resource)
{
    std::lock_guard g(StateLock());
    const Found* found = FoundOf(resource);
    if (!found || !found->hasBytes)
    {
        SetLastError(found ? ERROR_NOT_SUPPORTED : ERROR_INVALID_HANDLE);
        return 0;
    }
    return static_cast<DWORD>(found->bytes.size());
}

HGLOBAL WINAPI LoadResource(HMODULE, HRSRC resource)
{
    std::lock_guard g(StateLock());
    Found* found = FoundOf(resource);
    if (!found || !found->hasBytes)
    {
        SetLastError(found ? ERROR_NOT_SUPPORTED : ERROR_INVALID_HANDLE);
        return nullptr;
    }
    return found->bytes.data();
}

LPVOID WINAPI LockResource(HGLOBAL data)
{
    return data;
}
