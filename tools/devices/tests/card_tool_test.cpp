#include <gtest/gtest.h>

#include <platform/commdlg.h>
#include <platform/objbase.h>
#include <sim/machine.h>
#include <sim/window_sweep.h>

#include "card_dialog.h"
#include "card_resource.h"
#include "usb_channel.h"

#include <filesystem>
#include <optional>
#include <string>
#include <vector>

namespace tessicard
{
namespace
{
constexpr const char16_t* kProgram = u"C:\\Program Files\\VELMO\\TessicardMgr.exe";
constexpr const char16_t* kSaved = u"C:\\Users\\User\\cards.csv";
const std::string kRecords = "id,name\r\n1,\xC9\r\n"; // É in code page 1252

std::string Frame(KglDeviceCommand code)
{
    auto bytes = BuildCommand(code);
    return {bytes.begin(), bytes.end()};
}

sim::UsbDuplicator Duplicator(std::string records = kRecords)
{
    sim::UsbDuplicator d;
    d.cardData = "SMART CARD DATA" + records;
    return d;
}

class CardTool : public ::testing::Test
{
protected:
    void SetUp() override
    {
        // The program's own strings, read here as the program reads them.
        d.RegisterResources(u"test.exe", std::filesystem::path(DEVICES_SOURCE_DIR) / "TessicardMgr.rc");
        SYSTEMTIME t{};
        t.wYear = 2026;
        t.wMonth = 3;
        t.wDay = 7;
        t.wHour = 9;
        t.wMinute = 5;
        t.wSecond = 3;
        sim::virtualClock().SetLocalTime(t);
        sim::files().Put(u"C:\\Users\\User\\keep.txt");
    }

    static WString Text(UINT id)
    {
        WCHAR buffer[256] = {};
        int n = LoadStringW(GetModuleHandleW(nullptr), id, buffer, 256);
        return WString(buffer, n > 0 ? n : 0);
    }

    DWORD RunTool(const std::function<void()>& script) { return d.Run(kProgram, u"", script); }
    HWND Window() const { return d.TopWindow(u"Tessicard Manager"); }
    HWND Item(int id) const { return d.Control(Window(), id); }
    WString Status() const { return d.Text(Item(IDC_STATUS)); }

