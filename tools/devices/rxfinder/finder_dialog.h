// RX-Finder's dialog: the cards found on the local network, a search run as a background task, the
// search settings, and a card's web page opened in the browser.
#pragma once

#include "base_dialog.h"
#include "prn_svr_searcher.h"

#include <platform/task.h>

#include <memory>
#include <vector>

namespace rxfinder
{

inline constexpr UINT kSearchDone = WM_APP;

class CRxFinderDlg : public devices::BaseDialog<CRxFinderDlg>
{
public:
    static constexpr unsigned kDialogDispatch = devices::kDispatchNotify;

    CRxFinderDlg(HINSTANCE instance, std::unique_ptr<CTzPrnSvrSearcher> searcher);
    // Waits for a search still running, then lets the searcher (and Windows Sockets) go.
    ~CRxFinderDlg() override;

    INT_PTR OnInitDialog(HWND window, WPARAM wParam, LPARAM lParam) override;
    INT_PTR OnCommand(HWND window, WORD id, HWND control, WORD code) override;
    INT_PTR OnNotify(HWND window, int id, NMHDR* header) override;
    HBRUSH OnCtlColor(HWND window, HDC dc, HWND control, int kind) override;
    INT_PTR OnMessage(UINT message, WPARAM wParam, LPARAM lParam) override;
    virtual INT_PTR OnSearchDone();
    virtual void InitListColumns();
    virtual int RefreshList();
    virtual void EnableControls(bool on);

    CTzPrnSvrSearcher& Searcher() { return *m_searcher; }

private:
    HFONT FontFrom(int controlId, int heightNumerator, int heightDenominator, bool underline);
    void ShowStartFailure(HWND window, int error);

    std::unique_ptr<CTzPrnSvrSearcher> m_searcher;
    std::vector<platform::Task> m_searchTasks;
    std::vector<HFONT> m_fonts;
};

int WINAPI Main(HINSTANCE instance, HINSTANCE previous, LPWSTR commandLine, int showCommand);

} // namespace rxfinder
