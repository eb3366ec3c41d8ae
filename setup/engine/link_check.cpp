// Reaches every public function of the engine, so the Windows link resolves each import it needs.
#include "driver_package.h"
#include "inf_file.h"
#include "inventory.h"

using namespace kgsetup;

int main(int argc, char**)
{
    // Only ever run without arguments, where it does nothing.
    if (argc < 5)
        return 0;
    CDriverPackage package(TEXT("VelmoQ7.inf"));
    package.Upload();
    package.InstallFromPackage(TEXT("Velmo KG-100"));
    package.AddPrinter(TEXT("Velmo KG-100"), TEXT("LPT1:"), true);
    package.UninstallOemInf(TEXT("oem0.inf"));
    package.LoadFilingModels();
    package.ModelHasFile(TEXT("Velmo KG-100"), TEXT("VELMOQ7.DLL"));
    package.Reload(TEXT("VeKglV4.inf"));
    CInfFile inf(TEXT("VelmoQ7.inf"));
    CInstalledInventory inventory(&package);
    int sum = CDriverPackage::CompareDriverVer(TEXT("a.inf"), TEXT("b.inf")) + inventory.HasDrivers(3) +
              static_cast<int>(CDriverPackage::ParseDriverVer(inf.GetModelsSection(), 'v')) +
              static_cast<int>(inf.GetLines(TEXT("Version"), WString()).size()) +
              SetPrinterAttributeBit(nullptr, PRINTER_ATTRIBUTE_ENABLE_BIDI, false) +
              static_cast<int>(EnumPrintersOnPort(TEXT("LPT1:")).count + EnumPrintersByName({}).count);
    return sum;
}
