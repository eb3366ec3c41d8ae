#include "card_dialog.h"

#include "about_dialog.h"
#include "card_data.h"
#include "card_resource.h"
#include "overlapped_request.h"

#include <platform/boundary.h>
#include <platform/commdlg.h>
#include <platform/dll_search.h>
#include <platform/objbase.h>

#include <memory>
#include <new>

namespace tessicard
{
namespace
{
constexpr const WCHAR* kMutexName = TEXT("Global\\C6E18C94-D289-4967-ABD2-73F7F5E64A8D");
constexpr int kStatusPolls = 10;
constexpr DWORD kPollDelayMs = 100;
constexpr int kUploadResult = 4;
constexpr DWORD kFileNameChars = 4096;

WString LoadText(HINSTANCE instance, UINT id)
{
    WCHAR buffer[256] = {};
    int n = LoadStringW(instance, id, buffer, 256);
    return WString(buffer, n > 0 ? static_cast<size_t>(n) : 0);
}

int CollectAll(std::vector<platform::Task>& tasks)
{
    for (auto& task : tasks)
        task.Get();
    tasks.clear();
    return 1;
}
} // namespace

CCardMgrDlg::CCardMgrDlg(HINSTANCE instance) : BaseDialog(IDD_CARDMGR, nullptr, instance) {}

CCardMgrDlg::~CCardMgrDlg()
{
    // Tasks still running may send to the (gone) window; Get keeps answering while it waits.
    for (auto* tasks : {&m_detectTasks, &m_uploadTasks, &m_downloadTasks})
        CollectAll(*tasks);
    if (m_buttonFont)
        DeleteObject(m_buttonFont);
}

INT_PTR CCardMgrDlg::OnInitDialog(HWND window, WPARAM, LPARAM)
{
    HANDLE big = LoadImageW(m_instance, MAKEINTRESOURCEW(IDI_CARDMGR), IMAGE_ICON, 0, 0, LR_DEFAULTSIZE);
    HANDLE small = LoadImageW(m_instance, MAKEINTRESOURCEW(IDI_CARDMGR), IMAGE_ICON, 16, 16, 0);
    SendMessageW(window, WM_SETICON, ICON_BIG, reinterpret_cast<LPARAM>(big));
    SendMessageW(window, WM_SETICON, ICON_SMALL, reinterpret_cast<LPARAM>(small));
    HGDIOBJ base = reinterpret_cast<HGDIOBJ>(SendDlgItemMessageW(window, IDC_UPLOAD, WM_GETFONT, 0, 0));
    if (!base) // a control without a font of its own draws with the system's
        base = GetStockObject(DEFAULT_GUI_FONT);
    LOGFONTW font{};
    if (GetObjectW(base, sizeof font, &font) == static_cast<int>(sizeof font))
    {
        font.lfHeight = MulDiv(font.lfHeight, 5, 4);
        m_buttonFont = CreateFontIndirectW(&font);
        for (int id : {IDC_UPLOAD, IDC_DOWNLOAD})
            SendDlgItemMessageW(window, id, WM_SETFONT, reinterpret_cast<WPARAM>(m_buttonFont), TRUE);
    }
    PostMessageW(window, WM_COMMAND, IDC_DETECT, 0);
    return TRUE;
}

INT_PTR CCardMgrDlg::OnCommand(HWND window, WORD id, HWND, WORD code)
{
    if (id == IDC_MODEL)
    {
        if (code == CBN_SELCHANGE)
            OnDeviceSelected();
        return 0;
    }
    if (code != 0)
        return 0;
    switch (id)
    {
    case IDC_DETECT:
        EnableControls(false);
        m_detectTasks.push_back(platform::StartTask([this, window] {
            int found = DetectDevices();
            PostMessageW(window, kDetectDone, 0, found);
            return found;
        }));
        break;
    case IDC_DOWNLOAD: {
        LRESULT selection = SendDlgItemMessageW(window, IDC_MODEL, CB_GETCURSEL, 0, 0);
        if (selection < 0)
            break;
        std::optional<WString> path;
        if (static_cast<size_t>(selection) < m_paths.size())
            path = m_paths[static_cast<size_t>(selection)];
        EnableControls(false);
        m_downloadTasks.push_back(platform::StartTask([this, window, path] {
            int saved = DownloadCardData(path);
            PostMessageW(window, kDownloadDone, 0, saved);
            return saved;
        }));
        break;
    }
    case IDC_UPLOAD:
        EnableControls(false);
        if (SendDlgItemMessageW(window, IDC_MODEL, CB_GETCURSEL, 0, 0) < 0)
            EnableControls(true);
        else
            m_uploadTasks.push_back(platform::StartTask([window] {
                PostMessageW(window, kUploadDone, 0, kUploadResult);
                return kUploadResult;
            }));
        break;
    case IDM_ABOUT: {
        auto about = std::make_unique<CAboutDlg>(m_instance, window);
        about->Run();
        break;
    }
    case IDM_CLOSE:
        PostMessageW(window, WM_CLOSE, 0, 0);
        break;
    default:
        break;
    }
    return 0;
}

HBRUSH CCardMgrDlg::OnCtlColor(HWND, HDC, HWND, int)
{
    return GetSysColorBrush(COLOR_WINDOW);
}

INT_PTR CCardMgrDlg::OnMessage(UINT message, WPARAM wParam, LPARAM lParam)
{
    INT_PTR result = 0;
    switch (message)
    {
    case WM_DEVICECHANGE:
        result = OnDeviceChange(m_window, wParam, lParam);
        break;
    case kDetectDone:
        result = OnDetectDone();
        break;
    case kUploadDone:
        result = OnUploadDone();
        break;
    case kDownloadDone:
        result = OnDownloadDone();
        break;
    default:
        return FALSE;
    }
    SetWindowLongPtrW(m_window, DWLP_MSGRESULT, result);
    return TRUE;
}

INT_PTR CCardMgrDlg::OnDeviceChange(HWND window, WPARAM event, LPARAM)
{
    constexpr WPARAM kDevNodesChanged = 7;
    if (event == kDevNodesChanged)
        SetTimer(window, kChangeTimer, kChangeDelayMs, TimerProc); // a new notice restarts it
    return 0;
}

void CALLBACK CCardMgrDlg::TimerProc(HWND window, UINT message, UINT_PTR timerId, DWORD time)
{
    platform::Boundary([&] {
        if (CCardMgrDlg* self = FromWindow(window))
            self->OnTimer(window, message, timerId, time);
    });
}

void CCardMgrDlg::OnTimer(HWND window, UINT, UINT_PTR timerId, DWORD)
{
    if (timerId != kChangeTimer)
        return;
    KillTimer(window, kChangeTimer);
    // Only while no task runs: a task's start disables Detect.
    if (IsWindowEnabled(GetDlgItem(window, IDC_DETECT)) && m_channel.CloseDevice())
        PostMessageW(window, WM_COMMAND, IDC_DETECT, 0);
}

void CCardMgrDlg::EnableControls(bool on)
{
    for (int id : {IDC_MODEL, IDC_DETECT, IDC_UPLOAD, IDC_DOWNLOAD})
        EnableWindow(GetDlgItem(m_window, id), on);
}

int CCardMgrDlg::DetectDevices()
{
    if (!m_channel.CloseDevice())
        return static_cast<int>(m_channel.GetDevices().size());
    m_channel.ClearDevices();
    std::vector<WString> paths;
    if (!m_channel.EnumPrinterInterfaces(paths) || !m_channel.FilterByVendor(paths) ||
        !m_channel.FilterByProduct(paths))
        return 0;
    return static_cast<int>(m_channel.QueryDevices(paths));
}

INT_PTR CCardMgrDlg::OnDetectDone()
{
    CollectAll(m_detectTasks);
    EnableControls(true);
    RefreshDeviceList();
    return 1;
}

void CCardMgrDlg::RefreshDeviceList()
{
    HWND box = GetDlgItem(m_window, IDC_MODEL);
    LRESULT selection = SendMessageW(box, CB_GETCURSEL, 0, 0);
    std::optional<WString> chosen;
    if (selection >= 0 && static_cast<size_t>(selection) < m_paths.size())
        chosen = m_paths[static_cast<size_t>(selection)];
    m_paths.clear();
    SendMessageW(box, CB_RESETCONTENT, 0, 0);
    LRESULT keep = -1;
    for (const auto& [path, info] : m_channel.GetDevices())
    {
        if (chosen && path == *chosen)
            keep = static_cast<LRESULT>(m_paths.size());
        m_paths.push_back(path);
        SendMessageW(box, CB_ADDSTRING, 0, reinterpret_cast<LPARAM>(info.model.c_str()));
    }
    const bool any = !m_paths.empty();
    EnableWindow(box, any);
    if (keep < 0 && any)
        keep = 0;
    SendMessageW(box, CB_SETCURSEL, static_cast<WPARAM>(keep), 0);
    PostMessageW(m_window, WM_COMMAND, MAKEWPARAM(IDC_MODEL, CBN_SELCHANGE), reinterpret_cast<LPARAM>(box));
}

void CCardMgrDlg::OnDeviceSelected()
{
    LRESULT selection = SendDlgItemMessageW(m_window, IDC_MODEL, CB_GETCURSEL, 0, 0);
    const bool chosen = selection >= 0 && static_cast<size_t>(selection) < m_paths.size();
    WString serial;
    if (chosen)
    {
        auto devices = m_channel.GetDevices();
        if (auto it = devices.find(m_paths[static_cast<size_t>(selection)]); it != devices.end())
            serial = it->second.serialNumber;
    }
    SetDlgItemTextW(m_window, IDC_SERIAL, serial.c_str());
    SetDlgItemTextW(m_window, IDC_STATUS, TEXT(""));
    for (int id : {IDC_SERIAL, IDC_STATUS, IDC_UPLOAD, IDC_DOWNLOAD})
        EnableWindow(GetDlgItem(m_window, id), chosen);
}

void CCardMgrDlg::SetStatus(UINT textId)
{
    WString text = textId ? LoadText(m_instance, textId) : WString();
    SetDlgItemTextW(m_window, IDC_STATUS, text.c_str());
}

int CCardMgrDlg::Fail(UINT textId)
{
    m_channel.CloseDevice();
    SetStatus(textId);
    return 0;
}

int CCardMgrDlg::DownloadCardData(const std::optional<WString>& path)
{
    if (!path)
        return 0;
    SetStatus(IDS_RETRIEVING);
    if (!m_channel.OpenDevice(*path))
    {
        SetStatus(IDS_CANNOT_CONNECT);
        return 0;
    }
    if (!m_channel.SendCommand(KglDeviceCommand::CardDataRequest))
        return Fail(IDS_CANNOT_CONNECT);

    BYTE reply[CardDataStatusReply::kSize] = {1, 1, 1, 1, 1, 1};
    for (int poll = 0; poll < kStatusPolls && reply[0] != 0; ++poll)
    {
        Sleep(kPollDelayMs);
        if (!m_channel.SendCommand(KglDeviceCommand::CardDataStatus))
            continue;
        DWORD moved = 0;
        if (!m_channel.Transfer(false, reply, sizeof reply, moved))
            reply[0] = 1; // a failed read counts as busy
    }
    if (reply[0] == 1)
        return Fail(IDS_NOT_READY);
    if (!m_channel.SendCommand(KglDeviceCommand::CardDataRead))
        return Fail(IDS_CANNOT_CONNECT);

    const std::uint32_t length = CardDataStatusReply::Parse(reply)->length;
    if (!AcceptableCardDataLength(length))
        return Fail(IDS_NOT_READY);
    std::vector<BYTE> data;
    try
    {
        data.resize(length);
    }
    catch (const std::bad_alloc&)
    {
        return Fail(IDS_NOT_READY);
    }
    DWORD moved = 0;
    if (!m_channel.Transfer(false, data.data(), length, moved))
        return Fail(IDS_CANNOT_CONNECT); // a short read saves nothing
    m_channel.CloseDevice();

    std::optional<std::string> records = CardRecords(data);
    if (!records)
    {
        SetStatus(IDS_NOT_READY);
        return 0;
    }
    if (!SaveCardDataCsv(*records))
    {
        SetStatus(0);
        return 0;
    }
    SetStatus(IDS_RETRIEVED);
    return static_cast<int>(records->size());
}

std::optional<std::pair<WString, DWORD>> CCardMgrDlg::ShowSaveDialog(const WString& defaultName)
{
    const WString filter = CsvFilter();
    std::vector<WCHAR> file(kFileNameChars, 0);
    lstrcpynW(file.data(), defaultName.c_str(), static_cast<int>(file.size()));
    OPENFILENAMEW ofn{};
    ofn.lStructSize = sizeof ofn;
    ofn.hwndOwner = m_window;
    ofn.hInstance = m_instance;
    ofn.lpstrFilter = filter.c_str();
    ofn.nFilterIndex = kFilterCsv;
    ofn.lpstrFile = file.data();
    ofn.nMaxFile = kFileNameChars;
    ofn.Flags = OFN_OVERWRITEPROMPT | OFN_HIDEREADONLY;
    // The dialog runs on a task's thread: it gets a single-threaded apartment of its own.
    const HRESULT apartment = CoInitializeEx(nullptr, COINIT_APARTMENTTHREADED);
    const BOOL chosen = GetSaveFileNameW(&ofn);
    if (SUCCEEDED(apartment))
        CoUninitialize();
    if (!chosen)
        return std::nullopt;
    return std::pair{WString(file.data()), ofn.nFilterIndex};
}

bool CCardMgrDlg::SaveCardDataCsv(const std::string& records)
{
    SYSTEMTIME now{};
    GetLocalTime(&now);
    auto chosen = ShowSaveDialog(DefaultCsvName(now));
    if (!chosen)
        return false;
    std::optional<std::string> bytes = CsvFileBytes(records, chosen->second);
    if (!bytes)
        return false;
    const WString& path = chosen->first;
    HANDLE file = CreateFileW(path.c_str(), GENERIC_READ | GENERIC_WRITE, FILE_SHARE_READ, nullptr,
                              CREATE_ALWAYS, FILE_FLAG_OVERLAPPED, nullptr);
    if (file == INVALID_HANDLE_VALUE)
        return false;
    bool written = false;
    if (HANDLE event = CreateEventW(nullptr, TRUE, FALSE, nullptr))
    {
        OVERLAPPED overlapped{};
        overlapped.hEvent = event;
        const auto size = static_cast<DWORD>(bytes->size());
        BOOL started = WriteFile(file, bytes->data(), size, nullptr, &overlapped);
        devices::RequestResult result = devices::AwaitRequest(file, started, overlapped, kRequestTimeoutMs);
        written = result.ok && result.bytes == size;
        CloseHandle(event);
    }
    CloseHandle(file);
    if (!written)
        DeleteFileW(path.c_str()); // nothing half-written stays behind
    return written;
}

INT_PTR CCardMgrDlg::OnUploadDone()
{
    CollectAll(m_uploadTasks);
    EnableControls(true);
    return 1;
}

INT_PTR CCardMgrDlg::OnDownloadDone()
{
    CollectAll(m_downloadTasks);
    EnableControls(true);
    return 1;
}

int WINAPI Main(HINSTANCE instance, HINSTANCE, LPSTR, int)
{
    return platform::Boundary(0, [&]() -> int {
        platform::HardenDllSearchPath();
        HANDLE mutex = CreateMutexW(nullptr, FALSE, kMutexName);
        if (!mutex)
            return 0;
        if (GetLastError() == ERROR_ALREADY_EXISTS)
        {
            CloseHandle(mutex);
            return 0;
        }
        int result = 0;
        {
            auto dialog = std::make_unique<CCardMgrDlg>(instance);
            result = static_cast<int>(dialog->Run());
        }
        CloseHandle(mutex);
        return result;
    });
}

} // namespace tessicard
