// The helper run as its starter runs it: a named section with a request, the helper started with the
// section's name, a user answering what it shows, the answer read back from the section.
#include <gtest/gtest.h>

#include <platform/commdlg.h>
#include <platform/entry.h>
#include <sim/machine.h>
#include <sim/window_sweep.h>

#include "print_to_file.h"
#include "print_to_file_app.h"

#include <cstring>
#include <fcntl.h>
#include <filesystem>
#include <unistd.h>
#include <vector>

namespace
{
using namespace velmoprinttofile;

constexpr char16_t kHelper[] = u"C:\\Program Files\\Velmo\\VelmoPrintToFile.exe";
constexpr char16_t kSaveSection[] = u"Local\\velmo.getpath.0001";
constexpr char16_t kBoxSection[] = u"Local\\velmo-ranth.4CF96C9C-7A46-4FC2-88F2-4B7AE5E194F7.0001";
constexpr char16_t kCaption[] = u"Velmo Print to File";

// The starter's side of a section: created, written and read back through its own view.
class Starter
{
public:
    Starter(const char16_t* name, DWORD size)
    {
        section_ = CreateFileMappingW(INVALID_HANDLE_VALUE, nullptr, PAGE_READWRITE, 0, size, name);
        EXPECT_NE(section_, nullptr);
        view_ = static_cast<BYTE*>(MapViewOfFile(section_, FILE_MAP_WRITE, 0, 0, 0));
        EXPECT_NE(view_, nullptr);
        size_ = size;
    }
    ~Starter()
    {
        UnmapViewOfFile(view_);
        CloseHandle(section_);
    }
    Starter(const Starter&) = delete;
    Starter& operator=(const Starter&) = delete;

