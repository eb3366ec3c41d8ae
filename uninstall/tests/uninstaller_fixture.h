// An installed product as the Uninstaller finds it: its two INI files beside the program, the helper
// DLL, and the removal worker and second stage the wizard reaches through its hooks.
#pragma once

#include "uninstall_state.h"
#include "wizard.h"

#include <sim/desktop.h>
#include <sim/machine.h>

#include <gtest/gtest.h>

#include <map>
#include <string>
#include <vector>

namespace uninstall::testing
{

constexpr const char16_t* kFolder = u"C:\\Program Files\\Velmo\\Uninstall";
constexpr const char16_t* kProgram = u"C:\\Program Files\\Velmo\\Uninstall\\Uninst64.exe";
constexpr const char* kFolderA = "C:\\Program Files\\Velmo\\Uninstall";
constexpr const char16_t* kInstalled = u"C:\\Program Files\\Velmo\\Installed";
constexpr const char* kInstalledA = "C:\\Program Files\\Velmo\\Installed";
constexpr const char* kTitle = "Velmo Driver Removal";
constexpr const char* kClass = "VelmoUninstallWindow";

// Sections of an INI file, written out in order.
class Ini
{
public:
    Ini& Set(const std::string& section, const std::string& key, const std::string& value);
    Ini& Remove(const std::string& section, const std::string& key);
    std::string Text() const;

private:
    std::vector<std::pair<std::string, std::vector<std::pair<std::string, std::string>>>> sections_;
};

Ini DefaultUiIni();
Ini DefaultFileListIni();

// What the scripted helper DLL and removal hooks saw.
struct Recorded
{
    int privilegeChecks = 0;
    int secondStageLaunches = 0;
    int rebootAtLaunch = -1;
    int workersStarted = 0;
    bool frameVisibleDuringWork = false;
    std::vector<std::string> firewallCalls; // "App <path>", "Port <udp> <port>", "Policy <rule>"
};

// UTF-16 bytes of a REG_SZ value, with its terminator.
std::vector<BYTE> WideBytes(const std::string& text);

// A REG_DWORD value under HKEY_LOCAL_MACHINE.
void SetDword(WStringView key, WStringView name, DWORD value);

// The device server's USB driver INF, as its package and the INF folder hold it.
extern const char* const kDriverInf;

class UninstallerTest : public ::testing::Test
{
protected:
    void SetUp() override;
    void TearDown() override;

    void Install(const Ini& ui, const Ini& fileList, WStringView folder = kFolder,
                 const std::string& uiName = "Uninst.ini");
    // Runs the program while `script` plays the user; returns its exit code.
    DWORD Run(WStringView arguments, const std::function<void()>& script = {},
              WStringView program = kProgram);
    // The product's uninstall entry names the folder it was installed to, where its files lie too:
    // the record, the main UI INI and the language folder JPN's copy of it.
    void SetInstallLocation(const std::string& folder);
    void InstallMoved(const Ini& fileList, const Ini& japaneseUi);
    std::string Log(WStringView path = u"C:\\Setup.txt") const;
    // Log lines without their time stamps.
    std::vector<std::string> LogLines(WStringView path = u"C:\\Setup.txt") const;
    HWND Frame() const;
    void ClickNext();

public:
    static Recorded recorded;
    static UINT workerResult;    // what the worker posts: kMsgWorkerDone or kMsgWorkerFailed
    static bool workerReboots;   // a component asked for a restart
    static BOOL isAdministrator; // what CheckUserPrivilege answers
    static int firewallResult;   // what the firewall exports answer

    // The real removal worker and second stage instead of the recording stand-ins.
    static void UseRealRemoval();
};

inline sim::Desktop& D()
{
    return sim::desktop();
}

inline WString W(const std::string& s)
{
    return WString(s.begin(), s.end());
}

} // namespace uninstall::testing
