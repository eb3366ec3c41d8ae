// TessicardMgr's one dialog: the duplicators attached by USB, and the download of the chosen one's
// smart-card user data into a CSV file. Detection and download run as background tasks that post
// their end back to the dialog.
#pragma once

#include "base_dialog.h"
#include "usb_channel.h"

#include <platform/task.h>

#include <optional>
#include <string>
#include <vector>

namespace tessicard
{

inline constexpr UINT kDetectDone = WM_APP;
inline constexpr UINT kUploadDone = WM_APP + 1;
inline constexpr UINT kDownloadDone = WM_APP + 2;
inline constexpr UINT_PTR kChangeTimer = 1000;
inline constexpr UINT kChangeDelayMs = 500;

class CCardMgrDlg : public devices::BaseDialog<CCardMgrDlg>
{
public:
    explicit CCardMgrDlg(HINSTANCE instance);
    ~CCardMgrDlg() override;

    INT_PTR OnInitDialog(HWND window, WPARAM wParam, LPARAM lParam) override;
    INT_PTR OnCommand(HWND window, WORD id, HWND control, WORD code) override;
    HBRUSH OnCtlColor(HWND window, HDC dc, HWND control, int kind) override;
    INT_PTR OnMessage(UINT message, WPARAM wParam, LPARAM lParam) override;
    virtual INT_PTR OnDeviceChange(HWND window, WPARAM event, LPARAM data);
    virtual void OnTimer(HWND window, UINT message, UINT_PTR timerId, DWORD time);

private:
    static void CALLBACK TimerProc(HWND window, UINT message, UINT_PTR timerId, DWORD time);

    void EnableControls(bool on);
    int DetectDevices();
    INT_PTR OnDetectDone();
    void RefreshDeviceList();
    void OnDeviceSelected();
    int DownloadCardData(const std::optional<WString>& path);
    bool SaveCardDataCsv(const std::string& records);
    std::optional<std::pair<WString, DWORD>> ShowSaveDialog(const WString& defaultName);
    INT_PTR OnUploadDone();
    INT_PTR OnDownloadDone();
    void SetStatus(UINT textId);
    int Fail(UINT textId);

    CVelmoPrnIoCtrl m_channel;
    std::vector<platform::Task> m_detectTasks;
    std::vector<platform::Task> m_uploadTasks;
    std::vector<platform::Task> m_downloadTasks;
    std::vector<WString> m_paths;
    HFONT m_buttonFont = nullptr; // the bigger font of the upload and download buttons
};

int WINAPI Main(HINSTANCE instance, HINSTANCE previous, LPSTR commandLine, int showCommand);

} // namespace tessicard
