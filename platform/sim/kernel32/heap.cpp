// Local memory is the C heap; CommandLineToArgvW hands out its block from there.
#include "user32/desktop_internal.h"

#include <cstdlib>
#include <map>
#include <set>

using namespace sim;
using namespace sim::detail;

HLOCAL WINAPI LocalFree(HLOCAL memory)
{
    std::free(memory);
    return nullptr;
}

// Fixed global blocks: the handle is the block, as GMEM_FIXED gives it.
HGLOBAL WINAPI GlobalAlloc(UINT flags, SIZE_T bytes)
{
    SIM_FAULT_POINT("GlobalAlloc", nullptr);
    if (flags & ~UINT{GMEM_ZEROINIT})
    {
        SetLastError(ERROR_INVALID_PARAMETER); // only fixed blocks: no code here moves or locks memory
        return nullptr;
    }
    void* block =
        (flags & GMEM_ZEROINIT) ? std::calloc(bytes ? bytes : 1, 1) : std::malloc(bytes ? bytes : 1);
    if (!block)
        SetLastError(ERROR_NOT_ENOUGH_MEMORY);
    return block;
}

HGLOBAL WINAPI GlobalFree(HGLOBAL memory)
{
    std::free(memory);
    return nullptr;
}

// Private heaps: each block is the C heap's, kept in its heap's list so HeapDestroy frees what is left.
namespace
{
struct PrivateHeaps : PartBase
{
    std::map<ULONG_PTR, std::set<void*>> heaps;
    ULONG_PTR next = 0x5A0000;

    ~PrivateHeaps() override
    {
        for (auto& [handle, blocks] : heaps)
            for (void* block : blocks)
                std::free(block);
    }
};

PrivateHeaps& heaps()
{
    return Part<PrivateHeaps>();
}
} // namespace

HANDLE WINAPI HeapCreate(DWORD, SIZE_T, SIZE_T)
{
    SIM_FAULT_POINT("HeapCreate", nullptr);
    std::lock_guard g(StateLock());
    ULONG_PTR h = heaps().next;
    heaps().next += 0x10000;
    heaps().heaps[h];
    return reinterpret_cast<HANDLE>(h);
}

LPVOID WINAPI HeapAlloc(HANDLE heap, DWORD flags, SIZE_T bytes)
{
    SIM_FAULT_POINT("HeapAlloc", nullptr);
    std::lock_guard g(StateLock());
    auto it = heaps().heaps.find(reinterpret_cast<ULONG_PTR>(heap));
    if (it == heaps().heaps.end())
        return nullptr;
    void* block =
        (flags & HEAP_ZERO_MEMORY) ? std::calloc(1, bytes ? bytes : 1) : std::malloc(bytes ? bytes : 1);
    if (block)
        it->second.insert(block);
    return block;
}

BOOL WINAPI HeapFree(HANDLE heap, DWORD, LPVOID memory)
{
    std::lock_guard g(StateLock());
    auto it = heaps().heaps.find(reinterpret_cast<ULONG_PTR>(heap));
    if (it == heaps().heaps.end() || (memory && !it->second.erase(memory)))
    {
        SetLastError(ERROR_INVALID_PARAMETER);
        return FALSE;
    }
    std::free(memory);
    return TRUE;
}

BOOL WINAPI HeapDestroy(HANDLE heap)
{
    std::lock_guard g(StateLock());
    auto it = heaps().heaps.find(reinterpret_cast<ULONG_PTR>(heap));
    if (it == heaps().heaps.end())
    {
        SetLastError(ERROR_INVALID_HANDLE);
        return FALSE;
    }
    for (void* block : it->second)
        std::free(block);
    heaps().heaps.erase(it);
    return TRUE;
}

size_t sim::Machine::LiveHeaps() const
{
    std::lock_guard g(StateLock());
    return heaps().heaps.size();
}
