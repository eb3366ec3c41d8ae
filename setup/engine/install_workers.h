// The install workers: the classic driver (VelmoQ7.inf) or the package driver (VeKglV4.inf) with its
// companion files and device metadata, installed step by step on the progress logic's thread.
#pragma once

#include "driver_package.h"
#include "progress.h"
#include "v4_companion.h"

#include <memory>
#include <string>

namespace kgsetup
{

inline constexpr WCHAR kMetadataPackageId[] = TEXT("9873ecfa-0137-40b9-84d7-8521109bc5bd");
inline constexpr WCHAR kMetadataFile[] = TEXT("9873ecfa-0137-40b9-84d7-8521109bc5bd.devicemetadata-ms");

// %ProgramData% as the environment gives it; empty when it is not set.
WString ProgramDataFolder();
// The package's folder of the install language, with or without its driver folder; empty when
// the package names none (never a bare file name).
WString LanguageFolder(const CSetupContext& context, bool withDriverFolder, bool isV4);
// The store's folders, which a copy into it does not make.
void MakeMetadataStoreFolder(const WString& programData);
// Every install and update ends by registering the setup program as the driver's uninstaller: a
// success (0x00010000-0x000F0000) is reported only once it is in place, else 0x64000000.
UINT RegisterForResult(CSetupContext& context, UINT result);

// The metadata store's folder, its copy of the file and the cache of the package under a ProgramData
// folder.
WString MetadataStoreFolder(const WString& programData);
WString MetadataStoreFile(const WString& programData);
WString MetadataCacheFolder(const WString& programData);
// Deletes the store's copy of the package's metadata and its cache; what is not there counts as
// deleted. S_OK, else the first failure.
HRESULT DeleteDeviceMetadata(const WString& programData);

enum class TicketEdit
{
    Edited,    // "psk:Off" turned to "psk:On"
    AlreadyOn, // nothing to do
    NoFeature, // neither text: the ticket is not one to edit
};
// Switches the job's print-to-file feature on in a print ticket's bytes.
TicketEdit EditPrintToFileTicket(std::string& ticket);

// Sets the new printer's print-to-file option in its default settings and restarts the spooler so
// they take: 0 when done, else the status to report (0x64000000, 0x0F000000).
UINT SetPrintToFileOption(CSetupContext& context, const WString& printerName);

// The model of the package a step installs: the first whose name ends with `suffix`; empty for an
// empty suffix or none.
WString ModelEndingWith(const std::vector<WString>& models, const WString& suffix);

class CThreadInstallV3 : public CThreadInstallBase
{
public:
    CThreadInstallV3(std::weak_ptr<CMethodProgressBase> progress, CSetupContext& context);
    void Run() override;
    std::map<UINT, int> BuildStepMessages() const override;

private:
    void Start();
    void CopyDriver();
    void RegisterDriver();
    void AddPrinter();
    void Result();

    std::unique_ptr<CDriverPackage> package_;
    WORD connectionKind_ = 0;
};

class CThreadInstallV4 : public CThreadInstallBase
{
public:
    CThreadInstallV4(std::weak_ptr<CMethodProgressBase> progress, CSetupContext& context);
    void Run() override;
    std::map<UINT, int> BuildStepMessages() const override;

    WString monitorFolder;
    WString metadataFolder;
    std::unique_ptr<CV4CompanionFiles> companions;

private:
    void Start();
    void CopyMetadata();
    void RegisterMonitor();
    void CopyDriver();
    void RegisterDriver();
    void AddPrinter();
    void Result();
    // On a machine that had no package driver of the maker, a failure that leaves none in the store
    // takes back the companions and metadata the run put: nothing else would ever remove them.
    void TakeBackAfterFailure();

    std::unique_ptr<CDriverPackage> package_;
    WORD connectionKind_ = 0;
    bool driverBefore_ = false;
    bool metadataPut_ = false;
    bool companionsPut_ = false;
};

} // namespace kgsetup
