// Each spooler and setup call a package step makes is failed once in turn: the step reports the
// code, and the machine is left as the good run leaves it, or with leftovers that uninstalling the
// new packages and deleting the new printers clean away.
#include "driver_package.h"
#include "machines.h"

#include <gtest/gtest.h>
#include <sim/snapshot.h>

#include <functional>

namespace kgsetup
{
namespace
{
using test::kSharedModel;
using test::kV3Inf;

constexpr DWORD kFault = 31; // ERROR_GEN_FAILURE, seen nowhere else

struct Step
{
    const char* name;
    std::function<void(CDriverPackage&)> before; // brings the package to the step
    std::function<void(CDriverPackage&)> run;
};

void Uploaded(CDriverPackage& p)
{
    p.Upload();
}

void Installed(CDriverPackage& p)
{
    p.Upload();
    p.InstallFromPackage(kSharedModel);
}

void Added(CDriverPackage& p)
{
    Installed(p);
    p.AddPrinter(u"Office", u"LPT1:", true);
}

std::vector<Step> Steps()
{
    return {
        {"Upload", [](CDriverPackage&) {}, Uploaded},
        {"InstallFromPackage", Uploaded, [](CDriverPackage& p) { p.InstallFromPackage(kSharedModel); }},
        {"AddPrinter", Installed, [](CDriverPackage& p) { p.AddPrinter(u"Office", u"LPT1:", true); }},
        {"UninstallOemInf", Added,
         [](CDriverPackage& p) {
             for (const sim::StorePackage& stored : sim::spooler().Packages())
                 p.UninstallOemInf(stored.publishedName);
         }},
    };
}

// Removes what the step may leave behind: packages and printers the start did not have.
void CleanLeftovers(const sim::Snapshot& start)
{
    for (const sim::PrinterSetup& printer : sim::spooler().Printers())
    {
        if (start.entries.count("printer " + std::string(printer.name.begin(), printer.name.end())))
            continue;
        PRINTER_DEFAULTSW all{nullptr, nullptr, PRINTER_ALL_ACCESS};
        HANDLE h = nullptr;
        ASSERT_TRUE(OpenPrinter2W(printer.name.c_str(), &h, &all, nullptr));
        EXPECT_TRUE(DeletePrinter(h));
        ClosePrinter(h);
    }
    for (const sim::StorePackage& stored : sim::spooler().Packages())
    {
        if (start.entries.count("package " +
                                std::string(stored.publishedName.begin(), stored.publishedName.end())))
            continue;
        EXPECT_TRUE(SetupUninstallOEMInfW(stored.publishedName.c_str(), SUOI_FORCEDELETE, nullptr));
    }
}

TEST(FaultSweepTest, EveryFailedCallIsReportedAndLeavesNothingUnclean)
{
    for (const Step& step : Steps())
    {
        SCOPED_TRACE(step.name);
        sim::machine().Reset();
        test::PutV3Package();
        CDriverPackage good(kV3Inf);
        step.before(good);
        const sim::Snapshot start = sim::TakeSnapshot();
        sim::spooler().ClearCalls();
        step.run(good);
        ASSERT_EQ(good.result, 0);
        const std::vector<std::string> calls = sim::spooler().Calls();
        const std::vector<std::string> goodChange = sim::Difference(start, sim::TakeSnapshot());
        ASSERT_FALSE(calls.empty());
        ASSERT_FALSE(goodChange.empty());

        for (size_t i = 0; i < calls.size(); ++i)
        {
            SCOPED_TRACE("failing " + calls[i] + " (call " + std::to_string(i) + ")");
            sim::machine().Reset();
            test::PutV3Package();
            CDriverPackage package(kV3Inf);
            step.before(package);
            const sim::Snapshot before = sim::TakeSnapshot();
            const int skip = static_cast<int>(std::count(calls.begin(), calls.begin() + i, calls[i]));
            sim::faults().FailNext(calls[i], kFault, 1, skip);
            step.run(package);
            EXPECT_TRUE(sim::faults().Pending().empty());
            EXPECT_TRUE(package.lastError == kFault || package.lastError == (0x80070000u | kFault))
                << package.lastError;
            const std::vector<std::string> change = sim::Difference(before, sim::TakeSnapshot());
            if (change == goodChange)
                continue; // the step got past the failure and did all it does
            EXPECT_NE(package.result, 0);
            CleanLeftovers(before);
            EXPECT_EQ(sim::Difference(before, sim::TakeSnapshot()), std::vector<std::string>{})
                << "after failing " << calls[i];
        }
    }
}

} // namespace
} // namespace kgsetup
