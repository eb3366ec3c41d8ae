// The pages that lead to an installation (Welcome, Printer, Port, Name, Install) and the licence and
// version dialogs, with the rules they decide by kept apart from their windows.
#pragma once

#include "wizard.h"

#include <functional>

namespace kgsetup
{

inline constexpr int kMaxPrinterName = 31;
inline constexpr int kSheetNextButton = 0x3024;

// The Standard TCP/IP port the Port page adds for an address, "KORIGRAPH_a.b.c.d".
WString TcpIpPortName(DWORD address);

// The default printer name: the model (or found device) normalised, the Print to File suffix, then
// the first of base, base_1, base_2, ... that names no printer (`exists`, without case). The base is
// cut first so that it, the suffix and "_n" fit kMaxPrinterName; empty for connection kind 0.
WString MakeDefaultPrinterName(const CSetupContext& c, const std::function<bool(const WString&)>& exists);

// What the Name page shows for a typed name: the wizard buttons, and which warning (0 none, or the
// control of the text shown beside the icon).
struct NameCheck
{
    DWORD buttons = PSWIZB_BACK;
    int warning = 0;
};
NameCheck CheckPrinterName(WStringView typed, const CSetupContext& c,
                           const std::function<bool(const WString&)>& exists);

// A printer of that name exists on this machine (without case).
bool LocalPrinterExists(const WString& name);

// The V3 question of the Install page.
WString V3RemovalQuestion(const CSetupContext& c);

// "Version %d.%02d" of text 15 with the file version's major and minor, at most 99 characters.
WString FormatVersionText(const WString& format, int major, int minor);

namespace KGSetupPropertySheet
{

class CPropSheetWelcome final : public CBasePropPage<CPropSheetWelcome>
{
public:
    CPropSheetWelcome() : CBasePropPage(IDD_WELCOME) {}
    BOOL OnInitDialog(HWND hwnd, WPARAM wParam, LPARAM lParam) override;
    void OnCommand(HWND hwnd, int controlId, HWND control, UINT notifyCode) override;
    LRESULT OnNotify(HWND hwnd, int controlId, NMHDR* header) override;

private:
    void ApplyTexts(HWND hwnd);
};

class CPropSheetPrinter final : public CBasePropPage<CPropSheetPrinter>
{
public:
    CPropSheetPrinter() : CBasePropPage(IDD_PRINTER) {}
    BOOL OnInitDialog(HWND hwnd, WPARAM wParam, LPARAM lParam) override;
    void OnCommand(HWND hwnd, int controlId, HWND control, UINT notifyCode) override;
    LRESULT OnNotify(HWND hwnd, int controlId, NMHDR* header) override;
};

class CPropSheetPort final : public CBasePropPage<CPropSheetPort>
{
public:
    CPropSheetPort() : CBasePropPage(IDD_PORT) {}
    BOOL OnInitDialog(HWND hwnd, WPARAM wParam, LPARAM lParam) override;
    void OnCommand(HWND hwnd, int controlId, HWND control, UINT notifyCode) override;
    LRESULT OnNotify(HWND hwnd, int controlId, NMHDR* header) override;

    // The list again from the spooler, the context's row selected (cut to the last row).
    void FillPortList(HWND list);

    WNDPROC previousListProc = nullptr;
    DWORD wizardButtonsState = 0;
    WString rightClickedPort;

private:
    void AddTcpIpPort(HWND hwnd);
    void SetButtonsState(HWND hwnd, DWORD state);
};

LRESULT CALLBACK PortListSubclassProc(HWND list, UINT message, WPARAM wParam, LPARAM lParam);

class CPropSheetName final : public CBasePropPage<CPropSheetName>
{
public:
    CPropSheetName() : CBasePropPage(IDD_NAME) {}
    BOOL OnInitDialog(HWND hwnd, WPARAM wParam, LPARAM lParam) override;
    void OnCommand(HWND hwnd, int controlId, HWND control, UINT notifyCode) override;
    LRESULT OnNotify(HWND hwnd, int controlId, NMHDR* header) override;

    void MakeDefaultName(HWND hwnd);
    DWORD ValidateName(HWND hwnd);

    int maxLength = kMaxPrinterName;
    int lastModel = -1;
    int lastConnectionKind = -1;
    WString lastDevice; // the found device the name was made for (kind and key or address)
    DWORD buttons = 0;
};

class CPropSheetInstall final : public CBasePropPage<CPropSheetInstall>
{
public:
    CPropSheetInstall() : CBasePropPage(IDD_INSTALL) {}
    BOOL OnInitDialog(HWND hwnd, WPARAM wParam, LPARAM lParam) override;
    void OnCommand(HWND, int, HWND, UINT) override {}
    LRESULT OnNotify(HWND hwnd, int controlId, NMHDR* header) override;

    // Fills the summary's controls from the context; kind 1, or kind 3 without a device, leaves the
    // three values as they are.
    void ShowSummary(HWND hwnd);
    // Settles the driver kind and INF; false (status 0x64000000) when there is no INF to install.
    bool SettleDriver();

    WString savedNextText;

private:
    void RestoreNextText(HWND hwnd);
};

class CDialogEulaBox final : public CBaseDialog<CDialogEulaBox>
{
public:
    BOOL OnInitDialog(HWND hwnd, WPARAM wParam, LPARAM lParam) override;
    void OnCommand(HWND hwnd, int controlId, HWND control, UINT notifyCode) override;
    HBRUSH OnCtlColor(HWND hwnd, HDC dc, HWND control, int kind) override;
};

class CDialogAboutBox final : public CBaseDialog<CDialogAboutBox>
{
public:
    BOOL OnInitDialog(HWND hwnd, WPARAM wParam, LPARAM lParam) override;
    void OnCommand(HWND hwnd, int controlId, HWND control, UINT notifyCode) override;
};

// The opening pages (Welcome, Modify) share a language combo and the About and licence buttons.
// Fills the combo with a row per message table, the current language selected.
void FillLanguageCombo(HWND combo);
// A language picked in the combo becomes the current table and `applyTexts` shows it; About and
// licence open their dialogs. False for any other command, which the page handles itself.
bool OnOpeningPageCommand(HWND hwnd, int controlId, HWND control, UINT notifyCode,
                          const std::function<void(HWND)>& applyTexts);

} // namespace KGSetupPropertySheet

} // namespace kgsetup
