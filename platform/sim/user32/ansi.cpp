// user32's 8-bit forms: text in the system code page, converted at the call and handed to the wide
// core. Windows made through them get their messages in the wide form wherever text crosses a
// message (no program of this system reads such text from an 8-bit window's messages).
#include "user32/desktop_internal.h"

#include <cstring>

using namespace sim;
using namespace sim::detail;

namespace
{
WString Wide(LPCSTR text)
{
    return text ? Widen(text) : WString();
}

// A resource or class name: an integer atom passes as it is.
struct Name
{
    explicit Name(LPCSTR name) : text(name && !IS_INTRESOURCE(name) ? Widen(name) : WString()), raw(name) {}
    LPCWSTR get() const
    {
        if (!raw)
            return nullptr;
        return IS_INTRESOURCE(raw) ? reinterpret_cast<LPCWSTR>(raw) : text.c_str();
    }
    WString text;
    LPCSTR raw;
};

int NarrowOut(WStringView wide, LPSTR buffer, int size)
{
    if (!buffer || size <= 0)
        return 0;
    std::string narrow = Narrow(wide);
    size_t n = std::min<size_t>(narrow.size(), static_cast<size_t>(size) - 1);
    // Never cut a double-byte character in two.
    size_t cut = 0;
    for (size_t i = 0; i < n;)
    {
        size_t step = IsDBCSLeadByte(static_cast<BYTE>(narrow[i])) && i + 1 < narrow.size() ? 2 : 1;
        if (i + step > n)
            break;
        i += step;
        cut = i;
    }
    std::memcpy(buffer, narrow.data(), cut);
    buffer[cut] = 0;
    return static_cast<int>(cut);
}
} // namespace

ATOM WINAPI RegisterClassA(const WNDCLASSA* wc)
{
    SIM_FAULT_POINT("RegisterClassA", 0);
    if (!wc)
    {
        SetLastError(ERROR_INVALID_PARAMETER);
        return 0;
    }
    Name className(wc->lpszClassName);
    WNDCLASSW w{wc->style,
                wc->lpfnWndProc,
                wc->cbClsExtra,
                wc->cbWndExtra,
                wc->hInstance,
                wc->hIcon,
                wc->hCursor,
                wc->hbrBackground,
                IS_INTRESOURCE(wc->lpszMenuName) ? reinterpret_cast<LPCWSTR>(wc->lpszMenuName) : nullptr,
                className.get()};
    return RegisterClassW(&w);
}

HWND WINAPI CreateWindowExA(DWORD exStyle, LPCSTR className, LPCSTR windowName, DWORD style, int x, int y,
                            int width, int height, HWND parent, HMENU menu, HINSTANCE instance, LPVOID param)
{
    Name cls(className);
    WString title = Wide(windowName);
    return CreateWindowExW(exStyle, cls.get(), windowName ? title.c_str() : nullptr, style, x, y, width,
                           height, parent, menu, instance, param);
}

LRESULT WINAPI DefWindowProcA(HWND window, UINT message, WPARAM wParam, LPARAM lParam)
{
    return DefWindowProcW(window, message, wParam, lParam);
}

HWND WINAPI CreateDialogParamA(HINSTANCE instance, LPCSTR templateName, HWND parent, DLGPROC proc,
                               LPARAM param)
{
    Name name(templateName);
    return CreateDialogParamW(instance, name.get(), parent, proc, param);
}

BOOL WINAPI GetMessageA(LPMSG msg, HWND window, UINT filterMin, UINT filterMax)
{
    return GetMessageW(msg, window, filterMin, filterMax);
}

BOOL WINAPI PeekMessageA(LPMSG msg, HWND window, UINT filterMin, UINT filterMax, UINT remove)
{
    return PeekMessageW(msg, window, filterMin, filterMax, remove);
}

LRESULT WINAPI DispatchMessageA(const MSG* msg)
{
    return DispatchMessageW(msg);
}

BOOL WINAPI IsDialogMessageA(HWND dialog, LPMSG msg)
{
    return IsDialogMessageW(dialog, msg);
}

LRESULT WINAPI SendMessageA(HWND window, UINT message, WPARAM wParam, LPARAM lParam)
{
    return SendMessageW(window, message, wParam, lParam);
}

