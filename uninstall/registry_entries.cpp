// [APPLICATION] "REG_%03d": keys, the shortcut files their `Shortcut` values name, and control-panel
// items. Entries for the current user are replayed into every other user's hive first.
#include "entries.h"
#include "ini.h"
#include "log.h"
#include "os_index.h"
#include "user_hives.h"
#include "worker.h"

#include <string>
#include <vector>

namespace uninstall
{
namespace
{
constexpr DWORD kItemPause = 50;

// A `Shortcut` value of one key, when it is a string.
std::string ShortcutValue(HKEY root, const std::string& path)
{
    HKEY key = nullptr;
    if (RegOpenKeyExA(root, path.c_str(), 0, KEY_QUERY_VALUE, &key) != ERROR_SUCCESS)
        return {};
    char value[MAX_PATH] = {};
    DWORD type = 0;
    DWORD size = MAX_PATH - 1;
    LSTATUS status = RegQueryValueExA(key, "Shortcut", nullptr, &type, reinterpret_cast<BYTE*>(value), &size);
    RegCloseKey(key);
    if (status != ERROR_SUCCESS || type != REG_SZ)
        return {};
    value[std::min<DWORD>(size, MAX_PATH - 1)] = 0;
    return value;
}

void DeleteShortcutFile(const std::string& path)
{
    if (path.empty())
        return;
    // Users may write their own hives: only shortcut files are taken from them.
    if (!IsShortcutFile(path))
    {
        LogPrint("  Not a shortcut : %s", path.c_str());
        return;
    }
    LogPrint("  Delete : %s", path.c_str());
    DeleteFileA(path.c_str());
    Sleep(kItemPause);
}

void DeleteShortcutFiles(HKEY root, const std::string& prefix, const RegEntry& entry)
{
    std::string path = prefix + entry.path;
    if (entry.form == RegForm::Plain)
    {
        DeleteShortcutFile(ShortcutValue(root, path));
        return;
    }
    if (entry.form != RegForm::Tree)
        return;
    HKEY key = nullptr;
    if (RegOpenKeyExA(root, path.c_str(), 0, KEY_ENUMERATE_SUB_KEYS, &key) != ERROR_SUCCESS)
        return;
    std::vector<std::string> children;
    for (DWORD i = 0;; ++i)
    {
        char name[256];
        DWORD size = sizeof name;
        if (RegEnumKeyExA(key, i, name, &size, nullptr, nullptr, nullptr, nullptr) != ERROR_SUCCESS)
            break;
        children.emplace_back(name, size);
    }
    RegCloseKey(key);
    for (const std::string& child : children)
        DeleteShortcutFile(ShortcutValue(root, path + "\\" + child));
}

bool Opens(HKEY root, const std::string& path)
{
    HKEY key = nullptr;
    if (RegOpenKeyExA(root, path.c_str(), 0, KEY_READ, &key) != ERROR_SUCCESS)
        return false;
    RegCloseKey(key);
    return true;
}

void DeleteControlPanelItem(const RegEntry& entry)
{
    std::vector<std::string> keys = ControlPanelKeys(entry.item);
    for (size_t i = 0; i < keys.size(); ++i)
    {
        HKEY root = i == 0 ? HKEY_LOCAL_MACHINE : HKEY_CLASSES_ROOT;
        if (!Opens(root, keys[i]))
            break;
        // The class key is tried before its subkeys too: refused while they are there, as the log shows.
        LSTATUS status = RegDeleteKeyA(root, keys[i].c_str());
        LogPrint("  Delete: %s\\%s, Error(0x%08x)", i == 0 ? "HKEY_LOCAL_MACHINE" : "HKEY_CLASSES_ROOT",
                 keys[i].c_str(), static_cast<unsigned>(status));
    }
    Sleep(kItemPause);
}

void DeleteEntryKey(HKEY root, const char* rootName, const std::string& prefix, const RegEntry& entry)
{
    if (entry.form == RegForm::ControlPanel)
    {
        DeleteControlPanelItem(entry);
        return;
    }
    std::string path = prefix + entry.path;
    if (!Opens(root, path))
        return;
    if (entry.form == RegForm::Tree)
        DeleteKeyTree(root, path.c_str());
    else
        RegDeleteKeyA(root, path.c_str());
    LogPrint("  %s %s", rootName, (prefix + entry.subKey).c_str());
    Sleep(kItemPause);
}
} // namespace

void RemoveEntryUnder(HKEY root, const char* rootName, const std::string& prefix, const RegEntry& entry)
{
    DeleteShortcutFiles(root, prefix, entry);
    DeleteEntryKey(root, rootName, prefix, entry);
}

void RemoveRegistryEntries(UninstallState& state)
{
    std::vector<RegEntry> entries;
    for (const std::string& value :
         IniList(state.fileListIniPath, state.sections[0].applicationSection, "REG_%03d"))
        if (auto entry = ParseRegEntry(value))
            entries.push_back(*entry);
    LogPrint("*** Registry Information 2 ***");
    if (!IsWin9x(state.osIndex))
        RemoveFromUserHives(state, entries);
    for (const RegEntry& entry : entries)
        RemoveEntryUnder(RootKey(entry.root), RootName(entry.root), "", entry);
}

} // namespace uninstall
