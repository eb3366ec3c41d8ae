#include "status_word.h"

namespace kgsetup
{
namespace
{
struct Row
{
    UINT code;
    int text;
};

const Row kStepTexts[] = {
    {kStepStartInstall, 94},       {kStepCopyDriver, 99},       {kStepRegisterDriver, 100},
    {kStepAddPrinter, 101},        {kStepRegisterMonitor, 104}, {kStepDeleteMonitor, 105},
    {kStepRemoveJobs, 111},        {kStepRemovePrinters, 107},  {kStepRemoveDrivers, 108},
    {kStepUninstallPackages, 109}, {kStepCheckRemove, 112},     {kStepStartRemove, 110},
    {kStepUpdatePackage, 114},     {kStepUpdateDriver, 115},    {kStepCheckUpdate, 116},
    {kStepStartUpdate, 113},       {kStepUpdateMonitor, 117},   {kStepMetadata, 118},
    {kStepDeleteMetadata, 119},    {kStepInstallResult, 90},
};

const Row kFinishTexts[] = {
    {kResultConnectLater, 124}, {kResultInstalled, 125},   {kResultRemoved, 127},
    {kResultUpdated, 126},      {kResultLocalDevice, 125}, {kResultNetworkCard, 125},
    {kFailSpoolerRestart, 128}, {kFailUpload, 129},        {kFailDriverInstall, 130},
    {kFailPortOrPrinter, 131},  {kFailCompanions, 132},    {kFailSourceFiles, 133},
    {kFailCancelJob, 134},      {kFailRemovePrinter, 135}, {kFailDeleteDriver, 136},
    {kFailRemovePackage, 137},  {kFailCopyMetadata, 138},  {kFailDeleteMetadata, 139},
    {kFailUserCancelled, 141},  {kFailGeneral, 140}, // also the page's start failure, 0xE4000000
};
} // namespace

int StepMessageOf(UINT step)
{
    for (const Row& row : kStepTexts)
        if (row.code == step)
            return row.text;
    return -1;
}

std::map<UINT, int> StepMessages(std::initializer_list<UINT> steps)
{
    std::map<UINT, int> map;
    for (UINT step : steps)
        map[step] = StepMessageOf(step);
    return map;
}

int FinishTextOf(UINT status)
{
    if (status == kStatusUnreadable || (status & kStatusStepMask))
        return -1;
    const UINT result = status & kStatusResultMask;
    for (const Row& row : kFinishTexts)
        if (row.code == result)
            return row.text;
    return -1;
}

} // namespace kgsetup
