// The update workers: an installed classic or package driver replaced by the setup package's,
// keeping the user's printers, step by step on the progress logic's thread.
#pragma once

#include "driver_package.h"
#include "inventory.h"
#include "progress.h"
#include "v4_companion.h"

#include <memory>

namespace kgsetup
{

// What both update workers share: the package and the inventory scanned before the new package
// went in, both made on the first step.
class CThreadUpdateCommon : public CThreadUpdateBase
{
public:
    CThreadUpdateCommon(std::weak_ptr<CMethodProgressBase> progress, CSetupContext& context, INT filter);

    WString infPath;
    WString packageFolder;
    std::unique_ptr<CDriverPackage> package;
    std::unique_ptr<CInstalledInventory> inventory;

protected:
    // The installed maker INFs scanned and the package pointed at infPath; false (logged) when the
    // spooler's lists could not be read whole: updating from a partial list would strip printers.
    bool Scan();
    // The next step once uploaded, or the failure to report.
    UINT Upload(UINT next);
    // Each driver of `version` the inventory lists installed again from the new package, and its
    // printers' offline attribute set: as the inventory had it (`keepOffline`) or cleared.
    UINT InstallDrivers(DWORD version, bool keepOffline, UINT next);
    // With `compareResult` 2, the maker INFs of the inventory of `kind` uninstalled.
    UINT UninstallOld(int compareResult, DWORD kind, UINT next);
    // Registration without the shortcut, then 0x00050000 and the end.
    void Complete();

private:
    INT filter_;
};

class CThreadUpdateV3 : public CThreadUpdateCommon
{
public:
    CThreadUpdateV3(std::weak_ptr<CMethodProgressBase> progress, CSetupContext& context);
    void Run() override;
    std::map<UINT, int> BuildStepMessages() const override;
};

class CThreadUpdateV4 : public CThreadUpdateCommon
{
public:
    CThreadUpdateV4(std::weak_ptr<CMethodProgressBase> progress, CSetupContext& context);
    void Run() override;
    std::map<UINT, int> BuildStepMessages() const override;

    WString monitorFolder;
    WString metadataFolder;
    std::unique_ptr<CV4CompanionFiles> companions;

private:
    void Metadata();
};

} // namespace kgsetup
