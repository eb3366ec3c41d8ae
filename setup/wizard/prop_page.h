// Objects tied to dialogs: a wizard page object per page of the sheet, a dialog object per modal
// dialog. The window keeps its object in its user data; every message reaches the object's handlers.
#pragma once

#include <platform/commctrl.h>
#include <platform/windows.h>

#include <memory>

namespace kgsetup
{

template <typename T> class CBasePropPage
{
public:
    explicit CBasePropPage(UINT dialogId) : dialogId(dialogId) {}
    virtual ~CBasePropPage() = default;
    CBasePropPage(const CBasePropPage&) = delete;
    CBasePropPage& operator=(const CBasePropPage&) = delete;

    virtual BOOL OnInitDialog(HWND hwnd, WPARAM wParam, LPARAM lParam) = 0;
    virtual void OnCommand(HWND hwnd, int controlId, HWND control, UINT notifyCode) = 0;
    virtual LRESULT OnNotify(HWND hwnd, int controlId, NMHDR* header) = 0;
    virtual LRESULT OnClose(HWND) { return 0; }
    virtual HBRUSH OnCtlColor(HWND, HDC, HWND, int) { return nullptr; }
    // Any other message; FALSE when the page does not handle it.
    virtual INT_PTR OnMessage(HWND, UINT, WPARAM, LPARAM) { return FALSE; }

    // The page of the sheet for this object: its template, the object and the shared procedure.
    HPROPSHEETPAGE CreatePage(PROPSHEETPAGEW& page);

    UINT dialogId;
    HWND hwnd = nullptr;
};

// WM_CTLCOLORSTATIC's kind, as CTLCOLOR_STATIC numbers it.
inline constexpr int kCtlColorStatic = 6;

template <typename T>
INT_PTR CALLBACK StaticPropPageProc(HWND hwnd, UINT message, WPARAM wParam, LPARAM lParam)
{
    CBasePropPage<T>* page = nullptr;
    if (message == WM_INITDIALOG)
    {
        auto* sheetPage = reinterpret_cast<PROPSHEETPAGEW*>(lParam);
        page = sheetPage ? static_cast<CBasePropPage<T>*>(reinterpret_cast<T*>(sheetPage->lParam)) : nullptr;
        if (page)
        {
            SetWindowLongPtrW(hwnd, GWLP_USERDATA, reinterpret_cast<LONG_PTR>(page));
            page->hwnd = hwnd;
        }
    }
    else
        page = reinterpret_cast<CBasePropPage<T>*>(GetWindowLongPtrW(hwnd, GWLP_USERDATA));
    if (!page)
        return FALSE;
    switch (message)
    {
    case WM_CLOSE:
        page->OnClose(hwnd);
        SetWindowLongPtrW(hwnd, DWLP_MSGRESULT, 0);
        return TRUE;
    case WM_NOTIFY:
        return page->OnNotify(hwnd, static_cast<int>(wParam), reinterpret_cast<NMHDR*>(lParam));
    case WM_INITDIALOG:
        return page->OnInitDialog(hwnd, wParam, lParam);
    case WM_COMMAND:
        page->OnCommand(hwnd, LOWORD(wParam), reinterpret_cast<HWND>(lParam), HIWORD(wParam));
        SetWindowLongPtrW(hwnd, DWLP_MSGRESULT, 0);
        return TRUE;
    case WM_CTLCOLORSTATIC:
        return reinterpret_cast<INT_PTR>(page->OnCtlColor(hwnd, reinterpret_cast<HDC>(wParam),
                                                          reinterpret_cast<HWND>(lParam), kCtlColorStatic));
    default:
        return page->OnMessage(hwnd, message, wParam, lParam);
    }
}

template <typename T> HPROPSHEETPAGE CBasePropPage<T>::CreatePage(PROPSHEETPAGEW& page)
{
    page.pszTemplate = MAKEINTRESOURCEW(dialogId);
    page.lParam = reinterpret_cast<LPARAM>(static_cast<T*>(this));
    page.pfnDlgProc = &StaticPropPageProc<T>;
    return CreatePropertySheetPageW(&page);
}

template <typename T> class CBaseDialog
{
public:
    CBaseDialog() = default;
    virtual ~CBaseDialog() = default;
    CBaseDialog(const CBaseDialog&) = delete;
    CBaseDialog& operator=(const CBaseDialog&) = delete;

    virtual BOOL OnInitDialog(HWND, WPARAM, LPARAM) { return TRUE; }
    virtual void OnCommand(HWND, int, HWND, UINT) {}
    virtual LRESULT OnNotify(HWND, int, NMHDR*) { return 0; }
    virtual LRESULT OnClose(HWND hwnd)
    {
        EndDialog(hwnd, 0);
        return 0;
    }
    virtual HBRUSH OnCtlColor(HWND, HDC, HWND, int) { return nullptr; }
    virtual INT_PTR DialogProc(UINT message, WPARAM wParam, LPARAM lParam)
    {
        switch (message)
        {
        case WM_CLOSE:
            OnClose(hwnd);
            SetWindowLongPtrW(hwnd, DWLP_MSGRESULT, 0);
            return TRUE;
        case WM_NOTIFY:
            return OnNotify(hwnd, static_cast<int>(wParam), reinterpret_cast<NMHDR*>(lParam));
        case WM_INITDIALOG:
            return OnInitDialog(hwnd, wParam, lParam);
        case WM_COMMAND:
            OnCommand(hwnd, LOWORD(wParam), reinterpret_cast<HWND>(lParam), HIWORD(wParam));
            SetWindowLongPtrW(hwnd, DWLP_MSGRESULT, 0);
            return TRUE;
        case WM_CTLCOLORSTATIC:
            return reinterpret_cast<INT_PTR>(OnCtlColor(hwnd, reinterpret_cast<HDC>(wParam),
                                                        reinterpret_cast<HWND>(lParam), kCtlColorStatic));
        default:
            return FALSE;
        }
    }

    HWND hwnd = nullptr;
    INT_PTR result = -1;
};

template <typename T> INT_PTR CALLBACK StaticDialogProc(HWND hwnd, UINT message, WPARAM wParam, LPARAM lParam)
{
    CBaseDialog<T>* dialog = nullptr;
    if (message == WM_INITDIALOG)
    {
        dialog = static_cast<CBaseDialog<T>*>(reinterpret_cast<T*>(lParam));
        if (dialog)
        {
            SetWindowLongPtrW(hwnd, GWLP_USERDATA, reinterpret_cast<LONG_PTR>(dialog));
            dialog->hwnd = hwnd;
        }
    }
    else
        dialog = reinterpret_cast<CBaseDialog<T>*>(GetWindowLongPtrW(hwnd, GWLP_USERDATA));
    return dialog ? dialog->DialogProc(message, wParam, lParam) : 0;
}

// Runs the object's dialog modally; the object keeps the result and goes when it is known.
template <typename T>
INT_PTR RunModalDialog(std::unique_ptr<T> dialog, HINSTANCE instance, UINT dialogId, HWND owner)
{
    T* object = dialog.get();
    object->result = DialogBoxParamW(instance, MAKEINTRESOURCEW(dialogId), owner, &StaticDialogProc<T>,
                                     reinterpret_cast<LPARAM>(object));
    return object->result;
}

} // namespace kgsetup
