// The menu's texts and installer paths: 29 slots, a default for each from the string resources and
// an override for each from the language files in the Languages folder beside the program.
#pragma once

#include <platform/windows.h>

#include <array>
#include <optional>
#include <string_view>

namespace launch
{

constexpr int kSlotCount = 29;

enum Slot : int
{
    kSlotManual = 0,
    kSlotDriver = 1,
    kSlotDriver32 = 2,
    kSlotDriver64 = 3,
    kSlotUtility0 = 4,
    kSlotUtility1 = 5,
    kSlotUtility2 = 6,
    kSlotAppTitle = 7,
    kSlotLabelTopMenu = 10,
    kSlotButtonManual = 11,
    kSlotNoteManual = 12,
    kSlotButtonDriver = 13,
    kSlotNoteDriver = 14,
    kSlotButtonUtility = 15,
    kSlotNoteUtility = 16,
    kSlotButtonNetwork = 17,
    kSlotNoteNetwork = 18,
    kSlotLabelUtilityMenu = 19,
    kSlotButtonUtility0 = 20,
    kSlotNoteNotFoundViewer = 28,
};

// Language ids the menu passes (LANGID-like; any other id uses the default table).
constexpr LANGID kLanguageEnglish = 9;
constexpr LANGID kLanguageChineseSimplified = 4;
constexpr LANGID kLanguageChineseTraditional = 0x7C04;

struct SlotSource
{
    LPCWSTR section;
    LPCWSTR key;
    UINT resource;
};
extern const std::array<SlotSource, kSlotCount> kSlotSources;

// A language's table and its file in the Languages folder; the default table is index 0 (English).
struct LanguageTable
{
    LANGID id;
    LPCWSTR file;
};
constexpr int kTableCount = 10;
extern const std::array<LanguageTable, kTableCount> kLanguageTables;
// The table a language id reads: 0 (the default) for any id not listed.
int TableOf(LANGID language);

// Values beginning with ".\" or "..\" are paths relative to the program's folder.
bool IsRelativePath(WStringView value);

class CMultilingualStringTable
{
public:
    using Table = std::array<WString, kSlotCount>;

    // Never fails: missing resources and files leave slots empty.
    CMultilingualStringTable();
    virtual ~CMultilingualStringTable() = default;

    // The language's value, else the default table's, else null; null for a slot outside 0-28.
    LPCWSTR GetString(LANGID language, int slot) const;
    // out = full path of folder + relative, true when it fits in 260 characters and the file exists.
    bool ResolveRelativePath(WString& out, WStringView relative) const;
    // The number of keys stored; a missing file stores none and keeps the table.
    int LoadLanguageFile(LPCWSTR path, Table& table) const;

    const WString& ModuleFolder() const { return moduleFolder_; }

private:
    void BuildDefaultTable();
    void LoadAllLanguageFiles();
    // A value as it is stored: relative paths resolved, nothing when one names no file.
    std::optional<WString> Stored(WString value) const;

    WString moduleFolder_;
    std::array<Table, kTableCount> tables_;
};

// The program's own folder with its trailing backslash; empty when the name cannot be read.
WString OwnFolder();

} // namespace launch
