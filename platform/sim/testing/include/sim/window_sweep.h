// The calls of a recorded run that make a window, or fail when one cannot be made: what a sweep of
// refused windows fails one at a time.
#pragma once

#include <sim/fault_record.h>

#include <algorithm>
#include <iterator>
#include <string>
#include <string_view>
#include <vector>

namespace sim
{

inline bool IsWindowCall(std::string_view api)
{
    constexpr std::string_view kCalls[] = {"CreateWindowExW", "DialogBoxParamW",          "MessageBoxW",
                                           "PropertySheetW",  "CreatePropertySheetPageW", "GetOpenFileNameW",
                                           "GetSaveFileNameW"};
    return std::find(std::begin(kCalls), std::end(kCalls), api) != std::end(kCalls);
}

inline std::vector<FaultPointCall> WindowCalls(const std::vector<FaultPointCall>& calls)
{
    std::vector<FaultPointCall> out;
    std::copy_if(calls.begin(), calls.end(), std::back_inserter(out),
                 [](const FaultPointCall& call) { return IsWindowCall(call.api); });
    return out;
}

} // namespace sim
