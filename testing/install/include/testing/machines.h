// Test support: the machines the setup tests start from: the test packages copied onto the simulated
// machine, and packages already in the driver store with a driver installed from each.
#pragma once

#include "install_workers.h"
#include "v4_companion.h"

#include <platform/setupapi.h>
#include <platform/winspool.h>
#include <platform/winsvc.h>
#include <sim/machine.h>
#include <sim/spooler.h>

#include <fstream>
#include <iterator>
#include <sstream>
#include <string>

namespace kgsetup::test
{

inline const WString kV3Inf = u"C:\\Pkg\\Win64\\VelmoQ7.inf";
inline const WString kV4Inf = u"C:\\Pkg\\Driver\\VeKglV4.inf";
inline const WString kSharedModel = u"Velmo KG-100"; // in both packages

inline std::string FixtureBytes(const std::string& relative)
{
    std::ifstream in(std::string(INSTALL_FIXTURES) + "/" + relative, std::ios::binary);
    return std::string(std::istreambuf_iterator<char>(in), {});
}

// Copies a fixture folder's files into a folder of the machine.
inline void PutFixtures(const std::string& folder, const WString& target,
                        std::initializer_list<const char*> files)
{
    for (const char* f : files)
        sim::files().Put(target + u"\\" + WString(f, f + std::char_traits<char>::length(f)),
                         FixtureBytes(folder + "/" + f));
}

// The packages in their folders under `root`: the setup program's own folder finds them there.
inline void PutV3Package(const WString& root = u"C:\\Pkg")
{
    PutFixtures("v3", root + u"\\Win64",
                {"VelmoQ7.inf", "VelmoQ7.spd", "VELMOQ7.DLL", "VelmQ7UI.DLL", "KglPrint.dll"});
}

inline void PutV4Package(const WString& root = u"C:\\Pkg")
{
    PutFixtures("v4", root + u"\\Driver",
                {"VeKglV4.inf", "VeKglV4.gpd", "VeKglV4-PrintToFile.gpd", "VeKglV4-manifest.ini"});
}

// The V4 package with all its install brings beside it: the companion files (whose service program
// makes its service with " -install" and deletes it with " -remove"), the device metadata, and the
// machine's shell and start menu a user has.
inline void PutCompleteV4Package(const WString& root = u"C:\\Pkg")
{
    PutV4Package(root);
    for (const char16_t* f : {u"VeKglV4-OUSUPX.dll", u"VeKglV4-MONAPI.dll", u"VeKglV4-MONSVR.exe",
                              u"VeKglV4-SMON.dll", u"VeKglV4-OUSVRX.exe"})
        sim::files().Put(root + u"\\Monitor\\x64\\" + f, "companion");
    sim::files().Put(root + u"\\DeviceApp\\en\\" + WString(kMetadataFile), "metadata package");
    sim::processes().RegisterStandIn(u"VeKglV4-OUSVRX.exe", [](const sim::StartedProcess& p) -> DWORD {
        SC_HANDLE manager = OpenSCManagerW(nullptr, nullptr, SC_MANAGER_ALL_ACCESS);
        if (p.commandLine.ends_with(u" -install"))
        {
            WString path = u"C:\\Windows\\System32\\VeKglV4-OUSVRX.exe";
            SC_HANDLE service =
                CreateServiceW(manager, CV4CompanionFiles::kServiceName, u"Companion", SERVICE_ALL_ACCESS,
                               SERVICE_WIN32_OWN_PROCESS, SERVICE_AUTO_START, SERVICE_ERROR_NORMAL,
                               path.c_str(), nullptr, nullptr, nullptr, nullptr, nullptr);
            CloseServiceHandle(service);
        }
        DWORD result = 0;
        if (p.commandLine.ends_with(u" -remove"))
        {
            // A failed service call is the program's exit code; a service never made (files copied,
            // the program not run yet) leaves nothing to remove.
            SC_HANDLE service =
                manager ? OpenServiceW(manager, CV4CompanionFiles::kServiceName, SERVICE_ALL_ACCESS)
                        : nullptr;
            SERVICE_STATUS status{};
            if (!service)
                result = GetLastError() == ERROR_SERVICE_DOES_NOT_EXIST ? 0 : GetLastError();
            else if (!ControlService(service, SERVICE_CONTROL_STOP, &status) &&
                     GetLastError() != ERROR_SERVICE_NOT_ACTIVE)
                result = GetLastError();
            // A status that cannot be read ends the wait: the deletion then goes ahead.
            while (service && !result && QueryServiceStatus(service, &status) &&
                   status.dwCurrentState != SERVICE_STOPPED)
                Sleep(250);
            if (service && !result && !DeleteService(service))
                result = GetLastError();
            if (service)
                CloseServiceHandle(service);
        }
        if (manager)
            CloseServiceHandle(manager);
        return result;
    });
    sim::ProcessSetup explorer;
    explorer.imagePath = u"C:\\Windows\\explorer.exe";
    explorer.shell = true;
    sim::processes().Add(explorer);
    sim::files().Put(u"C:\\ProgramData\\Microsoft\\Windows\\Start Menu\\Programs\\desktop.ini");
}

// Uploads a package through the spooler and installs one driver from it; the published oemNN.inf.
inline WString InstallThroughSpooler(const WString& inf, const WString& model)
{
    WCHAR out[MAX_PATH] = {};
    ULONG size = MAX_PATH;
    if (UploadPrinterDriverPackageW(nullptr, inf.c_str(), nullptr, UPDP_UPLOAD_ALWAYS, nullptr, out, &size) !=
            0 ||
        InstallPrinterDriverFromPackageW(nullptr, out, model.c_str(), nullptr, IPDFP_COPY_ALL_FILES) != 0)
        return WString();
    for (const sim::StorePackage& p : sim::spooler().Packages())
        if (p.storeInfPath == out)
            return p.publishedName;
    return WString();
}

inline WString MachineWithV3()
{
    PutV3Package();
    return InstallThroughSpooler(kV3Inf, kSharedModel);
}

inline WString MachineWithV4()
{
    PutV4Package();
    return InstallThroughSpooler(kV4Inf, kSharedModel);
}

} // namespace kgsetup::test
