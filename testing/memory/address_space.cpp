#include <testing/address_space.h>

#include <sys/resource.h>
#include <unistd.h>

#include <cstdio>

// Under AddressSanitizer an allocation beyond the cap must fail as it does without it (a null pointer for
// calls that do not throw), not end the program; freed memory it holds back counts against the cap, so it
// holds back less.
extern "C" const char* __asan_default_options()
{
    return "allocator_may_return_null=1:quarantine_size_mb=32";
}

namespace memtest
{

bool CapAddressSpace(std::uint64_t headroom)
{
    std::FILE* f = std::fopen("/proc/self/statm", "r");
    if (!f)
        return false;
    unsigned long long pages = 0;
    const bool read = std::fscanf(f, "%llu", &pages) == 1;
    std::fclose(f);
    const long pageSize = sysconf(_SC_PAGESIZE);
    if (!read || pageSize <= 0)
        return false;
    rlimit limit{};
    if (getrlimit(RLIMIT_AS, &limit) != 0)
        return false;
    const std::uint64_t cap = pages * static_cast<std::uint64_t>(pageSize) + headroom;
    if (limit.rlim_max != RLIM_INFINITY && cap > limit.rlim_max)
        return false;
    limit.rlim_cur = static_cast<rlim_t>(cap);
    return setrlimit(RLIMIT_AS, &limit) == 0;
}

} // namespace memtest
