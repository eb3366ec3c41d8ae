// The setup program's whole runs under the scripted user: the "/fs" install, the Remove page's
// user, and what a removal may leave behind on purpose.
#pragma once

#include "wizard_fixture.h"

#include <sim/desktop.h>

#include <optional>
#include <string>
#include <utility>
#include <vector>

namespace kgsetup::testing
{

inline constexpr const char16_t* kSetup64 = u"C:\\Setup\\KGSetup64.exe";
inline constexpr int kFinishButton = 0x3025;
inline const WString kUninstaller = u"C:\\Program Files\\Velmo\\KORIGRAPH\\uninst.exe";
inline const WString kV4Line = u"KORIGRAPH Printer Driver (V4) Ver:4.1.0.0 Date:06/01/2023";

WString TableText(int id);
// Whether a list-view row's check box is checked.
bool Checked(HWND list, int row);
// The window of a page of the sheet, by its dialog id.
HWND PageWindow(UINT id);
// "/fs" from the package beside the program: the shared model on a new TCP/IP port, named "Office 2".
void InstallThroughTheWizard();

struct Removal
{
    DWORD exitCode = 0;
    std::vector<WString> rows;
    std::vector<WString> kinds;
    bool driverRowKeptChecked = false;
    bool printerRowUnchecked = false;
    std::pair<int, int> progressRange{-1, -1};
    int progressPosition = -1;
    WString finishText;
};

// The user on the Remove page: Uncheck All, then Check All, then Remove, through to Finish.
sim::Desktop::Script RemoveEverythingScript(Removal& seen);
void ExpectWholeRemoval(const Removal& seen);
// A snapshot difference without what a removal leaves on purpose.
std::vector<std::string> Unexpected(const std::vector<std::string>& change);
// A command line of the program's entry ("UninstallString", "ModifyPath"); none without the value.
std::optional<WString> RegisteredCommand(const WString& name);
// A command line started as Windows starts it, run to its end: the exit code, kNotStarted when it
// did not start.
inline constexpr DWORD kNotStarted = 0xDEAD;
DWORD StartAndWait(WString command);
// Windows runs the entry's command line as it stands: the unquoted path of the registered copy.
DWORD RunRegisteredCommand(const WString& name, const sim::Desktop::Script& script);
// An older classic driver with a printer, and a newer package of it beside the setup program; the
// spooler holds both watched modules, as it does while it runs.
void OlderClassicDriverBesideANewerPackage();
// Its two halves: the driver installed with its printer "Office", and the newer package with the
// spooler running.
void OlderClassicDriverInstalled();
void NewerClassicPackageBesideTheProgram();

// The user of "/modify": the search done, Print to File, Next on every page through to Finish.
sim::Desktop::Script AddPrintToFileScript(WString& finish);

class EndToEndTest : public ::testing::Test
{
protected:
    void SetUp() override
    {
        PrepareMachine();
        sim::files().PutProgram(kSetup64, u"KGSetup64.exe");
        sim::processes().InstallCommandInterpreter(true);
    }

    // The program's end: its self-deleting command has run.
    static void AfterExit() { sim::virtualClock().Advance(10000); }
};

} // namespace kgsetup::testing
