#include <gtest/gtest.h>

#include "page_common.h"
#include "print_proc_caps.h"
#include "sub_dialogs.h"
#include "ui_fixture.h"
#include "ui_strings.h"
#include "user_papers.h"

#include <platform/winddiui.h>
#include <sim/gdi.h>
#include <sim/machine.h>
#include <sim/spooler.h>

#include <algorithm>
#include <cstring>

using namespace velmoui;
using namespace velmoui_test;

namespace
{
using ConvertFn = BOOL(WINAPI*)(LPWSTR, PDEVMODEW, PDEVMODEW, PLONG, DWORD);
using CapsFn = DWORD(WINAPI*)(HANDLE, LPWSTR, WORD, PVOID, PDEVMODEW);

WString Name(const velmo::UserPaper& p)
{
    return WString(p.name, std::find(std::begin(p.name), std::end(p.name), WCHAR{0}));
}

velmo::UserPaper Paper(const char16_t* name, LONG id, LONG width, LONG height)
{
    velmo::UserPaper p{};
    CopyName(p.name, name);
    p.id = id;
    p.width = width;
    p.height = height;
    return p;
}

// A record with the extents of an A3 model and the user papers given (ids 259 on).
SettingsRecord RecordWith(std::initializer_list<const char16_t*> names)
{
    SettingsRecord r{};
    r.modelPaperListType = 5;
    r.minPaperWidth = 1000;
    r.minPaperHeight = 1480;
    r.maxPaperWidth = 2970;
    r.maxPaperHeight = 4318;
    r.customWidth = 2100;
    r.customHeight = 2970;
    r.paperId = kPaperA4;
    r.outputSize = kOutputWithinMaximum;
    LONG id = kFirstUserPaperId;
    for (const char16_t* n : names)
    {
        r.userPapers[id - kFirstUserPaperId] = Paper(n, id, 1500 + (id - kFirstUserPaperId) * 10, 2000);
        ++id;
    }
    return r;
}

std::vector<WString> Names(const UserPaperWork& w)
{
    std::vector<WString> names;
    for (int i = 0; i < w.count; ++i)
        names.push_back(Name(w.papers[i]));
    return names;
}

class SubDialogs : public UiDllTest
{
protected:
    void SetUp() override
    {
        UiDllTest::SetUp();
        if (HasFatalFailure())
            return;
        convert = Proc<ConvertFn>(module, "DrvConvertDevMode");
        caps = Proc<CapsFn>(module, "DrvDeviceCapabilities");
        ASSERT_TRUE(convert && caps);
        printer = AddPrinter(kPrinterName, u"KORIGRAPH DX-2650"); // A3 papers, 100 mm the narrowest
    }

    // The printer's default settings with `edit` applied, as an application hands them in.
    std::vector<BYTE> DevMode(const std::function<void(SettingsRecord&)>& edit)
    {
        std::vector<BYTE> bytes(sizeof(SettingsRecord));
        auto* r = reinterpret_cast<SettingsRecord*>(bytes.data());
        LONG size = 2944;
        EXPECT_TRUE(convert(const_cast<LPWSTR>(kPrinterName), nullptr, &r->dm, &size, CDM_DRIVER_DEFAULT));
        edit(*r);
        bytes.resize(2944);
        return bytes;
    }

    // The document sheet under the scripted user; IDOK or IDCANCEL as it ended.
    LONG ModifySheet(std::vector<BYTE>& in, std::vector<BYTE>& out, const sim::Desktop::Script& script)
    {
        return DocumentSheet(printer, kPrinterName, out, &in, DM_PROMPT | DM_COPY | DM_MODIFY, script);
    }

    ConvertFn convert = nullptr;
    CapsFn caps = nullptr;
    HANDLE printer = nullptr;
};
} // namespace

// ---- The user paper rules -------------------------------------------------------------------------------

TEST(UserPaperRules, RegisterUpdatesAddsOrRefuses)
{
    SettingsRecord r = RecordWith({u"Alpha", u"Beta"});
    UserPaperWork w;
    LoadUserPapers(w, r, u"Custom");

    Registered done = RegisterPaper(w, u"Gamma", 1200, 1600);
    EXPECT_EQ(done.result, RegisterResult::Added);
    EXPECT_EQ(done.row, 3);
    done = RegisterPaper(w, u"Alpha", 1300, 1700);
    EXPECT_EQ(done.result, RegisterResult::Updated);
    EXPECT_EQ(done.row, 1);
    EXPECT_EQ(w.papers[0].width, 1300);
    done = RegisterPaper(w, u"Custom", 1400, 1800);
    EXPECT_EQ(done.result, RegisterResult::Custom);
    EXPECT_EQ(done.row, 0);
    EXPECT_EQ(w.customWidth, 1400);
    EXPECT_EQ(w.customHeight, 1800);
    EXPECT_EQ(Names(w), (std::vector<WString>{u"Alpha", u"Beta", u"Gamma"}));

    // Outside the extents nothing changes, whatever the name.
    struct Case
    {
        LONG width, height;
        RegisterResult result;
    } outside[] = {{999, 2000, RegisterResult::WidthOutside},
                   {2971, 2000, RegisterResult::WidthOutside},
                   {1500, 1479, RegisterResult::HeightOutside},
                   {1500, 4319, RegisterResult::HeightOutside}};
    for (const Case& c : outside)
    {
        UserPaperWork before = w;
        for (const char16_t* name : {u"Alpha", u"Custom", u"New"})
        {
            done = RegisterPaper(w, name, c.width, c.height);
            EXPECT_EQ(done.result, c.result) << c.width << "x" << c.height;
            EXPECT_EQ(done.row, -1);
        }
        EXPECT_EQ(std::memcmp(&before, &w, sizeof w), 0);
    }
    EXPECT_EQ(RegisterPaper(w, u"", 1500, 2000).result, RegisterResult::Empty);
    EXPECT_EQ(RegisterPaper(w, u"Edge", 1000, 4318).result, RegisterResult::Added)
        << "the extents themselves";
}

