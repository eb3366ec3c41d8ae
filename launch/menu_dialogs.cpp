#include "menu_dialogs.h"

#include "hardening.h"
#include "menu_resource.h"

#include <platform/boundary.h>
#include <platform/shlwapi.h>

#include <algorithm>
#include <array>

namespace menu
{
namespace
{
constexpr WORD kVista = 0x0600;
constexpr WORD kWindows2000 = 0x0500;
constexpr int kValueBuffer = MAX_PATH;
constexpr LPCWSTR kSection = TEXT("Menu");

struct ButtonSlot
{
    int button;
    int note;
};
constexpr std::array<ButtonSlot, 4> kButtons = {
    {{IDC_BUTTON1, IDC_NOTE1}, {IDC_BUTTON2, IDC_NOTE2}, {IDC_BUTTON3, IDC_NOTE3}, {IDC_BUTTON4, IDC_NOTE4}}};

int NoteOf(int button)
{
    for (const ButtonSlot& b : kButtons)
        if (b.button == button)
            return b.note;
    return 0;
}

bool StartsWithNoCase(WStringView value, WStringView prefix)
{
    if (value.size() < prefix.size())
        return false;
    for (size_t i = 0; i < prefix.size(); ++i)
    {
        WCHAR a = value[i], b = prefix[i];
        if (a >= u'A' && a <= u'Z')
            a = static_cast<WCHAR>(a - u'A' + u'a');
        if (a != b)
            return false;
    }
    return true;
}

HICON LoadIconSized(HINSTANCE instance, UINT id, int size)
{
    return static_cast<HICON>(LoadImageW(instance, MAKEINTRESOURCEW(id), IMAGE_ICON, size, size, 0));
}
} // namespace

LANGID LanguageFromLcid(LCID lcid)
{
    LANGID primary = static_cast<LANGID>(lcid & 0x3FF);
    if (primary == launch::kLanguageChineseSimplified)
        return (lcid & 0xFC00) == 0x0400 ? launch::kLanguageChineseTraditional
                                         : launch::kLanguageChineseSimplified;
    for (LANGID kept : {7, 10, 12, 16, 17, 18, 25})
        if (primary == kept)
            return primary;
    return launch::kLanguageEnglish;
}

std::optional<LANGID> LanguageFromSetting(WStringView value)
{
    if (value.empty())
        return std::nullopt;
    struct Prefix
    {
        WStringView text;
        LANGID id;
    };
    // In this order: "zh-cn" and "zh-tw" by their first four characters before the bare "zh".
    static constexpr std::array<Prefix, 11> kPrefixes = {{{TEXT("ja"), 17},
                                                          {TEXT("en"), 9},
                                                          {TEXT("zh-c"), 4},
                                                          {TEXT("zh-t"), 0x7C04},
                                                          {TEXT("zh"), 4},
                                                          {TEXT("de"), 7},
                                                          {TEXT("es"), 10},
                                                          {TEXT("fr"), 12},
                                                          {TEXT("it"), 16},
                                                          {TEXT("ko"), 18},
                                                          {TEXT("ru"), 25}}};
    for (const Prefix& p : kPrefixes)
        if (StartsWithNoCase(value, p.text))
            return p.id;
    return launch::kLanguageEnglish;
}

std::optional<int> ParseSettingInt(WStringView value)
{
    size_t i = 0;
    while (i < value.size() && (value[i] == u' ' || value[i] == u'\t'))
        ++i;
    bool negative = i < value.size() && value[i] == u'-';
    if (i < value.size() && (value[i] == u'-' || value[i] == u'+'))
        ++i;
    if (i >= value.size() || value[i] < u'0' || value[i] > u'9')
        return std::nullopt;
    long long n = 0;
    for (; i < value.size() && value[i] >= u'0' && value[i] <= u'9'; ++i)
        n = std::min<long long>(n * 10 + (value[i] - u'0'), 1LL << 31);
    n = negative ? -n : n;
    return static_cast<int>(std::clamp<long long>(n, INT32_MIN, INT32_MAX));
}

LPCWSTR DriverPath(const launch::CMultilingualStringTable& strings, LANGID language, BYTE architecture)
{
    LPCWSTR path = strings.GetString(language, launch::kSlotDriver);
    if (architecture == launch::kArchitectureX64)
        if (LPCWSTR own = strings.GetString(language, launch::kSlotDriver64))
            return own;
    if (architecture == launch::kArchitectureOther)
        if (LPCWSTR own = strings.GetString(language, launch::kSlotDriver32))
            return own;
    return path;
}

// ---- single instance ------------------------------------------------------------------------------

CDisableMultiStartUp::~CDisableMultiStartUp()
{
    if (mutex_)
        CloseHandle(mutex_);
}

bool CDisableMultiStartUp::Create()
{
    // The default security of the creator: a null DACL would let any user take the object's security
    // over, while another user's start still fails here (access denied) as it should.
    WString name = WString(TEXT("Global\\")) + name_;
    mutex_ = CreateMutexW(nullptr, FALSE, name.c_str());
    lastError_ = GetLastError();
    return mutex_ != nullptr && lastError_ == ERROR_SUCCESS;
}

// ---- pages ------------------------------------------------------------------------------------------

CBasicDialog::CBasicDialog(std::shared_ptr<CMenuAppManagement> application, UINT templateId, HWND parent,
                           HINSTANCE instance)
    : BaseDialog(templateId, parent, instance), application_(std::move(application)),
      moduleFolder_(launch::OwnFolder())
{
    HDC screen = GetDC(nullptr);
    dpiFactor = GetDeviceCaps(screen, LOGPIXELSX) / 96.0;
    ReleaseDC(nullptr, screen);
    if (dpiFactor <= 0)
        dpiFactor = 1.0;
    languageId = LanguageFromLcid(application_->environment->userLcid);
    LoadMenuSettings();
}

CBasicDialog::~CBasicDialog()
{
    if (watermark_)
        DeleteObject(watermark_);
    for (HFONT font : fonts_)
        DeleteObject(font);
    for (HIMAGELIST list : imageLists_)
        ImageList_Destroy(list);
}

void CBasicDialog::LoadMenuSettings()
{
    WString path = moduleFolder_ + TEXT("Menu.ini");
    if (moduleFolder_.size() >= MAX_PATH - 1 || path.size() >= MAX_PATH || !PathFileExistsW(path.c_str()))
        return;
    auto read = [&](LPCWSTR key) {
        WCHAR value[kValueBuffer] = {};
        DWORD length = GetPrivateProfileStringW(kSection, key, TEXT(""), value, kValueBuffer, path.c_str());
        return WString(value, std::min<DWORD>(length, kValueBuffer - 1));
    };
    auto flag = [&](LPCWSTR key, bool& out) {
        if (auto v = ParseSettingInt(read(key)))
            out = *v != 0;
    };
    flag(TEXT("EnableManual"), enableManual);
    flag(TEXT("EnableDriver"), enableDriver);
    flag(TEXT("EnableUtility"), enableUtility);
    if (auto language = LanguageFromSetting(read(TEXT("Language"))))
        languageId = *language;
    WString watermark = read(TEXT("Watermark"));
    if (!watermark.empty())
    {
        WString file = moduleFolder_ + watermark;
        if (file.size() < MAX_PATH && PathFileExistsW(file.c_str()))
        {
            watermarkPath_ = file;
            watermark_ = static_cast<HBITMAP>(
                LoadImageW(nullptr, file.c_str(), IMAGE_BITMAP, 0, 0, LR_LOADFROMFILE | LR_CREATEDIBSECTION));
        }
    }
    if (auto width = ParseSettingInt(read(TEXT("ClientWidth"))); width && *width > 0)
        clientWidth = *width;
    if (auto height = ParseSettingInt(read(TEXT("ClientHeight"))); height && *height > 0)
        clientHeight = *height;
}

WORD CBasicDialog::Version() const
{
    return launch::VersionOf(application_->environment->environmentWord);
}

WString CBasicDialog::ResourceString(UINT id) const
{
    WCHAR text[1024] = {};
    int length = LoadStringW(m_instance, id, text, 1024);
    return WString(text, static_cast<size_t>(std::clamp(length, 0, 1023)));
}

HIMAGELIST CBasicDialog::MakeImageList(int side, UINT icon, int iconSize)
{
    HIMAGELIST list = ImageList_Create(side, side, ILC_COLOR32, 1, 0);
    if (!list)
        return nullptr;
    imageLists_.push_back(list);
    if (HICON loaded = LoadIconSized(m_instance, icon, iconSize))
        ImageList_AddIcon(list, loaded);
    return list;
}

void CBasicDialog::SetUpPage(HWND window)
{
    SetWindowTextW(window, ResourceString(IDS_APP_TITLE).c_str());
    HANDLE icon =
        LoadImageW(m_instance, MAKEINTRESOURCEW(IDI_MENU), IMAGE_ICON, 0, 0, LR_DEFAULTSIZE | LR_SHARED);
    SendMessageW(window, WM_SETICON, ICON_BIG, reinterpret_cast<LPARAM>(icon));
    SendMessageW(window, WM_SETICON, ICON_SMALL, reinterpret_cast<LPARAM>(icon));

    HWND title = GetDlgItem(window, IDC_TITLE);
    if (auto font = reinterpret_cast<HFONT>(SendMessageW(title, WM_GETFONT, 0, 0)))
    {
        LOGFONTW logFont{};
        if (GetObjectW(font, sizeof logFont, &logFont))
        {
            logFont.lfHeight = MulDiv(logFont.lfHeight, 5, 2);
            if (HFONT big = CreateFontIndirectW(&logFont))
            {
                fonts_.push_back(big);
                SendMessageW(title, WM_SETFONT, reinterpret_cast<WPARAM>(big), TRUE);
            }
        }
    }

    HWND home = GetDlgItem(window, IDC_HOME);
    int margin = static_cast<int>(4 * dpiFactor);
    BUTTON_IMAGELIST image{MakeImageList(static_cast<int>(24 * dpiFactor), IDI_HOME, 32),
                           RECT{margin, margin, margin, margin}, BUTTON_IMAGELIST_ALIGN_TOP};
    SendMessageW(home, BCM_SETIMAGELIST, 0, reinterpret_cast<LPARAM>(&image));
    SetWindowTextW(home, TEXT(""));
}

void CBasicDialog::SetButton(int id, LPCWSTR text, LPCWSTR note, std::optional<UINT> icon)
{
    HWND button = GetDlgItem(m_window, id);
    SetWindowTextW(button, text ? text : TEXT(""));
    if (CommandLinks())
        SendMessageW(button, BCM_SETNOTE, 0, reinterpret_cast<LPARAM>(note ? note : TEXT("")));
    else
        SetDlgItemTextW(m_window, NoteOf(id), note ? note : TEXT(""));
    if (icon)
    {
        int margin = static_cast<int>(4 * dpiFactor);
        BUTTON_IMAGELIST image{MakeImageList(static_cast<int>(32 * dpiFactor), *icon, 64),
                               RECT{margin, margin, margin, margin}, BUTTON_IMAGELIST_ALIGN_LEFT};
        SendMessageW(button, BCM_SETIMAGELIST, 0, reinterpret_cast<LPARAM>(&image));
    }
}

void CBasicDialog::SetButtonEnabled(int id, bool enabled)
{
    EnableWindow(GetDlgItem(m_window, id), enabled);
    if (!CommandLinks())
        EnableWindow(GetDlgItem(m_window, NoteOf(id)), enabled);
}

void CBasicDialog::HideButton(int id)
{
    for (int control : {id, NoteOf(id)})
        if (HWND w = GetDlgItem(m_window, control))
        {
            ShowWindow(w, SW_HIDE);
            EnableWindow(w, FALSE);
        }
}

HBRUSH CBasicDialog::OnCtlColor(HWND, HDC dc, HWND, int kind)
{
    if (kind == devices::kCtlColorDialog)
        return GetSysColorBrush(COLOR_WINDOW);
    if (kind == devices::kCtlColorStatic)
    {
        SetBkMode(dc, TRANSPARENT);
        return GetSysColorBrush(COLOR_WINDOW);
    }
    return nullptr;
}

INT_PTR CBasicDialog::OnSize(HWND window, UINT type, int, int)
{
    if (type != SIZE_RESTORED && type != SIZE_MAXIMIZED)
        return 0;
    auto place = [&](int id, int x, int y, int w, int h) {
        if (HWND control = GetDlgItem(window, id))
            MoveByPercent(control, window, x, y, w, h);
    };
    place(IDC_TITLE, 8, 5, 89, 15);
    static constexpr std::array<std::array<int, 2>, 4> kAt = {{{8, 24}, {54, 24}, {8, 62}, {54, 62}}};
    for (size_t i = 0; i < kButtons.size(); ++i)
    {
        place(kButtons[i].button, kAt[i][0], kAt[i][1], 43, CommandLinks() ? 33 : 14);
        if (!CommandLinks())
            place(kButtons[i].note, kAt[i][0], kAt[i][1] + 15, 43, 19);
    }
    place(IDC_HOME, 0, 0, 5, 100);
    return 1;
}

INT_PTR CBasicDialog::OnDpiChanged(HWND window, WORD dpiX, WORD, RECT* suggested)
{
    dpiFactor = dpiX / 96.0;
    if (suggested)
        SetWindowPos(window, nullptr, suggested->left, suggested->top, suggested->right - suggested->left,
                     suggested->bottom - suggested->top, SWP_NOZORDER | SWP_NOACTIVATE);
    RedrawWindow(window, nullptr, nullptr, RDW_INVALIDATE | RDW_ERASE);
    return 0;
}

void CBasicDialog::ResizeClient(int width, int height)
{
    RECT rect{0, 0, static_cast<LONG>(width * dpiFactor), static_cast<LONG>(height * dpiFactor)};
    AdjustWindowRectEx(&rect,
                       WS_POPUP | WS_VISIBLE | WS_CAPTION | WS_SYSMENU | WS_THICKFRAME | WS_MINIMIZEBOX |
                           WS_MAXIMIZEBOX | DS_CENTER | DS_SETFONT,
                       FALSE, 0);
    LONG windowWidth = rect.right - rect.left, windowHeight = rect.bottom - rect.top;
    MONITORINFO monitor{};
    monitor.cbSize = sizeof monitor;
    RECT work{0, 0, windowWidth, windowHeight};
    if (GetMonitorInfoW(MonitorFromWindow(m_window, MONITOR_DEFAULTTONEAREST), &monitor))
        work = monitor.rcWork;
    LONG workWidth = work.right - work.left, workHeight = work.bottom - work.top;
    windowWidth = std::min(windowWidth, workWidth);
    windowHeight = std::min(windowHeight, workHeight);
    MoveWindow(m_window, work.left + (workWidth - windowWidth) / 2,
               work.top + (workHeight - windowHeight) / 2, windowWidth, windowHeight, TRUE);
}

void MoveByPercent(HWND control, HWND dialog, int x, int y, int width, int height)
{
    RECT client{};
    GetClientRect(dialog, &client);
    int w = client.right - client.left, h = client.bottom - client.top;
    MoveWindow(control, x * w / 100, y * h / 100, width * w / 100, height * h / 100, TRUE);
}

// ---- the top menu -------------------------------------------------------------------------------------

INT_PTR CDialogTopMenu::OnInitDialog(HWND window, WPARAM, LPARAM)
{
    SetUpPage(window);
    ResizeClient(clientWidth, clientHeight);
    const auto& s = Strings();
    SetWindowTextW(GetDlgItem(window, IDC_TITLE), s.GetString(languageId, launch::kSlotLabelTopMenu));
    SetButton(IDC_BUTTON1, s.GetString(languageId, launch::kSlotButtonManual),
              s.GetString(languageId, launch::kSlotNoteManual), IDI_MANUAL);
    SetButton(IDC_BUTTON2, s.GetString(languageId, launch::kSlotButtonUtility),
              s.GetString(languageId, launch::kSlotNoteUtility), IDI_UTILITY);
    SetButton(IDC_BUTTON3, s.GetString(languageId, launch::kSlotButtonDriver),
              s.GetString(languageId, launch::kSlotNoteDriver), IDI_DRIVER);
    SetButton(IDC_BUTTON4, s.GetString(languageId, launch::kSlotButtonNetwork),
              s.GetString(languageId, launch::kSlotNoteNetwork), IDI_NETWORK);
    SetButtonEnabled(IDC_BUTTON1, enableManual);
    SetButtonEnabled(IDC_BUTTON2, enableUtility);
    SetButtonEnabled(IDC_BUTTON3, enableDriver);
    return TRUE;
}

template <typename Page> void CDialogTopMenu::RunSubMenu(HWND window)
{
    EnableWindow(window, FALSE);
    ShowWindow(window, SW_HIDE);
    auto page = std::make_unique<Page>(application_, CommandLinks() ? IDD_SUB_MENU : IDD_SUB_MENU_CLASSIC,
                                       window, m_instance);
    GetWindowRect(window, &page->windowRect);
    const INT_PTR result = page->Run();
    if (result == IDC_HOME)
    {
        windowRect = page->windowRect;
        SetWindowPos(window, nullptr, windowRect.left, windowRect.top, windowRect.right - windowRect.left,
                     windowRect.bottom - windowRect.top, SWP_NOOWNERZORDER);
        SetForegroundWindow(window);
    }
    else if (result != -1) // -1: the page could not be made, and the top menu simply comes back
        PostMessageW(window, WM_CLOSE, 0, 0); // a sub-menu's close box ends the program
    EnableWindow(window, TRUE);
    ShowWindow(window, SW_RESTORE);
}

void CDialogTopMenu::StartDriverInstaller(HWND window)
{
    LPCWSTR path =
        DriverPath(Strings(), languageId, launch::ArchitectureOf(application_->environment->environmentWord));
    if (!path)
    {
        launch::ShowFileNotFound(window);
        return;
    }
    launch::ExecuteAndWait(window, path, true);
}

INT_PTR CDialogTopMenu::OnCommand(HWND window, WORD id, HWND, WORD code)
{
    if (code != 0)
        return 0;
    switch (id)
    {
    case IDC_BUTTON1:
        RunSubMenu<CDialogManMenu>(window);
        break;
    case IDC_BUTTON2:
        RunSubMenu<CDialogUtilMenu>(window);
        break;
    case IDC_BUTTON4:
        RunSubMenu<CDialogNetMenu>(window);
        break;
    case IDC_BUTTON3:
        StartDriverInstaller(window);
        break;
    default:
        break;
    }
    return 0;
}

// ---- sub-menus ------------------------------------------------------------------------------------------

namespace
{
// What every sub-menu does first: its place where the top menu was, then its title and Home button.
void PlaceSubMenu(HWND window, const RECT& rect)
{
    SetWindowPos(window, nullptr, rect.left, rect.top, rect.right - rect.left, rect.bottom - rect.top, 0);
    SetForegroundWindow(window);
}

bool GoHome(HWND window, WORD id, RECT& windowRect)
{
    if (id != IDC_HOME)
        return false;
    GetWindowRect(window, &windowRect);
    EndDialog(window, IDC_HOME);
    return true;
}
} // namespace

INT_PTR CDialogManMenu::OnInitDialog(HWND window, WPARAM, LPARAM)
{
    SetUpPage(window);
    PlaceSubMenu(window, windowRect);
    SetWindowTextW(GetDlgItem(window, IDC_TITLE), ResourceString(IDS_MAN_TITLE).c_str());
    SetButton(IDC_BUTTON1, ResourceString(IDS_MAN_DRIVER).c_str(),
              ResourceString(IDS_MAN_DRIVER_NOTE).c_str(), IDI_MANUAL);
    SetButton(IDC_BUTTON2, ResourceString(IDS_MAN_NETWORK).c_str(),
              ResourceString(IDS_MAN_NETWORK_NOTE).c_str(), IDI_MANUAL);
    HideButton(IDC_BUTTON3);
    HideButton(IDC_BUTTON4);
    return TRUE;
}

INT_PTR CDialogManMenu::OnCommand(HWND window, WORD id, HWND, WORD code)
{
    if (code != 0 || GoHome(window, id, windowRect))
        return 0;
    if (id == IDC_BUTTON1 || id == IDC_BUTTON2)
        launch::OpenManual(
            window, *application_->launcher, Strings(), languageId, moduleFolder_,
            ResourceString(id == IDC_BUTTON1 ? IDS_PATH_MANUAL_DRIVER : IDS_PATH_MANUAL_NETWORK));
    return 0;
}

INT_PTR CDialogUtilMenu::OnInitDialog(HWND window, WPARAM, LPARAM)
{
    SetUpPage(window);
    PlaceSubMenu(window, windowRect);
    const auto& s = Strings();
    SetWindowTextW(GetDlgItem(window, IDC_TITLE), s.GetString(languageId, launch::kSlotLabelUtilityMenu));
    for (int i = 0; i < 4; ++i)
    {
        int button = kButtons[static_cast<size_t>(i)].button;
        SetButton(button, s.GetString(languageId, launch::kSlotButtonUtility0 + 2 * i),
                  s.GetString(languageId, launch::kSlotButtonUtility0 + 2 * i + 1), std::nullopt);
        if (CommandLinks())
            SendMessageW(GetDlgItem(window, button), BCM_SETSHIELD, 0, TRUE);
        if (i < 3)
            SetButtonEnabled(button, s.GetString(languageId, launch::kSlotUtility0 + i) != nullptr);
    }
    return TRUE;
}

INT_PTR CDialogUtilMenu::OnCommand(HWND window, WORD id, HWND, WORD code)
{
    if (code != 0 || GoHome(window, id, windowRect))
        return 0;
    if (id == IDC_BUTTON4)
    {
        launch::RunPackageProgram(window, *application_->launcher, moduleFolder_,
                                  ResourceString(IDS_PATH_MONITOR));
        return 0;
    }
    for (int i = 0; i < 3; ++i)
        if (id == kButtons[static_cast<size_t>(i)].button)
        {
            LPCWSTR path = Strings().GetString(languageId, launch::kSlotUtility0 + i);
            if (!path)
                launch::ShowFileNotFound(window);
            else
                launch::ExecuteAndWait(window, path, true);
        }
    return 0;
}

INT_PTR CDialogNetMenu::OnInitDialog(HWND window, WPARAM, LPARAM)
{
    SetUpPage(window);
    PlaceSubMenu(window, windowRect);
    SetWindowTextW(GetDlgItem(window, IDC_TITLE), ResourceString(IDS_NET_TITLE).c_str());
    SetButton(IDC_BUTTON1, ResourceString(IDS_NET_QUICK).c_str(), ResourceString(IDS_NET_QUICK_NOTE).c_str(),
              std::nullopt);
    SetButton(IDC_BUTTON2, ResourceString(IDS_NET_ADVANCED).c_str(),
              ResourceString(IDS_NET_ADVANCED_NOTE).c_str(), std::nullopt);
    if (CommandLinks())
        for (int id : {IDC_BUTTON1, IDC_BUTTON2})
            SendMessageW(GetDlgItem(window, id), BCM_SETSHIELD, 0, TRUE);
    HideButton(IDC_BUTTON3);
    HideButton(IDC_BUTTON4);
    return TRUE;
}

INT_PTR CDialogNetMenu::OnCommand(HWND window, WORD id, HWND, WORD code)
{
    if (code != 0 || GoHome(window, id, windowRect))
        return 0;
    if (id == IDC_BUTTON1 || id == IDC_BUTTON2)
        launch::RunPackageProgram(
            window, *application_->launcher, moduleFolder_,
            ResourceString(id == IDC_BUTTON1 ? IDS_PATH_NET_QUICK : IDS_PATH_NET_ADVANCED));
    return 0;
}

// ---- the program ----------------------------------------------------------------------------------------

namespace
{
int Run(HINSTANCE instance)
{
    launch::HardenDllSearch(launch::CharacterWidth::Wide);
    CDisableMultiStartUp single(kInstanceName);
    if (!single.Create())
        return 0;
    auto environment = std::make_shared<launch::CAnalyzeEnvironment>(launch::CAnalyzeEnvironment::Form::Menu);
    environment->Analyze();
    environment->systemLcid = GetSystemDefaultLCID();
    environment->userLcid = GetUserDefaultLCID();
    WORD version = launch::VersionOf(environment->environmentWord);
    if (version < kWindows2000)
        return 0;
    auto application = std::make_shared<CMenuAppManagement>();
    application->environment = environment;
    application->strings = std::make_shared<launch::CMultilingualStringTable>();
    application->launcher = std::make_shared<launch::CExecuteProcess>(
        version, launch::ProductTypeOf(environment->environmentWord),
        launch::ArchitectureOf(environment->environmentWord), environment->systemLcid, environment->userLcid);
    auto top = std::make_unique<CDialogTopMenu>(
        application, version >= kVista ? IDD_TOP_MENU : IDD_TOP_MENU_CLASSIC, nullptr, instance);
    return static_cast<int>(top->Run());
}
} // namespace

int WINAPI Main(HINSTANCE instance, HINSTANCE, LPWSTR, int)
{
    return platform::Boundary(0, [&] { return Run(instance); });
}

} // namespace menu
