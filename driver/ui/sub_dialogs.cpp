#include "sub_dialogs.h"

#include "activation.h"
#include "page_common.h"
#include "preview_plan.h"
#include "ui_strings.h"
#include "user_papers.h"

#include <platform/boundary.h>

#include <algorithm>
#include <iterator>

#ifndef VELMO_UI_BUILD_YEAR
#error "the build gives the year of the build"
#endif

namespace velmoui
{

namespace
{
WString Str(UINT id)
{
    return UiString(id);
}

WString TextOf(HWND window)
{
    int length = GetWindowTextLengthW(window);
    WString text(static_cast<size_t>(std::max(length, 0)) + 1, 0);
    int n = GetWindowTextW(window, text.data(), static_cast<int>(text.size()));
    text.resize(static_cast<size_t>(std::max(n, 0)));
    return text;
}

UINT ScreenDpi()
{
    HDC screen = GetDC(nullptr);
    if (!screen)
        return 96;
    int dpi = GetDeviceCaps(screen, LOGPIXELSX);
    ReleaseDC(nullptr, screen);
    return dpi > 0 ? static_cast<UINT>(dpi) : 96;
}

// A bitmap resource for the screen: above 96 dpi reloaded at (dpi·size + 48) / 96.
HBITMAP LoadScreenBitmap(WORD id)
{
    auto load = [id](int cx, int cy) {
        return static_cast<HBITMAP>(
            LoadImageW(ModuleInstance(), MAKEINTRESOURCEW(id), IMAGE_BITMAP, cx, cy, LR_DEFAULTCOLOR));
    };
    HBITMAP bitmap = load(0, 0);
    const UINT dpi = ScreenDpi();
    BITMAP info{};
    if (!bitmap || dpi <= 96 || GetObjectW(bitmap, sizeof info, &info) != sizeof info)
        return bitmap;
    HBITMAP scaled = load(ScaledExtent(info.bmWidth, dpi), ScaledExtent(info.bmHeight, dpi));
    if (!scaled)
        return bitmap;
    DeleteObject(bitmap);
    return scaled;
}

// The pictures a dialog shows; a static does not own its bitmap, so they go when the dialog has gone.
class Pictures
{
public:
    Pictures() = default;
    Pictures(const Pictures&) = delete;
    Pictures& operator=(const Pictures&) = delete;
    ~Pictures()
    {
        for (HBITMAP b : loaded_)
            DeleteObject(b);
    }

