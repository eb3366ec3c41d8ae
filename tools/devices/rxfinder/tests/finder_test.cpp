// RX-Finder under the scripted user on the simulated network: the cards it lists, the option dialog,
// the web page it opens and the gates at its start.
#include "finder_dialog.h"
#include "rxfinder_resource.h"

#include <gtest/gtest.h>
#include <platform/commctrl.h>
#include <platform/netfw.h>
#include <platform/objbase.h>
#include <sim/machine.h>
#include <sim/window_sweep.h>
#include <sim/firewall.h>
#include <sim/network.h>

#include <algorithm>
#include <filesystem>
#include <string>
#include <vector>

namespace rxfinder
{
namespace
{
constexpr const char16_t* kProgram = u"C:\\Program Files\\VELMO\\RX-Finder.exe";
constexpr const char16_t* kBrowser = u"C:\\Browser\\browser.exe";
constexpr const char* kBrowserCommand = "\"C:\\Browser\\browser.exe\" \"%1\"";

sim::NetCard Card(const std::string& address, const std::string& name, const std::string& printer = "KG-100")
{
    sim::NetCard c;
    c.address = address;
    c.cardName = name;
    c.printerName = printer;
    c.mac = {0x0A, 0x1B, 0x2C, 0xD3, 0xE4, static_cast<std::uint8_t>(address.back())};
    return c;
}

std::vector<std::string> Destinations()
{
    std::vector<std::string> to;
    for (const auto& d : sim::network().Sent())
        to.push_back(d.to);
    return to;
}

WString Utf16(const std::string& ascii)
{
    return WString(ascii.begin(), ascii.end());
}

class Finder : public ::testing::Test
{
protected:
    void SetUp() override
    {
        d.RegisterResources(u"test.exe", std::filesystem::path(RXFINDER_SOURCE_DIR) / "RX-Finder.rc");
        sim::network().AddInterface("192.168.1.10", "255.255.255.0");
        sim::network().AddInterface("10.0.0.10", "255.255.255.0");
        const WString command = Utf16(kBrowserCommand);
        sim::registry().SetValue(
            HKEY_CLASSES_ROOT, u"http\\shell\\open\\command", u"", REG_SZ,
            std::span(reinterpret_cast<const BYTE*>(command.c_str()), (command.size() + 1) * sizeof(WCHAR)));
    }

    static WString Text(UINT id)
    {
        WCHAR buffer[256] = {};
        int n = LoadStringW(GetModuleHandleW(nullptr), id, buffer, 256);
        return WString(buffer, n > 0 ? n : 0);
    }

    DWORD RunFinder(const std::function<void()>& script) { return d.Run(kProgram, u"", script); }
    HWND Window() const { return d.TopWindow(u"Advanced Setup"); }
    HWND Item(int id) const { return d.Control(Window(), id); }
    HWND Options() const { return d.TopWindow(u"Option"); }
    HWND Option(int id) const { return d.Control(Options(), id); }
    // The search the dialog starts has ended and handed its cards over.
    bool SearchDone() const
    {
        return d.WaitUntil([&] { return d.IsEnabled(Item(IDC_SEARCH)); });
    }