TEST(UserPaperRules, AFullTableRegistersOnlyKnownNames)
{
    SettingsRecord r = RecordWith({});
    UserPaperWork w;
    LoadUserPapers(w, r, u"Custom");
    for (int i = 0; i < kUserPaperCount; ++i)
    {
        WString name = u"P" + FormatDecimal(i, 0, u"");
        EXPECT_TRUE(CanRegister(w, name));
        EXPECT_EQ(RegisterPaper(w, name, 1500, 2000).result, RegisterResult::Added);
    }
    EXPECT_FALSE(CanRegister(w, u"One more"));
    EXPECT_EQ(RegisterPaper(w, u"One more", 1500, 2000).result, RegisterResult::Full);
    EXPECT_EQ(w.count, kUserPaperCount);
    EXPECT_TRUE(CanRegister(w, u"P7"));
    EXPECT_TRUE(CanRegister(w, u"Custom"));
    EXPECT_FALSE(CanRegister(w, u""));
    EXPECT_EQ(RegisterPaper(w, u"P7", 1600, 2100).result, RegisterResult::Updated);

    ASSERT_TRUE(DeleteUserPaper(w, 7));
    EXPECT_TRUE(CanRegister(w, u"One more"));
    EXPECT_FALSE(DeleteUserPaper(w, kUserPaperCount - 1)) << "that slot is empty now";
    EXPECT_FALSE(DeleteUserPaper(w, -1));
}

TEST(UserPaperRules, LoadingTakesNamedSlotsInOrderAndCutsLongNames)
{
    SettingsRecord r = RecordWith({u"Alpha"});
    r.userPapers[3] = Paper(u"Delta", 262, 1800, 2400);                                // after an empty slot
    std::fill(std::begin(r.userPapers[5].name), std::end(r.userPapers[5].name), u'x'); // no terminator
    r.userPapers[5].id = 264;
    UserPaperWork w;
    LoadUserPapers(w, r, u"Custom");
    ASSERT_EQ(w.count, 3);
    EXPECT_EQ(Names(w)[1], u"Delta");
    EXPECT_EQ(Names(w)[2], WString(kUserPaperNameChars, u'x'));
    EXPECT_EQ(w.originalIds[1], 262);
}

TEST(UserPaperRules, StoringRenumbersAndTheChoicesFollowTheirPaper)
{
    struct Case
    {
        const char* what;
        LONG paperId;
        int deleted; // slot
        LONG expected;
    } cases[] = {
        {"a paper after the deleted one moves up", 261, 1, 260},
        {"a paper before it keeps its id", 259, 1, 259},
        {"the deleted paper itself becomes A4", 260, 1, kPaperA4},
        {"a standard paper stays", 8, 0, 8},
        {"the custom size stays", kCustomPaperId, 0, kCustomPaperId},
    };
    for (const Case& c : cases)
    {
        SettingsRecord r = RecordWith({u"Alpha", u"Beta", u"Gamma"});
        r.paperId = c.paperId;
        UserPaperWork w;
        LoadUserPapers(w, r, u"Custom");
        ASSERT_TRUE(DeleteUserPaper(w, c.deleted));
        RegisterPaper(w, u"Custom", 1111, 2222);
        StoreUserPapers(r, w, true);
        EXPECT_EQ(r.paperId, c.expected) << c.what;
        EXPECT_EQ(r.outputSize, kOutputWithinMaximum) << c.what;
        for (int i = 0; i < 2; ++i)
            EXPECT_EQ(r.userPapers[i].id, kFirstUserPaperId + i) << c.what;
        EXPECT_EQ(r.userPapers[2].name[0], 0) << c.what;
        EXPECT_EQ(r.userPapers[2].id, 0) << c.what;
        EXPECT_EQ(r.customWidth, 1111);
        EXPECT_EQ(r.customHeight, 2222);
        EXPECT_EQ(r.userPaperFlag, 1);
    }
    // An output size that names a deleted user paper falls back to the largest-printable row.
    SettingsRecord r = RecordWith({u"Alpha"});
    r.outputSize = 259;
    UserPaperWork w;
    LoadUserPapers(w, r, u"Custom");
    DeleteUserPaper(w, 0);
    StoreUserPapers(r, w, false);
    EXPECT_EQ(r.outputSize, kOutputWithinMaximum);
    EXPECT_EQ(r.userPaperFlag, 0);
}

