// File mapping: sections backed by a file or by the page file (machine-wide by name), views that start on
// the allocation granularity, and the system information that tells the granularity.
#include "core/internal.h"
#include "core/state.h"

#include <cstring>
#include <fcntl.h>
#include <map>
#include <sys/mman.h>
#include <sys/stat.h>
#include <unistd.h>

namespace sim::detail
{
namespace
{
constexpr DWORD kGranularity = 65536;

struct Section
{
    int fd = -1; // memfd for the page file, a duplicate of the file's descriptor otherwise
    bool fileBacked = false;
    bool writable = false; // made with PAGE_READWRITE
    ULONGLONG size = 0;
    int handles = 0; // a name lasts while a handle is open; a view keeps only the memory
    ~Section()
    {
        if (fd >= 0)
            ::close(fd);
    }
};

struct SectionHandle : KernelObject
{
    std::shared_ptr<Section> section;
    bool mayWrite = false;
    ~SectionHandle() override
    {
        if (section)
            --section->handles;
    }
};

struct View
{
    std::shared_ptr<Section> section; // a view keeps its section alive, as on Windows
    size_t length = 0;
    bool shared = false;
    DWORD protect = PAGE_READONLY;
};

struct Mappings : PartBase
{
    std::map<WString, std::weak_ptr<Section>> named; // kernel object names compare with case
    std::map<uintptr_t, View> views;                 // by base address
    ~Mappings() override
    {
        for (auto& [base, view] : views)
            ::munmap(reinterpret_cast<void*>(base), view.length);
    }
};

Mappings& mappings()
{
    return Part<Mappings>();
}

std::shared_ptr<Section> FindNamed(LPCWSTR name)
{
    auto& named = mappings().named;
    auto it = named.find(name);
    if (it == named.end())
        return nullptr;
    auto section = it->second.lock();
    if (!section || section->handles == 0)
    {
        named.erase(it);
        return nullptr;
    }
    return section;
}

HANDLE NewHandle(std::shared_ptr<Section> section, bool mayWrite)
{
    auto h = std::make_shared<SectionHandle>();
    ++section->handles;
    h->section = std::move(section);
    h->mayWrite = mayWrite;
    return AddHandle(std::move(h));
}

// A read-only view of a file is a snapshot: on Windows a mapped file cannot shrink under its views, but a
// host file can, and reading a shared mapping past its end would fault.
void* SnapshotView(const Section& s, ULONGLONG offset, size_t length, void* at, int fixedFlags)
{
    void* p = ::mmap(at, length, PROT_READ | PROT_WRITE, MAP_PRIVATE | MAP_ANONYMOUS | fixedFlags, -1, 0);
    if (p == MAP_FAILED)
        return nullptr;
    size_t done = 0;
    while (done < length)
    {
        ssize_t n =
            ::pread(s.fd, static_cast<char*>(p) + done, length - done, static_cast<off_t>(offset + done));
        if (n <= 0)
            break; // the rest stays zero
        done += static_cast<size_t>(n);
    }
    ::mprotect(p, length, PROT_READ);
    return p;
}
} // namespace

} // namespace sim::detail

using namespace sim::detail;

void WINAPI GetSystemInfo(LPSYSTEM_INFO info)
{
    if (!info)
        return;
    bool is32 = CurrentProcess().is32;
    std::memset(info, 0, sizeof *info);
    info->wProcessorArchitecture = is32 ? 0 : 9; // x86 or x64
    info->dwPageSize = 4096;
    info->lpMinimumApplicationAddress = reinterpret_cast<LPVOID>(0x10000);
    info->lpMaximumApplicationAddress =
        reinterpret_cast<LPVOID>(is32 ? ULONG_PTR{0x7FFEFFFF} : static_cast<ULONG_PTR>(0x7FFFFFFEFFFFull));
    info->dwActiveProcessorMask = 0xFF;
    info->dwNumberOfProcessors = 8;
    info->dwProcessorType = is32 ? 586 : 8664;
    info->dwAllocationGranularity = kGranularity;
    info->wProcessorLevel = 6;
}

