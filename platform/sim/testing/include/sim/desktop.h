// The simulated desktop as tests see it: a scripted user who reads and drives what a program shows
// (windows, controls, menus, message boxes, common dialogs) whenever the program's UI thread is idle.
#pragma once

#include <platform/windows.h>

#include <filesystem>
#include <functional>
#include <optional>
#include <string>
#include <utility>
#include <vector>

namespace sim
{

struct MessageBoxShown
{
    WString text;
    WString caption;
    UINT type = 0;
    RECT rect{}; // where the box stood when it opened (a CBT hook may have moved it)
};

// A message sent to HWND_BROADCAST; the text is lParam's for the messages that carry one
// (WM_DEVMODECHANGE).
struct BroadcastSent
{
    UINT message = 0;
    WPARAM wParam = 0;
    WString text;
    UINT flags = 0;
    UINT timeout = 0;
};

enum class FileDialogKind
{
    Open,
    Save,
    Folder,
};

struct FileDialogShown
{
    FileDialogKind kind = FileDialogKind::Open;
    WString title;
    WString initialFolder;
    WString fileName; // what the file box shows when the dialog opens
    WString defaultExtension;
    std::vector<std::pair<WString, WString>> filters; // (description, pattern)
    DWORD filterIndex = 0;
    DWORD flags = 0;
    long apartment = -1; // the showing thread's COM apartment (COINIT_*), -1: none
};

// An image list as a user sees it: the size of its images and the icon resources put in ("#134").
struct ImageListShown
{
    int width = 0;
    int height = 0;
    std::vector<WString> icons;
};

// A pop-up menu as a user sees it: where it opened (screen) and its items, separators left out.
struct PopupMenuItemShown
{
    UINT id = 0;
    WString text;
    bool grayed = false;
    bool operator==(const PopupMenuItemShown&) const = default;
};
struct PopupMenuShown
{
    POINT at{};
    std::vector<PopupMenuItemShown> items;
};

// A column of a list view in report view: its header and its width in pixels.
struct ListColumnShown
{
    WString text;
    int width = 0;
    bool operator==(const ListColumnShown&) const = default;
};

// What a button shows besides its text: a command link's note, the elevation shield, its images.
struct ButtonLook
{
    WString note;
    bool shield = false;
    std::optional<ImageListShown> images;
    RECT imageMargin{};
    UINT imageAlign = 0; // BUTTON_IMAGELIST_ALIGN_*
};

// A display: its rectangle, its work area (without the task bar) and its DPI.
struct MonitorSetup
{
    RECT area{0, 0, 1920, 1080};
    RECT work{0, 0, 1920, 1040};
    UINT dpi = 96;
};

// A sheet the common property-sheet host showed: its caption, whether it had an Apply button, the
// host functions its pages called (in order) and the result it gave back.
struct HostedSheet
{
    WString caption;
    bool applyButton = true;
    std::vector<UINT> functions;
    LONG_PTR result = 0;
};

// A help request made through HtmlHelpW: the file, the command and, for keyword look-ups, the keyword.
struct HelpRequest
{
    WString file;
    UINT command = 0;
    WString keyword;
    bool indexOnFail = false;
};

// Controls of a property sheet that show the current wizard page's header title and subtitle.
constexpr int kSheetHeaderTitle = 0x3027;
constexpr int kSheetHeaderSubtitle = 0x3028;

class Desktop
{
public:
    using Script = std::function<void()>;

    // Runs a registered program (or `ui` on a simulated thread of its own) while `script` acts on
    // the calling thread. When the script is done the program must end by itself; if it waits for
    // input no script gives, the test fails and the program is stopped. Returns the exit code.
    DWORD Run(WStringView imagePath, WStringView arguments, const Script& script);
    DWORD Run(const std::function<DWORD()>& ui, const Script& script);

    // Waits until every UI thread waits for input with nothing queued. False (and a test failure)
    // when the program was stopped or stays busy.
    bool WaitIdle();
    // Lets time pass (firing timers) until `condition` holds; a failure when nothing is left to
    // happen or `maxMilliseconds` of machine time pass first.
    bool WaitUntil(const std::function<bool()>& condition, ULONGLONG maxMilliseconds = 10 * 60 * 1000);
    // Moves the machine's clock on, firing due timers and ending sleeps in order.
    void Advance(ULONGLONG milliseconds);

    // Finding windows: top-level windows by caption (empty: the newest visible one), controls by id
    // (anywhere inside, a visible one first: pages of a sheet) or by class and text.
    HWND TopWindow(WStringView caption = {}) const;
    HWND Control(HWND parent, int id) const;
    HWND FindControl(HWND parent, WStringView className, WStringView text = {}) const;

