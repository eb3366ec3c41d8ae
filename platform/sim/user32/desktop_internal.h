// Shared between the desktop's own sources: windows and their queues, menus, timers.
#pragma once

#include "core/internal.h"
#include "core/scheduler.h"
#include "core/state.h"

#include <platform/commctrl.h>
#include <platform/commdlg.h>
#include <platform/shellapi.h>

#include <sim/desktop.h>

#include <condition_variable>
#include <deque>
#include <functional>
#include <map>
#include <memory>
#include <mutex>
#include <optional>
#include <string>
#include <vector>

namespace sim::detail
{

// A control's own record (its items, range, check state, ...), made by its window procedure and
// owned by its window. The test reads what a user sees of any control through it.
struct ControlState
{
    virtual ~ControlState() = default;
    virtual int CheckState() const { return 0; }
    virtual std::vector<WString> Items() const { return {}; }
    virtual int Selection() const { return -1; }
    virtual int Position() const { return 0; }
    virtual std::pair<int, int> Range() const { return {0, 0}; }
    virtual std::vector<std::vector<WString>> Rows() const { return {}; }
    virtual std::vector<ListColumnShown> Columns() const { return {}; }
    virtual HANDLE Image() const { return nullptr; }
};

struct Window
{
    HWND handle = nullptr;
    WString className; // as registered
    WNDPROC proc = nullptr;
    DLGPROC dialogProc = nullptr;
    bool isDialog = false;
    DWORD style = 0;
    DWORD exStyle = 0;
    LONG_PTR id = 0;
    HWND parent = nullptr;
    HWND owner = nullptr;
    WString text;
    LONG_PTR userData = 0;
    LONG_PTR msgResult = 0;
    LONG_PTR dialogUser = 0;
    HINSTANCE instance = nullptr;
    std::shared_ptr<ThreadState> thread;
    DWORD processId = 0; // of the thread that made it
    HMENU menu = nullptr;
    HMENU systemMenu = nullptr; // made on the first GetSystemMenu
    HFONT font = nullptr;       // WM_SETFONT
    RECT rect{};
    std::vector<HWND> children;
    std::map<WString, HANDLE> props;
    HICON icons[2] = {nullptr, nullptr};
    bool dialogEnded = false;
    INT_PTR dialogResult = 0;
    bool paintPending = false; // an owner-drawn control's WM_PAINT is posted
    HFONT ownedFont = nullptr; // the dialog manager's font from the template, deleted with the window
    std::unique_ptr<ControlState> control; // a built-in control's record; none for other windows
};

// What a user sees of the window as a control (nothing for a window that is not one).
const ControlState& ControlOf(const Window& window);

struct MenuItem
{
    WString text;
    UINT id = 0;
    UINT type = 0;  // MFT_*
    UINT state = 0; // MFS_*
    HMENU sub = nullptr;
    ULONG_PTR data = 0;
};

struct Menu
{
    std::vector<MenuItem> items;
    bool popup = false;
};

struct Timer
{
    HWND window;
    UINT_PTR id;
    std::shared_ptr<ThreadState> thread;
    UINT interval;
    ULONGLONG due;
    TIMERPROC proc;
};

struct PendingMessageBox
{
    MessageBoxShown shown;
    std::optional<int> answer;
};

struct PendingFileDialog
{
    FileDialogShown shown;
    bool answered = false;
    std::optional<WString> path;      // nothing: cancelled
    std::optional<DWORD> filterIndex; // the file type the user picked, if other than the one shown
};

struct DesktopState : PartBase
{
    DesktopState();
    std::mutex& mu;              // the scheduler's: queues and waits are one state
    std::condition_variable& cv; // the scheduler's
    std::map<HWND, std::shared_ptr<Window>> windows;
    ULONG_PTR nextWindow = 0x10010;
    std::map<WString, WNDCLASSEXW> classes; // by folded name; names kept in classNames
    std::map<WString, WString> classNames;
    std::vector<Timer> timers;
    UINT_PTR nextTimerId = 0x7000;
    std::map<HMENU, std::shared_ptr<Menu>> menus;
    ULONG_PTR nextMenu = 0x20010;
    std::vector<int> keysDown;
    std::shared_ptr<PendingMessageBox> messageBox;
    std::vector<MessageBoxShown> messageBoxHistory;
    std::vector<BroadcastSent> broadcasts;
    std::shared_ptr<PendingFileDialog> fileDialog;
    DWORD commDlgError = 0;
    std::map<ULONG_PTR, std::vector<WString>> drops;
    std::map<ULONG_PTR, WString> folders; // item id lists handed out by the folder browser
    ULONG_PTR nextObject = 0x30010;
    LANGID uiLanguage = 0x409;
    LANGID userLanguage = 0x409;
    HWND foreground = nullptr;
};

DesktopState& Desk();

// With Desk().mu held.
Window* FindLocked(HWND window);
// The window, or null with ERROR_INVALID_WINDOW_HANDLE set, as a window function fails for a handle
// that names no window.
inline Window* WindowOrErrorLocked(HWND window)
{
    Window* w = FindLocked(window);
    if (!w)
        SetLastError(ERROR_INVALID_WINDOW_HANDLE);
    return w;
}
HWND GetAncestorLocked(HWND window);
std::string DescribeScreenLocked();

std::shared_ptr<Window> FindWindowPtr(HWND window);
bool IsOwnThread(HWND window);

// Message retrieval shared by GetMessage, PeekMessage and the modal loops. `stop` is checked with the
// desktop lock held after every delivered sent message or input.
enum class Got
{
    Message,
    Quit,
    Nothing,
    Stopped,
};
Got Pump(MSG* out, HWND filter, UINT min, UINT max, bool remove, bool wait,
         const std::function<bool()>& stop);

// Sends to the window's procedure on its own thread.
LRESULT Send(HWND window, UINT message, WPARAM wParam, LPARAM lParam);
// The same, giving up after `timeout` ms of the machine's clock when another thread's window has not
// answered: the message is taken back if it was not yet delivered, and *timedOut is set.
LRESULT SendWithTimeout(HWND window, UINT message, WPARAM wParam, LPARAM lParam, ULONGLONG timeout,
                        bool* timedOut);
// Posts a piece of user input to the window's thread (or acts it out now on the calling thread).
void PostInput(HWND window, std::function<void()> task);
// Notifications a control sends its parent.
void NotifyCommand(HWND control, UINT code);
LRESULT NotifyParent(HWND control, UINT code, NMHDR* header);

// Built-in classes (controls and the dialog class).
void RegisterBuiltInClasses();
LRESULT CALLBACK DialogWindowProc(HWND window, UINT message, WPARAM wParam, LPARAM lParam);
void StepUpDownNow(HWND upDown, int delta);
void RegisterClassLocked(const WNDCLASSEXW& wc, WStringView name);
// A class or property name's key: folded, or "#n" for an atom.
WString ClassKey(LPCWSTR name);
// The class a window of that name is made from: the process's own first, then the built-in ones.
bool ClassLookup(LPCWSTR name, WNDCLASSEXW& wc, WString& realName);

// Timers as the pump and the scheduler see them; the Locked ones with Desk().mu held.
bool TimerDue(const Timer& t, ULONGLONG now);
std::optional<ULONGLONG> NextTimerLocked(ULONGLONG after, bool simulatedOnly);
bool TimerDueLocked(const ThreadState& t);

// Dialogs from templates (pages of a sheet are children) and the modal loop they run in.
HWND CreateDialogFromTemplate(HINSTANCE instance, LPCWSTR name, HWND parent, DLGPROC proc, LPARAM param,
                              bool asChild);
INT_PTR RunModal(HWND dialog, HWND owner);

// Modal waiting for a script's answer (message boxes, common dialogs): pumps meanwhile.
void WaitForAnswer(const std::function<bool()>& answered, HWND owner);

// An image list's size and icons; nothing for a handle that names none.
std::optional<ImageListShown> ImageListOf(HIMAGELIST list);

WString ToWString(LPCWSTR text);
void CopyOut(WStringView text, LPWSTR buffer, int size);

} // namespace sim::detail
