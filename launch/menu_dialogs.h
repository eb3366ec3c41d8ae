// Menu: the package's start program. A page of four large buttons and three sub-menus of the same
// shape, each button starting a program of the package or opening a manual.
#pragma once

#include "environment.h"
#include "execute.h"
#include "string_table.h"

#include <base_dialog.h>

#include <platform/commctrl.h>

#include <memory>
#include <optional>
#include <vector>

namespace menu
{

inline constexpr LPCWSTR kInstanceName = TEXT("E9992323-1356-4d38-99C4-882099DE7425");

// The language id a user LCID gives: Traditional Chinese (Taiwan) is 0x7C04, every other Chinese 4;
// the languages with a table keep their primary id; everything else is English.
LANGID LanguageFromLcid(LCID lcid);
// The id a Language value of Menu.ini names; nothing for an empty value.
std::optional<LANGID> LanguageFromSetting(WStringView value);
// A Menu.ini integer: its leading number; nothing when absent or not a number.
std::optional<int> ParseSettingInt(WStringView value);
// The driver installer for the architecture: Driver64 on x64, Driver32 on others, when given.
LPCWSTR DriverPath(const launch::CMultilingualStringTable& strings, LANGID language, BYTE architecture);

// One instance per machine: a global mutex.
class CDisableMultiStartUp
{
public:
    explicit CDisableMultiStartUp(LPCWSTR name) : name_(name) {}
    virtual ~CDisableMultiStartUp();
    CDisableMultiStartUp(const CDisableMultiStartUp&) = delete;
    CDisableMultiStartUp& operator=(const CDisableMultiStartUp&) = delete;

    // True when this is the first instance.
    bool Create();

private:
    HANDLE mutex_ = nullptr;
    DWORD lastError_ = 0;
    WString name_;
};

struct CMenuAppManagement
{
    std::shared_ptr<launch::CAnalyzeEnvironment> environment;
    std::shared_ptr<launch::CMultilingualStringTable> strings;
    std::shared_ptr<launch::CExecuteProcess> launcher;
};

// What every page shares: its settings, its size at the screen's DPI and its layout.
class CBasicDialog : public devices::BaseDialog<CBasicDialog>
{
public:
    static constexpr unsigned kDialogDispatch = devices::kDispatchSizeAndDpi;

    CBasicDialog(std::shared_ptr<CMenuAppManagement> application, UINT templateId, HWND parent,
                 HINSTANCE instance);
    ~CBasicDialog() override;

    HBRUSH OnCtlColor(HWND window, HDC dc, HWND control, int kind) override;
    INT_PTR OnSize(HWND window, UINT type, int width, int height) override;
    INT_PTR OnDpiChanged(HWND window, WORD dpiX, WORD dpiY, RECT* suggested) override;
    virtual void ResizeClient(int width, int height);

    void LoadMenuSettings();

    double dpiFactor = 1.0;
    RECT windowRect{};
    LANGID languageId = launch::kLanguageEnglish;
    bool enableManual = true;
    bool enableDriver = true;
    bool enableUtility = true;
    int clientWidth = 794;
    int clientHeight = 425;

protected:
    WORD Version() const;
    bool CommandLinks() const { return Version() >= 0x0600; }
    const launch::CMultilingualStringTable& Strings() const { return *application_->strings; }
    WString ResourceString(UINT id) const;
    // Window text and icon, the title's big font and the Home button's image.
    void SetUpPage(HWND window);
    // A button's text, note (on the button from Vista on, else in its note static) and icon.
    void SetButton(int id, LPCWSTR text, LPCWSTR note, std::optional<UINT> icon);
    void SetButtonEnabled(int id, bool enabled);
    void HideButton(int id);
    HIMAGELIST MakeImageList(int side, UINT icon, int iconSize);

    std::shared_ptr<CMenuAppManagement> application_;
    WString moduleFolder_;
    HBITMAP watermark_ = nullptr;
    WString watermarkPath_;
    std::vector<HFONT> fonts_;
    std::vector<HIMAGELIST> imageLists_;
};

class CDialogTopMenu : public CBasicDialog
{
public:
    using CBasicDialog::CBasicDialog;
    INT_PTR OnInitDialog(HWND window, WPARAM, LPARAM) override;
    INT_PTR OnCommand(HWND window, WORD id, HWND control, WORD code) override;

private:
    template <typename Page> void RunSubMenu(HWND window);
    void StartDriverInstaller(HWND window);
};

class CDialogManMenu : public CBasicDialog
{
public:
    using CBasicDialog::CBasicDialog;
    INT_PTR OnInitDialog(HWND window, WPARAM, LPARAM) override;
    INT_PTR OnCommand(HWND window, WORD id, HWND control, WORD code) override;
};

class CDialogUtilMenu : public CBasicDialog
{
public:
    using CBasicDialog::CBasicDialog;
    INT_PTR OnInitDialog(HWND window, WPARAM, LPARAM) override;
    INT_PTR OnCommand(HWND window, WORD id, HWND control, WORD code) override;
};

class CDialogNetMenu : public CBasicDialog
{
public:
    using CBasicDialog::CBasicDialog;
    INT_PTR OnInitDialog(HWND window, WPARAM, LPARAM) override;
    INT_PTR OnCommand(HWND window, WORD id, HWND control, WORD code) override;
};

// MoveWindow of a control to percentages of the dialog's client area.
void MoveByPercent(HWND control, HWND dialog, int x, int y, int width, int height);

int WINAPI Main(HINSTANCE instance, HINSTANCE previous, LPWSTR commandLine, int showCommand);

} // namespace menu
