#include <gtest/gtest.h>

#include "page_common.h"
#include "page_print_to_file.h"
#include "ui_fixture.h"
#include "ui_strings.h"

#include <platform/objbase.h>
#include <platform/winddiui.h>
#include <sim/machine.h>
#include <sim/spooler.h>

using namespace velmoui;
using namespace velmoui_test;

namespace
{
using EventFn = BOOL(WINAPI*)(LPWSTR, INT, DWORD, LPARAM);

constexpr const char16_t* kFilePrinter = u"DX Print to File";

TEST(PrintToFileFolder, LengthAndCaseDecideWhetherAFolderIsTaken)
{
    WString longest(kFolderMaxChars, u'a');
    EXPECT_EQ(JudgeFolder(u"", longest), FolderVerdict::Replace);
    EXPECT_EQ(JudgeFolder(u"", longest + u"b"), FolderVerdict::TooLong);
    EXPECT_EQ(JudgeFolder(u"C:\\Prints", u"c:\\PRINTS"), FolderVerdict::Same);
    EXPECT_EQ(JudgeFolder(u"C:\\Prints", u"C:\\Prints2"), FolderVerdict::Replace);
}

class PrintToFile : public UiDllTest
{
protected:
    void SetUp() override
    {
        UiDllTest::SetUp();
        if (HasFatalFailure())
            return;
        sim::spooler().AddPrintProcessor(u"KglPrint");
        printer = AddPrinter(kFilePrinter, u"KORIGRAPH DX-2600", false);
        ASSERT_TRUE(Proc<EventFn>(module, "DrvPrinterEvent")(const_cast<LPWSTR>(kFilePrinter),
                                                             PRINTER_EVENT_INITIALIZE, 0, 0));
        ASSERT_TRUE(CreateDirectoryW(u"C:\\Prints", nullptr));
    }

    // Runs the document sheet on the Print to File page; `script` gets the sheet and the page.
    LONG RunSheet(std::vector<BYTE>& out, const std::function<void(HWND, HWND)>& script)
    {
        LONG result = 0;
        result = DocumentSheet(printer, kFilePrinter, out, nullptr, DM_PROMPT | DM_COPY, [&] {
            auto& d = sim::desktop();
            HWND sheet = d.TopWindow(u"Properties");
            ASSERT_NE(sheet, nullptr);
            HWND tabs = d.FindControl(sheet, u"SysTabControl32");
            ASSERT_EQ(d.Items(tabs).size(), 5u);
            EXPECT_EQ(d.Items(tabs)[4], u"파일로 인쇄") << "in place of the Options page";
            EXPECT_TRUE(d.Pick(tabs, 4));
            HWND page = GetParent(d.Control(sheet, kFolderEdit));
            ASSERT_NE(page, nullptr);
            script(sheet, page);
        });
        return result;
    }

    // Clicks the browse button, picks `path` and answers the message box that follows, if any;
    // gives that box's text.
    std::optional<sim::MessageBoxShown> Browse(HWND page, const WString& path)
    {
        auto& d = sim::desktop();
        EXPECT_TRUE(d.Click(d.Control(page, kFolderBrowse)));
        auto dialog = d.FileDialog();
        EXPECT_TRUE(dialog.has_value());
        if (!dialog)
            return std::nullopt;
        EXPECT_EQ(dialog->kind, sim::FileDialogKind::Folder);
        EXPECT_EQ(dialog->title, UiString(578));
        EXPECT_EQ(dialog->flags, 0x143u);
        EXPECT_EQ(dialog->initialFolder, d.Text(d.Control(page, kFolderEdit))) << "the callback selects it";
        lastApartment = dialog->apartment;
        EXPECT_TRUE(d.AnswerFileDialog(path));
        auto box = d.MessageBox();
        if (box)
        {
            EXPECT_TRUE(d.AnswerMessageBox(IDOK));
        }
        return box;
    }

    static WString FolderIn(const std::vector<BYTE>& out)
    {
        const auto* p = reinterpret_cast<const char16_t*>(out.data() + 2288);
        return WString(p, std::find(p, p + 260, u'\0'));
    }

