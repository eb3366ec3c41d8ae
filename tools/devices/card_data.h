// The card data a duplicator sends and the CSV file it becomes: pure functions, so the download and
// the fuzzer read device bytes the same way.
#pragma once

#include <platform/windows.h>

#include <cstdint>
#include <optional>
#include <span>
#include <string>
#include <string_view>

namespace tessicard
{

inline constexpr std::string_view kCardDataHeader = "SMART CARD DATA";
// Longer card data is refused as "not ready" instead of being allocated.
inline constexpr std::uint32_t kMaxCardData = 64u << 20;

// A reported length the download accepts: at least the header, at most kMaxCardData.
bool AcceptableCardDataLength(std::uint32_t length);

// The card records behind the header, with the one zero byte the download appends; nothing when the
// data does not begin with the header.
std::optional<std::string> CardRecords(std::span<const BYTE> data);

// Save-dialog filter indexes.
inline constexpr DWORD kFilterCsv = 1;
inline constexpr DWORD kFilterUtf8WithBom = 2;

// The bytes saved for `records` (ending in the appended zero) under the chosen filter: the records as
// received without that zero, or for the UTF-8 filter EF BB BF and the ANSI text up to its first zero
// in UTF-8. Nothing when that text is empty or not valid in the code page.
std::optional<std::string> CsvFileBytes(std::string_view records, DWORD filterIndex);

// "2026-03-07T09-05-03.csv".
WString DefaultCsvName(const SYSTEMTIME& time);

// The save dialog's filter list: pairs of texts, each ending in a zero, and one more zero.
WString CsvFilter();

} // namespace tessicard
