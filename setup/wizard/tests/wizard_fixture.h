// The setup wizard on the simulated desktop: a context made as the program makes it, changed by the
// test, then the sheet shown while a script plays the user.
#pragma once

#include "sheet.h"

#include <gtest/gtest.h>
#include <sim/desktop.h>
#include <sim/machine.h>

#include <functional>
#include <vector>

namespace kgsetup::testing
{

inline sim::Desktop& D()
{
    return sim::desktop();
}

// The machine a setup run needs: a browser new enough, and the wizard's resources for the test's
// own module (the sheet's pages are made from it).
void PrepareMachine();

// Runs the wizard of a context that `adjust` changes after it is made; the sheet's result.
DWORD RunWizard(const std::function<void(CSetupContext&)>& adjust, const sim::Desktop::Script& script);

// Runs a sheet of just the pages `makePages` makes (the first shown first).
DWORD RunPages(const std::function<void(CSetupContext&)>& adjust,
               const std::function<std::vector<HPROPSHEETPAGE>(PROPSHEETPAGEW&)>& makePages,
               const sim::Desktop::Script& script);

HWND Sheet();
// The page the sheet shows, by its dialog id.
UINT CurrentPage();
void ClickNext();
void ClickBack();
WString HeaderTitle();

} // namespace kgsetup::testing