TEST(UserPaperRules, SizesShowAndReadInEitherUnit)
{
    struct Shown
    {
        LONG tenths;
        bool inches;
        const char16_t* text;
    } shown[] = {{1000, false, u"100.0"}, {2159, true, u"8.50"},   {2794, true, u"11.00"},
                 {1, true, u"0.00"},      {2970, false, u"297.0"}, {1000, true, u"3.94"}};
    for (const Shown& s : shown)
        EXPECT_EQ(ShowSize(s.tenths, s.inches, u"."), s.text) << s.tenths;
    EXPECT_EQ(ShowSize(2159, true, u","), u"8,50");

    struct Read
    {
        const char16_t* typed;
        bool inches;
        std::optional<int64_t> tenths;
    } read[] = {{u"90", false, 900},      {u"90.5", false, 905},         {u"90,5", false, 905},
                {u"8.5", true, 2159},     {u"11", true, 2794},           {u"-90", false, -900},
                {u"0", false, 0},         {u"abc", false, std::nullopt}, {u"99999", false, 999990},
                {u"", true, std::nullopt}};
    for (const Read& r : read)
        EXPECT_EQ(ReadSize(r.typed, r.inches), r.tenths) << static_cast<int>(r.typed[0]);

    // Millimetres go round exactly; inches within the hundredth they are shown in.
    for (LONG v = 1000; v <= 4318; ++v)
    {
        EXPECT_EQ(ReadSize(ShowSize(v, false, u"."), false), v);
        int64_t back = *ReadSize(ShowSize(v, true, u"."), true);
        ASSERT_LE(std::abs(back - v), 2) << v;
    }
}

// ---- The user paper dialog under the user ----------------------------------------------------------------

