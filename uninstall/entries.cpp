#include "entries.h"

#include "text.h"

#include <charconv>

namespace uninstall
{
namespace
{
size_t CharLength(std::string_view s, size_t i)
{
    return i + 1 < s.size() && IsDBCSLeadByte(static_cast<BYTE>(s[i])) ? 2 : 1;
}

// Single-byte backslashes of `s`, never a double-byte character's trail byte.
std::vector<size_t> Backslashes(std::string_view s)
{
    std::vector<size_t> at;
    for (size_t i = 0; i < s.size(); i += CharLength(s, i))
        if (s[i] == '\\' && CharLength(s, i) == 1)
            at.push_back(i);
    return at;
}

std::string_view DropTrailingBackslash(std::string_view s)
{
    std::vector<size_t> at = Backslashes(s);
    if (!at.empty() && at.back() + 1 == s.size())
        s.remove_suffix(1);
    return s;
}

std::optional<int> Port(std::string_view text)
{
    int port = 0;
    auto [end, error] = std::from_chars(text.data(), text.data() + text.size(), port);
    if (error != std::errc() || end != text.data() + text.size() || port < 0 || port > 65535)
        return std::nullopt;
    return port;
}

bool IsKeyName(std::string_view name)
{
    return !name.empty() && name.size() < 256 && name.find('\\') == std::string_view::npos;
}
} // namespace

std::optional<RegEntry> ParseRegEntry(std::string_view value)
{
    size_t semicolon = value.find(';');
    if (semicolon == std::string_view::npos)
        return std::nullopt;
    std::string_view root = value.substr(0, semicolon);
    std::string_view subKey = value.substr(semicolon + 1);
    RegEntry entry;
    struct Name
    {
        const char* text;
        RegRoot root;
    };
    static constexpr Name kRoots[] = {{"HLM", RegRoot::LocalMachine},
                                      {"HCU", RegRoot::CurrentUser},
                                      {"HCR", RegRoot::ClassesRoot},
                                      {"HU", RegRoot::Users},
                                      {"HCC", RegRoot::CurrentConfig}};
    bool known = false;
    for (const Name& n : kRoots)
        if (EqualNoCase(root, n.text))
        {
            entry.root = n.root;
            known = true;
        }
    // An empty subkey would name the root itself.
    if (!known || subKey.empty() || subKey.size() >= MAX_PATH)
        return std::nullopt;
    entry.subKey = std::string(subKey);
    if (subKey.size() > 4 && EqualNoCase(subKey.substr(0, 4), "@CPL"))
    {
        entry.form = RegForm::ControlPanel;
        size_t start = 4 + CharLength(subKey, 4);
        entry.item = std::string(subKey.substr(std::min(start, subKey.size())));
        if (!IsKeyName(entry.item))
            return std::nullopt;
        return entry;
    }
    std::string_view path = subKey;
    if (path.size() >= 3 && path.substr(path.size() - 3) == "*.*")
    {
        entry.form = RegForm::Tree;
        path.remove_suffix(3);
    }
    path = DropTrailingBackslash(path);
    if (path.empty() || path.front() == '\\')
        return std::nullopt;
    entry.path = std::string(path);
    return entry;
}

HKEY RootKey(RegRoot root)
{
    switch (root)
    {
    case RegRoot::CurrentUser:
        return HKEY_CURRENT_USER;
    case RegRoot::ClassesRoot:
        return HKEY_CLASSES_ROOT;
    case RegRoot::Users:
        return HKEY_USERS;
    case RegRoot::CurrentConfig:
        return HKEY_CURRENT_CONFIG;
    case RegRoot::LocalMachine:
    default:
        return HKEY_LOCAL_MACHINE;
    }
}

const char* RootName(RegRoot root)
{
    switch (root)
    {
    case RegRoot::CurrentUser:
        return "HKEY_CURRENT_USER";
    case RegRoot::ClassesRoot:
        return "HKEY_CLASSES_ROOT";
    case RegRoot::Users:
        return "HKEY_USERS";
    case RegRoot::CurrentConfig:
        return "HKEY_CURRENT_CONFIG";
    case RegRoot::LocalMachine:
    default:
        return "HKEY_LOCAL_MACHINE";
    }
}

std::vector<std::string> ControlPanelKeys(std::string_view item)
{
    std::string clsid = "CLSID\\" + std::string(item);
    return {"Software\\Microsoft\\Windows\\CurrentVersion\\Explorer\\ControlPanel\\NameSpace\\" +
                std::string(item),
            clsid + "\\DefaultIcon",
            clsid,
            clsid + "\\Shell\\Open\\Command",
            clsid + "\\Shell\\Open",
            clsid + "\\Shell",
            clsid + "\\ShellFolder",
            clsid};
}

std::optional<FirewallPort> ParseFirewallPort(std::string_view value)
{
    size_t semicolon = value.find(';');
    if (semicolon == std::string_view::npos)
        return std::nullopt;
    std::optional<int> port = Port(value.substr(0, semicolon));
    if (!port)
        return std::nullopt;
    std::string_view protocol = value.substr(semicolon + 1);
    protocol = protocol.substr(0, protocol.find(';'));
    return FirewallPort{*port, EqualNoCase(protocol, "UDP") ? 1 : 0};
}

std::optional<FirewallRule> ParseFirewallRule(std::string_view value, bool wantsPort)
{
    size_t semicolon = value.find(';');
    if (semicolon == std::string_view::npos || semicolon == 0)
        return std::nullopt;
    FirewallRule rule{std::string(value.substr(0, semicolon)), std::nullopt};
    if (wantsPort)
    {
        std::string_view port = value.substr(semicolon + 1);
        rule.port = Port(port.substr(0, port.find(';')));
        if (!rule.port)
            return std::nullopt;
    }
    return rule;
}

std::optional<SharedKey> ParseSharedKey(std::string_view value)
{
    std::vector<std::string> fields = SplitFields(value, ';');
    if (fields.size() < 2 || !IsKeyName(fields[0]) || !IsKeyName(fields[1]) || fields[0] == ".." ||
        fields[1] == "..")
        return std::nullopt;
    return SharedKey{fields[0], fields[1]};
}

std::vector<std::string> FolderChain(std::string_view folder, std::string_view guard)
{
    std::vector<std::string> chain;
    std::string_view start = DropTrailingBackslash(folder);
    if (start.empty() || IsDriveRoot(std::string(start) + "\\") ||
        EqualNoCase(start, DropTrailingBackslash(guard)))
        return chain;
    chain.emplace_back(start);
    std::vector<size_t> cuts = Backslashes(start);
    for (auto it = cuts.rbegin(); it != cuts.rend(); ++it)
    {
        std::string_view parent = start.substr(0, *it);
        if (parent.empty() || IsDriveRoot(std::string(parent) + "\\") ||
            EqualNoCase(parent, DropTrailingBackslash(guard)) || parent.size() < 3)
            break;
        chain.emplace_back(parent);
    }
    return chain;
}

bool IsShortcutFile(std::string_view path)
{
    if (!IsAbsolutePath(path))
        return false;
    SplitModulePath split = SplitPath(path);
    return EqualNoCase(split.extension, ".lnk") || EqualNoCase(split.extension, ".url") ||
           EqualNoCase(split.extension, ".pif");
}

} // namespace uninstall
