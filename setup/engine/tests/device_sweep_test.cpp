// Each call the device and queue operations make is failed once in turn: the operation reports the
// failure, and running it again leaves the machine as the good run leaves it.
#include "devices.h"
#include "driver_package.h"
#include "machines.h"
#include "on_machine.h"

#include <gtest/gtest.h>
#include <sim/services.h>
#include <sim/snapshot.h>

#include <algorithm>
#include <functional>

namespace kgsetup
{
namespace
{
constexpr DWORD kFault = 31; // ERROR_GEN_FAILURE, seen nowhere else
const WORD kProducts[] = {2, 4};

void Machine()
{
    test::PutV3Package();
    sim::ServiceSetup lpd;
    lpd.name = u"LPDSVC";
    lpd.state = SERVICE_RUNNING;
    lpd.dependencies = {u"Spooler"};
    sim::services().Add(lpd);
    sim::deviceTree().AttachUsbPrinter(sim::UsbPrinterHardware{});
    sim::deviceTree().AttachLptPrinter(sim::LptPrinterHardware{});
    sim::PrinterSetup office;
    office.name = u"Office";
    sim::spooler().AddPrinter(office);
}

struct Operation
{
    const char* name;
    std::function<bool()> run; // true when it reports success
};

std::vector<Operation> Operations()
{
    auto package = [](auto work) {
        return [work] {
            CDriverPackage p(test::kV3Inf);
            work(p);
            return p.result == 0;
        };
    };
    return {
        {"RemoveUsbPrinters", [] { return RemoveUsbPrinters(kProducts, u"") == S_OK; }},
        {"RemoveLptDevices", [] { return RemoveLptDevices(u"VELMO_RANTH") == 0; }},
        {"RemovePrinter", package([](CDriverPackage& p) { p.RemovePrinter(u"Office"); })},
        {"RenamePrinter", [] { return RenamePrinter(u"Office", u"Front desk"); }},
        {"UpdatePnpDriver",
         package([](CDriverPackage& p) { p.UpdatePnpDriver(u"USBPRINT\\VelmoKG-100ABCD", u"A1B2C3"); })},
    };
}

TEST(DeviceFaultSweep, EveryFailedCallIsReportedAndARetryMends)
{
    for (const Operation& op : Operations())
    {
        SCOPED_TRACE(op.name);
        sim::machine().Reset();
        Machine();
        sim::spooler().ClearCalls();
        ASSERT_TRUE(OnMachine(op.run));
        const std::vector<std::string> calls = sim::spooler().Calls();
        const sim::Snapshot good = sim::TakeSnapshot();
        ASSERT_FALSE(calls.empty());

        for (size_t i = 0; i < calls.size(); ++i)
        {
            SCOPED_TRACE("failing " + calls[i] + " (call " + std::to_string(i) + ")");
            sim::machine().Reset();
            Machine();
            const int skip = static_cast<int>(std::count(calls.begin(), calls.begin() + i, calls[i]));
            sim::faults().FailNext(calls[i], kFault, 1, skip);
            const bool reported = OnMachine(op.run);
            EXPECT_TRUE(sim::faults().Pending().empty());
            if (reported)
            {
                EXPECT_EQ(sim::Difference(good, sim::TakeSnapshot()), std::vector<std::string>{});
                continue;
            }
            EXPECT_EQ(sim::services().State(u"LPDSVC"), std::optional<DWORD>(SERVICE_RUNNING));
            EXPECT_TRUE(OnMachine(op.run));
            EXPECT_EQ(sim::Difference(good, sim::TakeSnapshot()), std::vector<std::string>{});
        }
    }
}

} // namespace
} // namespace kgsetup
