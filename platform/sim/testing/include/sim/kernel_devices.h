// Devices that kernel drivers make for programs to open by name ("\\.\tzuptp"), as tests see them:
// what a one-byte read answers, whether control requests succeed, and what the programs sent.
#pragma once

#include <platform/windows.h>

#include <optional>
#include <vector>

namespace sim
{

struct KernelDeviceSetup
{
    WString name;                     // opened as \\.\<name>, without case
    std::optional<BYTE> readByte = 0; // what each read gives, one byte; none: reads fail
    bool controlFails = false;        // DeviceIoControl fails with ERROR_INVALID_FUNCTION
};

struct KernelDeviceActivity
{
    int opens = 0;
    int reads = 0;
    std::vector<DWORD> controls;           // control codes, in order
    std::vector<std::vector<BYTE>> inputs; // their input bytes
};

class KernelDevices
{
public:
    void Add(const KernelDeviceSetup& device); // installs or replaces
    void Remove(WStringView name);
    std::optional<KernelDeviceActivity> Activity(WStringView name) const;
};

KernelDevices& kernelDevices();

} // namespace sim