HANDLE WINAPI CreateFileMappingW(HANDLE file, LPSECURITY_ATTRIBUTES, DWORD protect, DWORD maximumSizeHigh,
                                 DWORD maximumSizeLow, LPCWSTR name)
{
    SIM_FAULT_POINT("CreateFileMappingW", nullptr);
    DWORD page = protect & 0xFF;
    if (page != PAGE_READONLY && page != PAGE_READWRITE && page != PAGE_WRITECOPY)
    {
        SetLastError(ERROR_INVALID_PARAMETER);
        return nullptr;
    }
    bool writable = page == PAGE_READWRITE;
    ULONGLONG size = (static_cast<ULONGLONG>(maximumSizeHigh) << 32) | maximumSizeLow;
    std::lock_guard g(StateLock());
    if (name && *name)
    {
        if (auto existing = FindNamed(name))
        {
            HANDLE h = NewHandle(existing, existing->writable);
            SetLastError(ERROR_ALREADY_EXISTS);
            return h;
        }
    }
    auto section = std::make_shared<Section>();
    section->writable = writable;
    if (file == INVALID_HANDLE_VALUE)
    {
        if (size == 0)
        {
            SetLastError(ERROR_INVALID_PARAMETER);
            return nullptr;
        }
        section->fd = ::memfd_create("section", MFD_CLOEXEC);
        if (section->fd < 0 || ::ftruncate(section->fd, static_cast<off_t>(size)) != 0)
        {
            SetLastError(ERROR_NOT_ENOUGH_MEMORY);
            return nullptr;
        }
    }
    else
    {
        DWORD access = 0;
        int fd = HostFileDescriptor(file, &access);
        if (fd < 0)
        {
            SetLastError(ERROR_INVALID_HANDLE);
            return nullptr;
        }
        bool canRead = access & (GENERIC_READ | GENERIC_ALL);
        bool canWrite = access & (GENERIC_WRITE | GENERIC_ALL);
        if (!canRead || (writable && !canWrite))
        {
            SetLastError(ERROR_ACCESS_DENIED);
            return nullptr;
        }
        struct stat st;
        if (::fstat(fd, &st) != 0)
        {
            SetLastError(ERROR_INVALID_HANDLE);
            return nullptr;
        }
        ULONGLONG fileSize = static_cast<ULONGLONG>(st.st_size);
        if (size == 0)
        {
            if (fileSize == 0)
            {
                SetLastError(ERROR_FILE_INVALID);
                return nullptr;
            }
            size = fileSize;
        }
        else if (size > fileSize)
        {
            // Only a writable section may grow its file to the size asked for.
            if (!writable)
            {
                SetLastError(ERROR_NOT_ENOUGH_MEMORY);
                return nullptr;
            }
            if (::ftruncate(fd, static_cast<off_t>(size)) != 0)
            {
                SetLastError(112); // ERROR_DISK_FULL
                return nullptr;
            }
        }
        section->fd = ::fcntl(fd, F_DUPFD_CLOEXEC, 0);
        if (section->fd < 0)
        {
            SetLastError(ERROR_NOT_ENOUGH_MEMORY);
            return nullptr;
        }
        section->fileBacked = true;
    }
    section->size = size;
    if (name && *name)
        mappings().named[name] = section;
    HANDLE h = NewHandle(section, section->writable);
    SetLastError(ERROR_SUCCESS);
    return h;
}

HANDLE WINAPI OpenFileMappingW(DWORD desiredAccess, BOOL, LPCWSTR name)
{
    SIM_FAULT_POINT("OpenFileMappingW", nullptr);
    if (!name || !*name)
    {
        SetLastError(ERROR_INVALID_PARAMETER);
        return nullptr;
    }
    std::lock_guard g(StateLock());
    auto section = FindNamed(name);
    if (!section)
    {
        SetLastError(ERROR_FILE_NOT_FOUND);
        return nullptr;
    }
    bool wantWrite = (desiredAccess & FILE_MAP_WRITE) != 0;
    if (wantWrite && !section->writable)
    {
        SetLastError(ERROR_ACCESS_DENIED);
        return nullptr;
    }
    SetLastError(ERROR_SUCCESS);
    return NewHandle(section, wantWrite);
}

