// The pages that lead to an installation: the default printer name and the name check, the Install
// page's summary, question and driver settlement, the version dialog, and a whole "/fs" install
// that a user clicks through to the Finish page.
#include "wizard_fixture.h"

#include <sim/port_monitors.h>
#include <sim/spooler.h>
#include <testing/machines.h>
#include <testing/on_machine.h>

#include <algorithm>
#include <filesystem>

namespace kgsetup::testing
{
namespace
{
using namespace KGSetupPropertySheet;

constexpr const char16_t* kSetup64 = u"C:\\Setup\\KGSetup64.exe";
constexpr const char16_t* kSetup32 = u"C:\\Setup\\KGSetup.exe";
constexpr int kFinishButton = 0x3025;

WString TableText(UINT language, int id)
{
    static const std::vector<MessageTableEntry> tables = LoadMessageTables();
    return ChooseMessageTable(tables, language)->Text(id);
}

// A name for a failure message (the names here are ASCII).
std::string Shown(WStringView text)
{
    std::string out;
    for (WCHAR c : text)
        out += c < 0x80 ? static_cast<char>(c) : '?';
    return out;
}

// Printers that exist, compared without case as the spooler does.
std::function<bool(const WString&)> Existing(std::vector<WString> names)
{
    return [names = std::move(names)](const WString& name) {
        return std::any_of(names.begin(), names.end(),
                           [&](const WString& n) { return lstrcmpiW(n.c_str(), name.c_str()) == 0; });
    };
}

class InstallPagesTest : public ::testing::Test
{
protected:
    void SetUp() override { PrepareMachine(); }
};

TEST_F(InstallPagesTest, AModelChosenBringsItsDriverKind)
{
    CSetupContext c;
    c.models = {u"Velmo KG-100", u"Velmo KG-300"};
    c.modelMap = {{u"Velmo KG-100", 3}};
    for (auto [index, kind] : {std::pair<UINT, int>{0, 3}, {1, 0}, {7, 0}})
    {
        c.driverKind = 4;
        c.SelectModel(index);
        EXPECT_EQ(c.selectedModel, index);
        EXPECT_EQ(c.driverKind, kind) << index;
    }
}

TEST_F(InstallPagesTest, TheDefaultNameIsAFreeNameThatFits)
{
    const WString model40 = u"Velmo KG-100 with a very long model name";
    const WString model31 = model40.substr(0, 31);
    struct Case
    {
        const char* name;
        WORD connectionKind;
        int driverKind;
        WString model;
        std::vector<WString> existing;
        WString expected;
    };
    const Case cases[] = {
        {"first free", 4, 4, u"X", {u"X", u"x_1"}, u"X_2"},
        {"cut to fit", 4, 4, model40, {}, model31},
        {"cut again to stay free", 4, 4, model31, {model31}, model40.substr(0, 29) + u"_1"},
        {"V4 file suffix", 2, 4, u"X", {}, u"X [File]"},
        {"V3 file suffix", 2, 3, u"X", {u"X Print to File"}, u"X Print to File_1"},
        {"V3 file suffix kept", 2, 3, model40, {}, model40.substr(0, 17) + u" Print to File"},
        {"connect later", 0, 4, u"X", {}, u""},
        {"normalised", 4, 4, u"Velmo Ranth KG-100", {}, u"Velmo KG-100"},
    };
    CSetupContext c;
    for (const Case& k : cases)
    {
        SCOPED_TRACE(k.name);
        c.connectionKind = k.connectionKind;
        c.driverKind = k.driverKind;
        c.models = {u"other", k.model};
        c.selectedModel = 1;
        WString name = MakeDefaultPrinterName(c, Existing(k.existing));
        EXPECT_EQ(name, k.expected);
        EXPECT_LE(name.size(), 31u);
    }
    // A found device names the printer, not the model list.
    c.connectionKind = 3;
    c.selectedDevice = FoundDevice{};
    c.selectedDevice->displayName = u"Velmo Ranth KG-300";
    EXPECT_EQ(MakeDefaultPrinterName(c, Existing({})), u"Velmo KG-300");
}

TEST_F(InstallPagesTest, ANameIsCheckedWithoutItsTrailingBlanks)
{
    struct Case
    {
        WString typed;
        WORD connectionKind;
        int driverKind;
        DWORD buttons;
        int warning;
    };
    constexpr DWORD kBoth = PSWIZB_BACK | PSWIZB_NEXT;
    const Case cases[] = {
        {u"Office", 4, 4, kBoth, 0},
        {u"Office \t\u3000", 4, 4, kBoth, 0},
        {u"Printer A ", 4, 4, PSWIZB_BACK, IDC_WARNING_INVALID}, // exists once trimmed
        {u"printer a", 4, 4, PSWIZB_BACK, IDC_WARNING_INVALID},  // in another case
        {u"A,B", 4, 4, PSWIZB_BACK, IDC_WARNING_INVALID},
        {u"A\\B", 4, 4, PSWIZB_BACK, IDC_WARNING_INVALID},
        {u"", 4, 4, PSWIZB_BACK, IDC_WARNING_INVALID},
        {u"   ", 4, 4, PSWIZB_BACK, IDC_WARNING_INVALID},
        {u"Office", 2, 3, PSWIZB_BACK, IDC_WARNING_PRINT_TO_FILE},
        {u"Office Print to File", 2, 3, kBoth, 0},
        {u"Office", 2, 4, kBoth, 0},
    };
    CSetupContext c;
    for (const Case& k : cases)
    {
        c.connectionKind = k.connectionKind;
        c.driverKind = k.driverKind;
        NameCheck check = CheckPrinterName(k.typed, c, Existing({u"Printer A"}));
        EXPECT_EQ(check.buttons, k.buttons) << Shown(k.typed);
        EXPECT_EQ(check.warning, k.warning) << Shown(k.typed);
    }
}

TEST_F(InstallPagesTest, TheDefaultNameIsMadeAgainForAnotherDevice)
{
    CPropSheetName name;
    CPropSheetInstall install;
    std::vector<WString> shown;
    RunPages(
        [](CSetupContext& c) {
            c.connectionKind = 3;
            c.updateAvailable = 0;
            c.selectedDevice = FoundDevice{};
            c.selectedDevice->displayName = u"Velmo KG-100";
            c.selectedDevice->localKey = u"USB001";
            SetPageSequence(IDD_NAME, {IDD_NAME, IDD_INSTALL});
        },
        [&](PROPSHEETPAGEW& record) {
            return std::vector<HPROPSHEETPAGE>{name.CreatePage(record), install.CreatePage(record)};
        },
        [&] {
            HWND edit = D().Control(Sheet(), IDC_PRINTER_NAME);
            shown.push_back(D().Text(edit));
            // The user went back to the search and chose another duplicator of the same model list.
            Context().selectedDevice->displayName = u"Velmo KG-300";
            Context().selectedDevice->localKey = u"USB002";
            ClickNext();
            ClickBack();
            shown.push_back(D().Text(edit));
            // The same device again: what the user typed stays.
            D().Type(edit, u"Mine");
            ClickNext();
            ClickBack();
            shown.push_back(D().Text(edit));
            D().Click(D().Control(Sheet(), IDCANCEL));
        });
    EXPECT_EQ(shown, (std::vector<WString>{u"Velmo KG-100", u"Velmo KG-300", u"Mine"}));
}

TEST_F(InstallPagesTest, AV3PrintToFileNameMustSaySo)
{
    CPropSheetName name;
    struct Seen
    {
        WString proposed, note;
        bool icon = false, invalid = false, printToFile = false, next = false;
    };
    std::vector<Seen> seen;
    RunPages(
        [](CSetupContext& c) {
            c.connectionKind = 2;
            c.driverKind = 3;
            c.models = {u"Velmo KG-100"};
            SetPageSequence(IDD_NAME, {IDD_NAME, IDD_INSTALL});
        },
        [&](PROPSHEETPAGEW& record) { return std::vector<HPROPSHEETPAGE>{name.CreatePage(record)}; },
        [&] {
            HWND sheet = Sheet();
            auto look = [&] {
                seen.push_back({D().Text(D().Control(sheet, IDC_PRINTER_NAME)),
                                D().Text(D().Control(sheet, IDC_WARNING_PRINT_TO_FILE)),
                                D().IsVisible(D().Control(sheet, IDC_WARNING_ICON)),
                                D().IsVisible(D().Control(sheet, IDC_WARNING_INVALID)),
                                D().IsVisible(D().Control(sheet, IDC_WARNING_PRINT_TO_FILE)),
                                D().IsEnabled(D().Control(sheet, kSheetNextButton))});
            };
            look();
            D().Type(D().Control(sheet, IDC_PRINTER_NAME), u"Mine");
            look();
            D().Click(D().Control(sheet, IDC_PRINTER_NAME_NOTE)); // "Default name" puts it back
            look();
            D().Click(D().Control(sheet, IDCANCEL));
        });
    ASSERT_EQ(seen.size(), 3u);
    WString note = TableText(9, 66);
    note.replace(note.find(u"%s"), 2, u"Print to File");
    for (size_t i : {0u, 2u})
    {
        EXPECT_EQ(seen[i].proposed, u"Velmo KG-100 Print to File");
        EXPECT_FALSE(seen[i].icon || seen[i].invalid || seen[i].printToFile);
        EXPECT_TRUE(seen[i].next);
    }
    EXPECT_EQ(seen[1].note, note);
    EXPECT_TRUE(seen[1].icon && seen[1].printToFile);
    EXPECT_FALSE(seen[1].invalid);
    EXPECT_FALSE(seen[1].next);
}

TEST_F(InstallPagesTest, APortTheMonitorRefusesIsNeitherListedNorChosen)
{
    constexpr DWORD kFault = ERROR_GEN_FAILURE;
    const WString port = u"KORIGRAPH_192.168.0.7";
    CPropSheetPort page;
    std::optional<sim::MessageBoxShown> refusal;
    RunPages([](CSetupContext&) { SetPageSequence(IDD_PORT, {IDD_PORT}); },
             [&](PROPSHEETPAGEW& record) { return std::vector<HPROPSHEETPAGE>{page.CreatePage(record)}; },
             [&] {
                 HWND sheet = Sheet();
                 HWND ports = D().Control(sheet, IDC_LIST);
                 HWND add = D().Control(sheet, IDC_ADD_TCPIP_PORT);
                 HWND next = D().Control(sheet, kSheetNextButton);
                 auto rowOf = [&] {
                     std::vector<WString> items = D().Items(ports);
                     for (size_t i = 0; i < items.size(); ++i)
                         if (items[i].substr(0, port.size()) == port)
                             return static_cast<int>(i);
                     return -1;
                 };
                 D().Type(D().Control(sheet, IDC_IP_ADDRESS), u"192.168.0.7");
                 sim::faults().FailNext("XcvDataW", kFault);
                 D().Click(add);
                 refusal = D().MessageBox();
                 if (refusal)
                     D().AnswerMessageBox(IDOK);
                 EXPECT_EQ(rowOf(), -1);
                 EXPECT_EQ(D().Selection(ports), -1);
                 EXPECT_FALSE(D().IsEnabled(next));
                 // The monitor takes it the second time.
                 D().Click(add);
                 int row = rowOf();
                 ASSERT_GE(row, 0);
                 EXPECT_EQ(D().Selection(ports), row);
                 EXPECT_TRUE(D().IsEnabled(next));
                 // A refused delete leaves the port listed; the next one takes it away.
                 for (bool refused : {true, false})
                 {
                     D().RightClickItem(ports, rowOf());
                     if (refused)
                         sim::faults().FailNext("XcvDataW", kFault);
                     D().AnswerPopupMenu(IDM_PORT_DELETE);
                     EXPECT_EQ(rowOf() >= 0, refused);
                     EXPECT_EQ(sim::portMonitors().Port(port).has_value(), refused);
                 }
                 D().Click(D().Control(sheet, IDCANCEL));
             });
    ASSERT_TRUE(refusal);
    WCHAR text[512] = {};
    FormatMessageW(FORMAT_MESSAGE_FROM_SYSTEM | FORMAT_MESSAGE_IGNORE_INSERTS, nullptr, kFault, 0, text, 512,
                   nullptr);
    EXPECT_EQ(refusal->text, WString(text));
}

TEST_F(InstallPagesTest, OddPortsAndAddressesLeaveAClearState)
{
    const WString longName(200, u'P');
    const WString longDescription(200, u'd');
    sim::spooler().AddPort({u"", u"Local Port", u""});
    sim::spooler().AddPort({u"   ", u"Local Port", u"Has  (brackets)"});
    sim::spooler().AddPort({longName, u"Local Port", longDescription});
    CPropSheetPort page;
    std::vector<WString> rows;
    std::vector<int> chosen;
    std::vector<size_t> tcpIpPorts;
    RunPages([](CSetupContext&) { SetPageSequence(IDD_PORT, {IDD_PORT}); },
             [&](PROPSHEETPAGEW& record) { return std::vector<HPROPSHEETPAGE>{page.CreatePage(record)}; },
             [&] {
                 HWND sheet = Sheet();
                 HWND ports = D().Control(sheet, IDC_LIST);
                 rows = D().Items(ports);
                 for (int row = static_cast<int>(rows.size()) - 1; row >= 0; --row)
                 {
                     D().Pick(ports, row);
                     chosen.push_back(Context().selectedPort);
                 }
                 // Blank, partial and 0.0.0.0 add nothing; every field at its top is an address.
                 auto tcpIpCount = [] {
                     size_t count = 0;
                     for (const sim::PortRecord& p : sim::portMonitors().Ports())
                         count += p.tcpIp.has_value();
                     return count;
                 };
                 D().Click(D().Control(sheet, IDC_ADD_TCPIP_PORT)); // nothing typed yet
                 tcpIpPorts.push_back(tcpIpCount());
                 for (const char16_t* typed : {u"10.1.2", u"0.0.0.0", u"255.255.255.255"})
                 {
                     D().Type(D().Control(sheet, IDC_IP_ADDRESS), typed);
                     D().Click(D().Control(sheet, IDC_ADD_TCPIP_PORT));
                     tcpIpPorts.push_back(tcpIpCount());
                 }
                 D().Click(D().Control(sheet, IDCANCEL));
             });
    const std::vector<WString> expected = {u"     (   )", u"     (Has  (brackets))",
                                           longName + u"  (" + longDescription + u")"};
    ASSERT_GE(rows.size(), expected.size());
    EXPECT_EQ(std::vector<WString>(rows.end() - 3, rows.end()), expected);
    // Each row chooses its own port, a description holding "  (" included.
    std::vector<int> byRow(chosen.rbegin(), chosen.rend());
    for (size_t row = 0; row < byRow.size(); ++row)
        EXPECT_EQ(byRow[row], static_cast<int>(row));
    EXPECT_EQ(tcpIpPorts, (std::vector<size_t>{0, 0, 0, 1}));
    EXPECT_TRUE(sim::portMonitors().Port(u"KORIGRAPH_255.255.255.255"));
}

// The Install page alone (then the Finish page) with a context the test sets.
struct InstallSeen
{
    WString connection, printer, port;
    WString nextText;
    std::optional<sim::MessageBoxShown> question;
    UINT page = 0;
    UINT status = 0;
    int versionCompare = -1;
    WString finishText;
};

// The user's answer to a box that cannot be made: none.
constexpr int kBoxNotMade = -1;

InstallSeen RunInstallPage(const std::function<void(CSetupContext&)>& adjust, int answer = 0)
{
    InstallSeen seen;
    CPropSheetInstall install;
    CPropSheetFinish finish;
    RunPages(
        [&](CSetupContext& c) {
            c.updateAvailable = 0;
            adjust(c);
            SetPageSequence(IDD_INSTALL, {IDD_INSTALL, IDD_FINISH});
        },
        [&](PROPSHEETPAGEW& record) {
            return std::vector<HPROPSHEETPAGE>{install.CreatePage(record), finish.CreatePage(record)};
        },
        [&] {
            HWND sheet = Sheet();
            ASSERT_TRUE(sheet);
            seen.connection = D().Text(D().Control(sheet, IDC_SUMMARY_CONNECTION));
            seen.printer = D().Text(D().Control(sheet, IDC_SUMMARY_PRINTER));
            seen.port = D().Text(D().Control(sheet, IDC_SUMMARY_PORT));
            seen.nextText = D().Text(D().Control(sheet, kSheetNextButton));
            if (!answer)
            {
                D().Click(D().Control(sheet, IDCANCEL));
                return;
            }
            if (answer == kBoxNotMade)
                sim::faults().FailNext("CreateWindowExW", ERROR_NOT_ENOUGH_MEMORY);
            ClickNext();
            seen.question = D().MessageBox();
            if (seen.question)
                D().AnswerMessageBox(answer);
            seen.page = CurrentPage();
            seen.status = Context().statusWord;
            seen.versionCompare = Context().versionCompare;
            seen.finishText = D().Text(D().Control(sheet, IDC_RESULT));
            D().Click(D().Control(sheet, kFinishButton));
        });
    return seen;
}

TEST_F(InstallPagesTest, TheSummaryFollowsTheConnection)
{
    auto device = [](int kind) {
        FoundDevice d;
        d.kind = kind;
        d.portName = u"USB001";
        d.ipAddress = u"10.1.2.3";
        return d;
    };
    struct Case
    {
        const char* name;
        WORD connectionKind;
        std::optional<FoundDevice> device;
        WString connection, printer, port;
    };
    const Case cases[] = {
        {"later", 0, std::nullopt, TableText(9, 45), TableText(9, 72), TableText(9, 74)},
        {"file", 2, std::nullopt, TableText(9, 48), u"Office", u"NUL:"},
        {"usb", 3, device(0), TableText(9, 46), u"Office", u"USB001"},
        {"lpt", 3, device(2), TableText(9, 50), u"Office", u"USB001"},
        {"network", 3, device(1), TableText(9, 51), u"Office", u"KORIGRAPH_10.1.2.3"},
        {"custom", 4, std::nullopt, TableText(9, 52), u"Office", u"IP_9  (Standard TCP/IP Port)"},
        {"file only", 1, std::nullopt, u"", u"", u""},
        {"device gone", 3, std::nullopt, u"", u"", u""},
    };
    for (const Case& k : cases)
    {
        SCOPED_TRACE(k.name);
        InstallSeen seen = RunInstallPage([&](CSetupContext& c) {
            c.connectionKind = k.connectionKind;
            c.selectedDevice = k.device;
            c.printerName = u"Office";
            c.portNames = {u"COM1:", u"IP_9"};
            c.portDescriptions = {u"Local Port", u"Standard TCP/IP Port"};
            c.selectedPort = 1;
        });
        EXPECT_EQ(seen.connection, k.connection);
        EXPECT_EQ(seen.printer, k.printer);
        EXPECT_EQ(seen.port, k.port);
        EXPECT_EQ(seen.nextText, TableText(9, 76));
    }
}

TEST_F(InstallPagesTest, TheV3QuestionListsThePrintersToRemove)
{
    for (int answer : {IDYES, IDNO})
    {
        sim::machine().Reset();
        PrepareMachine();
        InstallSeen seen = RunInstallPage(
            [](CSetupContext& c) {
                c.connectionKind = 4;
                c.updateAvailable = 1;
                c.versionCompare = 0;
                c.printersToUpdate = {u"Old A", u"Old B"};
            },
            answer);
        ASSERT_TRUE(seen.question);
        const WString rule = u"\r\n  ================================= ";
        EXPECT_EQ(seen.question->text, TableText(9, 78) + rule + u"\r\n  " + TableText(9, 79) +
                                           u"\r\n  - Old A\r\n  - Old B" + rule);
        EXPECT_EQ(seen.question->caption, TableText(9, 77));
        EXPECT_EQ(seen.question->type, static_cast<UINT>(MB_ICONQUESTION | MB_YESNO));
        EXPECT_EQ(seen.versionCompare, answer == IDYES ? 2 : 0);
        // No maker INF is installed: nothing to install from.
        EXPECT_EQ(seen.page, static_cast<UINT>(IDD_FINISH));
        EXPECT_EQ(seen.status, 0x64000000u);
    }
}

TEST_F(InstallPagesTest, AV3QuestionThatCannotBeAskedFailsWithItsCode)
{
    InstallSeen seen = RunInstallPage(
        [](CSetupContext& c) {
            c.connectionKind = 4;
            c.updateAvailable = 1;
            c.versionCompare = 0;
            c.printersToUpdate = {u"Old A"};
        },
        kBoxNotMade);
    EXPECT_FALSE(seen.question);
    EXPECT_EQ(seen.versionCompare, 0);
    EXPECT_EQ(seen.page, static_cast<UINT>(IDD_FINISH));
    EXPECT_EQ(seen.status, 0x64000000u);
    const WString expected = TableText(9, 140) + u"\r\n\r\n\r\nError Code:\t0x00000008\r\n";
    EXPECT_EQ(seen.finishText.substr(0, expected.size()), expected);
}

TEST_F(InstallPagesTest, TheDriverIsSettledFromTheInstalledInfs)
{
    struct Case
    {
        const char* name;
        bool v3, v4;
        int driverKind;
        int driverInstalled;
        WString model;
        bool settles;
        int kind;    // after
        bool fromV4; // the INF chosen
    };
    const Case cases[] = {
        {"model in the V4 INF", true, true, 0, 0, u"KG-100", true, 4, true},
        {"model not in it", true, true, 0, 0, u"KG-999", true, 3, false},
        {"no V3 to fall back on", false, true, 0, 0, u"KG-999", false, 0, false},
        {"no V4 INF", true, false, 0, 0, u"KG-100", false, 0, false},
        {"installed V3", true, true, 3, 1, u"", true, 3, false},
        {"installed V4", true, true, 4, 1, u"", true, 4, true},
        {"installed V4 gone", true, false, 4, 1, u"", false, 4, false},
        {"package's own", false, false, 4, 0, u"", true, 4, false},
    };
    for (const Case& k : cases)
    {
        SCOPED_TRACE(k.name);
        sim::machine().Reset();
        PrepareMachine();
        WString v3 = k.v3 ? kgsetup::test::MachineWithV3() : WString();
        WString v4 = k.v4 ? kgsetup::test::MachineWithV4() : WString();
        struct Result
        {
            bool settled = false;
            int kind = -1;
            WString inf;
        };
        Result r = OnMachine([&] {
            *g_setupContext = std::make_unique<CSetupContext>();
            CSetupContext& c = Context();
            c.driverKind = k.driverKind;
            c.driverInstalled = k.driverInstalled;
            c.connectionKind = 4;
            c.models = {k.model};
            c.selectedModel = 0;
            c.installedInfPath = u"unchanged";
            CPropSheetInstall page;
            Result out{page.SettleDriver(), c.driverKind, c.installedInfPath};
            g_setupContext->reset();
            return out;
        });
        EXPECT_EQ(r.settled, k.settles);
        EXPECT_EQ(r.kind, k.kind);
        if (k.settles && (k.driverInstalled || k.driverKind == 0))
            EXPECT_EQ(r.inf, u"C:\\Windows\\INF\\" + (k.fromV4 ? v4 : v3));
        else
            EXPECT_EQ(r.inf, u"unchanged");
    }
}

TEST_F(InstallPagesTest, TheVersionDialogShowsTheProgramsRecord)
{
    const std::filesystem::path fixtures =
        std::filesystem::path(KGSETUP_RC).parent_path() / "tests" / "fixtures";
    D().RegisterResources(u"About25.exe", fixtures / "about25.rc");
    struct Case
    {
        const char* name;
        WString module;
        WString version, build, notice;
    };
    const WString notice150 = WString(u"Copyright notice ") + WString(133, u'x');
    const Case cases[] = {
        {"2.5", u"C:\\Setup\\About25.exe", u"Version 2.05", u"Build x64", notice150.substr(0, 99)},
        {"no record", u"C:\\Setup\\Missing.exe", u"", u"", u""},
    };
    for (const Case& k : cases)
    {
        SCOPED_TRACE(k.name);
        INT_PTR result = -2;
        D().Run(
            [&]() -> DWORD {
                *g_setupContext = std::make_unique<CSetupContext>();
                Context().modulePath = k.module;
                result = RunModalDialog(std::make_unique<CDialogAboutBox>(), GetModuleHandleW(nullptr),
                                        IDD_ABOUT, nullptr);
                g_setupContext->reset();
                return 0;
            },
            [&] {
                HWND box = D().TopWindow(u"Version Information");
                ASSERT_TRUE(box);
                EXPECT_EQ(D().Text(D().Control(box, IDC_VERSION)), k.version);
                EXPECT_EQ(D().Text(D().Control(box, IDC_BUILD)), k.build);
                EXPECT_EQ(D().Text(D().Control(box, IDC_NOTICE)), k.notice);
                RECT client{};
                GetClientRect(box, &client);
                EXPECT_EQ(client.right, 300);
                EXPECT_EQ(client.bottom, 270);
                D().Click(D().Control(box, IDOK));
            });
        EXPECT_EQ(result, 1);
    }
}

TEST_F(InstallPagesTest, The32BitBuildSaysSoInItsVersionDialog)
{
    sim::machine().SetSystem64(false);
    sim::files().Put(kSetup32, "MZ");
    kgsetup::test::PutV4Package(u"C:\\Setup");
    WString build;
    D().Run(kSetup32, u"", [&] {
        ASSERT_EQ(CurrentPage(), static_cast<UINT>(IDD_WELCOME));
        D().Click(D().Control(Sheet(), IDC_ABOUT));
        HWND box = D().TopWindow(u"Version Information");
        ASSERT_TRUE(box);
        build = D().Text(D().Control(box, IDC_BUILD));
        D().Close(box);
        D().Click(D().Control(Sheet(), IDCANCEL));
    });
    EXPECT_EQ(build, TableText(9, 17));
}

// A whole install from the package beside the program, as a user clicks through it.
TEST_F(InstallPagesTest, AUserInstallsOnATcpIpPortHeAdds)
{
    sim::files().Put(kSetup64, "MZ");
    kgsetup::test::PutCompleteV4Package(u"C:\\Setup");
    // A port of ours that a printer uses, and a port that is not ours.
    sim::PortRecord used;
    used.name = u"KORIGRAPH_10.0.0.9";
    used.monitor = WString(sim::kTcpIpPortMonitor);
    used.tcpIp.emplace().hostAddress = u"10.0.0.9";
    sim::portMonitors().AddPort(used);
    sim::spooler().AddPort({used.name, used.monitor, used.monitor});
    sim::PrinterSetup office;
    office.name = u"Office";
    office.driverName = u"Other Driver";
    office.portName = used.name;
    sim::spooler().AddPrinter(office);

    const WString port = u"KORIGRAPH_192.168.0.5";
    DWORD exitCode = D().Run(kSetup64, u"/fs", [&] {
        HWND sheet = Sheet();
        ASSERT_EQ(CurrentPage(), static_cast<UINT>(IDD_WELCOME));
        EXPECT_EQ(D().Text(D().Control(sheet, IDC_WELCOME_TEXT)),
                  TableText(9, 5) + u"\r\n\r\n" + TableText(9, 7) + u"\r\n\r\n" + TableText(9, 8));
        // Japanese and back: every text follows.
        HWND language = D().Control(sheet, IDC_LANGUAGE);
        D().Pick(language, 1);
        EXPECT_EQ(D().Text(D().Control(sheet, IDC_ABOUT)), TableText(17, 10));
        EXPECT_EQ(D().Text(D().Control(sheet, IDC_WINDOWS7_NOTE)), TableText(17, 11));
        // The licence opens in the language chosen, its caret after the agreement.
        D().Click(D().Control(sheet, IDC_LICENCE));
        HWND eula = D().TopWindow(TableText(17, 13));
        ASSERT_TRUE(eula);
        EXPECT_EQ(D().Text(D().Control(eula, IDC_AGREEMENT)), TableText(17, 0));
        EXPECT_EQ(D().Text(D().Control(eula, IDC_INSTRUCTION)), TableText(17, 14));
        D().Close(eula);
        D().Pick(language, 0);
        EXPECT_EQ(D().Text(D().Control(sheet, IDC_LICENCE)), TableText(9, 9));
        D().Click(D().Control(sheet, IDC_ABOUT));
        HWND about = D().TopWindow(u"Version Information");
        ASSERT_TRUE(about);
        EXPECT_EQ(D().Text(D().Control(about, IDC_VERSION)), u"Version 7.06");
        EXPECT_EQ(D().Text(D().Control(about, IDC_BUILD)), TableText(9, 16));
        D().Click(D().Control(about, IDOK));
        const WString nextText = D().Text(D().Control(sheet, kSheetNextButton));

        ClickNext();
        ASSERT_EQ(CurrentPage(), static_cast<UINT>(IDD_PRINTER));
        EXPECT_EQ(HeaderTitle(), TableText(9, 54));
        HWND models = D().Control(sheet, IDC_LIST);
        ASSERT_TRUE(D().PickText(models, kgsetup::test::kSharedModel));

        ClickNext();
        ASSERT_EQ(CurrentPage(), static_cast<UINT>(IDD_PORT));
        HWND ports = D().Control(sheet, IDC_LIST);
        HWND next = D().Control(sheet, kSheetNextButton);
        // A partial address adds nothing.
        D().Type(D().Control(sheet, IDC_IP_ADDRESS), u"192.168.0");
        EXPECT_FALSE(D().IsEnabled(next));
        EXPECT_EQ(D().Selection(ports), -1);
        D().Click(D().Control(sheet, IDC_ADD_TCPIP_PORT));
        EXPECT_FALSE(sim::portMonitors().Port(u"KORIGRAPH_192.168.0.0"));
        EXPECT_FALSE(D().IsEnabled(next));
        D().Type(D().Control(sheet, IDC_IP_ADDRESS), u"192.168.0.5");
        D().Click(D().Control(sheet, IDC_ADD_TCPIP_PORT));
        int row = D().Selection(ports);
        ASSERT_GE(row, 0);
        EXPECT_EQ(D().Items(ports)[row].substr(0, port.size()), port);
        EXPECT_TRUE(D().IsEnabled(next));
        // Right-clicking a row of ours offers to delete it while no printer uses it.
        D().RightClickItem(ports, row);
        std::optional<sim::PopupMenuShown> menu = D().PopupMenu();
        ASSERT_TRUE(menu);
        EXPECT_EQ(menu->items,
                  (std::vector<sim::PopupMenuItemShown>{{IDM_PORT_DELETE, TableText(9, 60), false}}));
        D().AnswerPopupMenu(0);
        std::vector<WString> items = D().Items(ports);
        auto rowOf = [&](WStringView name) {
            for (size_t i = 0; i < items.size(); ++i)
                if (items[i].substr(0, name.size()) == name)
                    return static_cast<int>(i);
            return -1;
        };
        D().RightClickItem(ports, rowOf(used.name));
        menu = D().PopupMenu();
        ASSERT_TRUE(menu);
        EXPECT_TRUE(menu->items.at(0).grayed);
        D().AnswerPopupMenu(0);
        D().RightClickItem(ports, rowOf(u"COM1:"));
        EXPECT_FALSE(D().PopupMenu());
        EXPECT_EQ(D().Selection(ports), rowOf(u"COM1:"));
        D().Pick(ports, row);

        ClickNext();
        ASSERT_EQ(CurrentPage(), static_cast<UINT>(IDD_NAME));
        HWND name = D().Control(sheet, IDC_PRINTER_NAME);
        EXPECT_EQ(D().Text(name), kgsetup::test::kSharedModel);
        EXPECT_EQ(D().Icon(D().Control(sheet, IDC_WARNING_ICON), false), u"user32.dll#101");
        EXPECT_FALSE(D().IsVisible(D().Control(sheet, IDC_WARNING_INVALID)));
        for (const char16_t* refused : {u"A,B", u"office"})
        {
            D().Type(name, refused);
            EXPECT_TRUE(D().IsVisible(D().Control(sheet, IDC_WARNING_INVALID))) << Shown(refused);
            EXPECT_FALSE(D().IsEnabled(next)) << Shown(refused);
        }
        D().Type(name, u"X ");
        EXPECT_FALSE(D().IsVisible(D().Control(sheet, IDC_WARNING_ICON)));
        EXPECT_TRUE(D().IsEnabled(next));

        ClickNext();
        ASSERT_EQ(CurrentPage(), static_cast<UINT>(IDD_INSTALL));
        EXPECT_EQ(D().Text(next), TableText(9, 76));
        ClickBack();
        EXPECT_EQ(CurrentPage(), static_cast<UINT>(IDD_NAME));
        EXPECT_EQ(D().Text(next), nextText);
        ClickNext();
        ClickNext();
        ASSERT_TRUE(D().WaitUntil([] { return CurrentPage() == IDD_FINISH; }));
        EXPECT_EQ(D().Text(D().Control(sheet, IDC_RESULT)), TableText(9, 125));
        D().Click(D().Control(sheet, kFinishButton));
    });
    EXPECT_EQ(exitCode, 1u);
    std::optional<sim::PrinterSetup> printer = sim::spooler().Printer(u"X ");
    ASSERT_TRUE(printer);
    EXPECT_EQ(printer->driverName, kgsetup::test::kSharedModel);
    EXPECT_EQ(printer->portName, port);
    std::optional<sim::PortRecord> added = sim::portMonitors().Port(port);
    ASSERT_TRUE(added && added->tcpIp);
    EXPECT_EQ(added->tcpIp->hostAddress, u"192.168.0.5");
}

} // namespace
} // namespace kgsetup::testing
