// Test support: a duplicator printer on the simulated machine, served by the graphics driver.
#pragma once

#include <sim/spooler.h>

#include <utility>
#include <vector>

namespace printtest
{

// Where setup puts the graphics driver; the machine loads it by this name (link VELMOQ7_entry for a
// device context to open on the printer).
inline constexpr const WCHAR* kDriverPath = u"C:\\Windows\\System32\\spool\\drivers\\x64\\3\\VELMOQ7.DLL";

// Installs printer `name` of driver (model) `model`, with `defaultDevMode` as its stored defaults.
inline void InstallDuplicator(const WCHAR* name, const WCHAR* model, std::vector<BYTE> defaultDevMode = {})
{
    sim::PrinterSetup p;
    p.name = name;
    p.driverName = model;
    p.driverPath = kDriverPath;
    p.defaultDevMode = std::move(defaultDevMode);
    sim::spooler().AddPrinter(p);
}

} // namespace printtest
