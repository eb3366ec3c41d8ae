#include <gtest/gtest.h>

#include <platform/commdlg.h>
#include <sim/machine.h>
#include <sim/window_sweep.h>

#include "kgl2bmp_resource.h"
#include "kgl2bmp_texts.h"
#include "kgl_fixture.h"
#include "page_render.h"
#include "print_scan.h"

#include <filesystem>
#include <string>

namespace kgl2bmp
{
namespace
{
using namespace printfile::fixture;

constexpr const char16_t* kProgram = u"C:\\Tools\\KGL2BMP.exe";
constexpr const char16_t* kJob = u"C:\\Jobs\\job.kgl";

std::string AsString(const Bytes& bytes)
{
    return {bytes.begin(), bytes.end()};
}

// ASCII text of a wide string, for messages and numbers.
std::string Ascii(WStringView text)
{
    return {text.begin(), text.end()};
}

// A page on 10 x 10 mm paper: its lines of 32 pixels, with the header's resolution, copies and sets.
Header SmallPage(unsigned resolution, unsigned copies, unsigned sets)
{
    Header h;
    h.paperCode = 0;
    h.resolution = resolution;
    h.copies = copies;
    h.sets = sets;
    return h;
}

Layout SmallSheet()
{
    Layout l;
    l.extent1 = 100;
    l.extent2 = 100;
    return l;
}

// Three pages that differ in everything the dialog shows, and in their pixels.
Bytes ThreePageJob()
{
    Stream s;
    s.JobStart()
        .Page(Bytes(4 * 4, 0x80), SmallPage(0x63, 2, 3), 8, SmallSheet())
        .Page(Bytes(4 * 4, 0x0F), SmallPage(0x33, 5, 1), 8, SmallSheet())
        .Page(Bytes(8 * 4, 0xF0), SmallPage(0x44, 1, 7), 8, SmallSheet())
        .JobEnd();
    return s.bytes;
}

Bytes OnePageJob()
{
    Stream s;
    s.JobStart().Page(Bytes(4 * 4, 0xFF), SmallPage(0x22, 9, 9), 8, SmallSheet()).JobEnd();
    return s.bytes;
}

// What the reader itself writes for page `index` of `file`.
std::string ReaderBitmap(const Bytes& file, size_t index)
{
    printfile::MemoryByteView view(file);
    std::vector<printfile::CPrintTicket> pages;
    EXPECT_GT(printfile::ScanPrintFile(pages, view), static_cast<int>(index));
    EXPECT_TRUE(printfile::RenderPageToBmp(view, pages.at(index), u"C:\\reference.bmp").Written());
    return sim::files().Bytes(u"C:\\reference.bmp").value_or("");
}

using Numbers = std::vector<WString>;
const Numbers kNoPages{u"0", u"0", u"0", u"0", u"0", u"0"};

class Kgl2Bmp : public ::testing::Test
{
protected:
    void SetUp() override
    {
        CreateDirectoryW(u"C:\\Jobs", nullptr);
        CreateDirectoryW(u"C:\\Out", nullptr);
    }

    sim::Desktop& d = sim::desktop();
    HWND dialog = nullptr;

    HWND Item(int id) const { return d.Control(dialog, id); }
    WString Shown(int id) const { return d.Text(Item(id)); }
    bool SaveMenuGreyed() const { return (d.MenuState(dialog, IDM_SAVE).value_or(0) & MF_GRAYED) != 0; }

    // Page count, x and y dpi, page, copies and sets as the dialog shows them.
    std::vector<WString> Values() const
    {
        std::vector<WString> out;
        for (int id : {IDC_PAGES, IDC_XDPI, IDC_YDPI, IDC_PAGE, IDC_COPIES, IDC_SETS})
            out.push_back(Shown(id));
        return out;
    }

