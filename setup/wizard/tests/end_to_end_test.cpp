// Whole lives of the driver as a user lives them: installed through the wizard, removed again from
// the program's own "/uninstall" and from the uninstall entry Windows runs, updated from a newer
// package, and extended with a second printer; the machine compared with how it was before.
#include "end_to_end_fixture.h"

#include <sim/network.h>
#include <sim/snapshot.h>
#include <sim/spooler.h>
#include <testing/machines.h>

namespace kgsetup::testing
{
namespace
{
using namespace KGSetupPropertySheet;

TEST_F(EndToEndTest, InstalledThroughTheWizardAndRemovedWithUninstall)
{
    test::PutCompleteV4Package(u"C:\\Setup");
    const sim::Snapshot clean = sim::TakeSnapshot();
    InstallThroughTheWizard();
    ASSERT_FALSE(HasFailure());

    Removal seen;
    seen.exitCode = D().Run(kSetup64, u"/uninstall", RemoveEverythingScript(seen));
    AfterExit();
    ExpectWholeRemoval(seen);
    EXPECT_FALSE(sim::spooler().Printer(u"Office 2"));
    EXPECT_EQ(Unexpected(sim::Difference(clean, sim::TakeSnapshot())), std::vector<std::string>{});
}

TEST_F(EndToEndTest, TheRegisteredCopyRemovesWhatTheWizardInstalled)
{
    test::PutCompleteV4Package(u"C:\\Setup");
    const sim::Snapshot clean = sim::TakeSnapshot();
    InstallThroughTheWizard();
    ASSERT_FALSE(HasFailure());
    ASSERT_TRUE(sim::files().Exists(kUninstaller));

    const size_t startsBefore = sim::processes().Started().size();
    Removal seen;
    seen.exitCode = RunRegisteredCommand(u"UninstallString", RemoveEverythingScript(seen));
    const std::vector<sim::StartedProcess> started = sim::processes().Started();
    ASSERT_GT(started.size(), startsBefore);
    EXPECT_EQ(started[startsBefore].applicationPath, kUninstaller);
    AfterExit();
    ExpectWholeRemoval(seen);
    bool selfDelete = false;
    for (size_t i = startsBefore; i < started.size(); ++i)
        selfDelete = selfDelete || (started[i].commandLine.find(u"del /Q") != WString::npos &&
                                    started[i].commandLine.find(u"uninst.exe") != WString::npos);
    EXPECT_TRUE(selfDelete) << "the copy deletes itself at exit";
    EXPECT_FALSE(sim::files().Exists(kUninstaller));
    EXPECT_EQ(Unexpected(sim::Difference(clean, sim::TakeSnapshot())), std::vector<std::string>{});
}

TEST_F(EndToEndTest, AnOlderClassicDriverIsUpdatedFromTheModifyPage)
{
    OlderClassicDriverBesideANewerPackage();
    ASSERT_FALSE(HasFailure());
    WString line, finish;
    bool update = false, asked = true;
    D().Run(kSetup64, u"", [&] {
        HWND sheet = Sheet();
        ASSERT_TRUE(sheet);
        ASSERT_EQ(CurrentPage(), UINT{IDD_MODIFY});
        update = D().IsEnabled(D().Control(sheet, IDC_UPDATE_BUTTON));
        D().Click(D().Control(sheet, IDC_UPDATE_BUTTON));
        ASSERT_EQ(CurrentPage(), UINT{IDD_UPDATE});
        std::vector<WString> lines = D().Items(D().Control(sheet, IDC_UPDATE_LIST));
        ASSERT_EQ(lines.size(), 1u);
        line = lines[0];
        ClickNext();
        ASSERT_TRUE(D().WaitUntil(
            [] { return CurrentPage() == IDD_FINISH || D().TopWindow(u"Caution") != nullptr; }, 60 * 1000));
        asked = D().TopWindow(u"Caution") != nullptr;
        if (asked)
            D().Click(D().Control(D().TopWindow(u"Caution"), IDCANCEL));
        ASSERT_TRUE(D().WaitUntil([] { return CurrentPage() == IDD_FINISH; }, 60 * 1000));
        finish = D().Text(D().Control(sheet, IDC_RESULT));
        D().Click(D().Control(sheet, kFinishButton));
    });
    EXPECT_TRUE(update);
    EXPECT_EQ(line, u"KORIGRAPH Printer Driver (V3.0) Ver:1.2.0.0 Date:03/15/2021");
    EXPECT_FALSE(asked) << "only the spooler holds the modules: nothing to close";
    EXPECT_EQ(finish, TableText(126));
    std::vector<sim::DriverSetup> drivers = sim::spooler().Drivers();
    ASSERT_FALSE(drivers.empty());
    for (const sim::DriverSetup& d : drivers)
        EXPECT_EQ(d.driverVersion, 0x0001000300000000ull);
    std::optional<sim::PrinterSetup> office = sim::spooler().Printer(u"Office");
    ASSERT_TRUE(office) << "the printer is kept";
    EXPECT_EQ(office->driverName, test::kSharedModel);
}

TEST_F(EndToEndTest, ModifyAddsASecondPrinterWithTheInstalledDriver)
{
    test::PutCompleteV4Package(u"C:\\Setup");
    sim::network().AddInterface("192.168.1.10", "255.255.255.0");
    InstallThroughTheWizard();
    ASSERT_FALSE(HasFailure());
    const size_t packages = sim::spooler().Packages().size();

    WString finish;
    DWORD exitCode = D().Run(kSetup64, u"/modify", AddPrintToFileScript(finish));
    EXPECT_EQ(exitCode, 1u);
    EXPECT_EQ(finish, TableText(125));
    std::vector<sim::PrinterSetup> printers = sim::spooler().Printers();
    ASSERT_EQ(printers.size(), 2u);
    std::optional<sim::PrinterSetup> first = sim::spooler().Printer(u"Office 2");
    ASSERT_TRUE(first);
    EXPECT_EQ(first->driverName, test::kSharedModel);
    const sim::PrinterSetup& second = printers[printers[0].name == u"Office 2" ? 1 : 0];
    EXPECT_EQ(second.portName, u"NUL:");
    EXPECT_TRUE(second.driverName.ends_with(u" Print to File")) << "a model of the installed package";
    EXPECT_EQ(sim::spooler().Packages().size(), packages) << "the installed driver, not another";
}

} // namespace
} // namespace kgsetup::testing
