#include "card_data.h"

#include <algorithm>
#include <cstdio>

namespace tessicard
{

bool AcceptableCardDataLength(std::uint32_t length)
{
    return length >= kCardDataHeader.size() && length <= kMaxCardData;
}

std::optional<std::string> CardRecords(std::span<const BYTE> data)
{
    if (data.size() < kCardDataHeader.size() ||
        !std::equal(kCardDataHeader.begin(), kCardDataHeader.end(), data.begin(),
                    [](char a, BYTE b) { return static_cast<BYTE>(a) == b; }))
        return std::nullopt;
    std::string records(data.begin() + static_cast<std::ptrdiff_t>(kCardDataHeader.size()), data.end());
    records.push_back('\0');
    return records;
}

std::optional<std::string> CsvFileBytes(std::string_view records, DWORD filterIndex)
{
    if (!records.empty() && records.back() == '\0')
        records.remove_suffix(1);
    if (filterIndex != kFilterUtf8WithBom)
        return std::string(records);
    std::string_view text = records.substr(0, records.find('\0'));
    if (text.empty() || text.size() > static_cast<std::size_t>(INT32_MAX / 4))
        return std::nullopt;
    const int bytes = static_cast<int>(text.size());
    int chars = MultiByteToWideChar(CP_ACP, MB_ERR_INVALID_CHARS, text.data(), bytes, nullptr, 0);
    if (chars <= 0)
        return std::nullopt;
    WString wide(static_cast<std::size_t>(chars), WCHAR{0});
    if (MultiByteToWideChar(CP_ACP, MB_ERR_INVALID_CHARS, text.data(), bytes, wide.data(), chars) != chars)
        return std::nullopt;
    int utf8 = WideCharToMultiByte(CP_UTF8, 0, wide.data(), chars, nullptr, 0, nullptr, nullptr);
    if (utf8 <= 0)
        return std::nullopt;
    std::string out = "\xEF\xBB\xBF";
    const std::size_t bom = out.size();
    out.resize(bom + static_cast<std::size_t>(utf8));
    if (WideCharToMultiByte(CP_UTF8, 0, wide.data(), chars, out.data() + bom, utf8, nullptr, nullptr) != utf8)
        return std::nullopt;
    return out;
}

WString DefaultCsvName(const SYSTEMTIME& time)
{
    char name[64] = {};
    std::snprintf(name, sizeof name, "%u-%02u-%02uT%02u-%02u-%02u.csv", unsigned{time.wYear},
                  unsigned{time.wMonth}, unsigned{time.wDay}, unsigned{time.wHour}, unsigned{time.wMinute},
                  unsigned{time.wSecond});
    return WString(name, name + std::char_traits<char>::length(name));
}

WString CsvFilter()
{
    WString filter = TEXT("CSV (*.csv)|*.csv|CSV UTF-8 with BOM (*.csv)|*.csv|All Files (*.*)|*.*||");
    std::replace(filter.begin(), filter.end(), WCHAR{'|'}, WCHAR{0});
    return filter;
}

} // namespace tessicard