    void Show(HWND dialog, int control, WORD bitmap)
    {
        HWND picture = GetDlgItem(dialog, control);
        if (!picture)
            return;
        HBITMAP b = LoadScreenBitmap(bitmap);
        if (!b)
            return; // no picture, the choice still works
        loaded_.push_back(b);
        SendMessageW(picture, STM_SETIMAGE, IMAGE_BITMAP, reinterpret_cast<LPARAM>(b));
    }

private:
    std::vector<HBITMAP> loaded_;
};

// The dialog procedure over a dialog object handed over as the creation parameter; the object lives
// on the caller's stack for the whole modal run.
template <typename D> INT_PTR CALLBACK DialogProc(HWND dialog, UINT message, WPARAM wParam, LPARAM lParam)
{
    return platform::Boundary(INT_PTR{FALSE}, [&]() -> INT_PTR {
        if (message == WM_INITDIALOG)
        {
            auto* d = reinterpret_cast<D*>(lParam);
            SetWindowLongPtrW(dialog, DWLP_USER, lParam);
            d->dialog = dialog;
            return d->Init();
        }
        auto* d = reinterpret_cast<D*>(GetWindowLongPtrW(dialog, DWLP_USER));
        if (!d)
            return FALSE;
        if (message == WM_COMMAND)
            return d->Command(LOWORD(wParam), HIWORD(wParam));
        if (message == WM_CLOSE)
            return d->Command(IDCANCEL, BN_CLICKED);
        if (message == WM_DESTROY)
        {
            d->Destroy();
            SetWindowLongPtrW(dialog, DWLP_USER, 0);
            return FALSE;
        }
        return d->Other(message, wParam, lParam);
    });
}

// The system's text for `error`, or its code where the system has none.
WString SystemText(DWORD error)
{
    WCHAR text[512] = {};
    DWORD n = FormatMessageW(FORMAT_MESSAGE_FROM_SYSTEM | FORMAT_MESSAGE_IGNORE_INSERTS, nullptr, error, 0,
                             text, static_cast<DWORD>(std::size(text)), nullptr);
    if (n)
        return WString(text, n);
    WString code = TEXT("0x");
    for (int shift = 28; shift >= 0; shift -= 4)
        code += TEXT("0123456789ABCDEF")[(error >> shift) & 0xF];
    return code;
}

// A dialog the system would not make (its windows refused) would otherwise leave the click without
// an answer: the user is told why, under the sheet's caption, and the caller still sees -1 with the
// refusal's code.
void ReportRefusedDialog(HWND page)
{
    const DWORD error = GetLastError();
    HWND sheet = page ? GetParent(page) : nullptr;
    WCHAR caption[256] = {};
    if (sheet)
        GetWindowTextW(sheet, caption, static_cast<int>(std::size(caption)));
    MessageBoxW(page, SystemText(error).c_str(), caption, MB_OK | MB_ICONERROR | MB_SETFOREGROUND);
    SetLastError(error);
}

template <typename D> INT_PTR Run(HWND page, WORD templateId, D& d)
{
    INT_PTR answer;
    {
        ModuleActivation active;
        answer = DialogBoxParamW(ModuleInstance(), MAKEINTRESOURCEW(templateId), page, DialogProc<D>,
                                 reinterpret_cast<LPARAM>(&d));
    }
    if (answer == -1)
        ReportRefusedDialog(page);
    return answer;
}

struct DialogBase
{
    HWND dialog = nullptr;
    HWND Item(int id) const { return GetDlgItem(dialog, id); }
    void Destroy() {}
    INT_PTR Other(UINT, WPARAM, LPARAM) { return FALSE; }
};

// ---- User paper sizes ---------------------------------------------------------------------------------

constexpr int kPaperList = 2001, kPaperName = 2003, kWidth = 2006, kWidthRange = 2007, kHeight = 2009,
              kHeightRange = 2010, kMillimetres = 2011, kInches = 2012, kDelete = 2015, kRegister = 2017;

class UserPaperDialog : public DialogBase
{
public:
    UserPaperDialog(SheetState& state, const WString& caption) : state_(state), caption_(caption) {}

    INT_PTR Init()
    {
        work_ = static_cast<UserPaperWork*>(GlobalAlloc(GPTR, sizeof(UserPaperWork)));
        if (!work_)
        {
            EndDialog(dialog, 2);
            return TRUE;
        }
        const SettingsRecord& r = state_.working;
        LoadUserPapers(*work_, r, Str(551));
        inches_ = r.userPaperFlag == 1;
        decimal_ = DecimalSeparator();
        SendDlgItemMessageW(dialog, kPaperName, EM_LIMITTEXT, kUserPaperNameChars, 0);
        SendDlgItemMessageW(dialog, kWidth, EM_LIMITTEXT, kSizeChars, 0);
        SendDlgItemMessageW(dialog, kHeight, EM_LIMITTEXT, kSizeChars, 0);
        CheckRadioButton(dialog, kMillimetres, kInches, inches_ ? kInches : kMillimetres);
        FillList(0);
        ShowRow(0);
        ShowRanges();
        return TRUE;
    }

    void Destroy()
    {
        if (work_)
            GlobalFree(work_);
        work_ = nullptr;
    }

