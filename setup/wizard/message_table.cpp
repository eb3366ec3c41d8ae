#include "message_table.h"

namespace kgsetup
{

const WString& MessageTable::Text(int id) const
{
    static const WString none;
    auto it = texts.find(id);
    return it == texts.end() ? none : it->second;
}

std::vector<MessageTableEntry> LoadMessageTables()
{
    std::vector<MessageTableEntry> tables;
    tables.push_back({9, std::make_unique<MessageTable>()});
    LoadEnglishMessageTable(*tables.back().table);
    tables.push_back({17, std::make_unique<MessageTable>()});
    LoadJapaneseMessageTable(*tables.back().table);
    return tables;
}

const MessageTable* ChooseMessageTable(const std::vector<MessageTableEntry>& tables, UINT uiLanguage)
{
    for (const MessageTableEntry& entry : tables)
        if (entry.language == uiLanguage)
            return entry.table.get();
    return tables.empty() ? nullptr : tables.front().table.get();
}

} // namespace kgsetup
