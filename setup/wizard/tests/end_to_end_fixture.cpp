#include "end_to_end_fixture.h"

#include <sim/snapshot.h>
#include <sim/spooler.h>
#include <testing/left_after_removal.h>
#include <testing/machines.h>

#include <cstring>

namespace kgsetup::testing
{

using namespace KGSetupPropertySheet;

WString TableText(int id)
{
    static const std::vector<MessageTableEntry> tables = LoadMessageTables();
    return ChooseMessageTable(tables, 9)->Text(id);
}

bool Checked(HWND list, int row)
{
    return (SendMessageW(list, LVM_GETITEMSTATE, static_cast<WPARAM>(row), LVIS_STATEIMAGEMASK) &
            LVIS_STATEIMAGEMASK) == INDEXTOSTATEIMAGEMASK(2);
}

// The window of a page of the sheet, by its dialog id.
HWND PageWindow(UINT id)
{
    LRESULT index = SendMessageW(Sheet(), PSM_IDTOINDEX, 0, static_cast<LPARAM>(id));
    return reinterpret_cast<HWND>(SendMessageW(Sheet(), PSM_INDEXTOHWND, static_cast<WPARAM>(index), 0));
}

// "/fs" from the package beside the program: the shared model on a new TCP/IP port, named "Office 2".
void InstallThroughTheWizard()
{
    WString finish;
    DWORD exitCode = D().Run(kSetup64, u"/fs", [&] {
        HWND sheet = Sheet();
        ASSERT_TRUE(sheet);
        ClickNext();
        ASSERT_TRUE(D().PickText(D().Control(sheet, IDC_LIST), test::kSharedModel));
        ClickNext();
        D().Type(D().Control(sheet, IDC_IP_ADDRESS), u"192.168.0.5");
        D().Click(D().Control(sheet, IDC_ADD_TCPIP_PORT));
        ClickNext();
        D().Type(D().Control(sheet, IDC_PRINTER_NAME), u"Office 2");
        ClickNext();
        ClickNext();
        ASSERT_TRUE(D().WaitUntil([] { return CurrentPage() == IDD_FINISH; }));
        finish = D().Text(D().Control(sheet, IDC_RESULT));
        D().Click(D().Control(sheet, kFinishButton));
    });
    ASSERT_EQ(exitCode, 1u);
    ASSERT_EQ(finish, TableText(125));
    ASSERT_TRUE(sim::spooler().Printer(u"Office 2"));
}

// The user on the Remove page: Uncheck All, then Check All, then Remove, through to Finish.
sim::Desktop::Script RemoveEverythingScript(Removal& seen)
{
    return [&seen] {
        HWND sheet = Sheet();
        ASSERT_TRUE(sheet);
        ASSERT_EQ(CurrentPage(), UINT{IDD_REMOVE});
        HWND list = D().Control(sheet, IDC_LIST);
        seen.rows = D().Items(list);
        for (const std::vector<WString>& row : D().Rows(list))
            seen.kinds.push_back(row.size() > 1 ? row[1] : WString());
        const int driverRow = static_cast<int>(seen.rows.size()) - 1;
        ASSERT_GE(driverRow, 1);
        D().Click(D().Control(sheet, IDC_UNCHECK_ALL));
        ASSERT_TRUE(D().WaitIdle());
        seen.driverRowKeptChecked = Checked(list, driverRow);
        seen.printerRowUnchecked = !Checked(list, 0);
        D().Click(D().Control(sheet, IDC_CHECK_ALL));
        ASSERT_TRUE(D().WaitIdle());
        ASSERT_TRUE(Checked(list, 0));
        ClickNext();
        ASSERT_TRUE(D().WaitUntil([] { return CurrentPage() == IDD_FINISH; }, 60 * 1000));
        HWND bar = D().Control(PageWindow(IDD_REMOVE_PROGRESS), IDC_PROGRESS_BAR);
        seen.progressRange = D().Range(bar);
        seen.progressPosition = D().Position(bar);
        seen.finishText = D().Text(D().Control(sheet, IDC_RESULT));
        D().Click(D().Control(sheet, kFinishButton));
    };
}

void ExpectWholeRemoval(const Removal& seen)
{
    EXPECT_EQ(seen.rows, (std::vector<WString>{u"Office 2", kV4Line}));
    EXPECT_EQ(seen.kinds.at(0), u"V4");
    EXPECT_TRUE(seen.driverRowKeptChecked) << "Uncheck All leaves the driver row";
    EXPECT_TRUE(seen.printerRowUnchecked);
    EXPECT_GT(seen.progressPosition, 0) << "the bar moved";
    EXPECT_LE(seen.progressPosition, seen.progressRange.second);
    EXPECT_EQ(seen.finishText, TableText(127));
    EXPECT_EQ(seen.exitCode, 1u);
}

// What a removal may leave, and the TCP/IP port the user added: a port may serve other printers, so
// it is never deleted.
std::vector<std::string> Unexpected(const std::vector<std::string>& change)
{
    return test::LeftAfterRemoval(change, [](const std::string& line) {
        return line.find("KORIGRAPH_192.168.0.5") != std::string::npos;
    });
}

std::optional<WString> RegisteredCommand(const WString& name)
{
    const WString key = u"SOFTWARE\\Microsoft\\Windows\\CurrentVersion\\Uninstall\\KORIGRAPH Printer Driver";
    std::optional<sim::RegistryValue> value = sim::registry().Value(HKEY_LOCAL_MACHINE, key, name);
    if (!value)
        return std::nullopt;
    WString command(value->data.size() / sizeof(WCHAR), 0);
    std::memcpy(command.data(), value->data.data(), command.size() * sizeof(WCHAR));
    while (!command.empty() && command.back() == 0)
        command.pop_back();
    return command;
}

DWORD StartAndWait(WString command)
{
    STARTUPINFOW startup{};
    startup.cb = sizeof startup;
    PROCESS_INFORMATION process{};
    if (!CreateProcessW(nullptr, command.data(), nullptr, nullptr, FALSE, 0, nullptr, nullptr, &startup,
                        &process))
        return kNotStarted;
    DWORD exitCode = kNotStarted;
    WaitForSingleObject(process.hProcess, INFINITE);
    GetExitCodeProcess(process.hProcess, &exitCode);
    CloseHandle(process.hThread);
    CloseHandle(process.hProcess);
    return exitCode;
}

DWORD RunRegisteredCommand(const WString& name, const sim::Desktop::Script& script)
{
    std::optional<WString> command = RegisteredCommand(name);
    if (!command)
    {
        ADD_FAILURE() << "no registered command";
        return kNotStarted;
    }
    return D().Run([command = *command] { return StartAndWait(command); }, script);
}

sim::Desktop::Script AddPrintToFileScript(WString& finish)
{
    return [&finish] {
        HWND sheet = Sheet();
        ASSERT_TRUE(sheet);
        ASSERT_EQ(CurrentPage(), UINT{IDD_SEARCH});
        ASSERT_TRUE(
            D().WaitUntil([&] { return D().IsEnabled(D().Control(sheet, IDC_SEARCH_AGAIN)); }, 60 * 1000));
        D().Click(D().Control(sheet, IDC_PRINT_TO_FILE));
        for (UINT page = CurrentPage(); page != IDD_FINISH && page != IDD_INSTALL_PROGRESS;
             page = CurrentPage())
        {
            ClickNext();
            ASSERT_NE(CurrentPage(), page) << "stuck on page " << page;
        }
        ASSERT_TRUE(D().WaitUntil([] { return CurrentPage() == IDD_FINISH; }, 60 * 1000));
        finish = D().Text(D().Control(sheet, IDC_RESULT));
        D().Click(D().Control(sheet, kFinishButton));
    };
}

void OlderClassicDriverInstalled()
{
    ASSERT_FALSE(test::MachineWithV3().empty());
    sim::PrinterSetup office;
    office.name = u"Office";
    office.driverName = test::kSharedModel;
    sim::spooler().AddPrinter(office);
}

void NewerClassicPackageBesideTheProgram()
{
    test::PutV3Package(u"C:\\Setup");
    const WString inf = u"C:\\Setup\\Win64\\VelmoQ7.inf";
    std::string text = sim::files().Bytes(inf).value_or("");
    const std::string from = "DriverVer=03/15/2021,1.2.0.0";
    const size_t at = text.find(from);
    ASSERT_NE(at, std::string::npos);
    text.replace(at, from.size(), "DriverVer=06/01/2022,1.3.0.0");
    sim::files().Put(inf, text);
    sim::ProcessSetup spooler;
    spooler.imagePath = u"C:\\Windows\\System32\\spoolsv.exe";
    spooler.modules = {u"C:\\Windows\\System32\\spool\\drivers\\x64\\3\\VelmQ7UI.dll",
                       u"C:\\Windows\\System32\\VelmoQ7L.dll"};
    sim::processes().Add(spooler);
}

void OlderClassicDriverBesideANewerPackage()
{
    OlderClassicDriverInstalled();
    NewerClassicPackageBesideTheProgram();
}

} // namespace kgsetup::testing