    INT_PTR Command(int control, int code)
    {
        if (loading_ || !work_)
            return FALSE;
        switch (control)
        {
        case kPaperList:
            if (code == LBN_SELCHANGE)
                ShowRow(Selected());
            return TRUE;
        case kPaperName:
            if (code == EN_CHANGE)
                EnableButtons();
            return TRUE;
        case kWidth:
        case kHeight:
            if (code == EN_KILLFOCUS)
                ClampEdit(control);
            return TRUE;
        case kMillimetres:
        case kInches:
            if (code == BN_CLICKED)
            {
                inches_ = control == kInches;
                ShowSizes();
                ShowRanges();
            }
            return TRUE;
        case kRegister:
            if (code == BN_CLICKED)
                Register();
            return TRUE;
        case kDelete:
            if (code == BN_CLICKED)
                Delete();
            return TRUE;
        case IDOK:
            StoreUserPapers(state_.working, *work_, inches_);
            EndDialog(dialog, IDOK);
            return TRUE;
        case IDCANCEL:
            EndDialog(dialog, IDCANCEL);
            return TRUE;
        default:
            return FALSE;
        }
    }

private:
    WString Unit() const { return Str(inches_ ? 608 : 609); }
    WString Show(LONG tenths) const { return ShowSize(tenths, inches_, decimal_); }

    void SetText(int id, const WString& text)
    {
        loading_ = true;
        SetDlgItemTextW(dialog, id, text.c_str());
        loading_ = false;
    }

    int Selected() const
    {
        return static_cast<int>(SendDlgItemMessageW(dialog, kPaperList, LB_GETCURSEL, 0, 0));
    }

    void FillList(int select)
    {
        HWND list = Item(kPaperList);
        SendMessageW(list, LB_RESETCONTENT, 0, 0);
        SendMessageW(list, LB_ADDSTRING, 0, reinterpret_cast<LPARAM>(work_->customName));
        for (int i = 0; i < work_->count; ++i)
            SendMessageW(list, LB_ADDSTRING, 0, reinterpret_cast<LPARAM>(work_->papers[i].name));
        SendMessageW(list, LB_SETCURSEL, static_cast<WPARAM>(std::clamp(select, 0, work_->count)), 0);
    }

    // The row's name and size into the edits (the custom row is row 0).
    void ShowRow(int row)
    {
        if (row <= 0)
        {
            SetText(kPaperName, work_->customName);
            width_ = work_->customWidth;
            height_ = work_->customHeight;
        }
        else if (row <= work_->count)
        {
            const velmo::UserPaper& p = work_->papers[row - 1];
            SetText(kPaperName, p.name);
            width_ = p.width;
            height_ = p.height;
        }
        ShowSizes();
        EnableButtons();
    }

    void ShowSizes()
    {
        SetText(kWidth, Show(width_));
        SetText(kHeight, Show(height_));
    }

    void ShowRanges()
    {
        const WString format = Str(596);
        SetText(kWidthRange,
                FormatTexts(format, {Unit(), Show(work_->minSize.width), Show(work_->maxSize.width)}));
        SetText(kHeightRange,
                FormatTexts(format, {Unit(), Show(work_->minSize.height), Show(work_->maxSize.height)}));
    }

    void EnableButtons()
    {
        EnableWindow(Item(kRegister), CanRegister(*work_, TextOf(Item(kPaperName))) ? TRUE : FALSE);
        const int row = Selected();
        EnableWindow(Item(kDelete), row >= 1 && row <= work_->count ? TRUE : FALSE);
    }

    // What the edit holds in 0.1 mm; its last value when it holds no number.
    int64_t Typed(int control) const
    {
        auto v = ReadSize(TextOf(Item(control)), inches_);
        return v ? *v : (control == kWidth ? width_ : height_);
    }

    void ClampEdit(int control)
    {
        const bool width = control == kWidth;
        LONG low = width ? work_->minSize.width : work_->minSize.height;
        LONG high = width ? work_->maxSize.width : work_->maxSize.height;
        LONG v = Clamp(Typed(control), low, high);
        (width ? width_ : height_) = v;
        SetText(control, Show(v));
    }