// From the Paper page: a paper registered, one re-registered, the custom size set, a width clamped on
// leaving its edit, an out-of-range width refused, inches chosen, the middle paper deleted; the page,
// its summary, the output settings and the device capabilities then agree.
TEST_F(SubDialogs, UserPapersEditedFromThePaperPage)
{
    auto in = DevMode([](SettingsRecord& r) {
        r.userPapers[0] = Paper(u"Alpha", 259, 1500, 2000);
        r.userPapers[1] = Paper(u"Beta", 260, 1600, 2100);
        r.userPapers[2] = Paper(u"Gamma", 261, 1700, 2200);
        r.dm.dmPaperSize = 261;
        r.dm.dmFields = DM_PAPERSIZE;
    });
    ASSERT_EQ(reinterpret_cast<SettingsRecord*>(in.data())->minPaperWidth, 1000);
    std::vector<BYTE> out(2944, 0xEE);
    const WString custom = UiString(551);
    std::vector<sim::MessageBoxShown> boxes;
    LONG result = ModifySheet(in, out, [&] {
        auto& d = sim::desktop();
        HWND sheet = d.TopWindow(u"Properties");
        ASSERT_NE(sheet, nullptr);
        EXPECT_TRUE(d.Click(d.Control(sheet, 1107)));
        HWND dlg = d.TopWindow(u"사용자 용지 크기");
        ASSERT_NE(dlg, nullptr);
        HWND list = d.Control(dlg, 2001);
        EXPECT_EQ(d.Items(list), (std::vector<WString>{custom, u"Alpha", u"Beta", u"Gamma"}));
        EXPECT_EQ(d.Text(d.Control(dlg, 2003)), custom);
        EXPECT_NE(d.Text(d.Control(dlg, 2007)).find(u"100.0"), WString::npos);
        EXPECT_FALSE(d.IsEnabled(d.Control(dlg, 2015))) << "the custom row cannot be deleted";

        EXPECT_TRUE(d.Type(d.Control(dlg, 2003), u"Delta"));
        EXPECT_TRUE(d.Type(d.Control(dlg, 2006), u"90"));
        EXPECT_TRUE(d.Type(d.Control(dlg, 2009), u"150"));
        EXPECT_EQ(d.Text(d.Control(dlg, 2006)), u"100.0") << "clamped when the focus left";
        EXPECT_TRUE(d.Click(d.Control(dlg, 2017)));
        EXPECT_EQ(d.Text(d.Control(dlg, 2009)), u"150.0");
        EXPECT_EQ(d.Items(list), (std::vector<WString>{custom, u"Alpha", u"Beta", u"Gamma", u"Delta"}));

        EXPECT_TRUE(d.Pick(list, 2));
        EXPECT_EQ(d.Text(d.Control(dlg, 2003)), u"Beta");
        EXPECT_EQ(d.Text(d.Control(dlg, 2006)), u"160.0");
        EXPECT_TRUE(d.Type(d.Control(dlg, 2006), u"120"));
        EXPECT_TRUE(d.Click(d.Control(dlg, 2017)));
        EXPECT_EQ(d.Items(list).size(), 5u) << "re-registering a name takes no slot";

        EXPECT_TRUE(d.Pick(list, 0));
        EXPECT_TRUE(d.Type(d.Control(dlg, 2006), u"200"));
        EXPECT_TRUE(d.Type(d.Control(dlg, 2009), u"250"));
        EXPECT_TRUE(d.Click(d.Control(dlg, 2017)));

        // A width typed and registered from the keyboard, the focus still in its edit.
        EXPECT_TRUE(d.Type(d.Control(dlg, 2006), u"500"));
        PostMessageW(d.Control(dlg, 2017), BM_CLICK, 0, 0);
        ASSERT_TRUE(d.WaitIdle());
        auto box = d.MessageBox();
        ASSERT_TRUE(box.has_value());
        boxes.push_back(*box);
        EXPECT_TRUE(d.AnswerMessageBox(IDOK));

        EXPECT_TRUE(d.Click(d.Control(dlg, 2012)));
        EXPECT_NE(d.Text(d.Control(dlg, 2007)).find(u"3.94"), WString::npos) << "the range in inches";
        EXPECT_TRUE(d.Pick(list, 1));
        EXPECT_EQ(d.Text(d.Control(dlg, 2006)), u"5.91");
        EXPECT_TRUE(d.Type(d.Control(dlg, 2006), u"8.5"));
        EXPECT_TRUE(d.Click(d.Control(dlg, 2017)));

        EXPECT_TRUE(d.Pick(list, 2));
        EXPECT_TRUE(d.IsEnabled(d.Control(dlg, 2015)));
        EXPECT_TRUE(d.Click(d.Control(dlg, 2015)));
        EXPECT_EQ(d.Items(list), (std::vector<WString>{custom, u"Alpha", u"Gamma", u"Delta"}));
        EXPECT_TRUE(d.Click(d.Control(dlg, IDOK)));
        EXPECT_EQ(d.TopWindow(u"사용자 용지 크기"), nullptr);

        auto papers = d.Items(d.Control(sheet, 1104));
        ASSERT_GE(papers.size(), 3u);
        EXPECT_EQ(std::vector<WString>(papers.end() - 3, papers.end()),
                  (std::vector<WString>{u"Alpha", u"Gamma", u"Delta"}));
        EXPECT_EQ(papers[static_cast<size_t>(d.Selection(d.Control(sheet, 1104)))], u"Gamma");
        EXPECT_NE(d.Text(d.Control(sheet, 1013)).find(u"Gamma"), WString::npos);
        EXPECT_NE(d.Text(d.Control(sheet, 1013)).find(u"6.69 x 8.66 in"), WString::npos);
        EXPECT_TRUE(d.Click(d.Control(sheet, IDOK)));
    });
    EXPECT_EQ(result, IDOK);

    ASSERT_EQ(boxes.size(), 1u);
    EXPECT_NE(boxes[0].text.find(u"100.0"), WString::npos) << "567 with the minimum";
    EXPECT_NE(boxes[0].text.find(u"297.0"), WString::npos) << "and the maximum";
    EXPECT_NE(boxes[0].text.find(u"[mm]"), WString::npos);
    EXPECT_EQ(boxes[0].text.substr(0, 10), UiString(567).substr(0, 10));
    EXPECT_EQ(boxes[0].type, static_cast<UINT>(MB_SETFOREGROUND | MB_ICONERROR));
    EXPECT_EQ(boxes[0].caption, u"Properties");

    const auto* r = reinterpret_cast<const SettingsRecord*>(out.data());
    EXPECT_EQ(r->paperId, 260) << "Gamma kept by identity under its new id";
    EXPECT_EQ(Name(r->userPapers[0]), u"Alpha");
    EXPECT_EQ(r->userPapers[0].width, 2159);
    EXPECT_EQ(Name(r->userPapers[1]), u"Gamma");
    EXPECT_EQ(r->userPapers[1].id, 260);
    EXPECT_EQ(Name(r->userPapers[2]), u"Delta");
    EXPECT_EQ(r->userPapers[2].id, 261);
    EXPECT_EQ(r->userPapers[2].width, 1000);
    EXPECT_EQ(r->userPapers[2].height, 1500);
    EXPECT_EQ(r->userPapers[3].name[0], 0);
    EXPECT_EQ(r->customWidth, 2000);
    EXPECT_EQ(r->customHeight, 2500);
    EXPECT_EQ(r->userPaperFlag, 1);

    // The device capabilities read from the settings name the same papers in the same order.
    auto* dm = reinterpret_cast<DEVMODEW*>(out.data());
    DWORD count = caps(printer, const_cast<LPWSTR>(kPrinterName), DC_PAPERNAMES, nullptr, dm);
    ASSERT_GE(count, 3u);
    std::vector<WCHAR> names(count * 64);
    ASSERT_EQ(caps(printer, const_cast<LPWSTR>(kPrinterName), DC_PAPERNAMES, names.data(), dm), count);
    std::vector<WORD> ids(count);
    ASSERT_EQ(caps(printer, const_cast<LPWSTR>(kPrinterName), DC_PAPERS, ids.data(), dm), count);
    const char16_t* expected[] = {u"Alpha", u"Gamma", u"Delta"};
    for (DWORD i = 0; i < 3; ++i)
    {
        const WCHAR* name = names.data() + (count - 3 + i) * 64;
        EXPECT_EQ(WString(name), expected[i]);
        EXPECT_EQ(ids[count - 3 + i], kFirstUserPaperId + static_cast<LONG>(i));
    }
}

