#include "kgl2bmp_dialogs.h"

#include <platform/boundary.h>
#include <platform/commctrl.h>
#include <platform/commdlg.h>
#include <platform/shellapi.h>

#include "kgl2bmp_resource.h"
#include "kgl2bmp_texts.h"
#include "page_render.h"
#include "print_scan.h"

#include <algorithm>

namespace kgl2bmp
{

// ---- CBaseDialog ----

CBaseDialog::CBaseDialog(HINSTANCE instance, HWND parent, UINT templateId)
    : m_instance(instance), m_parent(parent), m_templateId(templateId)
{
}

INT_PTR CBaseDialog::OnInitDialog(HWND, WPARAM, LPARAM)
{
    return TRUE;
}

INT_PTR CBaseDialog::OnCommand(HWND, WORD, HWND, WORD)
{
    return 0;
}

INT_PTR CBaseDialog::OnNotify(HWND, int, NMHDR*)
{
    return 0;
}

INT_PTR CBaseDialog::OnContextMenu(HWND, HWND, int, int)
{
    return 0;
}

INT_PTR CBaseDialog::OnDrawItem(HWND, DRAWITEMSTRUCT*)
{
    return 0;
}

INT_PTR CBaseDialog::OnClose(HWND window)
{
    EndDialog(window, 0);
    return TRUE;
}

INT_PTR CBaseDialog::OnDestroy(HWND)
{
    return 0;
}

INT_PTR CBaseDialog::OnVScroll(HWND, HWND, int, int)
{
    return 0;
}

INT_PTR CBaseDialog::OnHScroll(HWND, HWND, int, int)
{
    return 0;
}

INT_PTR CBaseDialog::OnHelp(HWND, HANDLE, HELPINFO*)
{
    return 0;
}

INT_PTR CBaseDialog::OnDeviceChange(HWND, WPARAM, LPARAM)
{
    return 0;
}

INT_PTR CBaseDialog::OnMessage(UINT, WPARAM, LPARAM)
{
    return 0;
}

INT_PTR CBaseDialog::DialogProc(UINT message, WPARAM wParam, LPARAM lParam)
{
    switch (message)
    {
    case WM_INITDIALOG:
        return OnInitDialog(m_window, wParam, lParam);
    case WM_COMMAND:
        return OnCommand(m_window, LOWORD(wParam), reinterpret_cast<HWND>(lParam), HIWORD(wParam));
    case WM_NOTIFY:
        return OnNotify(m_window, static_cast<int>(wParam), reinterpret_cast<NMHDR*>(lParam));
    case WM_CONTEXTMENU:
        return OnContextMenu(m_window, reinterpret_cast<HWND>(wParam), static_cast<short>(LOWORD(lParam)),
                             static_cast<short>(HIWORD(lParam)));
    case WM_DRAWITEM:
        return OnDrawItem(m_window, reinterpret_cast<DRAWITEMSTRUCT*>(lParam));
    case WM_CLOSE:
        return OnClose(m_window);
    case WM_DESTROY:
        return OnDestroy(m_window);
    case WM_VSCROLL:
        return OnVScroll(m_window, reinterpret_cast<HWND>(lParam), LOWORD(wParam),
                         static_cast<short>(HIWORD(wParam)));
    case WM_HSCROLL:
        return OnHScroll(m_window, reinterpret_cast<HWND>(lParam), LOWORD(wParam),
                         static_cast<short>(HIWORD(wParam)));
    case WM_HELP: {
        auto* info = reinterpret_cast<HELPINFO*>(lParam);
        return OnHelp(m_window, info ? info->hItemHandle : nullptr, info);
    }
    case WM_DEVICECHANGE:
        return OnDeviceChange(m_window, wParam, lParam);
    default:
        return OnMessage(message, wParam, lParam);
    }
}

INT_PTR CALLBACK CBaseDialog::StaticDialogProc(HWND window, UINT message, WPARAM wParam, LPARAM lParam)
{
    return platform::Boundary(INT_PTR{FALSE}, [&]() -> INT_PTR {
        CBaseDialog* self = nullptr;
        if (message == WM_INITDIALOG)
        {
            self = reinterpret_cast<CBaseDialog*>(lParam);
            SetWindowLongPtrW(window, GWLP_USERDATA, lParam);
            if (self)
                self->m_window = window;
        }
        else
            self = reinterpret_cast<CBaseDialog*>(GetWindowLongPtrW(window, GWLP_USERDATA));
        if (!self)
            return FALSE;
        return self->DialogProc(message, wParam, lParam);
    });
}

INT_PTR CBaseDialog::Show()
{
    m_result = DialogBoxParamW(m_instance, MAKEINTRESOURCEW(m_templateId), m_parent, StaticDialogProc,
                               reinterpret_cast<LPARAM>(this));
    return m_result;
}

// ---- CMainDialog ----

namespace
{
using printfile::CMemoryMappedFile;

bool FileExists(LPCWSTR path)
{
    const DWORD attributes = GetFileAttributesW(path);
    return attributes != INVALID_FILE_ATTRIBUTES && !(attributes & FILE_ATTRIBUTE_DIRECTORY);
}

// The path box takes dropped files; its old procedure is kept in its own user data.
LRESULT CALLBACK EditDropProc(HWND box, UINT message, WPARAM wParam, LPARAM lParam)
{
    return platform::Boundary(LRESULT{0}, [&]() -> LRESULT {
        const auto old = reinterpret_cast<WNDPROC>(GetWindowLongPtrW(box, GWLP_USERDATA));
        if (!old)
            return DefWindowProcW(box, message, wParam, lParam);
        if (message == WM_DROPFILES && GetWindowLongPtrW(GetParent(box), GWLP_USERDATA))
        {
            const auto drop = reinterpret_cast<HDROP>(wParam);
            WCHAR path[MAX_PATH] = {};
            DragQueryFileW(drop, 0, path, MAX_PATH);
            DragFinish(drop);
            SetWindowTextW(box, path);
            return 0;
        }
        return CallWindowProcW(old, box, message, wParam, lParam);
    });
}

void SetMenuText(HMENU menu, UINT item, bool byPosition, LPCWSTR text)
{
    MENUITEMINFOW info{};
    info.cbSize = sizeof(info);
    info.fMask = MIIM_STRING;
    info.dwTypeData = const_cast<LPWSTR>(text);
    SetMenuItemInfoW(menu, item, byPosition ? TRUE : FALSE, &info);
}

} // namespace

CMainDialog::CMainDialog(HINSTANCE instance) : CBaseDialog(instance, nullptr, IDD_MAIN)
{
    WCHAR title[MAX_PATH] = {};
    LoadStringW(instance, IDS_APP_TITLE, title, MAX_PATH);
    m_title = title;
    m_language = PRIMARYLANGID(GetUserDefaultLangID()) == LANG_JAPANESE ? kJapanese : kEnglish;
}

INT_PTR CMainDialog::OnInitDialog(HWND window, WPARAM, LPARAM)
{
    SetWindowTextW(window, m_title.c_str());
    const HANDLE big =
        LoadImageW(m_instance, MAKEINTRESOURCEW(IDI_KGL2BMP), IMAGE_ICON, 0, 0, LR_DEFAULTSIZE | LR_SHARED);
    const HANDLE small = LoadImageW(m_instance, MAKEINTRESOURCEW(IDI_KGL2BMP), IMAGE_ICON, 16, 16, LR_SHARED);
    SendMessageW(window, WM_SETICON, ICON_BIG, reinterpret_cast<LPARAM>(big));
    SendMessageW(window, WM_SETICON, ICON_SMALL, reinterpret_cast<LPARAM>(small));

    // The old procedure is in place before the new one can be called.
    const HWND box = GetDlgItem(window, IDC_PATH);
    SetWindowLongPtrW(box, GWLP_USERDATA, GetWindowLongPtrW(box, GWLP_WNDPROC));
    SetWindowLongPtrW(box, GWLP_WNDPROC, reinterpret_cast<LONG_PTR>(EditDropProc));

    SetUiLanguage(m_language);
    ClearPages();
    UpdateControls();

    int count = 0;
    if (LPWSTR* arguments = CommandLineToArgvW(GetCommandLineW(), &count))
    {
        if (count > 1)
            SetDlgItemTextW(window, IDC_PATH, arguments[1]);
        LocalFree(arguments);
    }
    return TRUE;
}

INT_PTR CMainDialog::OnCommand(HWND window, WORD id, HWND, WORD code)
{
    if (id == IDC_PATH || id == IDC_PAGE)
    {
        if (code != EN_CHANGE)
            return FALSE;
        if (id == IDC_PATH)
            OpenPath();
        else
            PageChanged();
        return TRUE;
    }
    if (code != 0)
        return FALSE;
    switch (id)
    {
    case IDC_BROWSE:
    case IDM_OPEN:
        BrowseForFile();
        return TRUE;
    case IDC_SAVE:
    case IDM_SAVE:
        Save();
        return TRUE;
    case IDM_ABOUT: {
        CAboutDlg about(m_instance, window);
        about.Show();
        return TRUE;
    }
    case IDM_EXIT:
        PostMessageW(window, WM_CLOSE, 0, 0);
        return TRUE;
    case IDM_ENGLISH:
        SetUiLanguage(kEnglish);
        return TRUE;
    case IDM_JAPANESE:
        SetUiLanguage(kJapanese);
        return TRUE;
    default:
        return FALSE;
    }
}

INT_PTR CMainDialog::OnClose(HWND window)
{
    ClearPages();
    EndDialog(window, 0);
    return TRUE;
}

bool CMainDialog::SetUiLanguage(LANGID language)
{
    const WORD primary = language & 0x3FF;
    if (primary == kEnglish || primary == kJapanese)
    {
        const HMENU menu = GetMenu(m_window);
        for (const UiText& text : UiTexts())
        {
            const LPCWSTR shown = Pick(primary, text.english, text.japanese);
            switch (text.target)
            {
            case TextTarget::Control:
                SetDlgItemTextW(m_window, static_cast<int>(text.id), shown);
                break;
            case TextTarget::MenuItem:
                SetMenuText(menu, text.id, false, shown);
                break;
            case TextTarget::MenuBarItem:
                SetMenuText(menu, text.id, true, shown);
                break;
            }
        }
        m_language = primary;
        CheckMenuItem(menu, IDM_ENGLISH, MF_BYCOMMAND | (primary == kEnglish ? MF_CHECKED : MF_UNCHECKED));
        CheckMenuItem(menu, IDM_JAPANESE, MF_BYCOMMAND | (primary == kJapanese ? MF_CHECKED : MF_UNCHECKED));
        DrawMenuBar(m_window);
    }
    return primary == m_language;
}

void CMainDialog::ClearPages()
{
    m_pages.clear();
    pageCount = 0;
    currentPage = 0;
}

void CMainDialog::EnableSave(bool enable)
{
    EnableWindow(GetDlgItem(m_window, IDC_SAVE), enable ? TRUE : FALSE);
    EnableMenuItem(GetMenu(m_window), IDM_SAVE, MF_BYCOMMAND | (enable ? MF_ENABLED : MF_GRAYED));
}

void CMainDialog::UpdateControls()
{
    const HWND upDown = GetDlgItem(m_window, IDC_PAGE_SPIN);
    if (pageCount > 0)
    {
        // The page box's handler keeps the page within the list; this guards the index all the same.
        currentPage = std::clamp(currentPage, 1, pageCount);
        const printfile::CPrintTicket& page = m_pages[static_cast<size_t>(currentPage - 1)];
        SetDlgItemInt(m_window, IDC_PAGES, static_cast<UINT>(pageCount), FALSE);
        SetDlgItemInt(m_window, IDC_XDPI, static_cast<UINT>(page.xDpi), TRUE);
        SetDlgItemInt(m_window, IDC_YDPI, static_cast<UINT>(page.yDpi), TRUE);
        SendMessageW(upDown, UDM_SETRANGE32, 1, pageCount);
        SendMessageW(upDown, UDM_SETPOS32, 0, currentPage);
        // The position may have run the page box's handler, which can change the page.
        const printfile::CPrintTicket& shown = m_pages[static_cast<size_t>(currentPage - 1)];
        SetDlgItemInt(m_window, IDC_COPIES, static_cast<UINT>(shown.copies), TRUE);
        SetDlgItemInt(m_window, IDC_SETS, static_cast<UINT>(shown.sets), TRUE);
        EnableSave(true);
    }
    else
    {
        for (int id : {IDC_PAGES, IDC_XDPI, IDC_YDPI})
            SetDlgItemInt(m_window, id, 0, FALSE);
        SendMessageW(upDown, UDM_SETRANGE32, 0, 0);
        SendMessageW(upDown, UDM_SETPOS32, 0, 0);
        for (int id : {IDC_COPIES, IDC_SETS})
            SetDlgItemInt(m_window, id, 0, FALSE);
        EnableSave(false);
    }
}

void CMainDialog::OpenPath()
{
    ClearPages();
    WCHAR path[MAX_PATH] = {};
    GetDlgItemTextW(m_window, IDC_PATH, path, MAX_PATH);
    m_path = path;
    if (FileExists(path))
    {
        CMemoryMappedFile file;
        if (file.Open(path))
        {
            const int found = printfile::ScanPrintFile(m_pages, file);
            pageCount = std::min(found, static_cast<int>(m_pages.size()));
            if (pageCount > 0)
                currentPage = 1;
            else
                ClearPages();
        }
        file.Close();
    }
    UpdateControls();
}

void CMainDialog::BrowseForFile()
{
    const WString filter = OpenFilter(m_language);
    WCHAR path[MAX_PATH] = {};
    OPENFILENAMEW ofn{};
    ofn.lStructSize = sizeof(ofn);
    ofn.hwndOwner = m_window;
    ofn.hInstance = m_instance;
    ofn.lpstrFilter = filter.c_str();
    ofn.lpstrFile = path;
    ofn.nMaxFile = MAX_PATH;
    ofn.Flags = OFN_FILEMUSTEXIST | OFN_PATHMUSTEXIST | OFN_HIDEREADONLY | OFN_NOCHANGEDIR;
    if (GetOpenFileNameW(&ofn))
        SetDlgItemTextW(m_window, IDC_PATH, path);
    else if (CommDlgExtendedError() != 0)
        MessageBoxW(m_window, FileDialogErrorText(m_language, false).c_str(), m_title.c_str(),
                    MB_OK | MB_ICONERROR);
}

void CMainDialog::PageChanged()
{
    currentPage = static_cast<int>(GetDlgItemInt(m_window, IDC_PAGE, nullptr, TRUE));
    SendDlgItemMessageW(m_window, IDC_PAGE_SPIN, UDM_SETPOS32, 0, currentPage);
    currentPage = static_cast<int>(GetDlgItemInt(m_window, IDC_PAGE, nullptr, TRUE));
    UpdateControls();
}

void CMainDialog::Save()
{
    const HWND button = GetDlgItem(m_window, IDC_SAVE);
    if (!IsWindowEnabled(button))
        return;
    EnableSave(false);

    bool reload = true;
    CMemoryMappedFile file;
    if (FileExists(m_path.c_str()))
    {
        if (file.Open(m_path.c_str()))
        {
            const int found = printfile::ScanPrintFile(m_pages, file);
            pageCount = std::min(found, static_cast<int>(m_pages.size()));
            if (pageCount > 0 && currentPage >= 1 && pageCount >= currentPage)
            {
                reload = false;
                SavePage(file);
            }
        }
        else
        {
            MessageBoxW(m_window, OpenErrorText(m_language).c_str(), m_title.c_str(), MB_OK | MB_ICONERROR);
        }
    }
    if (reload)
        PostMessageW(m_window, WM_COMMAND, MAKEWPARAM(IDC_PATH, EN_CHANGE),
                     reinterpret_cast<LPARAM>(GetDlgItem(m_window, IDC_PATH)));
    file.Close();
    EnableSave(true);
}

void CMainDialog::SavePage(CMemoryMappedFile& file)
{
    const bool showCoverage = GetKeyState(VK_SHIFT) < 0 && GetKeyState(VK_CONTROL) < 0;

    WCHAR path[MAX_PATH] = {};
    const WString proposal = ProposedBitmapName(m_path, currentPage);
    std::copy(proposal.begin(), proposal.end(), path);
    const WString filter = SaveFilter(m_language);
    OPENFILENAMEW ofn{};
    ofn.lStructSize = sizeof(ofn);
    ofn.hwndOwner = m_window;
    ofn.hInstance = m_instance;
    ofn.lpstrFilter = filter.c_str();
    ofn.lpstrFile = path;
    ofn.nMaxFile = MAX_PATH;
    ofn.lpstrDefExt = TEXT("bmp");
    ofn.Flags = OFN_OVERWRITEPROMPT | OFN_PATHMUSTEXIST | OFN_HIDEREADONLY | OFN_NOCHANGEDIR;
    if (!GetSaveFileNameW(&ofn))
    {
        // A dialog the system could not show is no cancel: the user is told nothing was saved.
        if (CommDlgExtendedError() != 0)
            MessageBoxW(m_window, FileDialogErrorText(m_language, true).c_str(), m_title.c_str(),
                        MB_OK | MB_ICONERROR);
        return;
    }

    const printfile::CPrintTicket& page = m_pages[static_cast<size_t>(currentPage - 1)];
    const printfile::RenderResult result = printfile::RenderPageToBmp(file, page, path);
    if (!result.Written())
    {
        MessageBoxW(m_window, SaveErrorText(m_language, result.error).c_str(), m_title.c_str(),
                    MB_OK | MB_ICONERROR);
        return;
    }
    if (showCoverage)
        ShowCoverage(page, result.blackPixels);
}

void CMainDialog::ShowCoverage(const printfile::CPrintTicket& page, uint64_t black)
{
    const auto extent = [](int tenthsOfMm, int dpi) {
        return tenthsOfMm > 0 && dpi > 0 ? uint64_t(tenthsOfMm) * uint64_t(dpi) / 254 : uint64_t{0};
    };
    const WString text = CoverageText(m_language, black, extent(page.paperWidth, page.xDpi),
                                      extent(page.paperHeight, page.yDpi));
    MessageBoxW(m_window, text.c_str(), m_title.c_str(), MB_OK | MB_ICONINFORMATION);
}

// ---- CAboutDlg ----

CAboutDlg::CAboutDlg(HINSTANCE instance, HWND parent) : CBaseDialog(instance, parent, IDD_ABOUT)
{
    WCHAR self[MAX_PATH] = {};
    if (!GetModuleFileNameW(nullptr, self, MAX_PATH))
        return;
    DWORD handle = 0;
    const DWORD size = GetFileVersionInfoSizeW(self, &handle);
    if (size == 0)
        return;
    std::vector<BYTE> block(size);
    VS_FIXEDFILEINFO* fixed = nullptr;
    UINT length = 0;
    if (!GetFileVersionInfoW(self, 0, size, block.data()) ||
        !VerQueryValueW(block.data(), TEXT("\\"), reinterpret_cast<LPVOID*>(&fixed), &length) || !fixed ||
        length < sizeof(VS_FIXEDFILEINFO))
        return;
    AboutTexts texts = MakeAboutTexts(fixed->dwFileVersionMS, fixed->dwFileVersionLS);
    m_version = std::move(texts.version);
    m_notice = std::move(texts.notice);
}

INT_PTR CAboutDlg::OnInitDialog(HWND window, WPARAM, LPARAM)
{
    SetDlgItemTextW(window, IDC_ABOUT_VERSION, m_version.c_str());
    SetDlgItemTextW(window, IDC_ABOUT_NOTICE, m_notice.c_str());
    return TRUE;
}

INT_PTR CAboutDlg::OnCommand(HWND window, WORD id, HWND, WORD code)
{
    if (code == 0 && (id == IDOK || id == IDCANCEL))
    {
        EndDialog(window, id);
        return TRUE;
    }
    return FALSE;
}

// ---- The program ----

int Main(HINSTANCE instance, HINSTANCE, LPWSTR, int)
{
    return platform::Boundary(-1, [&]() -> int {
        // The page box's up-down control is a common control: registered before the dialog creates.
        INITCOMMONCONTROLSEX controls{};
        controls.dwSize = sizeof(controls);
        controls.dwICC = ICC_UPDOWN_CLASS | ICC_STANDARD_CLASSES;
        InitCommonControlsEx(&controls);

        CMainDialog dialog(instance);
        return static_cast<int>(dialog.Show());
    });
}

} // namespace kgl2bmp
