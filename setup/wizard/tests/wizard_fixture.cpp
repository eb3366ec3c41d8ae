#include "wizard_fixture.h"

namespace kgsetup::testing
{

void PrepareMachine()
{
    const char16_t version[] = u"11.0.19041.0";
    // Both views: the 32-bit build reads its own.
    for (sim::RegistryView view : {sim::RegistryView::Native, sim::RegistryView::Wow32})
        sim::registry().SetValue(HKEY_LOCAL_MACHINE, u"Software\\Microsoft\\Internet Explorer", u"Version",
                                 REG_SZ, {reinterpret_cast<const BYTE*>(version), sizeof version}, view);
    D().RegisterResources(u"test.exe", KGSETUP_RC);
}

DWORD RunWizard(const std::function<void(CSetupContext&)>& adjust, const sim::Desktop::Script& script)
{
    return D().Run(
        [&]() -> DWORD {
            *g_setupContext = std::make_unique<CSetupContext>();
            adjust(Context());
            DWORD result;
            {
                CSetupWizard wizard;
                result = wizard.Create(GetModuleHandleW(nullptr), Context().Text(4))
                             ? static_cast<DWORD>(wizard.Run())
                             : 0xDEAD;
            }
            g_setupContext->reset();
            return result;
        },
        script);
}

DWORD RunPages(const std::function<void(CSetupContext&)>& adjust,
               const std::function<std::vector<HPROPSHEETPAGE>(PROPSHEETPAGEW&)>& makePages,
               const sim::Desktop::Script& script)
{
    return D().Run(
        [&]() -> DWORD {
            *g_setupContext = std::make_unique<CSetupContext>();
            adjust(Context());
            g_wizard->instance = GetModuleHandleW(nullptr);
            PROPSHEETPAGEW record{};
            record.dwSize = sizeof record;
            record.hInstance = g_wizard->instance;
            record.dwFlags = PSP_USEHEADERTITLE | PSP_USEHEADERSUBTITLE;
            record.pszHeaderTitle = u"";
            record.pszHeaderSubTitle = u"";
            std::vector<HPROPSHEETPAGE> pages = makePages(record);
            PROPSHEETHEADERW header{};
            header.dwSize = sizeof header;
            header.dwFlags = PSH_WIZARD97 | PSH_HEADER;
            header.hInstance = g_wizard->instance;
            header.pszCaption = u"Test";
            header.nPages = static_cast<UINT>(pages.size());
            header.phpage = pages.data();
            DWORD result = static_cast<DWORD>(PropertySheetW(&header));
            g_setupContext->reset();
            return result;
        },
        script);
}

HWND Sheet()
{
    return D().TopWindow();
}

UINT CurrentPage()
{
    HWND sheet = Sheet();
    auto page = static_cast<WPARAM>(SendMessageW(sheet, PSM_GETCURRENTPAGEHWND, 0, 0));
    LRESULT index = SendMessageW(sheet, PSM_HWNDTOINDEX, page, 0);
    return static_cast<UINT>(SendMessageW(sheet, PSM_INDEXTOID, static_cast<WPARAM>(index), 0));
}

void ClickNext()
{
    D().Click(D().Control(Sheet(), 0x3024));
}

void ClickBack()
{
    D().Click(D().Control(Sheet(), 0x3023));
}

WString HeaderTitle()
{
    return D().Text(D().Control(Sheet(), sim::kSheetHeaderTitle));
}

} // namespace kgsetup::testing