TEST_F(SubDialogs, CancelledOrUnallocatedUserPaperDialogsChangeNothing)
{
    auto in = DevMode([](SettingsRecord& r) {
        r.userPapers[0] = Paper(u"Alpha", 259, 1500, 2000);
        r.dm.dmPaperSize = 259;
        r.dm.dmFields = DM_PAPERSIZE;
    });
    std::vector<BYTE> out(2944, 0xEE);
    LONG result = ModifySheet(in, out, [&] {
        auto& d = sim::desktop();
        HWND sheet = d.TopWindow(u"Properties");
        sim::faults().FailNext("GlobalAlloc", ERROR_NOT_ENOUGH_MEMORY);
        EXPECT_TRUE(d.Click(d.Control(sheet, 1107)));
        EXPECT_EQ(d.TopWindow(u"사용자 용지 크기"), nullptr) << "the dialog ended at once";

        EXPECT_TRUE(d.Click(d.Control(sheet, 1107)));
        HWND dlg = d.TopWindow(u"사용자 용지 크기");
        ASSERT_NE(dlg, nullptr);
        // What the edits take: names of 39 characters, sizes of 5.
        EXPECT_TRUE(d.Type(d.Control(dlg, 2003), WString(40, u'n')));
        EXPECT_EQ(d.Text(d.Control(dlg, 2003)), WString(39, u'n'));
        EXPECT_TRUE(d.Type(d.Control(dlg, 2006), u"123456"));
        EXPECT_EQ(d.Text(d.Control(dlg, 2006)), u"12345");
        const WString heightShown = d.Text(d.Control(dlg, 2009));
        EXPECT_TRUE(d.Type(d.Control(dlg, 2009), u"abc"));
        EXPECT_TRUE(d.Click(d.Control(dlg, 2017)));
        EXPECT_EQ(d.Text(d.Control(dlg, 2006)), u"297.0") << "clamped to the widest";
        EXPECT_EQ(d.Text(d.Control(dlg, 2009)), heightShown) << "no number keeps the height shown before";
        EXPECT_EQ(d.Items(d.Control(dlg, 2001)).back(), WString(39, u'n'));
        EXPECT_TRUE(d.Pick(d.Control(dlg, 2001), 1));
        EXPECT_TRUE(d.Click(d.Control(dlg, 2015)));
        EXPECT_TRUE(d.Close(dlg));
        EXPECT_EQ(d.TopWindow(u"사용자 용지 크기"), nullptr);
        auto papers = d.Items(d.Control(sheet, 1104));
        EXPECT_EQ(papers.back(), u"Alpha");
        EXPECT_TRUE(d.Click(d.Control(sheet, IDOK)));
    });
    EXPECT_EQ(result, IDOK);
    const auto* r = reinterpret_cast<const SettingsRecord*>(out.data());
    EXPECT_EQ(r->paperId, 259);
    EXPECT_EQ(Name(r->userPapers[0]), u"Alpha");
}

// ---- Order, binding and user ID --------------------------------------------------------------------------

TEST_F(SubDialogs, OrderDialogShowsTwoOrFourChoicesAndStoresTheChecked)
{
    struct Case
    {
        const char* what;
        LONG pages, orientation, order;
        std::vector<int> shown;
        bool enabled;
        int checked; // 0: none
        int click;   // a picture or button the user clicks, 0: none
        LONG stored;
    } cases[] = {
        {"2 pages portrait", 2, DMORIENT_PORTRAIT, 2, {2101, 2105}, true, 2101, 2106, 4},
        {"2 pages landscape", 2, DMORIENT_LANDSCAPE, 8, {2101, 2105}, false, 2105, 0, 4},
        {"4 pages, picture click", 4, DMORIENT_PORTRAIT, 4, {2101, 2103, 2105, 2107}, true, 2105, 2108, 8},
        {"9 pages, none checked", 9, DMORIENT_LANDSCAPE, 0, {2101, 2103, 2105, 2107}, true, 0, 0, 1},
        {"16 pages, button click", 16, DMORIENT_PORTRAIT, 1, {2101, 2103, 2105, 2107}, true, 2101, 2103, 2},
    };
    for (const Case& c : cases)
    {
        const sim::GdiCounts before = sim::CountGdi();
        SettingsRecord r{};
        r.pagesPerSheet = c.pages;
        r.orientation = c.orientation;
        r.nupOrder = c.order;
        INT_PTR result = 0;
        sim::desktop().Run(
            [&] {
                result = RunOrderDialog(nullptr, r);
                return 0;
            },
            [&] {
                auto& d = sim::desktop();
                HWND dlg = d.TopWindow(u"배치 순서");
                ASSERT_NE(dlg, nullptr) << c.what;
                for (int b : {2101, 2103, 2105, 2107})
                {
                    bool shown = std::find(c.shown.begin(), c.shown.end(), b) != c.shown.end();
                    EXPECT_EQ(d.IsVisible(d.Control(dlg, b)), shown) << c.what << " " << b;
                    if (!shown)
                        continue;
                    EXPECT_EQ(d.IsEnabled(d.Control(dlg, b)), c.enabled) << c.what << " " << b;
                    EXPECT_EQ(d.CheckState(d.Control(dlg, b)) == BST_CHECKED, b == c.checked)
                        << c.what << " " << b;
                }
                for (int b : c.shown)
                    EXPECT_NE(SendMessageW(d.Control(dlg, b + 1), STM_GETIMAGE, IMAGE_BITMAP, 0), 0)
                        << c.what << ": the picture of " << b;
                if (c.pages == 2)
                {
                    EXPECT_EQ(d.Text(d.Control(dlg, 2101)), UiString(592));
                    EXPECT_EQ(d.Text(d.Control(dlg, 2105)), UiString(591));
                }
                if (c.click)
                {
                    EXPECT_TRUE(d.Click(d.Control(dlg, c.click)));
                }
                EXPECT_TRUE(d.Click(d.Control(dlg, IDOK)));
            });
        EXPECT_EQ(result, IDOK) << c.what;
        EXPECT_EQ(r.nupOrder, c.stored) << c.what;
        EXPECT_EQ(sim::CountGdi(), before) << c.what << ": the pictures go with the dialog";
    }
}

