// Test support: the machines the setup tests start from: the test packages copied onto the simulated
// machine, and packages already in the driver store with a driver installed from each.
#pragma once

#include <platform/setupapi.h>
#include <platform/winspool.h>
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
        sim::machine().PutFile(target + u"\\" + WString(f, f + std::char_traits<char>::length(f)),
                               FixtureBytes(folder + "/" + f));
}

inline void PutV3Package()
{
    PutFixtures("v3", u"C:\\Pkg\\Win64",
                {"VelmoQ7.inf", "VelmoQ7.spd", "VELMOQ7.DLL", "VelmQ7UI.DLL", "KglPrint.dll"});
}

inline void PutV4Package()
{
    PutFixtures("v4", u"C:\\Pkg\\Driver",
                {"VeKglV4.inf", "VeKglV4.gpd", "VeKglV4-PrintToFile.gpd", "VeKglV4-manifest.ini"});
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
