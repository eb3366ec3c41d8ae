// Resources of simulated modules, read from the same .rc files the Windows build compiles.
#pragma once

#include "core/internal.h"

#include <filesystem>
#include <map>
#include <memory>
#include <optional>
#include <string>
#include <vector>

namespace sim::detail
{

struct DialogControl
{
    WString className;
    WString text;
    int id = 0;
    DWORD style = 0;
    DWORD exStyle = 0;
    int x = 0, y = 0, cx = 0, cy = 0;
};

struct DialogTemplate
{
    DWORD style = 0;
    DWORD exStyle = 0;
    int x = 0, y = 0, cx = 0, cy = 0;
    WString caption;
    WString menu; // resource name, empty: none
    WString className;
    // FONT: point size, face, weight, italic and character set (0 points: no font given).
    int fontPoints = 0;
    WString fontFace;
    int fontWeight = 0;
    bool fontItalic = false;
    int fontCharset = 1; // DEFAULT_CHARSET
    std::vector<DialogControl> controls;
};

struct MenuTemplateItem
{
    WString text;
    UINT id = 0;
    UINT type = 0;  // MFT_*
    UINT state = 0; // MFS_*
    bool popup = false;
    std::vector<MenuTemplateItem> children;
};

// A module's resources. Names are "#<number>" or the name in upper case.
struct ResourceFile
{
    template <typename T> using ByLanguage = std::vector<std::pair<LANGID, T>>;
    std::map<WString, ByLanguage<DialogTemplate>> dialogs;
    std::map<WString, ByLanguage<std::vector<MenuTemplateItem>>> menus;
    std::map<UINT, ByLanguage<WString>> strings;
    std::map<WString, bool> icons;
    std::map<WString, std::filesystem::path> bitmaps; // BITMAP files, beside the script unless absolute
    std::vector<BYTE> version; // the binary version record, empty: none
};

// Parses an .rc file; throws std::runtime_error with file and line on what it cannot read.
ResourceFile ParseResourceScript(const std::filesystem::path& rcFile);

WString ResourceName(LPCWSTR name);
// The resources of the module behind `instance` (null: none registered or unreadable).
const ResourceFile* ResourcesOf(HINSTANCE instance);
const ResourceFile* ResourcesOfFile(WStringView fileName);
// Picks the entry for the machine's user-interface language.
template <typename T> const T* PickLanguage(const ResourceFile::ByLanguage<T>& entries, LANGID ui)
{
    auto find = [&](auto pred) -> const T* {
        for (const auto& [lang, value] : entries)
            if (pred(lang))
                return &value;
        return nullptr;
    };
    if (auto v = find([&](LANGID l) { return l == ui; }))
        return v;
    if (auto v = find([&](LANGID l) { return (l & 0x3FF) == (ui & 0x3FF); }))
        return v;
    if (auto v = find([&](LANGID l) { return (l & 0x3FF) == 0; }))
        return v;
    if (auto v = find([&](LANGID l) { return l == 0x409; }))
        return v;
    return entries.empty() ? nullptr : &entries.front().second;
}
LANGID UiLanguage();
// The resource name an icon handle was loaded from ("#107"; system icons "system#32516").
WString IconNameOf(HICON icon);

} // namespace sim::detail