TEST_F(SubDialogs, BindingDialogStoresRightUnlessLeftIsChecked)
{
    struct Case
    {
        LONG opening;
        int click;
        int answer;
        LONG stored;
    } cases[] = {{1, 2202, IDOK, 0}, {0, 2203, IDOK, 1}, {0, 0, IDOK, 0}, {1, 2202, IDCANCEL, 1}};
    for (const Case& c : cases)
    {
        SettingsRecord r{};
        r.bookletOpening = c.opening;
        INT_PTR result = 0;
        sim::desktop().Run(
            [&] {
                result = RunBindingDialog(nullptr, r);
                return 0;
            },
            [&] {
                auto& d = sim::desktop();
                HWND dlg = d.TopWindow(u"제본");
                ASSERT_NE(dlg, nullptr);
                EXPECT_EQ(d.CheckState(d.Control(dlg, c.opening ? 2203 : 2201)), BST_CHECKED);
                if (c.click)
                {
                    EXPECT_TRUE(d.Click(d.Control(dlg, c.click)));
                }
                EXPECT_TRUE(d.Click(d.Control(dlg, c.answer)));
            });
        EXPECT_EQ(result, c.answer);
        EXPECT_EQ(r.bookletOpening, c.stored) << c.opening << " " << c.click;
    }
}

TEST_F(SubDialogs, UserIdBoxTakesTheSheetsCaption)
{
    INT_PTR result = 0;
    sim::desktop().Run(
        [&] {
            result = RunUserIdDialog(nullptr, u"Velmo Q7 Printing Preferences");
            return 0;
        },
        [&] {
            auto& d = sim::desktop();
            HWND dlg = d.TopWindow(u"Velmo Q7 Printing Preferences");
            ASSERT_NE(dlg, nullptr);
            EXPECT_EQ(d.Text(d.Control(dlg, 2301)), UiString(618));
            EXPECT_TRUE(d.Close(dlg));
        });
    EXPECT_EQ(result, IDOK);
}

// ---- About -----------------------------------------------------------------------------------------------

TEST_F(SubDialogs, AboutBoxFromThePreferencesPage)
{
    const sim::GdiCounts before = sim::CountGdi();
    const WString years = BuildYears();
    ASSERT_EQ(years.size(), 4u);
    EXPECT_GE(years, u"2024");
    sim::desktop().Run(
        [&] {
            printerProperties(nullptr, printer);
            return 0;
        },
        [&] {
            auto& d = sim::desktop();
            HWND sheet = d.TopWindow(u"Printer Properties");
            ASSERT_NE(sheet, nullptr);
            EXPECT_TRUE(d.Click(d.Control(sheet, 1707)));
            HWND about = d.TopWindow(u"About...");
            ASSERT_NE(about, nullptr);
            EXPECT_EQ(sim::machine().OpenActivations(), 1u) << "the dialog runs in the module's context";
            // The logo is drawn in the middle of its button, on the button's face.
            sim::Picture logo = sim::Drawn(d.Control(about, 1001));
            ASSERT_FALSE(logo.Empty());
            const COLORREF face = GetSysColor(COLOR_BTNFACE);
            EXPECT_EQ(logo.At(0, 0), face);
            LONG left = logo.width, right = -1, top = logo.height, bottom = -1;
            for (LONG y = 0; y < logo.height; ++y)
                for (LONG x = 0; x < logo.width; ++x)
                    if (logo.At(x, y) != face)
                    {
                        left = std::min(left, x);
                        right = std::max(right, x);
                        top = std::min(top, y);
                        bottom = std::max(bottom, y);
                    }
            ASSERT_GE(right, left) << "something of the logo shows";
            EXPECT_LE(std::abs(left - (logo.width - 1 - right)), 1) << left << " " << right;
            EXPECT_LE(std::abs(top - (logo.height - 1 - bottom)), 1) << top << " " << bottom;
            EXPECT_EQ(d.Text(d.Control(about, 1002)), UiString(200));
            EXPECT_EQ(d.Text(d.Control(about, 1003)), u"Version 7.43");
            EXPECT_EQ(d.Text(d.Control(about, 1004)), u"");
            WString maker = d.Text(d.Control(about, 1005));
            EXPECT_NE(maker.find(years), WString::npos);
            EXPECT_EQ(maker.find(u"%s"), WString::npos);
            WString legal = d.Text(d.Control(about, 1007));
            const WString stars = u"\r\n********************************\r\n\r\n";
            ASSERT_GT(legal.size(), stars.size() + 100);
            EXPECT_EQ(legal.substr(legal.size() - stars.size()), stars);
            EXPECT_TRUE(d.Close(about));
            EXPECT_EQ(d.TopWindow(u"About..."), nullptr);

            d.SetKeyDown(VK_SHIFT, true);
            EXPECT_TRUE(d.Click(d.Control(sheet, 1707)));
            about = d.TopWindow(u"About...");
            EXPECT_EQ(d.Text(d.Control(about, 1004)), u"") << "Shift alone";
            EXPECT_TRUE(d.Click(d.Control(about, IDOK)));
            d.SetKeyDown(VK_CONTROL, true);
            EXPECT_TRUE(d.Click(d.Control(sheet, 1707)));
            about = d.TopWindow(u"About...");
            EXPECT_EQ(d.Text(d.Control(about, 1004)), u"Core Module Ver9.00.00");
            EXPECT_TRUE(d.Click(d.Control(about, IDOK)));
            d.SetKeyDown(VK_SHIFT, false);
            d.SetKeyDown(VK_CONTROL, false);
            EXPECT_TRUE(d.Click(d.Control(sheet, IDCANCEL)));
        });
    EXPECT_EQ(sim::CountGdi(), before) << "nothing of the logo or the summary font is left";
}

