// The setup wizard's sheet: its page objects, the sequence and the start page of one run.
#pragma once

#include "progress_page.h"
#include "wizard.h"

#include <memory>
#include <vector>

namespace kgsetup
{

// The page objects and the sheet of one run of the wizard.
class CSetupWizard
{
public:
    CSetupWizard();
    ~CSetupWizard();
    CSetupWizard(const CSetupWizard&) = delete;
    CSetupWizard& operator=(const CSetupWizard&) = delete;

    // Makes the pages, the sequence and the start page; false when a page cannot be made.
    bool Create(HINSTANCE instance, const WString& caption);
    // The modal sheet; its result, -1 when it could not be shown.
    INT_PTR Run();

    UINT StartPage() const { return header_.nStartPage; }
    const std::vector<UINT>& PageIds() const { return pageIds_; }

private:
    template <typename Page> void Add(Page& page, PROPSHEETPAGEW record);

    std::unique_ptr<KGSetupPropertySheet::CPropSheetWelcome> welcome_;
    std::unique_ptr<KGSetupPropertySheet::CPropSheetModify> modify_;
    std::unique_ptr<KGSetupPropertySheet::CPropSheetUpdate> update_;
    std::unique_ptr<KGSetupPropertySheet::CPropSheetRemove> remove_;
    std::unique_ptr<KGSetupPropertySheet::CPropSheetSearch> search_;
    std::unique_ptr<KGSetupPropertySheet::CPropSheetPrinter> printer_;
    std::unique_ptr<KGSetupPropertySheet::CPropSheetPort> port_;
    std::unique_ptr<KGSetupPropertySheet::CPropSheetName> name_;
    std::unique_ptr<KGSetupPropertySheet::CPropSheetInstall> install_;
    std::unique_ptr<KGSetupPropertySheet::CPropSheetFinish> finish_;
    std::shared_ptr<KGSetupPropertySheet::CSheetProgress<CInstallProgress>> installProgress_;
    std::shared_ptr<KGSetupPropertySheet::CSheetProgress<CUpdateProgress>> updateProgress_;
    std::shared_ptr<KGSetupPropertySheet::CSheetProgress<CRemoveProgress>> removeProgress_;
    std::vector<HPROPSHEETPAGE> handles_;
    std::vector<UINT> pageIds_;
    WString caption_;
    PROPSHEETHEADERW header_{};
    bool sheetOwnsPages_ = false;
};

} // namespace kgsetup
