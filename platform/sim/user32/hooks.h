// Calling a thread's window hooks from the desktop's own parts.
#pragma once

#include <platform/windows.h>

namespace sim::detail
{
bool HasHooks(int id);
// The calling thread's hooks of that kind, latest first; 0 when it has none.
LRESULT CallHooks(int id, int code, WPARAM wParam, LPARAM lParam);
} // namespace sim::detail
