// Never shipped: a program of the Windows builds that references every public function of the
// engine, so a missing import or declaration shows when the engine is built.
#include "ports.h"
#include "processes.h"
#include "services.h"
#include "v4_companion.h"

int main(int argc, char**)
{
    if (argc < 0) // never true: the calls are only linked
    {
        kgsetup::GetSystemModule(TEXT("winspool.drv"));
        kgsetup::AddLocalPort(TEXT("NUL:"));
        kgsetup::AddStandardTcpIpPort(TEXT("KORIGRAPH_"), TEXT("192.168.0.5"));
        kgsetup::DeleteTcpIpPort(TEXT("KORIGRAPH_192.168.0.5"));
        kgsetup::NormalizeModelName(TEXT("Velmo KG-100"));
        kgsetup::ControlService(TEXT("Spooler"), kgsetup::kServiceRestart);
        kgsetup::RestartSpooler();
        kgsetup::RunProcessAndWait(TEXT("cmd"), 0);
        kgsetup::RunAsDesktopUser(TEXT("cmd"));
        kgsetup::ListProcesses();
        kgsetup::ProcessesHoldingModule(TEXT("VelmQ7UI"));
        kgsetup::KillProcess(0);
        kgsetup::RunQuoted(TEXT("cmd"));
        kgsetup::CV4CompanionFiles companion(TEXT("C:\\"));
        companion.Install();
        companion.Remove();
    }
    return 0;
}
