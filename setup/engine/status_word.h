// The status word a worker and its progress page share: the step the worker runs next in the low
// 16 bits, a result in bits 16-30 (written as a whole word, step 0), bit 31 once the worker stopped.
#pragma once

#include <platform/windows.h>

#include <initializer_list>
#include <map>

namespace kgsetup
{

enum StatusWord : UINT
{
    kStatusNone = 0,                // nothing reported yet
    kStatusUnreadable = 0xFFFFFFFF, // what a status that cannot be read or written reads as
    kStatusFinished = 0x80000000,
    kStatusStepMask = 0x0000FFFF,
    kStatusResultMask = 0x7FFF0000,

    kResultConnectLater = 0x00010000,
    kResultInstalled = 0x00020000, // "/fs", Print to File or a chosen port
    kResultRemoved = 0x00040000,
    kResultUpdated = 0x00050000,
    kResultLocalDevice = 0x00060000,
    kResultNetworkCard = 0x00070000,

    kFailSpoolerRestart = 0x0F000000,
    kFailUpload = 0x10000000,
    kFailDriverInstall = 0x11000000,
    kFailPortOrPrinter = 0x12000000,
    kFailCompanions = 0x14000000,
    kFailSourceFiles = 0x16000000,
    kFailCancelJob = 0x17000000,
    kFailRemovePrinter = 0x18000000,
    kFailDeleteDriver = 0x19000000,
    kFailRemovePackage = 0x1A000000,
    kFailCopyMetadata = 0x1B000000,
    kFailDeleteMetadata = 0x1C000000,
    kFailUserCancelled = 0x1D000000,
    kFailGeneral = 0x64000000,
    kFailStart = 0xE4000000,
};

// The steps of every worker, one numbering.
enum WorkerStep : UINT
{
    kStepStartInstall = 1,
    kStepCopyDriver = 8,
    kStepRegisterDriver = 9,
    kStepAddPrinter = 10,
    kStepRegisterMonitor = 13,
    kStepDeleteMonitor = 14,
    kStepRemoveJobs = 16,
    kStepRemovePrinters = 17,
    kStepRemoveDrivers = 18,
    kStepUninstallPackages = 19,
    kStepCheckRemove = 20,
    kStepStartRemove = 21,
    kStepUpdatePackage = 22,
    kStepUpdateDriver = 23,
    kStepCheckUpdate = 25,
    kStepStartUpdate = 26,
    kStepUpdateMonitor = 27,
    kStepMetadata = 28,
    kStepDeleteMetadata = 29,
    kStepInstallResult = 30,
};

// A result (bits 16-30) that reports the operation done.
inline bool IsSuccessResult(UINT result)
{
    return result >= kResultConnectLater && result <= kResultNetworkCard;
}

// The text id of a step's message; -1 for a number that is no step.
int StepMessageOf(UINT step);
// The map of a worker's steps to their messages.
std::map<UINT, int> StepMessages(std::initializer_list<UINT> steps);
// The Finish page's text id of a result (bits 16-30; a finished bit is ignored); -1 for a word
// that is no result code.
int FinishTextOf(UINT status);

} // namespace kgsetup
