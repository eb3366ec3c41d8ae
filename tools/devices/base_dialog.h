// One modal-dialog framework for the device tools and the setup menu: the object is bound to its
// window at WM_INITDIALOG (through GWLP_USERDATA) and every message goes to its virtual handlers.
#pragma once

#include <platform/windows.h>

namespace devices
{

// Which messages a form answers itself instead of passing them to OnMessage. The card tool's form
// answers none of these; the finder's answers WM_NOTIFY; the menu's WM_SIZE and WM_DPICHANGED.
enum DialogDispatch : unsigned
{
    kDispatchBasic = 0,
    kDispatchNotify = 1u << 0,
    kDispatchSizeAndDpi = 1u << 1,
};

namespace detail
{
template <typename T>
concept HasDialogDispatch = requires
{
    T::kDialogDispatch;
};

template <typename T> constexpr unsigned DispatchOf()
{
    if constexpr (HasDialogDispatch<T>)
        return T::kDialogDispatch;
    else
        return kDispatchBasic;
}
} // namespace detail

// CTLCOLOR kinds handed to OnCtlColor.
inline constexpr int kCtlColorDialog = 4;
inline constexpr int kCtlColorStatic = 6;

template <typename T> class BaseDialog
{
public:
    BaseDialog(UINT templateId, HWND parent, HINSTANCE instance)
        : m_templateId(templateId), m_parent(parent), m_instance(instance)
    {
    }
    virtual ~BaseDialog() = default;
    BaseDialog(const BaseDialog&) = delete;
    BaseDialog& operator=(const BaseDialog&) = delete;

    virtual INT_PTR OnInitDialog(HWND, WPARAM, LPARAM) { return TRUE; }
    virtual INT_PTR OnCommand(HWND, WORD, HWND, WORD) { return 0; }
    virtual INT_PTR OnClose(HWND window)
    {
        EndDialog(window, 0);
        return 0;
    }
    virtual INT_PTR OnNotify(HWND, int, NMHDR*) { return 0; }
    virtual HBRUSH OnCtlColor(HWND, HDC, HWND, int) { return nullptr; }
    virtual INT_PTR OnSize(HWND, UINT, int, int) { return 0; }
    virtual INT_PTR OnDpiChanged(HWND, WORD, WORD, RECT*) { return 0; }

    virtual INT_PTR DialogProc(UINT message, WPARAM wParam, LPARAM lParam)
    {
        constexpr unsigned dispatch = detail::DispatchOf<T>();
        switch (message)
        {
        case WM_CLOSE:
            OnClose(m_window);
            return Answer(0);
        case WM_INITDIALOG:
            return OnInitDialog(m_window, wParam, lParam);
        case WM_COMMAND:
            OnCommand(m_window, LOWORD(wParam), reinterpret_cast<HWND>(lParam), HIWORD(wParam));
            return Answer(0);
        case WM_CTLCOLORDLG:
            return reinterpret_cast<INT_PTR>(OnCtlColor(m_window, reinterpret_cast<HDC>(wParam),
                                                        reinterpret_cast<HWND>(lParam), kCtlColorDialog));
        case WM_CTLCOLORSTATIC:
            return reinterpret_cast<INT_PTR>(OnCtlColor(m_window, reinterpret_cast<HDC>(wParam),
                                                        reinterpret_cast<HWND>(lParam), kCtlColorStatic));
        default:
            break;
        }
        if constexpr ((dispatch & kDispatchNotify) != 0)
            if (message == WM_NOTIFY)
                return Answer(OnNotify(m_window, static_cast<int>(wParam), reinterpret_cast<NMHDR*>(lParam)));
        if constexpr ((dispatch & kDispatchSizeAndDpi) != 0)
        {
            if (message == WM_SIZE)
            {
                OnSize(m_window, static_cast<UINT>(wParam), static_cast<short>(LOWORD(lParam)),
                       static_cast<short>(HIWORD(lParam)));
                return Answer(0);
            }
            if (message == WM_DPICHANGED)
                return Answer(
                    OnDpiChanged(m_window, LOWORD(wParam), HIWORD(wParam), reinterpret_cast<RECT*>(lParam)));
        }
        return OnMessage(message, wParam, lParam);
    }

    virtual INT_PTR OnMessage(UINT, WPARAM, LPARAM) { return 0; }

    // Runs the template modally; the dialog's result is kept and returned.
    INT_PTR Run()
    {
        m_result = static_cast<int>(
            DialogBoxParamW(m_instance, MAKEINTRESOURCEW(m_templateId), m_parent, StaticDialogProc,
                            reinterpret_cast<LPARAM>(static_cast<BaseDialog*>(this))));
        return m_result;
    }

    static INT_PTR CALLBACK StaticDialogProc(HWND window, UINT message, WPARAM wParam, LPARAM lParam)
    {
        BaseDialog* self = nullptr;
        if (message == WM_INITDIALOG)
        {
            self = reinterpret_cast<BaseDialog*>(lParam);
            SetWindowLongPtrW(window, GWLP_USERDATA, lParam);
            if (self)
                self->m_window = window;
        }
        else
            self = reinterpret_cast<BaseDialog*>(GetWindowLongPtrW(window, GWLP_USERDATA));
        if (!self)
            return FALSE;
        return self->DialogProc(message, wParam, lParam);
    }

    // The object bound to a dialog window (a timer procedure finds it so), or null.
    static T* FromWindow(HWND window)
    {
        return static_cast<T*>(reinterpret_cast<BaseDialog*>(GetWindowLongPtrW(window, GWLP_USERDATA)));
    }

    HWND Window() const { return m_window; }
    int Result() const { return m_result; }

protected:
    // The message result a handled message leaves for the dialog manager.
    INT_PTR Answer(LONG_PTR messageResult)
    {
        SetWindowLongPtrW(m_window, DWLP_MSGRESULT, messageResult);
        return TRUE;
    }

    UINT m_templateId;
    HWND m_parent;
    HINSTANCE m_instance;
    HWND m_window = nullptr;
    int m_result = 0;
};

} // namespace devices
