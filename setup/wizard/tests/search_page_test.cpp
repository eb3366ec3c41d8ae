// The Search page: what the device search finds on the simulated machine and network, which rows the
// package's models let through, picking, leaving while a search runs, and every call of a search
// failing once.
#include "page_search.h"
#include "wizard_fixture.h"

#include <sim/device_tree.h>
#include <sim/network.h>
#include <sim/spooler.h>
#include <testing/machines.h>

#include <cstring>
#include <string>

namespace kgsetup::testing
{
namespace
{
using KGSetupPropertySheet::CPropSheetSearch;
using Rows = std::vector<std::vector<WString>>;

constexpr UINT kEnglish = 2057, kGerman = 1031;

std::string Narrow(WStringView text)
{
    std::string out;
    for (WCHAR c : text)
        out += c < 0x80 ? static_cast<char>(c) : '?';
    return out;
}

// A V4 package of a language that lists these models.
void PutPackage(UINT lcid, std::initializer_list<const char*> models)
{
    std::string inf = "[Version]\r\nSignature=\"$Windows NT$\"\r\nClass=Printer\r\n"
                      "ClassGuid={4D36E979-E325-11CE-BFC1-08002BE10318}\r\nClassVer=4.0\r\nProvider=%Mfg%\r\n"
                      "DriverVer=06/01/2023,4.1.0.0\r\n\r\n[Manufacturer]\r\n%Mfg%=Velmo,NTamd64\r\n\r\n"
                      "[Velmo.NTamd64]\r\n";
    int count = 0;
    for (const char* model : models)
    {
        const std::string n = std::to_string(++count);
        inf += "\"" + std::string(model) + "\" = KG" + n + ", USBPRINT\\Model" + n + "\r\n";
    }
    inf += "\r\n[Strings]\r\nMfg=\"Velmo Ranth\"\r\n";
    sim::files().Put(u"C:\\Pkg\\" + LanguageFolderName(static_cast<int>(lcid)) + u"Driver\\VeKglV4.inf", inf);
}

void PackageContext(CSetupContext& c)
{
    c.moduleFolder = u"C:\\Pkg\\";
    c.folderLayout = 2;
    c.driverKind = 4;
    c.packageMask = 2 | 16; // English (AB paper) and German
    c.installLcid = kEnglish;
}

sim::NetCard Card(const std::string& address, const std::string& printer, std::uint8_t last)
{
    sim::NetCard card;
    card.address = address;
    card.printerName = printer;
    card.mac = {0x02, 0x00, 0x00, 0x12, 0x34, last};
    return card;
}

HWND Item(int id)
{
    return D().Control(Sheet(), id);
}

Rows ListRows()
{
    return D().Rows(Item(IDC_DEVICES));
}

bool NextEnabled()
{
    return D().IsEnabled(Item(0x3024));
}

// The search under way ran to its end: "Search again" comes back.
bool SearchEnds()
{
    return D().WaitUntil([] { return D().IsEnabled(Item(IDC_SEARCH_AGAIN)); }, 60'000);
}

void Cancel()
{
    D().Click(Item(IDCANCEL));
}

const Rows kUsbRow = {{u"Velmo KG-100", u"Local", u"USB"}};
const std::vector<WString> kLptRow = {u"Velmo KG-100", u"Local", u"LPT"};
const std::vector<WString> kCardRow = {u"Velmo KG-200", u"192.168.1.20", u"02:00:00:12:34:14"};

class SearchPageTest : public ::testing::Test
{
protected:
    void SetUp() override
    {
        PrepareMachine();
        PutPackage(kEnglish, {"Velmo KG-100", "Velmo KG-200"});
        PutPackage(kGerman, {"Velmo KG-200"});
        sim::network().AddInterface("192.168.1.10", "255.255.255.0");
        sim::network().AddInterface("10.0.0.10", "255.255.255.0");
    }

    // A package model's USB printer, a USB printer that reports no description, a parallel printer,
    // a card of a package model heard on both subnets and one of a model the package lacks.
    static void AttachEverything()
    {
        sim::UsbPrinterHardware usb;
        usb.serial = u"A1";
        sim::deviceTree().AttachUsbPrinter(usb);
        sim::UsbPrinterHardware anonymous;
        anonymous.vendorId = 0x04B8;
        anonymous.serial = u"B2";
        anonymous.description = u"";
        anonymous.printerId = u"OTHERPRINTER";
        sim::deviceTree().AttachUsbPrinter(anonymous);
        sim::deviceTree().AttachLptPrinter({});
        sim::network().AddCard(Card("192.168.1.20", "KG-200", 0x14));
        sim::network().AddCard(Card("10.0.0.30", "ZZ-999", 0x1E));
    }
};

TEST_F(SearchPageTest, ListsTheLocalPrintersAndCardsOfThePackagesModelsOnce)
{
    AttachEverything();
    std::vector<std::string> sentTo;
    RunWizard(PackageContext, [&] {
        ClickNext();
        ASSERT_EQ(CurrentPage(), IDD_SEARCH);
        EXPECT_EQ(HeaderTitle(), Context().Text(26));
        EXPECT_EQ(D().Text(Item(IDC_FOUND_DEVICE)), Context().Text(40));
        EXPECT_EQ(D().CheckState(Item(IDC_FOUND_DEVICE)), BST_CHECKED);
        EXPECT_FALSE(D().IsEnabled(Item(IDC_SEARCH_AGAIN))); // while it searches
        ASSERT_TRUE(SearchEnds());
        Rows expected = kUsbRow;
        expected.push_back(kLptRow);
        expected.push_back(kCardRow);
        EXPECT_EQ(ListRows(), expected);
        std::vector<sim::ListColumnShown> columns = {
            {Context().Text(42), 160}, {Context().Text(43), 160}, {Context().Text(44), 170}};
        EXPECT_EQ(D().Columns(Item(IDC_DEVICES)), columns);
        EXPECT_FALSE(NextEnabled()); // nothing picked yet
        Cancel();
    });
    // One discovery over the two directed broadcasts, and every socket closed.
    for (const sim::SentDatagram& d : sim::network().Sent())
        sentTo.push_back(d.to);
    EXPECT_EQ(sentTo, (std::vector<std::string>{"192.168.1.255", "10.0.0.255"}));
    EXPECT_EQ(sim::network().OpenSockets(), 0u);
}

TEST_F(SearchPageTest, APickChoosesACopyOfTheDeviceAndAClickOutsideTheRowsTakesItBack)
{
    AttachEverything();
    RunWizard(PackageContext, [&] {
        ClickNext();
        ASSERT_TRUE(SearchEnds());
        ASSERT_EQ(ListRows().size(), 3u);
        D().Pick(Item(IDC_DEVICES), 2);
        const CSetupContext& c = Context();
        ASSERT_TRUE(c.selectedDevice);
        EXPECT_EQ(c.selectedDevice->kind, 1);
        EXPECT_EQ(c.selectedDevice->ipAddress, u"192.168.1.20");
        EXPECT_EQ(c.selectedDevice->macAddress, u"02:00:00:12:34:14");
        EXPECT_EQ(c.connectionKind, 3);
        EXPECT_TRUE(NextEnabled());

        D().ClickOutsideRows(Item(IDC_DEVICES));
        EXPECT_FALSE(c.selectedDevice);
        EXPECT_FALSE(NextEnabled());
        EXPECT_TRUE(D().IsEnabled(Item(0x3023)));

        D().Pick(Item(IDC_DEVICES), 0);
        ASSERT_TRUE(c.selectedDevice);
        EXPECT_EQ(c.selectedDevice->portName, u"USB001");
        EXPECT_EQ(c.selectedDevice->localKey, u"USBPRINT\\VELMOKG-100ABCD");
        EXPECT_EQ(c.selectedDevice->detail, u"A1");
        // A found device goes on to its name: no model or port to choose.
        ClickNext();
        EXPECT_EQ(CurrentPage(), IDD_NAME);
        // Back searches again; the chosen device stays whole though its row went.
        ClickBack();
        EXPECT_EQ(CurrentPage(), IDD_SEARCH);
        EXPECT_TRUE(ListRows().empty());
        EXPECT_FALSE(NextEnabled());
        ASSERT_TRUE(SearchEnds());
        EXPECT_EQ(c.selectedDevice->portName, u"USB001");
        EXPECT_EQ(ListRows().size(), 3u);
        Cancel();
    });
}

TEST_F(SearchPageTest, LeavingWhileItSearchesEndsTheSearchAndLeavesTheNextPageAlone)
{
    AttachEverything();
    RunWizard(PackageContext, [&] {
        ClickNext();
        ASSERT_FALSE(D().IsEnabled(Item(IDC_SEARCH_AGAIN))); // the discovery waits for replies
        D().Click(Item(IDC_CUSTOM));
        EXPECT_EQ(Context().connectionKind, 4);
        EXPECT_FALSE(D().IsEnabled(Item(IDC_DEVICES)));
        ClickNext();
        EXPECT_EQ(CurrentPage(), IDD_PRINTER);
        // Nothing of the search is left to come back to the page it left.
        EXPECT_EQ(sim::network().OpenSockets(), 0u);
        D().Advance(5000);
        EXPECT_EQ(CurrentPage(), IDD_PRINTER);
        EXPECT_EQ(g_wizard->pageIndex, 2u);
        ClickNext();
        EXPECT_EQ(CurrentPage(), IDD_PORT);
        Cancel();
    });
}

TEST_F(SearchPageTest, ClosingTheSheetWhileItSearchesEndsTheSearchFirst)
{
    AttachEverything();
    DWORD result = RunWizard(PackageContext, [&] {
        ClickNext();
        ASSERT_FALSE(D().IsEnabled(Item(IDC_SEARCH_AGAIN)));
        Cancel();
    });
    EXPECT_EQ(result, 0u);
    EXPECT_EQ(sim::network().OpenSockets(), 0u);
}

TEST_F(SearchPageTest, ALanguageChosenDuringASearchSearchesAgainWithItsModels)
{
    AttachEverything();
    RunWizard(PackageContext, [&] {
        ClickNext();
        HWND combo = Item(IDC_INSTALL_LANGUAGE);
        EXPECT_EQ(D().Items(combo), (std::vector<WString>{Context().Text(30), Context().Text(31)}));
        EXPECT_EQ(D().Selection(combo), 1);
        D().Pick(combo, 0); // while the first search still waits for replies
        EXPECT_EQ(Context().installLcid, kGerman);
        ASSERT_TRUE(SearchEnds());
        EXPECT_EQ(ListRows(), Rows{kCardRow});
        EXPECT_EQ(sim::network().Sent().size(), 4u); // the second search ran its own discovery
        Cancel();
    });
}

TEST_F(SearchPageTest, SearchAgainWaitsLongerForReplies)
{
    RunWizard(PackageContext, [&] {
        ClickNext();
        ULONGLONG started = sim::virtualClock().Now();
        ASSERT_TRUE(SearchEnds());
        ULONGLONG first = sim::virtualClock().Now() - started;
        EXPECT_GE(first, 500u);
        EXPECT_LT(first, 1500u);
        D().Click(Item(IDC_SEARCH_AGAIN));
        EXPECT_FALSE(D().IsEnabled(Item(IDC_SEARCH_AGAIN)));
        started = sim::virtualClock().Now();
        ASSERT_TRUE(SearchEnds());
        EXPECT_GE(sim::virtualClock().Now() - started, 1500u);
        Cancel();
    });
}

TEST_F(SearchPageTest, SearchAgainAskedWhileASearchRunsRunsNextWithItsOwnWait)
{
    RunWizard(PackageContext, [&] {
        ClickNext();
        // Choosing the found devices again brings the button back while the first search waits.
        D().Click(Item(IDC_CUSTOM));
        D().Click(Item(IDC_FOUND_DEVICE));
        ASSERT_TRUE(D().IsEnabled(Item(IDC_SEARCH_AGAIN)));
        D().Click(Item(IDC_SEARCH_AGAIN));
        ASSERT_TRUE(SearchEnds());
        const std::vector<sim::SentDatagram> sent = sim::network().Sent();
        ASSERT_EQ(sent.size(), 4u); // both searches' queries, one to each subnet
        EXPECT_GE(sim::virtualClock().Now() - sent.back().time, 1500u);
        Cancel();
    });
}

TEST_F(SearchPageTest, AnInstalledDriverNamesTheModelsAndKeepsItsLanguage)
{
    sim::deviceTree().AttachUsbPrinter({});
    sim::network().AddCard(Card("192.168.1.20", "KG-200", 0x14));
    sim::files().Put(u"C:\\Windows\\INF\\oem7.inf",
                     "[Version]\r\nSignature=\"$Windows NT$\"\r\nClass=Printer\r\nProvider=%Mfg%\r\n"
                     "[Manufacturer]\r\n%Mfg%=Velmo,NTamd64\r\n[Velmo.NTamd64]\r\n"
                     "\"Velmo KG-200\" = KG1, USBPRINT\\Model1\r\n[Strings]\r\nMfg=\"Velmo Ranth\"\r\n");
    RunWizard(
        [](CSetupContext& c) {
            PackageContext(c);
            c.driverInstalled = 1;
            c.installedInfs = {{u"oem7.inf", u"C:\\Windows\\INF\\oem7.inf"}};
            c.mode = 3;
        },
        [&] {
            ASSERT_EQ(CurrentPage(), IDD_SEARCH);
            EXPECT_FALSE(D().IsEnabled(Item(IDC_CONNECT_LATER)));
            EXPECT_FALSE(D().IsEnabled(Item(IDC_INSTALL_LANGUAGE)));
            ASSERT_TRUE(SearchEnds());
            EXPECT_EQ(ListRows(), Rows{kCardRow}); // the installed INF's model, not the package's
            Cancel();
        });
}

TEST_F(SearchPageTest, WithoutWindowsSocketsTheLocalPrintersStillShow)
{
    sim::deviceTree().AttachUsbPrinter({});
    sim::network().AddCard(Card("192.168.1.20", "KG-200", 0x14));
    // Tried at 0, 200, 400 and 600 ms; one time-out (500 ms) has passed at the fourth.
    sim::faults().FailNext("WSAStartup", WSASYSNOTREADY, 4);
    RunWizard(PackageContext, [&] {
        ClickNext();
        ASSERT_TRUE(SearchEnds());
        EXPECT_EQ(ListRows(), kUsbRow);
        EXPECT_TRUE(sim::network().Sent().empty());
        Cancel();
    });
    EXPECT_TRUE(sim::faults().Pending().empty());
}

// Each call a search makes fails once: the search still ends, shows what it could find, and the next
// search finds everything.
TEST_F(SearchPageTest, EachFailingCallOfASearchLeavesThePageUsable)
{
    AttachEverything();
    struct Fault
    {
        const char* api;
        DWORD error;
    };
    const Fault faults[] = {
        {"EnumPortsW", ERROR_GEN_FAILURE},
        {"EnumPrintersW", ERROR_GEN_FAILURE},
        {"EnumPrinterDriversW", ERROR_GEN_FAILURE},
        {"CM_Locate_DevNodeW", CR_FAILURE},
        {"CM_Reenumerate_DevNode", CR_FAILURE},
        {"SetupDiGetClassDevsW", ERROR_GEN_FAILURE},
        {"SetupDiGetDeviceRegistryPropertyW", ERROR_GEN_FAILURE},
        {"SetupDiGetDevicePropertyW", ERROR_GEN_FAILURE},
        {"WSAStartup", WSASYSNOTREADY},
        {"GetIpAddrTable", ERROR_GEN_FAILURE},
        {"socket", WSAENETDOWN},
        {"bind", WSAEADDRINUSE},
        {"setsockopt", WSAENETDOWN},
        {"sendto", WSAENETDOWN},
        {"select", WSAENETDOWN},
        {"recvfrom", WSAECONNRESET},
        {"closesocket", WSAENETDOWN},
        {"CreateMutexW", ERROR_GEN_FAILURE},
    };
    Rows all = kUsbRow;
    all.push_back(kLptRow);
    all.push_back(kCardRow);
    for (const Fault& fault : faults)
    {
        SCOPED_TRACE(fault.api);
        RunWizard(PackageContext, [&] {
            sim::faults().FailNext(fault.api, fault.error);
            ClickNext();
            ASSERT_TRUE(SearchEnds());
            for (const std::vector<WString>& row : ListRows())
                EXPECT_NE(std::find(all.begin(), all.end(), row), all.end());
            D().Click(Item(IDC_SEARCH_AGAIN));
            ASSERT_TRUE(SearchEnds());
            EXPECT_EQ(ListRows(), all);
            Cancel();
        });
        EXPECT_TRUE(sim::faults().Pending().empty());
    }
}

TEST(SearchPageParts, DevicesAreTheSameByTheirKindsKey)
{
    auto device = [](int kind, const char16_t* key, const char16_t* address, const char16_t* port) {
        FoundDevice d;
        d.kind = kind;
        d.localKey = key;
        d.ipAddress = address;
        d.portName = port;
        return d;
    };
    struct Case
    {
        FoundDevice a, b;
        bool same;
    };
    const Case cases[] = {
        {device(0, u"USBPRINT\\A", u"", u"USB001"), device(0, u"USBPRINT\\A", u"", u"USB002"), true},
        {device(0, u"USBPRINT\\A", u"", u"USB001"), device(0, u"USBPRINT\\B", u"", u"USB001"), false},
        {device(1, u"", u"10.0.0.5", u""), device(1, u"x", u"10.0.0.5", u""), true},
        {device(1, u"", u"10.0.0.5", u""), device(1, u"", u"10.0.0.6", u""), false},
        {device(2, u"LPTENUM\\A", u"", u"LPT1:"), device(2, u"LPTENUM\\B", u"", u"LPT2:"), true},
        {device(0, u"K", u"", u""), device(2, u"K", u"", u""), false},
    };
    for (const Case& c : cases)
        EXPECT_EQ(c.a == c.b, c.same) << static_cast<int>(&c - cases);
}

TEST(SearchPageParts, TakesPortsAndDetailsFromTheIdsWithoutReadingPastThem)
{
    struct Case
    {
        const char16_t* instanceId;
        const char16_t* lptPort;
    };
    const Case cases[] = {
        {u"LPTENUM\\VELMOKG-100\\6&1A2B3C&0&LPT1.4", u"LPT1:"},
        {u"LPTENUM\\X\\1&2&LPT2:", u"LPT2:"},
        {u"LPTENUM\\X\\1&2&LPT3", u"LPT3:"},
        {u"LPTENUM\\X\\NOAMPERSAND", u""},
        {u"", u""},
        {u"A&", u""},
        {u"A&.4", u""},
    };
    for (const Case& c : cases)
        EXPECT_EQ(LptPortName(c.instanceId), c.lptPort) << Narrow(c.instanceId);

    LocalPrinterNode node;
    node.instanceId = u"USBPRINT\\VELMOKG-100ABCD\\7&2C1D3E&0&USB003";
    node.hardwareId = u"USBPRINT\\VELMOKG-100ABCD";
    node.busDescription = u"Velmo Ranth KG-100";
    node.parentId = u"USB\\VID_155E&PID_0004\\A1B2C3";
    FoundDevice usb = UsbDevice(node, {}, 4);
    EXPECT_EQ(usb.portName, u"USB003");
    EXPECT_EQ(usb.displayName, u"Velmo KG-100");
    EXPECT_EQ(usb.detail, u"A1B2C3");
    LocalPrinterNode bare;
    bare.instanceId = u"NOSEPARATORS";
    bare.busDescription = WString(1000, u'x');
    bare.parentId = u"NOBACKSLASH";
    usb = UsbDevice(bare, {}, 4);
    EXPECT_TRUE(usb.portName.empty());
    EXPECT_TRUE(usb.detail.empty());
    EXPECT_EQ(usb.displayName.size(), 1000u);
}

TEST(SearchPageParts, APortIsTakenOnlyByAPrinterOfTheSameDriverKind)
{
    SpoolerLists spooler;
    spooler.ports = {u"LPT1:", u"USB001", u"USB002", u"USB003"};
    spooler.printers = {{u"USB001", u"Velmo V4"},
                        {u"USB002", u"Velmo V3"},
                        {u"USB001", u"Velmo V3"},
                        {u"USB009", u"Velmo V4"}};
    spooler.drivers = {{u"Velmo V3", 3}, {u"velmo v4", 4}, {u"Velmo V4", 3}};
    struct Case
    {
        const char16_t* port;
        int kind;
        bool taken;
    };
    const Case cases[] = {
        {u"USB001", 4, true}, // the first printer on the port decides; names without case
        {u"usb001", 4, true},  {u"USB001", 3, false}, {u"USB002", 3, true},
        {u"USB003", 4, false}, {u"USB009", 4, false}, // no such port
        {u"", 4, false},
    };
    for (const Case& c : cases)
        EXPECT_EQ(PortTakenByDriverKind(spooler, c.port, c.kind), c.taken) << Narrow(c.port) << " " << c.kind;
}

TEST(SearchPageParts, ShowsADeviceWhenAModelEndsWithItsNormalisedName)
{
    const std::vector<WString> models = {u"Velmo KG-100", u"Velmo KG-300 Print to File"};
    struct Case
    {
        const char16_t* name;
        bool shown;
    };
    const Case cases[] = {
        {u"Velmo KG-100", true},  {u"KG-100", true}, {u"Velmo Ranth KG-100", true},
        {u"Velmo KG-10", false},  {u"", false},      {u"Velmo KG-100 Extra", false},
        {u"Print to File", true},
    };
    for (const Case& c : cases)
        EXPECT_EQ(ModelShown(models, c.name), c.shown) << Narrow(c.name);
}

TEST(SearchPageParts, OffersThePackagesLanguagesInTableOrder)
{
    struct Case
    {
        UINT mask, lcid;
        std::vector<UINT> lcids;
        int selected;
    };
    const Case cases[] = {
        {2 | 16, 2057, {1031, 2057}, 1},
        {2 | 16, 1041, {1031, 2057}, 0}, // not in the package: the first
        {1 | 64 | 512, 1041, {1034, 1041, 2052}, 1},
        {0, 2057, {}, -1},
    };
    for (const Case& c : cases)
    {
        LanguageChoices choices = LanguagesOffered(c.mask, c.lcid);
        std::vector<UINT> lcids;
        for (const InstallLanguage& l : choices.entries)
            lcids.push_back(l.lcid);
        EXPECT_EQ(lcids, c.lcids);
        EXPECT_EQ(choices.selected, c.selected);
    }
}

TEST(SearchPageParts, ReadsACardsRecordInTheOemCodePage)
{
    netfind::PrnSvrInfo card{};
    const std::uint8_t mac[6] = {0x02, 0x00, 0xAB, 0x12, 0x34, 0x56};
    std::memcpy(card.mac, mac, 6);
    const std::uint8_t ip[4] = {192, 168, 1, 200};
    std::memcpy(card.ipv4, ip, 4);
    std::memset(card.printerName, 'N', sizeof card.printerName); // the whole field, no NUL
    card.printerName[0] = '\x83';
    card.printerName[1] = 'A';
    std::memcpy(card.cardName, "RX-Q7NIC", 8);

    sim::machine().SetCodePage(1252);
    FoundDevice western = CardDevice(card);
    EXPECT_EQ(western.kind, 1);
    EXPECT_EQ(western.ipAddress, u"192.168.1.200");
    EXPECT_EQ(western.macAddress, u"02:00:AB:12:34:56");
    EXPECT_EQ(western.displayName, u"Velmo \u00E2A" + WString(30, u'N')); // code page 437

    sim::machine().SetCodePage(932);
    EXPECT_EQ(CardDevice(card).displayName, u"Velmo \u30A2" + WString(30, u'N'));
    sim::machine().SetCodePage(1252);
}

} // namespace
} // namespace kgsetup::testing

namespace kgsetup::testing
{
namespace
{
constexpr const char16_t* kSetupProgram = u"C:\\Pkg\\KGSetup64.exe";

// Installs through the wizard from the Search page, with a package beside the program.
class SearchPageInstallTest : public ::testing::Test
{
protected:
    void SetUp() override
    {
        PrepareMachine();
        sim::files().Put(u"C:\\ProgramData\\Microsoft\\Windows\\Start Menu\\Programs\\desktop.ini");
        sim::processes().SetCallingProgram(kSetupProgram, u"KGSetup64.exe");
        sim::files().SetVersion(kSetupProgram, 2, 0, 0, 0);
        D().RegisterResources(u"KGSetup64.exe", KGSETUP_RC);
        sim::network().AddInterface("192.168.1.10", "255.255.255.0");
    }