// ---- Wiring of the pages' buttons ------------------------------------------------------------------------

TEST_F(SubDialogs, LayoutDetailsOpenTheOrderDialogForCombination)
{
    sim::spooler().SetPrinterData(kPrinterName, kPrintProcCapsValue, REG_BINARY, CapsRecord(0x3F, 0x2));
    auto in = DevMode([](SettingsRecord& r) {
        r.dm.dmOrientation = DMORIENT_LANDSCAPE;
        r.dm.dmFields = DM_ORIENTATION;
    });
    std::vector<BYTE> out(2944, 0xEE);
    LONG result = ModifySheet(in, out, [&] {
        auto& d = sim::desktop();
        HWND sheet = d.TopWindow(u"Properties");
        EXPECT_TRUE(d.Pick(d.FindControl(sheet, u"SysTabControl32"), 1));
        EXPECT_FALSE(d.IsEnabled(d.Control(sheet, 1214))) << "standard mode has no details";
        EXPECT_TRUE(d.PickText(d.Control(sheet, 1211), UiString(586)));
        HWND pages = d.Control(sheet, 1212);
        auto counts = d.Items(pages);
        ASSERT_GE(counts.size(), 2u);
        EXPECT_NE(counts[0].find(u"2"), WString::npos);
        EXPECT_TRUE(d.Pick(pages, 0));
        EXPECT_TRUE(d.Click(d.Control(sheet, 1214)));
        HWND dlg = d.TopWindow(u"배치 순서");
        ASSERT_NE(dlg, nullptr);
        EXPECT_FALSE(d.IsEnabled(d.Control(dlg, 2101))) << "2 pages in landscape";
        EXPECT_FALSE(d.IsVisible(d.Control(dlg, 2103)));
        EXPECT_TRUE(d.Click(d.Control(dlg, IDCANCEL)));

        EXPECT_TRUE(d.Pick(pages, 1));
        EXPECT_TRUE(d.Click(d.Control(sheet, 1214)));
        dlg = d.TopWindow(u"배치 순서");
        ASSERT_NE(dlg, nullptr);
        EXPECT_TRUE(d.IsVisible(d.Control(dlg, 2107)));
        EXPECT_TRUE(d.Click(d.Control(dlg, 2108)));
        EXPECT_TRUE(d.Click(d.Control(dlg, IDOK)));
        EXPECT_TRUE(d.Click(d.Control(sheet, IDOK)));
    });
    EXPECT_EQ(result, IDOK);
    const auto* r = reinterpret_cast<const SettingsRecord*>(out.data());
    EXPECT_EQ(r->layoutMode, 4);
    EXPECT_EQ(r->nupOrder, 8);
}

TEST_F(SubDialogs, TheUserIdIconOpensItsBox)
{
    HANDLE memory = AddPrinter(u"Velmo Memory", u"KORIGRAPH DX-4600", false); // keeps masters per user ID
    std::vector<BYTE> out(2944, 0xEE);
    DocumentSheet(memory, u"Velmo Memory", out, nullptr, DM_PROMPT | DM_COPY, [&] {
        auto& d = sim::desktop();
        HWND sheet = d.TopWindow(u"Properties");
        ASSERT_NE(sheet, nullptr);
        HWND tabs = d.FindControl(sheet, u"SysTabControl32");
        EXPECT_TRUE(d.Pick(tabs, static_cast<int>(d.Items(tabs).size()) - 1));
        EXPECT_TRUE(d.Click(d.Control(sheet, 1513)));
        HWND box = d.TopWindow(u"Properties");
        ASSERT_NE(box, sheet) << "the box carries the sheet's caption";
        EXPECT_EQ(d.Text(d.Control(box, 2301)), UiString(618));
        EXPECT_TRUE(d.Click(d.Control(box, IDOK)));
        EXPECT_EQ(d.TopWindow(u"Properties"), sheet);
        EXPECT_TRUE(d.Click(d.Control(sheet, IDCANCEL)));
    });
}

// Without its activation context (it could not be made) the DLL still shows its pages and dialogs, in
// the caller's context; with it, every activation is undone and the context goes with the DLL.
TEST_F(SubDialogs, TheModulesActivationContextIsOptionalAndBalanced)
{
    EXPECT_EQ(sim::machine().LiveActivationContexts(), 1u);
    FreeLibrary(module);
    EXPECT_EQ(sim::machine().LiveActivationContexts(), 0u);
    sim::faults().FailNext("CreateActCtxW", ERROR_OUTOFMEMORY);
    module = LoadLibraryW(u"VelmQ7UI.dll");
    ASSERT_NE(module, nullptr);
    printerProperties = Proc<PrinterPropertiesFn>(module, "PrinterProperties");
    EXPECT_EQ(sim::machine().LiveActivationContexts(), 0u);
    sim::desktop().Run(
        [&] {
            printerProperties(nullptr, printer);
            return 0;
        },
        [&] {
            auto& d = sim::desktop();
            HWND sheet = d.TopWindow(u"Printer Properties");
            ASSERT_NE(sheet, nullptr);
            EXPECT_TRUE(d.Click(d.Control(sheet, 1707)));
            HWND about = d.TopWindow(u"About...");
            ASSERT_NE(about, nullptr);
            EXPECT_EQ(sim::machine().OpenActivations(), 0u);
            EXPECT_TRUE(d.Click(d.Control(about, IDOK)));
            EXPECT_TRUE(d.Click(d.Control(sheet, IDCANCEL)));
        });
    EXPECT_EQ(sim::machine().OpenActivations(), 0u);
}

