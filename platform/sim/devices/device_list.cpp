#include "devices/device_list.h"

#include "core/state.h"

#include <cstring>

namespace sim::detail
{
namespace
{
struct DeviceList : PartBase
{
    std::vector<std::shared_ptr<DeviceNode>> nodes;
};
} // namespace

std::vector<std::shared_ptr<DeviceNode>>& DeviceNodes()
{
    return Part<DeviceList>().nodes;
}

bool SameGuid(const GUID& a, const GUID& b)
{
    return a.Data1 == b.Data1 && a.Data2 == b.Data2 && a.Data3 == b.Data3 &&
           std::memcmp(a.Data4, b.Data4, sizeof a.Data4) == 0;
}

} // namespace sim::detail
