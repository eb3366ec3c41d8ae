#include "uninstaller_fixture.h"

#include "startup.h"
#include "text.h"

#include <platform/dllentry.h>
#include <platform/entry.h>

#include <sim/desktop.h>

#include <sstream>

namespace uninstall::testing
{

Recorded UninstallerTest::recorded;
UINT UninstallerTest::workerResult = kMsgWorkerDone;
bool UninstallerTest::workerReboots = false;
BOOL UninstallerTest::isAdministrator = TRUE;
int UninstallerTest::firewallResult = 1;

namespace
{
// The packages install the program under these names; each reads its own resources.
#define UNINSTALL_ALIAS(name)                                                                                \
    const bool registered_##name = sim::RegisterProgram(u## #name ".exe", &uninstall::Main) &&               \
                                   sim::RegisterModuleResources(u## #name ".exe", UNINSTALLER_RC);
UNINSTALL_ALIAS(Uninst64)
UNINSTALL_ALIAS(Uninst)
UNINSTALL_ALIAS(A1)
#undef UNINSTALL_ALIAS
const bool registered_12 = sim::RegisterProgram(u"12.exe", &uninstall::Main) &&
                           sim::RegisterModuleResources(u"12.exe", UNINSTALLER_RC);

// The helper DLL: present only when its file lies in the folder the Uninstaller loads it from.
template <int N> BOOL WINAPI HelperMain(HINSTANCE, DWORD reason, LPVOID)
{
    static constexpr const char* kNames[] = {"_Setup64.dll", "_Setup.dll", "_Setupnt.dll"};
    if (reason != DLL_PROCESS_ATTACH)
        return TRUE;
    std::string path = JoinPath(State().moduleFolder, kNames[N]);
    return GetFileAttributesA(path.c_str()) != INVALID_FILE_ATTRIBUTES;
}

PLATFORM_DLL_BEGIN(fake_helper)
BOOL WINAPI CheckUserPrivilege(DWORD, LPSTR)
{
    ++UninstallerTest::recorded.privilegeChecks;
    return UninstallerTest::isAdministrator;
}
int WINAPI WindowsFirewallRemoveApp(const char* path)
{
    UninstallerTest::recorded.firewallCalls.push_back(std::string("App ") + path);
    return UninstallerTest::firewallResult;
}
int WINAPI WindowsFirewallRemovePort(int udp, int port)
{
    UninstallerTest::recorded.firewallCalls.push_back("Port " + std::to_string(udp) + " " +
                                                      std::to_string(port));
    return UninstallerTest::firewallResult;
}
int WINAPI WindowsFirewallRemovePolicy(const char* rule)
{
    UninstallerTest::recorded.firewallCalls.push_back(std::string("Policy ") + rule);
    return UninstallerTest::firewallResult;
}
PLATFORM_DLL_END

template <typename F> void (*Address(F f))()
{
    return reinterpret_cast<void (*)()>(f);
}

// The 64-bit helper has every firewall export; the 32-bit one lacks the newer systems' policy export.
const bool registeredHelpers = [] {
    using namespace fake_helper_exports;
    sim::RegisterDll(u"_Setup64.dll",
                     {{"CheckUserPrivilege", 1, Address(&CheckUserPrivilege)},
                      {"WindowsFirewallRemoveApp", 2, Address(&WindowsFirewallRemoveApp)},
                      {"WindowsFirewallRemovePort", 3, Address(&WindowsFirewallRemovePort)},
                      {"WindowsFirewallRemovePolicy", 4, Address(&WindowsFirewallRemovePolicy)}},
                     &HelperMain<0>);
    sim::RegisterDll(u"_Setup.dll",
                     {{"CheckUserPrivilege", 1, Address(&CheckUserPrivilege)},
                      {"WindowsFirewallRemoveApp", 2, Address(&WindowsFirewallRemoveApp)},
                      {"WindowsFirewallRemovePort", 3, Address(&WindowsFirewallRemovePort)}},
                     &HelperMain<1>);
    sim::RegisterDll(u"_Setupnt.dll", {{"CheckUserPrivilege", 1, Address(&CheckUserPrivilege)}},
                     &HelperMain<2>);
    return true;
}();

DWORD WINAPI Worker(LPVOID page)
{
    if (UninstallerTest::workerReboots)
        State().rebootRequested = State().rebootNeeded = 1;
    UninstallerTest::recorded.frameVisibleDuringWork = IsWindowVisible(State().frameWindow) != FALSE;
    PostMessageA(static_cast<HWND>(page), UninstallerTest::workerResult, 0, 0);
    return 0;
}

HANDLE StartWorker(HWND page)
{
    ++UninstallerTest::recorded.workersStarted;
    return CreateThread(nullptr, 0, Worker, page, 0, nullptr);
}

void LaunchSecondStage()
{
    ++UninstallerTest::recorded.secondStageLaunches;
    UninstallerTest::recorded.rebootAtLaunch = State().rebootRequested;
}
} // namespace

Ini& Ini::Set(const std::string& section, const std::string& key, const std::string& value)
{
    for (auto& [name, keys] : sections_)
        if (name == section)
        {
            for (auto& [k, v] : keys)
                if (k == key)
                {
                    v = value;
                    return *this;
                }
            keys.emplace_back(key, value);
            return *this;
        }
    sections_.push_back({section, {{key, value}}});
    return *this;
}

Ini& Ini::Remove(const std::string& section, const std::string& key)
{
    for (auto& [name, keys] : sections_)
        if (name == section)
            std::erase_if(keys, [&](const auto& kv) { return kv.first == key; });
    return *this;
}

std::string Ini::Text() const
{
    std::string text;
    for (const auto& [name, keys] : sections_)
    {
        text += "[" + name + "]\r\n";
        for (const auto& [k, v] : keys)
            text += k + "=" + v + "\r\n";
    }
    return text;
}

Ini DefaultUiIni()
{
    Ini ini;
    ini.Set("INFO", "CLASSNAME", kClass)
        .Set("INFO", "UNINSTLOG", "Unflist.ini")
        .Set("TITLE", "TITLE", kTitle)
        .Set("TITLE", "WELCOME", "Welcome")
        .Set("TITLE", "UNINSTALL", "Removing")
        .Set("TITLE", "FINISH", "Done")
        .Set("MESSAGE", "TITLE", "Velmo Removal")
        .Set("MESSAGE", "CHECK_00", "Remove the Velmo printer driver?")
        .Set("ERROR", "TITLE", "Velmo Removal Error")
        .Set("ERROR", "MESSAGE_00", "The removal record is damaged.")
        .Set("ERROR", "MESSAGE_04", "%s is running.\\nClose it first.")
        .Set("ERROR", "MESSAGE_05", "%s was not found.")
        .Set("ERROR", "MESSAGE_06", "Administrator rights are needed.")
        .Set("ERROR", "MESSAGE_12", "The removal is already running.")
        .Set("ERROR", "MESSAGE_15", "Stop the removal?")
        .Set("LABEL", "WELCOME_00", "Velmo driver removal")
        .Set("LABEL", "WELCOME_01", "This removes the printer driver.")
        .Set("LABEL", "WELCOME_02",
             "Press Next to go on with the removal, or Cancel to keep everything as it is now.")
        .Set("LABEL", "UNINSTALL_00", "Removing the driver")
        .Set("LABEL", "FINISH_00", "Removal finished")
        .Set("LABEL", "FINISH_01", "The driver was removed.")
        .Set("LABEL", "FINISH_02", "A restart finishes the removal.")
        .Set("LABEL", "FINISH_04", "Restart now")
        .Set("LABEL", "FINISH_05", "Restart later")
        .Set("BIT_LABEL", "UNINSTALL_TITLE", "Removing")
        .Set("BUTTON", "BACK", "< Back")
        .Set("BUTTON", "NEXT", "Next >")
        .Set("BUTTON", "CANCEL", "Cancel")
        .Set("BUTTON", "FINISH", "Finish")
        .Set("BUTTON", "REFINISH", "Restart the computer now");
    return ini;
}

Ini DefaultFileListIni()
{
    Ini ini;
    ini.Set("UNINSTALL", "REGISTKEY", "VelmoQ7");
    return ini;
}

void UninstallerTest::SetUp()
{
    recorded = Recorded{};
    workerResult = kMsgWorkerDone;
    workerReboots = false;
    isAdministrator = TRUE;
    firewallResult = 1;
    SetRemovalHooks({&StartWorker, &LaunchSecondStage, nullptr});
}

void UninstallerTest::UseRealRemoval()
{
    SetRemovalHooks(RemovalHooks{});
}

std::vector<BYTE> WideBytes(const std::string& text)
{
    std::vector<BYTE> bytes;
    for (char c : text + '\0')
    {
        bytes.push_back(static_cast<BYTE>(c));
        bytes.push_back(0);
    }
    return bytes;
}

void SetDword(WStringView key, WStringView name, DWORD value)
{
    sim::registry().SetValue(HKEY_LOCAL_MACHINE, key, name, REG_DWORD,
                             {reinterpret_cast<const BYTE*>(&value), 4});
}

const char* const kDriverInf = "[Version]\r\n"
                               "Class=USB\r\n"
                               "DriverVer=05/01/2020,2.3.0.1\r\n"
                               "[Manufacturer]\r\n"
                               "%Mfg%=Models,NTamd64\r\n"
                               "[Models.NTamd64]\r\n"
                               "%Desc%=Install,USB\\VID_1234&PID_0001\r\n"
                               "[Install.NT]\r\n"
                               "CopyFiles=Files\r\n"
                               "[Install.NT.Services]\r\n"
                               "AddService=TZUPTP,2,Service\r\n"
                               "[Files]\r\n"
                               "tzuptp.sys\r\n"
                               "[SourceDisksNames.amd64]\r\n"
                               "1=Disk,,,\\amd64\r\n"
                               "[SourceDisksFiles.amd64]\r\n"
                               "tzuptp.sys=1\r\n"
                               "[Strings]\r\n"
                               "Mfg=Maker\r\n"
                               "Desc=Device server\r\n";

void UninstallerTest::TearDown()
{
    SetRemovalHooks(RemovalHooks{});
}

void UninstallerTest::Install(const Ini& ui, const Ini& fileList, WStringView folder,
                              const std::string& uiName)
{
    WString f(folder);
    sim::files().Put(f + u"\\" + WString(uiName.begin(), uiName.end()), ui.Text());
    sim::files().Put(f + u"\\Unflist.ini", fileList.Text());
    sim::files().Put(f + u"\\_Setup64.dll", "helper");
}

DWORD UninstallerTest::Run(WStringView arguments, const std::function<void()>& script, WStringView program)
{
    return sim::desktop().Run(program, arguments, [&] {
        if (script)
            script();
    });
}

void UninstallerTest::SetInstallLocation(const std::string& folder)
{
    WString wide(folder.begin(), folder.end());
    std::vector<BYTE> bytes;
    for (WCHAR c : wide + u'\0')
    {
        bytes.push_back(static_cast<BYTE>(c & 0xFF));
        bytes.push_back(static_cast<BYTE>(c >> 8));
    }
    sim::registry().SetValue(HKEY_LOCAL_MACHINE,
                             u"Software\\Microsoft\\Windows\\CurrentVersion\\Uninstall\\VelmoQ7",
                             u"InstallLocation", REG_SZ, bytes);
}

void UninstallerTest::InstallMoved(const Ini& fileList, const Ini& japaneseUi)
{
    Install(DefaultUiIni(), fileList);
    WString location = kInstalled;
    sim::files().Put(location + u"\\Unflist.ini", fileList.Text());
    sim::files().Put(location + u"\\Uninst.ini", DefaultUiIni().Text());
    sim::files().Put(location + u"\\JPN\\Uninst.ini", japaneseUi.Text());
    sim::files().Put(location + u"\\_Setup64.dll", "helper");
    SetInstallLocation(kInstalledA);
}

std::string UninstallerTest::Log(WStringView path) const
{
    return sim::files().Bytes(path).value_or("");
}

std::vector<std::string> UninstallerTest::LogLines(WStringView path) const
{
    std::vector<std::string> lines;
    std::istringstream in(Log(path));
    std::string line;
    while (std::getline(in, line))
    {
        if (!line.empty() && line.back() == '\r')
            line.pop_back();
        lines.push_back(line.size() > 21 ? line.substr(21) : line);
    }
    return lines;
}

HWND UninstallerTest::Frame() const
{
    std::string title = kTitle;
    return sim::desktop().TopWindow(WString(title.begin(), title.end()));
}

void UninstallerTest::ClickNext()
{
    HWND frame = Frame();
    ASSERT_TRUE(frame) << "no wizard frame";
    ASSERT_TRUE(sim::desktop().Click(sim::desktop().Control(frame, kIdNext)));
}

} // namespace uninstall::testing
