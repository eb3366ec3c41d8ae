// The setup program's texts: one table per display language, every id from 0 to kLastMessageId.
#pragma once

#include <platform/windows.h>

#include <map>
#include <memory>
#include <vector>

namespace kgsetup
{

inline constexpr int kLastMessageId = 147;

struct MessageTable
{
    std::map<int, WString> texts;
    WString displayLanguageName;

    // The text of `id`, empty when the table has none; never adds an entry (the tables are shared
    // by the UI thread and the workers).
    const WString& Text(int id) const;
    bool Has(int id) const { return texts.find(id) != texts.end(); }
};

void LoadEnglishMessageTable(MessageTable& table);
void LoadJapaneseMessageTable(MessageTable& table);

struct MessageTableEntry
{
    UINT language = 0; // primary language: 9 English, 17 Japanese
    std::unique_ptr<MessageTable> table;
};

// The English (9) and Japanese (17) tables, in that order.
std::vector<MessageTableEntry> LoadMessageTables();

// The table of `uiLanguage`; else the first; null when there is none.
const MessageTable* ChooseMessageTable(const std::vector<MessageTableEntry>& tables, UINT uiLanguage);

} // namespace kgsetup
