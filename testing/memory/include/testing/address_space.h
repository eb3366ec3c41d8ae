// A cap on the process's address space, to show that code meets a full address space with an error to
// report instead of an abort, as a 32-bit program meets a large page.
#pragma once

#include <cstdint>

namespace memtest
{

// Caps the address space at what the process uses now plus `headroom` bytes; false when the system refuses.
// The cap stays for the rest of the process.
bool CapAddressSpace(std::uint64_t headroom);

} // namespace memtest