    void PutText(size_t at, WStringView text, bool terminate = true)
    {
        for (size_t i = 0; i < text.size() && at + 2 * i + 1 < size_; ++i)
        {
            view_[at + 2 * i] = static_cast<BYTE>(text[i] & 0xFF);
            view_[at + 2 * i + 1] = static_cast<BYTE>(text[i] >> 8);
        }
        if (terminate)
            view_[at + 2 * text.size()] = view_[at + 2 * text.size() + 1] = 0;
    }
    void PutU32(size_t at, DWORD v)
    {
        for (int i = 0; i < 4; ++i)
            view_[at + i] = static_cast<BYTE>(v >> (8 * i));
    }
    DWORD U32(size_t at) const
    {
        return view_[at] | view_[at + 1] << 8 | view_[at + 2] << 16 | static_cast<DWORD>(view_[at + 3]) << 24;
    }
    void PutMessage(UINT type, DWORD timeout, DWORD count, WStringView text, WStringView caption = {})
    {
        PutU32(0, 0xDEADBEEF);
        PutU32(4, 0x12345678);
        PutU32(8, type);
        PutU32(12, timeout);
        PutU32(16, count);
        PutText(20, text);
        PutText(20 + 2 * (text.size() + 1), caption);
    }
    // The save-path answer: the path, or nothing when all 520 bytes are zero.
    std::optional<WString> Path() const
    {
        WString path;
        bool zero = true;
        for (size_t i = 0; i < kSavePathBytes; i += 2)
        {
            zero = zero && !view_[i] && !view_[i + 1];
            if (path.size() == i / 2 && (view_[i] || view_[i + 1]))
                path.push_back(static_cast<WCHAR>(view_[i] | view_[i + 1] << 8));
        }
        if (zero)
            return std::nullopt;
        return path;
    }

private:
    HANDLE section_ = nullptr;
    BYTE* view_ = nullptr;
    size_t size_ = 0;
};

DWORD RunHelper(WStringView arguments, const sim::Desktop::Script& script, WStringView image = kHelper)
{
    return sim::desktop().Run(image, arguments, script);
}

void ExpectNoBoxes()
{
    EXPECT_EQ(sim::desktop().MessageBoxes().size(), 0u);
}

TEST(PrintToFileHelper, ProposesTheFirstFreeNumberAndReturnsTheChosenPath)
{
    auto& d = sim::desktop();
    sim::files().Put(u"C:\\Out\\IMAGE00001.kgl");
    sim::files().Put(u"C:\\Out\\IMAGE00003.kgl");
    Starter starter(kSaveSection, 4096);
    starter.PutText(0, u"C:\\Out");

    DWORD exit = RunHelper(kSaveSection, [&] {
        auto shown = d.FileDialog();
        ASSERT_TRUE(shown);
        EXPECT_FALSE(starter.Path()) << "the request is cleared before the user is asked";
        EXPECT_EQ(shown->kind, sim::FileDialogKind::Save);
        EXPECT_EQ(shown->initialFolder, u"C:\\Out\\");
        EXPECT_EQ(shown->fileName, u"C:\\Out\\IMAGE00002.kgl");
        EXPECT_EQ(shown->defaultExtension, u"kgl");
        EXPECT_EQ(shown->flags, 0x20802u);
        EXPECT_EQ(shown->filterIndex, 1u);
        using Filters = std::vector<std::pair<WString, WString>>;
        EXPECT_EQ(shown->filters,
                  (Filters{{u"KORIGRAPH File(*.kgl;*prn)", u"*.kgl;*.prn"}, {u"All File(*.*)", u"*.*"}}));
        HWND helper = d.TopWindow(kCaption);
        ASSERT_NE(helper, nullptr) << "the helper's window owns the dialog";
        EXPECT_EQ(GetForegroundWindow(), helper);
        d.AnswerFileDialog(u"C:\\Out\\Job 1.kgl");
    });
    EXPECT_EQ(exit, 0u);
    EXPECT_EQ(starter.Path(), u"C:\\Out\\Job 1.kgl");
    ExpectNoBoxes();
}

TEST(PrintToFileHelper, UnusableFolderGivesTheBareNameWithoutAWarning)
{
    auto& d = sim::desktop();
    const WString deep = u"C:\\" + WString(245, u'd'); // no room left for a numbered name
    for (const WString& folder : {WString(u"C:\\Missing"), WString(u"C:\\Out\\file.txt"), WString(), deep})
    {
        sim::machine().Reset();
        sim::files().Put(u"C:\\Out\\file.txt");
        sim::files().Put(deep + u"\\x");
        Starter starter(kSaveSection, 4096);
        starter.PutText(0, folder);
        RunHelper(kSaveSection, [&] {
            auto shown = d.FileDialog();
            ASSERT_TRUE(shown);
            EXPECT_EQ(shown->fileName, u"IMAGE.kgl") << folder.size();
            EXPECT_EQ(shown->initialFolder, u"");
            d.CancelFileDialog();
        });
        EXPECT_FALSE(starter.Path()) << "cancelled";
        ExpectNoBoxes();
    }
}

// A folder holding IMAGE00001.kgl to IMAGE99999.kgl. Made in memory when the host has a memory file
// system and linked into the sandbox: a disk takes seconds for that many files.
class FullFolder
{
public:
    explicit FullFolder(WStringView windowsPath)
    {
        std::filesystem::path inSandbox = sim::files().HostPath(windowsPath);
        std::filesystem::create_directories(inSandbox.parent_path());
        std::string pattern = "/dev/shm/velmo-full-XXXXXX";
        if (std::filesystem::is_directory("/dev/shm") && ::mkdtemp(pattern.data()))
        {
            memory_ = pattern;
            std::filesystem::create_directory_symlink(memory_, inSandbox);
        }
        else
            std::filesystem::create_directories(inSandbox);
        char name[32];
        for (int i = 1; i <= 99999; ++i)
        {
            std::snprintf(name, sizeof name, "/IMAGE%05d.kgl", i);
            int fd = ::open((inSandbox.string() + name).c_str(), O_CREAT | O_WRONLY, 0644);
            EXPECT_GE(fd, 0);
            ::close(fd);
        }
    }
    ~FullFolder()
    {
        std::error_code ec;
        if (!memory_.empty())
            std::filesystem::remove_all(memory_, ec);
    }
    FullFolder(const FullFolder&) = delete;
    FullFolder& operator=(const FullFolder&) = delete;

private:
    std::filesystem::path memory_;
};

TEST(PrintToFileHelper, FolderWithEveryNumberTakenWarnsThenOffersTheBareName)
{
    auto& d = sim::desktop();
    FullFolder full(u"C:\\Full");
    Starter starter(kSaveSection, 4096);
    starter.PutText(0, u"C:\\Full");
    RunHelper(kSaveSection, [&] {
        auto box = d.MessageBox();
        ASSERT_TRUE(box);
        EXPECT_EQ(box->text,
                  u"Cannot open 'Default destination to save'.\r\nSelect an appropriate destination.");
        EXPECT_EQ(box->caption, kCaption);
        EXPECT_EQ(box->type, static_cast<UINT>(MB_ICONWARNING));
        EXPECT_FALSE(d.FileDialog());
        d.AnswerMessageBox(IDOK);
        auto shown = d.FileDialog();
        ASSERT_TRUE(shown);
        EXPECT_EQ(shown->fileName, u"IMAGE.kgl");
        EXPECT_EQ(shown->initialFolder, u"");
        d.AnswerFileDialog(u"C:\\Full\\other.kgl");
    });
    EXPECT_EQ(starter.Path(), u"C:\\Full\\other.kgl");
}

TEST(PrintToFileHelper, NameTheDuplicatorCannotOpenIsRetriedKeptOrDropped)
{
    auto& d = sim::desktop();
    const WString bad = u"C:\\Out\\ABCDEFGHIJKLMNOPQ.kgl"; // 17 characters before the extension
    struct Row
    {
        int answer;
        std::optional<WString> written;
    };
    const Row rows[] = {
        {IDCONTINUE, bad},
        {IDCANCEL, std::nullopt},
        {IDTRYAGAIN, WString(u"C:\\Out\\ABCDEFGHIJKLMNOP.kgl")},
    };
    for (const Row& r : rows)
    {
        sim::machine().Reset();
        sim::files().Put(u"C:\\Out\\x");
        Starter starter(kSaveSection, 4096);
        starter.PutText(0, u"C:\\Out");
        RunHelper(kSaveSection, [&] {
            d.AnswerFileDialog(bad);
            auto box = d.MessageBox();
            ASSERT_TRUE(box);
            EXPECT_EQ(box->type, static_cast<UINT>(MB_ICONWARNING | MB_CANCELTRYCONTINUE));
            EXPECT_NE(box->text.find(u"up to 16 characters"), WString::npos);
            d.AnswerMessageBox(r.answer);
            if (r.answer == IDTRYAGAIN)
            {
                auto again = d.FileDialog();
                ASSERT_TRUE(again);
                EXPECT_EQ(again->fileName, bad) << "the dialog shows what was chosen";
                d.AnswerFileDialog(*r.written);
            }
            EXPECT_FALSE(d.FileDialog());
        });
        EXPECT_EQ(starter.Path(), r.written) << r.answer;
        EXPECT_EQ(sim::desktop().MessageBoxes().size(), 1u);
    }
}

TEST(PrintToFileHelper, TooLongAndInvalidNamesShowTheDialogAgain)
{
    auto& d = sim::desktop();
    sim::files().Put(u"C:\\Out\\x");
    Starter starter(kSaveSection, 4096);
    starter.PutText(0, u"C:\\Out");
    // The dialog turns down the name it is opened with once.
    sim::faults().FailNext("GetSaveFileNameW", FNERR_INVALIDFILENAME);
    RunHelper(kSaveSection, [&] {
        auto cleared = d.FileDialog();
        ASSERT_TRUE(cleared);
        EXPECT_EQ(cleared->fileName, u"") << "an invalid name is cleared";
        EXPECT_TRUE(d.MessageBoxes().empty());
        d.AnswerFileDialog(u"C:\\Out\\" + WString(260, u'a')); // longer than the file buffer
        auto box = d.MessageBox();
        ASSERT_TRUE(box);
        EXPECT_EQ(box->text,
                  u"File name or path of the destination to save is too long. Shorten the file name "
                  u"or change the destination to save to shorter path.");
        EXPECT_EQ(box->type, static_cast<UINT>(MB_ICONERROR));
        d.AnswerMessageBox(IDOK);
        auto again = d.FileDialog();
        ASSERT_TRUE(again);
        EXPECT_EQ(again->fileName, u"IMAGE.kgl");
        d.AnswerFileDialog(u"C:\\Out\\short.kgl");
    });
    EXPECT_EQ(starter.Path(), u"C:\\Out\\short.kgl");
}

TEST(PrintToFileHelper, SectionThatCannotBeUsedIsReportedInABox)
{
    auto& d = sim::desktop();
    struct Row
    {
        const char* what;
        std::function<void()> setUp;
        std::optional<WString> text; // nothing: no box at all
    };
    const WString cannotOpen = u"'Print to file' failed.\r\nCannot open the input data file.";
    const WString cannotMap = u"'Print to file' failed.\r\nCannot get a path to save the print data.";
    const Row rows[] = {
        {"no such section", [] {}, cannotOpen},
        {"read-only section",
         [] { CreateFileMappingW(INVALID_HANDLE_VALUE, nullptr, PAGE_READONLY, 0, 4096, kSaveSection); },
         cannotOpen},
        {"view fails",
         [] {
             CreateFileMappingW(INVALID_HANDLE_VALUE, nullptr, PAGE_READWRITE, 0, 4096, kSaveSection);
             sim::faults().FailNext("MapViewOfFile", ERROR_NOT_ENOUGH_MEMORY);
         },
         cannotMap},
    };
    for (const Row& r : rows)
    {
        sim::machine().Reset();
        r.setUp();
        RunHelper(kSaveSection, [&] {
            auto box = d.MessageBox();
            ASSERT_TRUE(box) << r.what;
            EXPECT_EQ(box->text, *r.text) << r.what;
            EXPECT_EQ(box->caption, kCaption);
            EXPECT_EQ(box->type, static_cast<UINT>(MB_ICONERROR));
            d.AnswerMessageBox(IDOK);
            EXPECT_FALSE(d.FileDialog()) << r.what;
        });
    }

    // A message-box request whose section is gone shows nothing.
    sim::machine().Reset();
    EXPECT_EQ(RunHelper(kBoxSection, [] {}), 0u);
    ExpectNoBoxes();
}

TEST(PrintToFileHelper, ArgumentWithoutAMarkerClosesItsBoxAfterTenSeconds)
{
    auto& d = sim::desktop();
    for (const WString& argument : {WString(u"velmo.getpath"), WString(u"Local\\other"), WString()})
    {
        sim::machine().Reset();
        DWORD exit = RunHelper(argument, [&] {
            auto box = d.MessageBox();
            ASSERT_TRUE(box);
            EXPECT_EQ(box->text, u"'Print to file' failed.\r\nInput data is not correct.");
            EXPECT_EQ(box->type, static_cast<UINT>(MB_ICONERROR));
            d.Advance(9999);
            EXPECT_TRUE(d.MessageBox());
            d.Advance(1);
            EXPECT_FALSE(d.MessageBox());
        });
        EXPECT_EQ(exit, 0u);
        EXPECT_EQ(sim::virtualClock().Now(), 10000u);
    }
}

TEST(PrintToFileHelper, TextSetFollowsTheFileNameAndLanguageFollowsTheUser)
{
    auto& d = sim::desktop();
    const char16_t* neutral = u"C:\\Drivers\\veoPrintToFile.exe";
    sim::RegisterProgram(u"veoPrintToFile.exe", &velmoprinttofile::Main);
    d.RegisterResources(u"veoPrintToFile.exe", VELMO_PRINT_TO_FILE_RC);
    struct Row
    {
        const char16_t* image;
        LANGID language;
        WString caption;
        WString text;
    };
    const Row rows[] = {
        {kHelper, 0x409, kCaption, u"'Print to file' failed.\r\nInput data is not correct."},
        {kHelper, 0x415, kCaption,
         u"'Print to file' failed.\r\nInput data is not correct."}, // no Polish table
        {neutral, 0x409, u"Print to File", u"'Print to file' failed.\r\nInput data is not correct."},
        {kHelper, 0x407, u"Velmo Druck in Datei",
         u"'Druck in Datei' ist fehlgeschlagen.\r\nDie Eingabedaten sind nicht korrekt."},
        {neutral, 0x411, u"ファイルへ出力",
         u"「ファイルへ出力」に失敗しました。\r\n入力データが正しくありません。"},
    };
    for (const Row& r : rows)
    {
        sim::machine().Reset();
        d.SetUiLanguage(r.language);
        RunHelper(
            u"Local\\none",
            [&] {
                auto box = d.MessageBox();
                ASSERT_TRUE(box);
                EXPECT_EQ(box->caption, r.caption);
                EXPECT_EQ(box->text, r.text);
                EXPECT_NE(d.TopWindow(r.caption), nullptr);
                d.AnswerMessageBox(IDOK);
            },
            r.image);
    }

    // The neutral set names the duplicator in the save dialog, too.
    sim::machine().Reset();
    Starter starter(kSaveSection, 4096);
    RunHelper(
        kSaveSection,
        [&] {
            auto shown = d.FileDialog();
            ASSERT_TRUE(shown && !shown->filters.empty());
            EXPECT_EQ(shown->filters[0].first, u"Duplicator File(*.kgl;*prn)");
            d.CancelFileDialog();
        },
        neutral);
}

TEST(PrintToFileHelper, EveryLanguageHasEveryText)
{
    // The test itself plays the helper's module to read its string tables.
    sim::processes().SetCallingProgram(kHelper, u"VelmoPrintToFile");
    const UINT ids[] = {103, 109, 201, 202, 203, 204, 205, 206, 300, 301, 302, 303, 304, 305, 306};
    auto load = [](UINT id) {
        WCHAR buffer[1024];
        int n = LoadStringW(GetModuleHandleW(nullptr), id, buffer, 1024);
        return WString(buffer, static_cast<size_t>(n));
    };
    sim::desktop().SetUiLanguage(0x411);
    const WString japanese201 = load(201);
    for (LANGID language : {0x0804, 0x0407, 0x0409, 0x040A, 0x040C, 0x0410, 0x0411, 0x0412, 0x0419})
    {
        sim::desktop().SetUiLanguage(language);
        for (UINT id : ids)
            EXPECT_FALSE(load(id).empty()) << language << " " << id;
        EXPECT_EQ(load(109), u"VelmoPrintToFile");
        if (language != 0x0411)
        {
            EXPECT_NE(load(201), japanese201)
                << "language " << language << " falls back to the neutral table";
        }
    }
    sim::desktop().SetUiLanguage(0x409);
    const std::pair<UINT, WString> english[] = {
        {202, u"'Print to file' failed.\r\nCannot open the input data file."},
        {304, u"'Print to file' failed.\r\nCannot get a path to save the print data."},
        {205,
         u"File name may contain character that KORIGRAPH cannot accept or more than 16 characters. You "
         u"cannot open the file on KORIGRAPH with this file name.\r\n\r\nUsable character: alphanumeric "
         u"character\r\nNumber of characters: up to 16 characters\r\n\r\nTo continue, change the file name."},
        {305,
         u"The file name may contain characters that the duplicator cannot accept or uses more than 16 "
         u"characters. This file cannot be opened on the duplicator with this name.\r\n\r\nUsable letters: "
         u"alphanumeric character\r\nNumber of characters: up to 16 characters\r\n\r\nTo continue, change "
         u"the file name."},
    };
    for (const auto& [id, text] : english)
        EXPECT_EQ(load(id), text) << id;
}

TEST(PrintToFileHelper, MessageBoxRequestIsShownAndAnswered)
{
    auto& d = sim::desktop();
    struct Row
    {
        UINT type;
        DWORD count;
        int answer;
        WString boxCaption;    // what the box shows
        WString windowCaption; // what the helper's window shows meanwhile
        WString icon;
    };
    const Row rows[] = {
        {MB_YESNO | MB_ICONQUESTION, 2, IDYES, u"Job", u"Job", u"system#32514"},
        {MB_OK | MB_ICONHAND, 2, IDOK, u"Job", u"Job", u"system#32513"},
        {MB_OKCANCEL | MB_ICONEXCLAMATION, 1, IDCANCEL, u"Error", u"", u"system#32515"},
        {MB_OK | MB_ICONASTERISK, 1, IDOK, u"Error", u"", u"system#32516"},
        {MB_OK, 2, IDOK, u"Job", u"Job", u"system#32512"},
    };
    for (const Row& r : rows)
    {
        sim::machine().Reset();
        Starter starter(kBoxSection, 4096);
        starter.PutMessage(r.type, 0, r.count, u"Printed 3 pages", u"Job");
        RunHelper(kBoxSection, [&] {
            auto box = d.MessageBox();
            ASSERT_TRUE(box);
            EXPECT_EQ(box->text, u"Printed 3 pages");
            EXPECT_EQ(box->caption, r.boxCaption);
            EXPECT_EQ(box->type, r.type);
            HWND helper = d.TopWindow();
            ASSERT_NE(helper, nullptr);
            EXPECT_EQ(d.Text(helper), r.windowCaption);
            EXPECT_EQ(d.Icon(helper, true), r.icon);
            EXPECT_EQ(d.Icon(helper, false), r.icon);
            d.AnswerMessageBox(r.answer);
        });
        EXPECT_EQ(starter.U32(4), static_cast<DWORD>(r.answer)) << r.type;
        EXPECT_EQ(starter.U32(0), 0xDEADBEEFu) << "not the helper's";
    }
}

TEST(PrintToFileHelper, MessageBoxTimesOutWith32000)
{
    auto& d = sim::desktop();
    Starter starter(kBoxSection, 4096);
    starter.PutMessage(MB_OK, 5000, 2, u"Done", u"Job");
    RunHelper(kBoxSection, [&] {
        ASSERT_TRUE(d.MessageBox());
        d.Advance(4999);
        EXPECT_TRUE(d.MessageBox());
        d.Advance(1);
        EXPECT_FALSE(d.MessageBox());
    });
    EXPECT_EQ(starter.U32(4), 32000u);
    EXPECT_EQ(sim::virtualClock().Now(), 5000u);
}

TEST(PrintToFileHelper, UnterminatedMessageShowsNothingAndAnswersZero)
{
    // The text runs to the end of the section's only page.
    Starter starter(kBoxSection, 4096);
    starter.PutMessage(MB_OK, 0, 1, u"");
    starter.PutText(20, WString((4096 - 20) / 2, u'A'), false);
    EXPECT_EQ(RunHelper(kBoxSection, [] {}), 0u);
    ExpectNoBoxes();
    EXPECT_EQ(starter.U32(4), 0u);
}

TEST(PrintToFileHelper, TimedBoxNeedsAnOwner)
{
    DWORD result = sim::desktop().Run(
        [] { return static_cast<DWORD>(TimedMessageBox(nullptr, u"t", u"c", 0, 100)); }, [] {});
    EXPECT_EQ(result, 0u);
    ExpectNoBoxes();
}

TEST(PrintToFileHelper, DllSearchIsHardenedBeforeAnythingElse)
{
    struct Row
    {
        bool oldLoader; // no LOAD_LIBRARY_SEARCH_* flags: kernel32 is taken as already loaded
        DWORD defaultDirectories;
    };
    for (Row r : {Row{false, LOAD_LIBRARY_SEARCH_SYSTEM32}, Row{true, 0}})
    {
        sim::machine().Reset();
        if (r.oldLoader)
            sim::faults().FailNext("LoadLibraryExW", ERROR_INVALID_PARAMETER);
        RunHelper(u"Local\\none", [] { sim::desktop().AnswerMessageBox(IDOK); });
        auto search = sim::processes().DllSearchOf(kHelper);
        ASSERT_TRUE(search);
        EXPECT_EQ(search->dllDirectory, u"") << "the current folder is out of the search";
        EXPECT_EQ(search->defaultDirectories, r.defaultDirectories);
        EXPECT_EQ(search->searchMode,
                  static_cast<DWORD>(BASE_SEARCH_PATH_ENABLE_SAFE_SEARCHMODE | BASE_SEARCH_PATH_PERMANENT));
    }
}
// Each window a request's good run makes is refused once in turn: the starter then finds the request
// answered as failed (no path, the box's result 0), never as the user's answer nor what it wrote there.
TEST(PrintToFileHelper, ARefusedWindowAnswersTheStarterAsFailed)
{
    auto& d = sim::desktop();
    const WString chosen = u"C:\\Out\\Job 1.kgl";
    const WString longName = u"C:\\Out\\ABCDEFGHIJKLMNOPQ.kgl"; // the duplicator cannot open it
    struct Row
    {
        const char* what;
        const char16_t* section;
        WString pathAnswer; // what the user gives the save dialog
        int boxAnswer;      // and any box
    };
    const Row rows[] = {
        {"save path", kSaveSection, chosen, IDOK},
        {"name kept after the warning", kSaveSection, longName, IDCONTINUE},
        {"message box", kBoxSection, {}, IDYES},
    };
    for (const Row& r : rows)
    {
        // One run: the starter's request, the user answering what shows; the section's answer after it.
        struct Answer
        {
            std::optional<WString> path;
            DWORD result = 0;
            DWORD exitCode = 0;
        };
        auto run = [&](const std::function<void()>& arm) {
            sim::machine().Reset();
            sim::files().Put(u"C:\\Out\\x");
            Starter starter(r.section, 4096);
            if (r.section == kSaveSection)
                starter.PutText(0, u"C:\\Out");
            else
                starter.PutMessage(MB_YESNO | MB_ICONQUESTION, 0, 2, u"Printed 3 pages", u"Job");
            arm();
            Answer answer;
            answer.exitCode = RunHelper(r.section, [&] {
                for (int step = 0; step < 8; ++step)
                {
                    if (d.FileDialog())
                        d.AnswerFileDialog(r.pathAnswer);
                    else if (d.MessageBox())
                        d.AnswerMessageBox(r.boxAnswer);
                    else
                        return;
                }
                ADD_FAILURE() << r.what << ": the helper keeps asking";
            });
            answer.path = starter.Path();
            answer.result = starter.U32(4);
            return answer;
        };

        std::vector<sim::FaultPointCall> calls;
        const Answer good = run([] { sim::StartFaultPointRecord(); });
        calls = sim::WindowCalls(sim::StopFaultPointRecord());
        ASSERT_FALSE(calls.empty()) << r.what;
        if (r.section == kSaveSection)
            ASSERT_EQ(good.path, r.pathAnswer) << r.what;
        else
            ASSERT_EQ(good.result, static_cast<DWORD>(r.boxAnswer)) << r.what;

        for (const sim::FaultPointCall& call : calls)
        {
            const Answer refused =
                run([&] { sim::faults().FailNext(call.api, ERROR_NOT_ENOUGH_MEMORY, 1, call.nth); });
            const std::string where = std::string(r.what) + ": " + call.api + " #" + std::to_string(call.nth);
            EXPECT_EQ(refused.exitCode, 0u) << where;
            // Every window of these runs is needed for the answer: none of them may be refused quietly.
            if (r.section == kSaveSection)
                EXPECT_EQ(refused.path, std::nullopt) << where;
            else
                EXPECT_EQ(refused.result, 0u) << where;
        }
    }
}

} // namespace
