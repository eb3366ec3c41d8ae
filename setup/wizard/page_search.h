// The "Setup method" page: a printer found on this PC or on the network, connect later, a custom
// install or Print to File, and the driver's install language.
#pragma once

#include "device_search.h"
#include "wizard.h"

#include <memory>
#include <vector>

namespace kgsetup::KGSetupPropertySheet
{

class CPropSheetSearch final : public CBasePropPage<CPropSheetSearch>
{
public:
    CPropSheetSearch();
    ~CPropSheetSearch() override;

    BOOL OnInitDialog(HWND hwnd, WPARAM wParam, LPARAM lParam) override;
    void OnCommand(HWND hwnd, int controlId, HWND control, UINT notifyCode) override;
    LRESULT OnNotify(HWND hwnd, int controlId, NMHDR* header) override;
    INT_PTR OnMessage(HWND hwnd, UINT message, WPARAM wParam, LPARAM lParam) override;

    std::shared_ptr<discoverRX> discover;
    std::shared_ptr<DeviceSearchThread> deviceSearch;
    HWND listView = nullptr;
    std::vector<InstallLanguage> languages; // as the combo lists them
    std::vector<WString> models;
    std::vector<FoundDevice> rows; // the list's rows; each row's item data is its index here

private:
    bool IsCurrent(HWND hwnd) const;
    void StartSearch(HWND hwnd, DWORD timeoutMs);
    void StopSearch();
    void FillLanguages(HWND hwnd);
    void SetTexts(HWND hwnd);
    void ApplyRadio(HWND hwnd, int radio);
    void Pick(HWND hwnd);
};

} // namespace kgsetup::KGSetupPropertySheet