    sim::Desktop& d = sim::desktop();
};

TEST_F(Finder, ListsTheCardsInOrderOfArrivalAndOpensTheChosenCardsPage)
{
    auto twice = Card("192.168.1.20", "RX-TWICE", std::string(32, 'P'));
    twice.repliesPerQuery = 2;
    sim::network().AddCard(twice);
    auto lower = Card("192.168.1.21", "rx-lower");
    lower.delayMs = 300;
    sim::network().AddCard(lower);
    sim::network().AddCard(Card("192.168.1.22", "XY-OTHER"));
    sim::NetCard foreign = Card("192.168.1.23", "RX-FOREIGN");
    std::vector<std::uint8_t> reply(164, 0);
    reply[1] = 0x02, reply[2] = 0x95, reply[3] = 0x07; // another protocol
    std::copy_n("RX-FOREIGN", 10, reply.begin() + 36);
    foreign.rawReply = reply;
    sim::network().AddCard(foreign);

    const std::vector<std::vector<WString>> rows = {
        {Utf16(std::string(32, 'P')), u"192.168.1.20", u"0A:1B:2C:D3:E4:30", u"RX-TWICE"},
        {u"KG-100", u"192.168.1.21", u"0A:1B:2C:D3:E4:31", u"rx-lower"},
    };
    const int objectsBefore = sim::firewall().OpenObjects();
    DWORD exit = RunFinder([&] {
        ASSERT_TRUE(Window());
        EXPECT_EQ(d.Icon(Window(), true), u"#107");
        // While the dialog runs, replies may reach the program through its own rule.
        const auto rules = sim::firewall().Rules();
        ASSERT_EQ(rules.size(), 1u);
        EXPECT_EQ(rules[0].name, Text(IDS_PRODUCT));
        EXPECT_EQ(rules[0].applicationName, kProgram);
        EXPECT_EQ(rules[0].direction, NET_FW_RULE_DIR_IN);
        EXPECT_EQ(rules[0].action, NET_FW_ACTION_ALLOW);
        EXPECT_EQ(rules[0].profiles, NET_FW_PROFILE2_ALL);
        EXPECT_TRUE(rules[0].enabled);
        ASSERT_TRUE(SearchDone());
        EXPECT_EQ(d.Rows(Item(IDC_CARDS)), rows);
        EXPECT_EQ(Destinations(), std::vector<std::string>{"255.255.255.255"});

        RECT client{};
        GetClientRect(Item(IDC_CARDS), &client);
        const std::vector<sim::ListColumnShown> columns = {
            {Text(IDS_COLUMN_PRINTER), MulDiv(client.right, 30, 100)},
            {Text(IDS_COLUMN_ADDRESS), MulDiv(client.right, 20, 100)},
            {Text(IDS_COLUMN_MAC), MulDiv(client.right, 30, 100)},
            {Text(IDS_COLUMN_DEVICE), MulDiv(client.right, 20, 100)},
        };
        EXPECT_EQ(d.Columns(Item(IDC_CARDS)), columns);
        EXPECT_EQ(SendMessageW(Item(IDC_CARDS), LVM_GETEXTENDEDLISTVIEWSTYLE, 0, 0),
                  LVS_EX_FULLROWSELECT | LVS_EX_GRIDLINES);
        EXPECT_EQ(SendMessageW(Item(IDC_CARDS), LVM_GETSELECTEDCOLUMN, 0, 0), -1);

        // The bigger font on the search controls, the underlined one on the link.
        auto base = d.Font(Item(IDC_DETECTED));
        auto big = d.Font(Item(IDC_WEB_PAGE));
        auto link = d.Font(Item(IDC_OPTION));
        ASSERT_TRUE(base && big && link);
        EXPECT_EQ(big->lfHeight, MulDiv(base->lfHeight, 5, 4));
        EXPECT_EQ(d.Font(Item(IDC_SEARCH))->lfHeight, big->lfHeight);
        EXPECT_EQ(d.Font(Item(IDC_CARDS))->lfHeight, big->lfHeight);
        EXPECT_EQ(link->lfHeight, base->lfHeight);
        EXPECT_TRUE(link->lfUnderline);

        for (int round = 0; round < 2; ++round)
        {
            EXPECT_EQ(d.Selection(Item(IDC_CARDS)), -1);
            EXPECT_FALSE(d.IsEnabled(Item(IDC_WEB_PAGE))) << "no row chosen yet";
            ASSERT_TRUE(d.Pick(Item(IDC_CARDS), 0));
            EXPECT_TRUE(d.IsEnabled(Item(IDC_WEB_PAGE)));
            ASSERT_TRUE(d.Click(Item(IDC_WEB_PAGE)));
            ASSERT_TRUE(d.Click(Item(IDC_SEARCH)));
            ASSERT_TRUE(SearchDone());
            EXPECT_EQ(d.Rows(Item(IDC_CARDS)), rows);
        }
        d.Close(Window());
    });
    EXPECT_EQ(exit, 0u);
    EXPECT_TRUE(sim::firewall().Rules().empty()) << "the rule goes with the program";
    EXPECT_EQ(sim::firewall().OpenObjects(), objectsBefore);
    const auto requests = sim::processes().ShellRequests();
    ASSERT_EQ(requests.size(), 2u);
    for (const auto& r : requests)
    {
        EXPECT_EQ(r.file, u"http://192.168.1.20");
        EXPECT_EQ(r.verb, u"");
        EXPECT_EQ(r.showCommand, SW_SHOWNORMAL);
        EXPECT_EQ(r.application, kBrowser);
    }
    EXPECT_EQ(sim::network().OpenSockets(), 0u);
}

TEST_F(Finder, TakesTheOptionsOnlyWhenConfirmed)
{
    sim::network().AddCard(Card("192.168.1.20", "RX-ONE"));
    DWORD exit = RunFinder([&] {
        ASSERT_TRUE(SearchDone());
        ASSERT_TRUE(d.Click(Item(IDC_OPTION)));
        ASSERT_TRUE(Options());
        EXPECT_EQ(d.Text(Option(IDC_TIMEOUT)), u"1000");
        EXPECT_EQ(d.Text(Option(IDC_RETRY_COUNT)), u"1");
        EXPECT_TRUE(d.Items(Option(IDC_BROADCAST_LIST)).empty());

        d.Type(Option(IDC_TIMEOUT), u"0");
        d.Type(Option(IDC_RETRY_COUNT), u"70000");
        EXPECT_EQ(d.Text(Option(IDC_TIMEOUT)), u"1") << "written back when the box is left";
        for (const char16_t* address :
             {u"192.168.1.255", u"10.0.0.255", u"192.168.1.255", u"0.0.0.0", u"172.16.0.255"})
        {
            d.Type(Option(IDC_BROADCAST_ADDRESS), address);
            ASSERT_TRUE(d.Click(Option(IDC_ADD)));
        }
        EXPECT_EQ(d.Text(Option(IDC_RETRY_COUNT)), u"65535");
        EXPECT_EQ(d.Items(Option(IDC_BROADCAST_LIST)),
                  (std::vector<WString>{u"192.168.1.255", u"10.0.0.255", u"192.168.1.255", u"172.16.0.255"}));
        ASSERT_TRUE(d.Pick(Option(IDC_BROADCAST_LIST), 3));
        ASSERT_TRUE(d.Click(Option(IDC_REMOVE)));
        EXPECT_EQ(d.Items(Option(IDC_BROADCAST_LIST)).size(), 3u);
        d.Type(Option(IDC_RETRY_COUNT), u"1"); // keeps the next search to one round
        ASSERT_TRUE(d.Click(Option(IDOK)));
        EXPECT_FALSE(Options());

        // Reopened: the searcher's values, sorted and each once; a cancel keeps them.
        for (int round = 0; round < 2; ++round)
        {
            ASSERT_TRUE(d.Click(Item(IDC_OPTION)));
            EXPECT_EQ(d.Text(Option(IDC_TIMEOUT)), u"1");
            EXPECT_EQ(d.Text(Option(IDC_RETRY_COUNT)), u"1");
            EXPECT_EQ(d.Items(Option(IDC_BROADCAST_LIST)),
                      (std::vector<WString>{u"10.0.0.255", u"192.168.1.255"}));
            d.Type(Option(IDC_TIMEOUT), u"5000");
            ASSERT_TRUE(d.Pick(Option(IDC_BROADCAST_LIST), 0));
            ASSERT_TRUE(d.Click(Option(IDC_REMOVE)));
            ASSERT_TRUE(d.Click(Option(IDCANCEL)));
        }

        const std::size_t sentBefore = sim::network().Sent().size();
        const ULONGLONG start = sim::virtualClock().Now();
        ASSERT_TRUE(d.Click(Item(IDC_SEARCH)));
        ASSERT_TRUE(SearchDone());
        EXPECT_LT(sim::virtualClock().Now() - start, 1000u) << "one round of a 1 ms time-out: one slice";
        auto to = Destinations();
        to.erase(to.begin(), to.begin() + static_cast<std::ptrdiff_t>(sentBefore));
        EXPECT_EQ(to, (std::vector<std::string>{"10.0.0.255", "192.168.1.255"}));
        EXPECT_EQ(d.Items(Item(IDC_CARDS)), std::vector<WString>{u"KG-100"});
        d.Close(Window());
    });
    EXPECT_EQ(exit, 0u);
}

TEST_F(Finder, ASearchThatFindsNothingLeavesTheListEmptyAndTheControlsReady)
{
    RunFinder([&] {
        ASSERT_TRUE(SearchDone());
        EXPECT_TRUE(d.Rows(Item(IDC_CARDS)).empty());
        for (int id : {IDC_SEARCH, IDC_OPTION, IDC_CARDS})
            EXPECT_TRUE(d.IsEnabled(Item(id))) << id;
        EXPECT_FALSE(d.IsEnabled(Item(IDC_WEB_PAGE)));
        d.Close(Window());
    });
}

TEST_F(Finder, HeadsTheColumnsInTheUsersLanguage)
{
    struct Case
    {
        LANGID language;
        const char16_t* title;
        std::vector<WString> columns;
    };
    const Case cases[] = {
        {0x409, u"Advanced Setup", {u"Printer name", u"IP address", u"Ethernet address", u"Device name"}},
        {0x411, u"詳細設定", {u"プリンター名", u"IP アドレス", u"MAC アドレス", u"デバイス名"}},
        {0x804, u"高级设置", {u"打印机名称", u"IP 地址", u"MAC 地址", u"设备名"}},
    };
    for (const Case& c : cases)
    {
        d.SetUiLanguage(c.language);
        RunFinder([&] {
            HWND window = d.TopWindow(c.title);
            ASSERT_TRUE(window) << c.language;
            std::vector<WString> shown;
            for (const auto& column : d.Columns(d.Control(window, IDC_CARDS)))
                shown.push_back(column.text);
            EXPECT_EQ(shown, c.columns) << c.language;
            ASSERT_TRUE(d.WaitUntil([&] { return d.IsEnabled(d.Control(window, IDC_SEARCH)); }));
            d.Close(window);
        });
    }
}

TEST_F(Finder, ShowsNamesWithinTheirFieldsAndAtMostATableOfCards)
{
    sim::machine().SetCodePage(932);
    // The printer name ends in a lead byte; both names fill their fields.
    sim::network().AddCard(Card("192.168.1.20", "RX-" + std::string(13, 'C'), std::string(31, 'N') + "\x83"));
    for (int i = 0; i < 299; ++i)
        sim::network().AddCard(Card("10.0." + std::to_string(i / 250) + "." + std::to_string(i % 250 + 1),
                                    "RX-" + std::to_string(i)));
    RunFinder([&] {
        ASSERT_TRUE(SearchDone());
        const auto rows = d.Rows(Item(IDC_CARDS));
        ASSERT_EQ(rows.size(), CTzPrnSvrSearcher::kMaxResults);
        EXPECT_EQ(rows[0][3], Utf16("RX-" + std::string(13, 'C')));
        EXPECT_EQ(rows[0][0].substr(0, 31), Utf16(std::string(31, 'N')));
        EXPECT_LE(rows[0][0].size(), 32u);
        EXPECT_EQ(rows.back()[3], u"RX-254");
        d.Close(Window());
    });
}

TEST_F(Finder, RunsOnWhenTheFirewallFailsAndLeavesNoRuleUnlessItsRemovalFailed)
{
    struct Case
    {
        const char* api;
        std::size_t rulesLeft;
    };
    for (const Case& c :
         {Case{"CoCreateInstance", 0}, Case{"INetFwPolicy2::get_Rules", 0}, Case{"INetFwRules::Add", 0},
          Case{"INetFwRules::Remove", 1}}) // the last: its rule stays
    {
        sim::faults().FailNext(c.api, static_cast<DWORD>(E_FAIL));
        DWORD exit = RunFinder([&] {
            ASSERT_TRUE(SearchDone()) << c.api;
            EXPECT_FALSE(d.MessageBox()) << c.api;
            d.Close(Window());
        });
        EXPECT_EQ(exit, 0u) << c.api;
        EXPECT_TRUE(d.MessageBoxes().empty()) << c.api;
        EXPECT_EQ(sim::firewall().Rules().size(), c.rulesLeft) << c.api;
        EXPECT_TRUE(sim::faults().Pending().empty()) << c.api;
    }
}

// A program whose thread entered the multithreaded apartment before (a library did): the rule is
// still added, and the apartment it did not enter is not ended.
TEST_F(Finder, AddsItsRuleAlsoFromTheMultithreadedApartment)
{
    HRESULT entered = E_FAIL;
    HRESULT after = E_FAIL;
    std::size_t rulesWhileRunning = 0;
    DWORD exit = d.Run(
        [&]() -> DWORD {
            entered = CoInitializeEx(nullptr, COINIT_MULTITHREADED);
            const int result = Main(GetModuleHandleW(nullptr), nullptr, nullptr, SW_SHOWNORMAL);
            after = CoInitializeEx(nullptr, COINIT_MULTITHREADED); // S_FALSE: still inside
            CoUninitialize();
            CoUninitialize();
            return static_cast<DWORD>(result);
        },
        [&] {
            ASSERT_TRUE(SearchDone());
            rulesWhileRunning = sim::firewall().Rules().size();
            d.Close(Window());
        });
    EXPECT_EQ(entered, S_OK);
    EXPECT_EQ(exit, 0u);
    EXPECT_EQ(rulesWhileRunning, 1u);
    EXPECT_EQ(after, S_FALSE) << "the apartment entered before is left alone";
    EXPECT_TRUE(sim::firewall().Rules().empty());
}

TEST_F(Finder, StartsOnlyOnceAndOnlyWithWindowsSocketsTwoTwo)
{
    HANDLE first = CreateMutexW(nullptr, FALSE, u"Global\\BCFFF087-A9A4-4EC5-9D6C-434DE2F5BDA6");
    ASSERT_TRUE(first);
    EXPECT_EQ(RunFinder([&] { EXPECT_FALSE(Window()); }), 0u);
    CloseHandle(first);
    EXPECT_TRUE(d.MessageBoxes().empty());

    struct Case
    {
        const char* name;
        int error;
        bool oldVersion;
    };
    for (const Case& c : {Case{"not ready", WSASYSNOTREADY, false}, Case{"version 1.1", 1151, true}})
    {
        if (c.oldVersion)
            sim::network().SetWinsockVersion(MAKEWORD(1, 1));
        else
            sim::faults().FailNext("WSAStartup", static_cast<DWORD>(c.error));
        LPWSTR expected = nullptr;
        ASSERT_TRUE(FormatMessageW(FORMAT_MESSAGE_FROM_SYSTEM | FORMAT_MESSAGE_ALLOCATE_BUFFER, nullptr,
                                   static_cast<DWORD>(c.error), 0, reinterpret_cast<LPWSTR>(&expected), 0,
                                   nullptr));
        DWORD exit = RunFinder([&] {
            auto box = d.MessageBox();
            ASSERT_TRUE(box) << c.name;
            EXPECT_EQ(box->text, WString(expected));
            EXPECT_EQ(box->caption, u"Error") << "no caption of its own";
            EXPECT_EQ(box->type & MB_ICONMASK, static_cast<UINT>(MB_ICONERROR));
            d.AnswerMessageBox(IDOK);
        });
        LocalFree(expected);
        EXPECT_EQ(exit, static_cast<DWORD>(c.error)) << c.name;
        EXPECT_TRUE(sim::network().Sent().empty()) << c.name;
    }
}

// Each window a path's good run makes is refused once in turn. A main dialog that cannot be made ends
// the program with -1; otherwise the search still lists the card, options are taken only from a dialog
// the user confirmed, and the firewall rule goes with the program either way.
TEST_F(Finder, ARefusedWindowEndsThePathSoundly)
{
    enum class Path
    {
        Search,
        Options
    };
    struct Outcome
    {
        DWORD exitCode = 0;
        bool shown = false;
        bool optionsShown = false;
        std::vector<WString> cards;
        std::vector<std::string> lastSearch; // where the user's second search sent its queries
        std::size_t rulesLeft = 0;
    };
    auto run = [&](Path path, const std::function<void()>& arm) {
        sim::machine().Reset();
        SetUp();
        sim::network().AddCard(Card("192.168.1.20", "RX-ONE"));
        arm();
        Outcome o;
        o.exitCode = RunFinder([&] {
            d.WaitIdle();
            if (!Window())
                return;
            o.shown = true;
            ASSERT_TRUE(SearchDone());
            if (path == Path::Options)
            {
                ASSERT_TRUE(d.Click(Item(IDC_OPTION)));
                if (Options())
                {
                    o.optionsShown = true;
                    d.Type(Option(IDC_BROADCAST_ADDRESS), u"10.0.0.255");
                    ASSERT_TRUE(d.Click(Option(IDC_ADD)));
                    ASSERT_TRUE(d.Click(Option(IDOK)));
                }
                EXPECT_FALSE(Options());
                const std::size_t sentBefore = sim::network().Sent().size();
                ASSERT_TRUE(d.Click(Item(IDC_SEARCH)));
                ASSERT_TRUE(SearchDone());
                o.lastSearch = Destinations();
                o.lastSearch.erase(o.lastSearch.begin(),
                                   o.lastSearch.begin() + static_cast<std::ptrdiff_t>(sentBefore));
                o.lastSearch.erase(std::unique(o.lastSearch.begin(), o.lastSearch.end()), o.lastSearch.end());
            }
            o.cards = d.Items(Item(IDC_CARDS));
            d.Close(Window());
        });
        o.rulesLeft = sim::firewall().Rules().size();
        return o;
    };

    const std::vector<WString> found{u"KG-100"};
    for (const auto& [path, what] : {std::pair{Path::Search, "search"}, std::pair{Path::Options, "options"}})
    {
        const Outcome good = run(path, [] { sim::StartFaultPointRecord(); });
        const std::vector<sim::FaultPointCall> calls = sim::WindowCalls(sim::StopFaultPointRecord());
        ASSERT_TRUE(good.shown) << what;
        ASSERT_EQ(good.exitCode, 0u) << what;
        ASSERT_EQ(good.cards, found) << what;
        ASSERT_EQ(good.optionsShown, path == Path::Options) << what;

        for (const sim::FaultPointCall& call : calls)
        {
            const Outcome o =
                run(path, [&] { sim::faults().FailNext(call.api, ERROR_NOT_ENOUGH_MEMORY, 1, call.nth); });
            const std::string where = std::string(what) + ": " + call.api + " #" + std::to_string(call.nth);
            EXPECT_EQ(o.exitCode, o.shown ? 0u : 0xFFFFFFFFu) << where;
            EXPECT_EQ(o.rulesLeft, 0u) << where;
            if (!o.shown)
                continue;
            EXPECT_EQ(o.cards, found) << where;
            if (path == Path::Options)
            {
                EXPECT_EQ(o.lastSearch, o.optionsShown ? std::vector<std::string>{"10.0.0.255"}
                                                       : std::vector<std::string>{"255.255.255.255"})
                    << where;
            }
        }
    }
}

} // namespace
} // namespace rxfinder