    // Through the pages after the Search page to the Finish page; its text.
    static WString OnToFinish()
    {
        while (CurrentPage() != IDD_FINISH && CurrentPage() != IDD_INSTALL_PROGRESS)
        {
            UINT before = CurrentPage();
            ClickNext();
            if (CurrentPage() == before)
                return u"stuck on page " +
                       WString(std::to_string(before).begin(), std::to_string(before).end());
        }
        D().WaitUntil([] { return CurrentPage() == IDD_FINISH; }, 10 * 60'000);
        return D().Text(Item(IDC_RESULT));
    }
};

// Each way of connecting, chosen on the Search page, ends in its install, with either package.
TEST_F(SearchPageInstallTest, EachWayOfConnectingInstallsAsChosen)
{
    struct Package
    {
        const char* name;
        std::function<void()> put;
        const char16_t* fileSuffix; // of the name the Name page offers for Print to File
    };
    const Package packages[] = {
        {"V3", [] { test::PutV3Package(); }, u" Print to File"},
        {"V4", [] { test::PutCompleteV4Package(); }, u" [File]"},
    };
    struct Case
    {
        const char* name;
        std::function<void()> choose; // on the Search page, its search ended
        int finishText;
        const char16_t* port; // of the printer installed; none: no printer
    };
    const Case cases[] = {
        {"card", [] { D().Pick(Item(IDC_DEVICES), 2); }, 125, u"KORIGRAPH_192.168.1.20"},
        {"USB printer", [] { D().Pick(Item(IDC_DEVICES), 0); }, 125, u"USB001"},
        {"connect later", [] { D().Click(Item(IDC_CONNECT_LATER)); }, 124, nullptr},
        {"print to file", [] { D().Click(Item(IDC_PRINT_TO_FILE)); }, 125, u"NUL:"},
    };
    for (const Package& package : packages)
        for (const Case& c : cases)
        {
            SCOPED_TRACE(std::string(package.name) + " " + c.name);
            sim::machine().Reset(); // each from a machine without the driver
            SetUp();
            package.put();
            sim::network().AddCard(Card("192.168.1.20", "KG-100", 0x14));
            sim::deviceTree().AttachUsbPrinter({});
            sim::deviceTree().AttachLptPrinter({});
            WString finish, expected;
            RunWizard([](CSetupContext&) {},
                      [&] {
                          ClickNext();
                          ASSERT_TRUE(SearchEnds());
                          ASSERT_EQ(ListRows(),
                                    (Rows{kUsbRow[0],
                                          kLptRow,
                                          {u"Velmo KG-100", u"192.168.1.20", u"02:00:00:12:34:14"}}));
                          c.choose();
                          ClickNext();
                          finish = OnToFinish();
                          expected = Context().Text(c.finishText);
                          D().Click(Item(0x3025));
                      });
            EXPECT_TRUE(finish.starts_with(expected)) << Narrow(finish);
            const std::vector<sim::PrinterSetup> printers = sim::spooler().Printers();
            if (!c.port)
            {
                EXPECT_TRUE(printers.empty());
                const auto calls = sim::spooler().Calls();
                EXPECT_GE(std::count(calls.begin(), calls.end(), "DiUninstallDevice"), 2)
                    << "the USB and the parallel printer's nodes cleaned";
                continue;
            }
            ASSERT_EQ(printers.size(), 1u);
            EXPECT_EQ(printers[0].portName, c.port);
            const WString suffix = c.port == WString(u"NUL:") ? package.fileSuffix : u"Velmo KG-100";
            EXPECT_TRUE(printers[0].name.ends_with(suffix)) << Narrow(printers[0].name);
        }
}

} // namespace
} // namespace kgsetup::testing