// Pictures are loaded for the screen: above 96 dpi at (dpi·size + 48) / 96.
TEST_F(SubDialogs, PicturesFollowTheScreensDpi)
{
    for (UINT dpi : {96u, 120u, 144u})
    {
        sim::MonitorSetup display;
        display.dpi = dpi;
        sim::desktop().SetMonitors({display});
        SettingsRecord r{};
        std::vector<SIZE> sizes;
        sim::desktop().Run(
            [&] {
                RunBindingDialog(nullptr, r);
                return 0;
            },
            [&] {
                auto& d = sim::desktop();
                HWND dlg = d.TopWindow(u"제본");
                ASSERT_NE(dlg, nullptr);
                for (int picture : {2202, 2204})
                {
                    auto bitmap = reinterpret_cast<HGDIOBJ>(
                        SendMessageW(d.Control(dlg, picture), STM_GETIMAGE, IMAGE_BITMAP, 0));
                    BITMAP info{};
                    ASSERT_EQ(GetObjectW(bitmap, sizeof info, &info), static_cast<int>(sizeof info)) << dpi;
                    sizes.push_back(SIZE{info.bmWidth, info.bmHeight});
                }
                EXPECT_TRUE(d.Click(d.Control(dlg, IDCANCEL)));
            });
        ASSERT_EQ(sizes.size(), 2u);
        HBITMAP natural =
            static_cast<HBITMAP>(LoadImageW(module, MAKEINTRESOURCEW(297), IMAGE_BITMAP, 0, 0, 0));
        BITMAP info{};
        ASSERT_EQ(GetObjectW(natural, sizeof info, &info), static_cast<int>(sizeof info));
        DeleteObject(natural);
        const LONG w = dpi > 96 ? (static_cast<LONG>(dpi) * info.bmWidth + 48) / 96 : info.bmWidth;
        const LONG h = dpi > 96 ? (static_cast<LONG>(dpi) * info.bmHeight + 48) / 96 : info.bmHeight;
        EXPECT_EQ(sizes[0].cx, w) << dpi;
        EXPECT_EQ(sizes[0].cy, h) << dpi;
    }
}

// A drawing call that fails leaves the logo out, never anything behind.
TEST_F(SubDialogs, TheLogoSurvivesEachFailingDrawingCall)
{
    for (const char* api : {"LoadImageW", "CreateCompatibleDC"})
    {
        const sim::GdiCounts before = sim::CountGdi();
        sim::desktop().Run(
            [&] {
                sim::faults().FailNext(api, ERROR_NOT_ENOUGH_MEMORY);
                RunAboutDialog(nullptr);
                return 0;
            },
            [&] {
                auto& d = sim::desktop();
                HWND about = d.TopWindow(u"About...");
                ASSERT_NE(about, nullptr) << api;
                sim::Picture logo = sim::Drawn(d.Control(about, 1001));
                const COLORREF face = GetSysColor(COLOR_BTNFACE);
                for (LONG y = 0; y < logo.height; ++y)
                    for (LONG x = 0; x < logo.width; ++x)
                        ASSERT_EQ(logo.At(x, y), face) << api << " " << x << "," << y;
                EXPECT_TRUE(d.Click(d.Control(about, IDOK)));
            });
        EXPECT_TRUE(sim::faults().Pending().empty()) << api;
        EXPECT_EQ(sim::CountGdi(), before) << api;
    }
}

TEST_F(SubDialogs, LayoutDetailsOpenTheBindingDialogForBooklets)
{
    HANDLE duplex = AddPrinter(u"Velmo Duplex", u"KORIGRAPH DX-2660", false); // prints both sides
    sim::spooler().SetPrinterData(u"Velmo Duplex", kPrintProcCapsValue, REG_BINARY, CapsRecord(0x3F, 0x2));
    std::vector<BYTE> out(2944, 0xEE);
    LONG result = 0;
    result = DocumentSheet(duplex, u"Velmo Duplex", out, nullptr, DM_PROMPT | DM_COPY, [&] {
        auto& d = sim::desktop();
        HWND sheet = d.TopWindow(u"Properties");
        ASSERT_NE(sheet, nullptr);
        EXPECT_TRUE(d.Pick(d.FindControl(sheet, u"SysTabControl32"), 1));
        EXPECT_TRUE(d.PickText(d.Control(sheet, 1211), UiString(584)));
        ASSERT_TRUE(d.IsEnabled(d.Control(sheet, 1214)));
        EXPECT_TRUE(d.Click(d.Control(sheet, 1214)));
        HWND dlg = d.TopWindow(u"제본");
        ASSERT_NE(dlg, nullptr);
        EXPECT_EQ(d.CheckState(d.Control(dlg, 2201)), BST_CHECKED) << "left, as the defaults have it";
        EXPECT_TRUE(d.Click(d.Control(dlg, 2204)));
        EXPECT_EQ(d.CheckState(d.Control(dlg, 2203)), BST_CHECKED) << "the picture clicked its button";
        EXPECT_TRUE(d.Click(d.Control(dlg, IDOK)));
        EXPECT_TRUE(d.Click(d.Control(sheet, IDOK)));
    });
    EXPECT_EQ(result, IDOK);
    const auto* r = reinterpret_cast<const SettingsRecord*>(out.data());
    EXPECT_EQ(r->layoutMode, 8);
    EXPECT_EQ(r->bookletOpening, 1);
}
