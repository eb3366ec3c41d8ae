#include "finder_dialog.h"

#include "finder_text.h"
#include "option_dialog.h"
#include "rxfinder_resource.h"

#include <platform/commctrl.h>
#include <platform/shellapi.h>

#include <array>

namespace rxfinder
{
namespace
{
constexpr COLORREF kLinkColour = RGB(0, 119, 255);

struct Column
{
    UINT text;
    int percent;
};
constexpr std::array<Column, 4> kColumns = {{
    {IDS_COLUMN_PRINTER, 30},
    {IDS_COLUMN_ADDRESS, 20},
    {IDS_COLUMN_MAC, 30},
    {IDS_COLUMN_DEVICE, 20},
}};

void SetCell(HWND list, int row, int column, const WString& text)
{
    LVITEMW item{};
    item.mask = LVIF_TEXT;
    item.iItem = row;
    item.iSubItem = column;
    item.pszText = const_cast<LPWSTR>(text.c_str());
    if (column == 0)
        SendMessageW(list, LVM_INSERTITEMW, 0, reinterpret_cast<LPARAM>(&item));
    else
        SendMessageW(list, LVM_SETITEMTEXTW, static_cast<WPARAM>(row), reinterpret_cast<LPARAM>(&item));
}

int SelectedRow(HWND list)
{
    return static_cast<int>(SendMessageW(list, LVM_GETNEXTITEM, static_cast<WPARAM>(-1), LVNI_SELECTED));
}
} // namespace

CRxFinderDlg::CRxFinderDlg(HINSTANCE instance, std::unique_ptr<CTzPrnSvrSearcher> searcher)
    : BaseDialog(IDD_RXFINDER, nullptr, instance), m_searcher(std::move(searcher))
{
}

CRxFinderDlg::~CRxFinderDlg()
{
    for (auto& task : m_searchTasks)
        task.Get();
    m_searchTasks.clear();
    for (HFONT font : m_fonts)
        DeleteObject(font);
}

INT_PTR CRxFinderDlg::OnInitDialog(HWND window, WPARAM, LPARAM)
{
    SetDialogIcons(m_instance, window);
    if (!m_searcher->IsReady())
    {
        ShowStartFailure(window, m_searcher->GetErrorCode());
        EndDialog(window, m_searcher->GetErrorCode());
        return TRUE;
    }
    if (HFONT big = FontFrom(IDC_WEB_PAGE, 5, 4, false))
        for (int id : {IDC_SEARCH, IDC_CARDS, IDC_WEB_PAGE})
            SendDlgItemMessageW(window, id, WM_SETFONT, reinterpret_cast<WPARAM>(big), TRUE);
    if (HFONT link = FontFrom(IDC_OPTION, 1, 1, true))
        SendDlgItemMessageW(window, IDC_OPTION, WM_SETFONT, reinterpret_cast<WPARAM>(link), TRUE);
    InitListColumns();
    PostMessageW(window, WM_COMMAND, IDC_SEARCH, 0);
    return TRUE;
}

void CRxFinderDlg::ShowStartFailure(HWND window, int error)
{
    LPWSTR text = nullptr;
    FormatMessageW(FORMAT_MESSAGE_FROM_SYSTEM | FORMAT_MESSAGE_ALLOCATE_BUFFER |
                       FORMAT_MESSAGE_IGNORE_INSERTS,
                   nullptr, static_cast<DWORD>(error), MAKELANGID(LANG_NEUTRAL, SUBLANG_DEFAULT),
                   reinterpret_cast<LPWSTR>(&text), 0, nullptr);
    MessageBoxW(window, text ? text : TEXT(""), nullptr, MB_OK | MB_ICONERROR);
    if (text)
        LocalFree(text);
}

// A copy of a control's font, its height scaled; the dialog keeps it until it goes.
HFONT CRxFinderDlg::FontFrom(int controlId, int heightNumerator, int heightDenominator, bool underline)
{
    HGDIOBJ base = reinterpret_cast<HGDIOBJ>(SendDlgItemMessageW(m_window, controlId, WM_GETFONT, 0, 0));
    if (!base) // a control without a font of its own draws with the system's
        base = GetStockObject(DEFAULT_GUI_FONT);
    LOGFONTW font{};
    if (GetObjectW(base, sizeof font, &font) != static_cast<int>(sizeof font))
        return nullptr;
    font.lfHeight = MulDiv(font.lfHeight, heightNumerator, heightDenominator);
    if (underline)
        font.lfUnderline = TRUE;
    HFONT made = CreateFontIndirectW(&font);
    if (made)
        m_fonts.push_back(made);
    return made;
}

void CRxFinderDlg::InitListColumns()
{
    HWND list = GetDlgItem(m_window, IDC_CARDS);
    constexpr DWORD kRowLook = LVS_EX_FULLROWSELECT | LVS_EX_GRIDLINES;
    SendMessageW(list, LVM_SETEXTENDEDLISTVIEWSTYLE, kRowLook, kRowLook);
    RECT client{};
    GetClientRect(list, &client);
    const int width = client.right - client.left;
    for (std::size_t i = 0; i < kColumns.size(); ++i)
    {
        WString text = LoadText(m_instance, kColumns[i].text);
        LVCOLUMNW column{};
        column.mask = LVCF_FMT | LVCF_TEXT | LVCF_WIDTH | LVCF_SUBITEM;
        column.fmt = LVCFMT_LEFT;
        column.cx = ColumnWidth(width, kColumns[i].percent);
        column.pszText = text.data();
        column.iSubItem = static_cast<int>(i);
        SendMessageW(list, LVM_INSERTCOLUMNW, i, reinterpret_cast<LPARAM>(&column));
    }
    EnableWindow(GetDlgItem(m_window, IDC_WEB_PAGE), FALSE);
}

INT_PTR CRxFinderDlg::OnCommand(HWND window, WORD id, HWND, WORD code)
{
    if (code != 0)
        return 0;
    switch (id)
    {
    case IDC_SEARCH:
        EnableControls(false);
        m_searchTasks.push_back(platform::StartTask([this, window] {
            const int found = static_cast<int>(m_searcher->Search());
            PostMessageW(window, kSearchDone, 0, 0);
            return found;
        }));
        break;
    case IDC_WEB_PAGE: {
        const int row = SelectedRow(GetDlgItem(window, IDC_CARDS));
        if (row < 0)
            break;
        const auto results = m_searcher->GetResults();
        if (static_cast<std::size_t>(row) >= results.size())
            break;
        const WString url = WebPageUrl(std::span<const std::uint8_t, 4>(results[row].ipv4));
        ShellExecuteW(nullptr, nullptr, url.c_str(), nullptr, nullptr, SW_SHOWNORMAL);
        break;
    }
    case IDC_OPTION: {
        COptionDlg options(m_instance, window);
        options.SetTimeout(m_searcher->GetTimeout());
        options.SetRetryCount(m_searcher->GetRetryCount());
        options.SetBroadcastAddresses(m_searcher->GetBroadcastAddresses());
        if (options.Run() == IDOK)
        {
            m_searcher->SetTimeout(options.GetTimeout());
            m_searcher->SetRetryCount(options.GetRetryCount());
            m_searcher->SetBroadcastAddresses(options.GetBroadcastAddresses());
        }
        break;
    }
    default:
        break;
    }
    return 0;
}

INT_PTR CRxFinderDlg::OnNotify(HWND window, int, NMHDR* header)
{
    if (!header || header->idFrom != IDC_CARDS || header->code != static_cast<UINT>(NM_CLICK))
        return 0;
    EnableWindow(GetDlgItem(window, IDC_WEB_PAGE), SelectedRow(header->hwndFrom) >= 0);
    return 1;
}

HBRUSH CRxFinderDlg::OnCtlColor(HWND, HDC dc, HWND control, int kind)
{
    if (kind == devices::kCtlColorDialog)
        return GetSysColorBrush(COLOR_WINDOW);
    if (kind != devices::kCtlColorStatic)
        return nullptr;
    const int id = GetDlgCtrlID(control);
    if (id != IDC_DETECTED && id != IDC_OPTION)
        return nullptr;
    SetBkMode(dc, TRANSPARENT);
    if (id == IDC_OPTION)
        SetTextColor(dc, kLinkColour);
    return static_cast<HBRUSH>(GetStockObject(HOLLOW_BRUSH));
}

INT_PTR CRxFinderDlg::OnMessage(UINT message, WPARAM, LPARAM)
{
    if (message != kSearchDone)
        return 0;
    SetWindowLongPtrW(m_window, DWLP_MSGRESULT, OnSearchDone());
    return TRUE;
}

INT_PTR CRxFinderDlg::OnSearchDone()
{
    int found = 0;
    for (auto& task : m_searchTasks)
        found += task.Get();
    m_searchTasks.clear();
    RefreshList();
    EnableControls(true);
    EnableWindow(GetDlgItem(m_window, IDC_WEB_PAGE), FALSE);
    return found != 0;
}

int CRxFinderDlg::RefreshList()
{
    HWND list = GetDlgItem(m_window, IDC_CARDS);
    SendMessageW(list, LVM_DELETEALLITEMS, 0, 0);
    const auto results = m_searcher->GetResults();
    int row = 0;
    for (const netfind::PrnSvrInfo& card : results)
    {
        SetCell(list, row, 0, FieldText(card.printerName));
        SetCell(list, row, 1, DottedAddress(card.ipv4[0], card.ipv4[1], card.ipv4[2], card.ipv4[3]));
        SetCell(list, row, 2, MacText(card.mac));
        SetCell(list, row, 3, FieldText(card.cardName));
        ++row;
    }
    SendMessageW(list, LVM_SETSELECTEDCOLUMN, static_cast<WPARAM>(-1), 0);
    return row;
}

void CRxFinderDlg::EnableControls(bool on)
{
    for (int id : {IDC_OPTION, IDC_SEARCH, IDC_CARDS, IDC_WEB_PAGE})
        EnableWindow(GetDlgItem(m_window, id), on);
}

} // namespace rxfinder
