// Devices of kernel drivers opened by name: a fixed byte to read, control requests that succeed or
// fail, and a record of what was asked of them.
#include "core/state.h"
#include "kernel32/device_io.h"

#include <sim/kernel_devices.h>

#include <map>

namespace sim
{
namespace
{
struct Device
{
    KernelDeviceSetup setup;
    KernelDeviceActivity activity;
};

struct KernelDeviceTable : detail::PartBase
{
    std::map<WString, std::shared_ptr<Device>> byName; // by folded name
};

KernelDeviceTable& table()
{
    return detail::Part<KernelDeviceTable>();
}

BOOL Fail(DWORD error)
{
    SetLastError(error);
    return FALSE;
}

struct KernelFile : detail::DeviceFile
{
    std::shared_ptr<Device> device;

    BOOL Read(void* buffer, DWORD size, DWORD* done, OVERLAPPED*) override
    {
        std::lock_guard g(detail::StateLock());
        ++device->activity.reads;
        if (!device->setup.readByte)
            return Fail(ERROR_INVALID_FUNCTION);
        if (!buffer || size == 0)
            return Fail(ERROR_INVALID_PARAMETER);
        *static_cast<BYTE*>(buffer) = *device->setup.readByte;
        if (done)
            *done = 1;
        return TRUE;
    }
    BOOL Write(const void*, DWORD, DWORD*, OVERLAPPED*) override { return Fail(ERROR_INVALID_FUNCTION); }
    BOOL Control(DWORD code, const void* in, DWORD inSize, void*, DWORD, DWORD* returned,
                 OVERLAPPED*) override
    {
        std::lock_guard g(detail::StateLock());
        device->activity.controls.push_back(code);
        const BYTE* bytes = static_cast<const BYTE*>(in);
        device->activity.inputs.emplace_back(bytes, bytes ? bytes + inSize : bytes);
        if (device->setup.controlFails)
            return Fail(ERROR_INVALID_FUNCTION);
        if (returned)
            *returned = 0;
        return TRUE;
    }
    BOOL Cancel(const OVERLAPPED*) override { return TRUE; }
    void Settle(OVERLAPPED*) override {}
};
} // namespace

std::optional<HANDLE> detail::OpenKernelDevice(WStringView name)
{
    if (!name.starts_with(u"\\\\.\\"))
        return std::nullopt;
    std::lock_guard g(StateLock());
    auto it = table().byName.find(Fold(name.substr(4)));
    if (it == table().byName.end())
        return std::nullopt;
    ++it->second->activity.opens;
    auto file = std::make_shared<KernelFile>();
    file->device = it->second;
    SetLastError(ERROR_SUCCESS);
    return AddHandle(file);
}

void KernelDevices::Add(const KernelDeviceSetup& setup)
{
    std::lock_guard g(detail::StateLock());
    auto device = std::make_shared<Device>();
    device->setup = setup;
    table().byName[detail::Fold(setup.name)] = device;
}

void KernelDevices::Remove(WStringView name)
{
    std::lock_guard g(detail::StateLock());
    table().byName.erase(detail::Fold(name));
}

std::optional<KernelDeviceActivity> KernelDevices::Activity(WStringView name) const
{
    std::lock_guard g(detail::StateLock());
    auto it = table().byName.find(detail::Fold(name));
    if (it == table().byName.end())
        return std::nullopt;
    return it->second->activity;
}

KernelDevices& kernelDevices()
{
    static KernelDevices d;
    return d;
}
} // namespace sim
