#include "string_table.h"

#include <platform/shlwapi.h>

#include <algorithm>

namespace launch
{
namespace
{
constexpr int kValueBuffer = 1024;
} // namespace

const std::array<SlotSource, kSlotCount> kSlotSources = {{
    {TEXT("Setup"), TEXT("Manual"), 519},
    {TEXT("Setup"), TEXT("Driver"), 516},
    {TEXT("Setup"), TEXT("Driver32"), 517},
    {TEXT("Setup"), TEXT("Driver64"), 518},
    {TEXT("Setup"), TEXT("Utility0"), 522},
    {TEXT("Setup"), TEXT("Utility1"), 523},
    {TEXT("Setup"), TEXT("Utility2"), 515},
    {TEXT("Dialog"), TEXT("AppTitle"), 500},
    {TEXT("Dialog"), TEXT("CompanyName"), 501},
    {TEXT("Dialog"), TEXT("ProductName"), 526},
    {TEXT("Dialog"), TEXT("LabelTopMenu"), 536},
    {TEXT("Dialog"), TEXT("ButtonManual"), 529},
    {TEXT("Dialog"), TEXT("NoteManual"), 533},
    {TEXT("Dialog"), TEXT("ButtonDriver"), 528},
    {TEXT("Dialog"), TEXT("NoteDriver"), 532},
    {TEXT("Dialog"), TEXT("ButtonUtility"), 531},
    {TEXT("Dialog"), TEXT("NoteUtility"), 535},
    {TEXT("Dialog"), TEXT("ButtonNetwork"), 530},
    {TEXT("Dialog"), TEXT("NoteNetwork"), 534},
    {TEXT("Dialog"), TEXT("LabelUtilityMenu"), 545},
    {TEXT("Dialog"), TEXT("ButtonUtility0"), 539},
    {TEXT("Dialog"), TEXT("NoteUtility0"), 543},
    {TEXT("Dialog"), TEXT("ButtonUtility1"), 540},
    {TEXT("Dialog"), TEXT("NoteUtility1"), 544},
    {TEXT("Dialog"), TEXT("ButtonUtility2"), 537},
    {TEXT("Dialog"), TEXT("NoteUtility2"), 541},
    {TEXT("Dialog"), TEXT("ButtonBack"), 538},
    {TEXT("Dialog"), TEXT("NoteBack"), 542},
    {TEXT("Messages"), TEXT("NoticeNotFoundViewer"), 508},
}};

const std::array<LanguageTable, kTableCount> kLanguageTables = {{
    {kLanguageEnglish, TEXT("en.lng")},
    {kLanguageChineseSimplified, TEXT("zh-cn.lng")},
    {kLanguageChineseTraditional, TEXT("zh-tw.lng")},
    {7, TEXT("de.lng")},
    {12, TEXT("fr.lng")},
    {10, TEXT("es.lng")},
    {16, TEXT("it.lng")},
    {17, TEXT("ja.lng")},
    {18, TEXT("ko.lng")},
    {25, TEXT("ru.lng")},
}};

int TableOf(LANGID language)
{
    for (int i = 0; i < kTableCount; ++i)
        if (kLanguageTables[static_cast<size_t>(i)].id == language)
            return i;
    return 0;
}

bool IsRelativePath(WStringView value)
{
    return value.starts_with(TEXT(".\\")) || value.starts_with(TEXT("..\\"));
}

WString OwnFolder()
{
    WCHAR path[MAX_PATH] = {};
    DWORD length = GetModuleFileNameW(nullptr, path, MAX_PATH);
    if (length == 0 || length >= MAX_PATH)
        return {};
    *PathFindFileNameW(path) = 0;
    return path;
}

CMultilingualStringTable::CMultilingualStringTable() : moduleFolder_(OwnFolder())
{
    BuildDefaultTable();
    LoadAllLanguageFiles();
}

LPCWSTR CMultilingualStringTable::GetString(LANGID language, int slot) const
{
    if (slot < 0 || slot >= kSlotCount)
        return nullptr;
    const WString& own = tables_[static_cast<size_t>(TableOf(language))][static_cast<size_t>(slot)];
    if (!own.empty())
        return own.c_str();
    const WString& fallback = tables_[0][static_cast<size_t>(slot)];
    return fallback.empty() ? nullptr : fallback.c_str();
}

bool CMultilingualStringTable::ResolveRelativePath(WString& out, WStringView relative) const
{
    out.clear();
    WString joined = moduleFolder_ + WString(relative);
    WCHAR full[MAX_PATH] = {};
    DWORD length = GetFullPathNameW(joined.c_str(), MAX_PATH, full, nullptr);
    if (length == 0 || length >= MAX_PATH)
        return false;
    out = full;
    return PathFileExistsW(out.c_str()) != FALSE;
}

std::optional<WString> CMultilingualStringTable::Stored(WString value) const
{
    if (!IsRelativePath(value))
        return value;
    WString full;
    if (!ResolveRelativePath(full, value))
        return std::nullopt;
    return full;
}

void CMultilingualStringTable::BuildDefaultTable()
{
    HINSTANCE self = GetModuleHandleW(nullptr);
    for (size_t slot = 0; slot < kSlotSources.size(); ++slot)
    {
        WCHAR buffer[kValueBuffer] = {};
        int length = LoadStringW(self, kSlotSources[slot].resource, buffer, kValueBuffer);
        WString value(buffer, static_cast<size_t>(std::clamp(length, 0, kValueBuffer - 1)));
        tables_[0][slot] = Stored(std::move(value)).value_or(WString());
    }
}

void CMultilingualStringTable::LoadAllLanguageFiles()
{
    // The files in the order they are read; each lands in its language's table.
    static constexpr std::array<int, kTableCount> kOrder = {3, 0, 5, 4, 6, 7, 8, 9, 1, 2};
    for (int table : kOrder)
    {
        WString path = moduleFolder_.substr(0, MAX_PATH) + TEXT("Languages\\") +
                       kLanguageTables[static_cast<size_t>(table)].file;
        if (path.size() >= MAX_PATH)
            continue; // a bounded append would name another file
        LoadLanguageFile(path.c_str(), tables_[static_cast<size_t>(table)]);
    }
}

int CMultilingualStringTable::LoadLanguageFile(LPCWSTR path, Table& table) const
{
    if (!path || !PathFileExistsW(path))
        return 0;
    int stored = 0;
    for (size_t slot = 0; slot < kSlotSources.size(); ++slot)
    {
        WCHAR buffer[kValueBuffer] = {};
        DWORD length = GetPrivateProfileStringW(kSlotSources[slot].section, kSlotSources[slot].key, TEXT(""),
                                                buffer, kValueBuffer, path);
        WString value(buffer, std::min<DWORD>(length, kValueBuffer - 1));
        if (value.empty())
            continue;
        if (auto kept = Stored(std::move(value)))
        {
            table[slot] = std::move(*kept);
            ++stored;
        }
    }
    return stored;
}

} // namespace launch
