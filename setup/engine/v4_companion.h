// The package driver's companion files: five files in the system folder and the service one of
// them installs, copied from the driver package, installed, restarted and removed again.
#pragma once

#include <platform/windows.h>

#include <array>
#include <vector>

namespace kgsetup
{

class CV4CompanionFiles
{
public:
    enum State : DWORD
    {
        kNone = 0,
        kInstallFailed = 1,
        kInstalled = 2,
        kRemoveFailed = 3,
        kRemoved = 4,
        kAlreadyExists = 5,
        kNoInputFile = 6,
    };

    static constexpr const WCHAR* kServiceName = TEXT("VeKglV4-OuServiceX");

    // packageFolder holds "x64\" and "x86\" folders, one chosen by the machine's native processor.
    explicit CV4CompanionFiles(WStringView packageFolder);

    // Copies the files, runs the service program with " -install", restarts its service and starts
    // the program with " -uimanage" for the desktop's user. False when nothing could be done, a file
    // was not copied (the program is then not run), the program did not start or failed, or the
    // service does not run.
    bool Install();
    // Runs the service program with " -remove" when it is there, waits for its service to stop and
    // deletes the files present; also on a fresh object. False when the program failed, the service
    // was not seen stopped, or after a failed install or a removal.
    bool Remove();

    const WString& StatusText() const;

    std::vector<WString> files;
    WString targetFolder;
    WString sourceFolder;
    DWORD serviceProgramIndex = 4;
    DWORD state = kNone;
    BYTE installed = 0;
    BYTE sourceComplete = 0;
    DWORD lastError = 0;
    std::array<WString, 7> statusTexts;

private:
    WString ServiceProgram() const;
};

} // namespace kgsetup