    HANDLE printer = nullptr;
    long lastApartment = -1;
};

TEST_F(PrintToFile, TheBrowsedFolderReachesTheOutputDevmode)
{
    const WString longest = u"C:\\" + WString(kFolderMaxChars - 3, u'p');
    ASSERT_TRUE(CreateDirectoryW(longest.c_str(), nullptr));
    std::vector<BYTE> out(2944);
    LONG result = RunSheet(out, [&](HWND sheet, HWND page) {
        auto& d = sim::desktop();
        HWND edit = d.Control(page, kFolderEdit);
        EXPECT_EQ(d.Text(edit), u"");
        EXPECT_EQ(Browse(page, u"C:\\Prints"), std::nullopt);
        EXPECT_EQ(d.Text(edit), u"C:\\Prints");
        EXPECT_EQ(lastApartment, COINIT_APARTMENTTHREADED);

        EXPECT_EQ(Browse(page, longest), std::nullopt) << "247 characters are accepted";
        EXPECT_EQ(d.Text(edit), longest);
        auto refused = Browse(page, longest + u"\\q");
        ASSERT_TRUE(refused.has_value());
        EXPECT_EQ(refused->text, UiString(574));
        EXPECT_EQ(refused->type & MB_ICONMASK, static_cast<UINT>(MB_ICONERROR));
        EXPECT_EQ(d.Text(edit), longest) << "nothing changes";

        EXPECT_EQ(Browse(page, u"c:\\PRINTS"), std::nullopt);
        EXPECT_EQ(d.Text(edit), u"c:\\PRINTS") << "another spelling is another text";
        EXPECT_TRUE(d.Click(d.Control(sheet, IDOK)));
    });
    EXPECT_EQ(result, IDOK);
    EXPECT_EQ(FolderIn(out), u"c:\\PRINTS");
    WIN32_FIND_DATAW found{};
    HANDLE left = FindFirstFileW(u"C:\\Prints\\~vq*.tmp", &found);
    EXPECT_EQ(left, INVALID_HANDLE_VALUE) << "the write test leaves no file";
    if (left != INVALID_HANDLE_VALUE)
        FindClose(left);
}

TEST_F(PrintToFile, AFolderThatCannotBeWrittenIsTakenWithAWarning)
{
    std::vector<BYTE> out(2944);
    WString leftBehind;
    RunSheet(out, [&](HWND sheet, HWND page) {
        auto& d = sim::desktop();
        sim::faults().FailNext("CreateFileW", ERROR_ACCESS_DENIED);
        auto warned = Browse(page, u"C:\\Prints");
        ASSERT_TRUE(warned.has_value());
        EXPECT_EQ(warned->text, UiString(560));
        EXPECT_EQ(warned->type & MB_ICONMASK, static_cast<UINT>(MB_ICONWARNING));
        EXPECT_EQ(warned->caption, d.Text(sheet));
        EXPECT_EQ(d.Text(d.Control(page, kFolderEdit)), u"C:\\Prints") << "taken all the same";

        // A folder that vanished warns the same way.
        auto vanished = Browse(page, u"C:\\Gone");
        ASSERT_TRUE(vanished.has_value());
        EXPECT_EQ(vanished->text, UiString(560));

        sim::faults().FailNext("DeleteFileW", ERROR_ACCESS_DENIED);
        auto stuck = Browse(page, u"C:\\Prints");
        ASSERT_TRUE(stuck.has_value());
        EXPECT_EQ(stuck->type & MB_ICONMASK, static_cast<UINT>(MB_ICONERROR));
        WString head = UiString(576).substr(0, UiString(576).find(u"%s"));
        ASSERT_EQ(stuck->text.substr(0, head.size()), head);
        leftBehind = stuck->text.substr(head.size());
        EXPECT_EQ(leftBehind.rfind(u"C:\\Prints\\~vq", 0), 0u);

        // Browsing without a COM apartment of our own still works and leaves none entered.
        sim::faults().FailNext("CoInitializeEx", static_cast<DWORD>(RPC_E_CHANGED_MODE));
        EXPECT_EQ(Browse(page, u"C:\\Prints"), std::nullopt);
        EXPECT_EQ(lastApartment, -1);

        // The browser failing, or its path, changes nothing.
        for (const char* api : {"SHBrowseForFolderW", "SHGetPathFromIDListW"})
        {
            sim::faults().FailNext(api, ERROR_NOT_ENOUGH_MEMORY);
            EXPECT_TRUE(d.Click(d.Control(page, kFolderBrowse)));
            if (d.FileDialog())
                d.AnswerFileDialog(u"C:\\Elsewhere");
            EXPECT_EQ(d.MessageBox(), std::nullopt) << api;
            EXPECT_EQ(d.Text(d.Control(page, kFolderEdit)), u"C:\\Prints") << api;
        }

        EXPECT_TRUE(d.Click(d.Control(page, kRestoreDefaults)));
        EXPECT_EQ(d.Text(d.Control(page, kFolderEdit)), u"");
        EXPECT_TRUE(d.Type(d.Control(page, kFolderEdit), u"D:\\Typed"));
        EXPECT_TRUE(d.Click(d.Control(sheet, IDOK)));
    });
    EXPECT_EQ(FolderIn(out), u"D:\\Typed") << "the typed folder is read when the page is left";
    EXPECT_NE(GetFileAttributesW(leftBehind.c_str()), INVALID_FILE_ATTRIBUTES)
        << "the file the message names";
}
} // namespace