BOOL WINAPI PostMessageA(HWND window, UINT message, WPARAM wParam, LPARAM lParam)
{
    return PostMessageW(window, message, wParam, lParam);
}

BOOL WINAPI SetWindowTextA(HWND window, LPCSTR text)
{
    return SetWindowTextW(window, Wide(text).c_str());
}

int WINAPI GetWindowTextA(HWND window, LPSTR text, int maxCount)
{
    if (!text || maxCount <= 0)
        return 0;
    int length = GetWindowTextLengthW(window);
    WString wide(static_cast<size_t>(length) + 1, u'\0');
    int got = GetWindowTextW(window, wide.data(), length + 1);
    wide.resize(static_cast<size_t>(std::max(got, 0)));
    return NarrowOut(wide, text, maxCount);
}

BOOL WINAPI SetDlgItemTextA(HWND dialog, int id, LPCSTR text)
{
    return SetDlgItemTextW(dialog, id, Wide(text).c_str());
}

int WINAPI GetClassNameA(HWND window, LPSTR className, int maxCount)
{
    WCHAR wide[256];
    int got = GetClassNameW(window, wide, 256);
    if (got <= 0)
        return 0;
    return NarrowOut(WStringView(wide, static_cast<size_t>(got)), className, maxCount);
}

LONG WINAPI GetWindowLongA(HWND window, int index)
{
    return GetWindowLongW(window, index);
}

LONG WINAPI SetWindowLongA(HWND window, int index, LONG value)
{
    return SetWindowLongW(window, index, value);
}

LONG_PTR WINAPI GetWindowLongPtrA(HWND window, int index)
{
    return GetWindowLongPtrW(window, index);
}

LONG_PTR WINAPI SetWindowLongPtrA(HWND window, int index, LONG_PTR value)
{
    return SetWindowLongPtrW(window, index, value);
}

BOOL WINAPI SetPropA(HWND window, LPCSTR name, HANDLE data)
{
    Name n(name);
    return SetPropW(window, n.get(), data);
}

HANDLE WINAPI GetPropA(HWND window, LPCSTR name)
{
    Name n(name);
    return GetPropW(window, n.get());
}

HANDLE WINAPI RemovePropA(HWND window, LPCSTR name)
{
    Name n(name);
    return RemovePropW(window, n.get());
}

int WINAPI MessageBoxA(HWND owner, LPCSTR text, LPCSTR caption, UINT type)
{
    WString wideCaption = Wide(caption);
    return MessageBoxW(owner, Wide(text).c_str(), caption ? wideCaption.c_str() : nullptr, type);
}

HWND WINAPI FindWindowA(LPCSTR className, LPCSTR windowName)
{
    Name cls(className);
    WString title = Wide(windowName);
    return FindWindowW(cls.get(), windowName ? title.c_str() : nullptr);
}

HICON WINAPI LoadIconA(HINSTANCE instance, LPCSTR name)
{
    Name n(name);
    return LoadIconW(instance, n.get());
}

HCURSOR WINAPI LoadCursorA(HINSTANCE instance, LPCSTR name)
{
    Name n(name);
    return LoadCursorW(instance, n.get());
}

HANDLE WINAPI LoadImageA(HINSTANCE instance, LPCSTR name, UINT type, int cx, int cy, UINT flags)
{
    Name n(name);
    return LoadImageW(instance, n.get(), type, cx, cy, flags);
}

// Steps over a whole character of the system code page: a lead byte takes its trail byte along
// (unless the text ends there).
LPSTR WINAPI CharNextA(LPCSTR current)
{
    if (!current || !*current)
        return const_cast<LPSTR>(current);
    if (IsDBCSLeadByte(static_cast<BYTE>(*current)) && current[1])
        return const_cast<LPSTR>(current + 2);
    return const_cast<LPSTR>(current + 1);
}

LPSTR WINAPI CharPrevA(LPCSTR start, LPCSTR current)
{
    if (!start || !current || current <= start)
        return const_cast<LPSTR>(start);
    LPCSTR p = start;
    for (;;)
    {
        LPCSTR next = CharNextA(p);
        if (next >= current || next == p)
            return const_cast<LPSTR>(p);
        p = next;
    }
}
