// The scan of a print file: its pages, in file order, each with the values its page records carry.
#pragma once

#include "mapped_file.h"
#include "print_ticket.h"

#include <vector>

namespace printfile
{

// Seen-flags of the records since the last page end.
namespace seen
{
inline constexpr DWORD JobStart = 0x001;
inline constexpr DWORD Dollar = 0x002;
inline constexpr DWORD Reserved = 0x004;
inline constexpr DWORD Options = 0x008;
inline constexpr DWORD Layout = 0x010;
inline constexpr DWORD Extra = 0x020;
inline constexpr DWORD Header = 0x040;
inline constexpr DWORD SubBand = 0x080;
inline constexpr DWORD PageEnd = 0x100;
inline constexpr DWORD JobEnd = 0x200;
} // namespace seen

inline constexpr int kMaxPages = 999;
inline constexpr uint32_t kScanWindow = 32u << 20;
inline constexpr uint32_t kScanRemapMargin = 1u << 20;

// Replaces `pages` with the pages found and returns their count; 0 when the file has no page or cannot be
// read (the list is left as it was when not even the first view can be made, and emptied on a later failure).
int ScanPrintFile(std::vector<CPrintTicket>& pages, IByteView& file);
int ScanPrintFile(std::vector<CPrintTicket>& pages, CMemoryMappedFile& file);

// Decodes the raw payloads of pages[index] into its values; false when the index is outside the list.
bool DecodePageRecord(size_t index, std::vector<CPrintTicket>& pages, DWORD seenFlags);

// Windows' MulDiv: a 64-bit product and a rounded quotient, -1 for a zero divisor or a result beyond 32 bits.
int MulDivRounded(int number, int numerator, int denominator);

} // namespace printfile
