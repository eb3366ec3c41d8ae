// [ICF]: the firewall entries the installer made, removed through the helper DLL's exports.
#include "entries.h"
#include "ini.h"
#include "log.h"
#include "os_index.h"
#include "text.h"
#include "worker.h"

#include <cstdio>

namespace uninstall
{
namespace
{
using RemoveApp = int(WINAPI*)(const char* path);
using RemovePort = int(WINAPI*)(int udp, int port);
using RemovePolicy = int(WINAPI*)(const char* rule);

constexpr size_t kValueChars = 1023;

template <typename F> F Export(HMODULE module, const char* name)
{
    return reinterpret_cast<F>(reinterpret_cast<void (*)()>(GetProcAddress(module, name)));
}

void Result(int ok)
{
    if (!ok)
        LogPrint("    --> False.");
}

// The device server's port stays while another application keeps its driver.
bool KeepsPort(const UninstallState& state, int port)
{
    return port == kDeviceServerPort && state.removeDeviceServerPort == 0;
}
} // namespace

void RemoveFirewallEntries(UninstallState& state)
{
    if (state.osIndex <= kOs2000)
        return;
    if ((state.osIndex == kOsXp || state.osIndex == kOs2003) && !(state.options & kOptionSilent))
        return;
    const char* fileList = state.fileListIniPath;
    const char* section = state.sections[0].firewallSection;
    bool any = false;
    for (const char* key : {"DELFILE_000", "DELPORT_000", "DELFILE2_000", "DELPORT2_000"})
        any = any || !IniString(fileList, section, key, "", kValueChars).empty();
    if (!any)
        return;
    std::string path = JoinPath(state.moduleFolder, HelperDllName(state));
    HMODULE helper = LoadLibraryA(path.c_str());
    if (!helper)
        return;
    bool vista = state.osIndex > kOs2003;
    auto removeApp = Export<RemoveApp>(helper, "WindowsFirewallRemoveApp");
    auto removePort = Export<RemovePort>(helper, "WindowsFirewallRemovePort");
    auto removePolicy = Export<RemovePolicy>(helper, "WindowsFirewallRemovePolicy");
    if (!removeApp || !removePort || (vista && !removePolicy))
    {
        FreeLibrary(helper);
        return;
    }
    LogPrint("*** Firewall Information ***");
    auto list = [&](const char* format) {
        std::vector<std::string> values;
        for (int i = 0; i < 1000; ++i)
        {
            char key[32];
            std::snprintf(key, sizeof key, format, i);
            std::string value = IniString(fileList, section, key, "", kValueChars);
            if (value.empty())
                break;
            values.push_back(std::move(value));
        }
        return values;
    };
    if (vista)
    {
        for (const std::string& value : list("DELFILE2_%03d"))
            if (auto rule = ParseFirewallRule(value, false))
            {
                LogPrint("  DeleteApp2 : %s", rule->rule.c_str());
                Result(removePolicy(rule->rule.c_str()));
            }
        for (const std::string& value : list("DELPORT2_%03d"))
            if (auto rule = ParseFirewallRule(value, true); rule && !KeepsPort(state, *rule->port))
            {
                LogPrint("  DeletePort2 : %s", rule->rule.c_str());
                Result(removePolicy(rule->rule.c_str()));
            }
    }
    for (const std::string& value : list("DELFILE_%03d"))
    {
        LogPrint("  DeleteApp : %s", value.c_str());
        Result(removeApp(value.c_str()));
    }
    for (const std::string& value : list("DELPORT_%03d"))
        if (auto port = ParseFirewallPort(value); port && !KeepsPort(state, port->port))
        {
            LogPrint("  DeletePort : %x, Protocol : %d", static_cast<unsigned>(port->port), port->udp);
            Result(removePort(port->udp, port->port));
        }
    FreeLibrary(helper);
}

} // namespace uninstall
