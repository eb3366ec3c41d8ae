// The file-list INI's removal entries: registry keys, firewall entries, the shared-files key and the
// folders a folder chain tries. Values come from an installer's file and are checked field by field;
// an entry that does not parse is skipped by its caller.
#pragma once

#include <platform/windows.h>

#include <optional>
#include <string>
#include <string_view>
#include <vector>

namespace uninstall
{

enum class RegRoot
{
    LocalMachine,
    CurrentUser,
    ClassesRoot,
    Users,
    CurrentConfig,
};

enum class RegForm
{
    Plain,        // one key
    Tree,         // "<path>*.*": the key and everything under it
    ControlPanel, // "@CPL<c><clsid>": a control-panel item's keys
};

// "<root>;<subkey>" with root HLM, HCU, HCR, HU or HCC.
struct RegEntry
{
    RegRoot root = RegRoot::LocalMachine;
    RegForm form = RegForm::Plain;
    std::string subKey; // as written
    std::string path;   // the key deleted: the subkey, "*.*" and a trailing backslash dropped
    std::string item;   // ControlPanel: the class id
};
std::optional<RegEntry> ParseRegEntry(std::string_view value);
HKEY RootKey(RegRoot root);
const char* RootName(RegRoot root); // "HKEY_LOCAL_MACHINE" ...

// The keys of a control-panel item, in the order they are deleted (the first under HKLM, the rest
// under HKEY_CLASSES_ROOT).
std::vector<std::string> ControlPanelKeys(std::string_view item);

// [ICF] "DELPORT_%03d" = <port>;<protocol> (protocol flag 1 for UDP).
struct FirewallPort
{
    int port = 0;
    int udp = 0;
};
std::optional<FirewallPort> ParseFirewallPort(std::string_view value);
// [ICF] "DELFILE2_%03d" = <rule>;... and "DELPORT2_%03d" = <rule>;<port>.
struct FirewallRule
{
    std::string rule;
    std::optional<int> port;
};
std::optional<FirewallRule> ParseFirewallRule(std::string_view value, bool wantsPort);
constexpr int kDeviceServerPort = 19540;

// [SHARED] SHAREDKEY = <company>;<product>, each one key name.
struct SharedKey
{
    std::string company;
    std::string product;
};
std::optional<SharedKey> ParseSharedKey(std::string_view value);

// The folders a folder chain tries, in order: the folder (a trailing backslash dropped), then each
// parent up to but not including a drive root or `guard`. Nothing when the folder is the guard or a
// root. Scanned a character at a time, so a trail byte is never taken for a backslash.
std::vector<std::string> FolderChain(std::string_view folder, std::string_view guard);

// Whether a `Shortcut` value names a file the removal may delete: a shell link, internet shortcut
// or program-information file given by its full path.
bool IsShortcutFile(std::string_view path);

} // namespace uninstall
