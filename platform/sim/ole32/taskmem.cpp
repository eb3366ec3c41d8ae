// Task memory handed out so far is only the folder browser's item id lists.
#include "user32/desktop_internal.h"

using namespace sim;
using namespace sim::detail;

void WINAPI CoTaskMemFree(LPVOID memory)
{
    std::lock_guard g(Desk().mu);
    Desk().folders.erase(reinterpret_cast<ULONG_PTR>(memory));
}