    void Register()
    {
        const int64_t w = Typed(kWidth), h = Typed(kHeight);
        const LONG width = Clamp(w, -1, 0x7FFFFFFF), height = Clamp(h, -1, 0x7FFFFFFF);
        Registered done = RegisterPaper(*work_, TextOf(Item(kPaperName)), width, height);
        if (done.result == RegisterResult::WidthOutside || done.result == RegisterResult::HeightOutside)
        {
            const bool wide = done.result == RegisterResult::WidthOutside;
            WString text = FormatTexts(Str(wide ? 567 : 566),
                                       {Show(wide ? work_->minSize.width : work_->minSize.height),
                                        Show(wide ? work_->maxSize.width : work_->maxSize.height), Unit()});
            MessageBoxW(dialog, text.c_str(), caption_.c_str(), MB_SETFOREGROUND | MB_ICONERROR);
            return;
        }
        if (done.row < 0)
            return;
        width_ = width;
        height_ = height;
        FillList(done.row);
        ShowRow(done.row);
    }

    void Delete()
    {
        const int row = Selected();
        if (!DeleteUserPaper(*work_, row - 1))
            return;
        const int next = std::min(row, work_->count);
        FillList(next);
        ShowRow(next);
    }

    SheetState& state_;
    WString caption_;
    UserPaperWork* work_ = nullptr;
    bool inches_ = false;
    bool loading_ = false;
    WString decimal_;
    LONG width_ = 0;
    LONG height_ = 0;
};

// ---- N-up order and booklet binding -------------------------------------------------------------------

constexpr int kOrderButtons[4] = {2101, 2103, 2105, 2107};
constexpr int kBindLeft = 2201, kBindRight = 2203;

// A picture sits just after its button and clicks it.
int ButtonOfPicture(int picture)
{
    return picture - 1;
}

class OrderDialog : public DialogBase
{
public:
    explicit OrderDialog(SettingsRecord& r) : r_(r) {}

    INT_PTR Init()
    {
        OrderView view = OrderDialogView(r_.pagesPerSheet, r_.orientation, r_.nupOrder);
        for (int button : kOrderButtons)
        {
            const bool shown = std::any_of(view.choices.begin(), view.choices.end(),
                                           [&](const OrderChoice& c) { return c.button == button; });
            ShowWindow(Item(button), shown ? SW_SHOW : SW_HIDE);
            ShowWindow(Item(button + 1), shown ? SW_SHOW : SW_HIDE);
        }
        for (const OrderChoice& c : view.choices)
        {
            if (c.label)
                SetDlgItemTextW(dialog, c.button, Str(c.label).c_str());
            CheckDlgButton(dialog, c.button, c.checked ? BST_CHECKED : BST_UNCHECKED);
            EnableWindow(Item(c.button), view.enabled ? TRUE : FALSE);
            pictures_.Show(dialog, c.button + 1, c.bitmap);
        }
        return TRUE;
    }

    INT_PTR Command(int control, int code)
    {
        if (code == STN_CLICKED && std::find(std::begin(kOrderButtons), std::end(kOrderButtons),
                                             ButtonOfPicture(control)) != std::end(kOrderButtons))
        {
            SendMessageW(Item(ButtonOfPicture(control)), BM_CLICK, 0, 0);
            return TRUE;
        }
        if (control == IDOK)
        {
            int checked = 0;
            for (int button : kOrderButtons)
                if (IsWindowVisible(Item(button)) && IsDlgButtonChecked(dialog, button) == BST_CHECKED)
                {
                    checked = button;
                    break;
                }
            r_.nupOrder = OrderOfButton(checked);
            EndDialog(dialog, IDOK);
            return TRUE;
        }
        if (control == IDCANCEL)
        {
            EndDialog(dialog, IDCANCEL);
            return TRUE;
        }
        return FALSE;
    }

private:
    SettingsRecord& r_;
    Pictures pictures_;
};

class BindingDialog : public DialogBase
{
public:
    explicit BindingDialog(SettingsRecord& r) : r_(r) {}