    // What a user sees.
    WString Text(HWND window) const;
    bool IsEnabled(HWND window) const; // also false when a parent or a modal owner is disabled
    bool IsVisible(HWND window) const;
    int CheckState(HWND button) const;
    WString Icon(HWND window, bool big) const;   // WM_SETICON's or a static's icon resource ("#107")
    std::vector<WString> Items(HWND list) const; // list box, combo box, list view (first column), tab
    int Selection(HWND list) const;              // -1: none
    int Position(HWND control) const;            // up-down, track bar, progress bar
    std::pair<int, int> Range(HWND control) const;
    WString MenuText(HWND window, UINT id) const;              // by command id, anywhere in the menu bar
    WString MenuBarText(HWND window, int position) const;      // a top-level item
    std::optional<UINT> MenuState(HWND window, UINT id) const; // MF_CHECKED | MF_GRAYED, ...
    ButtonLook Button(HWND button) const;

    // List views in report view: every column of every row, and the columns' headers and widths.
    std::vector<std::vector<WString>> Rows(HWND listView) const;
    std::vector<ListColumnShown> Columns(HWND listView) const;
    // The font a window was given (WM_SETFONT), if any.
    std::optional<LOGFONTW> Font(HWND window) const;

    // What a user does. Each waits until the program is idle, acts as the user would, and waits
    // again; acting on a hidden or disabled control is a test failure.
    bool Type(HWND edit, WStringView text); // replaces the contents, one character at a time
    bool Click(HWND button);
    bool SetCheck(HWND button, bool checked); // clicks a check box or radio button when it differs
    bool Pick(HWND list, int index);          // list box, combo box, list view, tab
    bool PickText(HWND list, WStringView text);
    bool ClickOutsideRows(HWND listView); // a list view's empty space: NM_CLICK with item -1
    // The box of a list view row with check boxes (LVS_EX_CHECKBOXES): LVN_ITEMCHANGING, then the
    // state image toggled 1 <-> 2 with LVN_ITEMCHANGED (old and new state) unless the parent refused,
    // then NM_CLICK. A row without a box is a test failure.
    bool ClickCheckBox(HWND listView, int row);
    bool StepUpDown(HWND upDown, int delta); // `delta` clicks, each of the first acceleration's step
    bool SetTrackPosition(HWND trackBar, int position);
    bool SelectMenu(HWND window, UINT id);
    // The next pop-up menu a program tracks for its command (TPM_RETURNCMD) answers `id` (0: dismissed).
    void ChoosePopupMenuItem(UINT id);
    bool DropFiles(HWND target, const std::vector<WString>& paths);
    bool PressKey(HWND target, int virtualKey);
    bool Close(HWND window);                    // the close box
    bool RightClick(HWND window);               // WM_CONTEXTMENU, passed up by children
    bool AskHelp(HWND control);                 // F1 on a control: WM_HELP with its HELPINFO
    void SetKeyDown(int virtualKey, bool down); // what GetKeyState reports
    // The right button pressed and released over row `index` of a list box, the cursor moved there.
    bool RightClickItem(HWND list, int index);
    // A pop-up menu tracked for its owner (without TPM_RETURNCMD) waits for the user: what it shows,
    // and the pick (0 dismisses it; picking a grayed or missing item is a test failure).
    std::optional<PopupMenuShown> PopupMenu() const;
    bool AnswerPopupMenu(UINT id);

    // Message boxes and common dialogs the program shows, answered by the script.
    std::optional<MessageBoxShown> MessageBox() const;
    std::vector<MessageBoxShown> MessageBoxes() const; // every box shown since the machine started
    bool AnswerMessageBox(int result);
    std::vector<BroadcastSent> Broadcasts() const; // every broadcast sent since the machine started
    std::optional<FileDialogShown> FileDialog() const;
    bool AnswerFileDialog(WStringView path);
    bool AnswerFileDialog(WStringView path, DWORD filterIndex); // the user also picked that file type
    bool CancelFileDialog();
    // Property sheets the common host showed, and help asked for, since the machine started.
    std::vector<HostedSheet> HostedSheets() const;
    std::vector<HelpRequest> HelpRequests() const;

    // Displays: one 1920 × 1080 display at 96 dpi unless set; the first is the primary, whose DPI is
    // the system's (GetDeviceCaps of the screen).
    void SetMonitors(const std::vector<MonitorSetup>& monitors);
    // The window is moved to a display of another DPI: WM_DPICHANGED with the suggested rectangle.
    bool ChangeDpi(HWND window, UINT dpi, const RECT& suggested);

    // Languages: what LoadStringW picks and what GetUserDefaultLangID reports.
    void SetUiLanguage(LANGID language);
    void SetUserLanguage(LANGID language);

    // Resources of a module (by file name) read from an .rc file, as a program's entry does.
    void RegisterResources(WStringView moduleFileName, const std::filesystem::path& rcFile);

    // Where failures of the scripted user go (the test framework installs its own).
    void SetFailureReporter(std::function<void(const std::string&)> reporter);
};

Desktop& desktop();

} // namespace sim