    sim::Desktop& d = sim::desktop();
};

TEST_F(CardTool, DownloadsTheCardDataIntoTheFileTypeChosen)
{
    struct Case
    {
        const char* name;
        UINT codePage;
        std::string records;
        DWORD filter; // 0: cancelled
        std::optional<std::string> file;
    };
    const Case cases[] = {
        {"CSV as received", 1252, kRecords, 1, kRecords},
        {"all files as received", 1252, kRecords, 3, kRecords},
        {"UTF-8 with a byte-order mark", 1252, kRecords, 2, "\xEF\xBB\xBFid,name\r\n1,\xC3\x89\r\n"},
        {"UTF-8 from code page 932", 932, "1,\x83\x65\r\n", 2,
         "\xEF\xBB\xBF"
         "1,\xE3\x83\x86\r\n"},
        {"cancelled", 1252, kRecords, 0, std::nullopt},
    };
    for (const Case& c : cases)
    {
        sim::machine().SetCodePage(c.codePage);
        sim::UsbDuplicator device = Duplicator(c.records);
        sim::devices().Plug(device);
        const WString path = sim::Devices::PathOf(device);
        DWORD exit = RunTool([&] {
            ASSERT_TRUE(d.WaitUntil([&] { return d.Items(Item(IDC_MODEL)).size() == 1; })) << c.name;
            EXPECT_EQ(d.Items(Item(IDC_MODEL)), std::vector<WString>{u"Tessi 4"});
            EXPECT_EQ(d.Text(Item(IDC_SERIAL)), u"A1B2C3");
            // The two action buttons carry a font a quarter bigger than the dialog's.
            auto dialogFont = d.Font(Item(IDC_DETECT));
            ASSERT_TRUE(dialogFont && d.Font(Item(IDC_DOWNLOAD)) && d.Font(Item(IDC_UPLOAD)));
            EXPECT_EQ(d.Font(Item(IDC_DOWNLOAD))->lfHeight, MulDiv(dialogFont->lfHeight, 5, 4));
            EXPECT_EQ(d.Font(Item(IDC_UPLOAD))->lfHeight, MulDiv(dialogFont->lfHeight, 5, 4));
            ASSERT_TRUE(d.Click(Item(IDC_DOWNLOAD)));
            ASSERT_TRUE(d.WaitUntil([&] { return d.FileDialog().has_value(); }));
            auto shown = d.FileDialog();
            EXPECT_EQ(shown->kind, sim::FileDialogKind::Save);
            EXPECT_EQ(shown->fileName, u"2026-03-07T09-05-03.csv");
            EXPECT_EQ(shown->filterIndex, 1u);
            ASSERT_EQ(shown->filters.size(), 3u);
            EXPECT_EQ(shown->filters[1].first, u"CSV UTF-8 with BOM (*.csv)");
            EXPECT_TRUE(shown->flags & OFN_OVERWRITEPROMPT);
            EXPECT_EQ(shown->apartment, COINIT_APARTMENTTHREADED) << "shown in a single-threaded apartment";
            EXPECT_FALSE(d.IsEnabled(Item(IDC_DETECT))) << "busy while the task runs";
            if (c.filter)
                d.AnswerFileDialog(kSaved, c.filter);
            else
                d.CancelFileDialog();
            ASSERT_TRUE(d.WaitUntil([&] { return d.IsEnabled(Item(IDC_DETECT)); }));
            EXPECT_EQ(Status(), c.file ? Text(IDS_RETRIEVED) : WString()) << c.name;
            d.Close(Window());
        });
        EXPECT_EQ(exit, 0u);
        EXPECT_EQ(sim::files().Bytes(kSaved), c.file) << c.name;
        const sim::UsbActivity activity = sim::devices().Activity(path);
        const std::vector<std::string> frames = {Frame(KglDeviceCommand::CardDataRequest),
                                                 Frame(KglDeviceCommand::CardDataStatus),
                                                 Frame(KglDeviceCommand::CardDataRead)};
        EXPECT_EQ(activity.frames, frames) << c.name;
        EXPECT_EQ(activity.protocolErrors, 0);
        EXPECT_EQ(activity.releasedInFlight, 0);
        EXPECT_FALSE(activity.open);
        EXPECT_EQ(activity.opens, activity.closes);
        sim::devices().Unplug(path);
        DeleteFileW(kSaved);
    }
}

TEST_F(CardTool, AFailedDownloadStepLeavesItsStatusSavesNothingAndClosesTheDevice)
{
    struct Case
    {
        const char* name;
        sim::UsbDuplicator device;
        UINT status;
        bool unplug = false;
        bool saveShown = false;
    };
    auto with = [](auto change) {
        sim::UsbDuplicator d = Duplicator();
        change(d);
        return d;
    };
    const Case cases[] = {
        {"request refused", with([](auto& d) { d.write = sim::DeviceWrite::Fail, d.writeCode = 0xF0; }),
         IDS_CANNOT_CONNECT},
        {"busy through ten polls", with([](auto& d) { d.busy = {1}; }), IDS_NOT_READY},
        {"no length", with([](auto& d) { d.reportedLength = 0; }), IDS_NOT_READY},
        {"shorter than the header", with([](auto& d) { d.reportedLength = 14; }), IDS_NOT_READY},
        {"longer than the data", with([](auto& d) { d.reportedLength = 40; }), IDS_CANNOT_CONNECT},
        {"too long to hold", with([](auto& d) { d.reportedLength = (64u << 20) + 1; }), IDS_NOT_READY},
        {"no header", with([](auto& d) { d.cardData = "SMART CARD DATE" + kRecords; }), IDS_NOT_READY},
        {"read refused", with([](auto& d) { d.write = sim::DeviceWrite::Zero, d.writeCode = 0xF2; }),
         IDS_CANNOT_CONNECT},
        {"unplugged", Duplicator(), IDS_CANNOT_CONNECT, true},
        {"busy 2 goes on", with([](auto& d) { d.busy = {2}; }), 0, false, true},
    };
    for (const Case& c : cases)
    {
        sim::devices().Plug(c.device);
        const WString path = sim::Devices::PathOf(c.device);
        RunTool([&] {
            ASSERT_TRUE(d.WaitUntil([&] { return d.Items(Item(IDC_MODEL)).size() == 1; })) << c.name;
            if (c.unplug)
            {
                sim::devices().Unplug(path);
                d.WaitIdle();
                d.Pick(Item(IDC_MODEL), 0); // what the user still sees before the list is renewed
            }
            ASSERT_TRUE(d.Click(Item(IDC_DOWNLOAD)));
            d.WaitUntil([&] { return d.IsEnabled(Item(IDC_DETECT)) || d.FileDialog().has_value(); });
            EXPECT_EQ(d.FileDialog().has_value(), c.saveShown) << c.name;
            if (c.saveShown)
            {
                d.CancelFileDialog();
                d.WaitUntil([&] { return d.IsEnabled(Item(IDC_DETECT)); });
            }
            EXPECT_EQ(Status(), c.status ? Text(c.status) : WString()) << c.name;
            d.Close(Window());
        });
        EXPECT_FALSE(sim::files().Exists(kSaved)) << c.name;
        const sim::UsbActivity activity = sim::devices().Activity(path);
        EXPECT_FALSE(activity.open) << c.name;
        EXPECT_EQ(activity.opens, activity.closes) << c.name;
        EXPECT_EQ(activity.releasedInFlight, 0) << c.name;
        sim::devices().Unplug(path);
    }
}

TEST_F(CardTool, ASaveThatCannotBeWrittenLeavesNoFile)
{
    for (const char* api : {"CreateFileW", "CreateEventW", "WriteFile", "GetOverlappedResult"})
    {
        sim::UsbDuplicator device = Duplicator();
        sim::devices().Plug(device);
        RunTool([&] {
            ASSERT_TRUE(d.WaitUntil([&] { return d.Items(Item(IDC_MODEL)).size() == 1; }));
            ASSERT_TRUE(d.Click(Item(IDC_DOWNLOAD)));
            ASSERT_TRUE(d.WaitUntil([&] { return d.FileDialog().has_value(); }));
            sim::faults().FailNext(api, ERROR_WRITE_FAULT);
            d.AnswerFileDialog(kSaved, 1);
            d.WaitUntil([&] { return d.IsEnabled(Item(IDC_DETECT)); });
            EXPECT_EQ(Status(), u"") << api;
            d.Close(Window());
        });
        EXPECT_FALSE(sim::files().Exists(kSaved)) << api;
        sim::devices().Unplug(sim::Devices::PathOf(device));
    }
}

TEST_F(CardTool, DeviceChangesDetectOnceHalfASecondAfterTheLastNotice)
{
    sim::UsbDuplicator first = Duplicator();
    first.serial = u"S1";
    sim::UsbDuplicator second = Duplicator();
    second.serial = u"S2";
    second.productId = 0x0002;
    sim::devices().Plug(first);
    const WString firstPath = sim::Devices::PathOf(first);
    RunTool([&] {
        ASSERT_TRUE(d.WaitUntil([&] { return d.Items(Item(IDC_MODEL)).size() == 1; }));
        const int opensAtStart = sim::devices().Activity(firstPath).opens;
        SendMessageW(Window(), WM_DEVICECHANGE, 7, 0); // a change nobody plugged
        d.Advance(300);
        sim::devices().Plug(second); // notices the windows itself
        d.Advance(300);
        EXPECT_EQ(sim::devices().Activity(firstPath).opens, opensAtStart) << "the timer restarted";
        EXPECT_EQ(d.Items(Item(IDC_MODEL)).size(), 1u);
        d.Advance(200);
        ASSERT_TRUE(d.WaitUntil([&] { return d.Items(Item(IDC_MODEL)).size() == 2; }));
        EXPECT_EQ(sim::devices().Activity(firstPath).opens, opensAtStart + 1) << "one detection";
        d.Close(Window());
    });
}

TEST_F(CardTool, NoDetectionStartsDuringADownload)
{
    sim::UsbDuplicator slow = Duplicator();
    slow.stallAfter = 6; // the status reply comes, the data never does
    sim::devices().Plug(slow);
    const WString path = sim::Devices::PathOf(slow);
    RunTool([&] {
        ASSERT_TRUE(d.WaitUntil([&] { return d.Items(Item(IDC_MODEL)).size() == 1; }));
        ASSERT_TRUE(d.Click(Item(IDC_DOWNLOAD)));
        d.Advance(1000);
        const int opens = sim::devices().Activity(path).opens;
        sim::UsbDuplicator other = Duplicator();
        other.serial = u"LATE";
        sim::devices().Plug(other);
        d.Advance(2000);
        EXPECT_EQ(sim::devices().Activity(sim::Devices::PathOf(other)).opens, 0);
        EXPECT_EQ(sim::devices().Activity(path).opens, opens);
        ASSERT_TRUE(d.WaitUntil([&] { return d.IsEnabled(Item(IDC_DETECT)); }));
        EXPECT_EQ(Status(), Text(IDS_CANNOT_CONNECT));
        EXPECT_EQ(d.Items(Item(IDC_MODEL)).size(), 1u) << "the late device waits for the next detection";
        d.Close(Window());
    });
}

TEST_F(CardTool, RedetectionKeepsTheChosenDeviceByPath)
{
    std::vector<sim::UsbDuplicator> devices(3, Duplicator());
    const char16_t* serials[] = {u"B2", u"C3", u"A1"};
    for (size_t i = 0; i < devices.size(); ++i)
        devices[i].serial = serials[i];
    sim::devices().Plug(devices[0]);
    sim::devices().Plug(devices[1]);
    RunTool([&] {
        ASSERT_TRUE(d.WaitUntil([&] { return d.Items(Item(IDC_MODEL)).size() == 2; }));
        EXPECT_EQ(d.Selection(Item(IDC_MODEL)), 0);
        EXPECT_EQ(d.Text(Item(IDC_SERIAL)), u"B2");
        d.Pick(Item(IDC_MODEL), 1);
        EXPECT_EQ(d.Text(Item(IDC_SERIAL)), u"C3");
        sim::devices().Plug(devices[2]); // sorts first
        ASSERT_TRUE(d.WaitUntil([&] { return d.Items(Item(IDC_MODEL)).size() == 3; }));
        EXPECT_EQ(d.Selection(Item(IDC_MODEL)), 2);
        EXPECT_EQ(d.Text(Item(IDC_SERIAL)), u"C3");
        sim::devices().Unplug(sim::Devices::PathOf(devices[1]));
        ASSERT_TRUE(d.WaitUntil([&] { return d.Items(Item(IDC_MODEL)).size() == 2; }));
        EXPECT_EQ(d.Selection(Item(IDC_MODEL)), 0) << "gone: the first one";
        EXPECT_EQ(d.Text(Item(IDC_SERIAL)), u"A1");
        sim::devices().Unplug(sim::Devices::PathOf(devices[0]));
        sim::devices().Unplug(sim::Devices::PathOf(devices[2]));
        ASSERT_TRUE(d.WaitUntil([&] { return d.Items(Item(IDC_MODEL)).empty(); }));
        EXPECT_FALSE(d.IsEnabled(Item(IDC_MODEL)));
        EXPECT_FALSE(d.IsEnabled(Item(IDC_DOWNLOAD)));
        EXPECT_FALSE(d.IsEnabled(Item(IDC_SERIAL)));
        EXPECT_EQ(d.Text(Item(IDC_SERIAL)), u"");
        d.Close(Window());
    });
}

TEST_F(CardTool, ASecondInstanceEndsAtOnceAndClosingDuringADownloadEndsTheProgram)
{
    HANDLE first = CreateMutexW(nullptr, FALSE, u"Global\\C6E18C94-D289-4967-ABD2-73F7F5E64A8D");
    ASSERT_TRUE(first);
    EXPECT_EQ(RunTool([&] { EXPECT_FALSE(Window()); }), 0u);
    CloseHandle(first);

    sim::UsbDuplicator slow = Duplicator();
    slow.stallAfter = 6;
    sim::devices().Plug(slow);
    DWORD exit = RunTool([&] {
        ASSERT_TRUE(d.WaitUntil([&] { return d.Items(Item(IDC_MODEL)).size() == 1; }));
        ASSERT_TRUE(d.Click(Item(IDC_DOWNLOAD)));
        d.Advance(1500);
        d.Close(Window());
    });
    EXPECT_EQ(exit, 0u);
    const sim::UsbActivity activity = sim::devices().Activity(sim::Devices::PathOf(slow));
    EXPECT_FALSE(activity.open);
    EXPECT_EQ(activity.releasedInFlight, 0);
    auto search = sim::processes().DllSearchOf(kProgram);
    ASSERT_TRUE(search);
    EXPECT_EQ(search->defaultDirectories, static_cast<DWORD>(LOAD_LIBRARY_SEARCH_SYSTEM32));
    EXPECT_EQ(search->dllDirectory, WString());
}

TEST_F(CardTool, TheHelpMenuShowsTheAboutBox)
{
    RunTool([&] {
        ASSERT_TRUE(d.WaitUntil([&] { return d.IsEnabled(Item(IDC_DETECT)); }));
        EXPECT_EQ(d.Icon(Window(), true), u"#107");
        ASSERT_TRUE(d.SelectMenu(Window(), IDM_ABOUT));
        HWND about = d.TopWindow(Text(IDS_ABOUT_TITLE));
        ASSERT_TRUE(about);
        EXPECT_EQ(d.Text(d.Control(about, IDC_ABOUT_VERSION)), u"Version 1.0");
        EXPECT_EQ(d.Text(d.Control(about, IDC_ABOUT_PRODUCT)), Text(IDS_PRODUCT));
        d.Click(d.Control(about, IDOK));
        EXPECT_FALSE(d.TopWindow(Text(IDS_ABOUT_TITLE)));
        ASSERT_TRUE(d.SelectMenu(Window(), IDM_CLOSE));
    });
}

// Each window a path's good run makes is refused once in turn. A main dialog that cannot be made ends
// the program with -1; otherwise the download saves the card data whole or nothing, says it retrieved
// only what it saved, closes the device, and the tool takes input again.
TEST_F(CardTool, ARefusedWindowEndsThePathSoundly)
{
    enum class Path
    {
        Download,
        About
    };
    struct Outcome
    {
        DWORD exitCode = 0;
        bool shown = false;
        bool usable = false;
        WString status;
        std::optional<std::string> saved;
        bool deviceOpen = false;
    };
    auto run = [&](Path path, const std::function<void()>& arm) {
        sim::machine().Reset();
        SetUp();
        sim::UsbDuplicator device = Duplicator();
        sim::devices().Plug(device);
        arm();
        Outcome o;
        o.exitCode = RunTool([&] {
            d.WaitIdle();
            if (!Window())
                return;
            o.shown = true;
            ASSERT_TRUE(d.WaitUntil([&] { return d.IsEnabled(Item(IDC_DETECT)); }));
            if (path == Path::Download)
            {
                ASSERT_TRUE(d.WaitUntil([&] { return d.Items(Item(IDC_MODEL)).size() == 1; }));
                ASSERT_TRUE(d.Click(Item(IDC_DOWNLOAD)));
                d.WaitUntil([&] { return d.FileDialog().has_value() || d.IsEnabled(Item(IDC_DETECT)); });
                if (d.FileDialog())
                    d.AnswerFileDialog(kSaved, 1);
            }
            else
            {
                ASSERT_TRUE(d.SelectMenu(Window(), IDM_ABOUT));
                if (HWND about = d.TopWindow(Text(IDS_ABOUT_TITLE)))
                    d.Click(d.Control(about, IDOK));
            }
            o.usable = d.WaitUntil([&] { return d.IsEnabled(Item(IDC_DETECT)); });
            o.status = Status();
            d.Close(Window());
        });
        o.saved = sim::files().Bytes(kSaved);
        o.deviceOpen = sim::devices().Activity(sim::Devices::PathOf(device)).open;
        return o;
    };

    for (const auto& [path, what] : {std::pair{Path::Download, "download"}, std::pair{Path::About, "about"}})
    {
        const Outcome good = run(path, [] { sim::StartFaultPointRecord(); });
        const std::vector<sim::FaultPointCall> calls = sim::WindowCalls(sim::StopFaultPointRecord());
        ASSERT_TRUE(good.shown && good.usable) << what;
        ASSERT_EQ(good.exitCode, 0u) << what;
        ASSERT_EQ(good.saved.has_value(), path == Path::Download) << what;

        for (const sim::FaultPointCall& call : calls)
        {
            const Outcome o =
                run(path, [&] { sim::faults().FailNext(call.api, ERROR_NOT_ENOUGH_MEMORY, 1, call.nth); });
            const std::string where = std::string(what) + ": " + call.api + " #" + std::to_string(call.nth);
            EXPECT_EQ(o.exitCode, o.shown ? 0u : 0xFFFFFFFFu) << where;
            EXPECT_FALSE(o.deviceOpen) << where;
            if (!o.shown)
                continue;
            EXPECT_TRUE(o.usable) << where;
            EXPECT_EQ(o.saved.value_or(kRecords), kRecords) << where;
            EXPECT_EQ(o.status == Text(IDS_RETRIEVED), o.saved.has_value()) << where;
        }
    }
}

} // namespace
} // namespace tessicard