    INT_PTR Init()
    {
        CheckRadioButton(dialog, kBindLeft, kBindRight, r_.bookletOpening == 0 ? kBindLeft : kBindRight);
        pictures_.Show(dialog, kBindLeft + 1, 297);
        pictures_.Show(dialog, kBindRight + 1, 298);
        return TRUE;
    }

    INT_PTR Command(int control, int code)
    {
        if (code == STN_CLICKED &&
            (ButtonOfPicture(control) == kBindLeft || ButtonOfPicture(control) == kBindRight))
        {
            SendMessageW(Item(ButtonOfPicture(control)), BM_CLICK, 0, 0);
            return TRUE;
        }
        if (control == IDOK)
        {
            r_.bookletOpening = IsDlgButtonChecked(dialog, kBindLeft) == BST_CHECKED ? 0 : 1;
            EndDialog(dialog, IDOK);
            return TRUE;
        }
        if (control == IDCANCEL)
        {
            EndDialog(dialog, IDCANCEL);
            return TRUE;
        }
        return FALSE;
    }

private:
    SettingsRecord& r_;
    Pictures pictures_;
};

// ---- User ID ------------------------------------------------------------------------------------------

constexpr int kUserIdText = 2301, kUserIdPicture = 2302;

class UserIdDialog : public DialogBase
{
public:
    explicit UserIdDialog(const WString& caption) : caption_(caption) {}

    INT_PTR Init()
    {
        SetWindowTextW(dialog, caption_.c_str());
        SetDlgItemTextW(dialog, kUserIdText, Str(618).c_str());
        pictures_.Show(dialog, kUserIdPicture, 290);
        return TRUE;
    }

    INT_PTR Command(int control, int)
    {
        if (control != IDOK && control != IDCANCEL)
            return FALSE;
        EndDialog(dialog, IDOK);
        return TRUE;
    }

private:
    WString caption_;
    Pictures pictures_;
};

// ---- About --------------------------------------------------------------------------------------------

constexpr WORD kLogoBitmap = 227;
constexpr int kAboutLogo = 1001, kProductName = 1002, kCoreModule = 1004, kMakerLine = 1005, kLegal = 1007;

class AboutDialog : public DialogBase
{
public:
    INT_PTR Init()
    {
        SetDlgItemTextW(dialog, kProductName, Str(200).c_str());
        SetDlgItemTextW(dialog, kVersionText, VersionText().c_str());
        const bool both = GetKeyState(VK_SHIFT) < 0 && GetKeyState(VK_CONTROL) < 0;
        SetDlgItemTextW(dialog, kCoreModule, both ? CoreModuleText().c_str() : TEXT(""));
        SetDlgItemTextW(dialog, kMakerLine, FormatTexts(Str(518), {BuildYears()}).c_str());
        SetDlgItemTextW(dialog, kLegal, LegalNoticeText().c_str());
        return TRUE;
    }

    INT_PTR Command(int control, int)
    {
        if (control != IDOK && control != IDCANCEL)
            return FALSE;
        EndDialog(dialog, IDOK);
        return TRUE;
    }

