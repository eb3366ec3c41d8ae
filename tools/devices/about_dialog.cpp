#include "about_dialog.h"

#include "card_resource.h"

#include <optional>
#include <vector>

namespace tessicard
{
namespace
{
constexpr const WCHAR* kStringBlock = TEXT("\\StringFileInfo\\040004b0\\");

WString LoadText(HINSTANCE instance, UINT id)
{
    WCHAR buffer[512] = {};
    int n = LoadStringW(instance, id, buffer, 512);
    return WString(buffer, n > 0 ? static_cast<size_t>(n) : 0);
}

class VersionRecord
{
public:
    explicit VersionRecord(HINSTANCE instance)
    {
        WCHAR path[MAX_PATH] = {};
        DWORD n = GetModuleFileNameW(instance, path, MAX_PATH);
        if (n == 0 || n >= MAX_PATH)
            return;
        DWORD handle = 0;
        DWORD size = GetFileVersionInfoSizeW(path, &handle);
        if (size == 0)
            return;
        m_block.resize(size);
        if (!GetFileVersionInfoW(path, 0, size, m_block.data()))
            m_block.clear();
    }

    std::optional<WString> Value(const WCHAR* name) const
    {
        if (m_block.empty())
            return std::nullopt;
        WString query = WString(kStringBlock) + name;
        LPVOID text = nullptr;
        UINT length = 0;
        if (!VerQueryValueW(m_block.data(), query.c_str(), &text, &length) || !text)
            return std::nullopt;
        const auto* chars = static_cast<const WCHAR*>(text);
        WString value(chars, length);
        if (auto end = value.find(WCHAR{0}); end != WString::npos)
            value.resize(end);
        return value;
    }

private:
    std::vector<BYTE> m_block;
};

bool ShiftAndCtrlDown()
{
    return GetKeyState(VK_SHIFT) < 0 && GetKeyState(VK_CONTROL) < 0;
}

WString Widen(const char* ascii)
{
    WString out;
    for (; *ascii; ++ascii)
        out.push_back(static_cast<WCHAR>(static_cast<unsigned char>(*ascii)));
    return out;
}
} // namespace

WString CutVersion(WString version, int times)
{
    for (int i = 0; i < times; ++i)
    {
        auto dot = version.rfind(WCHAR{'.'});
        if (dot == WString::npos)
            break;
        version.resize(dot);
    }
    return version;
}

CAboutDlg::CAboutDlg(HINSTANCE instance, HWND parent) : BaseDialog(IDD_ABOUT, parent, instance) {}

INT_PTR CAboutDlg::OnInitDialog(HWND window, WPARAM, LPARAM)
{
    SetWindowTextW(window, LoadText(m_instance, IDS_ABOUT_TITLE).c_str());
    HANDLE big = LoadImageW(m_instance, MAKEINTRESOURCEW(IDI_CARDMGR), IMAGE_ICON, 0, 0, LR_DEFAULTSIZE);
    HANDLE small = LoadImageW(m_instance, MAKEINTRESOURCEW(IDI_CARDMGR), IMAGE_ICON, 16, 16, 0);
    SendMessageW(window, WM_SETICON, ICON_BIG, reinterpret_cast<LPARAM>(big));
    SendMessageW(window, WM_SETICON, ICON_SMALL, reinterpret_cast<LPARAM>(small));

    VersionRecord record(m_instance);
    SetDlgItemTextW(window, IDC_ABOUT_PRODUCT, LoadText(m_instance, IDS_PRODUCT).c_str());

    const bool full = ShiftAndCtrlDown();
    if (auto version = record.Value(TEXT("ProductVersion")))
    {
        WString line = TEXT("Version ") + (full ? *version : CutVersion(*version, 2));
        SetDlgItemTextW(window, IDC_ABOUT_VERSION, line.c_str());
    }
    else
        ShowWindow(GetDlgItem(window, IDC_ABOUT_VERSION), SW_HIDE);

    if (full)
        SetDlgItemTextW(window, IDC_ABOUT_BUILD, (TEXT("Build ") + Widen(__DATE__)).c_str());
    else
        ShowWindow(GetDlgItem(window, IDC_ABOUT_BUILD), SW_HIDE);

    if (auto rights = record.Value(TEXT("LegalCopyright")))
        SetDlgItemTextW(window, IDC_ABOUT_RIGHTS, rights->c_str());
    return TRUE;
}

INT_PTR CAboutDlg::OnCommand(HWND window, WORD id, HWND, WORD)
{
    if (id != IDOK)
        return FALSE;
    PostMessageW(window, WM_CLOSE, 0, 0);
    return TRUE;
}

HBRUSH CAboutDlg::OnCtlColor(HWND, HDC dc, HWND control, int kind)
{
    if (kind != devices::kCtlColorStatic || GetDlgCtrlID(control) != IDC_ABOUT_NOTICE)
        return nullptr;
    SetBkMode(dc, TRANSPARENT);
    return GetSysColorBrush(COLOR_WINDOW);
}

} // namespace tessicard
