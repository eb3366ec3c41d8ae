// The Printer page (the model, and with it the driver kind) and the Port page (a spooler port, or a
// Standard TCP/IP port the user adds or deletes).
#include "install_pages.h"
#include "inventory.h"
#include "ports.h"
#include "status_word.h"

#include <platform/boundary.h>

#include <algorithm>
#include <string>

namespace kgsetup
{

namespace
{
constexpr WCHAR kTcpIpPortPrefix[] = TEXT("KORIGRAPH_");

WString Dotted(DWORD address)
{
    std::string text = std::to_string((address >> 24) & 0xFF) + "." + std::to_string((address >> 16) & 0xFF) +
                       "." + std::to_string((address >> 8) & 0xFF) + "." + std::to_string(address & 0xFF);
    return WString(text.begin(), text.end());
}

// The context's port index of a list row; -1 for no row.
int PortOfRow(HWND list, int row)
{
    if (row < 0)
        return -1;
    return static_cast<int>(SendMessageW(list, LB_GETITEMDATA, static_cast<WPARAM>(row), 0));
}
} // namespace

WString TcpIpPortName(DWORD address)
{
    return kTcpIpPortPrefix + Dotted(address);
}

namespace KGSetupPropertySheet
{

BOOL CPropSheetPrinter::OnInitDialog(HWND, WPARAM, LPARAM)
{
    return TRUE;
}

void CPropSheetPrinter::OnCommand(HWND hwnd, int controlId, HWND control, UINT notifyCode)
{
    if (controlId != IDC_LIST || notifyCode != LBN_SELCHANGE)
        return;
    LRESULT row = SendMessageW(control, LB_GETCURSEL, 0, 0);
    if (row < 0)
        return;
    Context().SelectModel(static_cast<UINT>(row));
    SetWizardButtons(hwnd, PSWIZB_BACK | PSWIZB_NEXT);
}

LRESULT CPropSheetPrinter::OnNotify(HWND hwnd, int, NMHDR* header)
{
    switch (header->code)
    {
    case PSN_SETACTIVE: {
        SetWizardButtons(hwnd, 0);
        CSetupContext& c = Context();
        HWND list = GetDlgItem(hwnd, IDC_LIST);
        if (c.LoadModelList())
        {
            // A model list that lacks an unreadable INF's models would hide the user's model.
            if (c.modelsError)
            {
                c.LogError(c.modelsError);
                c.statusWord = kFailGeneral;
                return JumpToFinish(hwnd);
            }
            SendMessageW(list, LB_RESETCONTENT, 0, 0);
            for (const WString& model : c.models)
                SendMessageW(list, LB_ADDSTRING, 0, reinterpret_cast<LPARAM>(model.c_str()));
            SendMessageW(list, LB_SETCURSEL, c.selectedModel, 0);
        }
        SetHeaderTexts(hwnd, 54, 55);
        LRESULT row = SendMessageW(list, LB_GETCURSEL, 0, 0);
        if (row >= 0)
        {
            c.SelectModel(static_cast<UINT>(row));
            SetWizardButtons(hwnd, PSWIZB_BACK | PSWIZB_NEXT);
        }
        else
            SetWizardButtons(hwnd, PSWIZB_BACK);
        return 0;
    }
    case PSN_WIZNEXT:
        return GoNext(hwnd);
    case PSN_WIZBACK:
        return GoBack(hwnd);
    default:
        return 0;
    }
}

void CPropSheetPort::FillPortList(HWND list)
{
    SendMessageW(list, LB_RESETCONTENT, 0, 0);
    CSetupContext& c = Context();
    c.portsListed = 0;
    c.EnumPorts();
    for (size_t i = 0; i < c.portNames.size(); ++i)
    {
        WString text = c.portNames[i];
        if (i < c.portDescriptions.size() && !c.portDescriptions[i].empty())
            text += TEXT("  (") + c.portDescriptions[i] + TEXT(")");
        if (text.empty())
            continue;
        // The row keeps its port's index: a description holding "  (" never names another port.
        LRESULT row = SendMessageW(list, LB_ADDSTRING, 0, reinterpret_cast<LPARAM>(text.c_str()));
        if (row >= 0)
            SendMessageW(list, LB_SETITEMDATA, static_cast<WPARAM>(row), static_cast<LPARAM>(i));
    }
    LRESULT count = SendMessageW(list, LB_GETCOUNT, 0, 0);
    if (count <= 0)
        return;
    // The chosen port follows the row shown: a shorter list never leaves it past the end.
    int row = static_cast<int>(std::min<LRESULT>(std::max(c.selectedPort, 0), count - 1));
    SendMessageW(list, LB_SETCURSEL, static_cast<WPARAM>(row), 0);
    c.selectedPort = PortOfRow(list, row);
}

void CPropSheetPort::SetButtonsState(HWND hwnd, DWORD state)
{
    if (wizardButtonsState == state)
        return;
    wizardButtonsState = state;
    SetWizardButtons(hwnd, state);
}

BOOL CPropSheetPort::OnInitDialog(HWND hwnd, WPARAM, LPARAM)
{
    SetWizardButtons(hwnd, 0);
    HWND list = GetDlgItem(hwnd, IDC_LIST);
    FillPortList(list);
    SetWindowLongPtrW(list, GWLP_USERDATA, reinterpret_cast<LONG_PTR>(this));
    previousListProc = reinterpret_cast<WNDPROC>(
        SetWindowLongPtrW(list, GWLP_WNDPROC, reinterpret_cast<LONG_PTR>(&PortListSubclassProc)));
    wizardButtonsState = PSWIZB_BACK | PSWIZB_NEXT;
    SetWizardButtons(hwnd, wizardButtonsState);
    return TRUE;
}

void CPropSheetPort::AddTcpIpPort(HWND hwnd)
{
    DWORD address = 0;
    // Only a whole address: a blank or partial one would add a port for 0.0.0.0 or the like.
    LRESULT filled =
        SendMessageW(GetDlgItem(hwnd, IDC_IP_ADDRESS), IPM_GETADDRESS, 0, reinterpret_cast<LPARAM>(&address));
    if (filled != 4 || address == 0)
        return;
    const WString name = TcpIpPortName(address);
    DWORD status = AddStandardTcpIpPort(kTcpIpPortPrefix, Dotted(address));
    HWND list = GetDlgItem(hwnd, IDC_LIST);
    FillPortList(list);
    CSetupContext& c = Context();
    int found = -1;
    for (int row = 0, rows = static_cast<int>(SendMessageW(list, LB_GETCOUNT, 0, 0)); row < rows; ++row)
    {
        int port = PortOfRow(list, row);
        if (port >= 0 && static_cast<size_t>(port) < c.portNames.size() && c.portNames[port] == name)
            found = row;
    }
    if (found < 0)
    {
        // Row 0 would quietly install on another port: nothing is chosen until the user picks one.
        SendMessageW(list, LB_SETCURSEL, static_cast<WPARAM>(-1), 0);
        SetButtonsState(hwnd, PSWIZB_BACK);
        if (status != 0 && status != ERROR_ALREADY_EXISTS)
        {
            WCHAR text[512] = {};
            FormatMessageW(FORMAT_MESSAGE_FROM_SYSTEM | FORMAT_MESSAGE_IGNORE_INSERTS, nullptr, status, 0,
                           text, 512, nullptr);
            MessageBoxW(hwnd, text, c.Text(4).c_str(), MB_ICONERROR | MB_OK);
        }
        return;
    }
    SendMessageW(list, LB_SETCURSEL, static_cast<WPARAM>(found), 0);
    c.selectedPort = PortOfRow(list, found);
    SetButtonsState(hwnd, PSWIZB_BACK | PSWIZB_NEXT);
}

void CPropSheetPort::OnCommand(HWND hwnd, int controlId, HWND control, UINT notifyCode)
{
    if (controlId == IDC_LIST && notifyCode == LBN_SELCHANGE)
    {
        int port = PortOfRow(control, static_cast<int>(SendMessageW(control, LB_GETCURSEL, 0, 0)));
        if (port < 0)
            return;
        Context().selectedPort = port;
        SetButtonsState(hwnd, PSWIZB_BACK | PSWIZB_NEXT);
    }
    else if (controlId == IDC_IP_ADDRESS && notifyCode == EN_SETFOCUS)
    {
        SetButtonsState(hwnd, PSWIZB_BACK);
        SendMessageW(GetDlgItem(hwnd, IDC_LIST), LB_SETCURSEL, static_cast<WPARAM>(-1), 0);
    }
    else if (controlId == IDC_ADD_TCPIP_PORT && notifyCode == BN_CLICKED)
        AddTcpIpPort(hwnd);
}

LRESULT CPropSheetPort::OnNotify(HWND hwnd, int, NMHDR* header)
{
    switch (header->code)
    {
    case PSN_SETACTIVE: {
        const CSetupContext& c = Context();
        // Next only with a row chosen: the worker installs on the chosen port.
        bool chosen = SendMessageW(GetDlgItem(hwnd, IDC_LIST), LB_GETCURSEL, 0, 0) >= 0;
        wizardButtonsState = chosen ? PSWIZB_BACK | PSWIZB_NEXT : PSWIZB_BACK;
        SetWizardButtons(hwnd, wizardButtonsState);
        SetHeaderTexts(hwnd, 56, 57);
        SetDlgItemTextW(hwnd, IDC_IP_ADDRESS_LABEL, c.Text(58).c_str());
        SetDlgItemTextW(hwnd, IDC_ADD_TCPIP_PORT, c.Text(59).c_str());
        return 0;
    }
    case PSN_WIZNEXT:
        return GoNext(hwnd);
    case PSN_WIZBACK:
        return GoBack(hwnd);
    default:
        return 0;
    }
}

LRESULT PortListMessage(HWND list, UINT message, WPARAM wParam, LPARAM lParam)
{
    auto* page = reinterpret_cast<CPropSheetPort*>(GetWindowLongPtrW(list, GWLP_USERDATA));
    if (!page || !page->previousListProc)
        return DefWindowProcW(list, message, wParam, lParam);
    if (message == WM_RBUTTONDOWN)
    {
        // The row under the mouse is chosen first, as a left click would.
        SendMessageW(list, WM_LBUTTONDOWN, MK_LBUTTON, lParam);
        SendMessageW(list, WM_LBUTTONUP, 0, lParam);
        const CSetupContext& c = Context();
        int port = PortOfRow(list, static_cast<int>(SendMessageW(list, LB_GETCURSEL, 0, 0)));
        WString name =
            port >= 0 && static_cast<size_t>(port) < c.portNames.size() ? c.portNames[port] : WString();
        if (name.find(kTcpIpPortPrefix) != WString::npos)
        {
            HMENU menu = LoadMenuW(g_wizard->instance, MAKEINTRESOURCEW(IDM_PORT));
            HMENU popup = menu ? GetSubMenu(menu, 0) : nullptr;
            if (popup)
            {
                ModifyMenuW(popup, IDM_PORT_DELETE, MF_BYCOMMAND | MF_STRING, IDM_PORT_DELETE,
                            c.Text(60).c_str());
                // A port the spooler cannot list printers for counts as used.
                EnumBuffer<PRINTER_INFO_2W> users = EnumPrintersOnPort(name);
                bool unused = users.records.empty() && users.error == 0;
                EnableMenuItem(popup, IDM_PORT_DELETE, MF_BYCOMMAND | (unused ? MF_ENABLED : MF_GRAYED));
                page->rightClickedPort = name;
                POINT at{static_cast<short>(LOWORD(lParam)), static_cast<short>(HIWORD(lParam))};
                ClientToScreen(list, &at);
                TrackPopupMenu(popup, TPM_LEFTBUTTON, at.x, at.y, 0, list, nullptr);
            }
            if (menu)
                DestroyMenu(menu);
            return 0;
        }
    }
    else if (message == WM_COMMAND && LOWORD(wParam) == IDM_PORT_DELETE)
    {
        if (DeleteTcpIpPort(page->rightClickedPort) == 0)
            page->FillPortList(list);
    }
    return CallWindowProcW(page->previousListProc, list, message, wParam, lParam);
}

LRESULT CALLBACK PortListSubclassProc(HWND list, UINT message, WPARAM wParam, LPARAM lParam)
{
    return platform::Boundary(LRESULT{0}, [&] { return PortListMessage(list, message, wParam, lParam); });
}

} // namespace KGSetupPropertySheet

} // namespace kgsetup
