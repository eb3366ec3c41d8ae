// KGL2BMP: a dialog that shows a print file's pages and saves one page as a 1-bit BMP of its sheet.
#pragma once

#include <platform/windows.h>

#include "mapped_file.h"
#include "print_ticket.h"

#include <vector>

namespace kgl2bmp
{

// A dialog object bound to its window: the window's user data points back at it, and every message
// goes to one virtual handler whose result is the dialog procedure's result.
class CBaseDialog
{
public:
    CBaseDialog(HINSTANCE instance, HWND parent, UINT templateId);
    virtual ~CBaseDialog() = default;
    CBaseDialog(const CBaseDialog&) = delete;
    CBaseDialog& operator=(const CBaseDialog&) = delete;

    virtual INT_PTR OnInitDialog(HWND window, WPARAM wParam, LPARAM lParam);
    virtual INT_PTR OnCommand(HWND window, WORD id, HWND control, WORD code);
    virtual INT_PTR OnNotify(HWND window, int id, NMHDR* header);
    virtual INT_PTR OnContextMenu(HWND window, HWND clicked, int x, int y);
    virtual INT_PTR OnDrawItem(HWND window, DRAWITEMSTRUCT* item);
    virtual INT_PTR OnClose(HWND window);
    virtual INT_PTR OnDestroy(HWND window);
    virtual INT_PTR OnVScroll(HWND window, HWND scrollBar, int request, int position);
    virtual INT_PTR OnHScroll(HWND window, HWND scrollBar, int request, int position);
    virtual INT_PTR OnHelp(HWND window, HANDLE item, HELPINFO* info);
    virtual INT_PTR OnDeviceChange(HWND window, WPARAM event, LPARAM data);
    virtual INT_PTR DialogProc(UINT message, WPARAM wParam, LPARAM lParam);
    virtual INT_PTR OnMessage(UINT message, WPARAM wParam, LPARAM lParam);

    // Runs the template modally; the result is kept and returned.
    INT_PTR Show();
    INT_PTR Result() const { return m_result; }
    HWND Window() const { return m_window; }

    static INT_PTR CALLBACK StaticDialogProc(HWND window, UINT message, WPARAM wParam, LPARAM lParam);

protected:
    HINSTANCE m_instance;
    HWND m_parent;
    HWND m_window = nullptr;
    UINT m_templateId;
    INT_PTR m_result = 0;
};

class CMainDialog : public CBaseDialog
{
public:
    explicit CMainDialog(HINSTANCE instance);

    INT_PTR OnInitDialog(HWND window, WPARAM wParam, LPARAM lParam) override;
    INT_PTR OnCommand(HWND window, WORD id, HWND control, WORD code) override;
    INT_PTR OnClose(HWND window) override;

    // Switches every text to English (9) or Japanese (17) by the primary language of `language`;
    // whether that language is the current one afterwards.
    bool SetUiLanguage(LANGID language);
    void ClearPages();
    void UpdateControls();

private:
    void OpenPath();
    void BrowseForFile();
    void PageChanged();
    void Save();
    void SavePage(printfile::CMemoryMappedFile& file);
    void ShowCoverage(const printfile::CPrintTicket& page, uint64_t black);
    void EnableSave(bool enable);

    WString m_title;
    WORD m_language;
    WString m_path;
    std::vector<printfile::CPrintTicket> m_pages;
    int pageCount = 0;
    int currentPage = 0;
};

class CAboutDlg : public CBaseDialog
{
public:
    CAboutDlg(HINSTANCE instance, HWND parent);

    INT_PTR OnInitDialog(HWND window, WPARAM wParam, LPARAM lParam) override;
    INT_PTR OnCommand(HWND window, WORD id, HWND control, WORD code) override;

private:
    WString m_version;
    WString m_notice;
};

// The program: the main dialog, run modally; its result is the exit code.
int Main(HINSTANCE instance, HINSTANCE previous, LPWSTR commandLine, int showCommand);

} // namespace kgl2bmp
