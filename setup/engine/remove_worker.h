// The remove worker: the printers checked on the Remove page with their jobs and ports, then every
// maker driver and driver package no printer uses any more, and as `flags` ask the package driver's
// companions and metadata and the classic driver's pieces. Also the second half of a package-driver
// install that replaces the classic one.
#pragma once

#include "driver_package.h"
#include "inventory.h"
#include "progress.h"
#include "v4_companion.h"

#include <memory>

namespace kgsetup
{

inline constexpr UINT kFlagRemoveV3 = 0x08;
inline constexpr UINT kFlagRemoveV4 = 0x10;

// The maker INFs that count for these flags: both kinds or neither 1, the classic driver's 5, the
// package driver's 3.
INT FilterForFlags(UINT flags);

class CThreadRemove : public CThreadRemoveBase
{
public:
    CThreadRemove(std::weak_ptr<CMethodProgressBase> progress, CSetupContext& context);
    void Run() override;
    std::map<UINT, int> BuildStepMessages() const override;

    std::unique_ptr<CV4CompanionFiles> companions;
    WString monitorFolder;
    std::unique_ptr<CDriverPackage> package;
    std::unique_ptr<CInstalledInventory> inventory;

private:
    // The maker INFs, their drivers, printers and jobs scanned anew with `filter`; the error when a
    // list could not be read whole, 0 otherwise.
    DWORD Rescan(INT filter);
    UINT CancelJobs();
    UINT RemovePrinters();
    UINT RemoveDrivers();
    UINT RemovePackages();
    UINT RemoveCompanions();
    UINT RemoveMetadata();
    void Check();

    // A removal that goes on from an install takes only the classic driver's INFs and drivers.
    bool continuesInstall_ = false;
    UINT flags_ = 0;
};

} // namespace kgsetup
