#include "wizard.h"

#include "bitmap.h"
#include "ini.h"
#include "log.h"
#include "msgbox.h"
#include "os_index.h"
#include "text.h"

#include <platform/boundary.h>

#include <array>
#include <string>

namespace uninstall
{
INT_PTR CALLBACK PageProc(HWND page, UINT message, WPARAM wParam, LPARAM lParam);

namespace
{
RemovalHooks g_hooks;

struct LayoutEntry
{
    int id; // 0: the window itself
    const char* section;
    const char* key;
    int x, y, width, height;
};

constexpr std::array<LayoutEntry, 6> kFrameLayout = {{
    {0, "TITLE", "TITLE", 0, 0, 586, 362},
    {kIdBack, "BUTTON", "BACK", 292, 307, 88, 21},
    {kIdNext, "BUTTON", "NEXT", 380, 307, 88, 21},
    {IDCANCEL, "BUTTON", "CANCEL", 480, 307, 88, 21},
    {kIdLineTop, nullptr, nullptr, 0, 58, 586, 2},
    {kIdLineBottom, nullptr, nullptr, 0, 294, 586, 2},
}};
constexpr std::array<LayoutEntry, 4> kWelcomeLayout = {{
    {0, "TITLE", "WELCOME", 164, 0, 422, 294},
    {1027, "LABEL", "WELCOME_00", 37, 12, 342, 50},
    {1028, "LABEL", "WELCOME_01", 37, 72, 342, 40},
    {1029, "LABEL", "WELCOME_02", 37, 134, 342, 40},
}};
constexpr std::array<LayoutEntry, 5> kProgressLayout = {{
    {0, "TITLE", "UNINSTALL", 0, 60, 586, 234},
    {1023, "LABEL", "UNINSTALL_00", 49, 22, 482, 40},
    {1024, "LABEL", "UNINSTALL_01", 49, 62, 482, 40},
    {kIdStatus, "LABEL", "UNINSTALL_02", 49, 82, 482, 20},
    {kIdProgress, nullptr, nullptr, 49, 102, 482, 17},
}};
constexpr std::array<LayoutEntry, 3> kFinishLayout = {{
    {0, "TITLE", "FINISH", 164, 0, 422, 294},
    {1006, "LABEL", "FINISH_00", 37, 12, 342, 50},
    {1009, "LABEL", "FINISH_01", 37, 72, 342, 40},
}};
constexpr std::array<LayoutEntry, 6> kRestartLayout = {{
    {0, "TITLE", "FINISH", 164, 0, 422, 294},
    {1006, "LABEL", "FINISH_00", 37, 12, 342, 50},
    {1009, "LABEL", "FINISH_02", 37, 72, 342, 40},
    {1010, "LABEL", "FINISH_03", 37, 130, 342, 40},
    {kIdRestartNow, "LABEL", "FINISH_04", 37, 175, 300, 40},
    {kIdRestartLater, "LABEL", "FINISH_05", 37, 210, 300, 40},
}};

struct PageInfo
{
    int dialog;
    int focus;
    bool backDisabled;
    const LayoutEntry* layout;
    size_t layoutSize;
};

const std::array<PageInfo, 4> kPages = {{
    {kDialogWelcome, kIdNext, true, kWelcomeLayout.data(), kWelcomeLayout.size()},
    {kDialogProgress, kIdNext, false, kProgressLayout.data(), kProgressLayout.size()},
    {kDialogFinish, kIdNext, true, kFinishLayout.data(), kFinishLayout.size()},
    {kDialogRestart, kIdNext, true, kRestartLayout.data(), kRestartLayout.size()},
}};

enum class LayoutMode
{
    Size,
    Move,
    TextsOnly,
};

constexpr const char* kBannerTitle = "UninstallBannerTitle";
constexpr const char* kBannerText = "UninstallBannerText";

bool Silent()
{
    return (State().options & kOptionSilent) != 0;
}

std::string Ui(const char* section, const char* key)
{
    return IniString(State().uiIniPath, section, key);
}

void SetFont(HWND control, HFONT font)
{
    if (control && font)
        SendMessageA(control, WM_SETFONT, reinterpret_cast<WPARAM>(font), TRUE);
}

void FreeFont(HFONT& font)
{
    if (font)
        DeleteObject(font);
    font = nullptr;
}

HFONT LoadFont(const char* key)
{
    std::string value = Ui("FONT", key);
    if (State().osIndex > kOs2003)
    {
        std::string vista = Ui("FONT", (std::string(key) + "_VISTA").c_str());
        if (!vista.empty())
            value = vista;
    }
    auto spec = ParseFontSpec(value);
    if (!spec)
        return nullptr;
    return CreateFontA(spec->height, 0, 0, 0, spec->weight, FALSE, spec->underline ? TRUE : FALSE, FALSE,
                       spec->charset, OUT_DEFAULT_PRECIS, CLIP_DEFAULT_PRECIS, DEFAULT_QUALITY,
                       DEFAULT_PITCH | FF_DONTCARE, spec->face.c_str());
}

void ApplyLayout(HWND window, const LayoutEntry* table, size_t count, LayoutMode mode)
{
    UninstallState& state = State();
    for (size_t i = 0; i < count; ++i)
    {
        const LayoutEntry& e = table[i];
        HWND target = e.id == 0 ? window : GetDlgItem(window, e.id);
        if (!target)
            continue;
        if (e.id == 0 && mode == LayoutMode::Size)
            SetWindowPos(window, nullptr, 0, 0, 586, 362 + GetSystemMetrics(SM_CYCAPTION) - 19,
                         SWP_NOMOVE | SWP_NOZORDER | SWP_NOACTIVATE);
        else if (mode != LayoutMode::TextsOnly && (e.id != 0 || mode == LayoutMode::Move))
            MoveWindow(target, e.x, e.y, e.width, e.height, TRUE);
        if (!e.section)
            continue;
        std::string text = Ui(e.section, e.key);
        if (!text.empty())
            SetWindowTextA(target, ExpandEscapes(text).c_str());
        if (e.id != 0)
            SetFont(target, state.standardFont);
    }
}

void Mirror(HWND window)
{
    char cls[64] = {};
    GetClassNameA(window, cls, sizeof cls);
    LONG ex = GetWindowLongA(window, GWL_EXSTYLE);
    if (EqualNoCase(cls, "Edit"))
    {
        SetWindowLongA(window, GWL_STYLE, GetWindowLongA(window, GWL_STYLE) | ES_RIGHT);
        SetWindowLongA(window, GWL_EXSTYLE, ex | WS_EX_RTLREADING | WS_EX_LEFTSCROLLBAR);
        return;
    }
    SetWindowLongA(window, GWL_EXSTYLE, ex | WS_EX_LAYOUTRTL);
}

void MirrorFrame(HWND frame)
{
    Mirror(frame);
    for (const LayoutEntry& e : kFrameLayout)
        if (e.id != 0)
            if (HWND control = GetDlgItem(frame, e.id))
                Mirror(control);
}

void GreyClose(HWND frame)
{
    if (HMENU menu = GetSystemMenu(frame, FALSE))
        EnableMenuItem(menu, SC_CLOSE, MF_BYCOMMAND | MF_GRAYED);
}

void EnableFrameControl(int id, bool enable)
{
    EnableWindow(GetDlgItem(State().frameWindow, id), enable ? TRUE : FALSE);
}

INT_PTR Result(HWND page, LRESULT result)
{
    SetWindowLongPtrA(page, DWLP_MSGRESULT, result);
    return TRUE;
}

// ---- Painting ----

void DrawBitmap(HDC dc, int slot, int x, int y, int clientWidth)
{
    UninstallState& state = State();
    if (!state.hasBitmap[slot])
        return;
    const WizardBitmap& b = state.bitmaps[slot];
    const BITMAPINFOHEADER& h = b.Info()->bmiHeader;
    int width = h.biWidth;
    int height = h.biHeight < 0 ? -h.biHeight : h.biHeight;
    int left = x;
    int drawnWidth = width;
    if (state.rtlLayout) // from the right edge, mirrored
    {
        left = clientWidth - x - 1;
        drawnWidth = -width;
    }
    StretchDIBits(dc, left, y, drawnWidth, height, 0, 0, width, height, b.Bits(), b.Info(), DIB_RGB_COLORS,
                  SRCCOPY);
}

void SelectSlotPalette(HDC dc, int slot)
{
    UninstallState& state = State();
    if (state.hasBitmap[slot] && state.bitmaps[slot].palette)
    {
        SelectPalette(dc, state.bitmaps[slot].palette, FALSE);
        RealizePalette(dc);
    }
}

void DrawBannerText(HDC dc, HWND page, const char* prop, HFONT font, RECT rect)
{
    auto* text = static_cast<std::string*>(GetPropA(page, prop));
    if (!text || text->empty())
        return;
    HGDIOBJ old = font ? SelectObject(dc, font) : nullptr;
    DrawTextA(dc, text->c_str(), -1, &rect,
              DT_WORDBREAK | DT_NOPREFIX | (State().rtlLayout ? DT_RTLREADING : 0));
    if (old)
        SelectObject(dc, old);
}

void PaintFrame(HWND frame)
{
    UninstallState& state = State();
    PAINTSTRUCT ps{};
    HDC dc = BeginPaint(frame, &ps);
    if (!dc)
        return;
    RECT client{};
    GetClientRect(frame, &client);
    int current = state.currentPage;
    if (kPages[static_cast<size_t>(current)].backDisabled)
    {
        SelectSlotPalette(dc, kBitmapLeftIcon);
        DrawBitmap(dc, kBitmapLeft, 0, 0, client.right);
        DrawBitmap(dc, kBitmapLeftIcon, 97, 13, client.right);
    }
    else
    {
        SelectSlotPalette(dc, kBitmapTopIcon);
        DrawBitmap(dc, kBitmapTop, 0, 0, client.right);
        DrawBitmap(dc, kBitmapTopIcon, 525, 5, client.right);
        SetBkMode(dc, TRANSPARENT);
        HWND page = state.pages[kPageProgress];
        DrawBannerText(dc, page, kBannerTitle, state.bannerTitleFont, RECT{22, 10, 472, 30});
        DrawBannerText(dc, page, kBannerText, state.bannerTextFont, RECT{44, 25, 494, 60});
    }
    EndPaint(frame, &ps);
}

bool RealizeIconPalette(HWND frame)
{
    UninstallState& state = State();
    if (!state.hasBitmap[kBitmapLeftIcon] || !state.bitmaps[kBitmapLeftIcon].palette)
        return false;
    HDC dc = GetDC(frame);
    if (!dc)
        return false;
    SelectPalette(dc, state.bitmaps[kBitmapLeftIcon].palette, FALSE);
    UINT changed = RealizePalette(dc);
    ReleaseDC(frame, dc);
    if (changed && changed != GDI_ERROR)
        InvalidateRect(frame, nullptr, TRUE);
    return changed && changed != GDI_ERROR;
}

void FreeFrameResources()
{
    UninstallState& state = State();
    FreeFont(state.standardFont);
    FreeFont(state.titleFont);
    FreeFont(state.bannerTitleFont);
    FreeFont(state.bannerTextFont);
    for (int i = 0; i < kBitmapCount; ++i)
    {
        FreeWizardBitmap(state.bitmaps[i]);
        state.hasBitmap[i] = false;
    }
}

// ---- Navigation ----

void ShowPage(int index)
{
    UninstallState& state = State();
    HWND frame = state.frameWindow;
    const PageInfo& info = kPages[static_cast<size_t>(index)];
    ShowWindow(GetDlgItem(frame, kIdLineTop), info.backDisabled ? SW_HIDE : SW_SHOW);
    ShowWindow(GetDlgItem(frame, kIdBack), SW_SHOW);
    EnableFrameControl(kIdBack, !info.backDisabled);
    InvalidateRect(frame, nullptr, TRUE);
    ShowWindow(state.pages[index], SW_SHOW);
    SendMessageA(GetDlgItem(frame, kIdNext), BM_SETSTYLE, BS_DEFPUSHBUTTON, TRUE);
    SendMessageA(GetDlgItem(frame, kIdBack), BM_SETSTYLE, BS_PUSHBUTTON, TRUE);
    SendMessageA(GetDlgItem(frame, IDCANCEL), BM_SETSTYLE, BS_PUSHBUTTON, TRUE);
    SendMessageA(frame, DM_SETDEFID, kIdNext, 0);
    bool frameControl = info.focus == IDCANCEL || info.focus == kIdBack || info.focus == kIdNext;
    SetFocus(GetDlgItem(frameControl ? frame : state.pages[index], info.focus));
}

void ShowFirstPage(int first)
{
    UninstallState& state = State();
    FreeFont(state.standardFont);
    FreeFont(state.titleFont);
    state.standardFont = LoadFont("STANDARD");
    state.titleFont = LoadFont("TITLE");
    for (HWND page : state.pages)
        SendMessageA(page, kMsgSetup, 0, 0);
    state.currentPage = first;
    ShowPage(first);
    ApplyLayout(state.frameWindow, kFrameLayout.data(), kFrameLayout.size(), LayoutMode::TextsOnly);
    SendMessageA(state.pages[first], kMsgCurrent, static_cast<WPARAM>(first), 0);
    LogPrint("  Uninstall : %d", 1);
    LogPrint("  Finish    : %d", 1);
    LogPrint("  Refresh   : %d", 0);
}

void Move(UINT message)
{
    UninstallState& state = State();
    int old = state.currentPage;
    if (!SendMessageA(state.pages[old], message, 0, 0))
        return;
    int now = state.currentPage;
    if (now < 0 || now >= 4 || now == old)
        return;
    ShowPage(now);
    SendMessageA(state.pages[now], kMsgCurrent, static_cast<WPARAM>(old), 0);
    ShowWindow(state.pages[old], SW_HIDE);
}

void BuildWizard(HWND frame)
{
    UninstallState& state = State();
    state.standardFont = LoadFont("STANDARD");
    static constexpr std::array<const char*, kBitmapCount> kBitmapKeys = {"LEFT", "LEFT_ICON", "TOP",
                                                                          "TOP_ICON"};
    for (int i = 0; i < kBitmapCount; ++i)
    {
        std::string name = Ui("BITMAP", kBitmapKeys[static_cast<size_t>(i)]);
        if (!name.empty())
            state.hasBitmap[i] =
                LoadWizardBitmap(JoinPath(state.moduleFolder, name).c_str(), state.bitmaps[i]);
    }
    state.bannerTitleFont = LoadFont("INFORMATION");
    state.bannerTextFont = LoadFont("STANDARD");
    if (state.rtlLayout)
        MirrorFrame(frame);
    ApplyLayout(frame, kFrameLayout.data(), kFrameLayout.size(), LayoutMode::Size);
    for (size_t i = 0; i < kPages.size(); ++i)
    {
        state.pages[i] = CreateDialogParamA(state.hInstance, MAKEINTRESOURCEA(kPages[i].dialog), frame,
                                            PageProc, static_cast<LPARAM>(i));
        if (!state.pages[i])
        {
            // Before anything was removed: the run ends as it began, and says why.
            ReportRefusedWindow(state.mainWindow);
            state.aborted = 1;
            PostMessageA(frame, kMsgClose, 0, 0);
            return;
        }
    }
    state.pageCount = 4;
    CentreWindow(frame, nullptr);
    state.hasWelcomePage = !Ui("LABEL", "WELCOME_00").empty();
    // A silent run has nobody to press Next on the welcome page.
    ShowFirstPage(state.hasWelcomePage && !Silent() ? kPageWelcome : kPageProgress);
    if (!Silent())
        ShowWindow(frame, SW_SHOW);
}

void DestroyPages()
{
    UninstallState& state = State();
    for (HWND& page : state.pages)
    {
        if (page && IsWindow(page))
            DestroyWindow(page);
        page = nullptr;
    }
}

INT_PTR FrameMessage(HWND frame, UINT message, WPARAM wParam, LPARAM)
{
    UninstallState& state = State();
    switch (message)
    {
    case WM_INITDIALOG:
        state.frameWindow = frame;
        PostMessageA(frame, kMsgSetup, 0, 0);
        return TRUE;
    case kMsgSetup:
        BuildWizard(frame);
        return TRUE;
    case WM_COMMAND:
        switch (LOWORD(wParam))
        {
        case kIdNext:
            Move(kMsgNext);
            return TRUE;
        case kIdBack:
            Move(kMsgBack);
            return TRUE;
        case IDCANCEL:
            if (state.cancelBoxOpen || state.busy || state.completed)
                return TRUE;
            state.cancelBoxOpen = 1;
            if (IniMessageBox(frame, state.uiIniPath, "ERROR", "MESSAGE_15", "TITLE",
                              MB_YESNO | MB_ICONQUESTION, nullptr, true) == IDYES)
            {
                LogPrint("[MessageBox] : MESSAGE_15");
                state.aborted = 1;
                PostMessageA(frame, kMsgClose, 0, 0);
            }
            state.cancelBoxOpen = 0;
            return TRUE;
        default:
            return FALSE;
        }
    case WM_PAINT:
        PaintFrame(frame);
        return TRUE;
    case WM_QUERYNEWPALETTE:
        return Result(frame, RealizeIconPalette(frame) ? TRUE : FALSE);
    case WM_PALETTECHANGED:
        if (reinterpret_cast<HWND>(wParam) != frame)
            RealizeIconPalette(frame);
        return TRUE;
    case WM_QUERYENDSESSION:
        return Result(frame, state.busy ? FALSE : TRUE);
    case WM_ENDSESSION:
        if (!wParam)
            return TRUE;
        if (!state.completed)
            state.aborted = 1;
        FreeFrameResources();
        PostMessageA(state.mainWindow, kMsgClose, 0, 0);
        return TRUE;
    case WM_DESTROY:
        FreeFrameResources();
        // A frame the system could not finish never began: its maker ends the run after saying why.
        if (state.frameWindow == frame)
            PostMessageA(state.mainWindow, kMsgClose, 0, 0);
        return TRUE;
    case kMsgClose:
        DestroyPages();
        DestroyWindow(frame);
        return TRUE;
    default:
        return FALSE;
    }
}

INT_PTR CALLBACK FrameProc(HWND frame, UINT message, WPARAM wParam, LPARAM lParam)
{
    return platform::Boundary(INT_PTR{FALSE}, [&] { return FrameMessage(frame, message, wParam, lParam); });
}

// ---- Pages ----

void SetupPage(HWND page, int index)
{
    UninstallState& state = State();
    const PageInfo& info = kPages[static_cast<size_t>(index)];
    ApplyLayout(page, info.layout, info.layoutSize, LayoutMode::Move);
    switch (index)
    {
    case kPageWelcome: {
        SetFont(GetDlgItem(page, 1027), state.titleFont);
        HWND text = GetDlgItem(page, 1029);
        if (HDC dc = text ? GetDC(text) : nullptr)
        {
            std::string value = ExpandEscapes(Ui("LABEL", "WELCOME_02"));
            HGDIOBJ old = state.standardFont ? SelectObject(dc, state.standardFont) : nullptr;
            RECT r{0, 0, 342, 0};
            DrawTextA(dc, value.c_str(), -1, &r, DT_CALCRECT | DT_WORDBREAK | DT_NOPREFIX);
            if (old)
                SelectObject(dc, old);
            ReleaseDC(text, dc);
            MoveWindow(text, 37, 134, 342, r.bottom - r.top, TRUE);
        }
        break;
    }
    case kPageProgress:
        for (auto [prop, key] :
             {std::pair{kBannerTitle, "UNINSTALL_TITLE"}, std::pair{kBannerText, "UNINSTALL_CONTENTS"}})
        {
            delete static_cast<std::string*>(RemovePropA(page, prop));
            SetPropA(page, prop, new std::string(ExpandEscapes(Ui("BIT_LABEL", key))));
        }
        break;
    case kPageFinish:
        SetFont(GetDlgItem(page, 1006), state.titleFont);
        break;
    case kPageRestart:
        SetFont(GetDlgItem(page, 1006), state.titleFont);
        if (!Ui("LABEL", "FINISH_04").empty())
            CheckDlgButton(page, kIdRestartNow, BST_CHECKED);
        else
            for (int id : {kIdRestartNow, kIdRestartLater})
            {
                ShowWindow(GetDlgItem(page, id), SW_HIDE);
                EnableWindow(GetDlgItem(page, id), FALSE);
            }
        break;
    default:
        break;
    }
}

// The Next button shows the finish text; a longer restart text widens it to the left.
void ShowFinishButton(const char* key, bool widen)
{
    UninstallState& state = State();
    HWND frame = state.frameWindow;
    HWND next = GetDlgItem(frame, kIdNext);
    EnableWindow(next, TRUE);
    std::string text = Ui("BUTTON", key);
    if (!text.empty())
        SetWindowTextA(next, ExpandEscapes(text).c_str());
    EnableFrameControl(IDCANCEL, false);
    if (!widen || text.empty())
        return;
    HDC dc = GetDC(next);
    if (!dc)
        return;
    HGDIOBJ old = state.standardFont ? SelectObject(dc, state.standardFont) : nullptr;
    SIZE size{};
    GetTextExtentPoint32A(dc, text.c_str(), static_cast<int>(text.size()), &size);
    if (old)
        SelectObject(dc, old);
    ReleaseDC(next, dc);
    int wanted = size.cx + GetSystemMetrics(SM_CXSMICON);
    const LayoutEntry& n = kFrameLayout[2];
    const LayoutEntry& b = kFrameLayout[1];
    if (wanted <= n.width)
        return;
    int grow = wanted - n.width;
    MoveWindow(next, n.x - grow, n.y, wanted, n.height, TRUE);
    MoveWindow(GetDlgItem(frame, kIdBack), b.x - grow, b.y, b.width, b.height, TRUE);
}

void PageBecomesCurrent(HWND page, int index)
{
    UninstallState& state = State();
    GreyClose(state.frameWindow);
    switch (index)
    {
    case kPageWelcome:
        EnableFrameControl(kIdBack, false);
        break;
    case kPageProgress:
        PostMessageA(page, kMsgStartWorker, 0, 0);
        break;
    case kPageFinish:
        ShowFinishButton("FINISH", false);
        break;
    case kPageRestart:
        ShowFinishButton("REFINISH", true);
        break;
    default:
        break;
    }
}

LRESULT PageNext(HWND page, int index)
{
    UninstallState& state = State();
    switch (index)
    {
    case kPageWelcome:
        state.currentPage = kPageProgress;
        return 1;
    case kPageProgress:
        state.currentPage = state.rebootRequested ? kPageRestart : kPageFinish;
        if (Silent())
            return SendMessageA(state.pages[state.currentPage], kMsgNext, 0, 0);
        return 1;
    case kPageRestart: {
        LogPrint("*** Finish ***");
        HWND now = GetDlgItem(page, kIdRestartNow);
        if (now && IsWindowEnabled(now))
        {
            // Restart later takes the restart back; "-t" still reports that one is needed.
            state.rebootRequested = IsDlgButtonChecked(page, kIdRestartNow) == BST_CHECKED ? 1 : 0;
            if (state.rebootRequested)
                LogPrint("  Reboot [ON]");
        }
        PostMessageA(state.frameWindow, kMsgClose, 0, 0);
        return 0;
    }
    case kPageFinish:
    default:
        PostMessageA(state.frameWindow, kMsgClose, 0, 0);
        return 0;
    }
}

void WorkerEnded(HWND page, bool finished)
{
    UninstallState& state = State();
    if (state.workerThread)
        CloseHandle(state.workerThread);
    state.workerThread = nullptr;
    state.busy = 0;
    if (!finished)
    {
        state.aborted = 1;
        PostMessageA(state.frameWindow, kMsgClose, 0, 0);
        return;
    }
    state.completed = 1;
    if (Silent())
        PostMessageA(page, kMsgNext, 0, 0);
    else
        PostMessageA(state.frameWindow, WM_COMMAND, MAKEWPARAM(kIdNext, BN_CLICKED), 0);
}
} // namespace

INT_PTR PageMessage(HWND page, UINT message, WPARAM, LPARAM lParam)
{
    UninstallState& state = State();
    int index = static_cast<int>(GetWindowLongPtrA(page, DWLP_USER));
    switch (message)
    {
    case WM_INITDIALOG:
        SetWindowLongPtrA(page, DWLP_USER, lParam);
        return FALSE;
    case kMsgSetup:
        SetupPage(page, index);
        return TRUE;
    case kMsgCurrent:
        PageBecomesCurrent(page, index);
        return TRUE;
    case kMsgNext:
        return Result(page, PageNext(page, index));
    case kMsgBack:
        return Result(page, 0);
    case kMsgStartWorker:
        if (index != kPageProgress || state.busy)
            return TRUE;
        for (int id : {kIdBack, kIdNext, IDCANCEL})
            EnableFrameControl(id, false);
        state.busy = 1;
        state.workerThread = g_hooks.startWorker ? g_hooks.startWorker(page) : nullptr;
        if (!state.workerThread)
            PostMessageA(page, kMsgWorkerFailed, 0, 0);
        return TRUE;
    case kMsgWorkerDone:
        WorkerEnded(page, true);
        return TRUE;
    case kMsgWorkerFailed:
        WorkerEnded(page, false);
        return TRUE;
    case WM_SETCURSOR:
        if (index == kPageProgress && state.busy)
        {
            SetCursor(LoadCursorA(nullptr, MAKEINTRESOURCEA(32514)));
            return Result(page, TRUE);
        }
        return FALSE;
    case WM_CTLCOLORDLG:
    case WM_CTLCOLORSTATIC:
        return reinterpret_cast<INT_PTR>(GetStockObject(WHITE_BRUSH));
    case WM_DESTROY:
        if (index == kPageProgress)
            for (const char* prop : {kBannerTitle, kBannerText})
                delete static_cast<std::string*>(RemovePropA(page, prop));
        return FALSE;
    default:
        return FALSE;
    }
}

INT_PTR CALLBACK PageProc(HWND page, UINT message, WPARAM wParam, LPARAM lParam)
{
    return platform::Boundary(INT_PTR{FALSE}, [&] { return PageMessage(page, message, wParam, lParam); });
}

void SetRemovalHooks(const RemovalHooks& hooks)
{
    g_hooks = hooks;
}

const RemovalHooks& Hooks()
{
    return g_hooks;
}

void SetStatusText(HWND progressPage, const char* text)
{
    HWND status = GetDlgItem(progressPage, kIdStatus);
    if (!status)
        return;
    RECT r{};
    GetClientRect(status, &r);
    HDC dc = GetDC(status);
    if (!dc)
    {
        SetWindowTextA(status, text);
        return;
    }
    HFONT font = reinterpret_cast<HFONT>(SendMessageA(status, WM_GETFONT, 0, 0));
    HGDIOBJ old = font ? SelectObject(dc, font) : nullptr;
    std::string shown = ShortenToFit(text ? text : "", r.right - r.left, [dc](std::string_view s) {
        SIZE size{};
        GetTextExtentPoint32A(dc, s.data(), static_cast<int>(s.size()), &size);
        return static_cast<int>(size.cx);
    });
    if (old)
        SelectObject(dc, old);
    ReleaseDC(status, dc);
    SetWindowTextA(status, shown.c_str());
}

LRESULT MainWindowMessage(HWND window, UINT message, WPARAM wParam, LPARAM lParam)
{
    UninstallState& state = State();
    switch (message)
    {
    case WM_CREATE:
        state.mainWindow = window;
        if (HMENU menu = GetSystemMenu(window, FALSE))
            RemoveMenu(menu, SC_RESTORE, MF_BYCOMMAND);
        if (!Silent())
            ShowWindow(window, SW_SHOWMINNOACTIVE);
        PostMessageA(window, kMsgSetup, 0, 0);
        return 0;
    case kMsgSetup: {
        for (auto [size, kind] : {std::pair{32, ICON_BIG}, std::pair{16, ICON_SMALL}})
            if (HANDLE icon =
                    LoadImageA(state.hInstance, MAKEINTRESOURCEA(kIconProgram), IMAGE_ICON, size, size, 0))
                SendMessageA(window, WM_SETICON, static_cast<WPARAM>(kind), reinterpret_cast<LPARAM>(icon));
        std::string title = Ui("MESSAGE", "TITLE");
        if (!title.empty())
            SetWindowTextA(window, title.c_str());
        // Only a Yes goes on: a question the system could not show was never answered.
        if (!Silent() && Ui("LABEL", "WELCOME_00").empty() &&
            IniMessageBox(window, state.uiIniPath, "MESSAGE", "CHECK_00", "TITLE", MB_YESNO | MB_ICONQUESTION,
                          nullptr, false) != IDYES)
        {
            LogPrint("[MessageBox] : CHECK_00");
            state.aborted = 1;
            PostMessageA(window, kMsgClose, 0, 0);
            return 0;
        }
        if (!CreateDialogParamA(state.hInstance, MAKEINTRESOURCEA(kDialogFrame), window, FrameProc, 0))
        {
            ReportRefusedWindow(window);
            state.aborted = 1;
            PostMessageA(window, kMsgClose, 0, 0);
        }
        return 0;
    }
    case WM_ACTIVATE:
        if (LOWORD(wParam) != WA_INACTIVE && state.frameWindow && IsWindow(state.frameWindow))
            SetActiveWindow(state.frameWindow);
        return 0;
    case WM_COMMAND:
        if (LOWORD(wParam) == IDOK || LOWORD(wParam) == IDCANCEL)
            PostMessageA(window, WM_CLOSE, 0, 0);
        return 0;
    case WM_CLOSE:
        // From the task bar or the session's end: ignored while removing, Cancel before.
        if (state.busy)
            return 0;
        if (!state.completed)
            state.aborted = 1;
        DestroyWindow(window);
        return 0;
    case WM_QUERYENDSESSION:
        return state.busy ? FALSE : TRUE;
    case kMsgClose:
        DestroyWindow(window);
        return 0;
    case WM_DESTROY:
        FreeFrameResources();
        if (state.completed && !state.aborted && g_hooks.launchSecondStage)
            g_hooks.launchSecondStage();
        PostQuitMessage(0);
        return 0;
    default:
        return DefWindowProcA(window, message, wParam, lParam);
    }
}

LRESULT CALLBACK MainWindowProc(HWND window, UINT message, WPARAM wParam, LPARAM lParam)
{
    return platform::Boundary(LRESULT{0}, [&] { return MainWindowMessage(window, message, wParam, lParam); });
}

} // namespace uninstall