    // Runs the program with `arguments`; `script` starts once the main dialog is up, and the program is
    // closed from the menu afterwards.
    DWORD RunProgram(WStringView arguments, const std::function<void()>& script)
    {
        return d.Run(kProgram, arguments, [&] {
            ASSERT_TRUE(d.WaitIdle());
            dialog = d.TopWindow(u"KGL2BMP");
            ASSERT_NE(dialog, nullptr);
            script();
            d.SelectMenu(dialog, IDM_EXIT);
        });
    }
};

TEST_F(Kgl2Bmp, OpensTheFileFromTheCommandLineATypedPathTheOpenDialogOrADrop)
{
    sim::files().Put(kJob, AsString(ThreePageJob()));
    sim::files().Put(u"C:\\Jobs\\one.prn", AsString(OnePageJob()));
    sim::files().Put(u"C:\\Jobs\\notes.txt", "no print file here");
    const DWORD exitCode = RunProgram(u"C:\\Jobs\\job.kgl C:\\Jobs\\one.prn", [&] {
        EXPECT_EQ(Shown(IDC_PATH), kJob);
        EXPECT_EQ(Values(), (Numbers{u"3", u"600", u"300", u"1", u"2", u"3"}));
        EXPECT_EQ(d.Range(Item(IDC_PAGE_SPIN)), std::make_pair(1, 3));
        EXPECT_TRUE(d.IsEnabled(Item(IDC_SAVE)));
        EXPECT_FALSE(SaveMenuGreyed());
        EXPECT_EQ(d.Icon(dialog, true), u"#107");
        EXPECT_EQ(d.Icon(dialog, false), u"#107");

        // Names that give no pages: missing, a folder, a file without pages.
        for (const char16_t* path : {u"C:\\Jobs\\missing.kgl", u"C:\\Jobs", u"C:\\Jobs\\notes.txt"})
        {
            d.Type(Item(IDC_PATH), path);
            EXPECT_EQ(Values(), kNoPages) << Ascii(path);
            EXPECT_FALSE(d.IsEnabled(Item(IDC_SAVE)));
            EXPECT_TRUE(SaveMenuGreyed());
        }

        d.DropFiles(Item(IDC_PATH), {u"C:\\Jobs\\one.prn", kJob});
        EXPECT_EQ(Shown(IDC_PATH), u"C:\\Jobs\\one.prn");
        EXPECT_EQ(Values(), (Numbers{u"1", u"200", u"200", u"1", u"9", u"9"}));

        d.Click(Item(IDC_BROWSE));
        const auto open = d.FileDialog();
        ASSERT_TRUE(open);
        EXPECT_EQ(open->kind, sim::FileDialogKind::Open);
        EXPECT_EQ(open->filters,
                  (std::vector<std::pair<WString, WString>>{{u"KORIGRAPH Files (*.kgl;*prn)", u"*.kgl;*.prn"},
                                                            {u"All Files (*.*)", u"*.*"}}));
        const DWORD wanted = OFN_FILEMUSTEXIST | OFN_PATHMUSTEXIST | OFN_HIDEREADONLY | OFN_NOCHANGEDIR;
        EXPECT_EQ(open->flags & wanted, wanted);
        d.AnswerFileDialog(kJob);
        EXPECT_EQ(Values()[0], u"3");

        // A cancelled open dialog changes nothing.
        d.SelectMenu(dialog, IDM_OPEN);
        d.CancelFileDialog();
        EXPECT_EQ(Shown(IDC_PATH), kJob);
        EXPECT_EQ(Values()[0], u"3");
    });
    EXPECT_EQ(exitCode, 0u);
}

TEST_F(Kgl2Bmp, PageBoxShowsThePageAndIsKeptWithinTheFile)
{
    sim::files().Put(kJob, AsString(ThreePageJob()));
    RunProgram(kJob, [&] {
        struct Case
        {
            const char16_t* typed;
            Numbers shown;
        };
        const Case cases[] = {
            {u"2", {u"3", u"300", u"300", u"2", u"5", u"1"}},
            {u"0", {u"3", u"600", u"300", u"1", u"2", u"3"}},
            {u"9", {u"3", u"400", u"400", u"3", u"1", u"7"}},
            {u"12", {u"3", u"400", u"400", u"3", u"1", u"7"}},
        };
        for (const Case& c : cases)
        {
            ASSERT_TRUE(d.Type(Item(IDC_PAGE), c.typed));
            EXPECT_EQ(Values(), c.shown) << Ascii(c.typed);
            EXPECT_EQ(d.Position(Item(IDC_PAGE_SPIN)), std::stoi(Ascii(c.shown[3])));
        }
        d.StepUpDown(Item(IDC_PAGE_SPIN), -1);
        EXPECT_EQ(Values(), (Numbers{u"3", u"300", u"300", u"2", u"5", u"1"}));
        d.PressKey(Item(IDC_PAGE), VK_UP);
        d.PressKey(Item(IDC_PAGE), VK_UP);
        EXPECT_EQ(Shown(IDC_PAGE), u"3");
    });
}

TEST_F(Kgl2Bmp, SaveProposesTheNameWritesTheReadersBitmapAndCancelWritesNothing)
{
    const Bytes job = ThreePageJob();
    sim::files().Put(kJob, AsString(job));
    RunProgram(kJob, [&] {
        d.Type(Item(IDC_PAGE), u"3");
        d.Click(Item(IDC_SAVE));
        const auto save = d.FileDialog();
        ASSERT_TRUE(save);
        EXPECT_EQ(save->kind, sim::FileDialogKind::Save);
        EXPECT_EQ(save->fileName, u"job page003");
        EXPECT_EQ(save->defaultExtension, u"bmp");
        EXPECT_EQ(save->filters,
                  (std::vector<std::pair<WString, WString>>{{u"Monochrome Bitmap (*.bmp)", u"*.bmp"}}));
        const DWORD wanted = OFN_OVERWRITEPROMPT | OFN_PATHMUSTEXIST | OFN_HIDEREADONLY | OFN_NOCHANGEDIR;
        EXPECT_EQ(save->flags & wanted, wanted);
        // No second save while this one runs.
        EXPECT_TRUE(SaveMenuGreyed());
        d.AnswerFileDialog(u"C:\\Out\\third");
        EXPECT_FALSE(d.MessageBox()) << "no coverage without Shift and Ctrl";
        EXPECT_TRUE(d.IsEnabled(Item(IDC_SAVE)));
        EXPECT_FALSE(SaveMenuGreyed());

        d.Type(Item(IDC_PAGE), u"1");
        d.SelectMenu(dialog, IDM_SAVE);
        ASSERT_TRUE(d.FileDialog());
        EXPECT_EQ(d.FileDialog()->fileName, u"job page001");
        d.CancelFileDialog();
        EXPECT_TRUE(d.IsEnabled(Item(IDC_SAVE)));
    });
    const auto written = sim::files().Bytes(u"C:\\Out\\third.bmp");
    ASSERT_TRUE(written);
    EXPECT_EQ(*written, ReaderBitmap(job, 2));
    EXPECT_NE(*written, ReaderBitmap(job, 0));
    // The cancelled save wrote nothing: the folders hold what they held.
    const std::pair<const char16_t*, std::vector<std::string>> folders[] = {
        {u"C:\\Out", {"third.bmp"}}, {u"C:\\Jobs", {"job.kgl"}}, {u"C:\\Tools", {}}};
    for (const auto& [folder, expected] : folders)
    {
        std::vector<std::string> names;
        const auto host = sim::files().HostPath(folder);
        if (std::filesystem::exists(host))
            for (const auto& entry : std::filesystem::directory_iterator(host))
                names.push_back(entry.path().filename().string());
        EXPECT_EQ(names, expected) << Ascii(folder);
    }
}

TEST_F(Kgl2Bmp, AFileThatVanishedOrShrankIsReloadedInsteadOfSaved)
{
    sim::files().Put(kJob, AsString(ThreePageJob()));
    RunProgram(kJob, [&] {
        d.Type(Item(IDC_PAGE), u"3");
        sim::files().Put(kJob, AsString(OnePageJob()));
        d.Click(Item(IDC_SAVE));
        EXPECT_FALSE(d.FileDialog());
        EXPECT_EQ(Values(), (Numbers{u"1", u"200", u"200", u"1", u"9", u"9"}));

        // Still enough pages: the save goes ahead with the file as it is now.
        d.Click(Item(IDC_SAVE));
        ASSERT_TRUE(d.FileDialog());
        d.CancelFileDialog();

        DeleteFileW(kJob);
        d.Click(Item(IDC_SAVE));
        EXPECT_FALSE(d.FileDialog());
        EXPECT_EQ(Values(), kNoPages);
        EXPECT_FALSE(d.IsEnabled(Item(IDC_SAVE)));
        EXPECT_TRUE(SaveMenuGreyed());
    });
}

TEST_F(Kgl2Bmp, ShiftAndCtrlShowTheCoverageOfTheSavedPage)
{
    // A4 at 300 dpi: a 2480 x 3507 sheet.
    Bytes lines(8 * 4, 0);
    std::fill(lines.begin() + 28, lines.end(), 0xFF); // 32 black pixels
    Stream s;
    s.JobStart().Page(Bytes(8 * 4, 0), Header{}).Page(lines, Header{}).JobEnd();
    sim::files().Put(kJob, AsString(s.bytes));

    struct Case
    {
        const char16_t* page;
        const char16_t* text;
    };
    const Case cases[] = {
        {u"1",
         u"Print Coverage:\t0.0000 %\r\n\r\nPerforations:\t0 pixels\r\nThe entire paper:\t8697360 pixels"},
        // 32 * 1000000 / 8697360 = 3.68, rounded.
        {u"2",
         u"Print Coverage:\t0.0004 %\r\n\r\nPerforations:\t32 pixels\r\nThe entire paper:\t8697360 pixels"},
    };
    RunProgram(kJob, [&] {
        d.SetKeyDown(VK_SHIFT, true);
        d.SetKeyDown(VK_CONTROL, true);
        for (const Case& c : cases)
        {
            d.Type(Item(IDC_PAGE), c.page);
            d.Click(Item(IDC_SAVE));
            d.AnswerFileDialog(u"C:\\Out\\page");
            const auto box = d.MessageBox();
            ASSERT_TRUE(box);
            EXPECT_EQ(box->text, c.text);
            EXPECT_EQ(box->caption, u"KGL2BMP");
            EXPECT_EQ(box->type & MB_ICONMASK, static_cast<UINT>(MB_ICONINFORMATION));
            d.AnswerMessageBox(IDOK);
        }
        // Only Shift is not enough.
        d.SetKeyDown(VK_CONTROL, false);
        d.Click(Item(IDC_SAVE));
        d.AnswerFileDialog(u"C:\\Out\\page");
        EXPECT_FALSE(d.MessageBox());
    });
}

TEST_F(Kgl2Bmp, ASaveThatWritesNothingShowsAnErrorAndNoCoverage)
{
    Stream damaged; // a code beyond the table built so far
    damaged.JobStart()
        .PageStart(SmallPage(0x33, 1, 1), SmallSheet())
        .Band(0, 1, PackCodes({257, 0, 600, 258}))
        .PageEnd();
    sim::files().Put(u"C:\\Jobs\\damaged.kgl", AsString(damaged.bytes));
    sim::files().Put(kJob, AsString(OnePageJob()));

    struct Case
    {
        const char16_t* file;
        bool failCreate;
        const char16_t* reason;
    };
    const Case cases[] = {
        {u"C:\\Jobs\\damaged.kgl", false, u"The page's image data is damaged."},
        {kJob, true, u"The bitmap file cannot be created."},
    };
    RunProgram({}, [&] {
        d.SetKeyDown(VK_SHIFT, true);
        d.SetKeyDown(VK_CONTROL, true);
        for (const Case& c : cases)
        {
            d.Type(Item(IDC_PATH), c.file);
            ASSERT_EQ(Shown(IDC_PAGES), u"1");
            d.Click(Item(IDC_SAVE));
            ASSERT_TRUE(d.FileDialog());
            if (c.failCreate)
                sim::faults().FailNext("CreateFileW", ERROR_ACCESS_DENIED);
            d.AnswerFileDialog(u"C:\\Out\\failed.bmp");
            const auto box = d.MessageBox();
            ASSERT_TRUE(box);
            EXPECT_EQ(box->text, WString(u"The image could not be saved.\r\n\r\n") + c.reason);
            EXPECT_EQ(box->type & MB_ICONMASK, static_cast<UINT>(MB_ICONERROR));
            d.AnswerMessageBox(IDOK);
            EXPECT_FALSE(d.MessageBox()) << "no coverage after a failed save";
            EXPECT_FALSE(sim::files().Exists(u"C:\\Out\\failed.bmp"));
            EXPECT_TRUE(d.IsEnabled(Item(IDC_SAVE)));
        }
        // A file that is there but cannot be mapped any more: an error, no save dialog, and a reload.
        sim::faults().FailNext("CreateFileMappingW", ERROR_NOT_ENOUGH_MEMORY);
        d.Click(Item(IDC_SAVE));
        EXPECT_FALSE(d.FileDialog());
        const auto box = d.MessageBox();
        ASSERT_TRUE(box);
        EXPECT_EQ(box->text, u"The KORIGRAPH file cannot be opened.");
        d.AnswerMessageBox(IDOK);
        EXPECT_FALSE(d.MessageBox());
        EXPECT_EQ(Shown(IDC_PAGES), u"1") << "reloaded";
    });
}

TEST_F(Kgl2Bmp, LanguageSwitchChangesEveryTextAndIsNotKept)
{
    sim::desktop().SetUserLanguage(0x409);
    auto textOf = [&](const UiText& t) {
        switch (t.target)
        {
        case TextTarget::Control:
            return Shown(static_cast<int>(t.id));
        case TextTarget::MenuItem:
            return d.MenuText(dialog, t.id);
        case TextTarget::MenuBarItem:
            return d.MenuBarText(dialog, static_cast<int>(t.id));
        }
        return WString();
    };
    auto checked = [&](UINT id) { return (d.MenuState(dialog, id).value_or(0) & MF_CHECKED) != 0; };
    auto expectAll = [&](WORD language) {
        for (const UiText& t : UiTexts())
            EXPECT_EQ(textOf(t), language == kJapanese ? t.japanese : t.english) << t.id;
        EXPECT_EQ(checked(IDM_ENGLISH), language == kEnglish);
        EXPECT_EQ(checked(IDM_JAPANESE), language == kJapanese);
    };
    RunProgram({}, [&] {
        expectAll(kEnglish);
        EXPECT_EQ(Shown(IDC_PATH_CAPTION), u"KORIGRAPH file (*.kgl;*.prn)");
        d.SelectMenu(dialog, IDM_JAPANESE);
        expectAll(kJapanese);
        EXPECT_EQ(Shown(IDC_SAVE), u"保存(&S)");
        EXPECT_EQ(d.MenuBarText(dialog, 2), u"ヘルプ(&H)");
        d.Click(Item(IDC_BROWSE));
        ASSERT_TRUE(d.FileDialog());
        EXPECT_EQ(d.FileDialog()->filters[1].first, u"すべてのファイル (*.*)");
        d.CancelFileDialog();
    });
    // Started again on the same English system: English, as nothing was kept.
    RunProgram({}, [&] { expectAll(kEnglish); });
    // A Japanese user starts in Japanese.
    sim::desktop().SetUserLanguage(0x411);
    RunProgram({}, [&] {
        expectAll(kJapanese);
        d.SelectMenu(dialog, IDM_ENGLISH);
        expectAll(kEnglish);
    });
}

TEST_F(Kgl2Bmp, AboutBoxShowsTheVersionRecord)
{
    RunProgram({}, [&] {
        d.SelectMenu(dialog, IDM_ABOUT);
        const HWND about = d.TopWindow(u"About KGL2BMP");
        ASSERT_NE(about, nullptr);
        EXPECT_EQ(d.Text(d.Control(about, IDC_ABOUT_VERSION)), u"Version 1.00"); // 1.0.0.13705
        const WString notice = d.Text(d.Control(about, IDC_ABOUT_NOTICE));
        EXPECT_EQ(notice.substr(notice.size() - 4), u"2026") << "built 2026-12-09";
        d.Click(d.Control(about, IDOK));
        EXPECT_FALSE(d.IsVisible(about));
        EXPECT_TRUE(d.IsEnabled(Item(IDC_PATH))) << "the main dialog is usable again";
    });
}

// Each window a path's good run makes is refused once in turn. The program then either does the work
// or says it did not: a dialog it could not make ends it with -1, a failed open or save shows a box,
// no half-written bitmap is left, and the main dialog stays usable.
TEST_F(Kgl2Bmp, ARefusedWindowEndsThePathSoundly)
{
    enum class Path
    {
        Open,
        Save,
        About
    };
    const Bytes job = ThreePageJob();
    const std::string bitmap = ReaderBitmap(job, 2);
    const WString saved = u"C:\\Out\\third.bmp";
    struct Outcome
    {
        DWORD exitCode = 0;
        bool shown = false;  // the main dialog was there
        bool usable = false; // and took input again at the end
        WString pages;       // the page count it showed at the end
        std::vector<WString> boxes;
        std::optional<std::string> written;
    };
    auto run = [&](Path path, const std::function<void()>& arm) {
        sim::machine().Reset();
        SetUp();
        sim::files().Put(kJob, AsString(job));
        arm();
        Outcome o;
        o.exitCode = d.Run(kProgram, path == Path::Open ? WStringView() : WStringView(kJob), [&] {
            ASSERT_TRUE(d.WaitIdle());
            dialog = d.TopWindow(u"KGL2BMP");
            if (!dialog)
                return;
            o.shown = true;
            switch (path)
            {
            case Path::Open:
                d.Click(Item(IDC_BROWSE));
                if (d.FileDialog())
                    d.AnswerFileDialog(kJob);
                break;
            case Path::Save:
                d.SetKeyDown(VK_SHIFT, true);
                d.SetKeyDown(VK_CONTROL, true);
                d.Type(Item(IDC_PAGE), u"3");
                d.Click(Item(IDC_SAVE));
                if (d.FileDialog())
                    d.AnswerFileDialog(saved);
                break;
            case Path::About:
                d.SelectMenu(dialog, IDM_ABOUT);
                if (HWND about = d.TopWindow(u"About KGL2BMP"))
                    d.Click(d.Control(about, IDOK));
                break;
            }
            for (int boxes = 0; d.MessageBox() && boxes < 4; ++boxes)
                d.AnswerMessageBox(IDOK);
            EXPECT_FALSE(d.MessageBox());
            o.pages = Shown(IDC_PAGES);
            o.usable = d.IsEnabled(Item(IDC_PATH)) && d.IsEnabled(Item(IDC_SAVE)) == (o.pages != u"0");
            d.SelectMenu(dialog, IDM_EXIT);
        });
        for (const sim::MessageBoxShown& box : d.MessageBoxes())
            o.boxes.push_back(box.text);
        o.written = sim::files().Bytes(saved);
        return o;
    };
    auto told = [](const Outcome& o, WStringView head) {
        return std::any_of(o.boxes.begin(), o.boxes.end(),
                           [&](const WString& text) { return text.starts_with(head); });
    };

    const std::pair<Path, const char*> paths[] = {
        {Path::Open, "open"}, {Path::Save, "save"}, {Path::About, "about"}};
    for (const auto& [path, what] : paths)
    {
        const Outcome good = run(path, [] { sim::StartFaultPointRecord(); });
        const std::vector<sim::FaultPointCall> calls = sim::WindowCalls(sim::StopFaultPointRecord());
        ASSERT_TRUE(good.shown && good.usable) << what;
        ASSERT_EQ(good.pages, u"3") << what;
        ASSERT_EQ(good.exitCode, 0u) << what;
        ASSERT_EQ(good.written.has_value(), path == Path::Save) << what;

        for (const sim::FaultPointCall& call : calls)
        {
            const Outcome o =
                run(path, [&] { sim::faults().FailNext(call.api, ERROR_NOT_ENOUGH_MEMORY, 1, call.nth); });
            const std::string where = std::string(what) + ": " + call.api + " #" + std::to_string(call.nth);
            EXPECT_EQ(o.exitCode, o.shown ? 0u : 0xFFFFFFFFu) << where;
            if (!o.shown)
            {
                EXPECT_FALSE(o.written) << where;
                continue;
            }
            EXPECT_TRUE(o.usable) << where;
            switch (path)
            {
            case Path::Open:
                EXPECT_TRUE(o.pages == u"3" || told(o, u"The KORIGRAPH file cannot be opened.\r\n\r\n"))
                    << where;
                break;
            case Path::Save:
                if (o.written)
                    EXPECT_EQ(*o.written, bitmap) << where;
                else
                    EXPECT_TRUE(told(o, u"The image could not be saved.\r\n\r\n")) << where;
                break;
            case Path::About:
                EXPECT_EQ(o.pages, u"3") << where;
                break;
            }
        }
    }
}

TEST(Kgl2BmpTexts, AboutTextsFromVersionNumbers)
{
    struct Case
    {
        DWORD ms, ls;
        const char16_t* version;
        const char16_t* year;
    };
    for (const Case& c : {Case{0x00010002, 0x00011D01, u"Version 1.02", u"2014"}, // 1.2.1.7425
                          Case{0x0002000C, 0x00000000, u"Version 2.12", u"2000"},
                          Case{0x00010000, 0x00003589, u"Version 1.00", u"2026"}})
    {
        const AboutTexts t = MakeAboutTexts(c.ms, c.ls);
        EXPECT_EQ(t.version, c.version);
        ASSERT_GE(t.notice.size(), 4u);
        EXPECT_EQ(t.notice.substr(t.notice.size() - 4), c.year);
    }
}

TEST(Kgl2BmpTexts, ProposedNameIsTheFileNameWithThePage)
{
    struct Case
    {
        WString path;
        int page;
        const char16_t* proposal;
    };
    const Case cases[] = {
        {u"C:\\Jobs\\job.kgl", 3, u"job page003"},
        {u"job", 12, u"job page012"},
        {u"C:\\a.b\\name", 999, u"name page999"},
        {u"D:two.parts.prn", 1, u"two.parts page001"},
        {u"C:\\Jobs\\.kgl", 1, u""},
        {u"C:\\Jobs\\", 1, u""},
        {u"C:\\" + WString(255, u'x') + u".kgl", 1, u""}, // would not fit the dialog's buffer
    };
    for (const Case& c : cases)
        EXPECT_EQ(ProposedBitmapName(c.path, c.page), c.proposal) << c.path.size();
}

TEST(Kgl2BmpTexts, CoverageOfASheetWithoutAreaHasNoPercentage)
{
    const WString text = CoverageText(kEnglish, 5, 0, 3507);
    EXPECT_EQ(text, u"Print Coverage:\t-\r\n\r\nPerforations:\t5 pixels\r\nThe entire paper:\t0 pixels");
    // Counts beyond 32 bits are shown whole.
    EXPECT_EQ(
        CoverageText(kJapanese, 5000000000ull, 100000, 100000),
        u"印字率:\t50.0000 %\r\n\r\n穿孔数:\t\t5000000000 pixels\r\n用紙全体の画素数:\t10000000000 pixels");
}

} // namespace
} // namespace kgl2bmp
