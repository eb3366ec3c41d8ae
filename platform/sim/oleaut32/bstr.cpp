// Automation strings: a byte length before the characters and a terminator after them.
#include "core/internal.h"
#include <platform/netfw.h>

#include <cstdlib>
#include <cstring>

const IID IID_IDispatch = {0x00020400, 0x0000, 0x0000, {0xC0, 0x00, 0x00, 0x00, 0x00, 0x00, 0x00, 0x46}};

BSTR WINAPI SysAllocString(const OLECHAR* text)
{
    if (!text)
        return nullptr;
    SIM_FAULT_POINT("SysAllocString", nullptr);
    size_t length = 0;
    while (text[length])
        ++length;
    auto* block = static_cast<BYTE*>(std::malloc(sizeof(DWORD) + (length + 1) * sizeof(OLECHAR)));
    if (!block)
        return nullptr;
    DWORD bytes = static_cast<DWORD>(length * sizeof(OLECHAR));
    std::memcpy(block, &bytes, sizeof bytes);
    auto* chars = reinterpret_cast<OLECHAR*>(block + sizeof(DWORD));
    std::memcpy(chars, text, (length + 1) * sizeof(OLECHAR));
    return chars;
}

void WINAPI SysFreeString(BSTR text)
{
    if (text)
        std::free(reinterpret_cast<BYTE*>(text) - sizeof(DWORD));
}

UINT WINAPI SysStringLen(BSTR text)
{
    if (!text)
        return 0;
    DWORD bytes = 0;
    std::memcpy(&bytes, reinterpret_cast<BYTE*>(text) - sizeof(DWORD), sizeof bytes);
    return bytes / sizeof(OLECHAR);
}