    INT_PTR Other(UINT message, WPARAM wParam, LPARAM lParam)
    {
        if (message == WM_DRAWITEM && wParam == kAboutLogo)
        {
            DrawLogo(*reinterpret_cast<const DRAWITEMSTRUCT*>(lParam));
            return TRUE;
        }
        // The legal text stands on the dialog's own background.
        if (message == WM_CTLCOLORSTATIC && reinterpret_cast<HWND>(lParam) == Item(kLegal))
        {
            SetBkMode(reinterpret_cast<HDC>(wParam), TRANSPARENT);
            return reinterpret_cast<INT_PTR>(GetStockObject(NULL_BRUSH));
        }
        return FALSE;
    }

private:
    // The logo centred in the button; nothing when a piece of it cannot be had.
    static void DrawLogo(const DRAWITEMSTRUCT& item)
    {
        FillRect(item.hDC, &item.rcItem, GetSysColorBrush(COLOR_BTNFACE));
        HBITMAP logo = LoadScreenBitmap(kLogoBitmap);
        BITMAP info{};
        if (!logo || GetObjectW(logo, sizeof info, &info) != sizeof info)
        {
            if (logo)
                DeleteObject(logo);
            return;
        }
        if (HDC source = CreateCompatibleDC(item.hDC))
        {
            if (HGDIOBJ old = SelectObject(source, logo))
            {
                const RECT& r = item.rcItem;
                BitBlt(item.hDC, r.left + (r.right - r.left - info.bmWidth) / 2,
                       r.top + (r.bottom - r.top - info.bmHeight) / 2, info.bmWidth, info.bmHeight, source, 0,
                       0, SRCCOPY);
                SelectObject(source, old);
            }
            DeleteDC(source);
        }
        DeleteObject(logo);
    }
};

// Our own notice; the box shows it above a line of stars.
constexpr const WCHAR* kLegalNotice =
    TEXT("This printer driver and its accompanying programs are protected by copyright law and ")
        TEXT("international treaties. Unauthorised copying, changing or distribution of this software, ")
            TEXT("in whole or in part, is prohibited.\r\n\r\n") TEXT(
                "The software is provided as it is, without warranty of any kind. The maker is not liable ")
                TEXT("for any damage arising from its use, to the extent the law allows.");
} // namespace

WString FormatTexts(const WString& format, std::initializer_list<WString> values)
{
    WString out;
    auto next = values.begin();
    for (size_t i = 0; i < format.size(); ++i)
    {
        if (format[i] == u'%' && i + 1 < format.size() && format[i + 1] == u's' && next != values.end())
        {
            out += *next++;
            ++i;
        }
        else
            out += format[i];
    }
    return out;
}

OrderView OrderDialogView(LONG pagesPerSheet, LONG orientation, LONG order)
{
    OrderView view;
    if (pagesPerSheet == 2)
    {
        view.choices = {{2101, 1, 291, 592, (order & 0x3) != 0}, {2105, 4, 292, 591, (order & 0xC) != 0}};
        view.enabled = orientation != DMORIENT_LANDSCAPE;
        return view;
    }
    view.choices = {{2101, 1, 293, 0, order == 1},
                    {2103, 2, 294, 0, order == 2},
                    {2105, 4, 295, 0, order == 4},
                    {2107, 8, 296, 0, order == 8}};
    view.enabled = true;
    return view;
}

LONG OrderOfButton(int checkedButton)
{
    switch (checkedButton)
    {
    case 2103:
        return 2;
    case 2105:
        return 4;
    case 2107:
        return 8;
    default:
        return 1;
    }
}

WString CoreModuleText()
{
    return FormatTexts(TEXT("Core Module %s"), {TEXT("Ver9.00.00")});
}

WString BuildYears()
{
    const char* year = VELMO_UI_BUILD_YEAR;
    WString text;
    for (; *year; ++year)
        text += static_cast<WCHAR>(*year);
    return text;
}

WString LegalNoticeText()
{
    return WString(kLegalNotice) + TEXT("\r\n********************************\r\n\r\n");
}

INT_PTR RunUserPaperDialog(HWND page, SheetState& state, const WString& caption)
{
    UserPaperDialog d(state, caption);
    return Run(page, kUserPaperDialog, d);
}

INT_PTR RunOrderDialog(HWND page, SettingsRecord& r)
{
    OrderDialog d(r);
    return Run(page, kOrderDialog, d);
}

INT_PTR RunBindingDialog(HWND page, SettingsRecord& r)
{
    BindingDialog d(r);
    return Run(page, kBindingDialog, d);
}

INT_PTR RunUserIdDialog(HWND page, const WString& caption)
{
    UserIdDialog d(caption);
    return Run(page, kUserIdDialog, d);
}

INT_PTR RunAboutDialog(HWND page)
{
    AboutDialog d;
    return Run(page, kAboutDialog, d);
}

} // namespace velmoui