LPVOID WINAPI MapViewOfFileEx(HANDLE mapping, DWORD desiredAccess, DWORD offsetHigh, DWORD offsetLow,
                              SIZE_T bytes, LPVOID baseAddress)
{
    SIM_FAULT_POINT("MapViewOfFile", nullptr);
    std::lock_guard g(StateLock());
    auto handle = FindHandleOf<SectionHandle>(mapping);
    if (!handle)
    {
        SetLastError(ERROR_INVALID_HANDLE);
        return nullptr;
    }
    const auto& section = handle->section;
    bool copy = desiredAccess == FILE_MAP_COPY;
    bool write = !copy && (desiredAccess & FILE_MAP_WRITE);
    if (write && !handle->mayWrite)
    {
        SetLastError(ERROR_ACCESS_DENIED);
        return nullptr;
    }
    ULONGLONG offset = (static_cast<ULONGLONG>(offsetHigh) << 32) | offsetLow;
    if (offset % kGranularity != 0)
    {
        SetLastError(ERROR_MAPPED_ALIGNMENT);
        return nullptr;
    }
    if (offset >= section->size || bytes > section->size - offset)
    {
        SetLastError(ERROR_ACCESS_DENIED);
        return nullptr;
    }
    size_t length = bytes ? bytes : static_cast<size_t>(section->size - offset);
    if (baseAddress && reinterpret_cast<uintptr_t>(baseAddress) % kGranularity != 0)
    {
        SetLastError(ERROR_MAPPED_ALIGNMENT);
        return nullptr;
    }
    int fixed = baseAddress ? MAP_FIXED_NOREPLACE : 0;
    void* p = nullptr;
    bool shared = false;
    if (section->fileBacked && !write && !copy)
        p = SnapshotView(*section, offset, length, baseAddress, fixed);
    else
    {
        int prot = write || copy ? PROT_READ | PROT_WRITE : PROT_READ;
        shared = !copy;
        p = ::mmap(baseAddress, length, prot, (copy ? MAP_PRIVATE : MAP_SHARED) | fixed, section->fd,
                   static_cast<off_t>(offset));
        if (p == MAP_FAILED)
            p = nullptr;
    }
    if (!p || (baseAddress && p != baseAddress))
    {
        if (p)
            ::munmap(p, length);
        SetLastError(baseAddress ? ERROR_INVALID_ADDRESS : ERROR_NOT_ENOUGH_MEMORY);
        return nullptr;
    }
    mappings().views[reinterpret_cast<uintptr_t>(p)] = View{section, length, shared,
                                                            static_cast<DWORD>(write  ? PAGE_READWRITE
                                                                               : copy ? PAGE_WRITECOPY
                                                                                      : PAGE_READONLY)};
    SetLastError(ERROR_SUCCESS);
    return p;
}

LPVOID WINAPI MapViewOfFile(HANDLE mapping, DWORD desiredAccess, DWORD offsetHigh, DWORD offsetLow,
                            SIZE_T bytes)
{
    return MapViewOfFileEx(mapping, desiredAccess, offsetHigh, offsetLow, bytes, nullptr);
}

BOOL WINAPI UnmapViewOfFile(LPCVOID baseAddress)
{
    std::lock_guard g(StateLock());
    auto& views = mappings().views;
    auto it = views.find(reinterpret_cast<uintptr_t>(baseAddress));
    if (it == views.end())
    {
        SetLastError(ERROR_INVALID_ADDRESS);
        return FALSE;
    }
    ::munmap(reinterpret_cast<void*>(it->first), it->second.length);
    views.erase(it);
    return TRUE;
}

BOOL WINAPI FlushViewOfFile(LPCVOID baseAddress, SIZE_T bytes)
{
    std::lock_guard g(StateLock());
    auto address = reinterpret_cast<uintptr_t>(baseAddress);
    auto& views = mappings().views;
    auto it = views.upper_bound(address);
    if (it == views.begin() || address >= std::prev(it)->first + std::prev(it)->second.length)
    {
        SetLastError(ERROR_INVALID_ADDRESS);
        return FALSE;
    }
    --it;
    if (it->second.shared)
    {
        size_t end =
            bytes ? std::min<size_t>(address - it->first + bytes, it->second.length) : it->second.length;
        ::msync(reinterpret_cast<void*>(it->first), end, MS_SYNC);
    }
    return TRUE;
}

// Only the views of sections are known here: other addresses of the process are not simulated.
SIZE_T WINAPI VirtualQuery(LPCVOID address, PMEMORY_BASIC_INFORMATION buffer, SIZE_T length)
{
    if (!buffer || length < sizeof(MEMORY_BASIC_INFORMATION))
    {
        SetLastError(24); // ERROR_BAD_LENGTH
        return 0;
    }
    std::lock_guard g(StateLock());
    auto at = reinterpret_cast<uintptr_t>(address);
    auto& views = mappings().views;
    auto it = views.upper_bound(at);
    if (it == views.begin())
    {
        SetLastError(ERROR_INVALID_PARAMETER);
        return 0;
    }
    --it;
    constexpr uintptr_t kPage = 4096;
    uintptr_t end = it->first + (it->second.length + kPage - 1) / kPage * kPage; // views end on a page
    if (at >= end)
    {
        SetLastError(ERROR_INVALID_PARAMETER);
        return 0;
    }
    uintptr_t page = at / kPage * kPage;
    DWORD protect = it->second.protect;
    *buffer = MEMORY_BASIC_INFORMATION{reinterpret_cast<PVOID>(page),
                                       reinterpret_cast<PVOID>(it->first),
                                       protect,
                                       end - page,
                                       MEM_COMMIT,
                                       protect,
                                       MEM_MAPPED};
    return sizeof(MEMORY_BASIC_INFORMATION);
}
