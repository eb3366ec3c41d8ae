#include "print_to_file_app.h"

#include "print_to_file.h"
#include "print_to_file_resource.h"

#include <platform/boundary.h>
#include <platform/commdlg.h>
#include <platform/dll_search.h>
#include <platform/handles.h>
#include <platform/shellapi.h>
#include <platform/shlwapi.h>

#include <algorithm>
#include <span>

namespace velmoprinttofile
{
namespace
{
constexpr DWORD kBadArgumentTimeout = 10000;
constexpr UINT kSectionMessageTimeout = 1000;
constexpr WCHAR kFallbackName[] = TEXT("IMAGE.kgl");
// Display text and pattern pairs; the array's own terminator ends the list.
constexpr WCHAR kFilter[] = TEXT("KORIGRAPH File(*.kgl;*prn)\0*.kgl;*.prn\0All File(*.*)\0*.*\0");
constexpr WCHAR kNeutralFilter[] = TEXT("Duplicator File(*.kgl;*prn)\0*.kgl;*.prn\0All File(*.*)\0*.*\0");

bool Neutral()
{
    WCHAR path[MAX_PATH] = {};
    GetModuleFileNameW(nullptr, path, MAX_PATH);
    return UsesNeutralTexts(path);
}

// The id of a text in the set the program's file name chooses.
UINT TextId(UINT normalId)
{
    if (!Neutral())
        return normalId;
    return normalId == IDS_CAPTION ? IDS_NEUTRAL_CAPTION : normalId + IDS_NEUTRAL_OFFSET;
}

WString LoadText(UINT normalId, int maxLength)
{
    WString text(static_cast<size_t>(maxLength), u'\0');
    int n = LoadStringW(GetModuleHandleW(nullptr), TextId(normalId), text.data(), maxLength);
    text.resize(static_cast<size_t>(std::max(n, 0)));
    return text;
}

WString Caption()
{
    return LoadText(IDS_CAPTION, 32);
}

int ShowText(HWND owner, UINT normalId, UINT type)
{
    return MessageBoxW(owner, LoadText(normalId, 1024).c_str(), Caption().c_str(), type);
}

// What may be read at `view`: the region the section's pages give, not what the starter claims.
SIZE_T ViewSize(LPCVOID view)
{
    MEMORY_BASIC_INFORMATION info{};
    if (VirtualQuery(view, &info, sizeof info) != sizeof info)
        return 0;
    auto base = reinterpret_cast<const BYTE*>(info.BaseAddress);
    return info.RegionSize - static_cast<SIZE_T>(static_cast<const BYTE*>(view) - base);
}

struct TimeoutContext
{
    HWND owner;
    BOOL timedOut;
};

void CALLBACK TimeoutTimerProc(HWND, UINT, UINT_PTR id, DWORD)
{
    auto* context = reinterpret_cast<TimeoutContext*>(id);
    context->timedOut = TRUE;
    if (context->owner)
        EnableWindow(context->owner, TRUE); // the box disabled it
    PostQuitMessage(0);                     // ends the box's modal loop
}

LRESULT CALLBACK WindowProc(HWND window, UINT message, WPARAM wParam, LPARAM lParam)
{
    return platform::Boundary(LRESULT{0}, [&]() -> LRESULT {
        switch (message)
        {
        case WM_DESTROY:
            PostQuitMessage(0);
            return 0;
        case WM_PAINT: {
            PAINTSTRUCT paint;
            BeginPaint(window, &paint);
            EndPaint(window, &paint);
            return 0;
        }
        default:
            return DefWindowProcW(window, message, wParam, lParam);
        }
    });
}

// A helper started by a background component gets no foreground by itself; sharing the input state
// of the window in front lets it take the foreground, so its boxes do not open behind.
void BringToFront(HWND window)
{
    HWND front = GetForegroundWindow();
    DWORD frontThread = front ? GetWindowThreadProcessId(front, nullptr) : 0;
    DWORD self = GetCurrentThreadId();
    bool attached = frontThread && frontThread != self && AttachThreadInput(self, frontThread, TRUE);
    SetForegroundWindow(window);
    if (attached)
        AttachThreadInput(self, frontThread, FALSE);
    SetActiveWindow(window);
}

LPCWSTR IconFor(UINT type)
{
    switch (type & MB_ICONMASK)
    {
    case 0x10:
        return IDI_HAND;
    case 0x20:
        return IDI_QUESTION;
    case 0x30:
        return IDI_EXCLAMATION;
    case 0x40:
        return IDI_ASTERISK;
    default:
        return IDI_APPLICATION;
    }
}

void PutU32(std::span<BYTE> bytes, size_t at, DWORD value)
{
    for (size_t i = 0; i < 4; ++i)
        bytes[at + i] = static_cast<BYTE>(value >> (8 * i));
}

void PutPath(std::span<BYTE> record, LPCWSTR path, size_t length)
{
    for (size_t i = 0; i <= length; ++i)
    {
        record[2 * i] = static_cast<BYTE>(path[i] & 0xFF);
        record[2 * i + 1] = static_cast<BYTE>(path[i] >> 8);
    }
}

// Asks until the user settles on a path; the path is written into `record` unless the user gave up.
void AskForPath(HWND owner, std::span<BYTE> record, LPWSTR file, LPCWSTR initialFolder)
{
    WCHAR title[MAX_PATH] = {};
    OPENFILENAMEW ofn{};
    ofn.lStructSize = sizeof ofn;
    ofn.hwndOwner = owner;
    ofn.lpstrFilter = Neutral() ? kNeutralFilter : kFilter;
    ofn.nFilterIndex = 1;
    ofn.lpstrFile = file;
    ofn.nMaxFile = MAX_PATH;
    ofn.lpstrFileTitle = title;
    ofn.nMaxFileTitle = MAX_PATH;
    ofn.lpstrInitialDir = initialFolder;
    ofn.Flags = OFN_OVERWRITEPROMPT | OFN_PATHMUSTEXIST | OFN_NONETWORKBUTTON;
    ofn.lpstrDefExt = TEXT("kgl");
    for (;;)
    {
        if (GetSaveFileNameW(&ofn))
        {
            size_t length = static_cast<size_t>(std::find(file, file + MAX_PATH, 0) - file);
            if (length >= MAX_PATH)
            {
                ShowText(owner, IDS_PATH_TOO_LONG, MB_ICONERROR);
                continue;
            }
            if (!IsAcceptableTitle(WStringView(title, static_cast<size_t>(lstrlenW(title)))))
            {
                int answer = ShowText(owner, IDS_NAME_NOT_ACCEPTED, MB_ICONWARNING | MB_CANCELTRYCONTINUE);
                if (answer == IDTRYAGAIN)
                    continue;
                if (answer != IDCONTINUE)
                    return;
            }
            PutPath(record, file, length);
            return;
        }
        switch (CommDlgExtendedError())
        {
        case FNERR_BUFFERTOOSMALL:
            lstrcpynW(file, kFallbackName, MAX_PATH);
            ShowText(owner, IDS_PATH_TOO_LONG, MB_ICONERROR);
            break;
        case FNERR_INVALIDFILENAME:
            file[0] = 0;
            title[0] = 0;
            break;
        default: // cancelled, or the dialog failed
            return;
        }
    }
}
} // namespace

int TimedMessageBox(HWND owner, LPCWSTR text, LPCWSTR caption, UINT type, DWORD timeout)
{
    if (timeout && !owner)
        return 0;
    TimeoutContext context{owner && IsWindowEnabled(owner) ? owner : nullptr, FALSE};
    auto timerId = reinterpret_cast<UINT_PTR>(&context);
    if (timeout)
        SetTimer(owner, timerId, timeout, TimeoutTimerProc);
    int result = MessageBoxW(owner, text, caption, type);
    if (timeout)
    {
        KillTimer(owner, timerId);
        if (context.timedOut)
        {
            MSG quit;
            PeekMessageW(&quit, nullptr, WM_QUIT, WM_QUIT, PM_REMOVE);
            return static_cast<int>(kTimedOut);
        }
    }
    return result;
}

void RunSavePathService(HWND owner, LPCWSTR sectionName)
{
    platform::UniqueKernelHandle section(OpenFileMappingW(FILE_MAP_WRITE, FALSE, sectionName));
    if (!section)
    {
        ShowText(owner, IDS_CANNOT_OPEN_SECTION, MB_ICONERROR);
        return;
    }
    platform::UniqueMappedView view(MapViewOfFile(section.Get(), FILE_MAP_WRITE, 0, 0, 0));
    if (!view || ViewSize(view.Get()) < kSavePathBytes)
    {
        view.Reset(); // unmapped before the message box waits for the user
        ShowText(owner, IDS_CANNOT_MAP_SECTION, MB_ICONERROR);
        return;
    }
    std::span<BYTE> record(static_cast<BYTE*>(view.Get()), kSavePathBytes);
    auto folder = ReadSaveFolder(record);
    std::fill(record.begin(), record.end(), BYTE{0}); // a crash or a cancel leaves no path

    WCHAR file[MAX_PATH] = {};
    LPCWSTR initialFolder = nullptr;
    if (folder && PathIsDirectoryW(folder->c_str()))
    {
        if (MakeDefaultFileName(file, folder->c_str()))
            initialFolder = folder->c_str();
        else
            ShowText(owner, IDS_FOLDER_UNUSABLE, MB_ICONWARNING);
    }
    if (!initialFolder)
        lstrcpynW(file, kFallbackName, MAX_PATH);
    AskForPath(owner, record, file, initialFolder);
}

DWORD RunMessageBoxService(HWND owner, HANDLE section)
{
    platform::UniqueKernelHandle owned(section);
    platform::UniqueMappedView view(MapViewOfFile(section, FILE_MAP_WRITE, 0, 0, 0));
    if (!view)
        return 0;
    std::span<BYTE> bytes(static_cast<BYTE*>(view.Get()), ViewSize(view.Get()));
    DWORD result = 0;
    if (auto request = ParseMessageBoxRequest(bytes))
    {
        LPCWSTR caption = request->caption ? request->caption->c_str() : nullptr;
        SendMessageTimeoutW(owner, WM_SETTEXT, 0, reinterpret_cast<LPARAM>(caption), SMTO_NORMAL,
                            kSectionMessageTimeout, nullptr);
        HANDLE icon =
            LoadImageW(nullptr, IconFor(request->type), IMAGE_ICON, 0, 0, LR_DEFAULTSIZE | LR_SHARED);
        for (WPARAM size : {WPARAM{ICON_BIG}, WPARAM{ICON_SMALL}})
            SendMessageTimeoutW(owner, WM_SETICON, size, reinterpret_cast<LPARAM>(icon), SMTO_NORMAL,
                                kSectionMessageTimeout, nullptr);
        result = static_cast<DWORD>(
            TimedMessageBox(owner, request->text.c_str(), caption, request->type, request->timeout));
    }
    if (bytes.size() >= kMessageHeaderBytes)
        PutU32(bytes, offsetof(MessageBoxExchange, result), result);
    return result;
}

namespace
{
// A helper that cannot make its window asks nothing: the starter finds the request answered as failed
// (no path, or the box's result 0) instead of what it wrote there itself.
void AnswerUnserved(LPCWSTR name)
{
    const Service service = SelectService(name);
    if (service == Service::None)
        return;
    platform::UniqueKernelHandle section(OpenFileMappingW(FILE_MAP_WRITE, FALSE, name));
    if (!section)
        return;
    platform::UniqueMappedView view(MapViewOfFile(section.Get(), FILE_MAP_WRITE, 0, 0, 0));
    if (!view)
        return;
    std::span<BYTE> bytes(static_cast<BYTE*>(view.Get()), ViewSize(view.Get()));
    if (service == Service::SavePath && bytes.size() >= kSavePathBytes)
        std::fill_n(bytes.begin(), kSavePathBytes, BYTE{0});
    else if (service == Service::MessageBox && bytes.size() >= kMessageHeaderBytes)
        PutU32(bytes, offsetof(MessageBoxExchange, result), 0);
}
} // namespace

int WINAPI Main(HINSTANCE instance, HINSTANCE, LPWSTR, int showCommand)
{
    return platform::Boundary(0, [&]() -> int {
        platform::HardenDllSearchPath();
        WString caption = Caption();
        WCHAR className[32] = {};
        LoadStringW(instance, IDS_CLASS_NAME, className, 32);

        WNDCLASSEXW wc{};
        wc.cbSize = sizeof wc;
        wc.style = CS_HREDRAW | CS_VREDRAW;
        wc.lpfnWndProc = WindowProc;
        wc.hInstance = instance;
        wc.hIcon = static_cast<HICON>(
            LoadImageW(instance, MAKEINTRESOURCEW(IDI_APP), IMAGE_ICON, 0, 0, LR_DEFAULTSIZE));
        wc.hIconSm =
            static_cast<HICON>(LoadImageW(instance, MAKEINTRESOURCEW(IDI_APP), IMAGE_ICON, 16, 16, 0));
        wc.hCursor = LoadCursorW(nullptr, IDC_ARROW);
        wc.hbrBackground = reinterpret_cast<HBRUSH>(static_cast<INT_PTR>(COLOR_WINDOW + 1));
        wc.lpszClassName = className;
        int argc = 0;
        LPWSTR* argv = CommandLineToArgvW(GetCommandLineW(), &argc);
        WCHAR name[MAX_PATH] = {};
        if (argv && argc >= 2)
            lstrcpynW(name, argv[1], MAX_PATH);
        if (argv)
            LocalFree(argv);

        HWND window = RegisterClassExW(&wc) ? CreateWindowExW(0, className, caption.c_str(), WS_POPUP, 0, 0,
                                                              0, 0, nullptr, nullptr, instance, nullptr)
                                            : nullptr;
        if (!window)
        {
            AnswerUnserved(name);
            return 0;
        }
        ShowWindow(window, showCommand);
        UpdateWindow(window);
        BringToFront(window);

        switch (SelectService(name))
        {
        case Service::SavePath:
            RunSavePathService(window, name);
            break;
        case Service::MessageBox:
            if (HANDLE section = OpenFileMappingW(FILE_MAP_WRITE, FALSE, name))
                RunMessageBoxService(window, section);
            break;
        case Service::None:
            TimedMessageBox(window, LoadText(IDS_BAD_ARGUMENT, 1024).c_str(), caption.c_str(), MB_ICONERROR,
                            kBadArgumentTimeout);
            break;
        }

        DestroyWindow(window);
        MSG msg;
        while (GetMessageW(&msg, nullptr, 0, 0) > 0)
        {
            TranslateMessage(&msg);
            DispatchMessageW(&msg);
        }
        return 0;
    });
}

} // namespace velmoprinttofile
