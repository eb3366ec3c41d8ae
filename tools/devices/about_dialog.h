// The card tool's about box: product, version and rights from the program's own version record.
#pragma once

#include "base_dialog.h"

namespace tessicard
{

// "1.0.1.10318" cut before its last dot `times` times, while a dot is left ("1.0").
WString CutVersion(WString version, int times);

class CAboutDlg : public devices::BaseDialog<CAboutDlg>
{
public:
    CAboutDlg(HINSTANCE instance, HWND parent);

    INT_PTR OnInitDialog(HWND window, WPARAM wParam, LPARAM lParam) override;
    INT_PTR OnCommand(HWND window, WORD id, HWND control, WORD code) override;
    HBRUSH OnCtlColor(HWND window, HDC dc, HWND control, int kind) override;
};

} // namespace tessicard
