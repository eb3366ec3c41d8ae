#include "option_dialog.h"

#include "finder_text.h"
#include "rxfinder_resource.h"

#include <platform/commctrl.h>

#include <algorithm>

namespace rxfinder
{
namespace
{
constexpr std::uint32_t kMaxSetting = 65535;
} // namespace

COptionDlg::COptionDlg(HINSTANCE instance, HWND parent) : BaseDialog(IDD_OPTION, parent, instance) {}

INT_PTR COptionDlg::OnInitDialog(HWND window, WPARAM, LPARAM)
{
    SetDialogIcons(m_instance, window);
    SetDlgItemInt(window, IDC_TIMEOUT, m_timeoutMs, FALSE);
    SetDlgItemInt(window, IDC_RETRY_COUNT, m_rounds, FALSE);
    RefreshAddressList();
    return TRUE;
}

INT_PTR COptionDlg::OnCommand(HWND window, WORD id, HWND, WORD code)
{
    if ((id == IDC_TIMEOUT || id == IDC_RETRY_COUNT) && code == EN_KILLFOCUS)
    {
        ReadNumberBox(id);
        return 1;
    }
    if (code != BN_CLICKED)
        return 1;
    switch (id)
    {
    case IDOK:
        // What is typed counts also when the focus never left the box (a key chose OK).
        ReadNumberBox(IDC_TIMEOUT);
        ReadNumberBox(IDC_RETRY_COUNT);
        EndDialog(window, IDOK);
        break;
    case IDCANCEL:
        EndDialog(window, IDCANCEL);
        break;
    case IDC_ADD: {
        DWORD address = 0;
        SendDlgItemMessageW(window, IDC_BROADCAST_ADDRESS, IPM_GETADDRESS, 0,
                            reinterpret_cast<LPARAM>(&address));
        if (address != 0)
            m_addresses.push_back(address);
        RefreshAddressList();
        break;
    }
    case IDC_REMOVE: {
        const LRESULT selected = SendDlgItemMessageW(window, IDC_BROADCAST_LIST, LB_GETCURSEL, 0, 0);
        if (selected != LB_ERR && static_cast<std::size_t>(selected) < m_addresses.size())
            m_addresses.erase(m_addresses.begin() + selected);
        RefreshAddressList();
        break;
    }
    default:
        break;
    }
    return 1;
}

void COptionDlg::ReadNumberBox(int id)
{
    BOOL read = FALSE;
    UINT value = GetDlgItemInt(m_window, id, &read, FALSE);
    if (!read)
        value = 0;
    value = std::min<UINT>(value, kMaxSetting);
    if (id == IDC_TIMEOUT)
    {
        SetTimeout(value);
        value = GetTimeout();
    }
    else
    {
        SetRetryCount(value);
        value = GetRetryCount();
    }
    SetDlgItemInt(m_window, id, value, FALSE);
}

void COptionDlg::SetTimeout(std::uint32_t timeoutMs)
{
    m_timeoutMs = ClampSetting(timeoutMs);
}

std::uint16_t COptionDlg::GetTimeout() const
{
    return m_timeoutMs;
}

void COptionDlg::SetRetryCount(std::uint32_t rounds)
{
    m_rounds = ClampSetting(rounds);
}

std::uint16_t COptionDlg::GetRetryCount() const
{
    return m_rounds;
}

void COptionDlg::SetBroadcastAddresses(const std::vector<std::uint32_t>& addresses)
{
    m_addresses = addresses;
}

std::vector<std::uint32_t> COptionDlg::GetBroadcastAddresses() const
{
    return m_addresses;
}

int COptionDlg::RefreshAddressList()
{
    HWND list = GetDlgItem(m_window, IDC_BROADCAST_LIST);
    SendMessageW(list, LB_RESETCONTENT, 0, 0);
    for (std::uint32_t address : m_addresses)
    {
        const WString text = DottedAddress(static_cast<BYTE>(address >> 24), static_cast<BYTE>(address >> 16),
                                           static_cast<BYTE>(address >> 8), static_cast<BYTE>(address));
        SendMessageW(list, LB_ADDSTRING, 0, reinterpret_cast<LPARAM>(text.c_str()));
    }
    SendMessageW(list, LB_SETCURSEL, static_cast<WPARAM>(-1), 0);
    return static_cast<int>(m_addresses.size());
}

} // namespace rxfinder
