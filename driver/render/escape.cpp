#include "escape.h"

#include <algorithm>

namespace render
{

namespace
{

DWORD ReadLe(const void* data, ULONG bytes)
{
    const BYTE* p = static_cast<const BYTE*>(data);
    DWORD v = 0;
    for (ULONG i = 0; i < bytes; ++i)
        v |= static_cast<DWORD>(p[i]) << (8 * i);
    return v;
}

void WriteLe(void* data, DWORD v)
{
    BYTE* p = static_cast<BYTE*>(data);
    for (int i = 0; i < 4; ++i)
        p[i] = static_cast<BYTE>(v >> (8 * i));
}

} // namespace

ULONG EscapeForCopies(LONG& copies, LONG maxCopies, ULONG escape, ULONG inputSize, const void* input,
                      ULONG outputSize, void* output)
{
    switch (escape)
    {
    case QUERYESCSUPPORT: {
        if (input == nullptr || inputSize < 2)
            return 0;
        const DWORD asked = ReadLe(input, inputSize >= 4 ? 4 : 2);
        return asked == QUERYESCSUPPORT || asked == SETCOPYCOUNT ? 1 : 0;
    }
    case SETCOPYCOUNT:
        if (input != nullptr && inputSize >= 4)
            copies = std::clamp(static_cast<LONG>(ReadLe(input, 4)), LONG{1}, std::max(maxCopies, LONG{1}));
        if (output != nullptr && outputSize >= 4)
            WriteLe(output, static_cast<DWORD>(copies));
        return 1;
    default: // PASSTHROUGH, GETTECHNOLOGY and the rest are not supported
        return 0;
    }
}

} // namespace render
